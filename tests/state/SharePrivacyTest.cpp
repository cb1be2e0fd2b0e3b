// What the audience of the "Veilmox" display is shown while the desktop and the user's choices
// change under a capture in flight: never a pixel of a hidden app or window, of a masked area or
// of the program's own windows. Everything goes through the state object's own operations, in
// virtual time, on a desktop whose every window has a colour of its own.
#include "capture/ShareMaskEditor.h"
#include "capture/ShareMaskEditorPanel.h"
#include "tests/state/PrivacyRig.h"
#include "tests/support/CurrentServices.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using testing_support::PrivacyRig;
using Await = PrivacyRig::Await;

namespace {

const QString kOpen = QStringLiteral("com.example.open");
const QString kSecret = QStringLiteral("com.example.secret");
const QString kNotes = QStringLiteral("com.example.notes");
const QRgb kMaskFill = qRgb(23, 24, 28);
const QRgb kWallpaper = platform::sim::SimDesktop::DisplaySpec().desktopColor.rgb();

// A part of a window (the secret app's, in the scene below) that a mask may cover.
const QRectF kPatch(10, 10, 40, 30);

// The desktop of the sequences below: an app the audience may see, an app to hide whole and one
// whose windows are hidden one by one, each with a window on screen.
struct Scene
{
    explicit Scene(PrivacyRig& r)
        : rig(r)
        , open(r.launch(kOpen))
        , secret(r.launch(kSecret))
        , notes(r.launch(kNotes))
        , openWindow(r.addWindow(open, {20, 40, 80, 70}))
        , secretWindow(r.addWindow(secret, {120, 40, 80, 70}, {kPatch}))
        , notesWindow(r.addWindow(notes, {220, 40, 80, 70}))
    {}

    // A hidden window on screen, so the filter lists the windows it leaves out one by one.
    void listWindows() const { rig.manager->toggleWindowHidden(notesWindow, kNotes); }
    // The secret app hidden from the share, with single windows listed, and hidden on the Mac.
    void hideSecretOffScreen() const
    {
        rig.manager->toggleHidden(kSecret);
        listWindows();
        rig.t.desktop.runningApplication(secret)->hide();
    }

    PrivacyRig& rig;
    platform::pid_type open;
    platform::pid_type secret;
    platform::pid_type notes;
    quint32 openWindow;
    quint32 secretWindow;
    quint32 notesWindow;
    quint32 extra = 0;
    platform::Window* own = nullptr;
    std::unique_ptr<ShareMaskEditor> editor;
};

// A point of the picture and the colour it must have.
using Sentinel = std::pair<QPointF, QRgb>;

struct Sequence
{
    const char* name;
    // Where a capture is out when the change makes its picture unfit to show.
    QList<Await> dropsAt;
    std::function<void(Scene&)> before;
    std::function<void(Scene&)> during;
    // What the audience sees once the change has settled, besides the open app.
    QList<Sentinel> settled;
    // A change that lands while the same capture waits for its content, before `during`.
    std::function<void(Scene&)> whileContent = nullptr;
};

const Sequence kSequences[] = {
    {"a window opened by a hidden app while single windows are listed",
     {Await::Content, Await::Screenshot},
     [](Scene& s) {
         s.rig.manager->toggleHidden(kSecret);
         s.listWindows();
     },
     [](Scene& s) {
         s.extra = s.rig.addWindow(s.secret, {120, 120, 80, 60});
     },
     {{{160, 150}, kWallpaper}}},
    {"a hidden app's off-screen window coming on screen as the app is unhidden",
     {},
     [](Scene& s) { s.hideSecretOffScreen(); },
     [](Scene& s) { s.rig.t.desktop.runningApplication(s.secret)->unhide(); },
     {{{160, 75}, kWallpaper}}},
    {"a hidden app's off-screen window coming on screen as the app is activated",
     {},
     [](Scene& s) { s.hideSecretOffScreen(); },
     [](Scene& s) { s.rig.t.desktop.activateApp(s.secret); },
     {{{160, 75}, kWallpaper}}},
    {"one of the program's own windows ordered in",
     {},
     [](Scene& s) {
         s.listWindows();
         s.own = &s.rig.addOwnWindow({20, 120, 80, 60}, false);
     },
     [](Scene& s) { s.own->orderFrontRegardless(); },
     {{{60, 150}, kWallpaper}}},
    {"one of the program's own windows made and shown",
     {Await::Content, Await::Screenshot},
     [](Scene& s) { s.listWindows(); },
     [](Scene& s) {
         s.rig.addOwnWindow({20, 120, 80, 60}, true);
     },
     {{{60, 150}, kWallpaper}}},
    {"a minimised hidden window restored",
     {},
     [](Scene& s) {
         s.extra = s.rig.addWindow(s.notes, {220, 120, 80, 60});
         s.rig.manager->toggleWindowHidden(s.extra, kNotes);
         s.rig.t.desktop.setWindowOnScreen(s.extra, false);
     },
     [](Scene& s) { s.rig.t.desktop.setWindowOnScreen(s.extra, true); },
     {{{260, 150}, kWallpaper}}},
    {"a fully masked window jumping 130 points",
     {Await::Content, Await::Screenshot},
     [](Scene& s) {
         s.extra = s.rig.addWindow(s.open, {20, 120, 70, 60}, {QRectF(0, 0, 70, 60)});
         s.rig.manager->addShareMask({QUuid::createUuid(), s.extra, kOpen, QRectF(0, 0, 70, 60)});
     },
     [](Scene& s) {
         s.rig.t.desktop.setWindowBounds(s.extra, {150, 120, 70, 60});
     },
     {{{185, 150}, kMaskFill}, {{55, 150}, kWallpaper}}},
    {"an app hidden by the user",
     {Await::Screenshot},
     [](Scene&) {},
     [](Scene& s) { s.rig.manager->toggleHidden(kSecret); },
     {{{160, 75}, kWallpaper}}},
    {"a new process of an app hidden whole opening a window",
     {Await::Content, Await::Screenshot},
     [](Scene& s) { s.rig.manager->toggleHidden(kSecret); },
     [](Scene& s) {
         s.extra = s.rig.addWindow(s.rig.launch(kSecret), {120, 120, 80, 60});
     },
     {{{160, 150}, kWallpaper}}},
    // Its window is on screen when the screenshot is asked for and gone when the picture comes
    // back: only the check made before asking can keep it out.
    {"a new process of an app hidden whole whose window opens while the content is awaited and "
     "closes while the screenshot is out",
     {Await::Screenshot},
     [](Scene& s) { s.rig.manager->toggleHidden(kSecret); },
     [](Scene& s) {
         if (s.extra != 0) {
             s.rig.t.desktop.removeWindow(s.extra);
         }
     },
     {{{160, 150}, kWallpaper}},
     [](Scene& s) {
         s.extra = s.rig.addWindow(s.rig.launch(kSecret), {120, 120, 80, 60});
     }},
    {"the same with a window whose bounds the window list cannot give",
     {Await::Content, Await::Screenshot},
     [](Scene& s) { s.rig.manager->toggleHidden(kSecret); },
     [](Scene& s) {
         s.extra = s.rig.addWindow(s.rig.launch(kSecret), {120, 120, 80, 60});
         s.rig.t.desktop.overrideDescription(s.extra, {{platform::kCGWindowBounds, QVariant()}});
     },
     {{{160, 150}, kWallpaper}}},
    {"notification banners hidden with their switch",
     {Await::Screenshot},
     [](Scene& s) {
         s.rig.switchNotificationBanners(false);
         s.extra = s.rig.addWindow(s.rig.launch(QStringLiteral("com.apple.notificationcenterui")),
                                   {220, 120, 80, 60});
     },
     [](Scene& s) { s.rig.switchNotificationBanners(true); },
     {{{260, 150}, kWallpaper}}},
    {"the Dock left out as the focus stage is switched on",
     {Await::Screenshot},
     [](Scene& s) {
         s.rig.manager->toggleFocusStage();
         s.extra = s.rig.addWindow(s.rig.launch(QStringLiteral("com.apple.dock")), {20, 150, 280, 40});
     },
     [](Scene& s) { s.rig.manager->toggleFocusStage(); },
     {{{160, 170}, kWallpaper}}},
    {"a mask drawn on a window that moved away while the content was awaited and back since",
     {Await::Screenshot},
     [](Scene& s) {
         s.extra = s.rig.addWindow(s.open, {20, 120, 70, 60}, {kPatch});
     },
     [](Scene& s) {
         s.rig.t.desktop.setWindowBounds(s.extra, {20, 120, 70, 60});
         s.rig.manager->addShareMask({QUuid::createUuid(), s.extra, kOpen, kPatch});
     },
     {{{50, 145}, kMaskFill}},
     [](Scene& s) {
         s.rig.t.desktop.setWindowBounds(s.extra, {150, 120, 70, 60});
     }},
};

} // namespace

TEST(SharePrivacy, NothingHiddenReachesTheAudienceWhateverChangesWhileACaptureIsOut)
{
    for (const Sequence& sequence : kSequences) {
        for (const Await point : {Await::Content, Await::Screenshot}) {
            SCOPED_TRACE(std::string(sequence.name)
                         + (point == Await::Content ? ", while the content is awaited"
                                                    : ", while the screenshot is awaited"));
            PrivacyRig rig;
            Scene scene(rig);
            rig.t.desktop.mouseMoved({60, 75});
            rig.startSharing();
            sequence.before(scene);
            rig.run(0.2);
            const int before = rig.delivered();
            ASSERT_GT(before, 0);

            rig.runToMidCapture(sequence.whileContent ? Await::Content : point);
            if (sequence.whileContent) {
                sequence.whileContent(scene);
                if (point == Await::Screenshot) {
                    // On to half-way through the same capture's screenshot.
                    rig.setDelays(0, 0.02);
                    rig.run(0.02);
                }
            }
            sequence.during(scene);
            rig.run(0.011);
            // A picture unfit to show is dropped and counted; the mirror keeps the last one.
            const int dropped = rig.display().droppedFrameCount();
            EXPECT_EQ(dropped, sequence.dropsAt.contains(point) ? 1 : 0);
            EXPECT_EQ(rig.display().imageView()->image()->cacheKey(), rig.lastPicture.cacheKey());
            rig.run(0.3);

            EXPECT_TRUE(rig.leaks.isEmpty()) << rig.leaks.join(QLatin1Char('\n')).toStdString();
            // The share goes on: a change shows at the next tick, with the open app and the pointer
            // over it.
            const int settled = rig.delivered();
            rig.t.desktop.mouseMoved({61, 75});
            rig.run(0.06);
            EXPECT_GT(rig.delivered(), settled);
            EXPECT_TRUE(rig.shows({40, 60}, rig.colour(scene.openWindow)));
            EXPECT_TRUE(rig.shows({62, 83}, qRgb(0, 0, 0)));
            for (const auto& [at, colour] : sequence.settled) {
                EXPECT_TRUE(rig.shows(at, colour)) << at.x() << ", " << at.y();
            }
        }
    }
}

namespace {

struct EntryPoint
{
    const char* name;
    std::function<void(Scene&)> before;
    std::function<void(Scene&)> hide;
    // Shows it again, for the entry points that restore by themselves.
    std::function<void(Scene&)> restore = nullptr;
    // Where the audience now sees something else than the secret app's window.
    QPointF covered{160, 90};
    QRgb coveredBy = kWallpaper;
    // What else the entry point leaves behind once the change has reached the audience.
    std::function<void(Scene&)> check = nullptr;
};

const EntryPoint kEntryPoints[] = {
    {"the app's switch in the popover",
     [](Scene&) {},
     [](Scene& s) {
         s.rig.manager->toggleHidden(kSecret);
     }},
    {"the frontmost-app hot key",
     [](Scene& s) { s.rig.t.desktop.activateApp(s.secret); },
     [](Scene& s) {
         ASSERT_TRUE(s.rig.t.hotKeys.press(4, 0x300));
         s.rig.t.scheduler.runPending();
     }},
    {"automatic hiding while a meeting app shares the screen",
     [](Scene& s) {
         s.rig.manager->setAutoHideEnabled(true);
         s.rig.manager->toggleAutoHide(true, kSecret);
     },
     [](Scene& s) {
         const auto zoom =
             s.rig.t.desktop.launchApp(QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us"));
         s.extra = s.rig.t.desktop.addWindow(zoom, QStringLiteral("Zoom Share Toolbar"), {500, 0, 400, 60});
     },
     [](Scene& s) {
         s.rig.t.desktop.removeWindow(s.extra);
     }},
    {"the window's switch in the popover",
     [](Scene&) {},
     [](Scene& s) {
         s.rig.manager->toggleWindowHidden(s.secretWindow, kSecret);
     }},
    {"a box drawn in the mask editor",
     [](Scene& s) {
         s.editor = std::make_unique<ShareMaskEditor>(s.rig.t.services(), s.rig.manager.get());
         s.rig.manager->setShareMaskEditor(s.editor.get());
         s.rig.manager->openShareMaskEditor();
         ASSERT_TRUE(s.editor->isEditing());
     },
     [](Scene& s) {
         auto* surface = s.editor->panel()->contentView();
         QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(130, 50));
         QTest::mouseMove(surface, QPoint(150, 65));
         QTest::mouseMove(surface, QPoint(170, 80));
         QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(170, 80));
     },
     nullptr,
     {150, 65},
     kMaskFill,
     [](Scene& s) {
         // Stored relative to the window, and saved; the editor, on screen, is in no capture of the
         // display itself.
         const QList<ShareMask>& masks = s.rig.manager->shareMasks();
         ASSERT_EQ(masks.size(), 1);
         EXPECT_EQ(masks[0], (ShareMask{masks[0].id, s.secretWindow, kSecret, kPatch}));
         EXPECT_EQ(ShareMask::decodeList(s.rig.t.defaults.dataForKey(WindowManager::shareMasksKey).value()),
                   masks);
         EXPECT_TRUE(s.rig.t.desktop.isWindowOnScreen(s.editor->panel()->windowNumber()));
         const QImage physical =
             s.rig.t.screenCapture.compositor().renderDisplay(s.rig.t.mainDisplay, {640, 400});
         EXPECT_EQ(physical.pixel(300, 130), s.rig.colour(s.secretWindow, 0) | 0xFF000000U);
         EXPECT_EQ(physical.pixel(360, 180), s.rig.colour(s.secretWindow) | 0xFF000000U);
     }},
};

} // namespace

TEST(SharePrivacy, EveryWayOfHidingReachesTheAudienceWithinOneTick)
{
    // A change made while a screenshot is out lands in the next tick's capture: one interval,
    // then the screenshot's wait.
    constexpr double kWait = 0.02;
    constexpr double kWithinOneTick = VirtualDisplayManager::kCaptureInterval + kWait + 1e-6;
    for (const EntryPoint& entry : kEntryPoints) {
        SCOPED_TRACE(entry.name);
        PrivacyRig rig;
        testing_support::CurrentServices current(rig.t.services());
        Scene scene(rig);
        WindowManager& m = rig.startSharing();
        std::vector<double> changes;
        const auto changed = [&changes, &rig] {
            changes.push_back(rig.t.scheduler.now());
        };
        QObject::connect(&m, &WindowManager::hiddenBundleIDsChanged, &m, changed);
        QObject::connect(&m, &WindowManager::hiddenWindowsChanged, &m, changed);
        QObject::connect(&m, &WindowManager::shareMasksChanged, &m, changed);
        entry.before(scene);
        rig.run(0.2);
        ASSERT_TRUE(rig.shows({160, 90}, rig.colour(scene.secretWindow)));

        changes.clear();
        rig.runToMidCapture(Await::Screenshot, kWait);
        entry.hide(scene);
        rig.run(1.5);
        ASSERT_FALSE(changes.empty());
        const double hidden = changes.front();
        EXPECT_LE(rig.firstDeliveryAfter(hidden) - hidden, kWithinOneTick);
        EXPECT_TRUE(rig.shows(entry.covered, entry.coveredBy));
        EXPECT_TRUE(rig.leaks.isEmpty()) << rig.leaks.join(QLatin1Char('\n')).toStdString();
        if (entry.check) {
            entry.check(scene);
        }

        if (entry.restore) {
            changes.clear();
            entry.restore(scene);
            rig.run(2.5);
            ASSERT_FALSE(changes.empty());
            const double shown = changes.front();
            EXPECT_LE(rig.firstDeliveryAfter(shown) - shown, kWithinOneTick);
            EXPECT_TRUE(rig.shows({160, 90}, rig.colour(scene.secretWindow)));
        }
    }
}

TEST(SharePrivacy, APauseFreezesOrCoversThePictureWithItsToastUntilTheShareResumes)
{
    using Toast = testing_support::RecordingHUD::Toast;
    const QRgb coverCanvas = qRgb(0x0B, 0x0C, 0x0E);
    for (const auto mode : {WindowManager::PanicMode::Freeze, WindowManager::PanicMode::Cover}) {
        SCOPED_TRACE(WindowManager::rawValue(mode).toStdString());
        PrivacyRig rig;
        Scene scene(rig);
        WindowManager& m = rig.startSharing();
        m.setPanicMode(mode);
        rig.run(0.2);
        const QImage live = rig.lastPicture;

        // Paused while a screenshot is out: that picture is never shown.
        rig.runToMidCapture(Await::Screenshot);
        const int shownWhenPaused = rig.delivered();
        m.togglePanic();
        rig.t.desktop.setWindowBounds(scene.openWindow, {20, 120, 80, 70});
        rig.run(0.5);
        // What the audience sees: the "Veilmox" screen as the window server draws it.
        const auto audience = [&rig] {
            return rig.t.screenCapture.compositor()
                .renderDisplay(*rig.display().virtualScreen()->displayID(), QSize(640, 400))
                .convertToFormat(QImage::Format_RGB32);
        };
        if (mode == WindowManager::PanicMode::Freeze) {
            EXPECT_EQ(rig.delivered(), shownWhenPaused);
            EXPECT_EQ(audience(), live.convertToFormat(QImage::Format_RGB32));
            EXPECT_EQ(rig.hud.toasts, (QList<Toast>{{"Share frozen", true, true, "PRESS ⌃⌥⌘P TO RESUME"}}));
            // Switching the mode while paused switches the picture at once.
            m.setPanicMode(WindowManager::PanicMode::Cover);
            EXPECT_EQ(audience().pixel(2, 2), coverCanvas);
            EXPECT_EQ(rig.lastPicture.pixel(2, 2), coverCanvas);
        } else {
            // "Be right back" for the audience and in the preview, at the display's size.
            EXPECT_EQ(rig.delivered(), shownWhenPaused + 1);
            const QImage shown = audience();
            EXPECT_EQ(shown, rig.lastPicture.convertToFormat(QImage::Format_RGB32));
            EXPECT_EQ(std::tuple(shown.pixel(2, 2), shown.pixel(2, 398)),
                      std::tuple(coverCanvas, coverCanvas));
            EXPECT_EQ(rig.hud.toasts,
                      (QList<Toast>{{"“Be right back” is showing", true, true, "PRESS ⌃⌥⌘P TO RESUME"}}));
        }

        // Live again from the next tick on.
        const int shownBeforeResuming = rig.delivered();
        m.togglePanic();
        rig.run(VirtualDisplayManager::kCaptureInterval + 0.02);
        EXPECT_GT(rig.delivered(), shownBeforeResuming);
        EXPECT_TRUE(rig.shows({60, 155}, rig.colour(scene.openWindow)));
        EXPECT_TRUE(rig.shows({60, 75}, kWallpaper));
        EXPECT_EQ(rig.hud.toasts.last(),
                  (Toast{"Share is live again", true, false, "YOUR CALL SEES YOUR SCREEN"}));
    }
}

TEST(SharePrivacy, AMaskedWindowDraggedWithStartsStopsAndTurnsIsNeverUncovered)
{
    PrivacyRig rig;
    Scene scene(rig);
    const quint32 dragged = rig.addWindow(scene.open, {40, 60, 90, 70}, {QRectF(20, 15, 40, 30)});
    WindowManager& m = rig.startSharing();
    m.addShareMask({QUuid::createUuid(), dragged, kOpen, QRectF(20, 15, 40, 30)});
    rig.run(0.2);

    // Each leg starts while a capture waits for its content, then steps every 5 ms: (dx, dy,
    // steps), a zero step being a pause.
    const std::tuple<double, double, int> legs[] = {
        {2, 0, 40},
        {0, 0, 30},
        {-3, 0, 20},
        {0, 2, 25},
        {0, 0, 7},
        {1.5, -1.5, 30},
        {-2, -1, 10},
        {0, 0, 40},
        {25, 0, 1},
        {0, 0, 20},
        {-25, 10, 1},
        {0, 0, 20},
    };
    const double waits[] = {0.02, 0.012, 0.016};
    QRectF bounds = rig.t.desktop.window(dragged)->bounds;
    int leg = 0;
    const int before = rig.delivered();
    for (const auto& [dx, dy, steps] : legs) {
        rig.runToMidCapture(Await::Content, waits[leg++ % 3]);
        for (int i = 0; i < steps; ++i) {
            bounds.translate(dx, dy);
            rig.t.desktop.setWindowBounds(dragged, bounds);
            rig.run(0.005);
        }
    }
    rig.run(0.2);
    EXPECT_TRUE(rig.leaks.isEmpty()) << rig.leaks.join(QLatin1Char('\n')).toStdString();
    // The motion margin keeps most pictures of a steady drag fit to show.
    const int shown = rig.delivered() - before;
    EXPECT_GT(shown, 2 * rig.display().droppedFrameCount());
    EXPECT_TRUE(rig.shows(bounds.center() - QPointF(5, 0), kMaskFill));
}
