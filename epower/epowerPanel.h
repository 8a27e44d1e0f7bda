// "epowerPanel.uir": the DC supply's panels.  Panel 1 alarm, 2 main, 3
// protection, 4 list; the control ids of each below.
#pragma once

inline constexpr const char* EPOWER_PANEL_FILE = "epowerPanel.uir";

enum { EPOWER_ALARM_PANEL = 1,
    EPOWER_MAIN_PANEL = 2,
    EPOWER_PROT_PANEL = 3,
    EPOWER_LIST_PANEL = 4 };

// Main panel (callback "epower_stop").
enum {
    EPOWER_MAIN_IDN = 2, // identification reply
    EPOWER_MAIN_READOUT = 3, // measured voltage and current; "epower_meter_cb"
    EPOWER_MAIN_VSET = 4, // voltage setting; "epower_viset"
    EPOWER_MAIN_ISET = 5, // current setting; "epower_viset"
    EPOWER_MAIN_OUTPUT = 6, // output switch; "epower_output_cb"
    EPOWER_MAIN_CV = 7, // lamp: questionable bit 3 while the output is on
    EPOWER_MAIN_CC = 8, // lamp: questionable bit 2 while the output is on
    EPOWER_MAIN_ALARM = 9, // alarm lamp; "epower_status_event_cb"
    EPOWER_MAIN_DEADLINE = 10, // the cycle's next deadline, hidden at first
    EPOWER_MAIN_PROT = 11, // protection panel toggle; "epower_prot_panel_cb"
    EPOWER_MAIN_LIST = 12, // list panel toggle; "epower_step_panel_cb"
    EPOWER_MAIN_FRAME = 13,
    EPOWER_MAIN_SET_HEAD = 14,
    EPOWER_MAIN_STATUS_HEAD = 15,
};

// Alarm panel (callback "epower_panel_close"); its lamps show the
// questionable bits 0, 1, 4, 9, 10, 12 and the extended bits 0, 1, 2, 3, 5,
// 15 in that order, from EPOWER_ALARM_LAMP0.
enum {
    EPOWER_ALARM_CLEAR = 2, // "epower_alarm_panel_cb": protection clear
    EPOWER_ALARM_CLOSE = 3, // "epower_alarm_panel_cb": discards the panel
    EPOWER_ALARM_QUES_HEAD = 4,
    EPOWER_ALARM_EXT_HEAD = 5,
    EPOWER_ALARM_LAMP0 = 10,
};
inline constexpr int EPOWER_ALARM_QUES_BITS[] = {0, 1, 4, 9, 10, 12};
inline constexpr int EPOWER_ALARM_EXT_BITS[] = {0, 1, 2, 3, 5, 15};
inline constexpr int EPOWER_ALARM_LAMPS = 12;

// Protection panel (callback "epower_panel_close"; controls "epower_prot_fun_cb").
enum {
    EPOWER_PROT_OVP_STATE = 2,
    EPOWER_PROT_OVP_LEVEL = 3,
    EPOWER_PROT_UVP_STATE = 4,
    EPOWER_PROT_UVP_LEVEL = 5,
    EPOWER_PROT_OCP_STATE = 6,
    EPOWER_PROT_OCP_LEVEL = 7,
};

// List panel (callback "epower_panel_close"; controls "epower_step_fun_cb").
enum {
    EPOWER_LIST_COUNT = 2,
    EPOWER_LIST_TIME_UNIT = 3,
    EPOWER_LIST_TYPE = 4, // 0 voltage list, 1 current list
    EPOWER_LIST_STATE = 5,
    EPOWER_LIST_BOX = 6,
    EPOWER_LIST_ENTRY = 7, // entry number from 1
    EPOWER_LIST_VALUE = 8,
    EPOWER_LIST_TIME = 9,
};

void epowerPanel_register_resource();
