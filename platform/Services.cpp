#include "platform/Services.h"

namespace platform {
namespace {
Services& processServices()
{
    static Services services;
    return services;
}
} // namespace

const Services& Services::current()
{
    return processServices();
}

void Services::setCurrent(const Services& services)
{
    processServices() = services;
}

} // namespace platform
