// A launch of the real program with a callback URL in its command line, as launchers that do not
// use the session bus start it. (A second launch handing its URL over is walked by the account's
// end-to-end sign-in.)
#include "tests/support/PrivateSessionBus.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

TEST(SingleInstance, AFirstLaunchTakesTheLinkOutOfItsCommandLineBeforeItRuns)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray code = "only_for_this_run_" + QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    QProcess first;
    first.setProcessEnvironment(testing_support::isolatedEnvironment(dir.path()));
    first.start(QStringLiteral(VEILMOX_EXECUTABLE),
                {QStringLiteral("veilmox://auth?code=") + QString::fromLatin1(code)});
    ASSERT_TRUE(first.waitForStarted(10000));
    // Once it listens for later launches it runs as the one instance.
    const bool listening = QTest::qWaitFor(
        [&] {
            return QFile::exists(dir.filePath(QStringLiteral("XDG_RUNTIME_DIR/getveilmox.Veilmox.urls")));
        },
        20000);
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(first.processId()));
    const bool readable = commandLine.open(QIODevice::ReadOnly);
    const QByteArray shown = commandLine.readAll();
    first.kill();
    first.waitForFinished(10000);
    ASSERT_TRUE(listening) << first.readAllStandardError().toStdString();
    ASSERT_TRUE(readable);
    EXPECT_TRUE(shown.startsWith(QFile::encodeName(QStringLiteral(VEILMOX_EXECUTABLE))))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains(code)) << shown.toStdString();
}
