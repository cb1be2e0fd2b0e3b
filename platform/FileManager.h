#pragma once

#include <QString>

namespace platform {

// The file system as the user sees it in the file browser. Main thread only.
class FileManager
{
public:
    virtual ~FileManager() = default;

    // The name shown for the file at a path: localized, and with or without its extension as the
    // user's settings say.
    virtual QString displayNameAtPath(const QString& path) const = 0;
};

} // namespace platform
