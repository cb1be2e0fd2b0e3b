#include "shell/kit/Fonts.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/TextView.h"
#include "tests/account/AccountFixture.h"
#include "tests/popover/PopoverFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// The popover's root over the state object with the real account session, against the local
// stand-in services, with the views reading the same simulated system.
class PopoverSignInTest : public SessionTest
{
protected:
    PopoverSignInTest()
    {
        platform::Services::setCurrent(system.services());
        kit::registerAppFonts();
    }
    ~PopoverSignInTest() override
    {
        view.reset();
        platform::Services::setCurrent(platform::Services());
    }

    PiPController pip{system.services()};
    RecordingUpdater updater;
    std::unique_ptr<MenuBarView> view;
};

} // namespace

TEST_F(PopoverSignInTest, TheButtonStartsTheBrowserSignInAndItsCompletionShowsTheMainPage)
{
    launch();
    ASSERT_TRUE(reaches(QStringLiteral("Sign in required")));
    view = std::make_unique<MenuBarView>(pip);
    view->setWindowManager(*state);
    view->setUpdaterManager(updater);
    view->show();
    auto* button = child<kit::PillButton>(*view, "signInButton");
    auto* status = child<kit::TextView>(*view, "signInStatusText");
    auto* dot = child<kit::PulseDot>(*view, "signInStatusDot");
    ASSERT_TRUE(button && status && dot);
    EXPECT_EQ(std::tuple(status->text(), dot->pulses(), button->text()),
              std::tuple(QStringLiteral("SIGN IN REQUIRED"), false, QStringLiteral("Sign in with Veilmox")));

    shell.popoverShown = true;
    click(*button);
    EXPECT_EQ(system.desktop.openedURLs(),
              QList<QUrl>{services.accountURL().resolved(QUrl("/desktop/connect"))});
    EXPECT_EQ(shell.popoverCloses, 1);
    EXPECT_EQ(std::tuple(status->text(), dot->pulses(), button->text()),
              std::tuple(QStringLiteral("WAITING FOR BROWSER SIGN-IN..."),
                         true,
                         QStringLiteral("Open sign-in again")));

    // The browser comes back with a code: the panel gives way to the main page by itself.
    state->handleCallbackURL(
        QUrl("veilmox://auth?code=" + services.issueCode(LocalServices::defaultAccount())));
    ASSERT_TRUE(reaches(QStringLiteral("Signed in")));
    EXPECT_TRUE(view->mainPage()->isVisibleTo(view.get()));
    EXPECT_FALSE(view->signInPanel()->isVisibleTo(view.get()));
    EXPECT_TRUE(child(*view, "settingsButton")->isVisibleTo(view.get()));
}
