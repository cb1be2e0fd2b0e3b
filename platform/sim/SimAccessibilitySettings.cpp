#include "platform/sim/SimAccessibilitySettings.h"

namespace platform::sim {

void SimAccessibilitySettings::set(bool& option, bool on)
{
    if (option == on) {
        return;
    }
    option = on;
    emit displayOptionsChanged();
}

} // namespace platform::sim
