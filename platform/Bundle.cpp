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
