#include "capture/ScreenShareDetector.h"

#include "platform/sim/SimDesktop.h"

#include <QLocale>

#include <gtest/gtest.h>

using platform::WindowDescription;

namespace {

WindowDescription
window(qint64 pid, const std::optional<QString>& title, const std::optional<QString>& owner = {})
{
    WindowDescription d{{platform::kCGWindowOwnerPID, pid}};
    if (title) {
        d.insert(platform::kCGWindowName, *title);
    }
    if (owner) {
        d.insert(platform::kCGWindowOwnerName, *owner);
    }
    return d;
}

const QHash<platform::pid_type, QString> kApps{
    {1, QStringLiteral("us.zoom.xos")},
    {2, QStringLiteral("com.google.Chrome")},
    {3, QStringLiteral("com.microsoft.teams2")},
    {4, QStringLiteral("org.mozilla.firefox")},
};

} // namespace

TEST(ScreenShareDetector, RecognisesEachMeetingAppsIndicator)
{
    struct Case
    {
        qint64 pid;
        const char* title;
        bool shares;
    };
    const Case cases[] = {
        {1, "Zoom Share Toolbar", true},
        {1, "zoom share STATUSBAR window", true},
        {1, "Weekly sync", false},
        {2, "meet.google.com is sharing your screen.", true},
        {2, "Docs", false},
        {3, "Sharing Control Bar | Microsoft Teams", true},
        {4, "meet.google.com is sharing your screen.", false},
        {1, "", false},
    };
    for (const Case& c : cases) {
        const auto result = ScreenShareDetector::detect(
            {window(c.pid, QString::fromUtf8(c.title), QStringLiteral("App"))}, kApps);
        EXPECT_EQ(result.has_value(), c.shares) << c.title;
        if (result) {
            EXPECT_EQ(result->bundleID, kApps.value(static_cast<platform::pid_type>(c.pid)));
        }
    }
}

TEST(ScreenShareDetector, FirstMatchWinsAndUnknownProcessesAreIgnored)
{
    const auto result = ScreenShareDetector::detect(
        {window(9, QStringLiteral("share toolbar")),
         window(3, QStringLiteral("sharing toolbar"), QStringLiteral("Microsoft Teams")),
         window(1, QStringLiteral("share toolbar"), QStringLiteral("zoom.us"))},
        kApps);
    ASSERT_TRUE(result);
    EXPECT_EQ(*result,
              (ScreenShareDetector::Source{QStringLiteral("com.microsoft.teams2"),
                                           QStringLiteral("Microsoft Teams")}));
    EXPECT_FALSE(ScreenShareDetector::detect({}, kApps));
    EXPECT_FALSE(ScreenShareDetector::detect({window(1, std::nullopt, QStringLiteral("zoom.us"))}, kApps));
}

TEST(ScreenShareDetector, NamesTheAppFromTheWorkspaceThenTheBundleIdentifier)
{
    platform::sim::SimDesktop desktop;
    const auto pid = desktop.launchApp(QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us"));
    const QHash<platform::pid_type, QString> apps{{pid, QStringLiteral("us.zoom.xos")}};
    const auto named =
        ScreenShareDetector::detect({window(pid, QStringLiteral("Share Toolbar"))}, apps, &desktop);
    ASSERT_TRUE(named);
    EXPECT_EQ(named->appName, QStringLiteral("zoom.us"));
    const auto unnamed = ScreenShareDetector::detect({window(pid, QStringLiteral("Share Toolbar"))}, apps);
    ASSERT_TRUE(unnamed);
    EXPECT_EQ(unnamed->appName, QStringLiteral("us.zoom.xos"));
}

TEST(ScreenShareDetector, TriesOnlyTheRuleOfTheWindowsApp)
{
    // Each app is held to its own rule's fragments, even when another rule's fragment matches.
    EXPECT_FALSE(ScreenShareDetector::detect(
        {window(1, QStringLiteral("meet.google.com is sharing your screen"))}, kApps));
    EXPECT_FALSE(ScreenShareDetector::detect({window(3, QStringLiteral("Zoom Share Toolbar"))}, kApps));
    EXPECT_FALSE(ScreenShareDetector::detect({window(2, QStringLiteral("Sharing Control Bar"))}, kApps));
}

TEST(ScreenShareDetector, LowerCasesTitlesByFullUnicodeRulesWhateverTheLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    struct Case
    {
        qint64 pid;
        const char* title;
        bool shares;
    };
    const Case cases[] = {
        // A Turkish locale would turn I into a dotless ı; the test is locale-independent.
        {3, "SHARING CONTROL BAR", true},
        {1, "\u00dcBERSICHT \u00b7 ZOOM SHARE TOOLBAR", true},
        {2, "MEET.GOOGLE.COM IS SHARING YOUR SCREEN", true},
        // Full lower-casing turns İ into i followed by a combining dot, so this is no match.
        {2, "MEET.GOOGLE.COM \u0130S SHARING YOUR SCREEN", false},
    };
    for (const Case& c : cases) {
        const auto result = ScreenShareDetector::detect({window(c.pid, QString::fromUtf8(c.title))}, kApps);
        EXPECT_EQ(result.has_value(), c.shares) << c.title;
    }
    QLocale::setDefault(previous);
}
