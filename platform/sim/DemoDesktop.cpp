#include "platform/sim/DemoDesktop.h"

#include "platform/BoundedRead.h"
#include "platform/sim/SimDesktop.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <vector>

namespace platform::sim {

namespace {

constexpr qint64 kDockLevel = 20;
constexpr qint64 kNotificationLevel = 23;
constexpr qint64 kMainMenuLevel = 24;

SimDesktop::WindowSpec
windowSpec(pid_type owner, const QString& title, const QRectF& bounds, const QColor& color)
{
    SimDesktop::WindowSpec setup;
    setup.owner = owner;
    setup.title = title;
    setup.bounds = bounds;
    setup.color = color;
    return setup;
}

pid_type launch(SimDesktop& desktop,
                const char* bundleID,
                const char* name,
                ActivationPolicy policy,
                const QImage& icon = QImage())
{
    SimDesktop::AppSpec setup;
    setup.bundleID = QString::fromLatin1(bundleID);
    setup.name = QString::fromUtf8(name);
    setup.policy = policy;
    setup.icon = icon;
    return desktop.launchApp(setup);
}

// A plain app icon: the app's initial on a rounded tile of its colour.
QImage appIcon(const QColor& color, QChar initial)
{
    constexpr int kSide = 64;
    QImage icon(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(4, 4, kSide - 8, kSide - 8), 13, 13);
    painter.fillPath(tile, color);
    QFont font = painter.font();
    font.setPixelSize(30);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(color.lightness() > 160 ? QColor(0x20, 0x20, 0x20) : QColor(Qt::white));
    painter.drawText(QRectF(0, 0, kSide, kSide), Qt::AlignCenter, QString(initial));
    return icon;
}

} // namespace

void populateDemoDesktop(SimDesktop& desktop)
{
    SimDesktop::DisplaySpec display;
    display.name = QStringLiteral("Built-in Retina Display");
    display.frame = QRectF(0, 0, 1512, 982);
    display.backingScale = 2.0;
    desktop.addDisplay(display);

    struct DemoApp
    {
        const char* bundleID = nullptr;
        const char* name = nullptr;
        const char* windowTitle = nullptr;
        QRectF bounds;
        QColor color;
    };
    const DemoApp apps[] = {
        {"com.apple.finder", "Finder", "Downloads", {60, 80, 720, 460}, QColor(0x3d, 0x8b, 0xfd)},
        {"com.tinyspeck.slackmacgap",
         "Slack",
         "general - Acme",
         {140, 120, 980, 640},
         QColor(0x4a, 0x15, 0x4b)},
        {"com.apple.MobileSMS", "Messages", "Messages", {900, 160, 520, 600}, QColor(0x34, 0xc7, 0x59)},
        {"com.google.Chrome",
         "Google Chrome",
         "Quarterly plan - Google Docs",
         {240, 60, 1100, 760},
         QColor(0xf1, 0xf3, 0xf4)},
        {"us.zoom.xos", "zoom.us", "Zoom Meeting", {320, 200, 860, 540}, QColor(0x2d, 0x8c, 0xff)},
    };
    pid_type last = 0;
    for (const DemoApp& app : apps) {
        const QString name = QString::fromUtf8(app.name);
        last = launch(
            desktop, app.bundleID, app.name, ActivationPolicy::Regular, appIcon(app.color, name.at(0)));
        desktop.addWindow(windowSpec(last, QString::fromUtf8(app.windowTitle), app.bounds, app.color));
    }

    // Apps installed on disk, some of them running; the file browser shows one name with its
    // extension.
    struct InstalledApp
    {
        const char* bundleID = nullptr;
        const char* path = nullptr;
        const char* displayName = nullptr;
        QColor color;
    };
    const InstalledApp installed[] = {
        {"com.apple.finder", "/System/Library/CoreServices/Finder.app", "Finder", QColor(0x3d, 0x8b, 0xfd)},
        {"com.tinyspeck.slackmacgap", "/Applications/Slack.app", "Slack", QColor(0x4a, 0x15, 0x4b)},
        {"com.apple.MobileSMS", "/System/Applications/Messages.app", "Messages", QColor(0x34, 0xc7, 0x59)},
        {"com.microsoft.Excel",
         "/Applications/Microsoft Excel.app",
         "Microsoft Excel.app",
         QColor(0x1d, 0x6f, 0x42)},
        {"com.hnc.Discord", "/Applications/Discord.app", "Discord", QColor(0x58, 0x65, 0xf2)},
        {"org.whispersystems.signal-desktop", "/Applications/Signal.app", "Signal", QColor(0x3a, 0x76, 0xf0)},
    };
    for (const InstalledApp& app : installed) {
        const QString displayName = QString::fromUtf8(app.displayName);
        desktop.installApp({QString::fromLatin1(app.bundleID),
                            QString::fromUtf8(app.path),
                            displayName,
                            appIcon(app.color, displayName.at(0))});
    }

    // The system's own furniture, above the apps' windows.
    const double menuBar = desktop.menuBarHeight();
    const pid_type systemUI =
        launch(desktop, "com.apple.systemuiserver", "SystemUIServer", ActivationPolicy::Accessory);
    auto menu = windowSpec(
        systemUI, QStringLiteral("Menubar"), QRectF(0, 0, 1512, menuBar), QColor(0xe8, 0xe8, 0xea));
    menu.layer = kMainMenuLevel;
    desktop.addWindow(menu);
    const pid_type dock = launch(desktop, "com.apple.dock", "Dock", ActivationPolicy::Accessory);
    auto dockWindow =
        windowSpec(dock, QStringLiteral("Dock"), QRectF(356, 910, 800, 64), QColor(0x5a, 0x5e, 0x66));
    dockWindow.layer = kDockLevel;
    desktop.addWindow(dockWindow);
    const pid_type banners =
        launch(desktop, "com.apple.notificationcenterui", "Notification Center", ActivationPolicy::Accessory);
    auto banner = windowSpec(banners,
                             QStringLiteral("Messages: Dinner at 8?"),
                             QRectF(1140, 34, 360, 72),
                             QColor(0x2c, 0x2f, 0x36));
    banner.layer = kNotificationLevel;
    desktop.addWindow(banner);

    desktop.activateApp(last);
}

namespace {

class ScenarioError
{
public:
    explicit ScenarioError(QString message)
        : text(std::move(message))
    {}
    QString text;
};

QRectF readFrame(const QJsonValue& value, const QString& where)
{
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != 4) {
        throw ScenarioError(where + QStringLiteral(": \"frame\" must be [x, y, width, height]"));
    }
    double numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (!array[i].isDouble() || !std::isfinite(array[i].toDouble())) {
            throw ScenarioError(where + QStringLiteral(": \"frame\" holds something that is not a number"));
        }
        numbers[i] = array[i].toDouble();
    }
    if (numbers[2] <= 0 || numbers[3] <= 0 || std::abs(numbers[0]) > 1e6 || std::abs(numbers[1]) > 1e6
        || numbers[2] > 1e5 || numbers[3] > 1e5) {
        throw ScenarioError(where + QStringLiteral(": \"frame\" is not a sensible rectangle"));
    }
    return {numbers[0], numbers[1], numbers[2], numbers[3]};
}

QColor readColor(const QJsonObject& object, const QString& key, const QColor& fallback, const QString& where)
{
    if (!object.contains(key)) {
        return fallback;
    }
    const QColor color = QColor::fromString(object.value(key).toString());
    if (!object.value(key).isString() || !color.isValid()) {
        throw ScenarioError(where + QStringLiteral(": \"%1\" is not a colour such as \"#336699\"").arg(key));
    }
    return color;
}

double readNumber(const QJsonObject& object,
                  const QString& key,
                  double fallback,
                  double low,
                  double high,
                  const QString& where)
{
    if (!object.contains(key)) {
        return fallback;
    }
    const QJsonValue value = object.value(key);
    if (!value.isDouble() || !(value.toDouble() >= low && value.toDouble() <= high)) {
        throw ScenarioError(
            where + QStringLiteral(": \"%1\" must be a number from %2 to %3").arg(key).arg(low).arg(high));
    }
    return value.toDouble();
}

bool readBool(const QJsonObject& object, const QString& key, bool fallback, const QString& where)
{
    if (!object.contains(key)) {
        return fallback;
    }
    if (!object.value(key).isBool()) {
        throw ScenarioError(where + QStringLiteral(": \"%1\" must be true or false").arg(key));
    }
    return object.value(key).toBool();
}

// The texts cut to kMaxScenarioText characters, for one line on the log.
struct CutTexts
{
    int count = 0;
    QString first;
};

QString readString(const QJsonObject& object, const QString& key, const QString& where, CutTexts& cut)
{
    const QJsonValue value = object.value(key);
    if (!value.isString() || value.toString().isEmpty()) {
        throw ScenarioError(where + QStringLiteral(": \"%1\" must be a non-empty string").arg(key));
    }
    QString text = value.toString();
    if (text.size() > kMaxScenarioText) {
        // Never between the two halves of a character outside the basic plane.
        qsizetype length = kMaxScenarioText;
        if (text.at(length - 1).isHighSurrogate()) {
            --length;
        }
        text.truncate(length);
        if (cut.count++ == 0) {
            cut.first = QStringLiteral("%1 \"%2\"").arg(where.left(kMaxScenarioText), key);
        }
    }
    return text;
}

QJsonArray readArray(const QJsonObject& object, const QString& key, const QString& where)
{
    if (!object.contains(key)) {
        return {};
    }
    if (!object.value(key).isArray()) {
        throw ScenarioError(where + QStringLiteral(": \"%1\" must be an array").arg(key));
    }
    return object.value(key).toArray();
}

QJsonObject readObject(const QJsonValue& value, const QString& where)
{
    if (!value.isObject()) {
        throw ScenarioError(where + QStringLiteral(" must be an object"));
    }
    return value.toObject();
}

struct ScenarioApp
{
    SimDesktop::AppSpec setup;
    bool active = false;
    std::vector<SimDesktop::WindowSpec> windows;
};

} // namespace

std::optional<QString> loadDesktopScenario(SimDesktop& desktop, const QByteArray& json)
{
    QString parseError;
    const auto document = parseJson(json, &parseError);
    if (!document) {
        return QStringLiteral("not JSON: %1").arg(parseError);
    }
    CutTexts cut;
    try {
        const QJsonObject root =
            readObject(document->isObject() ? QJsonValue(document->object()) : QJsonValue(),
                       QStringLiteral("the scenario"));
        const QString top = QStringLiteral("the scenario");
        const double menuBar =
            readNumber(root, QStringLiteral("menuBarHeight"), desktop.menuBarHeight(), 0, 200, top);
        const bool permission = readBool(root, QStringLiteral("screenRecordingPermission"), true, top);

        std::vector<SimDesktop::DisplaySpec> displays;
        const QJsonArray displayArray = readArray(root, QStringLiteral("displays"), top);
        for (qsizetype i = 0; i < displayArray.size(); ++i) {
            const QString where = QStringLiteral("display %1").arg(i + 1);
            const QJsonObject object = readObject(displayArray[i], where);
            SimDesktop::DisplaySpec setup;
            if (object.contains(QStringLiteral("name"))) {
                setup.name = readString(object, QStringLiteral("name"), where, cut);
            }
            setup.frame = readFrame(object.value(QStringLiteral("frame")), where);
            setup.backingScale = readNumber(object, QStringLiteral("scale"), 2.0, 1.0, 4.0, where);
            // Every frame of a display is captured whole, so its pixel size bounds the memory
            // each capture takes.
            if (setup.frame.width() * setup.backingScale > kMaxDisplayPixels
                || setup.frame.height() * setup.backingScale > kMaxDisplayPixels) {
                throw ScenarioError(where
                                    + QStringLiteral(": %1 × %2 points at scale %3 is larger than the "
                                                     "largest display supported, %4 × %4 pixels")
                                          .arg(setup.frame.width())
                                          .arg(setup.frame.height())
                                          .arg(setup.backingScale)
                                          .arg(kMaxDisplayPixels));
            }
            setup.desktopColor = readColor(object, QStringLiteral("wallpaper"), setup.desktopColor, where);
            displays.push_back(setup);
        }
        if (displays.empty()) {
            throw ScenarioError(QStringLiteral("the scenario has no display"));
        }

        std::vector<ScenarioApp> apps;
        const QJsonArray appArray = readArray(root, QStringLiteral("apps"), top);
        for (qsizetype i = 0; i < appArray.size(); ++i) {
            QString where = QStringLiteral("app %1").arg(i + 1);
            const QJsonObject object = readObject(appArray[i], where);
            ScenarioApp app;
            app.setup.bundleID = readString(object, QStringLiteral("bundleID"), where, cut);
            where = *app.setup.bundleID;
            app.setup.name = readString(object, QStringLiteral("name"), where, cut);
            const QString policy = object.value(QStringLiteral("policy")).toString(QStringLiteral("regular"));
            if (policy == QLatin1String("regular")) {
                app.setup.policy = ActivationPolicy::Regular;
            } else if (policy == QLatin1String("accessory")) {
                app.setup.policy = ActivationPolicy::Accessory;
            } else if (policy == QLatin1String("prohibited")) {
                app.setup.policy = ActivationPolicy::Prohibited;
            } else {
                throw ScenarioError(
                    where + QStringLiteral(": \"policy\" must be regular, accessory or prohibited"));
            }
            app.active = readBool(object, QStringLiteral("active"), false, where);
            if (app.active && app.setup.policy == ActivationPolicy::Prohibited) {
                throw ScenarioError(where + QStringLiteral(": a prohibited app cannot be \"active\""));
            }
            const QJsonArray windowArray = readArray(object, QStringLiteral("windows"), where);
            for (qsizetype w = 0; w < windowArray.size(); ++w) {
                const QString windowWhere = where + QStringLiteral(" window %1").arg(w + 1);
                const QJsonObject windowObject = readObject(windowArray[w], windowWhere);
                SimDesktop::WindowSpec setup;
                if (windowObject.contains(QStringLiteral("title"))) {
                    setup.title = readString(windowObject, QStringLiteral("title"), windowWhere, cut);
                }
                setup.bounds = readFrame(windowObject.value(QStringLiteral("frame")), windowWhere);
                setup.color = readColor(windowObject, QStringLiteral("color"), setup.color, windowWhere);
                setup.layer = static_cast<qint64>(readNumber(
                    windowObject, QStringLiteral("layer"), 0, -2147483648.0, 2147483647.0, windowWhere));
                setup.alpha = readNumber(windowObject, QStringLiteral("alpha"), 1.0, 0.0, 1.0, windowWhere);
                setup.onScreen = readBool(windowObject, QStringLiteral("onScreen"), true, windowWhere);
                setup.sharingState = static_cast<qint64>(
                    readNumber(windowObject, QStringLiteral("sharing"), 1, 0, 2, windowWhere));
                app.windows.push_back(setup);
            }
            apps.push_back(std::move(app));
        }

        desktop.setMenuBarHeight(menuBar);
        desktop.setScreenRecordingPermission(permission);
        for (const auto& display : displays) {
            desktop.addDisplay(display);
        }
        std::optional<pid_type> active;
        for (auto& app : apps) {
            const pid_type pid = desktop.launchApp(app.setup);
            for (auto& window : app.windows) {
                window.owner = pid;
                desktop.addWindow(window);
            }
            if (app.active) {
                active = pid;
            }
        }
        if (active) {
            desktop.activateApp(*active);
        }
    } catch (const ScenarioError& error) {
        return error.text;
    }
    if (cut.count > 0) {
        qWarning("Desktop scenario: %d names or titles were longer than %lld characters and were cut "
                 "to that length (the first: %s)",
                 cut.count,
                 static_cast<long long>(kMaxScenarioText),
                 qUtf8Printable(cut.first));
    }
    return std::nullopt;
}

void populateDesktop(SimDesktop& desktop)
{
    const QString path = qEnvironmentVariable(kDesktopScenarioVariable);
    if (path.isEmpty()) {
        populateDemoDesktop(desktop);
        return;
    }
    const FileContents file = readRegularFile(path, kMaxScenarioBytes);
    const std::optional<QString> error =
        file.isRead() ? loadDesktopScenario(desktop, file.bytes) : file.error;
    if (error) {
        qWarning("Desktop scenario %s could not be used (%s); starting with the demo desktop",
                 qUtf8Printable(path),
                 qUtf8Printable(*error));
        populateDemoDesktop(desktop);
    }
}

} // namespace platform::sim
