#pragma once

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

// A serial queue with its own worker thread: blocks run one at a time, in the order they were
// submitted. Destroying the queue runs the blocks already submitted, then ends the thread (so it
// must not be destroyed from one of its own blocks).
class DispatchQueue final
{
public:
    enum class QualityOfService
    {
        Default,
        Utility,
        UserInitiated,
        UserInteractive
    };

    // The label names the queue wherever it is shown. Thread names hold at most 15 characters
    // on Linux, so the worker thread is named `threadName`, or the label cut to that length.
    explicit DispatchQueue(QString label,
                           QualityOfService qos = QualityOfService::Default,
                           const QString& threadName = QString());
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const QString& label() const { return m_label; }
    const QString& threadName() const { return m_threadName; }
    QualityOfService qualityOfService() const { return m_qos; }

    // From any thread.
    void async(std::function<void()> block);
    // Runs the block on the queue and waits for it, after every block submitted before it.
    void sync(const std::function<void()>& block);
    // The calling thread is this queue's worker.
    bool isCurrent() const;

    static constexpr int kMaxThreadNameLength = 15;

private:
    void run();

    QString m_label;
    QString m_threadName;
    QualityOfService m_qos;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_blocks;
    bool m_stopping = false;
    std::thread m_thread;
};

// The main queue: blocks submitted from any thread run in submission order on the main thread.
class MainQueue
{
public:
    virtual ~MainQueue() = default;
    virtual void async(std::function<void()> block) = 0;
};

// The main queue of the running application, on Qt's main event loop.
class QtMainQueue final : public MainQueue
{
public:
    QtMainQueue();
    ~QtMainQueue() override;
    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    void async(std::function<void()> block) override;

private:
    std::unique_ptr<QObject> m_context;
};

} // namespace platform
