// The transient, protection and options panels: shown and hidden by their
// toggles on the main panel, and read whole from the instrument each time
// they are shown.
#include "eload/eload.h"
#include "eload/eloadPanel.h"
#include "eload/eload_access.h"
#include "eload/eload_private.h"
#include "ui/resource.h"
#include "ui/toolkit.h"

#include <span>

namespace {

// One control of a sub-panel and the parameter it shows.
struct Row {
    int control;
    int param;
    bool isFloat;
    bool limits;
};

// The rows in the order they are read.
constexpr Row kTranRows[] = {
    {ELOAD_TRAN_LEVEL, ELOAD_F_TLEV, true, true},
    {ELOAD_TRAN_MODE, ELOAD_I_TRAN_MODE, false, false},
    {ELOAD_TRAN_ON, ELOAD_I_TRAN, false, false},
    {ELOAD_TRAN_COUNT, ELOAD_I_STEP_COUNT, false, false},
    {ELOAD_TRAN_DUTY, ELOAD_I_DUTY, false, true},
    {ELOAD_TRAN_PINT, ELOAD_I_PINT_TWID, false, true},
    {ELOAD_TRAN_SLEW_POS, ELOAD_F_SLEW_POS, true, true},
    {ELOAD_TRAN_SLEW_NEG, ELOAD_F_SLEW_NEG, true, true},
    {ELOAD_TRAN_FREQ, ELOAD_F_FREQ, true, true},
    {ELOAD_TRAN_WIDTH, ELOAD_F_TRAN_TWID, true, true},
};

constexpr int prot(int row, int part) { return ELOAD_PROT_ROW + 3 * row + part; }

constexpr Row kProtRows[] = {
    {prot(0, ELOAD_PROT_SWITCH), ELOAD_I_VOLT_PROT_STATE, false, false},
    {prot(0, ELOAD_PROT_LEVEL), ELOAD_F_VOLT_OVER, true, true},
    {prot(0, ELOAD_PROT_DELAY), ELOAD_I_VOLT_OVER_DELAY, false, true},
    {prot(1, ELOAD_PROT_SWITCH), ELOAD_I_VOLT_UND_STATE, false, false},
    {prot(1, ELOAD_PROT_LEVEL), ELOAD_F_VOLT_UND, true, true},
    {prot(1, ELOAD_PROT_DELAY), ELOAD_I_VOLT_UND_DELAY, false, true},
    {prot(2, ELOAD_PROT_SWITCH), ELOAD_I_CURR_PROT_STATE, false, false},
    {prot(2, ELOAD_PROT_LEVEL), ELOAD_F_CURR_OVER, true, true},
    {prot(2, ELOAD_PROT_DELAY), ELOAD_I_CURR_OVER_DELAY, false, true},
    {prot(3, ELOAD_PROT_SWITCH), ELOAD_I_CURR_UND_STATE, false, false},
    {prot(3, ELOAD_PROT_LEVEL), ELOAD_F_CURR_UND, true, true},
    {prot(3, ELOAD_PROT_DELAY), ELOAD_I_CURR_UND_DELAY, false, true},
    {prot(4, ELOAD_PROT_SWITCH), ELOAD_I_POW_PROT_STATE, false, false},
    {prot(4, ELOAD_PROT_LEVEL), ELOAD_F_POW_OVER, true, true},
    {prot(4, ELOAD_PROT_DELAY), ELOAD_I_POW_OVER_DELAY, false, true},
    {prot(5, ELOAD_PROT_SWITCH), ELOAD_I_POW_UND_STATE, false, false},
    {prot(5, ELOAD_PROT_LEVEL), ELOAD_F_POW_UND, true, true},
    {prot(5, ELOAD_PROT_DELAY), ELOAD_I_POW_UND_DELAY, false, true},
    {ELOAD_PROT_VON_SWITCH, ELOAD_I_VON_STATE, false, false},
    {ELOAD_PROT_VON_LEVEL, ELOAD_F_VON, true, true},
    {ELOAD_PROT_OSC_SWITCH, ELOAD_I_OSC_PROT, false, false},
    {ELOAD_PROT_OSC_DELAY, ELOAD_I_OSC_PROT_DELAY, false, true},
};

constexpr Row kOptiRows[] = {
    {ELOAD_OPTI_SENSE, ELOAD_I_MEAS_SENSE, false, false},
    {ELOAD_OPTI_EXT, ELOAD_I_EXT_CONTROL, false, false},
    {ELOAD_OPTI_SHORT, ELOAD_I_SHORT_STATE, false, false},
    {ELOAD_OPTI_CROS_MODE, ELOAD_I_CROS_MODE, false, false},
    {ELOAD_OPTI_CROS_RANGE, ELOAD_I_CROS_RANGE, false, false},
    {ELOAD_OPTI_TRIG_DELAY, ELOAD_I_TRIG_DELAY, false, true},
};

int read_row(int panel, const Row& r)
{
    const int limits = r.limits ? 1 : 0;
    return r.isFloat ? eload_refresh_float(panel, r.control, r.param, limits)
                     : eload_refresh_int(panel, r.control, r.param, limits);
}

// 0 when every row was read, -1 at the first failure.  The transient level
// (the first row) may fail alone: its panel still reads the rest.
int refresh(int panel, std::span<const Row> rows, bool firstMayFail)
{
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!read_row(panel, rows[i]) && !(i == 0 && firstMayFail))
            return -1;
    return 0;
}

void show(int panel, int on)
{
    if (on)
        DisplayPanel(panel);
    else
        HidePanel(panel);
}

// Reads a panel with the wait cursor shown.
int refresh_waiting(int (*read)())
{
    SetWaitCursor(1);
    const int result = read();
    SetWaitCursor(0);
    return result;
}

// Sends a control's value with the set form of its row's parameter.  A value
// the instrument refuses is replaced by the one it holds, when it says.
int send(int panel, int control, std::span<const Row> rows)
{
    const Row* row = nullptr;
    for (const Row& r : rows)
        if (r.control == control)
            row = &r;
    if (row == nullptr)
        return 0;
    int ok = 0;
    if (row->isFloat) {
        float v = 0.0f;
        GetCtrlVal(panel, control, &v);
        ok = eload_access_float(row->param, &v, 0, 0, 1);
    } else {
        int v = 0;
        GetCtrlVal(panel, control, &v);
        ok = eload_access_int(row->param, &v, 0, 0, 1);
    }
    if (ok)
        return 0;
    read_row(panel, Row{row->control, row->param, row->isFloat, false});
    return -1;
}

} // namespace

int eload_tran_refresh() { return refresh(eload_panel(ELOAD_TRAN), kTranRows, true); }
int eload_prot_refresh() { return refresh(eload_panel(ELOAD_PROT), kProtRows, false); }

int eload_opti_refresh()
{
    const int panel = eload_panel(ELOAD_OPTI);
    if (refresh(panel, kOptiRows, false) < 0)
        return -1;
    int source = 0;
    if (!eload_access_trig_source(&source, 0))
        return -1;
    SetCtrlVal(panel, ELOAD_OPTI_TRIG_SOURCE, source);
    return 0;
}

void eload_tran_size(int with_list)
{
    const int panel = eload_panel(ELOAD_TRAN);
    if (panel < 0)
        return;
    const int height = with_list ? eload_bottom_of(panel, ELOAD_TRAN_STEP_END) + 5 : eload_bottom_of(panel, ELOAD_TRAN_STEP) + 10;
    if (height > 0)
        SetPanelAttribute(panel, ATTR_HEIGHT, height);
}

int tran_panel_cb(int panel, int control, int event, void*, int, int)
{
    const int tranP = eload_panel(ELOAD_TRAN);
    if (event != EVENT_COMMIT || tranP < 0)
        return 0;
    const int on = eload_int(panel, control);
    show(tranP, on);
    if (on)
        refresh_waiting(eload_tran_refresh);
    return 0;
}

int prot_panel_cb(int panel, int control, int event, void*, int, int)
{
    const int protP = eload_panel(ELOAD_PROT);
    if (event != EVENT_COMMIT || protP < 0)
        return 0;
    const int on = eload_int(panel, control);
    if (on)
        refresh_waiting(eload_prot_refresh);
    show(protP, on);
    return 0;
}

int opti_panel_cb(int panel, int control, int event, void*, int, int)
{
    const int optiP = eload_panel(ELOAD_OPTI);
    if (event == EVENT_RIGHT_DOUBLE_CLICK) {
        const int mainP = eload_panel(ELOAD_MAIN);
        int visible = 0;
        GetCtrlAttribute(mainP, ELOAD_MAIN_DEADLINE, ATTR_VISIBLE, &visible);
        SetCtrlAttribute(mainP, ELOAD_MAIN_DEADLINE, ATTR_VISIBLE, visible ? 0 : 1);
        return 0;
    }
    if (event != EVENT_COMMIT || optiP < 0)
        return 0;
    const int on = eload_int(panel, control);
    show(optiP, on);
    if (on)
        refresh_waiting(eload_opti_refresh);
    return 0;
}

int tran_fun_cb(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (control == ELOAD_TRAN_STEP) {
        const int on = eload_int(panel, control);
        if (on)
            eload_step_open();
        eload_tran_size(on);
        return 0;
    }
    if (send(panel, control, kTranRows) < 0)
        return -1;
    // Frequency and width share the period: the instrument moves the other.
    if (control == ELOAD_TRAN_FREQ)
        return eload_refresh_float(panel, ELOAD_TRAN_WIDTH, ELOAD_F_TRAN_TWID, 0) ? 0 : -1;
    if (control == ELOAD_TRAN_WIDTH)
        return eload_refresh_float(panel, ELOAD_TRAN_FREQ, ELOAD_F_FREQ, 0) ? 0 : -1;
    return 0;
}

int prot_fun_cb(int panel, int control, int event, void*, int, int)
{
    return event == EVENT_COMMIT ? send(panel, control, kProtRows) : 0;
}

int opti_fun_cb(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (control != ELOAD_OPTI_TRIG_SOURCE)
        return send(panel, control, kOptiRows);
    int source = 0;
    GetCtrlVal(panel, control, &source);
    if (eload_access_trig_source(&source, 1))
        return 0;
    if (eload_access_trig_source(&source, 0))
        SetCtrlVal(panel, control, source);
    return -1;
}

void eload_register()
{
    eloadPanel_register_resource();
    struct Ctrl {
        const char* name;
        CtrlCallbackPtr fn;
    };
    const Ctrl ctrls[] = {
        {"input_cb", input_cb},
        {"range_control_cb", range_control_cb},
        {"meter_cb", meter_cb},
        {"panel_size_cb", panel_size_cb},
        {"status_event_cb", status_event_cb},
        {"alarm_panel_cb", alarm_panel_cb},
        {"tran_panel_cb", tran_panel_cb},
        {"prot_panel_cb", prot_panel_cb},
        {"opti_panel_cb", opti_panel_cb},
        {"tran_fun_cb", tran_fun_cb},
        {"prot_fun_cb", prot_fun_cb},
        {"opti_fun_cb", opti_fun_cb},
        {"step_access_cb", step_access_cb},
    };
    for (const Ctrl& c : ctrls)
        ui_register_ctrl_callback(c.name, c.fn);
    ui_register_panel_callback("eload_stop", eload_stop);
    ui_register_panel_callback("panel_close", panel_close);
}
