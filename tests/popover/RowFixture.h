#pragma once

#include "platform/Services.h"
#include "popover/PopoverNavigation.h"
#include "tests/popover/PopoverFixture.h"

#include <QHash>
#include <QWidget>

#include <memory>
#include <stdexcept>

namespace testing_support {

// The popover's state object and navigation with views hosted in a window of the popover's
// width, on desktops the test fills with apps and windows.
struct RowFixture : PopoverTest
{
    RowFixture();
    ~RowFixture() override;

    // Launches an app with windows titled by `titles` (an empty title stays untitled) and returns
    // their numbers.
    QList<quint32> launch(const QString& bundleID, const QString& name, const QStringList& titles);
    // One refresh of the running apps and their windows, as the state object runs it.
    void refresh();
    // Shows the view in a 350-point-wide window and lays it out.
    QWidget& host(QWidget* view);
    // Lets the event loop lay out what changed, over this many seconds of animation.
    void settle(double seconds = 1.0);

    PopoverNavigation navigation;
    QHash<QString, platform::pid_type> pids; // of the apps launched
    std::unique_ptr<QWidget> window;
};

// The descendant with this object name (and type); the test fails when there is none.
template <class View = QWidget>
View& named(const QWidget& root, const QString& name)
{
    auto* found = root.findChild<View*>(name);
    if (found == nullptr) {
        ADD_FAILURE() << "no view named " << name.toStdString();
        throw std::runtime_error("no view named " + name.toStdString());
    }
    return *found;
}

} // namespace testing_support
