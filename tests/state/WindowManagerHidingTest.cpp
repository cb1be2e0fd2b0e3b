#include "capture/SCOverlayController.h"
#include "tests/state/StateFixture.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>

using testing_support::StateFixture;

namespace {

const QString kA = QStringLiteral("com.example.A");
const QString kB = QStringLiteral("com.example.B");
const QString kC = QStringLiteral("com.example.C");

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList storedStrings(const StateFixture& f, const QString& key)
{
    return sorted(f.t.defaults.object(key).toStringList());
}

} // namespace

TEST(WindowManagerHiding, SignedOutTheGatedOperationsChangeAndWriteNothing)
{
    const std::pair<const char*, std::function<void(WindowManager&)>> operations[] = {
        {"toggleHidden",
         [](WindowManager& m) {
             m.toggleHidden(kA);
         }},
        {"togglePinned",
         [](WindowManager& m) {
             m.togglePinned(kA);
         }},
        {"toggleWindowHidden",
         [](WindowManager& m) {
             m.toggleWindowHidden(7, kA);
         }},
        {"toggleWindowPinned",
         [](WindowManager& m) {
             m.toggleWindowPinned(7, kA);
         }},
        {"hideApps",
         [](WindowManager& m) {
             m.hideApps({kB});
         }},
        {"toggleFrontmostAppHidden",
         [](WindowManager& m) {
             m.toggleFrontmostAppHidden();
         }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        StateFixture f;
        f.storeAutoHidingDuringShare({kA});
        const auto [pid, window] = f.t.launchAppWithWindow(kA, QStringLiteral("A"));
        f.t.desktop.activateApp(pid);
        WindowManager& m = f.start(false);
        const QVariantMap before = f.stored();
        const int overlayUpdates = m.pinnedWindowController().updateCount();
        operation(m);
        EXPECT_EQ(f.stored(), before);
        EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
        EXPECT_TRUE(m.pinnedBundleIDs().isEmpty());
        EXPECT_TRUE(m.hiddenWindows().isEmpty() && m.pinnedWindows().isEmpty());
        EXPECT_EQ(m.autoVeiledBundleIDs(), QSet<QString>{kA});
        EXPECT_EQ(m.pinnedWindowController().updateCount(), overlayUpdates);
        EXPECT_TRUE(f.shell.statusIconCounts.isEmpty());
        EXPECT_TRUE(f.hud.toasts.isEmpty());
        // The hot key opens the popover instead.
        EXPECT_EQ(f.shell.popoverShows, QString::fromUtf8(name) == "toggleFrontmostAppHidden" ? 1 : 0);
        Q_UNUSED(window);
    }
}

TEST(WindowManagerHiding, HidingAWholeAppDropsItsWindowEntriesAndRedrawsTheCount)
{
    StateFixture f;
    f.storeAutoHidingDuringShare({kA});
    WindowManager& m = f.start();
    m.setHiddenWindows({{1, kA}, {2, kA}, {3, kB}});
    m.toggleHidden(kA);
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kA});
    EXPECT_EQ(m.hiddenWindows(), (WindowManager::WindowMap{{3, kB}}));
    // Hidden by hand now: the end of a share leaves it alone.
    EXPECT_TRUE(m.autoVeiledBundleIDs().isEmpty());
    EXPECT_TRUE(f.t.defaults.object(WindowManager::autoVeiledKey).toStringList().isEmpty());
    m.toggleHidden(kA);
    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
    EXPECT_EQ(m.hiddenWindows(), (WindowManager::WindowMap{{3, kB}}));
    EXPECT_EQ(f.t.defaults.dictionaryForKey(WindowManager::hiddenWindowsKey),
              (QVariantMap{{QStringLiteral("3"), kB}}));
    EXPECT_EQ(f.shell.statusIconCounts, (QList<int>{2, 1}));

    // Signed out the icon counts nothing, whatever is hidden.
    m.setIsAuthenticated(false);
    m.saveHiddenState();
    EXPECT_EQ(f.shell.statusIconCounts.last(), 0);
    m.setAppDelegate(nullptr);
    m.saveHiddenState();
    EXPECT_EQ(f.shell.statusIconCounts.size(), 3);

    // Each window of an app not hidden whole counts once.
    m.setHiddenBundleIDs({kA});
    m.setHiddenWindows({{1, kA}, {2, kB}, {3, kB}});
    EXPECT_EQ(m.veiledCount(), 3);
}

TEST(WindowManagerHiding, ShowingOneWindowOfAnAppHiddenWholeKeepsItsOtherWindowsHidden)
{
    StateFixture f;
    const auto [pid, w1] = f.t.launchAppWithWindow(kA, QStringLiteral("A"));
    const quint32 w2 = f.t.desktop.addWindow(pid, QStringLiteral("2"));
    const quint32 w3 = f.t.desktop.addWindow(pid, QStringLiteral("3"));
    f.store(WindowManager::hiddenKey, QStringList{kA, kB});
    f.store(WindowManager::pinnedKey, QStringList{kA});
    WindowManager& m = f.start();
    EXPECT_EQ(m.veiledCount(), 2);
    m.toggleWindowHidden(w1, kA);
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kB});
    EXPECT_EQ(m.hiddenWindows(), (WindowManager::WindowMap{{w2, kA}, {w3, kA}}));
    EXPECT_EQ(m.veiledCount(), 3);
    EXPECT_EQ(m.hiddenWindowCount(kA), 2);
    EXPECT_TRUE(m.isHidden(w2, kA));
    EXPECT_FALSE(m.isHidden(w1, kA));

    // No known windows: the app simply becomes visible.
    m.toggleWindowHidden(99, kB);
    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
    EXPECT_EQ(m.hiddenWindows().size(), 2);
    // A single window toggles back and forth.
    m.toggleWindowHidden(w2, kA);
    m.toggleWindowHidden(w1, kA);
    EXPECT_EQ(m.hiddenWindows(), (WindowManager::WindowMap{{w1, kA}, {w3, kA}}));
    EXPECT_EQ(f.t.defaults.dictionaryForKey(WindowManager::hiddenWindowsKey)->keys(),
              (QStringList{QString::number(w1), QString::number(w3)}));

    // The pinned twin ends by handing the sets to the overlays.
    m.toggleWindowPinned(w3, kA);
    EXPECT_TRUE(m.pinnedBundleIDs().isEmpty());
    EXPECT_EQ(m.pinnedWindowController().pinnedWindowIDs(), (QSet<quint32>{w1, w2}));
    EXPECT_EQ(m.pinnedWindowCount(kA), 2);
    EXPECT_TRUE(m.hasPinnedContent(kA));
    EXPECT_TRUE(m.isPinned(w1, kA));
    EXPECT_FALSE(m.isPinned(w3, kA));
}

TEST(WindowManagerHiding, HideAppsAddsOnlyWhatIsNotHiddenYet)
{
    StateFixture f;
    f.store(WindowManager::hiddenKey, QStringList{kA, kB});
    WindowManager& m = f.start();
    m.setHiddenWindows({{1, kC}, {2, QStringLiteral("other")}});
    const QVariantMap before = f.stored();
    m.hideApps({kA, kB});
    m.hideApps({});
    EXPECT_EQ(f.stored(), before);
    EXPECT_TRUE(f.shell.statusIconCounts.isEmpty());

    m.hideApps({kA, kC});
    EXPECT_EQ(m.hiddenBundleIDs(), (QSet<QString>{kA, kB, kC}));
    EXPECT_EQ(m.hiddenWindows(), (WindowManager::WindowMap{{2, QStringLiteral("other")}}));
    EXPECT_EQ(storedStrings(f, WindowManager::hiddenKey), (QStringList{kA, kB, kC}));
    EXPECT_EQ(f.shell.statusIconCounts, QList<int>{4});
    EXPECT_TRUE(m.autoVeiledBundleIDs().isEmpty());
}

TEST(WindowManagerHiding, PinningSavesBothSetsAndKeepsTheTransparency)
{
    StateFixture f;
    WindowManager& m = f.start();
    m.setPinnedTransparency(0.3, kA);
    m.setPinnedWindows({{5, kA}, {6, kB}});
    m.togglePinned(kA);
    EXPECT_EQ(storedStrings(f, WindowManager::pinnedKey), QStringList{kA});
    EXPECT_EQ(f.t.defaults.dictionaryForKey(WindowManager::pinnedWindowsKey),
              (QVariantMap{{QStringLiteral("6"), kB}}));
    EXPECT_EQ(m.pinnedWindowController().pinnedBundleIDs(), QSet<QString>{kA});
    m.togglePinned(kA);
    m.togglePinned(kA);
    EXPECT_EQ(m.pinnedTransparency().value(kA), 0.3);
    EXPECT_TRUE(m.hasPinnedContent(kA));
    EXPECT_FALSE(m.hasPinnedContent(kC));
}

TEST(WindowManagerHiding, PinnedTransparencyIsClampedStoredAndHandedOnEvenSignedOut)
{
    struct Case
    {
        double value;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {1.0, 0.85}, {0.5, 0.5}, {0.0, std::nullopt}, {-1, std::nullopt}, {NAN, std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        StateFixture f;
        f.store(WindowManager::pinnedTransparencyKey, QVariantMap{{kA, 0.2}, {kB, 0.6}});
        WindowManager& m = f.start(false);
        m.setPinnedTransparency(c.value, kA);
        QMap<QString, double> expected{{kB, 0.6}};
        if (c.expected) {
            expected.insert(kA, *c.expected);
        }
        EXPECT_EQ(m.pinnedTransparency(), expected);
        EXPECT_EQ(m.pinnedWindowController().pinnedTransparency(), expected);
        const QVariantMap stored =
            f.t.defaults.dictionaryForKey(WindowManager::pinnedTransparencyKey).value();
        EXPECT_EQ(stored.contains(kA), c.expected.has_value());
        EXPECT_EQ(stored.value(kB).toDouble(), 0.6);
    }
}

TEST(WindowManagerHiding, TheAutoHideListAppliesAtOnceDuringAnAutomaticHiding)
{
    StateFixture f;
    f.storeAutoHidingDuringShare({kC});
    f.store(WindowManager::hiddenKey, QStringList{kA, kC});
    WindowManager& m = f.start(false);
    ASSERT_TRUE(m.autoHideActive());

    m.toggleAutoHide(true, kB);
    m.toggleAutoHide(true, kA);
    EXPECT_EQ(m.hiddenBundleIDs(), (QSet<QString>{kA, kB, kC}));
    EXPECT_EQ(m.autoVeiledBundleIDs(), (QSet<QString>{kB, kC}));
    EXPECT_EQ(storedStrings(f, WindowManager::autoVeiledKey), (QStringList{kB, kC}));
    EXPECT_EQ(storedStrings(f, WindowManager::autoHideListKey), (QStringList{kA, kB}));

    // Off the list: shown again only when the automatic hiding had hidden it.
    m.toggleAutoHide(false, kB);
    m.toggleAutoHide(false, kA);
    EXPECT_EQ(m.hiddenBundleIDs(), (QSet<QString>{kA, kC}));
    EXPECT_EQ(storedStrings(f, WindowManager::hiddenKey), (QStringList{kA, kC}));
    EXPECT_TRUE(m.autoHideBundleIDs().isEmpty());

    // Without an automatic hiding in force only the list changes.
    m.setAutoHideActive(false);
    m.toggleAutoHide(true, kB);
    EXPECT_EQ(m.hiddenBundleIDs(), (QSet<QString>{kA, kC}));
    EXPECT_EQ(m.autoHideBundleIDs(), QSet<QString>{kB});
}

TEST(WindowManagerHiding, TheHideHotKeyTogglesTheFrontmostAppWithAToast)
{
    struct Case
    {
        const char* name;
        std::optional<QString> bundleID; // the frontmost app; none: no frontmost app
        std::optional<QString> appName;
        bool acts;
    };
    const Case cases[] = {
        {"ordinary app", kA, QStringLiteral("Alpha"), true},
        {"app without a name", kA, std::nullopt, true},
        {"the system itself", QStringLiteral("getveilmox.Veilmox"), QStringLiteral("Veilmox"), false},
        {"the Finder", QStringLiteral("com.apple.finder"), QStringLiteral("Finder"), false},
        {"app without bundle identifier", std::nullopt, QStringLiteral("Tool"), false},
        {"no frontmost app", std::nullopt, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StateFixture f;
        if (c.bundleID || c.appName) {
            platform::sim::SimDesktop::AppSpec setup;
            setup.bundleID = c.bundleID;
            setup.name = c.appName;
            setup.icon = QImage(8, 8, QImage::Format_ARGB32);
            f.t.desktop.activateApp(c.bundleID == QStringLiteral("getveilmox.Veilmox")
                                        ? f.t.desktop.ownProcessIdentifier()
                                        : f.t.desktop.launchApp(setup));
        }
        WindowManager& m = f.start();
        // The registered ⇧⌘H reaches the action on a later main-loop turn.
        ASSERT_TRUE(f.t.hotKeys.press(4, 0x300));
        f.t.scheduler.runPending();
        if (!c.acts) {
            EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
            EXPECT_TRUE(f.hud.toasts.isEmpty());
            continue;
        }
        m.toggleFrontmostAppHidden();
        EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
        ASSERT_EQ(f.hud.toasts.size(), 2);
        const QString shownName = c.appName.value_or(*c.bundleID);
        EXPECT_EQ(f.hud.toasts[0].appName, shownName);
        EXPECT_TRUE(f.hud.toasts[0].isVeiled);
        EXPECT_TRUE(f.hud.toasts[0].hasIcon);
        EXPECT_FALSE(f.hud.toasts[0].subtitle);
        EXPECT_FALSE(f.hud.toasts[1].isVeiled);
        EXPECT_EQ(f.shell.statusIconCounts, (QList<int>{1, 0}));
    }
}
