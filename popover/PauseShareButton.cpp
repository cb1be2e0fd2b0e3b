#include "popover/PauseShareButton.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Motion.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Tooltips.h"

#include <QHBoxLayout>
#include <QPainter>

QString PauseShareButtonStyle::symbolName(bool paused)
{
    return paused ? QStringLiteral("play.fill") : QStringLiteral("pause.fill");
}

QString PauseShareButtonStyle::caption(bool paused, WindowManager::PanicMode mode)
{
    if (!paused) {
        return QStringLiteral("PAUSE");
    }
    return mode == WindowManager::PanicMode::Freeze ? QStringLiteral("FROZEN \u00B7 RESUME")
                                                    : QStringLiteral("COVERED \u00B7 RESUME");
}

QString PauseShareButtonStyle::tooltip(bool paused, const HotKeyCombo& shortcut)
{
    return (paused ? QStringLiteral("Resume your live share (")
                   : QStringLiteral("Pause what your call sees ("))
           + shortcut.display + QLatin1Char(')');
}

QColor PauseShareButtonStyle::foreground(bool paused)
{
    return paused ? kit::Palette::inkOnFlame() : kit::white(0.92);
}

QColor PauseShareButtonStyle::liveFill(bool reduceTransparency)
{
    return reduceTransparency ? kit::Palette::surface() : kit::ChipBackgroundStyle::material();
}

QColor PauseShareButtonStyle::outline(bool paused)
{
    return paused ? kit::white(0) : kit::white(0.14);
}

PauseShareButton::PauseShareButton(WindowManager& windowManager, bool compact, QWidget* parent)
    : PressFeedbackButton(parent)
    , m_windowManager(windowManager)
    , m_compact(compact)
    , m_paused(windowManager.sharePaused() ? 1.0 : 0.0)
{
    setObjectName(QStringLiteral("pauseShareButton"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    using S = PauseShareButtonStyle;
    const auto foreground = [this] {
        return currentForeground();
    };
    m_symbol =
        new kit::SymbolView(S::symbolName(false), S::kSymbolPointSize, foreground, kit::FontWeight::bold);
    auto* row = new QHBoxLayout(this);
    row->setSpacing(static_cast<int>(S::kSpacing));
    if (compact) {
        setFixedSize(static_cast<int>(S::kCompactSide), static_cast<int>(S::kCompactSide));
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(m_symbol, 0, Qt::AlignCenter);
    } else {
        const int h = static_cast<int>(S::kHorizontalPadding);
        const int v = static_cast<int>(S::kVerticalPadding);
        row->setContentsMargins(h, v, h, v);
        m_caption = new kit::TextLabel(QString(), [foreground] {
            kit::TextLook look;
            look.face = kit::geistMonoFontName(kit::FontWeight::medium);
            look.size = S::kCaptionSize;
            look.tracking = S::kCaptionTracking;
            look.color = foreground();
            return look;
        });
        row->addWidget(m_symbol, 0, Qt::AlignVCenter);
        row->addWidget(m_caption, 0, Qt::AlignVCenter);
    }
    m_paused.setOnChange([this] { update(); });

    connect(this, &QAbstractButton::clicked, this, &PauseShareButton::togglePause);
    connect(&windowManager, &WindowManager::sharePausedChanged, this, &PauseShareButton::sync);
    connect(&windowManager, &WindowManager::panicModeChanged, this, &PauseShareButton::sync);
    connect(&windowManager, &WindowManager::panicShortcutChanged, this, &PauseShareButton::sync);
    sync();
}

void PauseShareButton::togglePause()
{
    m_windowManager.togglePanic();
}

QString PauseShareButton::symbolName() const
{
    return m_symbol->name();
}

QString PauseShareButton::caption() const
{
    return m_caption != nullptr ? m_caption->text() : QString();
}

QString PauseShareButton::toolTipText() const
{
    const kit::TooltipSource* source = kit::TooltipSource::of(this);
    return source != nullptr ? source->text() : QString();
}

void PauseShareButton::sync()
{
    using S = PauseShareButtonStyle;
    const bool paused = m_windowManager.sharePaused();
    m_symbol->setName(S::symbolName(paused));
    if (m_caption != nullptr) {
        m_caption->setText(S::caption(paused, m_windowManager.panicMode()));
    }
    const QString tip = S::tooltip(paused, m_windowManager.panicShortcut());
    if (tip != toolTipText()) {
        kit::TooltipSource::attach(this, tip);
    }
    const double target = paused ? 1.0 : 0.0;
    if (target != m_paused.target()) {
        m_paused.animate(target, kit::respectingReduceMotion(kit::Animation::standard(S::kDuration)));
    }
    update();
}

QColor PauseShareButton::currentForeground() const
{
    using S = PauseShareButtonStyle;
    return kit::mixColors(S::foreground(false), S::foreground(true), m_paused.value());
}

void PauseShareButton::paintLabel(QPainter& painter, const QRectF& rect)
{
    // The two capsules are drawn once and copied in: the button lies over the live preview and
    // is repainted with each of its frames.
    const double t = m_paused.value();
    const bool solid = kit::reduceTransparency();
    const double scale = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (rect.size() * scale).toSize();
    if (m_liveLook.size() != pixels || m_liveLook.devicePixelRatio() != scale || m_lookSolid != solid) {
        m_lookSolid = solid;
        m_liveLook = capsuleLook(rect.size(), scale, false, solid);
        m_pausedLook = capsuleLook(rect.size(), scale, true, solid);
    }
    // The flame capsule fades in over the live one.
    if (t < 1) {
        painter.drawImage(rect.topLeft(), m_liveLook);
    }
    if (t > 0) {
        painter.save();
        painter.setOpacity(painter.opacity() * t);
        painter.drawImage(rect.topLeft(), m_pausedLook);
        painter.restore();
    }
}

QImage PauseShareButton::capsuleLook(const QSizeF& size, double scale, bool paused, bool solid)
{
    using S = PauseShareButtonStyle;
    QImage look((size * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    look.setDevicePixelRatio(scale);
    look.fill(Qt::transparent);
    QPainter painter(&look);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF box(QPointF(), size);
    if (paused) {
        painter.setBrush(kit::Palette::flameGradient());
    } else {
        painter.setBrush(S::liveFill(solid));
    }
    painter.drawPath(kit::capsule(box));
    kit::strokeInnerBorder(painter, box, kit::capsuleRadius(box), S::outline(paused));
    return look;
}
