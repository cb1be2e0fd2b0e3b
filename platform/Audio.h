#pragma once

#include <QByteArray>

#include <memory>
#include <optional>

namespace platform {

// An audio player over a sound held in memory. Main thread only.
class AudioPlayer
{
public:
    virtual ~AudioPlayer() = default;

    // 0 (silent) to 1.
    virtual void setVolume(double volume) = 0;
    // Readies the output so that play() starts without delay; false when it cannot.
    virtual bool prepareToPlay() = 0;
    // Where the next play() starts, in seconds from the beginning.
    virtual void setCurrentTime(double seconds) = 0;
    // Starts (or restarts) playing from the current time; false when the output refused.
    virtual bool play() = 0;
    virtual bool isPlaying() const = 0;
};

// Makes audio players from the bytes of a sound file.
class AudioOutput
{
public:
    virtual ~AudioOutput() = default;

    // A player for the file's sound; null when the data is not a sound this output can play or
    // when there is nowhere to play it.
    virtual std::unique_ptr<AudioPlayer> makePlayer(const QByteArray& fileData) = 0;
};

// The samples of a linear-PCM WAV file.
struct PCMSound
{
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    QByteArray samples;
};

// Reads a RIFF/WAVE file of 8- or 16-bit linear PCM; none for anything else or a damaged file
// (chunk sizes are checked against the data, never trusted).
std::optional<PCMSound> parseWAV(const QByteArray& fileData);

// Plays sounds on the system's default audio output through Qt Multimedia. Without an output
// device it makes no players: sounds are then silent, never an error.
class QtAudioOutput final : public AudioOutput
{
public:
    std::unique_ptr<AudioPlayer> makePlayer(const QByteArray& fileData) override;
};

} // namespace platform
