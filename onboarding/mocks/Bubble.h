#pragma once

#include "onboarding/MockLayout.h"

#include <QString>

#include <optional>

// A chat message bubble of the mock windows: the text in Geist Regular at `size`, white at
// `emphasis`, on a faint rounded card that spans the width it is offered. `widthFraction` is
// carried for callers that tell their bubbles apart; it does not change the layout.
struct Bubble
{
    QString text;
    double size = 10;
    double emphasis = 0.9;
    std::optional<double> widthFraction;

    mock::Item item() const;
};
