#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/TextView.h"

#include <QRectF>
#include <QString>
#include <QWidget>

class HUDOverlayController;

// Draws the HUD toast from its controller's values: a 290 x 50 capsule centred in the 340 x 80
// panel with the app's icon, its name on one line, a status line that wraps, and a tag. The content springs
// in (scaling from 0.94 and fading) when the controller becomes visible and leaves along a curve when it
// stops being so; under Reduce Motion it only fades. Main thread only.
class HUDToastView final : public QWidget
{
    Q_OBJECT

public:
    explicit HUDToastView(HUDOverlayController& controller, QWidget* parent = nullptr);

    // The title line: the app's name, or "Application" for an empty one.
    static QString title(const QString& appName);
    // The status line: the subtitle when there is one, else whether the thing is hidden.
    static QString statusLine(const std::optional<QString>& subtitle, bool isVeiled);
    // How far the content is in: 0 (gone) to 1 (fully shown).
    double presence() const { return m_presence.value(); }

    static constexpr QSizeF kCapsuleSize{290, 50};
    static constexpr double kIconSide = 26;
    static constexpr double kLeadingPadding = 12;
    static constexpr double kTrailingPadding = 14;
    // Between the row's items: icon, texts, a spacer of at least 8, tag.
    static constexpr double kSpacing = 10;
    static constexpr double kMinimumSpacer = 8;
    static constexpr double kLineSpacing = 2; // between the title and the status line
    static constexpr double kExitScale = 0.94;

    // Where everything goes in the capsule for these values.
    struct Layout
    {
        QRectF icon;
        QRectF title;      // one line
        QString titleText; // cut with "…" to the title's width
        QRectF status;
        kit::TextBlock statusText; // wraps; cut with "…" when the capsule has no more room
        QRectF tag;
    };
    static Layout layout(const QRectF& capsule,
                         const QString& appName,
                         const std::optional<QString>& subtitle,
                         bool isVeiled,
                         const QPaintDevice* device = nullptr);

    QRectF capsuleRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void visibilityChanged(bool visible);

    HUDOverlayController& m_controller;
    kit::AnimatedValue m_presence;
};
