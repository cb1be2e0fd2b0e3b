#include "tests/capture/OverlayFixture.h"

#include <QTest>

#include <cmath>

using platform::CMTime;

namespace {

const QString kA = QStringLiteral("com.example.a");
const QString kB = QStringLiteral("com.example.b");
const QString kC = QStringLiteral("com.example.c");

template <typename Map>
QSet<quint32> keys(const Map& map)
{
    QSet<quint32> result;
    for (const auto& [key, value] : map) {
        result.insert(key);
    }
    return result;
}

// One member of every element, in order.
template <typename T, typename V>
QList<V> each(const QList<T>& list, V T::*member)
{
    QList<V> values;
    for (const T& element : list) {
        values.append(element.*member);
    }
    return values;
}

} // namespace

TEST_F(OverlayFixture,
       OverlaysCoverEveryOnScreenWindowOfAWholeAppAndEachSinglePinnedWindowFollowAndGiveWayToTheFront)
{
    const auto [pidA, a1] = launch(kA);
    // No layer test: a floating window of an app pinned whole gets an overlay too.
    const quint32 a2 = addWindow(pidA, {50, 60, 200, 100}, 3);
    t.desktop.setWindowOnScreen(addWindow(pidA, {300, 300, 200, 200}), false);
    const auto [pidB, b1] = launch(kB, {400, 200, 300, 200});
    addWindow(pidB, {10, 10, 300, 200});

    controller->setPinnedWindowIDs({b1});
    controller->update();
    controller->setPinnedBundleIDs({kA});
    controller->update();
    EXPECT_TRUE(controller->isDiscovering());
    t.scheduler.runPending();
    // Two updates in a row make one discovery at once.
    EXPECT_EQ(t.screenCapture.contentRequestCount(), 1);
    EXPECT_EQ(permissions, std::vector<bool>{true});
    EXPECT_EQ(keys(controller->overlayEntries()), (QSet<quint32>{a1, a2, b1}));
    EXPECT_EQ(controller->appsWithPinnedWindows(), QSet<QString>{kB});

    for (const quint32 window : {a1, a2, b1}) {
        SCOPED_TRACE(window);
        const auto& e = entry(window);
        const QRectF bounds = t.desktop.window(window)->bounds;
        EXPECT_EQ(e.bundleID, window == b1 ? kB : kA);
        EXPECT_EQ(e.panel->pinnedBundleID(), e.bundleID);
        EXPECT_EQ(e.panel->frame(), bounds);
        EXPECT_EQ(std::tuple(e.panel->level(), e.panel->collectionBehavior(), e.panel->sharingType()),
                  std::tuple(1000, 337U, platform::WindowSharingType::ReadOnly));
        // Shadowed, see-through, clickable, never key; with no frontmost app, shown.
        EXPECT_EQ(std::tuple(e.panel->hasShadow(),
                             e.panel->isOpaque(),
                             e.panel->ignoresMouseEvents(),
                             e.panel->canBecomeKeyWindow(),
                             e.panel->isVisible()),
                  std::tuple(true, false, false, false, true));

        const auto& stream = sim(*e.stream);
        EXPECT_TRUE(stream.isRunning());
        EXPECT_EQ(stream.filter().kind(), platform::SCContentFilter::Kind::DesktopIndependentWindow);
        EXPECT_EQ(each(stream.filter().windows(), &platform::SCWindow::windowID), QList<quint32>{window});
        const auto& c = stream.configuration();
        EXPECT_EQ(std::tuple(c.width, c.height, c.minimumFrameInterval, c.queueDepth, c.showsCursor),
                  std::tuple(int(bounds.width() * 2), int(bounds.height() * 2), CMTime{1, 60}, 4, false));
    }

    // Rediscovered every 0.5 s.
    t.scheduler.advance(1.0);
    EXPECT_EQ(t.screenCapture.contentRequestCount(), 3);

    // Moved and resized: one description request places all panels; the capture is resized
    // only when the size changes.
    const int queries = t.desktop.descriptionQueryCount();
    t.desktop.setWindowBounds(a1, {150, 120, 500, 400});
    t.scheduler.advance(0.5);
    EXPECT_EQ(t.desktop.descriptionQueryCount(), queries + 1);
    EXPECT_EQ(t.desktop.window(entry(a1).panel->windowNumber())->bounds, QRectF(150, 120, 500, 400));
    EXPECT_EQ(sim(*entry(a1).stream).configuration().width, 1000);
    EXPECT_EQ(sim(*entry(a1).stream).configurationUpdateCount(), 1);
    EXPECT_EQ(sim(*entry(a2).stream).configurationUpdateCount(), 0);
    t.desktop.setWindowBounds(a1, {10, 20, 500, 400});
    t.scheduler.advance(0.5);
    EXPECT_EQ(entry(a1).panel->frame(), QRectF(10, 20, 500, 400));
    EXPECT_EQ(sim(*entry(a1).stream).configurationUpdateCount(), 1);

    // An activation change places the panels at once; unreadable bounds keep the last frame.
    t.desktop.setWindowBounds(a1, {30, 40, 500, 400});
    t.desktop.overrideDescription(a2, {{platform::kCGWindowBounds, QStringLiteral("bad")}});
    t.desktop.activateApp(pidB);
    EXPECT_EQ(entry(a1).panel->frame(), QRectF(30, 40, 500, 400));
    EXPECT_EQ(entry(a2).panel->frame(), QRectF(50, 60, 200, 100));

    // The frontmost app's overlays hide and slow to one frame a second, not stopping, till it
    // leaves the front. A click on an overlay brings its app forward, whose real windows are then
    // in front.
    const auto state = [this](quint32 window) {
        const auto& e = entry(window);
        return std::tuple(
            e.panel->isVisible(), e.stream->throttled(), sim(*e.stream).configuration().minimumFrameInterval);
    };
    EXPECT_EQ(state(b1), std::tuple(false, true, CMTime{1, 1}));
    EXPECT_EQ(state(a1), std::tuple(true, false, CMTime{1, 60}));
    // A window that keeps changing: a frame at once, then one a second.
    const int sent = sim(*entry(b1).stream).framesSent();
    for (int i = 0; i < 15; ++i) {
        t.desktop.setWindowTitle(b1, QString::number(i));
        t.scheduler.advance(0.1);
    }
    EXPECT_EQ(sim(*entry(b1).stream).framesSent(), sent + 2);
    QTest::mouseClick(entry(a1).view.data(), Qt::LeftButton);
    EXPECT_EQ(t.desktop.frontmostApplication()->processIdentifier(), pidA);
    EXPECT_EQ(state(a1), std::tuple(false, true, CMTime{1, 1}));
    EXPECT_EQ(state(a2), state(a1));
    EXPECT_EQ(state(b1), std::tuple(true, false, CMTime{1, 60}));
    EXPECT_EQ(sim(*entry(b1).stream).configurationUpdateCount(), 2);
    // Nothing happens for an app that no longer runs.
    OverlayPanel(t.services(), kC, {0, 0, 10, 10}).mouseDown();
    EXPECT_EQ(t.desktop.frontmostApplication()->processIdentifier(), pidA);

    // Off screen, closed: gone within one discovery period, panel and stream with them; back
    // with their windows.
    const quint32 panelOfA2 = entry(a2).panel->windowNumber();
    t.desktop.setWindowOnScreen(a1, false);
    t.desktop.removeWindow(a2);
    t.scheduler.advance(0.5);
    EXPECT_EQ(keys(controller->overlayEntries()), QSet<quint32>{b1});
    EXPECT_FALSE(t.desktop.window(panelOfA2).has_value());
    EXPECT_EQ(t.captureStreams.streamCount(), 1);
    t.desktop.setWindowOnScreen(a1, true);
    t.scheduler.advance(0.5);
    EXPECT_EQ(keys(controller->overlayEntries()), (QSet<quint32>{a1, b1}));

    // Unpinning one window takes its overlay at the next discovery.
    pin({kA});
    EXPECT_EQ(keys(controller->overlayEntries()), QSet<quint32>{a1});
    EXPECT_TRUE(controller->appsWithPinnedWindows().isEmpty());

    // Nothing pinned: everything stops at once and discovery ends.
    pin({});
    EXPECT_TRUE(controller->overlayEntries().empty());
    EXPECT_FALSE(controller->isDiscovering());
    EXPECT_FALSE(controller->latestContent().has_value());
    EXPECT_EQ(t.captureStreams.streamCount(), 0);
    const int requests = t.screenCapture.contentRequestCount();
    t.scheduler.advance(3);
    EXPECT_EQ(t.screenCapture.contentRequestCount(), requests);
}

TEST_F(OverlayFixture, ASeeThroughFrontmostAppGetsAPassthroughOnEachDisplayShowingItsPinnedWindows)
{
    platform::sim::SimDesktop::DisplaySpec secondSpec;
    secondSpec.frame = QRectF(900, 0, 800, 500);
    secondSpec.backingScale = 1.0;
    const quint32 second = t.desktop.addDisplay(secondSpec);
    const auto [pidA, a1] = launch(kA);
    pin({kA});

    // Opaque: no passthrough and no build.
    t.desktop.activateApp(pidA);
    t.scheduler.runPending();
    EXPECT_TRUE(controller->passthroughs().empty());

    // Crossing to see-through while frontmost builds one for the display showing the window.
    controller->setTransparency({{kA, 0.4}});
    EXPECT_EQ(controller->passthroughBuildingFor(), kA);
    t.scheduler.runPending();
    EXPECT_FALSE(controller->passthroughBuildingFor().has_value());
    EXPECT_EQ(keys(controller->passthroughs()), QSet<quint32>{t.mainDisplay});
    PassthroughOverlay* p = passthrough(t.mainDisplay);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->bundleID(), kA);
    EXPECT_EQ(p->panel().frame(), QRectF(0, 0, 900, 600));
    // At the overlay level, click-through, without shadow, shown.
    EXPECT_EQ(std::tuple(p->panel().level(), p->panel().ignoresMouseEvents(), p->panel().hasShadow()),
              std::tuple(1000, true, false));
    EXPECT_TRUE(p->panel().isVisible());
    EXPECT_DOUBLE_EQ(p->foreground()->alphaValue(), 0.6);
    EXPECT_TRUE(p->unpinnedWindowIDs.isEmpty());

    // The app alone at 60 frames a second, what lies behind it at 30 (the pictures are checked
    // end to end).
    EXPECT_TRUE(sim(*p->appStream).isRunning());
    EXPECT_EQ(std::pair(sim(*p->appStream).configuration().width,
                        sim(*p->appStream).configuration().minimumFrameInterval),
              std::pair(1800, CMTime{1, 60}));
    EXPECT_TRUE(sim(*p->backgroundStream).isRunning());
    EXPECT_EQ(sim(*p->backgroundStream).configuration().minimumFrameInterval, (CMTime{1, 30}));

    // A pinned window on the second display as well: its passthrough is added.
    const quint32 a2 = addWindow(pidA, {1000, 100, 400, 300});
    t.scheduler.advance(0.5);
    EXPECT_EQ(keys(controller->passthroughs()), (QSet<quint32>{t.mainDisplay, second}));
    EXPECT_EQ(passthrough(t.mainDisplay), p);
    EXPECT_EQ(passthrough(second)->panel().frame(), secondSpec.frame);
    EXPECT_EQ(sim(*passthrough(second)->appStream).configuration().width, 800);

    // Only the first window pinned: the app's other windows are background to both streams.
    pin({}, {a1});
    p = passthrough(t.mainDisplay);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(keys(controller->overlayEntries()), QSet<quint32>{a1});
    EXPECT_EQ(p->unpinnedWindowIDs, QSet<quint32>{a2});
    EXPECT_EQ(each(sim(*p->appStream).filter().windows(), &platform::SCWindow::windowID), QList<quint32>{a2});
    EXPECT_EQ(each(sim(*p->backgroundStream).filter().windows(), &platform::SCWindow::windowID),
              QList<quint32>{a2});
    // A new unpinned window changes both filters once; an unchanged set sends nothing.
    const int appUpdates = sim(*p->appStream).filterUpdateCount();
    const int backgroundUpdates = sim(*p->backgroundStream).filterUpdateCount();
    const quint32 a3 = addWindow(pidA, {200, 400, 300, 150});
    t.scheduler.advance(0.5);
    EXPECT_EQ(p->unpinnedWindowIDs, (QSet<quint32>{a2, a3}));
    EXPECT_EQ(sim(*p->appStream).filterUpdateCount(), appUpdates + 1);
    EXPECT_EQ(sim(*p->backgroundStream).filterUpdateCount(), backgroundUpdates + 1);
    t.scheduler.advance(0.5);
    EXPECT_EQ(sim(*p->appStream).filterUpdateCount(), appUpdates + 1);
}

TEST_F(OverlayFixture, PassthroughsAreKeptForThreeSecondsAfterTheAppLeavesTheFrontAndReplacedByAnotherApps)
{
    // Small pictures: the streams run for several seconds here.
    useMainDisplay(QRectF(0, 0, 600, 400), 1.0);
    const platform::pid_type pidA = launch(kA, {100, 100, 200, 150}).first;
    const platform::pid_type pidB = launch(kB, {200, 200, 200, 150}).first;
    const platform::pid_type pidC = launch(kC, {300, 300, 200, 150}).first;
    controller->setTransparency({{kA, 0.4}});
    pin({kA, kB});
    t.desktop.activateApp(pidA);
    t.scheduler.runPending();
    PassthroughOverlay* p = passthrough(t.mainDisplay);
    ASSERT_NE(p, nullptr);

    // Away and back within 3 s: the same passthrough is shown again, nothing is rebuilt.
    t.desktop.activateApp(pidB);
    EXPECT_FALSE(p->panel().isVisible());
    EXPECT_TRUE(controller->passthroughTeardownPending());
    t.scheduler.advance(2.9);
    const int streams = t.captureStreams.streamCount();
    t.desktop.activateApp(pidA);
    t.scheduler.runPending();
    EXPECT_EQ(passthrough(t.mainDisplay), p);
    EXPECT_TRUE(p->panel().isVisible());
    EXPECT_FALSE(controller->passthroughTeardownPending());
    EXPECT_EQ(t.captureStreams.streamCount(), streams);

    // A pending teardown is not re-armed by later changes: it ends 3 s after the first, leaving
    // the two overlays' streams.
    t.desktop.activateApp(pidB);
    t.scheduler.advance(2.0);
    t.desktop.activateApp(pidC);
    EXPECT_EQ(controller->passthroughs().size(), 1U);
    t.scheduler.advance(1.0);
    EXPECT_TRUE(controller->passthroughs().empty());
    EXPECT_EQ(t.captureStreams.streamCount(), 2);

    // Back after that: rebuilt.
    t.desktop.activateApp(pidA);
    t.scheduler.runPending();
    ASSERT_NE(passthrough(t.mainDisplay), nullptr);
    EXPECT_TRUE(passthrough(t.mainDisplay)->panel().isVisible());
    EXPECT_EQ(t.captureStreams.runningStreamCount(), 4);

    // Another see-through app in front replaces them.
    controller->setTransparency({{kA, 0.4}, {kB, 0.2}});
    t.desktop.activateApp(pidB);
    t.scheduler.runPending();
    ASSERT_NE(passthrough(t.mainDisplay), nullptr);
    EXPECT_EQ(passthrough(t.mainDisplay)->bundleID(), kB);
    EXPECT_DOUBLE_EQ(passthrough(t.mainDisplay)->foreground()->alphaValue(), 0.8);

    // A screen change closes them at once; the next discovery builds them again.
    platform::sim::SimDesktop::DisplaySpec setup;
    setup.frame = QRectF(600, 0, 800, 500);
    t.desktop.addDisplay(setup);
    EXPECT_TRUE(controller->passthroughs().empty());
    t.scheduler.runPending();
    EXPECT_EQ(keys(controller->passthroughs()), QSet<quint32>{t.mainDisplay});
}

// A see-through app pinned whole with a window across two displays, frontmost, whose passthrough
// build is waiting for the system's answer.
class PassthroughBuildInFlight : public OverlayFixture
{
protected:
    void SetUp() override
    {
        OverlayFixture::SetUp();
        platform::sim::SimDesktop::DisplaySpec setup;
        setup.frame = QRectF(900, 0, 800, 500);
        second = t.desktop.addDisplay(setup);
        const platform::pid_type pidA = launch(kA, {600, 100, 800, 400}).first;
        controller->setTransparency({{kA, 0.4}});
        t.screenCapture.setResponseDelay(0.2);
        pin({kA});
        t.scheduler.advance(0.2);
        ASSERT_EQ(controller->overlayEntries().size(), 1U);
        t.desktop.activateApp(pidA);
        t.scheduler.runPending();
        ASSERT_EQ(controller->passthroughBuildingFor(), kA);
    }

    quint32 second = 0;
};

TEST_F(PassthroughBuildInFlight, UnpinningEverythingDropsIt)
{
    pin({});
    EXPECT_FALSE(controller->passthroughBuildingFor().has_value());
    t.scheduler.advance(1.0);
    EXPECT_TRUE(controller->passthroughs().empty());
    EXPECT_EQ(t.captureStreams.streamCount(), 0);
    for (const quint32 number : t.desktop.windowOrder()) {
        EXPECT_NE(t.desktop.window(number)->owner, t.desktop.ownProcessIdentifier());
    }
}

TEST_F(PassthroughBuildInFlight, AScreenChangeDropsItAndRebuildsForTheDisplaysLeft)
{
    // The build's answer, taken before the change, comes back before the next discovery's.
    t.screenCapture.setResponseDelay(0.5);
    t.desktop.removeDisplay(second);
    EXPECT_FALSE(controller->passthroughBuildingFor().has_value());
    t.scheduler.advance(0.25);
    EXPECT_TRUE(controller->passthroughs().empty());
    t.scheduler.advance(1.0);
    EXPECT_EQ(keys(controller->passthroughs()), QSet<quint32>{t.mainDisplay});
}

TEST_F(OverlayFixture, DestroyingTheControllerReleasesStreamsPanelsAndWaitingDeliveries)
{
    const platform::pid_type pidA = launch(kA).first;
    const quint32 b1 = launch(kB).second;
    controller->setTransparency({{kA, 0.4}});
    pin({kA}, {b1});
    t.desktop.activateApp(pidA);
    t.scheduler.advance(0.1);
    ASSERT_EQ(controller->passthroughs().size(), 1U);
    for (const auto& [number, e] : controller->overlayEntries()) {
        e.stream->queue().sync([] {});
    }
    ASSERT_GT(t.mainQueue.pendingCount(), 0U);

    controller.reset();
    EXPECT_EQ(t.captureStreams.streamCount(), 0);
    for (const quint32 number : t.desktop.windowOrder()) {
        EXPECT_NE(t.desktop.window(number)->owner, t.desktop.ownProcessIdentifier());
    }
    // The waiting deliveries find nothing to deliver to.
    t.mainQueue.runPending();
    t.scheduler.advance(5);
}

TEST_F(OverlayFixture, TransparencyChangesRedrawOrReconcileWhenAnAppCrossesZero)
{
    struct Case
    {
        const char* name;
        QMap<QString, double> from, to;
        bool reconciles;
        double stored, alpha;
    };
    const Case cases[] = {
        {"0.3 to 0.5", {{kA, 0.3}}, {{kA, 0.5}}, false, 0.5, 0.5},
        {"0.9 is kept at 0.85", {{kA, 0.3}}, {{kA, 0.9}}, false, 0.85, 0.15},
        {"0 to 0.3", {}, {{kA, 0.3}}, true, 0.3, 0.7},
        {"0.3 to 0", {{kA, 0.3}}, {{kA, 0.0}}, true, 0, 1.0},
        {"-0.2 is kept at 0", {{kA, 0.3}}, {{kA, -0.2}}, true, 0, 1.0},
        {"not a number is 0", {{kA, 0.3}}, {{kA, NAN}}, true, 0, 1.0},
        {"a see-through app removed", {{kA, 0.3}}, {}, true, 0, 1.0},
        {"another app crossing", {{kA, 0.3}}, {{kA, 0.3}, {kB, 0.2}}, true, 0.3, 0.7},
    };
    const quint32 window = launch(kA).second;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controller = std::make_unique<SCOverlayController>(t.services());
        controller->setTransparency(c.from);
        pin({kA});
        const int queries = t.desktop.descriptionQueryCount();
        controller->setTransparency(c.to);
        EXPECT_EQ(t.desktop.descriptionQueryCount() - queries, c.reconciles ? 1 : 0);
        EXPECT_DOUBLE_EQ(controller->pinnedTransparency().value(kA, 0.0), c.stored);
        EXPECT_DOUBLE_EQ(entry(window).view->alphaValue(), c.alpha);
    }
}

TEST_F(OverlayFixture, DiscoveryReportsThePermissionFromItsErrorTextsAndKeepsTheOverlays)
{
    // (The words that name the permission are the virtual display's too, and checked there.)
    const std::pair<QString, bool> cases[] = {
        {QStringLiteral("The user declined TCCs for application, window, display capture"), true},
        {QStringLiteral("The operation timed out"), false},
    };
    const quint32 window = launch(kA).second;
    pin({kA});
    for (const auto& [text, reportsMissing] : cases) {
        SCOPED_TRACE(text.toStdString());
        permissions.clear();
        t.screenCapture.failNextContentRequest({-1, text});
        t.scheduler.advance(0.5);
        EXPECT_EQ(permissions, reportsMissing ? std::vector<bool>{false} : std::vector<bool>{});
        // Nothing is torn down; the next tick tries again and reports success.
        EXPECT_EQ(keys(controller->overlayEntries()), QSet<quint32>{window});
        EXPECT_TRUE(controller->latestContent().has_value());
        t.scheduler.advance(0.5);
        EXPECT_EQ(permissions.back(), true);
    }

    // A slow answer: ticks that come meanwhile are skipped, not queued.
    t.screenCapture.setResponseDelay(1.2);
    const int requests = t.screenCapture.contentRequestCount();
    t.scheduler.advance(1.4);
    EXPECT_EQ(t.screenCapture.contentRequestCount(), requests + 1);
}
