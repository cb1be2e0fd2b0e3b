#pragma once

#include "platform/EventMonitor.h"
#include "platform/Scheduler.h"
#include "platform/Services.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/PressFeedbackButton.h"
#include "state/HotKeyCombo.h"

#include <QColor>

#include <functional>
#include <optional>

// The capsule that shows a system-wide hot key and records a new one: a click starts recording,
// the next key press with ⌃, ⌥ or ⌘ is handed to the owner, which accepts or refuses it; Escape or
// a second click cancels. While recording it watches every key press of the application and lets
// none through; it stops watching when it is hidden or destroyed. It knows nothing of hot-key
// registration. Main thread only.
class ShortcutRecorder final : public kit::PressFeedbackButton
{
    Q_OBJECT

public:
    // True when the owner took the combination.
    using OnRecord = std::function<bool(const HotKeyCombo&)>;

    ShortcutRecorder(HotKeyCombo combo,
                     OnRecord onRecord,
                     const platform::Services& services = platform::Services::current(),
                     QWidget* parent = nullptr);
    ~ShortcutRecorder() override;
    ShortcutRecorder(const ShortcutRecorder&) = delete;
    ShortcutRecorder& operator=(const ShortcutRecorder&) = delete;

    // The combination shown while idle; the owner sets the one it keeps after each recording.
    const HotKeyCombo& combo() const { return m_combo; }
    void setCombo(const HotKeyCombo& combo);

    bool isRecording() const { return m_isRecording; }
    // The last recorded combination was refused; shown for kRefusalNoticeDuration.
    bool isRejected() const { return m_rejected; }
    // "In use — try another", "Press keys…" or the combination.
    QString labelText() const;
    QString toolTipText() const;

    // The click: stops when recording, else starts.
    void toggleRecording();
    void startRecording();
    // Harmless when not recording.
    void stopRecording();

    static constexpr double kRefusalNoticeDuration = 1.8;
    static constexpr double kHorizontalPadding = 10;
    static constexpr double kMinimumWidth = 76;
    static constexpr double kMinimumHeight = 26;
    static constexpr double kFontSize = 11;
    static constexpr double kAnimationDuration = 0.18;
    static constexpr unsigned kRefusedColor = 0xFF5F56;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override;
    bool hitButton(const QPoint& pos) const override;
    void hideEvent(QHideEvent* event) override;

private:
    std::optional<platform::KeyEvent> handleKey(const platform::KeyEvent& event);
    void setRecording(bool recording);
    void setRejected(bool rejected);
    void changed();

    HotKeyCombo m_combo;
    OnRecord m_onRecord;
    platform::Services m_services;
    bool m_isRecording = false;
    bool m_rejected = false;
    std::optional<platform::EventMonitor::Token> m_monitor;
    // One notice timer, restarted by each refusal, so a later refusal shows its full time.
    platform::TimerHandle m_refusalNotice;
    // 0 idle … 1 recording, for the capsule's colours.
    kit::AnimatedValue m_recordingness{0.0};
};
