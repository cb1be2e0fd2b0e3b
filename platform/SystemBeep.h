#pragma once

namespace platform {

// The system's alert sound, played when the user does something that is not accepted. Main
// thread only.
class SystemBeep
{
public:
    virtual ~SystemBeep() = default;

    virtual void beep() = 0;
};

} // namespace platform
