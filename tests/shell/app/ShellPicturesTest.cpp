// Renders the shell as a person sees it on the simulated display (status item with its badge,
// onboarding window, popover) and the HUD toast, to PNG files (see picturesFolder), and checks
// sentinel pixels of each.
#include "platform/Popover.h"
#include "platform/StatusBar.h"
#include "platform/Window.h"
#include "platform/sim/SimCompositor.h"
#include "shell/HUDToastView.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Snapshot.h"
#include "tests/shell/app/ShellFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

QImage renderDesktop(ShellFixture& f, const QString& name)
{
    const platform::sim::SimCompositor compositor(f.desktop);
    const QImage picture = compositor.renderDisplay(f.desktop.mainDisplayID(), QSize(1512, 982));
    EXPECT_TRUE(picture.save(picturePath(name)));
    return picture;
}

bool flameLike(const QColor& c)
{
    return c.red() > 200 && c.green() > 80 && c.green() < 160 && c.blue() < 80;
}

} // namespace

TEST(ShellPictures, StatusItemWithBadgeTheOnboardingWindowAndThePopover)
{
    ShellFixture f;
    f.launch();
    f.app->updateStatusIcon(3);
    QImage picture = renderDesktop(f, QStringLiteral("shell-desktop"));
    const QRectF button = *f.app->statusItem()->button()->screenFrame();
    // The badge dot near the button's top-right corner, the template icon in black at its middle.
    EXPECT_TRUE(flameLike(picture.pixelColor(QPoint(static_cast<int>(button.left()) + 20, 5))));
    EXPECT_EQ(picture.pixelColor(button.center().toPoint()).lightness(), 0);
    const QRect strip = button.toAlignedRect().adjusted(-40, 0, 8, 8);
    EXPECT_TRUE(picture.copy(strip)
                    .scaled(strip.size() * 8, Qt::KeepAspectRatio, Qt::FastTransformation)
                    .save(picturePath(QStringLiteral("status-item"))));

    // The onboarding window: the canvas with its close button.
    const QRectF window = f.app->onboardingWindow()->frame();
    EXPECT_TRUE(near(picture.pixelColor(
                         QPoint(static_cast<int>(window.left()) + 200, static_cast<int>(window.top()) + 100)),
                     kit::Palette::canvas()));
    EXPECT_EQ(
        picture.pixelColor(QPoint(static_cast<int>(window.left()) + 14, static_cast<int>(window.top()) + 14)),
        QColor(0xff, 0x5f, 0x57));

    // With the onboarding closed, the popover under the status item.
    f.app->onboardingWindow()->close();
    f.click(f.statusButtonCenter());
    ASSERT_TRUE(f.app->isPopoverShown());
    picture = renderDesktop(f, QStringLiteral("shell-popover"));
    const QRectF popover = f.app->popover()->contentWindow()->frame();
    EXPECT_TRUE(
        near(picture.pixelColor((popover.center() + QPointF(0, 200)).toPoint()), kit::Palette::canvas()));
}

TEST(ShellPictures, HUDToastVeiledVisibleAndForADetectedShare)
{
    struct Case
    {
        bool veiled;
        QString name;
        std::optional<QString> subtitle;
        QString picture;
    };
    const Case cases[] = {
        {true, QStringLiteral("Slack"), std::nullopt, QStringLiteral("hud-veiled")},
        {false, QStringLiteral("Messages"), std::nullopt, QStringLiteral("hud-visible")},
        {true,
         QStringLiteral("2 apps hidden"),
         QStringLiteral("SHARING DETECTED · MICROSOFT TEAMS"),
         QStringLiteral("hud-detected-share")},
    };
    for (const Case& c : cases) {
        KitEnvironment env;
        HUDOverlayController hud(env.t.services());
        hud.show(c.name, QImage(), c.veiled, c.subtitle);
        env.advance(0.8); // fully in
        auto* view = qobject_cast<HUDToastView*>(hud.window()->contentView());
        ASSERT_NE(view, nullptr);
        const QImage image = kit::renderView(*view, 2.0, kit::Palette::canvas());
        ASSERT_TRUE(image.save(picturePath(c.picture)));
        // A flame border and tag (flame shade) when veiled, a hairline and a blue tint otherwise.
        const QColor border = colorAt(image, QPointF(170, 15.5));
        const QColor tag = colorAt(image, QPointF(25 + 290 - 14 - 3, 40));
        if (c.veiled) {
            EXPECT_GT(border.red(), std::max(100, border.blue() + 60)) << border.name().toStdString();
            EXPECT_GT(tag.red(), tag.blue()) << tag.name().toStdString();
        } else {
            EXPECT_LT(border.red(), 60) << border.name().toStdString();
            EXPECT_LT(std::abs(border.red() - border.blue()), 12);
            EXPECT_GT(tag.blue(), tag.red()) << tag.name().toStdString();
        }
        // Text on the status line's rows: one for a plain toast, two for the detected share.
        const HUDToastView::Layout l =
            HUDToastView::layout(view->capsuleRect(), c.name, c.subtitle, c.veiled, view);
        int inkedRows = 0;
        for (int line = 0; line < l.statusText.lineCount(); ++line) {
            bool ink = false;
            const double lineHeight = l.status.height() / l.statusText.lineCount();
            for (double x = l.status.left(); x < l.status.right() && !ink; x += 0.5) {
                ink = colorAt(image, QPointF(x, l.status.top() + lineHeight * (line + 0.5))).lightness() > 70;
            }
            inkedRows += ink ? 1 : 0;
        }
        EXPECT_EQ(inkedRows, c.subtitle ? 2 : 1) << c.picture.toStdString();
        EXPECT_TRUE(
            near(colorAt(image, QPointF(l.tag.left() - 14, l.tag.center().y())), kit::Palette::surface(), 3))
            << "nothing but the capsule's fill between the texts and the tag";
    }
}
