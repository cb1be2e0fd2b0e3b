#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace platform {

// The application's bundle settings (its Info.plist): identifier, versions and the service
// addresses it was built with.
class Bundle
{
public:
    Bundle() = default;
    explicit Bundle(QVariantMap infoDictionary)
        : m_info(std::move(infoDictionary))
    {}

    // Reads a property-list file (also a Qt resource path such as ":/Info.plist"); an empty
    // bundle when it cannot be read.
    static Bundle fromInfoPlist(const QString& path);

    QVariant objectForInfoDictionaryKey(const QString& key) const { return m_info.value(key); }
    // The string under the key; none when absent or not a string.
    std::optional<QString> stringForInfoDictionaryKey(const QString& key) const;
    std::optional<QString> bundleIdentifier() const;
    QVariantMap infoDictionary() const { return m_info; }
    // The same settings with the one under `key` replaced by the environment variable `variable`
    // where that is set: how development and the tests point the app at stand-ins of their own.
    Bundle overriddenFromEnvironment(const QString& key, const char* variable) const;

    // The running application's bundle.
    static const Bundle& main();
    static void setMain(const Bundle& bundle);

private:
    QVariantMap m_info;
};

inline const QString kBundleIdentifierKey = QStringLiteral("CFBundleIdentifier");
inline const QString kBundleShortVersionStringKey = QStringLiteral("CFBundleShortVersionString");
inline const QString kBundleVersionKey = QStringLiteral("CFBundleVersion");

} // namespace platform
