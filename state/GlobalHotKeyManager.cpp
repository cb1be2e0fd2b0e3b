#include "state/GlobalHotKeyManager.h"

#include "platform/Scheduler.h"
#include "platform/Services.h"

GlobalHotKeyManager::GlobalHotKeyManager(platform::HotKeySystem& system, platform::Scheduler& scheduler)
    : m_system(system)
    , m_scheduler(scheduler)
{}

GlobalHotKeyManager::~GlobalHotKeyManager()
{
    for (const auto& [id, ref] : m_hotKeyRefs) {
        m_system.unregisterEventHotKey(ref);
    }
    m_hotKeyRefs.clear();
    if (m_eventHandler != nullptr) {
        m_system.removeEventHandler(m_eventHandler);
    }
}

GlobalHotKeyManager& GlobalHotKeyManager::shared()
{
    static auto* instance = new GlobalHotKeyManager(*platform::Services::current().hotKeys,
                                                    *platform::Services::current().scheduler);
    return *instance;
}

bool GlobalHotKeyManager::registerHotKey(quint32 id,
                                         quint32 keyCode,
                                         quint32 modifiers,
                                         std::function<void()> action)
{
    unregister(id);
    if (m_eventHandler == nullptr) {
        const platform::EventTypeSpec pressed{platform::kEventClassKeyboard, platform::kEventHotKeyPressed};
        m_system.installEventHandler(
            m_system.applicationEventTarget(), &hotKeyEventCallback, 1, &pressed, this, &m_eventHandler);
    }
    (*m_actions)[id] = std::move(action);
    platform::EventHotKeyRef ref = nullptr;
    const platform::OSStatus status = m_system.registerEventHotKey(keyCode,
                                                                   modifiers,
                                                                   platform::EventHotKeyID{kSignature, id},
                                                                   m_system.applicationEventTarget(),
                                                                   0,
                                                                   &ref);
    if (status == platform::noErr && ref != nullptr) {
        m_hotKeyRefs[id] = ref;
    } else {
        m_actions->erase(id);
    }
    return status == platform::noErr;
}

void GlobalHotKeyManager::unregister(quint32 id)
{
    if (const auto it = m_hotKeyRefs.find(id); it != m_hotKeyRefs.end()) {
        m_system.unregisterEventHotKey(it->second);
        m_hotKeyRefs.erase(it);
    }
    m_actions->erase(id);
}

platform::OSStatus
hotKeyEventCallback(platform::EventHandlerCallRef /*nextHandler*/, platform::EventRef event, void* userData)
{
    if (event == nullptr || userData == nullptr) {
        return platform::noErr;
    }
    auto* manager = static_cast<GlobalHotKeyManager*>(userData);
    platform::EventHotKeyID hotKeyID;
    const platform::OSStatus status = manager->m_system.getEventParameter(event,
                                                                          platform::kEventParamDirectObject,
                                                                          platform::typeEventHotKeyID,
                                                                          nullptr,
                                                                          sizeof(hotKeyID),
                                                                          nullptr,
                                                                          &hotKeyID);
    if (status != platform::noErr || hotKeyID.signature != GlobalHotKeyManager::kSignature) {
        return platform::noErr;
    }
    std::weak_ptr<GlobalHotKeyManager::Actions> actions = manager->m_actions;
    const quint32 id = hotKeyID.id;
    manager->m_scheduler.post(nullptr, [actions, id] {
        const auto current = actions.lock();
        if (!current) {
            return;
        }
        const auto it = current->find(id);
        if (it != current->end() && it->second) {
            // Copy: the action may re-register its own id.
            const auto action = it->second;
            action();
        }
    });
    return platform::noErr;
}
