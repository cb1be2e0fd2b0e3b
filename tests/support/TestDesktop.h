#pragma once

#include "platform/Audio.h"
#include "platform/Bundle.h"
#include "platform/Keychain.h"
#include "platform/Services.h"
#include "platform/URLSession.h"
#include "platform/Updates.h"
#include "platform/UserDefaults.h"
#include "platform/sim/ManualMainQueue.h"
#include "platform/sim/SimAccessibilitySettings.h"
#include "platform/sim/SimCaptureStreams.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/SimLoginItems.h"
#include "platform/sim/SimProcessRunner.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/SimStatusBar.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "platform/sim/VirtualScheduler.h"

namespace testing_support {

// An audio output that plays nothing and records what its players were asked; it can be made
// to refuse players, as an output without a device does.
class RecordingAudioOutput final : public platform::AudioOutput
{
public:
    struct Record
    {
        QByteArray data;
        double volume = -1;
        int prepares = 0;
        int plays = 0;
        QList<double> times; // every setCurrentTime
    };

    bool refuses = false;
    std::vector<std::shared_ptr<Record>> players;

    std::unique_ptr<platform::AudioPlayer> makePlayer(const QByteArray& fileData) override;
};

// A complete simulated system for one test: a desktop with one display, an empty hot-key
// registry, a virtual clock, in-memory user defaults, the application's bundle settings, an
// in-memory keychain, a URL session timed by the virtual clock, accessibility display options
// that start all off, virtual displays, screen capture with capture streams, a main queue that
// the test drains by hand, a login item, a process runner that runs nothing, a status bar in the
// simulated menu bar, the update framework's stand-in and an audio output that records.
struct TestDesktop
{
    TestDesktop();
    ~TestDesktop();
    TestDesktop(const TestDesktop&) = delete;
    TestDesktop& operator=(const TestDesktop&) = delete;

    platform::sim::SimDesktop desktop;
    platform::sim::SimHotKeySystem hotKeys;
    platform::sim::VirtualScheduler scheduler;
    platform::InMemoryUserDefaults defaults;
    platform::Bundle bundle;
    platform::InMemoryKeychain keychain;
    platform::URLSession urlSession{scheduler};
    platform::sim::SimAccessibilitySettings accessibility;
    platform::sim::SimVirtualDisplays virtualDisplays;
    platform::sim::SimScreenCapture screenCapture;
    platform::sim::SimLoginItems loginItems;
    platform::sim::SimProcessRunner processes;
    platform::sim::SimStatusBar statusBar{desktop};
    platform::UpdateFrameworkStandIn updates;
    RecordingAudioOutput audio;
    platform::sim::SimCaptureStreams captureStreams;
    // Blocks sent to the main thread wait here until the test runs them.
    platform::sim::ManualMainQueue mainQueue;
    quint32 mainDisplay = 0;

    platform::Services services();

    // Launches a regular app and gives it one window; returns (pid, window number).
    std::pair<platform::pid_type, quint32> launchAppWithWindow(const QString& bundleID,
                                                               const QString& name,
                                                               const QRectF& bounds = {100, 100, 800, 600});
};

} // namespace testing_support
