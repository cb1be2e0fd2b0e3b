#include "capture/SCOverlayController.h"
#include "tests/state/StateFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string_view>

using testing_support::StateFixture;
using Toast = testing_support::RecordingHUD::Toast;
using WindowMap = WindowManager::WindowMap;

namespace {

const QString kA = QStringLiteral("com.example.A");
const QString kB = QStringLiteral("com.example.B");
const QString kC = QStringLiteral("com.example.C");
const QString kFinder = QStringLiteral("com.apple.finder");

QStringList storedStrings(const StateFixture& f, const QString& key)
{
    QStringList list = f.t.defaults.object(key).toStringList();
    list.sort();
    return list;
}

} // namespace

using WindowManagerHiding = testing_support::StateTest;

TEST_F(WindowManagerHiding, SignedOutTheGatedOperationsChangeAndWriteNothing)
{
    storeAutoHidingDuringShare({kA});
    const auto [pid, window] = t.launchAppWithWindow(kA, QStringLiteral("A"));
    t.desktop.activateApp(pid);
    WindowManager& m = start(false);
    const QVariantMap before = stored();
    const int overlayUpdates = m.pinnedWindowController().updateCount();
    for (const std::string_view name : {"toggleHidden",
                                        "togglePinned",
                                        "toggleWindowHidden",
                                        "toggleWindowPinned",
                                        "hideApps",
                                        "togglePanic",
                                        "toggleFrontmostAppHidden"}) {
        SCOPED_TRACE(std::string(name));
        name == "toggleHidden"         ? m.toggleHidden(kA)
        : name == "togglePinned"       ? m.togglePinned(kA)
        : name == "toggleWindowHidden" ? m.toggleWindowHidden(window, kA)
        : name == "toggleWindowPinned" ? m.toggleWindowPinned(window, kA)
        : name == "hideApps"           ? m.hideApps({kB})
        : name == "togglePanic"        ? m.togglePanic()
                                       : m.toggleFrontmostAppHidden();
        EXPECT_EQ(stored(), before);
        EXPECT_TRUE(m.hiddenBundleIDs().isEmpty() && m.pinnedBundleIDs().isEmpty());
        EXPECT_FALSE(m.isHidden(window, kA) || m.isPinned(window, kA) || m.sharePaused());
        EXPECT_EQ(m.autoVeiledBundleIDs(), QSet<QString>{kA});
        EXPECT_EQ(m.pinnedWindowController().updateCount(), overlayUpdates);
        EXPECT_TRUE(shell.statusIconCounts.isEmpty() && hud.toasts.isEmpty());
        // The hot key's action opens the popover instead.
        EXPECT_EQ(shell.popoverShows, name == "toggleFrontmostAppHidden" ? 1 : 0);
    }
}

TEST_F(WindowManagerHiding, HidingWholeAppsDropsTheirWindowEntriesAndRedrawsTheCount)
{
    storeAutoHidingDuringShare({kA});
    store(WindowManager::hiddenKey, QStringList{kB});
    WindowManager& m = start();
    const QString other = QStringLiteral("other");
    m.setHiddenWindows({{1, kA}, {2, kA}, {3, kC}, {4, other}});
    m.toggleHidden(kA);
    EXPECT_EQ(m.hiddenBundleIDs(), (QSet<QString>{kA, kB}));
    EXPECT_EQ(m.hiddenWindows(), (WindowMap{{3, kC}, {4, other}}));
    // Hidden by hand now: the end of a share leaves it alone.
    EXPECT_TRUE(m.autoVeiledBundleIDs().isEmpty());
    EXPECT_TRUE(storedStrings(*this, WindowManager::autoVeiledKey).isEmpty());
    m.toggleHidden(kA);
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kB});

    // Hiding what is hidden already changes and writes nothing. Neither does hiding the Finder
    // (the onboarding suggests it), which no stored list keeps: it would vanish at the next launch.
    const QVariantMap before = stored();
    m.hideApps({kB});
    m.hideApps({});
    m.hideApps({kFinder});
    EXPECT_EQ(stored(), before);
    m.hideApps({kB, kC, kFinder});
    EXPECT_EQ(m.hiddenBundleIDs(), (QSet<QString>{kB, kC}));
    EXPECT_EQ(storedStrings(*this, WindowManager::hiddenKey), (QStringList{kB, kC}));
    EXPECT_EQ(m.hiddenWindows(), (WindowMap{{4, other}}));
    expectSaved();
    EXPECT_EQ(shell.statusIconCounts, (QList<int>{4, 3, 3}));

    // Signed out the icon counts nothing, whatever is hidden; without a shell nothing is drawn.
    m.setIsAuthenticated(false);
    m.saveHiddenState();
    EXPECT_EQ(shell.statusIconCounts.last(), 0);
    m.setAppDelegate(nullptr);
    m.saveHiddenState();
    EXPECT_EQ(shell.statusIconCounts.size(), 4);
    // Each window of an app not hidden whole counts once.
    m.setHiddenWindows({{1, kB}, {2, kA}, {3, kA}});
    EXPECT_EQ(m.veiledCount(), 4);
}

TEST_F(WindowManagerHiding, SingleWindowsOfAnAppHiddenOrPinnedWholeToggleOnTheirOwn)
{
    const auto [pid, w1] = t.launchAppWithWindow(kA, QStringLiteral("A"));
    const quint32 w2 = t.desktop.addWindow(pid, QStringLiteral("2"));
    const quint32 w3 = t.desktop.addWindow(pid, QStringLiteral("3"));
    store(WindowManager::hiddenKey, QStringList{kA, kB});
    store(WindowManager::pinnedKey, QStringList{kA});
    WindowManager& m = start();
    EXPECT_EQ(m.veiledCount(), 2);
    m.toggleWindowHidden(w1, kA);
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kB});
    EXPECT_EQ(m.hiddenWindows(), (WindowMap{{w2, kA}, {w3, kA}}));
    EXPECT_EQ(m.veiledCount(), 3);
    EXPECT_EQ(m.hiddenWindowCount(kA), 2);
    EXPECT_TRUE(m.isHidden(w2, kA));
    EXPECT_FALSE(m.isHidden(w1, kA));
    // No known windows: the app simply becomes visible.
    m.toggleWindowHidden(99, kB);
    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
    // A single window toggles back and forth.
    m.toggleWindowHidden(w2, kA);
    m.toggleWindowHidden(w1, kA);
    EXPECT_EQ(m.hiddenWindows(), (WindowMap{{w1, kA}, {w3, kA}}));

    // The pinned twin ends by handing the sets to the overlays.
    const SCOverlayController& overlays = m.pinnedWindowController();
    m.toggleWindowPinned(w3, kA);
    m.toggleWindowPinned(7, kB);
    EXPECT_TRUE(m.pinnedBundleIDs().isEmpty());
    EXPECT_EQ(overlays.pinnedWindowIDs(), (QSet<quint32>{w1, w2, 7}));
    EXPECT_EQ(m.pinnedWindowCount(kA), 2);
    EXPECT_TRUE(m.isPinned(w1, kA));
    EXPECT_FALSE(m.isPinned(w3, kA));
    expectSaved();
    // Pinning the whole app again drops its window entries only, and keeps its transparency.
    m.setPinnedTransparency(0.3, kA);
    m.togglePinned(kA);
    EXPECT_EQ(m.pinnedWindows(), (WindowMap{{7, kB}}));
    EXPECT_EQ(overlays.pinnedBundleIDs(), QSet<QString>{kA});
    EXPECT_TRUE(m.hasPinnedContent(kA));
    expectSaved();
    m.togglePinned(kA);
    EXPECT_FALSE(m.hasPinnedContent(kA));
    EXPECT_EQ(m.pinnedTransparency().value(kA), 0.3);
}

TEST_F(WindowManagerHiding, PinnedSetsReachTheOverlaysOnlyWhileSignedInTheTransparencyAlwaysAndClamped)
{
    const quint32 window = t.launchAppWithWindow(kA, QStringLiteral("A")).second;
    store(WindowManager::pinnedKey, QStringList{kB});
    store(WindowManager::pinnedWindowsKey, QVariantMap{{QString::number(window), kA}});
    store(WindowManager::pinnedTransparencyKey, QVariantMap{{kA, 0.2}, {kB, 0.6}});
    WindowManager& m = start(false);
    const SCOverlayController& overlays = m.pinnedWindowController();
    EXPECT_TRUE(overlays.pinnedBundleIDs().isEmpty() && overlays.pinnedWindowIDs().isEmpty());
    EXPECT_EQ(overlays.updateCount(), 2);
    EXPECT_EQ(m.pinnedBundleIDs(), QSet<QString>{kB});

    const std::pair<double, std::optional<double>> cases[] = {
        {1.0, 0.85}, {0.0, std::nullopt}, {0.5, 0.5}, {-1, std::nullopt}, {0.3, 0.3}, {NAN, std::nullopt}};
    for (const auto& [value, kept] : cases) {
        SCOPED_TRACE(value);
        m.setPinnedTransparency(value, kA);
        QMap<QString, double> expected{{kB, 0.6}};
        if (kept) {
            expected.insert(kA, *kept);
        }
        EXPECT_EQ(m.pinnedTransparency(), expected);
        EXPECT_EQ(overlays.pinnedTransparency(), expected);
        const QVariantMap stored = t.defaults.dictionaryForKey(WindowManager::pinnedTransparencyKey).value();
        EXPECT_EQ(stored.value(kA).toDouble(), kept.value_or(0));
        EXPECT_EQ(stored.contains(kA), kept.has_value());
        EXPECT_EQ(stored.value(kB).toDouble(), 0.6);
    }

    m.setIsAuthenticated(true);
    m.syncPinnedOverlays();
    EXPECT_EQ(overlays.pinnedBundleIDs(), QSet<QString>{kB});
    EXPECT_EQ(overlays.pinnedWindowIDs(), QSet<quint32>{window});
}

TEST_F(WindowManagerHiding, TheAutoHideListAppliesAtOnceDuringAnAutomaticHiding)
{
    storeAutoHidingDuringShare({kC});
    store(WindowManager::hiddenKey, QStringList{kA, kC});
    WindowManager& m = start(false);
    ASSERT_TRUE(m.autoHideActive());

    m.toggleAutoHide(true, kB);
    m.toggleAutoHide(true, kA);
    EXPECT_EQ(m.hiddenBundleIDs(), (QSet<QString>{kA, kB, kC}));
    EXPECT_EQ(m.autoVeiledBundleIDs(), (QSet<QString>{kB, kC}));
    EXPECT_EQ(storedStrings(*this, WindowManager::autoVeiledKey), (QStringList{kB, kC}));
    EXPECT_EQ(storedStrings(*this, WindowManager::autoHideListKey), (QStringList{kA, kB}));

    // Off the list: shown again only when the automatic hiding had hidden it.
    m.toggleAutoHide(false, kB);
    m.toggleAutoHide(false, kA);
    EXPECT_EQ(m.hiddenBundleIDs(), (QSet<QString>{kA, kC}));
    EXPECT_EQ(storedStrings(*this, WindowManager::hiddenKey), (QStringList{kA, kC}));
    EXPECT_TRUE(m.autoHideBundleIDs().isEmpty());

    // Without an automatic hiding in force only the list changes.
    m.setAutoHideActive(false);
    m.toggleAutoHide(true, kB);
    EXPECT_EQ(m.hiddenBundleIDs(), (QSet<QString>{kA, kC}));
    EXPECT_EQ(m.autoHideBundleIDs(), QSet<QString>{kB});
}

TEST_F(WindowManagerHiding, TheHideHotKeyTogglesTheFrontmostAppWithAToast)
{
    struct Case
    {
        const char* name;
        std::optional<QString> bundleID; // of the frontmost app; neither: no frontmost app
        std::optional<QString> appName;
        bool acts;
    };
    const Case cases[] = {
        {"ordinary app", kA, QStringLiteral("Alpha"), true},
        {"app without a name", kA, std::nullopt, true},
        {"the system itself", QStringLiteral("getveilmox.Veilmox"), QStringLiteral("Veilmox"), false},
        {"the Finder", kFinder, QStringLiteral("Finder"), false},
        {"app without bundle identifier", std::nullopt, QStringLiteral("Tool"), false},
        {"no frontmost app", std::nullopt, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StateFixture f;
        platform::sim::SimDesktop::AppSpec setup;
        setup.bundleID = c.bundleID;
        setup.name = c.appName;
        setup.icon = QImage(8, 8, QImage::Format_ARGB32);
        if (c.bundleID == QStringLiteral("getveilmox.Veilmox")) {
            f.t.desktop.activateApp(f.t.desktop.ownProcessIdentifier());
        } else if (c.bundleID || c.appName) {
            f.t.desktop.activateApp(f.t.desktop.launchApp(setup));
        }
        WindowManager& m = f.start();
        // The registered ⇧⌘H reaches the action on a later main-loop turn; twice, it shows again.
        for (int press = 0; press < 2; ++press) {
            ASSERT_TRUE(f.t.hotKeys.press(4, 0x300));
            f.t.scheduler.runPending();
        }
        EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
        const QString shown = c.appName.value_or(c.bundleID.value_or(QString()));
        const QList<Toast> toasts{{shown, true, true, std::nullopt}, {shown, true, false, std::nullopt}};
        EXPECT_EQ(f.hud.toasts, c.acts ? toasts : QList<Toast>());
        EXPECT_EQ(f.shell.statusIconCounts, c.acts ? QList<int>({1, 0}) : QList<int>());
    }
}
