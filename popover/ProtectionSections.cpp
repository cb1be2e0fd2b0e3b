#include "popover/ProtectionSections.h"

#include "popover/MenuBarView.h"
#include "popover/PopoverNavigation.h"
#include "popover/RowStyle.h"
#include "popover/SettingRow.h"
#include "popover/SwitchBinding.h"
#include "popover/TapArea.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/Tooltips.h"
#include "state/WindowManager.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

// A switch and the chevron after it, the trailing part of the focus-stage and auto-hide rows.
QWidget* switchWithChevron(kit::FlameToggle* toggle)
{
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(toggle);
    row->addWidget(new kit::SymbolView(
        QStringLiteral("chevron.right"), 10, [] { return RowStyle::faint(); }, kit::FontWeight::semibold));
    return box;
}

QWidget* separator()
{
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 12, 0, 12);
    auto* line = new QWidget;
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, kit::Palette::hairline());
    line->setPalette(palette);
    column->addWidget(line);
    return box;
}

kit::PillButton* maskButton(const char* name,
                            const QString& title,
                            kit::PillButtonStyle::Kind kind,
                            const QString& tooltip,
                            QHBoxLayout* row)
{
    auto* button = new kit::PillButton(title, kind, kit::ControlSize::Small);
    button->setObjectName(QString::fromLatin1(name));
    kit::TooltipSource::attach(button, tooltip);
    row->addWidget(button);
    return button;
}

} // namespace

ProtectionSections::ProtectionSections(WindowManager& windowManager,
                                       PopoverNavigation& navigation,
                                       QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
{
    setObjectName(QStringLiteral("protectionSections"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    WindowManager* wm = &windowManager;

    auto* focusSwitch = new kit::FlameToggle;
    focusSwitch->setObjectName(QStringLiteral("focusStageSwitch"));
    focusSwitch->setAccessibleName(QStringLiteral("Focus Stage"));
    bindSwitch(
        focusSwitch,
        wm,
        &WindowManager::focusStageOnVirtualDisplayChanged,
        [wm] { return wm->focusStageOnVirtualDisplay(); },
        [wm](bool on) { MenuBarView::setFocusStage(*wm, on); });
    column->addWidget(new SettingRow(std::nullopt,
                                     QStringLiteral("Focus Stage"),
                                     QStringLiteral("Clean backdrop for your share"),
                                     switchWithChevron(focusSwitch)));
    column->addWidget(separator());

    auto* buttons = new QWidget;
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(6);
    using Kind = kit::PillButtonStyle::Kind;
    m_undo = maskButton("undoMasksButton",
                        QStringLiteral("Undo"),
                        Kind::Primary,
                        QStringLiteral("Restore the masks you most recently removed"),
                        buttonRow);
    m_clear = maskButton("clearMasksButton",
                         QStringLiteral("Clear"),
                         Kind::Quiet,
                         QStringLiteral("Remove every mask"),
                         buttonRow);
    m_draw = maskButton(
        "drawMasksButton",
        QStringLiteral("Draw"),
        Kind::Outline,
        QStringLiteral("Drag boxes over anything your call shouldn't see, like a balance or an email"),
        buttonRow);
    m_edit = maskButton("editMasksButton",
                        QStringLiteral("Edit"),
                        Kind::Outline,
                        QStringLiteral("Draw new masks, or move, resize and remove existing ones"),
                        buttonRow);
    connect(m_undo, &QAbstractButton::clicked, this, [wm] { wm->undoShareMaskRemoval(); });
    connect(m_clear, &QAbstractButton::clicked, this, [wm] { wm->clearShareMasks(); });
    for (kit::PillButton* opens : {m_draw, m_edit}) {
        connect(opens, &QAbstractButton::clicked, this, [wm] { wm->openShareMaskEditor(); });
    }
    m_masksRow = new SettingRow(std::nullopt, QStringLiteral("Mask areas"), QString(), buttons);
    column->addWidget(m_masksRow);
    column->addWidget(separator());

    // A row that opens the auto-hide page wherever it is pressed, except on its switch.
    auto* autoHide = new TapArea(QPointF(0.5, 0.5));
    autoHide->setObjectName(QStringLiteral("autoHideRowButton"));
    kit::TooltipSource::attach(autoHide,
                               QStringLiteral("Choose which apps hide automatically when you share"));
    connect(autoHide, &TapArea::tapped, this, [&navigation] { navigation.openAutoHide(); });
    auto* autoHideSwitch = new kit::FlameToggle;
    autoHideSwitch->setObjectName(QStringLiteral("autoHideSwitch"));
    autoHideSwitch->setAccessibleName(QStringLiteral("Auto-hide when sharing"));
    bindSwitch(
        autoHideSwitch,
        wm,
        &WindowManager::autoHideEnabledChanged,
        [wm] { return wm->autoHideEnabled(); },
        [wm](bool on) { MenuBarView::setAutoHideEnabled(*wm, on); });
    m_autoHideRow = new SettingRow(
        std::nullopt, QStringLiteral("Auto-hide when sharing"), QString(), switchWithChevron(autoHideSwitch));
    auto* autoHideLayout = new QVBoxLayout(autoHide);
    autoHideLayout->setContentsMargins(0, 0, 0, 0);
    autoHideLayout->addWidget(m_autoHideRow);
    column->addWidget(autoHide);

    connect(wm, &WindowManager::shareMasksChanged, this, &ProtectionSections::syncMasks);
    connect(wm, &WindowManager::canUndoShareMaskRemovalChanged, this, &ProtectionSections::syncMasks);
    for (auto signal : {&WindowManager::autoHideActiveChanged, &WindowManager::autoHideEnabledChanged}) {
        connect(wm, signal, this, &ProtectionSections::syncAutoHide);
    }
    connect(wm, &WindowManager::autoHideBundleIDsChanged, this, &ProtectionSections::syncAutoHide);
    connect(wm, &WindowManager::detectedShareChanged, this, &ProtectionSections::syncAutoHide);
    syncMasks();
    syncAutoHide();
}

QString ProtectionSections::masksSubtitle(qsizetype maskCount)
{
    if (maskCount <= 0) {
        return QStringLiteral("Cover parts of a window on your share");
    }
    return QStringLiteral("%1 area%2 covered on your share").arg(maskCount).arg(maskCount == 1 ? "" : "s");
}

QString ProtectionSections::autoHideSubtitle(bool autoHideActive,
                                             bool autoHideEnabled,
                                             qsizetype listedApps,
                                             const std::optional<QString>& shareAppName)
{
    const QString apps = QStringLiteral("%1 app%2").arg(listedApps).arg(listedApps == 1 ? "" : "s");
    if (autoHideActive) {
        return apps + QStringLiteral(" hidden in ") + shareAppName.value_or(QStringLiteral("your meeting"));
    }
    if (autoHideEnabled && listedApps == 0) {
        return QStringLiteral("Choose apps to hide");
    }
    if (autoHideEnabled) {
        return apps + QStringLiteral(" hide when you share");
    }
    return QStringLiteral("Hide apps when you share");
}

void ProtectionSections::syncMasks()
{
    const qsizetype count = m_windowManager.shareMasks().size();
    m_masksRow->setSubtitle(masksSubtitle(count));
    m_undo->setVisible(m_windowManager.canUndoShareMaskRemoval());
    m_clear->setVisible(count > 0);
    m_draw->setVisible(count == 0);
    m_edit->setVisible(count > 0);
}

void ProtectionSections::syncAutoHide()
{
    const auto& share = m_windowManager.detectedShare();
    m_autoHideRow->setSubtitle(
        autoHideSubtitle(m_windowManager.autoHideActive(),
                         m_windowManager.autoHideEnabled(),
                         m_windowManager.autoHideBundleIDs().size(),
                         share ? std::optional<QString>(share->appName) : std::nullopt));
}
