#include "platform/Scheduler.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cmath>
#include <vector>

namespace platform {

void TimerHandle::cancel()
{
    if (!m_state) {
        return;
    }
    const auto state = std::move(m_state);
    if (state->active) {
        state->active = false;
        if (state->cancel) {
            state->cancel();
        }
    }
    state->cancel = nullptr;
}

namespace {
Scheduler* gCurrent = nullptr;
} // namespace

Scheduler& Scheduler::current()
{
    if (gCurrent == nullptr) {
        static QtScheduler fallback;
        gCurrent = &fallback;
    }
    return *gCurrent;
}

void Scheduler::setCurrent(Scheduler* scheduler)
{
    gCurrent = scheduler;
}

void Scheduler::postAfter(double seconds, QObject* context, std::function<void()> action)
{
    const bool hasContext = context != nullptr;
    QPointer<QObject> guard(context);
    detach(after(seconds, [guard, hasContext, action = std::move(action)] {
        if (hasContext && guard.isNull()) {
            return;
        }
        action();
    }));
}

struct QtScheduler::Detached
{
    std::vector<TimerHandle> handles;
};

QtScheduler::QtScheduler()
    : m_detached(std::make_unique<Detached>())
    , m_timerParent(std::make_unique<QObject>())
{}

QtScheduler::~QtScheduler() = default;

double QtScheduler::now() const
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

QDateTime QtScheduler::currentDate() const
{
    return QDateTime::currentDateTimeUtc();
}

namespace {

int toMilliseconds(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0) {
        return 0;
    }
    return static_cast<int>(std::min(std::llround(seconds * 1000.0), static_cast<long long>(INT32_MAX)));
}

TimerHandle startTimer(QObject* parent, double seconds, bool repeating, std::function<void()> action)
{
    auto state = std::make_shared<TimerHandle::State>();
    auto* timer = new QTimer(parent);
    timer->setSingleShot(!repeating);
    timer->setTimerType(Qt::PreciseTimer);
    QPointer<QTimer> guard(timer);
    std::weak_ptr<TimerHandle::State> weakState = state;
    QObject::connect(
        timer, &QTimer::timeout, timer, [weakState, repeating, guard, action = std::move(action)] {
            const auto s = weakState.lock();
            if (!s || !s->active) {
                return;
            }
            if (!repeating) {
                s->active = false;
                s->cancel = nullptr;
                if (guard) {
                    guard->deleteLater();
                }
            }
            action();
        });
    state->cancel = [guard] {
        if (guard) {
            guard->stop();
            guard->deleteLater();
        }
    };
    timer->start(toMilliseconds(seconds));
    return TimerHandle(state);
}

} // namespace

TimerHandle QtScheduler::after(double seconds, std::function<void()> action)
{
    return startTimer(m_timerParent.get(), seconds, false, std::move(action));
}

TimerHandle QtScheduler::every(double seconds, std::function<void()> action)
{
    return startTimer(m_timerParent.get(), seconds, true, std::move(action));
}

void QtScheduler::detach(TimerHandle handle)
{
    auto& handles = m_detached->handles;
    std::erase_if(handles, [](const TimerHandle& h) { return !h.isActive(); });
    handles.push_back(std::move(handle));
}

} // namespace platform
