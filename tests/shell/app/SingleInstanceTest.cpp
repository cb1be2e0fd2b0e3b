// A launch of the real program with a callback URL in its command line, as launchers that do not
// use the session bus start it, one ended by a signal as it starts, and two at the same moment.
// (A second launch handing its URL over is walked by the account's end-to-end sign-in.)
#include "devservices/LocalServices.h"
#include "tests/support/PrivateSessionBus.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A file of the program's private folder in the cache folder (made without a runtime folder, one
// per host name); empty while there is none.
QString inCachedRuntimeFolder(const QString& cache, const QString& name)
{
    const QDir folders(cache + QStringLiteral("/veilmox"), QStringLiteral("runtime-*"));
    const QStringList found = folders.entryList(QDir::Dirs);
    return found.isEmpty() ? QString() : folders.filePath(found.first() + QLatin1Char('/') + name);
}

} // namespace

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
    testing_support::awaitLinkRegistration(dir.path());
    ASSERT_TRUE(listening) << first.readAllStandardError().toStdString();
    ASSERT_TRUE(readable);
    EXPECT_TRUE(shown.startsWith(QFile::encodeName(QStringLiteral(VEILMOX_EXECUTABLE))))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains(code)) << shown.toStdString();
}

TEST(SingleInstance, ASignalInItsFirstMomentsEndsItThroughItsNormalPathLeavingNoFolderBehind)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // No runtime folder: Qt makes one of its own in the temporary folder, which the program
    // makes first, before its application object exists.
    QProcessEnvironment environment = testing_support::isolatedEnvironment(dir.path());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    const QString temporary = environment.value(QStringLiteral("TMPDIR"));
    const QByteArray qtRuntime =
        QFile::encodeName(temporary + QStringLiteral("/runtime-") + QFile::decodeName(user->pw_name));
    QProcess app;
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(QStringLiteral(VEILMOX_EXECUTABLE), {});
    ASSERT_TRUE(app.waitForStarted(10000));
    // Terminated the moment the folder is there, as a session that ends at once would.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    struct stat info
    {};
    while (::stat(qtRuntime.constData(), &info) != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(testing_support::terminate(app)) << "it ended before the signal";
    ASSERT_TRUE(app.waitForFinished(30000));
    testing_support::awaitLinkRegistration(dir.path());
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(qtRuntime)));
    EXPECT_EQ(QDir(temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

TEST(SingleInstance, ALaterLaunchHandsItsLinkOverWhereTheSocketPathIsLongerThanAnAddressHolds)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // No runtime folder and a cache folder deep enough (a long home and host name, say) that the
    // socket path beside the lock passes the 107 bytes an address holds.
    QProcessEnvironment environment = testing_support::isolatedEnvironment(dir.path());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const QString cache = dir.filePath(QStringLiteral("XDG_CACHE_HOME/") + QString(80, QLatin1Char('c')));
    ASSERT_TRUE(QDir().mkpath(cache));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(QStringLiteral(VEILMOX_EXECUTABLE), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    QString socket;
    const bool listening = QTest::qWaitFor(
        [&] {
            socket = inCachedRuntimeFolder(cache, QStringLiteral("getveilmox.Veilmox.urls"));
            return !socket.isEmpty() && QFileInfo::exists(socket);
        },
        20000);

    QProcess later;
    later.setProcessEnvironment(environment);
    later.start(QStringLiteral(VEILMOX_EXECUTABLE),
                {QStringLiteral("veilmox://auth?code=through_a_deep_folder")});
    const bool laterEnded = later.waitForFinished(20000);
    const bool firstRuns = testing_support::terminate(first);
    first.waitForFinished(30000);
    testing_support::awaitLinkRegistration(dir.path());
    const QString log = QString::fromLocal8Bit(first.readAllStandardError());
    ASSERT_TRUE(listening) << log.toStdString();
    EXPECT_GT(QFile::encodeName(socket).size(), 107);
    ASSERT_TRUE(laterEnded);
    EXPECT_EQ(later.exitCode(), 0) << later.readAllStandardError().toStdString();
    EXPECT_TRUE(firstRuns);
    // Said once, and the socket's file goes with the instance.
    EXPECT_EQ(log.count(QStringLiteral("longer than a socket address holds")), 1) << log.toStdString();
    EXPECT_FALSE(QFileInfo::exists(socket));
}

// Two launches with links at the same moment (a browser opening two links): the first is slowed
// between making its lock file and locking it, as on a busy machine, and the second starts in that
// moment. Slowed past the three seconds a launch keeps knocking on the socket of a lock that is
// taken, and within the five it waits for a lock that is being taken. One instance runs and takes both links; the other hands its link
// over and ends with status 0.
TEST(SingleInstance, TwoLaunchesAtOnceLeaveOneInstanceWithBothLinksWhenTheFirstIsSlowToLock)
{
    devservices::LocalServices services;
    ASSERT_TRUE(services.start());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // No runtime folder: the lock is in the cache folder.
    QProcessEnvironment environment = testing_support::isolatedEnvironment(dir.path());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("VEILMOX_SUPABASE_URL"), services.backendURL().toString());
    environment.insert(QStringLiteral("VEILMOX_ACCOUNT_SERVICE_URL"), services.accountURL().toString());
    QProcessEnvironment slowed = environment;
    slowed.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VEILMOX_SLOW_FIRST_LOCK));
    slowed.insert(QStringLiteral("VEILMOX_TEST_LOCK_DELAY"), QStringLiteral("4.5"));
    const QString cache = environment.value(QStringLiteral("XDG_CACHE_HOME"));
    const auto lockFile = [&cache] {
        return inCachedRuntimeFolder(cache, QStringLiteral("getveilmox.Veilmox.lock"));
    };
    const QString firstCode(40, QLatin1Char('f'));
    const QString secondCode(40, QLatin1Char('s'));

    QProcess first;
    first.setProcessEnvironment(slowed);
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(QStringLiteral(VEILMOX_EXECUTABLE), {QStringLiteral("veilmox://auth?code=") + firstCode});
    ASSERT_TRUE(first.waitForStarted(10000));
    // The lock file is there, empty and not locked yet.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(lockFile()); }, 20000));
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(QStringLiteral(VEILMOX_EXECUTABLE), {QStringLiteral("veilmox://auth?code=") + secondCode});
    const bool secondEnded = QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 20000);
    // Each link the running instance took, it trades with the account service.
    const QString exchange = QStringLiteral("/api/auth/desktop-handoff/exchange");
    EXPECT_TRUE(QTest::qWaitFor([&] { return services.requestCount(exchange) >= 2; }, 30000));
    QStringList traded;
    for (const auto& request : services.requests()) {
        if (request.path == exchange) {
            traded << QJsonDocument::fromJson(request.body).object().value(QStringLiteral("code")).toString();
        }
    }
    const bool firstRuns = testing_support::terminate(first);
    if (!secondEnded) {
        testing_support::terminate(second);
        second.waitForFinished(30000);
    }
    first.waitForFinished(30000);
    testing_support::awaitLinkRegistration(dir.path());
    EXPECT_TRUE(firstRuns);
    ASSERT_TRUE(secondEnded) << "a second instance runs beside the first";
    EXPECT_EQ(std::pair(second.exitStatus(), second.exitCode()), std::pair(QProcess::NormalExit, 0));
    traded.sort();
    EXPECT_EQ(traded, (QStringList{firstCode, secondCode}));
}
