#include "devservices/HttpServer.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace devservices {
namespace {

const char* const kBufferProperty = "devservices.buffer";

// The request in the buffer, once its headers and body are complete; a response instead when it
// cannot be served; nothing while more bytes are needed.
std::variant<std::monostate, HttpRequest, HttpResponse> parse(const QByteArray& buffer)
{
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        if (buffer.size() > HttpServer::kMaximumHeaderSize) {
            return HttpResponse::empty(431);
        }
        return std::monostate{};
    }
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1.")) {
        return HttpResponse::empty(400);
    }
    HttpRequest request;
    request.method = requestLine[0];
    request.target = requestLine[1];
    const QUrl url = QUrl::fromEncoded("http://local" + request.target);
    if (!request.target.startsWith('/') || !url.isValid()) {
        return HttpResponse::empty(400);
    }
    request.path = url.path();
    request.query = QUrlQuery(url);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            return HttpResponse::empty(400);
        }
        request.headers.emplaceBack(line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
    }
    if (request.hasHeader("Transfer-Encoding")) {
        return HttpResponse::empty(411);
    }
    bool lengthOk = true;
    const qlonglong length =
        request.hasHeader("Content-Length") ? request.header("Content-Length").toLongLong(&lengthOk) : 0;
    if (!lengthOk || length < 0) {
        return HttpResponse::empty(400);
    }
    if (length > HttpServer::kMaximumBodySize) {
        return HttpResponse::empty(413);
    }
    const qsizetype bodyStart = headerEnd + 4;
    if (buffer.size() - bodyStart < length) {
        return std::monostate{};
    }
    request.body = buffer.mid(bodyStart, length);
    return request;
}

} // namespace

QByteArray HttpRequest::header(const QByteArray& name) const
{
    for (const auto& [field, value] : headers) {
        if (field.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool HttpRequest::hasHeader(const QByteArray& name) const
{
    for (const auto& [field, value] : headers) {
        if (field.compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

HttpResponse HttpResponse::json(int status, const QByteArray& compactJson)
{
    HttpResponse response;
    response.status = status;
    response.headers.emplaceBack("Content-Type", "application/json");
    response.body = compactJson;
    return response;
}

HttpResponse HttpResponse::empty(int status)
{
    HttpResponse response;
    response.status = status;
    return response;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 410:
        return "Gone";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

HttpServer::HttpServer(Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpServer::accept);
}

HttpServer::~HttpServer() = default;

bool HttpServer::listen(const QHostAddress& address, quint16 port)
{
    return m_server->listen(address, port);
}

void HttpServer::close()
{
    m_server->close();
    const auto sockets = findChildren<QTcpSocket*>();
    for (QTcpSocket* socket : sockets) {
        socket->abort();
        socket->deleteLater();
    }
    m_held.clear();
}

bool HttpServer::isListening() const
{
    return m_server->isListening();
}

quint16 HttpServer::port() const
{
    return m_server->serverPort();
}

QUrl HttpServer::baseURL() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(m_server->serverAddress().toString());
    url.setPort(m_server->serverPort());
    return url;
}

void HttpServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_held.removeAll(socket);
            socket->deleteLater();
        });
    }
}

void HttpServer::read(QTcpSocket* socket)
{
    if (m_held.contains(socket)) {
        socket->readAll();
        return;
    }
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    socket->setProperty(kBufferProperty, buffer);
    auto parsed = parse(buffer);
    if (std::holds_alternative<std::monostate>(parsed)) {
        return;
    }
    socket->setProperty(kBufferProperty, QVariant());
    // Later bytes on this connection are not read as a new request.
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    if (auto* refusal = std::get_if<HttpResponse>(&parsed)) {
        answer(socket, *refusal);
        return;
    }
    const auto& request = std::get<HttpRequest>(parsed);
    emit requestReceived(request.path);
    answer(socket, m_handler(request));
}

void HttpServer::answer(QTcpSocket* socket, const Reply& reply)
{
    if (const auto* fault = std::get_if<Fault>(&reply)) {
        switch (*fault) {
        case Fault::NoAnswer:
            m_held.append(socket);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            return;
        case Fault::DropConnection:
            socket->abort();
            return;
        case Fault::Garbage:
            socket->write("\x01\x02 this is not HTTP \xff\r\n\r\n");
            socket->disconnectFromHost();
            return;
        }
        return;
    }
    const auto& response = std::get<HttpResponse>(reply);
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    bool lengthGiven = false;
    for (const auto& [field, value] : response.headers) {
        out += field + ": " + value + "\r\n";
        lengthGiven = lengthGiven || field.compare("Content-Length", Qt::CaseInsensitive) == 0;
    }
    // A length given by the handler is sent as it stands, true or not (a test's answer cut short).
    if (!lengthGiven) {
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    out += response.body;
    socket->write(out);
    socket->disconnectFromHost();
}

} // namespace devservices
