#pragma once

#include <QByteArray>

namespace platform {

// The account's home folder as the password database gives it, as GLib's g_get_home_dir finds it
// without HOME; empty when the account has none.
QByteArray accountHomeFolder();

// Where HOME is unset or empty (a service, a stripped environment), sets it to the account's home
// folder, so that every path built on it (Qt's standard locations, the tools this program starts)
// lands in the user's own folders, never in "/". Call first thing, before other threads run.
void takeHomeFromAccountWhenUnset();

} // namespace platform
