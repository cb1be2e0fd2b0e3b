#pragma once

#include "onboarding/HideCategory.h"
#include "onboarding/OnboardingDraft.h"

#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class OnboardingServices;

// The first-run flow without its views: the current step and the user's choices, the flags the
// demo and hot-key steps share with it, the draft that lets a closed window resume, the progress
// events, the global hot key's suspension on the hot-key step and the effects that end the flow.
// The onboarding view owns one for the life of its window and drives it from its buttons and its
// appearance; steps read and write its state through bindings. Main thread only.
class OnboardingFlow final : public QObject
{
    Q_OBJECT

public:
    // Step indexes.
    static constexpr int kGoalStep = 0;
    static constexpr int kHideStep = 1;
    static constexpr int kDemoStep = 2;
    static constexpr int kHotkeyStep = 3;
    static constexpr int kSetupStep = 4;
    static constexpr int kPermissionsStep = 5;
    static constexpr int kShareStep = 6;
    static constexpr int kStepCount = 7;
    // The draft never stores a later step, so a flow left on the last two resumes on permissions.
    static constexpr int kLastStoredStep = kPermissionsStep;

    // "Your goal", "What to hide", "See it work", "Panic hotkey", "Your setup", "Permissions",
    // "Share right".
    static const QStringList& stepTitles();

    // `onComplete` is called once, when the user finishes the flow. The services must outlive
    // the flow.
    OnboardingFlow(OnboardingServices& services, std::function<void()> onComplete, QObject* parent = nullptr);

    OnboardingServices& services() const { return m_services; }

    int step() const { return m_step; }
    bool isGoingBack() const { return m_isGoingBack; }
    const QString& persona() const { return m_persona; }
    const QSet<HideCategory>& selected() const { return m_selected; }
    bool isSelected(HideCategory category) const { return m_selected.contains(category); }
    // Percent, as chosen or as restored: a restored value may lie outside the slider's range.
    double transparency() const { return m_transparency; }
    bool isDemoVeiled() const { return m_isDemoVeiled; }
    bool isDemoPinned() const { return m_isDemoPinned; }
    bool hasTriedVeil() const { return m_hasTriedVeil; }
    bool isCommandHeld() const { return m_isCommandHeld; }
    bool isShiftHeld() const { return m_isShiftHeld; }
    bool isHHeld() const { return m_isHHeld; }
    bool isHotkeyArmed() const { return m_isHotkeyArmed; }
    bool isHiddenByShortcut() const { return m_isHiddenByShortcut; }
    qint64 shortcutTriggerCount() const { return m_shortcutTriggerCount; }
    bool hasEnded() const { return m_hasEnded; }

    // Choices: a change is saved in the draft at once.
    void setPersona(const QString& persona);
    void setSelected(const QSet<HideCategory>& selected);
    void setTransparency(double transparency);
    // The flags the steps share with the flow.
    void setDemoVeiled(bool value);
    void setDemoPinned(bool value);
    void setHasTriedVeil(bool value);
    void setCommandHeld(bool value);
    void setShiftHeld(bool value);
    void setHHeld(bool value);
    void setHotkeyArmed(bool value);
    void setHiddenByShortcut(bool value);
    void setShortcutTriggerCount(qint64 value);

    // Whether Continue acts on this step: a persona chosen, a category chosen, the demo's veil
    // tried, the hot key practised; always on the steps without a Continue button.
    bool canContinue() const;

    // The window appeared: the draft is restored and the step's start is reported. Once.
    void appear();
    // The window went away (closed or destroyed): the hot key is given back and, unless the flow
    // ended, "app_closed" is sent.
    void disappear();

    // Leaves the current step forward (never past the last, at least one step), reporting its
    // completion with the extra properties; nothing on the last step or once ended.
    void advance(const QJsonObject& extra = {}, std::optional<int> target = std::nullopt);
    void continueTapped() { advance(); }
    void goBack();
    // The setup step's continue: signed out it starts the browser sign-in, signed in it hides
    // the chosen categories' running apps; either way the flow moves on.
    void continueFromSignIn();
    // The share step's finish: reports the end, hides the chosen categories' running apps,
    // removes the draft and calls `onComplete`. Only the first call acts.
    void finish();
    void signOut();
    void grantPermission();
    void recheckPermission();

    // The draft of the current choices, with step 0.
    OnboardingDraft currentDraft() const;

signals:
    // Anything the views show changed (a step, a choice, a flag, the sign-in, the permission).
    void changed();
    // The current step became `step`; `goingBack` tells the slide's direction.
    void stepChanged(int step, bool goingBack);

private:
    // Whether a usable draft was stored.
    bool restoreDraft();
    void markStepStarted();
    void stepDidChange();
    void saveDraft();
    void syncGlobalShortcut();
    void permissionChanged(bool granted);
    void applySelectedCategories();
    void moveTo(int step, bool goingBack);
    void track(const QString& eventType, int step, const QJsonObject& extra = {});
    template <typename T>
    void setFlag(T& member, T value);

    OnboardingServices& m_services;
    std::function<void()> m_onComplete;

    int m_step = 0;
    bool m_isGoingBack = false;
    QString m_persona;
    QSet<HideCategory> m_selected;
    double m_transparency = 100.0;
    bool m_isDemoVeiled = false;
    bool m_isDemoPinned = true;
    bool m_hasTriedVeil = false;
    bool m_isCommandHeld = false;
    bool m_isShiftHeld = false;
    bool m_isHHeld = false;
    bool m_isHotkeyArmed = false;
    bool m_isHiddenByShortcut = false;
    qint64 m_shortcutTriggerCount = 0;
    double m_stepEnteredAt = 0;
    std::optional<int> m_trackedStep;
    bool m_hasEnded = false;

    bool m_appeared = false;
    bool m_disappeared = false;
    // The permission as last reported, so that a repeated report of the same value is no change.
    bool m_lastPermission = false;
};
