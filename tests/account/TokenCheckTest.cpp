#include "account/TokenCheck.h"

#include "tests/account/AccountFixture.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

constexpr double kNow = 1'800'000'000;
const QString kBase = QStringLiteral("https://project.example.co");
const QJsonObject kHeader{{"alg", "HS256"}, {"typ", "JWT"}};
const QJsonValue kRemove = QJsonValue(QJsonValue::Undefined);

// A token of usable claims with these changed (kRemove drops one).
QString token(std::initializer_list<std::pair<QString, QJsonValue>> changes = {},
              const QJsonObject& header = kHeader)
{
    QJsonObject claims = testing_support::usableClaims(kNow, kBase);
    for (const auto& [key, value] : changes) {
        if (value.isUndefined()) {
            claims.remove(key);
        } else {
            claims.insert(key, value);
        }
    }
    return testing_support::makeToken(header, claims);
}

} // namespace

TEST(TokenCheck, AppliesEveryClaimRule)
{
    const QStringList parts = token().split('.');
    // A token whose payload segment needs no padding, so one more character makes it 4k + 1 long.
    QStringList aligned = parts;
    for (QString sub = "u"; aligned[1].size() % 4 != 0; sub += 'u') {
        aligned = token({{"sub", sub}}).split('.');
    }
    const QString evilIssuer = QStringLiteral("https://evil.example/auth/v1");
    struct Case
    {
        const char* name;
        QString token;
        bool usable;
        std::optional<QString> base = kBase;
    };
    const Case cases[] = {
        {"a token with all claims", token(), true},
        {"two segments", parts[0] + '.' + parts[1], false},
        {"four segments", token() + ".c2ln", false},
        {"an empty signature", parts[0] + '.' + parts[1] + '.', false},
        {"two dots side by side", parts[0] + ".." + parts[1] + '.' + parts[2], true},
        {"alg none in capitals", token({}, {{"alg", "NONE"}}), false},
        {"alg none", token({}, {{"alg", "none"}}), false},
        {"no alg", token({}, {{"typ", "JWT"}}), true},
        {"an alg that is not a string", token({}, {{"alg", 7}}), true},
        {"exp 29 s ago", token({{"exp", kNow - 29}}), true},
        {"exp 30 s ago", token({{"exp", kNow - 30}}), false},
        {"no exp", token({{"exp", kRemove}}), false},
        {"exp as text", token({{"exp", "1900000000"}}), false},
        {"nbf 30 s ahead", token({{"nbf", kNow + 30}}), true},
        {"nbf 31 s ahead", token({{"nbf", kNow + 31}}), false},
        {"iss of another backend", token({{"iss", evilIssuer}}), false},
        {"iss without a configured base", token({{"iss", evilIssuer}}), true, std::nullopt},
        {"no iss", token({{"iss", kRemove}}), true},
        {"aud array with another audience", token({{"aud", QJsonArray{"other", "authenticated"}}}), true},
        {"aud array without it", token({{"aud", QJsonArray{"other"}}}), false},
        {"aud anon", token({{"aud", "anon"}}), false},
        {"no aud", token({{"aud", kRemove}}), false},
        {"empty sub", token({{"sub", ""}}), false},
        {"sub as a number", token({{"sub", 42}}), false},
        {"no sub", token({{"sub", kRemove}}), false},
        {"a payload that is an array", parts[0] + ".W10.c2ln", false},
        {"a payload of a multiple of 4", aligned.join('.'), true},
        {"a payload one longer than a multiple of 4",
         aligned[0] + '.' + aligned[1] + "A." + aligned[2],
         false},
        // Qt's lenient decoder would skip these characters and read the rest.
        {"a payload with a space",
         parts[0] + '.' + parts[1].left(8) + ' ' + parts[1].mid(8) + ".c2ln",
         false},
        {"a payload with a plus sign",
         parts[0] + '.' + parts[1].left(8) + '+' + parts[1].mid(9) + ".c2ln",
         false},
        {"a header that is not base64", "!!!!." + parts[1] + '.' + parts[2], false},
        // Whatever the claims, a token that cannot go into a header as it stands.
        {"a signature that adds a header line", token() + "\r\nX-Injected: yes", false},
        {"a token past the size cap", token({{"name", QString(kLongestToken, 'n')}}), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isAccessTokenUsable(c.token, kNow, c.base, 30), c.usable) << c.name;
    }
}

TEST(TokenCheck, DecodesSegmentsAndReadsTheUser)
{
    const QString abc = token({{"sub", "abc"}});
    EXPECT_EQ(decodeJWTSegment(abc, 0), kHeader);
    EXPECT_EQ(decodeJWTSegment(abc, 1)->value("sub"), "abc");
    for (const int beyond : {2, 3, -1}) { // the signature is not JSON
        EXPECT_FALSE(decodeJWTSegment(abc, beyond)) << beyond;
    }
    // A segment with its standard padding still decodes.
    QStringList parts = abc.split('.');
    while (parts[1].size() % 4 != 0) {
        parts[1] += '=';
    }
    EXPECT_EQ(decodeJWTSegment(parts.join('.'), 1)->value("sub"), "abc");

    EXPECT_EQ(userID(abc), "abc");
    EXPECT_EQ(userID(token({{"sub", 5}})), std::nullopt);
    EXPECT_EQ(userID("not.a.token"), std::nullopt);
}
