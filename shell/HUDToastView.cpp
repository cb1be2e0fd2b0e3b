#include "shell/HUDToastView.h"

#include "shell/HUDOverlayController.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/Typography.h"
#include "shell/kit/VeiledBadge.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {

kit::TextLook titleLook()
{
    kit::TextLook look;
    look.face = kit::geistFontName(kit::FontWeight::semibold);
    look.size = 13;
    look.tracking = -0.195;
    look.color = kit::Palette::textPrimary();
    return look;
}

kit::TextLook visibleTagLook()
{
    kit::TextLook look;
    look.face = QStringLiteral("GeistMono-Medium");
    look.size = 8.5;
    look.tracking = 1.36;
    look.color = kit::Palette::blue();
    return look;
}

constexpr double kTagHorizontalPadding = 5;
constexpr double kTagVerticalPadding = 2.5;
constexpr double kTagCornerRadius = 4;
const QString kVeiledTagText = QStringLiteral("Veiled");
const QString kVisibleTagText = QStringLiteral("VISIBLE");

QSizeF visibleTagSize(const QPaintDevice* device)
{
    const QFontMetricsF metrics(visibleTagLook().font(device), device);
    return {metrics.horizontalAdvance(kVisibleTagText) + 2 * kTagHorizontalPadding,
            metrics.height() + 2 * kTagVerticalPadding};
}

void paintVisibleTag(QPainter& painter, const QRectF& rect)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kit::Palette::blueTint());
    painter.drawPath(kit::continuousRoundedRect(rect, kTagCornerRadius));
    const kit::TextLook look = visibleTagLook();
    painter.setFont(look.font(painter.device()));
    painter.setPen(look.color);
    painter.drawText(
        rect.adjusted(
            kTagHorizontalPadding, kTagVerticalPadding, -kTagHorizontalPadding, -kTagVerticalPadding),
        Qt::AlignCenter,
        kVisibleTagText);
    painter.restore();
}

} // namespace

HUDToastView::HUDToastView(HUDOverlayController& controller, QWidget* parent)
    : QWidget(parent)
    , m_controller(controller)
    , m_presence(controller.isVisible() ? 1.0 : 0.0, [this] { update(); })
{
    setObjectName(QStringLiteral("hudToastView"));
    setFixedSize(HUDOverlayController::kPanelSize.toSize());
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&controller, &HUDOverlayController::isVisibleChanged, this, &HUDToastView::visibilityChanged);
    const auto redraw = [this] {
        update();
    };
    connect(&controller, &HUDOverlayController::appNameChanged, this, redraw);
    connect(&controller, &HUDOverlayController::appIconChanged, this, redraw);
    connect(&controller, &HUDOverlayController::isVeiledChanged, this, redraw);
    connect(&controller, &HUDOverlayController::subtitleChanged, this, redraw);
}

QString HUDToastView::title(const QString& appName)
{
    return appName.isEmpty() ? QStringLiteral("Application") : appName;
}

QString HUDToastView::statusLine(const std::optional<QString>& subtitle, bool isVeiled)
{
    if (subtitle) {
        return *subtitle;
    }
    return isVeiled ? QStringLiteral("HIDDEN FROM YOUR SHARE") : QStringLiteral("VISIBLE IN YOUR SHARE");
}

QRectF HUDToastView::capsuleRect() const
{
    const QSizeF panel = HUDOverlayController::kPanelSize;
    return {QPointF((panel.width() - kCapsuleSize.width()) / 2, (panel.height() - kCapsuleSize.height()) / 2),
            kCapsuleSize};
}

void HUDToastView::visibilityChanged(bool visible)
{
    if (visible) {
        m_presence.animate(1, HUDOverlayController::entranceAnimation());
    } else {
        m_presence.animate(0, HUDOverlayController::exitAnimation());
    }
}

void HUDToastView::paintEvent(QPaintEvent* /*event*/)
{
    const double presence = std::clamp(m_presence.value(), 0.0, 1.0);
    if (presence <= 0 && !m_controller.isVisible()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF capsule = capsuleRect();
    // The transition: a plain fade under Reduce Motion, else a fade with a scale about the centre.
    painter.setOpacity(presence);
    if (!kit::reduceMotion()) {
        const double scale = kExitScale + (1 - kExitScale) * m_presence.value();
        painter.translate(capsule.center());
        painter.scale(scale, scale);
        painter.translate(-capsule.center());
    }

    const bool veiled = m_controller.isVeiled();
    const QPainterPath shape = kit::capsule(capsule);
    kit::Shadow drop;
    drop.color = QColor(0, 0, 0);
    drop.color.setAlphaF(0.6F);
    drop.radius = 14;
    drop.offset = QPointF(0, 8);
    kit::drawShadow(painter, shape, drop);
    if (veiled) {
        kit::Shadow glow;
        glow.color = kit::Palette::flame();
        glow.color.setAlphaF(0.22F);
        glow.radius = 18;
        kit::drawShadow(painter, shape, glow);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(kit::Palette::surface());
    painter.drawPath(shape);
    kit::strokeInnerBorder(painter,
                           capsule,
                           kit::capsuleRadius(capsule),
                           veiled ? kit::Palette::flameBorder() : kit::Palette::hairline());

    // Icon.
    const QRectF icon(
        capsule.left() + kLeadingPadding, capsule.center().y() - kIconSide / 2, kIconSide, kIconSide);
    const QImage& appIcon = m_controller.appIcon();
    if (!appIcon.isNull()) {
        QSizeF fitted = appIcon.deviceIndependentSize();
        fitted.scale(icon.size(), Qt::KeepAspectRatio);
        painter.drawImage(QRectF(icon.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted),
                          appIcon);
    } else {
        kit::paintSymbol(painter,
                         QStringLiteral("app.fill"),
                         icon.center(),
                         18,
                         kit::SecondaryWhite::symbol(kit::increaseContrast()));
    }

    // Tag at the trailing edge.
    QSizeF tagSize = veiled ? kit::VeiledBadgeStyle::size(kVeiledTagText, this) : visibleTagSize(this);
    const QRectF tag(capsule.right() - kTrailingPadding - tagSize.width(),
                     capsule.center().y() - tagSize.height() / 2,
                     tagSize.width(),
                     tagSize.height());
    if (veiled) {
        kit::VeiledBadgeStyle::paint(painter, tag, kVeiledTagText);
    } else {
        paintVisibleTag(painter, tag);
    }

    // Title and status line, stacked 2 points apart and centred on the capsule's middle.
    const double textLeft = icon.right() + kSpacing;
    const double textWidth = std::max(0.0, tag.left() - kMinimumSpacer - textLeft);
    const kit::TextLook title = titleLook();
    const kit::TextLook status = kit::monoMutedLabel(8.5);
    const QFont titleFont = title.font(this);
    const QFont statusFont = status.font(this);
    const QFontMetricsF titleMetrics(titleFont, this);
    const QFontMetricsF statusMetrics(statusFont, this);
    const double textHeight = titleMetrics.height() + 2 + statusMetrics.height();
    const double top = capsule.center().y() - textHeight / 2;
    painter.setFont(titleFont);
    painter.setPen(title.color);
    painter.drawText(
        QRectF(textLeft, top, textWidth, titleMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter,
        titleMetrics.elidedText(HUDToastView::title(m_controller.appName()), Qt::ElideRight, textWidth));
    painter.setFont(statusFont);
    painter.setPen(status.color);
    painter.drawText(
        QRectF(textLeft, top + titleMetrics.height() + 2, textWidth, statusMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter,
        statusMetrics.elidedText(statusLine(m_controller.subtitle(), veiled), Qt::ElideRight, textWidth));
}
