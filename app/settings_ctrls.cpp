// The main panel's module settings: each control sends its setting when it
// is committed, SYNC sends all of them in a fixed order.
#include "app/fra.h"

#include "app/fra_private.h"
#include "app/ifc.h"
#include "link/ifp.h"
#include "module/im.h"
#include "ui/resources/ifcPanel_main.h"
#include "ui/toolkit.h"
#include "util/kv_util.h"

#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr int IFC_CYCLE_REPLY_SIZE = 128; // reply of "IM:INP:SAMP:CYCL?"
constexpr int IFC_AMPL_REPLY_SIZE = 512; // reply of "IM:OUTP:AMPL?"
// Host choice of the sample cycle (seconds) by stimulus frequency.
constexpr double IFC_CYCLE_BELOW_1HZ = 10.0;
constexpr double IFC_CYCLE_BELOW_10HZ = 1.0;
constexpr float IFC_CYCLE_FROM_10HZ = 0.1f;

struct SettingsState {
    double dds_freq = 0.0;
    float saved_cycle = 0.25f;
    // The automatic choice is engaged (SAMPLE AUTO was turned on), and the
    // cycle it last showed: a different SAMPLE CYCLE when it is turned off
    // was set from elsewhere (a profile) and is kept.
    bool auto_engaged = false;
    float auto_shown = 0.0f;
};

SettingsState st;

// Old firmware has no AZC, PHASE 360 and AC VALUE PEAK: nothing is sent.
bool firmware_has_switches() { return ifc_get_instrument().has_switches != 0; }

// SAMPLE CYCLE, editable unless the automatic choice or a sweep holds it.
void apply_cycle_mode()
{
    const bool locked = ifc_main_int(MAIN_PANEL_SAMPLE_AUTO) != 0 || ifc_sweep_on();
    ifc_main_set_mode(MAIN_PANEL_SAMPLE_CYCLE, locked ? VAL_INDICATOR : VAL_HOT);
}

void show_auto_cycle(float cycle)
{
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, static_cast<double>(cycle));
    st.auto_shown = ifc_main_float(MAIN_PANEL_SAMPLE_CYCLE);
}

int on_commit(int event, void (*action)())
{
    if (event == EVENT_COMMIT)
        action();
    return 0;
}

} // namespace

void ifc_settings_opened()
{
    st.dds_freq = 0.0;
    st.saved_cycle = ifc_main_float(MAIN_PANEL_SAMPLE_CYCLE);
    st.auto_engaged = false;
    st.auto_shown = 0.0f;
}

void ifc_settings_loaded() { st.auto_engaged = false; }

double ifc_get_dds_freq() { return st.dds_freq; }
float ifc_get_saved_cycle() { return st.saved_cycle; }

int ifc_cycle_count(float cycle)
{
    // A float holds about seven significant digits; the tolerance covers that
    // error for any cycle the control allows, far below one count.
    const double counts = static_cast<double>(cycle) * 1000.0;
    const double tolerance = std::fabs(counts) * 1e-6;
    const double truncated = std::trunc(counts + (counts >= 0 ? tolerance : -tolerance));
    if (!(std::fabs(truncated) < static_cast<double>(std::numeric_limits<int>::max())))
        return 0;
    return static_cast<int>(truncated);
}

void ifc_send_frequency()
{
    if (ifcP < 0)
        return;
    const double freq = ifc_main_double(MAIN_PANEL_FREQUENCY);
    const bool sampleAuto = ifc_main_int(MAIN_PANEL_SAMPLE_AUTO) != 0;
    const bool moduleChooses = ifc_get_module_auto_cycle() != 0;

    // The cycle must cover the period, so it is sent before the frequency.
    if (sampleAuto && !moduleChooses) {
        float cycle = IFC_CYCLE_FROM_10HZ;
        if (freq < 1.0)
            cycle = static_cast<float>(IFC_CYCLE_BELOW_1HZ);
        else if (freq < 10.0)
            cycle = static_cast<float>(IFC_CYCLE_BELOW_10HZ);
        if (cycle != ifc_main_float(MAIN_PANEL_SAMPLE_CYCLE)) {
            show_auto_cycle(cycle);
            ifc_send_sample_cycle();
        }
    }

    st.dds_freq = im_set_dds_sine_freq(freq);

    if (sampleAuto && moduleChooses) {
        char reply[IFC_CYCLE_REPLY_SIZE];
        float counts = 0.0f;
        // A reply without a number leaves SAMPLE CYCLE as it is.
        if (ifp_send_query("IM:INP:SAMP:CYCL?", reply, sizeof reply) &&
            kv_util_scan_float(reply, &counts))
            show_auto_cycle(static_cast<float>(static_cast<double>(counts) / 1000.0));
    }
}

void ifc_send_sample_cycle()
{
    if (ifcP >= 0)
        im_set_sample_cycle(ifc_cycle_count(ifc_main_float(MAIN_PANEL_SAMPLE_CYCLE)));
}

void ifc_set_sample_auto(int on)
{
    if (ifcP < 0)
        return;
    const bool moduleChooses = ifc_get_module_auto_cycle() != 0;
    if (!on) {
        // Only a cycle the automatic choice put there gives way to the
        // user's own; a loaded profile's cycle stays.
        if (st.auto_engaged && ifc_main_float(MAIN_PANEL_SAMPLE_CYCLE) == st.auto_shown)
            SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, static_cast<double>(st.saved_cycle));
        st.auto_engaged = false;
        if (moduleChooses)
            ifp_send_query("IM:INP:SAMP:AUTO 0", nullptr, 0);
        ifc_send_sample_cycle();
    } else {
        // A repeated SYNC keeps the cycle the user had before the first one.
        if (!st.auto_engaged) {
            st.saved_cycle = ifc_main_float(MAIN_PANEL_SAMPLE_CYCLE);
            st.auto_shown = st.saved_cycle;
        }
        st.auto_engaged = true;
        if (moduleChooses)
            ifp_send_query("IM:INP:SAMP:AUTO 1", nullptr, 0);
        ifc_send_frequency();
    }
    apply_cycle_mode();
}

void ifc_send_output_level()
{
    if (ifcP < 0)
        return;
    im_set_dac_out_source(2);
    const double amplitude = ifc_main_double(MAIN_PANEL_AMPLITUDE);
    const double offset = ifc_main_double(MAIN_PANEL_OFFSET);
    const double ac = amplitude * offset * 0.01;
    const std::string level = "IM:OUTP:LEV " + kv_util_ftoa(ac) + " " + kv_util_ftoa(offset);
    ifp_send_query(level.c_str(), nullptr, 0);

    char reply[IFC_AMPL_REPLY_SIZE];
    float read = 0.0f;
    if (!ifp_send_query("IM:OUTP:AMPL?", reply, sizeof reply) || !kv_util_scan_float(reply, &read))
        read = 0.0f;
    SetCtrlVal(ifcP, MAIN_PANEL_AMPL_READBACK, static_cast<double>(read));
}

void ifc_send_current_unit()
{
    if (ifcP < 0)
        return;
    if (ifc_get_kzr_mode() == 0)
        im_set_curr_unit(ifc_main_float(MAIN_PANEL_CURRENT_UNIT));
    else
        SetCtrlVal(ifcP, MAIN_PANEL_CURRENT_UNIT, im_get_curr_unit());
}

void ifc_send_input_dl()
{
    if (ifcP >= 0)
        im_set_adc_inp_dl(ifc_main_int(MAIN_PANEL_INPUT_DL) ? 1 : 0);
}

void ifc_send_voltage_input()
{
    if (ifcP < 0)
        return;
    im_set_voltadc_inp_mode(ifc_main_int(MAIN_PANEL_VOLT_INPUT));
    im_set_voltadc_inp_gain(ifc_main_int(MAIN_PANEL_VOLT_GAIN));
}

void ifc_send_current_input()
{
    if (ifcP < 0)
        return;
    im_set_curradc_inp_mode(ifc_main_int(MAIN_PANEL_CURR_INPUT));
    im_set_curradc_inp_gain(ifc_main_int(MAIN_PANEL_CURR_GAIN));
    im_set_curradc_inp_loopback(ifc_main_int(MAIN_PANEL_CURR_LOOPBACK) ? 1 : 0);
}

void ifc_send_agc()
{
    if (ifcP < 0)
        return;
    const int on = ifc_main_int(MAIN_PANEL_AGC) ? 1 : 0;
    // The module picks the gains itself while AGC is on.
    SetCtrlAttribute(ifcP, MAIN_PANEL_VOLT_GAIN, ATTR_DIMMED, on);
    SetCtrlAttribute(ifcP, MAIN_PANEL_CURR_GAIN, ATTR_DIMMED, on);
    im_set_inp_agc(on);
}

void ifc_send_azc()
{
    if (ifcP >= 0 && firmware_has_switches())
        im_set_inp_azc(ifc_main_int(MAIN_PANEL_AZC) ? 1 : 0);
}

void ifc_send_phase_mode()
{
    if (ifcP >= 0 && firmware_has_switches())
        im_set_phase_mode(ifc_main_int(MAIN_PANEL_PHASE_360) ? 1 : 0);
}

void ifc_send_ac_peak()
{
    if (ifcP >= 0 && firmware_has_switches())
        im_set_ac_peak_mode(ifc_main_int(MAIN_PANEL_AC_VALUE_PEAK) ? 1 : 0);
}

void ifc_show_step_field()
{
    // Decade stepping ignores the linear step.
    if (ifcP >= 0)
        SetCtrlAttribute(ifcP, MAIN_PANEL_FREQ_STEP, ATTR_VISIBLE,
            ifc_main_int(MAIN_PANEL_XAXIS_DB) == 0 ? 1 : 0);
}

void ifc_send_load_mode()
{
    if (ifcP < 0)
        return;
    int mode = ifc_main_int(MAIN_PANEL_LOAD_MODE);
    if (ifc_get_kzr_device())
        im_access_im_mode(&mode, 1);
    ifc_set_kzr_mode(mode == 0 ? 1 : 0);
    if (const IfcLoadWindow* load = ifc_load_window())
        load->set_kzr_mode(ifc_get_kzr_mode());
    // In load mode 0 the module knows its current unit; the user cannot set it.
    ifc_main_set_mode(MAIN_PANEL_CURRENT_UNIT, ifc_get_kzr_mode() ? VAL_INDICATOR : VAL_HOT);
}

void ifc_send_all_settings()
{
    if (ifcP < 0)
        return;
    ifc_set_sample_auto(ifc_main_int(MAIN_PANEL_SAMPLE_AUTO));
    for (void (*send)() : {ifc_send_frequency, ifc_send_output_level, ifc_send_sample_cycle,
             ifc_send_current_unit, ifc_send_input_dl, ifc_send_voltage_input,
             ifc_send_current_input, ifc_show_step_field, ifc_send_agc, ifc_send_azc,
             ifc_send_phase_mode, ifc_send_ac_peak})
        send();
}

int dds_freq_CB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_frequency); }
int samp_cycl_CB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_sample_cycle); }
int ddsampoffsCB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_output_level); }
int curr_unit_CB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_current_unit); }
int inp_dl_CB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_input_dl); }
int volt_gain_CB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_voltage_input); }
int curr_gain_CB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_current_input); }
int agc_CB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_agc); }
int azc_CB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_azc); }
int phasemodeCB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_phase_mode); }
int ac_value_peak_cb(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_ac_peak); }
int xaxisCB(int, int, int event, void*, int, int) { return on_commit(event, ifc_show_step_field); }
int load_mode_cb(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_load_mode); }
int syncCB(int, int, int event, void*, int, int) { return on_commit(event, ifc_send_all_settings); }

int sample_auto_service(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    int on = 0;
    GetCtrlVal(panel, control, &on);
    ifc_set_sample_auto(on);
    return 0;
}

int ifc_main_int(int control)
{
    int value = 0;
    GetCtrlVal(ifcP, control, &value);
    return value;
}

double ifc_main_double(int control)
{
    double value = 0.0;
    GetCtrlVal(ifcP, control, &value);
    return value;
}

float ifc_main_float(int control)
{
    float value = 0.0f;
    GetCtrlVal(ifcP, control, &value);
    return value;
}

void ifc_main_set_mode(int control, int mode) { SetCtrlAttribute(ifcP, control, ATTR_CTRL_MODE, mode); }
