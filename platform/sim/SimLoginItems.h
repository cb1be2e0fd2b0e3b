#pragma once

#include "platform/LoginItems.h"

namespace platform::sim {

// The login item of the simulated desktop: registering enables it (or leaves it waiting for the
// user's approval), unregistering removes it. Tests can make each call fail and count the calls
// that reach the system.
class SimLoginItems final : public SMAppService
{
public:
    Status status() const override;
    std::optional<ServiceError> registerService() override;
    std::optional<ServiceError> unregisterService() override;

    // The state the system reports; changes made behind the application's back.
    void setStatus(Status status) { m_status = status; }
    // Registration succeeds but the system waits for the user's approval.
    void setRequiresApproval(bool needed) { m_requiresApproval = needed; }
    // The next calls of that kind fail with this description (until cleared with none).
    void setRegisterError(std::optional<QString> description) { m_registerError = std::move(description); }
    void setUnregisterError(std::optional<QString> description)
    {
        m_unregisterError = std::move(description);
    }
    // The status cannot be read: it reports NotFound.
    void setStatusFails(bool fails) { m_statusFails = fails; }

    int registerCalls() const { return m_registerCalls; }
    int unregisterCalls() const { return m_unregisterCalls; }

private:
    Status m_status = Status::NotRegistered;
    bool m_requiresApproval = false;
    bool m_statusFails = false;
    std::optional<QString> m_registerError;
    std::optional<QString> m_unregisterError;
    int m_registerCalls = 0;
    int m_unregisterCalls = 0;
};

} // namespace platform::sim
