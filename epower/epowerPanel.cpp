#include "epower/epowerPanel.h"

#include "ui/resource.h"

#include <string>
#include <utility>

namespace {

constexpr int kMargin = 14, kRow = 26, kPanelTop = 40;
// The readout's colours: a green display on a dark face.
constexpr int kLcdBg = 0x10261A, kLcdText = 0x5CF08A;

UiPanelDef panel_def(int id, const char* title, int top, int left, int width, int height, const char* callback)
{
    return UiPanelDef{.id = id, .title = title, .top = top, .left = left, .height = height, .width = width, .callback = callback};
}

UiCtrlDef number(int id, int dataType, std::string label, int top, int left, int width, int precision,
    std::string callback)
{
    UiCtrlDef n = UiCtrlDef{.id = id, .kind = UiCtrlKind::Numeric, .dataType = dataType, .label = std::move(label), .top = top, .left = left, .height = kRow, .width = width};
    n.precision = precision;
    n.increment = precision > 0 ? 0.1 : 1.0;
    n.callback = std::move(callback);
    return n;
}

UiCtrlDef toggle(int id, std::string label, const char* on, const char* off, int top, int left, int width,
    std::string callback)
{
    UiCtrlDef t = UiCtrlDef{.id = id, .kind = UiCtrlKind::Toggle, .dataType = VAL_INTEGER, .label = std::move(label), .top = top, .left = left, .height = kRow, .width = width};
    t.onText = on;
    t.offText = off;
    t.callback = std::move(callback);
    return t;
}

UiCtrlDef lamp(int id, std::string label, int top, int left)
{
    UiCtrlDef l = UiCtrlDef{.id = id, .kind = UiCtrlKind::Led, .dataType = VAL_INTEGER, .label = std::move(label), .top = top, .left = left, .height = 20, .width = 20};
    l.mode = VAL_INDICATOR;
    return l;
}

UiCtrlDef heading(int id, std::string text, int top, int left, int width)
{
    UiCtrlDef t = UiCtrlDef{.id = id, .kind = UiCtrlKind::TextMsg, .dataType = VAL_STRING, .top = top, .left = left, .height = 20, .width = width};
    t.text = std::move(text);
    t.mode = VAL_INDICATOR;
    return t;
}

// Output readout, the set points and the output switch, the status lamps, and
// the switches of the two sub-panels.
UiPanelDef main_panel()
{
    UiPanelDef p = panel_def(EPOWER_MAIN_PANEL, "imbench - DC Power Supply", kPanelTop, 30, 600, 300, "epower_stop");
    auto& cs = p.controls;

    cs.push_back(heading(EPOWER_MAIN_IDN, "", 10, kMargin, 600 - 2 * kMargin));

    UiCtrlDef readout = UiCtrlDef{.id = EPOWER_MAIN_READOUT, .kind = UiCtrlKind::TextMsg, .dataType = VAL_STRING, .top = 40, .left = kMargin, .height = 76, .width = 400};
    readout.text = "  ----V    ----A";
    readout.mode = VAL_INDICATOR;
    readout.bgColor = kLcdBg;
    readout.textColor = kLcdText;
    readout.textSize = 30;
    readout.callback = "epower_meter_cb";
    cs.push_back(readout);

    constexpr int statusLeft = 440;
    cs.push_back(heading(EPOWER_MAIN_STATUS_HEAD, "STATUS", 40, statusLeft, 120));
    cs.push_back(lamp(EPOWER_MAIN_CV, "CV  constant voltage", 66, statusLeft));
    cs.push_back(lamp(EPOWER_MAIN_CC, "CC  constant current", 92, statusLeft));
    UiCtrlDef alarm = lamp(EPOWER_MAIN_ALARM, "ALARM  (click)", 118, statusLeft);
    alarm.callback = "epower_status_event_cb";
    cs.push_back(alarm);

    cs.push_back(UiCtrlDef{.id = EPOWER_MAIN_FRAME, .kind = UiCtrlKind::Decoration, .dataType = VAL_NO_TYPE, .top = 150, .left = kMargin - 4, .height = 84, .width = 600 - 2 * kMargin + 8});
    cs.push_back(heading(EPOWER_MAIN_SET_HEAD, "SETTINGS", 154, kMargin, 200));
    UiCtrlDef vset = number(EPOWER_MAIN_VSET, VAL_FLOAT, "VOLTAGE SET (V)", 198, kMargin, 170, 3, "epower_viset");
    vset.min = 0.0;
    vset.max = 0.0;
    cs.push_back(vset);
    UiCtrlDef iset = number(EPOWER_MAIN_ISET, VAL_FLOAT, "CURRENT SET (A)", 198, kMargin + 190, 170, 3, "epower_viset");
    iset.min = 0.0;
    iset.max = 0.0;
    cs.push_back(iset);
    UiCtrlDef output = toggle(EPOWER_MAIN_OUTPUT, "", "OUTPUT  ON", "OUTPUT  OFF", 186, 420, 166, "epower_output_cb");
    output.height = 40;
    cs.push_back(output);

    cs.push_back(toggle(EPOWER_MAIN_PROT, "", "PROTECTION  <<", "PROTECTION  >>", 252, kMargin, 170, "epower_prot_panel_cb"));
    cs.push_back(toggle(EPOWER_MAIN_LIST, "", "LIST  <<", "LIST  >>", 252, kMargin + 190, 170, "epower_step_panel_cb"));
    UiCtrlDef deadline = number(EPOWER_MAIN_DEADLINE, VAL_INTEGER, "", 252, 420, 166, 0, "");
    deadline.mode = VAL_INDICATOR;
    deadline.visible = false;
    cs.push_back(deadline);
    return p;
}

UiPanelDef protection_panel()
{
    UiPanelDef p = panel_def(EPOWER_PROT_PANEL, "Supply protection", kPanelTop, 650, 380, 190, "epower_panel_close");
    struct Row {
        int state, level;
        const char *name, *label;
    };
    const Row rows[] = {
        {EPOWER_PROT_OVP_STATE, EPOWER_PROT_OVP_LEVEL, "OVP", "OVER-VOLTAGE LEVEL (V)"},
        {EPOWER_PROT_UVP_STATE, EPOWER_PROT_UVP_LEVEL, "UVP", "UNDER-VOLTAGE LEVEL (V)"},
        {EPOWER_PROT_OCP_STATE, EPOWER_PROT_OCP_LEVEL, "OCP", "OVER-CURRENT LEVEL (A)"},
    };
    int top = 34;
    for (const Row& r : rows) {
        const std::string on = std::string(r.name) + "  ON", off = std::string(r.name) + "  OFF";
        p.controls.push_back(toggle(r.state, "", on.c_str(), off.c_str(), top, kMargin, 120, "epower_prot_fun_cb"));
        UiCtrlDef level = number(r.level, VAL_FLOAT, r.label, top, 160, 200, 3, "epower_prot_fun_cb");
        level.min = 0.0;
        level.max = 0.0;
        p.controls.push_back(level);
        top += 52;
    }
    return p;
}

UiPanelDef list_panel()
{
    UiPanelDef p = panel_def(EPOWER_LIST_PANEL, "Supply list", 270, 650, 560, 440, "epower_panel_close");
    auto& cs = p.controls;
    constexpr const char* cb = "epower_step_fun_cb";

    UiCtrlDef type = UiCtrlDef{.id = EPOWER_LIST_TYPE, .kind = UiCtrlKind::Ring, .dataType = VAL_INTEGER, .label = "LIST", .top = 30, .left = kMargin, .height = kRow, .width = 140};
    type.items = ui_items({{"Voltage list", 0}, {"Current list", 1}});
    type.callback = cb;
    cs.push_back(type);
    cs.push_back(toggle(EPOWER_LIST_STATE, "", "LIST  RUNS", "LIST  OFF", 30, 168, 120, cb));
    UiCtrlDef count = number(EPOWER_LIST_COUNT, VAL_INTEGER, "PASSES (0: endless)", 30, 302, 110, 0, cb);
    count.min = 0;
    count.max = 65535;
    cs.push_back(count);
    UiCtrlDef unit = UiCtrlDef{.id = EPOWER_LIST_TIME_UNIT, .kind = UiCtrlKind::Ring, .dataType = VAL_INTEGER, .label = "TIME UNIT", .top = 30, .left = 426, .height = kRow, .width = 120};
    unit.items = ui_items({{"0  (ms)", 0}, {"1  (s)", 1}});
    unit.callback = cb;
    cs.push_back(unit);

    UiCtrlDef box = UiCtrlDef{.id = EPOWER_LIST_BOX, .kind = UiCtrlKind::ListBox, .dataType = VAL_INTEGER, .label = "NO.          VALUE            TIME", .top = 90, .left = kMargin, .height = 334, .width = 300};
    box.callback = cb;
    cs.push_back(box);

    constexpr int editLeft = 340;
    UiCtrlDef entry = number(EPOWER_LIST_ENTRY, VAL_INTEGER, "ENTRY", 90, editLeft, 120, 0, cb);
    entry.min = 1;
    entry.max = 1;
    entry.value = 1;
    cs.push_back(entry);
    UiCtrlDef value = number(EPOWER_LIST_VALUE, VAL_FLOAT, "VALUE (V or A)", 142, editLeft, 200, 4, cb);
    value.min = 0.0;
    value.max = 0.0;
    cs.push_back(value);
    UiCtrlDef time = number(EPOWER_LIST_TIME, VAL_INTEGER, "DWELL TIME (units)", 194, editLeft, 200, 0, cb);
    time.min = 0;
    time.max = 99999;
    cs.push_back(time);
    return p;
}

UiPanelDef alarm_panel()
{
    UiPanelDef p = panel_def(EPOWER_ALARM_PANEL, "Supply alarms", 390, 30, 600, 236, "epower_panel_close");
    auto& cs = p.controls;
    const char* ques[] = {"b0  over-voltage", "b1  over-current", "b4  over-temperature",
        "b9  under-voltage", "b10  list running", "b12  power limit"};
    const char* ext[] = {"b0  hot", "b1  OVP below set", "b2  OCP below set", "b3  UVP above set",
        "b5  list aborted", "b15  protection"};
    cs.push_back(heading(EPOWER_ALARM_QUES_HEAD, "QUESTIONABLE STATUS", 12, kMargin, 260));
    cs.push_back(heading(EPOWER_ALARM_EXT_HEAD, "EXTENDED STATUS", 12, 310, 260));
    for (int i = 0; i < 6; ++i) {
        cs.push_back(lamp(EPOWER_ALARM_LAMP0 + i, ques[i], 40 + 24 * i, kMargin));
        cs.push_back(lamp(EPOWER_ALARM_LAMP0 + 6 + i, ext[i], 40 + 24 * i, 310));
    }
    UiCtrlDef clear = UiCtrlDef{.id = EPOWER_ALARM_CLEAR, .kind = UiCtrlKind::Button, .dataType = VAL_NO_TYPE, .label = "CLEAR PROTECTION", .top = 196, .left = 300, .height = 28, .width = 160};
    clear.callback = "epower_alarm_panel_cb";
    cs.push_back(clear);
    UiCtrlDef close = UiCtrlDef{.id = EPOWER_ALARM_CLOSE, .kind = UiCtrlKind::Button, .dataType = VAL_NO_TYPE, .label = "CLOSE", .top = 196, .left = 476, .height = 28, .width = 110};
    close.callback = "epower_alarm_panel_cb";
    cs.push_back(close);
    return p;
}

} // namespace

void epowerPanel_register_resource()
{
    UiResourceDef def;
    def.file = EPOWER_PANEL_FILE;
    def.panels = {alarm_panel(), main_panel(), protection_panel(), list_panel()};
    ui_register_resource(def);
}
