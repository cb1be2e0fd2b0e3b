// Renders the popover signed out, signed in and with the sharing guide open to PNG files (see
// picturesFolder) and checks sentinel pixels of each.
#include "pip/PiPController.h"
#include "popover/MenuBarView.h"
#include "popover/PopoverNavigation.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/IconButton.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/popover/PopoverFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

bool flameLike(const QColor& c)
{
    return c.red() > 200 && c.green() > 80 && c.green() < 170 && c.blue() < 80;
}

// A point of a control, in the root's coordinates.
QPointF at(const MenuBarView& root, const QWidget* control, QPointF offsetFromCenter = {})
{
    return QPointF(control->mapTo(&root, QPoint(0, 0))) + QRectF(control->rect()).center() + offsetFromCenter;
}

} // namespace

TEST_F(PopoverTest, PicturesSignedOutSignedInAndWithTheGuideOpen)
{
    start(false);
    manager->setAuthStatusMessage(QStringLiteral("Sign in required"));
    PiPController pip(t.services());
    RecordingUpdater updater;
    MenuBarView root(pip);
    root.setWindowManager(*manager);
    root.setUpdaterManager(updater);
    const auto render = [&](const QString& name) {
        advance();
        const QImage picture = kit::renderView(root, 2.0);
        EXPECT_TRUE(picture.save(picturePath(name)));
        return picture;
    };

    QImage picture = render(QStringLiteral("popover-signed-out"));
    EXPECT_TRUE(flameLike(colorAt(picture, at(root, child(root, "signInButton")))));
    const auto* card = root.signInPanel()->findChild<kit::CardBackground*>();
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(near(colorAt(picture, at(root, card, QPointF(-card->width() / 2.0 + 6, 0))),
                     kit::Palette::surface()));
    EXPECT_TRUE(near(colorAt(picture, QPointF(20, 600)), kit::Palette::canvas()));
    EXPECT_TRUE(flameLike(colorAt(picture, at(root, child(root, "menuBarLogo"), QPointF(-7, 0)))));

    manager->setIsAuthenticated(true);
    picture = render(QStringLiteral("popover-signed-in"));
    const QWidget* guideButton = child(root, "guideButton");
    EXPECT_TRUE(near(colorAt(picture, at(root, guideButton, QPointF(11, 0))), kit::Palette::canvas()))
        << "no disc while the guide is closed";

    root.navigation().toggleHelpGuide();
    picture = render(QStringLiteral("popover-guide"));
    EXPECT_TRUE(near(colorAt(picture, at(root, guideButton, QPointF(11, 0))), kit::Palette::surfaceRaised()))
        << "the guide button is active";
    const QWidget* guide = root.guideCard();
    EXPECT_TRUE(near(colorAt(picture, at(root, guide, QPointF(-guide->width() / 2.0 + 5, 0))),
                     kit::Palette::surface()));
    EXPECT_TRUE(near(colorAt(picture,
                             at(root,
                                child(root, "guideGotItButton"),
                                QPointF(-child(root, "guideGotItButton")->width() / 2.0 + 6, 0))),
                     Qt::white));
}
