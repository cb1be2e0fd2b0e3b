#pragma once

#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// Decides from one snapshot of the window list whether a meeting app is sharing the screen, by
// the indicator or toolbar window each meeting app shows while it shares. Stateless.
class ScreenShareDetector
{
public:
    // The meeting app whose share is in progress.
    struct Source
    {
        QString bundleID;
        QString appName;
        bool operator==(const Source&) const = default;
    };

    // The first window, in the given order, that is a sharing indicator of a known meeting app.
    // `workspace` names an owner whose window carries no owner name; may be null.
    static std::optional<Source> detect(const QList<platform::WindowDescription>& windowInfos,
                                        const QHash<platform::pid_type, QString>& bundleIDsByPID,
                                        const platform::Workspace* workspace = nullptr);
};
