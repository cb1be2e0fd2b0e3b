#pragma once

#include "onboarding/MockLayout.h"

#include <QColor>
#include <QString>

#include <optional>

// The shared chrome of the onboarding's mock windows, as pieces of a mock picture.

// A macOS-style window frame around any content: a 26-point title bar with the three window
// buttons and the app's name (one line, truncated) and an accessory at its trailing end, the
// content below on `surface`, 12-point continuous corners, a 1-point outline and a drop shadow.
// Its width comes from its caller; its height is 26 plus the content's.
struct MockWindowShell
{
    QString app;
    QColor titleColor;
    QColor surface;
    QColor titleBar;
    QColor border;
    mock::Item trailing;
    mock::Item content;

    static constexpr double kTitleBarHeight = 26;
    static constexpr double kCornerRadius = 12;

    mock::Item item() const;
};

// The three window buttons, 7 points each, 4 apart; dimmed ones are drawn at 0.45.
struct TrafficLights
{
    bool dimmed = false;

    static constexpr double kDiameter = 7;
    static constexpr double kSpacing = 4;

    mock::Item item() const;
};

// A rounded placeholder bar standing for a line of text or a block of content: exactly `width`
// wide, or as wide as offered when there is no width. A radius of 999 gives round ends.
struct Rule
{
    std::optional<double> width;
    double height = 4;
    double radius = 999;
    QColor color;

    mock::Item item() const;
};

// A coloured initials circle: the initials in Geist SemiBold at half the diameter, white.
struct Avatar
{
    QString initials;
    QColor background;
    double size = 16;

    mock::Item item() const;
};
