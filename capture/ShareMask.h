#pragma once

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUuid>

#include <optional>

// A box painted over part of one window in the shared picture. It sticks to its window: `rect`
// is relative to the window's top-left corner, in points. Moving or resizing a mask makes a new
// value with the same `id`.
struct ShareMask
{
    QUuid id;
    quint32 windowID = 0;
    QString bundleID;
    QRectF rect;

    // Every field compared exactly, the rectangle value by value.
    bool operator==(const ShareMask& other) const;

    // Mask to screen, given the window's current frame: the rectangle moved onto the window and
    // clipped to it; none when nothing of it lies on the window.
    std::optional<QRectF> screenRect(const QRectF& windowFrame) const;

    // A screen rectangle attached to a window: clipped to the window's frame and made relative to
    // its top-left corner.
    static ShareMask attach(const QUuid& id,
                            const QRectF& screenRect,
                            quint32 windowID,
                            const QString& bundleID,
                            const QRectF& windowFrame);

    // The stored form: a UTF-8 JSON array of objects with "id", "windowID", "bundleID" and
    // "rect" ([[x, y], [width, height]]). Decoding refuses what is not an array, and skips a
    // malformed element, keeping the others; encoding refuses a list holding a non-finite number.
    static std::optional<QList<ShareMask>> decodeList(const QByteArray& json);
    static std::optional<QByteArray> encodeList(const QList<ShareMask>& masks);
};

// Screen space to the space of an edited display (its top-left corner at the origin) and back.
inline QRectF screenToEditor(const QRectF& rect, const QRectF& displayBounds)
{
    return rect.translated(-displayBounds.topLeft());
}
inline QRectF editorToScreen(const QRectF& rect, const QRectF& displayBounds)
{
    return rect.translated(displayBounds.topLeft());
}
