// What the shell needs of the system beyond windows: links reaching one running instance, the
// desktop entry that makes it their handler, and reading sounds.
#include "platform/ApplicationBus.h"
#include "platform/Audio.h"
#include "platform/DesktopEntry.h"
#include "platform/DesktopServices.h"
#include "platform/LocalSocketAddress.h"
#include "platform/URLHandoff.h"
#include "platform/sim/VirtualScheduler.h"
#include "tests/support/DamagedInput.h"
#include "tests/support/FailingDisk.h"
#include "tests/support/FakeLauncher.h"
#include "tests/support/PrivateSessionBus.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <memory>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace platform;

namespace {

const QString kBundleID = QStringLiteral("getveilmox.Veilmox");
const QStringList kSchemes{QStringLiteral("veilmox")};

QList<QUrl> received(const QSignalSpy& spy)
{
    QList<QUrl> urls;
    for (const auto& arguments : spy) {
        urls += arguments.at(0).value<QList<QUrl>>();
    }
    return urls;
}

// A later launch's hand-off, made from another thread while this one serves the socket.
bool handOverFromAnotherLaunch(const QString& socketPath, const QUrl& url)
{
    auto handedOver = std::async(std::launch::async,
                                 [socketPath, url] { return URLHandoff::handOver(socketPath, url, 5000); });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return handedOver.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    return handedOver.get();
}

// A connection of a misbehaving program of the same user, with plain sockets.
class RawClient
{
public:
    enum class Connect
    {
        Now,
        Later,
    };
    explicit RawClient(const QString& path, Connect when = Connect::Now)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
        , m_address(LocalSocketAddress::of(path))
    {
        if (when == Connect::Now) {
            connect();
        }
    }
    ~RawClient() { ::close(m_fd); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    // Takes no descriptor: the socket is there, and so is the folder of a long path.
    void connect() { connected = m_address && ::connect(m_fd, m_address->get(), m_address->size()) == 0; }
    void send(const QByteArray& bytes)
    {
        ::send(m_fd, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL);
    }
    void finishSending() { ::shutdown(m_fd, SHUT_WR); }
    // Whether the running instance closed the connection; what it answered is kept.
    bool closedByServer()
    {
        char buffer[64];
        ssize_t n = 0;
        while ((n = ::recv(m_fd, buffer, sizeof(buffer), MSG_DONTWAIT)) > 0) {
            answer.append(buffer, n);
        }
        return n == 0;
    }
    bool waitUntilClosedByServer()
    {
        return QTest::qWaitFor([this] { return closedByServer(); }, 5000);
    }

    bool connected = false;
    QByteArray answer;

private:
    int m_fd;
    std::optional<LocalSocketAddress> m_address;
};

// While it lives, the temporary folder of this process ($TMPDIR) is a fresh one of its own, so
// that instances in fresh folders meet only those of the same test; or, when it is not to be
// usable, a file, in which no folder can be made (as when someone filled the shared one).
class TemporaryFolder
{
public:
    enum class Kind
    {
        Usable,
        Unusable,
    };

    explicit TemporaryFolder(Kind kind = Kind::Usable)
        : m_previous(qgetenv("TMPDIR"))
        , m_hadPrevious(qEnvironmentVariableIsSet("TMPDIR"))
    {
        QString path = m_dir.path();
        if (kind == Kind::Unusable) {
            path += QStringLiteral("/full");
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        }
        qputenv("TMPDIR", QFile::encodeName(path));
    }
    ~TemporaryFolder()
    {
        if (m_hadPrevious) {
            qputenv("TMPDIR", m_previous);
        } else {
            qunsetenv("TMPDIR");
        }
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    QString path() const { return QDir(QDir::tempPath()).canonicalPath(); }
    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious;
};

// Runs `act` in a child process of another user (nobody's), while this one serves its sockets;
// what it returned (-1 when it did not end normally).
int asAnotherUser(const std::function<int()>& act)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::setuid(65534) == 0 ? act() : 2);
    }
    int status = -1;
    EXPECT_TRUE(QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 30000));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A connection to the abstract socket "@name", with plain system calls (a child process may use
// nothing else); -1 when none is made.
int connectToAbstractSocket(const QByteArray& socketPath)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, socketPath.constData() + 1, std::size_t(socketPath.size() - 1));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(socketPath.size()));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A later launch of the program, on another thread while this one serves the running instance:
// a thread of Qt's, with an event dispatcher, as a launch's main thread has.
URLHandoff::Role launchLater(const QString& runtimeDirectory, const QList<QUrl>& urls)
{
    std::optional<URLHandoff::Role> role;
    std::unique_ptr<QThread> later(QThread::create([&role, runtimeDirectory, urls] {
        sim::VirtualScheduler laterScheduler;
        URLHandoff launch(kBundleID, kSchemes, laterScheduler, runtimeDirectory);
        role = launch.start(urls);
    }));
    later->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return later->isFinished(); }, 15000));
    later->wait();
    return role.value_or(URLHandoff::Role::Failed);
}

// A running instance in a private folder of the test's, and what the hand-off logged.
class URLHandoffTest : public ::testing::Test
{
protected:
    URLHandoffTest()
    {
        logged().clear();
        m_previousHandler =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& text) {
                if (QByteArray(context.category) == "veilmox.urlhandoff") {
                    logged().append(text);
                }
            });
        EXPECT_EQ(running->start({}), URLHandoff::Role::Primary);
    }
    ~URLHandoffTest() override { qInstallMessageHandler(m_previousHandler); }

    static QStringList& logged()
    {
        static QStringList lines;
        return lines;
    }
    std::unique_ptr<URLHandoff> make(const QString& folder)
    {
        return std::make_unique<URLHandoff>(kBundleID, kSchemes, scheduler, folder);
    }

    // Instances of other tests running at the same time are of the same program; they meet only
    // within one temporary folder.
    TemporaryFolder ownTemporary;
    QTemporaryDir dir;
    sim::VirtualScheduler scheduler;
    std::unique_ptr<URLHandoff> running = make(dir.path());
    QSignalSpy spy{running.get(), &URLHandoff::urlsReceived};

private:
    QtMessageHandler m_previousHandler = nullptr;
};

} // namespace

TEST_F(URLHandoffTest, OneCompleteLinkPerConnectionIsTakenAndEverythingElseDropped)
{
    const QUrl link(QStringLiteral("veilmox://auth?code=kept"));
    // The command line: links of the application's schemes, in any case, short enough; their
    // text is wiped where other users could read it.
    QByteArray first = "veilmox://auth?code=abc", second = "VEILMOX://Auth?code=def", other = "--verbose";
    QByteArray tooLong = "veilmox://auth?code=" + QByteArray(URLHandoff::kMaxURLLength, 'x');
    QByteArray program = "veilmox", web = "https://example.com/";
    char* argv[] = {
        program.data(), first.data(), web.data(), other.data(), second.data(), tooLong.data(), nullptr};
    int argc = 6;
    EXPECT_EQ(takeURLArguments(argc, argv, kSchemes),
              (QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=abc")),
                           QUrl(QStringLiteral("VEILMOX://Auth?code=def"))}));
    ASSERT_EQ(argc, 4);
    EXPECT_EQ(QByteArrayList({argv[1], argv[2], argv[3]}), QByteArrayList({web, other, tooLong}));
    EXPECT_EQ(argv[4], nullptr);
    EXPECT_EQ(first, QByteArray(first.size(), '\0'));

    // Over the socket, each connection is one line: cut off, over-long, foreign or piled-up
    // lines are never acted on, and a connection logs at most one complaint.
    struct Case
    {
        const char* name;
        QByteArray sent;
        bool taken;
    };
    const Case cases[] = {
        {"a link cut off mid-code", "veilmox://auth?code=abc_DEF-1", false},
        {"an over-long line",
         "veilmox://auth?code=" + QByteArray(URLHandoff::kMaxURLLength + 10, 'v') + "\n",
         false},
        {"lines that are no links of the application",
         "file:///etc/passwd\nnot a url\r\nhttps://x/\n",
         false},
        {"a link", link.toEncoded() + "\r\n", true},
        {"a second link after the first", link.toEncoded() + "\nveilmox://auth?code=more\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        spy.clear();
        logged().clear();
        RawClient client(running->socketPath());
        ASSERT_TRUE(client.connected);
        client.send(c.sent);
        client.finishSending();
        ASSERT_TRUE(client.waitUntilClosedByServer());
        EXPECT_EQ(received(spy), c.taken ? QList<QUrl>{link} : QList<QUrl>{});
        EXPECT_EQ(client.answer, c.taken ? "ok\n" : "");
        EXPECT_LE(logged().size(), 1);
    }

    // A link held back past the timeout is dropped with its connection.
    spy.clear();
    RawClient slow(running->socketPath());
    slow.send(link.toEncoded());
    // A later launch gets through meanwhile, and once it has, the slow one is being timed.
    EXPECT_TRUE(
        handOverFromAnotherLaunch(running->socketPath(), QUrl(QStringLiteral("veilmox://auth?code=quick"))));
    scheduler.advance(URLHandoff::kReceiveTimeout);
    ASSERT_TRUE(slow.waitUntilClosedByServer());
    slow.send("\n");
    QCoreApplication::processEvents();
    EXPECT_EQ(received(spy), QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=quick"))});
}

TEST_F(URLHandoffTest, HeldConnectionsAndARunOutOfDescriptorsDoNotEndTheHandOff)
{
    // Connections held open without a word: the oldest make way, a later launch gets through.
    std::vector<std::unique_ptr<RawClient>> held;
    for (int i = 0; i < 20; ++i) {
        held.push_back(std::make_unique<RawClient>(running->socketPath()));
    }
    const QUrl link(QStringLiteral("veilmox://auth?code=through"));
    EXPECT_TRUE(handOverFromAnotherLaunch(running->socketPath(), link));
    EXPECT_EQ(received(spy), QList<QUrl>{link});
    const auto closed = [&] {
        return std::count_if(
            held.begin(), held.end(), [](const auto& client) { return client->closedByServer(); });
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return closed() == 20 + 1 - static_cast<int>(URLHandoff::kMaxConnections); }, 5000));
    held.clear();

    // Out of descriptors when a launch connects: Qt gives the socket up; it comes back.
    auto starved = std::make_unique<RawClient>(running->socketPath(), RawClient::Connect::Later);
    rlimit limits{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limits), 0);
    int highest = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
        highest = std::max(highest, entry.toInt());
    }
    rlimit tight = limits;
    tight.rlim_cur = static_cast<rlim_t>(highest + 2);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::vector<int> spare;
    for (int fd = 0; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
        spare.push_back(fd);
    }
    starved->connect();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !running->isListening(); }, 5000));
    starved.reset();
    for (const int fd : spare) {
        ::close(fd);
    }
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limits), 0);
    ASSERT_FALSE(running->isListening());
    scheduler.advance(URLHandoff::kListenRetryInterval);
    EXPECT_TRUE(running->isListening());
    EXPECT_EQ(logged().filter(QStringLiteral("stopped")).size(), 1);
    spy.clear();
    EXPECT_TRUE(handOverFromAnotherLaunch(running->socketPath(), link));
    EXPECT_EQ(received(spy), QList<QUrl>{link});
}

TEST_F(URLHandoffTest, NeverRunsAsTheOneInstanceWithoutHoldingALockInAPrivateFolder)
{
    // An instance that is gone leaves no claim behind; one that runs holds its claim.
    running.reset();
    running = make(dir.path());
    ASSERT_EQ(running->start({}), URLHandoff::Role::Primary);
    EXPECT_EQ(make(dir.path())->start({}), URLHandoff::Role::HandedOff);

    // A folder another user could enter, as the shared temporary folder's "veilmox-<uid>" when
    // someone else made it first: the instance runs from a fresh private folder instead.
    const TemporaryFolder temporary;
    const QString open = dir.path() + QStringLiteral("/open");
    ASSERT_TRUE(QDir().mkpath(open));
    ::chmod(QFile::encodeName(open).constData(), 0777);
    const auto exposed = make(open);
    QSignalSpy exposedSpy(exposed.get(), &URLHandoff::urlsReceived);
    ASSERT_EQ(exposed->start({}), URLHandoff::Role::Primary);
    EXPECT_FALSE(exposed->socketPath().startsWith(open));
    struct stat info
    {};
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(exposed->socketPath()).path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);
    EXPECT_TRUE(QDir(open).isEmpty());
    const QUrl link(QStringLiteral("veilmox://auth?code=fresh"));
    EXPECT_TRUE(handOverFromAnotherLaunch(exposed->socketPath(), link));
    EXPECT_EQ(received(exposedSpy), QList<QUrl>{link});
}

TEST_F(URLHandoffTest, ALockThatLooksLeftOverIsNeverTakenFromAnInstanceThatAnswers)
{
    // The running instance's lock file replaced under it (a home folder synced or restored from
    // another machine): it names another machine and nobody holds it, yet the instance answers.
    const QString replacement = dir.filePath(QStringLiteral("replacement"));
    QFile lock(replacement);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("1\nveilmox\nanother-machine.example\n");
    lock.close();
    ASSERT_EQ(::rename(QFile::encodeName(replacement).constData(),
                       QFile::encodeName(dir.filePath(kBundleID + QStringLiteral(".lock"))).constData()),
              0);
    const QUrl link(QStringLiteral("veilmox://auth?code=to-the-running-one"));
    EXPECT_EQ(launchLater(dir.path(), {link}), URLHandoff::Role::HandedOff);
    EXPECT_EQ(received(spy), QList<QUrl>{link});
    EXPECT_TRUE(running->isListening());
    EXPECT_TRUE(handOverFromAnotherLaunch(running->socketPath(), link));
}

TEST(URLHandoffFreshFolder, WithoutAFolderThatLastsTheRunningInstanceIsFoundByItsProcessAndNothingStays)
{
    const TemporaryFolder temporary;
    sim::VirtualScheduler scheduler;
    auto running = std::make_unique<URLHandoff>(kBundleID, kSchemes, scheduler, QString());
    QSignalSpy spy(running.get(), &URLHandoff::urlsReceived);
    ASSERT_EQ(running->start({}), URLHandoff::Role::Primary);
    // A folder of its own in the temporary folder, under a name nobody could have made first.
    const QFileInfo folder(QFileInfo(running->socketPath()).path());
    EXPECT_EQ(folder.path(), temporary.path());
    EXPECT_TRUE(folder.fileName().startsWith(QStringLiteral("veilmox-%1-").arg(::getuid())));
    EXPECT_EQ(folder.fileName().size(), QStringLiteral("veilmox-%1-XXXXXX").arg(::getuid()).size());
    struct stat info
    {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder.filePath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // Later launches, with a link or without, make folders of their own, find the running
    // instance, hand over and leave nothing behind.
    const QUrl link(QStringLiteral("veilmox://auth?code=found-by-its-process"));
    EXPECT_EQ(launchLater(QString(), {link}), URLHandoff::Role::HandedOff);
    EXPECT_EQ(launchLater(QString(), {}), URLHandoff::Role::HandedOff);
    EXPECT_EQ(received(spy), QList<QUrl>{link});
    EXPECT_EQ(temporary.entries(), QStringList{folder.fileName()});

    // An instance of another temporary folder runs on its own.
    {
        const TemporaryFolder elsewhere;
        sim::VirtualScheduler otherScheduler;
        URLHandoff other(kBundleID, kSchemes, otherScheduler, QString());
        EXPECT_EQ(other.start({}), URLHandoff::Role::Primary);
        EXPECT_TRUE(QFileInfo(other.socketPath()).path().startsWith(elsewhere.path()));
    }

    running.reset();
    EXPECT_TRUE(temporary.entries().isEmpty());
}

TEST(URLHandoffFreshFolder, LaunchesWithAndWithoutALastingFolderFindEachOtherAndOnlyWhatTheyMadeGoes)
{
    const TemporaryFolder temporary;
    sim::VirtualScheduler scheduler;
    const QUrl link(QStringLiteral("veilmox://auth?code=across-environments"));
    {
        // The running instance had no runtime folder; a later launch has one.
        URLHandoff running(kBundleID, kSchemes, scheduler, QString());
        QSignalSpy spy(&running, &URLHandoff::urlsReceived);
        ASSERT_EQ(running.start({}), URLHandoff::Role::Primary);
        QTemporaryDir runtime;
        EXPECT_EQ(launchLater(runtime.path(), {link}), URLHandoff::Role::HandedOff);
        EXPECT_EQ(received(spy), QList<QUrl>{link});
    }
    {
        // The other way round.
        QTemporaryDir runtime;
        URLHandoff running(kBundleID, kSchemes, scheduler, runtime.path());
        QSignalSpy spy(&running, &URLHandoff::urlsReceived);
        ASSERT_EQ(running.start({}), URLHandoff::Role::Primary);
        EXPECT_EQ(launchLater(QString(), {link}), URLHandoff::Role::HandedOff);
        EXPECT_EQ(received(spy), QList<QUrl>{link});
    }
    EXPECT_TRUE(temporary.entries().isEmpty());

    // Qt's own runtime folder there ("runtime-<user>") goes at the end only when this process
    // made it; one that another process made before stays.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString qtRuntime =
        temporary.path() + QStringLiteral("/runtime-") + QFile::decodeName(::getpwuid(::geteuid())->pw_name);
    for (const bool madeBefore : {true, false}) {
        SCOPED_TRACE(madeBefore ? "made by another process" : "made here");
        if (madeBefore) {
            // As another Qt program of this user's makes it.
            ASSERT_EQ(::mkdir(QFile::encodeName(qtRuntime).constData(), 0700), 0);
        }
        const QString made = URLHandoff::makeQtRuntimeFolder();
        EXPECT_EQ(made, madeBefore ? QString() : qtRuntime);
        {
            URLHandoff running(kBundleID, kSchemes, scheduler, QString());
            running.setQtRuntimeFolderMadeHere(made);
            ASSERT_EQ(running.start({}), URLHandoff::Role::Primary);
            EXPECT_TRUE(QFileInfo(qtRuntime).isDir());
        }
        EXPECT_EQ(QFileInfo(qtRuntime).isDir(), madeBefore);
        QDir().rmdir(qtRuntime);
    }
    if (!runtime.isEmpty()) {
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
}

TEST(URLHandoffWithoutAFolder, TheSignalsAreTakenFirstAndALaterLaunchFindsTheRunningInstanceOverItsSocket)
{
    // Someone filled the shared temporary folder: no private folder can be made there.
    const TemporaryFolder temporary(TemporaryFolder::Kind::Unusable);
    struct sigaction before
    {};
    struct sigaction byDefault
    {};
    byDefault.sa_handler = SIG_DFL;
    ASSERT_EQ(::sigaction(SIGTERM, &byDefault, &before), 0);
    sim::VirtualScheduler scheduler;
    std::unique_ptr<URLHandoff> running;
    {
        const testing_support::LogRecorder log;
        running = std::make_unique<URLHandoff>(kBundleID, kSchemes, scheduler, QString());
        ASSERT_EQ(running->start({}), URLHandoff::Role::Primary);
        // One line says why, naming the folder.
        ASSERT_EQ(log.messages().size(), 1);
        EXPECT_TRUE(log.messages().first().contains(QDir::tempPath()))
            << log.messages().first().toStdString();
    }
    // SIGTERM now ends it through its normal path, which saves what it holds.
    struct sigaction now
    {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
    EXPECT_NE(now.sa_handler, SIG_DFL);
    EXPECT_TRUE(running->isListening());
    EXPECT_TRUE(running->socketPath().startsWith(QLatin1Char('@')));

    // A later launch in the same plight finds it among this user's processes and hands over.
    QSignalSpy spy(running.get(), &URLHandoff::urlsReceived);
    const QUrl link(QStringLiteral("veilmox://auth?code=over-a-socket"));
    EXPECT_EQ(launchLater(QString(), {link}), URLHandoff::Role::HandedOff);
    EXPECT_EQ(launchLater(QString(), {}), URLHandoff::Role::HandedOff);
    EXPECT_EQ(received(spy), QList<QUrl>{link});

    // Anyone can reach a socket of no folder: another user's program is not heard, and no link
    // goes to another user's program under the name.
    if (::getuid() == 0) {
        const QByteArray socketPath = running->socketPath().toUtf8();
        const QByteArray planted = "veilmox://auth?code=from-another-user\n";
        const int answered = asAnotherUser([&] {
            const int fd = connectToAbstractSocket(socketPath);
            if (fd < 0) {
                return 3;
            }
            ::send(fd, planted.constData(), std::size_t(planted.size()), MSG_NOSIGNAL);
            char answer[8] = {};
            pollfd readable{fd, POLLIN, 0};
            return ::poll(&readable, 1, 5000) > 0 && ::recv(fd, answer, sizeof(answer), 0) > 0 ? 1 : 0;
        });
        EXPECT_EQ(answered, 0);
        EXPECT_EQ(received(spy), QList<QUrl>{link});

        const QByteArray name = "veilmox-test-" + QByteArray::number(::getpid());
        int listening[2] = {-1, -1};
        ASSERT_EQ(::pipe2(listening, O_CLOEXEC), 0);
        auto handedTo = std::async(std::launch::async, [&] {
            char byte = 0;
            const bool ready = ::read(listening[0], &byte, 1) == 1;
            return ready && URLHandoff::handOver(QLatin1Char('@') + QString::fromLatin1(name), link, 3000);
        });
        const int took = asAnotherUser([&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path + 1, name.constData(), std::size_t(name.size()));
            const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::size_t(name.size()));
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0
                || ::listen(fd, 1) != 0) {
                return 3;
            }
            [[maybe_unused]] const ssize_t told = ::write(listening[1], "!", 1);
            pollfd pending{fd, POLLIN, 0};
            if (::poll(&pending, 1, 5000) != 1) {
                return 0;
            }
            const int connection = ::accept(fd, nullptr, nullptr);
            char byte = 0;
            const bool got = ::recv(connection, &byte, 1, 0) == 1;
            ::send(connection, "ok\n", 3, MSG_NOSIGNAL);
            return got ? 1 : 0;
        });
        ::close(listening[1]);
        EXPECT_EQ(took, 0);
        EXPECT_FALSE(handedTo.get());
        ::close(listening[0]);
    }
    running.reset();
    ::sigaction(SIGTERM, &before, nullptr);
}

TEST(URLHandoffWithoutAFolder, AFloodOfAnotherUsersConnectionsIsLoggedOnceAMinuteAndPushesOutNoLaunch)
{
    if (::getuid() != 0) {
        GTEST_SKIP() << "acting as another user needs root";
    }
    const TemporaryFolder temporary(TemporaryFolder::Kind::Unusable);
    sim::VirtualScheduler scheduler;
    URLHandoff running(kBundleID, kSchemes, scheduler, QString());
    ASSERT_EQ(running.start({}), URLHandoff::Role::Primary);
    QSignalSpy spy(&running, &URLHandoff::urlsReceived);
    const QByteArray socketPath = running.socketPath().toUtf8();
    // Launches of this user's fill every place, the oldest halfway through its line, when the
    // flood comes.
    const QUrl link(QStringLiteral("veilmox://auth?code=during-a-flood"));
    std::vector<int> own;
    for (std::size_t i = 0; i < URLHandoff::kMaxConnections; ++i) {
        own.push_back(connectToAbstractSocket(socketPath));
        ASSERT_GE(own.back(), 0);
    }
    const QByteArray line = link.toEncoded() + '\n';
    ::send(own.front(), line.constData(), 10, MSG_NOSIGNAL);

    const testing_support::LogRecorder log;
    const auto refusals = [&log] {
        return log.messages().filter(QStringLiteral("Refused"));
    };
    // Each connection is closed on it before the next is made.
    constexpr int kFlood = 300;
    const auto flood = [&socketPath](int count) {
        int closed = 0;
        for (int i = 0; i < count; ++i) {
            const int fd = connectToAbstractSocket(socketPath);
            char byte = 0;
            pollfd readable{fd, POLLIN, 0};
            closed += fd >= 0 && ::poll(&readable, 1, 5000) > 0 && ::recv(fd, &byte, 1, 0) == 0 ? 1 : 0;
            ::close(fd);
        }
        return closed == count ? 0 : 1;
    };
    ASSERT_EQ(asAnotherUser([&] { return flood(kFlood); }), 0);
    ASSERT_EQ(refusals().size(), 1);
    EXPECT_TRUE(refusals().first().contains(QStringLiteral("another user's program")));

    // The launches of this user's were never pushed out: the oldest one's link is taken.
    ::send(own.front(), line.constData() + 10, static_cast<std::size_t>(line.size() - 10), MSG_NOSIGNAL);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !spy.isEmpty(); }, 5000));
    EXPECT_EQ(received(spy), QList<QUrl>{link});
    for (const int fd : own) {
        ::close(fd);
    }

    // The rest of the minute's refusals are counted in one line.
    scheduler.advance(URLHandoff::kRefusalLogInterval - 1);
    EXPECT_EQ(refusals().size(), 1);
    scheduler.advance(1);
    ASSERT_EQ(refusals().size(), 2);
    EXPECT_TRUE(refusals().last().contains(QStringLiteral("Refused %1 ").arg(kFlood - 1)))
        << refusals().last().toStdString();
    // A quiet minute closes the count; the next refusal is told at once.
    scheduler.advance(2 * URLHandoff::kRefusalLogInterval);
    EXPECT_EQ(refusals().size(), 2);
    ASSERT_EQ(asAnotherUser([&] { return flood(1); }), 0);
    EXPECT_EQ(refusals().size(), 3);
}

// A socket path of as many bytes as an address holds (107) is bound as it is, one byte more through
// its folder; either way later launches reach it, and only its owner may, whatever the umask.
TEST(URLHandoffLaunch, ASocketPathAtTheEdgeOfAnAddressIsReachedAndOwnerOnlyWhateverTheUmask)
{
    const TemporaryFolder temporary;
    sim::VirtualScheduler scheduler;
    // Short enough to pad to either length, whatever $TMPDIR is.
    QTemporaryDir base(testing_support::shortFolderTemplate(QStringLiteral("edge")));
    ASSERT_TRUE(base.isValid());
    const mode_t previousUmask = ::umask(0);
    const auto restore = qScopeGuard([previousUmask] { ::umask(previousUmask); });
    for (const qsizetype length : {107, 108}) {
        SCOPED_TRACE(length);
        // A folder deep enough that the socket in it takes exactly `length` bytes.
        const qsizetype room =
            length - QFile::encodeName(URLHandoff::socketPath(base.path(), kBundleID)).size() - 1;
        ASSERT_GT(room, 0);
        const QString folder = base.filePath(QString(room, QLatin1Char(length == 107 ? 'a' : 'b')));
        ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
        const QString path = URLHandoff::socketPath(folder, kBundleID);
        ASSERT_EQ(QFile::encodeName(path).size(), length);
        const auto address = LocalSocketAddress::of(path);
        ASSERT_TRUE(address);
        EXPECT_EQ(address->isThroughFolder(), length > 107);

        URLHandoff running(kBundleID, kSchemes, scheduler, folder);
        QSignalSpy spy(&running, &URLHandoff::urlsReceived);
        ASSERT_EQ(running.start({}), URLHandoff::Role::Primary);
        ASSERT_TRUE(running.isListening());
        struct stat info
        {};
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_TRUE(S_ISSOCK(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        const QUrl link(QStringLiteral("veilmox://auth?code=at-the-edge"));
        EXPECT_TRUE(handOverFromAnotherLaunch(path, link));
        EXPECT_EQ(received(spy), QList<QUrl>{link});
    }
}

TEST(URLHandoffLaunch, ALinkCountsAsHandedOverOnlyOnceTheRunningInstanceSaysItTookIt)
{
    // The running instance, with plain sockets: it reads the line, then answers or not.
    QTemporaryDir dir;
    const QString path = URLHandoff::socketPath(dir.path(), kBundleID);
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto address = LocalSocketAddress::of(path);
    ASSERT_TRUE(address);
    ASSERT_EQ(::bind(listening, address->get(), address->size()), 0);
    ASSERT_EQ(::listen(listening, 4), 0);

    const QUrl link(QStringLiteral("veilmox://auth?code=answered"));
    const std::tuple<const char*, QByteArray, bool> answers[] = {
        {"drops the line without a word", "", false},
        {"answers something else", "no\n", false},
        {"breaks off its answer", "o", false},
        {"takes it", "ok\n", true},
    };
    for (const auto& [instance, answer, taken] : answers) {
        SCOPED_TRACE(instance);
        auto launch =
            std::async(std::launch::async, [&path, &link] { return URLHandoff::handOver(path, link, 5000); });
        pollfd pending{listening, POLLIN, 0};
        ASSERT_EQ(::poll(&pending, 1, 5000), 1);
        const int connection = ::accept(listening, nullptr, nullptr);
        QByteArray line;
        char byte = 0;
        while (!line.endsWith('\n') && ::recv(connection, &byte, 1, 0) == 1) {
            line.append(byte);
        }
        EXPECT_EQ(line, link.toEncoded() + '\n');
        ::send(connection, answer.constData(), static_cast<std::size_t>(answer.size()), MSG_NOSIGNAL);
        ::close(connection);
        EXPECT_EQ(launch.get(), taken);
    }
    ::close(listening);
}

TEST(URLHandoffLock, ALockNobodyHoldsIsReplacedAndALiveOneNeverIs)
{
    const TemporaryFolder temporary;
    sim::VirtualScheduler scheduler;
    const QString lockName = kBundleID + QStringLiteral(".lock");
    struct Case
    {
        const char* name;
        QByteArray contents;
        bool unreadable = false;
    };
    // What a crash, a full disk or a home folder copied from elsewhere leaves.
    const Case cases[] = {
        {"empty", ""},
        {"not a lock", "\x01\x02 not a lock at all"},
        {"unreadable", "", true},
        {"another machine's", "1\nveilmox\nanother-machine.example\n"},
    };
    // Meanwhile an instance of another session runs with its lock, of the same name, elsewhere.
    QTemporaryDir elsewhere;
    std::optional<URLHandoff> otherSession;
    {
        const TemporaryFolder otherTemporary;
        otherSession.emplace(kBundleID, kSchemes, scheduler, elsewhere.path());
        ASSERT_EQ(otherSession->start({}), URLHandoff::Role::Primary);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QFile lock(dir.filePath(lockName));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(c.contents);
        lock.close();
        if (c.unreadable) {
            ASSERT_TRUE(lock.setPermissions({}));
        }
        URLHandoff instance(kBundleID, kSchemes, scheduler, dir.path());
        QSignalSpy spy(&instance, &URLHandoff::urlsReceived);
        ASSERT_EQ(instance.start({}), URLHandoff::Role::Primary);
        const QUrl link(QStringLiteral("veilmox://auth?code=after-a-crash"));
        EXPECT_TRUE(handOverFromAnotherLaunch(instance.socketPath(), link));
        EXPECT_EQ(received(spy), QList<QUrl>{link});
    }

    // A running instance holds its lock even at the moment it has made it but not written it yet,
    // or when its text names another machine (the machine was renamed), and before it listens: a
    // later launch waits for it and never runs beside it.
    for (const QByteArray& text : {QByteArray(), QByteArray("1\nveilmox\nanother-machine.example\n")}) {
        SCOPED_TRACE(text.toStdString());
        QTemporaryDir dir;
        QLockFile held(dir.filePath(lockName));
        ASSERT_TRUE(held.tryLock(0));
        QFile lock(dir.filePath(lockName));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate) && lock.write(text) == text.size());
        lock.close();
        EXPECT_EQ(URLHandoff(kBundleID, kSchemes, scheduler, dir.path()).start({}), URLHandoff::Role::Failed);
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(lockName)));
    }
}

// Only a regular file of this user's can be a lock. Anything else at the lock path means the folder
// cannot take one: the launch runs from a folder of its own, says what sits there, and a later
// launch finds it; the entry is never followed, opened, waited for or changed.
TEST(URLHandoffLock, WhateverSitsAtTheLockPathTheLaunchRunsAndLeavesItAsItWas)
{
    const std::pair<std::string_view, QString> cases[] = {
        {"folder", QStringLiteral("a folder")},
        {"pipe", QStringLiteral("a named pipe")},
        {"link to nothing", QStringLiteral("a symbolic link")},
        {"link to a file", QStringLiteral("a symbolic link")},
        {"another user's file", QStringLiteral("a file of another user's")},
    };
    // The entry as lstat sees it, and what lies behind or in it.
    const auto describe = [](const QString& path) {
        struct stat entry
        {};
        struct stat behind
        {};
        ::lstat(QFile::encodeName(path).constData(), &entry);
        ::stat(QFile::encodeName(path).constData(), &behind);
        return QStringList{QString::number(entry.st_ino),
                           QString::number(entry.st_mode, 8),
                           QString::number(entry.st_uid),
                           QString::number(entry.st_mtim.tv_nsec),
                           QString::number(behind.st_mode, 8),
                           QString::number(behind.st_size),
                           QDir(path).entryList(QDir::Files).join(QLatin1Char(','))};
    };
    for (const auto& [kind, said] : cases) {
        SCOPED_TRACE(kind);
        if (kind == "another user's file" && ::getuid() != 0) {
            continue; // only root can make one
        }
        QTemporaryDir runtime;
        const QString lock = runtime.filePath(kBundleID + QStringLiteral(".lock"));
        const QByteArray path = QFile::encodeName(lock);
        if (kind == "folder") {
            ASSERT_EQ(::mkdir(path.constData(), 0755), 0);
            ASSERT_TRUE(QFile(lock + QStringLiteral("/kept")).open(QIODevice::WriteOnly));
        } else if (kind == "pipe") {
            ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
        } else if (kind == "link to nothing") {
            ASSERT_EQ(::symlink("missing", path.constData()), 0);
        } else if (kind == "link to a file") {
            QFile notes(runtime.filePath(QStringLiteral("notes")));
            ASSERT_TRUE(notes.open(QIODevice::WriteOnly) && notes.write("the user's own") > 0);
            ASSERT_TRUE(notes.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            ASSERT_EQ(::symlink("notes", path.constData()), 0);
        } else {
            const int fd = ::open(path.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
            ASSERT_EQ(::fchown(fd, 65534, 65534), 0);
            ::close(fd);
        }
        const QStringList before = describe(lock);
        const QStringList entries = QDir(runtime.path()).entryList(QDir::AllEntries | QDir::System);
        {
            const TemporaryFolder temporary;
            sim::VirtualScheduler scheduler;
            const testing_support::LogRecorder log;
            URLHandoff first(kBundleID, kSchemes, scheduler, runtime.path());
            QSignalSpy spy(&first, &URLHandoff::urlsReceived);
            ASSERT_EQ(first.start({}), URLHandoff::Role::Primary);
            EXPECT_FALSE(first.socketPath().startsWith(runtime.path()));
            const QStringList told = log.messages().filter(lock);
            ASSERT_EQ(told.size(), 1) << log.messages().join('\n').toStdString();
            EXPECT_TRUE(told.first().contains(said)) << told.first().toStdString();

            const QUrl link(QStringLiteral("veilmox://auth?code=past-what-sits-there"));
            EXPECT_EQ(launchLater(runtime.path(), {link}), URLHandoff::Role::HandedOff);
            EXPECT_EQ(received(spy), QList<QUrl>{link});
        }
        EXPECT_EQ(describe(lock), before);
        EXPECT_EQ(QDir(runtime.path()).entryList(QDir::AllEntries | QDir::System), entries);
    }
}

TEST(URLHandoffLock, AFullRuntimeFolderIsSaidToBeFullNotTakenForAnotherInstance)
{
    const TemporaryFolder temporary;
    QTemporaryDir runtime;
    sim::VirtualScheduler scheduler;
    // The disk refuses every byte: Qt's lock file gets none (as on a full disk), and neither does
    // anything written through the file system calls.
    rlimit limits{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limits), 0);
    const auto previousSignal = ::signal(SIGXFSZ, SIG_IGN);
    rlimit none = limits;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
    std::unique_ptr<URLHandoff> running;
    std::optional<URLHandoff::Role> later;
    QStringList messages;
    {
        const testing_support::FailingDisk disk(testing_support::FailingDisk::Step::Write);
        const testing_support::LogRecorder log;
        running = std::make_unique<URLHandoff>(kBundleID, kSchemes, scheduler, runtime.path());
        // Nothing else runs: this instance runs, from elsewhere, and says what is wrong.
        const URLHandoff::Role role = running->start({});
        messages = log.messages();
        EXPECT_EQ(role, URLHandoff::Role::Primary);
        // A later launch in the same plight hands over to it.
        later = launchLater(runtime.path(), {});
    }
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limits), 0);
    ::signal(SIGXFSZ, previousSignal);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.first().contains(runtime.path() + QStringLiteral(" is full")))
        << messages.first().toStdString();
    EXPECT_EQ(later, URLHandoff::Role::HandedOff);
    EXPECT_TRUE(running->isListening());
}

TEST(URLHandoffLock, LaunchesThatKeepTheirLocksInDifferentFoldersFindTheRunningInstance)
{
    const TemporaryFolder temporary;
    sim::VirtualScheduler scheduler;
    // One launch has a runtime folder; another, from a login shell, has only its cache folder.
    QTemporaryDir runtime;
    QTemporaryDir cache;
    const QUrl link(QStringLiteral("veilmox://auth?code=from-a-login-shell"));
    for (const auto& [first, later] : {std::pair(&runtime, &cache), std::pair(&cache, &runtime)}) {
        URLHandoff running(kBundleID, kSchemes, scheduler, first->path());
        QSignalSpy spy(&running, &URLHandoff::urlsReceived);
        ASSERT_EQ(running.start({}), URLHandoff::Role::Primary);
        EXPECT_EQ(launchLater(later->path(), {link}), URLHandoff::Role::HandedOff);
        EXPECT_EQ(received(spy), QList<QUrl>{link});
        EXPECT_TRUE(QDir(later->path()).isEmpty());

        // A launch of another session (another temporary folder) runs on its own.
        const TemporaryFolder elsewhere;
        EXPECT_EQ(launchLater(later->path(), {}), URLHandoff::Role::Primary);
    }
}

TEST(URLHandoffLock, WithoutARuntimeFolderThePrivateFolderIsInTheUsersCacheNotTheSharedOne)
{
    QTemporaryDir dir;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray cache = qgetenv("XDG_CACHE_HOME");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    const QString folder = URLHandoff::defaultRuntimeDirectory();
    qputenv("XDG_CACHE_HOME", cache);
    if (!runtime.isEmpty()) {
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
    if (cache.isEmpty()) {
        qunsetenv("XDG_CACHE_HOME");
    }
    EXPECT_TRUE(folder.startsWith(dir.filePath(QStringLiteral("cache/veilmox/")))) << folder.toStdString();
    struct stat info
    {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(ApplicationBus, TheOwnerOfTheNameTakesOneLinkPerOpenAndALaterInstanceHandsItsLinkOver)
{
    if (const QString missing = testing_support::PrivateSessionBus::missing(); !missing.isEmpty()) {
        SKIP_OR_FAIL_UNDER_CI(missing.toStdString());
    }
    testing_support::PrivateSessionBus bus(QProcessEnvironment::systemEnvironment());
    ASSERT_TRUE(bus.start());
    const QString id = QStringLiteral("test.veilmox.Handler-") + QString::number(::getpid());
    const QString path = ApplicationBus::objectPath(id);
    EXPECT_EQ(path, QStringLiteral("/test/veilmox/Handler_") + QString::number(::getpid()));
    ApplicationBus running(id, kSchemes, bus.connection());
    ASSERT_EQ(running.start({}), ApplicationBus::Role::Primary);
    QSignalSpy spy(&running, &ApplicationBus::urlsReceived);

    // A launcher's Open, from another connection: the first link of the application's schemes.
    const QDBusConnection launcher = QDBusConnection::connectToBus(bus.address(), QStringLiteral("launcher"));
    QDBusMessage open = QDBusMessage::createMethodCall(
        id, path, QStringLiteral("org.freedesktop.Application"), QStringLiteral("Open"));
    open << QStringList{QStringLiteral("https://elsewhere.example/"),
                        QStringLiteral("veilmox://auth?code=a"),
                        QStringLiteral("veilmox://auth?code=b")}
         << QVariantMap();
    QDBusPendingCall call = launcher.asyncCall(open);
    ASSERT_TRUE(QTest::qWaitFor([&] { return call.isFinished(); }, 5000));
    EXPECT_FALSE(call.isError()) << call.error().message().toStdString();
    EXPECT_EQ(received(spy), QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=a"))});

    // A later instance finds the name taken, hands its link over and is told to end.
    spy.clear();
    auto later = std::async(std::launch::async, [&] {
        ApplicationBus second(id, kSchemes, launcher);
        return second.start({QUrl(QStringLiteral("veilmox://auth?code=later"))});
    });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 15000));
    EXPECT_EQ(later.get(), ApplicationBus::Role::HandedOff);
    EXPECT_EQ(received(spy), QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=later"))});
    QDBusConnection::disconnectFromBus(QStringLiteral("launcher"));
}

TEST(DesktopEntry, RegistersTheProgramAsTheBusActivatableHandlerOfItsSchemes)
{
    QTemporaryDir dir;
    const auto registerIn = [&](const QString& executable) {
        return registerURLSchemeHandler(
            kBundleID, QStringLiteral("Veilmox"), executable, {QStringLiteral("Veilmox")}, dir.path());
    };
    ASSERT_EQ(registerIn(QStringLiteral("/opt/veilmox/veilmox")), Registration::Written);
    EXPECT_EQ(registerIn(QStringLiteral("/opt/veilmox/veilmox")), Registration::Unchanged);
    QFile entry(dir.path() + QStringLiteral("/applications/getveilmox.Veilmox.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    for (const char* line : {"\nExec=/opt/veilmox/veilmox %u\n",
                             "\nDBusActivatable=true\n",
                             "\nMimeType=x-scheme-handler/veilmox;\n",
                             "\nType=Application\n"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line;
    }
    QFile service(dir.path() + QStringLiteral("/dbus-1/services/getveilmox.Veilmox.service"));
    ASSERT_TRUE(service.open(QIODevice::ReadOnly));
    EXPECT_EQ(service.readAll(), "[D-BUS Service]\nName=getveilmox.Veilmox\nExec=/opt/veilmox/veilmox\n");
    EXPECT_EQ(QFileInfo(service.fileName()).permissions() & (QFile::WriteGroup | QFile::WriteOther), 0);

    // A path no line of either file can hold is refused before anything is written.
    QTemporaryDir refusedDir;
    for (const char* path : {"/opt/new\nline/veilmox", "/opt/tab\t/veilmox", "/opt/del\x7f/veilmox"}) {
        const testing_support::LogRecorder log;
        EXPECT_EQ(
            registerURLSchemeHandler(
                kBundleID, QStringLiteral("Veilmox"), QString::fromUtf8(path), kSchemes, refusedDir.path()),
            Registration::Failed);
        EXPECT_EQ(log.messages().size(), 1);
    }
    EXPECT_TRUE(QDir(refusedDir.path()).isEmpty());
}

TEST(DesktopEntry, APathThatCannotBeWrittenAsUTF8LeavesTheRegistrationThatIsThere)
{
    QTemporaryDir dir;
    ASSERT_EQ(registerURLSchemeHandler(kBundleID,
                                       QStringLiteral("Veilmox"),
                                       QStringLiteral("/opt/veilmox/veilmox"),
                                       kSchemes,
                                       dir.path()),
              Registration::Written);
    const QString entryPath = dir.path() + QStringLiteral("/applications/getveilmox.Veilmox.desktop");
    const QString servicePath = dir.path() + QStringLiteral("/dbus-1/services/getveilmox.Veilmox.service");
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray entry = contents(entryPath);
    const QByteArray service = contents(servicePath);
    ASSERT_FALSE(entry.isEmpty() || service.isEmpty());

    // Started from a folder whose name holds a byte that is not UTF-8, the program learns its
    // path decoded with a replacement character, or, as Qt finds no such file, not at all.
    const QString decoded = QFile::decodeName(QByteArray("/home/me/caf\xff/veilmox"));
    for (const QString& executable : {decoded, QString(), QStringLiteral("veilmox")}) {
        SCOPED_TRACE(executable.toStdString());
        const testing_support::LogRecorder log;
        EXPECT_EQ(
            registerURLSchemeHandler(kBundleID, QStringLiteral("Veilmox"), executable, kSchemes, dir.path()),
            Registration::Failed);
        EXPECT_EQ(log.messages().size(), 1);
        EXPECT_EQ(contents(entryPath), entry);
        EXPECT_EQ(contents(servicePath), service);
    }
}

// Both files are read by the shell's rules (after the entry's own escapes are undone): no
// character of the path may start a substitution or end its quotes, whoever reads the line.
TEST(DesktopEntry, TheShellReadsBothExecLinesAsThePathAndNothingElse)
{
    QTemporaryDir dir;
    const QStringList folders{QStringLiteral("`echo swapped`"),
                              QStringLiteral("$(echo swapped)"),
                              QStringLiteral("$HOME"),
                              QStringLiteral("say \"hi\""),
                              QStringLiteral("back\\slash"),
                              QStringLiteral("it's")};
    const auto execLine = [](const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("Exec=")) {
                return QString::fromUtf8(line.mid(5));
            }
        }
        return QString();
    };
    // The words a POSIX shell makes of the line.
    const auto words = [](const QString& line) {
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"),
                     QStringLiteral("eval \"set -- $1\"; printf '%s\\n' \"$@\""),
                     QStringLiteral("sh"),
                     line});
        EXPECT_TRUE(shell.waitForFinished(10000));
        return QString::fromUtf8(shell.readAllStandardOutput());
    };
    for (const QString& folder : folders) {
        SCOPED_TRACE(folder.toStdString());
        const QString program = QStringLiteral("/opt/") + folder + QStringLiteral("/veilmox");
        ASSERT_EQ(
            registerURLSchemeHandler(kBundleID, QStringLiteral("Veilmox"), program, kSchemes, dir.path()),
            Registration::Written);
        // The entry: its string escapes undone, the literal % written twice, the link in place of %u.
        QString entry = execLine(dir.path() + QStringLiteral("/applications/getveilmox.Veilmox.desktop"));
        ASSERT_TRUE(entry.endsWith(QStringLiteral(" %u")));
        entry.chop(3);
        entry.replace(QStringLiteral("\\\\"), QStringLiteral("\\"))
            .replace(QStringLiteral("%%"), QStringLiteral("%"));
        EXPECT_EQ(words(entry + QStringLiteral(" veilmox://auth")).toStdString(),
                  (program + QStringLiteral("\nveilmox://auth\n")).toStdString());
        QString service =
            execLine(dir.path() + QStringLiteral("/dbus-1/services/getveilmox.Veilmox.service"));
        service.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        EXPECT_EQ(words(service).toStdString(), (program + QStringLiteral("\n")).toStdString());
    }
}

TEST(DesktopServices, ALinkIsOpenedOnlyWhenTheLaunchersExitStatusSaysSo)
{
    testing_support::FakeLauncher launcher;
    ASSERT_EQ(DesktopServices::launcher(), launcher.path());
    DesktopServices desktop;
    const QUrl page(QStringLiteral("https://account.example/desktop/connect?code_challenge=abc"));
    const auto open = [&] {
        auto answer = std::make_shared<std::optional<bool>>();
        desktop.openURL(page, [answer](bool opened) { *answer = opened; });
        // Started is not opened: the answer comes as the launcher ends.
        EXPECT_FALSE(answer->has_value());
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer->has_value(); }, 10000));
        return answer->value_or(true);
    };
    // xdg-open's statuses: 0 opened, 3 nothing handles the link, 4 the handler failed.
    const std::pair<int, bool> cases[] = {{0, true}, {3, false}, {4, false}, {-SIGKILL, false}};
    for (const auto& [status, opened] : cases) {
        SCOPED_TRACE(status);
        launcher.setExitStatus(status);
        EXPECT_EQ(open(), opened);
    }
    EXPECT_EQ(launcher.links(), (page.toEncoded() + '\n').repeated(4));

    // A launcher that cannot be started at all.
    QFile script(launcher.path());
    ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write("#!/nonexistent/interpreter\n");
    script.close();
    EXPECT_FALSE(open());
}

// Installed under a path with each character the formats treat specially, the program is started
// with that path and the link, both by GLib from the desktop entry and by the bus from the
// service file.
TEST(DesktopEntry, EveryInstallPathSurvivesGLibsAndTheBussReading)
{
    if (const QString missing = testing_support::PrivateSessionBus::missing(); !missing.isEmpty()) {
        SKIP_OR_FAIL_UNDER_CI(missing.toStdString());
    }
    QTemporaryDir dir;
    const QProcessEnvironment environment = testing_support::isolatedEnvironment(dir.path());
    const QString data = environment.value(QStringLiteral("XDG_DATA_HOME"));
    const QStringList folders{QStringLiteral("it's"),
                              QStringLiteral("say \"hi\""),
                              QStringLiteral("back\\slash"),
                              QStringLiteral("$HOME"),
                              QStringLiteral("`id`"),
                              QStringLiteral("100%"),
                              QStringLiteral("50%u"),
                              QStringLiteral("a b  c"),
                              QStringLiteral("~#;|&<>()*?=[]{}!"),
                              QStringLiteral("été")};
    const QString link = QStringLiteral("veilmox://auth?code=round-trip");
    struct Installed
    {
        QString id;
        QString program;
    };
    QList<Installed> installed;
    for (const QString& folder : folders) {
        const QString program =
            dir.path() + QStringLiteral("/install/") + folder + QStringLiteral("/veilmox");
        ASSERT_TRUE(QDir().mkpath(QFileInfo(program).path()));
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        // What it was started as, and with, one line each, beside itself.
        script.write("#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" >> \"$0.ran\"\n");
        script.close();
        ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString id = QStringLiteral("test.veilmox.Path%1").arg(installed.size());
        ASSERT_EQ(registerURLSchemeHandler(id, QStringLiteral("Veilmox"), program, kSchemes, data),
                  Registration::Written)
            << folder.toStdString();
        installed.append({id, program});
    }
    const auto ran = [](const QString& program) {
        QFile record(program + QStringLiteral(".ran"));
        return record.open(QIODevice::ReadOnly) ? QString::fromUtf8(record.readAll()) : QString();
    };
    // The link opened as a browser opens it, with the entry as the handler of its scheme.
    const auto launch = [&](const QProcessEnvironment& launcherEnvironment, const Installed& entry) {
        QFile defaults(environment.value(QStringLiteral("XDG_CONFIG_HOME"))
                       + QStringLiteral("/mimeapps.list"));
        EXPECT_TRUE(defaults.open(QIODevice::WriteOnly));
        defaults.write("[Default Applications]\nx-scheme-handler/veilmox=" + entry.id.toUtf8()
                       + ".desktop\n");
        defaults.close();
        auto gio = std::make_unique<QProcess>();
        gio->setProcessEnvironment(launcherEnvironment);
        gio->start(QStringLiteral("gio"), {QStringLiteral("open"), link});
        return gio;
    };
    const auto started = [&](const Installed& entry, QProcess& gio) {
        const bool recorded = QTest::qWaitFor([&] { return !ran(entry.program).isEmpty(); }, 10000);
        // Over the bus gio waits for an answer that a program which takes no bus name never gives.
        gio.kill();
        gio.waitForFinished(5000);
        return recorded ? ran(entry.program) : QString::fromUtf8(gio.readAllStandardError());
    };

    // Without a bus GLib starts the entry's Exec line.
    for (const Installed& entry : installed) {
        SCOPED_TRACE(entry.program.toStdString());
        EXPECT_EQ(started(entry, *launch(environment, entry)).toStdString(),
                  (entry.program + "\n" + link + "\n").toStdString());
        QFile::remove(entry.program + QStringLiteral(".ran"));
    }

    // Over the bus, GLib asks the bus to start the program, which reads its service file.
    testing_support::PrivateSessionBus bus(environment);
    ASSERT_TRUE(bus.start());
    for (const Installed& entry : installed) {
        SCOPED_TRACE(entry.program.toStdString());
        EXPECT_EQ(started(entry, *launch(bus.environment(), entry)).toStdString(),
                  (entry.program + "\n").toStdString());
    }
}

TEST(WAVReading, ReadsLinearPCMAndRefusesAnythingElse)
{
    // RIFF header, a 16-bit mono 44.1 kHz format chunk, eight bytes of samples.
    const QByteArray wav =
        QByteArray::fromHex("524946462c00000057415645666d7420100000000100010044ac000088580100"
                            "020010006461746108000000"
                            "0100020003000400");
    const auto sound = parseWAV(wav);
    ASSERT_TRUE(sound);
    EXPECT_EQ(std::make_tuple(sound->sampleRate, sound->channels, sound->bitsPerSample),
              std::make_tuple(44100, 1, 16));
    EXPECT_EQ(sound->samples, QByteArray::fromHex("0100020003000400"));

    QByteArray floatFormat = wav;
    floatFormat[20] = 3;
    QByteArray hugeChunk = wav;
    hugeChunk.replace(40, 4, QByteArray::fromHex("ffffff7f"));
    for (const QByteArray& bad :
         {wav.left(wav.size() - 2), floatFormat, hugeChunk, QByteArray("RIFF"), QByteArray()}) {
        EXPECT_FALSE(parseWAV(bad)) << bad.toHex().toStdString();
    }
    QtAudioOutput output;
    EXPECT_EQ(output.makePlayer(QByteArray("not a sound")), nullptr);
}
