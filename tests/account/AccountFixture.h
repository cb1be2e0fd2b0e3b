#pragma once

#include "account/AuthKeychain.h"
#include "account/BackendClient.h"
#include "account/OnboardingAnalytics.h"
#include "account/SessionLifecycle.h"
#include "devservices/LocalServices.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/state/StateFixture.h"
#include "tests/support/TestDesktop.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

// Failures show text as text, not as the bytes of its characters (found by argument lookup, so
// it lives beside QString).
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace testing_support {

using devservices::Fault;
using devservices::HttpRequest;
using devservices::HttpResponse;
using devservices::LocalServices;
using devservices::Reply;

inline const QString kAccess = AuthKeychain::accessTokenAccount;
inline const QString kRefresh = AuthKeychain::refreshTokenAccount;

inline HttpResponse json(int status, const QByteArray& body)
{
    return HttpResponse::json(status, body);
}

// A token with the given header and payload and a signature that nobody checks locally.
inline QString makeToken(const QJsonObject& header, const QJsonObject& payload)
{
    const auto segment = [](const QJsonObject& object) {
        return QString::fromLatin1(
            QJsonDocument(object)
                .toJson(QJsonDocument::Compact)
                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    };
    return segment(header) + '.' + segment(payload) + ".c2ln";
}

// Claims that pass the local check at `now` (seconds since 1970), for a base address.
inline QJsonObject usableClaims(double now, const QString& base)
{
    return {{"exp", now + 3600}, {"aud", "authenticated"}, {"sub", "user-1"}, {"iss", base + "/auth/v1"}};
}

// The account code against the local stand-in services on loopback, with the backend and
// account addresses in the bundle settings, a keychain in memory and the virtual clock shared
// by the client and the services.
class AccountTest : public ::testing::Test
{
protected:
    AccountTest()
    {
        EXPECT_TRUE(services.start());
        services.setClock([this] { return system.scheduler.currentDate(); });
        configure(services.backendURL().toString(), services.options().anonKey);
        logged().clear();
        s_previousHandler =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& c, const QString& m) {
                logged().append({QByteArray(c.category), m});
                if (s_previousHandler != nullptr) {
                    s_previousHandler(type, c, m);
                }
            });
    }
    ~AccountTest() override { qInstallMessageHandler(s_previousHandler); }

    // What was logged since the test began, with its category.
    static QList<std::pair<QByteArray, QString>>& logged()
    {
        static QList<std::pair<QByteArray, QString>> lines;
        return lines;
    }

    double now() const
    {
        return static_cast<double>(system.scheduler.currentDate().toMSecsSinceEpoch()) / 1000;
    }

    // Replaces the bundle settings (the stand-in's addresses and key unless given otherwise).
    void configure(const std::optional<QString>& supabaseURL, const std::optional<QString>& anonKey)
    {
        QVariantMap info = system.bundle.infoDictionary();
        info.remove("SUPABASE_URL");
        info.remove("SUPABASE_ANON_KEY");
        if (supabaseURL) {
            info.insert("SUPABASE_URL", *supabaseURL);
        }
        if (anonKey) {
            info.insert("SUPABASE_ANON_KEY", *anonKey);
        }
        info.insert("ACCOUNT_SERVICE_URL", services.accountURL().toString());
        system.bundle = platform::Bundle(info);
    }

    // Stores a signed-in session of the stand-in's default account in the keychain.
    LocalServices::TokenPair signIn()
    {
        const auto pair = services.createSession(LocalServices::defaultAccount());
        tokens.write(pair.accessToken, kAccess);
        tokens.write(pair.refreshToken, kRefresh);
        return pair;
    }

    // Moves the clock past the lifetime of the access tokens issued so far.
    void expireAccessToken() { system.scheduler.advance(services.options().accessTokenLifetime + 60); }

    std::optional<QString> stored(const QString& account) const { return tokens.read(account); }

    // The next requests for the path get the reply; four times covers Qt Network's resends of a
    // request whose connection closed before any answer.
    void script(const QString& path, const Reply& reply, int times = 1)
    {
        for (int i = 0; i < times; ++i) {
            services.script(path, reply);
        }
    }

    // Starts an asynchronous call with the completion given and runs the event loop until it
    // completes (a call that never does fails the test).
    template <typename R, typename Start>
    R await(Start start)
    {
        std::optional<R> result;
        start([&](const R& value) { result = value; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
        return result.value();
    }

    TestDesktop system;
    LocalServices services;
    BackendClient client{system.services()};
    AuthKeychain tokens{system.services()};

private:
    static inline QtMessageHandler s_previousHandler = nullptr;
};

// The state object with the account session and the analytics client installed over the local
// stand-in services, as the application composes them.
class SessionTest : public AccountTest
{
protected:
    SessionTest()
    {
        state->setAppDelegate(&shell);
        state->setBackendCalls(&client);
        state->setAccountSession(session.get());
    }

    // Starts the state object as the application does (legacy tokens, then the saved session).
    void launch() { state->start(); }

    // Runs deferred calls and the event loop until no request is on its way.
    bool drain()
    {
        return QTest::qWaitFor(
            [this] {
                system.scheduler.runPending();
                return system.urlSession.tasksInFlight() == 0;
            },
            5000);
    }

    // Until the session's status reads this.
    bool reaches(const QString& status, int timeout = 5000)
    {
        return QTest::qWaitFor(
            [&] {
                system.scheduler.runPending();
                return state->authStatusMessage() == status;
            },
            timeout);
    }

    // An access token of the stand-in that fails the local check (expired a minute ago), so the
    // clock need not move while a virtual display captures.
    QString expiredToken() const
    {
        QJsonObject claims = usableClaims(now(), services.backendURL().toString());
        claims.insert("exp", now() - 60);
        return services.signToken(claims);
    }

    // Runs the action when the next request for the path reaches the stand-in, before it is
    // answered.
    void onRequest(const QString& path, std::function<void()> action)
    {
        auto fired = std::make_shared<bool>(false);
        const auto watch = [path, fired, action](const QString& received) {
            if (received == path && !*fired) {
                *fired = true;
                action();
            }
        };
        QObject::connect(&services.backend(), &devservices::HttpServer::requestReceived, &services, watch);
        QObject::connect(&services.account(), &devservices::HttpServer::requestReceived, &services, watch);
    }

    // Starts a browser sign-in through the session and gives the code that the account service's
    // page sends back for it (only that session holds the verifier of its challenge).
    QString signInCode(SessionLifecycle& signingIn,
                       const LocalServices::Account& account = LocalServices::defaultAccount())
    {
        signingIn.startBrowserSignIn();
        const QUrl page = system.desktop.openedURLs().value(system.desktop.openedURLs().size() - 1);
        return services.issueCode(account, QUrlQuery(page).queryItemValue(QStringLiteral("code_challenge")));
    }
    QString signInCode(const LocalServices::Account& account = LocalServices::defaultAccount())
    {
        return signInCode(*session, account);
    }

    // The bodies of the remote procedure calls that reached the stand-in, in order.
    QList<QJsonObject> rpcCalls() const
    {
        QList<QJsonObject> calls;
        for (const auto& request : services.requests()) {
            if (request.path.startsWith("/rest/v1/rpc/")) {
                calls.append(QJsonDocument::fromJson(request.body).object());
            }
        }
        return calls;
    }

    // Their event types, "start" for a session start.
    QStringList sent() const
    {
        QStringList types;
        for (const QJsonObject& call : rpcCalls()) {
            types << call.value("p_event_type").toString("start");
        }
        return types;
    }

    GlobalHotKeyManager registry{system.hotKeys, system.scheduler};
    RecordingAppDelegate shell;
    std::unique_ptr<WindowManager> state = std::make_unique<WindowManager>(system.services(), &registry);
    std::unique_ptr<OnboardingAnalytics> analytics =
        std::make_unique<OnboardingAnalytics>(*state, system.services());
    std::unique_ptr<SessionLifecycle> session =
        std::make_unique<SessionLifecycle>(*state, client, *analytics, system.services());
};

} // namespace testing_support
