#pragma once

#include <QString>

// A capture error whose description holds "declined", "TCC", "denied" or "permission" (in any
// letter case) means the Screen Recording permission is missing.
bool isScreenRecordingPermissionFailure(const QString& description);
