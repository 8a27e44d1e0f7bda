// The sweep's progress on the main panel: the DC step of a REPEAT run, the
// points done and the time left, estimated from the run's pace so far.
#include "app/fra.h"

#include "app/fra_private.h"
#include "ui/resources/ifcPanel_main.h"
#include "ui/toolkit.h"
#include "util/timer.h"

#include <cmath>
#include <cstdio>

namespace {

// A linear sweep with a tiny step has more points than anyone will wait for:
// its count is not worth the stepping, and "of m" is left out.
constexpr uint32_t kCountLimit = 100000;

struct ProgressState {
    int32_t startTick = 0; // the user's start of the run
    uint64_t runPoints = 0; // points of the run so far, every sweep of it
    uint32_t sweepPoints = 0; // points the present sweep will have, 0 unknown
    int steps = 0; // sweeps of a REPEAT run, 0 without REPEAT
};

ProgressState st;

double seconds_since_start()
{
    return static_cast<double>(static_cast<uint32_t>(timer_get_tick()) -
               static_cast<uint32_t>(st.startTick)) /
        1000.0;
}

void show(const std::string& text)
{
    if (ifcP >= 0)
        SetCtrlVal(ifcP, MAIN_PANEL_PROGRESS, text.c_str());
}

} // namespace

uint32_t ifc_sweep_point_count(const IfcSweepRange& range)
{
    uint32_t count = 1; // START is always measured
    for (double f = range.start; count <= kCountLimit; ++count) {
        const IfcSweepNext next = ifc_sweep_next(range, f);
        if (next.done)
            return count;
        f = next.freq;
    }
    return 0;
}

std::string ifc_duration_text(double seconds)
{
    const long s = std::lround(seconds);
    char text[48];
    if (s < 60)
        std::snprintf(text, sizeof text, "%ld s", s);
    else if (s < 3600)
        std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld h %02ld min", s / 3600, (s % 3600) / 60);
    return text;
}

std::string ifc_progress_text(const IfcProgress& p)
{
    std::string text;
    if (p.steps > 0)
        text = "DC step " + std::to_string(p.step) + " of " + std::to_string(p.steps) + ", ";
    text += "point " + std::to_string(p.done);
    if (p.total > 0)
        text += " of " + std::to_string(p.total);
    // Without a point of this run there is no pace to go by, and the last
    // point of the last sweep leaves nothing to wait for.
    if (p.runDone == 0 || p.total == 0) {
        text += p.runDone == 0 ? ", estimating the time left" : "";
        return text;
    }
    const int laterSweeps = p.steps > p.step ? p.steps - p.step : 0;
    const uint64_t left = (p.total > p.done ? p.total - p.done : 0) + static_cast<uint64_t>(laterSweeps) * p.total;
    const double perPoint = p.elapsed / static_cast<double>(p.runDone);
    text += left == 0 ? ", finishing" : ", about " + ifc_duration_text(perPoint * static_cast<double>(left)) + " left";
    return text;
}

void ifc_progress_run_started()
{
    st.startTick = timer_get_tick();
    st.runPoints = 0;
}

void ifc_progress_sweep_started(int repeat)
{
    st.sweepPoints = ifc_sweep_point_count({ifc_main_double(MAIN_PANEL_FREQ_START),
        ifc_main_double(MAIN_PANEL_FREQ_STOP), ifc_main_double(MAIN_PANEL_FREQ_STEP),
        ifc_main_int(MAIN_PANEL_XAXIS_DB)});
    st.steps = 0;
    if (repeat)
        while (st.steps < DCSW_STEPS && dcsw_get_dc(st.steps) != 0.0)
            ++st.steps;
    ifc_progress_point(0);
}

void ifc_progress_point(uint32_t done)
{
    if (done > 0)
        ++st.runPoints;
    show(ifc_progress_text({st.steps > 0 ? ifc_get_dcsw_index() + 1 : 0, st.steps, done,
        st.sweepPoints, st.runPoints, seconds_since_start()}));
}

void ifc_progress_run_ended(bool stopped)
{
    std::string text = stopped ? "Sweep stopped after " : "Sweep done: ";
    text += std::to_string(st.runPoints) + (st.runPoints == 1 ? " point in " : " points in ");
    text += ifc_duration_text(seconds_since_start()) + ".";
    show(text);
}
