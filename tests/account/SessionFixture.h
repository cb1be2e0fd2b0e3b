#pragma once

#include "account/OnboardingAnalytics.h"
#include "account/SessionLifecycle.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/account/AccountFixture.h"
#include "tests/state/StateFixture.h"

#include <QJsonDocument>

#include <memory>

namespace testing_support {

// The state object with the account session and the analytics client installed over the local
// stand-in services, as the application composes them.
class SessionTest : public AccountTest
{
protected:
    SessionTest()
    {
        state->setAppDelegate(&shell);
        state->setBackendCalls(client.get());
        state->setAccountSession(session.get());
    }

    // Starts the state object as the application does (legacy tokens, then the saved session).
    WindowManager& launch()
    {
        state->start();
        return *state;
    }

    // Runs deferred calls and the event loop until no request is on its way.
    bool drain()
    {
        for (int round = 0; round < 100; ++round) {
            const bool quiet = QTest::qWaitFor(
                [this] {
                    system.scheduler.runPending();
                    return system.urlSession.tasksInFlight() == 0;
                },
                5000);
            if (!quiet) {
                return false;
            }
            system.scheduler.runPending();
            if (system.urlSession.tasksInFlight() == 0) {
                return true;
            }
        }
        return false;
    }

    // Until the session's status reads this.
    bool reaches(const QString& status)
    {
        return QTest::qWaitFor(
            [&] {
                system.scheduler.runPending();
                return state->authStatusMessage() == status;
            },
            5000);
    }

    std::optional<QString> stored(const QString& account) const { return tokens.read(account); }

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

    // The next requests for the path lose their connection unanswered, also Qt Network's resends
    // of them; clear the script once the request has failed.
    void dropConnections(const QString& path)
    {
        for (int attempt = 0; attempt < 4; ++attempt) {
            services.script(path, devservices::Fault::DropConnection);
        }
    }

    // The bodies of the remote procedure calls that reached the stand-in, in order, each with
    // its name under "rpc".
    QList<QJsonObject> rpcCalls() const
    {
        QList<QJsonObject> calls;
        for (const auto& request : services.requests()) {
            if (request.path.startsWith("/rest/v1/rpc/")) {
                QJsonObject body = QJsonDocument::fromJson(request.body).object();
                body.insert("rpc", request.path.mid(13));
                calls.append(body);
            }
        }
        return calls;
    }

    GlobalHotKeyManager registry{system.hotKeys, system.scheduler};
    RecordingAppDelegate shell;
    std::unique_ptr<WindowManager> state = std::make_unique<WindowManager>(system.services(), &registry);
    std::unique_ptr<OnboardingAnalytics> analytics =
        std::make_unique<OnboardingAnalytics>(*state, system.services());
    std::unique_ptr<SessionLifecycle> session =
        std::make_unique<SessionLifecycle>(*state, *client, *analytics, system.services());
};

} // namespace testing_support
