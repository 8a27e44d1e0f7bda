// Shared between the toolkit's own source files; not for other modules.
#pragma once

#include "ui/model.h"

namespace ui::detail {

Panel* findPanel(int handle);
MenuBar* findMenuBar(int handle);
// Reports a library error on stderr when break-on-library-errors is on; returns code.
int fail(int code, const char* where);
bool breakOnErrors();
// The control's current value as GetCtrlVal would give it (text boxes: the joined text).
Value currentValue(const Control& c);

// Panels and menu bars: discard all (renderer told), forget resources and callbacks.
void resetModel();
// Queued events, actions and keys.
void resetEvents();

Renderer* headlessRenderer();
void resetHeadless();

} // namespace ui::detail
