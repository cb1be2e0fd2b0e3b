#include "platform/DesktopServices.h"

#include <QDesktopServices>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

namespace {
Q_LOGGING_CATEGORY(lcDesktop, "veilmox.desktop")
} // namespace

DesktopServices::DesktopServices(QObject* parent)
    : QObject(parent)
{}

DesktopServices::~DesktopServices()
{
    for (const auto& [process, done] : m_launches) {
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(1000);
        }
    }
}

QString DesktopServices::launcher()
{
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
}

void DesktopServices::openURL(const QUrl& url, std::function<void(bool opened)> done)
{
    const QString program = launcher();
    if (program.isEmpty()) {
        // No launcher of the desktop's: Qt looks for a browser itself, and knows only whether
        // one started.
        done(QDesktopServices::openUrl(url));
        return;
    }
    auto* process = new QProcess(this);
    m_launches.emplace(process, std::move(done));
    process->setProgram(program);
    process->setArguments({url.toString(QUrl::FullyEncoded)});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        const bool opened = status == QProcess::NormalExit && exitCode == 0;
        if (!opened) {
            qCWarning(lcDesktop,
                      "%s could not open the %s link (%s %d)",
                      qPrintable(process->program()),
                      qPrintable(process->arguments().value(0).section(QLatin1Char(':'), 0, 0)),
                      status == QProcess::NormalExit ? "exit status" : "ended by signal",
                      exitCode);
        }
        finish(process, opened);
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        // Other errors of a process that ran are followed by finished().
        if (error == QProcess::FailedToStart) {
            qCWarning(lcDesktop,
                      "%s could not be started: %s",
                      qPrintable(process->program()),
                      qPrintable(process->errorString()));
            finish(process, false);
        }
    });
    process->start();
}

void DesktopServices::finish(QProcess* process, bool opened)
{
    const auto launch = m_launches.find(process);
    if (launch == m_launches.end()) {
        return;
    }
    const std::function<void(bool)> done = std::move(launch->second);
    m_launches.erase(launch);
    process->disconnect(this);
    process->deleteLater();
    if (done) {
        done(opened);
    }
}

} // namespace platform
