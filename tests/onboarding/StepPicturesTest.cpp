// Pictures of the last three steps in the onboarding window, with sentinel pixels: the setup
// card's glow and its flame call to action, the permission pane's highlighted row, the share
// step's white finishing pill.
#include "onboarding/OBTokens.h"
#include "shell/kit/Snapshot.h"
#include "tests/onboarding/StepTestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// Where a control's point lies in the window's picture.
QPointF inWindow(const OnboardingWindow& w, const char* name, QPointF at)
{
    const QWidget* widget = w.find(name);
    return widget != nullptr ? QPointF(widget->mapTo(w.view.get(), at.toPoint())) : QPointF(-1, -1);
}

QImage picture(const OnboardingWindow& w, const QString& name)
{
    const QImage image = kit::renderView(*w.view, 2.0);
    EXPECT_TRUE(image.save(picturePath(name)));
    return image;
}

bool flameLike(const QColor& c)
{
    return c.red() > 220 && c.green() > 90 && c.green() < 170 && c.blue() < 80;
}

} // namespace

TEST(StepPictures, TheSetupReceiptGlowsAboveItsCardAndOffersToSaveTheSetup)
{
    for (const auto& [time, name] :
         {std::pair(1.2, "compiling"), std::pair(2.2, "success"), std::pair(4.0, "receipt")}) {
        OnboardingWindow w(OnboardingFlow::kSetupStep);
        w.view->flow().setPersona(QStringLiteral("professional"));
        w.env.advance(time);
        const QImage image = picture(w, QStringLiteral("onboarding-setup-%1").arg(name));
        const QWidget* card = w.find("setup.card");
        const QPointF top = card->mapTo(w.view.get(), QPoint(card->width() / 2, 0));
        const QColor glow = colorAt(image, top - QPointF(0, 6));
        EXPECT_GT(glow.red(), OBTokens::canvas().red() + 20) << name;
        EXPECT_GT(glow.red(), glow.blue() + 20) << name;
        if (QString(name) == QLatin1String("receipt")) {
            EXPECT_TRUE(flameLike(colorAt(image, inWindow(w, "setup.save", QPointF(30, 22)))));
        }
    }
}

TEST(StepPictures, ThePermissionPaneAndTheSharePicker)
{
    OnboardingWindow permissions(OnboardingFlow::kPermissionsStep);
    permissions.env.advance(1);
    const QImage waiting = picture(permissions, QStringLiteral("onboarding-permissions"));
    EXPECT_TRUE(flameLike(colorAt(waiting, inWindow(permissions, "permissions.grant", QPointF(30, 18)))));
    permissions.services->reportPermission(true);
    permissions.env.advance(1);
    const QImage granted = picture(permissions, QStringLiteral("onboarding-permissions-granted"));
    // The confirmation panel's flame border, where the waiting panel had none.
    const QPointF edge = inWindow(permissions, "permissions.granted", QPointF(0, 20));
    EXPECT_GT(colorAt(granted, edge).red(), colorAt(waiting, edge).red() + 30);

    OnboardingWindow share(OnboardingFlow::kShareStep);
    share.env.advance(1);
    const QImage steps = picture(share, QStringLiteral("onboarding-share"));
    EXPECT_TRUE(near(colorAt(steps, inWindow(share, "share.finish", QPointF(8, 20))), Qt::white, 3));
}
