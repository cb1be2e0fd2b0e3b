#include "popover/PageHeader.h"

#include "shell/kit/IconButton.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Typography.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QScrollArea>

PageHeader::PageHeader(const QString& title, std::function<void()> onBack, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("pageHeader"));
    auto* layers = new QGridLayout(this);
    layers->setContentsMargins(12, 14, 12, 12);

    kit::TextLook titleLook;
    titleLook.face = kit::geistFontName(kit::FontWeight::semibold);
    titleLook.size = 14;
    titleLook.tracking = -0.21;
    titleLook.color = kit::Palette::textPrimary();
    auto* titleLabel = new kit::TextLabel(title, titleLook);
    titleLabel->setObjectName(QStringLiteral("pageTitle"));
    titleLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    layers->addWidget(titleLabel, 0, 0, Qt::AlignCenter);

    auto* row = new QHBoxLayout;
    auto* back = new kit::IconButton(QStringLiteral("chevron.left"));
    back->setObjectName(QStringLiteral("backButton"));
    back->setAccessibleName(QStringLiteral("Back"));
    kit::TooltipSource::attach(back, QStringLiteral("Back"));
    auto* done = new kit::PillButton(
        QStringLiteral("Done"), kit::PillButtonStyle::Kind::Outline, kit::ControlSize::Small);
    done->setObjectName(QStringLiteral("doneButton"));
    row->addWidget(back);
    row->addStretch(1);
    row->addWidget(done);
    layers->addLayout(row, 0, 0);

    connect(back, &QAbstractButton::clicked, this, [onBack] { onBack(); });
    connect(done, &QAbstractButton::clicked, this, [onBack] { onBack(); });
}

QScrollArea* pageScrollArea(const QString& objectName, QWidget* content)
{
    auto* scroll = new QScrollArea;
    scroll->setObjectName(objectName);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(content);
    // Set after setWidget, which turns it on.
    content->setAutoFillBackground(false);
    return scroll;
}
