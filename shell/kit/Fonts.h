#pragma once

#include <QStringList>

namespace kit {

// The font files to register from these folders, in order: each folder's files (not those of
// its subfolders) with the extension "ttf" whose names begin with "Geist" (case-sensitive), in
// the order the folder lists them. A folder that cannot be read adds nothing.
QStringList fontFilesToRegister(const QStringList& folders);

// Registers each file for this process only; a file whose contents are already registered is
// skipped, and one that cannot be read or is not a font is skipped silently. Returns the files
// registered by this call.
QStringList registerFontFiles(const QStringList& files);

// Removes every font registered so far from the process and forgets it, so that registering
// starts from a clean registry again (tests that register their own files).
void forgetRegisteredFonts();

// The application's resource folders that hold font files: the top level, then "Fonts".
QStringList appFontFolders();

// Registers the application's Geist font files for the process. Called once at launch, before
// the first view is built; a missing font leaves views on the system's fallback.
void registerAppFonts();

} // namespace kit
