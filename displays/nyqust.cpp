#include "displays/nyqust.h"

#include "displays/displays.h"
#include "displays/traces.h"
#include "module/impedance.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

int nyP = -1;

namespace {

// The last point drawn (R, X); the next point is joined to it.
struct Previous {
    double r = 0.0, x = 0.0;
    bool first = true;
};
Previous g_prev;
int g_trace = -1;
int g_points = 0; // points shown of the current trace
bool g_drawn = false; // the window shows points (of the traces in the store)

void plot_point(double mag, double phaseDeg, int trace)
{
    // An overload is no value: nothing is drawn, and the line breaks there.
    if (!displays_drawable(mag, phaseDeg)) {
        g_prev.first = true;
        return;
    }
    const int color = displays_trace_color(trace);
    const int style = displays_trace_style(trace);
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

// Every trace of the run drawn again, in the circuit the ring now names.
void redraw()
{
    const std::vector<Trace>& traces = traces_all();
    DeleteGraphPlot(nyP, NYQUST_PANEL_GRAPH, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
    for (std::size_t t = 0; t < traces.size(); ++t) {
        g_prev.first = true;
        for (const TracePoint& pt : traces[t].points)
            plot_point(pt.zAmp, pt.zPhase, static_cast<int>(t));
    }
    if (g_points == 0)
        g_prev.first = true;
}

void apply_axis(int control)
{
    int value = 0;
    if (GetCtrlVal(nyP, control, &value) < 0)
        return;
    if (control == NYQUST_PANEL_XAXIS_REVERSE)
        SetCtrlAttribute(nyP, NYQUST_PANEL_GRAPH, ATTR_XREVERSE, value);
    else if (control == NYQUST_PANEL_YAXIS_REVERSE)
        SetCtrlAttribute(nyP, NYQUST_PANEL_GRAPH, ATTR_YREVERSE, value);
    else if (control == NYQUST_PANEL_EQUAL_SCALE)
        SetCtrlAttribute(nyP, NYQUST_PANEL_GRAPH, ATTR_EQUAL_SCALE, value != 0);
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
        LoadMenuBar(nyP, IFC_PANEL_FILE, DISPLAY_MENUBAR);
        nyqust_reset();
        nyqust_apply_settings();
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
    g_points = 0;
    g_prev.first = true;
    g_trace = g_trace < 0 ? 0 : g_trace + 1;
}

void nyqust_reset()
{
    if (nyP < 0)
        return;
    nyqust_clear();
    g_trace = -1;
    g_drawn = false;
    DeleteGraphPlot(nyP, NYQUST_PANEL_GRAPH, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
    ClearGraphLegend(nyP, NYQUST_PANEL_GRAPH);
}

void nyqust_apply_settings()
{
    if (nyP < 0)
        return;
    for (int control : {NYQUST_PANEL_XAXIS_REVERSE, NYQUST_PANEL_YAXIS_REVERSE, NYQUST_PANEL_EQUAL_SCALE})
        apply_axis(control);
    if (g_drawn && !displays_sweep_on())
        redraw();
}

void nyqust_show(double mag, double phaseDeg)
{
    if (nyP < 0)
        return;
    g_drawn = true;
    if (g_points++ == 0)
        displays_set_legend(nyP, NYQUST_PANEL_GRAPH);
    plot_point(mag, phaseDeg, displays_current_trace(g_trace));
}

int nyqust_point_count() { return g_points; }

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

int nyqustaxisCB(int, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        apply_axis(control);
    return 0;
}

int nyqust_cktmode(int, int, int event, void*, int, int)
{
    // Every trace is drawn again in the new circuit; during a sweep the
    // change applies from the next point on.
    if (event == EVENT_COMMIT && nyP >= 0 && g_drawn && !displays_sweep_on())
        redraw();
    return 0;
}
