// The frequency sweep.  No timer drives it: the read-back steps it after each
// reading, so the module's own measuring time paces the sweep.
#include "app/fra.h"

#include "app/fra_private.h"
#include "displays/bode.h"
#include "displays/nyqust.h"
#include "displays/traces.h"
#include "displays/vc.h"
#include "ui/resources/ifcPanel_main.h"
#include "ui/toolkit.h"

#include <cmath>

namespace {

// Below 1 Hz decade stepping moves in tenths of a hertz.
constexpr double kSubHertzStep = 0.1;
// Sums of tenths and of linear steps pick up rounding error; a frequency this
// close (relative) to STOP counts as STOP, and one this close to a tenth of a
// hertz as that tenth.
constexpr double kRelativeTolerance = 1e-9;

struct SweepState {
    double sweep_freq = 0.0;
    double saved_freq = 0.0;
    double saved_offset = 0.0;
    double saved_amplitude = 0.0;
    int dcsw_active = 0;
    int dcsw_index = 0;
};

SweepState st;

double snap_to_tenth(double f)
{
    const double tenths = f * 10.0;
    const double nearest = std::round(tenths);
    return std::fabs(tenths - nearest) < 1e-6 ? nearest / 10.0 : f;
}

bool inside(double f, double stop, bool up)
{
    const double slack = kRelativeTolerance * std::fmax(std::fabs(stop), 1.0);
    return up ? f <= stop + slack : f >= stop - slack;
}

int no_next_step(int index) { return index + 1 >= DCSW_STEPS || dcsw_get_dc(index + 1) == 0.0; }

void start_sweep()
{
    st.saved_freq = ifc_main_double(MAIN_PANEL_FREQUENCY);
    st.saved_offset = ifc_main_double(MAIN_PANEL_OFFSET);
    st.saved_amplitude = ifc_main_double(MAIN_PANEL_AMPLITUDE);
    SetCtrlAttribute(ifcP, MAIN_PANEL_SYNC, ATTR_DIMMED, 1);
    for (int control : {MAIN_PANEL_FREQUENCY, MAIN_PANEL_OFFSET, MAIN_PANEL_AMPLITUDE,
             MAIN_PANEL_SAMPLE_CYCLE})
        ifc_main_set_mode(control, VAL_INDICATOR);
    ifc_clear_graphs();
    const int finished = ifc_sweep_step(1);
    ifc_progress_sweep_started(ifc_main_int(MAIN_PANEL_REPEAT) && st.dcsw_active);
    SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 1);
    ifc_log_reset();
    SetWaitCursor(1);

    // Only a REPEAT run without a usable first list step ends at its start:
    // refused, rather than taking one reading at whatever frequency is set.
    if (finished) {
        ifc_sweep_switch(0);
        ifc_progress_run_ended(true);
        MessagePopup("Sweep", "REPEAT sweeps once per step of the DC sweep list, but its "
                              "first step has a DC level of 0.\nEnter the steps in "
                              "Sweep > DC sweep list, or switch REPEAT off.");
    }
}

void stop_sweep()
{
    SetCtrlAttribute(ifcP, MAIN_PANEL_SYNC, ATTR_DIMMED, 0);
    for (int control : {MAIN_PANEL_FREQUENCY, MAIN_PANEL_OFFSET, MAIN_PANEL_AMPLITUDE})
        ifc_main_set_mode(control, VAL_HOT);
    ifc_main_set_mode(MAIN_PANEL_SAMPLE_CYCLE, ifc_main_int(MAIN_PANEL_SAMPLE_AUTO) ? VAL_INDICATOR : VAL_HOT);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, st.saved_freq);
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, st.saved_offset);
    SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, st.saved_amplitude);
    // The instrument must leave the sweep at the level the panel shows, not at
    // the last DC-list step's: on a power instrument anything else is a hazard.
    ifc_send_frequency();
    ifc_send_output_level();
    SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 0);
    SetWaitCursor(0);
}

} // namespace

void ifc_sweep_opened()
{
    st.dcsw_active = 0;
    st.dcsw_index = 0;
}

int ifc_get_dcsw_active() { return st.dcsw_active; }
int ifc_get_dcsw_index() { return st.dcsw_index; }
double ifc_get_sweep_freq() { return st.sweep_freq; }

int ifc_sweep_on() { return ifcP >= 0 && ifc_main_int(MAIN_PANEL_SWEEP) != 0 ? 1 : 0; }

void ifc_clear_graphs()
{
    ifc_trace_next();
    vc_clear();
    bode_clear();
    nyqust_clear();
}

int sweep_hotCB(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || ifcP < 0)
        return 0;
    // A user's stop abandons a DC-list run, and a user's start begins one at
    // its first step, also after REPEAT was switched off in the middle of one.
    st.dcsw_active = 0;
    const int on = ifc_main_int(MAIN_PANEL_SWEEP);
    if (on) {
        // A sweep the user starts begins the graphs afresh: trace 0, first colour.
        traces_reset();
        bode_reset();
        nyqust_reset();
        ifc_progress_run_started();
    }
    ifc_sweep_apply();
    if (!on)
        ifc_progress_run_ended(true);
    return 0;
}

int sweepCB(int, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        ifc_sweep_apply();
    return 0;
}

void ifc_sweep_apply()
{
    if (ifcP < 0)
        return;
    if (ifc_main_int(MAIN_PANEL_SWEEP))
        start_sweep();
    else
        stop_sweep();
}

void ifc_sweep_switch(int on)
{
    if (ifcP < 0)
        return;
    SetCtrlVal(ifcP, MAIN_PANEL_SWEEP, on);
    ifc_sweep_apply();
}

IfcSweepNext ifc_sweep_next(const IfcSweepRange& range, double freq)
{
    const bool up = range.stop >= range.start;
    if (!range.decades) {
        freq += up ? range.step : -range.step;
    } else if (freq >= 1.0) {
        const double exponent = std::floor(std::log10(freq));
        double decade = std::pow(10.0, exponent);
        if (up) {
            freq += decade;
        } else {
            // At a power of ten the next step down is the next decade's.
            if (freq <= decade)
                decade = std::pow(10.0, exponent - 1.0);
            freq -= decade;
        }
    } else if (up) {
        freq = snap_to_tenth(freq + kSubHertzStep);
        if (freq > 1.0)
            freq = 1.0;
    } else {
        freq = snap_to_tenth(freq - kSubHertzStep);
        if (freq < 0.0)
            freq = 0.0;
    }
    return {freq, !inside(freq, range.stop, up)};
}

int ifc_sweep_step(int start)
{
    if (ifcP < 0)
        return 1;
    const IfcSweepRange range = {ifc_main_double(MAIN_PANEL_FREQ_START),
        ifc_main_double(MAIN_PANEL_FREQ_STOP), ifc_main_double(MAIN_PANEL_FREQ_STEP),
        ifc_main_int(MAIN_PANEL_XAXIS_DB)};
    const int repeat = ifc_main_int(MAIN_PANEL_REPEAT);
    bool done = false;

    if (!start) {
        const IfcSweepNext next = ifc_sweep_next(range, st.sweep_freq);
        st.sweep_freq = next.freq;
        done = next.done;
    } else {
        st.sweep_freq = range.start; // always inside: STOP decides the direction
        if (repeat) {
            if (!st.dcsw_active) {
                st.dcsw_active = 1;
                st.dcsw_index = 0;
            } else {
                ++st.dcsw_index;
            }
            if (st.dcsw_index >= DCSW_STEPS || dcsw_get_dc(st.dcsw_index) == 0.0) {
                const bool up = range.stop >= range.start;
                st.sweep_freq = up ? range.stop + 1.0 : range.stop - 1.0;
                st.dcsw_active = 0;
                return 1;
            }
            SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, dcsw_get_dc(st.dcsw_index));
            SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, dcsw_get_ac(st.dcsw_index));
            ifc_send_output_level();
        }
    }

    if (!done) {
        SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, st.sweep_freq);
        ifc_send_frequency();
        return 0;
    }
    // REPEAT switched off during a run ends the run with this sweep.
    if (!repeat || no_next_step(st.dcsw_index))
        st.dcsw_active = 0;
    return 1;
}
