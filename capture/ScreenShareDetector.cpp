#include "capture/ScreenShareDetector.h"

#include "platform/Values.h"

#include <QSet>
#include <QStringList>

namespace {

struct Rule
{
    QSet<QString> bundleIDs;
    QStringList titleFragments; // lower case
};

const QSet<QString>& browserBundleIDs()
{
    static const QSet<QString> kBrowsers{
        QStringLiteral("com.google.Chrome"),
        QStringLiteral("com.google.Chrome.beta"),
        QStringLiteral("com.google.Chrome.canary"),
        QStringLiteral("com.microsoft.edgemac"),
        QStringLiteral("com.brave.Browser"),
        QStringLiteral("company.thebrowser.Browser"),
        QStringLiteral("com.vivaldi.Vivaldi"),
        QStringLiteral("com.operasoftware.Opera"),
        QStringLiteral("org.chromium.Chromium"),
    };
    return kBrowsers;
}

const QList<Rule>& rules()
{
    static const QList<Rule> kRules{
        {{QStringLiteral("us.zoom.xos")},
         {QStringLiteral("share toolbar"), QStringLiteral("share statusbar")}},
        {browserBundleIDs(),
         {QStringLiteral("is sharing your screen"),
          QStringLiteral("is sharing a window"),
          QStringLiteral("is sharing your entire screen")}},
        {{QStringLiteral("com.microsoft.teams2"), QStringLiteral("com.microsoft.teams")},
         {QStringLiteral("sharing indicator"),
          QStringLiteral("sharing control bar"),
          QStringLiteral("sharing toolbar")}},
    };
    return kRules;
}

} // namespace

std::optional<ScreenShareDetector::Source>
ScreenShareDetector::detect(const QList<platform::WindowDescription>& windowInfos,
                            const QHash<platform::pid_type, QString>& bundleIDsByPID,
                            const platform::Workspace* workspace)
{
    for (const auto& window : windowInfos) {
        const auto pid = platform::int32Value(window.value(platform::kCGWindowOwnerPID));
        if (!pid) {
            continue;
        }
        const auto bundle = bundleIDsByPID.constFind(*pid);
        if (bundle == bundleIDsByPID.cend()) {
            continue;
        }
        const auto title = platform::stringValue(window.value(platform::kCGWindowName));
        if (!title) {
            continue;
        }
        // Full Unicode lower-casing, independent of the locale.
        const QString lowered = title->toLower();
        if (lowered.isEmpty()) {
            continue;
        }
        const Rule* rule = nullptr;
        for (const Rule& candidate : rules()) {
            if (candidate.bundleIDs.contains(bundle.value())) {
                rule = &candidate;
                break;
            }
        }
        if (rule == nullptr) {
            continue;
        }
        const bool matches = std::any_of(rule->titleFragments.cbegin(),
                                         rule->titleFragments.cend(),
                                         [&](const QString& f) { return lowered.contains(f); });
        if (!matches) {
            continue;
        }
        std::optional<QString> name = platform::stringValue(window.value(platform::kCGWindowOwnerName));
        if (!name && workspace != nullptr) {
            if (const auto app = workspace->runningApplication(*pid)) {
                name = app->localizedName();
            }
        }
        return Source{bundle.value(), name.value_or(bundle.value())};
    }
    return std::nullopt;
}
