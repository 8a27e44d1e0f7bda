#include "displays/nyqust.h"

#include "displays/displays.h"
#include "module/impedance.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

int nyP = -1;

namespace {

// The points of the current trace, kept so that a change of circuit can
// draw the first trace again.
struct PointStore {
    double mag[NYQUST_MAX_POINTS];
    double phase[NYQUST_MAX_POINTS];
    int count = 0;
};
PointStore g_store;

// The last point drawn (R, X); the next point is joined to it.
struct Previous {
    double r = 0.0, x = 0.0;
    bool first = true;
};
Previous g_prev;
int g_trace = -1;

void plot_point(double mag, double phaseDeg)
{
    const int color = displays_trace_color(g_trace);
    const int style = displays_trace_style(g_trace);
    int mode = 0;
    GetCtrlVal(nyP, NYQUST_PANEL_CIRCUIT_MODE, &mode);
    const int circuit = mode != 0 ? kImCircuitSeries : kImCircuitParallel;
    double r = 0.0, x = 0.0;
    im_get_rectangular_resistance(mag, phaseDeg, &r, &x, circuit);
    if (g_prev.first)
        g_prev = Previous{r, x, false};
    PlotPoint(nyP, NYQUST_PANEL_GRAPH, r, x, style, color);
    PlotLine(nyP, NYQUST_PANEL_GRAPH, r, x, g_prev.r, g_prev.x, color);
    g_prev = Previous{r, x, false};
    SetCtrlVal(nyP, NYQUST_PANEL_R, r);
    SetCtrlVal(nyP, NYQUST_PANEL_X, x);
}

} // namespace

int nyqust_open()
{
    if (nyP < 0) {
        nyP = LoadPanel(0, IFC_PANEL_FILE, NYQUST_PANEL);
        if (nyP < 0) {
            nyP = -1;
            return 0;
        }
        // The right-hand axis is not used for data; a fixed scale keeps it still.
        SetAxisScalingMode(nyP, NYQUST_PANEL_GRAPH, VAL_RIGHT_YAXIS, VAL_MANUAL, 0.0, 99.0);
        nyqust_reset();
    }
    nyqust_active(0);
    return 1;
}

void nyqust_active(int on)
{
    if (on == 1)
        DisplayPanel(nyP);
    else if (nyP >= 0)
        HidePanel(nyP);
}

void nyqust_quit()
{
    if (nyP >= 0)
        DiscardPanel(nyP);
    nyP = -1;
}

void nyqust_clear()
{
    if (nyP < 0)
        return;
    g_store.count = 0;
    g_prev.first = true;
    g_trace = g_trace < 0 ? 0 : g_trace + 1;
}

void nyqust_reset()
{
    if (nyP < 0)
        return;
    nyqust_clear();
    g_trace = -1;
    DeleteGraphPlot(nyP, NYQUST_PANEL_GRAPH, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
}

void nyqust_show(double mag, double phaseDeg)
{
    if (nyP < 0)
        return;
    if (g_store.count < NYQUST_MAX_POINTS) {
        g_store.mag[g_store.count] = mag;
        g_store.phase[g_store.count] = phaseDeg;
        ++g_store.count;
    }
    plot_point(mag, phaseDeg);
}

int nyqust_point_count() { return g_store.count; }

int nyqust_trace_index() { return g_trace; }

int nyqustCB(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || displays_sweep_on())
        return 0;
    double x = 0.0, y = 0.0;
    if (GetGraphCursor(panel, control, 1, &x, &y) < 0)
        return 0;
    SetCtrlVal(panel, NYQUST_PANEL_R, x);
    SetCtrlVal(panel, NYQUST_PANEL_X, y);
    return 0;
}

int nyqustaxisCB(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    int value = 0;
    if (GetCtrlVal(panel, control, &value) < 0)
        return 0;
    if (control == NYQUST_PANEL_XAXIS_REVERSE)
        SetCtrlAttribute(panel, NYQUST_PANEL_GRAPH, ATTR_XREVERSE, value);
    else if (control == NYQUST_PANEL_YAXIS_REVERSE)
        SetCtrlAttribute(panel, NYQUST_PANEL_GRAPH, ATTR_YREVERSE, value);
    return 0;
}

int nyqust_cktmode(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    // Only the first trace since the last reset can be drawn again: the
    // store holds the current trace alone.
    if (displays_sweep_on() || nyP < 0 || g_prev.first || g_store.count == 0 || g_trace != 0)
        return 0;
    g_prev.first = true;
    DeleteGraphPlot(nyP, NYQUST_PANEL_GRAPH, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
    for (int i = 0; i < g_store.count; ++i)
        plot_point(g_store.mag[i], g_store.phase[i]);
    return 0;
}
