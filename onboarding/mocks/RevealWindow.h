#pragma once

#include "onboarding/MockLayout.h"

#include <QList>
#include <QString>

#include <optional>

// The private windows of the demo that the audience must not see, as small dark mock windows,
// and a pile of them whose back windows peek out above the front one. Paint-only data; the demo
// sizes and animates them.

// The kinds of private window, in this order.
enum class RevealVariant
{
    Search,   // "search": a browser with a search results page
    Workchat, // "workchat": a work chat channel
    Banking,  // "banking": an online banking account
    Files,    // "files": a file browser folder
    Messages  // "messages": a personal text conversation
};

namespace reveal {
const QList<RevealVariant>& allCases();
QString rawValue(RevealVariant variant);
// The variant whose raw value is exactly `raw` (all lower case); none for anything else.
std::optional<RevealVariant> fromRawValue(const QString& raw);
} // namespace reveal

struct RevealWindow
{
    RevealVariant variant = RevealVariant::Workchat;

    // The title bar's name: "Slack", "Online Banking", "Finder", "Messages"; the browser has
    // no title bar and no name.
    static QString app(RevealVariant variant);
    mock::Item item() const;
};

// The front window (`variants` first, the work chat when empty) under up to three back strips,
// one `step` apart, the one right behind the front window lowest.
struct RevealStack
{
    QList<RevealVariant> variants;
    double step = 9;

    static constexpr int kMaxStrips = 3;
    static constexpr double kStripHeight = 10;

    // Where one back strip lies: inset on each side, and moved down from the top of the strip
    // area.
    struct Strip
    {
        double leadingInset = 0;
        double trailingInset = 0;
        double offsetY = 0;
    };

    // In drawing order (the one right behind the front window first).
    QList<Strip> strips() const;
    double stripAreaHeight() const { return static_cast<double>(strips().size()) * step; }
    RevealVariant front() const { return variants.isEmpty() ? RevealVariant::Workchat : variants.first(); }
    mock::Item item() const;
};
