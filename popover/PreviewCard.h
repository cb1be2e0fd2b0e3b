#pragma once

#include <QImage>
#include <QRectF>
#include <QWidget>

#include <optional>

class PauseShareButton;
class PiPController;
class WindowManager;

namespace kit {
class PressFeedbackButton;
}

// What the preview card shows for the state of the share, as pure data.
struct PreviewCardState
{
    bool showsImage = false;       // else the "PREPARING PREVIEW" placeholder
    bool showsPauseButton = false; // while the virtual display runs
    bool showsPauseBorder = false; // while the share is paused
    bool showsPopOut = false;      // while the picture-in-picture panel is hidden
    bool showsLive = false;        // while a share is detected and not paused

    static PreviewCardState
    make(bool hasImage, bool displayRunning, bool sharePaused, bool shareDetected, bool pipVisible);

    bool operator==(const PreviewCardState&) const = default;
};

// The main page's live preview: the virtual display's latest frame fitted into the card on the
// card's dark fill (letterboxed, never cropped or stretched), or a placeholder before the first
// frame, with the pause button, "POP OUT" and "LIVE" over it. Each frame is drawn straight into
// the card's rectangle, so it costs the card's pixels, not the frame's; the card keeps only a
// shared reference to the state object's frame. Main thread only.
class PreviewCard final : public QWidget
{
    Q_OBJECT

public:
    PreviewCard(WindowManager& windowManager, PiPController& pip, QWidget* parent = nullptr);

    const PreviewCardState& state() const { return m_state; }
    // Where the frame is drawn now (empty without one).
    QRectF imageRect() const;
    const std::optional<QImage>& image() const { return m_image; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Resamples the frame into `into` (its size and an opaque 32-bit format given), reading
    // `sourceRows` rows of the frame spread evenly over its height: each pixel takes the pixel
    // of its nearest read row under its centre, so with as many rows as `into` has, the frame's
    // pixel under its centre. The work follows the rows read, never the frame's size (a smooth
    // scale of the whole frame reads every one of its pixels).
    static void scaleInto(const QImage& frame, QImage& into, int sourceRows);
    // How many rows of the frame are read for a picture this many pixels high at this device
    // pixel ratio: one for every `kPointsPerSourceRow` points. Each row read costs a whole row
    // of the frame from memory (its samples lie closer than a cache line) and the rows are what
    // a new frame costs, while more columns cost nothing more, so the picture keeps its device
    // pixels across and spends its reads on height.
    static int sourceRowsFor(int pixelRows, double devicePixelRatio);
    static constexpr double kPointsPerSourceRow = 2;

    static constexpr double kHeight = 150;
    static constexpr double kCornerRadius = 12;
    static constexpr double kInset = 8;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    class Picture;

    void sync();
    void frameChanged(const std::optional<QImage>& image);
    void placeOverlays();
    void placePicture();
    const QImage& bordersImage();
    // Where the frame goes, in device pixels of the card.
    QRect pixelRect() const;
    // The frame at the card's pixels, remade when the frame or the size changed; `pixels` is
    // where it goes.
    const QImage& scaledFrame(QRect& pixels);
    // Samples the frame straight into the painter's device where Qt repaints; false (nothing
    // done) when the device or the painter's state does not allow it.
    bool paintFrameInPlace(QPainter& painter);
    // The bars, the frame and the borders where `dirty` (in the card's points) reaches them.
    void paintContent(QPainter& painter, const QRegion& dirty);
    void paintFrame(QPainter& painter, const QRegion& dirty);
    void paintBorders(QPainter& painter, const QRectF& dirty);

    WindowManager& m_windowManager;
    PiPController& m_pip;
    std::optional<QImage> m_image;
    // The frame as drawn, at the card's pixels; remade when the frame or the size changes.
    QImage m_scaled;
    qint64 m_scaledKey = 0;
    // The card's borders (the pause border too while paused), drawn once.
    QImage m_borders;
    bool m_bordersPaused = false;
    PreviewCardState m_state;
    bool m_shareDetected = false;
    bool m_synced = false;

    // The opaque view over the frame's part of the card: a new frame repaints it alone.
    QWidget* m_picture;
    QWidget* m_placeholder;
    PauseShareButton* m_pause;
    kit::PressFeedbackButton* m_popOut;
    QWidget* m_live;
};
