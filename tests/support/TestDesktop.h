#pragma once

#include "platform/Bundle.h"
#include "platform/Keychain.h"
#include "platform/Services.h"
#include "platform/URLSession.h"
#include "platform/UserDefaults.h"
#include "platform/sim/ManualMainQueue.h"
#include "platform/sim/SimAccessibilitySettings.h"
#include "platform/sim/SimCaptureStreams.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimHotKeySystem.h"
#include "platform/sim/SimScreenCapture.h"
#include "platform/sim/SimVirtualDisplays.h"
#include "platform/sim/VirtualScheduler.h"

namespace testing_support {

// A complete simulated system for one test: a desktop with one display, an empty hot-key
// registry, a virtual clock, in-memory user defaults, the application's bundle settings, an
// in-memory keychain, a URL session timed by the virtual clock, accessibility display options
// that start all off, virtual displays, screen capture with capture streams, and a main queue
// that the test drains by hand.
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
