// The whole browser sign-in on this platform, both ways a link reaches the app: over the session
// bus from a launcher that honours the desktop entry's DBusActivatable, and, without a bus, over
// the per-user socket from a later launch of the program that was given the link.
#include "account/TokenCheck.h"
#include "platform/DesktopEntry.h"
#include "platform/URLHandoff.h"
#include "tests/account/AccountFixture.h"
#include "tests/support/PrivateSessionBus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace testing_support;
using SignInEndToEnd = SessionTest;

namespace {

const QString kBundleID = QStringLiteral("getveilmox.Veilmox");

// Reads every process's command line, over and over on a thread of its own, for as long as it
// runs: a secret in any of them would be readable by every local user.
class CommandLineWatcher
{
public:
    explicit CommandLineWatcher(QByteArray secret)
        : m_secret(std::move(secret))
        , m_thread([this] { watch(); })
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
    std::vector<std::pair<int, QByteArray>> sightings() const
    {
        const std::lock_guard lock(m_mutex);
        return m_sightings;
    }
    int rounds() const { return m_rounds; }

private:
    void watch()
    {
        char buffer[64 * 1024];
        while (!m_stopped) {
            DIR* proc = ::opendir("/proc");
            while (const dirent* entry = proc != nullptr ? ::readdir(proc) : nullptr) {
                const int pid = std::atoi(entry->d_name);
                const int fd =
                    pid > 0 ? ::open(QByteArray("/proc/") + entry->d_name + "/cmdline", O_RDONLY | O_CLOEXEC)
                            : -1;
                if (fd < 0) {
                    continue;
                }
                const ssize_t n = ::read(fd, buffer, sizeof(buffer));
                ::close(fd);
                const QByteArray line(buffer, static_cast<qsizetype>(std::max<ssize_t>(0, n)));
                if (line.contains(m_secret)) {
                    const std::lock_guard lock(m_mutex);
                    m_sightings.emplace_back(pid, QByteArray(line).replace('\0', ' '));
                }
            }
            if (proc != nullptr) {
                ::closedir(proc);
            }
            ++m_rounds;
        }
    }

    QByteArray m_secret;
    std::atomic<bool> m_stopped = false;
    std::atomic<int> m_rounds = 0;
    mutable std::mutex m_mutex;
    std::vector<std::pair<int, QByteArray>> m_sightings;
    std::thread m_thread;
};

// The access token the app stored in the keyring on the bus, read as any Secret Service client
// reads it.
std::optional<QString> accessTokenInKeyring(const QDBusConnection& bus)
{
    const QString secrets = QStringLiteral("org.freedesktop.secrets");
    QDBusInterface service(secrets,
                           QStringLiteral("/org/freedesktop/secrets"),
                           QStringLiteral("org.freedesktop.Secret.Service"),
                           bus);
    const QDBusMessage session = service.call(
        QStringLiteral("OpenSession"), QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString())));
    qDBusRegisterMetaType<QMap<QString, QString>>();
    const QDBusMessage found =
        service.call(QStringLiteral("SearchItems"),
                     QVariant::fromValue(QMap<QString, QString>{{"service", "getveilmox.Veilmox.session"},
                                                                {"account", "access_token"}}));
    if (session.type() != QDBusMessage::ReplyMessage || found.type() != QDBusMessage::ReplyMessage) {
        return std::nullopt;
    }
    const auto items = qdbus_cast<QList<QDBusObjectPath>>(found.arguments().at(0));
    if (items.isEmpty()) {
        return std::nullopt;
    }
    QDBusInterface item(secrets, items.first().path(), QStringLiteral("org.freedesktop.Secret.Item"), bus);
    const QDBusMessage secret = item.call(
        QStringLiteral("GetSecret"), QVariant::fromValue(session.arguments().at(1).value<QDBusObjectPath>()));
    if (secret.type() != QDBusMessage::ReplyMessage) {
        return std::nullopt;
    }
    const QDBusArgument value = secret.arguments().at(0).value<QDBusArgument>();
    QDBusObjectPath sessionPath;
    QByteArray parameters;
    QByteArray token;
    QString contentType;
    value.beginStructure();
    value >> sessionPath >> parameters >> token >> contentType;
    value.endStructure();
    return QString::fromUtf8(token);
}

} // namespace

TEST(SignInThroughTheSessionBus, ALinkOpenedWithGioReachesTheAppOverTheBusAndNoCommandLineShowsItsCode)
{
    if (const QString missing = PrivateSessionBus::missing(); !missing.isEmpty()) {
        SKIP_OR_FAIL_UNDER_CI(missing.toStdString());
    }
    // The app reads the stand-ins' addresses from its bundle settings; another run of this test
    // may hold them a moment.
    std::unique_ptr<LocalServices> standIns;
    if (!QTest::qWaitFor([&] { return (standIns = std::make_unique<LocalServices>())->start(54321, 54322); },
                         60000)) {
        SKIP_OR_FAIL_UNDER_CI(
            "needs the ports 54321 and 54322 of the bundle settings (is scripts/run-app.sh running?)");
    }
    LocalServices& services = *standIns;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* folder :
         {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = dir.filePath(QString::fromLatin1(folder).toLower());
        ASSERT_TRUE(QDir().mkpath(path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QString::fromLatin1(folder), path);
    }
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString data = environment.value(QStringLiteral("XDG_DATA_HOME"));

    // Installed as the app installs itself, and made the default handler of its links.
    ASSERT_EQ(
        platform::registerURLSchemeHandler(kBundleID,
                                           QStringLiteral("Veilmox"),
                                           QFileInfo(QStringLiteral(VEILMOX_EXECUTABLE)).canonicalFilePath(),
                                           {WindowManager::callbackScheme},
                                           data),
        platform::Registration::Written);
    QFile defaults(environment.value(QStringLiteral("XDG_CONFIG_HOME")) + QStringLiteral("/mimeapps.list"));
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[Default Applications]\nx-scheme-handler/veilmox=getveilmox.Veilmox.desktop\n");
    defaults.close();

    PrivateSessionBus bus(environment);
    ASSERT_TRUE(bus.start());
    const bool keyring = bus.startKeyring();
    if (!keyring && qgetenv("CI") == "true") {
        FAIL() << "no GNOME keyring on the private bus";
    }
    const auto storedAccessToken = [&] {
        if (keyring) {
            return accessTokenInKeyring(bus.connection());
        }
        AuthKeychain fileStore([&] {
            platform::Services only;
            static platform::FileKeychain file(data + QStringLiteral("/veilmox/keychain"));
            only.keychain = &file;
            return only;
        }());
        return fileStore.read(AuthKeychain::accessTokenAccount);
    };

    // The browser's page ends by opening the link; gio stands in for the browser, which holds
    // the link itself, and is the one process allowed to show it.
    const QString code = services.issueCode(LocalServices::defaultAccount());
    CommandLineWatcher watcher(code.toUtf8());
    QProcess launcher;
    launcher.setProcessEnvironment(bus.environment());
    launcher.setProcessChannelMode(QProcess::ForwardedChannels);
    launcher.start(QStringLiteral("gio"),
                   {QStringLiteral("open"), QStringLiteral("veilmox://auth?code=") + code});
    ASSERT_TRUE(launcher.waitForStarted(5000));
    const qint64 launcherPid = launcher.processId();
    std::optional<QString> stored;
    const bool signedIn = QTest::qWaitFor([&] { return (stored = storedAccessToken()).has_value(); }, 60000);
    watcher.stop();

    // The app ends with the test.
    const QDBusReply<uint> app = bus.connection().interface()->servicePid(kBundleID);
    if (app.isValid()) {
        ::kill(static_cast<pid_t>(app.value()), SIGTERM);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !bus.connection().interface()->isServiceRegistered(kBundleID); }, 10000));
    }
    const bool launched = launcher.state() == QProcess::NotRunning || launcher.waitForFinished(10000);
    ASSERT_TRUE(signedIn);
    ASSERT_TRUE(launched);
    EXPECT_EQ(launcher.exitCode(), 0);
    EXPECT_TRUE(app.isValid()) << "the app owned its bus name";
    EXPECT_EQ(userID(stored.value_or(QString())), LocalServices::defaultAccount().id);
    EXPECT_EQ(services.requestCount("/api/auth/desktop-handoff/exchange"), 1);
    EXPECT_GT(watcher.rounds(), 10);
    for (const auto& [pid, commandLine] : watcher.sightings()) {
        EXPECT_EQ(pid, launcherPid) << commandLine.toStdString();
    }
}

TEST_F(SignInEndToEnd, SigningInThroughTheBrowserHandsTheLinkToTheRunningInstance)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    platform::URLHandoff running(
        QStringLiteral("getveilmox.Veilmox"), {WindowManager::callbackScheme}, system.scheduler, dir.path());
    ASSERT_EQ(running.start({}), platform::URLHandoff::Role::Primary);
    // What the application delegate does with the URLs it is given.
    QObject::connect(
        &running, &platform::URLHandoff::urlsReceived, state.get(), [this](const QList<QUrl>& urls) {
            for (const QUrl& url : urls) {
                state->handleCallbackURL(url);
            }
        });

    QProcess secondLaunch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Everything the program could touch stays inside the test's folder.
    environment.insert("XDG_RUNTIME_DIR", dir.path());
    environment.insert("HOME", dir.path() + "/home");
    environment.insert("XDG_DATA_HOME", dir.path() + "/data");
    environment.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    secondLaunch.setProcessEnvironment(environment);

    // The browser.
    QList<QUrl> redirects;
    system.desktop.setURLOpenedHandler([&](const QUrl& page) {
        system.urlSession.dataTask(
            platform::URLRequest(page), nullptr, [&](const platform::URLSessionResult& r) {
                const auto* response = std::get_if<platform::HTTPResponse>(&r);
                if (const auto location = response != nullptr ? response->value("Location") : std::nullopt) {
                    redirects << QUrl(QString::fromUtf8(*location));
                    secondLaunch.start(QStringLiteral(VEILMOX_EXECUTABLE), {redirects.last().toString()});
                }
            });
    });

    launch();
    // An onboarding event of the signed-out user waits for the sign-in.
    analytics->track(QStringLiteral("flow_step"), 1);
    state->startBrowserSignIn();
    const bool signedIn = reaches(QStringLiteral("Signed in"), 30000);
    const bool exited = secondLaunch.state() == QProcess::NotRunning || secondLaunch.waitForFinished(20000);
    ASSERT_TRUE(signedIn) << secondLaunch.readAllStandardError().toStdString();
    ASSERT_TRUE(exited);
    EXPECT_EQ(secondLaunch.exitCode(), 0);

    EXPECT_EQ(system.desktop.openedURLs(),
              QList<QUrl>{services.accountURL().resolved(QUrl("/desktop/connect"))});
    ASSERT_EQ(redirects.size(), 1);
    EXPECT_EQ(redirects[0].scheme() + "://" + redirects[0].host(), "veilmox://auth");
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
