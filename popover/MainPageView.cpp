#include "popover/MainPageView.h"

#include "popover/AppListView.h"
#include "popover/DisplayStrip.h"
#include "popover/PreviewCard.h"
#include "popover/ProtectionSections.h"
#include "popover/RowStyle.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "state/WindowManager.h"

#include <QHBoxLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cmath>

namespace {

// A block of the column, 12 points in from the sides, with room below it.
QWidget* padded(QWidget* block, int bottom)
{
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(12, 0, 12, bottom);
    column->addWidget(block);
    return box;
}

kit::Shadow previewShadow()
{
    return {kit::rgb(0xFF7A17, 0.14), MainPageView::kShadowRadius, QPointF(0, MainPageView::kShadowOffsetY)};
}

} // namespace

MainPageView::MainPageView(WindowManager& windowManager,
                           PiPController& pip,
                           PopoverNavigation& navigation,
                           QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
{
    setObjectName(QStringLiteral("mainPageView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_notice = padded(makeNotice(), 10);
    m_notice->setObjectName(QStringLiteral("permissionNotice"));
    column->addWidget(m_notice);

    m_preview = new PreviewCard(windowManager, pip);
    m_previewBox = padded(m_preview, 10);
    column->addWidget(m_previewBox);

    m_strip = new DisplayStrip(windowManager);
    m_stripBox = padded(m_strip, 10);
    column->addWidget(m_stripBox);

    m_sectionsCard = new kit::CardBackground(14, windowManager.autoHideActive());
    m_sectionsCard->setObjectName(QStringLiteral("sectionsCard"));
    m_sections = new ProtectionSections(windowManager, navigation);
    m_sectionsCard->contentLayout()->addWidget(m_sections);
    column->addWidget(padded(m_sectionsCard, 10));

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("appListScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    m_appList = new AppListView(windowManager, navigation);
    scroll->setWidget(m_appList);
    // The popover's canvas shows through (setting the widget gives it a fill of its own).
    m_appList->setAutoFillBackground(false);
    column->addWidget(scroll, 1);

    connect(&windowManager, &WindowManager::hasScreenRecordingPermissionChanged, this, &MainPageView::sync);
    connect(&windowManager, &WindowManager::availableDisplaysChanged, this, &MainPageView::sync);
    connect(&windowManager, &WindowManager::autoHideActiveChanged, this, &MainPageView::sync);
    sync();
}

QWidget* MainPageView::makeNotice()
{
    auto* card = new kit::CardBackground(16, true);
    QVBoxLayout* column = card->contentLayout();
    column->setSpacing(0);

    auto* eyebrow = new QHBoxLayout;
    eyebrow->setSpacing(7);
    eyebrow->addWidget(new kit::PulseDot(kit::Palette::flame(), true));
    eyebrow->addWidget(new kit::TextLabel(QStringLiteral("PERMISSION REQUIRED"),
                                          kit::monoLabel(9.5, kit::Palette::flameSoft())));
    eyebrow->addStretch(1);
    column->addLayout(eyebrow);
    column->addSpacing(10);
    column->addWidget(new kit::TextView(QStringLiteral("Screen Recording access required"),
                                        RowStyle::geist(14, Qt::white, kit::FontWeight::semibold, -0.21)));
    column->addSpacing(4);
    column->addWidget(
        new kit::TextView(QStringLiteral("Enable it in System Settings, then relaunch Veilmox."),
                          [] { return RowStyle::geist(12, RowStyle::dim()); }));
    column->addSpacing(14);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    using Kind = kit::PillButtonStyle::Kind;
    const auto add =
        [this, buttons](const char* name, const QString& title, Kind kind, void (WindowManager::*op)()) {
            auto* button = new kit::PillButton(title, kind, kit::ControlSize::Small);
            button->setObjectName(QString::fromLatin1(name));
            connect(button, &QAbstractButton::clicked, this, [this, op] { (m_windowManager.*op)(); });
            buttons->addWidget(button);
        };
    add("openSettingsButton",
        QStringLiteral("Open Settings"),
        Kind::Primary,
        &WindowManager::openScreenRecordingPane);
    add("recheckButton",
        QStringLiteral("Recheck"),
        Kind::Outline,
        &WindowManager::refreshScreenRecordingPermission);
    add("resetButton",
        QStringLiteral("Reset"),
        Kind::Outline,
        &WindowManager::resetScreenRecordingPermission);
    buttons->addStretch(1);
    column->addLayout(buttons);
    return card;
}

int MainPageView::previewBottomPadding() const
{
    return m_previewBox->layout()->contentsMargins().bottom();
}

void MainPageView::sync()
{
    m_notice->setVisible(!m_windowManager.hasScreenRecordingPermission());
    const bool strip = m_windowManager.availableDisplays().size() >= 2;
    m_stripBox->setVisible(strip);
    m_previewBox->layout()->setContentsMargins(12, 0, 12, strip ? 8 : 10);
    m_sectionsCard->setActive(m_windowManager.autoHideActive());
}

void MainPageView::paintEvent(QPaintEvent* e)
{
    const kit::Shadow shadow = previewShadow();
    const QRectF card(m_preview->mapTo(this, QPointF()), QSizeF(m_preview->size()));
    const QRectF area = card.marginsAdded(shadow.reach());
    // The card covers its glow but for its rounded corners: a repaint inside the card away from
    // them (a new preview frame) shows nothing of it.
    const double r = PreviewCard::kCornerRadius;
    const QRectF dirty(e->rect());
    const bool hidden =
        card.adjusted(r, 0, -r, 0).contains(dirty) || card.adjusted(0, r, 0, -r).contains(dirty);
    if (!dirty.intersects(area) || card.isEmpty() || hidden) {
        return;
    }
    const double scale = devicePixelRatioF();
    const QSize pixels(static_cast<int>(std::ceil(area.width() * scale)),
                       static_cast<int>(std::ceil(area.height() * scale)));
    if (m_shadow.size() != pixels || m_shadow.devicePixelRatio() != scale) {
        m_shadow = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_shadow.setDevicePixelRatio(scale);
        m_shadow.fill(Qt::transparent);
        QPainter p(&m_shadow);
        const QRectF local(card.topLeft() - area.topLeft(), card.size());
        kit::drawShadow(p, kit::continuousRoundedRect(local, PreviewCard::kCornerRadius), shadow);
    }
    QPainter painter(this);
    painter.drawImage(area.topLeft(), m_shadow);
}
