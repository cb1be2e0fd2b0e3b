#include "tests/state/StateFixture.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using testing_support::StateFixture;
using Source = ScreenShareDetector::Source;
using Refresh = std::optional<Source>;
using Toast = testing_support::RecordingHUD::Toast;

namespace {

const QString kA = QStringLiteral("com.example.A");
const QString kB = QStringLiteral("com.example.B");
const Source kZoom{QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us")};
const Source kTeams{QStringLiteral("com.microsoft.teams2"), QStringLiteral("Microsoft Teams")};
const Toast kEnded{"Sharing ended", true, false, "AUTO-HIDDEN APPS RESTORED"};

Toast hidden(const char* title)
{
    return Toast{title, true, true, "SHARING DETECTED · ZOOM.US"};
}

// Signed in, automatic hiding enabled, with this auto-hide list and these apps hidden by hand.
WindowManager& startAutoHiding(StateFixture& f, const QStringList& listed, const QStringList& hidden = {})
{
    f.store(WindowManager::autoHideEnabledKey, true);
    f.store(WindowManager::autoHideListKey, listed);
    f.store(WindowManager::hiddenKey, hidden);
    return f.start();
}

} // namespace

using WindowManagerShare = testing_support::StateTest;

// Automatic hiding adds the listed apps when a share starts and restores exactly what it added
// when the share ends, which is at the second refresh in a row without an indicator.
TEST_F(WindowManagerShare, AutomaticHidingFollowsTheDebouncedShare)
{
    struct Case
    {
        QStringList listed;
        QStringList hiddenByHand;
        QList<Refresh> refreshes;
        QList<Refresh> settled;
        int published;
        QList<Toast> toasts;
    };
    const Refresh miss = std::nullopt;
    const Case cases[] = {
        {{kA},
         {},
         {kZoom, miss, kZoom, miss, kZoom},
         {kZoom, kZoom, kZoom, kZoom, kZoom},
         1,
         {hidden("1 app auto-hidden")}},
        {{kA}, {}, {kZoom, miss, miss}, {kZoom, kZoom, miss}, 2, {hidden("1 app auto-hidden"), kEnded}},
        // Another meeting app takes over without a gap: no new hiding, no new toast.
        {{kA},
         {},
         {kZoom, kTeams, miss, miss},
         {kZoom, kTeams, kTeams, miss},
         3,
         {hidden("1 app auto-hidden"), kEnded}},
        {{}, {}, {kZoom, miss, miss}, {kZoom, kZoom, miss}, 2, {}},
        {{kA, kB},
         {kA},
         {kZoom, miss, miss},
         {kZoom, kZoom, miss},
         2,
         {hidden("2 apps auto-hidden"), kEnded}},
        // Nothing was added, so nothing is restored and nothing announced at the end.
        {{kA}, {kA}, {kZoom, miss, miss}, {kZoom, kZoom, miss}, 2, {hidden("1 app auto-hidden")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        StateFixture f;
        WindowManager& m = startAutoHiding(f, c.listed, c.hiddenByHand);
        QSignalSpy published(&m, &WindowManager::detectedShareChanged);
        const QSet<QString> listed(c.listed.begin(), c.listed.end());
        const QSet<QString> byHand(c.hiddenByHand.begin(), c.hiddenByHand.end());
        QList<Refresh> settled;
        for (const Refresh& refresh : c.refreshes) {
            m.updateShareDetection(refresh);
            settled << m.detectedShare();
            const bool sharing = m.detectedShare().has_value();
            EXPECT_EQ(m.autoHideActive(), sharing);
            EXPECT_EQ(m.hiddenBundleIDs(), sharing ? listed | byHand : byHand);
            EXPECT_EQ(m.autoVeiledBundleIDs(), sharing ? listed - byHand : QSet<QString>());
            const QStringList stored = f.t.defaults.object(WindowManager::autoVeiledKey).toStringList();
            EXPECT_EQ(QSet<QString>(stored.begin(), stored.end()), m.autoVeiledBundleIDs());
        }
        EXPECT_EQ(settled, c.settled);
        EXPECT_EQ(published.count(), c.published);
        EXPECT_EQ(f.hud.toasts, c.toasts);
    }
}

TEST_F(WindowManagerShare, SignedOutNothingIsHiddenButTheEndAlwaysRestoresAndLiftsThePause)
{
    WindowManager& m = startAutoHiding(*this, {kA});
    m.setIsAuthenticated(false);
    m.updateShareDetection(kZoom);
    m.updateShareDetection(kZoom);
    EXPECT_FALSE(m.autoHideActive() || m.hiddenBundleIDs().contains(kA));
    // The first refresh after signing in during the same share hides the list.
    m.setIsAuthenticated(true);
    m.updateShareDetection(kZoom);
    EXPECT_TRUE(m.hiddenBundleIDs().contains(kA));
    m.togglePanic();

    m.setIsAuthenticated(false);
    m.updateShareDetection(std::nullopt);
    EXPECT_TRUE(m.sharePaused());
    m.updateShareDetection(std::nullopt);
    EXPECT_FALSE(m.sharePaused());
    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
    // The lifted pause has no toast of its own.
    EXPECT_EQ(hud.titles(), (QStringList{"1 app auto-hidden", "Share frozen", "Sharing ended"}));

    // Switching automatic hiding off during a share restores at once, on again hides at once.
    m.setIsAuthenticated(true);
    m.updateShareDetection(kZoom);
    m.setAutoHideEnabled(false);
    m.reconcileAutoHide();
    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
    m.setAutoHideEnabled(true);
    m.reconcileAutoHide();
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kA});
}

TEST_F(WindowManagerShare, AHidingLeftByTheLastRunEndsAtTheFirstRefreshWithoutAShare)
{
    const auto hiddenApp = t.desktop.launchApp(QStringLiteral("com.example.C"), QStringLiteral("C"));
    t.desktop.runningApplication(hiddenApp)->hide();
    store(WindowManager::hiddenKey, QStringList{kA, kB});
    store(WindowManager::autoVeiledKey, QStringList{kA});
    // The second process has ended meanwhile.
    store(WindowManager::autoHiddenLocallyKey, QVariantList{qint64(hiddenApp), qint64(99999)});
    WindowManager& m = start(false);

    EXPECT_FALSE(m.autoHideActive());
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kB});
    EXPECT_FALSE(t.desktop.runningApplication(hiddenApp)->isHidden());
    EXPECT_TRUE(t.defaults.object(WindowManager::autoVeiledKey).toStringList().isEmpty());
    EXPECT_TRUE(t.defaults.arrayForKey(WindowManager::autoHiddenLocallyKey)->isEmpty());
    EXPECT_EQ(hud.titles(), QStringList{"Sharing ended"});
}
