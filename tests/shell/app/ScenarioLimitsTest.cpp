// The real program started on a desktop scenario as large as the file may be, all of it one name
// or one title: the text is cut with one line on the log, and the program stays small. A display
// name of 100,000 characters once took 1.78 GB (a viewer window as wide as the name), and long
// titles were drawn as wide as their whole text at every scale.
#include "platform/sim/DemoDesktop.h"
#include "tests/support/ProgramRun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr double kMaxPeakMiB = 300;

// One display and one app with two windows, named and titled as given.
QByteArray scenario(const QString& displayName, const QString& title)
{
    // At scale 4 every title is drawn at four pixels a point.
    const QJsonObject display{{"name", displayName}, {"frame", QJsonArray{0, 0, 2048, 2048}}, {"scale", 4}};
    // Far wider than the display: only its first 2,048 points can show.
    const QJsonObject window{{"title", title}, {"frame", QJsonArray{0, 40, 100000, 600}}};
    const QJsonObject app{
        {"bundleID", "com.example.editor"}, {"name", "Editor"}, {"windows", QJsonArray{window, window}}};
    return QJsonDocument(QJsonObject{{"displays", QJsonArray{display}}, {"apps", QJsonArray{app}}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

TEST(ScenarioLimits, AFourMegabyteNameOrTitleIsCutWithOneMessageAndTheProgramStaysSmall)
{
    // As long as the file cap allows, with room for the rest of the scenario.
    const QString huge(static_cast<qsizetype>(platform::sim::kMaxScenarioBytes / 2 - 512), QLatin1Char('W'));
    const struct
    {
        const char* name;
        QByteArray file;
    } cases[] = {
        {"a display name", scenario(huge + huge, QStringLiteral("notes.txt"))},
        {"two window titles", scenario(QStringLiteral("Studio Display"), huge)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LE(c.file.size(), platform::sim::kMaxScenarioBytes);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("scenario.json")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.file) == c.file.size());
        file.close();
        QProcessEnvironment environment = testing_support::isolatedEnvironment(dir.path());
        environment.insert(QString::fromLatin1(platform::sim::kDesktopScenarioVariable), file.fileName());

        QProcess app;
        app.setProcessEnvironment(environment);
        app.start(QStringLiteral(VEILMOX_EXECUTABLE), {});
        ASSERT_TRUE(app.waitForStarted(10000));
        // Launched once the onboarding's first event is kept in the settings; then the viewer draws
        // the display with its name and the titles, and the program goes quiet.
        const bool launched = QTest::qWaitFor(
            [&] {
                return QFile::exists(
                    dir.filePath(QStringLiteral("XDG_CONFIG_HOME/veilmox/getveilmox.Veilmox.plist")));
            },
            20000);
        testing_support::Quiet quiet(app.processId());
        const bool settled = launched && QTest::qWaitFor(quiet, 20000);
        const double peak = testing_support::peakMiB(app.processId());
        const bool running = app.state() == QProcess::Running;
        app.kill();
        app.waitForFinished(10000);
        testing_support::awaitLinkRegistration(dir.path());
        const QString log = QString::fromUtf8(app.readAllStandardError());
        ASSERT_TRUE(launched) << log.toStdString();
        EXPECT_TRUE(running);
        EXPECT_TRUE(settled);
        EXPECT_LE(peak, kMaxPeakMiB);
        EXPECT_EQ(log.count(QStringLiteral("longer than 256 characters")), 1) << log.left(2000).toStdString();
    }
}
