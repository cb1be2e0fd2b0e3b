#pragma once

#include "shell/kit/Drawing.h"

#include <QGraphicsEffect>
#include <QImage>
#include <QMarginsF>
#include <QPointF>
#include <QPointer>
#include <QRegion>
#include <QTransform>

#include <optional>

class QWidget;

namespace kit {

class ViewEffect;

// Where a view's children are drawn over its own look: moved, scaled and faded as one (a pressed
// button's label shrinks with the button).
struct ContentPlacement
{
    QTransform transform; // in the view's coordinates
    double opacity = 1;
};

// A kit view that paints its own look, possibly beyond its rectangle (glows, shadows, a lift)
// without that taking room in the layout. Its `ViewEffect` paints the look and then its children.
class SelfPainted
{
public:
    SelfPainted() = default;
    virtual ~SelfPainted();
    SelfPainted(const SelfPainted&) = delete;
    SelfPainted& operator=(const SelfPainted&) = delete;

    // The look, painted in the view's coordinates with a painter that may reach beyond the
    // view. When only part of it is repainted, the painter is clipped to that part, and what
    // lies wholly outside the clip may be left out.
    virtual void paintLook(QPainter& painter) = 0;
    // How far the look may reach beyond the view's rectangle.
    virtual QMarginsF lookOverflow() const { return {}; }
    // Where the children go; none leaves them out.
    virtual std::optional<ContentPlacement> contentPlacement() const { return ContentPlacement{}; }

protected:
    // Installs the view's effect; call once from the view's constructor.
    void hostLook(QWidget* view);
    // Tells the effect that the look or its reach changed.
    void lookChanged();
    // For the view's paint event: when an effect of another kind has taken the effect's place,
    // paints the look here (clipped to the view), so the view never vanishes.
    void paintLookIfUnhosted(QWidget* view);

private:
    friend class ViewEffect;
    QPointer<ViewEffect> m_effect;
};

// How a transition has a view now: moved, scaled about an anchor (in unit coordinates of the
// view), faded and blurred. The identity pose draws the view as it is.
struct ViewPose
{
    QPointF offset;
    double scale = 1;
    QPointF anchor{0.5, 0.5};
    double opacity = 1;
    double blurRadius = 0;

    bool isIdentity() const;
    // The pose's move and scale, in the view's coordinates, for a view of this size.
    QTransform transform(const QSizeF& size) const;
};

// The one way to fade, blur, shadow or move a view with everything inside it. It is the view's
// graphics effect: a kit control's own effect (which also paints its look) or one installed on
// any other view. Opacity is applied to the view as a group; blur and shadow spread beyond it.
// Qt allows one graphics effect per view: setting another kind replaces this one (a kit control
// then still paints itself, without its glow), so use this class. Owned by the view; main thread
// only.
class ViewEffect final : public QGraphicsEffect
{
    Q_OBJECT

public:
    // The view's kit effect, installed when it has none (replacing an effect of another kind).
    static ViewEffect& on(QWidget* view);
    // The view's kit effect; null when it has none.
    static ViewEffect* of(const QWidget* view);
    // Sets a transition's pose; on a view that is not self-painted, an identity pose with no
    // other setting removes the effect again, so a view at rest is drawn as usual.
    static void setPose(QWidget* view, const ViewPose& pose);

    double opacity() const { return m_opacity; }
    void setOpacity(double opacity);
    // Gaussian blur over the whole view; its standard deviation is half the radius.
    double blurRadius() const { return m_blurRadius; }
    void setBlurRadius(double radius);
    const Shadow& shadow() const { return m_shadow; }
    void setShadow(const Shadow& shadow);
    const ViewPose& pose() const { return m_pose; }
    void setPose(const ViewPose& pose);

    // Whether it draws nothing of its own beyond the view.
    bool isNeutral() const;

protected:
    QRectF boundingRectFor(const QRectF& rect) const override;
    void draw(QPainter* painter) override;

private:
    ViewEffect(QWidget* view, SelfPainted* look);
    friend class SelfPainted;

    // The look and the children, in the view's coordinates, with the pose's move and scale.
    // `ownPainter`: the painter is the one Qt gave `draw`, on the view's own device.
    void drawView(QPainter& painter, bool ownPainter);
    // The view's own painting and its children, at this many pixels a point; valid until the
    // next call, and only in `part` (view coordinates) when one is given: the picture is kept
    // between calls, so the rest stays as an earlier call left it.
    const QImage& renderContents(double scale, const std::optional<QRegion>& part = std::nullopt);
    // What Qt repaints with this painter, in the view's coordinates (its look's reach included),
    // when the painter places the view's pixels one to one on whole device pixels; none when it
    // cannot tell.
    static std::optional<QRegion> repaintedArea(const QPainter& painter);
    // Whether the painter paints the view's window on screen (not a rendering of it).
    bool onScreen(const QPainter& painter) const;
    QRectF viewBounds() const;
    bool hasShadow() const;
    double effectiveOpacity() const;
    double effectiveBlur() const;

    QWidget* m_view;
    SelfPainted* m_look; // the view itself, or null
    double m_opacity = 1;
    double m_blurRadius = 0;
    Shadow m_shadow;
    ViewPose m_pose;
    QImage m_contents;
};

} // namespace kit
