#pragma once

#include "capture/ShareMaskStore.h"

#include <QEvent>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

namespace testing_support {

// Masks kept in memory with the state object's one-step undo of removals.
class InMemoryMaskStore final : public ShareMaskStore
{
public:
    const QList<ShareMask>& shareMasks() const override { return masks; }
    bool canUndoShareMaskRemoval() const override { return canUndo; }
    void addShareMask(const ShareMask& mask) override;
    void updateShareMask(const ShareMask& mask) override;
    void removeShareMask(const QUuid& id) override;
    void clearShareMasks() override;
    void undoShareMaskRemoval() override;
    void observeShareMasks(QObject* context, std::function<void()> handler) override;

    // Sets the masks as another part of the system would, telling the observers.
    void setMasks(const QList<ShareMask>& value);

    QList<ShareMask> masks;
    QList<ShareMask> removed;
    bool canUndo = false;
    int updates = 0;

private:
    void changed();

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

    void press(QPointF at);
    void move(QPointF to);
    void release(QPointF at);
    // Press, two moves and release.
    void drag(QPointF from, QPointF to);
    void click(QPointF at);

    QWidget* widgetAt(QPointF at) const;

private:
    void
    send(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons);

    QPointer<QWidget> m_surface;
    QPointer<QWidget> m_grabber;
};

} // namespace testing_support
