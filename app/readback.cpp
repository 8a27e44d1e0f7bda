// The read-back: the only way readings of the IM module enter the system.
// Called once per turn of the measurement run's main loop.
#include "app/fra.h"

#include "app/fra_private.h"
#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/traces.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "module/im.h"
#include "ui/resources/ifcPanel_main.h"
#include "ui/toolkit.h"
#include "util/timer.h"

#include <chrono>
#include <cstdio>
#include <limits>
#include <thread>

namespace {

// The longest sleep of a wait, so that the quit flag is seen soon.
constexpr int32_t kWaitSliceMs = 5;

struct ReadState {
    IfcPoint log[IFC_LOG_SIZE] = {};
    uint32_t count = 0;
    int32_t waitTicks = IFC_READ_WAIT_TICKS;
    bool traceBegun = false; // the sweep's trace has its first point
    int failures = 0; // read-backs in a row whose exchange failed
};

ReadState st;

// The sweep ended by itself: stop it (which sends the restored output level),
// save the log unless a DC-list run goes on, and start the next sweep of the list.
void finish_sweep()
{
    ifc_sweep_switch(0);
    const int dataLog = ifc_main_int(MAIN_PANEL_DATA_LOG);
    const int repeat = ifc_main_int(MAIN_PANEL_REPEAT) && ifc_get_dcsw_active();
    if (!repeat)
        ifc_progress_run_ended(false);
    if (dataLog && !repeat)
        ifc_save_log();
    if (repeat)
        ifc_sweep_switch(1);
}

// An instrument that stopped answering would keep a sweep running forever:
// let the link go first, so that the stop sends nothing into the void.
void instrument_lost()
{
    st.failures = 0;
    const bool sweeping = ifc_sweep_on();
    ifp_close();
    if (sweeping) {
        ifc_sweep_switch(0);
        ifc_progress_run_ended(true);
    } else
        SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 0);
    char text[256];
    std::snprintf(text, sizeof text,
        "The instrument did not answer %d read-backs in a row.%s The link was closed.\n"
        "Check the instrument and its connection, then open the link again.",
        IFC_LOST_AFTER_FAILURES, sweeping ? " The sweep was stopped." : "");
    ErrorPopup("Instrument lost", text);
}

// One read-back turn ended without a reading: a failed exchange counts
// towards a lost instrument, an answer ("not ready") starts the count anew.
void turn_without_reading(unsigned failedBefore)
{
    if (ifp_failed_queries() == failedBefore) {
        st.failures = 0;
        return;
    }
    if (++st.failures >= IFC_LOST_AFTER_FAILURES)
        instrument_lost();
}

} // namespace

void ifc_readback_opened() { st.failures = 0; }

void ifc_wait_ticks(int32_t ticks)
{
    if (ticks <= 0)
        return;
    const int32_t deadline = timer_deadline(ticks);
    // No events are processed here; the wait only sleeps so that it costs no CPU.
    while (!timer_timeout(deadline) && !ifp_get_quit()) {
        // The difference in 32-bit wrapping arithmetic, as timer_timeout takes it.
        int32_t left = static_cast<int32_t>(static_cast<uint32_t>(deadline) -
            static_cast<uint32_t>(timer_get_tick()));
        if (left > kWaitSliceMs || left < 1)
            left = left < 1 ? 1 : kWaitSliceMs;
        std::this_thread::sleep_for(std::chrono::milliseconds(left));
    }
}

void ifc_set_read_wait_ticks(int32_t ticks) { st.waitTicks = ticks < 0 ? 0 : ticks; }

int ifc_data_ready()
{
    ifc_wait_ticks(st.waitTicks);
    return im_get_data_ready();
}

// The next logged point begins a new trace, at the DC level and AC amplitude
// the panel shows when it comes (a REPEAT step sets them before its sweep).
void ifc_trace_next() { st.traceBegun = false; }

void ifc_trace_add(const IfcPoint& p)
{
    if (!st.traceBegun) {
        traces_begin(ifc_main_double(MAIN_PANEL_OFFSET), ifc_main_double(MAIN_PANEL_AMPLITUDE), "V");
        st.traceBegun = true;
    }
    traces_add(TracePoint{p.freq, p.zReal, p.zImag, p.zAmp, p.zPhase, p.voltAmp, p.voltPhase, p.currAmp,
        p.currPhase});
}

uint32_t ifc_log_count() { return st.count; }
const IfcPoint* ifc_log_data() { return st.log; }
void ifc_log_reset() { st.count = 0; }

void readBack()
{
    if (ifcP < 0)
        return;
    // The load window's read-out refreshes whatever MEASURE says.
    if (const IfcLoadWindow* load = ifc_load_window(); load && ifc_main_int(MAIN_PANEL_ELOAD))
        load->measure();
    if (!ifc_main_int(MAIN_PANEL_MEASURE))
        return;
    const unsigned failedBefore = ifp_failed_queries();
    char reply[IFC_VAL_REPLY_SIZE];
    if (!ifc_data_ready() || !ifp_send_query("IM:MEAS:VAL?", reply, sizeof reply)) {
        turn_without_reading(failedBefore);
        return;
    }
    st.failures = 0;
    IfcPoint point{};
    unsigned overloads = 0;
    if (!ifc_decode_reply(reply, &point, &overloads))
        return;
    // A point carries the frequency the module confirmed, not the one asked for.
    point.freq = ifc_get_dds_freq();
    ifc_point_rectangular(&point);

    float unit = 0.0f;
    double offset = 0.0;
    GetCtrlVal(ifcP, MAIN_PANEL_CURRENT_UNIT, &unit);
    GetCtrlVal(ifcP, MAIN_PANEL_OFFSET, &offset);
    meter_show(point.voltAmp, point.voltPhase, point.currAmp, point.currPhase, point.zAmp,
        point.zPhase, point.freq, static_cast<double>(unit) * offset);

    if (!ifc_sweep_on())
        return;
    if (st.count < IFC_LOG_SIZE)
        st.log[st.count] = point;
    if (st.count < std::numeric_limits<uint32_t>::max())
        ++st.count;
    // The data file keeps an overload as 0; the graphs and the traces do not
    // take it for a value.
    const IfcPoint shown = ifc_point_shown(point, overloads);
    ifc_trace_add(shown);
    ifc_progress_point(st.count);
    vc_show(shown.freq, shown.voltAmp, shown.voltPhase, shown.currAmp, shown.currPhase);
    bode_show(shown.freq, shown.zAmp, shown.zPhase);
    nyqust_show(shown.zAmp, shown.zPhase);

    if (ifc_sweep_step(0) == 0)
        return;
    finish_sweep();
}
