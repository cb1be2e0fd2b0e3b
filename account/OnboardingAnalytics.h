#pragma once

#include "platform/Services.h"
#include "state/BackendCalls.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <variant>

class WindowManager;

// Reports the user's progress through the first-run onboarding to the backend as remote
// procedure calls, recorded against an onboarding session the backend starts or resumes. Events
// that cannot go now (signed out, no session, backend unreachable, 401, 403, 5xx) wait in a
// buffer in the user defaults, oldest first, at most 300, and are sent when a session is next
// started or resumed. Operations run strictly one after another in the order they were enqueued,
// so the buffer needs no lock. One process-wide instance; main thread only.
class OnboardingAnalytics final : public QObject
{
    Q_OBJECT

public:
    // An enqueued operation; it calls `done` exactly once when it has finished.
    using Operation = std::function<void(std::function<void()> done)>;

    static inline const QString bufferKey = QStringLiteral("onboardingAnalyticsBuffer");
    static constexpr qsizetype maxBufferedEvents = 300;
    static constexpr int requestedFlowVersion = 2;

    OnboardingAnalytics(WindowManager& state, const platform::Services& services, QObject* parent = nullptr);
    ~OnboardingAnalytics() override;

    // Over the shared state object, created on first use.
    static OnboardingAnalytics& shared();

    // Stamps the event ("platform" = "macos", "client_occurred_at" = now, overriding the
    // caller's), gives it a new id and enqueues its send.
    void track(const QString& eventType, std::optional<int> step, const QJsonObject& metadata = {});
    // Enqueued by the sign-in when events wait: makes sure a session exists, which sends them.
    void resumeAfterSignIn(std::function<void()> done);
    void enqueue(Operation operation);

    // The backend's onboarding session of this run. Set to none by sign-out and by a sign-in
    // as another account, so that the next send starts or resumes a session for the new one.
    const std::optional<QString>& sessionID() const { return m_sessionID; }
    void setSessionID(const std::optional<QString>& sessionID);

    // Whether at least one event waits in the buffer.
    bool hasBufferedEvents() const;
    // The main bundle's "CFBundleShortVersionString", else "0".
    QString clientVersion() const;

private:
    // Tests reach the buffer's own operations through it.
    friend struct OnboardingAnalyticsProbe;

    struct BufferedEvent
    {
        QString eventID;
        QString eventType;
        std::optional<int> step;
        QJsonObject metadata;
    };
    // An RPC's failure: the backend call's own error or the transport's.
    using Failure = std::variant<SupabaseRPCError, platform::URLError>;
    using RecordDone = std::function<void(const std::optional<Failure>&)>;

    void runNext();
    void send(const BufferedEvent& event, std::function<void()> done);
    void ensureSession(std::function<void(const std::optional<QString>&)> done);
    void startedSession(const RPCResult& result, std::function<void(const std::optional<QString>&)> done);
    void recordEvent(const BufferedEvent& event, const QString& sessionID, RecordDone done);
    void flushBuffer(const QString& sessionID, std::function<void()> done);
    void flushFrom(QList<BufferedEvent> events,
                   qsizetype index,
                   QList<BufferedEvent> kept,
                   const QString& sessionID,
                   std::function<void()> done);
    QList<BufferedEvent> loadBuffer() const;
    void saveBuffer(QList<BufferedEvent> events);
    void bufferEvent(const BufferedEvent& event);

    static bool isDefiniteRejection(const Failure& failure);
    static QString describe(const Failure& failure);
    static QJsonObject serialize(const BufferedEvent& event);
    static std::optional<BufferedEvent> deserialize(const QByteArray& data);
    QJsonObject clientProperties() const;
    static QString newEventID();

    WindowManager& m_state;
    platform::Services m_services;
    std::optional<QString> m_sessionID;
    // Bumped whenever the session is forgotten from outside, so that a start that was already
    // under way for the previous account does not bring its session back.
    quint64 m_sessionEpoch = 0;
    std::deque<Operation> m_queue;
    bool m_running = false;
};
