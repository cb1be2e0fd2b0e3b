#pragma once

#include "onboarding/HideCategory.h"
#include "onboarding/MockLayout.h"

#include <QString>

#include <array>

// The paint-only pictures of the hide step, built from what they show: the audience panel with
// its miniature windows, banner and clean-screen cover; the category cards' previews; the
// auto-hide badge.
namespace hidestep {

// What the audience panel draws at one moment. Every amount runs from 0 to 1, so animations
// ease between the two looks.
struct AudienceLook
{
    int selectedCount = 0;
    std::array<double, 4> hidden{}; // per category, in `HideCategory::allCases()` order
    double banner = 0;              // how far the "Share started" banner is in
    double clean = 0;               // how far the "Your screen is clean" cover is in
    double guarded = 0;             // 1 while something is selected: the flame border and shield
};

mock::Item audiencePanel(const AudienceLook& look);
// "2 hidden on every share", or "Nothing hidden yet".
QString footerText(int selectedCount);

// The category's title on its card ("Work & team chat" …).
QString cardTitle(HideCategory category);
// The card's top: the category's app glyph and a sketch of its content, on its own background.
mock::Item cardPreview(HideCategory category);
// "AUTO-HIDE ON" on a flame capsule when on, a quiet "AUTO-HIDE" otherwise.
mock::Item autoHideBadge(bool on);

} // namespace hidestep
