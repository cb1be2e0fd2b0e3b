// A sign-in callback link as the browser hands it over ("veilmox://auth?code=..."), through the
// state object and the account session. The first byte sets the situation: bit 0 signed in,
// bit 1 a browser hand-off awaited; the rest is the link's text.
#include "account/BackendClient.h"
#include "account/OnboardingAnalytics.h"
#include "account/SessionLifecycle.h"
#include "state/GlobalHotKeyManager.h"
#include "state/WindowManager.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/TestDesktop.h"

#include <QUrl>

namespace {

struct Rig
{
    Rig() { state.setAccountSession(&session); }

    testing_support::TestDesktop system;
    GlobalHotKeyManager registry{system.hotKeys, system.scheduler};
    WindowManager state{system.services(), &registry};
    BackendClient backend{system.services()};
    OnboardingAnalytics analytics{state, system.services()};
    SessionLifecycle session{state, backend, analytics, system.services()};
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
    if (size == 0) {
        return 0;
    }
    rig->state.setIsAuthenticated((data[0] & 1) != 0);
    rig->state.setBrowserReturnHost((data[0] & 2) != 0 ? std::optional<QString>(QStringLiteral("auth"))
                                                       : std::nullopt);
    rig->state.setHandoffRequestedAt(rig->system.scheduler.currentDate());
    rig->state.handleCallbackURL(QUrl(QString::fromUtf8(fuzzing::bytes(data + 1, size - 1))));
    // The accepted code's exchange runs here; without an account service address it stops at
    // once, so nothing leaves the process.
    rig->system.scheduler.runPending();
    return 0;
}
