#include "capture/MaskBox.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Motion.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Typography.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

namespace geometry = ShareMaskEditorGeometry;

namespace {

constexpr double kBorderWidth = 1.5;
constexpr double kRestingBorderOpacity = 0.7;
constexpr double kFillOpacity = 0.82;

QRectF lerp(const QRectF& a, const QRectF& b, double t)
{
    const auto mix = [t](double x, double y) {
        return x + (y - x) * t;
    };
    return {mix(a.x(), b.x()), mix(a.y(), b.y()), mix(a.width(), b.width()), mix(a.height(), b.height())};
}

kit::TextLook labelLook()
{
    kit::TextLook look;
    look.face = kit::geistMonoFontName(kit::FontWeight::medium);
    look.size = 8.5;
    look.tracking = 1.7;
    look.color = kit::SecondaryWhite::caption(kit::increaseContrast());
    return look;
}

void paintRemoveGlyph(QPainter& painter, const QRectF& rect)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kit::Palette::flame());
    painter.drawEllipse(rect);
    kit::paintSymbol(painter,
                     QStringLiteral("xmark"),
                     rect.center(),
                     8,
                     kit::Palette::inkOnFlame(),
                     kit::FontWeight::bold);
}

} // namespace

MaskBox::MaskBox(const QUuid& maskID, const QRectF& placedRect, QWidget* surface)
    : QWidget(surface)
    , m_maskID(maskID)
    , m_from(placedRect)
    , m_to(placedRect)
{
    setObjectName(QStringLiteral("MaskBox"));
    setMouseTracking(true);
    setCursor(Qt::OpenHandCursor);
    m_progress.setOnChange([this] {
        layOut();
        update();
    });

    m_removeButton = new kit::PressFeedbackButton(
        paintRemoveGlyph,
        QSize(static_cast<int>(geometry::kRemoveButtonSide), static_cast<int>(geometry::kRemoveButtonSide)),
        this);
    m_removeButton->setObjectName(QStringLiteral("removeMaskButton"));
    m_removeButton->setCursor(Qt::ArrowCursor);
    m_removeButton->setAccessibleName(removeTooltip);
    kit::TooltipSource::attach(m_removeButton, removeTooltip);
    connect(m_removeButton, &QAbstractButton::clicked, this, [this] {
        if (m_onRemove) {
            m_onRemove();
        }
    });
    layOut();
}

void MaskBox::setPlacedRect(const QRectF& rect)
{
    if (rect == m_to && !m_progress.isAnimating()) {
        return;
    }
    const QRectF from = lerp(m_from, m_to, m_progress.value());
    m_to = rect;
    springFrom(from);
}

QRectF MaskBox::shownRect() const
{
    return m_draft ? *m_draft : lerp(m_from, m_to, m_progress.value());
}

bool MaskBox::showsLabel() const
{
    return geometry::showsLabel(shownRect());
}

void MaskBox::springFrom(const QRectF& from)
{
    m_from = from;
    if (from == m_to) {
        m_progress.set(1);
        layOut();
        return;
    }
    m_progress.set(0);
    m_progress.animate(1, kit::respectingReduceMotion(kit::Animation::spring(0.32, 1.0, 0)));
    layOut();
}

void MaskBox::layOut()
{
    const QRectF shown = shownRect();
    const double overhang = geometry::kBoxOverhang;
    const QRect area = shown.adjusted(-overhang, -overhang, overhang, overhang).toAlignedRect();
    if (geometry() != area) {
        setGeometry(area);
    }
    // Only the box, its handles and its button take the pointer; around them the surface does.
    const QPointF origin = area.topLeft();
    QRegion hitArea(shown.translated(-origin).toAlignedRect());
    for (const ResizeHandle handle : geometry::kAllResizeHandles) {
        hitArea += geometry::handleHitRect(handle, shown).translated(-origin).toAlignedRect();
    }
    const QRect button = geometry::removeButtonRect(shown).translated(-origin).toAlignedRect();
    hitArea += button;
    setMask(hitArea);
    m_removeButton->setGeometry(button);
}

void MaskBox::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-QPointF(pos()));
    const QRectF shown = shownRect();

    QColor fill = kit::Palette::surfaceRaised();
    fill.setAlphaF(static_cast<float>(kFillOpacity));
    painter.fillRect(shown, fill);

    QColor border = kit::Palette::flame();
    if (!m_hovering && !m_draft) {
        border.setAlphaF(static_cast<float>(kRestingBorderOpacity));
    }
    QPen pen(border, kBorderWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double inset = kBorderWidth / 2;
    painter.drawRect(shown.adjusted(inset, inset, -inset, -inset));

    if (geometry::showsLabel(shown)) {
        const kit::TextLook look = labelLook();
        painter.setFont(look.font(this));
        painter.setPen(look.color);
        // The tracking also follows the last letter; half of it on each side keeps the label centred.
        painter.drawText(shown.translated(look.tracking / 2, 0), Qt::AlignCenter | Qt::TextSingleLine, label);
    }

    QPen handlePen(kit::Palette::flame(), 1);
    handlePen.setJoinStyle(Qt::MiterJoin);
    for (const ResizeHandle handle : geometry::kAllResizeHandles) {
        const QRectF square = geometry::handleRect(handle, shown);
        painter.fillRect(square, Qt::white);
        painter.setPen(handlePen);
        painter.drawRect(square.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

QPointF MaskBox::surfacePoint(const QMouseEvent& event) const
{
    return event.position() + QPointF(pos());
}

void MaskBox::mousePressEvent(QMouseEvent* event)
{
    const QPointF point = surfacePoint(*event);
    const auto hit = geometry::hitTest(shownRect(), point);
    if (event->button() != Qt::LeftButton || !hit || hit->part == geometry::BoxHit::Part::Remove) {
        event->ignore();
        return;
    }
    // A drag counts from the rectangle as placed, not from where an animation has got to.
    m_from = m_to;
    m_progress.set(1);
    m_pressed = point;
    m_dragging = false;
    if (hit->part == geometry::BoxHit::Part::Handle) {
        const ResizeHandle handle = hit->handle;
        m_transform = [handle](const QRectF& r, double dx, double dy) {
            return geometry::resize(handle, r, dx, dy);
        };
    } else {
        m_transform = geometry::move;
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void MaskBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF point = surfacePoint(*event);
    if (!m_pressed) {
        updateCursor(point);
        return;
    }
    if (!m_dragging && !geometry::dragBegins(*m_pressed, point, geometry::kBoxMinimumDistance)) {
        return;
    }
    m_dragging = true;
    // Always the whole translation since the press, applied to the placed rectangle.
    m_draft = m_transform(m_to, point.x() - m_pressed->x(), point.y() - m_pressed->y());
    layOut();
    update();
}

void MaskBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressed || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPointF point = surfacePoint(*event);
    const QPointF pressed = *m_pressed;
    const bool dragged = m_dragging;
    const Transform transform = m_transform;
    m_pressed.reset();
    m_dragging = false;
    m_transform = nullptr;
    updateCursor(point);
    if (!dragged) {
        return;
    }
    const QRectF result = transform(m_to, point.x() - pressed.x(), point.y() - pressed.y());
    m_draft.reset();
    // From where it was let go back to its place, unless the editor places it anew.
    springFrom(result);
    update();
    if (m_onChange) {
        m_onChange(result);
    }
}

void MaskBox::enterEvent(QEnterEvent* event)
{
    m_hovering = true;
    update();
    QWidget::enterEvent(event);
}

void MaskBox::leaveEvent(QEvent* event)
{
    m_hovering = false;
    update();
    QWidget::leaveEvent(event);
}

void MaskBox::updateCursor(QPointF surfacePoint)
{
    const auto hit = geometry::hitTest(shownRect(), surfacePoint);
    if (hit && hit->part == geometry::BoxHit::Part::Handle) {
        setCursor(geometry::cursor(hit->handle));
    } else {
        setCursor(Qt::OpenHandCursor);
    }
}
