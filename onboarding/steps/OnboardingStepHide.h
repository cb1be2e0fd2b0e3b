#pragma once

#include "onboarding/HideCategory.h"
#include "onboarding/OnboardingBinding.h"
#include "platform/Scheduler.h"

#include <QSet>
#include <QWidget>

#include <array>

class MockPicture;
class SelectableRow;
class HideAudiencePanel;

// Step 1, "What to hide": the user picks the kinds of content kept out of every share, as four
// cards, beside a mock of what the audience sees. A pick is staged: it waits 0.65 s (the beat)
// under a "Share started" banner before it joins the selection and its mock window vanishes; a
// pick during the beat restarts it, and all the beat's picks join together. Taking a selected
// category back is at once. The selection is the flow's, through the binding; the pending picks
// and the beat are this widget's, so leaving the step (hidden or destroyed) commits them and the
// beat never ends after the widget is gone. Main thread only.
class OnboardingStepHide final : public QWidget
{
    Q_OBJECT

public:
    struct Input
    {
        Binding<QSet<HideCategory>> selected;
        StateObserver observe;
    };

    explicit OnboardingStepHide(Input input, QWidget* parent = nullptr);
    ~OnboardingStepHide() override;
    OnboardingStepHide(const OnboardingStepHide&) = delete;
    OnboardingStepHide& operator=(const OnboardingStepHide&) = delete;

    // A card's tap: a selected category is removed at once; a pending one is taken back (ending
    // the beat when it was the last); any other is picked and the beat starts again.
    void toggle(HideCategory category);
    // Ends the beat: the banner goes and the pending picks join the selection.
    void endBeat();
    // Commits a running beat; nothing otherwise.
    void commitOnDisappear();

    const QSet<HideCategory>& pending() const { return m_pending; }
    bool isThreatVisible() const { return m_isThreatVisible; }
    // Shown as chosen on its card: selected or pending.
    bool isChosen(HideCategory category) const;

    static constexpr double kBeat = 0.65;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeGrid();
    void sync();

    Input m_input;
    bool m_isThreatVisible = false;
    QSet<HideCategory> m_pending;
    platform::TimerHandle m_beatEnd;

    HideAudiencePanel* m_panel = nullptr;
    struct Card
    {
        SelectableRow* row = nullptr;
        MockPicture* badge = nullptr;
        bool badgeOn = false;
    };
    std::array<Card, 4> m_cards;
};
