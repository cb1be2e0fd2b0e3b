#pragma once

#include "platform/Scheduler.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

class QNetworkAccessManager;
class QNetworkReply;

namespace platform {

// A failure of the transport itself: the request produced no answer. Codes carry the values of
// the system's URL loading errors; descriptions are fixed texts that never hold a URL or a body.
struct URLError
{
    enum class Code : int
    {
        Unknown = -1,
        Cancelled = -999,
        BadURL = -1000,
        TimedOut = -1001,
        UnsupportedURL = -1002,
        CannotFindHost = -1003,
        CannotConnectToHost = -1004,
        NetworkConnectionLost = -1005,
        HTTPTooManyRedirects = -1007,
        NotConnectedToInternet = -1009,
        BadServerResponse = -1011,
        CannotDecodeContentData = -1016,
        AppTransportSecurityRequiresSecureConnection = -1022,
        DataLengthExceedsMaximum = -1103,
        SecureConnectionFailed = -1200,
    };

    Code code = Code::Unknown;

    QString localizedDescription() const;
    bool operator==(const URLError& other) const = default;
};

// One request: method, URL, header fields and an optional body.
struct URLRequest
{
    QUrl url;
    QByteArray httpMethod = "GET";
    QList<std::pair<QByteArray, QByteArray>> headerFields;
    std::optional<QByteArray> httpBody;

    explicit URLRequest(QUrl requestURL = {})
        : url(std::move(requestURL))
    {}
    // Sets (or replaces) one header field.
    void setValue(const QByteArray& value, const QByteArray& field);
    std::optional<QByteArray> value(const QByteArray& field) const;
};

// An answer of the server: its status (0 when the answer was not an HTTP response) and body.
struct HTTPResponse
{
    int statusCode = 0;
    QByteArray data;
    QList<std::pair<QByteArray, QByteArray>> headerFields;

    std::optional<QByteArray> value(const QByteArray& field) const;
};

using URLSessionResult = std::variant<HTTPResponse, URLError>;

// The process's one HTTP client (over Qt Network, on the main thread). Every request gets the
// session's idle timeout (timed by the scheduler, so tests run it on a virtual clock) and a cap
// on the answer's size, raw and decompressed. A body that cannot be decoded is a failure of the
// transport, never an answer. Plain http goes only to loopback addresses, redirects are followed only
// within the origin of the request, and loopback requests never go through a proxy, so tokens and
// keys cannot leave the origin they were meant for.
class URLSession final
{
public:
    struct Configuration
    {
        // Seconds without progress after which a request fails with TimedOut.
        double timeoutInterval = 60.0;
        // Larger answers fail with DataLengthExceedsMaximum before anything parses them.
        qint64 maximumResponseSize = 1024 * 1024;
    };

    using CompletionHandler = std::function<void(const URLSessionResult&)>;

    explicit URLSession(Scheduler& scheduler);
    URLSession(Scheduler& scheduler, Configuration configuration);
    ~URLSession();
    URLSession(const URLSession&) = delete;
    URLSession& operator=(const URLSession&) = delete;

    // The process's session (from the installed services; a default one when none is installed).
    static URLSession& shared();

    // Sends the request. The handler runs exactly once on the main thread: at once when the
    // request cannot be sent, otherwise when the answer (or the failure) arrives; never after
    // `context` (when given) or the session is gone.
    void dataTask(const URLRequest& request, QObject* context, CompletionHandler completionHandler);

    // https to any host, plain http only to a loopback address.
    static bool isPermitted(const QUrl& url);

    const Configuration& configuration() const { return m_configuration; }
    std::size_t tasksInFlight() const { return m_tasks.size(); }

private:
    struct Task;
    void restartTimeout(QNetworkReply* reply);
    void finish(QNetworkReply* reply);

    Scheduler& m_scheduler;
    Configuration m_configuration;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    std::map<QNetworkReply*, std::unique_ptr<Task>> m_tasks;
};

} // namespace platform
