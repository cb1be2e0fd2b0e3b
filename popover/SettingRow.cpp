#include "popover/SettingRow.h"

#include "popover/RowStyle.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextView.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The 28-point tile behind a row's symbol.
class IconTile final : public QWidget
{
public:
    explicit IconTile(QString symbol)
        : m_symbol(std::move(symbol))
    {
        setObjectName(QStringLiteral("settingRowIcon"));
        const int side = static_cast<int>(SettingRow::kTileSide);
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF r = rect();
        painter.setPen(Qt::NoPen);
        painter.setBrush(kit::Palette::surfaceRaised());
        painter.drawPath(kit::continuousRoundedRect(r, SettingRow::kTileCornerRadius));
        kit::strokeInnerBorder(painter, r, SettingRow::kTileCornerRadius, kit::Palette::hairline());
        kit::paintSymbol(painter,
                         m_symbol,
                         r.center(),
                         SettingRow::kIconPointSize,
                         kit::SecondaryWhite::body(kit::increaseContrast()));
    }

private:
    QString m_symbol;
};

} // namespace

SettingRow::SettingRow(const std::optional<QString>& icon,
                       const QString& title,
                       const QString& subtitle,
                       QWidget* trailing,
                       QWidget* parent)
    : QWidget(parent)
    , m_trailing(trailing)
{
    setObjectName(QStringLiteral("settingRow"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(static_cast<int>(kSpacing));
    if (icon) {
        m_iconTile = new IconTile(*icon);
        row->addWidget(m_iconTile, 0, Qt::AlignVCenter);
    }

    kit::TextOptions oneLine;
    oneLine.lineLimit = 1;
    m_title = new kit::TextView(
        title,
        [] {
            kit::TextLook look;
            look.face = kit::geistFontName(kit::FontWeight::medium);
            look.size = 13;
            look.tracking = -0.13;
            look.color = kit::Palette::textPrimary();
            return look;
        },
        oneLine);
    m_title->setObjectName(QStringLiteral("settingRowTitle"));
    m_subtitle = new kit::TextView(subtitle, [] {
        kit::TextLook look;
        look.face = kit::geistFontName(kit::FontWeight::regular);
        look.size = 11;
        look.color = kit::SecondaryWhite::caption(kit::increaseContrast());
        return look;
    });
    m_subtitle->setObjectName(QStringLiteral("settingRowSubtitle"));
    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(static_cast<int>(kTextSpacing));
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);
    // The texts take the row's free width; before the control stays at least the spacer's minimum.
    row->addLayout(texts, 1);
    if (trailing != nullptr) {
        RowStyle::addSpacer(row, static_cast<int>(kMinimumGap), false);
        row->addWidget(trailing, 0, Qt::AlignVCenter);
    }
}

QString SettingRow::title() const
{
    return m_title->text();
}

void SettingRow::setTitle(const QString& title)
{
    m_title->setText(title);
}

QString SettingRow::subtitle() const
{
    return m_subtitle->text();
}

void SettingRow::setSubtitle(const QString& subtitle)
{
    m_subtitle->setText(subtitle);
}
