#pragma once

#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingView.h"
#include "shell/kit/VeilSound.h"
#include "tests/onboarding/FakeOnboardingServices.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QAbstractButton>

#include <gtest/gtest.h>

#include <memory>

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

} // namespace testing_support
