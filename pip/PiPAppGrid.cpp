#include "pip/PiPAppGrid.h"

#include "shell/kit/Accessibility.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Tooltips.h"
#include "shell/kit/Transaction.h"
#include "state/WindowManager.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// A tile as assistive technologies see it: a button named after its app whose value says
// whether the app is hidden.
class TileAccessible final : public QAccessibleWidget
{
public:
    explicit TileAccessible(QWidget* w)
        : QAccessibleWidget(w, QAccessible::Button)
    {}

    int childCount() const override { return 0; }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return tile()->app().name;
        case QAccessible::Value:
            return tile()->accessibilityValue();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction()) {
            tile()->click();
        }
    }

private:
    PiPAppTile* tile() const { return static_cast<PiPAppTile*>(widget()); }
};

QAccessibleInterface* tileAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("PiPAppTile") && object != nullptr && object->isWidgetType()) {
        return new TileAccessible(static_cast<QWidget*>(object));
    }
    return nullptr;
}

QColor mix(const QColor& from, const QColor& to, double t)
{
    const auto lerp = [t](double a, double b) {
        return a + (b - a) * t;
    };
    return QColor::fromRgbF(static_cast<float>(lerp(from.redF(), to.redF())),
                            static_cast<float>(lerp(from.greenF(), to.greenF())),
                            static_cast<float>(lerp(from.blueF(), to.blueF())),
                            static_cast<float>(lerp(from.alphaF(), to.alphaF())));
}

QColor transparentOf(const QColor& colour)
{
    QColor c = colour;
    c.setAlphaF(0);
    return c;
}

kit::Animation hoverAnimation()
{
    return kit::respectingReduceMotion(kit::Animation::standard(0.18));
}

} // namespace

PiPAppTile::PiPAppTile(WindowManager& windowManager, AppInfo app, QWidget* parent)
    : PressFeedbackButton(parent)
    , m_windowManager(windowManager)
    , m_app(std::move(app))
{
    static const bool installed = [] {
        QAccessible::installFactory(tileAccessibleFactory);
        return true;
    }();
    static_cast<void>(installed);
    setObjectName(QStringLiteral("PiPAppTile"));
    setFixedSize(static_cast<int>(kSide), static_cast<int>(kSide));
    setAccessibleName(m_app.name);
    if (!m_app.icon.isNull()) {
        m_greyIcon = m_app.icon.convertToFormat(QImage::Format_Grayscale8)
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        // Grey keeps the icon's own transparency.
        const QImage alpha = m_app.icon.convertToFormat(QImage::Format_Alpha8);
        QPainter mask(&m_greyIcon);
        mask.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        mask.drawImage(0, 0, alpha);
    }
    m_hidden.setOnChange([this] { update(); });
    m_hover.setOnChange([this] { update(); });
    connect(this, &QAbstractButton::clicked, this, &PiPAppTile::toggle);
    connect(&windowManager, &WindowManager::hiddenBundleIDsChanged, this, &PiPAppTile::sync);
    m_shownHidden = isAppHidden();
    m_hidden.set(m_shownHidden ? 1 : 0);
    kit::TooltipSource::attach(this, tooltip(m_app.name, m_shownHidden));
}

bool PiPAppTile::isAppHidden() const
{
    return m_windowManager.hiddenBundleIDs().contains(m_app.bundleID);
}

void PiPAppTile::toggle()
{
    const QString bundleID = m_app.bundleID;
    WindowManager& manager = m_windowManager;
    kit::withAnimation(kit::respectingReduceMotion(kit::Animation::spring(0.26, 1.0, 0)),
                       [&manager, &bundleID] { manager.toggleHidden(bundleID); });
}

QString PiPAppTile::tooltip(const QString& name, bool hidden)
{
    return name
           + (hidden ? QStringLiteral(" \u2014 hidden. Tap to show.")
                     : QStringLiteral(" \u2014 tap to hide from your share"));
}

QString PiPAppTile::accessibilityValue(bool hidden)
{
    return hidden ? QStringLiteral("Hidden") : QStringLiteral("Visible");
}

void PiPAppTile::sync()
{
    const bool hidden = isAppHidden();
    if (hidden == m_shownHidden) {
        return;
    }
    m_shownHidden = hidden;
    // Animated when the change came inside an animation (a click here), at once otherwise.
    m_hidden.change(hidden ? 1 : 0, kit::transactionAnimation());
    kit::TooltipSource::attach(this, tooltip(m_app.name, hidden));
    QAccessibleValueChangeEvent event(this, accessibilityValue(hidden));
    QAccessible::updateAccessibility(&event);
}

void PiPAppTile::interactionChanged()
{
    PressFeedbackButton::interactionChanged();
    const double hovered = isHovered() ? 1 : 0;
    if (hovered != m_hover.target()) {
        m_hover.animate(hovered, hoverAnimation());
    }
}

void PiPAppTile::paintLabel(QPainter& painter, const QRectF& rect)
{
    const double hidden = std::clamp(m_hidden.value(), 0.0, 1.0);
    const double hover = m_hover.value();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPointF centre = rect.center();
    painter.setTransform(kit::scaleAbout(centre, 1 + (kHoverScale - 1) * hover), true);

    const QRectF tileRect(centre - QPointF(kSide / 2, kSide / 2), QSizeF(kSide, kSide));
    const QColor hiddenFill = kit::Palette::flameShade();
    const QColor rest = mix(transparentOf(hiddenFill), hiddenFill, hidden);
    const QColor fill = mix(rest, kit::Palette::surfaceHigh(), hover);
    painter.fillPath(kit::continuousRoundedRect(tileRect, kCornerRadius), fill);
    QColor border = kit::Palette::flame();
    border.setAlphaF(static_cast<float>(0.28 * hidden));
    kit::strokeInnerBorder(painter, tileRect, kCornerRadius, border);

    const QRectF frame(centre - QPointF(kIconFrame / 2, kIconFrame / 2), QSizeF(kIconFrame, kIconFrame));
    const QRectF iconBox(centre - QPointF(kIconSide / 2, kIconSide / 2), QSizeF(kIconSide, kIconSide));
    const double iconOpacity = 1 + (kHiddenIconOpacity - 1) * hidden;
    if (m_app.icon.isNull()) {
        painter.setOpacity(iconOpacity);
        painter.fillPath(kit::continuousRoundedRect(iconBox, 7), kit::Palette::surfaceHigh());
    } else {
        QSizeF fitted = QSizeF(m_app.icon.size()).scaled(iconBox.size(), Qt::KeepAspectRatio);
        const QRectF target(iconBox.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
        // The colour icon fades into its grey copy as the app is hidden.
        painter.setOpacity(iconOpacity * (1 - hidden));
        painter.drawImage(target, m_app.icon);
        painter.setOpacity(iconOpacity * hidden);
        painter.drawImage(target, m_greyIcon);
    }
    painter.setOpacity(1);

    if (hidden > 0) {
        const QRectF badge(
            frame.right() - kBadgeSide - 1, frame.bottom() - kBadgeSide - 1, kBadgeSide, kBadgeSide);
        painter.setOpacity(hidden);
        painter.setTransform(kit::scaleAbout(badge.center(), 0.5 + 0.5 * hidden), true);
        QLinearGradient gradient = kit::Palette::flameGradient();
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawEllipse(badge);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kit::Palette::surface(), 1.5));
        painter.drawEllipse(badge.adjusted(0.75, 0.75, -0.75, -0.75));
        kit::paintSymbol(painter,
                         QStringLiteral("eye.slash.fill"),
                         badge.center(),
                         7.5,
                         kit::Palette::inkOnFlame(),
                         kit::FontWeight::semibold);
    }
    painter.restore();
}

PiPAppGrid::PiPAppGrid(WindowManager& windowManager, QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
{
    setObjectName(QStringLiteral("PiPAppGrid"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 10, 6, 6);
    layout->setSpacing(8);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(4, 0, 4, 0);
    header->addWidget(new kit::TextLabel(QStringLiteral("OPEN APPS"), [] {
        return kit::monoLabel(8.5, kit::SecondaryWhite::caption(kit::increaseContrast()));
    }));
    header->addStretch(1);
    m_status = new kit::TextLabel(QString(), [this] {
        const bool counting = m_windowManager.veiledCount() >= 1;
        return kit::TextLook{kit::geistMonoFontName(kit::FontWeight::medium),
                             8.5,
                             1.36,
                             counting ? kit::Palette::flameSoft()
                                      : kit::SecondaryWhite::symbol(kit::increaseContrast())};
    });
    m_status->setObjectName(QStringLiteral("pipGridStatus"));
    header->addWidget(m_status);
    layout->addLayout(header);

    m_gridHost = new QWidget;
    m_grid = new QGridLayout(m_gridHost);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setHorizontalSpacing(static_cast<int>(kColumnSpacing));
    m_grid->setVerticalSpacing(static_cast<int>(kRowSpacing));
    m_grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Six fixed columns, centred in the section.
    m_gridHost->setFixedWidth(
        static_cast<int>(kColumns * PiPAppTile::kSide + (kColumns - 1) * kColumnSpacing));
    m_scroll = new QScrollArea;
    m_scroll->setObjectName(QStringLiteral("pipGridScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_gridHost);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // The panel's own fill shows through; the indicator is a thin light bar.
    m_scroll->setStyleSheet(QStringLiteral(
        "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
        "QScrollBar:vertical { width: 6px; background: transparent; margin: 0; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 70); border-radius: 3px; "
        "min-height: 16px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    layout->addWidget(m_scroll);

    m_signedOut = new kit::TextView(signedOutText, [] {
        return kit::TextLook{kit::geistFontName(kit::FontWeight::regular),
                             kSignedOutTextSize,
                             0,
                             kit::SecondaryWhite::caption(kit::increaseContrast())};
    });
    m_signedOut->setObjectName(QStringLiteral("pipGridSignedOut"));
    m_signedOut->setContentsMargins(4, 0, 4, 4);
    layout->addWidget(m_signedOut);

    connect(&windowManager, &WindowManager::runningAppsChanged, this, &PiPAppGrid::rebuildTiles);
    connect(&windowManager, &WindowManager::isAuthenticatedChanged, this, &PiPAppGrid::sync);
    connect(&windowManager, &WindowManager::hiddenBundleIDsChanged, this, &PiPAppGrid::sync);
    connect(&windowManager, &WindowManager::hiddenWindowsChanged, this, &PiPAppGrid::sync);
    rebuildTiles();
}

QString PiPAppGrid::statusText(int veiledCount)
{
    return veiledCount < 1 ? QStringLiteral("TAP TO HIDE") : QStringLiteral("%1 HIDDEN").arg(veiledCount);
}

int PiPAppGrid::rows(int appCount)
{
    return std::max(1, (std::max(appCount, 0) + kColumns - 1) / kColumns);
}

double PiPAppGrid::scrollHeight(int rows)
{
    const int visible = std::clamp(rows, 1, kMaxVisibleRows);
    return visible * PiPAppTile::kSide + (visible - 1) * kRowSpacing;
}

QList<PiPAppTile*> PiPAppGrid::tiles() const
{
    return m_tiles;
}

bool PiPAppGrid::showsIndicators() const
{
    return m_scroll->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
}

int PiPAppGrid::heightForWidth(int width) const
{
    // Only the signed-out text wraps; the grid's height does not depend on the width.
    return layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                         : layout()->totalSizeHint().height();
}

QSize PiPAppGrid::sizeHint() const
{
    const QSize hint = layout()->totalSizeHint();
    return {hint.width(), heightForWidth(hint.width())};
}

void PiPAppGrid::rebuildTiles()
{
    const QList<AppInfo>& apps = m_windowManager.runningApps();
    const bool same =
        apps.size() == m_tiles.size()
        && std::equal(
            apps.cbegin(), apps.cend(), m_tiles.cbegin(), [](const AppInfo& app, const PiPAppTile* tile) {
                return app == tile->app() && app.icon.cacheKey() == tile->app().icon.cacheKey();
            });
    if (!same) {
        // The runningApps list is republished on every rebuild; tiles are made anew only when
        // the apps differ.
        QMap<QString, PiPAppTile*> kept;
        for (PiPAppTile* tile : std::as_const(m_tiles)) {
            m_grid->removeWidget(tile);
            kept.insert(tile->app().id, tile);
        }
        m_tiles.clear();
        int index = 0;
        for (const AppInfo& app : apps) {
            PiPAppTile* tile = kept.take(app.id);
            if (tile != nullptr
                && !(tile->app() == app && tile->app().icon.cacheKey() == app.icon.cacheKey())) {
                delete tile;
                tile = nullptr;
            }
            if (tile == nullptr) {
                tile = new PiPAppTile(m_windowManager, app);
            }
            m_grid->addWidget(tile, index / kColumns, index % kColumns);
            m_tiles.append(tile);
            ++index;
        }
        qDeleteAll(kept);
    }
    sync();
}

void PiPAppGrid::sync()
{
    const bool signedIn = m_windowManager.isAuthenticated();
    const int rowCount = rows(static_cast<int>(m_tiles.size()));
    m_scroll->setVisible(signedIn);
    m_signedOut->setVisible(!signedIn);
    m_scroll->setFixedHeight(static_cast<int>(scrollHeight(rowCount)));
    m_scroll->setVerticalScrollBarPolicy(rowCount < 4 ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    m_status->setText(statusText(m_windowManager.veiledCount()));
    m_status->update();
    updateGeometry();
    emit contentChanged();
}
