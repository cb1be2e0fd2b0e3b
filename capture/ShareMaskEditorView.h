#pragma once

#include <QHash>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QUuid>
#include <QWidget>

#include <optional>

class MaskBox;
class ShareMaskEditor;

namespace kit {
class PillButton;
} // namespace kit

// The mask editor's full-screen surface, the content of its panel: the display dimmed, one box
// per placed mask, the box being drawn, and near the top the hint bar ("Clear all", "Undo",
// "Done") with the notice under it. A drag on the empty surface draws a box, handed to the
// editor when the drag ends. Coordinates are editor space. Owned by the panel; main thread only.
class ShareMaskEditorView final : public QWidget
{
    Q_OBJECT

public:
    explicit ShareMaskEditorView(ShareMaskEditor& editor, QWidget* parent = nullptr);

    // The box being drawn; none unless a drawing drag is in progress.
    std::optional<QRectF> draftRect() const;
    // The boxes, in the order of the editor's placed masks.
    QList<MaskBox*> boxes() const;
    MaskBox* box(const QUuid& maskID) const;
    QWidget* hintBar() const;
    kit::PillButton* clearAllButton() const { return m_clearAll; }
    kit::PillButton* undoButton() const { return m_undo; }
    kit::PillButton* doneButton() const { return m_done; }
    // The notice bubble; shown while a notice is up or fading out.
    QWidget* noticeBubble() const;
    QString noticeText() const;
    double noticeOpacity() const;

    static inline const QString title = QStringLiteral("Drag over anything your call shouldn't see");
    static inline const QString instructions =
        QStringLiteral("DRAG A BOX TO MOVE IT · ITS EDGES TO RESIZE · ESC TO FINISH");

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    class DraftLayer;
    class HintBar;
    class NoticeBubble;

    void syncBoxes();
    void syncButtons();
    void syncNotice();
    void placeHint();
    void stack();

    QPointer<ShareMaskEditor> m_editor;
    // The drawing drag: where it was pressed, and once it has begun its two ends.
    std::optional<QPointF> m_pressed;
    std::optional<QPointF> m_dragStart;
    std::optional<QPointF> m_dragEnd;
    QHash<QUuid, MaskBox*> m_boxes;
    QList<QUuid> m_order;
    DraftLayer* m_draftLayer = nullptr;
    HintBar* m_hintBar = nullptr;
    NoticeBubble* m_notice = nullptr;
    kit::PillButton* m_clearAll = nullptr;
    kit::PillButton* m_undo = nullptr;
    kit::PillButton* m_done = nullptr;
};
