#include "onboarding/OnboardingFlow.h"

#include "onboarding/OnboardingServices.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

const QStringList& OnboardingFlow::stepTitles()
{
    static const QStringList titles{QStringLiteral("Your goal"),
                                    QStringLiteral("What to hide"),
                                    QStringLiteral("See it work"),
                                    QStringLiteral("Panic hotkey"),
                                    QStringLiteral("Your setup"),
                                    QStringLiteral("Permissions"),
                                    QStringLiteral("Share right")};
    return titles;
}

OnboardingFlow::OnboardingFlow(OnboardingServices& services,
                               std::function<void()> onComplete,
                               QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_onComplete(std::move(onComplete))
    , m_stepEnteredAt(services.now())
{
    connect(&services, &OnboardingServices::authenticationChanged, this, [this] { emit changed(); });
    connect(&services,
            &OnboardingServices::screenRecordingPermissionChanged,
            this,
            &OnboardingFlow::permissionChanged);
}

template <typename T>
void OnboardingFlow::setFlag(T& member, T value)
{
    if (member != value) {
        member = value;
        emit changed();
    }
}

void OnboardingFlow::setPersona(const QString& persona)
{
    if (persona != m_persona) {
        m_persona = persona;
        saveDraft();
        emit changed();
    }
}

void OnboardingFlow::setSelected(const QSet<HideCategory>& selected)
{
    if (selected != m_selected) {
        m_selected = selected;
        saveDraft();
        emit changed();
    }
}

void OnboardingFlow::setTransparency(double transparency)
{
    if (transparency != m_transparency) {
        m_transparency = transparency;
        saveDraft();
        emit changed();
    }
}

void OnboardingFlow::setDemoVeiled(bool value)
{
    setFlag(m_isDemoVeiled, value);
}
void OnboardingFlow::setDemoPinned(bool value)
{
    setFlag(m_isDemoPinned, value);
}
void OnboardingFlow::setHasTriedVeil(bool value)
{
    setFlag(m_hasTriedVeil, value);
}
void OnboardingFlow::setCommandHeld(bool value)
{
    setFlag(m_isCommandHeld, value);
}
void OnboardingFlow::setShiftHeld(bool value)
{
    setFlag(m_isShiftHeld, value);
}
void OnboardingFlow::setHHeld(bool value)
{
    setFlag(m_isHHeld, value);
}
void OnboardingFlow::setHotkeyArmed(bool value)
{
    setFlag(m_isHotkeyArmed, value);
}
void OnboardingFlow::setHiddenByShortcut(bool value)
{
    setFlag(m_isHiddenByShortcut, value);
}
void OnboardingFlow::setShortcutTriggerCount(qint64 value)
{
    setFlag(m_shortcutTriggerCount, value);
}

bool OnboardingFlow::canContinue() const
{
    switch (m_step) {
    case kGoalStep:
        return !m_persona.isEmpty();
    case kHideStep:
        return !m_selected.isEmpty();
    case kDemoStep:
        return m_hasTriedVeil;
    case kHotkeyStep:
        return m_shortcutTriggerCount > 0;
    default:
        return true;
    }
}

void OnboardingFlow::appear()
{
    if (m_appeared) {
        return;
    }
    m_appeared = true;
    m_lastPermission = m_services.hasScreenRecordingPermission();
    const int step = m_step;
    const bool resumed = restoreDraft();
    markStepStarted();
    syncGlobalShortcut();
    // Opening the window is no change of the user's: a stored draft stays exactly as it was.
    // Without a usable one, the defaults the flow starts from are stored.
    if (!resumed) {
        saveDraft();
    }
    if (m_step != step) {
        emit stepChanged(m_step, false);
    }
    emit changed();
}

bool OnboardingFlow::restoreDraft()
{
    const std::optional<OnboardingDraft> stored = OnboardingDraft::stored(m_services.defaults());
    const OnboardingDraft draft = stored.value_or(OnboardingDraft());
    m_persona = draft.persona;
    const QList<HideCategory> categories = HideCategory::categories(draft.selectedCategories);
    m_selected = QSet<HideCategory>(categories.cbegin(), categories.cend());
    m_transparency = draft.transparency;
    m_step = static_cast<int>(std::clamp<qint64>(draft.step, kGoalStep, kShareStep));
    return stored.has_value();
}

void OnboardingFlow::markStepStarted()
{
    if (m_trackedStep == m_step) {
        return;
    }
    m_trackedStep = m_step;
    m_stepEnteredAt = m_services.now();
    track(QStringLiteral("step_started"), m_step);
}

void OnboardingFlow::stepDidChange()
{
    saveDraft();
    syncGlobalShortcut();
    markStepStarted();
}

void OnboardingFlow::saveDraft()
{
    OnboardingDraft draft = currentDraft();
    // The furthest step reached: it never goes back while the flow runs, and never past the cap
    // (a damaged draft's larger step included).
    const qint64 stored = OnboardingDraft::load(m_services.defaults()).step;
    draft.step = std::clamp<qint64>(std::max<qint64>(m_step, stored), 0, kLastStoredStep);
    draft.save(m_services.defaults());
}

OnboardingDraft OnboardingFlow::currentDraft() const
{
    OnboardingDraft draft;
    draft.persona = m_persona;
    draft.selectedCategories.clear();
    for (const HideCategory category : HideCategory::allCases()) {
        if (isSelected(category)) {
            draft.selectedCategories.append(category.rawValue());
        }
    }
    draft.transparency = m_transparency;
    draft.step = 0;
    return draft;
}

void OnboardingFlow::syncGlobalShortcut()
{
    if (m_step == kHotkeyStep) {
        // The step's own key monitor gets ⇧⌘H instead of the system-wide action.
        m_services.suspendGlobalShortcut();
    } else if (m_services.globalShortcutEnabled()) {
        m_services.registerGlobalShortcut();
    }
}

void OnboardingFlow::disappear()
{
    if (!m_appeared || m_disappeared) {
        return;
    }
    m_disappeared = true;
    // The hot-key step's suspension ends with the window.
    if (m_services.globalShortcutEnabled()) {
        m_services.registerGlobalShortcut();
    }
    if (!m_hasEnded) {
        m_hasEnded = true;
        track(QStringLiteral("app_closed"), m_step);
    }
}

void OnboardingFlow::permissionChanged(bool granted)
{
    // The state object reports every probe, also an unchanged answer: only a turn to granted
    // counts.
    const bool turnedGranted = granted && !m_lastPermission;
    m_lastPermission = granted;
    if (turnedGranted && m_appeared && !m_hasEnded && m_step == kPermissionsStep) {
        track(QStringLiteral("permission_granted"), kPermissionsStep);
    }
    emit changed();
}

void OnboardingFlow::advance(const QJsonObject& extra, std::optional<int> target)
{
    if (m_hasEnded || m_step >= kShareStep) {
        return;
    }
    track(QStringLiteral("step_completed"), m_step, extra);
    const int next = std::max(target.value_or(m_step + 1), m_step + 1);
    moveTo(std::min(next, static_cast<int>(kShareStep)), false);
}

void OnboardingFlow::goBack()
{
    if (m_hasEnded || m_step <= kGoalStep) {
        return;
    }
    moveTo(m_step - 1, true);
}

void OnboardingFlow::moveTo(int step, bool goingBack)
{
    m_isGoingBack = goingBack;
    m_step = step;
    stepDidChange();
    emit stepChanged(m_step, goingBack);
    emit changed();
}

void OnboardingFlow::continueFromSignIn()
{
    if (m_hasEnded) {
        return;
    }
    if (!m_services.isAuthenticated()) {
        // The categories are applied at the end, once the browser sign-in has come back.
        m_services.startBrowserSignIn();
        advance({{QStringLiteral("account_handoff"), true}});
        return;
    }
    applySelectedCategories();
    advance();
}

void OnboardingFlow::finish()
{
    // A second press after the end would report, hide and complete a second time.
    if (m_hasEnded) {
        return;
    }
    track(QStringLiteral("step_completed"), m_step);
    track(QStringLiteral("flow_completed"), m_step);
    m_hasEnded = true;
    applySelectedCategories();
    m_services.defaults().removeObject(OnboardingDraft::kDefaultsKey);
    if (m_onComplete) {
        m_onComplete();
    }
    emit changed();
}

void OnboardingFlow::applySelectedCategories()
{
    if (!m_services.isAuthenticated() || m_selected.isEmpty()) {
        return;
    }
    const QSet<QString> ids =
        HideCategory::bundleIDs(currentDraft().selectedCategories, m_services.runningBundleIDs());
    m_services.hideApps(ids);
}

void OnboardingFlow::signOut()
{
    m_services.signOut();
}

void OnboardingFlow::grantPermission()
{
    m_services.openScreenRecordingSettings();
}

void OnboardingFlow::recheckPermission()
{
    m_services.refreshScreenRecordingPermission();
}

void OnboardingFlow::track(const QString& eventType, int step, const QJsonObject& extra)
{
    const double elapsed = (m_services.now() - m_stepEnteredAt) * 1000;
    QJsonObject metadata{
        {QStringLiteral("persona"),
         m_persona.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(m_persona)},
        {QStringLiteral("selected_categories"),
         QJsonArray::fromStringList(currentDraft().selectedCategories)},
        {QStringLiteral("has_tried_veil"), m_hasTriedVeil},
        {QStringLiteral("shortcut_triggers"), m_shortcutTriggerCount},
        {QStringLiteral("ms_on_step"), static_cast<qint64>(std::trunc(elapsed))},
        {QStringLiteral("authenticated"), m_services.isAuthenticated()},
    };
    for (auto it = extra.begin(); it != extra.end(); ++it) {
        metadata.insert(it.key(), it.value());
    }
    m_services.track(eventType, step, metadata);
}
