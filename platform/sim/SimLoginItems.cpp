#include "platform/sim/SimLoginItems.h"

namespace platform::sim {

namespace {
// The framework's "Operation not permitted" code.
constexpr int kOperationNotPermitted = 1;
} // namespace

SMAppService::Status SimLoginItems::status() const
{
    return m_statusFails ? Status::NotFound : m_status;
}

std::optional<ServiceError> SimLoginItems::registerService()
{
    ++m_registerCalls;
    if (m_registerError) {
        return ServiceError{kOperationNotPermitted, *m_registerError};
    }
    m_status = m_requiresApproval ? Status::RequiresApproval : Status::Enabled;
    return std::nullopt;
}

std::optional<ServiceError> SimLoginItems::unregisterService()
{
    ++m_unregisterCalls;
    if (m_unregisterError) {
        return ServiceError{kOperationNotPermitted, *m_unregisterError};
    }
    m_status = Status::NotRegistered;
    return std::nullopt;
}

} // namespace platform::sim
