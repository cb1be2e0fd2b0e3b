// Whether a picture may reach the audience, judged by the window list of a later moment: one
// window at a time, against a filter that leaves out whole apps and one that lists windows.
#include "capture/DeliveryCheck.h"

#include "platform/Geometry.h"
#include "platform/Window.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using platform::pid_type;
using platform::SCContentFilter;
using platform::SCRunningApplication;
using platform::SCWindow;

namespace {

const QString kOwn = QStringLiteral("getveilmox.Veilmox");
const QString kOpen = QStringLiteral("com.example.open");
const QString kSecret = QStringLiteral("com.example.secret");

// Processes the content listed.
constexpr pid_type kOwnPID = 1;
constexpr pid_type kOpenPID = 10;
constexpr pid_type kSecretPID = 20;
// Started after the content was read, so only the workspace can name them.
constexpr pid_type kOpenAgainPID = 11;
constexpr pid_type kSecretAgainPID = 21;
// A process nobody can name.
constexpr pid_type kNamelessPID = 99;

// Windows the content listed: one of the hidden app, one hidden on its own, two with masks.
constexpr quint32 kSecretWindow = 200;
constexpr quint32 kHiddenWindow = 300;
constexpr quint32 kMaskedWindow = 100;
constexpr quint32 kUnpaintedWindow = 101;
const QRectF kMaskedBounds(20, 40, 80, 70);

enum class Form
{
    Apps,   // the display without the left-out apps
    Windows // the display without the listed windows
};

struct Window
{
    quint32 number = 500;
    std::optional<pid_type> owner = kOpenPID;
    std::optional<QRectF> bounds = QRectF(20, 40, 80, 70);
    platform::WindowSharingType sharing = platform::WindowSharingType::ReadOnly;
};

struct Case
{
    const char* name;
    Form form;
    Window window;
    bool allowed;
    bool withWorkspace = true;
};

const Case kCases[] = {
    {"an open app's window", Form::Apps, {}, true},
    {"a left-out app's window", Form::Apps, {201, kSecretPID}, true},
    {"one of the program's own windows", Form::Apps, {202, kOwnPID}, true},
    {"a window of a process of an open app started since", Form::Apps, {501, kOpenAgainPID}, true},
    {"a window of a process of a left-out app started since", Form::Apps, {203, kSecretAgainPID}, false},
    {"the same beyond the display", Form::Apps, {203, kSecretAgainPID, QRectF(330, 0, 50, 50)}, true},
    {"the same where its bounds cannot be read", Form::Apps, {203, kSecretAgainPID, std::nullopt}, false},
    {"the same never drawn into a capture",
     Form::Apps,
     {203, kSecretAgainPID, QRectF(20, 40, 80, 70), platform::WindowSharingType::None},
     true},
    {"a window of a process nobody can name", Form::Apps, {600, kNamelessPID}, false},
    {"a window of a process started since, with no workspace to name it",
     Form::Apps,
     {501, kOpenAgainPID},
     false,
     false},
    {"a window without an owner", Form::Apps, {601, std::nullopt}, false},
    {"a hidden window", Form::Apps, {kHiddenWindow}, false},

    {"a listed window of a left-out app", Form::Windows, {kSecretWindow, kSecretPID}, true},
    {"a listed hidden window", Form::Windows, {kHiddenWindow}, true},
    {"an open app's window among listed windows", Form::Windows, {}, true},
    {"a left-out app's window that is not listed", Form::Windows, {204, kSecretPID}, false},
    {"the same with bounds that cannot be read", Form::Windows, {204, kSecretPID, std::nullopt}, false},
    {"a window of a process nobody can name among listed windows", Form::Windows, {600, kNamelessPID}, false},

    {"a masked window under its painted mask", Form::Apps, {kMaskedWindow, kOpenPID, kMaskedBounds}, true},
    {"a masked window moved from under its mask",
     Form::Apps,
     {kMaskedWindow, kOpenPID, kMaskedBounds.translated(3, 0)},
     false},
    {"a masked window whose mask lies beyond the display",
     Form::Apps,
     {kMaskedWindow, kOpenPID, kMaskedBounds.translated(400, 0)},
     true},
    {"a masked window whose bounds cannot be read",
     Form::Apps,
     {kMaskedWindow, kOpenPID, std::nullopt},
     false},
    {"a masked window whose mask was not painted", Form::Apps, {kUnpaintedWindow}, false},
};

platform::WindowDescription describe(const Window& window)
{
    platform::WindowDescription d{{platform::kCGWindowNumber, static_cast<qint64>(window.number)},
                                  {platform::kCGWindowSharingState, static_cast<qint64>(window.sharing)}};
    if (window.owner) {
        d.insert(platform::kCGWindowOwnerPID, static_cast<qint64>(*window.owner));
    }
    if (window.bounds) {
        d.insert(platform::kCGWindowBounds, platform::dictionaryFromRect(*window.bounds));
    }
    return d;
}

// The display, the apps the content listed, and a workspace that names the processes started
// since.
struct Content
{
    Content()
    {
        for (const auto& [bundleID, pid] :
             {std::pair(kOpen, kOpenAgainPID), std::pair(kSecret, kSecretAgainPID)}) {
            platform::sim::SimDesktop::AppSpec app;
            app.bundleID = bundleID;
            app.pid = pid;
            workspace.launchApp(app);
        }
    }

    platform::sim::SimDesktop workspace{kOwn};
    platform::SCDisplay display{1, 320, 200, QRectF(0, 0, 320, 200)};
    SCRunningApplication own{kOwn, QStringLiteral("Veilmox"), kOwnPID};
    SCRunningApplication open{kOpen, QStringLiteral("Open"), kOpenPID};
    SCRunningApplication secret{kSecret, QStringLiteral("Secret"), kSecretPID};
};

} // namespace

TEST(DeliveryCheck, APictureIsHeldBackWhileAWindowItShouldLeaveOutOrCoverIsShown)
{
    Content content;
    auto& [workspace, display, own, open, secret] = content;
    // By form.
    const SCContentFilter filters[] = {
        SCContentFilter::displayExcludingApplications(display, {own, secret}, {}),
        SCContentFilter::displayExcludingWindows(display,
                                                 {SCWindow{kSecretWindow, {}, {}, 0, secret, true},
                                                  SCWindow{kHiddenWindow, {}, {}, 0, open, true}}),
    };
    // The first mask painted where its window was (in pixels at scale 2), the second not at all.
    const ShareMask painted{QUuid::createUuid(), kMaskedWindow, kOpen, QRectF(10, 10, 40, 30)};
    const ShareMask unpainted{QUuid::createUuid(), kUnpaintedWindow, kOpen, QRectF(0, 0, 20, 20)};

    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        DeliveryCheck check({.filter = filters[static_cast<int>(c.form)],
                             .applications = {own, open, secret},
                             .leftOutBundleIDs = {kOwn, kSecret},
                             .ownPID = kOwnPID,
                             .excludedWindowIDs = {kHiddenWindow},
                             .scale = 2.0},
                            c.withWorkspace ? &workspace : nullptr);
        check.setMasks({painted, unpainted}, {{painted.id, QRect(60, 100, 80, 60)}});
        EXPECT_EQ(check.allows({describe(c.window)}), c.allowed);
        // Among windows that pass, the one window decides.
        EXPECT_EQ(check.allows({describe({}), describe(c.window), describe({kSecretWindow, kSecretPID})}),
                  c.allowed);
    }
}

TEST(DeliveryCheck, ChecksThatShareWhatTheyReadJudgeEveryListAsItIsNow)
{
    Content content;
    const auto readings = std::make_shared<DeliveryCheck::WindowReadings>();
    // A check of a capture after another, as the capture path makes them.
    const auto allows = [&](const QList<platform::WindowDescription>& windows) {
        const DeliveryCheck check({.filter = SCContentFilter::displayExcludingApplications(
                                       content.display, {content.own, content.secret}, {}),
                                   .applications = {content.own, content.open, content.secret},
                                   .leftOutBundleIDs = {kOwn, kSecret},
                                   .ownPID = kOwnPID,
                                   .excludedWindowIDs = {kHiddenWindow},
                                   .scale = 2.0},
                                  &content.workspace,
                                  readings);
        return check.allows(windows);
    };

    QList<platform::WindowDescription> windows{describe({}), describe({501})};
    EXPECT_TRUE(allows(windows));
    EXPECT_TRUE(allows(windows));
    // A description changed where it is listed is read again, whatever it held before.
    windows[1].insert(platform::kCGWindowOwnerPID, static_cast<qint64>(kSecretAgainPID));
    EXPECT_FALSE(allows(windows));
    windows[1].insert(platform::kCGWindowSharingState,
                      static_cast<qint64>(platform::WindowSharingType::None));
    EXPECT_TRUE(allows(windows));
    windows[1] = describe({501});
    EXPECT_TRUE(allows(windows));
    windows[1].insert(platform::kCGWindowNumber, static_cast<qint64>(kHiddenWindow));
    EXPECT_FALSE(allows(windows));
    // Shorter and longer lists.
    windows.removeLast();
    EXPECT_TRUE(allows(windows));
    windows.append(describe({600, kNamelessPID}));
    EXPECT_FALSE(allows(windows));
    // The same descriptions in another order.
    windows = {describe({600, kNamelessPID}), describe({})};
    EXPECT_FALSE(allows(windows));
    std::swap(windows[0], windows[1]);
    EXPECT_FALSE(allows(windows));
}
