#pragma once

#include "platform/Services.h"

namespace testing_support {

// Makes a test's services the process's own while it lives, for the views that read them.
struct CurrentServices
{
    explicit CurrentServices(const platform::Services& services) { platform::Services::setCurrent(services); }
    ~CurrentServices() { platform::Services::setCurrent(platform::Services()); }
    CurrentServices(const CurrentServices&) = delete;
    CurrentServices& operator=(const CurrentServices&) = delete;
};

} // namespace testing_support
