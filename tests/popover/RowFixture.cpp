#include "tests/popover/RowFixture.h"

#include <QApplication>
#include <QCursor>
#include <QVBoxLayout>

namespace testing_support {

RowFixture::RowFixture()
{
    // The pointer rests outside every window until a test moves it.
    QCursor::setPos(-1000, -1000);
}

RowFixture::~RowFixture()
{
    window.reset();
}

QList<quint32> RowFixture::launch(const QString& bundleID, const QString& name, const QStringList& titles)
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

void RowFixture::refresh()
{
    manager->refreshRunningApps();
}

QWidget& RowFixture::host(QWidget* view)
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

void RowFixture::settle(double seconds)
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

} // namespace testing_support
