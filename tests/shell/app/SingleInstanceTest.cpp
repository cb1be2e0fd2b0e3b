// A second launch of the real program with a callback URL, against a running instance.
#include "platform/URLHandoff.h"
#include "platform/sim/VirtualScheduler.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(SingleInstance, ASecondLaunchHandsItsURLToTheRunningInstanceAndExits)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    platform::sim::VirtualScheduler scheduler;
    platform::URLHandoff running(
        QStringLiteral("getveilmox.Veilmox"), {QStringLiteral("veilmox")}, scheduler, dir.path());
    ASSERT_EQ(running.start({}), platform::URLHandoff::Role::Primary);
    QSignalSpy spy(&running, &platform::URLHandoff::urlsReceived);

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Everything the program could touch stays inside the test's folder.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    environment.insert(QStringLiteral("HOME"), dir.path() + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.path() + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(environment);
    second.start(
        QStringLiteral(VEILMOX_EXECUTABLE),
        {QStringLiteral("veilmox://auth?code=abc_DEF-123"), QStringLiteral("https://elsewhere.example/")});
    ASSERT_TRUE(second.waitForStarted(10000));

    const bool received = spy.wait(20000);
    // It may have ended while the spy waited (waiting for an ended process reports failure).
    const bool finished = second.state() == QProcess::NotRunning || second.waitForFinished(20000);
    if (!finished) {
        second.kill();
        second.waitForFinished();
    }
    ASSERT_TRUE(received) << second.readAllStandardError().toStdString();
    ASSERT_TRUE(finished);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.front().at(0).value<QList<QUrl>>(),
              QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=abc_DEF-123"))});
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/data/applications")))
        << "only the running one registers";
}
