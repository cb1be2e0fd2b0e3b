// The mask editor opened by the state object on the simulated desktop, with the virtual display
// running: a box drawn in the editor becomes a mask that the audience sees painted over its
// window, while the editor itself appears in no capture.
#include "capture/ShareMaskEditor.h"
#include "capture/ShareMaskEditorPanel.h"
#include "capture/ShareMaskEditorView.h"
#include "capture/VirtualDisplayManager.h"
#include "tests/state/StateFixture.h"
#include "tests/support/CurrentServices.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor kMaskFill(23, 24, 28);
const QColor kWindowColour(0x80, 0x80, 0x80);

QColor at(const QImage& image, QPointF point)
{
    return image.pixelColor(static_cast<int>(point.x() * 2), static_cast<int>(point.y() * 2));
}

} // namespace

using ShareMaskEditorEndToEnd = testing_support::StateTest;

TEST_F(ShareMaskEditorEndToEnd, ADrawnBoxIsPaintedForTheAudienceAndTheEditorIsCapturedNowhere)
{
    testing_support::CurrentServices current(t.services());
    const QString notes = QStringLiteral("com.example.Notes");
    const quint32 window = t.launchAppWithWindow(notes, QStringLiteral("Notes"), {100, 100, 800, 600}).second;
    ShareMaskEditor editor(t.services(), manager.get());
    manager->setShareMaskEditor(&editor);
    WindowManager& m = start();
    m.startVirtualDisplay();
    t.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.1);
    ASSERT_NE(m.virtualDisplayManager(), nullptr);
    const auto veilmoxScreen = m.virtualDisplayManager()->virtualScreen();
    ASSERT_TRUE(veilmoxScreen);
    const quint32 veilmox = *veilmoxScreen->displayID();

    m.openShareMaskEditor();
    ASSERT_TRUE(editor.isEditing());
    auto* surface = qobject_cast<ShareMaskEditorView*>(editor.panel()->contentView());
    ASSERT_NE(surface, nullptr);
    QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(300, 250));
    QTest::mouseMove(surface, QPoint(400, 320));
    QTest::mouseMove(surface, QPoint(500, 400));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(500, 400));

    // Stored relative to the window, and saved.
    const QUuid id = m.shareMasks().value(0).id;
    EXPECT_EQ(m.shareMasks(), (QList<ShareMask>{{id, window, notes, QRectF(200, 150, 200, 150)}}));
    EXPECT_EQ(ShareMask::decodeList(t.defaults.dataForKey(WindowManager::shareMasksKey).value()),
              m.shareMasks());

    t.scheduler.advance(0.2);
    EXPECT_TRUE(t.desktop.isWindowOnScreen(editor.panel()->windowNumber()));
    const auto& compositor = t.screenCapture.compositor();
    const QImage audience = compositor.renderDisplay(veilmox, QSize(3024, 1964));
    const QImage physical = compositor.renderDisplay(t.mainDisplay, QSize(3024, 1964));
    // The audience sees the mask over the window, and the window undimmed around it.
    EXPECT_EQ(at(audience, {400, 325}), kMaskFill);
    EXPECT_EQ(at(audience, {301, 251}), kMaskFill);
    EXPECT_EQ(at(audience, {298, 251}), kWindowColour);
    EXPECT_EQ(at(audience, {150, 600}), kWindowColour);
    // A capture of the display itself shows neither the editor's dimming nor its boxes.
    EXPECT_EQ(at(physical, {400, 325}), kWindowColour);
    EXPECT_EQ(at(physical, {150, 600}), kWindowColour);

    // Moving the window moves the mask with it; the editor, closed, leaves the display.
    QTest::keyClick(surface, Qt::Key_Escape);
    EXPECT_FALSE(editor.isEditing());
    t.desktop.setWindowBounds(window, {300, 200, 800, 600});
    t.scheduler.advance(0.2);
    const QImage moved = compositor.renderDisplay(veilmox, QSize(3024, 1964));
    EXPECT_EQ(at(moved, {600, 425}), kMaskFill);
    EXPECT_EQ(at(moved, {400, 325}), kWindowColour);
}
