// A new user's walk through the application in the desktop viewer: Qt's own mouse and key events
// sent to the viewer's window at fixed points of the layout, and what the person sees afterwards.
#include "popover/AppRowView.h"
#include "tests/shell/app/ViewerApp.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// Points of the popover's layout, from its window's top-left corner, with Messages and Notes
// running: Messages' pin, and "Got it" on the note of its transparency panel once it is open.
const QPointF kMessagesPin(274, 426);
const QPointF kGotIt(108, 593);

// The popover's frame in the window it lies in.
QRect frameIn(const QWidget& widget)
{
    return {widget.mapTo(widget.window(), QPoint(0, 0)), widget.size()};
}

} // namespace

// "Got it" takes the note about the recording indicator away, and the transparency panel closes
// up under its description at once, as it stays after the popover is opened again.
TEST(ViewerWalk, GotItTakesTheRecordingNoteAwayAndThePanelClosesUpUnderItsDescription)
{
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    app.f.env.t.launchAppWithWindow(
        QStringLiteral("com.apple.MobileSMS"), QStringLiteral("Messages"), QRectF(100, 500, 300, 300));
    app.f.env.t.launchAppWithWindow(
        QStringLiteral("com.apple.Notes"), QStringLiteral("Notes"), QRectF(500, 500, 300, 300));
    app.start(true);
    app.click(app.f.statusButtonCenter());
    ASSERT_TRUE(app.f.app->isPopoverShown());
    const QPointF popover = app.popoverWindow().frame().topLeft();
    auto* messages = app.inPopover<AppRowView>("appRow:com.apple.MobileSMS");
    auto* notes = app.inPopover<AppRowView>("appRow:com.apple.Notes");
    ASSERT_TRUE(messages && notes);
    ASSERT_EQ(messages->findChild<QWidget*>("pinButton"),
              app.popoverWindow().contentView()->childAt(kMessagesPin.toPoint()));

    app.click(popover + kMessagesPin);
    app.settle(1);
    ASSERT_TRUE(messages->showsRecordingNote());
    const QWidget* description = messages->findChild<QWidget*>("transparencyDescription");
    ASSERT_EQ(messages->findChild<QWidget*>("gotItButton"),
              app.popoverWindow().contentView()->childAt(kGotIt.toPoint()));

    app.click(popover + kGotIt);
    app.settle(1);
    EXPECT_FALSE(messages->showsRecordingNote());
    // Under the description only the panel's bottom margin, then the row's end and, a point
    // further down, the next row.
    const auto closedUp = [&] {
        return frameIn(*messages).bottom() - frameIn(*description).bottom() == 12
               && frameIn(*notes).top() - frameIn(*description).bottom() == 12 + 2;
    };
    EXPECT_TRUE(closedUp()) << "after Got it";

    app.click(app.f.statusButtonCenter());
    ASSERT_FALSE(app.f.app->isPopoverShown());
    app.click(app.f.statusButtonCenter());
    ASSERT_TRUE(app.f.app->isPopoverShown());
    app.settle(1);
    EXPECT_TRUE(closedUp()) << "after the popover opened again";
}
