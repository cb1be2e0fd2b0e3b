#pragma once

#include "onboarding/DemoDrag.h"
#include "onboarding/HideCategory.h"
#include "onboarding/OnboardingBinding.h"
#include "onboarding/mocks/RevealWindow.h"
#include "shell/kit/AnimatedValue.h"

#include <QList>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QWidget>

#include <functional>

class DemoHideButton;
class DemoMonitorPane;
class OnboardingPill;
class Panel;
namespace kit {
class TextView;
class ButtonBase;
} // namespace kit

// The title and subtitle of the demo's private window.
struct DemoWindowLabels
{
    QString title;
    QString subtitle;

    bool operator==(const DemoWindowLabels&) const = default;
};

// How the private window is drawn on a monitor: its opacity, blur radius, scale about its centre
// and how far it has sunk. Hidden from the audience it fades, blurs, shrinks and sinks away.
struct DemoWindowLook
{
    double opacity = 1;
    double blur = 0;
    double scale = 1;
    double sink = 0;

    bool operator==(const DemoWindowLook&) const = default;

    static DemoWindowLook of(bool hidden, bool isPinned, double transparency);
    // `t` of the way from `from` to `to`.
    static DemoWindowLook mix(const DemoWindowLook& from, const DemoWindowLook& to, double t);
};

// Step 2, "See it work": two mock monitors side by side, the user's own screen and what the
// audience sees, each showing a slide and the same private window. The user drags the window on
// their own screen, pins it above or below the slide, makes it see-through, and hides it: it
// vanishes from the audience's monitor and stays on their own. Trying the hide button once lets
// the flow continue. Every flag is the flow's, through bindings; the step keeps only the drag.
// Main thread only.
class OnboardingStepDemo final : public QWidget
{
    Q_OBJECT

public:
    struct Input
    {
        Binding<QSet<HideCategory>> selected;
        std::function<QString()> persona; // the chosen persona's id, read live
        Binding<bool> isVeiled;
        Binding<bool> isPinned;
        Binding<double> transparency; // percent, 50 to 100
        Binding<bool> hasTriedVeil;
        StateObserver observe;
        std::function<void()> playVeilSound; // the veil cue, on every press of the hide button
        double windowWidth = 238;
    };

    explicit OnboardingStepDemo(Input input, QWidget* parent = nullptr);

    // The private windows drawn for these choices, front first: one per chosen category in the
    // categories' own order (all of them the browser for the "remote" goal), repeats dropped;
    // the work chat, or the browser for "remote", when nothing is chosen.
    static QList<RevealVariant> revealVariants(const QString& persona, const QSet<HideCategory>& selected);
    // Named after the first chosen category in the categories' own order, so the same choices
    // always read the same; the work chat when nothing is chosen.
    static DemoWindowLabels windowLabels(const QSet<HideCategory>& selected);

    // The private window's offset from its resting corner as shown now.
    QPointF displayedOffset() const { return {m_shownX.value(), m_shownY.value()}; }
    QPointF windowOffset() const { return m_windowOffset; }
    bool isDragging() const { return m_isDragging; }
    double paneWidth() const { return m_paneWidth; }
    double limitX() const { return DemoDrag::limitX(m_paneWidth, m_input.windowWidth); }
    // The window's look on the user's monitor and on the audience's, as drawn now.
    DemoWindowLook ownWindowLook() const;
    DemoWindowLook audienceWindowLook() const;

    static constexpr double kVeilDuration = 0.3;
    static constexpr double kStackStep = 9;

private:
    friend class DemoMonitorPane;

    QWidget* makeHeadline();
    QWidget* makeControls();
    QWidget* makeWindowRow();
    QWidget* makeTransparencyRow();
    QWidget* makeMonitors();

    void toggleVeil() const;
    void sync();
    void paneWidthChanged(double paneWidth);
    void dragChanged(QPointF translation);
    void dragEnded(QPointF predictedEndLocation, QPointF location);
    void offsetMoved();

    Input m_input;

    // The drag.
    QPointF m_windowOffset;
    bool m_isDragging = false;
    QPointF m_dragOrigin;
    double m_paneWidth = 0;
    kit::AnimatedValue m_shownX{0.0};
    kit::AnimatedValue m_shownY{0.0};
    // 0 shown to the audience, 1 hidden from it; only this change animates.
    kit::AnimatedValue m_veil{0.0};
    bool m_lastVeiled = false;
    QList<RevealVariant> m_variants;

    Panel* m_panel = nullptr;
    kit::TextView* m_title = nullptr;
    kit::TextView* m_subtitle = nullptr;
    OnboardingPill* m_pin = nullptr;
    DemoHideButton* m_hide = nullptr;
    kit::TextView* m_value = nullptr;
    kit::ButtonBase* m_reset = nullptr;
    DemoMonitorPane* m_own = nullptr;
    DemoMonitorPane* m_audience = nullptr;
};
