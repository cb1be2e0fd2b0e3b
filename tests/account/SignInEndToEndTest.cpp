// The browser sign-in on this platform, both ways a link reaches the app: over the session bus
// from a launcher that honours the desktop entry's DBusActivatable, and, without a bus, over the
// per-user socket from a later launch of the program that was given the link.
#include "account/TokenCheck.h"
#include "platform/DesktopEntry.h"
#include "platform/URLHandoff.h"
#include "tests/account/AccountFixture.h"
#include "tests/support/PrivateSessionBus.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <thread>
#include <unistd.h>

using namespace testing_support;
using SignInEndToEnd = SessionTest;

namespace {

// Reads every process's command line over and over on a thread of its own while it lives: what
// shows there, every local user can read.
class CommandLineWatcher
{
public:
    explicit CommandLineWatcher(QByteArray secret)
        : m_thread([this, secret] {
            // Plain system calls: a round must be quick to catch short-lived processes.
            char buffer[64 * 1024];
            while (!m_stopped) {
                DIR* proc = ::opendir("/proc");
                while (const dirent* entry = proc != nullptr ? ::readdir(proc) : nullptr) {
                    const int fd = ::open((QByteArray("/proc/") + entry->d_name + "/cmdline").constData(),
                                          O_RDONLY | O_CLOEXEC);
                    const ssize_t size = fd >= 0 ? ::read(fd, buffer, sizeof(buffer)) : 0;
                    const QByteArray line(buffer, static_cast<qsizetype>(std::max<ssize_t>(size, 0)));
                    if (fd >= 0) {
                        ::close(fd);
                    }
                    if (line.contains(secret)) {
                        const std::lock_guard lock(m_mutex);
                        m_sightings.emplace_back(std::atoll(entry->d_name),
                                                 QByteArray(line).replace('\0', ' '));
                    }
                }
                if (proc != nullptr) {
                    ::closedir(proc);
                }
            }
        })
    {}
    ~CommandLineWatcher() { stop(); }
    CommandLineWatcher(const CommandLineWatcher&) = delete;
    CommandLineWatcher& operator=(const CommandLineWatcher&) = delete;

    void stop()
    {
        m_stopped = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    // The processes whose command line showed the secret, with that command line.
    std::vector<std::pair<qint64, QByteArray>> sightings() const
    {
        const std::lock_guard lock(m_mutex);
        return m_sightings;
    }

private:
    std::atomic<bool> m_stopped = false;
    mutable std::mutex m_mutex;
    std::vector<std::pair<qint64, QByteArray>> m_sightings;
    std::thread m_thread;
};

// Launches of the program with no runtime folder, a cache folder that cannot be made (a file
// stands in its place) and a shared temporary folder of the test's own.
struct WithoutLastingFolders
{
    explicit WithoutLastingFolders(const LocalServices& services)
    {
        EXPECT_TRUE(dir.isValid());
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        QFile file(cache);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
        EXPECT_TRUE(QDir().mkpath(temporary));
        EXPECT_TRUE(QFile::setPermissions(temporary, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        environment.insert(QStringLiteral("TMPDIR"), temporary);
        environment.insert(QStringLiteral("VEILMOX_SUPABASE_URL"), services.backendURL().toString());
        environment.insert(QStringLiteral("VEILMOX_ACCOUNT_SERVICE_URL"), services.accountURL().toString());
    }

    void launch(QProcess& process, const QStringList& arguments) const
    {
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(VEILMOX_EXECUTABLE), arguments);
        EXPECT_TRUE(process.waitForStarted(5000));
    }

    QStringList left() const
    {
        return QDir(temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // Until one instance's folder is there, with its socket (Qt makes its own "runtime-<user>"
    // there as well).
    bool oneInstanceListens() const
    {
        return QTest::qWaitFor(
            [this] {
                const QStringList folders = left().filter(QRegularExpression(QStringLiteral("^veilmox-")));
                return folders.size() == 1
                       && QFile::exists(temporary + '/' + folders[0]
                                        + QStringLiteral("/getveilmox.Veilmox.urls"));
            },
            30000);
    }

    QTemporaryDir dir;
    QProcessEnvironment environment = isolatedEnvironment(dir.path());
    QString cache = dir.filePath("not-a-folder");
    QString temporary = dir.filePath("tmp");
};

} // namespace

TEST(SignInThroughTheSessionBus, ALinkOpenedWithGioReachesTheAppOverTheBusAndNoCommandLineShowsItsCode)
{
    if (const QString missing = PrivateSessionBus::missing(); !missing.isEmpty()) {
        SKIP_OR_FAIL_UNDER_CI(missing.toStdString());
    }
    // On free ports of their own; the app started on the bus is told where.
    LocalServices services;
    ASSERT_TRUE(services.start());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment environment = isolatedEnvironment(dir.path());
    environment.insert(QStringLiteral("VEILMOX_SUPABASE_URL"), services.backendURL().toString());
    environment.insert(QStringLiteral("VEILMOX_ACCOUNT_SERVICE_URL"), services.accountURL().toString());

    // Installed as the app installs itself, and made the default handler of its links.
    const QString id = QStringLiteral("getveilmox.Veilmox");
    ASSERT_EQ(
        platform::registerURLSchemeHandler(id,
                                           QStringLiteral("Veilmox"),
                                           QFileInfo(QStringLiteral(VEILMOX_EXECUTABLE)).canonicalFilePath(),
                                           {WindowManager::callbackScheme},
                                           dir.filePath("XDG_DATA_HOME")),
        platform::Registration::Written);
    QFile defaults(dir.filePath("XDG_CONFIG_HOME/mimeapps.list"));
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[Default Applications]\nx-scheme-handler/veilmox=getveilmox.Veilmox.desktop\n");
    defaults.close();
    // An onboarding event waits for a sign-in; a refused code sends it nowhere.
    platform::PlistUserDefaults(dir.filePath("XDG_CONFIG_HOME/veilmox/getveilmox.Veilmox.plist"))
        .setObject(QVariantList{QByteArray(R"({"event_id":"e2e-1","event_type":"flow_step","metadata":{}})")},
                   QStringLiteral("onboardingAnalyticsBuffer"));

    PrivateSessionBus bus(environment);
    ASSERT_TRUE(bus.start());
    ASSERT_TRUE(bus.startKeyring());

    // The browser's page ends by opening the link; gio stands in for the browser, which holds
    // the link itself, and is the one process allowed to show it. The link is of a sign-in the
    // app did not start (it is not even running): it reaches the app, which has no verifier for
    // it, so the account service refuses the code and nobody is signed in.
    const QString code =
        services.issueCode(LocalServices::defaultAccount(), LocalServices::codeChallenge(QString(43, 'b')));
    CommandLineWatcher watcher(code.toUtf8());
    QProcess launcher;
    launcher.setProcessEnvironment(bus.environment());
    launcher.setProcessChannelMode(QProcess::ForwardedChannels);
    launcher.start(QStringLiteral("gio"),
                   {QStringLiteral("open"), QStringLiteral("veilmox://auth?code=") + code});
    ASSERT_TRUE(launcher.waitForStarted(5000));
    const qint64 launcherPid = launcher.processId();
    const QString exchangePath = QStringLiteral("/api/auth/desktop-handoff/exchange");
    const bool delivered = QTest::qWaitFor([&] { return services.requestCount(exchangePath) > 0; }, 60000);
    watcher.stop();

    // The app ends with the test.
    const QDBusReply<uint> app = bus.connection().interface()->servicePid(id);
    if (app.isValid()) {
        ::kill(static_cast<pid_t>(app.value()), SIGTERM);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !bus.connection().interface()->isServiceRegistered(id); }, 10000));
    }
    ASSERT_TRUE(delivered);
    EXPECT_TRUE(launcher.state() == QProcess::NotRunning || launcher.waitForFinished(10000));
    EXPECT_EQ(launcher.exitCode(), 0);
    EXPECT_EQ(services.requestCount(exchangePath), 1);
    const auto exchange = std::find_if(services.requests().begin(),
                                       services.requests().end(),
                                       [&](const auto& r) { return r.path == exchangePath; });
    EXPECT_EQ(QJsonDocument::fromJson(exchange->body).object(), (QJsonObject{{"code", code}}));
    EXPECT_EQ(services.activeSessionCount(), 0);
    EXPECT_TRUE(services.recordedEvents().isEmpty());
    // The watcher saw the link where it was, in the launcher's own command line, and nowhere else.
    const auto sightings = watcher.sightings();
    EXPECT_TRUE(std::any_of(
        sightings.begin(), sightings.end(), [&](const auto& s) { return s.first == launcherPid; }));
    for (const auto& [pid, commandLine] : sightings) {
        EXPECT_EQ(pid, launcherPid) << commandLine.toStdString();
    }
}

TEST_F(SignInEndToEnd, SigningInThroughTheBrowserHandsTheLinkToTheRunningInstance)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess secondLaunch;
    // Everything the program could touch stays inside the test's folder, and it finds no bus.
    secondLaunch.setProcessEnvironment(isolatedEnvironment(dir.path()));
    platform::URLHandoff running(QStringLiteral("getveilmox.Veilmox"),
                                 {WindowManager::callbackScheme},
                                 system.scheduler,
                                 dir.filePath("XDG_RUNTIME_DIR"));
    ASSERT_EQ(running.start({}), platform::URLHandoff::Role::Primary);
    // What the application delegate does with the URLs it is given.
    QList<QUrl> handedOver;
    QObject::connect(
        &running, &platform::URLHandoff::urlsReceived, state.get(), [&](const QList<QUrl>& urls) {
            handedOver << urls;
            for (const QUrl& url : urls) {
                state->handleCallbackURL(url);
            }
        });

    // The browser, which also passes on a link that is not the app's.
    QList<QUrl> redirects;
    system.desktop.setURLOpenedHandler([&](const QUrl& page) {
        system.urlSession.dataTask(
            platform::URLRequest(page), nullptr, [&](const platform::URLSessionResult& r) {
                const auto* response = std::get_if<platform::HTTPResponse>(&r);
                if (const auto location = response != nullptr ? response->value("Location") : std::nullopt) {
                    redirects << QUrl(QString::fromUtf8(*location));
                    secondLaunch.start(QStringLiteral(VEILMOX_EXECUTABLE),
                                       {redirects.last().toString(), "https://elsewhere.example/"});
                }
            });
        return true;
    });

    launch();
    // An onboarding event of the signed-out user waits for the sign-in.
    analytics->track(QStringLiteral("flow_step"), 1);
    state->startBrowserSignIn();
    const bool signedIn = reaches(QStringLiteral("Signed in"), 30000);
    const bool exited = secondLaunch.state() == QProcess::NotRunning || secondLaunch.waitForFinished(20000);
    ASSERT_TRUE(signedIn) << secondLaunch.readAllStandardError().toStdString();
    ASSERT_TRUE(exited);
    EXPECT_EQ(std::pair(secondLaunch.exitStatus(), secondLaunch.exitCode()),
              std::pair(QProcess::NormalExit, 0));
    ASSERT_EQ(redirects.size(), 1);
    EXPECT_EQ(redirects[0].scheme() + "://" + redirects[0].host(), "veilmox://auth");
    EXPECT_EQ(handedOver, redirects);
    EXPECT_FALSE(QFile::exists(dir.filePath("XDG_DATA_HOME/applications")))
        << "only the running one registers";

    EXPECT_EQ(shell.onboardingRaises, 1);
    EXPECT_TRUE(state->isAuthenticated() && state->isVirtualDisplayRunning());
    EXPECT_FALSE(state->authInProgress() || state->handoffRequestedAt());
    EXPECT_EQ(userID(stored(kAccess).value_or("")), LocalServices::defaultAccount().id);
    EXPECT_EQ(services.requestCount("/api/auth/desktop-handoff/exchange"), 1);
    // The waiting event went out with the session start, before the flow event.
    ASSERT_TRUE(drain());
    EXPECT_EQ(sent(), (QStringList{"start", "flow_step", "flow_started"}));
    EXPECT_FALSE(analytics->hasBufferedEvents());
}

TEST_F(SignInEndToEnd, WithoutRuntimeOrCacheFolderALaunchWithALinkHandsItOverAndNothingStaysBehind)
{
    const WithoutLastingFolders folders(services);
    QProcess first;
    folders.launch(first, {});
    ASSERT_TRUE(folders.oneInstanceListens()) << folders.left().join(' ').toStdString();
    const QStringList running = folders.left();

    // A later launch given a link: it hands the link to the running app and ends.
    const QString code(48, QLatin1Char('c'));
    QProcess second;
    folders.launch(second, {QStringLiteral("veilmox://auth?code=") + code});
    const bool ended = QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 20000);
    if (!ended) {
        second.kill();
        second.waitForFinished(5000);
    }
    EXPECT_TRUE(ended) << "a second instance runs beside the first";
    EXPECT_EQ(std::pair(second.exitStatus(), second.exitCode()), std::pair(QProcess::NormalExit, 0));
    // The running app took it (it trades the code, which the service refuses: no sign-in of its).
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return services.requestCount(QStringLiteral("/api/auth/desktop-handoff/exchange")) == 1; },
        20000));
    EXPECT_EQ(folders.left(), running);

    // Ended as the system ends it, the running app removes its folder.
    ASSERT_TRUE(testing_support::terminate(first)) << "the running app ended on its own";
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(folders.left(), QStringList());
    EXPECT_TRUE(QFileInfo(folders.cache).isFile());
}

TEST_F(SignInEndToEnd, WithoutRuntimeOrCacheFolderLaunchesAtTheSameMomentLeaveOneRunning)
{
    const WithoutLastingFolders folders(services);
    // Qt's runtime folder made before, as another program of the user makes it: which of launches
    // at the same moment would make it otherwise is a matter of chance, and it stays either way.
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    const QString qtRuntime = QStringLiteral("runtime-") + QFile::decodeName(user->pw_name);
    ASSERT_TRUE(QDir(folders.temporary).mkdir(qtRuntime));
    ASSERT_TRUE(QFile::setPermissions(folders.temporary + '/' + qtRuntime,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    std::vector<std::unique_ptr<QProcess>> launches;
    for (int i = 0; i < 3; ++i) {
        launches.push_back(std::make_unique<QProcess>());
        folders.launch(*launches.back(), {});
    }
    const auto stillRunning = [&launches] {
        return std::count_if(launches.begin(), launches.end(), [](const auto& launch) {
            return launch->state() != QProcess::NotRunning;
        });
    };
    // Those that took their folder later hand over to the one that took it first, and end.
    EXPECT_TRUE(QTest::qWaitFor([&] { return stillRunning() <= 1; }, 30000));
    ASSERT_TRUE(folders.oneInstanceListens()) << folders.left().join(' ').toStdString();
    EXPECT_EQ(stillRunning(), 1);
    for (const auto& launch : launches) {
        if (launch->state() == QProcess::NotRunning) {
            EXPECT_EQ(std::pair(launch->exitStatus(), launch->exitCode()),
                      std::pair(QProcess::NormalExit, 0));
        } else {
            EXPECT_TRUE(testing_support::terminate(*launch));
            EXPECT_TRUE(launch->waitForFinished(20000));
        }
    }
    EXPECT_EQ(folders.left(), QStringList{qtRuntime});
}
