#include "capture/SCOverlayController.h"

void SCOverlayController::update()
{
    ++m_updateCount;
}

void SCOverlayController::setTransparency(const QMap<QString, double>& transparency)
{
    m_pinnedTransparency = transparency;
}
