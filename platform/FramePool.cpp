#include "platform/FramePool.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

namespace platform {

struct FramePool::Shared
{
    std::mutex mutex;
    struct Buffer
    {
        std::unique_ptr<uchar[]> data; // `bytes` long
        quint64 number = 0;
    };
    std::vector<Buffer> spare;
    qsizetype bytes = 0;
    std::size_t keep = 2;
    int made = 0;
};

// What a frame's pixels go back to once the last image sharing them is gone.
struct FramePool::Lease
{
    std::shared_ptr<Shared> pool;
    uchar* data = nullptr;
    qsizetype bytes = 0;
    quint64 number = 0;
};

FramePool::FramePool(int spare)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->keep = static_cast<std::size_t>(std::max(spare, 0));
}

FramePool::~FramePool() = default;

void FramePool::giveBack(void* lease)
{
    const std::unique_ptr<Lease> returned(static_cast<Lease*>(lease));
    std::unique_ptr<uchar[]> data(returned->data);
    Shared& pool = *returned->pool;
    const std::lock_guard lock(pool.mutex);
    // Buffers of a size no longer asked for are freed.
    if (returned->bytes == pool.bytes && pool.spare.size() < pool.keep) {
        pool.spare.push_back({std::move(data), returned->number});
    }
}

QImage FramePool::frame(QSize size, QImage::Format format, quint64* buffer)
{
    if (size.isEmpty() || QImage::toPixelFormat(format).bitsPerPixel() != 32) {
        return {};
    }
    const qsizetype bytesPerLine = qsizetype{size.width()} * 4;
    const qsizetype bytes = bytesPerLine * size.height();
    std::unique_ptr<uchar[]> data;
    quint64 number = 0;
    {
        const std::lock_guard lock(m_shared->mutex);
        if (bytes != m_shared->bytes) {
            m_shared->spare.clear();
            m_shared->bytes = bytes;
        }
        if (!m_shared->spare.empty()) {
            data = std::move(m_shared->spare.back().data);
            number = m_shared->spare.back().number;
            m_shared->spare.pop_back();
        }
    }
    if (!data) {
        data.reset(new (std::nothrow) uchar[static_cast<std::size_t>(bytes)]);
        if (!data) {
            return {};
        }
        const std::lock_guard lock(m_shared->mutex);
        number = static_cast<quint64>(++m_shared->made);
    }
    if (buffer != nullptr) {
        *buffer = number;
    }
    auto lease = std::make_unique<Lease>(Lease{m_shared, data.get(), bytes, number});
    QImage image(
        data.get(), size.width(), size.height(), bytesPerLine, format, &FramePool::giveBack, lease.get());
    if (image.isNull()) {
        return {}; // the buffer and the lease go with their owners here
    }
    // Both now belong to the image, which gives them back through giveBack().
    static_cast<void>(data.release());
    static_cast<void>(lease.release());
    return image;
}

int FramePool::buffersMade() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->made;
}

} // namespace platform
