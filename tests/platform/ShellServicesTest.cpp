// The platform services the application shell stands on: pointer input and windows under the
// pointer, the status bar in the simulated menu bar, popovers, layers, WAV reading, the desktop
// entry, the update framework's stand-in.
#include "platform/Audio.h"
#include "platform/DesktopEntry.h"
#include "platform/Popover.h"
#include "platform/Services.h"
#include "platform/StatusBar.h"
#include "platform/Updates.h"
#include "platform/Window.h"
#include "platform/sim/SimCompositor.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimStatusBar.h"

#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace platform;
using platform::sim::SimDesktop;
using platform::sim::SimStatusBar;

namespace {

struct Desk
{
    Desk()
    {
        desktop.addDisplay();
        services.screens = &desktop;
        services.appWindows = &desktop;
        services.events = &desktop;
    }
    SimDesktop desktop;
    Services services;
};

StatusImage squareImage(double side)
{
    StatusImage image;
    image.image = QImage(static_cast<int>(side), static_cast<int>(side), QImage::Format_ARGB32_Premultiplied);
    image.image.fill(Qt::black);
    image.size = QSizeF(side, side);
    image.isTemplate = true;
    return image;
}

} // namespace

TEST(SimDesktopPointer, AMouseDownReachesTheWidgetUnderThePointerInTheFrontmostWindow)
{
    Desk d;
    Window below(d.services,
                 QRectF(100, 100, 200, 100),
                 kWindowStyleMaskBorderless,
                 BackingStoreType::Buffered,
                 false);
    Window above(d.services,
                 QRectF(150, 120, 200, 100),
                 kWindowStyleMaskBorderless,
                 BackingStoreType::Buffered,
                 false);
    auto* belowButton = new QPushButton(QStringLiteral("below"));
    auto* aboveButton = new QPushButton(QStringLiteral("above"));
    for (QPushButton* b : {belowButton, aboveButton}) {
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding); // fills its window
    }
    below.setContentView(belowButton);
    above.setContentView(aboveButton);
    below.orderFrontRegardless();
    above.orderFrontRegardless();
    QSignalSpy belowClicks(belowButton, &QPushButton::clicked);
    QSignalSpy aboveClicks(aboveButton, &QPushButton::clicked);
    QList<QPointF> monitored;
    const Cancellable monitor = d.desktop.addMouseDownMonitor([&](QPointF p) { monitored.append(p); });

    const quint64 before = d.desktop.currentEventNumber();
    d.desktop.mouseDown(QPointF(160, 130)); // both windows: the front one takes it
    d.desktop.mouseUp(QPointF(160, 130));
    d.desktop.mouseDown(QPointF(110, 110)); // only the back one
    d.desktop.mouseUp(QPointF(110, 110));
    EXPECT_EQ(aboveClicks.count(), 1);
    EXPECT_EQ(belowClicks.count(), 1);
    EXPECT_EQ(monitored, (QList<QPointF>{{160, 130}, {110, 110}}));
    EXPECT_GT(d.desktop.currentEventNumber(), before);
    EXPECT_EQ(d.desktop.mouseLocation(), QPointF(110, 110));

    above.setIgnoresMouseEvents(true); // clicks pass through it
    d.desktop.mouseDown(QPointF(160, 130));
    d.desktop.mouseUp(QPointF(160, 130));
    EXPECT_EQ(belowClicks.count(), 2);
}

TEST(SimDesktopPointer, AClickOnAnotherAppsWindowBringsThatAppToTheFront)
{
    Desk d;
    const pid_type notes = d.desktop.launchApp(QStringLiteral("com.apple.Notes"), QStringLiteral("Notes"));
    d.desktop.addWindow(notes, QStringLiteral("Notes"), QRectF(0, 100, 300, 300));
    d.desktop.activate(true);
    ASSERT_TRUE(d.desktop.isActive());
    d.desktop.mouseDown(QPointF(50, 150));
    EXPECT_EQ(d.desktop.frontmostApplication()->processIdentifier(), notes);
    EXPECT_FALSE(d.desktop.isActive());
    EXPECT_TRUE(d.desktop.setActivationPolicy(ActivationPolicy::Accessory));
    EXPECT_EQ(d.desktop.activationPolicy(), ActivationPolicy::Accessory);
}

TEST(SimStatusBar, PlacesItemsRightToLeftInTheMenuBarAtTheStatusLevel)
{
    Desk d;
    SimStatusBar bar(d.desktop);
    auto first = bar.statusItem(StatusBar::kVariableLength);
    auto second = bar.statusItem(30);
    first->button()->setImage(squareImage(16));
    const double right = 1512 - SimStatusBar::kRightMargin;
    EXPECT_EQ(first->button()->screenFrame(), QRectF(right - 24, 0, 24, 24))
        << "16 points of image and 4 each side";
    EXPECT_EQ(second->button()->screenFrame(), QRectF(right - 24 - 30, 0, 30, 24));

    const auto number = d.desktop.windowAt(QPointF(right - 12, 12));
    ASSERT_TRUE(number);
    EXPECT_EQ(d.desktop.window(*number)->layer, kStatusWindowLevel);

    int clicks = 0;
    first->button()->setAction([&] { ++clicks; });
    d.desktop.mouseDown(QPointF(right - 12, 12));
    d.desktop.mouseUp(QPointF(right - 12, 12));
    EXPECT_EQ(clicks, 1);

    first.reset();
    EXPECT_EQ(second->button()->screenFrame(), QRectF(right - 30, 0, 30, 24)) << "moves into the freed room";
}

TEST(SimStatusBar, DrawsTheTemplateImageInBlackAndTheLayersOverIt)
{
    Desk d;
    SimStatusBar bar(d.desktop);
    auto item = bar.statusItem(StatusBar::kVariableLength);
    StatusBarButton* button = item->button();
    StatusImage image = squareImage(16);
    image.image.fill(QColor(0, 200, 0)); // only its shape counts
    button->setImage(image);
    button->setWantsLayer(true);
    auto dot = std::make_unique<Layer>();
    dot->setBackgroundColor(QColor(255, 0, 0));
    dot->setFrame(QRectF(18, 18, 6, 6)); // top-right corner: the origin is at the bottom-left
    button->layer()->addSublayer(std::move(dot));

    const platform::sim::SimCompositor compositor(d.desktop);
    const QImage picture = compositor.renderDisplay(d.desktop.mainDisplayID(), QSize(1512, 982));
    const QRectF frame = *button->screenFrame();
    EXPECT_EQ(picture.pixelColor((frame.center()).toPoint()), QColor(Qt::black));
    EXPECT_EQ(picture.pixelColor(QPoint(static_cast<int>(frame.right()) - 3, 3)), QColor(255, 0, 0));
    EXPECT_NE(picture.pixelColor(QPoint(static_cast<int>(frame.right()) - 3, 20)), QColor(255, 0, 0));
}

TEST(Popover, FrameSitsBelowTheRectangleCentredAndOnTheScreen)
{
    const QSizeF size(350, 680);
    const QRectF screen(0, 24, 1512, 958);
    struct Case
    {
        QRectF anchor;
        RectEdge edge;
        QRectF expected;
    };
    const Case cases[] = {
        {QRectF(700, 0, 24, 24), RectEdge::MinY, QRectF(537, 24 + Popover::kArrowGap, 350, 680)},
        {QRectF(1480, 0, 24, 24), RectEdge::MinY, QRectF(1162, 30, 350, 680)}, // kept on the screen
        {QRectF(0, 0, 24, 24), RectEdge::MinY, QRectF(0, 30, 350, 680)},
        {QRectF(700, 900, 24, 24), RectEdge::MaxY, QRectF(537, 900 - 6 - 680, 350, 680)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Popover::frameFor(size, c.anchor, c.edge, screen), c.expected);
    }
}

TEST(Popover, ATransientPopoverClosesOnAClickOutsideItOnly)
{
    Desk d;
    Popover popover(d.services);
    popover.setContentSize(QSizeF(200, 100));
    popover.setContentView(new QWidget);
    popover.setBehavior(PopoverBehavior::Transient);
    popover.show(QRectF(500, 0, 24, 24), RectEdge::MinY);
    ASSERT_TRUE(popover.isShown());
    ASSERT_NE(popover.contentWindow(), nullptr);
    EXPECT_TRUE(popover.contentWindow()->isVisible());

    d.desktop.mouseDown(popover.contentWindow()->frame().center());
    EXPECT_TRUE(popover.isShown()) << "a click inside";
    EXPECT_EQ(popover.closedByEventNumber(), 0U);

    d.desktop.mouseDown(QPointF(10, 500));
    EXPECT_FALSE(popover.isShown());
    EXPECT_FALSE(popover.contentWindow()->isVisible());
    EXPECT_EQ(popover.closedByEventNumber(), d.desktop.currentEventNumber());

    popover.setBehavior(PopoverBehavior::ApplicationDefined);
    popover.show(QRectF(500, 0, 24, 24), RectEdge::MinY);
    d.desktop.mouseDown(QPointF(10, 500));
    EXPECT_TRUE(popover.isShown()) << "only its owner closes it";
    popover.performClose();
    EXPECT_FALSE(popover.isShown());
}

TEST(WAVReading, ReadsLinearPCMAndRefusesAnythingElse)
{
    QByteArray wav("RIFF");
    wav += QByteArray::fromHex("2c000000") + "WAVEfmt "
           + QByteArray::fromHex("10000000"
                                 "0100"
                                 "0100"
                                 "44ac0000"
                                 "88580100"
                                 "0200"
                                 "1000")
           + "data"
           + QByteArray::fromHex("08000000"
                                 "0100020003000400");
    const auto sound = parseWAV(wav);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->sampleRate, 44100);
    EXPECT_EQ(sound->channels, 1);
    EXPECT_EQ(sound->bitsPerSample, 16);
    EXPECT_EQ(sound->samples, QByteArray::fromHex("0100020003000400"));

    QByteArray truncated = wav.left(wav.size() - 2);
    QByteArray floatFormat = wav;
    floatFormat[20] = 3;
    QByteArray hugeChunk = wav;
    hugeChunk.replace(40, 4, QByteArray::fromHex("ffffff7f"));
    for (const QByteArray& bad : {truncated, floatFormat, hugeChunk, QByteArray("RIFF"), QByteArray()}) {
        EXPECT_FALSE(parseWAV(bad)) << bad.toHex().toStdString();
    }
    QtAudioOutput output;
    EXPECT_EQ(output.makePlayer(QByteArray("not a sound")), nullptr);
}

TEST(DesktopEntry, QuotesTheExecutableAsTheFormatRequires)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("/opt/veilmox/veilmox"), QStringLiteral("/opt/veilmox/veilmox")},
        {QStringLiteral("/home/a b/veilmox"), QStringLiteral("\"/home/a b/veilmox\"")},
        {QStringLiteral("/x/100%/v"), QStringLiteral("/x/100%%/v")},
        {QStringLiteral("/x/$HOME/v"), QStringLiteral("\"/x/\\\\$HOME/v\"")},
        {QStringLiteral("/x/a\"b"), QStringLiteral("\"/x/a\\\\\"b\"")},
    };
    for (const auto& [argument, expected] : cases) {
        EXPECT_EQ(desktopExecArgument(argument), expected) << argument.toStdString();
    }
}

TEST(DesktopEntry, RegistersTheProgramAsTheHandlerOfItsSchemes)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/applications");
    ASSERT_TRUE(registerURLSchemeHandler(QStringLiteral("getveilmox.Veilmox"),
                                         QStringLiteral("Veilmox"),
                                         QStringLiteral("/opt/veilmox/veilmox"),
                                         {QStringLiteral("Veilmox")},
                                         folder));
    QFile file(folder + QStringLiteral("/getveilmox.Veilmox.desktop"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=/opt/veilmox/veilmox %u\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nMimeType=x-scheme-handler/veilmox;\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nType=Application\n")));
}

TEST(UpdateFrameworkStandIn, MakesStartedControllersThatRecordEachCheck)
{
    UpdateFrameworkStandIn framework;
    const auto controller = framework.makeStandardUpdaterController(true);
    EXPECT_TRUE(controller->updaterStarted());
    EXPECT_FALSE(framework.makeStandardUpdaterController(false)->updaterStarted());
    controller->checkForUpdates();
    controller->checkForUpdates();
    EXPECT_EQ(framework.controllersMade(), 2);
    EXPECT_EQ(framework.checks(), 2);
    EXPECT_EQ(framework.reports(), QStringList(2, UpdateFrameworkStandIn::kNoUpdateSourceReport));
}

TEST(SimCompositor, DrawsNestedWidgetsWithGraphicsEffectsWhereverTheWindowIs)
{
    Desk d;
    Window window(
        d.services, QRectF(300, 200, 100, 50), kWindowStyleMaskBorderless, BackingStoreType::Buffered, false);
    auto* container = new QWidget;
    auto* layout = new QVBoxLayout(container);
    auto* glowing = new QWidget;
    glowing->setAutoFillBackground(true);
    QPalette palette = glowing->palette();
    palette.setColor(QPalette::Window, QColor(255, 0, 0));
    glowing->setPalette(palette);
    glowing->setGraphicsEffect(new QGraphicsOpacityEffect);
    layout->addWidget(glowing);
    window.setContentView(container);
    window.orderFrontRegardless();
    const platform::sim::SimCompositor compositor(d.desktop);
    for (const double scale : {1.0, 0.5, 2.0}) {
        const QImage picture =
            compositor.renderDisplay(d.desktop.mainDisplayID(), (QSizeF(1512, 982) * scale).toSize());
        // Red at the effect's opacity of 0.7 over the window's white.
        const QColor c = picture.pixelColor((QPointF(350, 225) * scale).toPoint());
        EXPECT_TRUE(c.red() == 255 && std::abs(c.green() - 77) <= 2 && std::abs(c.blue() - 77) <= 2)
            << scale << " " << c.name().toStdString();
    }
}
