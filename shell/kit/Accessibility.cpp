#include "shell/kit/Accessibility.h"

#include "platform/AccessibilitySettings.h"
#include "platform/Services.h"

namespace kit {

platform::AccessibilitySettings* accessibilitySettings()
{
    return platform::Services::current().accessibility;
}

bool reduceMotion()
{
    const auto* s = accessibilitySettings();
    return s != nullptr && s->accessibilityDisplayShouldReduceMotion();
}

bool increaseContrast()
{
    const auto* s = accessibilitySettings();
    return s != nullptr && s->accessibilityDisplayShouldIncreaseContrast();
}

bool reduceTransparency()
{
    const auto* s = accessibilitySettings();
    return s != nullptr && s->accessibilityDisplayShouldReduceTransparency();
}

} // namespace kit
