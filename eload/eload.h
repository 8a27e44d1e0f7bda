// The electronic-load panel: a control window for the load (input, mode,
// level, range) with a once-a-second readout of two chosen quantities and of
// the status registers, an alarm lamp and an alarm panel.  It runs either as
// the whole application (device mode 1) or beside the measurement tool on a
// family instrument.  Every exchange goes through eload_access.h.
#pragma once

#include <cstdint>

// Entries of the step list the panel holds at most.
inline constexpr int ELOAD_STEP_MAX = 200;

// Readout words of "MEAS:SUMM?": a word longer than this is not shown.
inline constexpr int ELOAD_WORD_SIZE = 32;
// Cycles in a row whose exchanges the instrument left unanswered before the
// link is given up.
inline constexpr int ELOAD_SILENT_CYCLES = 3;
// Milliseconds from one cycle to the next.
inline constexpr int32_t ELOAD_CYCLE_MS = 1000;
// The wait after a mode change before the range is read back.
inline constexpr int32_t ELOAD_MODE_SETTLE_MS = 60;

// Loads the main, transient, protection and options panels (hidden); 1 when
// they are loaded (or were already), 0 with a message when one failed.
int eload_open();
// 1 shows the panel, reading it from the instrument the first time after an
// open or close; any other value hides it and its sub-panels.
void eload_active(int on);
// Hides the panel; the next activation reads everything again.
void eload_close();
// Discards every panel of the module.
void eload_quit();
// The measurement cycle: cheap to call often, one cycle per second at most.
void eload_measure();
// eload_measure, then 1 while the panel is active, else 0.
int eload_main();
// The panel runs beside the measurement tool (1) or alone (0).
void eload_set_kzr_device(int flag);
// The module's load mode: 1 unfolds the main panel, anything else folds it.
void eload_set_kzr_mode(int mode);
// Called when the main panel is closed beside the measurement tool; the tool
// turns its toggle off there.
void eload_set_close_hook(void (*hook)());

// Handle of a loaded panel of "eloadPanel.uir" by its resource id, else -1.
int eload_panel(int resourceId);

// The words of a "MEAS:SUMM?" reply: exactly four blank-separated words, each
// shorter than ELOAD_WORD_SIZE; 1 with them in words, else 0.
int eload_summary_words(const char* reply, char (&words)[4][ELOAD_WORD_SIZE]);

// Registers the resource table and the callbacks with the toolkit.
void eload_register();

// Callbacks bound by name in the panel file.
int eload_stop(int panel, int event, void* callbackData, int eventData1, int eventData2);
int panel_close(int panel, int event, void* callbackData, int eventData1, int eventData2);
int input_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int range_control_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int meter_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int panel_size_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int status_event_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int alarm_panel_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int tran_panel_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int prot_panel_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int opti_panel_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int tran_fun_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int prot_fun_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int opti_fun_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// The step list: its mode selector loads it (-1 when its length cannot be
// read), the list box and entry number select an entry, value and time edit it.
int step_access_cb(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Panel refreshes of the sub-panels: 0 when complete, -1 at a failed exchange.
int eload_tran_refresh();
int eload_prot_refresh();
int eload_opti_refresh();
