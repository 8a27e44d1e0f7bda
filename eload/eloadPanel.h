// "eloadPanel.uir": the panels of the electronic load.  Panel ids are the
// resource ids given to LoadPanel; control ids are unique within their panel.
#pragma once

inline constexpr char ELOAD_PANEL_FILE[] = "eloadPanel.uir";

// ---- panel 1: the alarm panel, one lamp per status bit ---------------------
enum { ELOAD_ALARM = 1 };

enum {
    ELOAD_ALARM_CLEAR = 2, // toggle: clears the latched protections
    ELOAD_ALARM_CLOSE = 3, // toggle: discards the panel
    ELOAD_ALARM_QUES_TITLE = 4, // texts over the two groups of lamps
    ELOAD_ALARM_OPER_TITLE = 5,
    ELOAD_ALARM_QUES = 10, // lamps of questionable bits: ELOAD_ALARM_QUES + bit
    ELOAD_ALARM_OPER = 30, // lamps of operation bits: ELOAD_ALARM_OPER + bit
};

// Questionable bit 13 drives the main panel's alarm lamp and has none here;
// operation bits below this one are not shown.
inline constexpr int ELOAD_ALARM_QUES_SUMMARY_BIT = 13;
inline constexpr int ELOAD_ALARM_OPER_FIRST_BIT = 10;

// ---- panel 2: the load's main panel -------------------------------------------
enum { ELOAD_MAIN = 2 };

enum {
    ELOAD_MAIN_SEL_A = 2, // ring: quantity of readout A (0 V, 1 A, 2 ohm, 3 W, 4 degrees)
    ELOAD_MAIN_SEL_B = 3, // ring: quantity of readout B
    ELOAD_MAIN_READ_A = 4, // text: readout A
    ELOAD_MAIN_READ_B = 5, // text: readout B
    ELOAD_MAIN_MODE = 6, // ring: 0 VOLT, 1 CURR, 2 RES, 3 POW
    ELOAD_MAIN_LEVEL = 7, // numeric (float): the main level of the mode
    ELOAD_MAIN_RANGE = 8, // ring: the current range
    ELOAD_MAIN_INPUT = 9, // toggle: input on / off
    ELOAD_MAIN_SHORT = 10, // toggle: short on / off
    ELOAD_MAIN_RANGE_CTRL = 11, // toggle: the load picks its range
    ELOAD_MAIN_ALARM = 12, // lamp: a protection is latched; a click opens the alarm panel
    ELOAD_MAIN_TRAN = 13, // toggle: shows the transient panel
    ELOAD_MAIN_PROT = 14, // toggle: shows the protection panel
    ELOAD_MAIN_OPTI = 15, // toggle: shows the options panel
    ELOAD_MAIN_IDN = 16, // text: the instrument's identification; the folded panel ends below it
    ELOAD_MAIN_DEADLINE = 17, // numeric: tick of the next measurement cycle (hidden at first)
    ELOAD_MAIN_HINT = 18, // text: how to pause the readouts and fold the panel
    ELOAD_MAIN_SIZE = 19, // frame: the unfolded panel ends below it
    ELOAD_MAIN_FRAME_SET = 21, // frame around the operating settings
};

// ---- panel 3: options ----------------------------------------------------------
enum { ELOAD_OPTI = 3 };

enum {
    ELOAD_OPTI_SENSE = 2, // ring: 0 local, 1 remote sensing
    ELOAD_OPTI_EXT = 3, // toggle: external control
    ELOAD_OPTI_SHORT = 4, // toggle: the short function is allowed
    ELOAD_OPTI_CROS_MODE = 5, // toggle
    ELOAD_OPTI_CROS_RANGE = 6, // toggle
    ELOAD_OPTI_TRIG_DELAY = 7, // numeric (int)
    ELOAD_OPTI_TRIG_SOURCE = 8, // ring: 0 HOLD, 1 BUS, 2 EXTERNAL, 3 ETHERNET
};

// ---- panel 4: protection -------------------------------------------------------
enum { ELOAD_PROT = 4 };

// Six limit rows (over and under voltage, current, power), each a switch, a
// level and a delay: control ELOAD_PROT_ROW + 3 * row + ELOAD_PROT_SWITCH ...
enum {
    ELOAD_PROT_ROW = 10,
    ELOAD_PROT_SWITCH = 0,
    ELOAD_PROT_LEVEL = 1,
    ELOAD_PROT_DELAY = 2,
    ELOAD_PROT_ROWS = 6,
    ELOAD_PROT_UNIT = 40, // unit texts of the six rows and of Von: ELOAD_PROT_UNIT + row
    ELOAD_PROT_VON_SWITCH = 2, // toggle
    ELOAD_PROT_VON_LEVEL = 3, // numeric (float)
    ELOAD_PROT_OSC_SWITCH = 4, // toggle
    ELOAD_PROT_OSC_DELAY = 5, // numeric (int)
};

// ---- panel 5: transient, with the step list below -----------------------------
enum { ELOAD_TRAN = 5 };

enum {
    ELOAD_TRAN_LEVEL = 2, // numeric (float): TLEV
    ELOAD_TRAN_MODE = 3, // ring: 0 continuous, 1 pulse, 2 step list
    ELOAD_TRAN_ON = 4, // toggle: TRAN
    ELOAD_TRAN_COUNT = 5, // numeric (int): STEP:COUNT
    ELOAD_TRAN_DUTY = 6, // numeric (int)
    ELOAD_TRAN_PINT = 7, // numeric (int): TRAN:PINT:TWID
    ELOAD_TRAN_SLEW_POS = 8, // numeric (float)
    ELOAD_TRAN_SLEW_NEG = 9, // numeric (float)
    ELOAD_TRAN_FREQ = 10, // numeric (float)
    ELOAD_TRAN_WIDTH = 11, // numeric (float): TRAN:TWID
    ELOAD_TRAN_STEP = 12, // toggle: shows the step-list area; the folded panel ends below it
    ELOAD_TRAN_STEP_MODE = 13, // ring: 0 VOLT, 1 CURR, 2 RES, 3 POW
    ELOAD_TRAN_STEP_LIST = 14, // list box: one row per entry
    ELOAD_TRAN_STEP_ENTRY = 15, // numeric (int): entry number from 1
    ELOAD_TRAN_STEP_VALUE = 16, // numeric (float)
    ELOAD_TRAN_STEP_TIME = 17, // numeric (int): dwell time
    ELOAD_TRAN_STEP_END = 18, // frame: the unfolded panel ends below it
};

// Registers the table of "eloadPanel.uir" with the toolkit.
void eloadPanel_register_resource();
