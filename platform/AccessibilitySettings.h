#pragma once

#include <QObject>

namespace platform {

// The system's accessibility display options, as the workspace reports them. Views read them
// each time they are built or start an animation, never caching them; the change signal stands
// for the workspace's display-options notification. Main thread only.
class AccessibilitySettings : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool accessibilityDisplayShouldReduceMotion() const = 0;
    virtual bool accessibilityDisplayShouldIncreaseContrast() const = 0;
    virtual bool accessibilityDisplayShouldReduceTransparency() const = 0;

signals:
    // Any of the options changed.
    void displayOptionsChanged();
};

} // namespace platform
