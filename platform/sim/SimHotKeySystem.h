#pragma once

#include "platform/HotKeys.h"
#include "platform/KeyEvent.h"

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace platform::sim {

// The system-wide hot-key registry of the simulated desktop. A combination can be held by one
// registration at a time; "other applications" can claim combinations; a press of a combination
// registered here is dispatched to the handlers installed for hot-key presses.
class SimHotKeySystem final : public HotKeySystem
{
public:
    SimHotKeySystem();
    ~SimHotKeySystem() override;
    SimHotKeySystem(const SimHotKeySystem&) = delete;
    SimHotKeySystem& operator=(const SimHotKeySystem&) = delete;

    EventTargetRef applicationEventTarget() override;
    OSStatus registerEventHotKey(std::uint32_t keyCode,
                                 std::uint32_t modifiers,
                                 EventHotKeyID hotKeyID,
                                 EventTargetRef target,
                                 std::uint32_t options,
                                 EventHotKeyRef* outRef) override;
    OSStatus unregisterEventHotKey(EventHotKeyRef hotKey) override;
    OSStatus installEventHandler(EventTargetRef target,
                                 EventHandlerProcPtr handler,
                                 std::uint32_t numTypes,
                                 const EventTypeSpec* list,
                                 void* userData,
                                 EventHandlerRef* outRef) override;
    OSStatus removeEventHandler(EventHandlerRef handler) override;
    OSStatus getEventParameter(EventRef event,
                               std::uint32_t name,
                               std::uint32_t desiredType,
                               std::uint32_t* actualType,
                               std::size_t bufferSize,
                               std::size_t* actualSize,
                               void* outData) override;

    // Another application holds this combination; registering it here is refused.
    void claimForOtherApplication(std::uint32_t keyCode, std::uint32_t modifiers);
    void releaseFromOtherApplication(std::uint32_t keyCode, std::uint32_t modifiers);

    // The user presses a combination. Returns whether a registration of this program took it.
    bool press(std::uint32_t keyCode, std::uint32_t modifiers);
    // A key goes down with the event's modifiers: a combination registered here is pressed, and,
    // like one another application holds, kept from the applications. Returns whether it was.
    bool takeKeyDown(const KeyEvent& event);
    // Delivers a raw hot-key event: with the given identity, or without any when none.
    void deliverRawEvent(std::optional<EventHotKeyID> hotKeyID);

    bool isRegistered(std::uint32_t keyCode, std::uint32_t modifiers) const;
    std::size_t registrationCount() const { return m_hotKeys.size(); }
    std::size_t handlerCount() const { return m_handlers.size(); }
    int registerCallCount() const { return m_registerCalls; }

private:
    void dispatch(std::optional<EventHotKeyID> hotKeyID);

    struct Registration;
    struct Handler;
    std::vector<std::unique_ptr<Registration>> m_hotKeys;
    std::vector<std::unique_ptr<Handler>> m_handlers;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_claimedElsewhere;
    int m_registerCalls = 0;
};

} // namespace platform::sim
