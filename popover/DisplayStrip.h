#pragma once

#include "shell/kit/AnimatedValue.h"
#include "shell/kit/PressFeedbackButton.h"
#include "state/Models.h"

#include <QHash>
#include <QWidget>

class QHBoxLayout;
class WindowManager;

// One display the user may mirror: a capsule with the display's symbol and name, white while it
// is the display being mirrored. Pressing it chooses that display.
class DisplayChip final : public kit::PressFeedbackButton
{
    Q_OBJECT

public:
    DisplayChip(WindowManager& windowManager, const DisplayInfo& display, QWidget* parent = nullptr);

    const DisplayInfo& display() const { return m_display; }
    void setDisplay(const DisplayInfo& display);
    bool isSelected() const { return m_selected; }
    // Changes with the transaction's animation (at once outside one).
    void setSelected(bool selected);

private:
    QColor foreground() const;

    WindowManager& m_windowManager;
    DisplayInfo m_display;
    bool m_selected = false;
    kit::AnimatedValue m_selection{0.0};
    QWidget* m_symbol;
    QWidget* m_name;
};

// The main page's "MIRRORING" strip: one chip per display the user may mirror, in the state
// object's order and kept by display identifier, the mirrored one selected. Main thread only.
class DisplayStrip final : public QWidget
{
    Q_OBJECT

public:
    explicit DisplayStrip(WindowManager& windowManager, QWidget* parent = nullptr);

    // The chips in order.
    QList<DisplayChip*> chips() const;

private:
    void sync();

    WindowManager& m_windowManager;
    QHash<quint32, DisplayChip*> m_chips;
    QList<quint32> m_order;
    QHBoxLayout* m_row;
};
