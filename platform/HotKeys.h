#pragma once

#include <cstddef>
#include <cstdint>

// The system-wide hot-key service, in the shape of the classic event-manager calls: hot keys are
// registered against the application's event target, and a press arrives as an event for the
// handlers installed there.
namespace platform {

using OSStatus = std::int32_t;
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus paramErr = -50;
inline constexpr OSStatus eventParameterNotFoundErr = -9870;
inline constexpr OSStatus eventHotKeyExistsErr = -9878;
inline constexpr OSStatus eventHotKeyInvalidErr = -9879;

constexpr std::uint32_t fourCharCode(const char (&code)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24U)
           | (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16U)
           | (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8U)
           | static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

inline constexpr std::uint32_t kEventClassKeyboard = fourCharCode("keyb");
inline constexpr std::uint32_t kEventHotKeyPressed = 5;
inline constexpr std::uint32_t kEventHotKeyReleased = 6;
inline constexpr std::uint32_t kEventParamDirectObject = fourCharCode("----");
inline constexpr std::uint32_t typeEventHotKeyID = fourCharCode("hkid");

// Modifier masks of hot keys.
inline constexpr std::uint32_t cmdKey = 0x100;
inline constexpr std::uint32_t shiftKey = 0x200;
inline constexpr std::uint32_t optionKey = 0x800;
inline constexpr std::uint32_t controlKey = 0x1000;

struct EventHotKeyID
{
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
};

struct EventTypeSpec
{
    std::uint32_t eventClass = 0;
    std::uint32_t eventKind = 0;
};

struct OpaqueEventHotKeyRef;
struct OpaqueEventHandlerRef;
struct OpaqueEventHandlerCallRef;
struct OpaqueEventRef;
struct OpaqueEventTargetRef;
using EventHotKeyRef = OpaqueEventHotKeyRef*;
using EventHandlerRef = OpaqueEventHandlerRef*;
using EventHandlerCallRef = OpaqueEventHandlerCallRef*;
using EventRef = OpaqueEventRef*;
using EventTargetRef = OpaqueEventTargetRef*;

using EventHandlerProcPtr = OSStatus (*)(EventHandlerCallRef nextHandler, EventRef event, void* userData);

class HotKeySystem
{
public:
    virtual ~HotKeySystem() = default;

    virtual EventTargetRef applicationEventTarget() = 0;
    virtual OSStatus registerEventHotKey(std::uint32_t keyCode,
                                         std::uint32_t modifiers,
                                         EventHotKeyID hotKeyID,
                                         EventTargetRef target,
                                         std::uint32_t options,
                                         EventHotKeyRef* outRef) = 0;
    virtual OSStatus unregisterEventHotKey(EventHotKeyRef hotKey) = 0;
    virtual OSStatus installEventHandler(EventTargetRef target,
                                         EventHandlerProcPtr handler,
                                         std::uint32_t numTypes,
                                         const EventTypeSpec* list,
                                         void* userData,
                                         EventHandlerRef* outRef) = 0;
    virtual OSStatus removeEventHandler(EventHandlerRef handler) = 0;
    virtual OSStatus getEventParameter(EventRef event,
                                       std::uint32_t name,
                                       std::uint32_t desiredType,
                                       std::uint32_t* actualType,
                                       std::size_t bufferSize,
                                       std::size_t* actualSize,
                                       void* outData) = 0;
};

} // namespace platform
