// "ifcPanel.uir": the four display windows of the measurement tool (V&C,
// meter, Nyquist, Bode).  Panel ids are the resource ids given to LoadPanel;
// control ids are unique within their panel.
#pragma once

struct UiPanelDef;
struct UiMenuBarDef;

// The graph windows' menu bar: File > Export Picture...
enum { DISPLAY_MENUBAR = 2 };
enum {
    DISPLAY_MENU_FILE = 1,
    DISPLAY_MENU_FILE_PICTURE = 2, // a PNG or SVG of the window's graphs (displays_export_picture)
};

enum { VC_PANEL = 2,
    METER_PANEL = 5,
    NYQUST_PANEL = 6,
    BODE_PANEL = 8 };

// ---- panel 8: Bode -----------------------------------------------------------------
enum {
    BODE_PANEL_GRAPH1 = 1, // graph: upper quantity against frequency (callback bodeCB)
    BODE_PANEL_GRAPH2 = 2, // graph: lower quantity against frequency (bodeCB)
    BODE_PANEL_SELECT1 = 3, // ring: quantity code 0..11 of the upper graph (bode_selectCB)
    BODE_PANEL_SELECT2 = 4, // ring: quantity code of the lower graph (bode_selectCB)
    BODE_PANEL_XAXIS_MODE = 5, // toggle: 1 logarithmic frequency axes (bodeaxisCB)
    BODE_PANEL_YAXIS_MODE = 6, // toggle: 1 logarithmic value axes (bodeaxisCB)
    BODE_PANEL_XAXIS_REVERSE = 7, // ring: 0 normal, 1 reversed frequency axes (bodeaxisCB)
    BODE_PANEL_YAXIS_REVERSE = 8, // ring: 0 normal, 1 reversed value axes (bodeaxisCB)
    BODE_PANEL_X1 = 9, // numeric read-outs: frequency and value, upper graph
    BODE_PANEL_Y1 = 10,
    BODE_PANEL_X2 = 11, // the same for the lower graph
    BODE_PANEL_Y2 = 12,
};

// ---- panel 6: Nyquist --------------------------------------------------------------
enum {
    NYQUST_PANEL_GRAPH = 1, // graph: X against R (nyqustCB)
    NYQUST_PANEL_CIRCUIT_MODE = 2, // ring: 0 parallel, 1 series (nyqust_cktmode)
    NYQUST_PANEL_XAXIS_REVERSE = 3, // ring: 0 normal, 1 reversed R axis (nyqustaxisCB)
    NYQUST_PANEL_YAXIS_REVERSE = 4, // ring: 0 normal, 1 reversed X axis (nyqustaxisCB)
    NYQUST_PANEL_R = 5, // numeric read-outs: R and X
    NYQUST_PANEL_X = 6,
    NYQUST_PANEL_EQUAL_SCALE = 7, // toggle: 1 one ohm as long on both axes (nyqustaxisCB)
};

// ---- panel 2: V&C ------------------------------------------------------------------
enum {
    VC_PANEL_GRAPH1 = 1, // graph: voltage and current amplitude (vc_curCB)
    VC_PANEL_GRAPH2 = 2, // graph: voltage and current phase (vc_curCB)
    VC_PANEL_XAXIS_MODE = 3, // toggle: 1 logarithmic frequency axes (vcaxisCB)
    VC_PANEL_YAXIS_MODE = 4, // toggle: 1 logarithmic value axes (vcaxisCB)
    VC_PANEL_XAXIS_REVERSE = 5, // ring: 0 normal, 1 reversed (vcaxisCB)
    VC_PANEL_YAXIS_REVERSE = 6, // ring: 0 normal, 1 reversed (vcaxisCB)
    VC_PANEL_X1 = 7, // numeric read-outs: frequency and voltage amplitude
    VC_PANEL_Y1 = 8,
    VC_PANEL_X2 = 9, // frequency and voltage phase
    VC_PANEL_Y2 = 10,
    VC_PANEL_KEY_V = 11, // text: colour key of the voltage traces
    VC_PANEL_KEY_I = 12, // text: colour key of the current traces
};

// ---- panel 5: meter ----------------------------------------------------------------
enum {
    METER_PANEL_CIRCUIT_MODE = 1, // ring: R and X circuit, 0 parallel, 1 series
    METER_PANEL_DEVICE_MODE = 2, // ring: 0 Cs, 1 Cp, 2 Ls, 3 Lp
    METER_PANEL_QUALITY_MODE = 3, // ring: 0 Q, 1 D
    METER_PANEL_COMPONENT = 4, // text: the component value with prefix and unit
    METER_PANEL_QD = 5, // numeric read-outs from here on
    METER_PANEL_FREQ = 6,
    METER_PANEL_Z = 7,
    METER_PANEL_Z_PHASE = 8,
    METER_PANEL_R = 9,
    METER_PANEL_X = 10,
    METER_PANEL_VOLT = 11,
    METER_PANEL_VOLT_PHASE = 12,
    METER_PANEL_CURR = 13,
    METER_PANEL_CURR_PHASE = 14,
    METER_PANEL_DC = 15,
};

// The panel tables, added to "ifcPanel.uir" by ifcPanel_register_resource().
UiPanelDef ifcPanel_bode_panel();
UiPanelDef ifcPanel_nyqust_panel();
UiPanelDef ifcPanel_vc_panel();
UiPanelDef ifcPanel_meter_panel();
UiMenuBarDef ifcPanel_display_menubar();
