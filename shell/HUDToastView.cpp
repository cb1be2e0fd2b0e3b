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

HUDToastView::Layout HUDToastView::layout(const QRectF& capsule,
                                          const QString& appName,
                                          const std::optional<QString>& subtitle,
                                          bool isVeiled,
                                          const QPaintDevice* device)
{
    const QRectF icon(
        capsule.left() + kLeadingPadding, capsule.center().y() - kIconSide / 2, kIconSide, kIconSide);
    const QSizeF tagSize =
        isVeiled ? kit::VeiledBadgeStyle::size(kVeiledTagText, device) : visibleTagSize(device);
    const QRectF tag(capsule.right() - kTrailingPadding - tagSize.width(),
                     capsule.center().y() - tagSize.height() / 2,
                     tagSize.width(),
                     tagSize.height());

    // The texts get what the row leaves them: the row's spacing on both sides of the spacer.
    const double left = icon.right() + kSpacing;
    const double width = std::max(0.0, tag.left() - kSpacing - kMinimumSpacer - kSpacing - left);
    const QFontMetricsF titleMetrics(titleLook().font(device), device);
    const kit::TextLook statusLook = kit::monoMutedLabel(8.5);
    const QList<kit::TextRun> status{{statusLine(subtitle, isVeiled), false, std::nullopt}};
    // As many status lines as the capsule holds under the title.
    const double lineHeight =
        kit::TextBlock({{QStringLiteral("X"), false, std::nullopt}}, statusLook, {}, 1e6, device)
            .size()
            .height();
    const double room = kCapsuleSize.height() - titleMetrics.height() - kLineSpacing;
    kit::TextOptions options;
    options.lineLimit = std::max(1, static_cast<int>(std::floor(room / lineHeight)));
    kit::TextBlock statusText(status, statusLook, options, width, device);

    const double height = titleMetrics.height() + kLineSpacing + statusText.size().height();
    const double top = capsule.center().y() - height / 2;
    const QRectF titleRect(left, top, width, titleMetrics.height());
    const QRectF statusRect(left, titleRect.bottom() + kLineSpacing, width, statusText.size().height());
    return {icon,
            titleRect,
            titleMetrics.elidedText(HUDToastView::title(appName), Qt::ElideRight, width),
            statusRect,
            statusText,
            tag};
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

    const Layout l = layout(capsule, m_controller.appName(), m_controller.subtitle(), veiled, this);
    const QImage& appIcon = m_controller.appIcon();
    if (!appIcon.isNull()) {
        QSizeF fitted = appIcon.deviceIndependentSize();
        fitted.scale(l.icon.size(), Qt::KeepAspectRatio);
        painter.drawImage(QRectF(l.icon.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted),
                          appIcon);
    } else {
        kit::paintSymbol(painter,
                         QStringLiteral("app.fill"),
                         l.icon.center(),
                         18,
                         kit::SecondaryWhite::symbol(kit::increaseContrast()));
    }
    if (veiled) {
        kit::VeiledBadgeStyle::paint(painter, l.tag, kVeiledTagText);
    } else {
        paintVisibleTag(painter, l.tag);
    }
    const kit::TextLook title = titleLook();
    painter.setFont(title.font(this));
    painter.setPen(title.color);
    painter.drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter, l.titleText);
    l.statusText.draw(painter, l.status);
}
