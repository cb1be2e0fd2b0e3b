#pragma once

#include "platform/Scheduler.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Typography.h"
#include "shell/kit/ViewEffect.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace kit {

class TooltipHost;

// The kit's own tooltips, drawn inside the window in the palette's colours instead of the
// system's tooltip windows. A `TooltipSource` on a control publishes a request after the pointer
// has rested on it for 0.55 s; the `TooltipHost` of a container above it collects the requests of
// everything inside and shows one `TooltipBubble` beside the hovered control, inside the
// container's edges. Main thread only.

// One request: the text and the control it is about. Requests are equal when their texts are.
struct TooltipItem
{
    QString text;
    QPointer<QWidget> anchor;

    friend bool operator==(const TooltipItem& a, const TooltipItem& b) { return a.text == b.text; }
};

struct TooltipStyle
{
    static constexpr double kDelay = 0.55;
    static constexpr double kGap = 6;
    static constexpr double kMargin = 8;
    static constexpr double kMaxTextWidth = 220;
    static constexpr double kHorizontalPadding = 9;
    static constexpr double kVerticalPadding = 6;
    static constexpr double kCornerRadius = 7;
    static constexpr double kTransitionDuration = 0.14;

    // "Geist-Medium" at 11 points in the primary text colour.
    static TextLook textLook();
    static Shadow shadow();
    // The animation of the bubble's coming and going, chosen now.
    static Animation transition();

    // The bubble's ideal size: its text wrapped at 220 points (never truncated) plus padding.
    static QSizeF bubbleSize(const QString& text, const QPaintDevice* device = nullptr);

    // Where the bubble's top-left corner goes in the container: centred under the target and
    // kept inside the side margins (the left margin wins when it cannot fit); above the target
    // when there is no room below.
    static QPointF bubbleOrigin(const QRectF& target,
                                const QSizeF& container,
                                const QSizeF& size,
                                double gap = kGap,
                                double margin = kMargin);
};

// A tooltip on one control; owned by the control. The control's accessible description is the
// text, so assistive technologies read it without hovering.
class TooltipSource final : public QObject
{
    Q_OBJECT

public:
    // Puts a tooltip on the control, replacing one it has.
    static TooltipSource* attach(QWidget* control, const QString& text);
    // The control's tooltip; null when it has none.
    static TooltipSource* of(const QWidget* control);
    ~TooltipSource() override;
    TooltipSource(const TooltipSource&) = delete;
    TooltipSource& operator=(const TooltipSource&) = delete;

    QWidget* control() const;
    QString text() const { return m_text; }
    bool isShowing() const { return m_showing; }
    bool isWaiting() const { return m_pending.isActive(); }
    // The published request: one item while showing with a non-empty text, else none.
    QList<TooltipItem> items() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TooltipSource(QWidget* control, const QString& text);
    void hoverChanged(bool entered);
    void setShowing(bool showing);

    QString m_text;
    bool m_showing = false;
    platform::TimerHandle m_pending;
    QPointer<TooltipHost> m_host;
};

// The bubble the host draws: the text on the raised surface with a faint border and a shadow.
class TooltipBubble final
    : public QWidget
    , public SelfPainted
{
    Q_OBJECT

public:
    explicit TooltipBubble(QWidget* parent);

    QString text() const { return m_text; }
    void setText(const QString& text);
    void setOpacity(double opacity);
    double opacity() const { return m_opacity; }
    // The measured size (its rectangle is exactly that).
    QSizeF measuredSize() const { return m_size; }

    void paintLook(QPainter& painter) override;
    QMarginsF lookOverflow() const override { return TooltipStyle::shadow().reach(); }
    std::optional<ContentPlacement> contentPlacement() const override { return std::nullopt; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString m_text;
    QSizeF m_size;
    double m_opacity = 1;
};

// The host of the tooltips of everything inside one container; owned by the container. It keeps
// no state beyond what it shows: the last request in the widget tree's order wins.
class TooltipHost final : public QObject
{
    Q_OBJECT

public:
    // Hosts the tooltips inside the container (every window's content view has one); a second
    // call returns the same host.
    static TooltipHost* attach(QWidget* container);
    // The nearest host at or above the widget; null when there is none.
    static TooltipHost* hostFor(const QWidget* widget);

    QWidget* container() const;
    // The requests of the sources inside, in the widget tree's order.
    const QList<TooltipItem>& items() const { return m_items; }
    // The bubble while one is shown (also while it fades out); null otherwise.
    TooltipBubble* bubble() const;

    // Collects the requests again; sources call it when theirs change.
    void refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TooltipHost(QWidget* container);
    QList<TooltipItem> collect() const;
    void place();
    void opacityChanged();

    QWidget* m_overlay;
    TooltipBubble* m_bubble = nullptr;
    QList<TooltipItem> m_items;
    AnimatedValue m_opacity{0.0};
};

} // namespace kit
