#include "popover/DisplayStrip.h"

#include "popover/MenuBarView.h"
#include "popover/RowStyle.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Transaction.h"
#include "state/WindowManager.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>

namespace {

QString symbolFor(const DisplayInfo& display)
{
    return display.isMain ? QStringLiteral("laptopcomputer") : QStringLiteral("display");
}

} // namespace

DisplayChip::DisplayChip(WindowManager& windowManager, const DisplayInfo& display, QWidget* parent)
    : PressFeedbackButton(parent)
    , m_windowManager(windowManager)
    , m_display(display)
{
    setObjectName(QStringLiteral("displayChip:%1").arg(display.id));
    m_selection.setOnChange([this] { update(); });
    setLabel(
        [this](QPainter& painter, const QRectF& rect) {
            painter.setRenderHint(QPainter::Antialiasing);
            const double t = m_selection.value();
            painter.fillPath(kit::capsule(rect), RowStyle::mix(kit::Palette::surface(), Qt::white, t));
            kit::strokeInnerBorder(painter,
                                   rect,
                                   kit::capsuleRadius(rect),
                                   RowStyle::mix(kit::Palette::hairline(), kit::white(0), t));
        },
        QSize(0, 24));
    setFixedHeight(24);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(9, 0, 9, 0);
    row->setSpacing(5);
    auto* symbol = new kit::SymbolView(symbolFor(display), 9.5, [this] { return foreground(); });
    m_symbol = symbol;
    row->addWidget(symbol);
    auto* name = new kit::TextLabel(
        display.name, [this] { return RowStyle::geist(11, foreground(), kit::FontWeight::medium); });
    m_name = name;
    row->addWidget(name);
    connect(this, &QAbstractButton::clicked, this, [this] {
        MenuBarView::selectDisplay(m_windowManager, m_display.id);
    });
    setDisplay(display);
}

void DisplayChip::setDisplay(const DisplayInfo& display)
{
    m_display = display;
    static_cast<kit::SymbolView*>(m_symbol)->setName(symbolFor(display));
    RowStyle::setText(static_cast<kit::TextLabel*>(m_name), display.name);
    RowStyle::setTooltip(this, QStringLiteral("Share %1 through the Veilmox screen").arg(display.name));
}

void DisplayChip::setSelected(bool selected)
{
    if (selected != m_selected) {
        m_selected = selected;
        m_selection.change(selected ? 1 : 0, kit::transactionAnimation());
    }
}

QColor DisplayChip::foreground() const
{
    return RowStyle::mix(RowStyle::dim(), kit::Palette::inkOnLight(), m_selection.value());
}

DisplayStrip::DisplayStrip(WindowManager& windowManager, QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
{
    setObjectName(QStringLiteral("displayStrip"));
    auto* strip = new QHBoxLayout(this);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(8);
    strip->addWidget(new kit::TextLabel(QStringLiteral("MIRRORING"),
                                        [] { return kit::monoLabel(8.5, RowStyle::secondary()); }));
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setFixedHeight(24);
    scroll->viewport()->setAutoFillBackground(false);
    auto* chips = new QWidget;
    m_row = new QHBoxLayout(chips);
    m_row->setContentsMargins(0, 0, 0, 0);
    m_row->setSpacing(4);
    m_row->addStretch(1);
    scroll->setWidget(chips);
    chips->setAutoFillBackground(false);
    strip->addWidget(scroll, 1);

    connect(&windowManager, &WindowManager::availableDisplaysChanged, this, &DisplayStrip::sync);
    connect(&windowManager, &WindowManager::sharedDisplayIDChanged, this, &DisplayStrip::sync);
    sync();
}

QList<DisplayChip*> DisplayStrip::chips() const
{
    QList<DisplayChip*> list;
    for (quint32 id : m_order) {
        list.append(m_chips.value(id));
    }
    return list;
}

void DisplayStrip::sync()
{
    QHash<quint32, DisplayChip*> kept;
    QList<quint32> order;
    for (const DisplayInfo& display : m_windowManager.availableDisplays()) {
        if (kept.contains(display.id)) {
            continue;
        }
        DisplayChip* chip = m_chips.take(display.id);
        if (chip == nullptr) {
            chip = new DisplayChip(m_windowManager, display);
        } else if (!(chip->display() == display)) {
            chip->setDisplay(display);
        }
        kept.insert(display.id, chip);
        order.append(display.id);
    }
    for (DisplayChip* gone : std::as_const(m_chips)) {
        delete gone;
    }
    m_chips = kept;
    if (order != m_order) {
        for (qsizetype i = 0; i < order.size(); ++i) {
            DisplayChip* chip = m_chips.value(order.at(i));
            m_row->removeWidget(chip);
            m_row->insertWidget(static_cast<int>(i), chip);
        }
        m_order = order;
    }
    // Evaluated now: the saved display while it is connected, else the first one.
    const std::optional<quint32> selected = m_windowManager.effectiveSharedDisplayID();
    for (DisplayChip* chip : std::as_const(m_chips)) {
        chip->setSelected(selected == chip->display().id);
    }
}
