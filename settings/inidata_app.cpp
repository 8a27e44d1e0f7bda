#include "settings/inidata_app.h"

#include "ui/resources/ifcPanel.h"

#include <array>

namespace {

const int kUnbound = -1;

struct AppPanels {
    const int* main = &kUnbound;
    const int* meter = &kUnbound;
    const int* nyquist = &kUnbound;
    const int* vc = &kUnbound;
    const int* bode = &kUnbound;
};

AppPanels g_panels;

using Table = std::array<InidataRow, INIDATA_APP_ROWS + 1>;

Table make_table() {
    const int* mainP = g_panels.main;
    const int* meterP = g_panels.meter;
    const int* nyP = g_panels.nyquist;
    const int* vcP = g_panels.vc;
    const int* zP = g_panels.bode;
    return Table{{
        {INIDATA_DOUBLE, "OUTPUT SOURCE", "FREQUENCY", "1000.0", mainP, MAIN_PANEL_FREQUENCY},
        {INIDATA_DOUBLE, "OUTPUT SOURCE", "OFFSET", "0.0", mainP, MAIN_PANEL_OFFSET},
        {INIDATA_DOUBLE, "OUTPUT SOURCE", "AMPLITUDE", "10.0", mainP, MAIN_PANEL_AMPLITUDE},
        {INIDATA_INT, "OUTPUT SOURCE", "AC VALUE PEAK", "0", mainP, MAIN_PANEL_AC_VALUE_PEAK},
        {INIDATA_FLOAT, "SAMPLE", "CYCLE", "0.25", mainP, MAIN_PANEL_SAMPLE_CYCLE},
        {INIDATA_INT, "SAMPLE", "AUTO", "0", mainP, MAIN_PANEL_SAMPLE_AUTO},
        {INIDATA_FLOAT, "UNIT", "CURRENT UNIT", "1.0", mainP, MAIN_PANEL_CURRENT_UNIT},
        {INIDATA_DOUBLE, "SWEEP", "FREQUENCY START", "10.0", mainP, MAIN_PANEL_FREQ_START},
        {INIDATA_DOUBLE, "SWEEP", "FREQUENCY STOP", "50000.0", mainP, MAIN_PANEL_FREQ_STOP},
        {INIDATA_DOUBLE, "SWEEP", "FREQUENCY STEP", "100.0", mainP, MAIN_PANEL_FREQ_STEP},
        {INIDATA_INT, "SWEEP", "X-AXIS DB", "1", mainP, MAIN_PANEL_XAXIS_DB},
        {INIDATA_INT, "SWEEP", "DATA LOG", "0", mainP, MAIN_PANEL_DATA_LOG},
        {INIDATA_INT, "SWEEP", "REPEAT", "0", mainP, MAIN_PANEL_REPEAT},
        {INIDATA_INT, "ANALYSIS", "PHASE 360", "0", mainP, MAIN_PANEL_PHASE_360},
        {INIDATA_INT, "ANALYSIS", "METER", "1", mainP, MAIN_PANEL_METER},
        {INIDATA_INT, "ANALYSIS", "V&C GRAPH", "0", mainP, MAIN_PANEL_VC_GRAPH},
        {INIDATA_INT, "ANALYSIS", "NYQUST GRAPH", "0", mainP, MAIN_PANEL_NYQUST_GRAPH},
        {INIDATA_INT, "ANALYSIS", "BODE GRAPH", "0", mainP, MAIN_PANEL_BODE_GRAPH},
        {INIDATA_INT, "METER", "CIRCUIT MODE", "0", meterP, METER_PANEL_CIRCUIT_MODE},
        {INIDATA_INT, "METER", "DEVICE MODE", "0", meterP, METER_PANEL_DEVICE_MODE},
        {INIDATA_INT, "METER", "QUALITY MODE", "0", meterP, METER_PANEL_QUALITY_MODE},
        {INIDATA_INT, "NYQUST", "CIRCUIT MODE", "0", nyP, NYQUST_PANEL_CIRCUIT_MODE},
        {INIDATA_INT, "NYQUST", "XAXIS REVERSE", "0", nyP, NYQUST_PANEL_XAXIS_REVERSE},
        {INIDATA_INT, "NYQUST", "YAXIS REVERSE", "1", nyP, NYQUST_PANEL_YAXIS_REVERSE},
        {INIDATA_INT, "NYQUST", "EQUAL SCALE", "0", nyP, NYQUST_PANEL_EQUAL_SCALE},
        {INIDATA_INT, "V&C", "YAXIS REVERSE", "0", vcP, VC_PANEL_YAXIS_REVERSE},
        {INIDATA_INT, "V&C", "XAXIS REVERSE", "0", vcP, VC_PANEL_XAXIS_REVERSE},
        {INIDATA_INT, "V&C", "XAXIS MODE", "1", vcP, VC_PANEL_XAXIS_MODE},
        {INIDATA_INT, "V&C", "YAXIS MODE", "0", vcP, VC_PANEL_YAXIS_MODE},
        {INIDATA_INT, "BODE", "YAXIS REVERSE", "0", zP, BODE_PANEL_YAXIS_REVERSE},
        {INIDATA_INT, "BODE", "XAXIS REVERSE", "0", zP, BODE_PANEL_XAXIS_REVERSE},
        {INIDATA_INT, "BODE", "XAXIS MODE", "1", zP, BODE_PANEL_XAXIS_MODE},
        {INIDATA_INT, "BODE", "YAXIS MODE", "0", zP, BODE_PANEL_YAXIS_MODE},
        {INIDATA_INT, "BODE", "SELECT 1", "0", zP, BODE_PANEL_SELECT1},
        {INIDATA_INT, "BODE", "SELECT 2", "1", zP, BODE_PANEL_SELECT2},
        {INIDATA_STRING, "BACKDOOR", "DCSW_LIST", "0", mainP, MAIN_PANEL_DCSW_LIST},
        {INIDATA_END, nullptr, nullptr, nullptr, nullptr, 0},
    }};
}

Table g_table = make_table();

const int* bound(const int* p) { return p ? p : &kUnbound; }

} // namespace

void inidata_app_bind_panels(const InidataAppPanels& panels) {
    g_panels.main = bound(panels.main);
    g_panels.meter = bound(panels.meter);
    g_panels.nyquist = bound(panels.nyquist);
    g_panels.vc = bound(panels.vc);
    g_panels.bode = bound(panels.bode);
    g_table = make_table();
}

const InidataRow* inidata_app_table() { return g_table.data(); }
