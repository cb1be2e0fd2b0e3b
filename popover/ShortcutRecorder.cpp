#include "popover/ShortcutRecorder.h"

#include "platform/Application.h"
#include "platform/SystemBeep.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Typography.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPointer>

#include <cmath>

namespace {

kit::TextLook labelLook(bool recording, const QColor& color)
{
    kit::TextLook look;
    look.face = recording ? kit::geistFontName(kit::FontWeight::medium) : QStringLiteral("GeistMono-Medium");
    look.size = ShortcutRecorder::kFontSize;
    look.tracking = recording ? 0 : 1;
    look.color = color;
    return look;
}

} // namespace

ShortcutRecorder::ShortcutRecorder(HotKeyCombo combo,
                                   OnRecord onRecord,
                                   const platform::Services& services,
                                   QWidget* parent)
    : kit::PressFeedbackButton(parent)
    , m_combo(std::move(combo))
    , m_onRecord(std::move(onRecord))
    , m_services(services)
{
    setObjectName(QStringLiteral("shortcutRecorder"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_recordingness.setOnChange([this] { update(); });
    connect(this, &QAbstractButton::clicked, this, &ShortcutRecorder::toggleRecording);
    changed();
}

ShortcutRecorder::~ShortcutRecorder()
{
    // No key filter may outlive the control.
    stopRecording();
}

void ShortcutRecorder::setCombo(const HotKeyCombo& combo)
{
    if (combo == m_combo) {
        return;
    }
    m_combo = combo;
    changed();
}

QString ShortcutRecorder::labelText() const
{
    if (m_rejected) {
        return QStringLiteral("In use — try another");
    }
    if (m_isRecording) {
        return QStringLiteral("Press keys…");
    }
    return m_combo.display;
}

QString ShortcutRecorder::toolTipText() const
{
    return m_isRecording ? QStringLiteral("Press the new shortcut, or Esc to cancel")
                         : QStringLiteral("Click to change the shortcut");
}

void ShortcutRecorder::toggleRecording()
{
    if (m_isRecording) {
        stopRecording();
    } else {
        startRecording();
    }
}

void ShortcutRecorder::startRecording()
{
    m_refusalNotice.cancel();
    setRejected(false);
    setRecording(true);
    // The accessory application must be active for the key presses to reach it.
    if (m_services.application != nullptr) {
        m_services.application->activate(true);
    }
    if (!m_monitor) {
        m_monitor = platform::EventMonitor::addLocalMonitorForKeyDown(
            [this](const platform::KeyEvent& event) { return handleKey(event); });
    }
}

void ShortcutRecorder::stopRecording()
{
    setRecording(false);
    if (m_monitor) {
        platform::EventMonitor::removeMonitor(*m_monitor);
        m_monitor.reset();
    }
}

std::optional<platform::KeyEvent> ShortcutRecorder::handleKey(const platform::KeyEvent& event)
{
    if (event.keyCode == platform::keycode::kEscape) {
        stopRecording();
        return std::nullopt;
    }
    const std::optional<HotKeyCombo> combo = HotKeyCombo::fromEvent(event);
    if (!combo) {
        if (m_services.beep != nullptr) {
            m_services.beep->beep();
        }
        return std::nullopt;
    }
    // The owner may rebuild its page, this control included, while it takes the combination.
    const QPointer<ShortcutRecorder> self(this);
    const OnRecord onRecord = m_onRecord;
    const bool accepted = onRecord ? onRecord(*combo) : false;
    if (self.isNull()) {
        return std::nullopt;
    }
    stopRecording();
    if (!accepted) {
        setRejected(true);
        if (m_services.scheduler != nullptr) {
            m_refusalNotice =
                m_services.scheduler->after(kRefusalNoticeDuration, [this] { setRejected(false); });
        }
    }
    return std::nullopt;
}

void ShortcutRecorder::setRecording(bool recording)
{
    if (recording == m_isRecording) {
        return;
    }
    m_isRecording = recording;
    m_recordingness.change(recording ? 1.0 : 0.0,
                           kit::respectingReduceMotion(kit::Animation::standard(kAnimationDuration)));
    changed();
}

void ShortcutRecorder::setRejected(bool rejected)
{
    if (rejected == m_rejected) {
        return;
    }
    m_rejected = rejected;
    changed();
}

void ShortcutRecorder::changed()
{
    const QString text = labelText();
    setAccessibleName(text);
    const kit::TooltipSource* tooltip = kit::TooltipSource::of(this);
    if (tooltip == nullptr || tooltip->text() != toolTipText()) {
        kit::TooltipSource::attach(this, toolTipText());
    }
    updateGeometry();
    update();
}

QSize ShortcutRecorder::sizeHint() const
{
    const QFontMetricsF metrics(labelLook(m_isRecording, Qt::white).font(this), this);
    const double width =
        std::max(kMinimumWidth, metrics.horizontalAdvance(labelText()) + 2 * kHorizontalPadding);
    const double height = std::max(kMinimumHeight, metrics.height());
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

bool ShortcutRecorder::hitButton(const QPoint& pos) const
{
    return kit::capsule(QRectF(rect())).contains(QPointF(pos));
}

void ShortcutRecorder::hideEvent(QHideEvent* event)
{
    // The popover closed or its page changed: keys must reach the application again.
    stopRecording();
    kit::PressFeedbackButton::hideEvent(event);
}

void ShortcutRecorder::paintLabel(QPainter& painter, const QRectF& rect)
{
    const double t = m_recordingness.value();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor idleFill = isHovered() ? kit::Palette::surfaceHigh() : kit::Palette::surfaceRaised();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kit::mixColors(idleFill, kit::Palette::flameShade(), t));
    painter.drawPath(kit::capsule(rect));
    kit::strokeInnerBorder(painter,
                           rect,
                           kit::capsuleRadius(rect),
                           kit::mixColors(kit::Palette::hairline(), kit::Palette::flameBorder(), t));

    const QColor textColor = m_rejected
                                 ? kit::rgb(kRefusedColor)
                                 : kit::mixColors(kit::Palette::textPrimary(), kit::Palette::flameSoft(), t);
    const kit::TextLook look = labelLook(m_isRecording, textColor);
    painter.setFont(look.font(this));
    painter.setPen(look.color);
    painter.drawText(
        rect.adjusted(kHorizontalPadding, 0, -kHorizontalPadding, 0), Qt::AlignCenter, labelText());
}
