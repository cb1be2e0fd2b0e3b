// A seeded random walk over the desktop and the user's choices, interleaved with capture ticks
// whose answers are delayed by varying amounts: after every picture the audience is shown, no
// pixel of anything hidden at that moment, and after every event, the same in what a meeting app
// captures of "Veilmox", which must be the display composed whole. The menu bar takes fractional
// heights, the share moves to a second display turned on its side (captures of one byte count), for
// good or for a glance, and pauses behind its cover at any moment. The seed is printed on failure;
// set VEILMOX_WALK_SEED to replay or explore another walk.
#include "tests/state/PrivacyRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <random>

using testing_support::PrivacyRig;

namespace {

constexpr int kEvents = 2000;
constexpr quint64 kDefaultSeed = 0x5EED2026;

struct AppWindow
{
    quint32 number;
    platform::pid_type owner;
    QString bundleID;
    QRectF patch;
};

// The walk's randomness, drawn the same way on every platform for a seed.
class Walk
{
public:
    explicit Walk(quint64 seed)
        : m_engine(seed)
    {}

    int below(int n) { return static_cast<int>(m_engine() % static_cast<quint64>(n)); }
    double between(double low, double high)
    {
        return low + (high - low) * static_cast<double>(m_engine() >> 11U) / static_cast<double>(1ULL << 53U);
    }
    bool chance(double p) { return between(0, 1) < p; }
    template <typename T>
    const T& pick(const std::vector<T>& items)
    {
        return items[static_cast<std::size_t>(below(static_cast<int>(items.size())))];
    }

private:
    std::mt19937_64 m_engine;
};

quint64 walkSeed()
{
    bool ok = false;
    const quint64 seed = qEnvironmentVariable("VEILMOX_WALK_SEED").toULongLong(&ok, 0);
    return ok ? seed : kDefaultSeed;
}

} // namespace

TEST(SharePrivacyWalk, NoPictureShowsAHiddenPixelThroughTwoThousandDesktopEvents)
{
    const quint64 seed = walkSeed();
    SCOPED_TRACE("VEILMOX_WALK_SEED=" + std::to_string(seed));
    Walk walk(seed);
    PrivacyRig rig;
    platform::sim::SimDesktop& desktop = rig.t.desktop;

    const std::vector<QString> bundleIDs{QStringLiteral("com.example.mail"),
                                         QStringLiteral("com.example.notes"),
                                         QStringLiteral("com.example.bank"),
                                         QStringLiteral("com.example.chat")};
    std::vector<platform::pid_type> apps;
    for (const QString& bundleID : bundleIDs) {
        apps.push_back(rig.launch(bundleID));
    }
    std::vector<AppWindow> windows;
    const auto openWindow = [&] {
        const auto app = static_cast<std::size_t>(walk.below(static_cast<int>(apps.size())));
        const QRectF bounds(std::round(walk.between(0, 260)),
                            std::round(walk.between(26, 150)),
                            std::round(walk.between(60, 130)),
                            std::round(walk.between(60, 100)));
        const QRectF patch(std::round(walk.between(0, 30)), std::round(walk.between(0, 30)), 24, 20);
        windows.push_back({rig.addWindow(apps[app], bounds, {patch}), apps[app], bundleIDs[app], patch});
    };
    for (int i = 0; i < 8; ++i) {
        openWindow();
    }
    std::vector<platform::Window*> ownWindows{&rig.addOwnWindow({200, 120, 90, 60}, false),
                                              &rig.addOwnWindow({10, 140, 120, 50}, true)};
    // The Dock, and a notification banner that comes and goes; their switches flip now and then.
    rig.addWindow(rig.launch(QStringLiteral("com.apple.dock")), {40, 170, 240, 30});
    const quint32 banner =
        rig.addWindow(rig.launch(QStringLiteral("com.apple.notificationcenterui")), {200, 30, 110, 40});
    const std::vector<double> waits{0, 0, 0.004, 0.01, 0.02};
    const std::vector<WindowManager::PanicMode> modes{WindowManager::PanicMode::Freeze,
                                                      WindowManager::PanicMode::Cover};
    // On its side, right of the first: its captures hold as many bytes as the first one's.
    platform::sim::SimDesktop::DisplaySpec turned;
    turned.name = QStringLiteral("Turned");
    turned.frame =
        QRectF(PrivacyRig::kDisplay.width(), 0, PrivacyRig::kDisplay.height(), PrivacyRig::kDisplay.width());
    turned.backingScale = PrivacyRig::kScale;
    const std::vector<quint32> displays{rig.t.mainDisplay, desktop.addDisplay(turned)};
    const std::vector<double> menuBars{24, 24.2, 24.5, 24.7, 25.4};
    desktop.setMenuBarHeight(24.2);
    WindowManager& m = rig.startSharing();

    for (int event = 0; event < kEvents && !HasFatalFailure(); ++event) {
        // About one event per tick, at any moment of a capture.
        rig.run(walk.between(0, 2 * VirtualDisplayManager::kCaptureInterval));
        if (m.sharePaused() && walk.chance(0.2)) {
            m.togglePanic();
            continue;
        }
        const int kind = walk.below(105);
        if (kind < 8) {
            rig.setDelays(walk.pick(waits), walk.pick(waits));
        } else if (kind < 18 || windows.empty()) {
            openWindow();
        } else if (kind < 24) {
            const auto it = windows.begin() + walk.below(static_cast<int>(windows.size()));
            desktop.removeWindow(it->number);
            windows.erase(it);
        } else if (kind < 40) {
            const AppWindow& window = walk.pick(windows);
            QRectF bounds = desktop.window(window.number)->bounds;
            const bool jump = walk.chance(0.15);
            const double reach = jump ? 130 : 15;
            bounds.translate(std::round(walk.between(-reach, reach)),
                             std::round(walk.between(-reach / 2, reach / 2)));
            desktop.setWindowBounds(window.number, bounds);
        } else if (kind < 45) {
            desktop.setWindowOnScreen(walk.pick(windows).number, walk.chance(0.5));
        } else if (kind < 53) {
            const auto app = desktop.runningApplication(walk.pick(apps));
            const int action = walk.below(3);
            if (action == 0) {
                app->hide();
            } else if (action == 1) {
                app->unhide();
            } else {
                app->activate();
            }
        } else if (kind < 58) {
            platform::Window* own = walk.pick(ownWindows);
            own->isVisible() ? own->orderOut() : own->orderFrontRegardless();
        } else if (kind < 60) {
            ownWindows.push_back(&rig.addOwnWindow(
                {std::round(walk.between(0, 250)), std::round(walk.between(30, 150)), 60, 40}, true));
        } else if (kind < 68) {
            m.toggleHidden(walk.pick(bundleIDs));
        } else if (kind < 76) {
            const AppWindow& window = walk.pick(windows);
            m.toggleWindowHidden(window.number, window.bundleID);
        } else if (kind < 88) {
            const AppWindow& window = walk.pick(windows);
            m.addShareMask({QUuid::createUuid(), window.number, window.bundleID, window.patch});
        } else if (kind < 95) {
            if (!m.shareMasks().isEmpty()) {
                m.removeShareMask(m.shareMasks()[walk.below(static_cast<int>(m.shareMasks().size()))].id);
            }
        } else if (kind < 96) {
            rig.switchNotificationBanners(!m.hideNotificationsOnShare());
        } else if (kind < 97) {
            m.toggleFocusStage();
        } else if (kind < 98) {
            desktop.setWindowOnScreen(banner, !desktop.isWindowOnScreen(banner));
        } else if (kind < 100) {
            m.setPanicMode(walk.pick(modes));
            m.togglePanic();
        } else if (kind < 101) {
            desktop.setMenuBarHeight(walk.pick(menuBars));
        } else {
            // The other display shared, for good or for a glance: back to one whose captures the
            // system still keeps, with the pointer moved so that the next capture differs.
            const quint32 shared = m.effectiveSharedDisplayID().value_or(displays.front());
            m.selectSharedDisplay(shared == displays.front() ? displays.back() : displays.front());
            if (walk.chance(0.5)) {
                rig.run(walk.between(0.05, 0.2));
                m.selectSharedDisplay(shared);
                rig.run(walk.between(0.05, 0.1));
                desktop.mouseMoved({walk.between(0, 320), walk.between(0, 200)});
            }
        }
        rig.checkAudience();
    }
    if (m.sharePaused()) {
        m.togglePanic();
    }
    rig.run(1.0);

    EXPECT_TRUE(rig.leaks.isEmpty()) << rig.leaks.join(QLatin1Char('\n')).toStdString();
    const int dropped = rig.display().droppedFrameCount();
    // Of the captures started: a still desktop's picture, already up, is not shown again.
    const int captures = rig.t.screenCapture.contentRequestCount();
    const double dropRate = dropped / static_cast<double>(std::max(captures, 1));
    std::cout << "[ walk     ] " << captures << " captures, " << rig.delivered() << " pictures shown, "
              << dropped << " dropped (" << dropRate * 100 << " %)\n";
    EXPECT_GT(rig.delivered(), kEvents / 2);
    EXPECT_LT(dropRate, 0.05);
}
