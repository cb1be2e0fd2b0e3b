#pragma once

#include "platform/Screens.h"

#include <QList>
#include <QRectF>

#include <optional>

// Screen geometry of the pinned-app overlays.

// The backing scale of the screen that covers the rectangle most; ties keep the earlier screen
// and a rectangle on no screen gets the first screen's. With no screens, 2.0.
double backingScale(const QRectF& rect, const QList<platform::Screen>& screens);

// A window-server rectangle in the space windows are placed in. Windows and the window server
// share one top-left space here, so the rectangle stays as it is.
QRectF cocoaRect(const QRectF& cgRect);

// The first screen whose "NSScreenNumber" is the display identifier.
std::optional<platform::Screen> screen(quint32 displayID, const QList<platform::Screen>& screens);
