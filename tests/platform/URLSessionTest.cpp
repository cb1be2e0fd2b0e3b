#include "platform/URLSession.h"

#include "devservices/HttpServer.h"
#include "platform/sim/VirtualScheduler.h"
#include "tests/support/Compressed.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace devservices;
using namespace platform;
using testing_support::packed;
using testing_support::Packing;

namespace {

class URLSessionTest : public ::testing::Test
{
protected:
    URLSessionTest()
    {
        EXPECT_TRUE(server.listen());
        EXPECT_TRUE(other.listen());
    }

    QUrl url(const HttpServer& on, const QString& path) const { return QUrl(on.baseURL().toString() + path); }

    // Sends the request and runs the event loop until its answer arrives.
    std::optional<URLSessionResult> send(const URLRequest& request)
    {
        std::optional<URLSessionResult> result;
        session.dataTask(request, nullptr, [&](const URLSessionResult& r) { result = r; });
        static_cast<void>(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
        return result;
    }

    sim::VirtualScheduler scheduler;
    URLSession session{scheduler, {5.0, 1000}};
    std::function<Reply(const HttpRequest&)> answer = [](const HttpRequest&) {
        return HttpResponse::empty(204);
    };
    QList<HttpRequest> received;
    HttpServer server{[this](const HttpRequest& r) {
        received.append(r);
        return answer(r);
    }};
    QList<HttpRequest> receivedByOther;
    HttpServer other{[this](const HttpRequest& r) {
        receivedByOther.append(r);
        return Reply(HttpResponse::json(200, "{}"));
    }};
};

URLError errorOf(const std::optional<URLSessionResult>& result)
{
    return result && std::holds_alternative<URLError>(*result) ? std::get<URLError>(*result) : URLError{};
}

HTTPResponse responseOf(const std::optional<URLSessionResult>& result)
{
    EXPECT_TRUE(result && std::holds_alternative<HTTPResponse>(*result));
    return result && std::holds_alternative<HTTPResponse>(*result) ? std::get<HTTPResponse>(*result)
                                                                   : HTTPResponse{};
}

} // namespace

TEST_F(URLSessionTest, SendsTheRequestAndDeliversEveryStatusUpToTheSizeCapAsAnAnswer)
{
    for (const int status : {200, 204, 400, 404, 409, 429, 500, 503}) {
        answer = [status](const HttpRequest&) {
            return HttpResponse::json(status, "{\"n\":1}");
        };
        URLRequest request(url(server, "/rpc?x=1"));
        request.httpMethod = "PATCH";
        request.setValue("Bearer t", "Authorization");
        request.httpBody = "{\"a\":2}";
        const HTTPResponse response = responseOf(send(request));
        EXPECT_EQ(response.statusCode, status);
        // A 204 has no body by definition.
        EXPECT_EQ(response.data, status == 204 ? "" : "{\"n\":1}") << status;
    }
    const HttpRequest& last = received.last();
    EXPECT_EQ(last.method, "PATCH");
    EXPECT_EQ(last.target, "/rpc?x=1");
    EXPECT_EQ(last.header("Authorization"), "Bearer t");
    EXPECT_EQ(last.body, "{\"a\":2}");

    // Answers larger than the cap fail before anyone reads them.
    answer = [](const HttpRequest& r) {
        return HttpResponse::json(200, QByteArray(r.path == "/big" ? 1001 : 1000, 'x'));
    };
    EXPECT_EQ(responseOf(send(URLRequest(url(server, "/fits")))).data.size(), 1000);
    EXPECT_EQ(errorOf(send(URLRequest(url(server, "/big")))).code, URLError::Code::DataLengthExceedsMaximum);
}

TEST_F(URLSessionTest, ARequestWithoutProgressTimesOutOnTheSessionsClock)
{
    answer = [](const HttpRequest&) {
        return Reply(Fault::NoAnswer);
    };
    std::optional<URLSessionResult> result;
    session.dataTask(URLRequest(url(server, "/x")), nullptr, [&](const URLSessionResult& r) { result = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.heldConnections() == 1; }, 5000));

    scheduler.advance(4.9);
    QCoreApplication::processEvents();
    EXPECT_FALSE(result.has_value());
    scheduler.advance(0.2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_EQ(errorOf(result).code, URLError::Code::TimedOut);
}

TEST_F(URLSessionTest, FollowsRedirectsOnlyWithinTheOriginAndSendsPlainHttpOnlyToLoopback)
{
    const QByteArray elsewhere = url(other, "/steal").toEncoded();
    answer = [elsewhere](const HttpRequest& r) {
        HttpResponse response = HttpResponse::empty(302);
        if (r.path == "/same") {
            response.headers.emplaceBack("Location", "/landed");
        } else if (r.path == "/away") {
            response.headers.emplaceBack("Location", elsewhere);
        } else {
            response = HttpResponse::json(200, "landed");
        }
        return Reply(response);
    };
    EXPECT_EQ(responseOf(send(URLRequest(url(server, "/same")))).data, "landed");

    URLRequest request(url(server, "/away"));
    request.setValue("Bearer secret", "Authorization");
    EXPECT_EQ(responseOf(send(request)).statusCode, 302);
    EXPECT_TRUE(receivedByOther.isEmpty());

    // Plain http goes only to loopback.
    struct Case
    {
        const char* url;
        std::optional<URLError::Code> refusal;
    };
    for (const Case& c :
         {Case{"http://192.0.2.1/x", URLError::Code::AppTransportSecurityRequiresSecureConnection},
          Case{"http://example.com/x", URLError::Code::AppTransportSecurityRequiresSecureConnection},
          Case{"ftp://127.0.0.1/x", URLError::Code::UnsupportedURL},
          Case{"not a url", URLError::Code::BadURL},
          Case{"http://localhost/x", std::nullopt},
          Case{"http://[::1]/x", std::nullopt},
          Case{"https://example.com/x", std::nullopt}}) {
        const QUrl target(QString::fromLatin1(c.url));
        EXPECT_EQ(URLSession::isPermitted(target), !c.refusal) << c.url;
        if (c.refusal) {
            // Refused before anything leaves the machine: the answer is there at once.
            std::optional<URLSessionResult> result;
            session.dataTask(URLRequest(target), nullptr, [&](const URLSessionResult& r) { result = r; });
            EXPECT_EQ(errorOf(result).code, *c.refusal) << c.url;
        }
    }
}

TEST_F(URLSessionTest, NobodyIsCalledBackAfterTheContextOrTheSessionIsGone)
{
    bool called = false;
    {
        QObject context;
        session.dataTask(
            URLRequest(url(server, "/a")), &context, [&](const URLSessionResult&) { called = true; });
    }
    {
        URLSession shortLived(scheduler);
        shortLived.dataTask(
            URLRequest(url(server, "/b")), nullptr, [&](const URLSessionResult&) { called = true; });
    }
    // A later request on the same server is answered, so the earlier ones had every chance.
    ASSERT_TRUE(send(URLRequest(url(server, "/c"))).has_value());
    static_cast<void>(QTest::qWaitFor([&] { return session.tasksInFlight() == 0; }, 1000));
    EXPECT_FALSE(called);
}

TEST_F(URLSessionTest, ABodyCutShortOrThatCannotBeUnpackedIsNoAnswer)
{
    // Text that packs only about two to one.
    QByteArray loose;
    for (int i = 0; loose.size() < 100 * 1024; ++i) {
        loose += QByteArray::number(i * 2654435761U % 1000003U, 16);
    }
    const QByteArray user = "{\"id\":\"u\",\"email\":\"someone@example.com\"}";
    const QByteArray gzipped = packed(user, Packing::Gzip);
    const QByteArray deflated = packed(user, Packing::Deflate);
    struct Case
    {
        const char* name;
        int status;
        QByteArray body;
        QByteArray encoding;
        std::optional<URLError::Code> failure;
        QByteArray decoded = {};
        std::optional<int> announcedLength = std::nullopt;
        bool chunked = false;
        // The Content-Length field as sent, when it is not one number.
        QByteArray announcedAs = {};
    };
    const QByteArray userLength = QByteArray::number(user.size());
    // An answer whose Content-Length field reads `announcedAs`.
    const auto withLength = [](const char* name,
                               const QByteArray& body,
                               std::optional<URLError::Code> failure,
                               const QByteArray& announcedAs) {
        return Case{
            name, 200, body, "", failure, failure ? QByteArray() : body, std::nullopt, false, announcedAs};
    };
    const auto inChunks = [](const QByteArray& body) {
        return QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n0\r\n\r\n";
    };
    const Case cases[] = {
        {"a deflated answer", 200, deflated, "deflate", std::nullopt, user},
        {"a gzipped answer", 200, gzipped, "gzip", std::nullopt, user},
        {"two gzip members", 200, gzipped + packed("!", Packing::Gzip), "gzip", std::nullopt, user + "!"},
        {"gzip without its trailer",
         200,
         gzipped.chopped(8),
         "gzip",
         URLError::Code::CannotDecodeContentData},
        {"gzip cut in the middle",
         200,
         gzipped.left(gzipped.size() / 2),
         "gzip",
         URLError::Code::CannotDecodeContentData},
        {"deflate without its end",
         200,
         deflated.chopped(4),
         "deflate",
         URLError::Code::CannotDecodeContentData},
        {"bytes that are no stream",
         200,
         "not compressed at all",
         "deflate",
         URLError::Code::CannotDecodeContentData},
        {"a stream with bytes after its end",
         200,
         deflated + "junk",
         "deflate",
         URLError::Code::CannotDecodeContentData},
        {"an encoding that was not asked for", 200, user, "br", URLError::Code::CannotDecodeContentData},
        {"more than the cap unpacked",
         200,
         packed(loose, Packing::Deflate),
         "deflate",
         URLError::Code::DataLengthExceedsMaximum},
        {"a bomb",
         200,
         packed(QByteArray(20 * 1024 * 1024, '\0'), Packing::Gzip),
         "gzip",
         URLError::Code::DataLengthExceedsMaximum},
        {"shorter than announced",
         200,
         user,
         "",
         URLError::Code::NetworkConnectionLost,
         {},
         int(user.size()) + 10},
        {"packed, shorter than announced",
         200,
         gzipped,
         "gzip",
         URLError::Code::NetworkConnectionLost,
         {},
         int(gzipped.size()) + 10},
        // Framed both ways, the chunks end the body before the length it names: which framing
        // the server meant is anyone's guess.
        {"sent in chunks, shorter than its announced length",
         200,
         inChunks(user),
         "",
         URLError::Code::NetworkConnectionLost,
         {},
         int(user.size()) + 10,
         true},
        // HTTP allows a length as a list of equal values; it frames the body as one would.
        withLength("a length given twice, whole", user, std::nullopt, userLength + ", " + userLength),
        withLength("a length given twice, shorter",
                   user.chopped(5),
                   URLError::Code::NetworkConnectionLost,
                   userLength + ", " + userLength),
        // Anything else frames nothing: whether the body is whole cannot be told.
        withLength(
            "a length that is not a number", user, URLError::Code::BadServerResponse, userLength + " x"),
        withLength("two lengths that differ",
                   user,
                   URLError::Code::BadServerResponse,
                   userLength + ", " + QByteArray::number(user.size() + 1)),
        // The status of a refusal still counts; its body is only ever shown in logs.
        {"a refusal with a broken body", 401, "not compressed at all", "deflate", std::nullopt, ""},
    };
    URLSession session64K{scheduler, {5.0, 64 * 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.body.size(), 64 * 1024);
        answer = [&c](const HttpRequest&) {
            HttpResponse response = HttpResponse::json(c.status, c.body);
            if (!c.encoding.isEmpty()) {
                response.headers.emplaceBack("Content-Encoding", c.encoding);
            }
            if (c.announcedLength) {
                response.headers.emplaceBack("Content-Length", QByteArray::number(*c.announcedLength));
            }
            if (!c.announcedAs.isEmpty()) {
                response.headers.emplaceBack("Content-Length", c.announcedAs);
            }
            if (c.chunked) {
                response.headers.emplaceBack("Transfer-Encoding", "chunked");
            }
            return Reply(response);
        };
        std::optional<URLSessionResult> result;
        session64K.dataTask(
            URLRequest(url(server, "/x")), nullptr, [&](const URLSessionResult& r) { result = r; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
        if (c.failure) {
            EXPECT_EQ(errorOf(result).code, *c.failure);
        } else {
            EXPECT_EQ(responseOf(result).statusCode, c.status);
            EXPECT_EQ(responseOf(result).data, c.decoded);
        }
    }
}
