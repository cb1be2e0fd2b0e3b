#pragma once

#include <QString>

#include <optional>

namespace platform {

// A refused registration change, as the system describes it.
struct ServiceError
{
    int code = 0;
    QString localizedDescription;
};

// The main application's login item (the application started when the user logs in), in the
// shape of the service-management framework's `SMAppService.mainApp`. Main thread only.
class SMAppService
{
public:
    enum class Status
    {
        NotRegistered,
        Enabled,
        // Registered, but the user has to allow it in System Settings first.
        RequiresApproval,
        // The system cannot tell (for instance, the application is not where it was installed).
        NotFound
    };

    virtual ~SMAppService() = default;

    virtual Status status() const = 0;
    // Each returns the error when the system refused the change.
    virtual std::optional<ServiceError> registerService() = 0;
    virtual std::optional<ServiceError> unregisterService() = 0;
};

} // namespace platform
