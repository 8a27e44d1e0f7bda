// The interface panel: link choice, Open toggle, message log and command
// terminal; the one link handle of the run; and ifp_send_query, through which
// every exchange with the instrument passes.
#pragma once

#include <cstddef>

void ifp_active(int show);
void ifp_quit();
void ifp_close();
int ifp_get_quit();
int ifp_get_ifready();
int ifp_in_operation();
int ifp_get_device_mode();
// 1 on success, 0 on failure; command or reply may be null.
int ifp_send_query(const char* command, char* reply, int size);
void ifp_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The message log, filtered by the log-level ring (level 1 errors, 0 traffic).
void wprintf(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Connection set-up.
bool ifp_open_link();
void ifp_device_cfg(int* value, int direction);
// The panel handle (-1 when not loaded) and the open link's handle.
int ifp_panel();
int ifp_link_handle();
// Registers the panel's callbacks with the toolkit.
void ifp_register_callbacks();
