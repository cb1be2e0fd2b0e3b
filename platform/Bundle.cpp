#include "platform/Bundle.h"

#include "platform/PropertyList.h"
#include "platform/Values.h"

#include <QFile>

namespace platform {

Bundle Bundle::fromInfoPlist(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return Bundle(plist::readDictionary(file.readAll()).value_or(QVariantMap{}));
}

std::optional<QString> Bundle::stringForInfoDictionaryKey(const QString& key) const
{
    return stringValue(m_info.value(key));
}

Bundle Bundle::overriddenFromEnvironment(const QString& key, const char* variable) const
{
    const QString value = qEnvironmentVariable(variable);
    if (value.isEmpty()) {
        return *this;
    }
    QVariantMap info = m_info;
    info.insert(key, value);
    return Bundle(info);
}

std::optional<QString> Bundle::bundleIdentifier() const
{
    return stringForInfoDictionaryKey(kBundleIdentifierKey);
}

namespace {
Bundle& mainBundle()
{
    static Bundle bundle = Bundle::fromInfoPlist(QStringLiteral(":/Info.plist"));
    return bundle;
}
} // namespace

const Bundle& Bundle::main()
{
    return mainBundle();
}

void Bundle::setMain(const Bundle& bundle)
{
    mainBundle() = bundle;
}

} // namespace platform
