#pragma once

#include "popover/AppRowModel.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/Transition.h"
#include "state/Models.h"

#include <QHash>
#include <QWidget>

class PinButton;
class PopoverNavigation;
class TapArea;
class WindowManager;
class WindowRowView;

namespace kit {
class Collapsible;
class FlameSlider;
class FlameToggle;
class PillButton;
class PressFeedbackButton;
class TextLabel;
class TextView;
class VeiledBadge;
} // namespace kit

// One running app in the popover's list: hides or shows the whole app, pins it on top, opens the
// transparency panel of its pinned windows and expands the list of its windows. The row holds
// only hover state; which rows are expanded and whose panel is open live in the popover's
// navigation, everything else in the state object. A row is kept for as long as its app runs
// and follows every change in place. Main thread only.
class AppRowView final : public QWidget
{
    Q_OBJECT

public:
    AppRowView(WindowManager& windowManager,
               const AppInfo& app,
               PopoverNavigation& navigation,
               QWidget* parent = nullptr);

    const AppInfo& app() const { return m_app; }
    // The same app with a new name or icon.
    void setApp(const AppInfo& app);

    // What the row shows now.
    const AppRowModel& model() const { return m_model; }
    bool isHovered() const { return m_hovered; }
    // The window rows in list order; none until the list was first expanded.
    QList<WindowRowView*> windowRows() const;
    // Whether the transparency panel shows the note about the system's recording indicator.
    bool showsRecordingNote() const;

    // Shared by every row: the user has dismissed the recording note.
    static inline const QString seenPinRecordingNoteKey = QStringLiteral("seenPinRecordingNote");

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void buildMainLine(QWidget* line);
    static kit::Transition slideIn();
    void ensurePanel();
    QWidget* buildPanel();
    void sync();
    void syncWindowRows();
    void syncPanel(bool opened);
    void syncBackground(bool first, const AppRowModel& before);

    void toggleHidden();
    void togglePinned();
    void pinStateChanged(bool nowPinned);
    void toggleExpanded();
    void toggleTransparencyPanel();
    void setTransparency(double transparency);
    void dismissRecordingNote();
    bool seenPinRecordingNote() const;

    WindowManager& m_windowManager;
    AppInfo m_app;
    PopoverNavigation& m_navigation;
    AppRowModel m_model;
    bool m_synced = false;
    bool m_hovered = false;

    TapArea* m_tapArea = nullptr;
    QWidget* m_icon = nullptr;
    kit::TextView* m_name = nullptr;
    kit::VeiledBadge* m_badge = nullptr;
    kit::PressFeedbackButton* m_countButton = nullptr;
    kit::TextLabel* m_countLabel = nullptr;
    QWidget* m_chevron = nullptr;
    kit::TextLabel* m_pinHint = nullptr;
    kit::PressFeedbackButton* m_chip = nullptr;
    kit::TextLabel* m_chipLabel = nullptr;
    PinButton* m_pin = nullptr;
    kit::FlameToggle* m_switch = nullptr;

    kit::Collapsible* m_windowList = nullptr;
    QWidget* m_windowListContent = nullptr;
    QHash<quint32, WindowRowView*> m_windowRows;
    bool m_windowRowsBuilt = false;

    kit::Collapsible* m_panel = nullptr;
    kit::FlameSlider* m_slider = nullptr;
    kit::TextView* m_description = nullptr;
    kit::Collapsible* m_note = nullptr;

    kit::AnimatedValue m_hiddenness{0.0};
    kit::AnimatedValue m_expandedness{0.0};
    kit::AnimatedValue m_fill{0.0};
    kit::AnimatedValue m_border{0.0};
};
