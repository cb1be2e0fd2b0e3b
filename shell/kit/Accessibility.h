#pragma once

namespace platform {
class AccessibilitySettings;
} // namespace platform

namespace kit {

// The workspace's accessibility display options, read at the moment of the call (when a view
// builds, paints or starts an animation), never cached. Without installed settings all are off.
bool reduceMotion();
bool increaseContrast();
bool reduceTransparency();

// The process's settings object, for views that follow its change signal; null when none.
platform::AccessibilitySettings* accessibilitySettings();

} // namespace kit
