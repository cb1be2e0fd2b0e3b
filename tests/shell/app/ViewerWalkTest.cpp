// A new user's walk through the application in the desktop viewer: Qt's own mouse and key events
// sent to the viewer's window at fixed points of the layout, and what the person sees afterwards.
#include "capture/SCOverlayController.h"
#include "capture/ShareMask.h"
#include "pip/PiPView.h"
#include "platform/EventMonitor.h"
#include "platform/Updates.h"
#include "popover/AppRowView.h"
#include "shell/kit/Tooltips.h"
#include "tests/shell/app/ViewerApp.h"

#include <QAbstractButton>
#include <QEvent>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>

using namespace testing_support;

namespace {

// Points of the popover's layout, from its window's top-left corner, with Messages and Notes
// running: Messages' pin, and "Got it" on the note of its transparency panel once it is open.
const QPointF kMessagesPin(274, 426);
const QPointF kGotIt(108, 593);
// The compact picture-in-picture panel's "Open Veilmox" button, from the panel's top-left corner.
const QPointF kOpenVeilmox(205, 23);
// A point of the settings page between its controls, and "Check Now" once the page is scrolled
// to its end.
const QPointF kSettingsPage(175, 400);
const QPointF kCheckNow(278, 422);

// A view's frame in the window it lies in.
QRect frameIn(const QWidget& widget)
{
    return {widget.mapTo(widget.window(), QPoint(0, 0)), widget.size()};
}

const QColor kMessagesColour(0x34, 0xc7, 0x59);
const QColor kDocumentColour(0xf1, 0xf3, 0xf4);

// A window of an app in a colour of its own, in front of those there are.
quint32 addWindow(platform::sim::SimDesktop& desktop,
                  platform::pid_type owner,
                  const char* title,
                  QRectF bounds,
                  QColor colour)
{
    platform::sim::SimDesktop::WindowSpec window;
    window.owner = owner;
    window.title = QString::fromLatin1(title);
    window.bounds = bounds;
    window.color = colour;
    return desktop.addWindow(window);
}

platform::pid_type launch(platform::sim::SimDesktop& desktop, const char* bundleID, const char* name)
{
    return desktop.launchApp(QString::fromLatin1(bundleID), QString::fromLatin1(name));
}

// Google Chrome with a document over most of the display, in front of the windows there are, and
// active.
const QRectF kDocumentBounds(240, 60, 1100, 760);
quint32 addActiveDocument(platform::sim::SimDesktop& desktop)
{
    const auto chrome = launch(desktop, "com.google.Chrome", "Google Chrome");
    const quint32 document =
        addWindow(desktop, chrome, "Quarterly plan - Google Docs", kDocumentBounds, kDocumentColour);
    desktop.activateApp(chrome);
    return document;
}

// Pins an app with a click on its row's pin in the popover, opened and closed again with the
// status item.
void pinInPopover(ViewerApp& app, const char* bundleID)
{
    app.click(app.f.statusButtonCenter());
    ASSERT_TRUE(app.f.app->isPopoverShown());
    auto* row = app.inPopover<AppRowView>((std::string("appRow:") + bundleID).c_str());
    ASSERT_TRUE(row);
    app.click(*row->findChild<QWidget*>(QStringLiteral("pinButton")), app.popoverWindow());
    ASSERT_TRUE(app.f.manager->pinnedBundleIDs().contains(QString::fromLatin1(bundleID)));
    app.click(app.f.statusButtonCenter());
    ASSERT_FALSE(app.f.app->isPopoverShown());
}

// The overlays show what their captures sent, which comes from each capture's queue through the
// main queue.
void showOverlayFrames(ViewerApp& app, double settleFor = 0.2)
{
    const SCOverlayController& controller = app.f.manager->pinnedWindowController();
    for (const auto& [number, entry] : controller.overlayEntries()) {
        entry.stream->queue().sync([] {});
    }
    for (const auto& [display, passthrough] : controller.passthroughs()) {
        passthrough->appStream->queue().sync([] {});
        passthrough->backgroundStream->queue().sync([] {});
    }
    app.f.env.t.mainQueue.runPending();
    app.settle(settleFor);
}

// Starts the application signed in and pins the apps in the popover; then a click on the document
// beside their overlays brings it in front, and the overlays show their windows over it.
void pinOverTheDocument(ViewerApp& app, std::initializer_list<const char*> bundleIDs, QPointF onDocument)
{
    app.start(true);
    for (const char* bundleID : bundleIDs) {
        ASSERT_NO_FATAL_FAILURE(pinInPopover(app, bundleID));
    }
    app.click(onDocument);
    app.settle(1);
    showOverlayFrames(app);
    ASSERT_EQ(app.f.desktop.frontmostApplication()->localizedName(), QStringLiteral("Google Chrome"));
}

// Opens the mask editor with "Draw" in the popover, opened with the status item.
void openMaskEditor(ViewerApp& app)
{
    app.click(app.f.statusButtonCenter());
    ASSERT_TRUE(app.f.app->isPopoverShown());
    app.click(*app.inPopover("drawMasksButton"), app.popoverWindow());
    ASSERT_TRUE(app.f.maskEditor.isEditing());
}

// A drag with the left button from one point of the desktop to another, through a point halfway.
void drag(ViewerApp& app, QPointF from, QPointF to)
{
    const auto start = app.viewer->viewPoint(from);
    const auto end = app.viewer->viewPoint(to);
    ASSERT_TRUE(start && end);
    QTest::mousePress(app.window(), Qt::LeftButton, {}, start->toPoint());
    QTest::mouseMove(app.window(), ((*start + *end) / 2).toPoint());
    QTest::mouseMove(app.window(), end->toPoint());
    QTest::mouseRelease(app.window(), Qt::LeftButton, {}, end->toPoint());
    app.settle();
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

// Whatever lies under the pointer is left when the pointer leaves the viewer's window, or the
// picture of the display within it: the panel's hover ends and the tooltip "Open Veilmox" goes.
TEST(ViewerWalk, APointerLeavingTheViewerOrItsPictureLeavesWhatWasUnderIt)
{
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    app.f.store(PiPController::expandedKey, false);
    app.start(true);
    app.f.pip->show();
    app.settle(1);
    const platform::Window& panel = *app.f.pip->panel();
    const auto* view = qobject_cast<PiPView*>(panel.contentView());
    ASSERT_TRUE(view);
    QWidget* open = view->findChild<QWidget*>("pipOpenButton");
    const kit::TooltipSource* tooltip = kit::TooltipSource::of(open);
    ASSERT_TRUE(open && tooltip);
    const QPoint onPanel = app.viewer->viewPoint(panel.frame().center()).value().toPoint();
    const QPoint onOpen = app.viewer->viewPoint(panel.frame().topLeft() + kOpenVeilmox).value().toPoint();
    // Halfway across the bar left of the picture, whichever way the screen had the panes laid out.
    const QPoint corner = app.viewer->viewPoint(QPointF(0, 0))->toPoint();
    const int paneLeft =
        app.viewer->displayView(app.f.desktop.mainDisplayID())->mapTo(app.viewer.get(), QPoint()).x();
    const QPoint beside((paneLeft + corner.x()) / 2, corner.y() + 40);
    ASSERT_EQ(app.viewer->childAt(beside), app.viewer->displayView(app.f.desktop.mainDisplayID()))
        << "in the bar beside the picture";
    const QPoint header(platform::sim::DesktopViewer::kMargin + 2, platform::sim::DesktopViewer::kMargin + 2);

    const std::function<void()> ways[] = {
        [&] {
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(app.window(), &leave);
        },
        [&] { QTest::mouseMove(app.window(), beside); },
        [&] { QTest::mouseMove(app.window(), header); },
    };
    for (const auto& away : ways) {
        SCOPED_TRACE(&away - ways);
        // Onto the panel, which shows its chrome, then onto the button.
        QTest::mouseMove(app.window(), onPanel);
        app.settle(0.3);
        QTest::mouseMove(app.window(), onOpen);
        app.settle(1);
        ASSERT_TRUE(view->isHovered());
        ASSERT_TRUE(open->isVisible());
        ASSERT_TRUE(tooltip->isShowing());

        away();
        app.settle(1);
        EXPECT_FALSE(view->isHovered());
        EXPECT_FALSE(tooltip->isShowing());
        EXPECT_FALSE(open->isVisible()) << "the chrome goes with the hover";
    }
}

// The update alert takes Return and Escape while it is open, also once the user clicked in the
// popover after "Check Now"; then they go to the popover again.
TEST(ViewerWalk, TheUpdateAlertTakesReturnAndEscapeWhileItIsOpenWhereverTheUserClicked)
{
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    app.start(true);
    app.openSettings();
    const QWidget* checkNow = app.inPopover("checkNowButton");
    ASSERT_TRUE(checkNow);
    const QPointF popover = app.popoverWindow().frame().topLeft();
    for (int notch = 0; notch < 30; ++notch) {
        app.scrollDown(popover + kSettingsPage);
    }
    const QWidget* under = app.popoverWindow().contentView()->childAt(kCheckNow.toPoint());
    ASSERT_TRUE(under == checkNow || checkNow->isAncestorOf(under))
        << "the settings page scrolled to its end";
    ASSERT_EQ(
        qobject_cast<QAbstractButton*>(app.popoverWindow().contentView()->childAt(kSettingsPage.toPoint())),
        nullptr)
        << "a click there only makes the popover key";
    const int monitors = platform::EventMonitor::monitorCount();

    struct Case
    {
        const char* what;
        bool clickInPopover;
        Qt::Key key;
    };
    for (const Case& c : {Case{"Return at once", false, Qt::Key_Return},
                          Case{"Return after a click in the popover", true, Qt::Key_Return},
                          Case{"Escape after a click in the popover", true, Qt::Key_Escape}}) {
        SCOPED_TRACE(c.what);
        app.click(popover + kCheckNow);
        const platform::Window* alert = app.f.env.t.updates.alertWindow();
        ASSERT_TRUE(alert && alert->isVisible());
        ASSERT_EQ(platform::UpdateFrameworkStandIn::alertText(*alert, QStringLiteral("updateAlertHeading")),
                  QStringLiteral("Can't check for updates"));
        if (c.clickInPopover) {
            app.click(popover + kSettingsPage);
            ASSERT_TRUE(app.popoverWindow().isKeyWindow());
        }
        app.type(c.key);
        EXPECT_FALSE(alert->isVisible());
        EXPECT_TRUE(app.f.app->isPopoverShown());
        EXPECT_EQ(platform::EventMonitor::monitorCount(), monitors) << "the keys are the popover's again";
    }
}

// A click on a pinned app's overlay brings the app itself in front, its window showing where the
// overlay was: the person keeps the app they pinned in view, and the audience sees it too.
TEST(ViewerWalk, AClickOnAPinnedAppsOverlayBringsItsWindowInFrontInPlaceOfTheOverlay)
{
    const QColor messagesColour(0x34, 0xc7, 0x59);
    const QColor notesColour(0xff, 0xd6, 0x0a);
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    platform::sim::SimDesktop& desktop = app.f.desktop;
    const auto launch = [&desktop](const char* bundleID, const char* name, QRectF bounds, QColor colour) {
        return addWindow(desktop,
                         desktop.launchApp(QString::fromLatin1(bundleID), QString::fromLatin1(name)),
                         name,
                         bounds,
                         colour);
    };
    const quint32 messages =
        launch("com.apple.MobileSMS", "Messages", QRectF(100, 500, 300, 300), messagesColour);
    // In front of Messages' right third, clear of the popover.
    launch("com.apple.Notes", "Notes", QRectF(300, 450, 400, 350), notesColour);
    // Where Notes covers Messages: a point to click, and one away from the pointer, which the
    // audience sees too.
    const QPointF overlayClick(320, 600);
    const QPointF covered(375, 760);
    const QPointF notesAlone(600, 600);
    app.start(true);
    ASSERT_NE(app.veilmoxDisplay(), 0U);

    app.click(app.f.statusButtonCenter());
    ASSERT_TRUE(app.f.app->isPopoverShown());
    app.click(app.popoverWindow().frame().topLeft() + kMessagesPin);
    ASSERT_EQ(app.f.manager->pinnedBundleIDs(), QSet<QString>{QStringLiteral("com.apple.MobileSMS")});
    app.click(app.f.statusButtonCenter());
    ASSERT_FALSE(app.f.app->isPopoverShown());

    app.click(notesAlone);
    app.settle(1);
    showOverlayFrames(app);
    ASSERT_EQ(desktop.frontmostApplication()->localizedName(), QStringLiteral("Notes"));
    ASSERT_EQ(app.userSees(covered), messagesColour) << "the overlay floats over Notes";
    ASSERT_EQ(app.audienceSees(covered), notesColour) << "no capture shows the overlay";

    app.click(overlayClick);
    app.settle(1.5);
    EXPECT_EQ(desktop.frontmostApplication()->localizedName(), QStringLiteral("Messages"));
    EXPECT_EQ(desktop.windowAt(overlayClick), messages) << "Messages' own window, the overlay gone";
    EXPECT_EQ(app.userSees(covered), messagesColour);
    EXPECT_EQ(app.audienceSees(covered), messagesColour);
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs());
}

// A click on the overlay of a pinned app's second window brings that window in front too, in its
// overlay's place, with the app's other windows: whichever window the person clicks stays in view.
TEST(ViewerWalk, AClickOnTheOverlayOfAnAppsSecondWindowBringsThatWindowInFrontWithTheOthers)
{
    const QColor secretColour(0x0a, 0x84, 0xff);
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    platform::sim::SimDesktop& desktop = app.f.desktop;
    const auto messagesApp = launch(desktop, "com.apple.MobileSMS", "Messages");
    const quint32 messages =
        addWindow(desktop, messagesApp, "Messages", QRectF(900, 160, 520, 600), kMessagesColour);
    const quint32 secret =
        addWindow(desktop, messagesApp, "Secret chat", QRectF(300, 300, 500, 400), secretColour);
    addActiveDocument(desktop);
    // On the overlay of the window behind; a point of each window away from the pointer.
    const QPointF overlayClick(1300, 700);
    const QPointF messagesPoint(1000, 400);
    const QPointF secretPoint(400, 400);
    ASSERT_NO_FATAL_FAILURE(pinOverTheDocument(app, {"com.apple.MobileSMS"}, QPointF(600, 200)));
    ASSERT_EQ(app.userSees(messagesPoint), kMessagesColour) << "the overlays float over the document";
    ASSERT_EQ(app.userSees(secretPoint), secretColour);
    ASSERT_EQ(app.audienceSees(messagesPoint), kDocumentColour);

    app.click(overlayClick);
    for (const double later : {1.5, 3.0}) { // 1.5 s and 4.5 s after the click
        app.settle(later);
        EXPECT_EQ(desktop.frontmostApplication()->localizedName(), QStringLiteral("Messages"));
        EXPECT_EQ(desktop.windowAt(overlayClick), messages) << "the window clicked, its overlay gone";
        EXPECT_EQ(desktop.windowAt(secretPoint), secret);
        EXPECT_EQ(app.userSees(messagesPoint), kMessagesColour) << later;
        EXPECT_EQ(app.audienceSees(messagesPoint), kMessagesColour) << later;
        EXPECT_EQ(app.userSees(secretPoint), secretColour) << later;
    }
    EXPECT_TRUE(app.viewerShowsTheDesktopAsItIs());
}

// With two pinned apps' overlays floating over a document, the mask editor takes every drag on
// its display: a box drawn over each overlay becomes a mask on the document under it (the
// overlays are the program's own and never masked), and the overlays float as before once the
// editor is closed.
TEST(ViewerWalk, TheMaskEditorTakesDragsOverPinnedOverlaysAndMasksTheWindowsUnderThem)
{
    const QColor slackColour(0x4a, 0x15, 0x4b);
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    platform::sim::SimDesktop& desktop = app.f.desktop;
    addWindow(desktop,
              launch(desktop, "com.tinyspeck.slackmacgap", "Slack"),
              "general - Acme",
              QRectF(140, 120, 980, 640),
              slackColour);
    addWindow(desktop,
              launch(desktop, "com.apple.MobileSMS", "Messages"),
              "Messages",
              QRectF(900, 160, 520, 600),
              kMessagesColour);
    const quint32 document = addActiveDocument(desktop);
    const QPointF onSlack(500, 500);
    // Above both overlays.
    ASSERT_NO_FATAL_FAILURE(
        pinOverTheDocument(app, {"com.tinyspeck.slackmacgap", "com.apple.MobileSMS"}, QPointF(600, 90)));
    ASSERT_EQ(app.userSees(onSlack), slackColour) << "the overlays float over the document";

    ASSERT_NO_FATAL_FAILURE(openMaskEditor(app));
    app.settle(1);                                   // the overlays are ordered in front at every discovery
    drag(app, QPointF(400, 450), QPointF(600, 600)); // over Slack's overlay
    app.settle(1);
    drag(app, QPointF(1150, 300), QPointF(1300, 450)); // over Messages' overlay
    app.settle(1);
    EXPECT_TRUE(app.f.maskEditor.isEditing());
    EXPECT_EQ(desktop.frontmostApplication()->processIdentifier(), desktop.ownProcessIdentifier())
        << "no pinned app activated";
    const QList<ShareMask> masks = app.f.manager->shareMasks();
    ASSERT_EQ(masks.size(), 2);
    // Where the boxes were drawn, from the document's top-left corner (to a pixel of the viewer).
    const QPointF centres[] = {QPointF(500, 525) - kDocumentBounds.topLeft(),
                               QPointF(1225, 375) - kDocumentBounds.topLeft()};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(masks[i].windowID, document);
        EXPECT_EQ(masks[i].bundleID, QStringLiteral("com.google.Chrome"));
        const QPointF off = masks[i].rect.center() - centres[i];
        EXPECT_LE(off.manhattanLength(), 4) << i;
    }

    app.type(Qt::Key_Escape);
    app.settle(1);
    EXPECT_FALSE(app.f.maskEditor.isEditing());
    EXPECT_EQ(app.userSees(onSlack), slackColour) << "the overlays float as before";
}

// A see-through pinned app that comes forward while the mask editor is open (as an app does when
// its notification is clicked) gets its see-through panel over the display; the editor stays in
// front of it from the first picture on, so the person sees the whole display dimmed under the
// editor, and a drag there draws a mask.
TEST(ViewerWalk, TheMaskEditorStaysInFrontOfTheSeeThroughPanelOfAPinnedAppThatComesForward)
{
    ViewerApp app;
    app.f.store(AppDelegate::onboardingCompletedKey, true);
    app.f.store(WindowManager::pinnedTransparencyKey,
                QVariantMap{{QStringLiteral("com.apple.MobileSMS"), 0.5}});
    platform::sim::SimDesktop& desktop = app.f.desktop;
    const auto messagesApp = launch(desktop, "com.apple.MobileSMS", "Messages");
    const quint32 messages =
        addWindow(desktop, messagesApp, "Messages", QRectF(900, 160, 520, 600), kMessagesColour);
    addActiveDocument(desktop);
    const QPointF onMessages(1000, 400);
    ASSERT_NO_FATAL_FAILURE(pinOverTheDocument(app, {"com.apple.MobileSMS"}, QPointF(600, 90)));
    ASSERT_NO_FATAL_FAILURE(openMaskEditor(app));

    // The editor darkens everything under it by a quarter: nothing seen through it is brighter.
    const auto dimmed = [](QColor seen) {
        return std::max({seen.red(), seen.green(), seen.blue()}) <= 192;
    };
    desktop.activateApp(messagesApp);
    bool seeThrough = false;
    int covered = 0;
    for (int step = 0; step < 50; ++step) { // a second, a picture at a time
        app.settle(0.01);
        showOverlayFrames(app, 0.01);
        seeThrough = seeThrough || !app.f.manager->pinnedWindowController().passthroughs().empty();
        covered += dimmed(app.userSees(onMessages)) ? 0 : 1;
    }
    ASSERT_TRUE(seeThrough);
    EXPECT_EQ(covered, 0) << "pictures in which the see-through panel covered the editor";
    drag(app, QPointF(1000, 300), QPointF(1200, 450)); // over Messages' window
    app.settle(1);
    EXPECT_TRUE(app.f.maskEditor.isEditing());
    const QList<ShareMask> masks = app.f.manager->shareMasks();
    ASSERT_EQ(masks.size(), 1);
    EXPECT_EQ(masks[0].windowID, messages);
}
