#include "shell/UpdaterManager.h"

#include "platform/Bundle.h"
#include "shell/AppDelegate.h"

UpdaterManager::UpdaterManager(const platform::Bundle& bundle, QObject* parent)
    : QObject(parent)
    , m_bundle(bundle)
{}

QString UpdaterManager::versionString() const
{
    const QString shortVersion = m_bundle.stringForInfoDictionaryKey(platform::kBundleShortVersionStringKey)
                                     .value_or(QStringLiteral("1.0.0"));
    const QString build =
        m_bundle.stringForInfoDictionaryKey(platform::kBundleVersionKey).value_or(QStringLiteral("1"));
    return QStringLiteral("v%1 (%2)").arg(shortVersion, build);
}

void UpdaterManager::checkForUpdates() const
{
    if (AppDelegate* delegate = AppDelegate::shared()) {
        delegate->checkForUpdates();
    }
}
