#pragma once

#include "onboarding/OnboardingBinding.h"
#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingServices.h"
#include "onboarding/OnboardingView.h"
#include "shell/kit/Snapshot.h"
#include "shell/kit/VeilSound.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/onboarding/FakeOnboardingServices.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QCoreApplication>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

namespace testing_support {

// Clicks the control of that name inside `root` in its middle; fails the test when there is none
// or it is not on screen.
inline void clickNamed(const QWidget& root, const QString& name)
{
    auto* control = root.findChild<QWidget*>(name);
    ASSERT_TRUE(control != nullptr && control->isVisible()) << name.toStdString();
    const QPointF middle(control->rect().center());
    press(*control, middle);
    release(*control, middle);
}

// The sunset flame of a call to action, wherever its gradient is read.
inline bool flameLike(const QColor& c)
{
    return c.red() > 220 && c.green() > 90 && c.green() < 160 && c.blue() < 70;
}

// The onboarding window shown offscreen as a window of its own (so keys come through it), with
// the sound cues played into the test's recording output. It opens on a step with the other
// choices of the stored draft it resumes, signed in or not, under Reduce Motion or not, over
// scripted services or over the real state object on the simulated system (which then withholds
// the Screen Recording permission).
struct OnboardingWindow
{
    static constexpr unsigned kSignedIn = 1;
    static constexpr unsigned kReduceMotion = 2;
    static constexpr unsigned kRealState = 4;

    explicit OnboardingWindow(int step = 0,
                              unsigned options = 0,
                              const QString& persona = {},
                              const QStringList& categories = OnboardingDraft().selectedCategories)
    {
        env.accessibility().setReduceMotion((options & kReduceMotion) != 0);
        kit::VeilSound::forgetPlayers();
        OnboardingDraft draft;
        draft.step = step;
        draft.persona = persona;
        draft.selectedCategories = categories;
        std::unique_ptr<OnboardingServices> owned;
        if ((options & kRealState) != 0) {
            env.t.desktop.setScreenRecordingPermission(false);
            registry = std::make_unique<GlobalHotKeyManager>(env.t.hotKeys, env.t.scheduler);
            manager = std::make_unique<WindowManager>(env.t.services(), registry.get());
            draft.save(env.t.defaults);
            owned = std::make_unique<SystemOnboardingServices>(
                *manager, nullptr, env.t.scheduler, env.t.defaults);
        } else {
            auto fake = std::make_unique<FakeOnboardingServices>();
            services = fake.get();
            services->authenticated = (options & kSignedIn) != 0;
            draft.save(services->store);
            owned = std::move(fake);
        }
        view = std::make_unique<OnboardingView>(std::move(owned), [this] { ++completions; });
        view->show();
    }
    ~OnboardingWindow()
    {
        view.reset();
        kit::VeilSound::forgetPlayers();
    }
    OnboardingWindow(const OnboardingWindow&) = delete;
    OnboardingWindow& operator=(const OnboardingWindow&) = delete;

    OnboardingFlow& flow() const { return view->flow(); }
    int step() const { return flow().step(); }
    template <typename T = QWidget>
    T* find(const QString& name) const
    {
        return view->findChild<T*>(name);
    }
    void click(const QString& name) const { clickNamed(*view, name); }
    // A point of a control in the window's coordinates.
    QPointF inWindow(const QWidget& widget, QPointF at) const { return widget.mapTo(view.get(), at); }
    QPointF inWindow(const QString& name, QPointF at) const { return inWindow(*find(name), at); }
    // The window drawn at two pixels a point, saved under `name` among the run's pictures.
    QImage picture(const QString& name) const
    {
        // Layouts asked for by the last changes are done first, as the event loop would.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QImage image = kit::renderView(*view, 2.0);
        EXPECT_TRUE(image.save(picturePath(name)));
        return image;
    }
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
    std::unique_ptr<GlobalHotKeyManager> registry; // with the real state object only
    std::unique_ptr<WindowManager> manager;
    FakeOnboardingServices* services = nullptr; // with scripted services only
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

} // namespace testing_support
