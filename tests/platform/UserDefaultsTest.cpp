#include "platform/UserDefaults.h"

#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QPointF>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using platform::InMemoryUserDefaults;
using platform::PlistUserDefaults;

namespace {

QVariantMap everyKind()
{
    return {
        {QStringLiteral("bool"), true},
        {QStringLiteral("integer"), qint64(-42)},
        {QStringLiteral("big"), qint64(4294967296)},
        {QStringLiteral("double"), 0.85},
        {QStringLiteral("string"), QStringLiteral("zoom.us ⌃⌥⌘P")},
        {QStringLiteral("data"), QByteArray("\x00\x01{\"a\":1}", 10)},
        {QStringLiteral("array"), QVariantList{QStringLiteral("a"), qint64(7), false}},
        {QStringLiteral("dictionary"), QVariantMap{{QStringLiteral("12"), QStringLiteral("com.example.A")}}},
    };
}

} // namespace

TEST(UserDefaults, KeepsEveryKindApartAcrossARestart)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("prefs/getveilmox.Veilmox.plist"));
    {
        PlistUserDefaults defaults(path);
        const QVariantMap values = everyKind();
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            ASSERT_TRUE(defaults.setObject(it.value(), it.key())) << it.key().toStdString();
        }
    }
    PlistUserDefaults reopened(path);
    const QVariantMap expected = everyKind();
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant value = reopened.object(it.key());
        EXPECT_EQ(value.typeId(), it.value().typeId()) << it.key().toStdString();
        EXPECT_EQ(value, it.value()) << it.key().toStdString();
    }
    EXPECT_TRUE(reopened.setAsidePath().isEmpty());
}

TEST(UserDefaults, RemovalIsPersistedAndRegisteredValuesShowBeneath)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.plist"));
    {
        PlistUserDefaults defaults(path);
        defaults.setObject(true, QStringLiteral("flag"));
        defaults.removeObject(QStringLiteral("flag"));
    }
    PlistUserDefaults reopened(path);
    EXPECT_FALSE(reopened.hasObject(QStringLiteral("flag")));
    reopened.registerDefaults({{QStringLiteral("AppleFontSmoothing"), 2}});
    EXPECT_EQ(reopened.integerForKey(QStringLiteral("AppleFontSmoothing")), 2);
    EXPECT_FALSE(reopened.dictionaryRepresentation().contains(QStringLiteral("AppleFontSmoothing")));
}

TEST(UserDefaults, DamagedFileIsMovedAsideNotOverwritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.plist"));
    const QByteArray garbage("bplist00 this is not a property list");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    PlistUserDefaults defaults(path);
    EXPECT_TRUE(defaults.dictionaryRepresentation().isEmpty());
    ASSERT_FALSE(defaults.setAsidePath().isEmpty());
    QFile aside(defaults.setAsidePath());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), garbage);

    defaults.setObject(QStringLiteral("cover"), QStringLiteral("panicMode"));
    EXPECT_EQ(PlistUserDefaults(path).stringForKey(QStringLiteral("panicMode")), QStringLiteral("cover"));
}

TEST(UserDefaults, ARootThatIsNotADictionaryCountsAsDamaged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.plist"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>");
    }
    PlistUserDefaults defaults(path);
    EXPECT_FALSE(defaults.setAsidePath().isEmpty());
}

TEST(UserDefaults, ReadsXmlPropertyListsToo)
{
    const QByteArray xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                           "<key>n</key><integer>-5</integer><key>r</key><real>0.5</real>"
                           "<key>b</key><false/></dict></plist>";
    const auto map = platform::plist::readDictionary(xml);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->value(QStringLiteral("n")), QVariant(qint64(-5)));
    EXPECT_EQ(map->value(QStringLiteral("r")), QVariant(0.5));
    EXPECT_EQ(map->value(QStringLiteral("b")).typeId(), QMetaType::Bool);
}

TEST(UserDefaults, RefusesValuesItCannotStore)
{
    InMemoryUserDefaults defaults;
    EXPECT_FALSE(defaults.setObject(std::numeric_limits<double>::quiet_NaN(), QStringLiteral("x")));
    EXPECT_FALSE(
        defaults.setObject(QVariantList{std::numeric_limits<double>::infinity()}, QStringLiteral("x")));
    EXPECT_FALSE(defaults.setObject(QVariant::fromValue(QPointF(1, 2)), QStringLiteral("x")));
    EXPECT_FALSE(defaults.setObject(QVariant(std::numeric_limits<quint64>::max()), QStringLiteral("x")));
    EXPECT_FALSE(defaults.hasObject(QStringLiteral("x")));
}

TEST(UserDefaults, ConvenienceReadersCoerceLikeTheSystemDoes)
{
    InMemoryUserDefaults defaults;
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
}

TEST(UserDefaults, AnnouncesEveryChange)
{
    InMemoryUserDefaults defaults;
    QSignalSpy spy(&defaults, &platform::UserDefaults::didChange);
    defaults.setObject(true, QStringLiteral("a"));
    defaults.removeObject(QStringLiteral("a"));
    defaults.removeObject(QStringLiteral("a"));
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("a"));
}
