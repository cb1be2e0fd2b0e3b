#include "popover/PanicModePicker.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Transaction.h"

#include <QHBoxLayout>
#include <QPainter>

// One segment: symbol and title on a capsule that is white while selected. The selection fades
// with the transaction that changed it.
class PanicModePicker::Segment final : public kit::PressFeedbackButton
{
public:
    Segment(const QString& symbol, const QString& title)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setFixedHeight(static_cast<int>(PanicModePicker::kSegmentHeight));
        const auto foreground = [this] {
            return kit::mixColors(PanicModePicker::segmentForeground(false, kit::increaseContrast()),
                                  PanicModePicker::segmentForeground(true, kit::increaseContrast()),
                                  m_selection.value());
        };
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(5);
        row->addStretch(1);
        row->addWidget(new kit::SymbolView(symbol, 9.5, foreground), 0, Qt::AlignVCenter);
        row->addWidget(new kit::TextLabel(title,
                                          [foreground] {
                                              kit::TextLook look;
                                              look.face = kit::geistFontName(kit::FontWeight::medium);
                                              look.size = 11;
                                              look.color = foreground();
                                              return look;
                                          }),
                       0,
                       Qt::AlignVCenter);
        row->addStretch(1);
        m_selection.setOnChange([this] { update(); });
    }

    bool isSelected() const { return m_selection.target() == 1.0; }
    void setSelected(bool selected)
    {
        const double target = selected ? 1.0 : 0.0;
        if (target != m_selection.target()) {
            m_selection.change(target, kit::transactionAnimation());
        }
    }

protected:
    void paintLabel(QPainter& painter, const QRectF& rect) override
    {
        QColor fill = kit::Palette::textPrimary();
        fill.setAlphaF(static_cast<float>(m_selection.value()));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawPath(kit::capsule(rect));
    }

private:
    kit::AnimatedValue m_selection;
};

QColor PanicModePicker::segmentForeground(bool selected, bool increaseContrast)
{
    return selected ? kit::Palette::inkOnLight() : kit::SecondaryWhite::body(increaseContrast);
}

PanicModePicker::PanicModePicker(WindowManager::PanicMode mode, OnSelect onSelect, QWidget* parent)
    : QWidget(parent)
    , m_onSelect(std::move(onSelect))
    , m_mode(mode)
{
    setObjectName(QStringLiteral("panicModePicker"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_freeze = new Segment(QStringLiteral("snowflake"), QStringLiteral("Freeze frame"));
    m_cover =
        new Segment(QStringLiteral("rectangle.inset.filled"), QStringLiteral("\u201CBe right back\u201D"));
    m_freeze->setObjectName(QStringLiteral("panicModeFreeze"));
    m_cover->setObjectName(QStringLiteral("panicModeCover"));
    auto* row = new QHBoxLayout(this);
    const int p = static_cast<int>(kPadding);
    row->setContentsMargins(p, p, p, p);
    row->setSpacing(static_cast<int>(kSpacing));
    // Equal stretch: the two segments share the width evenly.
    row->addWidget(m_freeze, 1);
    row->addWidget(m_cover, 1);
    connect(m_freeze, &QAbstractButton::clicked, this, [this] { select(WindowManager::PanicMode::Freeze); });
    connect(m_cover, &QAbstractButton::clicked, this, [this] { select(WindowManager::PanicMode::Cover); });
    setMode(mode);
}

kit::PressFeedbackButton* PanicModePicker::segment(WindowManager::PanicMode mode) const
{
    return mode == WindowManager::PanicMode::Freeze ? m_freeze : m_cover;
}

void PanicModePicker::setMode(WindowManager::PanicMode mode)
{
    m_mode = mode;
    m_freeze->setSelected(mode == WindowManager::PanicMode::Freeze);
    m_cover->setSelected(mode == WindowManager::PanicMode::Cover);
}

void PanicModePicker::select(WindowManager::PanicMode mode)
{
    if (!m_onSelect) {
        return;
    }
    kit::withAnimation(kit::respectingReduceMotion(kit::Animation::standard(kDuration)),
                       [this, mode] { m_onSelect(mode); });
}

void PanicModePicker::paintEvent(QPaintEvent* /*e*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kit::Palette::surfaceRaised());
    painter.drawPath(kit::capsule(r));
    kit::strokeInnerBorder(painter, r, kit::capsuleRadius(r), kit::Palette::hairline());
}
