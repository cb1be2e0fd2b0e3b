#include "tests/fuzz/FuzzSupport.h"

#include <QApplication>

#include <cstdio>

namespace fuzzing {

void startApplication(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Refusals are logged as warnings on nearly every input; only findings are worth a line.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qUtf8Printable(message));
        }
    });
    static QApplication application(*argc, *argv);
}

} // namespace fuzzing
