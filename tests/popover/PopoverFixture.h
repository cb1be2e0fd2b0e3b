#pragma once

#include "platform/Services.h"
#include "popover/PopoverNavigation.h"
#include "tests/shell/kit/KitTestSupport.h"
#include "tests/state/StateFixture.h"

#include <QHash>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace testing_support {

// A signed-in state object over the simulated desktop, installed as the process's services so the
// popover's views read its accessibility options and animate on its virtual clock, with the
// popover's navigation state.
struct PopoverFixture
    : testing::Test
    , StateFixture
{
    PopoverFixture();
    ~PopoverFixture() override;

    // Launches an app with windows titled by `titles` (an empty title stays untitled) and returns
    // their numbers.
    QList<quint32> launch(const QString& bundleID, const QString& name, const QStringList& titles);
    // One window refresh of the state object, as its timer runs it.
    void refresh();
    // Shows the view in a 350-point-wide window and lays it out.
    QWidget& host(QWidget* view);
    // Runs what the event loop has queued (layouts) and lets animations finish.
    void settle(double seconds = 1.0);

    PopoverNavigation navigation;
    QHash<QString, platform::pid_type> pids; // of the apps launched
    std::unique_ptr<QWidget> window;
};

// Clicks a view in its middle, as the pointer does.
void clickView(QWidget& view);

// The child of a view with this object name; fails the test when there is none.
template <class View = QWidget>
View& child(const QWidget& parent, const QString& name)
{
    auto* found = parent.findChild<View*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    if (found == nullptr) {
        throw std::runtime_error("no view named " + name.toStdString());
    }
    return *found;
}

} // namespace testing_support
