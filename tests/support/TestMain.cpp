#include <QApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

QtMessageHandler previousHandler = nullptr;

// A warning that something was not painted: a painter that could not begin, or one used after
// that, is a view missing from the picture, so the test that caused it fails.
bool isPaintingFault(const QString& message)
{
    static const QLatin1String signs[] = {
        QLatin1String("QPainter"),
        QLatin1String("QPaintDevice"),
        QLatin1String("Painter not active"),
        QLatin1String("Painter must be active"),
        QLatin1String("paint device"),
        QLatin1String("QWidget::repaint"),
        QLatin1String("QWidget::render"),
        QLatin1String("QWidget::paintEngine"),
    };
    return std::any_of(std::begin(signs), std::end(signs), [&message](QLatin1String sign) {
        return message.contains(sign);
    });
}

void failOnPaintingFaults(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && isPaintingFault(message)) {
        ADD_FAILURE() << "Qt painting warning: " << message.toStdString();
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    }
}

} // namespace

// Every suite runs inside a QApplication on the offscreen platform.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Text is rasterised afresh each time it is drawn. Qt's FreeType glyph cache can give the same
    // glyphs slightly different edges depending on what the process drew before, and the tests
    // compare pictures kept across changes with pictures drawn anew, pixel for pixel, in any order.
    qputenv("QT_NO_FT_CACHE", "1");
    previousHandler = qInstallMessageHandler(failOnPaintingFaults);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
