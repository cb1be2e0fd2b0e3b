#pragma once

#include "onboarding/OnboardingDraft.h"
#include "onboarding/OnboardingFlow.h"
#include "onboarding/OnboardingView.h"
#include "shell/kit/Snapshot.h"
#include "tests/onboarding/FakeOnboardingServices.h"
#include "tests/shell/kit/KitTestSupport.h"

#include <QCoreApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace testing_support {

// The onboarding window opened on one step over fake services, with a hand on the step's
// controls: what the user sees of a step, driven as the user drives it.
struct OnboardingStepFixture
{
    explicit OnboardingStepFixture(int step, const OnboardingDraft& draft = {})
    {
        auto owned = std::make_unique<FakeOnboardingServices>();
        services = owned.get();
        OnboardingDraft stored = draft;
        stored.step = step;
        stored.save(services->store);
        view = std::make_unique<OnboardingView>(std::move(owned), [] {});
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->show();
        env.advance(1);
    }

    OnboardingFlow& flow() const { return view->flow(); }

    template <typename T = QWidget>
    T* find(const QString& name) const
    {
        return view->currentStepView()->findChild<T*>(name);
    }
    void click(const QString& name) const
    {
        QWidget* widget = find(name);
        ASSERT_NE(widget, nullptr) << name.toStdString();
        press(*widget, QPointF(widget->rect().center()));
        release(*widget, QPointF(widget->rect().center()));
    }
    // The window drawn at two pixels a point, saved under `name` among the run's pictures.
    QImage picture(const QString& name) const
    {
        // Layouts asked for by the last changes are done first, as the event loop would.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QImage image = kit::renderView(*view, 2.0);
        EXPECT_TRUE(image.save(picturePath(name)));
        return image;
    }
    // A point of a control in the window's coordinates.
    QPointF inWindow(const QWidget& widget, QPointF at) const { return widget.mapTo(view.get(), at); }

    KitEnvironment env;
    FakeOnboardingServices* services = nullptr;
    std::unique_ptr<OnboardingView> view;
};

} // namespace testing_support
