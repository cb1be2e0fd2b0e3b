#include "account/AuthKeychain.h"

#include "platform/Services.h"
#include "platform/UserDefaults.h"

#include <QStringDecoder>

namespace {
const QString kLegacyAccessTokenKey = QStringLiteral("desktopAuthToken");
const QString kLegacyRefreshTokenKey = QStringLiteral("desktopAuthRefreshToken");
} // namespace

QString AuthKeychain::why(platform::OSStatus status) const
{
    const QString reason = m_keychain != nullptr ? m_keychain->failureReason() : QString();
    return reason.isEmpty() ? QStringLiteral("status %1").arg(status)
                            : QStringLiteral("status %1: %2").arg(status).arg(reason);
}

AuthKeychain::AuthKeychain(const platform::Services& services)
    : m_keychain(services.keychain)
    , m_defaults(services.defaults)
{}

AuthKeychain::AuthKeychain()
    : AuthKeychain(platform::Services::current())
{}

platform::KeychainQuery AuthKeychain::query(const QString& account)
{
    return {service, account};
}

std::optional<QString> AuthKeychain::read(const QString& account) const
{
    if (m_keychain == nullptr) {
        return std::nullopt;
    }
    // Newer than what the store holds: the store's refresh token has been used up.
    if (holdsUnsavedPair() && !AuthKeychain(*this).saveUnsavedPair()) {
        for (const platform::KeychainItem& item : std::as_const(m_keychain->unsavedItems())) {
            if (item.account == account) {
                return QString::fromUtf8(item.data);
            }
        }
        return std::nullopt;
    }
    platform::KeychainItem item;
    const platform::OSStatus status = m_keychain->copyMatching(query(account), &item);
    if (status != platform::errSecSuccess) {
        if (status != platform::errSecItemNotFound) {
            qWarning(
                "Keychain: the %s item could not be read (%s)", qPrintable(account), qPrintable(why(status)));
        }
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(item.data);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

platform::OSStatus AuthKeychain::writeReportingStatus(const QString& value, const QString& account)
{
    dropUnsavedPair();
    const platform::OSStatus status = writeQuietly(value, account);
    if (status != platform::errSecSuccess) {
        qWarning(
            "Keychain: the %s item could not be saved (%s)", qPrintable(account), qPrintable(why(status)));
    }
    return status;
}

platform::OSStatus AuthKeychain::writeQuietly(const QString& value, const QString& account)
{
    if (m_keychain == nullptr) {
        return platform::errSecParam;
    }
    const QByteArray bytes = value.toUtf8();
    platform::OSStatus status = m_keychain->update(query(account), bytes);
    if (status == platform::errSecItemNotFound) {
        platform::KeychainItem item;
        item.service = service;
        item.account = account;
        item.data = bytes;
        item.accessible = platform::KeychainAccessibility::AfterFirstUnlockThisDeviceOnly;
        status = m_keychain->add(item);
    }
    return status;
}

platform::OSStatus AuthKeychain::writePairQuietly(const QString& accessToken, const QString& refreshToken)
{
    const platform::OSStatus status = writeQuietly(refreshToken, refreshTokenAccount);
    return status != platform::errSecSuccess ? status : writeQuietly(accessToken, accessTokenAccount);
}

bool AuthKeychain::writeRefreshedPair(const QString& accessToken, const QString& refreshToken)
{
    if (m_keychain == nullptr) {
        return false;
    }
    dropUnsavedPair();
    const platform::OSStatus status = writePairQuietly(accessToken, refreshToken);
    if (status == platform::errSecSuccess) {
        return true;
    }
    holdUnsavedPair(accessToken, refreshToken);
    qWarning("Keychain: the refreshed session could not be saved (%s); it is kept in memory and saved "
             "as soon as the store takes it",
             qPrintable(why(status)));
    return false;
}

void AuthKeychain::holdUnsavedPair(const QString& accessToken, const QString& refreshToken)
{
    if (m_keychain == nullptr) {
        return;
    }
    platform::KeychainItem access;
    access.service = service;
    access.account = accessTokenAccount;
    access.data = accessToken.toUtf8();
    platform::KeychainItem refresh = access;
    refresh.account = refreshTokenAccount;
    refresh.data = refreshToken.toUtf8();
    m_keychain->unsavedItems() = {access, refresh};
}

bool AuthKeychain::holdsUnsavedPair() const
{
    return m_keychain != nullptr && !m_keychain->unsavedItems().isEmpty();
}

bool AuthKeychain::saveUnsavedPair()
{
    if (!holdsUnsavedPair()) {
        return true;
    }
    const QList<platform::KeychainItem> pair = m_keychain->unsavedItems();
    QString accessToken;
    QString refreshToken;
    for (const platform::KeychainItem& item : pair) {
        (item.account == accessTokenAccount ? accessToken : refreshToken) = QString::fromUtf8(item.data);
    }
    const platform::OSStatus status = writePairQuietly(accessToken, refreshToken);
    if (status != platform::errSecSuccess) {
        qWarning("Keychain: the refreshed session still could not be saved (%s); it stays in memory",
                 qPrintable(why(status)));
        return false;
    }
    dropUnsavedPair();
    qInfo("Keychain: the refreshed session held in memory is saved");
    return true;
}

void AuthKeychain::dropUnsavedPair()
{
    if (m_keychain != nullptr) {
        m_keychain->unsavedItems().clear();
    }
}

void AuthKeychain::write(const QString& value, const QString& account)
{
    writeReportingStatus(value, account);
}

bool AuthKeychain::writeReportingSuccess(const QString& value, const QString& account)
{
    return writeReportingStatus(value, account) == platform::errSecSuccess;
}

void AuthKeychain::deleteItem(const QString& account)
{
    if (m_keychain == nullptr) {
        return;
    }
    dropUnsavedPair();
    const platform::OSStatus status = m_keychain->deleteItem(query(account));
    if (status != platform::errSecSuccess && status != platform::errSecItemNotFound) {
        qWarning(
            "Keychain: the %s item could not be deleted (%s)", qPrintable(account), qPrintable(why(status)));
    }
}

bool AuthKeychain::deleteSession()
{
    if (m_keychain == nullptr) {
        return true;
    }
    dropUnsavedPair();
    const QList<platform::KeychainQuery> both{query(accessTokenAccount), query(refreshTokenAccount)};
    const platform::OSStatus status = m_keychain->deleteItems(both);
    QString failure;
    if (status != platform::errSecSuccess && status != platform::errSecItemNotFound) {
        failure = why(status);
    }
    // What is at stake is a session someone could resume: the store's word is checked.
    for (qsizetype i = 0; i < both.size() && failure.isEmpty(); ++i) {
        const platform::OSStatus left = m_keychain->copyMatching(both[i], nullptr);
        if (left == platform::errSecSuccess) {
            failure = QStringLiteral("the %1 item is still there").arg(both[i].account);
        } else if (left != platform::errSecItemNotFound) {
            failure = why(left);
        }
    }
    if (!failure.isEmpty()) {
        qWarning("Keychain: the session could not be removed (%s)", qPrintable(failure));
        return false;
    }
    return true;
}

void AuthKeychain::discardLeftovers()
{
    if (m_keychain != nullptr) {
        m_keychain->discardLeftovers();
    }
}

void AuthKeychain::migrateLegacyDefaults()
{
    if (m_defaults == nullptr) {
        return;
    }
    const auto legacyAccessToken = m_defaults->stringForKey(kLegacyAccessTokenKey);
    if (!legacyAccessToken) {
        return;
    }
    const bool keychainHoldsAccessToken =
        m_keychain != nullptr
        && m_keychain->copyMatching(query(accessTokenAccount), nullptr) == platform::errSecSuccess;
    if (!keychainHoldsAccessToken) {
        // The old copies are removed only once the keychain has the tokens: a store that cannot
        // be written now (say, an unreadable file) must not cost the user the saved session.
        if (writeReportingStatus(*legacyAccessToken, accessTokenAccount) != platform::errSecSuccess) {
            qWarning("Keychain: the saved session could not be moved into the keychain; will try again");
            return;
        }
        if (const auto legacyRefreshToken = m_defaults->stringForKey(kLegacyRefreshTokenKey)) {
            if (writeReportingStatus(*legacyRefreshToken, refreshTokenAccount) != platform::errSecSuccess) {
                // Without this the next launch would find an access token and drop the refresh token.
                deleteItem(accessTokenAccount);
                qWarning("Keychain: the saved session could not be moved into the keychain; will try again");
                return;
            }
        }
    }
    m_defaults->removeObject(kLegacyAccessTokenKey);
    m_defaults->removeObject(kLegacyRefreshTokenKey);
}
