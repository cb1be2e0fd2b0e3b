#include "popover/AppRowView.h"

#include "platform/UserDefaults.h"
#include "popover/PinButton.h"
#include "popover/PopoverNavigation.h"
#include "popover/RowStyle.h"
#include "popover/TapArea.h"
#include "popover/WindowRowView.h"
#include "shell/kit/Collapsible.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/FlameSlider.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PressFeedbackButton.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Transaction.h"
#include "shell/kit/Transition.h"
#include "shell/kit/VeiledBadge.h"
#include "state/WindowManager.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>
#include <functional>

namespace {

constexpr double kCornerRadius = 10;
// Between the parts of the transparency panel.
constexpr int kPanelSpacing = 6;
const QString kRecordingNote = QStringLiteral(
    "macOS shows a purple recording icon while an app is pinned. Veilmox uses it to draw the app on "
    "top. Nothing is saved or sent.");

// The app's icon fitted into 28 x 28 points, or the placeholder tile; dimmed while hidden.
class AppIconView final : public QWidget
{
public:
    explicit AppIconView(std::function<double()> opacity)
        : m_opacity(std::move(opacity))
    {
        setObjectName(QStringLiteral("appIcon"));
        setFixedSize(28, 28);
    }

    void setIcon(const QImage& icon)
    {
        m_icon = icon;
        update();
    }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        painter.setOpacity(m_opacity());
        const QRectF box(rect());
        if (!m_icon.isNull()) {
            const QSizeF fitted = QSizeF(m_icon.size()).scaled(box.size(), Qt::KeepAspectRatio);
            painter.drawImage(QRectF(box.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted),
                              m_icon);
            return;
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(kit::Palette::surfaceRaised());
        painter.drawPath(kit::continuousRoundedRect(box, 7));
        kit::paintSymbol(painter, QStringLiteral("app.fill"), box.center(), 13, RowStyle::faint());
    }

private:
    std::function<double()> m_opacity;
    QImage m_icon;
};

// The window-count button's chevron, turned upside down while the list is open.
class ChevronView final : public QWidget
{
public:
    ChevronView(std::function<double()> turn, std::function<QColor()> color)
        : m_turn(std::move(turn))
        , m_color(std::move(color))
    {
        const int side = static_cast<int>(std::ceil(kit::symbolSide(kPointSize)));
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(QRectF(rect()).center());
        painter.rotate(180 * m_turn());
        kit::paintSymbol(painter,
                         QStringLiteral("chevron.down"),
                         QPointF(),
                         kPointSize,
                         m_color(),
                         kit::FontWeight::semibold);
    }

private:
    static constexpr double kPointSize = 7.5;
    std::function<double()> m_turn;
    std::function<QColor()> m_color;
};

// A press-feedback button whose look follows the pointer's hover over 0.18 s.
class HoverButton final : public kit::PressFeedbackButton
{
public:
    using PressFeedbackButton::PressFeedbackButton;

    double hoverAmount() const { return m_hover.value(); }
    void setOnHoverFrame(std::function<void()> frame)
    {
        m_hover.setOnChange([this, frame = std::move(frame)] {
            frame();
            update();
        });
    }

protected:
    void interactionChanged() override
    {
        PressFeedbackButton::interactionChanged();
        const double hover = isHovered() ? 1 : 0;
        if (hover != m_hover.target()) {
            m_hover.animate(hover, RowStyle::hoverAnimation());
        }
    }

private:
    kit::AnimatedValue m_hover{0.0};
};

// The rounded card the recording note lies on.
class NoteCard final : public QWidget
{
protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kit::Palette::surfaceHigh());
        painter.drawPath(kit::continuousRoundedRect(QRectF(rect()), 8));
    }
};

// The note's violet dot, sitting on the first line of the text beside it: its bottom edge is one
// point below that line's baseline.
class NoteDot final : public QWidget
{
public:
    explicit NoteDot(const kit::TextView* text)
        : m_text(text)
    {
        setFixedWidth(6);
    }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kit::rgb(0x8B5CF6));
        const double bottom = m_text->geometry().top() - geometry().top() + m_text->firstBaseline() + 1;
        painter.drawEllipse(QRectF(0, bottom - 6, 6, 6));
    }

private:
    const kit::TextView* m_text;
};

} // namespace

AppRowView::AppRowView(WindowManager& windowManager,
                       const AppInfo& app,
                       PopoverNavigation& navigation,
                       QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
    , m_app(app)
    , m_navigation(navigation)
{
    setObjectName(QStringLiteral("appRow:%1").arg(app.bundleID));
    m_hiddenness.setOnChange([this] { update(); });
    m_expandedness.setOnChange([this] { m_countButton->update(); });
    m_fill.setOnChange([this] { update(); });
    m_border.setOnChange([this] { update(); });

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* line = new QWidget;
    buildMainLine(line);
    column->addWidget(line);

    m_windowListContent = new QWidget;
    m_windowListContent->setObjectName(QStringLiteral("windowList"));
    auto* list = new QVBoxLayout(m_windowListContent);
    list->setContentsMargins(0, 0, 0, 6);
    list->setSpacing(0);
    m_windowList = new kit::Collapsible(m_windowListContent);
    m_windowList->setTransition(slideIn());
    column->addWidget(m_windowList);
    // The transparency panel is made the first time it opens: most rows never show one, and a
    // list of thousands of apps would otherwise lay out thousands of notes.

    const auto syncAll = [this] {
        sync();
        for (WindowRowView* row : std::as_const(m_windowRows)) {
            row->sync();
        }
    };
    connect(&windowManager, &WindowManager::hiddenBundleIDsChanged, this, syncAll);
    connect(&windowManager, &WindowManager::hiddenWindowsChanged, this, syncAll);
    connect(&windowManager, &WindowManager::pinnedBundleIDsChanged, this, syncAll);
    connect(&windowManager, &WindowManager::pinnedWindowsChanged, this, syncAll);
    connect(&windowManager, &WindowManager::windowsByAppChanged, this, &AppRowView::sync);
    connect(&windowManager, &WindowManager::pinnedTransparencyChanged, this, &AppRowView::sync);
    connect(&navigation, &PopoverNavigation::expandedAppIDsChanged, this, &AppRowView::sync);
    connect(&navigation, &PopoverNavigation::transparencyAppIDChanged, this, &AppRowView::sync);
    if (platform::UserDefaults* defaults = windowManager.services().defaults) {
        connect(defaults, &platform::UserDefaults::didChange, this, [this](const QString& key) {
            if (key == seenPinRecordingNoteKey && m_note != nullptr) {
                m_note->setExpanded(!seenPinRecordingNote());
            }
        });
    }
    setApp(app);
    sync();
}

void AppRowView::buildMainLine(QWidget* line)
{
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(10, 8, 10, 8);
    row->setSpacing(12);

    m_tapArea = new TapArea;
    auto* area = new QHBoxLayout(m_tapArea);
    area->setContentsMargins(0, 0, 0, 0);
    area->setSpacing(12);
    m_icon = new AppIconView([this] { return 1 - 0.45 * m_hiddenness.value(); });
    area->addWidget(m_icon);

    auto* text = new QWidget;
    text->setMinimumHeight(30);
    auto* textColumn = new QVBoxLayout(text);
    textColumn->setContentsMargins(0, 0, 0, 0);
    textColumn->setSpacing(2);
    textColumn->addStretch(1);
    auto* nameLine = new QHBoxLayout;
    nameLine->setSpacing(6);
    m_name = new kit::TextView(
        QString(),
        [this] {
            const QColor color = RowStyle::mix(Qt::white, RowStyle::dim(), m_hiddenness.value());
            return RowStyle::geist(13, color, kit::FontWeight::medium, -0.13);
        },
        kit::TextOptions{0, kit::TextAlignment::Leading, 1});
    m_name->setObjectName(QStringLiteral("appName"));
    nameLine->addWidget(m_name);
    m_badge = new kit::VeiledBadge(QString());
    m_badge->setObjectName(QStringLiteral("appBadge"));
    m_badge->hide();
    kit::Presence::of(m_badge).setTransition(RowStyle::badgeTransition());
    nameLine->addWidget(m_badge);
    nameLine->addStretch(1);
    textColumn->addLayout(nameLine);

    auto* count = new HoverButton;
    m_countButton = count;
    m_countButton->setObjectName(QStringLiteral("windowCountButton"));
    auto* countRow = new QHBoxLayout(m_countButton);
    countRow->setContentsMargins(0, 0, 0, 0);
    countRow->setSpacing(4);
    const auto countColor = [this, count] {
        return RowStyle::mix(
            RowStyle::secondary(), Qt::white, std::max(m_expandedness.value(), count->hoverAmount()));
    };
    m_countLabel =
        new kit::TextLabel(QString(), [countColor] { return RowStyle::monoMedium(9, countColor(), 1.44); });
    countRow->addWidget(m_countLabel);
    m_chevron = new ChevronView([this] { return m_expandedness.value(); }, countColor);
    countRow->addWidget(m_chevron);
    count->setOnHoverFrame([this] { m_countLabel->update(); });
    m_countButton->hide();
    connect(m_countButton, &QAbstractButton::clicked, this, [this] {
        kit::animateRespectingReduceMotion([this] { toggleExpanded(); });
    });
    auto* countLine = new QHBoxLayout;
    countLine->addWidget(m_countButton);
    countLine->addStretch(1);
    textColumn->addLayout(countLine);

    m_pinHint = new kit::TextLabel(QStringLiteral("Pin to keep on top and see-through"),
                                   [] { return RowStyle::geist(10.5, RowStyle::secondary()); });
    m_pinHint->setObjectName(QStringLiteral("pinHint"));
    m_pinHint->hide();
    kit::Presence::of(m_pinHint).setTransition(kit::Transition::opacity());
    textColumn->addWidget(m_pinHint);
    textColumn->addStretch(1);
    area->addWidget(text, 1);
    // Only the icon and the texts take the tap; the row's free width beside them does not.
    m_tapArea->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    row->addWidget(m_tapArea);
    connect(m_tapArea, &TapArea::tapped, this, &AppRowView::toggleHidden);

    RowStyle::addSpacer(row, 4);

    auto* chip = new HoverButton;
    m_chip = chip;
    m_chip->setObjectName(QStringLiteral("transparencyChip"));
    m_chip->setLabel(
        [this, chip](QPainter& painter, const QRectF& rect) {
            const double open = m_model.isTransparencyOpen ? 1 : 0;
            const QPainterPath shape = kit::capsule(rect);
            painter.setRenderHint(QPainter::Antialiasing);
            QColor fill = kit::Palette::surfaceHigh();
            fill.setAlphaF(static_cast<float>(std::max(open, chip->hoverAmount())));
            painter.fillPath(shape, fill);
            const QColor border =
                m_model.isTransparencyOpen ? kit::Palette::flameBorder() : kit::Palette::hairline();
            kit::strokeInnerBorder(painter, rect, kit::capsuleRadius(rect), border);
        },
        QSize(0, 22));
    const auto chipColor = [this, chip] {
        if (m_model.isTransparencyOpen || m_model.transparency > 0) {
            return kit::Palette::flameSoft();
        }
        return RowStyle::mix(RowStyle::secondary(), Qt::white, chip->hoverAmount());
    };
    auto* chipRow = new QHBoxLayout(m_chip);
    chipRow->setContentsMargins(7, 0, 7, 0);
    chipRow->setSpacing(4);
    chipRow->addWidget(new kit::SymbolView(QStringLiteral("circle.lefthalf.filled"), 9, chipColor));
    m_chipLabel =
        new kit::TextLabel(QString(), [chipColor] { return RowStyle::monoMedium(9.5, chipColor(), 0); });
    chipRow->addWidget(m_chipLabel);
    m_chip->hide();
    kit::Presence::of(m_chip).setTransition(
        kit::Transition::scale(0.85, QPointF(1, 0.5)).combined(kit::Transition::opacity()));
    connect(m_chip, &QAbstractButton::clicked, this, [this] {
        kit::animateRespectingReduceMotion([this] { toggleTransparencyPanel(); });
    });
    row->addWidget(m_chip);

    m_pin = new PinButton(26);
    row->addWidget(m_pin);
    connect(m_pin, &PinButton::clicked, this, &AppRowView::togglePinned);

    m_switch = new kit::FlameToggle;
    m_switch->setObjectName(QStringLiteral("hideSwitch"));
    row->addWidget(m_switch);
    connect(m_switch, &kit::FlameToggle::toggleRequested, this, &AppRowView::toggleHidden);
}

kit::Transition AppRowView::slideIn()
{
    return kit::Transition::move(kit::Edge::Top)
        .combined(kit::Transition::opacity())
        .fadingUnderReduceMotion();
}

void AppRowView::ensurePanel()
{
    if (m_panel != nullptr) {
        return;
    }
    m_panel = new kit::Collapsible(buildPanel());
    m_panel->setObjectName(QStringLiteral("transparencyPanel"));
    m_panel->setTransition(slideIn());
    layout()->addWidget(m_panel);
}

QWidget* AppRowView::buildPanel()
{
    auto* panel = new QWidget;
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(50, 2, 12, 12);
    // The gap above the note is the note's own: once it is gone, nothing of it is left under the
    // description.
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(new kit::TextLabel(QStringLiteral("TRANSPARENCY"),
                                         [] { return kit::monoLabel(8.5, RowStyle::secondary()); }));
    m_slider = new kit::FlameSlider(0, 0, WindowManager::maxPinnedTransparency);
    m_slider->setObjectName(QStringLiteral("transparencySlider"));
    header->addWidget(m_slider, 1);
    connect(m_slider, &kit::FlameSlider::valueChangeRequested, this, &AppRowView::setTransparency);
    column->addLayout(header);
    column->addSpacing(kPanelSpacing);

    m_description = new kit::TextView(QString(), [] { return RowStyle::geist(10.5, RowStyle::secondary()); });
    m_description->setObjectName(QStringLiteral("transparencyDescription"));
    column->addWidget(m_description);

    auto* noteBox = new QWidget;
    auto* noteBoxLayout = new QVBoxLayout(noteBox);
    noteBoxLayout->setContentsMargins(0, kPanelSpacing + 4, 0, 0);
    auto* card = new NoteCard;
    noteBoxLayout->addWidget(card);
    auto* cardColumn = new QVBoxLayout(card);
    cardColumn->setContentsMargins(10, 10, 10, 10);
    cardColumn->setSpacing(8);
    auto* noteLine = new QHBoxLayout;
    noteLine->setSpacing(7);
    auto* noteText = new kit::TextView(
        kRecordingNote, [] { return RowStyle::geist(10.5, RowStyle::dim()); }, kit::TextOptions{2});
    noteText->setObjectName(QStringLiteral("recordingNoteText"));
    noteLine->addWidget(new NoteDot(noteText));
    noteLine->addWidget(noteText, 1, Qt::AlignTop);
    cardColumn->addLayout(noteLine);
    auto* gotIt = new kit::PillButton(
        QStringLiteral("Got it"), kit::PillButtonStyle::Kind::Outline, kit::ControlSize::Small);
    gotIt->setObjectName(QStringLiteral("gotItButton"));
    connect(gotIt, &QAbstractButton::clicked, this, &AppRowView::dismissRecordingNote);
    auto* buttonLine = new QHBoxLayout;
    buttonLine->setContentsMargins(13, 0, 0, 0);
    buttonLine->addWidget(gotIt);
    buttonLine->addStretch(1);
    cardColumn->addLayout(buttonLine);
    m_note = new kit::Collapsible(noteBox, !seenPinRecordingNote());
    m_note->setObjectName(QStringLiteral("recordingNote"));
    column->addWidget(m_note);
    return panel;
}

void AppRowView::setApp(const AppInfo& app)
{
    m_app = app;
    RowStyle::setText(m_name, app.name);
    static_cast<AppIconView*>(m_icon)->setIcon(app.icon);
    m_switch->setAccessibleName(app.name);
    RowStyle::setTooltip(m_countButton, QStringLiteral("Control %1's windows separately").arg(app.name));
    RowStyle::setTooltip(m_chip,
                         QStringLiteral("Set how see-through %1's pinned windows stay").arg(app.name));
    if (m_synced) {
        syncPanel(false);
    }
}

QList<WindowRowView*> AppRowView::windowRows() const
{
    QList<WindowRowView*> rows;
    for (const WindowInfo& window : m_model.windows) {
        if (WindowRowView* row = m_windowRows.value(window.id)) {
            rows.append(row);
        }
    }
    return rows;
}

bool AppRowView::showsRecordingNote() const
{
    return m_model.isTransparencyOpen && m_note != nullptr && m_note->isExpanded();
}

void AppRowView::sync()
{
    const AppRowModel next = AppRowModel::make(m_windowManager, m_app.bundleID, m_navigation, m_hovered);
    const AppRowModel before = m_model;
    const bool first = !m_synced;
    m_model = next;
    m_synced = true;
    syncBackground(first, before);
    if (!first && next == before) {
        return;
    }
    // As each watched value changes, what depends on it animates with that value's own motion;
    // other changes follow the transaction they were made in (at once outside one).
    const auto changed = [first](bool now, bool was) {
        return first || now != was;
    };
    const auto motion = [first](const kit::Animation& animation) -> std::optional<kit::Animation> {
        if (first) {
            return std::nullopt;
        }
        return animation;
    };
    const bool hiddenChanged = changed(next.isHidden, before.isHidden);
    const bool expandedChanged = changed(next.isExpanded, before.isExpanded);
    const bool openChanged = changed(next.isTransparencyOpen, before.isTransparencyOpen);
    const auto inherited = first ? std::nullopt : kit::transactionAnimation();

    if (hiddenChanged) {
        m_hiddenness.change(next.isHidden ? 1 : 0, motion(RowStyle::hiddenAnimation()));
        m_name->update();
    }
    const std::optional<QString> badge = next.badgeText();
    if (badge) {
        RowStyle::setText(m_badge, *badge);
    }
    kit::Presence::of(m_badge).setPresent(badge.has_value(),
                                          hiddenChanged ? motion(RowStyle::hiddenAnimation()) : inherited);

    m_countButton->setVisible(next.canExpand);
    if (next.canExpand) {
        RowStyle::setText(m_countLabel, next.windowCountText());
    }
    kit::Presence::of(m_pinHint).setPresent(
        !next.canExpand && next.showsPinHint,
        changed(next.showsPinHint, before.showsPinHint) ? motion(RowStyle::hoverAnimation()) : inherited);

    kit::Presence::of(m_chip).setPresent(next.hasPinnedContent, inherited);
    RowStyle::setText(m_chipLabel, next.transparencyPercentText());
    m_chip->update();
    m_pin->setState(next.isPinned, next.hasPinnedWindows);
    m_pin->setHelp(next.isPinned ? QStringLiteral("Unpin all windows")
                                 : QStringLiteral("Pin on top and set transparency"));
    m_switch->setOn(next.isHidden);
    RowStyle::setTooltip(m_switch,
                         next.isHidden ? QStringLiteral("Show all windows")
                                       : QStringLiteral("Hide all windows, including new ones"));

    // Window rows are made the first time the list opens, then kept in step with the windows.
    const bool building = next.isExpanded && !m_windowRowsBuilt;
    m_windowRowsBuilt = m_windowRowsBuilt || building;
    if (m_windowRowsBuilt && (building || next.windows != before.windows)) {
        syncWindowRows();
    }
    if (expandedChanged) {
        m_windowList->setExpanded(next.isExpanded, motion(RowStyle::layoutAnimation()));
        m_expandedness.change(next.isExpanded ? 1 : 0, motion(RowStyle::layoutAnimation()));
    }
    if (openChanged && next.isTransparencyOpen) {
        ensurePanel();
    }
    if (openChanged && m_panel != nullptr) {
        m_panel->setExpanded(next.isTransparencyOpen, motion(RowStyle::layoutAnimation()));
    }
    syncPanel(openChanged);
}

void AppRowView::syncBackground(bool first, const AppRowModel& before)
{
    const bool filled = m_model.isTransparencyOpen || m_model.isExpanded || m_hovered;
    const bool bordered = m_model.isTransparencyOpen || m_model.isExpanded;
    std::optional<kit::Animation> animation;
    if (!first) {
        const bool layoutChanged = m_model.isExpanded != before.isExpanded
                                   || m_model.isTransparencyOpen != before.isTransparencyOpen;
        animation = layoutChanged ? RowStyle::layoutAnimation() : RowStyle::hoverAnimation();
    }
    if (filled != (m_fill.target() > 0.5)) {
        m_fill.change(filled ? 1 : 0, animation);
    }
    if (bordered != (m_border.target() > 0.5)) {
        m_border.change(bordered ? 1 : 0, animation);
    }
}

void AppRowView::syncPanel(bool opened)
{
    if ((!m_model.isTransparencyOpen && !opened) || m_panel == nullptr) {
        return;
    }
    if (m_slider->value() != m_model.transparency) {
        m_slider->setValue(m_model.transparency);
    }
    RowStyle::setText(
        m_description,
        m_model.transparency > 0
            ? QStringLiteral("Pinned windows stay see-through, even while you use them.")
            : QStringLiteral("Opaque. Drag to make %1's pinned windows see-through.").arg(m_app.name));
}

void AppRowView::syncWindowRows()
{
    auto* list = static_cast<QVBoxLayout*>(m_windowListContent->layout());
    QHash<quint32, WindowRowView*> kept;
    bool reordered = false;
    for (qsizetype i = 0; i < m_model.windows.size(); ++i) {
        const WindowInfo& window = m_model.windows.at(i);
        const QString fallback = QStringLiteral("Window %1").arg(i + 1);
        WindowRowView* row = m_windowRows.take(window.id);
        if (row == nullptr) {
            row = new WindowRowView(m_windowManager, window, fallback, [this](bool pinned) {
                kit::animateRespectingReduceMotion([this, pinned] { pinStateChanged(pinned); });
            });
            list->insertWidget(static_cast<int>(i), row);
        } else {
            row->setWindow(window, fallback);
            reordered = reordered || list->indexOf(row) != i;
        }
        kept.insert(window.id, row);
    }
    // Windows no longer listed.
    for (WindowRowView* gone : std::as_const(m_windowRows)) {
        delete gone;
    }
    m_windowRows = kept;
    if (reordered) {
        for (qsizetype i = 0; i < m_model.windows.size(); ++i) {
            WindowRowView* row = m_windowRows.value(m_model.windows.at(i).id);
            list->removeWidget(row);
            list->insertWidget(static_cast<int>(i), row);
        }
    }
    m_windowList->updateGeometry();
}

void AppRowView::toggleHidden()
{
    m_windowManager.toggleHidden(m_app.bundleID);
}

void AppRowView::togglePinned()
{
    const bool wasPinned = m_model.isPinned;
    m_windowManager.togglePinned(m_app.bundleID);
    kit::withAnimation(RowStyle::layoutAnimation(), [this, wasPinned] { pinStateChanged(!wasPinned); });
}

void AppRowView::pinStateChanged(bool nowPinned)
{
    applyPinStateChange(nowPinned, m_app.bundleID, m_windowManager, m_navigation);
}

void AppRowView::toggleExpanded()
{
    QSet<QString> expanded = m_navigation.expandedAppIDs();
    if (m_model.isExpanded) {
        expanded.remove(m_app.bundleID);
    } else {
        expanded.insert(m_app.bundleID);
    }
    m_navigation.setExpandedAppIDs(expanded);
}

void AppRowView::toggleTransparencyPanel()
{
    m_navigation.setTransparencyAppID(m_model.isTransparencyOpen ? std::nullopt
                                                                 : std::optional<QString>(m_app.bundleID));
}

void AppRowView::setTransparency(double transparency)
{
    m_windowManager.setPinnedTransparency(transparency, m_app.bundleID);
}

void AppRowView::dismissRecordingNote()
{
    if (platform::UserDefaults* defaults = m_windowManager.services().defaults) {
        kit::withAnimation(RowStyle::hoverAnimation(),
                           [defaults] { defaults->setObject(true, seenPinRecordingNoteKey); });
    }
}

bool AppRowView::seenPinRecordingNote() const
{
    const platform::UserDefaults* defaults = m_windowManager.services().defaults;
    return defaults != nullptr && defaults->boolForKey(seenPinRecordingNoteKey);
}

void AppRowView::enterEvent(QEnterEvent* /*e*/)
{
    m_hovered = true;
    sync();
}

void AppRowView::leaveEvent(QEvent* /*e*/)
{
    m_hovered = false;
    sync();
}

void AppRowView::paintEvent(QPaintEvent* /*e*/)
{
    const double fill = m_fill.value();
    const double border = m_border.value();
    if (fill <= 0 && border <= 0) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    QColor color = kit::Palette::surfaceRaised();
    color.setAlphaF(static_cast<float>(std::clamp(fill, 0.0, 1.0)));
    painter.fillPath(kit::continuousRoundedRect(box, kCornerRadius), color);
    QColor line = kit::Palette::hairline();
    line.setAlphaF(static_cast<float>(line.alphaF() * std::clamp(border, 0.0, 1.0)));
    kit::strokeInnerBorder(painter, box, kCornerRadius, line);
}
