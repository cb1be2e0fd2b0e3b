#pragma once

#include "shell/kit/PressFeedbackButton.h"
#include "state/WindowManager.h"

#include <QColor>
#include <QWidget>

#include <functional>

// Chooses what a paused share shows: two segments, "Freeze frame" and "“Be right back”", the
// selected one a white pill with dark text. It holds no model state: the owner gives the mode to
// show and is called with the pressed segment's mode (also when it is already selected), inside
// the choice animation, so the owner's update of the mode animates the pill. Main thread only.
class PanicModePicker final : public QWidget
{
    Q_OBJECT

public:
    using OnSelect = std::function<void(WindowManager::PanicMode)>;

    PanicModePicker(WindowManager::PanicMode mode, OnSelect onSelect, QWidget* parent = nullptr);

    WindowManager::PanicMode mode() const { return m_mode; }
    // Shows a mode as selected, animated when set inside an animated change.
    void setMode(WindowManager::PanicMode mode);
    // A segment's action: `onSelect(mode)` inside the choice animation (the standard curve over
    // 0.18 s, or the reduced-motion ease).
    void select(WindowManager::PanicMode mode);

    // The segment of a mode (object names "panicModeFreeze" and "panicModeCover").
    kit::PressFeedbackButton* segment(WindowManager::PanicMode mode) const;

    static constexpr double kPadding = 3;
    static constexpr double kSpacing = 4;
    static constexpr double kSegmentHeight = 24;
    static constexpr double kDuration = 0.18;
    // The text colour of a segment: dark on the white pill, else the secondary white.
    static QColor segmentForeground(bool selected, bool increaseContrast);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    class Segment;

    OnSelect m_onSelect;
    WindowManager::PanicMode m_mode;
    Segment* m_freeze = nullptr;
    Segment* m_cover = nullptr;
};
