#pragma once

#include <QByteArray>

#include <array>
#include <map>
#include <memory>

namespace platform {
class AudioPlayer;
} // namespace platform

namespace kit {

// The two short sound cues of the onboarding, synthesised in memory as WAV files (linear PCM,
// 44,100 samples per second, mono, 16-bit) rather than loaded: `Veil`, a quick falling blip, and
// `Success`, a soft two-note chime. One player per cue is made on the cue's first successful
// play and kept until the application object goes; without an audio output a cue is silent.
// Main thread only.
class VeilSound
{
public:
    VeilSound() = delete;

    enum class Cue
    {
        Veil,
        Success
    };

    // One tone of a cue: an exponential glide from the start to the end frequency under an
    // exponential envelope that rises over the attack and falls back to the floor at the end.
    struct Partial
    {
        double start = 0;          // seconds from the start of the cue
        double startFrequency = 0; // Hz
        double endFrequency = 0;   // Hz
        double duration = 0;       // seconds
        double peak = 0;           // linear, full scale 1
        double attack = 0;         // seconds
        bool triangle = false;     // triangle wave instead of sine
    };

    static constexpr int kSampleRate = 44100;
    static constexpr int kHeaderBytes = 44;

    static const std::array<Partial, 2>& partials(Cue cue);
    // The complete WAV file of the cue, synthesised once per process.
    static QByteArray makeWAV(Cue cue);
    // Plays the cue from its beginning (restarting it when it still sounds); the two cues can
    // sound together. Never fails visibly.
    static void play(Cue cue);

    // The players made so far, by cue.
    static const std::map<Cue, std::unique_ptr<platform::AudioPlayer>>& players();
    // Drops the players, for when the process's audio output is replaced.
    static void forgetPlayers();

private:
    static QByteArray synthesize(Cue cue);
};

} // namespace kit
