#pragma once

#include <QColor>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <functional>
#include <memory>

class OnboardingFlow;
class OnboardingPill;
class OnboardingServices;
class QScrollArea;

namespace kit {
class IconButton;
class PageStack;
class PillButton;
class Transition;
} // namespace kit

// The onboarding window's root view, 1080 x 720 points: a header with the logo, the back button
// and the step counter, the current step's view in a scrolling area, and a footer with Sign out
// and Continue. It owns the flow (and the services the flow works through) for the life of the
// window, builds each step's view anew when the step changes and slides between them. The flow
// appears when the view is first shown and disappears when the window closes or the view is
// destroyed, never when it is merely taken off screen. Main thread only.
class OnboardingView final : public QWidget
{
    Q_OBJECT

public:
    // `onComplete` is called once, when the user finishes the flow.
    OnboardingView(std::unique_ptr<OnboardingServices> services,
                   std::function<void()> onComplete,
                   QWidget* parent = nullptr);
    ~OnboardingView() override;
    OnboardingView(const OnboardingView&) = delete;
    OnboardingView& operator=(const OnboardingView&) = delete;

    OnboardingFlow& flow() const { return *m_flow; }
    // The window is closing: the flow is told it disappeared (at most once).
    void handleDisappear();
    // The view of the current step (during a slide, the one coming in).
    QWidget* currentStepView() const;

    // The colour of the counter's segment `index` while `step` is current: white for the
    // current step, the secondary white for steps passed, the raised surface for steps ahead.
    static QColor segmentColor(int index, int step);
    // How a step's view comes in and goes out: from 24 points to the right (to the left when
    // going back) fading in, fading out; only fading under Reduce Motion.
    static kit::Transition stepTransition(bool goingBack);

    static constexpr QSize kSize{1080, 720};
    static constexpr int kHeaderHeight = 40;
    static constexpr int kFooterHeight = 64;
    // The steps' content is 1000 points wide; each step's page is this much wider on both
    // sides, so lines centred on the content's outer edges keep their outer half.
    static constexpr int kStepWidth = 1000;
    static constexpr int kStepBleed = 1;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeStepArea();
    QWidget* makeFooter();
    // The step's page, its content inset by the bleed.
    QWidget* makeStep(int step);
    QWidget* makeStepView(int step);
    void switchStep(int step, bool goingBack);
    void sync();

    // Declared first so that it outlives the flow and every view that calls into it.
    std::unique_ptr<OnboardingServices> m_services;
    std::unique_ptr<OnboardingFlow> m_flow;
    bool m_appeared = false;
    kit::IconButton* m_back = nullptr;
    QWidget* m_counter = nullptr;
    kit::PageStack* m_stack = nullptr;
    kit::PillButton* m_signOut = nullptr;
    OnboardingPill* m_continue = nullptr;
};
