// The interface panel: link choice, Open toggle, message log and command
// terminal; the one link handle of the run; and ifp_send_query, through which
// every exchange with the instrument passes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

// The application's version, shown in the interface panel's title.
inline constexpr char IFP_VERSION_MAJOR[] = "3";
inline constexpr char IFP_VERSION_MINOR[] = "10";

// Sizes that are part of the behaviour.
inline constexpr int IFP_PRINTF_SIZE = 512; // ifp_printf's formatting buffer
inline constexpr int IFP_WPRINTF_SIZE = 256; // wprintf's formatting buffer
inline constexpr int IFP_TERMINAL_SIZE = 200; // command and reply of the terminal
inline constexpr int IFP_QUERY_ATTEMPTS = 3; // tries of ifp_send_query

void ifp_active(int show);
void ifp_quit();
void ifp_close();
int ifp_get_quit();
int ifp_get_ifready();
int ifp_in_operation();
int ifp_get_device_mode();
// 1 on success, 0 on failure; command or reply may be null.
int ifp_send_query(const char* command, char* reply, int size);
// How many calls of ifp_send_query have failed so far, so that a caller can
// tell an instrument that stopped answering from one that answered "no".
unsigned ifp_failed_queries();
void ifp_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The message log, filtered by the log-level ring (level 1 errors, 0 traffic).
void wprintf(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Connection set-up.
bool ifp_open_link();
void ifp_device_cfg(int* value, int direction);
// Which device modes the application can run (1) or not (0).  A mode it
// cannot run is never taken from device.cfg nor written to it: the mode
// device.cfg held (or 0) is stored instead.  Without a check every mode counts.
void ifp_set_device_mode_check(int (*runnable)(int mode));
// device.cfg's first line (at most IFP_CFG_LINE_SIZE - 1 characters) read as
// one decimal integer the way "%d" reads it, or -1 when it holds none or one
// out of range.
constexpr int IFP_CFG_LINE_SIZE = 128;
// device.cfg holds one short line; a larger file is not one.
constexpr std::size_t IFP_CFG_MAX_SIZE = 4096;
int ifp_parse_device_cfg(const char* line);
// The same for the whole file text: its first line.
int ifp_parse_device_cfg_text(std::string_view text);
// The panel handle (-1 when not loaded) and the open link's handle (-1 when
// no link is open).
int ifp_panel();
int ifp_link_handle();
// Registers the panel's callbacks with the toolkit.
void ifp_register_callbacks();

// Chooses the link kind (0 GPIB, 1 COM, 2 TCP, 3 UDP) and, for TCP and UDP, the
// IP address on the loaded panel, as a user would; the link is not opened.
void ifp_select_link(int kind, const char* address);
// The monitor view (tall panel with the message log, transport messages in
// the log): 1 on, 0 off; ifp_get_monitor_view tells which is in force.
void ifp_set_monitor_view(int on);
int ifp_get_monitor_view();

// Callbacks bound by name in the panel file (each returns 0).
int ifcSelCb(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int ifpopenCB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int txCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int ifc_msg_clear(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int ifp_devmode_cb(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
// The COM port number shows its device path from the port map; the Set button
// stores the edited path in the map.
// A link field changed: a successful open remembers it.
int ifp_address_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int ifp_comport_cb(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int ifp_compath_cb(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int ifpCB(int panel, int event, void* callbackData, int eventData1, int eventData2);
