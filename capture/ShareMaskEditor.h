#pragma once

#include <QList>
#include <QObject>

// The full-screen editor in which the user draws share masks over one display. One process-wide
// instance; main thread only. For now it keeps only what it was asked to do (the displays it was
// opened on and whether it is open); the editor panel itself comes later.
class ShareMaskEditor final : public QObject
{
    Q_OBJECT

public:
    ShareMaskEditor() = default;
    ShareMaskEditor(const ShareMaskEditor&) = delete;
    ShareMaskEditor& operator=(const ShareMaskEditor&) = delete;

    static ShareMaskEditor& shared();

    // True from open(displayID) to close().
    bool isEditing() const { return m_isEditing; }

    // Opens (or reopens) the editor over the display with this identifier.
    void open(quint32 displayID);
    // Closes the editor; safe to call when it is closed.
    void close();

    // Every display the editor was opened on, in order.
    const QList<quint32>& openedDisplayIDs() const { return m_openedDisplayIDs; }

signals:
    void isEditingChanged(bool value);

private:
    void setIsEditing(bool value);

    bool m_isEditing = false;
    QList<quint32> m_openedDisplayIDs;
};
