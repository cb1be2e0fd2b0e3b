#pragma once

#include "platform/FramePool.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QRegion>

#include <deque>
#include <optional>
#include <vector>

// Paints the focus-stage strip and the masks over the captures of one series, twenty a second.
// A capture whose pixels the system still holds (it keeps its screenshots) is painted over in a
// buffer of our own reused from an earlier frame, and only the pixels that changed since that
// frame are written into it. What changed is learnt by comparing each capture with the one
// before, which reads both but writes nothing; each picture then says where it differs from the
// picture composed before it, so that whoever shows it can redraw only that part. Whoever holds
// a picture leaves its pixels as they are: its buffer comes back to be written in part. A capture
// that changes nothing the picture shows gives the picture before again.
class FrameComposer
{
public:
    struct Frame
    {
        QImage picture;
        // The picture composed before this one (its cache key) and the pixels in which this one
        // differs from it; none when that is not known.
        qint64 changedFrom = 0;
        std::optional<QRegion> changed;
    };

    // The capture with the strip (a black band of that height at the top, in the capture's
    // points) and the masks painted over it; the capture itself when there is nothing to paint.
    Frame compose(QImage capture, std::optional<double> stripHeight, const QList<QRect>& maskRects);

    // Forgets the series: the next picture is written whole and says nothing of what changed.
    void reset();

    // Buffers allocated so far.
    int buffersMade() const { return m_pool.buffersMade(); }

private:
    struct Overlays
    {
        std::optional<double> strip;
        QList<QRect> masks;
        bool operator==(const Overlays&) const = default;
    };

    // Compares the capture with the one before from row `compareFrom` on and writes it into
    // `own` from row `writeFrom` on: the rows whole when what `own` lacks is not known, else
    // only where it lacks something or the capture changed. Returns where the capture changed.
    QRegion copyChanges(const QImage& capture,
                        QImage& own,
                        int compareFrom,
                        int writeFrom,
                        const std::optional<QRegion>& lacking) const;
    // What changed in the pictures composed after picture `number`; none when not known.
    std::optional<QRegion> changesSince(quint64 number) const;

    platform::FramePool m_pool;
    // The capture the last picture was composed from, how it was painted over, and the picture.
    QImage m_capture;
    Overlays m_overlays;
    qint64 m_picture = 0;
    QImage m_last; // the last picture composed in a buffer of ours
    // The pictures composed in order, numbered, and where each differs from the one before.
    quint64 m_count = 0;
    std::deque<std::optional<QRegion>> m_changes; // of pictures m_count - size() + 1 .. m_count
    // Which picture each of the pool's buffers holds, by the buffer's number.
    std::vector<std::pair<quint64, quint64>> m_buffers;
};
