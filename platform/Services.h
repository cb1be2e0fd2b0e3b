#pragma once

namespace platform {

class AccessibilitySettings;
class AppWindowServer;
class Application;
class AudioOutput;
class Bundle;
class Events;
class FileManager;
class CaptureStreamService;
class HotKeySystem;
class Keychain;
class MainQueue;
class NotificationCenter;
class ProcessRunner;
class Scheduler;
class ScreenCaptureService;
class ScreenList;
class SMAppService;
class StatusBar;
class SystemBeep;
class UpdateFramework;
class URLSession;
class UserDefaults;
class VirtualDisplayService;
class WindowServer;
class Workspace;

// The system services the code above the platform layer talks to. The application installs one
// set for the process (used by the shared instances); tests build their own and pass it in.
struct Services
{
    UserDefaults* defaults = nullptr;
    Scheduler* scheduler = nullptr;
    Workspace* workspace = nullptr;
    ScreenList* screens = nullptr;
    WindowServer* windowServer = nullptr;
    HotKeySystem* hotKeys = nullptr;
    const Bundle* bundle = nullptr;
    Keychain* keychain = nullptr;
    URLSession* urlSession = nullptr;
    AccessibilitySettings* accessibility = nullptr;
    VirtualDisplayService* virtualDisplays = nullptr;
    ScreenCaptureService* screenCapture = nullptr;
    AppWindowServer* appWindows = nullptr;
    // The main application's login item.
    SMAppService* mainAppService = nullptr;
    ProcessRunner* processes = nullptr;
    Application* application = nullptr;
    Events* events = nullptr;
    StatusBar* statusBar = nullptr;
    UpdateFramework* updates = nullptr;
    AudioOutput* audio = nullptr;
    CaptureStreamService* captureStreams = nullptr;
    MainQueue* mainQueue = nullptr;
    FileManager* fileManager = nullptr;
    SystemBeep* beep = nullptr;

    static const Services& current();
    static void setCurrent(const Services& services);
};

} // namespace platform
