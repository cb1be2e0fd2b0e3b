#include "shell/kit/VeilSound.h"

#include "platform/Audio.h"
#include "platform/Services.h"

#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace kit {

namespace {

std::map<VeilSound::Cue, std::unique_ptr<platform::AudioPlayer>>& playerCache()
{
    static std::map<VeilSound::Cue, std::unique_ptr<platform::AudioPlayer>> cache;
    return cache;
}

bool releaseScheduled = false;

// Players hold the audio output's sinks, which must go while the application object still
// exists: the cache is emptied as the application object is destroyed, not with the process.
void releasePlayers()
{
    VeilSound::forgetPlayers();
    releaseScheduled = false;
}

void appendU32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendU16(QByteArray& out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

// The envelope of a partial `local` seconds after it started.
double envelope(const VeilSound::Partial& p, double local)
{
    constexpr double kFloor = 0.0001;
    if (p.attack > 0 && local < p.attack) {
        return kFloor * std::pow(p.peak / kFloor, local / p.attack);
    }
    return p.peak * std::pow(kFloor / p.peak, (local - p.attack) / std::max(p.duration - p.attack, 0.001));
}

} // namespace

const std::array<VeilSound::Partial, 2>& VeilSound::partials(Cue cue)
{
    static const std::array<Partial, 2> veil{
        Partial{0, 240, 145, 0.11, 0.07, 0, true},
        Partial{0, 920, 560, 0.07, 0.025, 0, false},
    };
    static const std::array<Partial, 2> success{
        Partial{0, 523.25, 523.25, 0.16, 0.05, 0.02, false},
        Partial{0.09, 784, 784, 0.22, 0.055, 0.02, false},
    };
    return cue == Cue::Veil ? veil : success;
}

QByteArray VeilSound::synthesize(Cue cue)
{
    const auto& parts = partials(cue);
    double total = 0;
    for (const Partial& p : parts) {
        total = std::max(total, p.start + p.duration);
    }
    const auto count = static_cast<quint32>(total * kSampleRate);

    QByteArray wav;
    wav.reserve(kHeaderBytes + 2 * static_cast<qsizetype>(count));
    wav.append("RIFF");
    appendU32(wav, 36 + 2 * count);
    wav.append("WAVE");
    wav.append("fmt ");
    appendU32(wav, 16);
    appendU16(wav, 1); // linear PCM
    appendU16(wav, 1); // mono
    appendU32(wav, kSampleRate);
    appendU32(wav, kSampleRate * 2);
    appendU16(wav, 2);
    appendU16(wav, 16);
    wav.append("data");
    appendU32(wav, 2 * count);

    std::vector<double> phase(parts.size(), 0.0); // in cycles
    for (quint32 i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        double s = 0;
        for (std::size_t k = 0; k < parts.size(); ++k) {
            const Partial& p = parts[k];
            const double local = t - p.start;
            if (local < 0 || local >= p.duration) {
                continue; // silent, and its phase stands still
            }
            const double f =
                p.startFrequency * std::pow(p.endFrequency / p.startFrequency, local / p.duration);
            phase[k] += f / kSampleRate;
            double w = std::sin(2 * std::numbers::pi * phase[k]);
            if (p.triangle) {
                w = std::asin(w) * 2 / std::numbers::pi;
            }
            s += envelope(p, local) * w;
        }
        const auto sample = s >= 1 ? qint16{32767} : static_cast<qint16>(std::max(s, -1.0) * 32767);
        appendU16(wav, static_cast<quint16>(sample));
    }
    return wav;
}

QByteArray VeilSound::makeWAV(Cue cue)
{
    static const QByteArray veil = synthesize(Cue::Veil);
    static const QByteArray success = synthesize(Cue::Success);
    return cue == Cue::Veil ? veil : success;
}

void VeilSound::play(Cue cue)
{
    auto& cache = playerCache();
    auto it = cache.find(cue);
    if (it == cache.end()) {
        platform::AudioOutput* output = platform::Services::current().audio;
        if (output == nullptr) {
            return;
        }
        auto player = output->makePlayer(makeWAV(cue));
        if (!player) {
            return; // nothing cached: the next request tries again
        }
        player->setVolume(1.0);
        player->prepareToPlay();
        it = cache.emplace(cue, std::move(player)).first;
        if (!releaseScheduled) {
            qAddPostRoutine(releasePlayers);
            releaseScheduled = true;
        }
    }
    it->second->setCurrentTime(0);
    it->second->play();
}

const std::map<VeilSound::Cue, std::unique_ptr<platform::AudioPlayer>>& VeilSound::players()
{
    return playerCache();
}

void VeilSound::forgetPlayers()
{
    playerCache().clear();
}

} // namespace kit
