#include "popover/SettingsPageView.h"

#include "pip/PiPController.h"
#include "popover/MenuBarView.h"
#include "popover/PageHeader.h"
#include "popover/PanicModePicker.h"
#include "popover/PopoverNavigation.h"
#include "popover/SettingRow.h"
#include "popover/ShortcutRecorder.h"
#include "popover/SwitchBinding.h"
#include "popover/UpdaterManagerInterface.h"
#include "shell/kit/Accessibility.h"
#include "shell/kit/Backgrounds.h"
#include "shell/kit/FlameToggle.h"
#include "shell/kit/Palette.h"
#include "shell/kit/PillButton.h"
#include "shell/kit/PulseDot.h"
#include "shell/kit/TextLabel.h"
#include "shell/kit/TextView.h"
#include "shell/kit/Typography.h"
#include "state/WindowManager.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <initializer_list>

namespace {

// A card: its mono title with an optional accessory at the trailing end, then its rows.
kit::CardBackground* settingsSection(const QString& objectName,
                                     const QString& title,
                                     QWidget* accessory,
                                     std::initializer_list<QWidget*> content,
                                     bool isActive = false)
{
    auto* card = new kit::CardBackground(14, isActive);
    card->setObjectName(objectName);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 14);
    header->addWidget(new kit::TextLabel(
        title, [] { return kit::monoLabel(9.5, kit::SecondaryWhite::caption(kit::increaseContrast())); }));
    header->addStretch(1);
    if (accessory != nullptr) {
        header->addWidget(accessory);
    }
    QVBoxLayout* stack = card->contentLayout();
    stack->setSpacing(0);
    stack->addLayout(header);
    for (QWidget* widget : content) {
        stack->addWidget(widget);
    }
    return card;
}

// The hairline between two rows of a card.
class RowDivider final : public QWidget
{
public:
    RowDivider()
    {
        setObjectName(QStringLiteral("rowDivider"));
        setFixedHeight(1 + 2 * kPadding);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent* /*e*/) override
    {
        QPainter painter(this);
        painter.fillRect(QRectF(0, kPadding, width(), 1), kit::Palette::hairline());
    }

private:
    static constexpr int kPadding = 12;
};

// The small outline pills of the cards.
kit::PillButton* smallPill(const QString& objectName,
                           const QString& title,
                           QObject* context,
                           const std::function<void()>& action,
                           kit::PillButtonStyle::Kind kind = kit::PillButtonStyle::Kind::Outline)
{
    auto* button = new kit::PillButton(title, kind, kit::ControlSize::Small);
    button->setObjectName(objectName);
    QObject::connect(button, &QAbstractButton::clicked, context, action);
    return button;
}

// A switch whose label only speaks; it shows `read()` and asks `write` when flipped.
template <typename Model, typename... Args>
kit::FlameToggle* boundSwitch(const QString& objectName,
                              const QString& label,
                              Model* model,
                              void (Model::*changed)(Args...),
                              std::function<bool()> read,
                              std::function<void(bool)> write)
{
    auto* toggle = new kit::FlameToggle;
    toggle->setObjectName(objectName);
    toggle->setAccessibleName(label);
    bindSwitch(toggle, model, changed, std::move(read), std::move(write));
    return toggle;
}

QWidget* padded(QWidget* content, const QMargins& margins)
{
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(margins);
    layout->addWidget(content);
    return box;
}

kit::TextLook monoLook(const QString& face, double size, double tracking, const QColor& color)
{
    kit::TextLook look;
    look.face = face;
    look.size = size;
    look.tracking = tracking;
    look.color = color;
    return look;
}

} // namespace

SettingsPageView::SettingsPageView(WindowManager& windowManager,
                                   PiPController& pip,
                                   const UpdaterManagerInterface& updaterManager,
                                   PopoverNavigation& navigation,
                                   QWidget* parent)
    : QWidget(parent)
    , m_windowManager(windowManager)
    , m_pip(pip)
    , m_updaterManager(updaterManager)
{
    setObjectName(QStringLiteral("settingsPageView"));
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addWidget(
        new PageHeader(QStringLiteral("Settings"), [nav = &navigation] { nav->closeSettings(); }));

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 14);
    column->setSpacing(0);
    auto* cards = new QVBoxLayout;
    cards->setContentsMargins(12, 0, 12, 12);
    cards->setSpacing(10);
    for (QWidget* card : {makeGeneralCard(),
                          makeShareProtectionCard(),
                          makePictureInPictureCard(),
                          makePermissionsCard(),
                          makeUpdatesCard(),
                          makeGuideAndAccountCard()}) {
        cards->addWidget(card);
    }
    column->addLayout(cards);
    // The quit button scrolls with the cards.
    column->addWidget(smallPill(QStringLiteral("settingsQuitButton"),
                                QStringLiteral("Quit Veilmox"),
                                this,
                                &MenuBarView::quit,
                                kit::PillButtonStyle::Kind::Quiet),
                      0,
                      Qt::AlignHCenter);
    column->addStretch(1);
    page->addWidget(pageScrollArea(QStringLiteral("settingsScroll"), content), 1);

    connect(&windowManager, &WindowManager::panicShortcutChanged, this, &SettingsPageView::syncPanicShortcut);
    connect(&windowManager,
            &WindowManager::panicShortcutAvailableChanged,
            this,
            &SettingsPageView::syncPanicShortcut);
    connect(&windowManager, &WindowManager::panicModeChanged, this, &SettingsPageView::syncPanicShortcut);
    connect(&windowManager,
            &WindowManager::hasScreenRecordingPermissionChanged,
            this,
            &SettingsPageView::syncPermission);
    connect(&windowManager, &WindowManager::isAuthenticatedChanged, this, &SettingsPageView::syncAccount);
    syncPanicShortcut();
    syncPermission();
    syncAccount();
}

QWidget* SettingsPageView::makeGeneralCard()
{
    WindowManager* state = &m_windowManager;
    return settingsSection(QStringLiteral("generalCard"),
                           QStringLiteral("GENERAL"),
                           nullptr,
                           {new SettingRow(QStringLiteral("power"),
                                           QStringLiteral("Launch at Login"),
                                           QStringLiteral("Start Veilmox automatically when your Mac boots"),
                                           boundSwitch(
                                               QStringLiteral("launchAtLoginSwitch"),
                                               QStringLiteral("Launch at Login"),
                                               state,
                                               &WindowManager::launchAtLoginChanged,
                                               [state] { return state->launchAtLogin(); },
                                               [state](bool on) { state->setLaunchAtLogin(on); })),
                            new RowDivider,
                            new SettingRow(QStringLiteral("command"),
                                           QStringLiteral("Shortcut  ⇧ ⌘ H"),
                                           QStringLiteral("Hide or unhide the active app from anywhere"),
                                           boundSwitch(
                                               QStringLiteral("globalShortcutSwitch"),
                                               QStringLiteral("Shortcut"),
                                               state,
                                               &WindowManager::globalShortcutEnabledChanged,
                                               [state] { return state->globalShortcutEnabled(); },
                                               [state](bool on) { state->setGlobalShortcutEnabled(on); }))});
}

QWidget* SettingsPageView::makeShareProtectionCard()
{
    WindowManager* state = &m_windowManager;
    m_recorder = new ShortcutRecorder(
        state->panicShortcut(),
        [state](const HotKeyCombo& combo) { return MenuBarView::savePanicHotKey(*state, combo); },
        state->services());
    m_panicRow = new SettingRow(QStringLiteral("hand.raised"),
                                QStringLiteral("Panic shortcut"),
                                QString::fromUtf8(kPanicSubtitle),
                                m_recorder);
    m_panicModePicker = new PanicModePicker(state->panicMode(), [state](WindowManager::PanicMode mode) {
        MenuBarView::setPanicMode(*state, mode);
    });
    m_panicModePicker->setObjectName(QStringLiteral("panicModePicker"));
    return settingsSection(
        QStringLiteral("shareProtectionCard"),
        QStringLiteral("SHARE PROTECTION"),
        nullptr,
        {new SettingRow(QStringLiteral("bell.slash"),
                        QStringLiteral("Hide notification banners"),
                        QStringLiteral("Message and app banners never reach your call"),
                        boundSwitch(
                            QStringLiteral("hideNotificationsSwitch"),
                            QStringLiteral("Hide notification banners"),
                            state,
                            &WindowManager::hideNotificationsOnShareChanged,
                            [state] { return state->hideNotificationsOnShare(); },
                            [state](bool on) { MenuBarView::setHideNotifications(*state, on); })),
         new RowDivider,
         padded(m_panicRow, QMargins(0, 0, 0, 12)),
         // Lined up with the row texts, past the icon tile.
         padded(m_panicModePicker, QMargins(39, 0, 0, 0))});
}

QWidget* SettingsPageView::makePictureInPictureCard()
{
    PiPController* pip = &m_pip;
    return settingsSection(
        QStringLiteral("pictureInPictureCard"),
        QStringLiteral("PICTURE-IN-PICTURE"),
        nullptr,
        {new SettingRow(QStringLiteral("pip"),
                        QStringLiteral("Show Picture-in-Picture"),
                        QStringLiteral("Floating preview + open apps, never visible to your call"),
                        boundSwitch(
                            QStringLiteral("pipShownSwitch"),
                            QStringLiteral("Show Picture-in-Picture"),
                            pip,
                            &PiPController::isVisibleChanged,
                            [pip] { return pip->isVisible(); },
                            [pip](bool on) { MenuBarView::setPiPShown(*pip, on); })),
         new RowDivider,
         new SettingRow(QStringLiteral("dot.radiowaves.left.and.right"),
                        QStringLiteral("Open when sharing starts"),
                        QStringLiteral("Pops up the moment a share is detected, closes after"),
                        boundSwitch(
                            QStringLiteral("pipAutoShowSwitch"),
                            QStringLiteral("Open when sharing starts"),
                            pip,
                            &PiPController::autoShowOnShareChanged,
                            [pip] { return pip->autoShowOnShare(); },
                            [pip](bool on) { MenuBarView::setPiPAutoShow(*pip, on); }))});
}

QWidget* SettingsPageView::makePermissionsCard()
{
    WindowManager* state = &m_windowManager;
    auto* badge = new QWidget;
    badge->setObjectName(QStringLiteral("permissionBadge"));
    auto* badgeRow = new QHBoxLayout(badge);
    badgeRow->setContentsMargins(0, 0, 0, 0);
    badgeRow->setSpacing(6);
    m_permissionDot = new kit::PulseDot(kit::Palette::flame(), true);
    m_permissionDot->setObjectName(QStringLiteral("permissionDot"));
    m_permissionText = new kit::TextLabel(QString(), [state] {
        const QColor color = state->hasScreenRecordingPermission()
                                 ? kit::SecondaryWhite::body(kit::increaseContrast())
                                 : kit::Palette::flameSoft();
        return monoLook(QStringLiteral("GeistMono-Medium"), 9, 1.44, color);
    });
    m_permissionText->setObjectName(QStringLiteral("permissionText"));
    badgeRow->addWidget(m_permissionDot);
    badgeRow->addWidget(m_permissionText);

    kit::TextOptions spaced;
    spaced.lineSpacing = 2;
    auto* explanation = new kit::TextView(
        QStringLiteral("Screen Recording permission is required for virtual display filtering."),
        [] {
            kit::TextLook look;
            look.face = kit::geistFontName(kit::FontWeight::regular);
            look.size = 12;
            look.color = kit::SecondaryWhite::body(kit::increaseContrast());
            return look;
        },
        spaced);

    auto* buttons = new QWidget;
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(6);
    m_systemSettingsButton =
        smallPill(QStringLiteral("systemSettingsButton"), QStringLiteral("System Settings"), this, [state] {
            state->openScreenRecordingPane();
        });
    buttonRow->addWidget(m_systemSettingsButton);
    buttonRow->addWidget(smallPill(QStringLiteral("recheckButton"), QStringLiteral("Recheck"), this, [state] {
        state->refreshScreenRecordingPermission();
    }));
    buttonRow->addWidget(smallPill(QStringLiteral("resetButton"), QStringLiteral("Reset"), this, [state] {
        state->resetScreenRecordingPermission();
    }));
    buttonRow->addStretch(1);

    m_permissionsCard = settingsSection(QStringLiteral("permissionsCard"),
                                        QStringLiteral("PERMISSIONS"),
                                        badge,
                                        {padded(explanation, QMargins(0, 0, 0, 12)), buttons});
    return m_permissionsCard;
}

QWidget* SettingsPageView::makeUpdatesCard()
{
    auto* version = new kit::TextLabel(m_updaterManager.versionString(), [] {
        return monoLook(QStringLiteral("GeistMono-Regular"),
                        9.5,
                        0,
                        kit::SecondaryWhite::symbol(kit::increaseContrast()));
    });
    version->setObjectName(QStringLiteral("versionText"));
    const UpdaterManagerInterface* updater = &m_updaterManager;
    return settingsSection(
        QStringLiteral("updatesCard"),
        QStringLiteral("SOFTWARE UPDATES"),
        version,
        {new SettingRow(
            QStringLiteral("arrow.triangle.2.circlepath"),
            QStringLiteral("Check for Updates"),
            QStringLiteral("Keep Veilmox up to date"),
            smallPill(QStringLiteral("checkNowButton"), QStringLiteral("Check Now"), this, [updater] {
                MenuBarView::checkForUpdates(*updater);
            }))});
}

QWidget* SettingsPageView::makeGuideAndAccountCard()
{
    WindowManager* state = &m_windowManager;
    m_accountDivider = new RowDivider;
    m_accountRow =
        new SettingRow(QStringLiteral("person.crop.circle"),
                       QStringLiteral("Account"),
                       QStringLiteral("Signed in"),
                       smallPill(QStringLiteral("signOutButton"), QStringLiteral("Sign Out"), this, [state] {
                           state->signOut();
                       }));
    m_accountDivider->setObjectName(QStringLiteral("accountDivider"));
    m_accountRow->setObjectName(QStringLiteral("accountRow"));
    return settingsSection(QStringLiteral("guideAndAccountCard"),
                           QStringLiteral("GUIDE & ACCOUNT"),
                           nullptr,
                           {new SettingRow(QStringLiteral("play.rectangle"),
                                           QStringLiteral("Onboarding Tour"),
                                           QStringLiteral("Replay setup and sharing instructions"),
                                           smallPill(QStringLiteral("replayButton"),
                                                     QStringLiteral("Replay"),
                                                     this,
                                                     [state] { state->replayOnboarding(); })),
                            m_accountDivider,
                            m_accountRow});
}

void SettingsPageView::syncPanicShortcut()
{
    m_recorder->setCombo(m_windowManager.panicShortcut());
    m_panicRow->setSubtitle(QString::fromUtf8(
        m_windowManager.panicShortcutAvailable() ? kPanicSubtitle : kPanicUnavailableSubtitle));
    m_panicModePicker->setMode(m_windowManager.panicMode());
}

void SettingsPageView::syncPermission()
{
    const bool granted = m_windowManager.hasScreenRecordingPermission();
    m_permissionsCard->setActive(!granted);
    m_permissionDot->setColor(granted ? kit::SecondaryWhite::body(kit::increaseContrast())
                                      : kit::Palette::flame());
    m_permissionDot->setPulses(!granted);
    m_permissionText->setText(granted ? QStringLiteral("GRANTED") : QStringLiteral("REQUIRED"));
    m_systemSettingsButton->setKind(granted ? kit::PillButtonStyle::Kind::Outline
                                            : kit::PillButtonStyle::Kind::Primary);
}

void SettingsPageView::syncAccount()
{
    const bool signedIn = m_windowManager.isAuthenticated();
    m_accountDivider->setVisible(signedIn);
    m_accountRow->setVisible(signedIn);
}
