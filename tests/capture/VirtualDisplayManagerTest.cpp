#include "capture/ImageView.h"
#include "platform/VirtualDisplay.h"
#include "platform/WindowServer.h"
#include "tests/capture/VirtualDisplayFixture.h"

using platform::sim::SimDesktop;

namespace {

const QString kReady =
    QString::fromUtf8("Virtual display ready \u2014 in Google Meet, share the \"Veilmox\" screen.");
const QString kCreating = QString::fromUtf8("Creating virtual display\u2026");

QString waiting(int n)
{
    return QString::fromUtf8("Waiting for virtual display to register\u2026 (%1/5)").arg(n);
}

} // namespace

TEST_F(VirtualDisplayFixture, DescribesTheDisplayFromTheSourceScreen)
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
    for (const Case& c : cases) {
        testing_support::TestDesktop desktop;
        desktop.desktop.removeDisplay(desktop.mainDisplay);
        SimDesktop::DisplaySpec setup;
        setup.frame = c.frame;
        setup.backingScale = c.scale;
        desktop.desktop.addDisplay(setup);
        VirtualDisplayManager target(desktop.services());
        target.start();

        const auto records = desktop.virtualDisplays.displays();
        ASSERT_EQ(records.size(), 1);
        const auto& d = records.front().descriptor;
        EXPECT_EQ(d.name, QStringLiteral("Veilmox"));
        EXPECT_EQ(d.maxPixelsWide, c.pixelsWide);
        EXPECT_EQ(d.maxPixelsHigh, c.pixelsHigh);
        EXPECT_EQ(d.sizeInMillimeters, QSizeF(600, 340));
        EXPECT_EQ(d.serialNum, 12345U);
        EXPECT_EQ(d.vendorID, 0xCAFEU);
        EXPECT_EQ(d.productID, 0xBEEFU);
        const auto& settings = *records.front().settings;
        ASSERT_EQ(settings.modes.size(), 2);
        EXPECT_EQ(settings.modes[0].width, static_cast<quint32>(c.frame.width()));
        EXPECT_EQ(settings.modes[0].height, static_cast<quint32>(c.frame.height()));
        EXPECT_EQ(settings.modes[1].width, c.pixelsWide);
        EXPECT_EQ(settings.modes[1].height, c.pixelsHigh);
        EXPECT_EQ(settings.modes[0].refreshRate, 30.0);
        EXPECT_EQ(settings.modes[1].refreshRate, 30.0);
        EXPECT_EQ(settings.hiDPI, c.hiDPI);
        EXPECT_EQ(target.virtualDisplay()->displayID(), records.front().displayID);
    }
}

TEST_F(VirtualDisplayFixture, ReadyAtTheFirstCheckWithTheMirrorOverTheWholeVirtualScreen)
{
    manager->start();
    EXPECT_EQ(manager->mainDisplayID, system.mainDisplay);
    system.scheduler.advance(1.49);
    EXPECT_EQ(manager->mirrorWindow(), nullptr);
    system.scheduler.advance(0.01);

    ASSERT_EQ(statuses.size(), 2U);
    EXPECT_EQ(statuses[0].text, kCreating);
    EXPECT_FALSE(statuses[0].isError);
    EXPECT_EQ(statuses[1].text, kReady);
    EXPECT_FALSE(statuses[1].isError);
    EXPECT_DOUBLE_EQ(statuses[1].time, 1.5);

    const auto screen = manager->virtualScreen();
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->localizedName, QStringLiteral("Veilmox"));
    EXPECT_EQ(screen->frame.size(), QSizeF(1512, 982));
    EXPECT_EQ(screen->backingScaleFactor, 2.0);

    platform::Window* mirror = manager->mirrorWindow();
    EXPECT_EQ(mirror->frame(), screen->frame); // menu-bar area included
    EXPECT_EQ(mirror->level(), 25);
    EXPECT_EQ(mirror->sharingType(), platform::WindowSharingType::ReadOnly);
    EXPECT_TRUE(mirror->ignoresMouseEvents());
    EXPECT_EQ(mirror->collectionBehavior(), 81U);
    EXPECT_TRUE(mirror->isVisible());
    EXPECT_TRUE(mirror->isOpaque());
    EXPECT_FALSE(mirror->hasShadow());
    ASSERT_NE(manager->imageView(), nullptr);
    EXPECT_EQ(manager->imageView()->imageScaling(), ImageView::ImageScaling::ProportionallyUpOrDown);

    // The window server lists it as this program's window at the status level.
    const auto listed = system.desktop.window(mirror->windowNumber());
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->owner, system.desktop.ownProcessIdentifier());
    EXPECT_EQ(listed->layer, 25);
    EXPECT_EQ(listed->bounds, screen->frame);
    EXPECT_TRUE(system.desktop.isWindowOnScreen(mirror->windowNumber()));
    EXPECT_TRUE(manager->isCapturing());
}

TEST_F(VirtualDisplayFixture, LateRegistrationIsWaitedFor)
{
    system.virtualDisplays.setRegistrationDelay(3.2);
    manager->start();
    system.scheduler.advance(3.5);

    ASSERT_EQ(statuses.size(), 4U);
    EXPECT_EQ(statuses[1].text, waiting(1));
    EXPECT_DOUBLE_EQ(statuses[1].time, 1.5);
    EXPECT_EQ(statuses[2].text, waiting(2));
    EXPECT_DOUBLE_EQ(statuses[2].time, 2.5);
    EXPECT_EQ(statuses[3].text, kReady);
    EXPECT_DOUBLE_EQ(statuses[3].time, 3.5);
    EXPECT_NE(manager->mirrorWindow(), nullptr);
    EXPECT_TRUE(closeTimes.empty());
}

TEST_F(VirtualDisplayFixture, GivesUpAtTheSixthFailedCheck)
{
    system.virtualDisplays.setRefusesRegistration(true);
    manager->start();
    system.scheduler.advance(20);

    ASSERT_EQ(statuses.size(), 7U);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(statuses[n].text, waiting(n));
        EXPECT_FALSE(statuses[n].isError);
        EXPECT_DOUBLE_EQ(statuses[n].time, 0.5 + n);
    }
    EXPECT_EQ(statuses[6].text,
              QStringLiteral("Virtual display did not register after 5 attempts. Try again."));
    EXPECT_TRUE(statuses[6].isError);
    EXPECT_DOUBLE_EQ(statuses[6].time, 6.5);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_FALSE(frames[0]);
    EXPECT_EQ(closeTimes, std::vector<double>{6.5});
    EXPECT_EQ(manager->virtualDisplay(), nullptr);
    EXPECT_FALSE(manager->mainDisplayID);
    EXPECT_TRUE(system.virtualDisplays.displays().isEmpty());
}

TEST_F(VirtualDisplayFixture, EachFailureToPublishReportsAndLeavesNothing)
{
    struct Case
    {
        const char* text;
        std::function<void(testing_support::TestDesktop&)> arrange;
        bool keepsMainDisplay;
    };
    const Case cases[] = {
        {"No display found.",
         [](testing_support::TestDesktop& d) { d.desktop.removeDisplay(d.mainDisplay); },
         false},
        {"Failed to create virtual display.",
         [](testing_support::TestDesktop& d) { d.virtualDisplays.setCreationFails(true); },
         true},
        {"Failed to create virtual display modes.",
         [](testing_support::TestDesktop& d) { d.virtualDisplays.setModeCreationFails(true); },
         true},
        {"Failed to configure virtual display.",
         [](testing_support::TestDesktop& d) { d.virtualDisplays.setSettingsFail(true); },
         true},
    };
    for (const Case& c : cases) {
        testing_support::TestDesktop desktop;
        c.arrange(desktop);
        std::vector<Status> seen;
        VirtualDisplayManager target(desktop.services());
        target.statusHandler = [&](const QString& text, bool isError) {
            seen.push_back({0, text, isError});
        };
        target.start();
        desktop.scheduler.advance(20);

        ASSERT_EQ(seen.size(), 1U) << c.text;
        EXPECT_EQ(seen[0].text, QString::fromUtf8(c.text));
        EXPECT_TRUE(seen[0].isError);
        EXPECT_EQ(target.virtualDisplay(), nullptr);
        EXPECT_TRUE(desktop.virtualDisplays.displays().isEmpty()) << c.text;
        EXPECT_EQ(desktop.desktop.screens().size(), c.keepsMainDisplay ? 1 : 0);
        EXPECT_EQ(target.mainDisplayID.has_value(), c.keepsMainDisplay) << c.text;
    }
}

TEST_F(VirtualDisplayFixture, StartingAgainOnlyReportsThatItRuns)
{
    manager->start();
    manager->start();
    ASSERT_EQ(statuses.size(), 2U);
    EXPECT_EQ(statuses[1].text, QStringLiteral("Virtual display is already running."));
    EXPECT_FALSE(statuses[1].isError);
    EXPECT_EQ(system.virtualDisplays.displays().size(), 1);
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

TEST_F(VirtualDisplayFixture, ChoosesTheSourceScreen)
{
    SimDesktop::DisplaySpec second;
    second.frame = QRectF(1512, 0, 1920, 1080);
    second.backingScale = 1.0;
    const quint32 secondID = system.desktop.addDisplay(second);
    SimDesktop::DisplaySpec unnumbered;
    unnumbered.frame = QRectF(-800, 0, 800, 600);
    unnumbered.hasScreenNumber = false;
    system.desktop.addDisplay(unnumbered);

    EXPECT_EQ(manager->sourceScreen()->displayID(), system.mainDisplay);
    manager->sourceDisplayID = secondID;
    EXPECT_EQ(manager->sourceScreen()->displayID(), secondID);
    manager->sourceDisplayID = 999;
    EXPECT_EQ(manager->sourceScreen()->displayID(), system.mainDisplay);

    manager->sourceDisplayID = secondID;
    startReady();
    EXPECT_EQ(manager->mainDisplayID, secondID);
    EXPECT_EQ(manager->virtualScreen()->frame.size(), QSizeF(1920, 1080));
    EXPECT_EQ(manager->virtualScreen()->backingScaleFactor, 1.0);
    // The virtual screen is never a candidate, even when chosen.
    manager->sourceDisplayID = manager->virtualDisplay()->displayID();
    EXPECT_EQ(manager->sourceScreen()->displayID(), system.mainDisplay);

    // With no screen carrying an identifier there is nothing to mirror.
    manager->stop();
    VirtualDisplayManager other(system.services());
    system.desktop.removeDisplay(system.mainDisplay);
    system.desktop.removeDisplay(secondID);
    EXPECT_FALSE(other.sourceScreen());
    EXPECT_FALSE(other.sourceSize());
}

TEST_F(VirtualDisplayFixture, SourceSizeFollowsTheMirroredDisplay)
{
    SimDesktop::DisplaySpec second;
    second.frame = QRectF(1512, 0, 1920, 1080);
    const quint32 secondID = system.desktop.addDisplay(second);
    EXPECT_EQ(manager->sourceSize(), QSizeF(1512, 982));
    manager->mainDisplayID = secondID;
    EXPECT_EQ(manager->sourceSize(), QSizeF(1920, 1080));
    manager->mainDisplayID = 999;
    EXPECT_EQ(manager->sourceSize(), QSizeF(1512, 982));
}

TEST_F(VirtualDisplayFixture, TheDisplayEndingOnItsOwnStopsAndTellsTheOwner)
{
    startReady();
    const quint32 virtualID = manager->virtualDisplay()->displayID();
    system.virtualDisplays.terminate(virtualID);
    system.scheduler.runPending();

    EXPECT_EQ(manager->virtualDisplay(), nullptr);
    EXPECT_EQ(manager->mirrorWindow(), nullptr);
    EXPECT_FALSE(manager->isCapturing());
    EXPECT_FALSE(frames.back());
    // Once for the termination and once more for the mirror window that closed with it.
    EXPECT_EQ(closeTimes.size(), 2U);
    EXPECT_EQ(system.desktop.screens().size(), 1);
}

TEST_F(VirtualDisplayFixture, ClosingTheMirrorWindowEndsTheDisplayOnALaterTurn)
{
    startReady();
    const quint32 number = manager->mirrorWindow()->windowNumber();
    manager->mirrorWindow()->close();
    EXPECT_TRUE(closeTimes.empty());
    system.scheduler.runPending();
    EXPECT_EQ(closeTimes.size(), 1U);
    EXPECT_EQ(manager->virtualDisplay(), nullptr);
    EXPECT_FALSE(system.desktop.window(number));
    EXPECT_EQ(system.desktop.screens().size(), 1);
}

TEST_F(VirtualDisplayFixture, TheOwnersStopIsEchoedOnlyWhileTheManagerLives)
{
    startReady();
    manager->stop();
    EXPECT_TRUE(closeTimes.empty());
    EXPECT_FALSE(frames.back());
    EXPECT_EQ(system.desktop.screens().size(), 1);
    system.scheduler.runPending();
    EXPECT_EQ(closeTimes.size(), 1U);

    // An owner that drops its manager right after stopping it hears nothing more.
    auto second = std::make_unique<VirtualDisplayManager>(system.services());
    install(*second);
    second->start();
    system.scheduler.advance(1.5);
    ASSERT_NE(second->mirrorWindow(), nullptr);
    second->stop();
    second.reset();
    system.scheduler.advance(1);
    EXPECT_EQ(closeTimes.size(), 1U);
}

TEST(VirtualDisplayOutput, CoversAreEqualOnlyWhenTheyAreTheSameImage)
{
    QImage cover(4, 4, QImage::Format_ARGB32_Premultiplied);
    cover.fill(Qt::red);
    QImage lookalike(4, 4, QImage::Format_ARGB32_Premultiplied);
    lookalike.fill(Qt::red);
    using Output = VirtualDisplayManager::Output;
    EXPECT_EQ(Output::live(), Output::live());
    EXPECT_EQ(Output::frozen(), Output::frozen());
    EXPECT_FALSE(Output::live() == Output::frozen());
    EXPECT_EQ(Output::covered(cover), Output::covered(cover));
    EXPECT_FALSE(Output::covered(cover) == Output::covered(lookalike));
    EXPECT_FALSE(Output::covered(cover) == Output::frozen());
}
