#include "capture/ShareMaskEditorView.h"

#include "capture/MaskBox.h"
#include "capture/ShareMaskEditor.h"
#include "capture/ShareMaskEditorGeometry.h"
#include "capture/ShareMaskStore.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Motion.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Typography.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace geometry = ShareMaskEditorGeometry;

namespace {

constexpr double kDimming = 0.25;
constexpr double kDraftFillOpacity = 0.18;
constexpr double kDraftBorderWidth = 1.5;

// The animation of the notice's coming and going, chosen now.
kit::Animation noticeTransition()
{
    return kit::respectingReduceMotion(kit::Animation::timingCurve(0.16, 1.0, 0.3, 1.0, 0.18));
}

kit::TextLook look(const QString& face, double size, double tracking, const QColor& color)
{
    kit::TextLook l;
    l.face = face;
    l.size = size;
    l.tracking = tracking;
    l.color = color;
    return l;
}

// A system symbol at a point size, as a control of its own size.
class SymbolView final : public QWidget
{
public:
    SymbolView(QString name, double pointSize, const QColor& color, kit::FontWeight weight, QWidget* parent)
        : QWidget(parent)
        , m_name(std::move(name))
        , m_pointSize(pointSize)
        , m_color(color)
        , m_weight(weight)
    {
        const int side = static_cast<int>(std::ceil(kit::symbolSide(pointSize)));
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        kit::paintSymbol(painter, m_name, QRectF(rect()).center(), m_pointSize, m_color, m_weight);
    }

private:
    QString m_name;
    double m_pointSize;
    QColor m_color;
    kit::FontWeight m_weight;
};

} // namespace

// Paints the box being drawn above the boxes; takes no pointer events.
class ShareMaskEditorView::DraftLayer final : public QWidget
{
public:
    explicit DraftLayer(ShareMaskEditorView* view)
        : QWidget(view)
        , m_view(view)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        const auto draft = m_view->draftRect();
        if (!draft) {
            return;
        }
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = kit::Palette::flame();
        fill.setAlphaF(static_cast<float>(kDraftFillOpacity));
        painter.fillRect(*draft, fill);
        // Dashes of 5 points with gaps of 4, drawn inside the edge.
        QPen pen(kit::Palette::flame(), kDraftBorderWidth, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setDashPattern({5 / kDraftBorderWidth, 4 / kDraftBorderWidth});
        pen.setMiterLimit(10);
        painter.setPen(pen);
        const double inset = kDraftBorderWidth / 2;
        painter.drawRect(draft->adjusted(inset, inset, -inset, -inset));
    }

private:
    ShareMaskEditorView* m_view;
};

// The hint bar: what to do, and the buttons. The widget reaches beyond its capsule so the
// buttons' glows are not cut off; outside the capsule the pointer belongs to the surface.
class ShareMaskEditorView::HintBar final : public QWidget
{
public:
    static constexpr int kGlowRoom = 16;

    explicit HintBar(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("hintBar"));
        setMouseTracking(true);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(16 + kGlowRoom, 10 + kGlowRoom, 10 + kGlowRoom, 10 + kGlowRoom);
        row->setSpacing(12);
        row->setSizeConstraint(QLayout::SetFixedSize);
        row->addWidget(
            new SymbolView(
                QStringLiteral("rectangle.dashed"), 13, kit::Palette::flame(), kit::FontWeight::medium, this),
            0,
            Qt::AlignVCenter);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        auto* titleLabel = new kit::TextLabel(
            ShareMaskEditorView::title,
            look(kit::geistFontName(kit::FontWeight::medium), 13, 0, kit::Palette::textPrimary()),
            this);
        titleLabel->setObjectName(QStringLiteral("hintTitle"));
        auto* instructionsLabel = new kit::TextLabel(
            ShareMaskEditorView::instructions,
            [] {
                return look(kit::geistMonoFontName(kit::FontWeight::medium),
                            8.5,
                            1.7,
                            kit::SecondaryWhite::caption(kit::increaseContrast()));
            },
            this);
        instructionsLabel->setObjectName(QStringLiteral("hintInstructions"));
        texts->addWidget(titleLabel, 0, Qt::AlignLeft);
        texts->addWidget(instructionsLabel, 0, Qt::AlignLeft);
        row->addLayout(texts);
        m_row = row;
    }

    void addButton(kit::PillButton* button) { m_row->addWidget(button, 0, Qt::AlignVCenter); }

    QRectF capsule() const { return QRectF(rect()).adjusted(kGlowRoom, kGlowRoom, -kGlowRoom, -kGlowRoom); }
    QSizeF capsuleSize() const
    {
        const QSize size = sizeHint();
        return {static_cast<double>(size.width() - 2 * kGlowRoom),
                static_cast<double>(size.height() - 2 * kGlowRoom)};
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        const QRectF c = capsule();
        // The popover's chip background, with a hairline capsule border of its own.
        kit::ChipBackgroundStyle::paint(painter, c, kit::reduceTransparency());
        painter.setRenderHint(QPainter::Antialiasing);
        kit::strokeInnerBorder(painter, c, kit::capsuleRadius(c), kit::Palette::hairline(), 1);
    }

    void mousePressEvent(QMouseEvent* event) override { passOutsideCapsule(event); }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        setCursor(capsule().contains(event->position()) ? Qt::ArrowCursor : Qt::CrossCursor);
        passOutsideCapsule(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override { passOutsideCapsule(event); }

private:
    void passOutsideCapsule(QMouseEvent* event) const
    {
        // Ignored events go on to the surface, which draws; the bar itself takes the rest.
        event->setAccepted(capsule().contains(event->position()));
    }

    QHBoxLayout* m_row = nullptr;
};

// The notice under the hint bar, fading in and out.
class ShareMaskEditorView::NoticeBubble final : public QWidget
{
public:
    explicit NoticeBubble(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("notice"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        m_opacity.setOnChange([this] {
            if (m_opacity.value() <= 0 && m_opacity.target() <= 0) {
                hide();
            }
            update();
        });
        hide();
    }

    QString text() const { return m_text; }
    double opacity() const { return m_opacity.value(); }

    // Shows the text, or fades out keeping the last one while it goes.
    void setNotice(const std::optional<QString>& notice)
    {
        if (notice) {
            m_text = *notice;
            resize(sizeHint());
            show();
            m_opacity.animate(1, noticeTransition());
        } else if (isVisible()) {
            m_opacity.animate(0, noticeTransition());
        }
        update();
    }

    QSize sizeHint() const override
    {
        const QFontMetricsF metrics(textLook().font(this), this);
        return {static_cast<int>(std::ceil(metrics.horizontalAdvance(m_text) + 2 * 12)),
                static_cast<int>(std::ceil(metrics.height() + 2 * 6))};
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(m_opacity.value());
        const QRectF r = rect();
        QColor fill = kit::Palette::canvas();
        fill.setAlphaF(0.85F);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawPath(kit::capsule(r));
        const kit::TextLook l = textLook();
        painter.setFont(l.font(this));
        painter.setPen(l.color);
        painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, m_text);
    }

private:
    static kit::TextLook textLook()
    {
        return look(kit::geistFontName(kit::FontWeight::regular), 12, 0, kit::Palette::textPrimary());
    }

    QString m_text;
    kit::AnimatedValue m_opacity{0.0};
};

ShareMaskEditorView::ShareMaskEditorView(ShareMaskEditor& editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(&editor)
    , m_draftLayer(new DraftLayer(this))
    , m_hintBar(new HintBar(this))
    , m_notice(new NoticeBubble(this))
{
    setObjectName(QStringLiteral("ShareMaskEditorView"));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);

    m_clearAll = new kit::PillButton(
        QStringLiteral("Clear all"), kit::PillButtonStyle::Kind::Outline, kit::ControlSize::Small, m_hintBar);
    m_clearAll->setObjectName(QStringLiteral("clearAllButton"));
    m_undo = new kit::PillButton(
        QStringLiteral("Undo"), kit::PillButtonStyle::Kind::Primary, kit::ControlSize::Small, m_hintBar);
    m_undo->setObjectName(QStringLiteral("undoButton"));
    m_done = new kit::PillButton(
        QStringLiteral("Done"), kit::PillButtonStyle::Kind::Flame, kit::ControlSize::Small, m_hintBar);
    m_done->setObjectName(QStringLiteral("doneButton"));
    for (kit::PillButton* button : {m_clearAll, m_undo, m_done}) {
        button->setCursor(Qt::ArrowCursor);
        m_hintBar->addButton(button);
    }
    kit::TooltipHost::attach(this);

    connect(m_clearAll, &QAbstractButton::clicked, this, [this] {
        if (!m_editor.isNull() && m_editor->store() != nullptr) {
            m_editor->store()->clearShareMasks();
            m_editor->reloadPlaced();
        }
    });
    connect(m_undo, &QAbstractButton::clicked, this, [this] {
        if (!m_editor.isNull() && m_editor->store() != nullptr) {
            m_editor->store()->undoShareMaskRemoval();
            m_editor->reloadPlaced();
        }
    });
    connect(m_done, &QAbstractButton::clicked, this, [this] {
        if (!m_editor.isNull()) {
            m_editor->close();
        }
    });

    connect(&editor, &ShareMaskEditor::placedChanged, this, [this] {
        syncBoxes();
        syncButtons();
    });
    connect(&editor, &ShareMaskEditor::noticeChanged, this, [this] { syncNotice(); });
    if (editor.store() != nullptr) {
        editor.store()->observeShareMasks(this, [this] { syncButtons(); });
    }

    syncBoxes();
    syncButtons();
    syncNotice();
}

std::optional<QRectF> ShareMaskEditorView::draftRect() const
{
    return geometry::draftRect(m_dragStart, m_dragEnd);
}

QList<MaskBox*> ShareMaskEditorView::boxes() const
{
    QList<MaskBox*> list;
    for (const QUuid& id : m_order) {
        list.append(m_boxes.value(id));
    }
    return list;
}

QWidget* ShareMaskEditorView::hintBar() const
{
    return m_hintBar;
}

QWidget* ShareMaskEditorView::noticeBubble() const
{
    return m_notice;
}

QString ShareMaskEditorView::noticeText() const
{
    return m_notice->text();
}

double ShareMaskEditorView::noticeOpacity() const
{
    return m_notice->opacity();
}

MaskBox* ShareMaskEditorView::box(const QUuid& maskID) const
{
    return m_boxes.value(maskID);
}

void ShareMaskEditorView::syncBoxes()
{
    const QList<ShareMaskEditor::PlacedMask> placed =
        !m_editor.isNull() ? m_editor->placed() : QList<ShareMaskEditor::PlacedMask>();
    QList<QUuid> order;
    for (const auto& mask : placed) {
        order.append(mask.id);
        if (MaskBox* existing = m_boxes.value(mask.id)) {
            existing->setPlacedRect(mask.rect);
            continue;
        }
        auto* added = new MaskBox(mask.id, mask.rect, this);
        const QUuid id = mask.id;
        added->setChangeHandler([this, id](const QRectF& rect) {
            if (!m_editor.isNull()) {
                m_editor->updateMask(id, rect);
            }
        });
        added->setRemoveHandler([this, id] {
            if (!m_editor.isNull() && m_editor->store() != nullptr) {
                m_editor->store()->removeShareMask(id);
                m_editor->reloadPlaced();
            }
        });
        added->show();
        m_boxes.insert(id, added);
    }
    for (auto it = m_boxes.begin(); it != m_boxes.end();) {
        if (order.contains(it.key())) {
            ++it;
            continue;
        }
        // The box may be handling the very click that removed it.
        it.value()->hide();
        it.value()->deleteLater();
        it = m_boxes.erase(it);
    }
    m_order = order;
    stack();
}

void ShareMaskEditorView::syncButtons()
{
    const bool anyBox = !m_editor.isNull() && !m_editor->placed().isEmpty();
    const bool canUndo =
        !m_editor.isNull() && m_editor->store() != nullptr && m_editor->store()->canUndoShareMaskRemoval();
    m_clearAll->setVisible(anyBox);
    m_undo->setVisible(canUndo);
    placeHint();
}

void ShareMaskEditorView::syncNotice()
{
    m_notice->setNotice(!m_editor.isNull() ? m_editor->notice() : std::nullopt);
    placeHint();
}

void ShareMaskEditorView::placeHint()
{
    const auto layout = geometry::hintLayout(width(), m_hintBar->capsuleSize(), QSizeF(m_notice->sizeHint()));
    const QPoint barOrigin(static_cast<int>(std::lround(layout.bar.x())) - HintBar::kGlowRoom,
                           static_cast<int>(std::lround(layout.bar.y())) - HintBar::kGlowRoom);
    m_hintBar->setGeometry(QRect(barOrigin, m_hintBar->sizeHint()));
    m_notice->setGeometry(QRect(QPoint(static_cast<int>(std::lround(layout.notice.x())),
                                       static_cast<int>(std::lround(layout.notice.y()))),
                                m_notice->sizeHint()));
}

void ShareMaskEditorView::stack()
{
    // Back to front: the boxes in placed order, the box being drawn, the hint group.
    for (const QUuid& id : std::as_const(m_order)) {
        m_boxes.value(id)->raise();
    }
    m_draftLayer->raise();
    m_hintBar->raise();
    m_notice->raise();
}

void ShareMaskEditorView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, static_cast<int>(std::lround(kDimming * 255))));
}

void ShareMaskEditorView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_draftLayer->setGeometry(rect());
    placeHint();
}

void ShareMaskEditorView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressed = event->position();
    m_dragStart.reset();
    m_dragEnd.reset();
}

void ShareMaskEditorView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed) {
        return;
    }
    const QPointF point = event->position();
    if (!m_dragStart && !geometry::dragBegins(*m_pressed, point, geometry::kDrawMinimumDistance)) {
        return;
    }
    m_dragStart = m_pressed;
    m_dragEnd = point;
    m_draftLayer->update();
}

void ShareMaskEditorView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressed || event->button() != Qt::LeftButton) {
        return;
    }
    const auto draft = draftRect();
    m_pressed.reset();
    m_dragStart.reset();
    m_dragEnd.reset();
    m_draftLayer->update();
    // The editor checks the size and the window under it.
    if (draft && !m_editor.isNull()) {
        m_editor->addMask(*draft);
    }
}
