// A fresh user's first launch of the whole application on the simulated desktop, with the account
// code against the local stand-in services: the onboarding window opens, the user walks it with
// clicks (signing in through the browser on the way), and at the end the popover is open and the
// chosen apps are gone from what the "Veilmox" display shows the audience.
#include "account/BackendClient.h"
#include "account/SessionLifecycle.h"
#include "capture/VirtualDisplayManager.h"
#include "devservices/LocalServices.h"
#include "onboarding/OBTokens.h"
#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingView.h"
#include "platform/Popover.h"
#include "platform/Window.h"
#include "shell/kit/TextView.h"
#include "tests/shell/app/ShellFixture.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QColor kWallpaper = platform::sim::SimDesktop::DisplaySpec().desktopColor;

struct App
{
    QString bundleID;
    QString name;
    QRectF frame;
    QColor color;
};

// Slack and Excel are suggested by the two categories chosen by default, WhatsApp by one the
// user leaves out, Finder by "Desktop & Files", which the user adds.
const App kApps[] = {
    {"com.tinyspeck.slackmacgap", "Slack", {60, 120, 300, 200}, QColor(0xc0, 0x20, 0x30)},
    {"com.microsoft.Excel", "Microsoft Excel", {60, 400, 300, 200}, QColor(0x20, 0xa0, 0x40)},
    {"com.whatsapp.mac", "WhatsApp", {420, 120, 260, 200}, QColor(0x30, 0x60, 0xe0)},
    {"com.apple.finder", "Finder", {420, 400, 260, 200}, QColor(0xd0, 0xc0, 0x30)},
};

QColor at(const QImage& picture, const QRectF& frame)
{
    return picture.pixelColor((frame.center() * 2).toPoint());
}

} // namespace

TEST(OnboardingEndToEnd, AFirstLaunchWalkedWithClicksEndsSignedInWithTheChosenAppsHiddenFromTheAudience)
{
    ShellFixture f;
    devservices::LocalServices services;
    ASSERT_TRUE(services.start());
    services.setClock([&f] { return f.scheduler.currentDate(); });
    QVariantMap info = f.env.t.bundle.infoDictionary();
    info.insert("SUPABASE_URL", services.backendURL().toString());
    info.insert("SUPABASE_ANON_KEY", services.options().anonKey);
    info.insert("ACCOUNT_SERVICE_URL", services.accountURL().toString());
    f.env.t.bundle = platform::Bundle(info);

    // The account code, composed as the application composes it.
    BackendClient client(f.env.t.services());
    f.manager = std::make_unique<WindowManager>(f.env.t.services(), &f.registry);
    f.analytics = std::make_unique<OnboardingAnalytics>(*f.manager, f.env.t.services());
    SessionLifecycle session(*f.manager, client, *f.analytics, f.env.t.services());
    f.manager->setBackendCalls(&client);
    f.manager->setAccountSession(&session);

    for (const App& app : kApps) {
        platform::sim::SimDesktop::WindowSpec window;
        window.owner = f.desktop.launchApp(app.bundleID, app.name);
        window.title = app.name;
        window.bounds = app.frame;
        window.color = app.color;
        f.desktop.addWindow(window);
    }
    // The browser: it loads the sign-in page and follows its redirect back into the application.
    f.desktop.setURLOpenedHandler([&](const QUrl& page) {
        f.env.t.urlSession.dataTask(
            platform::URLRequest(page), nullptr, [&](const platform::URLSessionResult& r) {
                const auto* response = std::get_if<platform::HTTPResponse>(&r);
                if (const auto location = response != nullptr ? response->value("Location") : std::nullopt) {
                    f.app->application({QUrl(QString::fromUtf8(*location))});
                }
            });
        return true;
    });
    const auto until = [&f](const std::function<bool()>& done) {
        return QTest::qWaitFor(
            [&] {
                f.scheduler.runPending();
                return done();
            },
            10000);
    };

    f.launch();
    platform::Window* window = f.app->onboardingWindow();
    ASSERT_NE(window, nullptr) << "a first launch opens the onboarding";
    EXPECT_TRUE(window->isVisible());
    auto* view = qobject_cast<OnboardingView*>(window->contentView());
    ASSERT_NE(view, nullptr);
    const auto clickOn = [&](const QString& name, bool settle = true) {
        QWidget* control = view->currentStepView()->findChild<QWidget*>(name);
        if (control == nullptr || !control->isVisible()) {
            control = view->findChild<QWidget*>(name);
        }
        ASSERT_NE(control, nullptr) << name.toStdString();
        ASSERT_TRUE(control->isVisible()) << name.toStdString();
        f.click(ShellFixture::centerOf(*control, *window));
        if (settle) {
            f.scheduler.advance(1); // the slide, if any, is over
        }
    };
    const auto shortcutRegistered = [&f] {
        return f.env.t.hotKeys.isRegistered(4, 0x100 | 0x200);
    };

    clickOn("goal.persona.professional");
    clickOn("onboardingContinue");
    clickOn("hide.category.Desktop & Files");
    clickOn("onboardingContinue");
    clickOn("demo.veil");
    clickOn("onboardingContinue");
    EXPECT_FALSE(shortcutRegistered()) << "⇧⌘H is the practice step's own";
    clickOn("hotkey.test");
    clickOn("onboardingContinue");
    EXPECT_TRUE(shortcutRegistered());
    ASSERT_EQ(view->flow().step(), OnboardingFlow::kSetupStep);
    ASSERT_FALSE(f.manager->isAuthenticated());
    const auto& compositor = f.env.t.screenCapture.compositor();
    const QImage onboarding = compositor.renderDisplay(f.desktop.mainDisplayID(), QSize(3024, 1964));
    ASSERT_TRUE(onboarding.save(picturePath(QStringLiteral("onboarding-window-on-the-desktop"))));
    EXPECT_EQ(onboarding.pixelColor(((window->frame().topLeft() + QPointF(100, 300)) * 2).toPoint()),
              OBTokens::canvas())
        << "the window over the apps";

    f.scheduler.advance(3); // the receipt with its button comes after the setup's short show
    const auto* saved = view->findChild<kit::TextView*>("receipt.status");
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->text(), "Not saved to your account yet");
    clickOn("setup.save");
    ASSERT_EQ(f.desktop.openedURLs().size(), 1);
    EXPECT_EQ(f.desktop.openedURLs().first().adjusted(QUrl::RemoveQuery),
              services.accountURL().resolved(QUrl("/desktop/connect")));
    ASSERT_TRUE(until([&] { return f.manager->isAuthenticated(); }))
        << f.manager->authStatusMessage().toStdString();
    EXPECT_EQ(view->flow().step(), OnboardingFlow::kPermissionsStep);
    EXPECT_TRUE(view->findChild<QWidget*>("onboardingSignOut")->isVisible())
        << "signed in from the setup step";
    EXPECT_TRUE(f.manager->hiddenBundleIDs().isEmpty()) << "nothing is hidden before the end";
    clickOn(f.manager->hasScreenRecordingPermission() ? "permissions.continue" : "permissions.skip");
    clickOn("share.finish", false);
    EXPECT_NE(f.app->onboardingWindow(), nullptr) << "the view's call returns before its window goes";
    f.scheduler.runPending();

    // The shell took over: the window is gone, the popover is open, the onboarding is done.
    EXPECT_EQ(f.app->onboardingWindow(), nullptr);
    EXPECT_TRUE(f.app->isPopoverShown());
    EXPECT_TRUE(f.env.t.defaults.boolForKey(AppDelegate::onboardingCompletedKey));
    EXPECT_FALSE(f.env.t.defaults.hasObject(OnboardingDraft::kDefaultsKey));
    EXPECT_EQ(
        f.manager->hiddenBundleIDs(),
        (QSet<QString>{QStringLiteral("com.tinyspeck.slackmacgap"), QStringLiteral("com.microsoft.Excel")}));

    // What the audience sees on "Veilmox": the chosen apps are gone, the others still there.
    f.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck + 0.5);
    ASSERT_NE(f.manager->virtualDisplayManager(), nullptr);
    const auto veilmox = f.manager->virtualDisplayManager()->virtualScreen();
    ASSERT_TRUE(veilmox && veilmox->displayID());
    const QImage audience = compositor.renderDisplay(*veilmox->displayID(), QSize(3024, 1964));
    const QImage own = compositor.renderDisplay(f.desktop.mainDisplayID(), QSize(3024, 1964));
    ASSERT_TRUE(audience.save(picturePath(QStringLiteral("onboarding-end-veilmox-display"))));
    ASSERT_TRUE(own.save(picturePath(QStringLiteral("onboarding-end-main-display"))));
    EXPECT_EQ(at(audience, kApps[0].frame), kWallpaper) << "Slack";
    EXPECT_EQ(at(audience, kApps[1].frame), kWallpaper) << "Excel";
    EXPECT_EQ(at(audience, kApps[2].frame), kApps[2].color) << "WhatsApp was not chosen";
    EXPECT_EQ(at(audience, kApps[3].frame), kApps[3].color) << "Finder is never hidden";
    for (const App& app : kApps) {
        EXPECT_EQ(at(own, app.frame), app.color) << "the user still sees " << app.name.toStdString();
    }

    // The progress reached the backend once the sign-in came back, and it ended as completed.
    ASSERT_TRUE(
        until([&] { return f.env.t.urlSession.tasksInFlight() == 0 && !f.analytics->hasBufferedEvents(); }));
    QStringList recorded;
    for (const QJsonObject& event : services.recordedEvents()) {
        recorded << event.value("p_event_type").toString();
    }
    EXPECT_EQ(recorded.count("step_started"), 7);
    EXPECT_EQ(recorded.count("flow_completed"), 1);
    EXPECT_FALSE(recorded.contains("app_closed"));

    f.app.reset();
    f.manager->setAccountSession(nullptr);
    f.manager->setBackendCalls(nullptr);
}
