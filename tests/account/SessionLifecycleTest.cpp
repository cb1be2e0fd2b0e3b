#include "tests/account/AccountFixture.h"
#include "tests/support/Compressed.h"
#include "tests/support/FailingDisk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString kOffline = QString::fromUtf8("Offline — reconnecting...");
const QString kSignedIn = QStringLiteral("Signed in");

// A backend of the test's own on a free loopback port, which answers each request with the bytes
// given, exactly as given (framing and all), and then closes the connection; 503 when it has
// nothing left to say.
class RawBackend
{
public:
    RawBackend()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
    }

    QString baseURL() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    void answer(const QByteArray& raw) { m_answers.append(raw); }
    // The paths asked for, in order.
    QStringList paths;

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            return;
        }
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        qsizetype length = 0;
        for (const QByteArray& line : lines) {
            if (line.toLower().startsWith("content-length:")) {
                length = line.mid(15).trimmed().toLongLong();
            }
        }
        if (buffer.size() < headerEnd + 4 + length) {
            return;
        }
        paths << QString::fromLatin1(lines.value(0).split(' ').value(1).split('?').value(0));
        m_buffers.remove(socket);
        socket->disconnect(&m_server);
        socket->write(m_answers.isEmpty() ? QByteArray("HTTP/1.1 503 Service Unavailable\r\n"
                                                       "Content-Length: 0\r\nConnection: close\r\n\r\n")
                                          : m_answers.takeFirst());
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QList<QByteArray> m_answers;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

// A 200 answer carrying `body` under the given Content-Length field (none: the body ends with
// the connection).
QByteArray rawAnswer(const QByteArray& body, const std::optional<QByteArray>& contentLength)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n"
           + (contentLength ? "Content-Length: " + *contentLength + "\r\n" : QByteArray()) + "\r\n" + body;
}

class SessionLifecycleTest : public SessionTest
{
protected:
    int userChecks() const { return services.requestCount("/auth/v1/user"); }

    // The next user checks answer 503: the backend cannot be reached now.
    void outage(int checks) { script("/auth/v1/user", json(503, "{}"), checks); }

    using Pair = std::pair<QString, QString>;

    // The session over a keychain in a file of the test's own, so that the disk can refuse what
    // is written there, holding a signed-in session of the stand-in's.
    struct OnFile
    {
        explicit OnFile(SessionLifecycleTest& test)
            : withFile(withKeychain(test.system.services(), &file))
            , client(withFile)
            , session(*test.state, client, *test.analytics, withFile)
            , tokens(withFile)
            , first(test.services.createSession(LocalServices::defaultAccount()))
        {
            EXPECT_TRUE(tokens.writeReportingSuccess(first.accessToken, kAccess));
            EXPECT_TRUE(tokens.writeReportingSuccess(first.refreshToken, kRefresh));
        }

        static platform::Services withKeychain(platform::Services services, platform::Keychain* keychain)
        {
            services.keychain = keychain;
            return services;
        }
        static Pair pairOf(const QList<platform::KeychainItem>& items)
        {
            Pair pair;
            for (const auto& item : items) {
                if (item.service == AuthKeychain::service) {
                    (item.account == kAccess ? pair.first : pair.second) = QString::fromUtf8(item.data);
                }
            }
            return pair;
        }
        // What the file holds, and what is held in memory beside it, read without touching either.
        Pair inFile() { return pairOf(file.allItems().value_or(QList<platform::KeychainItem>())); }
        Pair held() { return pairOf(file.unsavedItems()); }

        QTemporaryDir dir;
        platform::FileKeychain file{dir.filePath("keychain")};
        platform::Services withFile;
        BackendClient client;
        SessionLifecycle session;
        AuthKeychain tokens;
        LocalServices::TokenPair first;
    };

    // Goes offline again with the stored session.
    void checkDuringOutage()
    {
        outage(1);
        session->validateSession(stored(kAccess).value_or(""));
        ASSERT_TRUE(drain());
    }
};

} // namespace

TEST_F(SessionLifecycleTest, WithoutASavedTokenASignInIsRequired)
{
    // Absent, and stored but empty.
    for (const bool storeEmpty : {false, true}) {
        if (storeEmpty) {
            tokens.write(QString(), kAccess);
        }
        session->validateSavedSession();
        EXPECT_FALSE(state->isAuthenticated() || state->authInProgress());
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Sign in required"));
    }
    launch();
    ASSERT_TRUE(drain());
    EXPECT_FALSE(state->isVirtualDisplayRunning());
    EXPECT_TRUE(services.requests().isEmpty());
}

TEST_F(SessionLifecycleTest, TheSavedSessionIsConfirmedRefreshedKeptOrExpired)
{
    const QString expired = QStringLiteral("Saved session expired. Sign in required");
    HttpResponse undecodable = json(200, "not compressed");
    undecodable.headers.emplaceBack("Content-Encoding", "deflate");
    struct Case
    {
        QString status;
        std::optional<Reply> user = {};
        std::optional<Reply> refresh = {};
        bool expiredAccess = false;
        bool refreshTokenStored = true;
    };
    const Case cases[] = {
        {kSignedIn},
        {"Session refreshed", {}, {}, true},
        // A backend that does not rotate refresh tokens answers without one: the used one stays.
        {"Session refreshed", {}, json(200, R"({"access_token":"fresh"})"), true},
        {expired, json(401, "{}"), json(400, R"({"error":"invalid_grant"})"), false, false},
        {expired, json(401, "{}"), json(400, R"({"error":"invalid_grant"})")},
        // A refresh that timed out before the service read it was not refused.
        {kOffline, json(401, "{}"), json(408, "{}")},
        // A refresh answer whose tokens would add a header line is a refusal, never stored.
        {expired, json(401, "{}"), json(200, R"({"access_token":"abc\r\nX-Injected: yes"})")},
        {expired,
         json(401, "{}"),
         json(200, R"({"access_token":"abc","refresh_token":"r\nX-Injected: yes"})")},
        // A body that cannot be unpacked is no answer, so no refusal either.
        {kOffline, undecodable},
        {kOffline, json(503, "{}")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        state->stopVirtualDisplay();
        const auto pair = signIn();
        if (c.expiredAccess) {
            tokens.write(expiredToken(), kAccess);
        }
        if (!c.refreshTokenStored) {
            tokens.deleteItem(kRefresh);
        }
        for (const auto& [path, reply] :
             {std::pair("/auth/v1/user", c.user), std::pair("/auth/v1/token", c.refresh)}) {
            if (reply) {
                script(path, *reply);
            }
        }
        const auto before = std::pair(stored(kAccess), stored(kRefresh));
        const int checksBefore = userChecks();
        session->validateSavedSession();
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Validating saved session..."));
        EXPECT_TRUE(state->authInProgress());
        ASSERT_TRUE(drain());
        EXPECT_FALSE(state->authInProgress());
        EXPECT_EQ(state->authStatusMessage(), c.status);
        // Signed in (or kept while offline), the virtual display runs; only a definite refusal
        // removes the tokens.
        const bool signedIn = c.status != expired;
        EXPECT_EQ(std::pair(state->isAuthenticated(), state->isVirtualDisplayRunning()),
                  std::pair(signedIn, signedIn));
        if (c.expiredAccess) {
            // An access token that fails the local check is never sent; the new pair is stored.
            EXPECT_EQ(userChecks(), checksBefore);
            if (c.refresh) {
                EXPECT_EQ(std::pair(stored(kAccess), stored(kRefresh)),
                          std::pair(std::optional<QString>("fresh"), std::optional(pair.refreshToken)));
            } else {
                EXPECT_TRUE(client.isAccessTokenUsable(stored(kAccess).value_or("")));
                EXPECT_NE(stored(kRefresh).value_or(pair.refreshToken), pair.refreshToken);
            }
        } else {
            EXPECT_EQ(userChecks(), checksBefore + 1);
            EXPECT_EQ(std::pair(stored(kAccess), stored(kRefresh)), signedIn ? before : decltype(before)());
        }
        services.clearScript();
    }

    for (const auto& request : services.requests()) {
        EXPECT_FALSE(request.hasHeader("X-Injected")) << request.path.toStdString();
    }
}

TEST_F(SessionLifecycleTest, AnAnswerCutShortKeepsBothTokensGoesOfflineAndRecovers)
{
    // Without the permission the display takes no pictures while the clock runs.
    system.desktop.setScreenRecordingPermission(false);
    const auto cutShort = [](const QByteArray& json, Packing packing, qsizetype cut) {
        HttpResponse response = HttpResponse::json(200, packed(json, packing).chopped(cut));
        response.headers.emplaceBack("Content-Encoding", packing == Packing::Gzip ? "gzip" : "deflate");
        return response;
    };
    const QByteArray user = R"({"id":"7b0c5e1e-8d1f-4a52-9c1e-0d6f3b7a2c11","aud":"authenticated"})";
    const QByteArray refreshed = R"({"access_token":"a.b.c","refresh_token":"r"})";
    HttpResponse longerThanItIs = cutShort(user, Packing::Gzip, 0);
    longerThanItIs.headers.emplaceBack("Content-Length", QByteArray::number(longerThanItIs.body.size() + 20));
    const std::tuple<const char*, QString, HttpResponse, QString> cases[] = {
        {"user check, gzip without its end", "/auth/v1/user", cutShort(user, Packing::Gzip, 8), kSignedIn},
        {"user check, deflate without its end",
         "/auth/v1/user",
         cutShort(user, Packing::Deflate, 4),
         kSignedIn},
        {"user check, shorter than announced", "/auth/v1/user", longerThanItIs, kSignedIn},
        {"refresh, gzip without its end",
         "/auth/v1/token",
         cutShort(refreshed, Packing::Gzip, 8),
         "Session refreshed"},
        {"refresh, deflate without its end",
         "/auth/v1/token",
         cutShort(refreshed, Packing::Deflate, 4),
         "Session refreshed"},
    };
    for (const auto& [name, path, answer, recovered] : cases) {
        SCOPED_TRACE(name);
        session->signOut();
        signIn();
        if (path == QLatin1String("/auth/v1/token")) {
            tokens.write(expiredToken(), kAccess);
        }
        const auto before = std::pair(stored(kAccess), stored(kRefresh));
        script(path, answer);
        session->validateSavedSession();
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), kOffline);
        EXPECT_TRUE(state->isAuthenticated());
        EXPECT_EQ(std::pair(stored(kAccess), stored(kRefresh)), before);

        // The next try gets a whole answer.
        system.scheduler.advance(state->offlineRetryDelay());
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), recovered);
        EXPECT_TRUE(client.isAccessTokenUsable(stored(kAccess).value_or("")));
    }
}

TEST_F(SessionLifecycleTest, OfflineRetriesBackOffWithoutEndStartOverAfterRecoveryAndOutliveASignInOnly)
{
    // Without the permission the display takes no pictures while the clock runs for minutes.
    system.desktop.setScreenRecordingPermission(false);
    signIn();
    outage(8);
    launch();
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), kOffline);
    EXPECT_TRUE(state->isVirtualDisplayRunning());

    int checks = userChecks();
    for (const double delay : {15, 30, 60, 120, 240, 300, 300}) {
        SCOPED_TRACE(delay);
        system.scheduler.advance(delay - 0.5);
        ASSERT_TRUE(drain());
        EXPECT_EQ(userChecks(), checks);
        system.scheduler.advance(0.5);
        ASSERT_TRUE(drain());
        EXPECT_EQ(userChecks(), ++checks);
        EXPECT_EQ(state->authStatusMessage(), kOffline);
        EXPECT_TRUE(state->isAuthenticated());
    }

    // The backend answers again: signed in, and the next outage starts over at 15 s.
    services.clearScript();
    system.scheduler.advance(300);
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), kSignedIn);
    EXPECT_EQ(state->offlineRetryDelay(), 15);
    EXPECT_FALSE(session->hasSessionRetryTask());
    checkDuringOutage();
    EXPECT_EQ(state->authStatusMessage(), kOffline);
    EXPECT_EQ(state->offlineRetryDelay(), 30);

    // A sign-in meanwhile forgets the retry without cancelling it: it validates the new session.
    session->applySignedIn(kSignedIn);
    EXPECT_FALSE(session->hasSessionRetryTask());
    state->setAuthStatusMessage(QString());
    checks = userChecks();
    system.scheduler.advance(15);
    ASSERT_TRUE(drain());
    EXPECT_EQ(userChecks(), checks + 1);
    EXPECT_EQ(state->authStatusMessage(), kSignedIn);

    // Offline again, then the session expires before the retry wakes: the retry does nothing.
    checkDuringOutage();
    session->expireSavedSession();
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Saved session expired. Sign in required"));
    system.scheduler.advance(300);
    ASSERT_TRUE(drain());
    EXPECT_EQ(userChecks(), checks + 2);
    EXPECT_FALSE(state->isAuthenticated());
}

TEST_F(SessionLifecycleTest, SignOutCancelsTheRetryLiftsThePauseBeforeTheDisplayStopsAndEndsTheServerSession)
{
    signIn();
    outage(1);
    launch();
    ASSERT_TRUE(drain());
    state->togglePanic();
    ASSERT_TRUE(state->sharePaused());
    analytics->setSessionID(QStringLiteral("onboarding-1"));
    state->setHandoffRequestedAt(system.scheduler.currentDate());

    QStringList order;
    QObject::connect(state.get(), &WindowManager::sharePausedChanged, [&](bool paused) {
        order << (paused ? "paused" : "live");
    });
    QObject::connect(state.get(), &WindowManager::isVirtualDisplayRunningChanged, [&](bool running) {
        order << (running ? "running" : "stopped");
    });
    state->signOut();
    EXPECT_EQ(order, (QStringList{"live", "stopped"}));
    EXPECT_FALSE(state->isAuthenticated() || state->authInProgress());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed out"));
    EXPECT_FALSE(state->handoffRequestedAt() || analytics->sessionID() || session->hasSessionRetryTask());
    EXPECT_FALSE(stored(kAccess) || stored(kRefresh));

    ASSERT_TRUE(drain());
    EXPECT_EQ(services.requestCount("/auth/v1/logout"), 1);
    EXPECT_EQ(services.activeSessionCount(), 0);
    // With nothing stored the logout sends nothing.
    state->signOut();
    ASSERT_TRUE(drain());
    EXPECT_EQ(services.requestCount("/auth/v1/logout"), 1);

    // The cancelled retry does not wake even for a new session.
    signIn();
    session->applySignedIn(kSignedIn);
    const int checks = userChecks();
    system.scheduler.advance(20);
    ASSERT_TRUE(drain());
    EXPECT_EQ(userChecks(), checks);
}

TEST_F(SessionLifecycleTest, AnswersThatArriveAfterSignOutAreDroppedAndTheirServerSessionsEnded)
{
    const auto validate = [this] {
        session->validateSavedSession();
    };
    const auto exchange = [this] {
        session->exchangeHandoffCode(signInCode());
    };
    const auto backendCall = [this] {
        state->validAccessToken(nullptr, [](const AccessTokenResult&) {});
    };
    // Each answer, applied, would sign the user back in or write the tokens back (none: the
    // stand-in's own).
    const std::tuple<const char*, QString, std::optional<Reply>, std::function<void()>> cases[] = {
        {"user check confirms", "/auth/v1/user", std::nullopt, validate},
        {"user check unreachable", "/auth/v1/user", json(503, "{}"), validate},
        {"user check refuses", "/auth/v1/user", json(401, "{}"), validate},
        {"refresh succeeds", "/auth/v1/token", std::nullopt, validate},
        {"refresh unreachable", "/auth/v1/token", json(503, "{}"), validate},
        {"the backend call's refresh succeeds", "/auth/v1/token", std::nullopt, backendCall},
        {"hand-off exchanged", "/api/auth/desktop-handoff/exchange", std::nullopt, exchange},
        {"the new token's check", "/auth/v1/user", std::nullopt, exchange},
    };
    for (const auto& [name, path, answer, start] : cases) {
        SCOPED_TRACE(name);
        signIn();
        const int open = services.activeSessionCount();
        if (path == "/auth/v1/token") {
            tokens.write(expiredToken(), kAccess);
        }
        if (answer) {
            script(path, *answer);
        }
        onRequest(path, [this] { state->signOut(); });
        start();
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed out"));
        EXPECT_FALSE(state->isAuthenticated() || state->isVirtualDisplayRunning() || state->authInProgress());
        EXPECT_FALSE(session->hasSessionRetryTask());
        EXPECT_FALSE(stored(kAccess) || stored(kRefresh));
        // Its server session ends (unless the backend is down), and one an exchange opened.
        EXPECT_EQ(services.activeSessionCount(), open - (path == "/auth/v1/token" && answer ? 0 : 1));
        services.clearScript();
    }
}

TEST_F(SessionLifecycleTest, ALateRefreshAnswerNeitherDeletesNorOverwritesTokensStoredMeanwhile)
{
    // A refusal, and the stand-in's own success.
    for (const auto& answer :
         {std::optional<Reply>(json(400, R"({"error":"invalid_grant"})")), std::optional<Reply>()}) {
        signIn();
        tokens.write(expiredToken(), kAccess);
        if (answer) {
            script("/auth/v1/token", *answer);
        }
        // Another writer stores a newer session while the answer is on its way.
        LocalServices::TokenPair newer;
        onRequest("/auth/v1/token", [&] { newer = signIn(); });
        session->validateSavedSession();
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), kSignedIn);
        EXPECT_EQ(std::pair(stored(kAccess), stored(kRefresh)),
                  std::pair(std::optional(newer.accessToken), std::optional(newer.refreshToken)));
    }
}

TEST_F(SessionLifecycleTest, TheEndOfASessionLeavesNoCopyOfADamagedStoreNorOfAnUnfinishedSave)
{
    QTemporaryDir dir;
    platform::FileKeychain file(dir.filePath("keychain"));
    platform::Services withFile = system.services();
    withFile.keychain = &file;
    SessionLifecycle onFile(*state, client, *analytics, withFile);
    for (const bool signOut : {true, false}) {
        SCOPED_TRACE(signOut ? "sign-out" : "expiry");
        ASSERT_TRUE(QDir().mkpath(file.directory()));
        QFile damaged(file.filePath());
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write("bplist00 half a token: eyJhbGciOiJIUzI1NiJ9");
        damaged.close();
        ASSERT_EQ(AuthKeychain(withFile).read(kAccess), std::nullopt);
        ASSERT_FALSE(file.setAsidePath().isEmpty());
        // And a save that a kill cut short left its new file, holding a token, beside the store.
        {
            CutShortSaves cut;
            AuthKeychain(withFile).write(QStringLiteral("eyJhbGciOiJIUzI1NiJ9"), kAccess);
            ASSERT_EQ(cut.leaveBehind().size(), 1);
        }
        signOut ? onFile.signOut() : onFile.expireSavedSession();
        EXPECT_TRUE(QDir(file.directory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }
}

TEST_F(SessionLifecycleTest, ARefreshedPairTheKeychainCannotSaveKeepsTheSessionAndIsSavedLater)
{
    system.desktop.setScreenRecordingPermission(false);
    OnFile onDisk(*this);
    platform::FileKeychain& file = onDisk.file;
    BackendClient& fileClient = onDisk.client;
    SessionLifecycle& onFile = onDisk.session;
    AuthKeychain& fileTokens = onDisk.tokens;
    const auto& first = onDisk.first;
    const auto inFile = [&onDisk] {
        return onDisk.inFile();
    };
    const auto held = [&onDisk] {
        return onDisk.held();
    };
    const auto failuresLogged = [] {
        return std::count_if(logged().cbegin(), logged().cend(), [](const auto& line) {
            return line.second.contains(QStringLiteral("refreshed session"));
        });
    };

    {
        const FailingDisk disk(FailingDisk::Step::Write);
        // At launch the access token has expired: the service rotates the pair, the disk is full.
        expireAccessToken();
        logged().clear();
        onFile.validateSavedSession();
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Session refreshed"));
        EXPECT_TRUE(state->isAuthenticated());
        EXPECT_EQ(inFile(), Pair(first.accessToken, first.refreshToken));
        ASSERT_FALSE(held().first.isEmpty());
        EXPECT_NE(held().second, first.refreshToken);
        EXPECT_EQ(failuresLogged(), 1);

        // Later in the run it expires again. The file's refresh token is used up: sent again, the
        // service would take it for a stolen one and end the session. The held pair is used, and
        // each attempt to save it is logged once.
        expireAccessToken();
        logged().clear();
        onFile.validateSession(fileTokens.read(kAccess).value_or(QString()));
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Session refreshed"));
        EXPECT_TRUE(state->isAuthenticated());
        EXPECT_EQ(services.activeSessionCount(), 1);
        EXPECT_GE(failuresLogged(), 1);

        // The backend call refreshes with the held pair as well.
        expireAccessToken();
        const Pair before = held();
        const auto token =
            await<AccessTokenResult>([&](auto done) { fileClient.validAccessToken(nullptr, done); });
        ASSERT_TRUE(std::holds_alternative<QString>(token));
        EXPECT_EQ(std::get<QString>(token), held().first);
        EXPECT_NE(held(), before);
        EXPECT_EQ(inFile(), Pair(first.accessToken, first.refreshToken));
    }

    // Once the disk has room, the next use saves the held pair, which the service still honours.
    const Pair latest = held();
    EXPECT_EQ(fileTokens.read(kAccess), latest.first);
    EXPECT_TRUE(file.unsavedItems().isEmpty());
    EXPECT_EQ(inFile(), latest);
    expireAccessToken();
    onFile.validateSavedSession();
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Session refreshed"));
    EXPECT_EQ(services.activeSessionCount(), 1);

    // Held when the application quits: saved then.
    {
        const FailingDisk disk(FailingDisk::Step::Rename);
        expireAccessToken();
        onFile.validateSavedSession();
        ASSERT_TRUE(drain());
    }
    ASSERT_FALSE(file.unsavedItems().isEmpty());
    const Pair atQuit = held();
    onFile.saveUnsavedSession();
    EXPECT_TRUE(file.unsavedItems().isEmpty());
    EXPECT_EQ(inFile(), atQuit);

    // Signing out drops a held pair with the stored one, and ends the session it belongs to.
    {
        const FailingDisk disk(FailingDisk::Step::Write);
        expireAccessToken();
        onFile.validateSavedSession();
        ASSERT_TRUE(drain());
        ASSERT_FALSE(file.unsavedItems().isEmpty());
    }
    onFile.signOut();
    ASSERT_TRUE(drain());
    EXPECT_TRUE(file.unsavedItems().isEmpty());
    EXPECT_EQ(fileTokens.read(kAccess), std::nullopt);
    EXPECT_EQ(services.activeSessionCount(), 0);
}

TEST_F(SessionLifecycleTest, AnAnswerCutWithoutAUsableLengthIsNoRefusalOfTheRefreshOrTheUserCheck)
{
    system.desktop.setScreenRecordingPermission(false);
    RawBackend backend;
    configure(backend.baseURL(), services.options().anonKey);
    const auto token = [&](double expiresIn) {
        QJsonObject claims = usableClaims(now(), backend.baseURL());
        claims.insert("exp", now() + expiresIn);
        return makeToken({{"alg", "HS256"}}, claims);
    };
    const QByteArray refreshed =
        QJsonDocument(QJsonObject{{"access_token", token(3600)}, {"refresh_token", "r-2"}})
            .toJson(QJsonDocument::Compact);
    const QByteArray user = R"({"id":"7b0c5e1e-8d1f-4a52-9c1e-0d6f3b7a2c11","aud":"authenticated"})";
    const auto cut = [](const QByteArray& body) {
        return body.left(body.size() / 2);
    };
    const auto length = [](const QByteArray& body, const char* after) {
        return QByteArray::number(body.size()) + after;
    };
    struct Case
    {
        const char* name;
        QString path;
        QByteArray answer;
        QString recovered;
    };
    const Case cases[] = {
        {"refresh, the body ending with the connection",
         "/auth/v1/token",
         rawAnswer(cut(refreshed), std::nullopt),
         "Session refreshed"},
        // HTTP allows a length given as a list of equal values.
        {"refresh, its length given twice",
         "/auth/v1/token",
         rawAnswer(cut(refreshed), length(refreshed, ", ") + QByteArray::number(refreshed.size())),
         "Session refreshed"},
        {"refresh, a length that is not a number",
         "/auth/v1/token",
         rawAnswer(cut(refreshed), length(refreshed, " x")),
         "Session refreshed"},
        {"user check, the body ending with the connection",
         "/auth/v1/user",
         rawAnswer(cut(user), std::nullopt),
         kSignedIn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool refresh = c.path == QLatin1String("/auth/v1/token");
        tokens.write(token(refresh ? -60 : 3600), kAccess);
        tokens.write("r-1", kRefresh);
        const auto before = std::pair(stored(kAccess), stored(kRefresh));
        backend.paths.clear();
        backend.answer(c.answer);
        session->validateSavedSession();
        ASSERT_TRUE(drain());
        // The service was not heard: the session stays, offline, with both tokens.
        EXPECT_EQ(state->authStatusMessage(), kOffline);
        EXPECT_TRUE(state->isAuthenticated());
        EXPECT_EQ(std::pair(stored(kAccess), stored(kRefresh)), before);
        // A cut user check is no reason to spend the refresh token.
        EXPECT_EQ(backend.paths, QStringList{c.path});

        // The next try is answered whole.
        backend.answer(rawAnswer(refresh ? refreshed : user, length(refresh ? refreshed : user, "")));
        system.scheduler.advance(state->offlineRetryDelay());
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), c.recovered);
        EXPECT_EQ(stored(kRefresh), refresh ? std::optional<QString>("r-2") : before.second);
        session->signOut();
        ASSERT_TRUE(drain());
    }
}

TEST_F(SessionLifecycleTest, ASignInTheFullDiskRefusesKeepsTheHeldSessionWhichTheTimerSavesOnceThereIsRoom)
{
    system.desktop.setScreenRecordingPermission(false);
    OnFile onDisk(*this);
    platform::FileKeychain& file = onDisk.file;
    SessionLifecycle& onFile = onDisk.session;
    // One line each, with the store's reason.
    const auto attemptsLogged = [] {
        EXPECT_TRUE(std::all_of(logged().cbegin(), logged().cend(), [](const auto& line) {
            return line.second.contains(QStringLiteral("still could not be saved"))
                   && line.second.contains(QStringLiteral("No space left"));
        }));
        return logged().size();
    };

    Pair held;
    {
        const FailingDisk disk(FailingDisk::Step::Write);
        // The saved session is being checked at launch when the user presses "Sign in"; the
        // refresh then succeeds, and the disk cannot take its pair.
        expireAccessToken();
        onFile.validateSavedSession();
        const QString code = signInCode(onFile);
        ASSERT_TRUE(drain());
        ASSERT_EQ(state->authStatusMessage(), QStringLiteral("Session refreshed"));
        held = onDisk.held();
        ASSERT_FALSE(held.second.isEmpty());
        EXPECT_EQ(onDisk.inFile(), Pair(onDisk.first.accessToken, onDisk.first.refreshToken));

        // The browser comes back: the new session cannot be saved either. The refreshed one,
        // which the service still honours, stays in force.
        onFile.exchangeHandoffCode(code);
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(),
                  QStringLiteral("Couldn't save your sign-in on this computer. Try again."));
        EXPECT_TRUE(state->isAuthenticated());
        EXPECT_TRUE(state->isVirtualDisplayRunning());
        EXPECT_EQ(onDisk.held(), held);
        EXPECT_EQ(onDisk.tokens.read(kAccess), held.first);
        EXPECT_EQ(services.activeSessionCount(), 1);

        // While the disk stays full, the timer tries again with a growing delay, one line each.
        logged().clear();
        system.scheduler.advance(SessionLifecycle::firstUnsavedSaveDelay);
        EXPECT_EQ(attemptsLogged(), 1);
        system.scheduler.advance(2 * SessionLifecycle::firstUnsavedSaveDelay - 0.5);
        EXPECT_EQ(attemptsLogged(), 1);
        system.scheduler.advance(0.5);
        EXPECT_EQ(attemptsLogged(), 2);
    }

    // Room again: with nobody using the tokens, the timer saves the held pair soon after.
    system.scheduler.advance(4 * SessionLifecycle::firstUnsavedSaveDelay);
    EXPECT_EQ(onDisk.inFile(), held);
    EXPECT_TRUE(file.unsavedItems().isEmpty());

    // So a launch after a crash continues the session that was in force.
    file.unsavedItems().clear();
    SessionLifecycle relaunched(*state, onDisk.client, *analytics, onDisk.withFile);
    expireAccessToken();
    relaunched.validateSavedSession();
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Session refreshed"));
    EXPECT_EQ(services.activeSessionCount(), 1);
}

TEST_F(SessionLifecycleTest, SigningOutOnAFullDiskLeavesNoTokenBehindOrSaysSoAndTriesAgain)
{
    system.desktop.setScreenRecordingPermission(false);
    OnFile onDisk(*this);
    const auto storeSession = [&] {
        const auto pair = services.createSession(LocalServices::defaultAccount());
        EXPECT_TRUE(onDisk.tokens.writeReportingSuccess(pair.accessToken, kAccess));
        EXPECT_TRUE(onDisk.tokens.writeReportingSuccess(pair.refreshToken, kRefresh));
        onDisk.session.applySignedIn(kSignedIn);
        return Pair(pair.accessToken, pair.refreshToken);
    };
    // Deleting one token rewrites the store, which needs room; removing it whole does not.
    onDisk.session.applySignedIn(kSignedIn);
    for (const bool signOut : {true, false}) {
        {
            const FailingDisk disk(FailingDisk::Step::Write);
            signOut ? onDisk.session.signOut() : onDisk.session.expireSavedSession();
            EXPECT_EQ(state->authStatusMessage(),
                      signOut ? QStringLiteral("Signed out")
                              : QStringLiteral("Saved session expired. Sign in required"));
            EXPECT_FALSE(QFileInfo::exists(onDisk.file.filePath()));
        }
        storeSession();
    }

    // With an item of another program's in it, the store can lose the tokens only by being
    // rewritten. Nobody is told "signed out" while they remain; the removal is tried again, one
    // log line each time, until there is room.
    ASSERT_EQ(onDisk.file.add({QStringLiteral("another.program"), QStringLiteral("key"), "kept", {}}),
              platform::errSecSuccess);
    const Pair stored = onDisk.inFile();
    const QString couldNotRemove =
        QStringLiteral("Couldn't remove your sign-in from this computer. Trying again...");
    const auto attempts = [] {
        return std::count_if(logged().cbegin(), logged().cend(), [](const auto& line) {
            return line.second.contains(QStringLiteral("session could not be removed"));
        });
    };
    {
        const FailingDisk disk(FailingDisk::Step::Write);
        logged().clear();
        onDisk.session.signOut();
        EXPECT_EQ(state->authStatusMessage(), couldNotRemove);
        EXPECT_FALSE(state->isAuthenticated() || state->isVirtualDisplayRunning());
        EXPECT_EQ(onDisk.inFile(), stored);
        // At once, 5 s later, then 10 s after that.
        system.scheduler.advance(3 * SessionLifecycle::firstUnsavedSaveDelay - 0.5);
        EXPECT_EQ(attempts(), 2);
        system.scheduler.advance(0.5);
        EXPECT_EQ(attempts(), 3);
        EXPECT_TRUE(onDisk.session.isRemovingEndedSession());
    }
    system.scheduler.advance(4 * SessionLifecycle::firstUnsavedSaveDelay);
    EXPECT_EQ(onDisk.inFile(), Pair());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed out"));
    EXPECT_FALSE(onDisk.session.isRemovingEndedSession());
    EXPECT_EQ(onDisk.file.copyMatching({QStringLiteral("another.program"), QStringLiteral("key")}, nullptr),
              platform::errSecSuccess);
}

TEST_F(SessionLifecycleTest, ARefreshedPairHeldUnderAFullDiskIsSavedOnTheTimerWhicheverRefreshGotIt)
{
    system.desktop.setScreenRecordingPermission(false);
    OnFile onDisk(*this);
    for (const bool backendCall : {false, true}) {
        SCOPED_TRACE(backendCall ? "the backend call's refresh" : "the session's refresh");
        Pair held;
        {
            const FailingDisk disk(FailingDisk::Step::Write);
            expireAccessToken();
            if (backendCall) {
                const auto token = await<AccessTokenResult>(
                    [&](auto done) { onDisk.client.validAccessToken(nullptr, done); });
                ASSERT_TRUE(std::holds_alternative<QString>(token));
            } else {
                onDisk.session.validateSavedSession();
                ASSERT_TRUE(drain());
                ASSERT_EQ(state->authStatusMessage(), QStringLiteral("Session refreshed"));
            }
            held = onDisk.held();
            ASSERT_FALSE(held.second.isEmpty());
            ASSERT_NE(onDisk.inFile(), held);
        }
        // Nobody uses the tokens meanwhile: the session's own timer saves the pair once there is
        // room, so that a crash then does not cost the session.
        system.scheduler.advance(SessionLifecycle::firstUnsavedSaveDelay);
        EXPECT_EQ(onDisk.inFile(), held);
        EXPECT_TRUE(onDisk.file.unsavedItems().isEmpty());
    }
}

TEST_F(SessionLifecycleTest, SigningOutOnAFullDiskEndsTheRefreshedPairHeldInMemoryToo)
{
    system.desktop.setScreenRecordingPermission(false);
    OnFile onDisk(*this);
    {
        const FailingDisk disk(FailingDisk::Step::Write);
        expireAccessToken();
        onDisk.session.validateSavedSession();
        ASSERT_TRUE(drain());
        ASSERT_EQ(state->authStatusMessage(), QStringLiteral("Session refreshed"));
        ASSERT_FALSE(onDisk.held().second.isEmpty());
        // Removing the store whole needs no room: the user is signed out at once.
        onDisk.session.signOut();
        ASSERT_TRUE(drain());
        EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Signed out"));
    }
    // Room again, and the held pair's save comes due: nothing of the ended session is written back.
    system.scheduler.advance(2 * SessionLifecycle::longestUnsavedSaveDelay);
    EXPECT_EQ(onDisk.held(), Pair());
    EXPECT_EQ(onDisk.inFile(), Pair());

    // So the next launch, over the same file, has no session to resume.
    platform::FileKeychain relaunchedFile(onDisk.file.directory());
    const platform::Services relaunchedServices = OnFile::withKeychain(system.services(), &relaunchedFile);
    BackendClient relaunchedClient(relaunchedServices);
    SessionLifecycle relaunched(*state, relaunchedClient, *analytics, relaunchedServices);
    relaunched.validateSavedSession();
    ASSERT_TRUE(drain());
    EXPECT_EQ(state->authStatusMessage(), QStringLiteral("Sign in required"));
    EXPECT_FALSE(state->isAuthenticated());
}

TEST_F(SessionLifecycleTest, ARemovalLeftPendingBySignOutSparesALaterSignInAndIsDoneAtQuit)
{
    system.desktop.setScreenRecordingPermission(false);
    OnFile onDisk(*this);
    onDisk.session.applySignedIn(kSignedIn);
    // With an item of another program's beside them, the tokens go only by rewriting the store.
    const platform::KeychainQuery another{QStringLiteral("another.program"), QStringLiteral("key")};
    ASSERT_EQ(onDisk.file.add({another.service, another.account, "kept", {}}), platform::errSecSuccess);
    const auto signOutOnAFullDisk = [&] {
        const FailingDisk disk(FailingDisk::Step::Write);
        onDisk.session.signOut();
        ASSERT_TRUE(drain());
        ASSERT_TRUE(onDisk.session.isRemovingEndedSession());
        ASSERT_NE(onDisk.inFile(), Pair());
    };

    // Room again, and the user signs in before the removal is retried. The tokens now stored are
    // not those of the session that ended: no retry may remove them.
    signOutOnAFullDisk();
    onDisk.session.exchangeHandoffCode(signInCode(onDisk.session));
    ASSERT_TRUE(drain());
    ASSERT_EQ(state->authStatusMessage(), kSignedIn);
    const Pair signedIn = onDisk.inFile();
    ASSERT_FALSE(signedIn.first.isEmpty());
    system.scheduler.advance(4 * SessionLifecycle::longestUnsavedSaveDelay);
    EXPECT_EQ(onDisk.inFile(), signedIn);
    EXPECT_EQ(onDisk.tokens.read(kAccess), signedIn.first);
    EXPECT_TRUE(state->isAuthenticated());
    EXPECT_EQ(state->authStatusMessage(), kSignedIn);
    EXPECT_FALSE(onDisk.session.isRemovingEndedSession());

    // Signed out again on a full disk; with room again, the application quits before the next
    // retry: the tokens do not outlive it.
    signOutOnAFullDisk();
    // What QCoreApplication::exec() sends as it returns; the test's own event loop goes on.
    ASSERT_TRUE(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
    EXPECT_EQ(onDisk.inFile(), Pair());
    EXPECT_FALSE(onDisk.session.isRemovingEndedSession());
    EXPECT_EQ(onDisk.file.copyMatching(another, nullptr), platform::errSecSuccess);
}
