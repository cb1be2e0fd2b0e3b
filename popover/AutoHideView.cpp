#include "popover/AutoHideView.h"

#include "onboarding/HideCategory.h"
#include "platform/FileManager.h"
#include "platform/Workspace.h"
#include "popover/MenuBarView.h"
#include "popover/PageHeader.h"
#include "popover/RowStyle.h"
#include "popover/SettingRow.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/Drawing.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/Palette.h"
#include "shell/kit/Symbols.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Transaction.h"
#include "shell/kit/Typography.h"
#include "state/WindowManager.h"

#include <QCollator>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPainter>
#include <QSet>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kEmptyListText =
    QStringLiteral("Nothing yet — switch on the apps you never want on a shared screen.");

// The app's icon scaled to fit 24 × 24 points, or the placeholder tile.
class AppIconView final : public QWidget
{
public:
    static constexpr double kSide = 24;

    AppIconView() { setFixedSize(static_cast<int>(kSide), static_cast<int>(kSide)); }

    void setIcon(const QImage& icon)
    {
        m_icon = icon;
        update();
    }
    bool showsPlaceholder() const { return m_icon.isNull(); }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF bounds(rect());
        if (!m_icon.isNull()) {
            const QSizeF fitted = QSizeF(m_icon.size()).scaled(bounds.size(), Qt::KeepAspectRatio);
            QRectF target(QPointF(), fitted);
            target.moveCenter(bounds.center());
            painter.drawImage(target, m_icon);
            return;
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(kit::Palette::surfaceHigh());
        painter.drawPath(kit::continuousRoundedRect(bounds, 6));
        kit::paintSymbol(painter,
                         QStringLiteral("app.fill"),
                         bounds.center(),
                         11,
                         kit::SecondaryWhite::symbol(kit::increaseContrast()));
    }

private:
    QImage m_icon;
};

kit::TextLook sectionTitleLook()
{
    return kit::monoLabel(9.5, kit::SecondaryWhite::caption(kit::increaseContrast()));
}

kit::TextLook sectionCountLook()
{
    kit::TextLook look;
    look.face = QStringLiteral("GeistMono-Regular");
    look.size = 10;
    look.color = kit::SecondaryWhite::symbol(kit::increaseContrast());
    return look;
}

kit::TextLook emptyTextLook()
{
    kit::TextLook look;
    look.face = kit::geistFontName(kit::FontWeight::regular);
    look.size = 11.5;
    look.color = kit::SecondaryWhite::caption(kit::increaseContrast());
    return look;
}

} // namespace

// One app with its switch; the whole padded row lights up under the pointer.
class AutoHideView::AppRow final : public QWidget
{
public:
    static constexpr double kCornerRadius = 10;
    static constexpr double kHoverDuration = 0.18;

    AppRow(WindowManager& windowManager, const QString& bundleID)
        : m_windowManager(windowManager)
        , m_bundleID(bundleID)
    {
        setObjectName(QStringLiteral("autoHideAppRow:") + bundleID);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(8, 6, 8, 6);
        row->setSpacing(12);
        m_icon = new AppIconView;
        row->addWidget(m_icon);
        m_name = new kit::TextLabel(QString(), [this] {
            kit::TextLook look;
            look.face = kit::geistFontName(kit::FontWeight::medium);
            look.size = 12.5;
            look.tracking = -0.125;
            look.color =
                m_listed ? kit::Palette::textPrimary() : kit::SecondaryWhite::body(kit::increaseContrast());
            return look;
        });
        m_name->setObjectName(QStringLiteral("appName"));
        row->addWidget(m_name, 1);
        RowStyle::addSpacer(row, 6, false);
        m_switch = new kit::FlameToggle;
        m_switch->setObjectName(QStringLiteral("autoHideAppSwitch"));
        row->addWidget(m_switch);
        m_hover.setOnChange([this] { update(); });
        connect(m_switch, &kit::FlameToggle::toggleRequested, this, [this](bool listed) {
            const QString id = m_bundleID;
            WindowManager& manager = m_windowManager;
            kit::animateRespectingReduceMotion([&] { manager.toggleAutoHide(listed, id); });
        });
    }

    void display(const Candidate& app, bool listed)
    {
        // Every redraw of the page passes every row: one that shows the same stays as it is.
        if (m_displayed && listed == m_listed && app.name == m_name->text()
            && app.icon.cacheKey() == m_iconKey) {
            return;
        }
        m_displayed = true;
        m_iconKey = app.icon.cacheKey();
        m_listed = listed;
        m_icon->setIcon(app.icon);
        m_name->setText(app.name);
        // The name stays the switch's spoken label.
        m_switch->setAccessibleName(app.name);
        m_switch->setOn(listed);
        m_name->update();
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::Enter || e->type() == QEvent::Leave) {
            m_hover.change(e->type() == QEvent::Enter ? 1.0 : 0.0,
                           kit::respectingReduceMotion(kit::Animation::standard(kHoverDuration)));
        }
        return QWidget::event(e);
    }

    void paintEvent(QPaintEvent* /*event*/) override
    {
        if (m_hover.value() <= 0) {
            return;
        }
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(m_hover.value());
        painter.setPen(Qt::NoPen);
        painter.setBrush(kit::Palette::surfaceRaised());
        painter.drawPath(kit::continuousRoundedRect(QRectF(rect()), kCornerRadius));
    }

private:
    WindowManager& m_windowManager;
    QString m_bundleID;
    bool m_displayed = false;
    qint64 m_iconKey = 0;
    bool m_listed = false;
    AppIconView* m_icon = nullptr;
    kit::TextLabel* m_name = nullptr;
    kit::FlameToggle* m_switch = nullptr;
    kit::AnimatedValue m_hover{0.0};
};

AutoHideView::AutoHideView(WindowManager& windowManager, std::function<void()> onBack, QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
    , m_onBack(std::move(onBack))
    , m_batches(windowManager.services().scheduler, [this] { makeMoreRows(); })
{
    setObjectName(QStringLiteral("autoHideView"));
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addWidget(new PageHeader(QStringLiteral("Auto-hide"), [this] {
        if (m_onBack) {
            m_onBack();
        }
    }));

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(12, 0, 12, 12);
    column->setSpacing(10);

    m_card = new kit::CardBackground(14, windowManager.autoHideActive());
    m_card->setObjectName(QStringLiteral("autoHideCard"));
    m_switch = new kit::FlameToggle(windowManager.autoHideEnabled());
    m_switch->setObjectName(QStringLiteral("autoHideEnabledSwitch"));
    m_switch->setAccessibleName(QStringLiteral("Auto-hide when sharing"));
    connect(m_switch, &kit::FlameToggle::toggleRequested, this, &AutoHideView::setAutoHideEnabled);
    m_card->contentLayout()->addWidget(new SettingRow(
        QStringLiteral("eye.slash"),
        QStringLiteral("Auto-hide when sharing"),
        QStringLiteral("Best with browser meetings in Chrome, Edge, Arc or Brave. Zoom & Teams: beta."),
        m_switch));
    column->addWidget(m_card);

    m_listed =
        makeSection(QStringLiteral("autoHideSectionListed"), QStringLiteral("ON YOUR LIST"), kEmptyListText);
    m_running =
        makeSection(QStringLiteral("autoHideSectionRunning"), QStringLiteral("RUNNING NOW"), QString());
    m_suggested =
        makeSection(QStringLiteral("autoHideSectionSuggested"), QStringLiteral("SUGGESTED"), QString());
    for (const Section* section : {&m_listed, &m_running, &m_suggested}) {
        column->addWidget(section->widget);
    }
    column->addStretch(1);
    page->addWidget(pageScrollArea(QStringLiteral("autoHideScroll"), content), 1);

    connect(&windowManager, &WindowManager::autoHideEnabledChanged, this, &AutoHideView::sync);
    connect(&windowManager, &WindowManager::autoHideActiveChanged, this, &AutoHideView::sync);
    connect(&windowManager, &WindowManager::autoHideBundleIDsChanged, this, &AutoHideView::sync);
    connect(&windowManager, &WindowManager::runningAppsChanged, this, &AutoHideView::sync);
    sync();
}

QStringList AutoHideView::suggestedBundleIDs()
{
    QStringList ids;
    for (const HideCategory category : HideCategory::allCases()) {
        ids += category.suggestedBundleIDs();
    }
    return ids;
}

void AutoHideView::loadInstalled()
{
    const platform::Services& services = m_windowManager.services();
    QSet<QString> ids(m_windowManager.autoHideBundleIDs());
    for (const QString& id : suggestedBundleIDs()) {
        ids.insert(id);
    }
    ids -= WindowManager::excludedAppIDs();

    QHash<QString, Candidate> found;
    if (services.workspace != nullptr) {
        for (const QString& id : std::as_const(ids)) {
            const std::optional<QUrl> url = services.workspace->urlForApplicationWithBundleIdentifier(id);
            if (!url) {
                continue;
            }
            const QString path = url->toLocalFile();
            QString displayName = services.fileManager != nullptr
                                      ? services.fileManager->displayNameAtPath(path)
                                      : QFileInfo(path).fileName();
            // Shown with or without the bundle's extension, the name reads the same.
            const QString suffix = QFileInfo(displayName).suffix();
            if (!suffix.isEmpty()) {
                displayName.chop(suffix.size() + 1);
            }
            found.insert(id, Candidate{id, displayName, services.workspace->iconForFile(path)});
        }
    }
    m_installed = found;
    sync();
}

bool AutoHideView::isOffered(const QString& bundleID) const
{
    return !WindowManager::excludedAppIDs().contains(bundleID);
}

AutoHideView::Candidate AutoHideView::candidate(const QString& bundleID) const
{
    for (const AppInfo& app : m_windowManager.runningApps()) {
        if (app.bundleID == bundleID) {
            return Candidate{bundleID, app.name, app.icon};
        }
    }
    if (const auto it = m_installed.constFind(bundleID); it != m_installed.cend()) {
        return it.value();
    }
    return Candidate{bundleID, bundleID, QImage()};
}

QList<AutoHideView::Candidate> AutoHideView::listedCandidates() const
{
    QList<Candidate> listed;
    for (const QString& id : m_windowManager.autoHideBundleIDs()) {
        if (isOffered(id)) {
            listed.append(candidate(id));
        }
    }
    sortByName(listed);
    return listed;
}

QList<AutoHideView::Candidate> AutoHideView::runningCandidates() const
{
    const QSet<QString>& listed = m_windowManager.autoHideBundleIDs();
    QList<Candidate> running;
    QSet<QString> seen;
    for (const AppInfo& app : m_windowManager.runningApps()) {
        // Two processes of one app make one row.
        if (listed.contains(app.bundleID) || !isOffered(app.bundleID) || seen.contains(app.bundleID)) {
            continue;
        }
        seen.insert(app.bundleID);
        running.append(Candidate{app.bundleID, app.name, app.icon});
    }
    return running;
}

QList<AutoHideView::Candidate> AutoHideView::suggestedCandidates() const
{
    QSet<QString> running;
    for (const AppInfo& app : m_windowManager.runningApps()) {
        running.insert(app.bundleID);
    }
    const QSet<QString>& listed = m_windowManager.autoHideBundleIDs();
    QList<Candidate> suggested;
    for (const Candidate& app : m_installed) {
        if (!running.contains(app.id) && !listed.contains(app.id) && isOffered(app.id)) {
            suggested.append(app);
        }
    }
    sortByName(suggested);
    return suggested;
}

void AutoHideView::sortByName(QList<Candidate>& candidates)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(candidates.begin(), candidates.end(), [&collator](const Candidate& a, const Candidate& b) {
        const int byName = collator.compare(a.name, b.name);
        return byName != 0 ? byName < 0 : a.id < b.id;
    });
}

void AutoHideView::setAutoHideEnabled(bool enabled)
{
    MenuBarView::setAutoHideEnabled(m_windowManager, enabled);
}

void AutoHideView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Once each time the page comes on screen; redraws use what was found.
    if (!event->spontaneous()) {
        loadInstalled();
    }
}

AutoHideView::Section
AutoHideView::makeSection(const QString& objectName, const QString& title, const QString& emptyText)
{
    Section section;
    section.widget = new QWidget;
    section.widget->setObjectName(objectName);
    auto* stack = new QVBoxLayout(section.widget);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(4);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(8, 8, 8, 2);
    auto* titleLabel = new kit::TextLabel(title, sectionTitleLook);
    titleLabel->setObjectName(QStringLiteral("sectionTitle"));
    header->addWidget(titleLabel);
    header->addStretch(1);
    section.count = new kit::TextLabel(QString(), sectionCountLook);
    section.count->setObjectName(QStringLiteral("sectionCount"));
    header->addWidget(section.count);
    stack->addLayout(header);

    auto* rows = new QWidget;
    rows->setObjectName(QStringLiteral("sectionRows"));
    section.rows = new QVBoxLayout(rows);
    section.rows->setContentsMargins(0, 0, 0, 0);
    section.rows->setSpacing(1);
    stack->addWidget(rows);

    if (!emptyText.isEmpty()) {
        section.emptyText = new kit::TextView(emptyText, emptyTextLook);
        section.emptyText->setObjectName(QStringLiteral("sectionEmptyText"));
        section.emptyText->setContentsMargins(8, 6, 8, 6);
        stack->addWidget(section.emptyText);
    }
    return section;
}

void AutoHideView::fillSection(Section& section, const QList<Candidate>& apps, QHash<QString, AppRow*>& kept)
{
    const QSet<QString>& listed = m_windowManager.autoHideBundleIDs();
    QList<AppRow*> rows;
    qsizetype firstMissing = -1;
    for (qsizetype i = 0; i < apps.size(); ++i) {
        const Candidate& app = apps.at(i);
        AppRow* row = m_rows.take(app.id);
        if (row == nullptr && !m_batches.take()) {
            firstMissing = firstMissing < 0 ? i : firstMissing;
            continue;
        }
        if (row == nullptr) {
            row = new AppRow(m_windowManager, app.id);
        }
        m_wholePassDue = m_wholePassDue || firstMissing >= 0;
        row->display(app, listed.contains(app.id));
        rows.append(row);
        kept.insert(app.id, row);
    }
    if (firstMissing >= 0) {
        m_pending.append(Pending{&section, apps, firstMissing});
    }
    // The layout keeps the rows that already stand in order and is redone from the first that
    // differs, from its end: rebuilt whole on every redraw, a long list cost time growing with
    // its square.
    int same = 0;
    while (same < rows.size() && same < section.rows->count()
           && section.rows->itemAt(same)->widget() == rows[same]) {
        ++same;
    }
    while (section.rows->count() > same) {
        delete section.rows->takeAt(section.rows->count() - 1);
    }
    for (qsizetype i = same; i < rows.size(); ++i) {
        section.rows->addWidget(rows[i]);
        rows[i]->setVisible(true);
    }
    const bool hasApps = !apps.isEmpty();
    section.count->setText(hasApps ? QString::number(apps.size()) : QString());
    section.count->setVisible(hasApps);
    section.rows->parentWidget()->setVisible(hasApps || section.emptyText == nullptr);
    if (section.emptyText != nullptr) {
        section.emptyText->setVisible(!hasApps);
    } else {
        section.widget->setVisible(hasApps);
    }
}

void AutoHideView::makeMoreRows()
{
    if (m_wholePassDue) {
        sync();
        return;
    }
    const QSet<QString>& listed = m_windowManager.autoHideBundleIDs();
    m_batches.begin();
    for (Pending& pending : m_pending) {
        for (; pending.next < pending.apps.size(); ++pending.next) {
            const Candidate& app = pending.apps.at(pending.next);
            if (m_rows.contains(app.id)) {
                continue;
            }
            if (!m_batches.take()) {
                break;
            }
            auto* row = new AppRow(m_windowManager, app.id);
            row->display(app, listed.contains(app.id));
            pending.section->rows->addWidget(row);
            row->setVisible(true);
            m_rows.insert(app.id, row);
        }
    }
    m_pending.removeIf([](const Pending& pending) { return pending.next >= pending.apps.size(); });
    m_batches.end();
}

void AutoHideView::sync()
{
    m_switch->setOn(m_windowManager.autoHideEnabled());
    m_card->setActive(m_windowManager.autoHideActive());

    QHash<QString, AppRow*> kept;
    m_batches.begin();
    m_pending.clear();
    m_wholePassDue = false;
    fillSection(m_listed, listedCandidates(), kept);
    fillSection(m_running, runningCandidates(), kept);
    fillSection(m_suggested, suggestedCandidates(), kept);
    m_batches.end();
    // Rows of apps that left the page go on a later turn: one may be handling its switch's click.
    for (AppRow* gone : std::as_const(m_rows)) {
        gone->hide();
        gone->deleteLater();
    }
    m_rows = kept;
}
