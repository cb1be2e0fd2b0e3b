#include "onboarding/HideCategory.h"

std::optional<HideCategory> HideCategory::fromRawValue(const QString& rawValue)
{
    for (const HideCategory category : allCases()) {
        if (category.rawValue() == rawValue) {
            return category;
        }
    }
    return std::nullopt;
}

QString HideCategory::rawValue() const
{
    switch (m_value) {
    case WorkChat:
        return QStringLiteral("Work Chat");
    case Finance:
        return QStringLiteral("Banking & Finance");
    case Files:
        return QStringLiteral("Desktop & Files");
    case Personal:
        return QStringLiteral("Personal Messages");
    }
    return {};
}

const QStringList& HideCategory::suggestedBundleIDs() const
{
    static const QStringList kWorkChat = {
        QStringLiteral("com.tinyspeck.slackmacgap"),
        QStringLiteral("com.microsoft.teams"),
        QStringLiteral("com.microsoft.teams2"),
        QStringLiteral("com.hnc.Discord"),
    };
    static const QStringList kFinance = {
        QStringLiteral("com.microsoft.Excel"),
        QStringLiteral("com.apple.Numbers"),
        QStringLiteral("com.quickbooks.Desktop"),
    };
    static const QStringList kFiles = {QStringLiteral("com.apple.finder")};
    static const QStringList kPersonal = {
        QStringLiteral("com.apple.MobileSMS"),
        QStringLiteral("com.telegramx.macos"),
        QStringLiteral("com.whatsapp.mac"),
        QStringLiteral("org.whispersystems.signal-desktop"),
    };
    switch (m_value) {
    case WorkChat:
        return kWorkChat;
    case Finance:
        return kFinance;
    case Files:
        return kFiles;
    case Personal:
        break;
    }
    return kPersonal;
}

QList<HideCategory> HideCategory::categories(const QStringList& names)
{
    QList<HideCategory> result;
    for (const QString& name : names) {
        if (const auto category = fromRawValue(name)) {
            result.append(*category);
        }
    }
    return result;
}

QSet<QString> HideCategory::bundleIDs(const QStringList& names, const QSet<QString>& among)
{
    QSet<QString> result;
    for (const HideCategory category : categories(names)) {
        for (const QString& bundleID : category.suggestedBundleIDs()) {
            if (among.contains(bundleID)) {
                result.insert(bundleID);
            }
        }
    }
    return result;
}
