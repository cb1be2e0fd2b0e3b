#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace platform {

// A pending one-shot or repeating timer. Move-only; destroying the handle cancels the timer, so an
// owner that keeps the handle as a member can never be called after it is gone.
class TimerHandle
{
public:
    struct State
    {
        bool active = true;
        std::function<void()> cancel;
    };

    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<State> state)
        : m_state(std::move(state))
    {}
    TimerHandle(TimerHandle&& other) noexcept = default;
    TimerHandle& operator=(TimerHandle&& other) noexcept
    {
        if (this != &other) {
            cancel();
            m_state = std::move(other.m_state);
        }
        return *this;
    }
    TimerHandle(const TimerHandle&) = delete;
    TimerHandle& operator=(const TimerHandle&) = delete;
    ~TimerHandle() { cancel(); }

    void cancel();
    bool isActive() const { return m_state && m_state->active; }

private:
    std::shared_ptr<State> m_state;
};

// Every timer and deferred call of the system goes through one scheduler on the main thread:
// Qt's timers in the running application, a hand-advanced virtual clock in tests.
class Scheduler
{
public:
    virtual ~Scheduler() = default;

    // Monotonic seconds.
    virtual double now() const = 0;
    // The wall-clock date, for timestamps that are stored or sent.
    virtual QDateTime currentDate() const = 0;

    // Runs once after the delay (0 means on a later turn of the main loop).
    [[nodiscard]] virtual TimerHandle after(double seconds, std::function<void()> action) = 0;
    // Runs every interval until cancelled.
    [[nodiscard]] virtual TimerHandle every(double seconds, std::function<void()> action) = 0;

    // Fire-and-forget forms that do nothing once the context object is destroyed.
    void post(QObject* context, std::function<void()> action) { postAfter(0, context, std::move(action)); }
    void postAfter(double seconds, QObject* context, std::function<void()> action);

    // The process-wide scheduler; the application installs a Qt one, tests their own.
    static Scheduler& current();
    static void setCurrent(Scheduler* scheduler);

protected:
    // One-shot timers whose handle nobody keeps; implementations keep them alive until they fire.
    virtual void detach(TimerHandle handle) = 0;
};

// Scheduler backed by Qt timers on the main event loop.
class QtScheduler final : public Scheduler
{
public:
    QtScheduler();
    ~QtScheduler() override;
    QtScheduler(const QtScheduler&) = delete;
    QtScheduler& operator=(const QtScheduler&) = delete;

    double now() const override;
    QDateTime currentDate() const override;
    [[nodiscard]] TimerHandle after(double seconds, std::function<void()> action) override;
    [[nodiscard]] TimerHandle every(double seconds, std::function<void()> action) override;

protected:
    void detach(TimerHandle handle) override;

private:
    struct Detached;
    std::unique_ptr<Detached> m_detached;
    std::unique_ptr<QObject> m_timerParent;
};

} // namespace platform
