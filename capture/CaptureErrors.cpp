#include "capture/CaptureErrors.h"

#include <QStringList>

#include <algorithm>

bool isScreenRecordingPermissionFailure(const QString& description)
{
    static const QStringList kWords{QStringLiteral("declined"),
                                    QStringLiteral("TCC"),
                                    QStringLiteral("denied"),
                                    QStringLiteral("permission")};
    return std::any_of(kWords.cbegin(), kWords.cend(), [&description](const QString& word) {
        return description.contains(word, Qt::CaseInsensitive);
    });
}
