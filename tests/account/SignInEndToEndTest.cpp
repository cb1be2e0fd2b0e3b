// The whole browser sign-in on this platform: the running instance opens the sign-in page, a
// scripted browser loads it and follows its redirect by launching the real program with the
// "veilmox:" link (as the desktop entry's "Exec=veilmox %u" does), and that second launch hands
// the link over the per-user socket to the running instance, which signs in.
#include "account/TokenCheck.h"
#include "platform/URLHandoff.h"
#include "tests/account/AccountFixture.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;
using SignInEndToEnd = SessionTest;

TEST_F(SignInEndToEnd, SigningInThroughTheBrowserHandsTheLinkToTheRunningInstance)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    platform::URLHandoff running(
        QStringLiteral("getveilmox.Veilmox"), {WindowManager::callbackScheme}, system.scheduler, dir.path());
    ASSERT_EQ(running.start({}), platform::URLHandoff::Role::Primary);
    // What the application delegate does with the URLs it is given.
    QObject::connect(
        &running, &platform::URLHandoff::urlsReceived, state.get(), [this](const QList<QUrl>& urls) {
            for (const QUrl& url : urls) {
                state->handleCallbackURL(url);
            }
        });

    QProcess secondLaunch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Everything the program could touch stays inside the test's folder.
    environment.insert("XDG_RUNTIME_DIR", dir.path());
    environment.insert("HOME", dir.path() + "/home");
    environment.insert("XDG_DATA_HOME", dir.path() + "/data");
    environment.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    secondLaunch.setProcessEnvironment(environment);

    // The browser.
    QList<QUrl> redirects;
    system.desktop.setURLOpenedHandler([&](const QUrl& page) {
        system.urlSession.dataTask(
            platform::URLRequest(page), nullptr, [&](const platform::URLSessionResult& r) {
                const auto* response = std::get_if<platform::HTTPResponse>(&r);
                if (const auto location = response != nullptr ? response->value("Location") : std::nullopt) {
                    redirects << QUrl(QString::fromUtf8(*location));
                    secondLaunch.start(QStringLiteral(VEILMOX_EXECUTABLE), {redirects.last().toString()});
                }
            });
    });

    launch();
    // An onboarding event of the signed-out user waits for the sign-in.
    analytics->track(QStringLiteral("flow_step"), 1);
    state->startBrowserSignIn();
    const bool signedIn = reaches(QStringLiteral("Signed in"), 30000);
    const bool exited = secondLaunch.state() == QProcess::NotRunning || secondLaunch.waitForFinished(20000);
    ASSERT_TRUE(signedIn) << secondLaunch.readAllStandardError().toStdString();
    ASSERT_TRUE(exited);
    EXPECT_EQ(secondLaunch.exitCode(), 0);

    EXPECT_EQ(system.desktop.openedURLs(),
              QList<QUrl>{services.accountURL().resolved(QUrl("/desktop/connect"))});
    ASSERT_EQ(redirects.size(), 1);
    EXPECT_EQ(redirects[0].scheme() + "://" + redirects[0].host(), "veilmox://auth");
    EXPECT_EQ(shell.onboardingRaises, 1);
    EXPECT_TRUE(state->isAuthenticated() && state->isVirtualDisplayRunning());
    EXPECT_FALSE(state->authInProgress() || state->handoffRequestedAt());
    EXPECT_EQ(userID(stored(kAccess).value_or("")), LocalServices::defaultAccount().id);
    EXPECT_EQ(services.requestCount("/api/auth/desktop-handoff/exchange"), 1);
    // The waiting event went out with the session start, before the flow event.
    ASSERT_TRUE(drain());
    EXPECT_EQ(sent(), (QStringList{"start", "flow_step", "flow_started"}));
    EXPECT_FALSE(analytics->hasBufferedEvents());
}
