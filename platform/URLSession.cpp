#include "platform/URLSession.h"

#include "platform/Services.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <algorithm>
#include <zlib.h>

namespace platform {
namespace {

bool isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// Requests to this machine never go through a proxy; everything else follows the system's setting.
class LoopbackBypassingProxyFactory final : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        if (isLoopbackHost(query.peerHostName())) {
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        }
        return systemProxyForQuery(query);
    }
};

URLError::Code codeFor(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return URLError::Code::CannotConnectToHost;
    case QNetworkReply::RemoteHostClosedError:
        return URLError::Code::NetworkConnectionLost;
    case QNetworkReply::HostNotFoundError:
        return URLError::Code::CannotFindHost;
    case QNetworkReply::TimeoutError:
        return URLError::Code::TimedOut;
    case QNetworkReply::OperationCanceledError:
        return URLError::Code::Cancelled;
    case QNetworkReply::SslHandshakeFailedError:
        return URLError::Code::SecureConnectionFailed;
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return URLError::Code::NotConnectedToInternet;
    case QNetworkReply::TooManyRedirectsError:
        return URLError::Code::HTTPTooManyRedirects;
    case QNetworkReply::ProtocolUnknownError:
        return URLError::Code::UnsupportedURL;
    case QNetworkReply::ProtocolFailure:
        return URLError::Code::BadServerResponse;
    default:
        return URLError::Code::Unknown;
    }
}

// A body packed with gzip or deflate (zlib's format; both are read either way, as browsers do),
// unpacked by hand: Qt's own unpacking takes a stream without its end, or bytes that are no
// stream at all, for a whole answer. Every stream must end, and nothing but another whole gzip
// member may follow it.
std::variant<QByteArray, URLError::Code> inflated(const QByteArray& packed, qint64 limit)
{
    if (packed.isEmpty()) {
        return QByteArray();
    }
    z_stream stream{};
    if (inflateInit2(&stream, MAX_WBITS + 32) != Z_OK) {
        return URLError::Code::CannotDecodeContentData;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    stream.avail_in = static_cast<uInt>(packed.size());
    QByteArray plain;
    std::variant<QByteArray, URLError::Code> result = URLError::Code::CannotDecodeContentData;
    for (;;) {
        char buffer[16 * 1024];
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof(buffer);
        const int status = inflate(&stream, Z_NO_FLUSH);
        plain.append(buffer, static_cast<qsizetype>(sizeof(buffer) - stream.avail_out));
        if (plain.size() > limit) {
            result = URLError::Code::DataLengthExceedsMaximum;
            break;
        }
        if (status == Z_STREAM_END) {
            if (stream.avail_in == 0) {
                result = std::move(plain);
                break;
            }
            if (inflateReset(&stream) != Z_OK) {
                break;
            }
            continue;
        }
        // Out of input before the stream's end: the answer was cut short.
        if (status != Z_OK || (stream.avail_in == 0 && stream.avail_out != 0)) {
            break;
        }
    }
    inflateEnd(&stream);
    return result;
}

// The length the answer announces: none when it names none, -1 when its Content-Length is not a
// length. HTTP allows the field as a list of equal values ("163, 163", or the field sent twice);
// a list of different values, or anything but digits, frames nothing (Qt then reads up to the
// end of the connection, so a body cut short would pass for a whole one).
std::optional<qint64> announcedLength(QNetworkReply* reply)
{
    if (!reply->hasRawHeader("Content-Length")) {
        return std::nullopt;
    }
    std::optional<qint64> length;
    for (const QByteArray& item : reply->rawHeader("Content-Length").split(',')) {
        const QByteArray digits = item.trimmed();
        bool ok = !digits.isEmpty()
                  && std::all_of(digits.cbegin(), digits.cend(), [](char c) { return c >= '0' && c <= '9'; });
        const qint64 value = ok ? digits.toLongLong(&ok) : -1;
        if (!ok || (length && *length != value)) {
            return -1;
        }
        length = value;
    }
    return length;
}

// The body as the server meant it, or why there is none: a body shorter or longer than its
// announced length, packed in a way that was not asked for, or that cannot be unpacked.
std::variant<QByteArray, URLError::Code> answerBody(QNetworkReply* reply, qint64 limit)
{
    const QByteArray raw = reply->readAll();
    if (raw.size() > limit) {
        return URLError::Code::DataLengthExceedsMaximum;
    }
    // Answers whose body Qt does not keep whatever length they name: 204, redirections (also one
    // it refused to follow), and those to HEAD.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool bodiless =
        status == 204 || (status >= 300 && status <= 399)
        || reply->request().attribute(QNetworkRequest::CustomVerbAttribute).toByteArray() == "HEAD";
    if (!bodiless) {
        if (const auto announced = announcedLength(reply)) {
            // A length that is no length cannot tell a whole body from a cut one.
            if (*announced < 0) {
                return URLError::Code::BadServerResponse;
            }
            if (*announced != raw.size()) {
                return URLError::Code::NetworkConnectionLost;
            }
        }
    }
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (encoding.isEmpty() || encoding == "identity") {
        return raw;
    }
    if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate") {
        return inflated(raw, limit);
    }
    return URLError::Code::CannotDecodeContentData;
}

} // namespace

QString URLError::localizedDescription() const
{
    switch (code) {
    case Code::Cancelled:
        return QStringLiteral("The request was cancelled.");
    case Code::BadURL:
        return QStringLiteral("The URL is not valid.");
    case Code::TimedOut:
        return QStringLiteral("The request timed out.");
    case Code::UnsupportedURL:
        return QStringLiteral("The URL is not supported.");
    case Code::CannotFindHost:
        return QStringLiteral("A server with the specified hostname could not be found.");
    case Code::CannotConnectToHost:
        return QStringLiteral("Could not connect to the server.");
    case Code::NetworkConnectionLost:
        return QStringLiteral("The network connection was lost.");
    case Code::HTTPTooManyRedirects:
        return QStringLiteral("There were too many redirects.");
    case Code::NotConnectedToInternet:
        return QStringLiteral("The Internet connection appears to be offline.");
    case Code::BadServerResponse:
        return QStringLiteral("The server's answer could not be read.");
    case Code::CannotDecodeContentData:
        return QStringLiteral("The server's answer could not be decoded.");
    case Code::AppTransportSecurityRequiresSecureConnection:
        return QStringLiteral("A secure connection is required to reach this server.");
    case Code::DataLengthExceedsMaximum:
        return QStringLiteral("The server's answer is too large.");
    case Code::SecureConnectionFailed:
        return QStringLiteral("A secure connection to the server could not be made.");
    case Code::Unknown:
        break;
    }
    return QStringLiteral("An unknown network error occurred.");
}

void URLRequest::setValue(const QByteArray& value, const QByteArray& field)
{
    for (auto& [name, existing] : headerFields) {
        if (name.compare(field, Qt::CaseInsensitive) == 0) {
            existing = value;
            return;
        }
    }
    headerFields.emplaceBack(field, value);
}

std::optional<QByteArray> URLRequest::value(const QByteArray& field) const
{
    for (const auto& [name, existing] : headerFields) {
        if (name.compare(field, Qt::CaseInsensitive) == 0) {
            return existing;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> HTTPResponse::value(const QByteArray& field) const
{
    for (const auto& [name, existing] : headerFields) {
        if (name.compare(field, Qt::CaseInsensitive) == 0) {
            return existing;
        }
    }
    return std::nullopt;
}

struct URLSession::Task
{
    QPointer<QObject> context;
    bool hasContext = false;
    CompletionHandler completionHandler;
    TimerHandle timeout;
    std::optional<URLError::Code> abortReason;
};

URLSession::URLSession(Scheduler& scheduler)
    : URLSession(scheduler, Configuration{})
{}

URLSession::URLSession(Scheduler& scheduler, Configuration configuration)
    : m_scheduler(scheduler)
    , m_configuration(configuration)
    , m_manager(std::make_unique<QNetworkAccessManager>())
{
    m_manager->setProxyFactory(new LoopbackBypassingProxyFactory);
    m_manager->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
}

URLSession::~URLSession()
{
    // Nobody is told about requests that end with the session.
    auto tasks = std::move(m_tasks);
    for (auto& [reply, task] : tasks) {
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

URLSession& URLSession::shared()
{
    if (URLSession* installed = Services::current().urlSession) {
        return *installed;
    }
    static URLSession fallback(Scheduler::current());
    return fallback;
}

bool URLSession::isPermitted(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("https")
           || (scheme == QLatin1String("http") && isLoopbackHost(url.host()));
}

void URLSession::dataTask(const URLRequest& request, QObject* context, CompletionHandler completionHandler)
{
    const QString scheme = request.url.scheme().toLower();
    std::optional<URLError::Code> refusal;
    if (!request.url.isValid() || request.url.host().isEmpty()) {
        refusal = URLError::Code::BadURL;
    } else if (scheme != QLatin1String("https") && scheme != QLatin1String("http")) {
        refusal = URLError::Code::UnsupportedURL;
    } else if (!isPermitted(request.url)) {
        refusal = URLError::Code::AppTransportSecurityRequiresSecureConnection;
    }
    if (refusal) {
        completionHandler(URLError{*refusal});
        return;
    }

    QNetworkRequest networkRequest(request.url);
    // The session times requests itself, on the scheduler's clock.
    networkRequest.setTransferTimeout(0);
    // Naming the encodings here keeps Qt from unpacking the answer itself (finish() does, and
    // checks that it is whole).
    networkRequest.setRawHeader("Accept-Encoding", "gzip, deflate");
    for (const auto& [field, value] : request.headerFields) {
        networkRequest.setRawHeader(field, value);
    }
    QNetworkReply* reply =
        request.httpBody ? m_manager->sendCustomRequest(networkRequest, request.httpMethod, *request.httpBody)
                         : m_manager->sendCustomRequest(networkRequest, request.httpMethod);

    auto task = std::make_unique<Task>();
    task->context = context;
    task->hasContext = context != nullptr;
    task->completionHandler = std::move(completionHandler);
    m_tasks.emplace(reply, std::move(task));

    const qint64 limit = m_configuration.maximumResponseSize;
    QObject::connect(
        reply, &QNetworkReply::downloadProgress, reply, [this, reply, limit](qint64 received, qint64 total) {
            if (received > limit || total > limit) {
                const auto it = m_tasks.find(reply);
                if (it != m_tasks.end() && !it->second->abortReason) {
                    it->second->abortReason = URLError::Code::DataLengthExceedsMaximum;
                    reply->abort();
                }
                return;
            }
            restartTimeout(reply);
        });
    // Qt may hold more than progress has reported yet.
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, reply, limit] {
        const auto it = m_tasks.find(reply);
        if (reply->bytesAvailable() > limit && it != m_tasks.end() && !it->second->abortReason) {
            it->second->abortReason = URLError::Code::DataLengthExceedsMaximum;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::uploadProgress, reply, [this, reply] { restartTimeout(reply); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] { finish(reply); });
    restartTimeout(reply);
}

void URLSession::restartTimeout(QNetworkReply* reply)
{
    const auto it = m_tasks.find(reply);
    if (it == m_tasks.end() || it->second->abortReason) {
        return;
    }
    it->second->timeout = m_scheduler.after(m_configuration.timeoutInterval, [this, reply] {
        const auto found = m_tasks.find(reply);
        if (found == m_tasks.end() || found->second->abortReason) {
            return;
        }
        found->second->abortReason = URLError::Code::TimedOut;
        reply->abort();
    });
}

void URLSession::finish(QNetworkReply* reply)
{
    const auto it = m_tasks.find(reply);
    if (it == m_tasks.end()) {
        return;
    }
    const std::unique_ptr<Task> task = std::move(it->second);
    m_tasks.erase(it);
    reply->deleteLater();

    URLSessionResult result = URLError{URLError::Code::Unknown};
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Qt reports HTTP error statuses (and a redirect it refused to follow) as errors of the reply;
    // they are answers of the server all the same. A success status whose body is cut short or
    // cannot be unpacked answered nothing: what the caller would read is not what was sent.
    const int code = status.isValid() ? status.toInt() : 0;
    const bool success = code >= 200 && code <= 299;
    const bool answered = error == QNetworkReply::NoError || error == QNetworkReply::InsecureRedirectError
                          || error >= QNetworkReply::ContentAccessDenied;
    const bool undecodable =
        success && error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError;
    if (task->abortReason) {
        result = URLError{*task->abortReason};
    } else if (undecodable) {
        result = URLError{URLError::Code::CannotDecodeContentData};
    } else if (answered && status.isValid() && error != QNetworkReply::ProtocolFailure) {
        auto body = answerBody(reply, m_configuration.maximumResponseSize);
        const auto* failure = std::get_if<URLError::Code>(&body);
        if (failure != nullptr && !success && *failure == URLError::Code::CannotDecodeContentData) {
            // A refusal's status still counts; its body is only ever shown in logs.
            result = HTTPResponse{code, {}, reply->rawHeaderPairs()};
        } else if (failure != nullptr) {
            result = URLError{*failure};
        } else {
            result = HTTPResponse{code, std::get<QByteArray>(std::move(body)), reply->rawHeaderPairs()};
        }
    } else if (answered && error == QNetworkReply::NoError) {
        result = HTTPResponse{0, {}, {}};
    } else {
        result = URLError{codeFor(error)};
    }

    if (task->hasContext && task->context.isNull()) {
        return;
    }
    task->completionHandler(result);
}

} // namespace platform
