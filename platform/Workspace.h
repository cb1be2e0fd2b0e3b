#pragma once

#include "platform/NotificationCenter.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace platform {

using pid_type = qint32;

enum class ActivationPolicy
{
    Regular,
    Accessory,
    Prohibited
};

// A live handle onto one running process, as the workspace reports it.
class RunningApplication
{
public:
    virtual ~RunningApplication() = default;

    virtual pid_type processIdentifier() const = 0;
    virtual std::optional<QString> bundleIdentifier() const = 0;
    virtual std::optional<QString> localizedName() const = 0;
    virtual QImage icon() const = 0;
    virtual ActivationPolicy activationPolicy() const = 0;
    virtual bool isHidden() const = 0;
    virtual bool isActive() const = 0;
    virtual bool isTerminated() const = 0;

    // How an activation brings the app's windows forward: its front window alone, or all of them.
    struct ActivationOptions
    {
        bool allWindows = false;
    };

    // Each returns whether the system accepted the request.
    virtual bool hide() = 0;
    virtual bool unhide() = 0;
    // Makes the app the active one and brings its windows in front of other apps' windows on
    // their levels.
    virtual bool activate(ActivationOptions options) = 0;
    bool activate() { return activate(ActivationOptions{}); }
};

using RunningApplicationRef = std::shared_ptr<RunningApplication>;

// The running applications and their notifications.
class Workspace
{
public:
    virtual ~Workspace() = default;

    virtual QList<RunningApplicationRef> runningApplications() const = 0;
    virtual RunningApplicationRef frontmostApplication() const = 0;
    // The running application with this process identifier; null when there is none.
    virtual RunningApplicationRef runningApplication(pid_type processIdentifier) const = 0;
    // This program's own process.
    virtual pid_type currentProcessIdentifier() const = 0;

    // Launch, termination and activation notifications.
    virtual NotificationCenter& notificationCenter() = 0;

    // Hands a URL to the application that opens it (a browser, the settings pane); false when
    // no application took it.
    virtual bool openURL(const QUrl& url) = 0;
    // The same, telling once it is known whether an application took the URL: a launcher that
    // looks for the browser answers only as it ends. `done` runs exactly once, on the main
    // thread, at once or later.
    virtual void openURLWithCompletion(const QUrl& url, std::function<void(bool opened)> done)
    {
        done(openURL(url));
    }
    // The bundle identifier of the application that would open this URL; none when none would.
    virtual std::optional<QString> bundleIdentifierOfApplicationToOpen(const QUrl& url) const = 0;

    // Where the application with this bundle identifier is installed (a file URL of its bundle);
    // none when no such application is installed.
    virtual std::optional<QUrl>
    urlForApplicationWithBundleIdentifier(const QString& bundleIdentifier) const = 0;
    // The icon the system shows for the file at a path; a null image when it has none to show.
    virtual QImage iconForFile(const QString& path) const = 0;
};

} // namespace platform
