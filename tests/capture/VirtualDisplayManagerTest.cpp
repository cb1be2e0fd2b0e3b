#include "capture/ImageView.h"
#include "platform/VirtualDisplay.h"
#include "tests/capture/VirtualDisplayFixture.h"

using platform::sim::SimDesktop;
using Status = VirtualDisplayRig::Status;

namespace {

QString waiting(int n)
{
    return QString::fromUtf8("Waiting for virtual display to register\u2026 (%1/5)").arg(n);
}

} // namespace

TEST(VirtualDisplayManager, DescribesTheDisplayFromTheSourceScreen)
{
    struct Case
    {
        QRectF frame;
        double scale;
        quint32 pixelsWide, pixelsHigh;
        bool hiDPI;
    };
    const Case cases[] = {
        {{0, 0, 1512, 982}, 2.0, 3024, 1964, true},
        {{0, 0, 1920, 1080}, 1.0, 1920, 1080, false},
        {{0, 0, 1440.6, 900.9}, 1.5, 2160, 1350, true},
    };
    using Mode = std::tuple<quint32, quint32, double>;
    for (const Case& c : cases) {
        VirtualDisplayRig r(c.frame, c.scale);
        r.manager->start();
        const auto records = r.system.virtualDisplays.displays();
        ASSERT_EQ(records.size(), 1);
        const auto& d = records.front().descriptor;
        EXPECT_EQ(std::tuple(d.name, d.maxPixelsWide, d.maxPixelsHigh, d.sizeInMillimeters),
                  std::tuple(QStringLiteral("Veilmox"), c.pixelsWide, c.pixelsHigh, QSizeF(600, 340)));
        EXPECT_EQ(std::tuple(d.serialNum, d.vendorID, d.productID), std::tuple(12345U, 0xCAFEU, 0xBEEFU));
        QList<Mode> modes;
        for (const auto& mode : records.front().settings->modes) {
            modes.append({mode.width, mode.height, mode.refreshRate});
        }
        EXPECT_EQ(modes,
                  (QList<Mode>{{quint32(c.frame.width()), quint32(c.frame.height()), 30.0},
                               {c.pixelsWide, c.pixelsHigh, 30.0}}));
        EXPECT_EQ(records.front().settings->hiDPI, c.hiDPI);
        EXPECT_EQ(r.manager->virtualDisplay()->displayID(), records.front().displayID);
    }
}

TEST_F(VirtualDisplayFixture, ReadyAtTheFirstCheckWithTheMirrorOverTheWholeVirtualScreen)
{
    manager->start();
    manager->start(); // only says that it runs
    EXPECT_EQ(manager->mainDisplayID, system.mainDisplay);
    EXPECT_EQ(system.virtualDisplays.displays().size(), 1);
    system.scheduler.advance(1.49);
    EXPECT_EQ(manager->mirrorWindow(), nullptr);
    system.scheduler.advance(0.01);
    EXPECT_EQ(statuses,
              (std::vector<Status>{{0, kCreating, false},
                                   {0, QStringLiteral("Virtual display is already running."), false},
                                   {1.5, kReady, false}}));

    const auto screen = manager->virtualScreen();
    ASSERT_TRUE(screen);
    EXPECT_EQ(std::tuple(screen->localizedName, screen->frame.size(), screen->backingScaleFactor),
              std::tuple(QStringLiteral("Veilmox"), QSizeF(1512, 982), 2.0));

    // The mirror: a click-through, opaque, shadowless window at the status level over the whole
    // screen, the menu-bar area included.
    platform::Window* mirror = manager->mirrorWindow();
    EXPECT_EQ(
        std::tuple(mirror->frame(), mirror->level(), mirror->sharingType(), mirror->collectionBehavior()),
        std::tuple(screen->frame, 25, platform::WindowSharingType::ReadOnly, 81U));
    EXPECT_EQ(std::tuple(mirror->ignoresMouseEvents(), mirror->isOpaque(), mirror->hasShadow()),
              std::tuple(true, true, false));
    EXPECT_EQ(manager->imageView()->imageScaling(), ImageView::ImageScaling::ProportionallyUpOrDown);
    EXPECT_TRUE(system.desktop.isWindowOnScreen(mirror->windowNumber()));
    EXPECT_TRUE(manager->isCapturing());
}

TEST(VirtualDisplayManager, LateRegistrationIsWaitedForAndTheSixthFailedCheckGivesUp)
{
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "late");
        VirtualDisplayRig r;
        refused ? r.system.virtualDisplays.setRefusesRegistration(true)
                : r.system.virtualDisplays.setRegistrationDelay(3.2);
        r.manager->start();
        r.system.scheduler.advance(7);

        std::vector<Status> expected{{0, kCreating, false}};
        for (int n = 1; n <= (refused ? 5 : 2); ++n) {
            expected.push_back({0.5 + n, waiting(n), false});
        }
        expected.push_back(
            refused ? Status{6.5,
                             QStringLiteral("Virtual display did not register after 5 attempts. Try again."),
                             true}
                    : Status{3.5, kReady, false});
        EXPECT_EQ(r.statuses, expected);
        EXPECT_EQ(r.closeTimes, refused ? std::vector<double>{6.5} : std::vector<double>{});
        EXPECT_EQ(r.manager->mirrorWindow() != nullptr, !refused);
        if (refused) {
            EXPECT_EQ(r.frames, std::vector<std::optional<QImage>>{std::nullopt});
            EXPECT_EQ(r.manager->virtualDisplay(), nullptr);
            EXPECT_FALSE(r.manager->mainDisplayID);
            EXPECT_TRUE(r.system.virtualDisplays.displays().isEmpty());
        }
    }
}

TEST(VirtualDisplayManager, EachFailureToPublishReportsAndLeavesNothing)
{
    using Arrange = std::function<void(testing_support::TestDesktop&)>;
    const std::tuple<const char*, Arrange, bool> cases[] = {
        {"No display found.", [](auto& d) { d.desktop.removeDisplay(d.mainDisplay); }, false},
        {"Failed to create virtual display.",
         [](auto& d) { d.virtualDisplays.setCreationFails(true); },
         true},
        {"Failed to create virtual display modes.",
         [](auto& d) { d.virtualDisplays.setModeCreationFails(true); },
         true},
        {"Failed to configure virtual display.",
         [](auto& d) { d.virtualDisplays.setSettingsFail(true); },
         true},
    };
    for (const auto& [text, arrange, keepsMainDisplay] : cases) {
        SCOPED_TRACE(text);
        VirtualDisplayRig r;
        arrange(r.system);
        r.manager->start();
        r.system.scheduler.advance(20);
        EXPECT_EQ(r.statuses, (std::vector<Status>{{0, QString::fromUtf8(text), true}}));
        EXPECT_EQ(r.manager->virtualDisplay(), nullptr);
        EXPECT_TRUE(r.system.virtualDisplays.displays().isEmpty());
        EXPECT_EQ(r.system.desktop.screens().size(), keepsMainDisplay ? 1 : 0);
        EXPECT_EQ(r.manager->mainDisplayID.has_value(), keepsMainDisplay);
    }
}

TEST_F(VirtualDisplayFixture, RegistrationChecksEndWithTheDisplay)
{
    // Stopped before the first check.
    manager->start();
    manager->stop();
    system.scheduler.advance(10);
    EXPECT_EQ(statusTexts(), QStringList{kCreating});

    // Stopped while waiting: the 1.0 s retries also give up once the display is gone, instead of
    // counting on and finally reporting a failure for a display nobody wants any more.
    statuses.clear();
    system.virtualDisplays.setRefusesRegistration(true);
    manager->start();
    system.scheduler.advance(2.6);
    EXPECT_EQ(statusTexts(), (QStringList{kCreating, waiting(1), waiting(2)}));
    manager->stop();
    system.scheduler.advance(20);
    EXPECT_EQ(statuses.size(), 3U);
    EXPECT_TRUE(closeTimes.empty());
    EXPECT_EQ(manager->retryCount(), 0);
}

TEST(VirtualDisplayManager, EveryEndRemovesTheDisplayAndTellsTheOwnerOnALaterTurn)
{
    // (how it ends, close reports): once for the termination and once more for the mirror window
    // that closed with it.
    const std::pair<std::function<void(VirtualDisplayRig&)>, size_t> cases[] = {
        {[](auto& r) { r.system.virtualDisplays.terminate(r.manager->virtualDisplay()->displayID()); }, 2},
        {[](auto& r) { r.manager->mirrorWindow()->close(); }, 1},
        {[](auto& r) { r.manager->stop(); }, 1},
    };
    for (const auto& [end, closes] : cases) {
        VirtualDisplayRig r;
        r.startReady();
        const quint32 mirror = r.manager->mirrorWindow()->windowNumber();
        end(r);
        EXPECT_TRUE(r.closeTimes.empty());
        r.system.scheduler.runPending();
        EXPECT_EQ(r.closeTimes.size(), closes);
        EXPECT_EQ(r.manager->virtualDisplay(), nullptr);
        EXPECT_EQ(r.manager->mirrorWindow(), nullptr);
        EXPECT_FALSE(r.manager->isCapturing());
        EXPECT_FALSE(r.frames.back());
        EXPECT_FALSE(r.system.desktop.window(mirror));
        EXPECT_EQ(r.system.desktop.screens().size(), 1);
    }

    // An owner that drops its manager right after stopping it hears nothing more.
    VirtualDisplayRig r;
    r.startReady();
    r.manager->stop();
    r.manager.reset();
    r.system.scheduler.advance(1);
    EXPECT_TRUE(r.closeTimes.empty());
}
