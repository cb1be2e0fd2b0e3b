#pragma once

#include "capture/VirtualDisplayManager.h"
#include "tests/support/TestDesktop.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline const QString kCreating = QString::fromUtf8("Creating virtual display\u2026");
inline const QString kReady =
    QString::fromUtf8("Virtual display ready \u2014 in Google Meet, share the \"Veilmox\" screen.");

// A manager on a simulated desktop (one 1512 x 982 point display at scale 2, unless another
// main display is asked for) whose handlers record what they are told, with the virtual time of
// each call.
struct VirtualDisplayRig
{
    struct Status
    {
        double time;
        QString text;
        bool isError;
        bool operator==(const Status&) const = default;
        friend void PrintTo(const Status& s, std::ostream* os)
        {
            *os << s.time << " \"" << s.text.toStdString() << (s.isError ? "\" (error)" : "\"");
        }
    };

    explicit VirtualDisplayRig(std::optional<QRectF> mainFrame = std::nullopt, double scale = 2.0)
    {
        if (mainFrame) {
            system.desktop.removeDisplay(system.mainDisplay);
            platform::sim::SimDesktop::DisplaySpec setup;
            setup.frame = *mainFrame;
            setup.backingScale = scale;
            system.mainDisplay = system.desktop.addDisplay(setup);
        }
        manager = std::make_unique<VirtualDisplayManager>(system.services());
        install(*manager);
    }

    void install(VirtualDisplayManager& target)
    {
        target.statusHandler = [this](const QString& text, bool isError) {
            statuses.push_back({system.scheduler.now(), text, isError});
        };
        target.frameHandler = [this](const std::optional<QImage>& image) {
            frames.push_back(image);
        };
        target.closeHandler = [this] {
            closeTimes.push_back(system.scheduler.now());
        };
        target.screenRecordingPermissionHandler = [this](bool granted) {
            permissions.push_back(granted);
        };
    }

    // Starts the manager and lets the system show the display, build the mirror and deliver the
    // first picture.
    void startReady()
    {
        manager->start();
        system.scheduler.advance(VirtualDisplayManager::kFirstRegistrationCheck);
        ASSERT_NE(manager->mirrorWindow(), nullptr);
    }

    QStringList statusTexts() const
    {
        QStringList texts;
        for (const auto& status : statuses) {
            texts << status.text;
        }
        return texts;
    }

    int deliveredFrames() const
    {
        return static_cast<int>(
            std::count_if(frames.begin(), frames.end(), [](const auto& f) { return f.has_value(); }));
    }

    testing_support::TestDesktop system;
    std::unique_ptr<VirtualDisplayManager> manager;
    std::vector<Status> statuses;
    std::vector<std::optional<QImage>> frames;
    std::vector<double> closeTimes;
    std::vector<bool> permissions;
};

class VirtualDisplayFixture
    : public ::testing::Test
    , public VirtualDisplayRig
{};
