#include "devservices/LocalServices.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace devservices {
namespace {

QByteArray base64URL(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(QRandomGenerator::system()->bounded(256));
    }
    return bytes;
}

QString randomToken(int bytes)
{
    return QString::fromLatin1(base64URL(randomBytes(bytes)));
}

QString newID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

HttpResponse jsonAnswer(int status, const QJsonObject& object)
{
    return HttpResponse::json(status, compact(object));
}

HttpResponse error(int status, const QString& code, const QString& message)
{
    return jsonAnswer(status,
                      {{QStringLiteral("error"), code}, {QStringLiteral("error_description"), message}});
}

std::optional<QJsonObject> jsonObject(const QByteArray& body)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

std::optional<QJsonObject> decodeSegment(const QByteArray& segment)
{
    const auto decoded = QByteArray::fromBase64Encoding(
        segment, QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return std::nullopt;
    }
    return jsonObject(*decoded);
}

// 43 to 128 characters of letters, digits, "-", ".", "_" and "~", as verifiers and challenges are.
bool isVerifierText(const QString& text)
{
    return text.size() >= 43 && text.size() <= 128 && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
               const char16_t u = c.unicode();
               return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9')
                      || u == u'-' || u == u'.' || u == u'_' || u == u'~';
           });
}

bool isInteger(const QJsonValue& value)
{
    return value.isDouble() && std::isfinite(value.toDouble())
           && std::floor(value.toDouble()) == value.toDouble();
}

} // namespace

LocalServices::LocalServices(QObject* parent)
    : LocalServices(Options{}, parent)
{}

LocalServices::LocalServices(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
    , m_signInAccount(defaultAccount())
    , m_backend([this](const HttpRequest& request) { return handleBackend(request); })
    , m_account([this](const HttpRequest& request) { return handleAccount(request); })
{
    if (m_options.signingSecret.isEmpty()) {
        m_options.signingSecret = randomBytes(32);
    }
}

LocalServices::~LocalServices() = default;

LocalServices::Account LocalServices::defaultAccount()
{
    return {QStringLiteral("7b0c5e1e-8d1f-4a52-9c1e-0d6f3b7a2c11"), QStringLiteral("you@veilmox.local")};
}

bool LocalServices::start(quint16 backendPort, quint16 accountPort)
{
    return m_backend.listen(QHostAddress::LocalHost, backendPort)
           && m_account.listen(QHostAddress::LocalHost, accountPort);
}

void LocalServices::script(const QString& pathPrefix, const Reply& reply)
{
    m_scripted.emplaceBack(pathPrefix, reply);
}

std::optional<Reply> LocalServices::scripted(const HttpRequest& request)
{
    for (qsizetype i = 0; i < m_scripted.size(); ++i) {
        if (request.path.startsWith(m_scripted[i].first)) {
            return m_scripted.takeAt(i).second;
        }
    }
    return std::nullopt;
}

int LocalServices::requestCount(const QString& path) const
{
    return static_cast<int>(std::count_if(
        m_requests.begin(), m_requests.end(), [&](const HttpRequest& r) { return r.path == path; }));
}

bool LocalServices::isSessionActive(const QString& sessionID) const
{
    const auto it = m_sessions.constFind(sessionID);
    return it != m_sessions.constEnd() && it->active;
}

int LocalServices::activeSessionCount() const
{
    return static_cast<int>(
        std::count_if(m_sessions.begin(), m_sessions.end(), [](const Session& s) { return s.active; }));
}

void LocalServices::record(const HttpRequest& request)
{
    // A stand-in left running for days keeps only the recent past.
    constexpr qsizetype kKeptRequests = 10000;
    if (m_requests.size() >= kKeptRequests) {
        m_requests.removeFirst();
    }
    m_requests.append(request);
}

// Tokens.

QString LocalServices::signToken(const QJsonObject& claims) const
{
    const QByteArray header = base64URL(compact(
        {{QStringLiteral("alg"), QStringLiteral("HS256")}, {QStringLiteral("typ"), QStringLiteral("JWT")}}));
    const QByteArray payload = base64URL(compact(claims));
    const QByteArray signingInput = header + '.' + payload;
    const QByteArray signature =
        QMessageAuthenticationCode::hash(signingInput, m_options.signingSecret, QCryptographicHash::Sha256);
    return QString::fromLatin1(signingInput + '.' + base64URL(signature));
}

std::optional<LocalServices::Claims> LocalServices::verifyToken(const QString& token) const
{
    const QList<QByteArray> parts = token.toLatin1().split('.');
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty() || parts[2].isEmpty()) {
        return std::nullopt;
    }
    const QByteArray expected = base64URL(QMessageAuthenticationCode::hash(
        parts[0] + '.' + parts[1], m_options.signingSecret, QCryptographicHash::Sha256));
    const auto header = decodeSegment(parts[0]);
    const auto payload = decodeSegment(parts[1]);
    if (parts[2] != expected || !header || !payload
        || header->value(QStringLiteral("alg")).toString() != QLatin1String("HS256")) {
        return std::nullopt;
    }
    const double nowSeconds = static_cast<double>(now().toSecsSinceEpoch());
    const QJsonValue exp = payload->value(QStringLiteral("exp"));
    const QJsonValue nbf = payload->value(QStringLiteral("nbf"));
    const QJsonValue aud = payload->value(QStringLiteral("aud"));
    const QJsonValue iss = payload->value(QStringLiteral("iss"));
    const QString sub = payload->value(QStringLiteral("sub")).toString();
    const QString sessionID = payload->value(QStringLiteral("session_id")).toString();
    const bool audienceOk =
        aud.toString() == QLatin1String("authenticated")
        || (aud.isArray() && aud.toArray().contains(QJsonValue(QStringLiteral("authenticated"))));
    if (!exp.isDouble() || exp.toDouble() <= nowSeconds
        || (!nbf.isUndefined() && (!nbf.isDouble() || nbf.toDouble() > nowSeconds)) || !audienceOk
        || sub.isEmpty() || !iss.toString().startsWith(m_backend.baseURL().toString())
        || !isSessionActive(sessionID) || m_sessions.value(sessionID).account.id != sub) {
        return std::nullopt;
    }
    return Claims{sub, sessionID};
}

std::optional<LocalServices::Claims> LocalServices::verify(const HttpRequest& request) const
{
    const QByteArray authorization = request.header("Authorization");
    if (!authorization.startsWith("Bearer ")) {
        return std::nullopt;
    }
    return verifyToken(QString::fromLatin1(authorization.mid(7)));
}

LocalServices::TokenPair LocalServices::issueTokens(const QString& sessionID)
{
    Session& session = m_sessions[sessionID];
    const qint64 issuedAt = now().toSecsSinceEpoch();
    TokenPair pair;
    pair.refreshToken = randomToken(24);
    pair.accessToken = signToken({
        {QStringLiteral("aud"), QStringLiteral("authenticated")},
        {QStringLiteral("exp"), static_cast<double>(issuedAt) + m_options.accessTokenLifetime},
        {QStringLiteral("iat"), static_cast<double>(issuedAt)},
        {QStringLiteral("iss"), m_backend.baseURL().toString() + QStringLiteral("/auth/v1")},
        {QStringLiteral("sub"), session.account.id},
        {QStringLiteral("email"), session.account.email},
        {QStringLiteral("role"), QStringLiteral("authenticated")},
        {QStringLiteral("session_id"), sessionID},
        // Every token is distinct, even two issued within the same second.
        {QStringLiteral("jti"), newID()},
    });
    session.currentRefreshToken = pair.refreshToken;
    m_refreshTokens.insert(pair.refreshToken, sessionID);
    return pair;
}

LocalServices::TokenPair LocalServices::createSession(const Account& account)
{
    const QString sessionID = newID();
    Session session;
    session.account = account;
    m_sessions.insert(sessionID, session);
    return issueTokens(sessionID);
}

void LocalServices::endSession(const QString& sessionID)
{
    if (m_sessions.contains(sessionID)) {
        m_sessions[sessionID].active = false;
    }
}

QJsonObject LocalServices::tokenAnswer(const TokenPair& pair, const Account& account) const
{
    return {
        {QStringLiteral("access_token"), pair.accessToken},
        {QStringLiteral("token_type"), QStringLiteral("bearer")},
        {QStringLiteral("expires_in"), m_options.accessTokenLifetime},
        {QStringLiteral("refresh_token"), pair.refreshToken},
        {QStringLiteral("user"),
         QJsonObject{{QStringLiteral("id"), account.id},
                     {QStringLiteral("aud"), QStringLiteral("authenticated")},
                     {QStringLiteral("email"), account.email}}},
    };
}

QString LocalServices::issueCode(const Account& account, const QString& codeChallenge)
{
    // 48 random bytes: 64 characters of letters, digits, "-" and "_".
    const QString code = randomToken(48);
    m_codes.insert(code, Code{account, now(), codeChallenge, false});
    return code;
}

QString LocalServices::codeChallenge(const QString& codeVerifier)
{
    return QString::fromLatin1(
        base64URL(QCryptographicHash::hash(codeVerifier.toLatin1(), QCryptographicHash::Sha256)));
}

// Backend.

Reply LocalServices::handleBackend(const HttpRequest& request)
{
    record(request);
    if (auto reply = scripted(request)) {
        return *reply;
    }
    if (request.header("apikey") != m_options.anonKey.toUtf8()) {
        return jsonAnswer(401, {{QStringLiteral("message"), QStringLiteral("Invalid API key")}});
    }
    if (request.path == QLatin1String("/auth/v1/user")) {
        return request.method == "GET" ? user(request) : HttpResponse::empty(405);
    }
    if (request.path == QLatin1String("/auth/v1/token")) {
        return request.method == "POST" ? refresh(request) : HttpResponse::empty(405);
    }
    if (request.path == QLatin1String("/auth/v1/logout")) {
        return request.method == "POST" ? logout(request) : HttpResponse::empty(405);
    }
    const QString rpcPrefix = QStringLiteral("/rest/v1/rpc/");
    if (request.path.startsWith(rpcPrefix)) {
        if (request.method != "POST") {
            return HttpResponse::empty(405);
        }
        const auto claims = verify(request);
        if (!claims) {
            return jsonAnswer(401,
                              {{QStringLiteral("code"), QStringLiteral("PGRST301")},
                               {QStringLiteral("message"), QStringLiteral("JWT invalid or expired")}});
        }
        const auto body = jsonObject(request.body);
        if (!body) {
            return jsonAnswer(400,
                              {{QStringLiteral("code"), QStringLiteral("PGRST102")},
                               {QStringLiteral("message"), QStringLiteral("Invalid body")}});
        }
        const QString name = request.path.mid(rpcPrefix.size());
        if (name == QLatin1String("start_or_resume_onboarding")) {
            return startOrResumeOnboarding(*claims, *body);
        }
        if (name == QLatin1String("record_onboarding_event")) {
            return recordOnboardingEvent(*claims, *body);
        }
        return jsonAnswer(404,
                          {{QStringLiteral("code"), QStringLiteral("PGRST202")},
                           {QStringLiteral("message"), QStringLiteral("Could not find the function")}});
    }
    return HttpResponse::empty(404);
}

HttpResponse LocalServices::user(const HttpRequest& request)
{
    const auto claims = verify(request);
    if (!claims) {
        return error(401, QStringLiteral("bad_jwt"), QStringLiteral("invalid JWT"));
    }
    const Account account = m_sessions.value(claims->sessionID).account;
    return jsonAnswer(200,
                      {{QStringLiteral("id"), account.id},
                       {QStringLiteral("aud"), QStringLiteral("authenticated")},
                       {QStringLiteral("role"), QStringLiteral("authenticated")},
                       {QStringLiteral("email"), account.email}});
}

HttpResponse LocalServices::refresh(const HttpRequest& request)
{
    if (request.query.queryItemValue(QStringLiteral("grant_type")) != QLatin1String("refresh_token")) {
        return error(400, QStringLiteral("unsupported_grant_type"), QStringLiteral("Unsupported grant type"));
    }
    const auto body = jsonObject(request.body);
    const QJsonValue token = body ? body->value(QStringLiteral("refresh_token")) : QJsonValue();
    if (!token.isString()) {
        return error(400, QStringLiteral("invalid_request"), QStringLiteral("refresh_token required"));
    }
    const QString sessionID = m_refreshTokens.value(token.toString());
    if (sessionID.isEmpty()) {
        return error(400,
                     QStringLiteral("invalid_grant"),
                     QStringLiteral("Invalid Refresh Token: Refresh Token Not Found"));
    }
    if (!isSessionActive(sessionID)) {
        return error(
            400, QStringLiteral("invalid_grant"), QStringLiteral("Invalid Refresh Token: Session Expired"));
    }
    if (m_sessions.value(sessionID).currentRefreshToken != token.toString()) {
        // A refresh token presented twice may have been stolen: the whole session ends.
        endSession(sessionID);
        return error(
            400, QStringLiteral("invalid_grant"), QStringLiteral("Invalid Refresh Token: Already Used"));
    }
    const TokenPair pair = issueTokens(sessionID);
    return jsonAnswer(200, tokenAnswer(pair, m_sessions.value(sessionID).account));
}

HttpResponse LocalServices::logout(const HttpRequest& request)
{
    const auto claims = verify(request);
    if (!claims) {
        return error(401, QStringLiteral("bad_jwt"), QStringLiteral("invalid JWT"));
    }
    const QString scope = request.query.queryItemValue(QStringLiteral("scope"));
    if (scope.isEmpty() || scope == QLatin1String("global") || scope == QLatin1String("others")) {
        for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it) {
            if (it->account.id == claims->sub
                && (scope != QLatin1String("others") || it.key() != claims->sessionID)) {
                it->active = false;
            }
        }
    } else if (scope == QLatin1String("local")) {
        endSession(claims->sessionID);
    } else {
        return error(400, QStringLiteral("validation_failed"), QStringLiteral("Unknown scope"));
    }
    return HttpResponse::empty(204);
}

HttpResponse LocalServices::startOrResumeOnboarding(const Claims& claims, const QJsonObject& body)
{
    if (!isInteger(body.value(QStringLiteral("requested_flow_version")))
        || !body.value(QStringLiteral("client_version")).isString()) {
        return jsonAnswer(400, {{QStringLiteral("message"), QStringLiteral("invalid parameters")}});
    }
    bool resumed = true;
    QString sessionID = m_onboardingSessions.value(claims.sub);
    if (sessionID.isEmpty()) {
        resumed = false;
        sessionID = newID();
        m_onboardingSessions.insert(claims.sub, sessionID);
        m_onboardingOwners.insert(sessionID, claims.sub);
    }
    return jsonAnswer(200, {{QStringLiteral("session_id"), sessionID}, {QStringLiteral("resumed"), resumed}});
}

HttpResponse LocalServices::recordOnboardingEvent(const Claims& claims, const QJsonObject& body)
{
    const QJsonValue step = body.value(QStringLiteral("p_step"));
    const bool valid = !body.value(QStringLiteral("p_event_id")).toString().isEmpty()
                       && body.value(QStringLiteral("p_onboarding_session_id")).isString()
                       && !body.value(QStringLiteral("p_event_type")).toString().isEmpty()
                       && (step.isNull() || isInteger(step))
                       && body.value(QStringLiteral("p_client_version")).isString()
                       && body.value(QStringLiteral("p_metadata")).isObject();
    if (!valid) {
        return jsonAnswer(400, {{QStringLiteral("message"), QStringLiteral("invalid parameters")}});
    }
    if (m_onboardingOwners.value(body.value(QStringLiteral("p_onboarding_session_id")).toString())
        != claims.sub) {
        return jsonAnswer(403, {{QStringLiteral("message"), QStringLiteral("onboarding session not found")}});
    }
    // Events are identified by their id, so a resent one is recorded once.
    const QString eventID = body.value(QStringLiteral("p_event_id")).toString();
    if (!m_eventIDs.contains(eventID)) {
        m_eventIDs.insert(eventID);
        m_events.append(body);
    }
    return HttpResponse::empty(204);
}

// Account web service.

Reply LocalServices::handleAccount(const HttpRequest& request)
{
    record(request);
    if (auto reply = scripted(request)) {
        return *reply;
    }
    if (request.path == QLatin1String("/desktop/connect")) {
        return request.method == "GET" ? connectPage(request) : HttpResponse::empty(405);
    }
    if (request.path == QLatin1String("/api/auth/desktop-handoff/exchange")) {
        return request.method == "POST" ? exchange(request) : HttpResponse::empty(405);
    }
    return HttpResponse::empty(404);
}

HttpResponse LocalServices::connectPage(const HttpRequest& request)
{
    const QString challenge = request.query.queryItemValue(QStringLiteral("code_challenge"));
    if (request.query.queryItemValue(QStringLiteral("code_challenge_method")) != QLatin1String("S256")
        || !isVerifierText(challenge)) {
        HttpResponse refusal = HttpResponse::empty(400);
        refusal.headers.emplaceBack("Content-Type", "text/html; charset=utf-8");
        refusal.body = "<!doctype html><title>Veilmox</title><p>This sign-in link is incomplete. Start the "
                       "sign-in from the Veilmox app.</p>";
        return refusal;
    }
    // The local stand-in signs its one account in at once and hands the browser back to the app.
    const QByteArray callback = "veilmox://auth?code=" + issueCode(m_signInAccount, challenge).toLatin1();
    HttpResponse response;
    response.status = 302;
    response.headers.emplaceBack("Location", callback);
    response.headers.emplaceBack("Content-Type", "text/html; charset=utf-8");
    response.headers.emplaceBack("Cache-Control", "no-store");
    response.body = "<!doctype html><title>Veilmox</title><p>Signed in. <a href=\"" + callback
                    + "\">Return to Veilmox</a></p>";
    return response;
}

HttpResponse LocalServices::exchange(const HttpRequest& request)
{
    const auto body = jsonObject(request.body);
    const QJsonValue codeValue = body ? body->value(QStringLiteral("code")) : QJsonValue();
    if (!codeValue.isString()) {
        return error(400, QStringLiteral("invalid_request"), QStringLiteral("code required"));
    }
    const auto it = m_codes.find(codeValue.toString());
    if (it == m_codes.end()) {
        return error(400, QStringLiteral("invalid_code"), QStringLiteral("Unknown code"));
    }
    if (static_cast<double>(it->issuedAt.secsTo(now())) >= m_options.codeLifetime) {
        m_codes.erase(it);
        return error(410, QStringLiteral("code_expired"), QStringLiteral("The sign-in link expired"));
    }
    if (it->used) {
        return error(400, QStringLiteral("invalid_code"), QStringLiteral("Code already used"));
    }
    // Whoever else holds the code lacks the verifier; a wrong one does not use the code up, so
    // the app that asked for it can still redeem it.
    const QJsonValue verifier = body->value(QStringLiteral("code_verifier"));
    if (!verifier.isString() || !isVerifierText(verifier.toString())
        || codeChallenge(verifier.toString()) != it->challenge) {
        return error(400, QStringLiteral("invalid_grant"), QStringLiteral("code_verifier does not match"));
    }
    it->used = true;
    const TokenPair pair = createSession(it->account);
    return jsonAnswer(200,
                      {{QStringLiteral("access_token"), pair.accessToken},
                       {QStringLiteral("refresh_token"), pair.refreshToken}});
}

} // namespace devservices
