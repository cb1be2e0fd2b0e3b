#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <utility>
#include <variant>

class QTcpServer;
class QTcpSocket;

namespace devservices {

using HeaderFields = QList<std::pair<QByteArray, QByteArray>>;

// One request as the server read it.
struct HttpRequest
{
    QByteArray method;
    QByteArray target; // path and query, as sent
    QString path;
    QUrlQuery query;
    HeaderFields headers;
    QByteArray body;

    // The value of a header field (names compared without regard to case); empty when absent.
    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const;
};

struct HttpResponse
{
    int status = 200;
    HeaderFields headers;
    QByteArray body;

    static HttpResponse json(int status, const QByteArray& compactJson);
    static HttpResponse empty(int status);
};

// What a connection can do instead of answering: hold the request without a word, cut the
// connection, or send bytes that are not HTTP.
enum class Fault
{
    NoAnswer,
    DropConnection,
    Garbage,
};

using Reply = std::variant<HttpResponse, Fault>;

// A small HTTP/1.1 server on QTcpServer for the local stand-in services and for tests: one request
// per connection, bodies by Content-Length, answered on the main thread by one handler.
class HttpServer final : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<Reply(const HttpRequest&)>;

    explicit HttpServer(Handler handler, QObject* parent = nullptr);
    ~HttpServer() override;

    // Listens on the address (loopback unless told otherwise); port 0 picks a free one.
    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    // Stops listening and cuts every open connection, so new requests are refused.
    void close();
    bool isListening() const;
    quint16 port() const;
    // "http://127.0.0.1:<port>" for the address it listens on.
    QUrl baseURL() const;

    // Connections held open by Fault::NoAnswer.
    int heldConnections() const { return static_cast<int>(m_held.size()); }

    static constexpr qsizetype kMaximumHeaderSize = 64 * 1024;
    static constexpr qsizetype kMaximumBodySize = 1024 * 1024;

signals:
    // After each request was read, before it is answered.
    void requestReceived(const QString& path);

private:
    void accept();
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Reply& reply);

    Handler m_handler;
    QTcpServer* m_server = nullptr;
    QList<QTcpSocket*> m_held;
};

QByteArray reasonPhrase(int status);

} // namespace devservices
