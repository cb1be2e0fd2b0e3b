#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The desktop entry (freedesktop.org) that names this program as the handler of its URL schemes.
// Launchers that honour DBusActivatable start it through the session bus and hand the link over
// as a method call (see ApplicationBus); others run Exec with the link as its argument.
// `executable` is the program's absolute path.
QString urlHandlerDesktopEntry(const QString& name, const QString& executable, const QStringList& schemes);

// The session bus's service file that starts the program for its bus name.
QString dbusServiceFile(const QString& busName, const QString& executable);

// One argument of an entry's Exec line, quoted where the format requires it (the service file's
// Exec line quotes the same way, without the doubled %).
QString desktopExecArgument(const QString& argument);

// $XDG_DATA_HOME, by default ~/.local/share.
QString userDataDirectory();

enum class Registration
{
    Unchanged,
    Written,
    Failed
};

// Writes `<dataDirectory>/applications/<desktopFileID>.desktop` and
// `<dataDirectory>/dbus-1/services/<desktopFileID>.service` unless the same texts are there. A
// program path holding a control character (a newline, say), or one that is empty, relative or
// not valid UTF-8, is refused: Failed, one log line, nothing written.
Registration registerURLSchemeHandler(const QString& desktopFileID,
                                      const QString& name,
                                      const QString& executable,
                                      const QStringList& schemes,
                                      const QString& dataDirectory = userDataDirectory());

// Asks the desktop (xdg-mime, else GLib's gio) to make the entry the default handler of each
// scheme; does nothing when neither is installed.
void makeDefaultURLSchemeHandler(const QString& desktopFileID, const QStringList& schemes);

} // namespace platform
