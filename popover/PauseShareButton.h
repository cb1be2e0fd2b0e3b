#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/PressFeedbackButton.h"
#include "state/WindowManager.h"

#include <QColor>
#include <QImage>
#include <QString>

namespace kit {
class SymbolView;
class TextLabel;
} // namespace kit

// How the pause button looks for the share's state: its symbol, caption, tooltip and colours.
// Pure data, so both the popover's and the picture-in-picture panel's buttons agree.
struct PauseShareButtonStyle
{
    static constexpr double kCompactSide = 22;
    static constexpr double kHorizontalPadding = 8;
    static constexpr double kVerticalPadding = 5;
    static constexpr double kSpacing = 5;
    static constexpr double kSymbolPointSize = 8;
    static constexpr double kCaptionSize = 8.5;
    static constexpr double kCaptionTracking = 1.7;
    static constexpr double kDuration = 0.2;

    static QString symbolName(bool paused);
    // "PAUSE" while live; "FROZEN · RESUME" or "COVERED · RESUME" while paused.
    static QString caption(bool paused, WindowManager::PanicMode mode);
    static QString tooltip(bool paused, const HotKeyCombo& shortcut);
    // Dark ink on the flame capsule, near-white on the glassy one.
    static QColor foreground(bool paused);
    // The live capsule's fill: opaque under Reduce Transparency, else the thin material.
    static QColor liveFill(bool reduceTransparency);
    // The live capsule's outline; the flame capsule has none.
    static QColor outline(bool paused);
};

// Pauses or resumes what the meeting audience sees (the panic action). Full: a pill with the
// symbol and a caption; compact: the symbol alone in a 22-point capsule. It is never disabled:
// while the user is signed out the state object simply ignores the press. Follows the state
// object's pause, panic mode and shortcut; main thread only.
class PauseShareButton final : public kit::PressFeedbackButton
{
    Q_OBJECT

public:
    explicit PauseShareButton(WindowManager& windowManager, bool compact = false, QWidget* parent = nullptr);

    bool isCompact() const { return m_compact; }
    // The button's action: the state object's panic toggle.
    void togglePause();

    // What is shown now.
    QString symbolName() const;
    QString caption() const;
    QString toolTipText() const;
    // How far the look has turned to the paused one (0 live … 1 paused).
    double currentPausedness() const { return m_paused.value(); }

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override;

private:
    void sync();
    QColor currentForeground() const;
    // A capsule as drawn, at a size and pixel scale.
    static QImage capsuleLook(const QSizeF& size, double scale, bool paused, bool solid);

    WindowManager& m_windowManager;
    bool m_compact;
    kit::SymbolView* m_symbol = nullptr;
    kit::TextLabel* m_caption = nullptr;
    kit::AnimatedValue m_paused;
    QImage m_liveLook;
    QImage m_pausedLook;
    bool m_lookSolid = false;
};
