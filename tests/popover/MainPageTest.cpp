// The main page through its own controls, against the state object with the virtual display
// running on the simulated desktop: what the audience sees (the "Veilmox" display's pixels) and
// what the preview shows, in virtual time.
#include "capture/ShareMaskEditorPanel.h"
#include "capture/ShareMaskEditorView.h"
#include "popover/AppListView.h"
#include "popover/AppRowView.h"
#include "popover/DisplayStrip.h"
#include "popover/PauseShareButton.h"
#include "popover/PreviewCard.h"
#include "popover/ProtectionSections.h"
#include "popover/SettingRow.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/Transition.h"
#include "tests/popover/MainPageFixture.h"

#include <QPainter>
#include <QTest>

using namespace testing_support;

namespace {

const QString kSecret = QStringLiteral("com.example.secret");
const QString kOpen = QStringLiteral("com.example.open");
const QColor kWallpaper(0x1f, 0x3b, 0x5c);
const QColor kOtherWallpaper(0x5c, 0x1f, 0x3b);
const QColor kSecretColour(0xf0, 0x40, 0x40);
const QColor kOpenColour(0x40, 0xc0, 0x60);
const QColor kMaskFill(23, 24, 28);
const QPointF kSecretPoint(160, 100);
const QPointF kOpenPoint(60, 100);

// A small display (cheap captures) with an app the audience may see and one to hide.
struct MainPage : MainPageFixture
{
    quint32 secretWindow = 0;
    quint32 openWindow = 0;

    void SetUp() override
    {
        useMainDisplay(QRectF(0, 0, 320, 200), 2, kWallpaper);
        secretWindow = addWindow(kSecret, QStringLiteral("Secret"), {120, 60, 90, 80}, kSecretColour);
        openWindow = addWindow(kOpen, QStringLiteral("Open"), {20, 60, 90, 80}, kOpenColour);
    }

    // A meeting app showing its sharing indicator, found by the next window refresh.
    platform::pid_type startMeetingShare()
    {
        const auto pid = t.desktop.launchApp(QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us"));
        t.desktop.addWindow(pid, QStringLiteral("Zoom Share Toolbar"), QRectF(200, 0, 100, 30));
        return pid;
    }

    static bool shownAs(const QColor& seen, const QColor& expected) { return near(seen, expected, 3); }
};

} // namespace

TEST(MainPageTexts, MaskAndAutoHideSubtitlesCountAndNameTheMeeting)
{
    const std::pair<int, const char*> masks[] = {{0, "Cover parts of a window on your share"},
                                                 {1, "1 area covered on your share"},
                                                 {3, "3 areas covered on your share"}};
    for (const auto& [count, text] : masks) {
        EXPECT_EQ(ProtectionSections::masksSubtitle(count), QString::fromUtf8(text)) << count;
    }
    struct Case
    {
        bool active;
        bool enabled;
        int listed;
        std::optional<QString> share;
        const char* text;
    };
    const Case cases[] = {
        {true, true, 1, std::nullopt, "1 app hidden in your meeting"},
        {true, true, 3, QStringLiteral("zoom.us"), "3 apps hidden in zoom.us"},
        {true, false, 0, QStringLiteral("Teams"), "0 apps hidden in Teams"},
        {false, true, 0, std::nullopt, "Choose apps to hide"},
        {false, true, 1, std::nullopt, "1 app hide when you share"},
        {false, true, 3, QStringLiteral("zoom.us"), "3 apps hide when you share"},
        {false, false, 3, std::nullopt, "Hide apps when you share"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProtectionSections::autoHideSubtitle(c.active, c.enabled, c.listed, c.share),
                  QString::fromUtf8(c.text))
            << c.text;
    }
}

TEST_F(MainPage, AWideFrameIsLetterboxedNotStretchedAndSharedNotCopied)
{
    open();
    PreviewCard& card = *page().previewCard();
    ASSERT_EQ(card.size(), QSize(326, 150));
    QImage frame(400, 200, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::red);
    QPainter(&frame).fillRect(0, 0, 200, 200, Qt::green);
    manager->setVirtualDisplayPreviewImage(std::nullopt);
    EXPECT_TRUE(named(card, "previewPlaceholder").isVisible());
    manager->setVirtualDisplayPreviewImage(frame);
    EXPECT_FALSE(named(card, "previewPlaceholder").isVisible());
    EXPECT_EQ(card.image()->cacheKey(), frame.cacheKey());
    const QImage drawn = kit::renderView(card, 2.0);
    // 2:1 into 326 x 150: 300 x 150, with bars of 13 points at either side.
    EXPECT_EQ(card.imageRect(), QRectF(13, 0, 300, 150));
    for (const QPointF bar : {QPointF(6, 75), QPointF(320, 75), QPointF(6, 20)}) {
        EXPECT_TRUE(near(colorAt(drawn, bar), kit::Palette::surface())) << bar.x() << "," << bar.y();
    }
    EXPECT_TRUE(near(colorAt(drawn, {16, 75}), Qt::green));
    EXPECT_TRUE(near(colorAt(drawn, {160, 3}), Qt::green));
    EXPECT_TRUE(near(colorAt(drawn, {166, 146}), Qt::red));
    EXPECT_TRUE(near(colorAt(drawn, {309, 75}), Qt::red));
}

TEST_F(MainPage, HidingAnAppInThePopoverTakesItOffThePreviewAndTheVeilmoxDisplayWithinOneTick)
{
    open();
    ASSERT_TRUE(shownAs(audienceAt(kSecretPoint), kSecretColour));
    ASSERT_TRUE(shownAs(previewAt(kSecretPoint), kSecretColour));

    AppRowView& row = *page().appList()->row(kSecret);
    click(named<kit::FlameToggle>(row, "hideSwitch"));
    tick();
    EXPECT_TRUE(shownAs(audienceAt(kSecretPoint), kWallpaper));
    EXPECT_TRUE(shownAs(previewAt(kSecretPoint), kWallpaper));
    EXPECT_TRUE(shownAs(audienceAt(kOpenPoint), kOpenColour));

    // Shown again, one window of the app at a time.
    click(named<kit::FlameToggle>(row, "hideSwitch"));
    tick();
    EXPECT_TRUE(shownAs(audienceAt(kSecretPoint), kSecretColour));
}

TEST_F(MainPage, ChoosingAnotherDisplayInTheStripRetargetsTheCapture)
{
    const quint32 other = addDisplay(QRectF(320, 0, 320, 200), 2, kOtherWallpaper);
    open();
    ASSERT_TRUE(page().displayStrip()->isVisible());
    EXPECT_EQ(page().previewBottomPadding(), 8);
    const QList<DisplayChip*> chips = page().displayStrip()->chips();
    ASSERT_EQ(chips.size(), 2);
    EXPECT_TRUE(chips[0]->isSelected());
    EXPECT_FALSE(chips[1]->isSelected());
    ASSERT_TRUE(shownAs(audienceAt(kOpenPoint), kOpenColour));

    click(*chips[1]);
    tick();
    EXPECT_EQ(manager->effectiveSharedDisplayID(), other);
    EXPECT_EQ(std::pair(chips[0]->isSelected(), chips[1]->isSelected()), std::pair(false, true));
    EXPECT_TRUE(shownAs(audienceAt(kOpenPoint), kOtherWallpaper));
    EXPECT_TRUE(shownAs(previewAt(kOpenPoint), kOtherWallpaper));

    // The chosen display gone, the first one is mirrored and shown chosen, and the strip goes.
    t.desktop.removeDisplay(other);
    settle(0.1);
    EXPECT_FALSE(page().displayStrip()->isVisible());
    EXPECT_EQ(page().previewBottomPadding(), 10);
    EXPECT_TRUE(shownAs(audienceAt(kOpenPoint), kOpenColour));
}

TEST_F(MainPage, MasksDrawnFromTheCardCoverTheirWindowAndUndoBringsThemBack)
{
    open();
    ProtectionSections& sections = *page().sections();
    const auto shown = [&sections](const char* name) {
        return !named<kit::PillButton>(sections, QString::fromLatin1(name)).isHidden();
    };
    EXPECT_EQ((std::vector<bool>{shown("undoMasksButton"),
                                 shown("clearMasksButton"),
                                 shown("drawMasksButton"),
                                 shown("editMasksButton")}),
              (std::vector<bool>{false, false, true, false}));

    shell.popoverShown = true;
    click(named<kit::PillButton>(sections, "drawMasksButton"));
    ASSERT_TRUE(editor.isEditing());
    EXPECT_FALSE(shell.popoverShown);
    auto* surface = qobject_cast<ShareMaskEditorView*>(editor.panel()->contentView());
    ASSERT_NE(surface, nullptr);
    QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(130, 70));
    QTest::mouseMove(surface, QPoint(170, 100));
    QTest::mouseMove(surface, QPoint(200, 130));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(200, 130));
    QTest::keyClick(surface, Qt::Key_Escape);
    ASSERT_EQ(manager->shareMasks().size(), 1);
    tick();
    EXPECT_TRUE(shownAs(audienceAt(kSecretPoint), kMaskFill));
    EXPECT_EQ(sections.masksRow()->subtitle(), QStringLiteral("1 area covered on your share"));
    EXPECT_TRUE(shown("clearMasksButton") && shown("editMasksButton") && !shown("drawMasksButton"));

    click(named<kit::PillButton>(sections, "clearMasksButton"));
    tick();
    EXPECT_TRUE(shownAs(audienceAt(kSecretPoint), kSecretColour));
    EXPECT_TRUE(shown("undoMasksButton") && shown("drawMasksButton"));
    click(named<kit::PillButton>(sections, "undoMasksButton"));
    tick();
    EXPECT_TRUE(shownAs(audienceAt(kSecretPoint), kMaskFill));
    EXPECT_FALSE(shown("undoMasksButton"));
}

TEST_F(MainPage, ThePermissionNoticeFollowsThePermissionBothWaysAndEachButtonReachesItsOperation)
{
    open();
    QWidget& notice = *page().permissionNotice();
    EXPECT_FALSE(notice.isVisible());

    t.desktop.setScreenRecordingPermission(false);
    manager->refreshScreenRecordingPermission();
    settle(0.1);
    EXPECT_FALSE(manager->hasScreenRecordingPermission());
    EXPECT_TRUE(notice.isVisible());
    EXPECT_LT(notice.y(), page().previewCard()->mapTo(&page(), QPoint()).y()) << "the notice comes first";

    // "Reset" runs the reset tool and opens the pane; "Open Settings" only opens it.
    const QUrl pane(WindowManager::screenRecordingPaneURL);
    click(named<kit::PillButton>(notice, "resetButton"));
    ASSERT_EQ(t.processes.runs().size(), 1);
    EXPECT_EQ(t.processes.runs().first().arguments.value(0), QStringLiteral("reset"));
    EXPECT_EQ(t.desktop.openedURLs(), QList<QUrl>{pane});
    click(named<kit::PillButton>(notice, "openSettingsButton"));
    EXPECT_EQ(t.desktop.openedURLs(), (QList<QUrl>{pane, pane}));

    t.desktop.setScreenRecordingPermission(true);
    click(named<kit::PillButton>(notice, "recheckButton"));
    settle(0.1);
    EXPECT_TRUE(manager->hasScreenRecordingPermission());
    EXPECT_FALSE(notice.isVisible());
    EXPECT_EQ(std::pair(t.processes.runs().size(), t.desktop.openedURLs().size()),
              std::pair(qsizetype(1), qsizetype(2)))
        << "the recheck only probes";
}

TEST_F(MainPage, LiveAndAutoHidingFollowADetectedShareUntilItIsPausedOrEnds)
{
    open();
    PreviewCard& card = *page().previewCard();
    QWidget& live = named(card, "liveChip");
    ProtectionSections& sections = *page().sections();
    EXPECT_FALSE(live.isVisible());
    click(named<kit::FlameToggle>(sections, "autoHideSwitch"));
    EXPECT_TRUE(manager->autoHideEnabled());
    EXPECT_EQ(t.defaults.object(WindowManager::autoHideEnabledKey), QVariant(true));
    EXPECT_EQ(sections.autoHideRow()->subtitle(), QStringLiteral("Choose apps to hide"));
    manager->toggleAutoHide(true, kSecret);
    EXPECT_EQ(sections.autoHideRow()->subtitle(), QStringLiteral("1 app hide when you share"));

    // A detected share brings the chip in with the card's 0.24 s curve.
    const auto meeting = startMeetingShare();
    manager->refreshWindows();
    const kit::Presence& chip = kit::Presence::of(&live);
    advance(0.1);
    EXPECT_GT(chip.presence(), 0);
    EXPECT_LT(chip.presence(), 1);
    settle(0.3);
    EXPECT_TRUE(live.isVisible());
    EXPECT_TRUE(page().sectionsCard()->isActive());
    EXPECT_EQ(sections.autoHideRow()->subtitle(), QStringLiteral("1 app hidden in zoom.us"));
    EXPECT_TRUE(shownAs(audienceAt(kSecretPoint), kWallpaper));

    // Pausing and resuming take it away and bring it back at once.
    click(named<PauseShareButton>(card, "pauseShareButton"));
    EXPECT_FALSE(live.isVisible());
    click(named<PauseShareButton>(card, "pauseShareButton"));
    EXPECT_TRUE(live.isVisible());
    EXPECT_EQ(chip.presence(), 1);

    // The share ends at the second window refresh without its indicator.
    t.desktop.terminateApp(meeting);
    settle(2.1);
    EXPECT_FALSE(live.isVisible());
    EXPECT_FALSE(page().sectionsCard()->isActive());
    EXPECT_TRUE(shownAs(audienceAt(kSecretPoint), kSecretColour));

    // The row opens the auto-hide page; its switch alone does not.
    click(named(sections, "autoHideRowButton"));
    EXPECT_TRUE(root->navigation().showingAutoHide());
}

TEST_F(MainPage, PausingFromThePreviewFreezesTheAudiencesPictureOrCoversIt)
{
    open();
    PreviewCard& card = *page().previewCard();
    auto& pause = named<PauseShareButton>(card, "pauseShareButton");
    click(pause);
    EXPECT_TRUE(manager->sharePaused());
    EXPECT_TRUE(card.state().showsPauseBorder);
    const QImage frozen = audience();
    t.desktop.setWindowBounds(openWindow, QRectF(200, 120, 90, 70));
    settle(0.3);
    EXPECT_EQ(audience(), frozen);

    MenuBarView::setPanicMode(*manager, WindowManager::PanicMode::Cover);
    settle(0.1);
    // The cover: the canvas colour at its edges, nothing of the desktop.
    EXPECT_TRUE(shownAs(audienceAt({4, 190}), kit::Palette::canvas()));
    EXPECT_TRUE(shownAs(audienceAt({316, 190}), kit::Palette::canvas()));
    EXPECT_FALSE(shownAs(audienceAt(kSecretPoint), kSecretColour));
    EXPECT_EQ(pause.caption(), QStringLiteral("COVERED \u00B7 RESUME"));

    click(pause);
    tick();
    EXPECT_FALSE(manager->sharePaused());
    EXPECT_TRUE(shownAs(audienceAt({245, 155}), kOpenColour)) << "live again, with the window moved";
    EXPECT_FALSE(card.state().showsPauseBorder);
}

TEST_F(MainPage, PopOutFloatsThePreviewForGoodAndTheFocusStageSwitchFlipsTheSetting)
{
    open();
    PreviewCard& card = *page().previewCard();
    QWidget& popOut = named(card, "popOutButton");
    pip.setOpenedBySharing(true);
    shell.popoverShown = true;
    click(popOut);
    EXPECT_TRUE(pip.isVisible());
    EXPECT_FALSE(pip.openedBySharing());
    EXPECT_EQ(shell.popoverCloses, 1);
    EXPECT_FALSE(popOut.isVisible()) << "no pop-out while the panel shows";
    pip.hide();
    EXPECT_TRUE(popOut.isVisible());

    auto& focus = named<kit::FlameToggle>(*page().sections(), "focusStageSwitch");
    const bool before = manager->focusStageOnVirtualDisplay();
    EXPECT_EQ(focus.isOn(), before);
    click(focus);
    EXPECT_EQ(manager->focusStageOnVirtualDisplay(), !before);
    EXPECT_EQ(focus.isOn(), !before);
    EXPECT_EQ(manager->virtualDisplayManager()->focusStageEnabled, !before);
}
