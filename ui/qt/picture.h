// Pictures of a panel's graphs, with their legends, as PNG or SVG files.  No
// Qt types here, so that application code can call it.
#pragma once

#include <string>

// Writes the graphs of a loaded panel, placed as on the panel, to path: SVG
// when it ends in ".svg", PNG when it ends in ".png".  Needs no window: a
// program without a GUI application gets one on the off-screen platform.
// False with *error (when given) on failure.
bool ui_qt_write_picture(int panel, const char* path, std::string* error = nullptr);
// Makes the toolkit's SavePanelPicture use it (ui_qt_install does this too).
void ui_qt_enable_pictures();
