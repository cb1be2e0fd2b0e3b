// What the shell needs of the system beyond windows: callback URLs reaching one running instance,
// the desktop entry that makes it their handler, and reading sounds.
#include "platform/Audio.h"
#include "platform/DesktopEntry.h"
#include "platform/URLHandoff.h"
#include "platform/sim/VirtualScheduler.h"

#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace platform;

namespace {

const QString kBundleID = QStringLiteral("getveilmox.Veilmox");

QList<QUrl> received(const QSignalSpy& spy)
{
    QList<QUrl> urls;
    for (const auto& arguments : spy) {
        urls += arguments.at(0).value<QList<QUrl>>();
    }
    return urls;
}

// Writes raw bytes to the running instance, as a misbehaving program could.
void sendRaw(const QString& path, const QByteArray& bytes)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    ASSERT_TRUE(socket.waitForConnected(3000));
    socket.write(bytes);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(3000)) {
    }
    socket.disconnectFromServer();
}

} // namespace

TEST(URLHandoff, TheRunningInstanceTakesTheApplicationsURLsFromLaterOnesAndDropsAnythingElse)
{
    QTemporaryDir dir;
    sim::VirtualScheduler scheduler;
    const auto make = [&] {
        return std::make_unique<URLHandoff>(
            kBundleID, QStringList{QStringLiteral("veilmox")}, scheduler, dir.path());
    };
    // An instance that is gone leaves no claim behind.
    ASSERT_EQ(make()->start({}), URLHandoff::Role::Primary);
    const auto running = make();
    ASSERT_EQ(running->start({}), URLHandoff::Role::Primary);
    QSignalSpy spy(running.get(), &URLHandoff::urlsReceived);
    // From the command line: the application's schemes in any case, short enough.
    const QStringList arguments{QStringLiteral("veilmox://auth?code=abc"),
                                QStringLiteral("VEILMOX://Auth?code=def"),
                                QStringLiteral("https://example.com/"),
                                QStringLiteral("--verbose"),
                                QStringLiteral("veilmox://auth?code=")
                                    + QString(URLHandoff::kMaxURLLength, QLatin1Char('x'))};
    EXPECT_EQ(running->urlsFromArguments(arguments),
              (QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=abc")),
                           QUrl(QStringLiteral("VEILMOX://Auth?code=def"))}));

    // Over the socket: hand-offs that are too big or of other schemes are dropped.

    sendRaw(running->socketPath(), QByteArray(URLHandoff::kMaxMessageBytes + 10, 'v'));
    sendRaw(running->socketPath(), "file:///etc/passwd\nnot a url at all\r\nveilmox://auth?code=kept\r\n");
    ASSERT_TRUE(spy.wait(5000));
    // Let a late delivery of the oversized message show itself, if there were one.
    QCoreApplication::processEvents();
    EXPECT_EQ(received(spy), QList<QUrl>{QUrl(QStringLiteral("veilmox://auth?code=kept"))});

    spy.clear();
    const auto later = make();
    const QList<QUrl> urls{QUrl(QStringLiteral("veilmox://auth?code=one")),
                           QUrl(QStringLiteral("veilmox://other"))};
    EXPECT_EQ(later->start(urls), URLHandoff::Role::HandedOff);
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(received(spy), urls);
}

TEST(DesktopEntry, RegistersTheProgramAsTheHandlerOfItsSchemesQuotingItAsTheFormatRequires)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("/opt/veilmox/veilmox"), QStringLiteral("/opt/veilmox/veilmox")},
        {QStringLiteral("/home/a b/veilmox"), QStringLiteral("\"/home/a b/veilmox\"")},
        {QStringLiteral("/x/100%/v"), QStringLiteral("/x/100%%/v")},
        {QStringLiteral("/x/$HOME/v"), QStringLiteral("\"/x/\\\\$HOME/v\"")},
        {QStringLiteral("/x/a\"b"), QStringLiteral("\"/x/a\\\\\"b\"")},
    };
    for (const auto& [argument, expected] : cases) {
        EXPECT_EQ(desktopExecArgument(argument), expected) << argument.toStdString();
    }

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/applications");
    ASSERT_TRUE(registerURLSchemeHandler(kBundleID,
                                         QStringLiteral("Veilmox"),
                                         QStringLiteral("/opt/veilmox/veilmox"),
                                         {QStringLiteral("Veilmox")},
                                         folder));
    QFile file(folder + QStringLiteral("/getveilmox.Veilmox.desktop"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    for (const char* line : {"\nExec=/opt/veilmox/veilmox %u\n",
                             "\nMimeType=x-scheme-handler/veilmox;\n",
                             "\nType=Application\n"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line;
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
