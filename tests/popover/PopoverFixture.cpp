#include "tests/popover/PopoverFixture.h"

#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"

#include <QApplication>
#include <QCursor>
#include <QScrollArea>
#include <QVBoxLayout>

namespace testing_support {

namespace {

// Pending layout changes: they climb one level of views per round.
void layOut()
{
    for (int level = 0; level < 12; ++level) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
}

} // namespace

PopoverTest::PopoverTest()
{
    // The pointer rests outside every window until a test moves it.
    QCursor::setPos(-1000, -1000);
}

PopoverTest::~PopoverTest()
{
    window.reset();
}

WindowManager& PopoverTest::start(bool signedIn)
{
    manager->setAppDelegate(&shell);
    manager->setHUDPresenter(&hud);
    manager->setAccountSession(&session);
    manager->start();
    manager->setIsAuthenticated(signedIn);
    return *manager;
}

QList<quint32> PopoverTest::launch(const QString& bundleID, const QString& name, const QStringList& titles)
{
    const auto pid = t.desktop.launchApp(bundleID, name);
    pids.insert(bundleID, pid);
    QList<quint32> windows;
    double x = 40;
    for (const QString& title : titles) {
        windows.append(t.desktop.addWindow(pid, title, QRectF(x, 80, 500, 400)));
        x += 60;
    }
    return windows;
}

quint32 PopoverTest::addWindow(const QString& bundleID,
                               const QString& name,
                               const QRectF& bounds,
                               const QColor& colour)
{
    platform::sim::SimDesktop::WindowSpec setup;
    setup.owner = t.desktop.launchApp(bundleID, name);
    setup.title = name;
    setup.bounds = bounds;
    setup.color = colour;
    return t.desktop.addWindow(setup);
}

QWidget& PopoverTest::host(QWidget* view)
{
    window = std::make_unique<QWidget>();
    window->setFixedWidth(350);
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    layout->addStretch(1);
    window->resize(350, 680);
    window->show();
    settle(0);
    return *view;
}

void PopoverTest::settle(double seconds)
{
    layOut();
    QApplication::processEvents();
    if (seconds > 0) {
        t.scheduler.advance(seconds);
    }
    layOut();
    QApplication::processEvents();
}

MenuBarView& RootTest::open(bool signedIn)
{
    if (!manager->isStarted()) {
        start(signedIn);
    }
    manager->setIsAuthenticated(signedIn);
    root = std::make_unique<MenuBarView>(pip);
    root->setWindowManager(*manager);
    root->setUpdaterManager(updater);
    root->show();
    settle();
    return *root;
}

QPointF at(const QWidget& view, const QWidget& control, double fromLeft)
{
    return QPointF(control.mapTo(&view, QPoint(0, 0))) + QPointF(fromLeft, control.height() / 2.0);
}

QImage picture(QWidget& page, QWidget& view, const QString& name)
{
    layOut();
    const auto* scroll = page.findChild<QScrollArea*>();
    const QWidget* content = scroll->widget();
    page.resize(page.width(), page.height() - scroll->height() + content->heightForWidth(page.width()));
    const QImage image = kit::renderView(view, 2.0, kit::Palette::canvas());
    EXPECT_TRUE(image.save(picturePath(name)));
    return image;
}

bool cardBorder(const QImage& image, const QWidget& view, const QWidget& card, bool active)
{
    return near(colorAt(image, at(view, card, 0.25)),
                over(kit::CardBackgroundStyle::border(active), kit::Palette::surface()));
}

QImage tile(const QColor& color)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

bool flameLike(const QColor& c)
{
    return c.red() > 200 && c.green() > 80 && c.green() < 170 && c.blue() < 80;
}

} // namespace testing_support
