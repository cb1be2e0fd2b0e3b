#pragma once

#include <QImage>
#include <QSize>

#include <memory>

namespace platform {

// Pixel buffers for full-size frames, reused instead of allocated for every frame: a fresh buffer
// of tens of megabytes costs a page fault for every page the first time it is written. A frame
// keeps its buffer until the last QImage sharing its pixels is gone; only then is the buffer
// handed out again, so a frame that someone still holds is never drawn over. Frames may be
// released on any thread; frame() is called on one.
class FramePool
{
public:
    // Keeps at most `spare` unused buffers.
    explicit FramePool(int spare = 2);
    ~FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // A frame of that size in a 32-bit format, owned by the caller alone. Its pixels are
    // whatever an earlier frame left there: the caller draws every one of them, or knows what it
    // left there by the buffer's number, which `buffer` receives when given (a buffer allocated
    // anew gets a number never handed out before). A null image for an empty size, another
    // format, or when memory runs out.
    QImage frame(QSize size, QImage::Format format, quint64* buffer = nullptr);

    // Buffers allocated so far.
    int buffersMade() const;

private:
    struct Shared;
    struct Lease;
    static void giveBack(void* lease);

    std::shared_ptr<Shared> m_shared;
};

} // namespace platform
