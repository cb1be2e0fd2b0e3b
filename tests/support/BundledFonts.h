#pragma once

#include "shell/kit/Fonts.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <stdexcept>

namespace testing_support {

// What is wrong when the Geist faces the interface is drawn with are not among the files found in
// these folders (a plain clone has none until the set-up script fetches them); empty when all are.
inline QString missingBundledFonts(const QStringList& folders = kit::appFontFolders())
{
    static const QStringList kFaces{QStringLiteral("Geist-Regular"),
                                    QStringLiteral("Geist-Medium"),
                                    QStringLiteral("Geist-SemiBold"),
                                    QStringLiteral("GeistMono-Regular"),
                                    QStringLiteral("GeistMono-Medium")};
    const QStringList files = kit::fontFilesToRegister(folders);
    QStringList missing;
    for (const QString& face : kFaces) {
        const QString name = QLatin1Char('/') + face + QStringLiteral(".ttf");
        if (!std::any_of(
                files.cbegin(), files.cend(), [&name](const QString& f) { return f.endsWith(name); })) {
            missing.append(face);
        }
    }
    if (missing.isEmpty()) {
        return {};
    }
    return QStringLiteral("The bundled fonts are missing (%1 in resources/Fonts): run scripts/setup.sh, "
                          "which fetches them, then build again. Text widths and pictures depend on them.")
        .arg(missing.join(QStringLiteral(", ")));
}

// Registers the application's fonts for a test that measures or paints text; stops the test with
// the reason when they are not in the build.
inline void registerBundledFonts()
{
    if (const QString missing = missingBundledFonts(); !missing.isEmpty()) {
        throw std::runtime_error(missing.toStdString());
    }
    kit::registerAppFonts();
}

} // namespace testing_support
