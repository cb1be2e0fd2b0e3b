#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/ViewEffect.h"

#include <QWidget>

#include <optional>

namespace kit {

// The slider's layout for one value and width: where the knob and the filled part are.
struct FlameSliderGeometry
{
    static constexpr double kThumb = 14; // the knob's diameter
    static constexpr double kHeight = 18;
    static constexpr double kTrackHeight = 4;

    double lower = 0;
    double span = 0;     // upper − lower
    double fraction = 0; // (value − lower) / span when span > 0, else 0; not clamped
    double usable = 1;   // max(width − thumb, 1)
    double x = 0;        // the knob's leading edge: fraction × usable
    double thumb = kThumb;

    double knobCenter() const { return x + thumb / 2; }
    // The filled part reaches the knob's centre.
    double filledWidth() const { return x + thumb / 2; }

    static FlameSliderGeometry
    make(double value, double lower, double upper, double width, double thumb = kThumb);
};

// One drag over the slider: the knob keeps the point where it was grabbed under the pointer
// when the press landed on (or within 4 points of) the knob, otherwise its centre jumps under
// the pointer. Values are continuous and clamped to the range.
class FlameSliderDrag
{
public:
    // A change of the drag that began at `startX` and is now at `currentX`, against the most
    // recent layout. Returns the value to write.
    double changed(double startX, double currentX, const FlameSliderGeometry& geometry);
    void ended();

    bool isDragging() const { return m_dragging; }
    std::optional<double> grabOffsetX() const { return m_grabOffsetX; }

private:
    bool m_dragging = false;
    std::optional<double> m_grabOffsetX;
};

// The horizontal slider, 18 points high (one per control, found by its object name). It never
// moves its own value: dragging emits `valueChangeRequested` on every change and the owner sets
// the model's value back with `setValue`. While dragging the knob grows to 1.12 and its glow
// brightens, animated with the standard curve over 0.18 s. A drag whose release never arrives
// ends when the slider is hidden or disabled, and a press always starts a new drag.
class FlameSlider final
    : public QWidget
    , public SelfPainted
{
    Q_OBJECT

public:
    FlameSlider(double value, double lower, double upper, QWidget* parent = nullptr);

    double value() const { return m_value; }
    void setValue(double value);
    double lower() const { return m_lower; }
    double upper() const { return m_upper; }
    void setRange(double lower, double upper);

    bool isDragging() const { return m_drag.isDragging(); }
    FlameSliderGeometry geometryNow() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    void paintLook(QPainter& painter) override;
    QMarginsF lookOverflow() const override;
    std::optional<ContentPlacement> contentPlacement() const override { return std::nullopt; }

signals:
    void valueChangeRequested(double value);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void dragTo(double x);
    void endDrag();

    double m_value;
    double m_lower;
    double m_upper;
    FlameSliderDrag m_drag;
    std::optional<double> m_dragStartX;
    AnimatedValue m_dragging{0.0};
};

} // namespace kit
