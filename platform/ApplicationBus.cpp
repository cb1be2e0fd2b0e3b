#include "platform/ApplicationBus.h"

#include "platform/URLHandoff.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QLoggingCategory>

namespace platform {

namespace {

Q_LOGGING_CATEGORY(lcBus, "veilmox.applicationbus")

const QString kInterface = QStringLiteral("org.freedesktop.Application");
constexpr int kCallTimeoutMs = 10000;

} // namespace

ApplicationBus::ApplicationBus(const QString& desktopFileID,
                               const QStringList& schemes,
                               const QDBusConnection& connection,
                               QObject* parent)
    : QObject(parent)
    , m_name(desktopFileID)
    , m_schemes(schemes)
    , m_connection(connection)
{
    new ApplicationBusAdaptor(this);
}

ApplicationBus::~ApplicationBus()
{
    if (m_registered) {
        m_connection.unregisterObject(objectPath(m_name));
        m_connection.unregisterService(m_name);
    }
}

QString ApplicationBus::objectPath(const QString& desktopFileID)
{
    return QLatin1Char('/')
           + QString(desktopFileID)
                 .replace(QLatin1Char('.'), QLatin1Char('/'))
                 .replace(QLatin1Char('-'), QLatin1Char('_'));
}

ApplicationBus::Role ApplicationBus::start(const QList<QUrl>& urls)
{
    if (!m_connection.isConnected()) {
        qCInfo(lcBus) << "No session bus: opened links reach the application only through its socket";
        return Role::Unavailable;
    }
    // The object is there before the name, so a call that follows the name finds it.
    if (!m_connection.registerObject(objectPath(m_name), this, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcBus) << "Could not serve" << kInterface << "on the session bus";
        return Role::Unavailable;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_connection.interface()->registerService(m_name,
                                                  QDBusConnectionInterface::DontQueueService,
                                                  QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        return Role::Primary;
    }
    m_connection.unregisterObject(objectPath(m_name));
    if (!reply.isValid()) {
        qCWarning(lcBus) << "Could not own" << m_name << "on the session bus:" << reply.error().message();
        return Role::Unavailable;
    }
    // Another instance runs: it takes the link (or is only activated) and this one ends.
    QStringList links;
    for (const QUrl& url : urls) {
        if (isHandedOverURL(url, m_schemes)) {
            links.append(QString::fromUtf8(url.toEncoded()));
            break;
        }
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_name,
                                       objectPath(m_name),
                                       kInterface,
                                       links.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (links.isEmpty()) {
        call << QVariantMap();
    } else {
        call << links << QVariantMap();
    }
    const QDBusMessage answer = m_connection.call(call, QDBus::Block, kCallTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        qCWarning(lcBus) << "The running instance did not answer on the session bus:"
                         << answer.errorMessage();
        return Role::Failed;
    }
    return Role::HandedOff;
}

void ApplicationBus::open(const QStringList& uris)
{
    // One link per hand-off, as over the socket: a flood of them must not start a flood of
    // sign-ins.
    for (const QString& uri : uris) {
        const QUrl url = QUrl::fromEncoded(uri.toUtf8(), QUrl::StrictMode);
        if (isHandedOverURL(url, m_schemes)) {
            emit urlsReceived({url});
            return;
        }
    }
    if (!uris.isEmpty()) {
        qCWarning(lcBus) << "Ignored an opened link that is not one of this application";
    }
}

ApplicationBusAdaptor::ApplicationBusAdaptor(ApplicationBus* bus)
    : QDBusAbstractAdaptor(bus)
    , m_bus(bus)
{}

void ApplicationBusAdaptor::Activate(const QVariantMap& /*platformData*/)
{
    // A menu-bar application shows nothing of its own when started again.
}

void ApplicationBusAdaptor::Open(const QStringList& uris, const QVariantMap& /*platformData*/)
{
    m_bus->open(uris);
}

void ApplicationBusAdaptor::ActivateAction(const QString& /*actionName*/,
                                           const QVariantList& /*parameter*/,
                                           const QVariantMap& /*platformData*/)
{
    // The application offers no actions.
}

} // namespace platform
