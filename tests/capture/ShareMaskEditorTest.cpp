#include "capture/ShareMaskEditor.h"

#include "capture/MaskBox.h"
#include "capture/ShareMaskEditorPanel.h"
#include "capture/ShareMaskEditorView.h"
#include "platform/EventMonitor.h"
#include "platform/sim/SimCompositor.h"
#include "shell/kit/Fonts.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PressFeedbackButton.h"
#include "tests/capture/MaskEditorSupport.h"
#include "tests/support/BundledFonts.h"
#include "tests/support/CurrentServices.h"
#include "tests/support/TestDesktop.h"

#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

using platform::sim::SimDesktop;
using testing_support::InMemoryMaskStore;
using testing_support::SurfacePointer;

namespace {

const QString kNotes = QStringLiteral("com.example.Notes");
const QString kMail = QStringLiteral("com.example.Mail");

// Records the key presses that reach it.
class KeyCatcher final : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.append(event->key()); }
};

// An editor over a simulated desktop whose main display (1512 x 982 points) shows Notes at
// (100, 100, 800, 600) and Mail at (1000, 500, 400, 300), with its masks in memory.
class ShareMaskEditorTest : public ::testing::Test
{
protected:
    ShareMaskEditorTest()
    {
        testing_support::registerBundledFonts();
        std::tie(notesPid, notesWindow) =
            t.launchAppWithWindow(kNotes, QStringLiteral("Notes"), {100, 100, 800, 600});
        std::tie(mailPid, mailWindow) =
            t.launchAppWithWindow(kMail, QStringLiteral("Mail"), {1000, 500, 400, 300});
    }
    ~ShareMaskEditorTest() override
    {
        editor.reset();
        t.scheduler.runPending();
    }

    ShareMaskEditorView& open(std::optional<quint32> display = std::nullopt)
    {
        editor->open(display.value_or(t.mainDisplay));
        EXPECT_TRUE(editor->isEditing());
        return *qobject_cast<ShareMaskEditorView*>(editor->panel()->contentView());
    }
    // Starts over with this one mask stored.
    ShareMask storedMask(quint32 window, const QString& bundleID, const QRectF& rect)
    {
        ShareMask mask{QUuid::createUuid(), window, bundleID, rect};
        store.masks.append(mask);
        return mask;
    }
    // A mask (without identifier) over Notes and over Mail, relative to the window.
    ShareMask onNotes(const QRectF& rect) const { return {{}, notesWindow, kNotes, rect}; }
    ShareMask onMail(const QRectF& rect) const { return {{}, mailWindow, kMail, rect}; }
    // Lets every animation come to rest.
    void settle() { t.scheduler.advance(2); }

    testing_support::TestDesktop t;
    testing_support::CurrentServices current{t.services()};
    platform::pid_type notesPid = 0;
    platform::pid_type mailPid = 0;
    quint32 notesWindow = 0;
    quint32 mailWindow = 0;
    InMemoryMaskStore store;
    std::unique_ptr<ShareMaskEditor> editor = std::make_unique<ShareMaskEditor>(t.services(), &store);
};

} // namespace

TEST_F(ShareMaskEditorTest, OpensANeverCapturedKeyPanelOverTheWholeDisplay)
{
    ShareMaskEditorView& surface = open();
    const ShareMaskEditorPanel* panel = editor->panel();
    EXPECT_EQ(panel->frame(), QRectF(0, 0, 1512, 982)); // the menu-bar area included
    EXPECT_EQ(surface.size(), QSize(1512, 982));
    EXPECT_EQ(std::tuple(panel->level(), panel->sharingType(), panel->collectionBehavior()),
              std::tuple(1000, platform::WindowSharingType::None, 321U));
    // See-through, without shadow, key and watching the keyboard.
    EXPECT_EQ(
        std::tuple(panel->isOpaque(), panel->hasShadow(), panel->isKeyWindow(), editor->hasKeyMonitor()),
        std::tuple(false, false, true, true));
    EXPECT_EQ(t.desktop.frontmostApplication()->processIdentifier(), t.desktop.ownProcessIdentifier());
    // The window server lists it in front of everything.
    EXPECT_EQ(t.desktop.windowOrder().first(), panel->windowNumber());

    // Opening again replaces the panel: one editor panel at a time.
    const quint32 first = panel->windowNumber();
    open();
    EXPECT_NE(editor->panel()->windowNumber(), first);
    EXPECT_FALSE(t.desktop.isWindowOnScreen(first));
    EXPECT_EQ(platform::EventMonitor::monitorCount(), 1);

    // A display that no screen carries changes nothing, open or closed.
    editor->open(4242);
    EXPECT_TRUE(editor->isEditing());
    EXPECT_EQ(editor->displayBounds(), QRectF(0, 0, 1512, 982));
    editor->close();
    editor->open(4242);
    EXPECT_FALSE(editor->isEditing());
}

TEST_F(ShareMaskEditorTest, ABoxDrawnOverAWindowIsStoredRelativeToItsTopLeftCornerAndOthersAreNot)
{
    SimDesktop::DisplaySpec side;
    side.frame = QRectF(1512, 0, 1280, 800);
    const quint32 sideDisplay = t.desktop.addDisplay(side);
    const QString chat = QStringLiteral("com.example.Chat");
    const quint32 sideWindow =
        t.launchAppWithWindow(chat, QStringLiteral("Chat"), {1612, 100, 600, 400}).second;
    struct Case
    {
        const char* name;
        std::optional<quint32> display; // none: the main one
        QPointF from, to;
        std::optional<ShareMask> stored; // Notes and Chat both start at (100, 100) in editor space
        std::optional<QString> notice = std::nullopt;
    };
    const Case cases[] = {
        {"over Notes", {}, {300, 250}, {500, 400}, onNotes({200, 150, 200, 150})},
        {"from the bottom right to the top left", {}, {500, 400}, {300, 250}, onNotes({200, 150, 200, 150})},
        {"on the display at the right",
         sideDisplay,
         {200, 150},
         {300, 250},
         ShareMask{{}, sideWindow, chat, {100, 50, 100, 100}}},
        {"7.9 wide", {}, {300, 300}, {307.9, 400}, std::nullopt},
        {"8 x 8", {}, {300, 300}, {308, 308}, onNotes({200, 200, 8, 8})},
        {"a click", {}, {300, 300}, {301.5, 300}, std::nullopt},
        {"over the desktop", {}, {950, 150}, {990, 200}, std::nullopt, ShareMaskEditor::drawOverWindowNotice},
        {"partly beyond the window: clipped", {}, {800, 600}, {950, 700}, onNotes({700, 500, 100, 100})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.masks.clear();
        ShareMaskEditorView& surface = open(c.display);
        SurfacePointer pointer(surface);
        pointer.press(c.from);
        pointer.move((c.from + c.to) / 2);
        pointer.move(c.to);
        if (c.stored) {
            EXPECT_EQ(surface.draftRect(), QRectF(c.from, c.to).normalized());
        }
        pointer.release(c.to);
        EXPECT_FALSE(surface.draftRect());
        EXPECT_EQ(editor->notice(), c.notice);
        ASSERT_EQ(store.masks.size(), c.stored ? 1 : 0);
        if (c.stored) {
            const QUuid id = store.masks[0].id;
            EXPECT_EQ(store.masks[0],
                      (ShareMask{id, c.stored->windowID, c.stored->bundleID, c.stored->rect}));
            const QRectF box = c.stored->rect.translated(100, 100);
            EXPECT_EQ(editor->placed(), (QList<ShareMaskEditor::PlacedMask>{{id, box}}));
            ASSERT_EQ(surface.boxes().size(), 1);
            EXPECT_EQ(surface.boxes()[0]->placedRect(), box);
        }
    }
}

TEST_F(ShareMaskEditorTest, NoticesClearTwoAndAHalfSecondsAfterTheLastOne)
{
    ShareMaskEditorView& surface = open();
    SurfacePointer pointer(surface);
    pointer.drag({950, 150}, {990, 200});
    EXPECT_EQ(editor->notice(), ShareMaskEditor::drawOverWindowNotice);
    EXPECT_TRUE(surface.noticeBubble()->isVisible());
    EXPECT_EQ(surface.noticeText(), ShareMaskEditor::drawOverWindowNotice);
    t.scheduler.advance(2.0);
    EXPECT_DOUBLE_EQ(surface.noticeOpacity(), 1.0);
    pointer.drag({950, 150}, {990, 200});
    t.scheduler.advance(2.4);
    EXPECT_TRUE(editor->notice());
    t.scheduler.advance(0.1);
    EXPECT_FALSE(editor->notice());
    // The bubble fades out with the last text, then goes.
    EXPECT_TRUE(surface.noticeBubble()->isVisible());
    EXPECT_EQ(surface.noticeText(), ShareMaskEditor::drawOverWindowNotice);
    t.scheduler.advance(0.3);
    EXPECT_FALSE(surface.noticeBubble()->isVisible());

    // Closing keeps the notice but cancels its dismissal; the next opening clears it.
    editor->showNotice(QStringLiteral("Pending"));
    editor->close();
    t.scheduler.advance(5);
    EXPECT_EQ(editor->notice(), QStringLiteral("Pending"));
    open();
    EXPECT_FALSE(editor->notice());
}

TEST_F(ShareMaskEditorTest, AMovedBoxFollowsThePointerAndGoesToTheWindowUnderItsCentre)
{
    // A panel of Mail in front of the mask's own window.
    t.desktop.addWindow(mailPid, QStringLiteral("Mail front"), {400, 400, 300, 200});
    struct Case
    {
        const char* name;
        QPointF to; // where the box's centre (300, 250) is dragged
        ShareMask stored;
        std::optional<QString> notice = std::nullopt;
    };
    const Case cases[] = {
        {"a short move", {340, 280}, onNotes({140, 130, 200, 100})},
        {"its centre over its own window, behind another", {500, 500}, onNotes({300, 350, 200, 100})},
        {"its centre onto another app's window", {1100, 600}, onMail({0, 50, 200, 100})},
        // Refused: the box springs back to the stored mask.
        {"its centre onto the desktop",
         {950, 300},
         onNotes({100, 100, 200, 100}),
         ShareMaskEditor::keepOverWindowNotice},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.masks.clear();
        const QUuid id = storedMask(notesWindow, kNotes, {100, 100, 200, 100}).id;
        ShareMaskEditorView& surface = open();
        MaskBox* box = surface.box(id);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->placedRect(), QRectF(200, 200, 200, 100));
        SurfacePointer pointer(surface);
        EXPECT_EQ(pointer.widgetAt({300, 250}), box);
        // Beside the box, beyond its handles, the surface takes the pointer.
        EXPECT_EQ(pointer.widgetAt({412, 250}), &surface);
        pointer.press({300, 250});
        pointer.move((QPointF(300, 250) + c.to) / 2);
        pointer.move(c.to);
        // The whole translation since the press, applied to the placed rectangle.
        const QRectF dropped = QRectF(200, 200, 200, 100).translated(c.to - QPointF(300, 250));
        EXPECT_EQ(box->draft(), dropped);
        EXPECT_EQ(box->shownRect(), dropped);
        pointer.release(c.to);
        EXPECT_FALSE(box->draft());
        EXPECT_EQ(store.masks, (QList<ShareMask>{{id, c.stored.windowID, c.stored.bundleID, c.stored.rect}}));
        EXPECT_EQ(editor->notice(), c.notice);
        EXPECT_EQ(surface.box(id), box); // the same box, placed anew
        EXPECT_EQ(box->placedRect(), c.notice ? QRectF(200, 200, 200, 100) : dropped);
        EXPECT_EQ(box->shownRect() == box->placedRect(), !c.notice);
        settle();
        EXPECT_EQ(box->shownRect(), box->placedRect());
    }
}

TEST_F(ShareMaskEditorTest, HandlesResizeAndTooSmallResultsSpringBack)
{
    struct Case
    {
        const char* name;
        QPointF grab; // in editor space, on the box (200, 200, 30, 100)
        QPointF by;
        QRectF stored; // relative to Notes
    };
    const Case cases[] = {
        {"trailing edge 50 to the left", {230, 250}, {-50, 0}, {80, 100, 20, 100}},
        {"bottom-trailing corner out", {230, 300}, {20, 30}, {100, 100, 50, 130}},
        {"top edge down", {215, 200}, {0, 40}, {100, 140, 30, 60}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.masks.clear();
        const ShareMask mask = storedMask(notesWindow, kNotes, {100, 100, 30, 100});
        ShareMaskEditorView& surface = open();
        SurfacePointer(surface).drag(c.grab, c.grab + c.by);
        EXPECT_EQ(store.masks[0].rect, c.stored);
        EXPECT_FALSE(editor->notice());
        settle();
        EXPECT_EQ(surface.box(mask.id)->shownRect(), c.stored.translated(100, 100));
    }
}

TEST_F(ShareMaskEditorTest, BoxesSpringToTheirPlaceOrEaseUnderReduceMotion)
{
    const ShareMask mask = storedMask(notesWindow, kNotes, {100, 100, 200, 100});
    for (const bool reduceMotion : {false, true}) {
        t.accessibility.setReduceMotion(reduceMotion);
        ShareMaskEditorView& surface = open();
        // The trailing edge dragged to 4 points wide: refused, the box goes back from where it
        // was let go.
        store.updates = 0;
        SurfacePointer(surface).drag({400, 250}, {204, 250});
        EXPECT_EQ(store.updates, 0);
        MaskBox* box = surface.box(mask.id);
        EXPECT_EQ(box->shownRect(), QRectF(200, 200, 4, 100));
        t.scheduler.advance(0.16);
        EXPECT_EQ(box->shownRect() == box->placedRect(), reduceMotion);
        settle();
        EXPECT_EQ(box->shownRect(), QRectF(200, 200, 200, 100));
    }
}

TEST_F(ShareMaskEditorTest, RemovingClearingAndUndoing)
{
    const ShareMask first = storedMask(notesWindow, kNotes, {100, 100, 200, 100});
    const ShareMask second = storedMask(mailWindow, kMail, {10, 10, 100, 50});
    ShareMaskEditorView& surface = open();
    // (masks, boxes, "Clear all" shown, "Undo" shown)
    const auto state = [&] {
        return std::tuple(store.masks,
                          surface.boxes().size(),
                          surface.clearAllButton()->isVisible(),
                          surface.undoButton()->isVisible());
    };
    EXPECT_EQ(state(), std::tuple(QList<ShareMask>{first, second}, 2, true, false));

    // The remove button lies beyond the box's top-right corner.
    SurfacePointer pointer(surface);
    EXPECT_EQ(pointer.widgetAt({410, 190}), surface.box(first.id)->removeButton());
    pointer.click({410, 190});
    EXPECT_EQ(state(), std::tuple(QList<ShareMask>{second}, 1, true, true));
    EXPECT_EQ(editor->placed().size(), 1);

    QTest::mouseClick(surface.undoButton(), Qt::LeftButton);
    EXPECT_EQ(state(), std::tuple(QList<ShareMask>{second, first}, 2, true, false));

    QTest::mouseClick(surface.clearAllButton(), Qt::LeftButton);
    EXPECT_EQ(state(), std::tuple(QList<ShareMask>{}, 0, false, true));

    // A later addition ends the undo.
    pointer.drag({300, 300}, {400, 400});
    EXPECT_FALSE(surface.undoButton()->isVisible());
}

TEST_F(ShareMaskEditorTest, MasksWithoutABoxAreKeptAndClearedAllTheSame)
{
    const quint32 minimised = t.desktop.addWindow(mailPid, QStringLiteral("Minimised"));
    t.desktop.setWindowOnScreen(minimised, false);
    SimDesktop::DisplaySpec side;
    side.frame = QRectF(1512, 0, 1280, 800);
    t.desktop.addDisplay(side);
    const quint32 elsewhere = t.desktop.addWindow(mailPid, QStringLiteral("Side"), {1600, 100, 400, 300});
    storedMask(minimised, kMail, {0, 0, 50, 50});
    storedMask(notesWindow, kNotes, {900, 0, 50, 50}); // wholly beyond its window
    const ShareMask beside = storedMask(elsewhere, kMail, {10, 10, 50, 50});
    ShareMaskEditorView& surface = open();
    // Only the mask on the other display is placed, outside the surface.
    EXPECT_EQ(editor->placed(), (QList<ShareMaskEditor::PlacedMask>{{beside.id, {1610, 110, 50, 50}}}));
    EXPECT_TRUE(surface.clearAllButton()->isVisible());

    store.masks.removeLast();
    editor->reloadPlaced();
    EXPECT_FALSE(surface.clearAllButton()->isVisible());
    EXPECT_EQ(store.masks.size(), 2);
}

TEST_F(ShareMaskEditorTest, EscapeClosesTheEditorAndReachesNoWindow)
{
    KeyCatcher other;
    open();
    QTest::keyClick(&other, Qt::Key_A);
    EXPECT_EQ(other.keys, QList<int>{Qt::Key_A});
    EXPECT_TRUE(editor->isEditing());

    const quint32 panel = editor->panel()->windowNumber();
    QTest::keyClick(&other, Qt::Key_Escape);
    EXPECT_FALSE(editor->isEditing());
    EXPECT_EQ(editor->panel(), nullptr);
    EXPECT_FALSE(t.desktop.isWindowOnScreen(panel));
    EXPECT_EQ(other.keys, QList<int>{Qt::Key_A});
    EXPECT_FALSE(editor->hasKeyMonitor());
    t.scheduler.runPending();
    EXPECT_FALSE(t.desktop.window(panel));

    // Closed, the editor no longer takes Escape.
    QTest::keyClick(&other, Qt::Key_Escape);
    EXPECT_EQ(other.keys, (QList<int>{Qt::Key_A, Qt::Key_Escape}));

    // Escape on the editor's own surface, and "Done", close it too.
    QTest::keyClick(&open(), Qt::Key_Escape);
    EXPECT_FALSE(editor->isEditing());
    QTest::mouseClick(open().doneButton(), Qt::LeftButton);
    EXPECT_FALSE(editor->isEditing());
    editor->close();
    EXPECT_FALSE(editor->isEditing());
}

TEST_F(ShareMaskEditorTest, RendersTheSurfaceOverTheDesktop)
{
    storedMask(notesWindow, kNotes, {100, 100, 260, 120});
    const ShareMask small = storedMask(notesWindow, kNotes, {500, 380, 100, 60});
    ShareMaskEditorView& surface = open();
    SurfacePointer pointer(surface);
    pointer.drag({950, 150}, {990, 200}); // a notice
    QEnterEvent enter(QPointF(30, 30), QPointF(30, 30), QPointF(30, 30));
    QApplication::sendEvent(surface.box(small.id), &enter);
    pointer.press({1050, 560});
    pointer.move({1250, 700}); // a box being drawn over Mail
    settle();

    QImage picture = platform::sim::SimCompositor(t.desktop).renderDisplay(t.mainDisplay, {3024, 1964});
    {
        // Rendered at the pixel density rather than through a scaled painter, which would lose
        // the controls that draw beyond their bounds.
        QImage editorLayer(picture.size(), QImage::Format_ARGB32_Premultiplied);
        editorLayer.setDevicePixelRatio(2);
        editorLayer.fill(Qt::transparent);
        surface.render(&editorLayer, QPoint(), QRegion(), QWidget::DrawChildren);
        QPainter painter(&picture);
        painter.drawImage(QRectF(picture.rect()), editorLayer);
    }
    const QString folder = qEnvironmentVariable("VEILMOX_TEST_TMP", QDir::tempPath());
    QDir().mkpath(folder);
    EXPECT_TRUE(picture.save(QDir(folder).filePath(QStringLiteral("share-mask-editor.png"))));

    const auto at = [&picture](double x, double y) {
        return picture.pixelColor(int(x * 2), int(y * 2));
    };
    const auto near = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3
               && std::abs(a.blue() - b.blue()) <= 3;
    };
    // The desktop dimmed to 0.75; a box is the raised surface at 0.82 over the dimmed window.
    const auto mix = [](const QColor& top, double alpha, const QColor& below) {
        return QColor(qRound(top.red() * alpha + below.red() * (1 - alpha)),
                      qRound(top.green() * alpha + below.green() * (1 - alpha)),
                      qRound(top.blue() * alpha + below.blue() * (1 - alpha)));
    };
    EXPECT_TRUE(near(at(1450, 900), mix(SimDesktop::DisplaySpec().desktopColor, 0.75, Qt::black)));
    EXPECT_TRUE(near(at(220, 300),
                     mix(QColor(0x17, 0x18, 0x1C), 0.82, mix(QColor(0x80, 0x80, 0x80), 0.75, Qt::black))));
    // The handle at the box's top-left corner is white; the box being drawn is tinted flame.
    EXPECT_TRUE(near(at(200, 200), Qt::white));
    EXPECT_GT(at(1150, 630).red(), at(1150, 630).blue() + 40);
}
