#include "eload/eloadPanel.h"

#include "ui/resource.h"

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr int kPad = 12; // panel edge and gap between groups
constexpr int kH = 26; // rings, toggles, numerics
constexpr int kLabel = 22; // room for a label above a control
constexpr int kLcdBg = 0x0C1A2A;
constexpr int kLcdText = 0x7FE0FF;
constexpr int kLcdSize = 22;

// Controls are made by kind and then placed; the few attributes that differ
// are set by the caller.
UiCtrlDef make(int id, UiCtrlKind kind, int type, std::string label, std::string cb = "")
{
    UiCtrlDef c;
    c.id = id;
    c.kind = kind;
    c.dataType = type;
    c.label = std::move(label);
    c.callback = std::move(cb);
    c.height = kH;
    return c;
}

UiCtrlDef at(UiCtrlDef c, int top, int left, int width)
{
    c.top = top;
    c.left = left;
    c.width = width;
    return c;
}

// A toggle names itself on its face: "Von: ON".
UiCtrlDef sw(int id, const std::string& name, const char* on, const char* off, std::string cb = "")
{
    UiCtrlDef c = make(id, UiCtrlKind::Toggle, VAL_INTEGER, "", std::move(cb));
    c.onText = name.empty() ? on : name + ": " + on;
    c.offText = name.empty() ? off : name + ": " + off;
    return c;
}

UiCtrlDef num(int id, std::string label, int type, int precision, std::string cb = "")
{
    UiCtrlDef c = make(id, UiCtrlKind::Numeric, type, std::move(label), std::move(cb));
    c.precision = type == VAL_INTEGER ? 0 : precision;
    c.min = 0;
    c.max = type == VAL_INTEGER ? 65535 : 1000;
    return c;
}

UiCtrlDef choice(int id, std::string label, std::vector<UiItemDef> items, std::string cb = "")
{
    UiCtrlDef c = make(id, UiCtrlKind::Ring, VAL_INTEGER, std::move(label), std::move(cb));
    c.items = std::move(items);
    return c;
}

UiCtrlDef box(int id, int top, int left, int height, int width)
{
    UiCtrlDef c = at(make(id, UiCtrlKind::Decoration, VAL_NO_TYPE, ""), top, left, width);
    c.height = height;
    return c;
}

UiCtrlDef lamp(int id, std::string label, int top, int left, std::string cb = "")
{
    UiCtrlDef c = at(make(id, UiCtrlKind::Led, VAL_INTEGER, std::move(label), std::move(cb)), top, left, 18);
    c.height = 18;
    c.mode = VAL_INDICATOR;
    return c;
}

std::vector<UiItemDef> mode_items()
{
    return ui_items({{"CV  constant voltage", 0}, {"CC  constant current", 1},
        {"CR  constant resistance", 2}, {"CP  constant power", 3}});
}

std::vector<UiItemDef> quantity_items()
{
    return ui_items({{"Voltage (V)", 0}, {"Current (A)", 1}, {"Resistance (\xCE\xA9)", 2}, {"Power (W)", 3},
        {"Temperature (\xC2\xB0"
         "C)",
            4}});
}

// Panel 2.  Upper part down to the identification line (the folded panel):
// two large readouts with their quantity selectors, the operating settings,
// the switches and the toggles of the other panels.  Lower part down to the
// size marker: the cycle's deadline and a hint.
UiPanelDef main_panel()
{
    constexpr int col = 204, gap = 12;
    auto x = [](int n) { return kPad + n * (col + gap); };
    constexpr int half = (3 * col + 2 * gap - gap) / 2;
    UiPanelDef p{.id = ELOAD_MAIN, .title = "Electronic Load", .top = 40, .left = 40, .callback = "eload_stop"};
    p.width = x(3) - gap + kPad;
    auto& cs = p.controls;

    int y = kPad + kLabel;
    UiCtrlDef a = at(choice(ELOAD_MAIN_SEL_A, "Readout A", quantity_items()), y, kPad, 170);
    UiCtrlDef b = at(choice(ELOAD_MAIN_SEL_B, "Readout B", quantity_items()), y, kPad + half + gap, 170);
    b.value = 1;
    cs.push_back(a);
    cs.push_back(b);
    cs.push_back(lamp(ELOAD_MAIN_ALARM, "ALARM", y + 4, x(2) + col - 70, "status_event_cb"));
    y += kH + 6;
    for (auto [id, left] : {std::pair{ELOAD_MAIN_READ_A, kPad}, std::pair{ELOAD_MAIN_READ_B, kPad + half + gap}}) {
        UiCtrlDef r = at(make(id, UiCtrlKind::TextMsg, VAL_STRING, "", "meter_cb"), y, left, half);
        r.height = 56;
        r.mode = VAL_INDICATOR;
        r.bgColor = kLcdBg;
        r.textColor = kLcdText;
        r.textSize = kLcdSize;
        r.text = "------";
        cs.push_back(r);
    }
    y += 56 + kPad;

    cs.push_back(box(ELOAD_MAIN_FRAME_SET, y, kPad, kLabel + 2 * kH + 3 * kPad - 4, x(3) - gap - kPad));
    y += kPad + kLabel - 4;
    cs.push_back(at(choice(ELOAD_MAIN_MODE, "Operating mode", mode_items(), "range_control_cb"), y, x(0) + 8, col - 8));
    UiCtrlDef level = at(num(ELOAD_MAIN_LEVEL, "Level (V, A, \xCE\xA9 or W)", VAL_FLOAT, 4, "range_control_cb"), y,
        x(1) + 4, col - 8);
    level.increment = 0.1;
    cs.push_back(level);
    cs.push_back(at(choice(ELOAD_MAIN_RANGE, "Current range", ui_items({{"Low", 0}, {"High", 1}}), "range_control_cb"),
        y, x(2), col - 8));
    y += kH + kPad;
    cs.push_back(at(sw(ELOAD_MAIN_INPUT, "", "INPUT: ON", "INPUT: OFF", "input_cb"), y, x(0) + 8, col - 8));
    cs.push_back(at(sw(ELOAD_MAIN_SHORT, "", "SHORT: ON", "SHORT: OFF", "input_cb"), y, x(1) + 4, col - 8));
    cs.push_back(at(sw(ELOAD_MAIN_RANGE_CTRL, "", "AUTO RANGE: on", "AUTO RANGE: off", "range_control_cb"), y, x(2),
        col - 8));
    y += kH + 2 * kPad + 4;

    cs.push_back(at(sw(ELOAD_MAIN_TRAN, "", "TRANSIENT", "TRANSIENT", "tran_panel_cb"), y, x(0), col));
    cs.push_back(at(sw(ELOAD_MAIN_PROT, "", "PROTECTION", "PROTECTION", "prot_panel_cb"), y, x(1), col));
    cs.push_back(at(sw(ELOAD_MAIN_OPTI, "", "OPTIONS", "OPTIONS", "opti_panel_cb"), y, x(2), col));
    y += kH + kPad;

    UiCtrlDef idn = at(make(ELOAD_MAIN_IDN, UiCtrlKind::TextMsg, VAL_STRING, "", "panel_size_cb"), y, kPad,
        x(3) - gap - kPad);
    idn.height = 20;
    idn.mode = VAL_INDICATOR;
    cs.push_back(idn);
    y += 20 + kPad + kLabel;

    UiCtrlDef deadline = at(num(ELOAD_MAIN_DEADLINE, "Next cycle due at tick (ms)", VAL_INTEGER, 0), y, kPad, 170);
    deadline.mode = VAL_INDICATOR;
    deadline.min = -2147483648.0;
    deadline.max = 2147483647.0;
    deadline.visible = false;
    cs.push_back(deadline);
    UiCtrlDef hint = at(make(ELOAD_MAIN_HINT, UiCtrlKind::TextMsg, VAL_STRING, ""), y + 4, x(1), 2 * col + gap);
    hint.height = 20;
    hint.mode = VAL_INDICATOR;
    hint.text = "right double-click: a readout pauses, this line folds";
    cs.push_back(hint);
    cs.push_back(box(ELOAD_MAIN_SIZE, y + kH + 4, kPad, 1, x(3) - gap - kPad));
    p.height = y + kH + 20;
    return p;
}

// Panel 1.  Lamps of the questionable bits in two columns, the operation bits
// in a third, the clear and close buttons below.
UiPanelDef alarm_panel()
{
    UiPanelDef p{.id = ELOAD_ALARM, .title = "Load Status", .top = 440, .left = 800, .callback = "panel_close"};
    const std::vector<std::pair<int, const char*>> ques = {{0, "Over-voltage"}, {1, "Over-current"},
        {2, "Over-power"}, {3, "Under-voltage"}, {4, "Under-current"}, {5, "Under-power"}, {6, "Over-temperature"},
        {7, "Oscillation"}, {8, "Waiting for Von"}, {9, "Current limit"}, {10, "Power limit"},
        {11, "Heat sink warm"}, {12, "Questionable 12"}, {14, "Questionable 14"}, {15, "Questionable 15"}};
    const std::vector<std::pair<int, const char*>> oper = {{10, "Input on"}, {11, "Short on"},
        {12, "Transient running"}, {13, "Step list running"}, {14, "Transient level"}, {15, "Awaiting trigger"}};
    constexpr int pitch = 26, colWidth = 170, first = kPad + 30;
    for (auto [id, text, left] : {std::tuple{ELOAD_ALARM_QUES_TITLE, "QUESTIONABLE", kPad},
             std::tuple{ELOAD_ALARM_OPER_TITLE, "OPERATION", kPad + 2 * colWidth + 10}}) {
        UiCtrlDef t = at(make(id, UiCtrlKind::TextMsg, VAL_STRING, ""), kPad, left, colWidth);
        t.height = 20;
        t.text = text;
        t.mode = VAL_INDICATOR;
        p.controls.push_back(t);
    }
    int row = 0;
    for (const auto& [bit, label] : ques) {
        p.controls.push_back(lamp(ELOAD_ALARM_QUES + bit, label, first + (row % 8) * pitch, kPad + (row / 8) * colWidth));
        ++row;
    }
    row = 0;
    for (const auto& [bit, label] : oper)
        p.controls.push_back(lamp(ELOAD_ALARM_OPER + bit, label, first + row++ * pitch, kPad + 2 * colWidth + 10));
    const int y = first + 8 * pitch + 4;
    p.controls.push_back(at(sw(ELOAD_ALARM_CLEAR, "", "CLEAR ALARM", "CLEAR ALARM", "alarm_panel_cb"), y, kPad, 150));
    p.controls.push_back(at(sw(ELOAD_ALARM_CLOSE, "", "CLOSE", "CLOSE", "alarm_panel_cb"), y, kPad + 3 * colWidth - 100,
        100));
    p.width = kPad + 3 * colWidth + 20;
    p.height = y + kH + kPad;
    return p;
}

// Panel 5.  Transient settings in three columns; the step list below the
// step-list toggle.
UiPanelDef tran_panel()
{
    constexpr int col = 170, gap = 12;
    auto x = [](int n) { return kPad + n * (col + gap); };
    UiPanelDef p{.id = ELOAD_TRAN, .title = "Transient", .top = 40, .left = 720, .callback = "panel_close"};
    p.width = x(3) - gap + kPad;
    auto& cs = p.controls;
    int y = kPad + kLabel;
    cs.push_back(at(num(ELOAD_TRAN_LEVEL, "Transient level", VAL_FLOAT, 4, "tran_fun_cb"), y, x(0), col));
    cs.push_back(at(choice(ELOAD_TRAN_MODE, "Transient mode",
                        ui_items({{"Continuous", 0}, {"Pulse", 1}, {"Step list", 2}}), "tran_fun_cb"),
        y, x(1), col));
    cs.push_back(at(sw(ELOAD_TRAN_ON, "", "TRANSIENT: ON", "TRANSIENT: OFF", "tran_fun_cb"), y, x(2), col));
    y += kH + kLabel + 4;
    cs.push_back(at(num(ELOAD_TRAN_FREQ, "Frequency (Hz)", VAL_FLOAT, 2, "tran_fun_cb"), y, x(0), col));
    cs.push_back(at(num(ELOAD_TRAN_DUTY, "Duty (%)", VAL_INTEGER, 0, "tran_fun_cb"), y, x(1), col));
    cs.push_back(at(num(ELOAD_TRAN_WIDTH, "Width (ms)", VAL_FLOAT, 3, "tran_fun_cb"), y, x(2), col));
    y += kH + kLabel + 4;
    cs.push_back(at(num(ELOAD_TRAN_SLEW_POS, "Rising slew (A/\xC2\xB5s)", VAL_FLOAT, 3, "tran_fun_cb"), y, x(0), col));
    cs.push_back(at(num(ELOAD_TRAN_SLEW_NEG, "Falling slew (A/\xC2\xB5s)", VAL_FLOAT, 3, "tran_fun_cb"), y, x(1), col));
    cs.push_back(at(num(ELOAD_TRAN_PINT, "Pulse interval (ms)", VAL_INTEGER, 0, "tran_fun_cb"), y, x(2), col));
    y += kH + kLabel + 4;
    cs.push_back(at(num(ELOAD_TRAN_COUNT, "Step list passes (0: endless)", VAL_INTEGER, 0, "tran_fun_cb"), y, x(0), col));
    y += kH + kPad;
    cs.push_back(at(sw(ELOAD_TRAN_STEP, "", "STEP LIST \xE2\x96\xB4", "STEP LIST \xE2\x96\xBE", "tran_fun_cb"), y, x(0),
        col));
    y += kH + kPad + kLabel;
    cs.push_back(at(choice(ELOAD_TRAN_STEP_MODE, "List of mode", mode_items(), "step_access_cb"), y, x(0), col));
    UiCtrlDef list = at(make(ELOAD_TRAN_STEP_LIST, UiCtrlKind::ListBox, VAL_INTEGER, "", "step_access_cb"), y, x(1), 2 * col + gap);
    list.height = 200;
    cs.push_back(list);
    UiCtrlDef entry = at(num(ELOAD_TRAN_STEP_ENTRY, "Entry", VAL_INTEGER, 0, "step_access_cb"), y + kH + kLabel + 4, x(0), col);
    entry.min = entry.max = entry.value = 1; // until a list is read
    cs.push_back(entry);
    cs.push_back(at(num(ELOAD_TRAN_STEP_VALUE, "Value", VAL_FLOAT, 4, "step_access_cb"), y + 2 * (kH + kLabel + 4), x(0), col));
    cs.push_back(at(num(ELOAD_TRAN_STEP_TIME, "Dwell time (ms)", VAL_INTEGER, 0, "step_access_cb"), y + 3 * (kH + kLabel + 4), x(0),
        col));
    cs.push_back(box(ELOAD_TRAN_STEP_END, y + 200 + 4, kPad, 1, x(3) - gap - kPad));
    p.height = y + 200 + 10;
    return p;
}

// Panel 4.  One row per limit: its switch, level and delay; then Von and the
// oscillation protection.
UiPanelDef prot_panel()
{
    UiPanelDef p{.id = ELOAD_PROT, .title = "Protection", .top = 410, .left = 40, .callback = "panel_close"};
    constexpr int pitch = kH + 8;
    const char* names[ELOAD_PROT_ROWS] = {"Over-voltage", "Under-voltage", "Over-current", "Under-current",
        "Over-power", "Under-power"};
    const char* units[ELOAD_PROT_ROWS + 1] = {"V", "V", "A", "A", "W", "W", "V"};
    auto unit = [&p, &units](int row, int top) {
        UiCtrlDef u = at(make(ELOAD_PROT_UNIT + row, UiCtrlKind::TextMsg, VAL_STRING, ""), top + 4, 284, 14);
        u.height = 20;
        u.text = units[row];
        u.mode = VAL_INDICATOR;
        p.controls.push_back(u);
    };
    int y = kPad + kLabel;
    for (int r = 0; r < ELOAD_PROT_ROWS; ++r, y += pitch) {
        const int base = ELOAD_PROT_ROW + 3 * r;
        const bool first = r == 0;
        p.controls.push_back(at(sw(base + ELOAD_PROT_SWITCH, names[r], "ON", "OFF", "prot_fun_cb"), y, kPad, 140));
        p.controls.push_back(at(num(base + ELOAD_PROT_LEVEL, first ? std::string("Level") : "", VAL_FLOAT, 3, "prot_fun_cb"), y, 160,
            120));
        p.controls.push_back(at(num(base + ELOAD_PROT_DELAY, first ? "Delay (ms)" : "", VAL_INTEGER, 0, "prot_fun_cb"), y, 300, 110));
        unit(r, y);
    }
    p.controls.push_back(at(sw(ELOAD_PROT_VON_SWITCH, "Von", "ON", "OFF", "prot_fun_cb"), y, kPad, 140));
    p.controls.push_back(at(num(ELOAD_PROT_VON_LEVEL, "", VAL_FLOAT, 3, "prot_fun_cb"), y, 160, 120));
    unit(ELOAD_PROT_ROWS, y);
    y += pitch;
    p.controls.push_back(at(sw(ELOAD_PROT_OSC_SWITCH, "Oscillation", "ON", "OFF", "prot_fun_cb"), y, kPad, 140));
    p.controls.push_back(at(num(ELOAD_PROT_OSC_DELAY, "", VAL_INTEGER, 0, "prot_fun_cb"), y, 300, 110));
    p.width = 300 + 110 + kPad;
    p.height = y + kH + kPad;
    return p;
}

// Panel 3.
UiPanelDef opti_panel()
{
    UiPanelDef p{.id = ELOAD_OPTI, .title = "Options", .top = 410, .left = 480, .callback = "panel_close"};
    constexpr int col = 170;
    int y = kPad + kLabel;
    p.controls.push_back(at(choice(ELOAD_OPTI_SENSE, "Voltage sense", ui_items({{"Local", 0}, {"Remote", 1}}), "opti_fun_cb"), y,
        kPad, col));
    p.controls.push_back(at(sw(ELOAD_OPTI_EXT, "External control", "ON", "OFF", "opti_fun_cb"), y, kPad + col + kPad, col));
    y += kH + kLabel + 4;
    p.controls.push_back(at(sw(ELOAD_OPTI_SHORT, "Short function", "ALLOWED", "BLOCKED", "opti_fun_cb"), y, kPad, col));
    p.controls.push_back(at(sw(ELOAD_OPTI_CROS_MODE, "CROS mode", "ON", "OFF", "opti_fun_cb"), y, kPad + col + kPad, col));
    y += kH + kLabel + 4;
    p.controls.push_back(at(sw(ELOAD_OPTI_CROS_RANGE, "CROS range", "ON", "OFF", "opti_fun_cb"), y, kPad, col));
    y += kH + kLabel + 4;
    p.controls.push_back(at(choice(ELOAD_OPTI_TRIG_SOURCE, "Trigger source",
                                ui_items({{"Hold", 0}, {"Bus", 1}, {"External", 2}, {"Ethernet", 3}}), "opti_fun_cb"),
        y, kPad, col));
    p.controls.push_back(at(num(ELOAD_OPTI_TRIG_DELAY, "Trigger delay (ms)", VAL_INTEGER, 0, "opti_fun_cb"), y, kPad + col + kPad,
        col));
    p.width = kPad + 2 * col + 2 * kPad;
    p.height = y + kH + kPad;
    return p;
}

} // namespace

void eloadPanel_register_resource()
{
    ui_register_resource(UiResourceDef{ELOAD_PANEL_FILE,
        {alarm_panel(), main_panel(), opti_panel(), prot_panel(), tran_panel()}, {}});
}
