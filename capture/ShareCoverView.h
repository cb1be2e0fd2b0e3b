#pragma once

#include <QColor>
#include <QImage>
#include <QSizeF>

#include <optional>

class QPainter;

// The "Be right back" card the audience sees while the share is paused in cover mode: the logo,
// a title, a line of explanation and a tracked "SCREEN PAUSED" label over a soft flame glow on the
// canvas colour. Every measure scales with the smaller side of the size it is given, so one
// design serves every display. Main thread only.
class ShareCoverView
{
public:
    // The measures for one size; `unit` is a hundredth of the smaller side.
    struct Metrics
    {
        double unit = 0;
        double gradientRadius = 0;
        double spacing = 0;
        double logoSide = 0;
        double logoBottomPadding = 0;
        double titleSize = 0;
        double titleTracking = 0;
        double subtitleSize = 0;
        double labelSize = 0;
        double labelTracking = 0;
        double labelTopPadding = 0;
        QColor subtitleColor;
        QColor labelColor;

        static Metrics forSize(const QSizeF& size, bool increaseContrast);
    };

    // Rendered images have this many pixels per point asked for.
    static constexpr double kScale = 2.0;
    // The largest side, in pixels, a rendering is attempted for.
    static constexpr int kMostPixels = 32767;

    // Paints the card filling `size` (points), reading nothing itself.
    static void paint(QPainter& painter, const QSizeF& size, bool increaseContrast);

    // The card rendered at twice the asked size in pixels; the image's size is its pixel size
    // (1512 × 982 points give 3024 × 1964). Increase Contrast is read now. None for a zero,
    // negative or non-finite size and when the bitmap cannot be made; the caller then freezes.
    static std::optional<QImage> renderImage(double width, double height);
};
