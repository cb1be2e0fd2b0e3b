#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The local check of an access token (a JSON Web Token) before it is used or sent: its claims
// only. The signature is not verified here; the backend verifies it on every request.

// Whether a token from a server or the keychain may be stored or sent at all: not empty, at most
// kLongestToken characters, and only the characters of a bearer token (letters, digits,
// "-._~+/" and "="), so that it can never break out of a request header.
bool isWellFormedToken(const QString& token);
inline constexpr qsizetype kLongestToken = 8 * 1024;

// One of the token's three base64url segments (0 header, 1 payload, 2 signature) as a JSON
// object; none when the token does not have exactly three non-empty segments, the segment is not
// strict base64url, or it is not a JSON object.
std::optional<QJsonObject> decodeJWTSegment(const QString& token, int index);

// Whether a well-formed token's claims allow its use at `nowSeconds` (seconds since 1970),
// checked in order: "alg" not "none", "exp" after now less the leeway, "nbf" (if any) not after
// now plus the leeway, "iss" (if any, and when a base address is given) beginning with the base
// address, "aud" "authenticated" (or an array holding it), and a non-empty "sub".
bool isAccessTokenUsable(const QString& token,
                         double nowSeconds,
                         const std::optional<QString>& baseAddress,
                         double leewaySeconds);

// The payload's "sub" when it is a string.
std::optional<QString> userID(const QString& token);
