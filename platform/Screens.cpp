#include "platform/Screens.h"

#include "platform/Values.h"

namespace platform {

std::optional<quint32> Screen::displayID() const
{
    return uint32Value(deviceDescription.value(kScreenNumberKey));
}

} // namespace platform
