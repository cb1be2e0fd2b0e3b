#include "platform/UserDefaults.h"
#include "tests/state/StateFixture.h"
#include "tests/support/DamagedInput.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using testing_support::StateFixture;
using WM = WindowManager;

namespace {

const QString kFinder = QStringLiteral("com.apple.finder");

template <typename T>
QVariantList sorted(const QSet<T>& set)
{
    QList<T> list(set.cbegin(), set.cend());
    std::sort(list.begin(), list.end());
    QVariantList result;
    for (const T& item : list) {
        result << QVariant::fromValue(item);
    }
    return result;
}

template <typename K, typename V>
QVariantMap variantMap(const QMap<K, V>& map)
{
    QVariantMap result;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        result.insert(QVariant::fromValue(it.key()).toString(), QVariant::fromValue(it.value()));
    }
    return result;
}

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

std::string json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// Everything loading decides, as one comparable value; "written" holds what the launch changed in
// the stored settings (null: removed).
std::string loaded(const StateFixture& f, const QVariantMap& before)
{
    const WindowManager& m = *f.manager;
    const HotKeyCombo& panic = m.panicShortcut();
    QVariantMap written;
    const QVariantMap after = f.stored();
    for (const QString& key : before.keys() + after.keys()) {
        if (before.value(key) != after.value(key)) {
            written.insert(key, after.value(key));
        }
    }
    return json(QJsonObject::fromVariantMap(
        {{"hidden", sorted(m.hiddenBundleIDs())},
         {"pinned", sorted(m.pinnedBundleIDs())},
         {"autoHide", sorted(m.autoHideBundleIDs())},
         {"autoVeiled", sorted(m.autoVeiledBundleIDs())},
         {"pids", sorted(m.autoHiddenLocallyPIDs())},
         {"autoHideEnabled", m.autoHideEnabled()},
         {"autoHideActive", m.autoHideActive()},
         {"autoHideLocally", m.autoHideLocally()},
         {"notifications", m.hideNotificationsOnShare()},
         {"panicMode", WM::rawValue(m.panicMode())},
         {"panicShortcut",
          QStringLiteral("%1 %2 %3").arg(panic.keyCode).arg(panic.carbonModifiers).arg(panic.display)},
         {"sharedDisplay", m.sharedDisplayID() ? QVariant(*m.sharedDisplayID()) : QVariant()},
         {"masks", int(m.shareMasks().size())},
         {"transparency", variantMap(m.pinnedTransparency())},
         {"focusStage", m.focusStageOnVirtualDisplay()},
         {"globalShortcut", m.globalShortcutEnabled()},
         {"hiddenWindows", variantMap(m.hiddenWindows())},
         {"pinnedWindows", variantMap(m.pinnedWindows())},
         {"written", written}}));
}

// A launch, signed in, over the settings file at `path`.
struct LaunchOverFile
{
    explicit LaunchOverFile(const QString& path)
        : defaults(path)
    {
        platform::Services services = f.t.services();
        services.defaults = &defaults;
        f.manager = std::make_unique<WindowManager>(services, &f.registry);
        f.start();
    }

    platform::PlistUserDefaults defaults;
    StateFixture f;
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

} // namespace

// A settings file nested past every sensible depth once crashed each launch before it could be
// set aside; now the launch reads it as damaged and starts from the defaults.
TEST(WindowManagerLoading, ASettingsFileNestedTooDeepIsSetAsideAndTheLaunchStartsFromDefaults)
{
    QTemporaryDir dir(testing_support::temporaryFolderTemplate(QStringLiteral("loading")));
    const QString path = dir.filePath(QStringLiteral("getveilmox.Veilmox.plist"));
    const QByteArray damaged = testing_support::nestedXmlPropertyList(100'000);
    writeFile(path, damaged);
    const testing_support::LogRecorder log;
    LaunchOverFile launch(path);
    WindowManager& m = *launch.f.manager;

    EXPECT_TRUE(m.hiddenBundleIDs().isEmpty());
    ASSERT_FALSE(launch.defaults.setAsidePath().isEmpty());
    QFile aside(launch.defaults.setAsidePath());
    EXPECT_TRUE(aside.open(QIODevice::ReadOnly) && aside.readAll() == damaged);
    m.toggleHidden(QStringLiteral("com.example.B"));
    EXPECT_EQ(platform::PlistUserDefaults(path).arrayForKey(WM::hiddenKey),
              QVariantList{QStringLiteral("com.example.B")});
}

// One NaN or infinity in the settings, read or not, once made every later save fail: hiding an app
// left the file as it was, and the app was shown again after a restart.
TEST(WindowManagerLoading, ANonFiniteNumberAnywhereInTheSettingsNeverStopsSaving)
{
    const double real = testing_support::kRealPlaceholder;
    const QVariantMap unread{{QStringLiteral("someOtherKey"), real},
                             {QStringLiteral("onboardingCompleted"), true}};
    const QVariantMap read{{WM::pinnedTransparencyKey, QVariantMap{{"A", real}, {"B", 0.5}}}};
    for (const bool binary : {true, false}) {
        for (const double value : {std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity()}) {
            for (const QVariantMap& settings : {unread, read}) {
                SCOPED_TRACE(std::string(binary ? "binary " : "XML ") + std::to_string(value) + " "
                             + settings.firstKey().toStdString());
                QTemporaryDir dir(testing_support::temporaryFolderTemplate(QStringLiteral("loading")));
                const QString path = dir.filePath(QStringLiteral("getveilmox.Veilmox.plist"));
                writeFile(path, testing_support::settingsWithReal(settings, value, binary));
                {
                    LaunchOverFile launch(path);
                    ASSERT_TRUE(launch.defaults.setAsidePath().isEmpty());
                    launch.f.manager->toggleHidden(QStringLiteral("com.example.B"));
                }
                LaunchOverFile restarted(path);
                EXPECT_EQ(restarted.f.manager->hiddenBundleIDs(),
                          QSet<QString>{QStringLiteral("com.example.B")});
                // The odd value itself is kept as it was, where it was.
                double kept = restarted.defaults.object(QStringLiteral("someOtherKey")).toDouble();
                if (settings == read) {
                    EXPECT_EQ(restarted.f.manager->pinnedTransparency(), (QMap<QString, double>{{"B", 0.5}}));
                    kept =
                        restarted.defaults.dictionaryForKey(WM::pinnedTransparencyKey)->value("A").toDouble();
                }
                EXPECT_TRUE(std::isnan(value) ? std::isnan(kept) : kept == value);
            }
        }
    }
}

// Each case differs from launching with nothing stored only in `changes`. Every launch sees the
// same desktop: app "A" with windows 7 and 12, the Finder with window 13, and a meeting app
// sharing the screen, so that what loading kept survives the start-up refresh.
TEST(WindowManagerLoading, StoredSettingsLoadTypedWithTheirMigrations)
{
    const QJsonObject defaults = object(R"({"hidden":[],"pinned":[],"autoHide":[],"autoVeiled":[],"pids":[],
        "autoHideEnabled":false,"autoHideActive":false,"autoHideLocally":false,"notifications":true,
        "panicMode":"freeze","panicShortcut":"35 6400 ⌃⌥⌘P","sharedDisplay":null,"masks":0,"transparency":{},
        "focusStage":true,"globalShortcut":true,"hiddenWindows":{},"pinnedWindows":{},"written":{}})");
    const QStringList ab{"A", "B"};
    const QString mask =
        R"([{"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","windowID":7,"bundleID":"A","rect":[[0,0],[9,9]]}])";
    struct Case
    {
        const char* name;
        QVariantMap stored;
        const char* changes;
    };
    const Case cases[] = {
        {"nothing stored", {}, "{}"},
        {"app lists lose the Finder",
         {{WM::hiddenKey, QStringList{kFinder, "A"}},
          {WM::pinnedKey, QStringList{"B"}},
          {WM::autoHideListKey, QStringList{kFinder, "C"}},
          {WM::autoVeiledKey, QStringList{kFinder}},
          {WM::autoHideEnabledKey, true}},
         R"({"hidden":["A"],"pinned":["B"],"autoHide":["C"],"autoVeiled":["com.apple.finder"],)"
         R"("autoHideEnabled":true,"autoHideActive":true})"},
        {"process identifiers out of range are skipped",
         {{WM::autoHiddenLocallyKey, QVariantList{qint64(12), qint64(3000000000)}},
          {WM::autoHideEnabledKey, true}},
         R"({"pids":[12],"autoHideEnabled":true,"autoHideActive":true})"},
        {"process identifiers with a string keep the numbers",
         {{WM::autoHiddenLocallyKey, QVariantList{qint64(12), "x"}}, {WM::autoHideEnabledKey, true}},
         R"({"pids":[12],"autoHideEnabled":true,"autoHideActive":true})"},
        {"app lists with a number keep the names",
         {{WM::hiddenKey, QVariantList{"a", qint64(1)}},
          {WM::pinnedKey, QVariantList{QVariantMap(), "b"}},
          {WM::autoHideListKey, QVariantList{"c", true}},
          {WM::autoVeiledKey, QVariantList{2.5, "d"}},
          {WM::autoHideEnabledKey, true}},
         R"({"hidden":["a"],"pinned":["b"],"autoHide":["c"],"autoVeiled":["d"],"autoHideEnabled":true,)"
         R"("autoHideActive":true})"},
        {"panic mode in other letter case", {{WM::panicModeKey, "Cover"}}, "{}"},
        {"panic mode cover", {{WM::panicModeKey, "cover"}}, R"({"panicMode":"cover"})"},
        {"shared display as text", {{WM::sharedDisplayKey, "5"}}, "{}"},
        {"shared display out of range", {{WM::sharedDisplayKey, qint64(4294967296)}}, "{}"},
        {"shared display as a fraction", {{WM::sharedDisplayKey, 5.0}}, "{}"},
        {"shared display", {{WM::sharedDisplayKey, qint64(4294967295)}}, R"({"sharedDisplay":4294967295})"},
        {"notifications off", {{WM::hideNotificationsKey, false}}, R"({"notifications":false})"},
        {"global shortcut off", {{WM::globalShortcutKey, false}}, R"({"globalShortcut":false})"},
        {"masks", {{WM::shareMasksKey, mask.toUtf8()}}, R"({"masks":1})"},
        {"masks stored as text", {{WM::shareMasksKey, mask}}, "{}"},
        {"masks undecodable", {{WM::shareMasksKey, QByteArray(R"([{"id":1}])")}}, "{}"},
        {"masks with one undecodable",
         {{WM::shareMasksKey, mask.toUtf8().replace("[{", R"([{"id":1},{)")}},
         R"({"masks":1})"},
        {"panic shortcut",
         {{WM::panicShortcutKey, QByteArray(R"({"keyCode":40,"carbonModifiers":2560,"display":"⌥⇧K"})")}},
         R"({"panicShortcut":"40 2560 ⌥⇧K"})"},
        {"panic shortcut with shift alone",
         {{WM::panicShortcutKey, QByteArray(R"({"keyCode":35,"carbonModifiers":512,"display":"⇧P"})")}},
         "{}"},
        {"stale automatic hiding switch",
         {{WM::autoHideLocallyKey, true}, {WM::autoHideEnabledKey, true}},
         R"({"autoHideEnabled":true,"written":{"autoHideLocally":null}})"},
        {"legacy transparency above the ceiling",
         {{WM::pinnedKey, ab}, {WM::legacyPinnedTransparencyKey, 0.9}},
         R"({"pinned":["A","B"],"transparency":{"A":0.85,"B":0.85},"written":)"
         R"({"pinnedTransparencyByApp":{"A":0.85,"B":0.85},"pinnedWindowTransparency":null}})"},
        {"legacy transparency zero",
         {{WM::pinnedKey, ab}, {WM::legacyPinnedTransparencyKey, 0.0}},
         R"({"pinned":["A","B"],"written":{"pinnedTransparencyByApp":{},"pinnedWindowTransparency":null}})"},
        {"legacy transparency negative",
         {{WM::legacyPinnedTransparencyKey, -3.0}},
         R"({"written":{"pinnedTransparencyByApp":{},"pinnedWindowTransparency":null}})"},
        {"current transparency clamps and ignores the legacy value",
         {{WM::pinnedTransparencyKey, QVariantMap{{"A", 1.2}, {"B", qint64(-1)}}},
          {WM::legacyPinnedTransparencyKey, 0.5}},
         R"({"transparency":{"A":0.85,"B":0}})"},
        {"current transparency with a text value keeps the others, and the legacy value stays",
         {{WM::pinnedKey, ab},
          {WM::pinnedTransparencyKey, QVariantMap{{"A", "0.5"}, {"B", 0.3}}},
          {WM::legacyPinnedTransparencyKey, 0.4}},
         R"({"pinned":["A","B"],"transparency":{"B":0.3}})"},
        {"current transparency with a text value and no legacy value keeps the others",
         {{WM::pinnedTransparencyKey, QVariantMap{{"A", QVariantList()}, {"B", 0.3}}}},
         R"({"transparency":{"B":0.3}})"},
        {"current transparency that is not a map falls back to the legacy one",
         {{WM::pinnedKey, ab}, {WM::pinnedTransparencyKey, "0.5"}, {WM::legacyPinnedTransparencyKey, 0.4}},
         R"({"pinned":["A","B"],"transparency":{"A":0.4,"B":0.4},"written":)"
         R"({"pinnedTransparencyByApp":{"A":0.4,"B":0.4},"pinnedWindowTransparency":null}})"},
        {"focus stage from the legacy dock key",
         {{WM::legacyHideDockKey, false}},
         R"({"focusStage":false,"written":{"focusStageOnVirtualDisplay":false}})"},
        {"focus stage from the legacy menu bar key",
         {{WM::legacyHideMenuBarKey, true}},
         R"({"written":{"focusStageOnVirtualDisplay":true}})"},
        {"current focus stage wins",
         {{WM::focusStageKey, false}, {WM::legacyHideDockKey, true}},
         R"({"focusStage":false})"},
        {"window maps take strict numeric keys and lose Finder windows",
         {{WM::hiddenWindowsKey,
           QVariantMap{
               {"12", "A"}, {"+7", "A"}, {"x", "B"}, {" 8", "B"}, {"4294967296", "B"}, {"13", kFinder}}},
          {WM::pinnedWindowsKey, QVariantMap{{"7", "A"}, {"12", qint64(3)}}}},
         R"({"hiddenWindows":{"7":"A","12":"A"},"pinnedWindows":{"7":"A"}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StateFixture f;
        const auto a = f.t.desktop.launchApp(QStringLiteral("A"), QStringLiteral("A"));
        const auto finder = f.t.desktop.launchApp(kFinder, QStringLiteral("Finder"));
        for (const auto& [number, owner] : {std::pair{7U, a}, {12U, a}, {13U, finder}}) {
            platform::sim::SimDesktop::WindowSpec window;
            window.owner = owner;
            window.number = number;
            f.t.desktop.addWindow(window);
        }
        f.startMeetingShare();
        for (auto it = c.stored.cbegin(); it != c.stored.cend(); ++it) {
            f.store(it.key(), it.value());
        }
        const QVariantMap before = f.stored();
        f.start(false);
        QJsonObject expected = defaults;
        const QJsonObject changes = object(c.changes);
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            expected.insert(it.key(), it.value());
        }
        EXPECT_EQ(loaded(f, before), json(expected));
    }
}

TEST(WindowManagerLoading, ABadEntryOfAListOrMapStaysInTheFileUntilThatSettingIsNextSaved)
{
    // Loading skips it and writes nothing; saving the setting writes what the app uses, which the
    // README says the same way.
    StateFixture f;
    const auto a = f.t.desktop.launchApp(QStringLiteral("A"), QStringLiteral("A"));
    platform::sim::SimDesktop::WindowSpec window;
    window.owner = a;
    window.number = 12;
    f.t.desktop.addWindow(window);
    const QVariantMap hidden{{"12", "A"}, {"x", "B"}};
    const QVariantMap pinned{{"12", "A"}, {"7", qint64(3)}};
    const QVariantList apps{"B", qint64(5)};
    f.store(WM::hiddenWindowsKey, hidden);
    f.store(WM::pinnedWindowsKey, pinned);
    f.store(WM::hiddenKey, apps);
    WindowManager& manager = f.start();
    EXPECT_EQ(manager.hiddenWindows(), (WM::WindowMap{{12, "A"}}));
    EXPECT_EQ(manager.pinnedWindows(), (WM::WindowMap{{12, "A"}}));
    EXPECT_EQ(manager.hiddenBundleIDs(), QSet<QString>{"B"});
    EXPECT_EQ(f.stored().value(WM::hiddenWindowsKey), hidden);
    EXPECT_EQ(f.stored().value(WM::pinnedWindowsKey), pinned);
    EXPECT_EQ(f.stored().value(WM::hiddenKey), apps);

    manager.toggleWindowHidden(12, QStringLiteral("A"));
    manager.toggleWindowPinned(12, QStringLiteral("A"));
    EXPECT_EQ(f.stored().value(WM::hiddenWindowsKey), QVariantMap());
    EXPECT_EQ(f.stored().value(WM::pinnedWindowsKey), QVariantMap());
    manager.toggleHidden(QStringLiteral("B"));
    EXPECT_EQ(f.stored().value(WM::hiddenKey).toList(), QVariantList());
}
