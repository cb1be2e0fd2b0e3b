#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace platform {

QString desktopExecArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=");
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument) {
        needsQuotes = needsQuotes || reserved.contains(c);
    }
    QString escaped;
    for (const QChar c : argument) {
        if (c == QLatin1Char('%')) {
            escaped += QStringLiteral("%%"); // field codes start with %
        } else if (needsQuotes
                   && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')
                       || c == QLatin1Char('\\'))) {
            escaped += QLatin1Char('\\') + QString(c);
        } else {
            escaped += c;
        }
    }
    if (!needsQuotes) {
        return escaped;
    }
    // Inside a quoted argument a backslash is itself written twice in the file's string value.
    escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString urlHandlerDesktopEntry(const QString& name, const QString& executable, const QStringList& schemes)
{
    QStringList mimeTypes;
    for (const QString& scheme : schemes) {
        mimeTypes.append(QStringLiteral("x-scheme-handler/") + scheme.toLower());
    }
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=") + QString(name).remove(QLatin1Char('\n')) + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + desktopExecArgument(executable) + QStringLiteral(" %u\n");
    text += QStringLiteral("Terminal=false\n");
    // Only the handler: the program is started from its own script, not from menus.
    text += QStringLiteral("NoDisplay=true\n");
    text += QStringLiteral("MimeType=") + mimeTypes.join(QLatin1Char(';')) + QStringLiteral(";\n");
    return text;
}

QString userApplicationsDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/applications");
}

bool registerURLSchemeHandler(const QString& desktopFileID,
                              const QString& name,
                              const QString& executable,
                              const QStringList& schemes,
                              const QString& applicationsDirectory)
{
    const QString fileName = desktopFileID + QStringLiteral(".desktop");
    const QString path = applicationsDirectory + QLatin1Char('/') + fileName;
    const QByteArray text = urlHandlerDesktopEntry(name, executable, schemes).toUtf8();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text) {
        return true;
    }
    existing.close();
    if (!QDir().mkpath(applicationsDirectory)) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        return false;
    }
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (!xdgMime.isEmpty()) {
        for (const QString& scheme : schemes) {
            QProcess::startDetached(xdgMime,
                                    {QStringLiteral("default"),
                                     fileName,
                                     QStringLiteral("x-scheme-handler/") + scheme.toLower()});
        }
    }
    return true;
}

} // namespace platform
