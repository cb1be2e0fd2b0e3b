#pragma once

#include "shell/kit/AnimatedValue.h"
#include "state/Models.h"

#include <QWidget>

#include <functional>

class PinButton;
class TapArea;
class WindowManager;

namespace kit {
class FlameToggle;
class SymbolView;
class TextView;
class VeiledBadge;
} // namespace kit

// One on-screen window of an expanded app row: hides or shows that window alone (a tap on the
// row or its switch) and pins it on top, telling the app row the window's new pinned state. Its
// app row keeps it for as long as the window is listed and updates it from the state object.
// Main thread only.
class WindowRowView final : public QWidget
{
    Q_OBJECT

public:
    // `fallbackTitle` names an untitled window ("Window 2"); `onPinned` gets the window's new
    // pinned state after each press of the pin.
    WindowRowView(WindowManager& windowManager,
                  const WindowInfo& window,
                  const QString& fallbackTitle,
                  std::function<void(bool)> onPinned,
                  QWidget* parent = nullptr);

    const WindowInfo& window() const { return m_window; }
    // The same window with a new title or place in the list.
    void setWindow(const WindowInfo& window, const QString& fallbackTitle);
    // The title, or the fallback title when the window has none.
    QString displayTitle() const;
    bool isHovered() const { return m_hovered; }

    // Shows the state object's current hidden and pinned state of the window.
    void sync();

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    void toggleHidden();
    void togglePinned();
    void setHovered(bool hovered);
    void titleChanged();

    WindowManager& m_windowManager;
    WindowInfo m_window;
    QString m_fallbackTitle;
    std::function<void(bool)> m_onPinned;
    bool m_hovered = false;
    bool m_hidden = false;

    TapArea* m_tapArea;
    kit::SymbolView* m_symbol;
    kit::TextView* m_title;
    kit::VeiledBadge* m_badge;
    PinButton* m_pin;
    kit::FlameToggle* m_switch;
    kit::AnimatedValue m_hover{0.0};
    kit::AnimatedValue m_hiddenness{0.0};
};
