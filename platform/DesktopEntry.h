#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The desktop entry (freedesktop.org) that names this program as the handler of its URL schemes,
// so that browsers hand "veilmox:" links to it. `executable` is the program's absolute path.
QString urlHandlerDesktopEntry(const QString& name, const QString& executable, const QStringList& schemes);

// One argument of an entry's Exec line, quoted where the format requires it.
QString desktopExecArgument(const QString& argument);

// $XDG_DATA_HOME/applications, by default ~/.local/share/applications.
QString userApplicationsDirectory();

// Writes the entry as `<desktopFileID>.desktop` into `applicationsDirectory` unless the same text
// is there already and, when it was written, asks the desktop (xdg-mime, when installed) to make
// it the default handler of each scheme. False when the entry could not be written.
bool registerURLSchemeHandler(const QString& desktopFileID,
                              const QString& name,
                              const QString& executable,
                              const QStringList& schemes,
                              const QString& applicationsDirectory = userApplicationsDirectory());

} // namespace platform
