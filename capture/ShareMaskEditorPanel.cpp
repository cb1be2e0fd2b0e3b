#include "capture/ShareMaskEditorPanel.h"

#include <QWidget>

void ShareMaskEditorPanel::makeKeyAndOrderFront()
{
    orderFrontRegardless();
    m_madeKey = canBecomeKeyWindow();
    if (m_madeKey && contentView() != nullptr) {
        contentView()->setFocus(Qt::OtherFocusReason);
    }
}
