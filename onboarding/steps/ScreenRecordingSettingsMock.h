#pragma once

#include "onboarding/MockLayout.h"

#include <QColor>

// The picture of System Settings' Screen Recording pane on the permissions step: a list of apps
// with their switches, Veilmox's row highlighted in flame with the pointer over its switch until
// the permission is granted, and its switch on afterwards.

// The blue of the system's switches.
const QColor& settingsBlue();

// A system switch: a 26 x 15 capsule with a white knob, `on` from 0 (off, knob leading) to 1
// (on, knob trailing, filled with the tint); values between are the slide.
struct MockSwitch
{
    double on = 0;
    QColor tint;

    mock::Item item() const;
};

// The pane in its window. `granted` runs from 0 to 1 while the change animates: the switch
// slides, the pointer fades and the row's highlight goes.
struct ScreenRecordingSettingsMock
{
    double granted = 0;

    mock::Item item() const;
};
