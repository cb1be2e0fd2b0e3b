#include "account/TokenCheck.h"

#include "tests/account/AccountFixture.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using testing_support::makeToken;

namespace {

constexpr double kNow = 1'800'000'000;
const QString kBase = QStringLiteral("https://project.example.co");
const QJsonObject kHeader{{"alg", "HS256"}, {"typ", "JWT"}};

QJsonObject claims(std::initializer_list<std::pair<QString, QJsonValue>> changes)
{
    QJsonObject result = testing_support::usableClaims(kNow, kBase);
    for (const auto& [key, value] : changes) {
        if (value.isUndefined()) {
            result.remove(key);
        } else {
            result.insert(key, value);
        }
    }
    return result;
}

const QJsonValue kRemove = QJsonValue(QJsonValue::Undefined);

struct Case
{
    const char* name;
    QString token;
    bool usable;
    std::optional<QString> base = kBase;
};

} // namespace

TEST(TokenCheck, AppliesEveryClaimRule)
{
    const QString valid = makeToken(kHeader, claims({}));
    const QStringList parts = valid.split('.');
    // A token whose payload segment needs no padding, so one more character makes it 4k + 1 long.
    QString aligned;
    for (QString sub = "u"; aligned.isEmpty() || aligned.split('.')[1].size() % 4 != 0; sub += 'u') {
        aligned = makeToken(kHeader, claims({{"sub", sub}}));
    }
    const QStringList alignedParts = aligned.split('.');
    const std::vector<Case> cases = {
        {"a token with all claims", valid, true},
        {"two segments", parts[0] + '.' + parts[1], false},
        {"four segments", valid + ".c2ln", false},
        {"an empty signature", parts[0] + '.' + parts[1] + '.', false},
        {"two dots side by side", parts[0] + ".." + parts[1] + '.' + parts[2], true},
        {"alg none in capitals", makeToken({{"alg", "NONE"}}, claims({})), false},
        {"alg none", makeToken({{"alg", "none"}}, claims({})), false},
        {"no alg", makeToken({{"typ", "JWT"}}, claims({})), true},
        {"an alg that is not a string", makeToken({{"alg", 7}}, claims({})), true},
        {"exp 29 s ago", makeToken(kHeader, claims({{"exp", kNow - 29}})), true},
        {"exp 30 s ago", makeToken(kHeader, claims({{"exp", kNow - 30}})), false},
        {"no exp", makeToken(kHeader, claims({{"exp", kRemove}})), false},
        {"exp as text", makeToken(kHeader, claims({{"exp", "1900000000"}})), false},
        {"nbf 30 s ahead", makeToken(kHeader, claims({{"nbf", kNow + 30}})), true},
        {"nbf 31 s ahead", makeToken(kHeader, claims({{"nbf", kNow + 31}})), false},
        {"iss of another backend",
         makeToken(kHeader, claims({{"iss", "https://evil.example/auth/v1"}})),
         false},
        {"iss without a configured base",
         makeToken(kHeader, claims({{"iss", "https://evil.example/auth/v1"}})),
         true,
         std::nullopt},
        {"no iss", makeToken(kHeader, claims({{"iss", kRemove}})), true},
        {"aud array with another audience",
         makeToken(kHeader, claims({{"aud", QJsonArray{"other", "authenticated"}}})),
         true},
        {"aud array without it", makeToken(kHeader, claims({{"aud", QJsonArray{"other"}}})), false},
        {"aud anon", makeToken(kHeader, claims({{"aud", "anon"}})), false},
        {"no aud", makeToken(kHeader, claims({{"aud", kRemove}})), false},
        {"empty sub", makeToken(kHeader, claims({{"sub", ""}})), false},
        {"sub as a number", makeToken(kHeader, claims({{"sub", 42}})), false},
        {"no sub", makeToken(kHeader, claims({{"sub", kRemove}})), false},
        {"a payload that is an array", parts[0] + ".W10.c2ln", false},
        {"a payload of a multiple of 4", aligned, true},
        {"a payload one longer than a multiple of 4",
         alignedParts[0] + '.' + alignedParts[1] + "A." + alignedParts[2],
         false},
        // Qt's lenient decoder would skip these characters and read the rest.
        {"a payload with a space",
         parts[0] + '.' + parts[1].left(8) + ' ' + parts[1].mid(8) + '.' + parts[2],
         false},
        {"a payload with a plus sign",
         parts[0] + '.' + parts[1].left(8) + '+' + parts[1].mid(9) + '.' + parts[2],
         false},
        {"a header that is not base64", "!!!!." + parts[1] + '.' + parts[2], false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isAccessTokenUsable(c.token, kNow, c.base, 30), c.usable) << c.name;
    }
}

TEST(TokenCheck, DecodesSegmentsAndReadsTheUser)
{
    const QString token = makeToken(kHeader, claims({{"sub", "abc"}}));
    EXPECT_EQ(decodeJWTSegment(token, 0), kHeader);
    EXPECT_EQ(decodeJWTSegment(token, 1)->value("sub"), "abc");
    EXPECT_FALSE(decodeJWTSegment(token, 2)); // "sig" is not JSON
    EXPECT_FALSE(decodeJWTSegment(token, 3));
    EXPECT_FALSE(decodeJWTSegment(token, -1));
    // A segment with its standard padding still decodes.
    const QStringList parts = token.split('.');
    QString padded = parts[1];
    while (padded.size() % 4 != 0) {
        padded += '=';
    }
    EXPECT_EQ(decodeJWTSegment(parts[0] + '.' + padded + '.' + parts[2], 1)->value("sub"), "abc");

    EXPECT_EQ(userID(token), "abc");
    EXPECT_EQ(userID(makeToken(kHeader, claims({{"sub", 5}}))), std::nullopt);
    EXPECT_EQ(userID("not.a.token"), std::nullopt);
}
