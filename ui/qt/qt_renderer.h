// The Qt window system as the toolkit's renderer.  No Qt types here, so that
// application code can install it.
#pragma once

// Creates the QApplication when there is none (argc and argv must outlive
// it) and installs the Qt renderer.  False when no Qt application can run
// (no display, or a non-GUI Qt application already exists).
bool ui_qt_install(int& argc, char** argv);
// Removes the renderer (the headless driver takes over) and closes the
// windows; the QApplication stays for the rest of the process.  An
// application that made its own QApplication calls this before it goes;
// without the call the windows simply end with the process.
void ui_qt_uninstall();
// Saves a loaded panel's window as a PNG; false on failure.
bool ui_qt_grab_panel(int panel, const char* pngPath);
