#pragma once

#include "platform/AccessibilitySettings.h"

namespace platform::sim {

// Accessibility display options held in memory: all off until someone (a test, a demo) flips
// them. Every change of a value emits the change signal once.
class SimAccessibilitySettings final : public AccessibilitySettings
{
    Q_OBJECT

public:
    using AccessibilitySettings::AccessibilitySettings;

    bool accessibilityDisplayShouldReduceMotion() const override { return m_reduceMotion; }
    bool accessibilityDisplayShouldIncreaseContrast() const override { return m_increaseContrast; }
    bool accessibilityDisplayShouldReduceTransparency() const override { return m_reduceTransparency; }

    void setReduceMotion(bool on) { set(m_reduceMotion, on); }
    void setIncreaseContrast(bool on) { set(m_increaseContrast, on); }
    void setReduceTransparency(bool on) { set(m_reduceTransparency, on); }

private:
    void set(bool& option, bool on);

    bool m_reduceMotion = false;
    bool m_increaseContrast = false;
    bool m_reduceTransparency = false;
};

} // namespace platform::sim
