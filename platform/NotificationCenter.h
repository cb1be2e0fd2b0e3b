#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

namespace platform {

class RunningApplication;

struct Notification
{
    QString name;
    QVariantMap userInfo;
    // The application a workspace notification is about (its "NSWorkspaceApplicationKey").
    std::shared_ptr<RunningApplication> application;
};

// A subscription; cancelled when destroyed (or by cancel()).
class Cancellable
{
public:
    Cancellable() = default;
    explicit Cancellable(std::function<void()> cancel)
        : m_cancel(std::move(cancel))
    {}
    Cancellable(Cancellable&& other) noexcept
        : m_cancel(std::exchange(other.m_cancel, nullptr))
    {}
    Cancellable& operator=(Cancellable&& other) noexcept
    {
        if (this != &other) {
            cancel();
            m_cancel = std::exchange(other.m_cancel, nullptr);
        }
        return *this;
    }
    Cancellable(const Cancellable&) = delete;
    Cancellable& operator=(const Cancellable&) = delete;
    ~Cancellable() { cancel(); }

    void cancel()
    {
        if (auto c = std::exchange(m_cancel, nullptr)) {
            c();
        }
    }

private:
    std::function<void()> m_cancel;
};

// Named notifications delivered synchronously to every observer of the name, on the poster's
// (main) thread.
class NotificationCenter
{
public:
    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    [[nodiscard]] Cancellable addObserver(const QString& name,
                                          std::function<void(const Notification&)> observer);
    void post(const Notification& notification);

private:
    struct Observer
    {
        std::uint64_t id;
        QString name;
        std::function<void(const Notification&)> callback;
    };
    std::shared_ptr<std::vector<Observer>> m_observers;
    std::uint64_t m_nextID = 1;
};

// Notification names of the workspace and of the application.
inline const QString kWorkspaceDidLaunchApplication =
    QStringLiteral("NSWorkspaceDidLaunchApplicationNotification");
inline const QString kWorkspaceDidTerminateApplication =
    QStringLiteral("NSWorkspaceDidTerminateApplicationNotification");
inline const QString kWorkspaceDidActivateApplication =
    QStringLiteral("NSWorkspaceDidActivateApplicationNotification");
inline const QString kWorkspaceDidDeactivateApplication =
    QStringLiteral("NSWorkspaceDidDeactivateApplicationNotification");
inline const QString kApplicationDidChangeScreenParameters =
    QStringLiteral("NSApplicationDidChangeScreenParametersNotification");

} // namespace platform
