#pragma once

#include "capture/ShareMaskStore.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace testing_support {

// Masks kept in memory with the state object's one-step undo of removals.
class InMemoryMaskStore final : public ShareMaskStore
{
public:
    const QList<ShareMask>& shareMasks() const override { return masks; }
    bool canUndoShareMaskRemoval() const override { return !removed.isEmpty(); }

    void addShareMask(const ShareMask& mask) override
    {
        removed.clear();
        masks.append(mask);
        changed();
    }

    void updateShareMask(const ShareMask& mask) override
    {
        const auto it =
            std::find_if(masks.begin(), masks.end(), [&mask](const ShareMask& m) { return m.id == mask.id; });
        if (it != masks.end()) {
            removed.clear();
            *it = mask;
            ++updates;
            changed();
        }
    }

    void removeShareMask(const QUuid& id) override
    {
        take([&id](const ShareMask& m) { return m.id == id; });
    }
    void clearShareMasks() override
    {
        take([](const ShareMask&) { return true; });
    }

    void undoShareMaskRemoval() override
    {
        if (!removed.isEmpty()) {
            masks += std::exchange(removed, {});
            changed();
        }
    }

    void observeShareMasks(QObject* context, std::function<void()> handler) override
    {
        m_observers.emplace_back(context, std::move(handler));
    }

    QList<ShareMask> masks;
    QList<ShareMask> removed; // what an undo brings back
    int updates = 0;

private:
    // Sets the matching masks aside for an undo.
    void take(const std::function<bool(const ShareMask&)>& matches)
    {
        const auto kept = std::stable_partition(masks.begin(), masks.end(), std::not_fn(matches));
        if (kept != masks.end()) {
            removed = QList<ShareMask>(kept, masks.end());
            masks.erase(kept, masks.end());
            changed();
        }
    }

    void changed()
    {
        const auto observers = m_observers;
        for (const auto& [context, handler] : observers) {
            if (!context.isNull()) {
                handler();
            }
        }
    }

    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> m_observers;
};

// A mouse on the editor's surface, pointing in the surface's coordinates. Like the window
// system, a press goes to the frontmost widget under the pointer, which then gets the moves and
// the release; what it ignores travels on to its parents.
class SurfacePointer
{
public:
    explicit SurfacePointer(QWidget& surface)
        : m_surface(&surface)
    {}

    QWidget* widgetAt(QPointF at) const
    {
        QWidget* child = m_surface->childAt(at.toPoint());
        return child != nullptr ? child : m_surface.data();
    }

    void press(QPointF at)
    {
        m_grabber = widgetAt(at);
        send(m_grabber, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    }

    void move(QPointF to)
    {
        if (m_grabber) {
            send(m_grabber, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        } else {
            send(widgetAt(to), QEvent::MouseMove, to, Qt::NoButton, Qt::NoButton);
        }
    }

    void release(QPointF at)
    {
        if (m_grabber) {
            send(m_grabber, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        }
        m_grabber = nullptr;
    }

    // Press, two moves and release.
    void drag(QPointF from, QPointF to)
    {
        press(from);
        move((from + to) / 2);
        move(to);
        release(to);
    }

    void click(QPointF at)
    {
        press(at);
        release(at);
    }

private:
    void
    send(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        if (target == nullptr || m_surface.isNull()) {
            return;
        }
        // Where the target is now: a box moves while it is dragged.
        QMouseEvent event(type,
                          target->mapFrom(m_surface.data(), at),
                          m_surface->mapToGlobal(at),
                          button,
                          buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    QPointer<QWidget> m_surface;
    QPointer<QWidget> m_grabber;
};

} // namespace testing_support
