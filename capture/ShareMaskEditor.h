#pragma once

#include "platform/EventMonitor.h"
#include "platform/KeyEvent.h"
#include "platform/Scheduler.h"
#include "platform/Services.h"

#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class ShareMaskEditorPanel;
class ShareMaskStore;

// The full-screen editor in which the user draws share masks over one display: a transparent,
// never-captured panel on which boxes are drawn over windows, moved, resized and removed. Every
// finished box becomes a mask attached to the window under it and is written to the mask store.
// One process-wide instance; main thread only.
class ShareMaskEditor final : public QObject
{
    Q_OBJECT

public:
    // The visible area of one stored mask, in editor space (points from the edited display's
    // top-left corner).
    struct PlacedMask
    {
        QUuid id;
        QRectF rect;

        friend bool operator==(const PlacedMask&, const PlacedMask&) = default;
    };

    // The store may be installed later; without one the editor shows no masks and stores none.
    explicit ShareMaskEditor(const platform::Services& services,
                             ShareMaskStore* store = nullptr,
                             QObject* parent = nullptr);
    ~ShareMaskEditor() override;
    ShareMaskEditor(const ShareMaskEditor&) = delete;
    ShareMaskEditor& operator=(const ShareMaskEditor&) = delete;

    // The process-wide instance, created on first use with the process's services; the
    // application installs the store.
    static ShareMaskEditor& shared();

    void setStore(ShareMaskStore* store) { m_store = store; }
    ShareMaskStore* store() const { return m_store; }

    // Published state; each signal fires when its value changes.
    const QList<PlacedMask>& placed() const { return m_placed; }
    const std::optional<QString>& notice() const { return m_notice; }
    // True from a successful open() to close().
    bool isEditing() const { return m_isEditing; }

    // The edited display's bounds in screen space.
    QRectF displayBounds() const { return m_displayBounds; }
    // The panel while the editor is open.
    ShareMaskEditorPanel* panel() const { return m_panel.get(); }
    bool hasKeyMonitor() const { return m_keyMonitor.has_value(); }

    // Opens (or reopens) the editor over the display with this identifier; nothing when no
    // screen carries it.
    void open(quint32 displayID);
    // Closes the editor; safe to call when it is closed.
    void close();

    // Rebuilds `placed` from the stored masks and the windows' frames now.
    void reloadPlaced();
    // A finished drawing drag, in editor space: stored on the window under its centre.
    void addMask(const QRectF& rect);
    // A finished move or resize of a stored mask, in editor space.
    void updateMask(const QUuid& id, const QRectF& rect);
    // Shows a notice for 2.5 s; a second one replaces it and starts the count again.
    void showNotice(const QString& text);
    // The key-down monitor: Escape closes the editor and is consumed (none); every other key
    // is passed on.
    std::optional<platform::KeyEvent> handleKey(const platform::KeyEvent& event);

    static constexpr double kNoticeDuration = 2.5;
    static constexpr qint64 kPanelLevel = 1000;
    static inline const QString drawOverWindowNotice =
        QStringLiteral("Draw over a window — masks stick to the window they're on.");
    static inline const QString keepOverWindowNotice =
        QStringLiteral("Keep masks over a window — they stick to the window they're on.");

signals:
    void placedChanged(const QList<ShareMaskEditor::PlacedMask>& value);
    void noticeChanged(const std::optional<QString>& value);
    void isEditingChanged(bool value);

private:
    void setPlaced(const QList<PlacedMask>& value);
    void setNotice(const std::optional<QString>& value);
    void setIsEditing(bool value);
    void activateApplication() const;

    platform::Services m_services;
    ShareMaskStore* m_store = nullptr;
    QList<PlacedMask> m_placed;
    std::optional<QString> m_notice;
    // Shared so a closed panel can outlive the event that closed it (see close()).
    std::shared_ptr<ShareMaskEditorPanel> m_panel;
    std::optional<platform::EventMonitor::Token> m_keyMonitor;
    QRectF m_displayBounds;
    platform::TimerHandle m_noticeDismiss;
    bool m_isEditing = false;
};
