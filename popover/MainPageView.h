#pragma once

#include <QImage>
#include <QWidget>

class AppListView;
class DisplayStrip;
class PiPController;
class PopoverNavigation;
class PreviewCard;
class ProtectionSections;
class WindowManager;

namespace kit {
class CardBackground;
}

// The popover's main page while the user is signed in, one column top to bottom: the notice while
// the Screen Recording permission is missing, the live preview, the display strip (two or more
// displays), the protection card and the scrolling list of running apps. Holds no data of its own:
// it follows the state object, the picture-in-picture controller and the popover's navigation.
// Main thread only.
class MainPageView final : public QWidget
{
    Q_OBJECT

public:
    MainPageView(WindowManager& windowManager,
                 PiPController& pip,
                 PopoverNavigation& navigation,
                 QWidget* parent = nullptr);

    QWidget* permissionNotice() const { return m_notice; }
    PreviewCard* previewCard() const { return m_preview; }
    DisplayStrip* displayStrip() const { return m_strip; }
    kit::CardBackground* sectionsCard() const { return m_sectionsCard; }
    ProtectionSections* sections() const { return m_sections; }
    AppListView* appList() const { return m_appList; }
    // The preview's bottom padding: tighter while the display strip follows it.
    int previewBottomPadding() const;

    // The preview card's glow: flame at 0.14, radius 22, 6 points down.
    static constexpr double kShadowRadius = 22;
    static constexpr double kShadowOffsetY = 6;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QWidget* makeNotice();
    void sync();

    WindowManager& m_windowManager;
    QWidget* m_notice = nullptr;
    QWidget* m_previewBox = nullptr;
    PreviewCard* m_preview = nullptr;
    QWidget* m_stripBox = nullptr;
    DisplayStrip* m_strip = nullptr;
    kit::CardBackground* m_sectionsCard = nullptr;
    ProtectionSections* m_sections = nullptr;
    AppListView* m_appList = nullptr;
    // The glow drawn behind the preview card, made again only when the card's size changes.
    QImage m_shadow;
};
