#pragma once

#include "onboarding/MockLayout.h"

#include <array>

// A small presentation slide ("Q4 Strategy", "Key Deliverables" and a bar chart): what the
// audience is meant to see while the private windows stay hidden. Always the same picture; its
// container decides its size.
struct PresentationSlideWindow
{
    static constexpr double kChartHeight = 58;
    // The bars' heights as fractions of the chart's; the last, tallest bar is the flame one.
    static constexpr std::array<double, 6> kBars{0.34, 0.5, 0.42, 0.62, 0.78, 1.0};

    mock::Item item() const;
};
