#include "tests/popover/PopoverFixture.h"

#include "shell/kit/Fonts.h"

#include <QApplication>
#include <QCursor>

namespace testing_support {

PopoverFixture::PopoverFixture()
{
    platform::Services::setCurrent(t.services());
    kit::registerAppFonts();
    // The pointer rests outside every window until a test moves it.
    QCursor::setPos(-1000, -1000);
}

PopoverFixture::~PopoverFixture()
{
    window.reset();
    platform::Services::setCurrent(platform::Services());
}

QList<quint32> PopoverFixture::launch(const QString& bundleID, const QString& name, const QStringList& titles)
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

void PopoverFixture::refresh()
{
    manager->refreshRunningApps();
}

QWidget& PopoverFixture::host(QWidget* view)
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

void PopoverFixture::settle(double seconds)
{
    const auto layOut = [] {
        // A size change travels one level up the view tree per pass.
        for (int pass = 0; pass < 12; ++pass) {
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        }
        QApplication::processEvents();
    };
    layOut();
    if (seconds > 0) {
        t.scheduler.advance(seconds);
    }
    layOut();
}

void clickView(QWidget& view)
{
    const QPointF middle = QRectF(view.rect()).center();
    press(view, middle);
    release(view, middle);
}

} // namespace testing_support
