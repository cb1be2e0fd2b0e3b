#pragma once

#include "platform/HotKeys.h"

#include <QtGlobal>

#include <functional>
#include <map>
#include <memory>

namespace platform {
class Scheduler;
} // namespace platform

// The registry of the system-wide hot keys (signature "VMOX"). One process-wide instance used by
// WindowManager on the main thread; a press runs the registered action on a later main-loop turn.
class GlobalHotKeyManager
{
public:
    GlobalHotKeyManager(platform::HotKeySystem& system, platform::Scheduler& scheduler);
    virtual ~GlobalHotKeyManager();
    GlobalHotKeyManager(const GlobalHotKeyManager&) = delete;
    GlobalHotKeyManager& operator=(const GlobalHotKeyManager&) = delete;

    static GlobalHotKeyManager& shared();

    // Registers or re-registers `id`; true when the system accepted it. A previous registration
    // of the id is released first, and a refused one leaves the id unregistered.
    bool registerHotKey(quint32 id, quint32 keyCode, quint32 modifiers, std::function<void()> action);
    // Removes the hot key and its action; nothing for an id that is not registered.
    void unregister(quint32 id);

    bool isRegistered(quint32 id) const { return m_hotKeyRefs.contains(id); }

    static constexpr std::uint32_t kSignature = platform::fourCharCode("VMOX");

private:
    friend platform::OSStatus
    hotKeyEventCallback(platform::EventHandlerCallRef nextHandler, platform::EventRef event, void* userData);

    using Actions = std::map<quint32, std::function<void()>>;

    platform::HotKeySystem& m_system;
    platform::Scheduler& m_scheduler;
    std::map<quint32, platform::EventHotKeyRef> m_hotKeyRefs;
    // Shared so a press already queued can look the action up when it runs, or find it gone.
    std::shared_ptr<Actions> m_actions = std::make_shared<Actions>();
    platform::EventHandlerRef m_eventHandler = nullptr;
};

platform::OSStatus
hotKeyEventCallback(platform::EventHandlerCallRef nextHandler, platform::EventRef event, void* userData);
