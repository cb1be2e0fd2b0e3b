#pragma once

#include "capture/ShareMask.h"

#include <QList>
#include <QUuid>

#include <functional>

class QObject;

// Where the mask editor reads the stored masks and writes every edit. The state object, which
// owns and persists the list and hands it to the virtual display, implements it; the
// application installs it on the editor. Main thread only.
class ShareMaskStore
{
public:
    virtual ~ShareMaskStore() = default;

    virtual const QList<ShareMask>& shareMasks() const = 0;
    // Whether the last removal or clearing can still be undone.
    virtual bool canUndoShareMaskRemoval() const = 0;

    // Appends a mask; ends any pending undo.
    virtual void addShareMask(const ShareMask& mask) = 0;
    // Replaces the mask with the same id in place; nothing when there is none.
    virtual void updateShareMask(const ShareMask& mask) = 0;
    // Removes the masks with this id and keeps them for undo.
    virtual void removeShareMask(const QUuid& id) = 0;
    // Removes every mask and keeps them for undo.
    virtual void clearShareMasks() = 0;
    // Puts the last removed masks back.
    virtual void undoShareMaskRemoval() = 0;

    // Calls `handler` after every change of the masks or of the undo state, for as long as
    // `context` lives.
    virtual void observeShareMasks(QObject* context, std::function<void()> handler) = 0;

protected:
    ShareMaskStore() = default;
    ShareMaskStore(const ShareMaskStore&) = default;
    ShareMaskStore& operator=(const ShareMaskStore&) = default;
    ShareMaskStore(ShareMaskStore&&) = default;
    ShareMaskStore& operator=(ShareMaskStore&&) = default;
};
