#include "account/TokenCheck.h"

#include "platform/BoundedRead.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>

#include <algorithm>

namespace {

// base64url without padding, as in tokens: letters, digits, "-" and "_", with at most the
// padding a standard encoder would add. Qt's decoder would skip anything else silently.
bool isStrictBase64URL(const QString& piece)
{
    qsizetype end = piece.size();
    while (end > 0 && piece[end - 1] == QLatin1Char('=')) {
        --end;
    }
    if (piece.size() - end > 2 || (end < piece.size() && piece.size() % 4 != 0)) {
        return false;
    }
    for (qsizetype i = 0; i < end; ++i) {
        const char16_t c = piece[i].unicode();
        const bool allowed = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')
                             || c == u'-' || c == u'_';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

} // namespace

bool isWellFormedToken(const QString& token)
{
    if (token.isEmpty() || token.size() > kLongestToken) {
        return false;
    }
    static const QString punctuation = QStringLiteral("-._~+/=");
    return std::all_of(token.cbegin(), token.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9')
               || punctuation.contains(c);
    });
}

std::optional<QJsonObject> decodeJWTSegment(const QString& token, int index)
{
    const QStringList pieces = token.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (pieces.size() != 3 || index < 0 || index > 2) {
        return std::nullopt;
    }
    QString piece = pieces[index];
    if (!isStrictBase64URL(piece)) {
        return std::nullopt;
    }
    piece.replace(QLatin1Char('-'), QLatin1Char('+')).replace(QLatin1Char('_'), QLatin1Char('/'));
    if (piece.size() % 4 != 0) {
        piece.append(QString(4 - piece.size() % 4, QLatin1Char('=')));
    }
    const auto decoded = QByteArray::fromBase64Encoding(
        piece.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return std::nullopt;
    }
    const auto document = platform::parseJson(*decoded);
    if (!document || !document->isObject()) {
        return std::nullopt;
    }
    return document->object();
}

bool isAccessTokenUsable(const QString& token,
                         double nowSeconds,
                         const std::optional<QString>& baseAddress,
                         double leewaySeconds)
{
    if (!isWellFormedToken(token)) {
        return false;
    }
    const auto header = decodeJWTSegment(token, 0);
    const auto payload = decodeJWTSegment(token, 1);
    if (!header || !payload) {
        return false;
    }

    const QJsonValue alg = header->value(QStringLiteral("alg"));
    if (alg.isString() && alg.toString().compare(QLatin1String("none"), Qt::CaseInsensitive) == 0) {
        return false;
    }

    const QJsonValue exp = payload->value(QStringLiteral("exp"));
    if (!exp.isDouble() || !(nowSeconds - leewaySeconds < exp.toDouble())) {
        return false;
    }

    const QJsonValue nbf = payload->value(QStringLiteral("nbf"));
    if (nbf.isDouble() && nbf.toDouble() > nowSeconds + leewaySeconds) {
        return false;
    }

    const QJsonValue iss = payload->value(QStringLiteral("iss"));
    if (iss.isString() && baseAddress && !iss.toString().startsWith(*baseAddress)) {
        return false;
    }

    const QString audience = QStringLiteral("authenticated");
    const QJsonValue aud = payload->value(QStringLiteral("aud"));
    const bool audienceMatches = (aud.isString() && aud.toString() == audience)
                                 || (aud.isArray() && aud.toArray().contains(QJsonValue(audience)));
    if (!audienceMatches) {
        return false;
    }

    const QJsonValue sub = payload->value(QStringLiteral("sub"));
    return sub.isString() && !sub.toString().isEmpty();
}

std::optional<QString> userID(const QString& token)
{
    const auto payload = decodeJWTSegment(token, 1);
    if (!payload) {
        return std::nullopt;
    }
    const QJsonValue sub = payload->value(QStringLiteral("sub"));
    if (!sub.isString()) {
        return std::nullopt;
    }
    return sub.toString();
}
