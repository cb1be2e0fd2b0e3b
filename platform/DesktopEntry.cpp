#include "platform/DesktopEntry.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>

namespace platform {

namespace {

Q_LOGGING_CATEGORY(lcEntry, "veilmox.desktopentry")

// An argument as both formats split their Exec lines (the shell's rules, read after the file's
// own string escapes are undone): plain when it holds nothing special, else in double quotes
// with ", `, $ and \ escaped by a backslash, and then every backslash written twice for the
// file. With field codes, a literal % is written twice.
QString execArgument(const QString& argument, bool fieldCodes)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=");
    const bool needsQuotes =
        argument.isEmpty()
        || std::any_of(argument.cbegin(), argument.cend(), [](QChar c) { return reserved.contains(c); });
    QString escaped;
    for (const QChar c : argument) {
        if (fieldCodes && c == QLatin1Char('%')) {
            escaped += QStringLiteral("%%");
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
    escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// Control characters cannot be written into either file, and nothing a desktop runs should
// hold them.
bool holdsControlCharacter(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
    });
}

// An absolute path that names the same file once written as UTF-8: a path whose bytes are not
// UTF-8 reaches the program decoded with replacement characters, or (Qt finding no such file)
// empty.
bool isWritableAsUTF8Path(const QString& path)
{
    return QDir::isAbsolutePath(path) && !path.contains(QChar::ReplacementCharacter)
           && QFile::decodeName(QFile::encodeName(path)) == path;
}

} // namespace

QString desktopExecArgument(const QString& argument)
{
    return execArgument(argument, /*fieldCodes=*/true);
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
    // GLib refuses an entry whose program, read before "%%" becomes "%", does not exist; a
    // program whose path holds a % is started through the shell, which exists.
    const QString program = executable.contains(QLatin1Char('%'))
                                ? QStringLiteral("/bin/sh -c ")
                                      + desktopExecArgument(QStringLiteral("exec \"$0\" \"$@\"")) + ' '
                                      + desktopExecArgument(executable)
                                : desktopExecArgument(executable);
    text += QStringLiteral("Exec=") + program + QStringLiteral(" %u\n");
    // The link then travels over the session bus, not in this program's command line.
    text += QStringLiteral("DBusActivatable=true\n");
    text += QStringLiteral("Terminal=false\n");
    // Only the handler: the program is started from its own script, not from menus.
    text += QStringLiteral("NoDisplay=true\n");
    text += QStringLiteral("MimeType=") + mimeTypes.join(QLatin1Char(';')) + QStringLiteral(";\n");
    return text;
}

QString dbusServiceFile(const QString& busName, const QString& executable)
{
    return QStringLiteral("[D-BUS Service]\nName=") + busName + QStringLiteral("\nExec=")
           + execArgument(executable, /*fieldCodes=*/false) + QLatin1Char('\n');
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
    QString error;
    if (!makeFolder(folder, &error) || !writeFileAtomically(path, text, 0644, &error)) {
        qCWarning(lcEntry, "Could not write %s (%s)", qPrintable(path), qPrintable(error));
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
    if (holdsControlCharacter(executable)) {
        qCWarning(lcEntry,
                  "Not registered as the handler of links: the program's path holds a control character");
        return Registration::Failed;
    }
    if (!isWritableAsUTF8Path(executable)) {
        // Both files are UTF-8: such a path could only be written damaged (GLib then refuses the
        // entry), so the registration that is there stays.
        qCWarning(lcEntry, "Not registered as the handler of links: the program's path is not valid UTF-8");
        return Registration::Failed;
    }
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
