#include "account/TokenCheck.h"
#include "platform/DesktopServices.h"
#include "tests/account/AccountFixture.h"
#include "tests/support/Compressed.h"
#include "tests/support/FailingDisk.h"
#include "tests/support/FakeLauncher.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <algorithm>

using namespace testing_support;

namespace {

const QString kCouldNotReach = QStringLiteral("Couldn't reach Veilmox. Check your connection and try again.");
const QString kSignInFailed = QStringLiteral("Sign-in failed. Try again.");
const QString kInvalidToken = QStringLiteral("Sign-in failed: invalid or expired token.");
const QString kExchangePath = QStringLiteral("/api/auth/desktop-handoff/exchange");
const QString kWaitingForBrowser = QStringLiteral("Waiting for browser sign-in...");
const QString kCouldNotOpenBrowser =
    QStringLiteral("Couldn't open your browser to sign in. Set a default browser and try again.");

using SessionSignInTest = SessionTest;

QString code(int length, QChar fill = QLatin1Char('a'))
{
    return QString(length, fill);
}

HttpResponse tokenAnswer(const QJsonValue& accessToken)
{
    return json(200,
                QJsonDocument(QJsonObject{{"access_token", accessToken}}).toJson(QJsonDocument::Compact));
}

// A whole token answer, gzipped and then cut short of its stream's end.
HttpResponse cutShortTokenAnswer(const QString& accessToken)
{
    HttpResponse response = tokenAnswer(accessToken);
    response.body = packed(response.body, Packing::Gzip).chopped(8);
    response.headers.emplaceBack("Content-Encoding", "gzip");
    return response;
}

} // namespace

TEST_F(SessionSignInTest, StartingRecordsTheHandOffAndLowersTheOnboarding)
{
    // (The popover's sign-in test sees the page opened and the popover closed.)
    state->startBrowserSignIn();
    EXPECT_EQ(
        std::tuple(state->authInProgress(), state->authStatusMessage(), state->browserReturnHost()),
        std::tuple(true, QStringLiteral("Waiting for browser sign-in..."), std::optional<QString>("auth")));
    EXPECT_EQ(state->handoffRequestedAt(), system.scheduler.currentDate());
    EXPECT_EQ(shell.browserFocusReturns, 1);

    // Without the account service's address nothing starts.
    QVariantMap info = system.bundle.infoDictionary();
    info.remove("ACCOUNT_SERVICE_URL");
    system.bundle = platform::Bundle(info);
    state->setAuthStatusMessage(QString());
    state->startBrowserSignIn();
    EXPECT_TRUE(state->authStatusMessage().isEmpty());
    EXPECT_EQ(system.desktop.openedURLs().size(), 1);
}

TEST_F(SessionSignInTest, WhenNoBrowserCanBeOpenedTheHandOffFailsAndTheLogGivesItsPage)
{
    launch();
    ASSERT_TRUE(reaches(QStringLiteral("Sign in required")));
    // "Sign in with Veilmox" in the popover, on a desktop with no default browser.
    shell.popoverShown = true;
    system.desktop.setURLOpenedHandler([](const QUrl&) { return false; });
    logged().clear();
    state->startBrowserSignIn();
    EXPECT_FALSE(state->authInProgress());
    EXPECT_EQ(state->authStatusMessage(),
              QStringLiteral("Couldn't open your browser to sign in. Set a default browser and try again."));
    // The popover stays to say so; nothing was lowered for a browser that never came.
    EXPECT_TRUE(shell.popoverShown);
    EXPECT_EQ(shell.browserFocusReturns, 0);

    // The page from the log, opened by hand, still signs in.
    const QUrl opened = system.desktop.openedURLs().value(0);
    QUrl page;
    for (const auto& line : logged()) {
        const qsizetype at = line.second.indexOf(services.accountURL().toString());
        if (at >= 0) {
            page = QUrl(line.second.mid(at));
        }
    }
    ASSERT_EQ(page, opened);
    const QString code = services.issueCode(LocalServices::defaultAccount(),
                                            QUrlQuery(page).queryItemValue(QStringLiteral("code_challenge")));
    state->handleCallbackURL(QUrl(QStringLiteral("veilmox://auth?code=") + code));
    EXPECT_TRUE(reaches(QStringLiteral("Signed in")));
}

TEST_F(SessionSignInTest, ALauncherThatFindsNoBrowserFailsTheHandOffAsItEnds)
{
    // The desktop's launcher hands the page on as the application does on this platform; it
    // says as it ends whether it found a browser.
    FakeLauncher launcher(3);
    platform::DesktopServices host;
    QList<bool> answers;
    system.desktop.setURLOpener([&](const QUrl& url, std::function<void(bool)> done) {
        host.openURL(url, [&answers, done = std::move(done)](bool opened) {
            answers << opened;
            done(opened);
        });
    });
    launch();
    ASSERT_TRUE(reaches(QStringLiteral("Sign in required")));
    // "Sign in with Veilmox" in the popover.
    shell.popoverShown = true;
    logged().clear();
    state->startBrowserSignIn();
    // Started is not opened: for now the popover makes way for the browser.
    EXPECT_TRUE(state->authInProgress());
    EXPECT_EQ(state->authStatusMessage(), kWaitingForBrowser);
    EXPECT_FALSE(shell.popoverShown);
    EXPECT_EQ(shell.browserFocusReturns, 1);

    // It ends with 3: nothing handles the link.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.isEmpty(); }, 10000));
    EXPECT_FALSE(state->authInProgress());
    EXPECT_EQ(state->authStatusMessage(), kCouldNotOpenBrowser);
    // What made way comes back to say so, "Sign in with Veilmox" offered again.
    EXPECT_TRUE(shell.popoverShown);
    EXPECT_EQ(shell.onboardingRaises, 1);
    const QUrl page = system.desktop.openedURLs().value(system.desktop.openedURLs().size() - 1);
    EXPECT_EQ(launcher.links(), page.toEncoded() + '\n');
    EXPECT_TRUE(std::any_of(logged().cbegin(), logged().cend(), [&page](const auto& line) {
        return line.second.contains(page.toString(QUrl::FullyEncoded));
    }));

    // A launcher that finds a browser leaves the hand-off waiting for the link.
    launcher.setExitStatus(0);
    state->startBrowserSignIn();
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers.size() == 2; }, 10000));
    EXPECT_TRUE(state->authInProgress());
    EXPECT_EQ(state->authStatusMessage(), kWaitingForBrowser);
    EXPECT_FALSE(shell.popoverShown);

    // One that answers only after the link came back (the page opened by hand) changes nothing.
    std::function<void(bool)> late;
    system.desktop.setURLOpener(
        [&late](const QUrl&, std::function<void(bool)> done) { late = std::move(done); });
    const QString code = signInCode();
    state->handleCallbackURL(QUrl(QStringLiteral("veilmox://auth?code=") + code));
    ASSERT_TRUE(reaches(QStringLiteral("Signed in")));
    ASSERT_TRUE(late);
    const int raises = shell.onboardingRaises;
    const int shows = shell.popoverShows;
    late(false);
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));
    EXPECT_TRUE(state->isAuthenticated());
    EXPECT_EQ(std::pair(shell.onboardingRaises, shell.popoverShows), std::pair(raises, shows));
}

TEST_F(SessionSignInTest, OnlyAWellFormedCodeOfARecentOrNeededHandOffIsExchanged)
{
    const QString good = code(40);
    struct Case
    {
        const char* name;
        QString query;
        bool exchanged;
        bool signedIn = false;
        std::optional<double> handoffSecondsAgo = std::nullopt;
    };
    const Case cases[] = {
        {"40 characters", "code=" + good, true},
        {"128 characters", "code=" + code(128, 'Z'), true},
        {"every allowed character", "code=aZ09_-" + code(34), true},
        {"39 characters", "code=" + code(39), false},
        {"129 characters", "code=" + code(129), false},
        {"a dot", "code=" + code(39) + ".", false},
        {"a plus sign", "code=" + code(39) + "+", false},
        {"a percent-encoded plus sign", "code=" + code(39) + "%2B", false},
        {"a letter beyond ASCII", "code=" + code(39) + "%C3%A9", false},
        {"no code", "state=" + good, false},
        {"a capital C", "Code=" + good, false},
        {"an empty code", "code=", false},
        {"the first code counts (short)", "code=short&code=" + good, false},
        {"the first code counts (good)", "code=" + good + "&code=short", true},
        {"signed in without a hand-off", "code=" + good, false, true},
        {"signed in, hand-off just under 30 minutes ago", "code=" + good, true, true, 1799.9},
        {"signed in, hand-off 30 minutes ago", "code=" + good, false, true, 1800.0},
        {"signed out, hand-off 2 hours ago", "code=" + good, true, false, 7200.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state->setIsAuthenticated(c.signedIn);
        const QDateTime now = system.scheduler.currentDate();
        state->setHandoffRequestedAt(c.handoffSecondsAgo
                                         ? std::optional(now.addMSecs(qint64(-*c.handoffSecondsAgo * 1000)))
                                         : std::nullopt);
        state->setAuthStatusMessage(QString());
        state->handleCallbackURL(QUrl("veilmox://auth?" + c.query));
        system.scheduler.runPending();
        EXPECT_EQ(state->authStatusMessage() == QStringLiteral("Connecting your account..."), c.exchanged);
    }
}

TEST_F(SessionSignInTest, EveryExchangeOutcomeHasItsTextAFailureKeepsTheSessionAndAnotherAccountStartsAfresh)
{
    const auto old = signIn();
    state->setIsAuthenticated(true);
    const auto fresh = [this] {
        return services.createSession(LocalServices::defaultAccount());
    };
    const QString unknownToBackend =
        services.signToken(usableClaims(now(), services.backendURL().toString()));
    // The exchange's answer, and the user check's when it matters.
    const std::tuple<const char*, Reply, QString, std::optional<Reply>> cases[] = {
        {"transport error", Fault::DropConnection, kCouldNotReach, {}},
        {"410", json(410, "{}"), QStringLiteral("That sign-in link expired. Sign in again."), {}},
        {"408", json(408, "{}"), kCouldNotReach, {}},
        {"500", json(500, "{}"), kSignInFailed, {}},
        {"200, not JSON", json(200, "<html>"), kCouldNotReach, {}},
        {"200, cut short", cutShortTokenAnswer(fresh().accessToken), kCouldNotReach, {}},
        {"200, not an object", json(200, "[]"), kSignInFailed, {}},
        {"200, empty token", tokenAnswer(""), kSignInFailed, {}},
        {"200, token not text", tokenAnswer(7), kSignInFailed, {}},
        {"token fails the local check", tokenAnswer("a.b.c"), kInvalidToken, {}},
        // Characters that would end the Authorization header and start another.
        {"a token that adds a header",
         tokenAnswer(fresh().accessToken + "\r\nX-Injected: yes"),
         kSignInFailed,
         {}},
        {"a refresh token that adds a header",
         json(200,
              QJsonDocument(QJsonObject{{"access_token", fresh().accessToken},
                                        {"refresh_token", "r\r\nX-Injected: yes"}})
                  .toJson(QJsonDocument::Compact)),
         kSignInFailed,
         {}},
        {"backend refuses the token", tokenAnswer(unknownToBackend), kInvalidToken, {}},
        {"backend unreachable", tokenAnswer(fresh().accessToken), kCouldNotReach, json(503, "{}")},
    };
    const QDateTime handoff = system.scheduler.currentDate();
    for (const auto& [name, answer, status, userCheck] : cases) {
        SCOPED_TRACE(name);
        state->setHandoffRequestedAt(handoff);
        if (userCheck) {
            script("/auth/v1/user", *userCheck);
        }
        script(kExchangePath, answer, 4);
        session->exchangeHandoffCode(code(40));
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), status);
        EXPECT_FALSE(state->authInProgress());
        EXPECT_TRUE(state->isAuthenticated());
        EXPECT_EQ(std::pair(stored(kAccess), stored(kRefresh)),
                  std::pair(std::optional(old.accessToken), std::optional(old.refreshToken)));
        // A failed exchange keeps the hand-off, so a new link soon after is still taken.
        EXPECT_EQ(state->handoffRequestedAt(), handoff);
        services.clearScript();
    }

    for (const auto& request : services.requests()) {
        EXPECT_FALSE(request.hasHeader("X-Injected")) << request.path.toStdString();
    }

    // An answer without a refresh token signs in and leaves none stored; the onboarding session
    // stays with the same account.
    analytics->setSessionID(QStringLiteral("onboarding-1"));
    const auto pair = fresh();
    script(kExchangePath, tokenAnswer(pair.accessToken));
    session->exchangeHandoffCode(code(40));
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));
    EXPECT_EQ(std::pair(stored(kAccess), stored(kRefresh)),
              std::pair(std::optional(pair.accessToken), std::optional<QString>()));
    EXPECT_FALSE(state->handoffRequestedAt());
    EXPECT_TRUE(analytics->sessionID());

    // Signing in as another account forgets it.
    session->exchangeHandoffCode(signInCode({"another-user", "b@veilmox.local"}));
    ASSERT_TRUE(drain());
    EXPECT_EQ(userID(stored(kAccess).value_or("")), "another-user");
    EXPECT_FALSE(analytics->sessionID());
}

TEST_F(SessionSignInTest, TheOldSessionsLateAnswerDoesNotTouchANewerSignIn)
{
    signIn();
    // The launch check of the old session hangs until the backend goes away.
    script("/auth/v1/user", Fault::NoAnswer);
    launch();
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            system.scheduler.runPending();
            return services.backend().heldConnections() == 1;
        },
        5000));
    session->exchangeHandoffCode(signInCode());
    ASSERT_TRUE(reaches(QStringLiteral("Signed in")));
    const auto newer = stored(kAccess);

    // Its answer now: the backend cannot be reached. Applied, it would put the new session
    // offline and start retrying.
    services.backend().close();
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed in"));
    EXPECT_FALSE(session->hasSessionRetryTask());
    EXPECT_EQ(stored(kAccess), newer);
}

TEST_F(SessionSignInTest, ASignInTheKeychainCannotSaveIsReportedNotShownAsDone)
{
    // A store whose folder cannot be made, as a full disk or a broken keyring would refuse.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    platform::FileKeychain unwritable(dir.filePath("blocked/keychain"));
    platform::Services withStore = system.services();
    withStore.keychain = &unwritable;
    SessionLifecycle unsaved(*state, client, *analytics, withStore);
    // Signed in before, or not.
    for (const bool signedInBefore : {false, true}) {
        SCOPED_TRACE(signedInBefore);
        state->setIsAuthenticated(signedInBefore);
        state->setHandoffRequestedAt(system.scheduler.currentDate());
        logged().clear();
        unsaved.exchangeHandoffCode(signInCode(unsaved));
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(),
                  QStringLiteral("Couldn't save your sign-in on this computer. Try again."));
        EXPECT_FALSE(state->isAuthenticated() || state->authInProgress() || state->isVirtualDisplayRunning());
        EXPECT_TRUE(std::any_of(logged().begin(), logged().end(), [](const auto& line) {
            return line.second.contains(QStringLiteral("could not be saved"));
        }));
        // Nobody can use the session the exchange opened: it is ended on the server.
        EXPECT_EQ(services.activeSessionCount(), 0);
    }

    // A full disk: the store's file keeps what it held. A user signed in before keeps that
    // session; nobody is shown signed in with tokens that were never saved.
    QTemporaryDir full;
    platform::FileKeychain fileStore(full.filePath("keychain"));
    withStore.keychain = &fileStore;
    SessionLifecycle onFullDisk(*state, client, *analytics, withStore);
    AuthKeychain fileTokens(withStore);
    for (const bool signedInBefore : {false, true}) {
        SCOPED_TRACE(signedInBefore);
        std::optional<LocalServices::TokenPair> old;
        if (signedInBefore) {
            old = services.createSession(LocalServices::defaultAccount());
            fileTokens.write(old->accessToken, kAccess);
            fileTokens.write(old->refreshToken, kRefresh);
        }
        state->setIsAuthenticated(signedInBefore);
        const QString code = signInCode(onFullDisk);
        const auto before = fileStore.allItems();
        {
            const testing_support::FailingDisk disk(testing_support::FailingDisk::Step::Write);
            onFullDisk.exchangeHandoffCode(code);
            ASSERT_TRUE(drain());
        }
        EXPECT_EQ(state->authStatusMessage(),
                  QStringLiteral("Couldn't save your sign-in on this computer. Try again."));
        EXPECT_FALSE(state->authInProgress());
        EXPECT_EQ(state->isAuthenticated(), signedInBefore);
        ASSERT_TRUE(before && fileStore.allItems());
        EXPECT_EQ(fileStore.allItems()->size(), before->size());
        EXPECT_EQ(fileTokens.read(kAccess), old ? std::optional(old->accessToken) : std::nullopt);
        // Only the session of the failed sign-in is ended on the server.
        EXPECT_EQ(services.activeSessionCount(), signedInBefore ? 1 : 0);
    }
}

TEST_F(SessionSignInTest, ACodeIsWorthlessToWhoeverReadsItAndAForeignOneSignsNobodyIn)
{
    launch();
    ASSERT_TRUE(reaches(QStringLiteral("Sign in required")));
    // The page the browser opens carries the challenge of a key that stays in the app.
    state->startBrowserSignIn();
    const QUrl page = system.desktop.openedURLs().last();
    const QUrlQuery pageQuery(page);
    const QString challenge = pageQuery.queryItemValue("code_challenge");
    EXPECT_EQ(challenge.size(), 43);
    EXPECT_EQ(pageQuery.queryItemValue("code_challenge_method"), "S256");
    const auto exchangeAs = [this](const QJsonObject& body) {
        platform::URLRequest request(QUrl(services.accountURL().toString() + kExchangePath));
        request.httpMethod = "POST";
        request.httpBody = QJsonDocument(body).toJson(QJsonDocument::Compact);
        const auto result = await<platform::URLSessionResult>(
            [&](auto done) { system.urlSession.dataTask(request, nullptr, done); });
        const auto* response = std::get_if<platform::HTTPResponse>(&result);
        return response != nullptr ? response->statusCode : 0;
    };
    // The page sends the browser back with the link, which another user reads on its way (from
    // a launcher's command line, say) and redeems first: refused, without a verifier or with one
    // of the attacker's own.
    const auto link = await<platform::URLSessionResult>(
        [&](auto done) { system.urlSession.dataTask(platform::URLRequest(page), nullptr, done); });
    ASSERT_TRUE(std::holds_alternative<platform::HTTPResponse>(link));
    const QUrl callback(
        QString::fromUtf8(std::get<platform::HTTPResponse>(link).value("Location").value_or("")));
    const QString code = QUrlQuery(callback).queryItemValue("code");
    ASSERT_FALSE(code.isEmpty());
    EXPECT_EQ(exchangeAs({{"code", code}}), 400);
    EXPECT_EQ(exchangeAs({{"code", code}, {"code_verifier", QString(43, 'x')}}), 400);
    EXPECT_EQ(services.activeSessionCount(), 0);

    // The app's own exchange of its own link still succeeds; its verifier went only there.
    state->handleCallbackURL(callback);
    ASSERT_TRUE(reaches(QStringLiteral("Signed in")));
    QList<QJsonObject> exchanges;
    for (const auto& request : services.requests()) {
        if (request.path == kExchangePath) {
            exchanges.append(QJsonDocument::fromJson(request.body).object());
        }
    }
    ASSERT_EQ(exchanges.size(), 3);
    const QString verifier = exchanges.last().value("code_verifier").toString();
    EXPECT_EQ(LocalServices::codeChallenge(verifier), challenge);
    EXPECT_FALSE(page.toString().contains(verifier));
    for (const auto& [category, line] : logged()) {
        EXPECT_FALSE(line.contains(verifier)) << line.toStdString();
    }

    // Someone else's sign-in, opened as a link on this computer: with a hand-off of the app's own
    // under way, or with none, it signs nobody in, and the waiting onboarding events stay here.
    session->signOut();
    ASSERT_TRUE(drain());
    const auto foreignCode = [this] {
        return services.issueCode({"attacker", "attacker@veilmox.local"},
                                  LocalServices::codeChallenge(QString(43, 'a')));
    };
    for (const bool handOffUnderWay : {true, false}) {
        SCOPED_TRACE(handOffUnderWay);
        analytics->track(QStringLiteral("flow_step"), 1);
        if (handOffUnderWay) {
            state->startBrowserSignIn();
        }
        const int recorded = static_cast<int>(services.recordedEvents().size());
        state->handleCallbackURL(QUrl("veilmox://auth?code=" + foreignCode()));
        ASSERT_TRUE(reaches(kSignInFailed));
        ASSERT_TRUE(drain());
        EXPECT_FALSE(state->isAuthenticated() || state->isVirtualDisplayRunning());
        EXPECT_EQ(std::pair(stored(kAccess), stored(kRefresh)),
                  std::pair(std::optional<QString>(), std::optional<QString>()));
        EXPECT_EQ(services.recordedEvents().size(), recorded);
        EXPECT_TRUE(analytics->hasBufferedEvents());
    }
}
