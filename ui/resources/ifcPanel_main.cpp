#include "ui/resources/ifcPanel_main.h"

#include "ui/resource.h"

#include <string>
#include <utility>
#include <vector>

namespace {

// Labels sit above their controls: a labelled row starts kLabelled below the
// row above it.
constexpr int kMargin = 12;
constexpr int kRow = 26;
constexpr int kLabelled = 48;
constexpr int kColWidth = 204;
constexpr int kColGap = 12;
constexpr int kWidth = kMargin + 3 * kColWidth + 2 * kColGap + kMargin;

constexpr int col(int n) { return kMargin + n * (kColWidth + kColGap); }

UiCtrlDef number(int id, int dataType, std::string label, int top, int left, int width,
    double value, double min, double max, int precision, double increment,
    std::string callback) {
    UiCtrlDef n = ui_ctrl(id, UiCtrlKind::Numeric, dataType, std::move(label), top, left, kRow, width);
    n.value = value;
    n.min = min;
    n.max = max;
    n.precision = precision;
    n.increment = increment;
    n.callback = std::move(callback);
    return n;
}

UiCtrlDef toggle(int id, std::string label, const char* onText, const char* offText, int top,
    int left, int width, int value, std::string callback) {
    UiCtrlDef t = ui_ctrl(id, UiCtrlKind::Toggle, VAL_INTEGER, std::move(label), top, left, kRow, width);
    t.onText = onText;
    t.offText = offText;
    t.value = value;
    t.callback = std::move(callback);
    return t;
}

UiCtrlDef ring(int id, std::string label, int top, int left, int width,
    std::initializer_list<std::pair<const char*, int>> list, int value,
    std::string callback) {
    UiCtrlDef r = ui_ctrl(id, UiCtrlKind::Ring, VAL_INTEGER, std::move(label), top, left, kRow, width);
    for (const auto& [text, v] : list)
        r.items.push_back(UiItemDef{text, static_cast<double>(v)});
    r.value = value;
    r.callback = std::move(callback);
    return r;
}

UiCtrlDef text(int id, std::string value, int top, int left, int width) {
    UiCtrlDef t = ui_ctrl(id, UiCtrlKind::TextMsg, VAL_STRING, "", top, left, 20, width);
    t.text = std::move(value);
    t.mode = VAL_INDICATOR;
    return t;
}

UiCtrlDef frame(int id, int top, int left, int height, int width) {
    return ui_ctrl(id, UiCtrlKind::Decoration, VAL_NO_TYPE, "", top, left, height, width);
}

// Gain indices of the input amplifiers.
constexpr std::initializer_list<std::pair<const char*, int>> kGains = {
    {"0  lowest", 0}, {"1", 1}, {"2", 2}, {"3  highest", 3}};
constexpr std::initializer_list<std::pair<const char*, int>> kInputs = {
    {"Input 1", 1}, {"Input 2", 2}, {"Input 3", 3}};

} // namespace

// The main panel.  Upper area: output source, sweep and sampling groups, the
// run buttons and the display toggles, down to VERSION (the collapsed panel);
// lower area: the module's input front end, down to FOOT.
UiPanelDef ifcPanel_main_panel() {
    UiPanelDef p;
    p.id = MAIN_PANEL;
    p.title = "imbench - Impedance Measurement";
    p.top = 60;
    p.left = 60;
    p.width = kWidth;
    p.callback = "ifcCB";
    auto& cs = p.controls;

    cs.push_back(text(MAIN_PANEL_MODEL_LABEL, "MODEL", 8, col(0), 56));
    cs.push_back(text(MAIN_PANEL_MODEL, "", 8, col(0) + 60, 2 * kColWidth));

    // Three groups side by side.
    constexpr int groupTop = 38;
    constexpr int headTop = groupTop + 4;
    constexpr int row0 = groupTop + 48;
    constexpr int groupHeight = 270;
    cs.push_back(frame(MAIN_PANEL_OUTPUT_FRAME, groupTop, col(0) - 4, groupHeight, kColWidth + 8));
    cs.push_back(frame(MAIN_PANEL_SWEEP_FRAME, groupTop, col(1) - 4, groupHeight, kColWidth + 8));
    cs.push_back(frame(MAIN_PANEL_SAMPLE_FRAME, groupTop, col(2) - 4, groupHeight, kColWidth + 8));

    // Output source.
    constexpr int fieldWidth = 140;
    cs.push_back(text(MAIN_PANEL_OUTPUT_HEAD, "OUTPUT SOURCE", headTop, col(0), kColWidth));
    cs.push_back(number(MAIN_PANEL_FREQUENCY, VAL_DOUBLE, "FREQUENCY (Hz)", row0, col(0), fieldWidth,
        1000.0, MAIN_FREQ_MIN, MAIN_FREQ_MAX, 3, 10.0, "dds_freq_CB"));
    cs.push_back(number(MAIN_PANEL_OFFSET, VAL_DOUBLE, "OFFSET, DC level (V)", row0 + kLabelled,
        col(0), fieldWidth, 0.0, -1000.0, 1000.0, 3, 0.1, "ddsampoffsCB"));
    cs.push_back(number(MAIN_PANEL_AMPLITUDE, VAL_DOUBLE, "AMPLITUDE, AC (% of offset)",
        row0 + 2 * kLabelled, col(0), fieldWidth, 10.0, 0.0, 100.0, 2, 1.0,
        "ddsampoffsCB"));
    UiCtrlDef readback = number(MAIN_PANEL_AMPL_READBACK, VAL_FLOAT, "AMPLITUDE READBACK (V)",
        row0 + 3 * kLabelled, col(0), fieldWidth, 0.0, -1e9, 1e9, 4, 1.0, "");
    readback.mode = VAL_INDICATOR;
    cs.push_back(readback);
    cs.push_back(toggle(MAIN_PANEL_AC_VALUE_PEAK, "AC VALUE PEAK", "AC VALUE: PEAK", "AC VALUE: RMS",
        row0 + 4 * kLabelled - 16, col(0), fieldWidth, 0, "ac_value_peak_cb"));

    // Sweep.
    cs.push_back(text(MAIN_PANEL_SWEEP_HEAD, "SWEEP", headTop, col(1), kColWidth));
    cs.push_back(number(MAIN_PANEL_FREQ_START, VAL_DOUBLE, "FREQUENCY START (Hz)", row0, col(1),
        fieldWidth, 10.0, MAIN_FREQ_MIN, MAIN_FREQ_MAX, 3, 10.0, ""));
    cs.push_back(number(MAIN_PANEL_FREQ_STOP, VAL_DOUBLE, "FREQUENCY STOP (Hz)", row0 + kLabelled,
        col(1), fieldWidth, 50000.0, MAIN_FREQ_MIN, MAIN_FREQ_MAX, 3, 10.0, ""));
    cs.push_back(number(MAIN_PANEL_FREQ_STEP, VAL_DOUBLE, "FREQUENCY STEP (Hz)",
        row0 + 2 * kLabelled, col(1), fieldWidth, 100.0, MAIN_FREQ_STEP_MIN,
        MAIN_FREQ_MAX, 3, 10.0, ""));
    constexpr int toggleRow = row0 + 3 * kLabelled - 14;
    cs.push_back(toggle(MAIN_PANEL_XAXIS_DB, "X-AXIS DB", "X-AXIS DB: decades", "X-AXIS DB: linear",
        toggleRow, col(1), kColWidth, 1, "xaxisCB"));
    cs.push_back(toggle(MAIN_PANEL_REPEAT, "REPEAT", "REPEAT over DC list: on",
        "REPEAT over DC list: off", toggleRow + 32, col(1), kColWidth, 0, ""));
    cs.push_back(toggle(MAIN_PANEL_DATA_LOG, "DATA LOG", "DATA LOG: save at end", "DATA LOG: off",
        toggleRow + 64, col(1), kColWidth, 0, ""));

    // Sampling and units.
    cs.push_back(text(MAIN_PANEL_SAMPLE_HEAD, "SAMPLE", headTop, col(2), kColWidth));
    cs.push_back(number(MAIN_PANEL_SAMPLE_CYCLE, VAL_FLOAT, "SAMPLE CYCLE (s)", row0, col(2), 110,
        0.25, 0.001, 100.0, 3, 0.05, "samp_cycl_CB"));
    cs.push_back(toggle(MAIN_PANEL_SAMPLE_AUTO, "SAMPLE AUTO", "AUTO: on", "AUTO: off", row0,
        col(2) + 118, kColWidth - 118, 0, "sample_auto_service"));
    cs.push_back(number(MAIN_PANEL_CURRENT_UNIT, VAL_FLOAT, "CURRENT UNIT (A/V)", row0 + kLabelled,
        col(2), 110, 1.0, 0.0, 10000.0, 4, 0.1, "curr_unit_CB"));
    UiCtrlDef loadMode = ring(MAIN_PANEL_LOAD_MODE, "LOAD MODE", row0 + 2 * kLabelled, col(2),
        kColWidth, {{"0  Load current", 0}, {"1  External", 1}}, 0,
        "load_mode_cb");
    loadMode.visible = false;
    cs.push_back(loadMode);

    // Run row.
    constexpr int runTop = groupTop + groupHeight + 12;
    constexpr int runHeight = 34;
    UiCtrlDef sweep = toggle(MAIN_PANEL_SWEEP, "SWEEP", "STOP SWEEP", "SWEEP", runTop, col(0),
        kColWidth, 0, "sweep_hotCB");
    sweep.height = runHeight;
    cs.push_back(sweep);
    UiCtrlDef measure = toggle(MAIN_PANEL_MEASURE, "MEASURE", "MEASURE: on", "MEASURE: off", runTop,
        col(1), kColWidth, 0, "");
    measure.height = runHeight;
    cs.push_back(measure);
    UiCtrlDef sync = ui_ctrl(MAIN_PANEL_SYNC, UiCtrlKind::Button, VAL_NO_TYPE, "SYNC", runTop, col(2),
        runHeight, kColWidth);
    sync.callback = "syncCB";
    cs.push_back(sync);

    // How far a sweep has come, under the button that runs it.
    constexpr int progressTop = runTop + runHeight + 6;
    cs.push_back(text(MAIN_PANEL_PROGRESS, "", progressTop, col(0), kWidth - 2 * kMargin));

    // Display windows.
    constexpr int analysisTop = progressTop + 20 + 6;
    constexpr int analysisRow = analysisTop + 26;
    cs.push_back(frame(MAIN_PANEL_ANALYSIS_FRAME, analysisTop, col(0) - 4, 26 + kRow + 8,
        kWidth - 2 * kMargin + 8));
    cs.push_back(text(MAIN_PANEL_ANALYSIS_HEAD, "ANALYSIS", analysisTop + 4, col(0), kColWidth));
    constexpr int tw = 120;
    constexpr int tg = (kWidth - 2 * kMargin - 5 * tw) / 4;
    cs.push_back(toggle(MAIN_PANEL_METER, "METER", "", "", analysisRow, col(0), tw, 1,
        "panel_tog_service"));
    cs.push_back(toggle(MAIN_PANEL_VC_GRAPH, "V&C GRAPH", "", "", analysisRow, col(0) + (tw + tg),
        tw, 0, "panel_tog_service"));
    cs.push_back(toggle(MAIN_PANEL_BODE_GRAPH, "BODE GRAPH", "", "", analysisRow,
        col(0) + 2 * (tw + tg), tw, 0, "panel_tog_service"));
    cs.push_back(toggle(MAIN_PANEL_NYQUST_GRAPH, "NYQUST GRAPH", "", "", analysisRow,
        col(0) + 3 * (tw + tg), tw, 0, "panel_tog_service"));
    // The load panel is not part of this build yet: the toggle stays dimmed.
    UiCtrlDef eload = toggle(MAIN_PANEL_ELOAD, "ELOAD", "", "", analysisRow, col(0) + 4 * (tw + tg),
        tw, 0, "panel_tog_service");
    eload.visible = false;
    eload.dimmed = true;
    cs.push_back(eload);

    // VERSION closes the collapsed panel.
    constexpr int versionTop = analysisTop + 26 + kRow + 8 + 8;
    UiCtrlDef version = text(MAIN_PANEL_VERSION, "", versionTop, col(0), kColWidth + 40);
    version.callback = "versCB";
    version.mode = VAL_NORMAL; // takes the right double-click
    cs.push_back(version);
    cs.push_back(text(MAIN_PANEL_VERSION_HINT, "right double-click the version: input settings",
        versionTop, col(1) + 48, 2 * kColWidth - 48));
    p.height = versionTop + 20 + 1;

    // Lower area: the input front end.
    constexpr int inputTop = versionTop + 28;
    constexpr int inputRow = inputTop + 48;
    constexpr int inputRow2 = inputRow + kRow + 10;
    constexpr int calRow = inputRow2 + kRow + 10;
    constexpr int half = (kColWidth - 8) / 2;
    cs.push_back(frame(MAIN_PANEL_INPUT_FRAME, inputTop, col(0) - 4, calRow + kRow + 8 - inputTop,
        kWidth - 2 * kMargin + 8));
    cs.push_back(text(MAIN_PANEL_INPUT_HEAD, "INPUT", inputTop + 4, col(0), kColWidth));
    cs.push_back(ring(MAIN_PANEL_VOLT_INPUT, "VOLTAGE INPUT", inputRow, col(0), half, kInputs, 1,
        "volt_gain_CB"));
    cs.push_back(ring(MAIN_PANEL_VOLT_GAIN, "VOLTAGE GAIN", inputRow, col(0) + half + 8, half, kGains,
        0, "volt_gain_CB"));
    cs.push_back(ring(MAIN_PANEL_CURR_INPUT, "CURRENT INPUT", inputRow, col(1), half, kInputs, 1,
        "curr_gain_CB"));
    cs.push_back(ring(MAIN_PANEL_CURR_GAIN, "CURRENT GAIN", inputRow, col(1) + half + 8, half, kGains,
        0, "curr_gain_CB"));
    cs.push_back(toggle(MAIN_PANEL_INPUT_DL, "INPUT DL", "INPUT DL: on", "INPUT DL: off", inputRow,
        col(2), half, 0, "inp_dl_CB"));
    cs.push_back(toggle(MAIN_PANEL_CURR_LOOPBACK, "CURRENT LOOPBACK", "LOOPBACK: on",
        "LOOPBACK: off", inputRow, col(2) + half + 8, half, 0, "curr_gain_CB"));
    cs.push_back(toggle(MAIN_PANEL_AGC, "AGC", "AGC (auto gain): on", "AGC (auto gain): off",
        inputRow2, col(0), kColWidth, 0, "agc_CB"));
    cs.push_back(toggle(MAIN_PANEL_AZC, "AZC", "AZC (auto zero): on", "AZC (auto zero): off",
        inputRow2, col(1), kColWidth, 0, "azc_CB"));
    cs.push_back(toggle(MAIN_PANEL_PHASE_360, "PHASE 360", "PHASE: 0 to 360 deg",
        "PHASE: -180 to 180 deg", inputRow2, col(2), kColWidth, 0, "phasemodeCB"));

    // Carries the DC sweep list in a profile; never shown.
    UiCtrlDef list = ui_ctrl(MAIN_PANEL_DCSW_LIST, UiCtrlKind::String, VAL_STRING, "DCSW_LIST",
        inputRow, col(0), kRow, kColWidth);
    list.mode = VAL_NORMAL;
    list.maxEntryLength = MAIN_DCSW_LIST_MAX;
    list.text = "0";
    list.visible = false;
    cs.push_back(list);

    // Calibration transfer; saving is a service function, revealed on request.
    UiCtrlDef calLoad = ui_ctrl(MAIN_PANEL_CAL_LOAD, UiCtrlKind::Button, VAL_NO_TYPE, "CAL LOAD", calRow,
        col(0), kRow, kColWidth);
    calLoad.callback = "caldata_CB";
    cs.push_back(calLoad);
    UiCtrlDef calSave = ui_ctrl(MAIN_PANEL_CAL_SAVE, UiCtrlKind::Button, VAL_NO_TYPE, "CAL SAVE", calRow,
        col(1), kRow, kColWidth);
    calSave.callback = "caldata_CB";
    calSave.visible = false;
    cs.push_back(calSave);

    UiCtrlDef foot = frame(MAIN_PANEL_FOOT, calRow + kRow + 8, col(0), 1, kColWidth);
    foot.visible = false;
    cs.push_back(foot);
    return p;
}

// Panel 1: the DC sweep list, up to ten DC levels with their AC amplitudes.
UiPanelDef ifcPanel_dcsw_panel() {
    constexpr int top = 30;
    UiPanelDef p;
    p.id = DCSW_PANEL;
    p.title = "DC Sweep List";
    p.top = 120;
    p.left = 740;
    p.callback = "dcsw_panel_close";
    auto& cs = p.controls;

    cs.push_back(number(DCSW_PANEL_STEP, VAL_INTEGER, "STEP", top, kMargin, 64, 1, 1, 10, 0, 1,
        "dcsw_listeditCB"));
    cs.push_back(number(DCSW_PANEL_DC, VAL_DOUBLE, "DC(V)", top, kMargin + 74, 100, 0.0, -1000.0,
        1000.0, 3, 0.1, "dcsw_listeditCB"));
    cs.push_back(number(DCSW_PANEL_AC, VAL_DOUBLE, "AC(%)", top, kMargin + 184, 84, 0.0, 0.0, 100.0,
        2, 1.0, "dcsw_listeditCB"));
    UiCtrlDef acv = number(DCSW_PANEL_ACV, VAL_DOUBLE, "AC(V)", top, kMargin + 278, 84, 0.0, -1e9,
        1e9, 3, 1.0, "");
    acv.mode = VAL_INDICATOR;
    cs.push_back(acv);

    constexpr int listTop = top + kRow + 14;
    constexpr int listWidth = 278 + 84;
    constexpr int listHeight = 236;
    UiCtrlDef list = ui_ctrl(DCSW_PANEL_LIST, UiCtrlKind::ListBox, VAL_INTEGER, "", listTop, kMargin,
        listHeight, listWidth);
    list.callback = "dcsw_listeditCB";
    cs.push_back(list);

    p.width = kMargin + listWidth + kMargin;
    p.height = listTop + listHeight + kMargin;
    return p;
}

UiMenuBarDef ifcPanel_main_menubar() {
    UiMenuBarDef mb;
    mb.id = MAIN_MENUBAR;

    UiMenuDef file;
    file.id = MAIN_MENU_FILE;
    file.label = "File";
    file.items.push_back({MAIN_MENU_FILE_LOAD_PROFILE, "Load Profile...", "profile_service"});
    file.items.push_back({MAIN_MENU_FILE_SAVE_PROFILE, "Save Profile...", "profile_service"});
    file.items.push_back({MAIN_MENU_FILE_SAVE_LOG, "Save Logged Data...", "ifc_save_log_menu"});
    file.items.push_back({MAIN_MENU_FILE_SEP, "", "", true});
    file.items.push_back({MAIN_MENU_FILE_EXIT, "Exit", "exit_service"});
    mb.menus.push_back(file);

    UiMenuDef sweep;
    sweep.id = MAIN_MENU_SWEEP;
    sweep.label = "Sweep";
    sweep.items.push_back({MAIN_MENU_SWEEP_DCSW, "DC sweep list...", "dcsw_panel_edit"});
    mb.menus.push_back(sweep);
    return mb;
}
