#include "ui/resources/ifcPanel_displays.h"

#include "ui/resource.h"

#include <string>
#include <utility>
#include <vector>

namespace {

// Labels sit above their controls: a labelled row starts this far below the
// row above it.
constexpr int kMargin = 12;
constexpr int kRow = 26; // height of rings, toggles and read-outs
constexpr int kLabelGap = 26; // room for a label between two rows

UiCtrlDef ring(int id, std::string label, int top, int left, int width,
    std::vector<UiItemDef> list, int value, std::string callback) {
    UiCtrlDef r = ui_ctrl(id, UiCtrlKind::Ring, VAL_INTEGER, std::move(label), top, left, kRow, width);
    r.items = std::move(list);
    r.value = value;
    r.callback = std::move(callback);
    return r;
}

UiCtrlDef toggle(int id, const char* onText, const char* offText, int top, int left, int width,
    int value, std::string callback) {
    UiCtrlDef t = ui_ctrl(id, UiCtrlKind::Toggle, VAL_INTEGER, "", top, left, kRow, width);
    t.onText = onText;
    t.offText = offText;
    t.value = value;
    t.callback = std::move(callback);
    return t;
}

// A read-only number.
UiCtrlDef readout(int id, std::string label, int top, int left, int width, int precision,
    int height = kRow) {
    UiCtrlDef n = ui_ctrl(id, UiCtrlKind::Numeric, VAL_DOUBLE, std::move(label), top, left, height,
        width);
    n.mode = VAL_INDICATOR;
    n.precision = precision;
    return n;
}

UiCtrlDef graph(int id, int top, int left, int height, int width, std::string xName,
    std::string yName, std::string callback) {
    UiCtrlDef g = ui_ctrl(id, UiCtrlKind::Graph, VAL_NO_TYPE, "", top, left, height, width);
    g.xName = std::move(xName);
    g.yName = std::move(yName);
    g.callback = std::move(callback);
    return g;
}

std::vector<UiItemDef> direction_items() { return ui_items({{"Normal", 0}, {"Reversed", 1}}); }

// The quantity codes of the Bode selectors; the item labels become the value
// axis names, so they carry the unit.
std::vector<UiItemDef> quantity_items() {
    return ui_items({{"|Z| (\xCE\xA9)", 0},
        {"Phase (\xC2\xB0)", 1},
        {"Rs (\xCE\xA9)", 2},
        {"Xs (\xCE\xA9)", 3},
        {"Rp (\xCE\xA9)", 4},
        {"Xp (\xCE\xA9)", 5},
        {"Cs (F)", 6},
        {"Cp (F)", 7},
        {"Ls (H)", 8},
        {"Lp (H)", 9},
        {"Q", 10},
        {"D", 11}});
}

constexpr const char* kFreqName = "Frequency (Hz)";

// Row of the four axis controls shared by the Bode and V&C windows.
void axis_row(std::vector<UiCtrlDef>& cs, int xMode, int yMode, int xRev, int yRev,
    const char* callback) {
    constexpr int top = kLabelGap;
    cs.push_back(toggle(xMode, "Frequency: log", "Frequency: linear", top, kMargin, 150, 1,
        callback));
    cs.push_back(toggle(yMode, "Value: log", "Value: linear", top, kMargin + 162, 150, 0,
        callback));
    cs.push_back(ring(xRev, "Frequency axis", top, kMargin + 336, 130, direction_items(), 0,
        callback));
    cs.push_back(ring(yRev, "Value axis", top, kMargin + 478, 130, direction_items(), 0,
        callback));
}

// Two graphs one above the other with a column of controls at the right of each.
constexpr int kGraphTop = kLabelGap + kRow + 14;
constexpr int kGraphHeight = 290;
constexpr int kGraphWidth = 660;
constexpr int kGraphGap = 14;
constexpr int kSideLeft = kMargin + kGraphWidth + 14;
constexpr int kSideWidth = 170;
constexpr int kStackWidth = kSideLeft + kSideWidth + kMargin;
constexpr int kStackHeight = kGraphTop + 2 * kGraphHeight + kGraphGap + kMargin;

int graph_top(int which) { return kGraphTop + which * (kGraphHeight + kGraphGap); }

} // namespace

// Panel 8: |Z| and phase (or any two quantities) against frequency.
UiPanelDef ifcPanel_bode_panel() {
    UiPanelDef p;
    p.id = BODE_PANEL;
    p.title = "Bode";
    p.top = 80;
    p.left = 120;
    p.width = kStackWidth;
    p.height = kStackHeight;
    p.callback = "bode_stop";
    auto& cs = p.controls;

    axis_row(cs, BODE_PANEL_XAXIS_MODE, BODE_PANEL_YAXIS_MODE, BODE_PANEL_XAXIS_REVERSE,
        BODE_PANEL_YAXIS_REVERSE, "bodeaxisCB");

    struct Block {
        int graph, select, x, y, code;
        const char* selectLabel;
        const char* yName;
    };
    const Block blocks[] = {
        {BODE_PANEL_GRAPH1, BODE_PANEL_SELECT1, BODE_PANEL_X1, BODE_PANEL_Y1, 0, "Upper graph",
            "|Z| (\xCE\xA9)"},
        {BODE_PANEL_GRAPH2, BODE_PANEL_SELECT2, BODE_PANEL_X2, BODE_PANEL_Y2, 1, "Lower graph",
            "Phase (\xC2\xB0)"},
    };
    for (int i = 0; i < 2; ++i) {
        const Block& b = blocks[i];
        const int top = graph_top(i);
        UiCtrlDef g = graph(b.graph, top, kMargin, kGraphHeight, kGraphWidth, kFreqName, b.yName,
            "bodeCB");
        g.xMapMode = VAL_LOG;
        cs.push_back(g);
        const int sideTop = top + kLabelGap - 8;
        cs.push_back(ring(b.select, b.selectLabel, sideTop, kSideLeft, kSideWidth,
            quantity_items(), b.code, "bode_selectCB"));
        cs.push_back(readout(b.x, kFreqName, sideTop + kRow + kLabelGap, kSideLeft, kSideWidth, 3));
        cs.push_back(readout(b.y, b.yName, sideTop + 2 * (kRow + kLabelGap), kSideLeft, kSideWidth,
            i == 0 ? 6 : 3));
    }
    return p;
}

// Panel 6: reactance against resistance.  The reactance axis starts reversed,
// as its ring does, so capacitive points are drawn upwards from the start.
UiPanelDef ifcPanel_nyqust_panel() {
    constexpr int graphSide = 560;
    constexpr int sideLeft = kMargin + graphSide + 14;
    constexpr int sideWidth = 160;

    UiPanelDef p;
    p.id = NYQUST_PANEL;
    p.title = "Nyquist";
    p.top = 100;
    p.left = 160;
    p.width = sideLeft + sideWidth + kMargin;
    p.height = kMargin + graphSide + kMargin;
    p.callback = "nyqust_stop";
    auto& cs = p.controls;

    UiCtrlDef g = graph(NYQUST_PANEL_GRAPH, kMargin, kMargin, graphSide, graphSide,
        "R (\xCE\xA9)", "X (\xCE\xA9)", "nyqustCB");
    g.yReverse = true;
    cs.push_back(g);

    int top = kMargin + kLabelGap - 8;
    cs.push_back(ring(NYQUST_PANEL_CIRCUIT_MODE, "Equivalent circuit", top, sideLeft, sideWidth,
        ui_items({{"Parallel", 0}, {"Series", 1}}), 0, "nyqust_cktmode"));
    top += kRow + kLabelGap;
    cs.push_back(ring(NYQUST_PANEL_XAXIS_REVERSE, "R axis", top, sideLeft, sideWidth,
        direction_items(), 0, "nyqustaxisCB"));
    top += kRow + kLabelGap;
    cs.push_back(ring(NYQUST_PANEL_YAXIS_REVERSE, "X axis", top, sideLeft, sideWidth,
        direction_items(), 1, "nyqustaxisCB"));
    top += kRow + kLabelGap + 20;
    cs.push_back(readout(NYQUST_PANEL_R, "R (\xCE\xA9)", top, sideLeft, sideWidth, 6));
    top += kRow + kLabelGap;
    cs.push_back(readout(NYQUST_PANEL_X, "X (\xCE\xA9)", top, sideLeft, sideWidth, 6));
    return p;
}

// Panel 2: voltage (blue) and current (red), amplitudes above, phases below.
UiPanelDef ifcPanel_vc_panel() {
    UiPanelDef p;
    p.id = VC_PANEL;
    p.title = "V&C";
    p.top = 120;
    p.left = 200;
    p.width = kStackWidth;
    p.height = kStackHeight;
    p.callback = "vc_stop";
    auto& cs = p.controls;

    axis_row(cs, VC_PANEL_XAXIS_MODE, VC_PANEL_YAXIS_MODE, VC_PANEL_XAXIS_REVERSE,
        VC_PANEL_YAXIS_REVERSE, "vcaxisCB");

    const int top1 = graph_top(0), top2 = graph_top(1);
    UiCtrlDef g1 = graph(VC_PANEL_GRAPH1, top1, kMargin, kGraphHeight, kGraphWidth, kFreqName,
        "Amplitude (V, A)", "vc_curCB");
    g1.xMapMode = VAL_LOG;
    cs.push_back(g1);
    UiCtrlDef g2 = graph(VC_PANEL_GRAPH2, top2, kMargin, kGraphHeight, kGraphWidth, kFreqName,
        "Phase (\xC2\xB0)", "vc_curCB");
    g2.xMapMode = VAL_LOG;
    cs.push_back(g2);

    // The colour key stands where the Bode window has its selector.
    UiCtrlDef keyV = ui_ctrl(VC_PANEL_KEY_V, UiCtrlKind::TextMsg, VAL_STRING, "", top1, kSideLeft, 22,
        kSideWidth);
    keyV.text = "\xE2\x97\x8F Voltage";
    keyV.textColor = VAL_BLUE;
    cs.push_back(keyV);
    UiCtrlDef keyI = ui_ctrl(VC_PANEL_KEY_I, UiCtrlKind::TextMsg, VAL_STRING, "", top1 + 22,
        kSideLeft, 22, kSideWidth);
    keyI.text = "\xE2\x97\x8F Current";
    keyI.textColor = VAL_RED;
    cs.push_back(keyI);

    const int side1 = top1 + kLabelGap - 8 + kRow + kLabelGap;
    cs.push_back(readout(VC_PANEL_X1, kFreqName, side1, kSideLeft, kSideWidth, 3));
    cs.push_back(readout(VC_PANEL_Y1, "Voltage (V)", side1 + kRow + kLabelGap, kSideLeft,
        kSideWidth, 6));
    const int side2 = top2 + kLabelGap - 8 + kRow + kLabelGap;
    cs.push_back(readout(VC_PANEL_X2, kFreqName, side2, kSideLeft, kSideWidth, 3));
    cs.push_back(readout(VC_PANEL_Y2, "Voltage phase (\xC2\xB0)", side2 + kRow + kLabelGap,
        kSideLeft, kSideWidth, 3));
    return p;
}

// Panel 5: the latest point as a component meter shows it: the component
// value and its Q or D large at the top, the impedance, the stimulus and the
// raw voltage and current below.
UiPanelDef ifcPanel_meter_panel() {
    constexpr int colWidth = 140;
    constexpr int colGap = 12;
    auto col = [](int i) { return kMargin + i * (colWidth + colGap); };
    constexpr int bigHeight = 44;
    constexpr int lcdBg = 0x102810;
    constexpr int lcdText = 0x40FF60;
    constexpr int kBigText = 20;

    UiPanelDef p;
    p.id = METER_PANEL;
    p.title = "Meter";
    p.top = 60;
    p.left = 760;
    p.callback = "meter_stop";
    p.width = col(4) - colGap + kMargin;
    auto& cs = p.controls;

    int top = kLabelGap;
    cs.push_back(ring(METER_PANEL_DEVICE_MODE, "Component", top, col(0), colWidth,
        ui_items({{"Series C (Cs)", 0},
            {"Parallel C (Cp)", 1},
            {"Series L (Ls)", 2},
            {"Parallel L (Lp)", 3}}),
        0, ""));
    cs.push_back(ring(METER_PANEL_QUALITY_MODE, "Factor", top, col(1), colWidth,
        ui_items({{"Quality Q", 0}, {"Dissipation D", 1}}), 0, ""));
    cs.push_back(ring(METER_PANEL_CIRCUIT_MODE, "R, X circuit", top, col(2), colWidth,
        ui_items({{"Parallel", 0}, {"Series", 1}}), 0, ""));

    top += kRow + kLabelGap;
    UiCtrlDef comp = ui_ctrl(METER_PANEL_COMPONENT, UiCtrlKind::TextMsg, VAL_STRING, "", top, col(0),
        bigHeight, 2 * colWidth + colGap);
    comp.mode = VAL_INDICATOR;
    comp.bgColor = lcdBg;
    comp.textColor = lcdText;
    comp.textSize = kBigText;
    cs.push_back(comp);
    UiCtrlDef qd = readout(METER_PANEL_QD, "Q / D", top, col(2), colWidth, 4, bigHeight);
    qd.bgColor = lcdBg;
    qd.textColor = lcdText;
    qd.textSize = kBigText;
    cs.push_back(qd);
    cs.push_back(readout(METER_PANEL_FREQ, kFreqName, top, col(3), colWidth, 3, bigHeight));

    top += bigHeight + kLabelGap;
    cs.push_back(readout(METER_PANEL_Z, "|Z| (\xCE\xA9)", top, col(0), colWidth, 6));
    cs.push_back(readout(METER_PANEL_Z_PHASE, "Phase (\xC2\xB0)", top, col(1), colWidth, 3));
    cs.push_back(readout(METER_PANEL_R, "R (\xCE\xA9)", top, col(2), colWidth, 6));
    cs.push_back(readout(METER_PANEL_X, "X (\xCE\xA9)", top, col(3), colWidth, 6));

    top += kRow + kLabelGap;
    cs.push_back(readout(METER_PANEL_VOLT, "Voltage (V)", top, col(0), colWidth, 6));
    cs.push_back(readout(METER_PANEL_VOLT_PHASE, "Voltage phase (\xC2\xB0)", top, col(1), colWidth,
        3));
    cs.push_back(readout(METER_PANEL_CURR, "Current (A)", top, col(2), colWidth, 6));
    cs.push_back(readout(METER_PANEL_CURR_PHASE, "Current phase (\xC2\xB0)", top, col(3), colWidth,
        3));

    top += kRow + kLabelGap;
    cs.push_back(readout(METER_PANEL_DC, "DC level (A)", top, col(0), colWidth, 4));

    p.height = top + kRow + kMargin;
    return p;
}
