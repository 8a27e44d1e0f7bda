// "ifcPanel.uir": the measurement tool's main panel, its menu bar and the DC
// sweep list window.  Panel ids are the resource ids given to LoadPanel;
// control ids are unique within their panel, menu ids within the menu bar.
#pragma once

struct UiPanelDef;
struct UiMenuBarDef;

enum { DCSW_PANEL = 1,
    MAIN_PANEL = 4 };
enum { MAIN_MENUBAR = 1 };

// ---- menu bar 1 -------------------------------------------------------------------
enum {
    MAIN_MENU_FILE = 1,
    MAIN_MENU_FILE_LOAD_PROFILE = 2, // profile_service
    MAIN_MENU_FILE_SAVE_PROFILE = 3, // profile_service
    MAIN_MENU_FILE_SAVE_LOG = 4, // the last sweep's points to a data file (ifc_save_log_menu)
    MAIN_MENU_FILE_SEP = 5,
    MAIN_MENU_FILE_EXIT = 6, // closes the link (exit_service)
    MAIN_MENU_SWEEP = 7,
    MAIN_MENU_SWEEP_DCSW = 8, // opens the DC sweep list (dcsw_panel_edit)
    MAIN_MENU_FILE_EXPORT_TRACES = 9, // every trace of the run to CSV files (ifc_export_traces_menu)
};

// ---- panel 4: the main panel ------------------------------------------------------
// Upper area (the collapsed panel ends at the bottom of VERSION), then the
// module's input settings down to FOOT.
enum {
    MAIN_PANEL_MODEL = 1, // text: model field of the identification
    MAIN_PANEL_VERSION = 2, // text: "3.10 - <module version>"; right double-click: versCB
    MAIN_PANEL_SWEEP = 3, // toggle: sweep running (sweep_hotCB)
    MAIN_PANEL_MEASURE = 4, // toggle: readings polled while on
    MAIN_PANEL_SYNC = 5, // button: send every setting (syncCB)
    MAIN_PANEL_FREQUENCY = 6, // double, Hz (dds_freq_CB)
    MAIN_PANEL_OFFSET = 7, // double, V: DC level (ddsampoffsCB)
    MAIN_PANEL_AMPLITUDE = 8, // double, % of OFFSET: AC level (ddsampoffsCB)
    MAIN_PANEL_AMPL_READBACK = 9, // float indicator, V: the module's AC level
    MAIN_PANEL_AC_VALUE_PEAK = 10, // toggle (ac_value_peak_cb)
    MAIN_PANEL_SAMPLE_CYCLE = 11, // float, s (samp_cycl_CB)
    MAIN_PANEL_SAMPLE_AUTO = 12, // toggle (sample_auto_service)
    MAIN_PANEL_CURRENT_UNIT = 13, // float (curr_unit_CB)
    MAIN_PANEL_FREQ_START = 14, // double, Hz
    MAIN_PANEL_FREQ_STOP = 15, // double, Hz
    MAIN_PANEL_FREQ_STEP = 16, // double, Hz, positive; hidden while X-AXIS DB is on
    MAIN_PANEL_XAXIS_DB = 17, // toggle: decade stepping (xaxisCB)
    MAIN_PANEL_REPEAT = 18, // toggle: one sweep per DC sweep list step
    MAIN_PANEL_DATA_LOG = 19, // toggle: save the sweep's points when it ends
    MAIN_PANEL_METER = 20, // toggles of the display windows (panel_tog_service)
    MAIN_PANEL_VC_GRAPH = 21,
    MAIN_PANEL_BODE_GRAPH = 22,
    MAIN_PANEL_NYQUST_GRAPH = 23,
    MAIN_PANEL_ELOAD = 24, // toggle: the load panel (family instruments)
    MAIN_PANEL_LOAD_MODE = 25, // ring: IM:MODE (family instruments, load_mode_cb)
    MAIN_PANEL_INPUT_DL = 26, // toggle (inp_dl_CB)
    MAIN_PANEL_VOLT_INPUT = 27, // ring: input mode 1..3 (volt_gain_CB)
    MAIN_PANEL_VOLT_GAIN = 28, // ring: gain index (volt_gain_CB)
    MAIN_PANEL_CURR_INPUT = 29, // ring: input mode 1..3 (curr_gain_CB)
    MAIN_PANEL_CURR_GAIN = 30, // ring: gain index (curr_gain_CB)
    MAIN_PANEL_CURR_LOOPBACK = 31, // toggle (curr_gain_CB)
    MAIN_PANEL_AGC = 32, // toggle (agc_CB)
    MAIN_PANEL_AZC = 33, // toggle (azc_CB)
    MAIN_PANEL_PHASE_360 = 34, // toggle (phasemodeCB)
    MAIN_PANEL_DCSW_LIST = 35, // hidden text: the DC sweep list of a profile
    MAIN_PANEL_FOOT = 36, // decoration: the foot of the expanded panel
    MAIN_PANEL_VERSION_HINT = 37, // text beside VERSION
    MAIN_PANEL_MODEL_LABEL = 38, // headings and frames from here on
    MAIN_PANEL_OUTPUT_FRAME = 39,
    MAIN_PANEL_OUTPUT_HEAD = 40,
    MAIN_PANEL_SWEEP_FRAME = 41,
    MAIN_PANEL_SWEEP_HEAD = 42,
    MAIN_PANEL_SAMPLE_FRAME = 43,
    MAIN_PANEL_SAMPLE_HEAD = 44,
    MAIN_PANEL_ANALYSIS_FRAME = 45,
    MAIN_PANEL_ANALYSIS_HEAD = 46,
    MAIN_PANEL_INPUT_FRAME = 47,
    MAIN_PANEL_INPUT_HEAD = 48,
    MAIN_PANEL_CAL_LOAD = 49, // button: calibration file into the module (caldata_CB);
    // right double-click shows or hides CAL SAVE
    MAIN_PANEL_CAL_SAVE = 50, // button, hidden: the module's calibration into a file (caldata_CB)
    MAIN_PANEL_PROGRESS = 51, // text: the sweep's progress and estimated time left
};

// Ranges that are part of the behaviour: a sweep must be able to end, so its
// frequencies and its linear step are positive.
inline constexpr double MAIN_FREQ_MIN = 0.1;
inline constexpr double MAIN_FREQ_MAX = 100000.0;
inline constexpr double MAIN_FREQ_STEP_MIN = 0.01;
// The hidden DC sweep list text holds at most this many characters.
inline constexpr int MAIN_DCSW_LIST_MAX = 511;

// ---- panel 1: the DC sweep list ------------------------------------------------------
enum {
    DCSW_PANEL_STEP = 1, // integer 1..10 (dcsw_listeditCB)
    DCSW_PANEL_DC = 2, // double, V (dcsw_listeditCB)
    DCSW_PANEL_AC = 3, // double, % of DC (dcsw_listeditCB)
    DCSW_PANEL_ACV = 4, // double indicator, V
    DCSW_PANEL_LIST = 5, // list box: header item, then steps 1..10 (dcsw_listeditCB)
};

// The tables, added to "ifcPanel.uir" by ifcPanel_register_resource().
UiPanelDef ifcPanel_main_panel();
UiPanelDef ifcPanel_dcsw_panel();
UiMenuBarDef ifcPanel_main_menubar();
