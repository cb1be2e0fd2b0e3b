#include "tests/account/SessionFixture.h"

#include <QJsonArray>
#include <QRegularExpression>

#include <gtest/gtest.h>

using devservices::HttpResponse;
using testing_support::SessionTest;

// The buffer's own operations, which no flow of the client reaches with a known event.
struct OnboardingAnalyticsProbe
{
    static void bufferAgain(OnboardingAnalytics& analytics, qsizetype index)
    {
        analytics.bufferEvent(analytics.loadBuffer().at(index));
    }
};

namespace {

const QString kRecordPath = QStringLiteral("/rest/v1/rpc/record_onboarding_event");
const QString kStartPath = QStringLiteral("/rest/v1/rpc/start_or_resume_onboarding");

QStringList gLogged;
void captureLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtCriticalMsg && QByteArray(context.category) == "getveilmox.Veilmox.onboarding-analytics") {
        gLogged << message;
    }
}

class OnboardingAnalyticsTest : public SessionTest
{
protected:
    OnboardingAnalyticsTest()
    {
        gLogged.clear();
        m_previousHandler = qInstallMessageHandler(captureLog);
    }
    ~OnboardingAnalyticsTest() override { qInstallMessageHandler(m_previousHandler); }

    void signedIn()
    {
        signIn();
        state->setIsAuthenticated(true);
    }

    void track(const QString& type, std::optional<int> step = std::nullopt, const QJsonObject& metadata = {})
    {
        analytics->track(type, step, metadata);
        ASSERT_TRUE(drain());
    }

    // The stored buffer, entry by entry.
    QList<QJsonObject> buffer() const
    {
        QList<QJsonObject> events;
        for (const QVariant& entry : system.defaults.object(OnboardingAnalytics::bufferKey).toList()) {
            events << QJsonDocument::fromJson(entry.toByteArray()).object();
        }
        return events;
    }
    QStringList bufferedTypes() const
    {
        QStringList types;
        for (const QJsonObject& event : buffer()) {
            types << event.value("event_type").toString();
        }
        return types;
    }

    // What reached the backend: "start" for a session start, else the event type.
    QStringList sent() const
    {
        QStringList sent;
        for (const QJsonObject& call : rpcCalls()) {
            sent << (call.value("rpc") == "start_or_resume_onboarding"
                         ? QStringLiteral("start")
                         : call.value("p_event_type").toString());
        }
        return sent;
    }

private:
    QtMessageHandler m_previousHandler = nullptr;
};

} // namespace

TEST_F(OnboardingAnalyticsTest, EventsTrackedWhileSignedOutWaitStampedAndIdentified)
{
    track("step_viewed", 3, {{"screen", "hide"}, {"platform", "ios"}});
    track("skipped");
    const auto events = buffer();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].value("event_type"), "step_viewed");
    EXPECT_EQ(events[0].value("step"), 3);
    EXPECT_EQ(events[0].value("metadata").toObject(),
              (QJsonObject{{"screen", "hide"},
                           {"platform", "macos"},
                           {"client_occurred_at", "2026-01-01T09:00:00Z"}}));
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}$")
                    .match(events[0].value("event_id").toString())
                    .hasMatch());
    EXPECT_NE(events[0].value("event_id"), events[1].value("event_id"));
    EXPECT_FALSE(events[1].contains("step"));
    EXPECT_TRUE(services.requests().isEmpty());
}

TEST_F(OnboardingAnalyticsTest, ASessionStartSendsTheBufferOldestFirstThenTheFlowEventThenTheLiveEvent)
{
    track("first", 1);
    track("second");
    signedIn();
    track("live", 4);
    EXPECT_EQ(sent(), (QStringList{"start", "first", "second", "flow_started", "live"}));
    const auto calls = rpcCalls();
    EXPECT_EQ(calls[0].value("requested_flow_version").toDouble(), 2);
    EXPECT_EQ(calls[0].value("client_version"), "1.0.0");
    EXPECT_EQ(calls[1].value("p_step"), 1);
    EXPECT_TRUE(calls[2].value("p_step").isNull());
    EXPECT_EQ(calls[3].value("p_metadata").toObject().keys(),
              (QStringList{"client_occurred_at", "platform"}));
    EXPECT_EQ(calls[4].value("p_client_version"), "1.0.0");
    EXPECT_EQ(calls[4].value("p_onboarding_session_id").toString(), analytics->sessionID().value_or("-"));
    EXPECT_FALSE(system.defaults.hasObject(OnboardingAnalytics::bufferKey));

    // With the session known, events go alone; a forgotten one is resumed.
    track("next");
    analytics->setSessionID(std::nullopt);
    track("again");
    EXPECT_EQ(sent().mid(5), (QStringList{"next", "start", "flow_resumed", "again"}));
    // An answer without "resumed" starts the flow.
    analytics->setSessionID(std::nullopt);
    services.script(kStartPath, HttpResponse::json(200, R"({"session_id":"s-2"})"));
    track("third");
    EXPECT_EQ(sent().mid(9, 2), (QStringList{"start", "flow_started"}));
}

TEST_F(OnboardingAnalyticsTest, ARefusedLiveEventIsDroppedAndLoggedAnythingElseWaits)
{
    signedIn();
    track("opening");
    const QString sessionID = analytics->sessionID().value_or("");
    ASSERT_FALSE(sessionID.isEmpty());
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        bool dropped;
        bool forgetsSession = false;
    };
    const auto answer = [this](int status) {
        return [this, status] {
            services.script(kRecordPath, HttpResponse::json(status, R"({"message":"no"})"));
        };
    };
    const Case cases[] = {
        {"400", answer(400), true},
        {"422", answer(422), true},
        {"401", answer(401), false},
        {"403", answer(403), false, true},
        {"500", answer(500), false},
        {"transport error", [this] { dropConnections(kRecordPath); }, false},
        {"not configured", [this] { configure(services.backendURL().toString(), std::nullopt); }, false},
        {"signed out", [this] { tokens.deleteItem(AuthKeychain::accessTokenAccount); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        system.defaults.removeObject(OnboardingAnalytics::bufferKey);
        gLogged.clear();
        signIn();
        configure(services.backendURL().toString(), services.options().anonKey);
        analytics->setSessionID(sessionID);
        c.arrange();
        track(QStringLiteral("live"));
        EXPECT_EQ(bufferedTypes(), c.dropped ? QStringList() : QStringList{"live"});
        EXPECT_EQ(analytics->sessionID().has_value(), !c.forgetsSession);
        EXPECT_EQ(gLogged.size(), c.dropped ? 1 : 0);
        if (c.dropped) {
            EXPECT_TRUE(
                gLogged.value(0).startsWith("Onboarding event live rejected: http(" + QString(c.name)));
        }
        services.clearScript();
    }
}

TEST_F(OnboardingAnalyticsTest, AfterA403TheNextEventStartsASessionAndSendsTheWaitingOneFirst)
{
    signedIn();
    track("opening");
    services.script(kRecordPath, HttpResponse::json(403, "{}"));
    track("refused");
    track("after");
    EXPECT_EQ(sent().mid(3), (QStringList{"refused", "start", "refused", "flow_resumed", "after"}));
    EXPECT_FALSE(analytics->hasBufferedEvents());
}

TEST_F(OnboardingAnalyticsTest, AFlushTriesEveryEventDropsTheRefusedAndKeepsTheRest)
{
    for (const char* type : {"e1", "e2", "e3", "e4"}) {
        track(type);
    }
    signedIn();
    services.script(kRecordPath, HttpResponse::json(422, "{}"));
    services.script(kRecordPath, HttpResponse::json(500, "{}"));
    services.script(kRecordPath, HttpResponse::json(403, "{}"));
    track("live");
    EXPECT_EQ(sent(), (QStringList{"start", "e1", "e2", "e3", "e4", "flow_started", "live"}));
    EXPECT_EQ(bufferedTypes(), (QStringList{"e2", "e3"}));
    // A 403 during the flush keeps the session, and dropped buffered events are not logged.
    EXPECT_TRUE(analytics->sessionID());
    EXPECT_TRUE(gLogged.isEmpty());

    // Every waiting event refused: the buffer ends empty and its key is removed.
    analytics->setSessionID(std::nullopt);
    services.script(kRecordPath, HttpResponse::json(422, "{}"));
    services.script(kRecordPath, HttpResponse::json(422, "{}"));
    track("last");
    EXPECT_FALSE(system.defaults.hasObject(OnboardingAnalytics::bufferKey));
}

TEST_F(OnboardingAnalyticsTest, TheBufferKeepsTheNewest300AndAnEventOnce)
{
    for (int i = 0; i <= 300; ++i) {
        analytics->track(QString::number(i), std::nullopt, {});
    }
    ASSERT_TRUE(drain());
    const QStringList types = bufferedTypes();
    ASSERT_EQ(types.size(), 300);
    EXPECT_EQ(types.first(), "1");
    EXPECT_EQ(types.last(), "300");

    OnboardingAnalyticsProbe::bufferAgain(*analytics, 5);
    EXPECT_EQ(bufferedTypes(), types);
}

TEST_F(OnboardingAnalyticsTest, TheBufferIsReadLeniently)
{
    const auto entry = [](const QByteArray& json) {
        return QVariant(json);
    };
    // Not an array of data: nothing waits.
    for (const QVariant& stored :
         {QVariant(QStringLiteral("text")),
          QVariant(QVariantList{entry(R"({"event_id":"a","event_type":"t"})"), "text"})}) {
        system.defaults.setObject(stored, OnboardingAnalytics::bufferKey);
        EXPECT_FALSE(analytics->hasBufferedEvents());
    }
    system.defaults.setObject(
        QVariantList{
            entry("not json"),
            entry(R"({"event_type":"no id"})"),
            entry(R"({"event_id":1,"event_type":"numeric id"})"),
            entry(R"({"event_id":"a","event_type":"loose","step":"3","metadata":[1]})"),
            entry(R"({"event_id":"b","event_type":"strict","step":2,"metadata":{"k":"v"}})"),
        },
        OnboardingAnalytics::bufferKey);
    signedIn();
    track("live");
    EXPECT_EQ(sent(), (QStringList{"start", "loose", "strict", "flow_started", "live"}));
    const auto calls = rpcCalls();
    EXPECT_TRUE(calls[1].value("p_step").isNull());
    EXPECT_EQ(calls[1].value("p_metadata").toObject(), QJsonObject());
    EXPECT_EQ(calls[2].value("p_step"), 2);
    EXPECT_EQ(calls[2].value("p_metadata").toObject(), (QJsonObject{{"k", "v"}}));
}

TEST_F(OnboardingAnalyticsTest, EventsThatCouldNotGoWaitForTheNextSessionStart)
{
    signedIn();
    // No session can be started: logged, and the event waits.
    struct Case
    {
        const char* name;
        devservices::Reply answer;
        QString logged;
    };
    const Case cases[] = {
        {"unreachable", HttpResponse::json(503, "{}"), "Unable to start onboarding session: http(503"},
        {"not JSON", HttpResponse::json(200, "<html>"), "Unable to start onboarding session: "},
        {"no session_id",
         HttpResponse::json(200, R"({"resumed":true})"),
         "start_or_resume_onboarding returned no session_id"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gLogged.clear();
        services.script(kStartPath, c.answer);
        track(c.name);
        EXPECT_EQ(gLogged.size(), 1);
        EXPECT_TRUE(gLogged.value(0).startsWith(c.logged));
        EXPECT_FALSE(analytics->sessionID());
    }
    EXPECT_EQ(bufferedTypes(), (QStringList{"unreachable", "not JSON", "no session_id"}));

    // Recovery: the next event starts the session and everything goes, oldest first.
    track("recovered");
    EXPECT_EQ(
        sent().mid(3),
        (QStringList{"start", "unreachable", "not JSON", "no session_id", "flow_started", "recovered"}));

    // A network failure while the session exists waits for the next session start.
    dropConnections(kRecordPath);
    track("lost");
    services.clearScript();
    const qsizetype before = sent().size();
    track("next");
    EXPECT_EQ(sent().mid(before), QStringList{"next"});
    EXPECT_EQ(bufferedTypes(), QStringList{"lost"});
    analytics->setSessionID(std::nullopt);
    track("new run");
    EXPECT_EQ(sent().mid(before + 1), (QStringList{"start", "lost", "flow_resumed", "new run"}));
}

TEST_F(OnboardingAnalyticsTest, OperationsRunOneAtATimeInOrder)
{
    signedIn();
    int mostInFlight = 0;
    QObject::connect(&services.backend(), &devservices::HttpServer::requestReceived, &services, [&] {
        mostInFlight = std::max(mostInFlight, static_cast<int>(system.urlSession.tasksInFlight()));
    });
    for (const char* type : {"a", "b", "c", "d"}) {
        analytics->track(type, std::nullopt, {});
    }
    ASSERT_TRUE(drain());
    EXPECT_EQ(sent(), (QStringList{"start", "flow_started", "a", "b", "c", "d"}));
    EXPECT_EQ(mostInFlight, 1);
}

TEST_F(OnboardingAnalyticsTest, ASessionStartAnsweredAfterSignOutIsNotAdopted)
{
    signedIn();
    onRequest(kStartPath, [this] {
        analytics->setSessionID(std::nullopt);
        state->setIsAuthenticated(false);
    });
    track("racing");
    EXPECT_FALSE(analytics->sessionID());
    EXPECT_EQ(sent(), QStringList{"start"});
    EXPECT_EQ(bufferedTypes(), QStringList{"racing"});
}
