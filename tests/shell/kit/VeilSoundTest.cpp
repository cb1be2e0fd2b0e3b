#include "shell/kit/VeilSound.h"

#include "platform/Audio.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using kit::VeilSound;
using testing_support::KitEnvironment;

namespace {

template <typename T>
QByteArray le(T value)
{
    QByteArray bytes(sizeof(T), '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QList<qint16> samples(const QByteArray& wav)
{
    QList<qint16> values;
    for (qsizetype i = VeilSound::kHeaderBytes; i + 1 < wav.size(); i += 2) {
        values.append(qFromLittleEndian<qint16>(wav.constData() + i));
    }
    return values;
}

} // namespace

TEST(VeilSound, WritesTheWAVBytesOfEachCue)
{
    for (const auto& [cue, dataSize] :
         {std::pair(VeilSound::Cue::Veil, 9702U), std::pair(VeilSound::Cue::Success, 27342U)}) {
        const QByteArray wav = VeilSound::makeWAV(cue);
        // Mono 16-bit linear PCM at 44100 Hz.
        const QByteArray header = "RIFF" + le<quint32>(dataSize + 36) + "WAVEfmt " + le<quint32>(16)
                                  + le<quint16>(1) + le<quint16>(1) + le<quint32>(44100) + le<quint32>(88200)
                                  + le<quint16>(2) + le<quint16>(16) + "data" + le<quint32>(dataSize);
        EXPECT_EQ(wav.size(), 44 + dataSize);
        EXPECT_EQ(wav.left(44).toHex(), header.toHex());
        const auto parsed = platform::parseWAV(wav);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->samples.size(), static_cast<qsizetype>(dataSize));
    }

    const QList<qint16> veil = samples(VeilSound::makeWAV(VeilSound::Cue::Veil));
    ASSERT_EQ(veil.size(), 4851);
    EXPECT_EQ(veil.mid(0, 5), (QList<qint16>{156, 311, 462, 606, 743}));
    EXPECT_EQ(*std::max_element(veil.begin(), veil.end()), 2304);
    EXPECT_EQ(*std::min_element(veil.begin(), veil.end()), -2403);

    const QList<qint16> success = samples(VeilSound::makeWAV(VeilSound::Cue::Success));
    ASSERT_EQ(success.size(), 13671);
    EXPECT_EQ(success.mid(0, 5), (QList<qint16>{0, 0, 0, 0, 1}));
    // Far below full scale: the clamp only guards the format.
    EXPECT_LT(*std::max_element(success.begin(), success.end()), 4000);
    EXPECT_GT(*std::min_element(success.begin(), success.end()), -4000);
}

TEST(VeilSound, PlaysFromOnePlayerPerCueAndIsSilentWithoutAnOutput)
{
    KitEnvironment env;
    VeilSound::forgetPlayers();
    auto& audio = env.t.audio;
    audio.refuses = true;
    VeilSound::play(VeilSound::Cue::Success);
    EXPECT_TRUE(VeilSound::players().empty()) << "nothing cached; tried again later";
    audio.refuses = false;

    VeilSound::play(VeilSound::Cue::Veil);
    VeilSound::play(VeilSound::Cue::Veil);
    VeilSound::play(VeilSound::Cue::Success);
    ASSERT_EQ(audio.players.size(), 2U) << "one per cue";
    const auto& veil = *audio.players[0];
    EXPECT_EQ(veil.data, VeilSound::makeWAV(VeilSound::Cue::Veil));
    EXPECT_EQ(veil.volume, 1.0);
    EXPECT_EQ(veil.prepares, 1);
    EXPECT_EQ(veil.plays, 2);
    EXPECT_EQ(veil.times, (QList<double>{0, 0})) << "rewound before each play";
    EXPECT_EQ(audio.players[1]->data, VeilSound::makeWAV(VeilSound::Cue::Success));
    EXPECT_EQ(audio.players[1]->plays, 1);

    // The host's own output: with or without a device, a cue never fails.
    VeilSound::forgetPlayers();
    platform::QtAudioOutput host;
    platform::Services services = env.t.services();
    services.audio = &host;
    platform::Services::setCurrent(services);
    VeilSound::play(VeilSound::Cue::Veil);
    VeilSound::play(VeilSound::Cue::Veil);
    VeilSound::forgetPlayers();
}

namespace {

// Players that end the process with code 3 when they outlive the application object.
class WatchedOutput final : public platform::AudioOutput
{
    struct Player final : platform::AudioPlayer
    {
        ~Player() override
        {
            if (QCoreApplication::instance() == nullptr) {
                std::_Exit(3);
            }
        }
        void setVolume(double /*volume*/) override {}
        bool prepareToPlay() override { return true; }
        void setCurrentTime(double /*seconds*/) override {}
        bool play() override { return true; }
        bool isPlaying() const override { return false; }
    };

public:
    std::unique_ptr<platform::AudioPlayer> makePlayer(const QByteArray& /*fileData*/) override
    {
        return std::make_unique<Player>();
    }
};

} // namespace

// Run only by the test below, in a process of its own, which then ends as a test process does
// (disabled, so the suite never runs it on its own).
TEST(VeilSoundInItsOwnProcess, DISABLED_PlaysACueAndLeavesThePlayerCached)
{
    KitEnvironment env;
    static WatchedOutput output;
    platform::Services services = env.t.services();
    services.audio = &output;
    platform::Services::setCurrent(services);
    VeilSound::play(VeilSound::Cue::Veil);
    EXPECT_EQ(VeilSound::players().size(), 1U);
}

TEST(VeilSound, PlayersAreReleasedBeforeTheApplicationObjectGoes)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=VeilSoundInItsOwnProcess.*"),
                 QStringLiteral("--gtest_also_run_disabled_tests")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << "3: a player outlived the application object";
}
