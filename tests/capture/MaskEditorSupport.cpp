#include "tests/capture/MaskEditorSupport.h"

#include <QApplication>
#include <QMouseEvent>

#include <algorithm>

namespace testing_support {

void InMemoryMaskStore::addShareMask(const ShareMask& mask)
{
    removed.clear();
    canUndo = false;
    masks.append(mask);
    changed();
}

void InMemoryMaskStore::updateShareMask(const ShareMask& mask)
{
    const auto found =
        std::find_if(masks.begin(), masks.end(), [&](const ShareMask& m) { return m.id == mask.id; });
    if (found == masks.end()) {
        return;
    }
    removed.clear();
    canUndo = false;
    *found = mask;
    ++updates;
    changed();
}

void InMemoryMaskStore::removeShareMask(const QUuid& id)
{
    QList<ShareMask> taken;
    QList<ShareMask> kept;
    for (const ShareMask& m : std::as_const(masks)) {
        (m.id == id ? taken : kept).append(m);
    }
    if (taken.isEmpty()) {
        return;
    }
    removed = taken;
    canUndo = true;
    masks = kept;
    changed();
}

void InMemoryMaskStore::clearShareMasks()
{
    if (masks.isEmpty()) {
        return;
    }
    removed = masks;
    canUndo = true;
    masks.clear();
    changed();
}

void InMemoryMaskStore::undoShareMaskRemoval()
{
    if (removed.isEmpty()) {
        return;
    }
    masks += removed;
    removed.clear();
    canUndo = false;
    changed();
}

void InMemoryMaskStore::observeShareMasks(QObject* context, std::function<void()> handler)
{
    m_observers.emplace_back(context, std::move(handler));
}

void InMemoryMaskStore::setMasks(const QList<ShareMask>& value)
{
    masks = value;
    changed();
}

void InMemoryMaskStore::changed()
{
    const auto observers = m_observers;
    for (const auto& [context, handler] : observers) {
        if (!context.isNull()) {
            handler();
        }
    }
}

QWidget* SurfacePointer::widgetAt(QPointF at) const
{
    QWidget* child = m_surface->childAt(at.toPoint());
    return child != nullptr ? child : m_surface.data();
}

void SurfacePointer::press(QPointF at)
{
    m_grabber = widgetAt(at);
    send(m_grabber, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
}

void SurfacePointer::move(QPointF to)
{
    if (m_grabber) {
        send(m_grabber, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    } else {
        send(widgetAt(to), QEvent::MouseMove, to, Qt::NoButton, Qt::NoButton);
    }
}

void SurfacePointer::release(QPointF at)
{
    if (m_grabber) {
        send(m_grabber, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }
    m_grabber = nullptr;
}

void SurfacePointer::drag(QPointF from, QPointF to)
{
    press(from);
    move((from + to) / 2);
    move(to);
    release(to);
}

void SurfacePointer::click(QPointF at)
{
    press(at);
    release(at);
}

void SurfacePointer::send(
    QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    if (target == nullptr || m_surface.isNull()) {
        return;
    }
    // Where the target is now: a box moves while it is dragged.
    const QPointF local = target->mapFrom(m_surface.data(), at);
    QMouseEvent event(type, local, m_surface->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace testing_support
