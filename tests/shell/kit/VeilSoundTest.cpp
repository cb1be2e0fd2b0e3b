#include "shell/kit/VeilSound.h"

#include "platform/Audio.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>

using kit::VeilSound;
using testing_support::KitEnvironment;

namespace {

quint32 u32(const QByteArray& data, int offset)
{
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

quint16 u16(const QByteArray& data, int offset)
{
    return qFromLittleEndian<quint16>(data.constData() + offset);
}

QList<qint16> samples(const QByteArray& wav)
{
    QList<qint16> values;
    for (qsizetype i = VeilSound::kHeaderBytes; i + 1 < wav.size(); i += 2) {
        values.append(qFromLittleEndian<qint16>(wav.constData() + i));
    }
    return values;
}

// Each test starts without cached players and leaves none behind.
struct SoundEnvironment : KitEnvironment
{
    SoundEnvironment() { VeilSound::forgetPlayers(); }
    ~SoundEnvironment() { VeilSound::forgetPlayers(); }
};

} // namespace

TEST(VeilSound, WritesTheWAVHeaderOfEachCue)
{
    struct Case
    {
        VeilSound::Cue cue;
        int fileBytes;
        quint32 riffSize;
        quint32 dataSize;
    };
    for (const Case& c :
         {Case{VeilSound::Cue::Veil, 9746, 9738, 9702}, Case{VeilSound::Cue::Success, 27386, 27378, 27342}}) {
        const QByteArray wav = VeilSound::makeWAV(c.cue);
        ASSERT_EQ(wav.size(), c.fileBytes);
        EXPECT_EQ(wav.left(4), "RIFF");
        EXPECT_EQ(u32(wav, 4), c.riffSize);
        EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(u32(wav, 16), 16U);
        EXPECT_EQ(u16(wav, 20), 1U);
        EXPECT_EQ(u16(wav, 22), 1U);
        EXPECT_EQ(u32(wav, 24), 44100U);
        EXPECT_EQ(u32(wav, 28), 88200U);
        EXPECT_EQ(u16(wav, 32), 2U);
        EXPECT_EQ(u16(wav, 34), 16U);
        EXPECT_EQ(wav.mid(36, 4), "data");
        EXPECT_EQ(u32(wav, 40), c.dataSize);
        const auto parsed = platform::parseWAV(wav);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->samples.size(), static_cast<qsizetype>(c.dataSize));
    }
}

TEST(VeilSound, SynthesisesTheSamplesOfEachCue)
{
    const QList<qint16> veil = samples(VeilSound::makeWAV(VeilSound::Cue::Veil));
    ASSERT_EQ(veil.size(), 4851);
    EXPECT_EQ(veil.mid(0, 5), (QList<qint16>{156, 311, 462, 606, 743}));
    EXPECT_EQ(*std::max_element(veil.begin(), veil.end()), 2304);
    EXPECT_EQ(*std::min_element(veil.begin(), veil.end()), -2403);

    const QList<qint16> success = samples(VeilSound::makeWAV(VeilSound::Cue::Success));
    ASSERT_EQ(success.size(), 13671);
    EXPECT_EQ(success.mid(0, 5), (QList<qint16>{0, 0, 0, 0, 1}));
    // Far below full scale: the clamp only guards the format.
    for (const qint16 s : success) {
        ASSERT_LT(std::abs(s), 4000);
    }
    EXPECT_EQ(VeilSound::makeWAV(VeilSound::Cue::Veil), VeilSound::makeWAV(VeilSound::Cue::Veil));
}

TEST(VeilSound, KeepsOnePlayerPerCueAndRestartsItOnEveryPlay)
{
    SoundEnvironment env;
    auto& audio = env.t.audio;
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
    EXPECT_EQ(VeilSound::players().size(), 2U);
}

TEST(VeilSound, IsSilentWithoutAnOutputAndTriesAgainLater)
{
    SoundEnvironment env;
    env.t.audio.refuses = true;
    VeilSound::play(VeilSound::Cue::Success);
    EXPECT_TRUE(VeilSound::players().empty()) << "nothing cached";
    env.t.audio.refuses = false;
    VeilSound::play(VeilSound::Cue::Success);
    EXPECT_EQ(VeilSound::players().size(), 1U);
    EXPECT_EQ(env.t.audio.players.front()->plays, 1);

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
