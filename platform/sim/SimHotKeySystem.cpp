#include "platform/sim/SimHotKeySystem.h"

#include <algorithm>
#include <cstring>

// The opaque reference types are this registry's own records.
struct platform::OpaqueEventHotKeyRef
{};
struct platform::OpaqueEventHandlerRef
{};
struct platform::OpaqueEventTargetRef
{};
struct platform::OpaqueEventRef
{
    std::optional<platform::EventHotKeyID> hotKeyID;
};

namespace platform::sim {

struct SimHotKeySystem::Registration : OpaqueEventHotKeyRef
{
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    EventHotKeyID hotKeyID;
};

struct SimHotKeySystem::Handler : OpaqueEventHandlerRef
{
    EventHandlerProcPtr proc = nullptr;
    void* userData = nullptr;
    bool takesHotKeyPresses = false;
};

namespace {
OpaqueEventTargetRef gApplicationTarget;
} // namespace

SimHotKeySystem::SimHotKeySystem() = default;
SimHotKeySystem::~SimHotKeySystem() = default;

EventTargetRef SimHotKeySystem::applicationEventTarget()
{
    return &gApplicationTarget;
}

OSStatus SimHotKeySystem::registerEventHotKey(std::uint32_t keyCode,
                                              std::uint32_t modifiers,
                                              EventHotKeyID hotKeyID,
                                              EventTargetRef target,
                                              std::uint32_t /*options*/,
                                              EventHotKeyRef* outRef)
{
    ++m_registerCalls;
    if (target == nullptr || outRef == nullptr) {
        return paramErr;
    }
    *outRef = nullptr;
    const auto combo = std::make_pair(keyCode, modifiers);
    const bool heldElsewhere =
        std::find(m_claimedElsewhere.begin(), m_claimedElsewhere.end(), combo) != m_claimedElsewhere.end();
    if (heldElsewhere || isRegistered(keyCode, modifiers)) {
        return eventHotKeyExistsErr;
    }
    auto registration = std::make_unique<Registration>();
    registration->keyCode = keyCode;
    registration->modifiers = modifiers;
    registration->hotKeyID = hotKeyID;
    *outRef = registration.get();
    m_hotKeys.push_back(std::move(registration));
    return noErr;
}

OSStatus SimHotKeySystem::unregisterEventHotKey(EventHotKeyRef hotKey)
{
    const auto it = std::find_if(
        m_hotKeys.begin(), m_hotKeys.end(), [hotKey](const auto& r) { return r.get() == hotKey; });
    if (it == m_hotKeys.end()) {
        return eventHotKeyInvalidErr;
    }
    m_hotKeys.erase(it);
    return noErr;
}

OSStatus SimHotKeySystem::installEventHandler(EventTargetRef target,
                                              EventHandlerProcPtr handler,
                                              std::uint32_t numTypes,
                                              const EventTypeSpec* list,
                                              void* userData,
                                              EventHandlerRef* outRef)
{
    if (target == nullptr || handler == nullptr) {
        return paramErr;
    }
    auto record = std::make_unique<Handler>();
    record->proc = handler;
    record->userData = userData;
    for (std::uint32_t i = 0; list != nullptr && i < numTypes; ++i) {
        if (list[i].eventClass == kEventClassKeyboard && list[i].eventKind == kEventHotKeyPressed) {
            record->takesHotKeyPresses = true;
        }
    }
    if (outRef != nullptr) {
        *outRef = record.get();
    }
    m_handlers.push_back(std::move(record));
    return noErr;
}

OSStatus SimHotKeySystem::removeEventHandler(EventHandlerRef handler)
{
    const auto before = m_handlers.size();
    std::erase_if(m_handlers, [handler](const auto& h) { return h.get() == handler; });
    return m_handlers.size() == before ? paramErr : noErr;
}

OSStatus SimHotKeySystem::getEventParameter(EventRef event,
                                            std::uint32_t name,
                                            std::uint32_t desiredType,
                                            std::uint32_t* actualType,
                                            std::size_t bufferSize,
                                            std::size_t* actualSize,
                                            void* outData)
{
    if (event == nullptr || outData == nullptr) {
        return paramErr;
    }
    if (name != kEventParamDirectObject || desiredType != typeEventHotKeyID || !event->hotKeyID) {
        return eventParameterNotFoundErr;
    }
    if (bufferSize < sizeof(EventHotKeyID)) {
        return paramErr;
    }
    std::memcpy(outData, &*event->hotKeyID, sizeof(EventHotKeyID));
    if (actualType != nullptr) {
        *actualType = typeEventHotKeyID;
    }
    if (actualSize != nullptr) {
        *actualSize = sizeof(EventHotKeyID);
    }
    return noErr;
}

void SimHotKeySystem::claimForOtherApplication(std::uint32_t keyCode, std::uint32_t modifiers)
{
    m_claimedElsewhere.emplace_back(keyCode, modifiers);
}

void SimHotKeySystem::releaseFromOtherApplication(std::uint32_t keyCode, std::uint32_t modifiers)
{
    std::erase(m_claimedElsewhere, std::make_pair(keyCode, modifiers));
}

bool SimHotKeySystem::isRegistered(std::uint32_t keyCode, std::uint32_t modifiers) const
{
    return std::any_of(m_hotKeys.begin(), m_hotKeys.end(), [&](const auto& r) {
        return r->keyCode == keyCode && r->modifiers == modifiers;
    });
}

bool SimHotKeySystem::press(std::uint32_t keyCode, std::uint32_t modifiers)
{
    const auto it = std::find_if(m_hotKeys.begin(), m_hotKeys.end(), [&](const auto& r) {
        return r->keyCode == keyCode && r->modifiers == modifiers;
    });
    if (it == m_hotKeys.end()) {
        return false;
    }
    dispatch((*it)->hotKeyID);
    return true;
}

bool SimHotKeySystem::takeKeyDown(const KeyEvent& event)
{
    if (event.type != EventType::KeyDown) {
        return false;
    }
    const std::pair<std::uint64_t, std::uint32_t> masks[] = {{kEventModifierFlagCommand, cmdKey},
                                                             {kEventModifierFlagShift, shiftKey},
                                                             {kEventModifierFlagOption, optionKey},
                                                             {kEventModifierFlagControl, controlKey}};
    std::uint32_t modifiers = 0;
    for (const auto& [flag, mask] : masks) {
        if ((event.modifierFlags & flag) != 0) {
            modifiers |= mask;
        }
    }
    const auto combo = std::make_pair(std::uint32_t{event.keyCode}, modifiers);
    return press(combo.first, combo.second)
           || std::find(m_claimedElsewhere.begin(), m_claimedElsewhere.end(), combo)
                  != m_claimedElsewhere.end();
}

void SimHotKeySystem::deliverRawEvent(std::optional<EventHotKeyID> hotKeyID)
{
    dispatch(hotKeyID);
}

void SimHotKeySystem::dispatch(std::optional<EventHotKeyID> hotKeyID)
{
    OpaqueEventRef event{hotKeyID};
    // Handlers may be removed by the callback; call a snapshot.
    std::vector<std::pair<EventHandlerProcPtr, void*>> targets;
    for (const auto& h : m_handlers) {
        if (h->takesHotKeyPresses) {
            targets.emplace_back(h->proc, h->userData);
        }
    }
    for (const auto& [proc, userData] : targets) {
        proc(nullptr, &event, userData);
    }
}

} // namespace platform::sim
