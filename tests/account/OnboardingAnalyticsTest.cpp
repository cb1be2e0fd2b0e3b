#include "tests/account/AccountFixture.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace testing_support;

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

class OnboardingAnalyticsTest : public SessionTest
{
protected:
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

    // The client's error lines.
    static QStringList errors()
    {
        QStringList lines;
        for (const auto& [category, message] : logged()) {
            if (category == "getveilmox.Veilmox.onboarding-analytics") {
                lines << message;
            }
        }
        return lines;
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
};

} // namespace

TEST_F(OnboardingAnalyticsTest, EventsTrackedWhileSignedOutWaitStampedAndIdentified)
{
    track("step_viewed", 3, {{"screen", "hide"}, {"platform", "ios"}});
    track("skipped");
    const auto events = buffer();
    ASSERT_EQ(events.size(), 2);
    QJsonObject first = events[0];
    const QString id = first.take("event_id").toString();
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}$").match(id).hasMatch())
        << id.toStdString();
    EXPECT_NE(events[1].value("event_id"), id);
    const QJsonObject metadata{
        {"screen", "hide"}, {"platform", "macos"}, {"client_occurred_at", "2026-01-01T09:00:00Z"}};
    EXPECT_EQ(first, QJsonObject({{"event_type", "step_viewed"}, {"step", 3}, {"metadata", metadata}}));
    EXPECT_FALSE(events[1].contains("step"));
    EXPECT_TRUE(services.requests().isEmpty());
}

TEST_F(OnboardingAnalyticsTest, ASessionStartSendsTheBufferOldestFirstThenTheFlowEventThenLiveEventsOneByOne)
{
    track("first", 1);
    track("second");
    signedIn();
    int mostInFlight = 0;
    QObject::connect(&services.backend(), &devservices::HttpServer::requestReceived, &services, [&] {
        mostInFlight = std::max(mostInFlight, static_cast<int>(system.urlSession.tasksInFlight()));
    });
    // Queued together, they still go strictly one after another.
    analytics->track("live", 4, {});
    analytics->track("next", std::nullopt, {});
    ASSERT_TRUE(drain());
    EXPECT_EQ(sent(), (QStringList{"start", "first", "second", "flow_started", "live", "next"}));
    EXPECT_EQ(mostInFlight, 1);
    // The stand-in checks the rest of each body.
    const auto calls = rpcCalls();
    EXPECT_EQ(calls[1].value("p_step"), 1);
    EXPECT_TRUE(calls[2].value("p_step").isNull());
    EXPECT_EQ(calls[3].value("p_metadata").toObject().keys(),
              (QStringList{"client_occurred_at", "platform"}));
    EXPECT_FALSE(system.defaults.hasObject(OnboardingAnalytics::bufferKey));

    // A forgotten session is resumed; an answer without "resumed" starts the flow.
    analytics->setSessionID(std::nullopt);
    track("again");
    analytics->setSessionID(std::nullopt);
    script(kStartPath, json(200, R"({"session_id":"s-2"})"));
    track("third");
    EXPECT_EQ(sent().mid(6),
              (QStringList{"start", "flow_resumed", "again", "start", "flow_started", "third"}));
}

TEST_F(OnboardingAnalyticsTest, ARefusedLiveEventIsDroppedAndLoggedAnythingElseWaits)
{
    signedIn();
    track("opening");
    const QString sessionID = analytics->sessionID().value_or("");
    ASSERT_FALSE(sessionID.isEmpty());
    const auto answer = [this](int status) {
        return [this, status] {
            script(kRecordPath, json(status, R"({"message":"no"})"));
        };
    };
    const std::tuple<const char*, std::function<void()>, bool> cases[] = {
        // name, set-up, dropped
        {"400", answer(400), true},
        {"422", answer(422), true},
        {"401", answer(401), false},
        {"500", answer(500), false},
        {"transport error", [this] { script(kRecordPath, Fault::DropConnection, 4); }, false},
        {"not configured", [this] { configure(services.backendURL().toString(), std::nullopt); }, false},
        {"signed out", [this] { tokens.deleteItem(kAccess); }, false},
        {"403", answer(403), false}, // also forgets the session
    };
    for (const auto& [name, arrange, dropped] : cases) {
        SCOPED_TRACE(name);
        system.defaults.removeObject(OnboardingAnalytics::bufferKey);
        logged().clear();
        signIn();
        configure(services.backendURL().toString(), services.options().anonKey);
        analytics->setSessionID(sessionID);
        arrange();
        track(QStringLiteral("live"));
        EXPECT_EQ(bufferedTypes(), dropped ? QStringList() : QStringList{"live"});
        EXPECT_EQ(analytics->sessionID().has_value(), QByteArray(name) != "403");
        const QString rejected =
            QString(R"(Onboarding event live rejected: http(%1, "{"message":"no"}"))").arg(name);
        EXPECT_EQ(errors(), dropped ? QStringList{rejected} : QStringList());
        services.clearScript();
    }

    // After the 403 the next event starts a session and sends the waiting one first.
    track("after");
    EXPECT_EQ(sent().mid(sent().lastIndexOf("start")),
              (QStringList{"start", "live", "flow_resumed", "after"}));
    EXPECT_FALSE(analytics->hasBufferedEvents());
}

TEST_F(OnboardingAnalyticsTest, AFlushTriesEveryEventDropsTheRefusedAndKeepsTheRest)
{
    for (const char* type : {"e1", "e2", "e3", "e4"}) {
        track(type);
    }
    signedIn();
    for (const int status : {422, 500, 403}) {
        script(kRecordPath, json(status, "{}"));
    }
    track("live");
    EXPECT_EQ(sent(), (QStringList{"start", "e1", "e2", "e3", "e4", "flow_started", "live"}));
    EXPECT_EQ(bufferedTypes(), (QStringList{"e2", "e3"}));
    // A 403 during the flush keeps the session, and dropped buffered events are not logged.
    EXPECT_TRUE(analytics->sessionID());
    EXPECT_TRUE(errors().isEmpty());

    // Every waiting event refused: the buffer ends empty and its key is removed.
    analytics->setSessionID(std::nullopt);
    script(kRecordPath, json(422, "{}"), 2);
    track("last");
    EXPECT_FALSE(system.defaults.hasObject(OnboardingAnalytics::bufferKey));
}

TEST_F(OnboardingAnalyticsTest, TheBufferKeepsTheNewest300AndAnEventOnceAndIsReadLeniently)
{
    for (int i = 0; i <= 300; ++i) {
        analytics->track(QString::number(i), std::nullopt, {});
    }
    ASSERT_TRUE(drain());
    const QStringList types = bufferedTypes();
    ASSERT_EQ(types.size(), 300);
    EXPECT_EQ(types.first() + ' ' + types.last(), "1 300");
    OnboardingAnalyticsProbe::bufferAgain(*analytics, 5);
    EXPECT_EQ(bufferedTypes(), types);

    // Not an array of data: nothing waits.
    const QByteArray valid = R"({"event_id":"a","event_type":"t"})";
    for (const QVariant& stored : {QVariant("text"), QVariant(QVariantList{valid, "text"})}) {
        system.defaults.setObject(stored, OnboardingAnalytics::bufferKey);
        EXPECT_FALSE(analytics->hasBufferedEvents());
    }
    system.defaults.setObject(
        QVariantList{QByteArray("not json"),
                     QByteArray(R"({"event_type":"no id"})"),
                     QByteArray(R"({"event_id":1,"event_type":"numeric id"})"),
                     QByteArray(R"({"event_id":"a","event_type":"loose","step":"3","metadata":[1]})"),
                     QByteArray(R"({"event_id":"b","event_type":"strict","step":2,"metadata":{"k":"v"}})")},
        OnboardingAnalytics::bufferKey);
    signedIn();
    track("live");
    EXPECT_EQ(sent(), (QStringList{"start", "loose", "strict", "flow_started", "live"}));
    const auto calls = rpcCalls();
    EXPECT_EQ(std::pair(calls[1].value("p_step"), calls[1].value("p_metadata")),
              std::pair(QJsonValue(), QJsonValue(QJsonObject())));
    EXPECT_EQ(std::pair(calls[2].value("p_step"), calls[2].value("p_metadata")),
              std::pair(QJsonValue(2), QJsonValue(QJsonObject{{"k", "v"}})));
}

TEST_F(OnboardingAnalyticsTest, EventsThatCouldNotGoWaitForTheNextSessionStart)
{
    signedIn();
    // No session can be started: logged, and the event waits.
    const std::tuple<const char*, HttpResponse, QString> cases[] = {
        {"unreachable", json(503, "{}"), R"(Unable to start onboarding session: http(503, "{}"))"},
        {"not JSON", json(200, "<html>"), "Unable to start onboarding session: "},
        {"no session_id",
         json(200, R"({"resumed":true})"),
         "start_or_resume_onboarding returned no session_id"},
    };
    for (const auto& [name, answer, expectedLog] : cases) {
        SCOPED_TRACE(name);
        logged().clear();
        script(kStartPath, answer);
        track(name);
        EXPECT_EQ(errors().size(), 1);
        EXPECT_TRUE(errors().value(0).startsWith(expectedLog)) << errors().value(0).toStdString();
        EXPECT_FALSE(analytics->sessionID());
    }
    EXPECT_EQ(bufferedTypes(), (QStringList{"unreachable", "not JSON", "no session_id"}));

    // Recovery: the next event starts the session and everything goes, oldest first.
    track("recovered");
    EXPECT_EQ(
        sent().mid(3),
        (QStringList{"start", "unreachable", "not JSON", "no session_id", "flow_started", "recovered"}));

    // A network failure while the session exists waits for the next session start.
    script(kRecordPath, Fault::DropConnection, 4);
    track("lost");
    services.clearScript();
    const qsizetype before = sent().size();
    track("next");
    EXPECT_EQ(bufferedTypes(), QStringList{"lost"});
    analytics->setSessionID(std::nullopt);
    track("new run");
    EXPECT_EQ(sent().mid(before), (QStringList{"next", "start", "lost", "flow_resumed", "new run"}));
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
