#include "platform/Audio.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

quint32 readU32(const QByteArray& data, qsizetype offset)
{
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

quint16 readU16(const QByteArray& data, qsizetype offset)
{
    return qFromLittleEndian<quint16>(data.constData() + offset);
}

class QtAudioPlayer final : public AudioPlayer
{
public:
    QtAudioPlayer(const QAudioDevice& device, const QAudioFormat& format, QByteArray samples)
        : m_format(format)
        , m_samples(std::move(samples))
        , m_sink(std::make_unique<QAudioSink>(device, format))
    {
        m_buffer.setData(m_samples);
        m_buffer.open(QIODevice::ReadOnly);
    }

    ~QtAudioPlayer() override
    {
        if (m_sink) {
            m_sink->stop();
        }
    }

    void setVolume(double volume) override { m_sink->setVolume(std::clamp(volume, 0.0, 1.0)); }

    bool prepareToPlay() override { return m_sink->error() == QAudio::NoError; }

    void setCurrentTime(double seconds) override
    {
        const qint32 frameBytes = std::max(1, m_format.bytesPerFrame());
        const double frames = std::isfinite(seconds) ? std::max(0.0, seconds) * m_format.sampleRate() : 0.0;
        const double bytes = std::min(frames * frameBytes, static_cast<double>(m_samples.size()));
        const qint64 aligned = (static_cast<qint64>(bytes) / frameBytes) * frameBytes;
        m_position = aligned;
    }

    bool play() override
    {
        // A sound still playing starts again from the chosen time.
        m_sink->stop();
        m_buffer.seek(m_position);
        m_sink->start(&m_buffer);
        return m_sink->error() == QAudio::NoError;
    }

    bool isPlaying() const override { return m_sink->state() == QAudio::ActiveState; }

private:
    QAudioFormat m_format;
    QByteArray m_samples;
    QBuffer m_buffer;
    std::unique_ptr<QAudioSink> m_sink;
    qint64 m_position = 0;
};

} // namespace

std::optional<PCMSound> parseWAV(const QByteArray& data)
{
    if (data.size() < 12 || !data.startsWith("RIFF") || data.mid(8, 4) != "WAVE") {
        return std::nullopt;
    }
    std::optional<PCMSound> sound;
    bool haveFormat = false;
    PCMSound parsed;
    qsizetype offset = 12;
    while (offset + 8 <= data.size()) {
        const QByteArray id = data.mid(offset, 4);
        const quint32 size = readU32(data, offset + 4);
        const qsizetype body = offset + 8;
        if (size > static_cast<quint64>(data.size() - body)) {
            return std::nullopt;
        }
        if (id == "fmt ") {
            if (size < 16 || readU16(data, body) != 1) {
                return std::nullopt; // not linear PCM
            }
            parsed.channels = readU16(data, body + 2);
            parsed.sampleRate = static_cast<int>(std::min<quint32>(readU32(data, body + 4), 768000));
            parsed.bitsPerSample = readU16(data, body + 14);
            if (parsed.channels < 1 || parsed.channels > 8 || parsed.sampleRate < 1
                || (parsed.bitsPerSample != 8 && parsed.bitsPerSample != 16)) {
                return std::nullopt;
            }
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) {
                return std::nullopt;
            }
            parsed.samples = data.mid(body, size);
            sound = parsed;
            break;
        }
        // Chunks are padded to an even size.
        offset = body + static_cast<qsizetype>(size) + (size % 2);
    }
    return sound;
}

std::unique_ptr<AudioPlayer> QtAudioOutput::makePlayer(const QByteArray& fileData)
{
    const auto sound = parseWAV(fileData);
    if (!sound) {
        return nullptr;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        return nullptr;
    }
    QAudioFormat format;
    format.setSampleRate(sound->sampleRate);
    format.setChannelCount(sound->channels);
    format.setSampleFormat(sound->bitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        return nullptr;
    }
    return std::make_unique<QtAudioPlayer>(device, format, sound->samples);
}

} // namespace platform
