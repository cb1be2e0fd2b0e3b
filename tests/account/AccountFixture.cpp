#include "tests/account/AccountFixture.h"

#include <QJsonDocument>

namespace testing_support {
namespace {
QString segment(const QJsonObject& object)
{
    return QString::fromLatin1(QJsonDocument(object)
                                   .toJson(QJsonDocument::Compact)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}
} // namespace

QString makeToken(const QJsonObject& header, const QJsonObject& payload, const QString& signature)
{
    return segment(header) + '.' + segment(payload) + '.' + signature;
}

QJsonObject usableClaims(double now, const QString& base)
{
    return {{"exp", now + 3600}, {"aud", "authenticated"}, {"sub", "user-1"}, {"iss", base + "/auth/v1"}};
}

AccountTest::AccountTest()
{
    EXPECT_TRUE(services.start());
    services.setClock([this] { return system.scheduler.currentDate(); });
    configure(services.backendURL().toString(), services.options().anonKey);
    client = std::make_unique<BackendClient>(system.services());
}

double AccountTest::now() const
{
    return static_cast<double>(system.scheduler.currentDate().toMSecsSinceEpoch()) / 1000.0;
}

void AccountTest::configure(const std::optional<QString>& supabaseURL, const std::optional<QString>& anonKey)
{
    QVariantMap info = system.bundle.infoDictionary();
    info.remove("SUPABASE_URL");
    info.remove("SUPABASE_ANON_KEY");
    if (supabaseURL) {
        info.insert("SUPABASE_URL", *supabaseURL);
    }
    if (anonKey) {
        info.insert("SUPABASE_ANON_KEY", *anonKey);
    }
    info.insert("ACCOUNT_SERVICE_URL", services.accountURL().toString());
    system.bundle = platform::Bundle(info);
}

devservices::LocalServices::TokenPair AccountTest::signIn()
{
    const auto pair = services.createSession(devservices::LocalServices::defaultAccount());
    tokens.write(pair.accessToken, AuthKeychain::accessTokenAccount);
    tokens.write(pair.refreshToken, AuthKeychain::refreshTokenAccount);
    return pair;
}

void AccountTest::expireAccessToken()
{
    system.scheduler.advance(services.options().accessTokenLifetime + 60);
}

} // namespace testing_support
