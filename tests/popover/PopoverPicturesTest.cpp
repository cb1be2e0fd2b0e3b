// Renders the popover signed out, signed in and with the sharing guide open to PNG files (see
// picturesFolder) and checks sentinel pixels of each.
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/popover/PopoverFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST_F(RootTest, PicturesSignedOutSignedInAndWithTheGuideOpen)
{
    start(false);
    manager->setAuthStatusMessage(QStringLiteral("Sign in required"));
    MenuBarView& root = open(false);
    QImage picture;
    const auto render = [&](const QString& name) {
        advance();
        picture = kit::renderView(root, 2.0);
        EXPECT_TRUE(picture.save(picturePath(name)));
    };
    // The colour at a point of a control: at its middle, moved by an offset, or `inset` points in
    // from its leading edge.
    const auto colour = [&](const QWidget* control, QPointF offset = {}, std::optional<double> inset = {}) {
        const QRectF frame(QPointF(control->mapTo(&root, QPoint(0, 0))), QSizeF(control->size()));
        const QPointF point =
            inset ? QPointF(frame.left() + *inset, frame.center().y()) : frame.center() + offset;
        return colorAt(picture, point);
    };
    const auto flameLike = [](const QColor& c) {
        return c.red() > 200 && c.green() > 80 && c.green() < 170 && c.blue() < 80;
    };

    render(QStringLiteral("popover-signed-out"));
    EXPECT_TRUE(flameLike(colour(child(root, "signInButton"))));
    EXPECT_TRUE(flameLike(colour(child(root, "menuBarLogo"), {-7, 0})));
    EXPECT_TRUE(
        near(colour(root.signInPanel()->findChild<kit::CardBackground*>(), {}, 6), kit::Palette::surface()));
    EXPECT_TRUE(near(colorAt(picture, QPointF(20, 600)), kit::Palette::canvas()));

    manager->setIsAuthenticated(true);
    render(QStringLiteral("popover-signed-in"));
    const QWidget* guideButton = child(root, "guideButton");
    EXPECT_TRUE(near(colour(guideButton, {11, 0}), kit::Palette::canvas())) << "no disc while closed";

    navigation().toggleHelpGuide();
    render(QStringLiteral("popover-guide"));
    EXPECT_TRUE(near(colour(guideButton, {11, 0}), kit::Palette::surfaceRaised())) << "the button is active";
    EXPECT_TRUE(near(colour(root.guideCard(), {}, 5), kit::Palette::surface()));
    EXPECT_TRUE(near(colour(child(root, "guideGotItButton"), {}, 6), Qt::white));
}
