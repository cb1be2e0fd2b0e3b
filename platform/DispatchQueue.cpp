#include "platform/DispatchQueue.h"

#include <QMetaObject>

#include <future>
#include <pthread.h>

namespace platform {

DispatchQueue::DispatchQueue(QString label, QualityOfService qos, const QString& threadName)
    : m_label(std::move(label))
    , m_threadName((threadName.isEmpty() ? m_label : threadName).left(kMaxThreadNameLength))
    , m_qos(qos)
{
    // Started last: the worker reads the fields above.
    m_thread = std::thread([this] { run(); });
}

DispatchQueue::~DispatchQueue()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void DispatchQueue::async(std::function<void()> block)
{
    {
        const std::lock_guard lock(m_mutex);
        m_blocks.push_back(std::move(block));
    }
    m_wake.notify_one();
}

void DispatchQueue::sync(const std::function<void()>& block)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    async([&block, &done] {
        block();
        done.set_value();
    });
    finished.wait();
}

bool DispatchQueue::isCurrent() const
{
    return std::this_thread::get_id() == m_thread.get_id();
}

void DispatchQueue::run()
{
    const QByteArray name = m_threadName.toUtf8();
    pthread_setname_np(pthread_self(), name.constData());
    for (;;) {
        std::function<void()> block;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_blocks.empty(); });
            if (m_blocks.empty()) {
                return;
            }
            block = std::move(m_blocks.front());
            m_blocks.pop_front();
        }
        block();
    }
}

QtMainQueue::QtMainQueue()
    : m_context(std::make_unique<QObject>())
{}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::async(std::function<void()> block)
{
    // Queued calls to an object of the main thread are safe from any thread and run in order.
    QMetaObject::invokeMethod(m_context.get(), std::move(block), Qt::QueuedConnection);
}

} // namespace platform
