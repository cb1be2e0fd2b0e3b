#pragma once

#include "onboarding/OnboardingBinding.h"
#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingView.h"
#include "shell/kit/VeilSound.h"
#include "tests/onboarding/FakeOnboardingServices.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QAbstractButton>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

namespace testing_support {

// The onboarding window's view opened on a step (through the stored draft) over scripted
// services, shown offscreen, with the sound cues played into the test's recording output.
struct OnboardingWindow
{
    explicit OnboardingWindow(int step, bool signedIn = false, bool reduceMotion = false)
    {
        env.accessibility().setReduceMotion(reduceMotion);
        kit::VeilSound::forgetPlayers();
        auto owned = std::make_unique<FakeOnboardingServices>();
        services = owned.get();
        services->authenticated = signedIn;
        OnboardingDraft draft;
        draft.step = step;
        draft.save(services->store);
        view = std::make_unique<OnboardingView>(std::move(owned), [this] { ++completions; });
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->show();
    }
    ~OnboardingWindow()
    {
        view.reset();
        kit::VeilSound::forgetPlayers();
    }
    OnboardingWindow(const OnboardingWindow&) = delete;
    OnboardingWindow& operator=(const OnboardingWindow&) = delete;

    template <typename T = QWidget>
    T* find(const QString& name) const
    {
        return view->findChild<T*>(name);
    }
    // A click in the middle of a control that is on screen.
    void click(const QString& name) const
    {
        QWidget* control = find(name);
        ASSERT_NE(control, nullptr) << name.toStdString();
        ASSERT_TRUE(control->isVisible()) << name.toStdString();
        const QPointF centre(control->rect().center());
        press(*control, centre);
        release(*control, centre);
    }
    int step() const { return view->flow().step(); }
    // How often the success cue has been played.
    int successPlays() const
    {
        const QByteArray success = kit::VeilSound::makeWAV(kit::VeilSound::Cue::Success);
        int plays = 0;
        for (const auto& player : env.t.audio.players) {
            plays += player->data == success ? player->plays : 0;
        }
        return plays;
    }

    KitEnvironment env;
    FakeOnboardingServices* services = nullptr;
    int completions = 0;
    std::unique_ptr<OnboardingView> view;
};

// State a step binds to outside a flow: each write that changes a value is counted and tells the
// step's observers, as the flow would.
class StepState
{
public:
    template <typename T>
    Binding<T> bind(T& value)
    {
        return {[&value] { return value; },
                [this, &value](const T& changed) {
                    if (changed != value) {
                        value = changed;
                        ++writes;
                        for (const auto& [context, handler] : m_observers) {
                            if (context) {
                                handler();
                            }
                        }
                    }
                }};
    }
    StateObserver observer()
    {
        return [this](QObject* context, std::function<void()> handler) {
            m_observers.append({context, std::move(handler)});
        };
    }

    int writes = 0;

private:
    QList<std::pair<QPointer<QObject>, std::function<void()>>> m_observers;
};

// Clicks the control of that name inside `root` in its middle; fails the test when there is none.
inline void clickNamed(const QWidget& root, const QString& name)
{
    auto* control = root.findChild<QWidget*>(name);
    ASSERT_NE(control, nullptr) << name.toStdString();
    const QPointF middle(control->rect().center());
    press(*control, middle);
    release(*control, middle);
}

// The onboarding window over scripted services, opened on a step from a stored draft with the
// given categories, shown as a window of its own (so keys can come through it).
struct StepWindow
{
    explicit StepWindow(int step, const QStringList& categories = OnboardingDraft().selectedCategories)
    {
        auto owned = std::make_unique<FakeOnboardingServices>();
        services = owned.get();
        OnboardingDraft draft;
        draft.step = step;
        draft.selectedCategories = categories;
        draft.save(services->store);
        view = std::make_unique<OnboardingView>(std::move(owned), [] {});
        view->show();
    }

    OnboardingFlow& flow() const { return view->flow(); }
    template <typename T = QWidget>
    T* find(const QString& name) const
    {
        return view->findChild<T*>(name);
    }
    void click(const QString& name) const { clickNamed(*view, name); }

    KitEnvironment env;
    FakeOnboardingServices* services = nullptr;
    std::unique_ptr<OnboardingView> view;
};

} // namespace testing_support
