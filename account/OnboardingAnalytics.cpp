#include "account/OnboardingAnalytics.h"

#include "platform/BoundedRead.h"
#include "platform/Bundle.h"
#include "platform/Scheduler.h"
#include "platform/UserDefaults.h"
#include "state/WindowManager.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

Q_LOGGING_CATEGORY(analyticsLog, "getveilmox.Veilmox.onboarding-analytics")

const QString kStartPath = QStringLiteral("rpc/start_or_resume_onboarding");
const QString kRecordPath = QStringLiteral("rpc/record_onboarding_event");
const QString kPost = QStringLiteral("POST");

std::optional<int> integerValue(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::floor(number) != number
        || number < static_cast<double>(std::numeric_limits<int>::min())
        || number > static_cast<double>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

} // namespace

OnboardingAnalytics::OnboardingAnalytics(WindowManager& state,
                                         const platform::Services& services,
                                         QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_services(services)
{}

OnboardingAnalytics::~OnboardingAnalytics() = default;

OnboardingAnalytics& OnboardingAnalytics::shared()
{
    // Lives until the process ends.
    static auto* instance = new OnboardingAnalytics(WindowManager::shared(), platform::Services::current());
    return *instance;
}

void OnboardingAnalytics::setSessionID(const std::optional<QString>& sessionID)
{
    if (!sessionID) {
        ++m_sessionEpoch;
    }
    m_sessionID = sessionID;
}

QString OnboardingAnalytics::clientVersion() const
{
    const platform::Bundle& bundle =
        m_services.bundle != nullptr ? *m_services.bundle : platform::Bundle::main();
    const QVariant version = bundle.objectForInfoDictionaryKey(platform::kBundleShortVersionStringKey);
    return version.typeId() == QMetaType::QString ? version.toString() : QStringLiteral("0");
}

QString OnboardingAnalytics::newEventID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
}

QJsonObject OnboardingAnalytics::clientProperties() const
{
    const platform::Scheduler& scheduler =
        m_services.scheduler != nullptr ? *m_services.scheduler : platform::Scheduler::current();
    return {
        {QStringLiteral("platform"), QStringLiteral("macos")},
        {QStringLiteral("client_occurred_at"), scheduler.currentDate().toUTC().toString(Qt::ISODate)},
    };
}

// The queue.

void OnboardingAnalytics::track(const QString& eventType,
                                std::optional<int> step,
                                const QJsonObject& metadata)
{
    BufferedEvent event;
    event.eventID = newEventID();
    event.eventType = eventType;
    event.step = step;
    event.metadata = metadata;
    const QJsonObject properties = clientProperties();
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        event.metadata.insert(it.key(), it.value());
    }
    enqueue([this, event](std::function<void()> done) { send(event, std::move(done)); });
}

void OnboardingAnalytics::resumeAfterSignIn(std::function<void()> done)
{
    ensureSession([done = std::move(done)](const std::optional<QString>&) { done(); });
}

void OnboardingAnalytics::enqueue(Operation operation)
{
    m_queue.push_back(std::move(operation));
    if (m_running) {
        return;
    }
    m_running = true;
    // Never at once: the caller (a view's action, the sign-in) finishes first.
    m_services.scheduler->post(this, [this] { runNext(); });
}

void OnboardingAnalytics::runNext()
{
    if (m_queue.empty()) {
        m_running = false;
        return;
    }
    Operation operation = std::move(m_queue.front());
    m_queue.pop_front();
    auto finished = std::make_shared<bool>(false);
    operation([this, finished] {
        if (*finished) {
            return;
        }
        *finished = true;
        // On a later turn, so that a long run of operations that end at once stays flat.
        m_services.scheduler->post(this, [this] { runNext(); });
    });
}

// Sending.

void OnboardingAnalytics::send(const BufferedEvent& event, std::function<void()> done)
{
    if (!m_state.isAuthenticated()) {
        bufferEvent(event);
        done();
        return;
    }
    ensureSession([this, event, done](const std::optional<QString>& sessionID) {
        if (!sessionID) {
            bufferEvent(event);
            done();
            return;
        }
        recordEvent(event, *sessionID, [this, event, done](const std::optional<Failure>& failure) {
            if (failure) {
                if (isDefiniteRejection(*failure)) {
                    qCCritical(analyticsLog,
                               "Onboarding event %s rejected: %s",
                               qUtf8Printable(event.eventType),
                               qUtf8Printable(describe(*failure)));
                } else {
                    const auto* error = std::get_if<SupabaseRPCError>(&*failure);
                    if (error != nullptr && error->kind == SupabaseRPCError::Kind::Http
                        && error->statusCode == 403) {
                        // The session is not this account's (any more): the next send starts one.
                        m_sessionID.reset();
                    }
                    bufferEvent(event);
                }
            }
            done();
        });
    });
}

void OnboardingAnalytics::ensureSession(std::function<void(const std::optional<QString>&)> done)
{
    if (m_sessionID) {
        done(m_sessionID);
        return;
    }
    if (!m_state.isAuthenticated()) {
        done(std::nullopt);
        return;
    }
    const QJsonObject body{
        {QStringLiteral("requested_flow_version"), requestedFlowVersion},
        {QStringLiteral("client_version"), clientVersion()},
    };
    const quint64 epoch = m_sessionEpoch;
    m_state.callRPC(kStartPath, kPost, body, this, [this, epoch, done](const RPCResult& result) {
        if (epoch != m_sessionEpoch) {
            // Signed out or switched accounts while the backend answered: that session belongs
            // to the previous account.
            done(std::nullopt);
            return;
        }
        startedSession(result, done);
    });
}

void OnboardingAnalytics::startedSession(const RPCResult& result,
                                         std::function<void(const std::optional<QString>&)> done)
{
    const auto* data = std::get_if<QByteArray>(&result);
    if (data == nullptr) {
        const Failure failure = std::holds_alternative<SupabaseRPCError>(result)
                                    ? Failure(std::get<SupabaseRPCError>(result))
                                    : Failure(std::get<platform::URLError>(result));
        qCCritical(analyticsLog, "Unable to start onboarding session: %s", qUtf8Printable(describe(failure)));
        done(std::nullopt);
        return;
    }
    QString parseError;
    const auto parsed = platform::parseJson(*data, &parseError);
    if (!parsed) {
        qCCritical(analyticsLog, "Unable to start onboarding session: %s", qUtf8Printable(parseError));
        done(std::nullopt);
        return;
    }
    const QJsonDocument& answer = *parsed;
    const QJsonValue sessionValue = answer.object().value(QStringLiteral("session_id"));
    if (!answer.isObject() || !sessionValue.isString()) {
        qCCritical(analyticsLog, "start_or_resume_onboarding returned no session_id");
        done(std::nullopt);
        return;
    }
    const QString sessionID = sessionValue.toString();
    const QJsonValue resumed = answer.object().value(QStringLiteral("resumed"));
    m_sessionID = sessionID;
    flushBuffer(sessionID, [this, sessionID, resumed, done] {
        BufferedEvent flow;
        flow.eventID = newEventID();
        flow.eventType = resumed.isBool() && resumed.toBool() ? QStringLiteral("flow_resumed")
                                                              : QStringLiteral("flow_started");
        flow.metadata = clientProperties();
        // Its failure is not worth a retry: the backend already knows the session exists.
        recordEvent(flow, sessionID, [sessionID, done](const std::optional<Failure>&) { done(sessionID); });
    });
}

void OnboardingAnalytics::recordEvent(const BufferedEvent& event, const QString& sessionID, RecordDone done)
{
    const QJsonObject body{
        {QStringLiteral("p_event_id"), event.eventID},
        {QStringLiteral("p_onboarding_session_id"), sessionID},
        {QStringLiteral("p_event_type"), event.eventType},
        {QStringLiteral("p_step"), event.step ? QJsonValue(*event.step) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("p_client_version"), clientVersion()},
        {QStringLiteral("p_metadata"), event.metadata},
    };
    m_state.callRPC(kRecordPath, kPost, body, this, [done = std::move(done)](const RPCResult& result) {
        if (const auto* error = std::get_if<SupabaseRPCError>(&result)) {
            done(Failure(*error));
        } else if (const auto* transport = std::get_if<platform::URLError>(&result)) {
            done(Failure(*transport));
        } else {
            done(std::nullopt);
        }
    });
}

void OnboardingAnalytics::flushBuffer(const QString& sessionID, std::function<void()> done)
{
    QList<BufferedEvent> events = loadBuffer();
    if (events.isEmpty()) {
        done();
        return;
    }
    flushFrom(std::move(events), 0, {}, sessionID, std::move(done));
}

void OnboardingAnalytics::flushFrom(QList<BufferedEvent> events,
                                    qsizetype index,
                                    QList<BufferedEvent> kept,
                                    const QString& sessionID,
                                    std::function<void()> done)
{
    if (index >= events.size()) {
        saveBuffer(std::move(kept));
        done();
        return;
    }
    const BufferedEvent event = events.at(index);
    recordEvent(event,
                sessionID,
                [this, events = std::move(events), index, kept = std::move(kept), sessionID, event, done](
                    const std::optional<Failure>& failure) mutable {
                    // Every event is tried; a refused one is dropped, one that could not go stays.
                    if (failure && !isDefiniteRejection(*failure)) {
                        kept.append(event);
                    }
                    flushFrom(std::move(events), index + 1, std::move(kept), sessionID, std::move(done));
                });
}

bool OnboardingAnalytics::isDefiniteRejection(const Failure& failure)
{
    const auto* error = std::get_if<SupabaseRPCError>(&failure);
    return error != nullptr && error->kind == SupabaseRPCError::Kind::Http && error->statusCode >= 400
           && error->statusCode <= 499 && error->statusCode != 401 && error->statusCode != 403;
}

QString OnboardingAnalytics::describe(const Failure& failure)
{
    if (const auto* error = std::get_if<SupabaseRPCError>(&failure)) {
        return error->description();
    }
    return std::get<platform::URLError>(failure).localizedDescription();
}

// The buffer.

bool OnboardingAnalytics::hasBufferedEvents() const
{
    return !loadBuffer().isEmpty();
}

QJsonObject OnboardingAnalytics::serialize(const BufferedEvent& event)
{
    QJsonObject object{
        {QStringLiteral("event_id"), event.eventID},
        {QStringLiteral("event_type"), event.eventType},
        {QStringLiteral("metadata"), event.metadata},
    };
    if (event.step) {
        object.insert(QStringLiteral("step"), *event.step);
    }
    return object;
}

std::optional<OnboardingAnalytics::BufferedEvent> OnboardingAnalytics::deserialize(const QByteArray& data)
{
    const auto document = platform::parseJson(data);
    if (!document || !document->isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document->object();
    const QJsonValue eventID = object.value(QStringLiteral("event_id"));
    const QJsonValue eventType = object.value(QStringLiteral("event_type"));
    if (!eventID.isString() || !eventType.isString()) {
        return std::nullopt;
    }
    BufferedEvent event;
    event.eventID = eventID.toString();
    event.eventType = eventType.toString();
    event.step = integerValue(object.value(QStringLiteral("step")));
    event.metadata = object.value(QStringLiteral("metadata")).toObject();
    return event;
}

QList<OnboardingAnalytics::BufferedEvent> OnboardingAnalytics::loadBuffer() const
{
    if (m_services.defaults == nullptr) {
        return {};
    }
    const QVariant stored = m_services.defaults->object(bufferKey);
    if (stored.typeId() != QMetaType::QVariantList) {
        return {};
    }
    const QVariantList entries = stored.toList();
    QList<BufferedEvent> events;
    for (const QVariant& entry : entries) {
        if (entry.typeId() != QMetaType::QByteArray) {
            // Not the buffer this client writes.
            return {};
        }
        if (auto event = deserialize(entry.toByteArray())) {
            events.append(std::move(*event));
        }
    }
    return events;
}

void OnboardingAnalytics::saveBuffer(QList<BufferedEvent> events)
{
    if (m_services.defaults == nullptr) {
        return;
    }
    if (events.size() > maxBufferedEvents) {
        events.remove(0, events.size() - maxBufferedEvents);
    }
    QVariantList entries;
    entries.reserve(events.size());
    for (const BufferedEvent& event : events) {
        entries.append(QJsonDocument(serialize(event)).toJson(QJsonDocument::Compact));
    }
    if (entries.isEmpty()) {
        m_services.defaults->removeObject(bufferKey);
        return;
    }
    m_services.defaults->setObject(entries, bufferKey);
}

void OnboardingAnalytics::bufferEvent(const BufferedEvent& event)
{
    QList<BufferedEvent> events = loadBuffer();
    const bool known = std::any_of(events.cbegin(), events.cend(), [&event](const BufferedEvent& e) {
        return e.eventID == event.eventID;
    });
    if (known) {
        return;
    }
    events.append(event);
    saveBuffer(std::move(events));
}
