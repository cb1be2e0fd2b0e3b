// Launches of the real program with a callback URL in its command line, as launchers that do not
// use the session bus start it.
#include "platform/URLHandoff.h"
#include "platform/sim/VirtualScheduler.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Everything the program could touch stays inside the test's folder, and it finds no bus.
QProcessEnvironment isolated(const QTemporaryDir& dir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    environment.insert(QStringLiteral("HOME"), dir.path() + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.path() + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + dir.path() + QStringLiteral("/no-bus"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

} // namespace

TEST(SingleInstance, ASecondLaunchHandsItsURLToTheRunningInstanceAndExits)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    platform::sim::VirtualScheduler scheduler;
    platform::URLHandoff running(
        QStringLiteral("getveilmox.Veilmox"), {QStringLiteral("veilmox")}, scheduler, dir.path());
    ASSERT_EQ(running.start({}), platform::URLHandoff::Role::Primary);
    QSignalSpy spy(&running, &platform::URLHandoff::urlsReceived);

    QProcess second;
    second.setProcessEnvironment(isolated(dir));
    second.start(
        QStringLiteral(VEILMOX_EXECUTABLE),
        {QStringLiteral("veilmox://auth?code=abc_DEF-123"), QStringLiteral("https://elsewhere.example/")});
    ASSERT_TRUE(second.waitForStarted(10000));

    const bool received = spy.wait(20000);
    // The launch may well have ended while the spy waited.
    const bool finished = second.state() == QProcess::NotRunning || second.waitForFinished(20000);
    if (!finished) {
        second.kill();
        second.waitForFinished();
    }
    ASSERT_TRUE(received) << second.readAllStandardError().toStdString();
    ASSERT_TRUE(finished);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.front().at(0).value<QList<QUrl>>(),
              QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=abc_DEF-123"))});
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/data/applications")))
        << "only the running one registers";
}

TEST(SingleInstance, AFirstLaunchTakesTheLinkOutOfItsCommandLineBeforeItRuns)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray code = "only_for_this_run_" + QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    QProcess first;
    first.setProcessEnvironment(isolated(dir));
    first.start(QStringLiteral(VEILMOX_EXECUTABLE),
                {QStringLiteral("veilmox://auth?code=") + QString::fromLatin1(code)});
    ASSERT_TRUE(first.waitForStarted(10000));
    // Once it listens for later launches it runs as the one instance.
    const bool listening = QTest::qWaitFor(
        [&] { return QFile::exists(dir.path() + QStringLiteral("/getveilmox.Veilmox.urls")); }, 20000);
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(first.processId()));
    const bool readable = commandLine.open(QIODevice::ReadOnly);
    const QByteArray shown = commandLine.readAll();
    first.kill();
    first.waitForFinished(10000);
    ASSERT_TRUE(listening) << first.readAllStandardError().toStdString();
    ASSERT_TRUE(readable);
    EXPECT_TRUE(shown.startsWith(QFile::encodeName(QStringLiteral(VEILMOX_EXECUTABLE))))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains(code)) << shown.toStdString();
}
