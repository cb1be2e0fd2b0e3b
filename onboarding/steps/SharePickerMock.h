#pragma once

#include "onboarding/MockLayout.h"

// The picture of a meeting app's share picker on the share step, in its window: the "Entire
// Screen" tab chosen (badge 1), the real screen beside the "Veilmox" screen, which is chosen
// (flame outline and glow, shield mark, badge 2, the pointer over it), and the "Share" pill.
struct SharePickerMock
{
    // The picker in its window, as wide as it is offered.
    mock::Item item() const;
    // The picker's content alone.
    static mock::Item picker();
    // One screen's thumbnail with its label; only the real screen shows the private windows.
    static mock::Item thumbnail(const QString& title, bool selected);
    // A numbered flame badge marking what to click.
    static mock::Item stepBadge(int number);

    static constexpr double kThumbnailWidth = 118;
    static constexpr double kThumbnailHeight = 74;
};
