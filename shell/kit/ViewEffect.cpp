#include "shell/kit/ViewEffect.h"

#include <QBackingStore>
#include <QPaintEngine>
#include <QPainter>
#include <QWidget>
#include <qpa/qplatformbackingstore.h>

#include <algorithm>
#include <cmath>

namespace kit {

namespace {

// The offscreen picture of a view never gets larger than this many pixels a side.
constexpr int kMostPixels = 8192;

// Device pixels per point of the painter as it stands.
double resolution(const QPainter& painter)
{
    return std::clamp(std::sqrt(std::abs(painter.deviceTransform().determinant())), 0.01, 8.0);
}

QMarginsF blurReach(double radius)
{
    const double reach = radius > 0 ? 3 * radius / 2 : 0;
    return {reach, reach, reach, reach};
}

// The shadow of whatever the picture covers (by its alpha), blurred and tinted, drawn behind it.
void drawSilhouetteShadow(QPainter& painter, const QImage& picture, QPointF at, const Shadow& shadow)
{
    const double scale = picture.devicePixelRatio();
    const int pad = static_cast<int>(std::ceil(3 * std::max(shadow.sigma(), 0.0) * scale));
    QImage mask(picture.width() + 2 * pad, picture.height() + 2 * pad, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QImage plain = picture;
        plain.setDevicePixelRatio(1);
        QPainter p(&mask);
        p.drawImage(pad, pad, plain);
    }
    blurImage(mask, shadow.sigma() * scale);
    QImage tinted(mask.size(), QImage::Format_ARGB32_Premultiplied);
    tinted.fill(shadow.color);
    {
        QPainter p(&tinted);
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, mask);
    }
    tinted.setDevicePixelRatio(scale);
    painter.drawImage(at - QPointF(pad / scale, pad / scale) + shadow.offset, tinted);
}

// Whether any view inside is shown.
bool hasShownChildren(const QWidget& view)
{
    const QObjectList& children = view.children();
    return std::any_of(children.cbegin(), children.cend(), [](const QObject* child) {
        return child->isWidgetType() && !static_cast<const QWidget*>(child)->isHidden();
    });
}

} // namespace

// ---- SelfPainted

SelfPainted::~SelfPainted()
{
    // The effect outlives this part of the view by a moment; it must not ask for the look then.
    if (m_effect) {
        m_effect->m_look = nullptr;
    }
}

void SelfPainted::hostLook(QWidget* view)
{
    auto* effect = new ViewEffect(view, this);
    m_effect = effect;
    view->setGraphicsEffect(effect);
}

void SelfPainted::lookChanged()
{
    if (m_effect) {
        m_effect->updateBoundingRect();
    }
}

void SelfPainted::paintLookIfUnhosted(QWidget* view)
{
    if (m_effect && view->graphicsEffect() == m_effect.data()) {
        return;
    }
    QPainter painter(view);
    paintLook(painter);
}

// ---- ViewPose

bool ViewPose::isIdentity() const
{
    return offset.isNull() && scale == 1 && opacity >= 1 && blurRadius <= 0;
}

QTransform ViewPose::transform(const QSizeF& size) const
{
    return scaleAbout(QPointF(anchor.x() * size.width(), anchor.y() * size.height()), scale, offset);
}

// ---- ViewEffect

ViewEffect::ViewEffect(QWidget* view, SelfPainted* look)
    : QGraphicsEffect(view)
    , m_view(view)
    , m_look(look)
{
    setObjectName(QStringLiteral("ViewEffect"));
}

ViewEffect& ViewEffect::on(QWidget* view)
{
    if (ViewEffect* existing = of(view)) {
        return *existing;
    }
    auto* look = dynamic_cast<SelfPainted*>(view);
    auto* effect = new ViewEffect(view, look);
    if (look != nullptr) {
        look->m_effect = effect;
    }
    view->setGraphicsEffect(effect);
    return *effect;
}

ViewEffect* ViewEffect::of(const QWidget* view)
{
    return view != nullptr ? qobject_cast<ViewEffect*>(view->graphicsEffect()) : nullptr;
}

void ViewEffect::setPose(QWidget* view, const ViewPose& pose)
{
    if (!pose.isIdentity()) {
        on(view).setPose(pose);
        return;
    }
    ViewEffect* effect = of(view);
    if (effect == nullptr) {
        return;
    }
    effect->setPose(pose);
    if (effect->m_look == nullptr && effect->isNeutral()) {
        view->setGraphicsEffect(nullptr);
    }
}

void ViewEffect::setOpacity(double opacity)
{
    m_opacity = std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 1.0;
    update();
}

void ViewEffect::setBlurRadius(double radius)
{
    m_blurRadius = std::isfinite(radius) ? std::max(radius, 0.0) : 0.0;
    updateBoundingRect();
}

void ViewEffect::setShadow(const Shadow& shadow)
{
    m_shadow = shadow;
    updateBoundingRect();
}

void ViewEffect::setPose(const ViewPose& pose)
{
    m_pose = pose;
    updateBoundingRect();
    update();
}

bool ViewEffect::isNeutral() const
{
    return m_opacity >= 1 && m_blurRadius <= 0 && !hasShadow() && m_pose.isIdentity();
}

bool ViewEffect::hasShadow() const
{
    return m_shadow.color.isValid() && m_shadow.color.alpha() > 0;
}

double ViewEffect::effectiveOpacity() const
{
    return m_opacity * std::clamp(m_pose.opacity, 0.0, 1.0);
}

double ViewEffect::effectiveBlur() const
{
    return m_blurRadius + std::max(m_pose.blurRadius, 0.0);
}

QRectF ViewEffect::viewBounds() const
{
    QRectF r(QPointF(), QSizeF(m_view->size()));
    const QSizeF size = r.size();
    if (m_look != nullptr) {
        r = r.marginsAdded(m_look->lookOverflow());
    }
    if (m_pose.offset != QPointF() || m_pose.scale != 1) {
        r = m_pose.transform(size).mapRect(r);
    }
    return r.marginsAdded(blurReach(effectiveBlur()));
}

QRectF ViewEffect::boundingRectFor(const QRectF& rect) const
{
    // Qt asks with rectangles in several coordinate systems (the view's, its parent's, parts of
    // it), so the answer is the view's reach as margins around whatever it is given.
    const QRectF view(QPointF(), QSizeF(m_view->size()));
    QRectF reach = viewBounds();
    if (hasShadow()) {
        reach = reach.united(reach.marginsAdded(m_shadow.reach()));
    }
    const QMarginsF growth(std::max(view.left() - reach.left(), 0.0),
                           std::max(view.top() - reach.top(), 0.0),
                           std::max(reach.right() - view.right(), 0.0),
                           std::max(reach.bottom() - view.bottom(), 0.0));
    return rect.marginsAdded(growth);
}

const QImage& ViewEffect::renderContents(double scale, const std::optional<QRegion>& part)
{
    const QSize pixels(static_cast<int>(std::ceil(m_view->width() * scale)),
                       static_cast<int>(std::ceil(m_view->height() * scale)));
    if (pixels.isEmpty() || pixels.width() > kMostPixels || pixels.height() > kMostPixels) {
        m_contents = QImage();
        return m_contents;
    }
    // One picture kept for the view: a control over a live picture is drawn with every frame.
    const bool kept = m_contents.size() == pixels && m_contents.devicePixelRatio() == scale;
    if (m_contents.size() != pixels) {
        m_contents = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    }
    m_contents.setDevicePixelRatio(scale);
    // While this effect draws, Qt renders the view itself plainly (its own painting and its
    // children with their effects). The region is given because Qt renders nothing for an
    // empty one when the view is itself being rendered or grabbed as a whole.
    if (!kept || !part) {
        m_contents.fill(Qt::transparent);
        m_view->render(&m_contents, QPoint(), QRegion(m_view->rect()), QWidget::DrawChildren);
        return m_contents;
    }
    // Only where the view is repainted: a pulse inside a card costs the pulse, not the card. The
    // picture's other pixels are not shown by this repaint.
    if (part->isEmpty()) {
        return m_contents;
    }
    {
        QPainter clear(&m_contents);
        clear.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : *part) {
            clear.fillRect(r, Qt::transparent);
        }
    }
    m_view->render(&m_contents, part->boundingRect().topLeft(), *part, QWidget::DrawChildren);
    return m_contents;
}

std::optional<QRegion> ViewEffect::repaintedArea(const QPainter& painter)
{
    const QPaintEngine* engine = painter.paintEngine();
    if (engine == nullptr) {
        return std::nullopt;
    }
    const QRegion clip = engine->systemClip();
    const QTransform device = painter.deviceTransform();
    const double scale = device.m11();
    // Whole device pixels a point, no turn, and the view's corner on a whole device pixel.
    if (clip.isEmpty() || device.type() > QTransform::TxScale || scale != device.m22() || scale < 1
        || scale != std::round(scale) || device.dx() != std::round(device.dx())
        || device.dy() != std::round(device.dy())) {
        return std::nullopt;
    }
    const QTransform toView = device.inverted();
    QRegion area;
    for (const QRect& r : clip) {
        area += toView.mapRect(QRectF(r)).toAlignedRect();
    }
    return area;
}

bool ViewEffect::onScreen(const QPainter& painter) const
{
    // A window that is only ever drawn into pictures has a backing store without an image; with
    // high-DPI scaling on, Qt's own paintDevice() then reads a null device. Ask the platform's
    // store first: without an image of its own, nothing is being painted on screen.
    QBackingStore* store = m_view->backingStore();
    if (store == nullptr || store->handle() == nullptr || store->handle()->paintDevice() == nullptr) {
        return false;
    }
    return painter.device() == store->paintDevice();
}

void ViewEffect::drawView(QPainter& painter, bool ownPainter)
{
    const std::optional<ContentPlacement> placement =
        m_look != nullptr ? m_look->contentPlacement() : ContentPlacement{};
    // A view that paints only its look has nothing else to draw; any other view's own
    // painting comes with its children.
    const bool hasContents =
        placement && placement->opacity > 0 && (m_look == nullptr || hasShownChildren(*m_view));
    // At rest (not moved, scaled or faded) and painted on screen, the children are painted
    // straight into the window, as Qt paints any view, only where it is repainted: no picture of
    // them is made. The painter then only places the view in the window, by whole points.
    const QTransform placed = painter.worldTransform();
    const QPoint origin(static_cast<int>(std::lround(placed.dx())),
                        static_cast<int>(std::lround(placed.dy())));
    const bool atRest = ownPainter && onScreen(painter) && placement && placement->transform.isIdentity()
                        && placement->opacity >= 1 && m_pose.offset.isNull() && m_pose.scale == 1
                        && placed.type() <= QTransform::TxTranslate
                        && QPointF(origin) == QPointF(placed.dx(), placed.dy());
    // Only what Qt repaints, when this is its own painting of the view in place.
    std::optional<QRegion> area;
    if (ownPainter && m_pose.offset.isNull() && m_pose.scale == 1) {
        area = repaintedArea(painter);
    }
    std::optional<QRegion> part;
    if (area && hasContents && placement->transform.isIdentity()) {
        part = *area & m_view->rect();
    }
    const QImage* contents = nullptr;
    if (hasContents && !atRest) {
        contents = &renderContents(resolution(painter), part);
    }
    painter.save();
    if (m_pose.offset != QPointF() || m_pose.scale != 1) {
        painter.setTransform(m_pose.transform(QSizeF(m_view->size())), true);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    if (m_look != nullptr) {
        painter.save();
        if (area) {
            // The same clip as Qt's own, told to the look, which can then leave out what lies
            // outside it.
            painter.setClipRegion(*area, Qt::IntersectClip);
        }
        m_look->paintLook(painter);
        painter.restore();
    }
    if (contents != nullptr && !contents->isNull()) {
        if (!placement->transform.isIdentity()) {
            painter.setTransform(placement->transform, true);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
        }
        painter.setOpacity(painter.opacity() * std::clamp(placement->opacity, 0.0, 1.0));
        painter.drawImage(QPointF(), *contents);
    }
    painter.restore();
    if (hasContents && atRest) {
        // The children share this painter, placed by the view's origin in the window as Qt
        // places any view it paints. Qt's own drawing of the source would instead begin a
        // second painter on the window for each effect inside (a button in a card), which
        // fails, and those views would be missing.
        painter.save();
        painter.resetTransform();
        const QRegion region = part.value_or(QRegion(m_view->rect()));
        if (!region.isEmpty()) {
            // Qt places the region's top-left corner at the offset it is given.
            m_view->render(&painter, origin + region.boundingRect().topLeft(), region, QWidget::DrawChildren);
        }
        painter.restore();
    }
}

void ViewEffect::draw(QPainter* painter)
{
    const double opacity = effectiveOpacity();
    if (opacity <= 0) {
        return;
    }
    const double blur = effectiveBlur();
    const bool shadowed = hasShadow();
    if (opacity >= 1 && blur <= 0 && !shadowed) {
        drawView(*painter, true);
        return;
    }
    // Group opacity, blur and shadow need the whole view as one picture first, at the
    // resolution it is drawn with.
    const QRectF area = viewBounds();
    const double scale = resolution(*painter);
    const QSize pixels(static_cast<int>(std::ceil(area.width() * scale)),
                       static_cast<int>(std::ceil(area.height() * scale)));
    if (pixels.isEmpty() || pixels.width() > kMostPixels || pixels.height() > kMostPixels) {
        return;
    }
    QImage picture(pixels, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.setRenderHints(painter->renderHints());
        p.translate(-area.topLeft());
        drawView(p, false);
    }
    if (blur > 0) {
        blurImage(picture, blur / 2 * scale);
    }
    painter->save();
    painter->setOpacity(painter->opacity() * opacity);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (shadowed) {
        drawSilhouetteShadow(*painter, picture, area.topLeft(), m_shadow);
    }
    painter->drawImage(area.topLeft(), picture);
    painter->restore();
}

} // namespace kit
