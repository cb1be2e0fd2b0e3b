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
    // The link then travels over the session bus, where no other user can read it.
    text += QStringLiteral("DBusActivatable=true\n");
    text += QStringLiteral("Terminal=false\n");
    // Only the handler: the program is started from its own script, not from menus.
    text += QStringLiteral("NoDisplay=true\n");
    text += QStringLiteral("MimeType=") + mimeTypes.join(QLatin1Char(';')) + QStringLiteral(";\n");
    return text;
}

QString dbusServiceFile(const QString& busName, const QString& executable)
{
    // The bus splits Exec as a shell would: single quotes keep every character but themselves.
    QString quoted = executable;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QStringLiteral("[D-BUS Service]\nName=") + busName + QStringLiteral("\nExec='") + quoted
           + QStringLiteral("'\n");
}

QString userDataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

namespace {

// Writes the file unless it holds the text already.
Registration writeIfChanged(const QString& folder, const QString& path, const QByteArray& text)
{
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text) {
        return Registration::Unchanged;
    }
    existing.close();
    QSaveFile file(path);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) || file.write(text) != text.size()
        || !file.commit()) {
        return Registration::Failed;
    }
    return Registration::Written;
}

} // namespace

Registration registerURLSchemeHandler(const QString& desktopFileID,
                                      const QString& name,
                                      const QString& executable,
                                      const QStringList& schemes,
                                      const QString& dataDirectory)
{
    const QString applications = dataDirectory + QStringLiteral("/applications");
    const QString services = dataDirectory + QStringLiteral("/dbus-1/services");
    const Registration entry =
        writeIfChanged(applications,
                       applications + QLatin1Char('/') + desktopFileID + QStringLiteral(".desktop"),
                       urlHandlerDesktopEntry(name, executable, schemes).toUtf8());
    const Registration service =
        writeIfChanged(services,
                       services + QLatin1Char('/') + desktopFileID + QStringLiteral(".service"),
                       dbusServiceFile(desktopFileID, executable).toUtf8());
    if (entry == Registration::Failed || service == Registration::Failed) {
        return Registration::Failed;
    }
    return entry == Registration::Written || service == Registration::Written ? Registration::Written
                                                                              : Registration::Unchanged;
}

void makeDefaultURLSchemeHandler(const QString& desktopFileID, const QStringList& schemes)
{
    const QString fileName = desktopFileID + QStringLiteral(".desktop");
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    for (const QString& scheme : schemes) {
        const QString mimeType = QStringLiteral("x-scheme-handler/") + scheme.toLower();
        QProcess tool;
        tool.setStandardOutputFile(QProcess::nullDevice());
        if (!xdgMime.isEmpty()) {
            tool.setProgram(xdgMime);
            tool.setArguments({QStringLiteral("default"), fileName, mimeType});
        } else if (!gio.isEmpty()) {
            tool.setProgram(gio);
            tool.setArguments({QStringLiteral("mime"), mimeType, fileName});
        } else {
            return;
        }
        tool.startDetached();
    }
}

} // namespace platform
