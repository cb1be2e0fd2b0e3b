#include "tests/state/StateFixture.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using testing_support::StateFixture;
using Source = ScreenShareDetector::Source;
using Refresh = std::optional<Source>;

namespace {

const QString kA = QStringLiteral("com.example.A");
const QString kB = QStringLiteral("com.example.B");
const Source kZoom{QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us")};
const Source kTeams{QStringLiteral("com.microsoft.teams2"), QStringLiteral("Microsoft Teams")};

QStringList titles(const StateFixture& f)
{
    QStringList list;
    for (const auto& toast : f.hud.toasts) {
        list << toast.appName;
    }
    return list;
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

TEST(WindowManagerShare, AShareStartsAtOnceAndEndsAtTheSecondMissInARow)
{
    struct Case
    {
        const char* name;
        QList<Refresh> refreshes;
        QList<Refresh> settled;
        QStringList toasts;
    };
    const Case cases[] = {
        {"seen, missed, seen",
         {kZoom, std::nullopt, kZoom, std::nullopt, kZoom},
         {kZoom, kZoom, kZoom, kZoom, kZoom},
         {"1 app auto-hidden"}},
        {"missed twice",
         {kZoom, std::nullopt, std::nullopt},
         {kZoom, kZoom, std::nullopt},
         {"1 app auto-hidden", "Sharing ended"}},
        {"another meeting app takes over",
         {kZoom, kTeams, std::nullopt, std::nullopt},
         {kZoom, kTeams, kTeams, std::nullopt},
         {"1 app auto-hidden", "Sharing ended"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StateFixture f;
        WindowManager& m = startAutoHiding(f, {kA});
        QSignalSpy published(&m, &WindowManager::detectedShareChanged);
        QList<Refresh> settled;
        for (const Refresh& refresh : c.refreshes) {
            m.updateShareDetection(refresh);
            settled << m.detectedShare();
            EXPECT_EQ(m.hiddenBundleIDs().contains(kA), m.detectedShare().has_value());
        }
        EXPECT_EQ(settled, c.settled);
        EXPECT_EQ(titles(f), c.toasts);
        // Published only when the settled value changes.
        int changes = 0;
        for (int i = 0; i < settled.size(); ++i) {
            changes += (i == 0 ? Refresh() : settled[i - 1]) != settled[i] ? 1 : 0;
        }
        EXPECT_EQ(published.count(), changes);
    }
}

TEST(WindowManagerShare, TheOneSecondRefreshFeedsTheDetection)
{
    StateFixture f;
    f.startMeetingShare();
    const auto indicator = f.t.desktop.windowOrder().first();
    WindowManager& m = f.start();
    ASSERT_EQ(m.detectedShare(), kZoom);
    f.t.desktop.removeWindow(indicator);
    f.t.scheduler.advance(1.0);
    EXPECT_EQ(m.detectedShare(), kZoom);
    f.t.scheduler.advance(1.0);
    EXPECT_FALSE(m.detectedShare());
}

TEST(WindowManagerShare, AutomaticHidingAddsTheListAndRestoresExactlyWhatItAdded)
{
    struct Case
    {
        const char* name;
        QStringList listed;
        QStringList hiddenByHand;
        std::optional<QString> startToast;
        QStringList recorded;
        bool endToast;
    };
    const Case cases[] = {
        {"empty list", {}, {}, std::nullopt, {}, false},
        {"one app", {kA}, {}, QStringLiteral("1 app auto-hidden"), {kA}, true},
        {"one of two hidden by hand", {kA, kB}, {kA}, QStringLiteral("2 apps auto-hidden"), {kB}, true},
        {"the only app hidden by hand", {kA}, {kA}, QStringLiteral("1 app auto-hidden"), {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StateFixture f;
        WindowManager& m = startAutoHiding(f, c.listed, c.hiddenByHand);
        m.updateShareDetection(kZoom);
        EXPECT_TRUE(m.autoHideActive());
        const QSet<QString> recorded(c.recorded.begin(), c.recorded.end());
        EXPECT_EQ(m.autoVeiledBundleIDs(), recorded);
        EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>(c.listed.begin(), c.listed.end()));
        EXPECT_EQ(f.t.defaults.object(WindowManager::autoVeiledKey).toStringList().size(), recorded.size());
        EXPECT_EQ(f.t.defaults.object(WindowManager::hiddenKey).toStringList().size(), c.listed.size());
        if (c.startToast) {
            ASSERT_EQ(f.hud.toasts.size(), 1);
            const auto& toast = f.hud.toasts.first();
            EXPECT_EQ(toast.appName, *c.startToast);
            EXPECT_TRUE(toast.isVeiled && toast.hasIcon);
            EXPECT_EQ(toast.subtitle, QStringLiteral("SHARING DETECTED · ZOOM.US"));
        } else {
            EXPECT_TRUE(f.hud.toasts.isEmpty());
        }

        f.hud.toasts.clear();
        m.updateShareDetection(std::nullopt);
        m.updateShareDetection(std::nullopt);
        EXPECT_FALSE(m.autoHideActive());
        EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>(c.hiddenByHand.begin(), c.hiddenByHand.end()));
        EXPECT_TRUE(m.autoVeiledBundleIDs().isEmpty());
        EXPECT_TRUE(f.t.defaults.object(WindowManager::autoVeiledKey).toStringList().isEmpty());
        if (c.endToast) {
            ASSERT_EQ(f.hud.toasts.size(), 1);
            const auto& toast = f.hud.toasts.first();
            EXPECT_EQ(toast.appName, QStringLiteral("Sharing ended"));
            EXPECT_FALSE(toast.isVeiled);
            EXPECT_EQ(toast.subtitle, QStringLiteral("AUTO-HIDDEN APPS RESTORED"));
        } else {
            EXPECT_TRUE(f.hud.toasts.isEmpty());
        }
    }
}

TEST(WindowManagerShare, SignedOutNothingIsHiddenUntilTheFirstRefreshAfterSigningIn)
{
    StateFixture f;
    f.store(WindowManager::autoHideEnabledKey, true);
    f.store(WindowManager::autoHideListKey, QStringList{kA});
    WindowManager& m = f.start(false);
    m.updateShareDetection(kZoom);
    m.updateShareDetection(kZoom);
    EXPECT_FALSE(m.autoHideActive());
    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
    EXPECT_TRUE(f.hud.toasts.isEmpty());

    m.setIsAuthenticated(true);
    m.updateShareDetection(kZoom);
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kA});
    EXPECT_EQ(titles(f), QStringList{"1 app auto-hidden"});

    // Signing out does not end it; the end of the share restores signed out too.
    m.setIsAuthenticated(false);
    m.updateShareDetection(std::nullopt);
    m.updateShareDetection(std::nullopt);
    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
}

TEST(WindowManagerShare, TheEndOfAShareLiftsAPauseAndSwitchingAutoHideOffRestoresAtOnce)
{
    StateFixture f;
    WindowManager& m = startAutoHiding(f, {kA});
    m.updateShareDetection(kZoom);
    m.togglePanic();
    f.hud.toasts.clear();
    m.updateShareDetection(std::nullopt);
    EXPECT_TRUE(m.sharePaused());
    m.updateShareDetection(std::nullopt);
    EXPECT_FALSE(m.sharePaused());
    // The lifted pause shows no toast of its own.
    EXPECT_EQ(titles(f), QStringList{"Sharing ended"});

    m.updateShareDetection(kZoom);
    ASSERT_EQ(m.hiddenBundleIDs(), QSet<QString>{kA});
    m.setAutoHideEnabled(false);
    m.reconcileAutoHide();
    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
    EXPECT_FALSE(m.autoHideActive());
    m.setAutoHideEnabled(true);
    m.reconcileAutoHide();
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kA});
}

TEST(WindowManagerShare, AHidingLeftByTheLastRunEndsAtTheFirstRefreshWithoutAShare)
{
    StateFixture f;
    const auto hiddenApp = f.t.desktop.launchApp(QStringLiteral("com.example.C"), QStringLiteral("C"));
    f.t.desktop.runningApplication(hiddenApp)->hide();
    const platform::pid_type ended = 99999;
    f.store(WindowManager::hiddenKey, QStringList{kA, kB});
    f.store(WindowManager::autoVeiledKey, QStringList{kA});
    f.store(WindowManager::autoHiddenLocallyKey, QVariantList{qint64(hiddenApp), qint64(ended)});
    WindowManager& m = f.start(false);

    EXPECT_FALSE(m.autoHideActive());
    EXPECT_EQ(m.hiddenBundleIDs(), QSet<QString>{kB});
    EXPECT_FALSE(f.t.desktop.runningApplication(hiddenApp)->isHidden());
    EXPECT_TRUE(m.autoHiddenLocallyPIDs().isEmpty());
    EXPECT_TRUE(f.t.defaults.object(WindowManager::autoVeiledKey).toStringList().isEmpty());
    EXPECT_TRUE(f.t.defaults.arrayForKey(WindowManager::autoHiddenLocallyKey)->isEmpty());
    EXPECT_EQ(titles(f), QStringList{"Sharing ended"});
}
