#include "displays/displays.h"

#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"

#include "ui/resource.h"
#include "ui/toolkit.h"

namespace {

int (*g_sweep_probe)() = nullptr;

constexpr int kTraceColors[] = {VAL_RED, VAL_BLUE, VAL_MAGENTA, VAL_DK_RED, VAL_DK_BLUE,
    VAL_DK_GREEN, VAL_DK_CYAN, VAL_DK_MAGENTA, VAL_DK_YELLOW, VAL_BLACK};
constexpr int kTraceStyles[] = {VAL_EMPTY_CIRCLE, VAL_SOLID_CIRCLE, VAL_EMPTY_SQUARE,
    VAL_SOLID_SQUARE, VAL_EMPTY_DIAMOND, VAL_SOLID_DIAMOND};

// Points that arrive after a reset but before the next trace begins (index
// -1) are drawn as the trace that is about to begin, never from outside the
// tables.
template <int N>
int pick(const int (&table)[N], int traceIndex)
{
    return table[(traceIndex < 0 ? 0 : traceIndex) % N];
}

} // namespace

void displays_set_sweep_probe(int (*sweepOn)()) { g_sweep_probe = sweepOn; }

int displays_sweep_on() { return g_sweep_probe && g_sweep_probe() ? 1 : 0; }

int displays_trace_color(int traceIndex) { return pick(kTraceColors, traceIndex); }

int displays_trace_style(int traceIndex) { return pick(kTraceStyles, traceIndex); }

void displays_register_callbacks()
{
    ui_register_ctrl_callback("bodeCB", bodeCB);
    ui_register_ctrl_callback("bodeaxisCB", bodeaxisCB);
    ui_register_ctrl_callback("bode_selectCB", bode_selectCB);
    ui_register_ctrl_callback("nyqustCB", nyqustCB);
    ui_register_ctrl_callback("nyqustaxisCB", nyqustaxisCB);
    ui_register_ctrl_callback("nyqust_cktmode", nyqust_cktmode);
    ui_register_ctrl_callback("vc_curCB", vc_curCB);
    ui_register_ctrl_callback("vcaxisCB", vcaxisCB);
}
