#pragma once

#include "capture/ShareMaskEditorGeometry.h"
#include "shell/kit/AnimatedValue.h"

#include <QRectF>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

namespace kit {
class PressFeedbackButton;
} // namespace kit

// One stored mask on the editor's surface: a box that moves when dragged, resizes by its eight
// handles and has a remove button beyond its top-right corner. A drag shows its live rectangle
// (the draft) and, when it ends, hands the result on; the editor then stores or rejects it and
// places the box again, which springs to its new (or old) place. Positions are in the surface's
// coordinates (editor space); the widget covers the box and everything around it. Owned by the
// surface; main thread only.
class MaskBox final : public QWidget
{
    Q_OBJECT

public:
    using ChangeHandler = std::function<void(const QRectF&)>;
    using RemoveHandler = std::function<void()>;

    MaskBox(const QUuid& maskID, const QRectF& placedRect, QWidget* surface);

    QUuid maskID() const { return m_maskID; }
    // The rectangle as placed by the editor.
    QRectF placedRect() const { return m_to; }
    // Moves the box to a new placed rectangle with the spring (Reduce Motion's ease while it is
    // on); a drag in progress keeps its draft.
    void setPlacedRect(const QRectF& rect);
    // What is drawn now: the draft during a drag, else the placed rectangle on its way there.
    QRectF shownRect() const;
    const std::optional<QRectF>& draft() const { return m_draft; }
    bool isHovering() const { return m_hovering; }
    bool showsLabel() const;

    // Called with the new rectangle when a move or resize ends.
    void setChangeHandler(ChangeHandler handler) { m_onChange = std::move(handler); }
    // Called by the remove button.
    void setRemoveHandler(RemoveHandler handler) { m_onRemove = std::move(handler); }
    kit::PressFeedbackButton* removeButton() const { return m_removeButton; }

    static inline const QString label = QStringLiteral("HIDDEN FROM CALL");
    static inline const QString removeTooltip = QStringLiteral("Remove this mask");

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    using Transform = std::function<QRectF(const QRectF&, double, double)>;

    // The pointer in the surface's coordinates.
    QPointF surfacePoint(const QMouseEvent& event) const;
    void springFrom(const QRectF& from);
    // Fits the widget, its hit area and the remove button to the shown rectangle.
    void layOut();
    void updateCursor(QPointF surfacePoint);

    QUuid m_maskID;
    QRectF m_from;
    QRectF m_to;
    kit::AnimatedValue m_progress{1.0};
    std::optional<QRectF> m_draft;
    bool m_hovering = false;

    // The drag in progress: where it was pressed and what it does.
    std::optional<QPointF> m_pressed;
    Transform m_transform;
    bool m_dragging = false;

    ChangeHandler m_onChange;
    RemoveHandler m_onRemove;
    kit::PressFeedbackButton* m_removeButton = nullptr;
};
