// The stores that outlive the program: user defaults and the keychain.
#include "platform/HomeFolder.h"
#include "platform/Keychain.h"
#include "platform/PropertyList.h"
#include "platform/SecretServiceKeychain.h"
#include "platform/UserDefaults.h"
#include "platform/sim/VirtualScheduler.h"
#include "tests/support/DamagedInput.h"
#include "tests/support/FailingDisk.h"
#include "tests/support/PrivateSessionBus.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointF>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <limits>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

QString tempFolder()
{
    return testing_support::temporaryFolderTemplate(QStringLiteral("stores"));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

struct stat statOf(const QString& path)
{
    struct stat info
    {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

constexpr auto kThisDeviceOnly = KeychainAccessibility::AfterFirstUnlockThisDeviceOnly;

} // namespace

TEST(UserDefaults, KeepsEveryKindApartAcrossARestart)
{
    const QVariantMap everyKind{
        {QStringLiteral("bool"), true},
        {QStringLiteral("integer"), qint64(-42)},
        {QStringLiteral("big"), qint64(4294967296)},
        {QStringLiteral("double"), 0.85},
        {QStringLiteral("string"), QStringLiteral("zoom.us ⌃⌥⌘P")},
        {QStringLiteral("data"), QByteArray("\x00\x01{\"a\":1}", 10)},
        // Stored as floating-point seconds from 2001: milliseconds survive, before 2001 as well.
        {QStringLiteral("date"), QDateTime(QDate(2024, 5, 1), QTime(12, 30, 0, 2), Qt::UTC)},
        {QStringLiteral("old date"), QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58, 500), Qt::UTC)},
        {QStringLiteral("array"), QVariantList{QStringLiteral("a"), qint64(7), false}},
        {QStringLiteral("dictionary"), QVariantMap{{QStringLiteral("12"), QStringLiteral("com.example.A")}}},
    };
    QTemporaryDir dir(tempFolder());
    const QString path = dir.filePath(QStringLiteral("prefs/getveilmox.Veilmox.plist"));
    {
        PlistUserDefaults defaults(path);
        for (auto it = everyKind.cbegin(); it != everyKind.cend(); ++it) {
            ASSERT_TRUE(defaults.setObject(it.value(), it.key())) << it.key().toStdString();
        }
        defaults.setObject(true, QStringLiteral("removed"));
        defaults.removeObject(QStringLiteral("removed"));
    }
    PlistUserDefaults reopened(path);
    const QVariantMap stored = reopened.dictionaryRepresentation();
    EXPECT_EQ(stored, everyKind);
    for (auto it = everyKind.cbegin(); it != everyKind.cend(); ++it) {
        EXPECT_EQ(stored.value(it.key()).typeId(), it.value().typeId()) << it.key().toStdString();
    }
    EXPECT_TRUE(reopened.setAsidePath().isEmpty());

    // Registered values show beneath the stored ones without being stored.
    reopened.registerDefaults({{QStringLiteral("AppleFontSmoothing"), 2}, {QStringLiteral("bool"), false}});
    EXPECT_EQ(reopened.integerForKey(QStringLiteral("AppleFontSmoothing")), 2);
    EXPECT_TRUE(reopened.boolForKey(QStringLiteral("bool")));
    EXPECT_EQ(reopened.dictionaryRepresentation(), everyKind);
}

TEST(UserDefaults, AnXMLFilesDecimalsReadTheSameInALanguageThatWritesADecimalComma)
{
    // As in a German session: Qt takes the locale from LANG as the application starts.
    const QByteArray before = ::setlocale(LC_NUMERIC, nullptr);
    const auto restore = qScopeGuard([&before] { ::setlocale(LC_NUMERIC, before.constData()); });
    if (::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        SKIP_OR_FAIL_UNDER_CI("no locale with a decimal comma (de_DE.UTF-8); scripts/setup.sh makes one");
    }
    // As another program or a hand edit leaves the file.
    QTemporaryDir dir(tempFolder());
    const QString path = dir.filePath(QStringLiteral("getveilmox.Veilmox.plist"));
    writeFile(path,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>pinnedWindowTransparency</key><real>0.35</real>"
              "<key>pinnedTransparencyByApp</key>"
              "<dict><key>com.tinyspeck.slackmacgap</key><real>0.65</real></dict>"
              "</dict></plist>\n");
    QVariantMap expected{
        {QStringLiteral("pinnedWindowTransparency"), 0.35},
        {QStringLiteral("pinnedTransparencyByApp"),
         QVariantMap{{QStringLiteral("com.tinyspeck.slackmacgap"), 0.65}}},
    };
    {
        const locale_t threadLocale = ::uselocale(locale_t(nullptr));
        PlistUserDefaults defaults(path);
        EXPECT_EQ(defaults.dictionaryRepresentation(), expected);
        // The thread reads the file in C's numbers and gets its own language back after.
        EXPECT_EQ(::uselocale(locale_t(nullptr)), threadLocale);
        // The first save writes the values as they were read.
        ASSERT_TRUE(defaults.setObject(true, QStringLiteral("pinned")));
    }
    expected.insert(QStringLiteral("pinned"), true);
    EXPECT_EQ(PlistUserDefaults(path).dictionaryRepresentation(), expected);
}

TEST(UserDefaults, WithoutHOMETheSettingsAndTokensGoToTheAccountsHomeFolder)
{
    const QProcessEnvironment before = QProcessEnvironment::systemEnvironment();
    const auto restore = qScopeGuard([&before] {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            before.contains(QLatin1String(name))
                ? qputenv(name, before.value(QLatin1String(name)).toLocal8Bit())
                : qunsetenv(name);
        }
    });
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const std::string home = account->pw_dir;
    for (const char* unusable : {"unset", ""}) {
        SCOPED_TRACE(unusable);
        if (*unusable == '\0') {
            qputenv("HOME", unusable);
        } else {
            qunsetenv("HOME");
        }
        takeHomeFromAccountWhenUnset();
        EXPECT_EQ(PlistUserDefaults::standardFilePath(QStringLiteral("getveilmox.Veilmox")).toStdString(),
                  home + "/.config/veilmox/getveilmox.Veilmox.plist");
        EXPECT_EQ(FileKeychain::standardDirectory().toStdString(), home + "/.local/share/veilmox/keychain");
    }
    // A HOME that is set is the user's choice.
    qputenv("HOME", "/srv/elsewhere");
    takeHomeFromAccountWhenUnset();
    EXPECT_EQ(qgetenv("HOME"), "/srv/elsewhere");
}

TEST(UserDefaults, ADamagedFileIsMovedAsideNotOverwritten)
{
    // Valid but past the size cap: whitespace between the declaration and the list.
    QByteArray oversized = testing_support::nestedXmlPropertyList(1);
    oversized.insert(oversized.indexOf("<plist"), QByteArray(PlistUserDefaults::kMaxFileBytes, ' '));
    struct Case
    {
        const char* name;
        QByteArray bytes;
        const char* says;
    };
    const Case cases[] = {
        {"binary garbage", "bplist00 this is not a property list", "malformed"},
        {"array root",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>",
         "not a dictionary"},
        {"arrays nested 100,000 deep", testing_support::nestedXmlPropertyList(100'000), "nested deeper"},
        {"dictionaries nested 100,000 deep",
         testing_support::nestedXmlPropertyList(100'000, /*dictionaries=*/true),
         "nested deeper"},
        {"binary nested 100,000 deep", testing_support::nestedBinaryPropertyList(100'000), "nested deeper"},
        {"binary that fans out to 2^40 values", testing_support::nestedBinaryPropertyList(40, 2), "elements"},
        {"larger than the cap", oversized, "larger than the 8 MiB limit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir(tempFolder());
        const QString path = dir.filePath(QStringLiteral("d.plist"));
        writeFile(path, c.bytes);
        const testing_support::LogRecorder log;
        PlistUserDefaults defaults(path);
        EXPECT_TRUE(defaults.dictionaryRepresentation().isEmpty());
        ASSERT_FALSE(defaults.setAsidePath().isEmpty());
        EXPECT_TRUE(readFile(defaults.setAsidePath()) == c.bytes);
        ASSERT_EQ(log.messages().size(), 1);
        EXPECT_TRUE(log.messages()[0].contains(QString::fromUtf8(c.says))) << log.messages()[0].toStdString();

        defaults.setObject(QStringLiteral("cover"), QStringLiteral("panicMode"));
        EXPECT_EQ(PlistUserDefaults(path).stringForKey(QStringLiteral("panicMode")), QStringLiteral("cover"));
    }

    // Something that is not a file at all is moved aside too, without waiting on it.
    QTemporaryDir dir(tempFolder());
    const QString fifo = dir.filePath(QStringLiteral("fifo.plist"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    PlistUserDefaults defaults(fifo);
    ASSERT_FALSE(defaults.setAsidePath().isEmpty());
    EXPECT_TRUE(defaults.setObject(true, QStringLiteral("x")));
    EXPECT_TRUE(PlistUserDefaults(fifo).boolForKey(QStringLiteral("x")));
}

// What the file cannot hold costs only itself, wherever it sits.
TEST(PropertyList, AValueTheFormatCannotHoldIsLeftOutAndTheRestWritten)
{
    const QVariant old(QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC));
    QStringList leftOut;
    const auto bytes = plist::writeBinary({{QStringLiteral("kept"), true},
                                           {QStringLiteral("date"), old},
                                           {QStringLiteral("list"), QVariantList{qint64(1), old, qint64(3)}},
                                           {QStringLiteral("map"), QVariantMap{{QStringLiteral("x"), old}}}},
                                          &leftOut);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(plist::readDictionary(*bytes),
              (QVariantMap{{QStringLiteral("kept"), true},
                           {QStringLiteral("list"), QVariantList{qint64(1), qint64(3)}},
                           {QStringLiteral("map"), QVariantMap()}}));
    EXPECT_EQ(leftOut,
              (QStringList{QStringLiteral("date"), QStringLiteral("list/1"), QStringLiteral("map/x")}));
}

TEST(UserDefaults, ASaveThatFailsIsReportedToTheCode)
{
    QTemporaryDir dir(tempFolder());
    PlistUserDefaults defaults(dir.filePath(QStringLiteral("folder/settings.plist")));
    // The settings' folder cannot be made any more: a file stands where it would be.
    writeFile(dir.filePath(QStringLiteral("folder")), "x");
    const testing_support::LogRecorder log;
    EXPECT_FALSE(defaults.setObject(true, QStringLiteral("a")));
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("a"))) << "kept for this run";
    EXPECT_FALSE(defaults.isPersisting());
    EXPECT_FALSE(defaults.removeObject(QStringLiteral("a")));
    EXPECT_TRUE(defaults.removeObject(QStringLiteral("never stored")));
    EXPECT_FALSE(log.messages().isEmpty());
}

TEST(UserDefaults, ASettingsFileThatIsALinkToNothingIsMovedAsideAndSavingResumes)
{
    QTemporaryDir dir(tempFolder());
    const QString path = dir.filePath(QStringLiteral("d.plist"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone/elsewhere.plist")), path));
    const testing_support::LogRecorder log;
    PlistUserDefaults defaults(path);
    ASSERT_FALSE(defaults.setAsidePath().isEmpty());
    EXPECT_TRUE(QFileInfo(defaults.setAsidePath()).isSymLink());
    ASSERT_EQ(log.messages().size(), 1);
    EXPECT_TRUE(log.messages()[0].contains(QStringLiteral("a link to nothing")))
        << log.messages()[0].toStdString();

    EXPECT_TRUE(defaults.setObject(true, QStringLiteral("x")));
    EXPECT_TRUE(defaults.isPersisting());
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_TRUE(PlistUserDefaults(path).boolForKey(QStringLiteral("x")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("gone"))));
}

TEST(UserDefaults, CopiesMovedAsideGoAfterThirtyDaysOrBeyondTheNewestTen)
{
    QTemporaryDir dir(tempFolder());
    const QString path = dir.filePath(QStringLiteral("d.plist"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto copy = [&](qint64 secondsAgo, const QString& suffix = QString()) {
        const QString name = path + QStringLiteral(".damaged-")
                             + now.addSecs(-secondsAgo).toString(QStringLiteral("yyyyMMdd-HHmmss")) + suffix;
        writeFile(name, "damaged");
        return name;
    };
    constexpr qint64 kDay = 24 * 3600;
    QStringList recent; // newest first
    recent << copy(60, QStringLiteral("-1")) << copy(60);
    for (int days = 1; days <= 10; ++days) {
        recent << copy(days * kDay);
    }
    const QString monthOld = copy(31 * kDay);
    // An old copy that is a link goes as itself; a folder moved aside is left to the user.
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString oldLink = monthOld + QStringLiteral("-1");
    ASSERT_TRUE(QFile::link(elsewhere, oldLink));
    const QString oldFolder = monthOld + QStringLiteral("-2");
    ASSERT_TRUE(QDir().mkpath(oldFolder));
    // Names this store never gives, and another file's copies, are left alone.
    const QStringList foreign{path + QStringLiteral(".damaged-by-hand"),
                              dir.filePath(QStringLiteral("other.plist.damaged-20000101-000000"))};
    for (const QString& name : foreign) {
        writeFile(name, "keep");
    }
    writeFile(path, "not a property list");

    const testing_support::LogRecorder log;
    PlistUserDefaults defaults(path);
    ASSERT_FALSE(defaults.setAsidePath().isEmpty());
    const QStringList kept = QStringList{defaults.setAsidePath()} + recent.mid(0, 9)
                             << oldFolder << elsewhere;
    const QStringList gone = recent.mid(9) << monthOld << oldLink;
    for (const QString& name : kept + foreign) {
        EXPECT_TRUE(QFileInfo::exists(name)) << name.toStdString();
    }
    for (const QString& name : gone) {
        EXPECT_FALSE(QFileInfo::exists(name) || QFileInfo(name).isSymLink()) << name.toStdString();
    }
    // A later start with a sound file removes nothing more.
    EXPECT_TRUE(defaults.setObject(true, QStringLiteral("x")));
    PlistUserDefaults again(path);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
              kept.size() + foreign.size() + 1);
}

TEST(UserDefaults, RefusesValuesItCannotStoreAndReadsTheOthersAsTheSystemDoes)
{
    InMemoryUserDefaults defaults;
    for (const QVariant& value : {QVariant(std::numeric_limits<double>::quiet_NaN()),
                                  QVariant(QVariantList{std::numeric_limits<double>::infinity()}),
                                  // Before what the file's dates can hold.
                                  QVariant(QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC)),
                                  QVariant::fromValue(QPointF(1, 2)),
                                  QVariant(std::numeric_limits<quint64>::max())}) {
        EXPECT_FALSE(defaults.setObject(value, QStringLiteral("x"))) << value.typeName();
    }
    EXPECT_FALSE(defaults.hasObject(QStringLiteral("x")));

    // The convenience readers coerce as the system does; every change is announced.
    QSignalSpy changes(&defaults, &UserDefaults::didChange);
    defaults.setObject(QStringLiteral("YES"), QStringLiteral("yes"));
    defaults.setObject(QStringLiteral("0"), QStringLiteral("zeroText"));
    defaults.setObject(qint64(3), QStringLiteral("three"));
    defaults.setObject(2.9, QStringLiteral("almostThree"));
    defaults.setObject(QStringList{QStringLiteral("a")}, QStringLiteral("list"));
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("yes")));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("zeroText")));
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("three")));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("missing")));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("almostThree")), 2);
    EXPECT_EQ(defaults.doubleForKey(QStringLiteral("three")), 3.0);
    EXPECT_EQ(defaults.arrayForKey(QStringLiteral("list")), QVariantList{QStringLiteral("a")});
    EXPECT_FALSE(defaults.stringForKey(QStringLiteral("three")));
    EXPECT_FALSE(defaults.dataForKey(QStringLiteral("yes")));

    // Removing a key that is not there changes nothing.
    defaults.removeObject(QStringLiteral("list"));
    defaults.removeObject(QStringLiteral("list"));
    ASSERT_EQ(changes.count(), 6);
    EXPECT_EQ(changes.last().at(0).toString(), QStringLiteral("list"));
}

// What a save left in the settings' folder besides the file itself (a half-written copy, say).
QStringList leftovers(const QString& folder, const QString& file)
{
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.removeAll(file);
    return names;
}

using testing_support::FailingDisk;

TEST(UserDefaults, ASaveTheDiskRefusesLeavesThePreviousFileWholeAndIsReported)
{
    QTemporaryDir dir(tempFolder());
    const QString path = dir.filePath(QStringLiteral("prefs/getveilmox.Veilmox.plist"));
    QVariantList apps;
    for (int i = 0; i < 300; ++i) {
        apps.append(QStringLiteral("com.example.app%1").arg(i));
    }
    {
        PlistUserDefaults defaults(path);
        defaults.setObject(apps, QStringLiteral("hiddenBundleIDs"));
        defaults.setObject(true, QStringLiteral("onboardingCompleted"));
    }
    const QByteArray saved = readFile(path);
    ASSERT_GT(saved.size(), 4096);
    for (const FailingDisk::Step step : FailingDisk::kEveryStep) {
        SCOPED_TRACE(static_cast<int>(step));
        PlistUserDefaults defaults(path);
        {
            const FailingDisk disk(step);
            const testing_support::LogRecorder log;
            defaults.setObject(QStringLiteral("cover"), QStringLiteral("panicMode"));
            EXPECT_FALSE(defaults.isPersisting());
            ASSERT_EQ(log.messages().size(), 1);
            EXPECT_TRUE(log.messages()[0].contains(QStringLiteral("could not write")))
                << log.messages()[0].toStdString();
        }
        EXPECT_TRUE(readFile(path) == saved);
        EXPECT_EQ(leftovers(QFileInfo(path).path(), QFileInfo(path).fileName()), QStringList());

        // With room again, the next change saves everything, the one that failed too.
        defaults.setObject(true, QStringLiteral("pipVisible"));
        EXPECT_TRUE(defaults.isPersisting());
        const PlistUserDefaults reopened(path);
        EXPECT_EQ(reopened.stringForKey(QStringLiteral("panicMode")), QStringLiteral("cover"));
        EXPECT_EQ(reopened.arrayForKey(QStringLiteral("hiddenBundleIDs")), apps);
        writeFile(path, saved);
    }
}

// A change the full disk refused is kept and saved by itself once there is room, without another
// change, however long it lasted; one still unsaved when the application quits is saved as the
// store goes, or said to be lost when it still cannot be.
TEST(UserDefaults, AChangeTheDiskRefusedIsSavedByItselfOnceThereIsRoomOrAtTheLatestAtQuit)
{
    QTemporaryDir dir(tempFolder());
    const QString path = dir.filePath(QStringLiteral("prefs/getveilmox.Veilmox.plist"));
    PlistUserDefaults(path).setObject(true, QStringLiteral("onboardingCompleted"));
    const QByteArray before = readFile(path);
    const QVariantList hidden{QStringLiteral("com.tinyspeck.slackmacgap")};
    sim::VirtualScheduler scheduler;
    {
        const testing_support::LogRecorder log;
        PlistUserDefaults defaults(path, &scheduler);
        {
            const FailingDisk disk(FailingDisk::Step::Write);
            EXPECT_FALSE(defaults.setObject(hidden, QStringLiteral("hiddenBundleIDs")));
            // An hour of tries, still full.
            scheduler.advance(3600);
        }
        EXPECT_TRUE(readFile(path) == before);
        EXPECT_FALSE(defaults.isPersisting());
        // However long the disk was full, the next try is within the minute.
        scheduler.advance(PlistUserDefaults::kLongestRetryDelay);
        EXPECT_TRUE(defaults.isPersisting());
        EXPECT_EQ(PlistUserDefaults(path).arrayForKey(QStringLiteral("hiddenBundleIDs")), hidden);
        // One line that the changes wait, one that they are saved.
        ASSERT_EQ(log.messages().size(), 2) << log.messages().join('\n').toStdString();
        EXPECT_TRUE(log.messages()[0].contains(QStringLiteral("could not write")));
        EXPECT_TRUE(log.messages()[1].contains(QStringLiteral("saved")));
    }
    {
        PlistUserDefaults defaults(path, &scheduler);
        const FailingDisk disk(FailingDisk::Step::Write);
        EXPECT_FALSE(defaults.setObject(true, QStringLiteral("pipVisible")));
        // The application quits with room on the disk again.
    }
    const PlistUserDefaults reopened(path);
    EXPECT_TRUE(reopened.boolForKey(QStringLiteral("pipVisible")));
    EXPECT_EQ(reopened.arrayForKey(QStringLiteral("hiddenBundleIDs")), hidden);

    // Still full as it quits: the file stays whole, and the log says the changes are not saved.
    const QByteArray saved = readFile(path);
    const testing_support::LogRecorder log;
    {
        const FailingDisk disk(FailingDisk::Step::Write);
        PlistUserDefaults(path, &scheduler).setObject(false, QStringLiteral("pipVisible"));
    }
    EXPECT_TRUE(readFile(path) == saved);
    ASSERT_EQ(log.messages().size(), 2) << log.messages().join('\n').toStdString();
    EXPECT_TRUE(log.messages()[1].contains(path) && log.messages()[1].contains(QStringLiteral("not saved")))
        << log.messages()[1].toStdString();
}

TEST(UserDefaults, TheFileAndItsFolderArePrivateWhateverTheUmask)
{
    QTemporaryDir dir(tempFolder());
    const mode_t previousUmask = ::umask(0);
    // A new folder and file.
    const QString fresh = dir.filePath(QStringLiteral("config/veilmox/a.plist"));
    PlistUserDefaults(fresh).setObject(true, QStringLiteral("x"));
    EXPECT_EQ(statOf(QFileInfo(fresh).path()).st_mode & 0777, 0700u);
    EXPECT_EQ(statOf(fresh).st_mode & 0777, 0600u);

    // Those an older version left open to everyone: the file is closed at once, the folder with
    // the next save.
    const QString older = dir.filePath(QStringLiteral("older/b.plist"));
    {
        PlistUserDefaults(older).setObject(true, QStringLiteral("x"));
    }
    ::chmod(QFile::encodeName(QFileInfo(older).path()).constData(), 0755);
    ::chmod(QFile::encodeName(older).constData(), 0644);
    PlistUserDefaults reopened(older);
    EXPECT_EQ(statOf(older).st_mode & 0777, 0600u);
    reopened.setObject(false, QStringLiteral("x"));
    EXPECT_EQ(statOf(QFileInfo(older).path()).st_mode & 0777, 0700u);
    EXPECT_EQ(statOf(older).st_mode & 0777, 0600u);

    // Even a umask that leaves nothing leaves the owner both.
    ::umask(0777);
    const QString tight = dir.filePath(QStringLiteral("tight/c.plist"));
    PlistUserDefaults(tight).setObject(true, QStringLiteral("x"));
    ::umask(previousUmask);
    EXPECT_EQ(statOf(QFileInfo(tight).path()).st_mode & 0777, 0700u);
    EXPECT_EQ(statOf(tight).st_mode & 0777, 0600u);
    EXPECT_TRUE(PlistUserDefaults(tight).boolForKey(QStringLiteral("x")));
}

// The desktop's Secret Service is tested only on the private session bus with its own unlocked
// keyring that scripts/run-tests.sh starts, never against a user's own keyring; CI has it.
#define SKIP_WITHOUT_TEST_SECRET_SERVICE()                                                                   \
    if (qgetenv("VEILMOX_TEST_SESSION_BUS") != "private") {                                                  \
        SKIP_OR_FAIL_UNDER_CI(                                                                               \
            "needs the private session bus with an unlocked keyring of scripts/run-tests.sh");               \
    }

// The keychain's contract, held by every store: in memory (tests), the file (no Secret Service)
// and the desktop's Secret Service.
class KeychainStores : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override
    {
        if (GetParam() == "File") {
            store = std::make_unique<FileKeychain>(dir.path() + QStringLiteral("/keychain"));
        } else if (GetParam() == "InMemory") {
            store = std::make_unique<InMemoryKeychain>();
        } else {
            SKIP_WITHOUT_TEST_SECRET_SERVICE();
            store = SecretServiceKeychain::open();
            ASSERT_NE(store, nullptr) << "the private session bus has no Secret Service";
        }
    }
    void TearDown() override
    {
        for (const QString& name : {service, other}) {
            for (const QString& account : {QStringLiteral("a"), QStringLiteral("b")}) {
                if (store) {
                    store->deleteItem({name, account});
                }
            }
        }
    }

    QTemporaryDir dir{tempFolder()};
    std::unique_ptr<Keychain> store;
    // Names of this run only: a shared keyring may hold items of other runs.
    const QString service = QStringLiteral("svc-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString other = QStringLiteral("other-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
};

INSTANTIATE_TEST_SUITE_P(Each,
                         KeychainStores,
                         ::testing::Values("InMemory", "File", "SecretService"),
                         [](const auto& param) { return param.param; });

TEST_P(KeychainStores, KeyItemsByServiceAndAccount)
{
    KeychainItem found;
    EXPECT_EQ(store->copyMatching({service, "a"}, &found), errSecItemNotFound);
    EXPECT_EQ(store->update({service, "a"}, "x"), errSecItemNotFound);
    ASSERT_EQ(store->add(KeychainItem{service, "a", "one", KeychainAccessibility::AfterFirstUnlock}),
              errSecSuccess);
    ASSERT_EQ(store->add(KeychainItem{other, "a", "two", kThisDeviceOnly}), errSecSuccess);
    ASSERT_EQ(store->add(KeychainItem{service, "b", QByteArray("\xff\0t", 3), kThisDeviceOnly}),
              errSecSuccess);
    EXPECT_EQ(store->add(KeychainItem{service, "a", "again", kThisDeviceOnly}), errSecDuplicateItem);
    ASSERT_EQ(store->copyMatching({other, "a"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "two");
    ASSERT_EQ(store->copyMatching({service, "b"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, QByteArray("\xff\0t", 3));
    EXPECT_EQ(store->copyMatching({service, "c"}, &found), errSecItemNotFound);
    EXPECT_EQ(store->copyMatching({"", "a"}, &found), errSecParam);

    // An update replaces the data and keeps the accessibility.
    ASSERT_EQ(store->update({service, "a"}, "new"), errSecSuccess);
    ASSERT_EQ(store->copyMatching({service, "a"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "new");
    EXPECT_EQ(found.accessible, KeychainAccessibility::AfterFirstUnlock);

    EXPECT_EQ(store->deleteItem({service, "a"}), errSecSuccess);
    EXPECT_EQ(store->deleteItem({service, "a"}), errSecItemNotFound);
    EXPECT_EQ(store->copyMatching({service, "a"}, nullptr), errSecItemNotFound);
    EXPECT_EQ(store->copyMatching({service, "b"}, nullptr), errSecSuccess);
}

TEST(SecretServiceKeychain, IsTheUsersStoreWhenOneAnswersAndTakesOverTheFilesItems)
{
    SKIP_WITHOUT_TEST_SECRET_SERVICE();
    QTemporaryDir dir(tempFolder());
    const QString service = QStringLiteral("svc-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    FileKeychain file(dir.path() + QStringLiteral("/keychain"));
    ASSERT_EQ(file.add(KeychainItem{service, "a", "from the file", kThisDeviceOnly}), errSecSuccess);
    ASSERT_EQ(file.add(KeychainItem{service, "b", "older", kThisDeviceOnly}), errSecSuccess);
    const auto secrets = SecretServiceKeychain::open();
    ASSERT_NE(secrets, nullptr);
    ASSERT_EQ(secrets->add(KeychainItem{service, "b", "kept", kThisDeviceOnly}), errSecSuccess);

    const std::unique_ptr<Keychain> users = openUserKeychain(file.directory());
    ASSERT_EQ(dynamic_cast<FileKeychain*>(users.get()), nullptr);
    KeychainItem found;
    ASSERT_EQ(users->copyMatching({service, "a"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "from the file");
    ASSERT_EQ(users->copyMatching({service, "b"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "kept");
    EXPECT_FALSE(QFileInfo::exists(file.filePath()));
    users->deleteItem({service, "a"});
    users->deleteItem({service, "b"});
}

TEST(FileKeychain, KeepsItsSecretsOwnerOnlyAndReplacesItsFileAtomically)
{
    QTemporaryDir dir(tempFolder());
    // A folder that already exists with loose permissions is closed before anything goes in.
    const QString folder = dir.path() + QStringLiteral("/keychain");
    ASSERT_TRUE(QDir().mkpath(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    FileKeychain first(folder);
    ASSERT_EQ(first.add(KeychainItem{"svc", "a", "one", kThisDeviceOnly}), errSecSuccess);
    EXPECT_EQ(statOf(folder).st_mode & 0777, 0700u);
    EXPECT_EQ(statOf(first.filePath()).st_mode & 0777, 0600u);
    // A store made where no folder exists yet creates it closed.
    FileKeychain fresh(dir.path() + QStringLiteral("/new/keychain"));
    ASSERT_EQ(fresh.add(KeychainItem{"svc", "a", "secret", kThisDeviceOnly}), errSecSuccess);
    EXPECT_EQ(statOf(fresh.directory()).st_mode & 0777, 0700u);

    // Another instance sees the same items; a change is a new file renamed into place, never
    // a rewrite of the old one in place.
    const ino_t before = statOf(first.filePath()).st_ino;
    FileKeychain second(folder);
    ASSERT_EQ(second.update({"svc", "a"}, "two"), errSecSuccess);
    EXPECT_NE(statOf(first.filePath()).st_ino, before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"login.keychain.plist"});
    KeychainItem found;
    ASSERT_EQ(first.copyMatching({"svc", "a"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "two");
}

TEST(FileKeychain, AChangeTheDiskRefusesIsAnErrorAndKeepsTheStoredItems)
{
    QTemporaryDir dir(tempFolder());
    FileKeychain store(dir.path() + QStringLiteral("/keychain"));
    ASSERT_EQ(store.add(KeychainItem{"svc", "access_token", "old access", kThisDeviceOnly}), errSecSuccess);
    ASSERT_EQ(store.add(KeychainItem{"svc", "refresh_token", "old refresh", kThisDeviceOnly}), errSecSuccess);
    const QByteArray saved = readFile(store.filePath());
    const char* const steps[] = {"write", "write", "flush", "rename"};
    for (const FailingDisk::Step step : FailingDisk::kEveryStep) {
        SCOPED_TRACE(static_cast<int>(step));
        const FailingDisk disk(step);
        const testing_support::LogRecorder log;
        EXPECT_EQ(store.update({"svc", "access_token"}, "new access"), errSecIO);
        EXPECT_EQ(store.add(KeychainItem{"svc", "other", "x", kThisDeviceOnly}), errSecIO);
        EXPECT_EQ(store.deleteItem({"svc", "refresh_token"}), errSecIO);
        // The caller logs each failure once, with the reason the store gives.
        EXPECT_EQ(log.messages(), QStringList());
        EXPECT_TRUE(store.failureReason().contains(store.filePath())) << store.failureReason().toStdString();
        EXPECT_TRUE(store.failureReason().contains(QLatin1String(steps[static_cast<int>(step)])))
            << store.failureReason().toStdString();
        EXPECT_TRUE(readFile(store.filePath()) == saved);
        EXPECT_EQ(leftovers(store.directory(), QStringLiteral("login.keychain.plist")), QStringList());
    }
    KeychainItem found;
    ASSERT_EQ(store.copyMatching({"svc", "access_token"}, &found), errSecSuccess);
    EXPECT_EQ(found.data, "old access");
}

TEST(FileKeychain, DeletingWhatLeavesNothingNeedsNoRoomOnTheDisk)
{
    QTemporaryDir dir(tempFolder());
    FileKeychain store(dir.path() + QStringLiteral("/keychain"));
    // A disk with no room left, or none that a rename can take.
    for (const FailingDisk::Step step :
         {FailingDisk::Step::Write, FailingDisk::Step::PartialWrite, FailingDisk::Step::Rename}) {
        SCOPED_TRACE(static_cast<int>(step));
        ASSERT_EQ(store.add(KeychainItem{"svc", "access_token", "a", kThisDeviceOnly}), errSecSuccess);
        ASSERT_EQ(store.add(KeychainItem{"svc", "refresh_token", "r", kThisDeviceOnly}), errSecSuccess);
        const FailingDisk disk(step);
        // One of two would leave the other behind, and rewriting the file needs room.
        EXPECT_EQ(store.deleteItem({"svc", "access_token"}), errSecIO);
        // Both at once leave nothing: the file goes, which needs none.
        EXPECT_EQ(store.deleteItems({{"svc", "access_token"}, {"svc", "refresh_token"}, {"svc", "absent"}}),
                  errSecSuccess);
        EXPECT_FALSE(QFileInfo::exists(store.filePath()));
        EXPECT_EQ(store.copyMatching({"svc", "refresh_token"}, nullptr), errSecItemNotFound);
        EXPECT_EQ(store.deleteItems({{"svc", "access_token"}}), errSecItemNotFound);
    }

    // The last item alone goes the same way.
    ASSERT_EQ(store.add(KeychainItem{"svc", "a", "1", kThisDeviceOnly}), errSecSuccess);
    const FailingDisk disk(FailingDisk::Step::Write);
    EXPECT_EQ(store.deleteItem({"svc", "a"}), errSecSuccess);
    EXPECT_FALSE(QFileInfo::exists(store.filePath()));
}

TEST(FileKeychain, ASaveAKillCutShortLeavesNoCopyOfItsTokensPastTheNextStartAndNothingElseGoes)
{
    QTemporaryDir dir(tempFolder());
    FileKeychain store(dir.path() + QStringLiteral("/keychain"));
    // Saves killed between writing their new file and renaming it into place (owner-only,
    // holding the pair).
    QStringList unfinished;
    {
        testing_support::CutShortSaves cut;
        EXPECT_NE(store.add(KeychainItem{"svc", "refresh_token", "r-1", kThisDeviceOnly}), errSecSuccess);
        EXPECT_NE(store.add(KeychainItem{"svc", "access_token", "eyJhbGciOiJIUzI1NiJ9", kThisDeviceOnly}),
                  errSecSuccess);
        unfinished = cut.leaveBehind();
    }
    ASSERT_EQ(unfinished.size(), 2);
    for (const QString& path : unfinished) {
        EXPECT_TRUE(readFile(path).startsWith("bplist00"));
    }
    // Beside them, what the user or another program put there: a copy, and names that only look
    // like a save's.
    const QStringList others{QStringLiteral("login.keychain.plist.backup"),
                             QStringLiteral("login.keychain.plist.Ab12Cd"),
                             QStringLiteral("login.keychain.plist.aZ09xY"),
                             QStringLiteral("login.keychain.plist.damaged-20260101-000000"),
                             QStringLiteral("login.keychain.plist.aZ09x"),
                             QStringLiteral("notes.aZ09xY")};
    for (const QString& other : others) {
        writeFile(store.directory() + QLatin1Char('/') + other, "not a save");
        ::chmod(QFile::encodeName(store.directory() + QLatin1Char('/') + other).constData(), 0600);
    }
    const auto entries = [&store] {
        return QDir(store.directory()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    };

    // The next start removes them (whichever store it then uses), and nothing else.
    const std::unique_ptr<Keychain> users = openUserKeychain(store.directory());
    for (const QString& path : unfinished) {
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    }
    QStringList expected = others;
    expected.sort();
    EXPECT_EQ(entries(), expected);
    for (const QString& other : others) {
        EXPECT_EQ(readFile(store.directory() + QLatin1Char('/') + other), "not a save");
    }
}

TEST(FileKeychain, WhatCannotBeReadIsMovedAsideInsideTheFolderNeverFollowedAndGoneAtTheEnd)
{
    QTemporaryDir dir(tempFolder());
    const QString outside = dir.path() + QStringLiteral("/outside");
    const QByteArray tokens = FileKeychain(dir.path() + QStringLiteral("/source"))
                                          .add(KeychainItem{"svc", "a", "token text", kThisDeviceOnly})
                                      == errSecSuccess
                                  ? readFile(dir.path() + QStringLiteral("/source/login.keychain.plist"))
                                  : QByteArray();
    ASSERT_FALSE(tokens.isEmpty());
    writeFile(outside, tokens);
    struct Case
    {
        const char* name;
        std::function<void(const QString& path)> plant;
    };
    const Case cases[] = {
        {"a damaged file",
         [](const QString& path) {
             writeFile(path, "not a property list");
         }},
        {"a file past the size cap",
         [&](const QString& path) {
             writeFile(path, tokens + QByteArray(FileKeychain::kMaximumFileSize, ' '));
         }},
        {"a folder",
         [](const QString& path) {
             QDir().mkpath(path + QStringLiteral("/inner"));
         }},
        {"a pipe",
         [](const QString& path) {
             ::mkfifo(QFile::encodeName(path).constData(), 0600);
         }},
        {"a link to a store elsewhere",
         [&](const QString& path) {
             QFile::link(outside, path);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileKeychain store(dir.path() + QStringLiteral("/") + QString::fromLatin1(c.name).replace(' ', '-'));
        ASSERT_TRUE(QDir().mkpath(store.directory()));
        c.plant(store.filePath());
        EXPECT_EQ(store.copyMatching({"svc", "a"}, nullptr), errSecItemNotFound);
        ASSERT_TRUE(store.setAsidePath().startsWith(store.directory() + QLatin1Char('/')));
        ASSERT_EQ(store.add(KeychainItem{"svc", "a", "fresh", kThisDeviceOnly}), errSecSuccess);
        EXPECT_EQ(store.copyMatching({"svc", "a"}, nullptr), errSecSuccess);
        EXPECT_FALSE(QFileInfo(store.filePath()).isSymLink());
        // The end of the session takes the copies with it, and nothing they point at.
        store.discardSetAsideCopies();
        EXPECT_EQ(QDir(store.directory()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                  QStringList{"login.keychain.plist"});
    }
    EXPECT_EQ(readFile(outside), tokens);

    // A folder that is a link is not used at all.
    const QString linked = dir.path() + QStringLiteral("/linked");
    ASSERT_TRUE(QFile::link(dir.path() + QStringLiteral("/source"), linked));
    FileKeychain throughLink(linked);
    EXPECT_EQ(throughLink.copyMatching({"svc", "a"}, nullptr), errSecIO);
    EXPECT_EQ(throughLink.add(KeychainItem{"svc", "b", "x", kThisDeviceOnly}), errSecIO);
    KeychainItem found;
    ASSERT_EQ(FileKeychain(dir.path() + QStringLiteral("/source")).copyMatching({"svc", "b"}, &found),
              errSecItemNotFound);
}
