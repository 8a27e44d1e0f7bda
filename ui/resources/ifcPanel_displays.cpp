#include "ui/resources/ifcPanel_displays.h"

#include "ui/resources/layout.h"

namespace {

using namespace resources;

// Labels sit above their controls: a labelled row starts kLabelGap below the
// row above it.
constexpr int kLabelGap = 26;

std::vector<UiItemDef> direction_items() { return ui_items({{"Normal", 0}, {"Reversed", 1}}); }

// The quantity codes of the Bode selectors; the item labels become the value
// axis names, so they carry the unit.
std::vector<UiItemDef> quantity_items() {
    return ui_items({{"|Z| (\xCE\xA9)", 0}, {"Phase (\xC2\xB0)", 1}, {"Rs (\xCE\xA9)", 2}, {"Xs (\xCE\xA9)", 3}, {"Rp (\xCE\xA9)", 4}, {"Xp (\xCE\xA9)", 5},
        {"Cs (F)", 6}, {"Cp (F)", 7}, {"Ls (H)", 8}, {"Lp (H)", 9}, {"Q", 10}, {"D", 11}});
}

constexpr const char* kFreqName = "Frequency (Hz)";

// clang-format off

// A read-only number.
UiCtrlDef readout(int id, std::string label, int top, int left, int width, int precision) {
    return {.id = id, .dataType = VAL_DOUBLE, .label = std::move(label), .top = top, .left = left, .height = kRow, .width = width,
        .precision = precision, .mode = VAL_INDICATOR};
}

// Row of the four axis controls shared by the Bode and V&C windows.
void axis_row(std::vector<UiCtrlDef>& cs, int xMode, int yMode, int xRev, int yRev, const char* callback) {
    constexpr int top = kLabelGap;
    cs.push_back({.id = xMode, .kind = K::Toggle, .top = top, .left = kMargin, .height = kRow, .width = 150,
        .callback = callback, .value = 1, .onText = "Frequency: log", .offText = "Frequency: linear"});
    cs.push_back({.id = yMode, .kind = K::Toggle, .top = top, .left = kMargin + 162, .height = kRow, .width = 150,
        .callback = callback, .value = 0, .onText = "Value: log", .offText = "Value: linear"});
    cs.push_back({.id = xRev, .kind = K::Ring, .label = "Frequency axis", .top = top, .left = kMargin + 336, .height = kRow, .width = 130,
        .callback = callback, .value = 0, .items = direction_items()});
    cs.push_back({.id = yRev, .kind = K::Ring, .label = "Value axis", .top = top, .left = kMargin + 478, .height = kRow, .width = 130,
        .callback = callback, .value = 0, .items = direction_items()});
}

// clang-format on

// Two graphs one above the other with a column of controls at the right of each.
constexpr int kGraphTop = kLabelGap + kRow + 14;
constexpr int kGraphHeight = 290;
constexpr int kGraphWidth = 660;
constexpr int kGraphGap = 14;
constexpr int kSideLeft = kMargin + kGraphWidth + 14;
constexpr int kSideWidth = 170;
constexpr int kStackWidth = kSideLeft + kSideWidth + kMargin;
constexpr int kStackHeight = kGraphTop + 2 * kGraphHeight + kGraphGap + kMargin;

// The graph windows open in a cascade right of the main panel's first
// column, so that its SWEEP button stays in sight beside them.
constexpr int kGraphWindowLeft = 300;

int graph_top(int which) { return kGraphTop + which * (kGraphHeight + kGraphGap); }

// One of the two stacked graphs, its frequency axis logarithmic.
UiCtrlDef stacked_graph(int id, int which, const char* yName, const char* callback) {
    // clang-format off
    return {.id = id, .kind = K::Graph, .top = graph_top(which), .left = kMargin, .height = kGraphHeight, .width = kGraphWidth,
        .callback = callback, .xName = kFreqName, .yName = yName, .xMapMode = VAL_LOG};
    // clang-format on
}

} // namespace

// Panel 8: |Z| and phase (or any two quantities) against frequency.
UiPanelDef ifcPanel_bode_panel() {
    UiPanelDef p{.id = BODE_PANEL, .title = "Bode", .top = 80, .left = kGraphWindowLeft, .height = kStackHeight, .width = kStackWidth, .callback = "bode_stop", .sizable = true};
    auto& cs = p.controls;
    axis_row(cs, BODE_PANEL_XAXIS_MODE, BODE_PANEL_YAXIS_MODE, BODE_PANEL_XAXIS_REVERSE, BODE_PANEL_YAXIS_REVERSE, "bodeaxisCB");

    struct Block {
        int graph, select, x, y, code;
        const char* selectLabel;
        const char* yName;
        int yPrecision;
    };
    const Block blocks[] = {
        {BODE_PANEL_GRAPH1, BODE_PANEL_SELECT1, BODE_PANEL_X1, BODE_PANEL_Y1, 0, "Upper graph", "|Z| (\xCE\xA9)", 6},
        {BODE_PANEL_GRAPH2, BODE_PANEL_SELECT2, BODE_PANEL_X2, BODE_PANEL_Y2, 1, "Lower graph", "Phase (\xC2\xB0)", 3},
    };
    for (int i = 0; i < 2; ++i) {
        const Block& b = blocks[i];
        const int sideTop = graph_top(i) + kLabelGap - 8;
        // clang-format off
        cs.push_back(stacked_graph(b.graph, i, b.yName, "bodeCB"));
        cs.push_back({.id = b.select, .kind = K::Ring, .label = b.selectLabel, .top = sideTop, .left = kSideLeft, .height = kRow, .width = kSideWidth,
            .callback = "bode_selectCB", .value = static_cast<double>(b.code), .items = quantity_items()});
        cs.push_back(readout(b.x, kFreqName, sideTop + kRow + kLabelGap, kSideLeft, kSideWidth, 3));
        cs.push_back(readout(b.y, b.yName, sideTop + 2 * (kRow + kLabelGap), kSideLeft, kSideWidth, b.yPrecision));
        // clang-format on
    }
    return p;
}

// Panel 6: reactance against resistance.  The reactance axis starts reversed,
// as its ring does, so capacitive points are drawn upwards from the start.
UiPanelDef ifcPanel_nyqust_panel() {
    constexpr int graphSide = 560;
    constexpr int sideLeft = kMargin + graphSide + 14;
    constexpr int sideWidth = 160;
    constexpr int top = kMargin + kLabelGap - 8; // of the column of controls right of the graph
    constexpr int step = kRow + kLabelGap;

    // clang-format off
    return {.id = NYQUST_PANEL, .title = "Nyquist", .top = 100, .left = kGraphWindowLeft + 40,
        .height = kMargin + graphSide + kMargin, .width = sideLeft + sideWidth + kMargin, .callback = "nyqust_stop", .sizable = true,
        .controls = {
            {.id = NYQUST_PANEL_GRAPH, .kind = K::Graph, .top = kMargin, .left = kMargin, .height = graphSide, .width = graphSide,
                .callback = "nyqustCB", .xName = "R (\xCE\xA9)", .yName = "X (\xCE\xA9)", .yReverse = true},
            {.id = NYQUST_PANEL_CIRCUIT_MODE, .kind = K::Ring, .label = "Equivalent circuit", .top = top, .left = sideLeft, .height = kRow, .width = sideWidth,
                .callback = "nyqust_cktmode", .value = 0, .items = ui_items({{"Parallel", 0}, {"Series", 1}})},
            {.id = NYQUST_PANEL_XAXIS_REVERSE, .kind = K::Ring, .label = "R axis", .top = top + step, .left = sideLeft, .height = kRow, .width = sideWidth,
                .callback = "nyqustaxisCB", .value = 0, .items = direction_items()},
            {.id = NYQUST_PANEL_YAXIS_REVERSE, .kind = K::Ring, .label = "X axis", .top = top + 2 * step, .left = sideLeft, .height = kRow, .width = sideWidth,
                .callback = "nyqustaxisCB", .value = 1, .items = direction_items()},
            {.id = NYQUST_PANEL_EQUAL_SCALE, .kind = K::Toggle, .top = top + 3 * step - 8, .left = sideLeft, .height = kRow, .width = sideWidth,
                .callback = "nyqustaxisCB", .value = 0, .onText = "Scale: equal", .offText = "Scale: free"},
            readout(NYQUST_PANEL_R, "R (\xCE\xA9)", top + 4 * step + 20, sideLeft, sideWidth, 6),
            readout(NYQUST_PANEL_X, "X (\xCE\xA9)", top + 5 * step + 20, sideLeft, sideWidth, 6),
        }};
    // clang-format on
}

// Panel 2: voltage (blue) and current (red), amplitudes above, phases below.
UiPanelDef ifcPanel_vc_panel() {
    UiPanelDef p{.id = VC_PANEL, .title = "V&C", .top = 120, .left = kGraphWindowLeft + 80, .height = kStackHeight, .width = kStackWidth, .callback = "vc_stop", .sizable = true};
    auto& cs = p.controls;
    axis_row(cs, VC_PANEL_XAXIS_MODE, VC_PANEL_YAXIS_MODE, VC_PANEL_XAXIS_REVERSE, VC_PANEL_YAXIS_REVERSE, "vcaxisCB");

    const int top1 = graph_top(0), top2 = graph_top(1);
    const int side1 = top1 + kLabelGap - 8 + kRow + kLabelGap;
    const int side2 = top2 + kLabelGap - 8 + kRow + kLabelGap;
    // clang-format off
    cs.insert(cs.end(), {
        stacked_graph(VC_PANEL_GRAPH1, 0, "Amplitude (V, A)", "vc_curCB"),
        stacked_graph(VC_PANEL_GRAPH2, 1, "Phase (\xC2\xB0)", "vc_curCB"),
        // The colour key stands where the Bode window has its selector.
        {.id = VC_PANEL_KEY_V, .kind = K::TextMsg, .top = top1, .left = kSideLeft, .height = 22, .width = kSideWidth,
            .text = "\xE2\x97\x8F Voltage", .textColor = VAL_BLUE},
        {.id = VC_PANEL_KEY_I, .kind = K::TextMsg, .top = top1 + 22, .left = kSideLeft, .height = 22, .width = kSideWidth,
            .text = "\xE2\x97\x8F Current", .textColor = VAL_RED},
        readout(VC_PANEL_X1, kFreqName, side1, kSideLeft, kSideWidth, 3),
        readout(VC_PANEL_Y1, "Voltage (V)", side1 + kRow + kLabelGap, kSideLeft, kSideWidth, 6),
        readout(VC_PANEL_X2, kFreqName, side2, kSideLeft, kSideWidth, 3),
        readout(VC_PANEL_Y2, "Voltage phase (\xC2\xB0)", side2 + kRow + kLabelGap, kSideLeft, kSideWidth, 3),
    });
    // clang-format on
    return p;
}

// Panel 5: the latest point as a component meter shows it: the component
// value and its Q or D large at the top, the impedance, the stimulus and the
// raw voltage and current below.
UiPanelDef ifcPanel_meter_panel() {
    constexpr int colWidth = 140;
    constexpr int colGap = 12;
    auto col = [](int i) { return column(i, colWidth, colGap); };
    constexpr int bigHeight = 44;
    constexpr int lcdBg = 0x102810;
    constexpr int lcdText = 0x40FF60;
    constexpr int kBigText = 20;
    // Rows from the top: mode rings, the large read-outs, then three rows of numbers.
    constexpr int modes = kLabelGap;
    constexpr int big = modes + kRow + kLabelGap;
    constexpr int impedance = big + bigHeight + kLabelGap;
    constexpr int raw = impedance + kRow + kLabelGap;
    constexpr int dc = raw + kRow + kLabelGap;

    // clang-format off
    return {.id = METER_PANEL, .title = "Meter", .top = 60, .left = 760, .height = dc + kRow + kMargin, .width = col(4) - colGap + kMargin, .callback = "meter_stop",
        .controls = {
            {.id = METER_PANEL_DEVICE_MODE, .kind = K::Ring, .label = "Component", .top = modes, .left = col(0), .height = kRow, .width = colWidth, .value = 0,
                .items = ui_items({{"Series C (Cs)", 0}, {"Parallel C (Cp)", 1}, {"Series L (Ls)", 2}, {"Parallel L (Lp)", 3}})},
            {.id = METER_PANEL_QUALITY_MODE, .kind = K::Ring, .label = "Factor", .top = modes, .left = col(1), .height = kRow, .width = colWidth, .value = 0,
                .items = ui_items({{"Quality Q", 0}, {"Dissipation D", 1}})},
            {.id = METER_PANEL_CIRCUIT_MODE, .kind = K::Ring, .label = "R, X circuit", .top = modes, .left = col(2), .height = kRow, .width = colWidth, .value = 0,
                .items = ui_items({{"Parallel", 0}, {"Series", 1}})},

            {.id = METER_PANEL_COMPONENT, .kind = K::TextMsg, .top = big, .left = col(0), .height = bigHeight, .width = 2 * colWidth + colGap,
                .mode = VAL_INDICATOR, .textColor = lcdText, .bgColor = lcdBg, .textSize = kBigText},
            {.id = METER_PANEL_QD, .dataType = VAL_DOUBLE, .label = "Q / D", .top = big, .left = col(2), .height = bigHeight, .width = colWidth,
                .precision = 4, .mode = VAL_INDICATOR, .textColor = lcdText, .bgColor = lcdBg, .textSize = kBigText},
            {.id = METER_PANEL_FREQ, .dataType = VAL_DOUBLE, .label = kFreqName, .top = big, .left = col(3), .height = bigHeight, .width = colWidth,
                .precision = 3, .mode = VAL_INDICATOR},

            readout(METER_PANEL_Z, "|Z| (\xCE\xA9)", impedance, col(0), colWidth, 6),
            readout(METER_PANEL_Z_PHASE, "Phase (\xC2\xB0)", impedance, col(1), colWidth, 3),
            readout(METER_PANEL_R, "R (\xCE\xA9)", impedance, col(2), colWidth, 6),
            readout(METER_PANEL_X, "X (\xCE\xA9)", impedance, col(3), colWidth, 6),

            readout(METER_PANEL_VOLT, "Voltage (V)", raw, col(0), colWidth, 6),
            readout(METER_PANEL_VOLT_PHASE, "Voltage phase (\xC2\xB0)", raw, col(1), colWidth, 3),
            readout(METER_PANEL_CURR, "Current (A)", raw, col(2), colWidth, 6),
            readout(METER_PANEL_CURR_PHASE, "Current phase (\xC2\xB0)", raw, col(3), colWidth, 3),

            readout(METER_PANEL_DC, "DC level (A)", dc, col(0), colWidth, 4),
        }};
    // clang-format on
}

UiMenuBarDef ifcPanel_display_menubar() {
    // clang-format off
    return {.id = DISPLAY_MENUBAR,
        .menus = {{.id = DISPLAY_MENU_FILE, .label = "File",
            .items = {{.id = DISPLAY_MENU_FILE_PICTURE, .label = "Export Picture...", .callback = "displays_export_picture"}}}}};
    // clang-format on
}
