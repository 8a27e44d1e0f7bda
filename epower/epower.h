// The DC supply panel: the main panel with its once-a-second readout and
// status cycle, the alarm panel, the protection and list panels, and the
// supply's parameter access (its header tables over link/scpi).
#pragma once

#include <cstddef>

// Integer parameters of the supply (index into epower_int_headers).
enum {
    EPOWER_OUTP,
    EPOWER_STAT_QUES,
    EPOWER_STAT_QUES_EXT,
    EPOWER_OUTP_PROT_CLE,
    EPOWER_VOLT_PROT_STAT,
    EPOWER_UND_PROT_STAT,
    EPOWER_CURR_PROT_STAT,
    EPOWER_LIST_COUNT_PARAM,
    EPOWER_LIST_TIME_UNIT_PARAM,
    EPOWER_LIST_CURR_STAT,
    EPOWER_LIST_VOLT_STAT,
    EPOWER_INT_PARAMS
};
// Float parameters of the supply (index into epower_float_headers).
enum {
    EPOWER_MEAS_VOLT,
    EPOWER_MEAS_CURR,
    EPOWER_VSET,
    EPOWER_ISET,
    EPOWER_VOLT_PROT,
    EPOWER_VOLT_PROT_UND,
    EPOWER_CURR_PROT,
    EPOWER_FLOAT_PARAMS
};
extern const char* const epower_int_headers[EPOWER_INT_PARAMS];
extern const char* const epower_float_headers[EPOWER_FLOAT_PARAMS];

// Entries of a list the panel keeps at most.
inline constexpr int EPOWER_LIST_MAX = 200;
// Milliseconds between two cycles.
inline constexpr int EPOWER_CYCLE_MS = 1000;
// Status bits: the output is on; constant voltage and current (only while
// on); the ones that sound the alarm; the extended status is set.
inline constexpr int EPOWER_QUES_OUTPUT = 0x20;
inline constexpr int EPOWER_QUES_CV = 0x08;
inline constexpr int EPOWER_QUES_CC = 0x04;
inline constexpr int EPOWER_QUES_ALARMS = 0x9213;
inline constexpr int EPOWER_QUES_EXTENDED = 0x8000;

// Access (1 on success, 0 on failure; a query writes the value only when it
// succeeded).  An unknown parameter is a failure.
int epower_access_int(int param, int* value, int max, int min, int set);
int epower_access_float(int param, float* value, int max, int min, int set);
// list 0: the voltage list, any other: the current list.
int epower_access_list(int list, int entry, float* value, int* time, int time_flag, int max, int min, int set);
// A row of the list panel's list box (or its header row).
void epower_list_show_row(int row, float value, int time, int insert, int header);

// A reading as the readout shows it, six characters: "%.3f" cut to the
// whole part and the decimals that fit, the unit where the text ends or where
// the point would fall ("12.34V", "1234V "); a whole part too long for that
// reads "  OL V" (" -OL V" below zero), never a cut number.
void epower_readout_text(float value, char unit, char* out, std::size_t size);

// Life of the panel, as the device-mode loop drives it.
int epower_open(); // 1 when the panels are loaded
void epower_active(int on); // 1 shows, anything else hides
void epower_close();
void epower_quit(); // discards every panel it loaded
void epower_measure(); // the cycle, at most once per EPOWER_CYCLE_MS
int epower_main(); // runs the cycle; 1 while the panel is active

// Sub-panel refreshes: 0 when complete, -1 when an exchange failed.
int epower_prot_refresh();
int epower_list_refresh();

// Panel handles, -1 while not loaded.
int epower_panel_main();
int epower_panel_prot();
int epower_panel_list();
int epower_panel_alarm();
// The list length found by the first load of the run (0 before it).
int epower_list_known_length();

// Registers "epowerPanel.uir" and the callbacks its panels name.
void epower_register_all();

// Callbacks bound by name in "epowerPanel.uir".
int epower_stop(int panel, int event, void* callbackData, int eventData1, int eventData2);
int epower_panel_close(int panel, int event, void* callbackData, int eventData1, int eventData2);
int epower_output_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int epower_viset(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int epower_meter_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int epower_status_event_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int epower_alarm_panel_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int epower_prot_panel_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int epower_step_panel_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int epower_prot_fun_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int epower_step_fun_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
