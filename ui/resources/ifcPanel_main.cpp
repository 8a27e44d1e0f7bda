#include "ui/resources/ifcPanel_main.h"

#include "ui/resources/layout.h"

namespace {

using namespace resources;

// Labels sit above their controls: a labelled row starts kLabelled below the
// row above it.
constexpr int kLabelled = 48;
constexpr int kColWidth = 204;
constexpr int kColGap = 12;
constexpr int kWidth = kMargin + 3 * kColWidth + 2 * kColGap + kMargin;

constexpr int col(int n) { return column(n, kColWidth, kColGap); }

// Gain indices of the input amplifiers.
std::vector<UiItemDef> gain_items() { return ui_items({{"0  lowest", 0}, {"1", 1}, {"2", 2}, {"3  highest", 3}}); }
std::vector<UiItemDef> input_items() { return ui_items({{"Input 1", 1}, {"Input 2", 2}, {"Input 3", 3}}); }

} // namespace

// The main panel.  Upper area: output source, sweep and sampling groups, the
// run buttons and the display toggles, down to VERSION (the collapsed panel);
// lower area: the module's input front end, down to FOOT.
UiPanelDef ifcPanel_main_panel() {
    // Three groups side by side.
    constexpr int groupTop = 38;
    constexpr int headTop = groupTop + 4;
    constexpr int row0 = groupTop + 48;
    constexpr int groupHeight = 270;
    constexpr int fieldWidth = 140;
    constexpr int toggleRow = row0 + 3 * kLabelled - 14;
    // Run row.
    constexpr int runTop = groupTop + groupHeight + 12;
    constexpr int runHeight = 34;
    // Display windows.
    // How far a sweep has come, under the button that runs it.
    constexpr int progressTop = runTop + runHeight + 6;
    constexpr int analysisTop = progressTop + 20 + 6;
    constexpr int analysisRow = analysisTop + 26;
    constexpr int tw = 120;
    constexpr int tg = (kWidth - 2 * kMargin - 5 * tw) / 4;
    // VERSION closes the collapsed panel.
    constexpr int versionTop = analysisTop + 26 + kRow + 8 + 8;
    // Lower area: the input front end.
    constexpr int inputTop = versionTop + 28;
    constexpr int inputRow = inputTop + 48;
    constexpr int inputRow2 = inputRow + kRow + 10;
    constexpr int calRow = inputRow2 + kRow + 10;
    constexpr int half = (kColWidth - 8) / 2;

    // clang-format off
    return {.id = MAIN_PANEL, .title = "imbench - Impedance Measurement", .top = 60, .left = 60,
        .height = versionTop + 20 + 1, .width = kWidth, .callback = "ifcCB",
        .controls = {
            {.id = MAIN_PANEL_MODEL_LABEL, .kind = K::TextMsg, .top = 8, .left = col(0), .width = 56, .text = "MODEL", .mode = VAL_INDICATOR},
            {.id = MAIN_PANEL_MODEL, .kind = K::TextMsg, .top = 8, .left = col(0) + 60, .width = 2 * kColWidth, .mode = VAL_INDICATOR},

            {.id = MAIN_PANEL_OUTPUT_FRAME, .kind = K::Decoration, .top = groupTop, .left = col(0) - 4, .height = groupHeight, .width = kColWidth + 8},
            {.id = MAIN_PANEL_SWEEP_FRAME, .kind = K::Decoration, .top = groupTop, .left = col(1) - 4, .height = groupHeight, .width = kColWidth + 8},
            {.id = MAIN_PANEL_SAMPLE_FRAME, .kind = K::Decoration, .top = groupTop, .left = col(2) - 4, .height = groupHeight, .width = kColWidth + 8},

            // Output source.
            {.id = MAIN_PANEL_OUTPUT_HEAD, .kind = K::TextMsg, .top = headTop, .left = col(0), .width = kColWidth, .text = "OUTPUT SOURCE", .mode = VAL_INDICATOR},
            {.id = MAIN_PANEL_FREQUENCY, .dataType = VAL_DOUBLE, .label = "FREQUENCY (Hz)", .top = row0, .left = col(0), .height = kRow, .width = fieldWidth,
                .callback = "dds_freq_CB", .value = 1000.0, .min = MAIN_FREQ_MIN, .max = MAIN_FREQ_MAX, .precision = 3, .increment = 10.0},
            {.id = MAIN_PANEL_OFFSET, .dataType = VAL_DOUBLE, .label = "OFFSET, DC level (V)", .top = row0 + kLabelled, .left = col(0), .height = kRow, .width = fieldWidth,
                .callback = "ddsampoffsCB", .value = 0.0, .min = -1000.0, .max = 1000.0, .precision = 3, .increment = 0.1},
            {.id = MAIN_PANEL_AMPLITUDE, .dataType = VAL_DOUBLE, .label = "AMPLITUDE, AC (% of offset)", .top = row0 + 2 * kLabelled, .left = col(0), .height = kRow, .width = fieldWidth,
                .callback = "ddsampoffsCB", .value = 10.0, .min = 0.0, .max = 100.0, .precision = 2, .increment = 1.0},
            {.id = MAIN_PANEL_AMPL_READBACK, .dataType = VAL_FLOAT, .label = "AMPLITUDE READBACK (V)", .top = row0 + 3 * kLabelled, .left = col(0), .height = kRow, .width = fieldWidth,
                .value = 0.0, .min = -1e9, .max = 1e9, .precision = 4, .increment = 1.0, .mode = VAL_INDICATOR},
            {.id = MAIN_PANEL_AC_VALUE_PEAK, .kind = K::Toggle, .label = "AC VALUE PEAK", .top = row0 + 4 * kLabelled - 16, .left = col(0), .height = kRow, .width = fieldWidth,
                .callback = "ac_value_peak_cb", .value = 0, .onText = "AC VALUE: PEAK", .offText = "AC VALUE: RMS"},

            // Sweep.
            {.id = MAIN_PANEL_SWEEP_HEAD, .kind = K::TextMsg, .top = headTop, .left = col(1), .width = kColWidth, .text = "SWEEP", .mode = VAL_INDICATOR},
            {.id = MAIN_PANEL_FREQ_START, .dataType = VAL_DOUBLE, .label = "FREQUENCY START (Hz)", .top = row0, .left = col(1), .height = kRow, .width = fieldWidth,
                .value = 10.0, .min = MAIN_FREQ_MIN, .max = MAIN_FREQ_MAX, .precision = 3, .increment = 10.0},
            {.id = MAIN_PANEL_FREQ_STOP, .dataType = VAL_DOUBLE, .label = "FREQUENCY STOP (Hz)", .top = row0 + kLabelled, .left = col(1), .height = kRow, .width = fieldWidth,
                .value = 50000.0, .min = MAIN_FREQ_MIN, .max = MAIN_FREQ_MAX, .precision = 3, .increment = 10.0},
            {.id = MAIN_PANEL_FREQ_STEP, .dataType = VAL_DOUBLE, .label = "FREQUENCY STEP (Hz)", .top = row0 + 2 * kLabelled, .left = col(1), .height = kRow, .width = fieldWidth,
                .value = 100.0, .min = MAIN_FREQ_STEP_MIN, .max = MAIN_FREQ_MAX, .precision = 3, .increment = 10.0},
            {.id = MAIN_PANEL_XAXIS_DB, .kind = K::Toggle, .label = "X-AXIS DB", .top = toggleRow, .left = col(1), .height = kRow, .width = kColWidth,
                .callback = "xaxisCB", .value = 1, .onText = "X-AXIS DB: decades", .offText = "X-AXIS DB: linear"},
            {.id = MAIN_PANEL_REPEAT, .kind = K::Toggle, .label = "REPEAT", .top = toggleRow + 32, .left = col(1), .height = kRow, .width = kColWidth,
                .value = 0, .onText = "REPEAT over DC list: on", .offText = "REPEAT over DC list: off"},
            {.id = MAIN_PANEL_DATA_LOG, .kind = K::Toggle, .label = "DATA LOG", .top = toggleRow + 64, .left = col(1), .height = kRow, .width = kColWidth,
                .value = 0, .onText = "DATA LOG: save at end", .offText = "DATA LOG: off"},

            // Sampling and units.
            {.id = MAIN_PANEL_SAMPLE_HEAD, .kind = K::TextMsg, .top = headTop, .left = col(2), .width = kColWidth, .text = "SAMPLE", .mode = VAL_INDICATOR},
            {.id = MAIN_PANEL_SAMPLE_CYCLE, .dataType = VAL_FLOAT, .label = "SAMPLE CYCLE (s)", .top = row0, .left = col(2), .height = kRow, .width = 110,
                .callback = "samp_cycl_CB", .value = 0.25, .min = 0.001, .max = 100.0, .precision = 3, .increment = 0.05},
            {.id = MAIN_PANEL_SAMPLE_AUTO, .kind = K::Toggle, .label = "SAMPLE AUTO", .top = row0, .left = col(2) + 118, .height = kRow, .width = kColWidth - 118,
                .callback = "sample_auto_service", .value = 0, .onText = "AUTO: on", .offText = "AUTO: off"},
            {.id = MAIN_PANEL_CURRENT_UNIT, .dataType = VAL_FLOAT, .label = "CURRENT UNIT (A/V)", .top = row0 + kLabelled, .left = col(2), .height = kRow, .width = 110,
                .callback = "curr_unit_CB", .value = 1.0, .min = 0.0, .max = 10000.0, .precision = 4, .increment = 0.1},
            {.id = MAIN_PANEL_LOAD_MODE, .kind = K::Ring, .label = "LOAD MODE", .top = row0 + 2 * kLabelled, .left = col(2), .height = kRow, .width = kColWidth,
                .callback = "load_mode_cb", .value = 0, .visible = false, .items = ui_items({{"0  Load current", 0}, {"1  External", 1}})},

            // Run row.
            {.id = MAIN_PANEL_SWEEP, .kind = K::Toggle, .label = "SWEEP", .top = runTop, .left = col(0), .height = runHeight, .width = kColWidth,
                .callback = "sweep_hotCB", .value = 0, .onText = "STOP SWEEP", .offText = "SWEEP"},
            {.id = MAIN_PANEL_MEASURE, .kind = K::Toggle, .label = "MEASURE", .top = runTop, .left = col(1), .height = runHeight, .width = kColWidth,
                .value = 0, .onText = "MEASURE: on", .offText = "MEASURE: off"},
            {.id = MAIN_PANEL_SYNC, .kind = K::Button, .label = "SYNC", .top = runTop, .left = col(2), .height = runHeight, .width = kColWidth, .callback = "syncCB"},
            {.id = MAIN_PANEL_PROGRESS, .kind = K::TextMsg, .top = progressTop, .left = col(0), .width = kWidth - 2 * kMargin, .mode = VAL_INDICATOR},

            // Display windows.
            {.id = MAIN_PANEL_ANALYSIS_FRAME, .kind = K::Decoration, .top = analysisTop, .left = col(0) - 4, .height = 26 + kRow + 8, .width = kWidth - 2 * kMargin + 8},
            {.id = MAIN_PANEL_ANALYSIS_HEAD, .kind = K::TextMsg, .top = analysisTop + 4, .left = col(0), .width = kColWidth, .text = "ANALYSIS", .mode = VAL_INDICATOR},
            {.id = MAIN_PANEL_METER, .kind = K::Toggle, .label = "METER", .top = analysisRow, .left = col(0), .height = kRow, .width = tw,
                .callback = "panel_tog_service", .value = 1},
            {.id = MAIN_PANEL_VC_GRAPH, .kind = K::Toggle, .label = "V&C GRAPH", .top = analysisRow, .left = col(0) + (tw + tg), .height = kRow, .width = tw,
                .callback = "panel_tog_service", .value = 0},
            {.id = MAIN_PANEL_BODE_GRAPH, .kind = K::Toggle, .label = "BODE GRAPH", .top = analysisRow, .left = col(0) + 2 * (tw + tg), .height = kRow, .width = tw,
                .callback = "panel_tog_service", .value = 0},
            {.id = MAIN_PANEL_NYQUST_GRAPH, .kind = K::Toggle, .label = "NYQUST GRAPH", .top = analysisRow, .left = col(0) + 3 * (tw + tg), .height = kRow, .width = tw,
                .callback = "panel_tog_service", .value = 0},
            // The load panel is not part of this build yet: the toggle stays dimmed.
            {.id = MAIN_PANEL_ELOAD, .kind = K::Toggle, .label = "ELOAD", .top = analysisRow, .left = col(0) + 4 * (tw + tg), .height = kRow, .width = tw,
                .callback = "panel_tog_service", .value = 0, .visible = false, .dimmed = true},

            // VERSION takes the right double-click, so it is not an indicator.
            {.id = MAIN_PANEL_VERSION, .kind = K::TextMsg, .top = versionTop, .left = col(0), .width = kColWidth + 40, .callback = "versCB", .mode = VAL_NORMAL},
            {.id = MAIN_PANEL_VERSION_HINT, .kind = K::TextMsg, .top = versionTop, .left = col(1) + 48, .width = 2 * kColWidth - 48,
                .text = "right double-click the version: input settings", .mode = VAL_INDICATOR},

            // Lower area: the input front end.
            {.id = MAIN_PANEL_INPUT_FRAME, .kind = K::Decoration, .top = inputTop, .left = col(0) - 4, .height = calRow + kRow + 8 - inputTop, .width = kWidth - 2 * kMargin + 8},
            {.id = MAIN_PANEL_INPUT_HEAD, .kind = K::TextMsg, .top = inputTop + 4, .left = col(0), .width = kColWidth, .text = "INPUT", .mode = VAL_INDICATOR},
            {.id = MAIN_PANEL_VOLT_INPUT, .kind = K::Ring, .label = "VOLTAGE INPUT", .top = inputRow, .left = col(0), .height = kRow, .width = half,
                .callback = "volt_gain_CB", .value = 1, .items = input_items()},
            {.id = MAIN_PANEL_VOLT_GAIN, .kind = K::Ring, .label = "VOLTAGE GAIN", .top = inputRow, .left = col(0) + half + 8, .height = kRow, .width = half,
                .callback = "volt_gain_CB", .value = 0, .items = gain_items()},
            {.id = MAIN_PANEL_CURR_INPUT, .kind = K::Ring, .label = "CURRENT INPUT", .top = inputRow, .left = col(1), .height = kRow, .width = half,
                .callback = "curr_gain_CB", .value = 1, .items = input_items()},
            {.id = MAIN_PANEL_CURR_GAIN, .kind = K::Ring, .label = "CURRENT GAIN", .top = inputRow, .left = col(1) + half + 8, .height = kRow, .width = half,
                .callback = "curr_gain_CB", .value = 0, .items = gain_items()},
            {.id = MAIN_PANEL_INPUT_DL, .kind = K::Toggle, .label = "INPUT DL", .top = inputRow, .left = col(2), .height = kRow, .width = half,
                .callback = "inp_dl_CB", .value = 0, .onText = "INPUT DL: on", .offText = "INPUT DL: off"},
            {.id = MAIN_PANEL_CURR_LOOPBACK, .kind = K::Toggle, .label = "CURRENT LOOPBACK", .top = inputRow, .left = col(2) + half + 8, .height = kRow, .width = half,
                .callback = "curr_gain_CB", .value = 0, .onText = "LOOPBACK: on", .offText = "LOOPBACK: off"},
            {.id = MAIN_PANEL_AGC, .kind = K::Toggle, .label = "AGC", .top = inputRow2, .left = col(0), .height = kRow, .width = kColWidth,
                .callback = "agc_CB", .value = 0, .onText = "AGC (auto gain): on", .offText = "AGC (auto gain): off"},
            {.id = MAIN_PANEL_AZC, .kind = K::Toggle, .label = "AZC", .top = inputRow2, .left = col(1), .height = kRow, .width = kColWidth,
                .callback = "azc_CB", .value = 0, .onText = "AZC (auto zero): on", .offText = "AZC (auto zero): off"},
            {.id = MAIN_PANEL_PHASE_360, .kind = K::Toggle, .label = "PHASE 360", .top = inputRow2, .left = col(2), .height = kRow, .width = kColWidth,
                .callback = "phasemodeCB", .value = 0, .onText = "PHASE: 0 to 360 deg", .offText = "PHASE: -180 to 180 deg"},

            // Carries the DC sweep list in a profile; never shown.
            {.id = MAIN_PANEL_DCSW_LIST, .kind = K::String, .label = "DCSW_LIST", .top = inputRow, .left = col(0), .height = kRow, .width = kColWidth,
                .text = "0", .mode = VAL_NORMAL, .visible = false, .maxEntryLength = MAIN_DCSW_LIST_MAX},

            // Calibration transfer; saving is a service function, revealed on request.
            {.id = MAIN_PANEL_CAL_LOAD, .kind = K::Button, .label = "CAL LOAD", .top = calRow, .left = col(0), .height = kRow, .width = kColWidth, .callback = "caldata_CB"},
            {.id = MAIN_PANEL_CAL_SAVE, .kind = K::Button, .label = "CAL SAVE", .top = calRow, .left = col(1), .height = kRow, .width = kColWidth,
                .callback = "caldata_CB", .visible = false},

            {.id = MAIN_PANEL_FOOT, .kind = K::Decoration, .top = calRow + kRow + 8, .left = col(0), .height = 1, .width = kColWidth, .visible = false},
        }};
    // clang-format on
}

// Panel 1: the DC sweep list, up to ten DC levels with their AC amplitudes.
UiPanelDef ifcPanel_dcsw_panel() {
    constexpr int top = 30;
    constexpr int listTop = top + kRow + 14;
    constexpr int listWidth = 278 + 84;
    constexpr int listHeight = 236;

    // clang-format off
    return {.id = DCSW_PANEL, .title = "DC Sweep List", .top = 120, .left = 740,
        .height = listTop + listHeight + kMargin, .width = kMargin + listWidth + kMargin, .callback = "dcsw_panel_close",
        .controls = {
            {.id = DCSW_PANEL_STEP, .label = "STEP", .top = top, .left = kMargin, .height = kRow, .width = 64,
                .callback = "dcsw_listeditCB", .value = 1, .min = 1, .max = 10, .precision = 0, .increment = 1},
            {.id = DCSW_PANEL_DC, .dataType = VAL_DOUBLE, .label = "DC(V)", .top = top, .left = kMargin + 74, .height = kRow, .width = 100,
                .callback = "dcsw_listeditCB", .value = 0.0, .min = -1000.0, .max = 1000.0, .precision = 3, .increment = 0.1},
            {.id = DCSW_PANEL_AC, .dataType = VAL_DOUBLE, .label = "AC(%)", .top = top, .left = kMargin + 184, .height = kRow, .width = 84,
                .callback = "dcsw_listeditCB", .value = 0.0, .min = 0.0, .max = 100.0, .precision = 2, .increment = 1.0},
            {.id = DCSW_PANEL_ACV, .dataType = VAL_DOUBLE, .label = "AC(V)", .top = top, .left = kMargin + 278, .height = kRow, .width = 84,
                .value = 0.0, .min = -1e9, .max = 1e9, .precision = 3, .increment = 1.0, .mode = VAL_INDICATOR},
            {.id = DCSW_PANEL_LIST, .kind = K::ListBox, .top = listTop, .left = kMargin, .height = listHeight, .width = listWidth, .callback = "dcsw_listeditCB"},
        }};
    // clang-format on
}

UiMenuBarDef ifcPanel_main_menubar() {
    // clang-format off
    return {.id = MAIN_MENUBAR,
        .menus = {
            {.id = MAIN_MENU_FILE, .label = "File",
                .items = {
                    {.id = MAIN_MENU_FILE_LOAD_PROFILE, .label = "Load Profile...", .callback = "profile_service"},
                    {.id = MAIN_MENU_FILE_SAVE_PROFILE, .label = "Save Profile...", .callback = "profile_service"},
                    {.id = MAIN_MENU_FILE_SAVE_LOG, .label = "Save Logged Data...", .callback = "ifc_save_log_menu"},
                    {.id = MAIN_MENU_FILE_EXPORT_TRACES, .label = "Export Traces...", .callback = "ifc_export_traces_menu"},
                    {.id = MAIN_MENU_FILE_SEP, .separator = true},
                    {.id = MAIN_MENU_FILE_EXIT, .label = "Exit", .callback = "exit_service"},
                }},
            {.id = MAIN_MENU_SWEEP, .label = "Sweep",
                .items = {{.id = MAIN_MENU_SWEEP_DCSW, .label = "DC sweep list...", .callback = "dcsw_panel_edit"}}},
        }};
    // clang-format on
}
