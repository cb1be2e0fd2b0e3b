#pragma once

#include "platform/NotificationCenter.h"

#include <QList>
#include <QRectF>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>

namespace platform {

// Key under which a screen's device description holds its display identifier.
inline const QString kScreenNumberKey = QStringLiteral("NSScreenNumber");

// One screen as the application sees it.
struct Screen
{
    QVariantMap deviceDescription;
    QString localizedName;
    QRectF frame; // global points, top-left origin
    // The frame less the menu bar and the Dock: where windows are placed.
    QRectF visibleFrame;
    double backingScaleFactor = 1.0;

    // The display identifier under "NSScreenNumber", when it holds a 32-bit unsigned integer.
    std::optional<quint32> displayID() const;
};

// The screens in the system's order, and the application's notifications about them.
class ScreenList
{
public:
    virtual ~ScreenList() = default;

    virtual QList<Screen> screens() const = 0;
    // Height of the menu bar, in points.
    virtual double menuBarHeight() const = 0;
    // Posts "NSApplicationDidChangeScreenParametersNotification" when screens come, go or move.
    virtual NotificationCenter& defaultCenter() = 0;
};

} // namespace platform
