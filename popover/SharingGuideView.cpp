#include "popover/SharingGuideView.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/IconButton.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/SymbolView.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

kit::TextLook geist(kit::FontWeight weight, double size, const QColor& color, double tracking = 0)
{
    kit::TextLook look;
    look.face = kit::geistFontName(weight);
    look.size = size;
    look.tracking = tracking;
    look.color = color;
    return look;
}

// A row whose leading view sits on the first baseline of the wrapping text beside it.
QWidget* baselineRow(QWidget* leading, double leadingBaseline, kit::TextView* text, int spacing)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    const double textBaseline = text->layoutAt(1000).firstBaseline();
    auto* leadingColumn = new QVBoxLayout;
    leadingColumn->setContentsMargins(
        0, static_cast<int>(std::lround(std::max(textBaseline - leadingBaseline, 0.0))), 0, 0);
    leadingColumn->addWidget(leading);
    leadingColumn->addStretch(1);
    layout->addLayout(leadingColumn);
    layout->addWidget(text, 1, Qt::AlignTop);
    return row;
}

// The hairline between the steps and the tips.
class Divider final : public QWidget
{
public:
    Divider() { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), kit::Palette::hairline());
    }
};

} // namespace

const QList<SharingGuideView::Step>& SharingGuideView::steps()
{
    static const QList<Step> list = {
        {QStringLiteral("01"),
         false,
         QStringLiteral("In Meet, Zoom, Teams, or Slack, click **Share Screen**.")},
        {QStringLiteral("02"),
         false,
         QStringLiteral("Select the **Entire Screen** tab (not a single window).")},
        {QStringLiteral("03"),
         true,
         QStringLiteral(
             "Pick the **Veilmox** screen \u2014 Screen 2 with one monitor, otherwise the last screen "
             "listed.")},
    };
    return list;
}

const QList<SharingGuideView::Tip>& SharingGuideView::tips()
{
    static const QList<Tip> list = {
        {QStringLiteral("command"),
         QStringLiteral("Press **\u21E7 \u2318 H** anywhere to instantly veil or unveil your active app.")},
        {QStringLiteral("macwindow"),
         QStringLiteral(
             "Apps with several windows show **N WINDOWS** \u2014 expand it to hide or pin each window on "
             "its own.")},
        {QStringLiteral("circle.lefthalf.filled"),
         QStringLiteral(
             "Pin an app, then tap its **%** chip to set how see-through it stays \u2014 even while you "
             "click and type in it.")},
        {QStringLiteral("record.circle"),
         QStringLiteral(
             "While an app is pinned, macOS shows a **purple recording icon**. That's how Veilmox draws "
             "the app on top \u2014 nothing is saved or sent.")},
        {QStringLiteral("exclamationmark.triangle"),
         QStringLiteral(
             "Veilmox doesn't work with apps in macOS native Full Screen (green button). Keep them "
             "windowed.")},
    };
    return list;
}

SharingGuideView::SharingGuideView(std::function<void()> onClose, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("sharingGuide"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // 1. Header.
    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(new kit::TextLabel(QStringLiteral("MEETING SHARING GUIDE"), [] {
        return kit::monoLabel(9.5, kit::SecondaryWhite::caption(kit::increaseContrast()));
    }));
    header->addStretch(1);
    auto* close = new kit::IconButton(QStringLiteral("xmark"));
    close->setObjectName(QStringLiteral("guideCloseButton"));
    connect(close, &QAbstractButton::clicked, this, [onClose] { onClose(); });
    header->addWidget(close);
    column->addLayout(header);
    column->addSpacing(6);

    // 2. Title.
    column->addWidget(
        new kit::TextView(QStringLiteral("Share Entire Screen \u2192 Veilmox"),
                          geist(kit::FontWeight::semibold, 16, kit::Palette::textPrimary(), -0.32)));
    column->addSpacing(14);

    // 3. Steps.
    auto* stepList = new QVBoxLayout;
    stepList->setSpacing(10);
    for (const Step& step : steps()) {
        const bool highlighted = step.highlighted;
        auto* number = new kit::TextView(step.number, [highlighted] {
            kit::TextLook look;
            look.face = kit::geistMonoFontName(kit::FontWeight::medium);
            look.size = 10;
            look.color = highlighted ? kit::Palette::flameSoft()
                                     : kit::SecondaryWhite::symbol(kit::increaseContrast());
            return look;
        });
        auto* text = new kit::TextView(QString(), [highlighted] {
            return geist(kit::FontWeight::regular,
                         12.5,
                         highlighted ? kit::Palette::textPrimary()
                                     : kit::SecondaryWhite::body(kit::increaseContrast()));
        });
        text->setMarkdown(step.text);
        m_stepTexts << text;
        stepList->addWidget(baselineRow(number, number->layoutAt(100).firstBaseline(), text, 10));
    }
    column->addLayout(stepList);
    column->addSpacing(16);

    // 4. Divider.
    column->addWidget(new Divider);
    column->addSpacing(14);

    // 5. Tips.
    auto* tipList = new QVBoxLayout;
    tipList->setSpacing(10);
    for (const Tip& tip : tips()) {
        const auto muted = [] {
            return kit::SecondaryWhite::caption(kit::increaseContrast());
        };
        auto* symbol = new kit::SymbolView(tip.symbol, 10, muted);
        auto* frame = new QWidget;
        frame->setFixedWidth(12);
        auto* frameLayout = new QHBoxLayout(frame);
        frameLayout->setContentsMargins(0, 0, 0, 0);
        frameLayout->addWidget(symbol, 0, Qt::AlignCenter);
        frame->setFixedHeight(symbol->height());
        kit::TextOptions spaced;
        spaced.lineSpacing = 2;
        auto* text = new kit::TextView(
            QString(),
            [] {
                return geist(
                    kit::FontWeight::regular, 11.5, kit::SecondaryWhite::body(kit::increaseContrast()));
            },
            spaced);
        text->setMarkdown(tip.text);
        m_tipTexts << text;
        // A symbol stands on the baseline like a glyph, its round parts dipping a little below.
        const double side = kit::symbolSide(10);
        tipList->addWidget(baselineRow(frame, side * 0.9, text, 9));
    }
    column->addLayout(tipList);
    column->addSpacing(16);

    // 6. Footer.
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(0, 0, 0, 0);
    footer->addWidget(new kit::TextView(QStringLiteral("Hidden apps stay invisible to others."), [] {
        return geist(kit::FontWeight::regular, 11, kit::SecondaryWhite::caption(kit::increaseContrast()));
    }));
    footer->addStretch(1);
    auto* gotIt = new kit::PillButton(
        QStringLiteral("Got it"), kit::PillButtonStyle::Kind::Primary, kit::ControlSize::Small);
    gotIt->setObjectName(QStringLiteral("guideGotItButton"));
    connect(gotIt, &QAbstractButton::clicked, this, [onClose] { onClose(); });
    footer->addWidget(gotIt);
    column->addLayout(footer);
}
