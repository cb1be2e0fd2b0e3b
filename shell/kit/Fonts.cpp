#include "shell/kit/Fonts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QSet>

namespace kit {

QStringList fontFilesToRegister(const QStringList& folders)
{
    QStringList files;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        // Exact, case-sensitive tests: the name filters of QDir would ignore case.
        const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo& entry : entries) {
            if (entry.suffix() == QLatin1String("ttf")
                && entry.fileName().startsWith(QLatin1String("Geist"))) {
                files.append(entry.filePath());
            }
        }
    }
    return files;
}

namespace {
// Fonts already registered, by a digest of their contents: the same file reached by two paths
// (or copied into both resource folders) is registered once.
QSet<QByteArray>& registeredDigests()
{
    static QSet<QByteArray> digests;
    return digests;
}
} // namespace

QStringList registerFontFiles(const QStringList& files)
{
    QStringList registered;
    for (const QString& file : files) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray data = f.readAll();
        const QByteArray digest = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
        if (data.isEmpty() || registeredDigests().contains(digest)) {
            continue;
        }
        if (QFontDatabase::addApplicationFontFromData(data) < 0) {
            continue;
        }
        registeredDigests().insert(digest);
        registered.append(file);
    }
    return registered;
}

QStringList appFontFolders()
{
    return {QStringLiteral(":/"), QStringLiteral(":/Fonts")};
}

void registerAppFonts()
{
    registerFontFiles(fontFilesToRegister(appFontFolders()));
}

} // namespace kit
