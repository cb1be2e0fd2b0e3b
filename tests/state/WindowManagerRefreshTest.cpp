#include "capture/SCOverlayController.h"
#include "platform/Values.h"
#include "platform/sim/DemoDesktop.h"
#include "tests/state/StateFixture.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>

using platform::sim::SimDesktop;
using testing_support::StateFixture;

namespace {

const QString kA = QStringLiteral("com.example.A");
const QString kB = QStringLiteral("com.example.B");

// One text member of each item, in order.
template <typename T>
QStringList texts(const QList<T>& items, QString T::*member)
{
    QStringList result;
    for (const T& item : items) {
        result.append(item.*member);
    }
    return result;
}

} // namespace

using WindowManagerRefresh = testing_support::StateTest;

TEST_F(WindowManagerRefresh, ListsOnlyQualifyingWindows)
{
    struct Case
    {
        const char* name; // also the window's title
        std::function<void(SimDesktop::WindowSpec&)> setup;
        QVariantMap overrides;
        std::optional<QString> listedTitle;
    };
    const Case cases[] = {
        {"plain", {}, {}, QStringLiteral("plain")},
        {"59.5 points wide", [](auto& w) { w.bounds = QRectF(0, 0, 59.5, 400); }, {}, std::nullopt},
        {"60 by 60", [](auto& w) { w.bounds = QRectF(0, 0, 60, 60); }, {}, QStringLiteral("60 by 60")},
        {"alpha 0", [](auto& w) { w.alpha = 0.0; }, {}, std::nullopt},
        {"no alpha entry", [](auto& w) { w.alpha.reset(); }, {}, QStringLiteral("no alpha entry")},
        {"layer 25", [](auto& w) { w.layer = 25; }, {}, std::nullopt},
        {"layer as a fraction", {}, {{platform::kCGWindowLayer, 0.0}}, std::nullopt},
        {"off screen", [](auto& w) { w.onScreen = false; }, {}, std::nullopt},
        {"no name", [](auto& w) { w.title.reset(); }, {}, QString()},
        {"name padded", [](auto& w) { w.title = QStringLiteral("  Doc\n"); }, {}, QStringLiteral("Doc")},
        {"number as text", {}, {{platform::kCGWindowNumber, QStringLiteral("5")}}, std::nullopt},
        {"no bounds", {}, {{platform::kCGWindowBounds, QVariant()}}, std::nullopt},
        {"bounds not finite",
         {},
         {{platform::kCGWindowBounds, QVariantMap{{"X", 0}, {"Y", 0}, {"Width", NAN}, {"Height", 90}}}},
         std::nullopt},
    };
    StateFixture f;
    const auto owner = f.t.desktop.launchApp(kA, QStringLiteral("A"));
    QList<WindowInfo> listed;
    for (const Case& c : cases) {
        SimDesktop::WindowSpec window;
        window.owner = owner;
        window.title = QString::fromUtf8(c.name);
        if (c.setup) {
            c.setup(window);
        }
        const quint32 number = f.t.desktop.addWindow(window);
        f.t.desktop.overrideDescription(number, c.overrides);
        if (c.listedTitle) {
            listed.append({number, kA, *c.listedTitle});
        }
    }
    EXPECT_EQ(f.start().windowsByApp().value(kA), listed);
}

TEST_F(WindowManagerRefresh, AppsAndOwnersThatAreNotListed)
{
    auto& d = t.desktop;
    d.addWindow(d.ownProcessIdentifier(), QStringLiteral("Own"), QRectF(0, 0, 1000, 800));
    SimDesktop::AppSpec accessory;
    accessory.bundleID = QStringLiteral("com.example.helper");
    accessory.name = QStringLiteral("Helper");
    accessory.policy = platform::ActivationPolicy::Accessory;
    d.addWindow(d.launchApp(accessory), QStringLiteral("Helper"));
    SimDesktop::AppSpec unnamed;
    unnamed.bundleID = QStringLiteral("com.example.unnamed");
    d.addWindow(d.launchApp(unnamed), QStringLiteral("Unnamed"));
    d.addWindow(d.launchApp(SimDesktop::AppSpec{}), QStringLiteral("No bundle"));
    d.addWindow(d.launchApp(QStringLiteral("com.apple.finder"), QStringLiteral("Finder")),
                QStringLiteral("Home"));
    const auto charlie = d.launchApp(QStringLiteral("c"), QStringLiteral("Charlie"));
    d.launchApp(QStringLiteral("a"), QStringLiteral("alpha"));
    d.launchApp(QStringLiteral("b"), QStringLiteral("Beta"));
    d.addWindow(charlie, QStringLiteral("second"));
    d.addWindow(charlie, QStringLiteral("first"), QRectF(0, 0, 100, 100));

    const WindowManager& m = start();
    EXPECT_EQ(texts(m.runningApps(), &AppInfo::name), (QStringList{"alpha", "Beta", "Charlie"}));
    EXPECT_EQ(m.windowsByApp().keys(), (QStringList{"c", "com.apple.finder", "com.example.unnamed"}));
    // Sorted by window number, which follows creation here.
    EXPECT_EQ(texts(m.windowsByApp().value(QStringLiteral("c")), &WindowInfo::title),
              (QStringList{"second", "first"}));
}

TEST_F(WindowManagerRefresh, ListsFollowTheWorkspaceAndTheSecondlyTimerAndPublishOnlyChanges)
{
    WindowManager& m = start();
    QSignalSpy windows(&m, &WindowManager::windowsByAppChanged);
    QSignalSpy apps(&m, &WindowManager::runningAppsChanged);
    QSignalSpy displays(&m, &WindowManager::availableDisplaysChanged);
    const auto pid = t.desktop.launchApp(kA, QStringLiteral("A"));
    EXPECT_EQ(texts(m.runningApps(), &AppInfo::name), QStringList{"A"});
    const quint32 window = t.desktop.addWindow(pid, QStringLiteral("Later"));
    t.scheduler.advance(0.9);
    EXPECT_TRUE(m.windowsByApp().isEmpty());
    t.scheduler.advance(0.1);
    EXPECT_EQ(m.windowsByApp().value(kA), (QList<WindowInfo>{{window, kA, QStringLiteral("Later")}}));

    // Unchanged lists are not published again, but the apps are reassigned on every rebuild.
    m.refreshWindows();
    m.refreshRunningApps();
    m.refreshDisplays();
    EXPECT_EQ(std::tuple(windows.count(), apps.count(), displays.count()), std::tuple(1, 2, 0));
    // A failed query is no news: the windows stay listed.
    t.desktop.setWindowListFails(true);
    m.refreshWindows();
    EXPECT_EQ(windows.count(), 1);
    EXPECT_EQ(m.windowsByApp().value(kA).size(), 1);
    // Nothing hidden, pinned or masked: no window descriptions are asked for.
    EXPECT_EQ(t.desktop.descriptionQueryCount(), 0);

    t.desktop.setWindowListFails(false);
    t.desktop.terminateApp(pid);
    EXPECT_TRUE(m.runningApps().isEmpty());
    EXPECT_TRUE(m.windowsByApp().isEmpty());
    manager.reset();
    const int queries = t.desktop.windowListQueryCount();
    t.scheduler.advance(5);
    t.desktop.launchApp(kB, QStringLiteral("B"));
    EXPECT_EQ(t.desktop.windowListQueryCount(), queries);
}

TEST_F(WindowManagerRefresh, DisplaysPutTheMainFirstAndSkipScreensNotOffered)
{
    const WindowManager& m = start();
    auto& d = t.desktop;
    SimDesktop::DisplaySpec veilmox;
    veilmox.name = QStringLiteral("Veilmox");
    d.addDisplay(veilmox);
    SimDesktop::DisplaySpec unnumbered;
    unnumbered.hasScreenNumber = false;
    d.addDisplay(unnumbered);
    SimDesktop::DisplaySpec external;
    external.name = QStringLiteral("External");
    const quint32 externalID = d.addDisplay(external);
    // Each change arrives as a screen-parameters notification.
    d.setMainDisplay(externalID);
    EXPECT_EQ(m.availableDisplays(),
              (QList<DisplayInfo>{{externalID, QStringLiteral("External"), true},
                                  {t.mainDisplay, QStringLiteral("Built-in Display"), false}}));
}

// Hidden, pinned and masked windows of app A at start-up, each of which the test then closes,
// moves off screen or hands to another app.
struct PruneFixture : StateFixture
{
    PruneFixture()
    {
        const auto pidA = t.desktop.launchApp(kA, QStringLiteral("A"));
        for (quint32& w : windows) {
            w = t.desktop.addWindow(pidA, QStringLiteral("w"));
        }
        store(WindowManager::hiddenWindowsKey,
              QVariantMap{{QString::number(windows[0]), kA}, {QString::number(windows[1]), kA}});
        store(WindowManager::pinnedWindowsKey, QVariantMap{{QString::number(windows[2]), kA}});
        mask = ShareMask{QUuid::createUuid(), windows[3], kA, QRectF(1, 2, 30, 40)};
        store(WindowManager::shareMasksKey, *ShareMask::encodeList({mask}));
    }
    // Gives window `number` to app B.
    void reuse(quint32 number)
    {
        t.desktop.removeWindow(number);
        SimDesktop::WindowSpec setup;
        setup.owner = pidB;
        setup.number = number;
        t.desktop.addWindow(setup);
    }

    platform::pid_type pidB = t.desktop.launchApp(kB, QStringLiteral("B"));
    quint32 windows[4] = {};
    ShareMask mask;
};

TEST(WindowManagerPruning, DropsClosedAndReusedWindowsAndSavesEachChangeButNothingAfterAFailedQuery)
{
    for (const bool reuse : {false, true}) {
        SCOPED_TRACE(reuse ? "number reused by another app" : "closed");
        PruneFixture f;
        WindowManager& m = f.start();
        f.t.desktop.setWindowOnScreen(f.windows[1], false);
        for (const quint32 w : {f.windows[0], f.windows[2], f.windows[3]}) {
            reuse ? f.reuse(w) : f.t.desktop.removeWindow(w);
        }
        // A failed description query vouches for nothing: nothing is dropped, published or written.
        f.t.desktop.setDescriptionQueryFails(true);
        const QVariantMap before = f.stored();
        QSignalSpy hidden(&m, &WindowManager::hiddenWindowsChanged);
        QSignalSpy pinned(&m, &WindowManager::pinnedWindowsChanged);
        QSignalSpy masks(&m, &WindowManager::shareMasksChanged);
        m.refreshWindows();
        EXPECT_EQ(hidden.count() + pinned.count() + masks.count(), 0);
        EXPECT_EQ(m.hiddenWindows().size(), 2);
        EXPECT_EQ(m.shareMasks(), QList<ShareMask>{f.mask});
        EXPECT_EQ(f.stored(), before);

        f.t.desktop.setDescriptionQueryFails(false);
        const int overlayUpdates = m.pinnedWindowController().updateCount();
        m.refreshWindows();
        // Off screen but still there: kept.
        EXPECT_EQ(m.hiddenWindows(), (WindowManager::WindowMap{{f.windows[1], kA}}));
        EXPECT_TRUE(m.pinnedWindows().isEmpty());
        EXPECT_TRUE(m.shareMasks().isEmpty());
        f.expectSaved();
        EXPECT_EQ(f.t.defaults.arrayForKey(WindowManager::pinnedKey), QVariantList());
        EXPECT_EQ(f.t.defaults.dataForKey(WindowManager::shareMasksKey), QByteArray("[]"));
        EXPECT_EQ(m.pinnedWindowController().updateCount(), overlayUpdates + 2);
        EXPECT_EQ(f.shell.statusIconCounts, QList<int>{1});
        EXPECT_EQ(m.windowsByApp().value(kB).size(), reuse ? 3 : 0);
    }
}

TEST(WindowManagerStartUp, TheDefaultDesktopsAppsWindowsAndDisplayAreListed)
{
    platform::sim::SimDesktop desktop;
    platform::sim::populateDemoDesktop(desktop);
    testing_support::TestDesktop t;
    platform::Services services = t.services();
    services.workspace = &desktop;
    services.screens = &desktop;
    services.windowServer = &desktop;
    GlobalHotKeyManager registry(t.hotKeys, t.scheduler);
    WindowManager m(services, &registry);
    m.start();

    EXPECT_EQ(texts(m.runningApps(), &AppInfo::name),
              (QStringList{"Google Chrome", "Messages", "Slack", "zoom.us"}));
    EXPECT_EQ(m.windowsByApp().keys(),
              (QStringList{"com.apple.MobileSMS",
                           "com.apple.finder",
                           "com.google.Chrome",
                           "com.tinyspeck.slackmacgap",
                           "us.zoom.xos"}));
    EXPECT_EQ(texts(m.windowsByApp().value(QStringLiteral("com.google.Chrome")), &WindowInfo::title),
              QStringList{"Quarterly plan - Google Docs"});
    EXPECT_EQ(
        m.availableDisplays(),
        (QList<DisplayInfo>{{desktop.mainDisplayID(), QStringLiteral("Built-in Retina Display"), true}}));
    EXPECT_TRUE(t.hotKeys.isRegistered(4, 0x300));
}
