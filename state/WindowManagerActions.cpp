#include "state/WindowManager.h"

// The actions of the two hot keys. Hiding the frontmost app and the panic pause arrive with the
// hiding and virtual-display operations; until then a press changes nothing.
void WindowManager::toggleFrontmostAppHidden()
{}

void WindowManager::togglePanic()
{}
