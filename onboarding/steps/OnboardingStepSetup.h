#pragma once

#include "onboarding/OnboardingBinding.h"
#include "onboarding/steps/SetupCards.h"
#include "shell/kit/AnimatedValue.h"
#include "shell/kit/Sequence.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <QtGlobal>

#include <functional>

class StepCard;
namespace kit {
class PageStack;
} // namespace kit

// Step 4, "Your setup": each time it is shown, a short staged show (three lines tick off, then
// "Shield armed." with a flare of the card's glow and the success sound) ends in a receipt of
// what the user chose, whose button keeps it: signed out it starts the browser sign-in, signed in
// it applies the choice; either way the flow moves on. Under Reduce Motion the receipt shows at
// once, silently. Leaving the step cancels what is still to come. The values are read live from
// the flow. Main thread only.
class OnboardingStepSetup final : public QWidget
{
    Q_OBJECT

public:
    struct Input
    {
        std::function<QString()> persona;
        std::function<qint64()> selectedCount;
        std::function<double()> transparency; // percent
        std::function<bool()> isAuthenticated;
        std::function<void()> onContinue;
        StateObserver observe;
    };

    explicit OnboardingStepSetup(Input input, QWidget* parent = nullptr);

    SetupReceiptPhase phase() const { return m_phase; }
    int revealedCount() const { return m_revealedCount; }
    bool isFlared() const { return m_flare; }
    // The card face shown now.
    QWidget* currentCard() const;

    // When the beats fall, in seconds from the step's appearance.
    static constexpr double kRevealTimes[3] = {0.48, 0.96, 1.44};
    static constexpr double kSuccessTime = 1.94;
    static constexpr double kFlareEndTime = 2.84;
    static constexpr double kReadyTime = 3.64;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startSequence();
    void cancelScheduled();
    void revealRow(int index);
    void showSuccess();
    void showReady();
    void setFlare(bool flare);
    // Puts the face of `phase` on the card, fading it in when inside an animated change.
    void showPhase(SetupReceiptPhase phase);
    void sync();

    Input m_input;
    SetupReceiptPhase m_phase = SetupReceiptPhase::Compiling;
    int m_revealedCount = 0;
    bool m_flare = false;
    kit::Sequence m_scheduled;

    StepCard* m_card = nullptr;
    kit::PageStack* m_faces = nullptr;
    QPointer<SetupCompilingCard> m_compiling;
    QPointer<SetupReceipt> m_receipt;
    kit::AnimatedValue m_flareLevel{0.0};
};
