#include "epower/epower.h"

#include "epower/epowerPanel.h"
#include "epower/epower_private.h"
#include "link/ifp.h"
#include "link/panel_cycle.h"
#include "link/scpi.h"
#include "ui/resource.h"
#include "ui/toolkit.h"
#include "util/timer.h"

#include <cstdio>
#include <cstring>
#include <utility>

const char* const epower_int_headers[EPOWER_INT_PARAMS] = {
    "OUTP",
    "STAT:QUES",
    "STAT:QUES:EXT",
    "OUTP:PROT:CLE",
    "VOLT:PROT:STAT",
    "UND:PROT:STAT",
    "CURR:PROT:STAT",
    "LIST:COUNT",
    "LIST:TIME:UNIT",
    "LIST:CURR:STAT",
    "LIST:VOLT:STAT",
};

const char* const epower_float_headers[EPOWER_FLOAT_PARAMS] = {
    "MEAS:VOLT",
    "MEAS:CURR",
    "VSET",
    "ISET",
    "VOLT:PROT",
    "VOLT:PROT:UND",
    "CURR:PROT",
};

namespace {

struct EpowerState {
    int mainP = -1, protP = -1, listP = -1, alarmP = -1;
    int refreshed = 0;
    int active = 0;
    int deadline = 0;
    int blink = 0;
    int meter = 1;
    int ques = 0, ext = 0; // the last status read, for an alarm panel opened between cycles
    PanelCycleWatch watch;
};

EpowerState st;

constexpr const char* kNoAnswer = "The power supply stopped answering. The link was closed.";

void alarm_show()
{
    if (st.alarmP < 0)
        return;
    for (int i = 0; i < 6; ++i) {
        SetCtrlVal(st.alarmP, EPOWER_ALARM_LAMP0 + i, (st.ques >> EPOWER_ALARM_QUES_BITS[i]) & 1);
        SetCtrlVal(st.alarmP, EPOWER_ALARM_LAMP0 + 6 + i, (st.ext >> EPOWER_ALARM_EXT_BITS[i]) & 1);
    }
}

// One cycle's exchanges; 0 when one of them failed.
int cycle()
{
    float volts = 0.0f, amps = 0.0f;
    if (!epower_access_float(EPOWER_MEAS_VOLT, &volts, 0, 0, 0) || !epower_access_float(EPOWER_MEAS_CURR, &amps, 0, 0, 0))
        return 0;
    char v[12], a[12], line[32];
    epower_readout_text(volts, 'V', v, sizeof v);
    epower_readout_text(amps, 'A', a, sizeof a);
    std::snprintf(line, sizeof line, "%s  %s", v, a);
    SetCtrlVal(st.mainP, EPOWER_MAIN_READOUT, line);

    int ques = 0;
    if (!epower_access_int(EPOWER_STAT_QUES, &ques, 0, 0, 0))
        return 0;
    const int on = (ques & EPOWER_QUES_OUTPUT) != 0 ? 1 : 0;
    SetCtrlVal(st.mainP, EPOWER_MAIN_OUTPUT, on);
    SetCtrlVal(st.mainP, EPOWER_MAIN_CV, on != 0 && (ques & EPOWER_QUES_CV) != 0 ? 1 : 0);
    SetCtrlVal(st.mainP, EPOWER_MAIN_CC, on != 0 && (ques & EPOWER_QUES_CC) != 0 ? 1 : 0);
    SetCtrlVal(st.mainP, EPOWER_MAIN_ALARM, panel_alarm_blink((ques & EPOWER_QUES_ALARMS) != 0, st.blink));

    int ext = 0;
    if ((ques & EPOWER_QUES_EXTENDED) != 0 && !epower_access_int(EPOWER_STAT_QUES_EXT, &ext, 0, 0, 0))
        return 0;
    st.ques = ques;
    st.ext = ext;
    alarm_show();
    return 1;
}

// The main panel read from the instrument; ends at the first failure.
void main_refresh()
{
    char idn[SCPI_LINE_SIZE];
    if (!scpi_query_text("*IDN?", idn))
        return;
    SetCtrlVal(st.mainP, EPOWER_MAIN_IDN, idn);
    if (!scpi_refresh_float(st.mainP, EPOWER_MAIN_VSET, epower_float_headers[EPOWER_VSET], 1) ||
        !scpi_refresh_float(st.mainP, EPOWER_MAIN_ISET, epower_float_headers[EPOWER_ISET], 1))
        return;
    scpi_refresh_int(st.mainP, EPOWER_MAIN_OUTPUT, epower_int_headers[EPOWER_OUTP], 0);
}

void discard(int& panel)
{
    if (panel >= 0)
        DiscardPanel(panel);
    panel = -1;
}

// A toggle switched off as the user would, its callback run.
void switch_off(int control, CtrlCallbackPtr callback)
{
    SetCtrlVal(st.mainP, control, 0);
    callback(st.mainP, control, EVENT_COMMIT, nullptr, 0, 0);
}

} // namespace

void epower_readout_text(float value, char unit, char* out, std::size_t size)
{
    char number[64];
    std::snprintf(number, sizeof number, "%.3f", static_cast<double>(value));
    char fit[8];
    if (panel_readout_fit(number, 5, fit, sizeof fit) == 0) {
        panel_readout_fit(number, 4, fit, sizeof fit);
        std::snprintf(out, size, "%s %c", fit, unit);
    } else if (std::strlen(fit) == 5 && fit[4] == '.') {
        std::snprintf(out, size, "%.4s%c ", fit, unit); // the unit takes the point's place
    } else {
        std::snprintf(out, size, "%s%c", fit, unit);
    }
}

int epower_access_int(int param, int* value, int max, int min, int set)
{
    if (param < 0 || param >= EPOWER_INT_PARAMS)
        return 0;
    return scpi_access_int(epower_int_headers[param], value, max, min, set);
}

int epower_access_float(int param, float* value, int max, int min, int set)
{
    if (param < 0 || param >= EPOWER_FLOAT_PARAMS)
        return 0;
    return scpi_access_float(epower_float_headers[param], value, max, min, set);
}

int epower_access_list(int list, int entry, float* value, int* time, int time_flag, int max, int min, int set)
{
    return scpi_access_list(list == 0 ? "LIST:VOLT" : "LIST:CURR", entry, value, time, time_flag, max, min, set);
}

void epower_list_show_row(int row, float value, int time, int insert, int header)
{
    if (st.listP >= 0)
        scpi_list_show_row(st.listP, EPOWER_LIST_BOX, row, value, time, insert, header);
}

namespace {

// The set form of a parameter with the control's value; when the supply
// refuses it, the control is given what the supply kept.
template <typename T, typename Access, typename Refresh>
int send_control(int panel, int control, const char* header, Access access, Refresh refresh)
{
    T value{};
    GetCtrlVal(panel, control, &value);
    if (access(header, &value, 0, 0, 1))
        return 1;
    refresh(panel, control, header, 0);
    return 0;
}

} // namespace

int epower_send_int(int panel, int control, int param)
{
    return param >= 0 && param < EPOWER_INT_PARAMS
        ? send_control<int>(panel, control, epower_int_headers[param], scpi_access_int, scpi_refresh_int)
        : 0;
}

int epower_send_float(int panel, int control, int param)
{
    return param >= 0 && param < EPOWER_FLOAT_PARAMS
        ? send_control<float>(panel, control, epower_float_headers[param], scpi_access_float, scpi_refresh_float)
        : 0;
}

int epower_open()
{
    if (st.mainP >= 0)
        return 1;
    const int ids[] = {EPOWER_MAIN_PANEL, EPOWER_PROT_PANEL, EPOWER_LIST_PANEL};
    int* handles[] = {&st.mainP, &st.protP, &st.listP};
    for (int i = 0; i < 3; ++i) {
        const int h = LoadPanel(0, EPOWER_PANEL_FILE, ids[i]);
        if (h < 0)
            return 0;
        *handles[i] = h;
    }
    st.refreshed = 0;
    st.watch = {};
    epower_list_forget();
    return 1;
}

void epower_active(int on)
{
    if (st.mainP < 0)
        return;
    st.active = on;
    if (on == 1) {
        if (st.refreshed == 0) {
            main_refresh();
            st.refreshed = 1;
        }
        DisplayPanel(st.mainP);
        return;
    }
    switch_off(EPOWER_MAIN_LIST, epower_step_panel_cb);
    switch_off(EPOWER_MAIN_PROT, epower_prot_panel_cb);
    HidePanel(st.mainP);
}

void epower_close()
{
    epower_active(0);
    st.refreshed = 0;
    epower_list_forget();
}

void epower_quit()
{
    discard(st.mainP);
    discard(st.listP);
    discard(st.protP);
    discard(st.alarmP);
    st.active = 0;
    st.refreshed = 0;
}

void epower_measure()
{
    if (st.mainP < 0)
        return;
    SetCtrlVal(st.mainP, EPOWER_MAIN_DEADLINE, st.deadline);
    if (timer_timeout(st.deadline) == 0)
        return;
    st.deadline = timer_deadline(EPOWER_CYCLE_MS);
    st.blink ^= 1;
    // Nothing is asked of a link that is not open: its failures would be counted.
    if (st.meter == 0 || ifp_get_ifready() == 0)
        return;
    const unsigned unanswered = scpi_unanswered();
    const int done = cycle();
    panel_cycle_outcome(&st.watch, done != 0 || scpi_unanswered() == unanswered, kNoAnswer);
}

int epower_main()
{
    epower_measure();
    return st.active == 1 ? 1 : 0;
}

int epower_panel_main() { return st.mainP; }
int epower_panel_prot() { return st.protP; }
int epower_panel_list() { return st.listP; }
int epower_panel_alarm() { return st.alarmP; }

int epower_stop(int, int event, void*, int, int)
{
    if (event == EVENT_CLOSE)
        st.active = 0;
    return 0;
}

int epower_panel_close(int panel, int event, void*, int, int)
{
    if (event != EVENT_CLOSE)
        return 0;
    if (panel == st.protP && st.protP >= 0)
        switch_off(EPOWER_MAIN_PROT, epower_prot_panel_cb);
    else if (panel == st.listP && st.listP >= 0)
        switch_off(EPOWER_MAIN_LIST, epower_step_panel_cb);
    else if (panel == st.alarmP && st.alarmP >= 0)
        epower_alarm_panel_cb(panel, EPOWER_ALARM_CLOSE, EVENT_COMMIT, nullptr, 0, 0);
    return 0;
}

int epower_output_cb(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    return epower_send_int(panel, control, EPOWER_OUTP) != 0 ? 0 : -1;
}

int epower_viset(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || (control != EPOWER_MAIN_VSET && control != EPOWER_MAIN_ISET))
        return 0;
    return epower_send_float(panel, control, control == EPOWER_MAIN_VSET ? EPOWER_VSET : EPOWER_ISET) != 0 ? 0 : -1;
}

int epower_meter_cb(int, int, int event, void*, int, int)
{
    if (event == EVENT_RIGHT_DOUBLE_CLICK)
        st.meter ^= 1;
    return 0;
}

int epower_status_event_cb(int, int, int event, void*, int, int)
{
    if (event != EVENT_LEFT_CLICK || st.alarmP >= 0)
        return 0;
    const int h = LoadPanel(0, EPOWER_PANEL_FILE, EPOWER_ALARM_PANEL);
    if (h < 0)
        return 0;
    st.alarmP = h;
    alarm_show();
    DisplayPanel(st.alarmP);
    return 0;
}

int epower_alarm_panel_cb(int, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || st.alarmP < 0)
        return 0;
    if (control == EPOWER_ALARM_CLEAR)
        return epower_access_int(EPOWER_OUTP_PROT_CLE, nullptr, 0, 0, 1) != 0 ? 0 : -1;
    if (control == EPOWER_ALARM_CLOSE)
        discard(st.alarmP);
    return 0;
}

void epower_register_all()
{
    epowerPanel_register_resource();
    const std::pair<const char*, CtrlCallbackPtr> controls[] = {
        {"epower_output_cb", epower_output_cb},
        {"epower_viset", epower_viset},
        {"epower_meter_cb", epower_meter_cb},
        {"epower_status_event_cb", epower_status_event_cb},
        {"epower_alarm_panel_cb", epower_alarm_panel_cb},
        {"epower_prot_panel_cb", epower_prot_panel_cb},
        {"epower_step_panel_cb", epower_step_panel_cb},
        {"epower_prot_fun_cb", epower_prot_fun_cb},
        {"epower_step_fun_cb", epower_step_fun_cb},
    };
    for (const auto& [name, fn] : controls)
        ui_register_ctrl_callback(name, fn);
    ui_register_panel_callback("epower_stop", epower_stop);
    ui_register_panel_callback("epower_panel_close", epower_panel_close);
}
