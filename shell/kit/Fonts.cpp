#include "shell/kit/Fonts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>

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
// Fonts registered so far, by a digest of their contents (the same file reached by two paths,
// or copied into both resource folders, is registered once), with their database ids.
QHash<QByteArray, int>& registered()
{
    static QHash<QByteArray, int> fonts;
    return fonts;
}
} // namespace

QStringList registerFontFiles(const QStringList& files)
{
    QStringList added;
    for (const QString& file : files) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray data = f.readAll();
        const QByteArray digest = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
        if (data.isEmpty() || registered().contains(digest)) {
            continue;
        }
        const int id = QFontDatabase::addApplicationFontFromData(data);
        if (id < 0) {
            continue;
        }
        registered().insert(digest, id);
        added.append(file);
    }
    return added;
}

void forgetRegisteredFonts()
{
    for (const int id : std::as_const(registered())) {
        QFontDatabase::removeApplicationFont(id);
    }
    registered().clear();
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
