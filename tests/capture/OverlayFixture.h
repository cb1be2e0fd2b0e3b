#pragma once

#include "capture/SCOverlayController.h"
#include "platform/sim/SimCaptureStreams.h"
#include "tests/support/TestDesktop.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// An overlay controller on a simulated desktop (one 900 x 600 point display at scale 2, small
// to keep the simulated full-display captures cheap) whose permission reports are recorded.
class OverlayFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        useMainDisplay(QRectF(0, 0, 900, 600), 2.0);
        controller = std::make_unique<SCOverlayController>(t.services());
        controller->permissionStatusHandler = [this](bool granted) {
            permissions.push_back(granted);
        };
    }

    // Replaces the main display.
    void useMainDisplay(const QRectF& frame, double scale)
    {
        t.desktop.removeDisplay(t.mainDisplay);
        platform::sim::SimDesktop::DisplaySpec main;
        main.frame = frame;
        main.backingScale = scale;
        t.mainDisplay = t.desktop.addDisplay(main);
    }

    // Hands over the pinned sets as the state object does, and lets the first discovery run.
    void pin(const QSet<QString>& apps, const QSet<quint32>& windows = {})
    {
        controller->setPinnedWindowIDs(windows);
        controller->setPinnedBundleIDs(apps);
        controller->update();
        t.scheduler.runPending();
    }

    // Lets every stream's queue hand its frames on and the main thread show them.
    void deliverFrames()
    {
        for (const auto& [number, entry] : controller->overlayEntries()) {
            entry.stream->queue().sync([] {});
        }
        for (const auto& [display, passthrough] : controller->passthroughs()) {
            for (const auto* stream : {passthrough->appStream.get(), passthrough->backgroundStream.get()}) {
                if (stream != nullptr) {
                    stream->queue().sync([] {});
                }
            }
        }
        t.mainQueue.runPending();
    }

    const SCOverlayController::OverlayEntry& entry(quint32 window) const
    {
        return controller->overlayEntries().at(window);
    }

    PassthroughOverlay* passthrough(quint32 displayID) const
    {
        const auto it = controller->passthroughs().find(displayID);
        return it == controller->passthroughs().end() ? nullptr : it->second.get();
    }

    static const platform::sim::SimCaptureStream& sim(const FrameStream& stream)
    {
        return dynamic_cast<const platform::sim::SimCaptureStream&>(stream.stream());
    }

    std::pair<platform::pid_type, quint32> launch(const QString& bundleID,
                                                  const QRectF& bounds = {100, 100, 800, 600})
    {
        return t.launchAppWithWindow(bundleID, bundleID.section(QLatin1Char('.'), -1), bounds);
    }

    quint32 addWindow(platform::pid_type owner,
                      const QRectF& bounds,
                      qint64 layer = 0,
                      const QColor& colour = Qt::gray)
    {
        platform::sim::SimDesktop::WindowSpec spec;
        spec.owner = owner;
        spec.title = QStringLiteral("Window");
        spec.bounds = bounds;
        spec.layer = layer;
        spec.color = colour;
        return t.desktop.addWindow(spec);
    }

    testing_support::TestDesktop t;
    std::unique_ptr<SCOverlayController> controller;
    std::vector<bool> permissions;
};
