// The onboarding analytics buffer as stored in the settings: one JSON event per line of the
// input. Loading never fails, and what loads is saved and loads back the same, the newest 300.
#include "account/OnboardingAnalytics.h"
#include "platform/UserDefaults.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/TestDesktop.h"

#include <algorithm>
#include <memory>

struct OnboardingAnalyticsProbe
{
    static void roundTrip(OnboardingAnalytics& analytics)
    {
        const auto events = analytics.loadBuffer();
        analytics.saveBuffer(events);
        const auto again = analytics.loadBuffer();
        const qsizetype kept = std::min(events.size(), OnboardingAnalytics::maxBufferedEvents);
        fuzzing::require(again.size() == kept, "saving the buffer keeps other than the newest events");
        for (qsizetype i = 0; i < kept; ++i) {
            const auto& before = events[events.size() - kept + i];
            const auto& after = again[i];
            fuzzing::require(before.eventID == after.eventID && before.eventType == after.eventType
                                 && before.step == after.step && before.metadata == after.metadata,
                             "a buffered event changes when saved and loaded");
        }
    }
};

namespace {

struct Rig
{
    testing_support::TestDesktop system;
    GlobalHotKeyManager registry{system.hotKeys, system.scheduler};
    WindowManager state{system.services(), &registry};
    OnboardingAnalytics analytics{state, system.services()};
};

Rig* rig = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::startApplication(argc, argv);
    static Rig instance;
    rig = &instance;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QVariantList entries;
    for (const QByteArray& line : fuzzing::bytes(data, size).split('\n')) {
        entries.append(line);
    }
    rig->system.defaults.setObject(entries, OnboardingAnalytics::bufferKey);
    (void)rig->analytics.hasBufferedEvents();
    OnboardingAnalyticsProbe::roundTrip(rig->analytics);
    return 0;
}
