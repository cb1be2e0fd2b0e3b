// The simulated desktop: window server, applications, screens, scenario files, virtual displays
// and the viewer that shows them.
#include "platform/sim/SimDesktop.h"

#include "platform/Geometry.h"
#include "platform/Services.h"
#include "platform/Values.h"
#include "platform/VirtualDisplay.h"
#include "platform/Window.h"
#include "platform/sim/DemoDesktop.h"
#include "platform/sim/DesktopViewer.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "platform/sim/VirtualScheduler.h"
#include "tests/platform/DesktopViews.h"
#include "tests/support/DamagedInput.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

using namespace platform;
using platform::sim::SimDesktop;

namespace {

// A desktop with its built-in display, virtual displays and a count of screen changes.
struct VirtualRig
{
    VirtualRig()
        : displays(desktop, scheduler)
    {
        desktop.addDisplay();
        changes = desktop.defaultCenter().addObserver(kApplicationDidChangeScreenParameters,
                                                      [this](const Notification&) { ++screenChanges; });
    }

    std::unique_ptr<CGVirtualDisplay> publish()
    {
        CGVirtualDisplayDescriptor descriptor;
        descriptor.name = QStringLiteral("Veilmox");
        descriptor.maxPixelsWide = 3024;
        descriptor.maxPixelsHigh = 1964;
        auto display = displays.createVirtualDisplay(descriptor);
        CGVirtualDisplaySettings settings;
        settings.modes = {*displays.createMode(1512, 982, 30), *displays.createMode(3024, 1964, 30)};
        settings.hiDPI = true;
        EXPECT_TRUE(display->applySettings(settings));
        return display;
    }

    SimDesktop desktop;
    sim::VirtualScheduler scheduler;
    sim::SimVirtualDisplays displays;
    Cancellable changes;
    int screenChanges = 0;
};

// The numbers of the windows on screen, front to back, as the window list answers.
QList<quint32> onScreenNumbers(const SimDesktop& desktop)
{
    const auto list = desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, 0);
    QList<quint32> all;
    for (const WindowDescription& d : list.value_or(QList<WindowDescription>())) {
        all.append(uint32Value(d.value(kCGWindowNumber)).value_or(0));
    }
    return all;
}

// The colour a viewer's picture of a 1512 x 982 point display shows at a point of it.
QColor shownAt(const sim::DesktopViewer& viewer, quint32 display, QPointF point)
{
    const QImage picture = viewer.picture(display);
    return picture.pixelColor((point.x() / 1512 * picture.width()), (point.y() / 982 * picture.height()));
}

} // namespace

TEST(SimDesktop, WindowListIsFrontToBackHonoursTheOptionsAndTellsFailuresFromEmptyAnswers)
{
    SimDesktop desktop;
    EXPECT_TRUE(desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, 0)->isEmpty());
    desktop.addDisplay();
    const auto pid = desktop.launchApp(QStringLiteral("com.example.A"), QStringLiteral("A"));
    const auto back = desktop.addWindow(pid, QStringLiteral("back"));
    const auto front = desktop.addWindow(pid, QStringLiteral("front"));
    SimDesktop::WindowSpec wallpaper;
    wallpaper.owner = pid;
    wallpaper.layer = -2147483624;
    desktop.addWindow(wallpaper);
    const auto minimised = desktop.addWindow(pid, QStringLiteral("min"));
    desktop.setWindowOnScreen(minimised, false);
    desktop.orderFront(front);

    const auto list = desktop.copyWindowInfo(
        kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2);
    EXPECT_EQ(uint32Value(list->at(0).value(kCGWindowNumber)), front);
    EXPECT_EQ(uint32Value(list->at(1).value(kCGWindowNumber)), back);
    EXPECT_EQ(list->at(0).value(kCGWindowOwnerName).toString(), QStringLiteral("A"));
    EXPECT_EQ(rectFromDictionary(list->at(0).value(kCGWindowBounds)), QRectF(100, 100, 800, 600));
    EXPECT_EQ(desktop.copyWindowInfo(kCGWindowListOptionAll, kCGNullWindowID)->size(), 4);
    const auto described = desktop.createDescriptionFromArray({minimised, 9999, back});
    ASSERT_EQ(described->size(), 2);
    EXPECT_FALSE(described->at(0).contains(kCGWindowIsOnscreen));

    desktop.setWindowListFails(true);
    EXPECT_FALSE(desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, 0));
    desktop.setDescriptionQueryFails(true);
    EXPECT_FALSE(desktop.createDescriptionFromArray({back}));
}

TEST(SimDesktop, AWindowListAnsweredAgainFollowsEveryChangeAsDoTheWindowsInOrder)
{
    // The list and the windows in order are kept between changes; each change must show.
    SimDesktop desktop;
    desktop.addDisplay();
    const auto pid = desktop.launchApp(QStringLiteral("com.example.A"), QStringLiteral("A"));
    const auto other = desktop.launchApp(QStringLiteral("com.example.B"), QStringLiteral("B"));
    const auto window = desktop.addWindow(pid, QStringLiteral("w"), QRectF(0, 0, 100, 100));
    const auto behind = desktop.addWindow(other, QStringLiteral("b"), QRectF(50, 50, 100, 100));
    desktop.orderFront(window);
    const auto list = [&desktop] {
        return *desktop.copyWindowInfo(kCGWindowListOptionOnScreenOnly, 0);
    };
    const auto entry = [&list](quint32 number, const QString& key) {
        for (const WindowDescription& d : list()) {
            if (uint32Value(d.value(kCGWindowNumber)) == number) {
                return d.value(key);
            }
        }
        return QVariant();
    };
    const auto numbers = [&desktop] {
        return onScreenNumbers(desktop);
    };
    struct Case
    {
        const char* change;
        std::function<void()> act;
        std::function<bool()> shows;
    };
    const Case cases[] = {
        {"moved",
         [&] { desktop.setWindowBounds(window, QRectF(10, 20, 100, 100)); },
         [&] {
             return rectFromDictionary(entry(window, kCGWindowBounds)) == QRectF(10, 20, 100, 100);
         }},
        {"renamed",
         [&] { desktop.setWindowTitle(window, QStringLiteral("renamed")); },
         [&] {
             return entry(window, kCGWindowName).toString() == QStringLiteral("renamed");
         }},
        {"faded",
         [&] { desktop.setWindowAlpha(window, 0.5); },
         [&] {
             return entry(window, kCGWindowAlpha).toDouble() == 0.5;
         }},
        {"kept from captures",
         [&] { desktop.setWindowSharingType(window, WindowSharingType::None); },
         [&] {
             return entry(window, kCGWindowSharingState).toInt() == 0;
         }},
        {"described otherwise",
         [&] {
             desktop.overrideDescription(window, {{kCGWindowOwnerPID, QVariant()}});
         },
         [&] {
             return !entry(window, kCGWindowNumber).isNull() && entry(window, kCGWindowOwnerPID).isNull();
         }},
        {"raised a level",
         [&] { desktop.setWindowLevel(behind, 3); },
         [&] {
             return numbers() == QList<quint32>{behind, window};
         }},
        {"ordered front",
         [&] { desktop.setWindowLevel(behind, 0), desktop.orderFront(window); },
         [&] {
             return numbers() == QList<quint32>{window, behind};
         }},
        {"its app hidden",
         [&] { desktop.runningApplication(other)->hide(); },
         [&] {
             return numbers() == QList<quint32>{window};
         }},
        {"its app shown",
         [&] { desktop.runningApplication(other)->unhide(); },
         [&] {
             return numbers() == QList<quint32>{window, behind};
         }},
        {"minimised",
         [&] { desktop.setWindowOnScreen(window, false); },
         [&] {
             return numbers() == QList<quint32>{behind};
         }},
        {"a window added",
         [&] { desktop.addWindow(pid, QStringLiteral("new"), QRectF(0, 0, 10, 10)); },
         [&] {
             return numbers().size() == 2 && numbers().back() == behind;
         }},
        {"its app ended",
         [&] { desktop.terminateApp(other); },
         [&] {
             return !numbers().contains(behind);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        list(); // read, so that an answer is kept
        c.act();
        EXPECT_TRUE(c.shows());
        // The windows in order, as drawing reads them, agree with the window server's answers.
        QList<quint32> ordered;
        for (const auto& w : desktop.orderedWindows()) {
            ordered.append(w.number);
            EXPECT_EQ(w.onScreen, desktop.isWindowOnScreen(w.number));
            EXPECT_EQ(w.setup->bounds, desktop.window(w.number)->bounds);
        }
        EXPECT_EQ(ordered, desktop.windowOrder());
    }
}

// An activation brings the app's windows in front of other apps' on their levels, before anyone
// is told of it, and the pictures are drawn again where the stacking changed.
TEST(SimDesktop, ActivatingAnAppBringsItsFrontWindowInFrontOfOtherAppsWindowsOnItsLevel)
{
    SimDesktop desktop;
    desktop.addDisplay();
    const auto a = desktop.launchApp(QStringLiteral("com.example.A"), QStringLiteral("A"));
    const auto b = desktop.launchApp(QStringLiteral("com.example.B"), QStringLiteral("B"));
    const auto aBack = desktop.addWindow(a, QStringLiteral("a back"), QRectF(0, 0, 200, 200));
    const auto aFront = desktop.addWindow(a, QStringLiteral("a front"), QRectF(50, 50, 200, 200));
    const auto bWindow = desktop.addWindow(b, QStringLiteral("b"), QRectF(100, 100, 200, 200));
    SimDesktop::WindowSpec palette;
    palette.owner = b;
    palette.bounds = QRectF(150, 150, 50, 50);
    palette.layer = 3;
    const auto bPalette = desktop.addWindow(palette);
    desktop.activateApp(b);
    const auto numbers = [&desktop] {
        return onScreenNumbers(desktop);
    };
    ASSERT_EQ(numbers(), (QList<quint32>{bPalette, bWindow, aFront, aBack}));
    QList<quint32> whenTold;
    const Cancellable told = desktop.notificationCenter().addObserver(
        kWorkspaceDidActivateApplication, [&](const Notification&) { whenTold = numbers(); });

    quint64 serial = desktop.damageSerial();
    ASSERT_TRUE(desktop.runningApplication(a)->activate());
    const QList<quint32> activated{bPalette, aFront, bWindow, aBack};
    EXPECT_EQ(numbers(), activated) << "the front window alone, under the higher level";
    EXPECT_EQ(whenTold, activated);
    EXPECT_EQ(desktop.windowOrder(), activated);
    EXPECT_TRUE(desktop.damageSince(serial).value_or(QRegion()).contains(QPoint(120, 120)))
        << "drawn again where A's window now covers B's";

    serial = desktop.damageSerial();
    desktop.runningApplication(a)->activate();
    EXPECT_EQ(numbers(), activated) << "an app in front stays as it is";
    EXPECT_EQ(desktop.damageSerial(), serial);

    // With every window, the app's windows keep their order among themselves.
    desktop.activateApp(b);
    desktop.runningApplication(a)->hide();
    ASSERT_TRUE(desktop.runningApplication(a)->activate({.allWindows = true}));
    EXPECT_FALSE(desktop.runningApplication(a)->isHidden());
    EXPECT_EQ(numbers(), (QList<quint32>{bPalette, aFront, aBack, bWindow}));

    // A background-only app cannot be activated: the call says so, and nothing moves.
    SimDesktop::AppSpec agent;
    agent.bundleID = QStringLiteral("com.example.agent");
    agent.name = QStringLiteral("Agent");
    agent.policy = ActivationPolicy::Prohibited;
    const auto background = desktop.launchApp(agent);
    serial = desktop.damageSerial();
    EXPECT_FALSE(desktop.runningApplication(background)->activate());
    desktop.activateApp(background);
    EXPECT_EQ(desktop.frontmostApplication()->processIdentifier(), a);
    EXPECT_EQ(desktop.damageSerial(), serial);
}

// A window server composes the stacking it has when it draws: windows ordered in front by turns
// that end as they began draw nothing, and a stacking that did change is drawn again only where
// windows now lie the other way round, for the pictures that show both.
TEST(SimDesktop, OrderChangesThatEndWhereTheyBeganDrawNothing)
{
    VirtualRig rig;
    SimDesktop& desktop = rig.desktop;
    const quint32 display = desktop.mainDisplayID();
    const auto a = desktop.launchApp(QStringLiteral("com.example.A"), QStringLiteral("A"));
    const auto b = desktop.launchApp(QStringLiteral("com.example.B"), QStringLiteral("B"));
    const auto window = [&desktop](pid_type owner, QRectF bounds, QColor colour) {
        SimDesktop::WindowSpec setup;
        setup.owner = owner;
        setup.bounds = bounds;
        setup.color = colour;
        return desktop.addWindow(setup);
    };
    const quint32 aWindow = window(a, QRectF(0, 100, 400, 400), Qt::red);
    const quint32 bWindow = window(b, QRectF(200, 300, 400, 400), Qt::blue);
    const quint32 apart = window(a, QRectF(1000, 100, 200, 200), Qt::green);
    sim::DesktopViewer viewer(desktop, rig.scheduler);
    viewer.resize(900, 400);
    viewer.show();
    viewer.refresh();
    const auto at = [&viewer, display](QPointF point) {
        return shownAt(viewer, display, point);
    };
    const QPointF overlap(300, 400);
    ASSERT_EQ(at(overlap), QColor(Qt::blue));
    const qint64 drawn = viewer.picture(display).cacheKey();
    const quint64 serial = desktop.damageSerial();

    desktop.orderFront(aWindow);
    desktop.orderFront(apart);
    desktop.orderFront(bWindow);
    rig.scheduler.advance(3 * sim::DesktopViewer::kMinimumRefreshInterval);
    EXPECT_EQ(desktop.damageSince(serial), QRegion());
    EXPECT_EQ(desktop.damageSerial(), serial) << "nothing to draw";
    EXPECT_EQ(viewer.picture(display).cacheKey(), drawn);

    desktop.orderFront(aWindow);
    const QRegion crossing(200, 300, 200, 200);
    EXPECT_EQ(desktop.damageSince(serial), crossing) << "where the windows overlap, not all of A";
    SimDesktop::DamageScope withoutB;
    withoutB.shows = [b](quint32 /*number*/, pid_type owner) {
        return owner != b;
    };
    EXPECT_EQ(desktop.damageSince(serial, withoutB), QRegion()) << "a picture that leaves B out";
    rig.scheduler.advance(3 * sim::DesktopViewer::kMinimumRefreshInterval);
    EXPECT_EQ(at(overlap), QColor(Qt::red));
    EXPECT_GT(desktop.damageSerial(), serial);
    EXPECT_EQ(desktop.damageSince(serial), crossing) << "as the viewer drew it";
    EXPECT_EQ(desktop.damageSince(desktop.damageSerial()), QRegion());
}

TEST(DesktopScenario, BuildsTheDesktopItDescribes)
{
    SimDesktop desktop;
    const auto error = sim::loadDesktopScenario(desktop, R"({
        "menuBarHeight": 30, "screenRecordingPermission": false,
        "displays": [{"name": "Studio Display", "frame": [0, 0, 2560, 1440], "scale": 2, "wallpaper": "#102030"},
                     {"frame": [2560, 0, 1920, 1080], "scale": 1}],
        "apps": [{"bundleID": "com.example.editor", "name": "Editor", "active": true,
                  "windows": [{"title": "notes.txt", "frame": [100, 100, 800, 600], "color": "#336699"},
                              {"frame": [50, 50, 200, 100], "onScreen": false, "sharing": 0, "layer": 3, "alpha": 0.5}]},
                 {"bundleID": "com.apple.dock", "name": "Dock", "policy": "accessory"}]
    })");
    ASSERT_FALSE(error) << error->toStdString();
    EXPECT_EQ(desktop.menuBarHeight(), 30);
    EXPECT_FALSE(desktop.screenRecordingPermission());
    const auto screens = desktop.screens();
    ASSERT_EQ(screens.size(), 2);
    EXPECT_EQ(screens[0].localizedName, QStringLiteral("Studio Display"));
    EXPECT_EQ(screens[1].frame, QRectF(2560, 0, 1920, 1080));
    EXPECT_EQ(screens[1].backingScaleFactor, 1.0);
    EXPECT_EQ(desktop.display(*screens[0].displayID())->desktopColor, QColor(0x10, 0x20, 0x30));

    const auto apps = desktop.runningApplications();
    ASSERT_EQ(apps.size(), 3); // after this program
    EXPECT_EQ(apps[1]->bundleIdentifier(), QStringLiteral("com.example.editor"));
    EXPECT_TRUE(apps[1]->isActive());
    EXPECT_EQ(apps[2]->activationPolicy(), ActivationPolicy::Accessory);
    const auto order = desktop.windowOrder();
    ASSERT_EQ(order.size(), 2);
    const auto panel = *desktop.window(order[0]);
    EXPECT_EQ(std::make_tuple(panel.layer, panel.sharingState, panel.onScreen, panel.alpha),
              std::make_tuple(qint64(3), qint64(0), false, std::optional<double>(0.5)));
    const auto notes = *desktop.window(order[1]);
    EXPECT_EQ(std::make_tuple(notes.title, notes.color, notes.owner),
              std::make_tuple(std::optional<QString>(QStringLiteral("notes.txt")),
                              QColor(0x33, 0x66, 0x99),
                              apps[1]->processIdentifier()));
}

TEST(DesktopScenario, TextsPastTheLimitAreCutWithOneMessage)
{
    // 255 characters, then one outside the basic plane: cut before it, not between its halves.
    const QString title = QString(255, QLatin1Char('t')) + QStringLiteral("\U0001F600 and more");
    const QJsonObject window{{"title", title}, {"frame", QJsonArray{0, 0, 100, 100}}};
    const QJsonObject app{
        {"bundleID", "a.b"}, {"name", QString(1000, QLatin1Char('n'))}, {"windows", QJsonArray{window}}};
    const QJsonObject root{{"displays", QJsonArray{QJsonObject{{"frame", QJsonArray{0, 0, 100, 100}}}}},
                           {"apps", QJsonArray{app}}};
    SimDesktop desktop;
    const testing_support::LogRecorder log;
    ASSERT_FALSE(sim::loadDesktopScenario(desktop, QJsonDocument(root).toJson()));
    EXPECT_EQ(desktop.runningApplications().at(1)->localizedName(), QString(256, QLatin1Char('n')));
    EXPECT_EQ(desktop.window(desktop.windowOrder().at(0))->title, QString(255, QLatin1Char('t')));
    ASSERT_EQ(log.messages().size(), 1);
    EXPECT_TRUE(
        log.messages()[0].contains(QStringLiteral("2 names or titles were longer than 256 characters")))
        << log.messages()[0].toStdString();
}

TEST(DesktopScenario, AScenarioThatDoesNotReadChangesNothing)
{
    struct Case
    {
        const char* json;
        const char* says;
    };
    const Case cases[] = {
        {"{", "not JSON"},
        {"[]", "must be an object"},
        {R"({"apps": []})", "no display"},
        {R"({"displays": [{"frame": [0, 0, 100]}]})", "frame"},
        {R"({"displays": [{"frame": [0, 0, -5, 10]}]})", "frame"},
        {R"({"displays": [{"frame": [0, 0, 100, 100], "scale": "2"}]})", "scale"},
        {R"({"displays": [{"frame": [0, 0, 100, 100], "wallpaper": "blurple"}]})", "wallpaper"},
        {R"({"displays": [{"frame": [0, 0, 100, 100]}], "apps": [{"name": "No id"}]})", "bundleID"},
        {R"({"displays": [{"frame": [0, 0, 100, 100]}], "apps": [{"bundleID": "a.b", "name": "A", "policy": "x"}]})",
         "policy"},
        {R"({"displays": [{"frame": [0, 0, 100, 100]}],
             "apps": [{"bundleID": "a.b", "name": "A", "policy": "prohibited", "active": true}]})",
         "active"},
        {R"({"displays": [{"frame": [0, 0, 100, 100]}],
             "apps": [{"bundleID": "a.b", "name": "A", "windows": [{"frame": [0, 0, 9, 9], "sharing": 7}]}]})",
         "sharing"},
    };
    for (const Case& c : cases) {
        SimDesktop desktop;
        const auto error = sim::loadDesktopScenario(desktop, c.json);
        ASSERT_TRUE(error) << c.json;
        EXPECT_TRUE(error->contains(QString::fromUtf8(c.says))) << error->toStdString();
        EXPECT_TRUE(desktop.screens().isEmpty());
        EXPECT_EQ(desktop.runningApplications().size(), 1) << "only this program";
        EXPECT_TRUE(desktop.windowOrder().isEmpty());
    }
}

// A scenario file that cannot be used never stops the start: the demo desktop comes up and one
// line on the log says why.
TEST(DesktopScenario, AFileThatCannotBeUsedLeavesTheDemoDesktopAndOneMessage)
{
    QTemporaryDir dir(testing_support::temporaryFolderTemplate(QStringLiteral("scenario")));
    const auto write = [&dir](const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(QString::fromUtf8(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    };
    const QString fifo = dir.filePath(QStringLiteral("fifo.json"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Case
    {
        QString path;
        const char* says;
    };
    const Case cases[] = {
        {fifo, "not a regular file"},
        {QStringLiteral("/dev/zero"), "not a regular file"},
        {write("huge.json", R"({"displays": [{"frame": [0, 0, 100000, 100000], "scale": 4}]})"),
         "display 1: 100000 × 100000 points at scale 4 is larger than the largest display supported, "
         "8192 × 8192 pixels"},
        {write("big.json",
               QByteArray(sim::kMaxScenarioBytes, ' ') + R"({"displays": [{"frame": [0, 0, 9, 9]}]})"),
         "larger than the 4 MiB limit"},
        {write("deep.json", QByteArray(100'000, '[') + QByteArray(100'000, ']')),
         "nested deeper than 64 levels"},
        {dir.filePath(QStringLiteral("missing.json")), "No such file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        qputenv(sim::kDesktopScenarioVariable, QFile::encodeName(c.path));
        SimDesktop desktop;
        const testing_support::LogRecorder log;
        sim::populateDesktop(desktop);
        qunsetenv(sim::kDesktopScenarioVariable);

        ASSERT_EQ(desktop.screens().size(), 1);
        EXPECT_EQ(desktop.screens()[0].localizedName, QStringLiteral("Built-in Retina Display"));
        ASSERT_EQ(log.messages().size(), 1);
        EXPECT_TRUE(log.messages()[0].contains(QString::fromUtf8(c.says))) << log.messages()[0].toStdString();
        EXPECT_TRUE(log.messages()[0].contains(QStringLiteral("starting with the demo desktop")));
    }
}

TEST(SimVirtualDisplays, JoinTheScreensAfterTheirDelayAndTheViewerShowsEveryDisplayLive)
{
    VirtualRig rig;
    const quint32 builtIn = rig.desktop.mainDisplayID();
    const auto pid = rig.desktop.launchApp(QStringLiteral("com.example.a"), QStringLiteral("A"));
    const quint32 window = rig.desktop.addWindow(pid, QStringLiteral("w"), QRectF(0, 0, 756, 982));
    const QColor grey(0x80, 0x80, 0x80);
    const QColor wallpaper = SimDesktop::DisplaySpec().desktopColor;

    sim::DesktopViewer viewer(rig.desktop, rig.scheduler);
    viewer.showAllDisplays();
    viewer.resize(900, 400);
    viewer.show();
    viewer.refresh();
    EXPECT_EQ(viewer.displayIDs(), QList<quint32>{builtIn});
    EXPECT_TRUE(viewer.title(builtIn).startsWith(QStringLiteral("Built-in Display")));
    QImage picture = viewer.picture(builtIn);
    ASSERT_FALSE(picture.isNull());
    // Drawn at the size it is shown, with the window on the left half.
    EXPECT_LE(picture.deviceIndependentSize().width(), viewer.width());
    EXPECT_EQ(picture.pixelColor(picture.width() / 4, picture.height() / 2), grey);
    EXPECT_EQ(picture.pixelColor(picture.width() * 3 / 4, picture.height() / 2), wallpaper);

    // A virtual display released before it was registered never shows up.
    rig.publish().reset();
    rig.scheduler.advance(5);
    EXPECT_EQ(rig.desktop.screens().size(), 1);
    EXPECT_EQ(rig.screenChanges, 0);

    // Registered after its delay, it joins the screens and gets its own pane in the viewer.
    rig.displays.setRegistrationDelay(0.8);
    auto display = rig.publish();
    const quint32 id = display->displayID();
    rig.scheduler.advance(0.79);
    EXPECT_EQ(rig.desktop.screens().size(), 1);
    rig.scheduler.advance(0.01);
    const auto screens = rig.desktop.screens();
    ASSERT_EQ(screens.size(), 2);
    EXPECT_EQ(screens[1].displayID(), id);
    EXPECT_EQ(screens[1].localizedName, QStringLiteral("Veilmox"));
    EXPECT_TRUE(rig.desktop.isVirtualDisplay(id));
    EXPECT_FALSE(rig.desktop.isVirtualDisplay(builtIn));
    EXPECT_EQ(screens[1].frame, QRectF(1512, 0, 1512, 982)); // to the right of the built-in display
    EXPECT_EQ(screens[1].backingScaleFactor, 2.0);
    EXPECT_EQ(rig.screenChanges, 1);
    rig.scheduler.advance(sim::DesktopViewer::kMinimumRefreshInterval);
    ASSERT_EQ(viewer.displayIDs(), (QList<quint32>{builtIn, id}));
    EXPECT_TRUE(viewer.title(id).startsWith(QStringLiteral("Veilmox")));
    EXPECT_FALSE(viewer.picture(id).isNull()) << "redrawn by the viewer's own timer";

    // Live: a change on the desktop shows at the next refresh.
    rig.desktop.setWindowBounds(window, QRectF(756, 0, 756, 982));
    rig.scheduler.advance(sim::DesktopViewer::kMinimumRefreshInterval);
    picture = viewer.picture(builtIn);
    EXPECT_EQ(picture.pixelColor(picture.width() / 4, picture.height() / 2), wallpaper);

    // Released, it leaves the screens and the viewer.
    display.reset();
    EXPECT_EQ(rig.desktop.screens().size(), 1);
    EXPECT_EQ(rig.screenChanges, 2);
    EXPECT_TRUE(rig.displays.displays().isEmpty());
    EXPECT_EQ(viewer.displayIDs(), QList<quint32>{builtIn});
}

TEST(DesktopViewer, DrawsADisplayAgainOnlyWhenSomethingOnItChanged)
{
    VirtualRig rig;
    const quint32 display = rig.desktop.mainDisplayID();
    const auto pid = rig.desktop.launchApp(QStringLiteral("com.example.a"), QStringLiteral("A"));
    const quint32 window = rig.desktop.addWindow(pid, QStringLiteral("w"), QRectF(0, 0, 756, 982));
    // One of this program's windows, on the right half, drawn from its widget.
    Services services;
    services.screens = &rig.desktop;
    services.appWindows = &rig.desktop;
    Window own(
        services, QRectF(1000, 400, 300, 200), kWindowStyleMaskBorderless, BackingStoreType::Buffered, false);
    auto* content = new QWidget;
    content->setAutoFillBackground(true);
    own.setContentView(content);
    const auto paint = [content](const QColor& colour) {
        QPalette palette = content->palette();
        palette.setColor(QPalette::Window, colour);
        content->setPalette(palette); // asks for a repaint
    };
    paint(Qt::red);
    own.orderFrontRegardless();

    sim::DesktopViewer viewer(rig.desktop, rig.scheduler);
    viewer.resize(900, 400);
    viewer.show();
    viewer.refresh();
    const auto at = [&viewer, display](QPointF point) {
        return shownAt(viewer, display, point);
    };
    const qint64 drawn = viewer.picture(display).cacheKey();
    EXPECT_EQ(at({1150, 500}), QColor(Qt::red));

    // A still desktop, and a pointer moving over it, are not drawn again.
    rig.desktop.mouseMoved(QPointF(300, 300));
    rig.scheduler.advance(3 * sim::DesktopViewer::kMinimumRefreshInterval);
    EXPECT_EQ(viewer.picture(display).cacheKey(), drawn);

    // A window moving shows on the next turn; one of the program's windows repainting once its
    // repaint is delivered; a change right after a drawing waits out the minimum interval.
    rig.desktop.setWindowBounds(window, QRectF(0, 0, 300, 982));
    rig.scheduler.advance(0);
    EXPECT_EQ(at({500, 500}), SimDesktop::DisplaySpec().desktopColor);
    paint(Qt::blue);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    rig.scheduler.advance(sim::DesktopViewer::kMinimumRefreshInterval / 2);
    EXPECT_EQ(at({1150, 500}), QColor(Qt::red));
    rig.scheduler.advance(sim::DesktopViewer::kMinimumRefreshInterval / 2);
    EXPECT_EQ(at({1150, 500}), QColor(Qt::blue));
    const qint64 redrawn = viewer.picture(display).cacheKey();
    rig.scheduler.advance(3 * sim::DesktopViewer::kMinimumRefreshInterval);
    EXPECT_EQ(viewer.picture(display).cacheKey(), redrawn);
}

using testing_support::PictureView;

TEST(DesktopViewer, DrawsEveryFrameThatReachesAVirtualDisplayFromTheFrameItself)
{
    VirtualRig rig;
    rig.displays.setRegistrationDelay(0);
    const auto display = rig.publish();
    rig.scheduler.advance(0);
    const quint32 veilmox = display->displayID();
    const QRectF screen = rig.desktop.display(veilmox)->frame;
    Services services;
    services.screens = &rig.desktop;
    services.appWindows = &rig.desktop;
    Window mirror(services, screen, kWindowStyleMaskBorderless, BackingStoreType::Buffered, false);
    auto* content = new QWidget; // the mirror's content view, holding the picture view
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new PictureView;
    layout->addWidget(view);
    mirror.setContentView(content);
    mirror.orderFrontRegardless();

    sim::DesktopViewer viewer(rig.desktop, rig.scheduler);
    viewer.showDisplay(QStringLiteral("Veilmox"));
    viewer.resize(900, 400);
    viewer.show();
    const auto colour = [](int n) {
        return QColor::fromHsv(n * 15, 255, 255).rgb();
    };
    const auto frame = [&colour](int n) {
        QImage picture(3024, 1008, QImage::Format_RGB32); // 3:1, so black bands above and below
        picture.fill(colour(n));
        return picture;
    };
    QSet<qint64> shown;
    for (int n = 0; n < 20; ++n) { // a second of frames
        view->show(frame(n));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        rig.scheduler.advance(0.05);
        const QImage picture = viewer.picture(veilmox);
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.pixel(picture.width() / 2, picture.height() / 2), colour(n)) << "frame " << n;
        EXPECT_EQ(picture.pixel(picture.width() / 2, 2), QColor(Qt::black).rgb());
        shown.insert(picture.cacheKey());
    }
    EXPECT_EQ(shown.size(), 20);
    // Drawn from the frame: the view was never asked to paint it.
    EXPECT_EQ(view->paints, 0);

    // No new frame, nothing drawn.
    const qint64 last = viewer.picture(veilmox).cacheKey();
    rig.scheduler.advance(1);
    EXPECT_EQ(viewer.picture(veilmox).cacheKey(), last);
}
