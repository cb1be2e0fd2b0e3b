#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/support/TestDesktop.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>

namespace {

using Stored = QVariantMap;

// A state object started over the given stored settings and a desktop set up by `prepare`.
struct Loaded
{
    explicit Loaded(const Stored& stored,
                    const std::function<void(testing_support::TestDesktop&)>& prepare = {})
    {
        for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
            EXPECT_TRUE(t.defaults.setObject(it.value(), it.key())) << it.key().toStdString();
        }
        if (prepare) {
            prepare(t);
        }
        manager = std::make_unique<WindowManager>(t.services(), &registry);
        manager->start();
    }

    testing_support::TestDesktop t;
    GlobalHotKeyManager registry{t.hotKeys, t.scheduler};
    std::unique_ptr<WindowManager> manager;
};

// A meeting app sharing the screen: an automatic hiding loaded from the last run stays in force
// through the start-up refresh.
void shareInProgress(testing_support::TestDesktop& t)
{
    const auto pid = t.desktop.launchApp(QStringLiteral("us.zoom.xos"), QStringLiteral("zoom.us"));
    t.desktop.addWindow(pid, QStringLiteral("Zoom Share Toolbar"), QRectF(500, 0, 400, 60));
}

QSet<QString> set(std::initializer_list<const char*> items)
{
    QSet<QString> s;
    for (const char* i : items) {
        s.insert(QString::fromUtf8(i));
    }
    return s;
}

QVariantList strings(std::initializer_list<const char*> items)
{
    QVariantList l;
    for (const char* i : items) {
        l.append(QString::fromUtf8(i));
    }
    return l;
}

} // namespace

TEST(WindowManagerLoading, NothingStoredGivesTheDefaults)
{
    Loaded l({});
    const WindowManager& m = *l.manager;
    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
    EXPECT_TRUE(m.shareMasks().isEmpty());
    EXPECT_TRUE(m.hideNotificationsOnShare());
    EXPECT_EQ(m.panicMode(), WindowManager::PanicMode::Freeze);
    EXPECT_EQ(m.panicShortcut(), HotKeyCombo::defaultPanicShortcut());
    EXPECT_FALSE(m.autoHideEnabled());
    EXPECT_FALSE(m.autoHideActive());
    EXPECT_FALSE(m.sharedDisplayID());
    EXPECT_TRUE(m.pinnedTransparency().isEmpty());
    EXPECT_TRUE(m.focusStageOnVirtualDisplay());
    EXPECT_TRUE(m.globalShortcutEnabled());
    EXPECT_TRUE(m.hasScreenRecordingPermission());
    // Loading writes nothing but its migrations.
    EXPECT_TRUE(l.t.defaults.dictionaryRepresentation().isEmpty());
}

TEST(WindowManagerLoading, StoredAppListsLoseTheFinder)
{
    Loaded l({{WindowManager::hiddenKey, strings({"com.apple.finder", "com.example.A"})},
              {WindowManager::pinnedKey, strings({"com.example.B"})},
              {WindowManager::autoHideListKey, strings({"com.apple.finder", "com.example.C"})},
              {WindowManager::autoVeiledKey, strings({"com.apple.finder"})},
              {WindowManager::autoHideEnabledKey, true}},
             shareInProgress);
    EXPECT_EQ(l.manager->hiddenBundleIDs(), set({"com.example.A"}));
    EXPECT_EQ(l.manager->pinnedBundleIDs(), set({"com.example.B"}));
    EXPECT_EQ(l.manager->autoHideBundleIDs(), set({"com.example.C"}));
    EXPECT_EQ(l.manager->autoVeiledBundleIDs(), set({"com.apple.finder"}));
    EXPECT_TRUE(l.manager->autoHideActive());
}

TEST(WindowManagerLoading, ProcessIdentifiersOutOfRangeAreSkipped)
{
    Loaded l({{WindowManager::autoHiddenLocallyKey, QVariantList{qint64(12), qint64(3000000000)}},
              {WindowManager::autoHideEnabledKey, true}},
             shareInProgress);
    EXPECT_EQ(l.manager->autoHiddenLocallyPIDs(), QSet<qint32>{12});
    EXPECT_TRUE(l.manager->autoHideActive());
}

TEST(WindowManagerLoading, MistypedValuesKeepTheirDefaults)
{
    struct Case
    {
        const char* name;
        Stored stored;
        std::function<void(const WindowManager&)> check;
    };
    const Case cases[] = {
        {"hidden list with a number",
         {{WindowManager::hiddenKey, QVariantList{QStringLiteral("a"), qint64(1)}}},
         [](const WindowManager& m) {
             EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
         }},
        {"panic mode in other letter case",
         {{WindowManager::panicModeKey, QStringLiteral("Cover")}},
         [](const WindowManager& m) {
             EXPECT_EQ(m.panicMode(), WindowManager::PanicMode::Freeze);
         }},
        {"panic mode cover",
         {{WindowManager::panicModeKey, QStringLiteral("cover")}},
         [](const WindowManager& m) {
             EXPECT_EQ(m.panicMode(), WindowManager::PanicMode::Cover);
         }},
        {"shared display as text",
         {{WindowManager::sharedDisplayKey, QStringLiteral("5")}},
         [](const WindowManager& m) {
             EXPECT_FALSE(m.sharedDisplayID());
         }},
        {"shared display out of range",
         {{WindowManager::sharedDisplayKey, qint64(4294967296)}},
         [](const WindowManager& m) {
             EXPECT_FALSE(m.sharedDisplayID());
         }},
        {"shared display as a fraction",
         {{WindowManager::sharedDisplayKey, 5.0}},
         [](const WindowManager& m) {
             EXPECT_FALSE(m.sharedDisplayID());
         }},
        {"shared display",
         {{WindowManager::sharedDisplayKey, qint64(4294967295)}},
         [](const WindowManager& m) {
             EXPECT_EQ(m.sharedDisplayID(), 4294967295U);
         }},
        {"notifications off",
         {{WindowManager::hideNotificationsKey, false}},
         [](const WindowManager& m) {
             EXPECT_FALSE(m.hideNotificationsOnShare());
         }},
        {"masks undecodable",
         {{WindowManager::shareMasksKey, QByteArray("[{\"id\":1}]")}},
         [](const WindowManager& m) {
             EXPECT_TRUE(m.shareMasks().isEmpty());
         }},
        {"masks stored as text",
         {{WindowManager::shareMasksKey, QStringLiteral("[]")}},
         [](const WindowManager& m) {
             EXPECT_TRUE(m.shareMasks().isEmpty());
         }},
        {"panic shortcut with shift alone",
         {{WindowManager::panicShortcutKey,
           QByteArray(R"({"keyCode":35,"carbonModifiers":512,"display":"⇧P"})")}},
         [](const WindowManager& m) {
             EXPECT_EQ(m.panicShortcut(), HotKeyCombo::defaultPanicShortcut());
         }},
        {"panic shortcut",
         {{WindowManager::panicShortcutKey,
           QByteArray(R"({"keyCode":40,"carbonModifiers":2560,"display":"⌥⇧K"})")}},
         [](const WindowManager& m) {
             EXPECT_EQ(m.panicShortcut(), (HotKeyCombo{40, 0xA00, QStringLiteral("⌥⇧K")}));
         }},
        {"pids with a string",
         {{WindowManager::autoHiddenLocallyKey, QVariantList{qint64(12), QStringLiteral("x")}}},
         [](const WindowManager& m) {
             EXPECT_TRUE(m.autoHiddenLocallyPIDs().isEmpty());
             EXPECT_FALSE(m.autoHideActive());
         }},
        {"global shortcut off",
         {{WindowManager::globalShortcutKey, false}},
         [](const WindowManager& m) {
             EXPECT_FALSE(m.globalShortcutEnabled());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded l(c.stored);
        c.check(*l.manager);
    }
}

TEST(WindowManagerLoading, StaleAutoHideSwitchIsRemovedAtEveryLaunch)
{
    Loaded l({{WindowManager::autoHideLocallyKey, true}, {WindowManager::autoHideEnabledKey, true}});
    EXPECT_FALSE(l.t.defaults.hasObject(WindowManager::autoHideLocallyKey));
    EXPECT_FALSE(l.manager->autoHideLocally());
    EXPECT_TRUE(l.manager->autoHideEnabled());
}

TEST(WindowManagerLoading, PinnedTransparencyMigratesFromTheLegacyKey)
{
    struct Case
    {
        const char* name;
        Stored stored;
        QMap<QString, double> expected;
        bool legacyRemains;
        bool written;
    };
    const QVariantList pinned = strings({"A", "B"});
    const Case cases[] = {
        {"legacy above the ceiling",
         {{WindowManager::pinnedKey, pinned}, {WindowManager::legacyPinnedTransparencyKey, 0.9}},
         {{QStringLiteral("A"), 0.85}, {QStringLiteral("B"), 0.85}},
         false,
         true},
        {"legacy zero",
         {{WindowManager::pinnedKey, pinned}, {WindowManager::legacyPinnedTransparencyKey, 0.0}},
         {},
         false,
         true},
        {"legacy negative", {{WindowManager::legacyPinnedTransparencyKey, -3.0}}, {}, false, true},
        {"current map clamps and ignores legacy",
         {{WindowManager::pinnedTransparencyKey,
           QVariantMap{{QStringLiteral("A"), 1.2}, {QStringLiteral("B"), qint64(-1)}}},
          {WindowManager::legacyPinnedTransparencyKey, 0.5}},
         {{QStringLiteral("A"), 0.85}, {QStringLiteral("B"), 0.0}},
         true,
         false},
        {"current map with a text value falls back to legacy",
         {{WindowManager::pinnedKey, pinned},
          {WindowManager::pinnedTransparencyKey, QVariantMap{{QStringLiteral("A"), QStringLiteral("0.5")}}},
          {WindowManager::legacyPinnedTransparencyKey, 0.4}},
         {{QStringLiteral("A"), 0.4}, {QStringLiteral("B"), 0.4}},
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded l(c.stored);
        EXPECT_EQ(l.manager->pinnedTransparency(), c.expected);
        EXPECT_EQ(l.t.defaults.hasObject(WindowManager::legacyPinnedTransparencyKey), c.legacyRemains);
        if (c.written) {
            QVariantMap stored;
            for (auto it = c.expected.cbegin(); it != c.expected.cend(); ++it) {
                stored.insert(it.key(), it.value());
            }
            EXPECT_EQ(l.t.defaults.dictionaryForKey(WindowManager::pinnedTransparencyKey), stored);
        }
    }
}

TEST(WindowManagerLoading, FocusStageMigratesFromTheLegacyKeysAndLeavesThem)
{
    struct Case
    {
        const char* name;
        Stored stored;
        bool expected;
        std::optional<bool> written;
    };
    const Case cases[] = {
        {"nothing stored", {}, true, std::nullopt},
        {"dock false only", {{WindowManager::legacyHideDockKey, false}}, false, false},
        {"menu bar true only", {{WindowManager::legacyHideMenuBarKey, true}}, true, true},
        {"current wins",
         {{WindowManager::focusStageKey, false}, {WindowManager::legacyHideDockKey, true}},
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded l(c.stored);
        EXPECT_EQ(l.manager->focusStageOnVirtualDisplay(), c.expected);
        const QVariant written = l.t.defaults.object(WindowManager::focusStageKey);
        EXPECT_EQ(written.isValid() ? std::optional<bool>(written.toBool()) : std::nullopt, c.written);
        for (auto it = c.stored.cbegin(); it != c.stored.cend(); ++it) {
            EXPECT_TRUE(l.t.defaults.hasObject(it.key()));
        }
    }
}

TEST(WindowManagerWindowMaps, DecodeTakesStrictNumericKeysAndDropsFinderWindows)
{
    // The windows exist, so the first refresh keeps what loading kept.
    const auto openWindows = [](testing_support::TestDesktop& t) {
        const auto a = t.desktop.launchApp(QStringLiteral("A"), QStringLiteral("A"));
        const auto finder = t.desktop.launchApp(QStringLiteral("com.apple.finder"), QStringLiteral("Finder"));
        for (const auto& [number, owner] : {std::pair{7U, a}, {12U, a}, {13U, finder}}) {
            platform::sim::SimDesktop::WindowSpec window;
            window.owner = owner;
            window.number = number;
            t.desktop.addWindow(window);
        }
    };
    Loaded l({{WindowManager::hiddenWindowsKey,
               QVariantMap{{QStringLiteral("12"), QStringLiteral("A")},
                           {QStringLiteral("+7"), QStringLiteral("A")},
                           {QStringLiteral("x"), QStringLiteral("B")},
                           {QStringLiteral(" 8"), QStringLiteral("B")},
                           {QStringLiteral("4294967296"), QStringLiteral("B")},
                           {QStringLiteral("13"), QStringLiteral("com.apple.finder")}}},
              {WindowManager::pinnedWindowsKey,
               QVariantMap{{QStringLiteral("1"), QStringLiteral("A")}, {QStringLiteral("2"), qint64(3)}}}},
             openWindows);
    EXPECT_EQ(l.manager->hiddenWindows(),
              (WindowManager::WindowMap{{7, QStringLiteral("A")}, {12, QStringLiteral("A")}}));
    EXPECT_TRUE(l.manager->pinnedWindows().isEmpty());
}

TEST(WindowManagerWindowMaps, EncodeWritesPlainDecimalKeysThatReadBack)
{
    Loaded l({});
    const WindowManager::WindowMap map{{7, QStringLiteral("A")}, {4294967295U, QStringLiteral("B")}};
    l.manager->encodeWindowMap(map, WindowManager::pinnedWindowsKey);
    EXPECT_EQ(l.t.defaults.dictionaryForKey(WindowManager::pinnedWindowsKey),
              (QVariantMap{{QStringLiteral("7"), QStringLiteral("A")},
                           {QStringLiteral("4294967295"), QStringLiteral("B")}}));
    EXPECT_EQ(l.manager->decodeWindowMap(WindowManager::pinnedWindowsKey), map);
}

TEST(WindowManagerWindowMaps, CurrentOwnersFollowTheWindowServerAndTellFailureApart)
{
    Loaded l({});
    const auto [pidA, windowA] =
        l.t.launchAppWithWindow(QStringLiteral("com.example.A"), QStringLiteral("A"));
    const auto [pidB, windowB] =
        l.t.launchAppWithWindow(QStringLiteral("com.example.B"), QStringLiteral("B"));
    l.t.desktop.setWindowOnScreen(windowB, false);
    platform::sim::SimDesktop::AppSpec nameless;
    const auto pidC = l.t.desktop.launchApp(nameless);
    const auto windowC = l.t.desktop.addWindow(pidC, QStringLiteral("c"));

    const auto owners = l.manager->currentWindowOwners({windowA, windowB, windowC, 9999});
    ASSERT_TRUE(owners);
    EXPECT_EQ(*owners,
              (WindowManager::WindowMap{{windowA, QStringLiteral("com.example.A")},
                                        {windowB, QStringLiteral("com.example.B")}}));
    l.t.desktop.setDescriptionQueryFails(true);
    EXPECT_FALSE(l.manager->currentWindowOwners({windowA}));
    Q_UNUSED(pidA);
    Q_UNUSED(pidB);
}

TEST(WindowManagerProperties, EveryAssignmentPublishesEvenWithoutChange)
{
    Loaded l({});
    QSignalSpy spy(l.manager.get(), &WindowManager::hiddenBundleIDsChanged);
    l.manager->setHiddenBundleIDs({});
    l.manager->setHiddenBundleIDs({});
    EXPECT_EQ(spy.count(), 2);
}

TEST(Models, AppInfoEqualityIgnoresIconAndBundleField)
{
    QImage icon(4, 4, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    const AppInfo a{QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("Alpha"), icon};
    const AppInfo b{QStringLiteral("A"), QStringLiteral("other"), QStringLiteral("Alpha"), QImage()};
    EXPECT_EQ(a, b);
    EXPECT_NE(a, (AppInfo{QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("Beta"), icon}));
}
