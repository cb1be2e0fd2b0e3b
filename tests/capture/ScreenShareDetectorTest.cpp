#include "capture/ScreenShareDetector.h"

#include "platform/sim/SimDesktop.h"

#include <QLocale>

#include <gtest/gtest.h>

using platform::WindowDescription;
using Source = ScreenShareDetector::Source;

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

TEST(ScreenShareDetector, EachMeetingAppIsHeldToItsOwnIndicatorLowerCasedByFullUnicodeRules)
{
    // A Turkish locale would turn I into a dotless ı; the test is locale-independent.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    const std::tuple<qint64, const char*, bool> cases[] = {
        {1, "Zoom Share Toolbar", true},
        {1, "zoom share STATUSBAR window", true},
        {1, "\u00dcBERSICHT \u00b7 ZOOM SHARE TOOLBAR", true},
        {1, "Weekly sync", false},
        {1, "", false},
        {2, "meet.google.com is sharing your screen.", true},
        {2, "MEET.GOOGLE.COM IS SHARING YOUR SCREEN", true},
        // Full lower-casing turns İ into i followed by a combining dot, so this is no match.
        {2, "MEET.GOOGLE.COM \u0130S SHARING YOUR SCREEN", false},
        {2, "Docs", false},
        {3, "Sharing Control Bar | Microsoft Teams", true},
        {3, "SHARING CONTROL BAR", true},
        // Another rule's fragment does not count, nor an app without a rule.
        {1, "meet.google.com is sharing your screen", false},
        {3, "Zoom Share Toolbar", false},
        {2, "Sharing Control Bar", false},
        {4, "meet.google.com is sharing your screen.", false},
    };
    for (const auto& [pid, title, shares] : cases) {
        const auto result = ScreenShareDetector::detect(
            {window(pid, QString::fromUtf8(title), QStringLiteral("App"))}, kApps);
        EXPECT_EQ(result,
                  shares ? std::optional(Source{kApps.value(pid), QStringLiteral("App")}) : std::nullopt)
            << title;
    }
    QLocale::setDefault(previous);
}

TEST(ScreenShareDetector, TheFirstMatchWinsAndNamesItsAppFromTheWorkspaceOrTheOwner)
{
    EXPECT_EQ(ScreenShareDetector::detect(
                  {window(9, QStringLiteral("share toolbar")),
                   window(3, QStringLiteral("sharing toolbar"), QStringLiteral("Microsoft Teams")),
                   window(1, QStringLiteral("share toolbar"), QStringLiteral("zoom.us"))},
                  kApps),
              (Source{QStringLiteral("com.microsoft.teams2"), QStringLiteral("Microsoft Teams")}));
    EXPECT_FALSE(ScreenShareDetector::detect({}, kApps));
    EXPECT_FALSE(ScreenShareDetector::detect({window(1, std::nullopt, QStringLiteral("zoom.us"))}, kApps));

    // Without an owner name: the workspace's name for the app, else its bundle identifier.
    platform::sim::SimDesktop desktop;
    const auto pid = desktop.launchApp(QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us"));
    const QHash<platform::pid_type, QString> apps{{pid, QStringLiteral("us.zoom.xos")}};
    const auto toolbar = window(pid, QStringLiteral("Share Toolbar"));
    EXPECT_EQ(ScreenShareDetector::detect({toolbar}, apps, &desktop),
              (Source{QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us")}));
    EXPECT_EQ(ScreenShareDetector::detect({toolbar}, apps),
              (Source{QStringLiteral("us.zoom.xos"), QStringLiteral("us.zoom.xos")}));
}
