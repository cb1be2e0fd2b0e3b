#include "capture/ShareMaskEditor.h"

ShareMaskEditor& ShareMaskEditor::shared()
{
    // Lives until the process ends.
    static auto* instance = new ShareMaskEditor;
    return *instance;
}

void ShareMaskEditor::open(quint32 displayID)
{
    m_openedDisplayIDs.append(displayID);
    setIsEditing(true);
}

void ShareMaskEditor::close()
{
    setIsEditing(false);
}

void ShareMaskEditor::setIsEditing(bool value)
{
    if (m_isEditing != value) {
        m_isEditing = value;
        emit isEditingChanged(m_isEditing);
    }
}
