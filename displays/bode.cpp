#include "displays/bode.h"

#include "displays/displays.h"
#include "displays/traces.h"
#include "module/impedance.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <string>

int zP = -1;

namespace {

// The last point drawn on one graph; the next point is joined to it.
struct Previous {
    double freq = 0.0, mag = 0.0, phase = 0.0;
    bool first = true;
};

enum { UPPER = 0,
    LOWER = 1 };

struct GraphControls {
    int graph, select, x, y;
};
constexpr GraphControls kGraphs[2] = {
    {BODE_PANEL_GRAPH1, BODE_PANEL_SELECT1, BODE_PANEL_X1, BODE_PANEL_Y1},
    {BODE_PANEL_GRAPH2, BODE_PANEL_SELECT2, BODE_PANEL_X2, BODE_PANEL_Y2},
};

Previous g_prev[2];
int g_trace = -1;
int g_points = 0; // points shown of the current trace
bool g_drawn = false; // the window shows points (of the traces in the store)

// Digits after the point of the value read-out, by quantity code: farads and
// henries need many to show anything at all.
int readout_precision(int code)
{
    switch (code) {
    case kImQuantityPhase:
        return 3;
    case kImQuantityCs:
    case kImQuantityCp:
    case kImQuantityLs:
    case kImQuantityLp:
        return 12;
    case kImQuantityQ:
    case kImQuantityD:
        return 4;
    default:
        return 6;
    }
}

void plot_point(double freq, double mag, double phase, int which, int trace)
{
    const GraphControls& g = kGraphs[which];
    Previous& prev = g_prev[which];
    // An overload is no value: nothing is drawn, and the line breaks there.
    if (!displays_drawable(mag, phase)) {
        prev.first = true;
        return;
    }
    const int color = displays_trace_color(trace);
    const int style = displays_trace_style(trace);
    int code = 0;
    GetCtrlVal(zP, g.select, &code);
    if (prev.first)
        prev = Previous{freq, mag, phase, false};
    const double y = bode_get_quantity(freq, mag, phase, code);
    const double yPrev = bode_get_quantity(prev.freq, prev.mag, prev.phase, code);
    PlotPoint(zP, g.graph, freq, y, style, color);
    PlotLine(zP, g.graph, freq, y, prev.freq, yPrev, color);
    SetCtrlVal(zP, g.x, freq);
    SetCtrlVal(zP, g.y, y);
    prev = Previous{freq, mag, phase, false};
}

void set_both(int attribute, int value)
{
    for (const GraphControls& g : kGraphs)
        SetCtrlAttribute(zP, g.graph, attribute, value);
}

// An axis setting of the window applied to both graphs.
void apply_axis(int control)
{
    int value = 0;
    if (GetCtrlVal(zP, control, &value) < 0)
        return;
    switch (control) {
    case BODE_PANEL_XAXIS_MODE:
        set_both(ATTR_XMAP_MODE, value ? VAL_LOG : VAL_LINEAR);
        break;
    case BODE_PANEL_YAXIS_MODE:
        set_both(ATTR_YMAP_MODE, value ? VAL_LOG : VAL_LINEAR);
        break;
    case BODE_PANEL_XAXIS_REVERSE:
        set_both(ATTR_XREVERSE, value);
        break;
    case BODE_PANEL_YAXIS_REVERSE:
        set_both(ATTR_YREVERSE, value);
        break;
    default:
        break;
    }
}

void redraw(int which)
{
    const std::vector<Trace>& traces = traces_all();
    DeleteGraphPlot(zP, kGraphs[which].graph, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
    for (std::size_t t = 0; t < traces.size(); ++t) {
        g_prev[which].first = true;
        for (const TracePoint& pt : traces[t].points)
            plot_point(pt.freq, pt.zAmp, pt.zPhase, which, static_cast<int>(t));
    }
    // A trace begun but without points yet starts afresh.
    if (g_points == 0)
        g_prev[which].first = true;
}

// The quantity a graph's selector names: axis name, read-out label and
// precision, and the current trace drawn again in it.
void apply_quantity(int control)
{
    const int which = control == BODE_PANEL_SELECT1 ? UPPER : control == BODE_PANEL_SELECT2 ? LOWER
                                                                                            : -1;
    if (which < 0)
        return;
    const GraphControls& g = kGraphs[which];

    int index = -1;
    std::string name;
    if (GetCtrlIndex(zP, control, &index) == 0 && index >= 0 &&
        GetLabelFromIndex(zP, control, index, &name) == 0) {
        SetCtrlAttribute(zP, g.graph, ATTR_YNAME, name.c_str());
        SetCtrlAttribute(zP, g.y, ATTR_LABEL_TEXT, name.c_str());
    }
    int code = 0;
    GetCtrlVal(zP, control, &code);
    SetCtrlAttribute(zP, g.y, ATTR_PRECISION, readout_precision(code));

    // Every trace of the run is drawn again in the new quantity, so that no
    // value stands under another quantity's name.  During a sweep the new
    // quantity applies from the next point on.
    if (g_drawn && !displays_sweep_on())
        redraw(which);
}

} // namespace

int bode_open()
{
    if (zP < 0) {
        zP = LoadPanel(0, IFC_PANEL_FILE, BODE_PANEL);
        if (zP < 0) {
            zP = -1;
            return 0;
        }
        // The right-hand axis is not used for data; a fixed scale keeps it still.
        for (const GraphControls& g : kGraphs)
            SetAxisScalingMode(zP, g.graph, VAL_RIGHT_YAXIS, VAL_MANUAL, 0.0, 99.0);
        LoadMenuBar(zP, IFC_PANEL_FILE, DISPLAY_MENUBAR);
        g_drawn = false;
        bode_clear();
        bode_apply_settings();
    }
    bode_active(0);
    return 1;
}

void bode_active(int on)
{
    if (on == 1)
        DisplayPanel(zP);
    else if (zP >= 0)
        HidePanel(zP);
}

void bode_quit()
{
    if (zP >= 0)
        DiscardPanel(zP);
    zP = -1;
}

void bode_clear()
{
    if (zP < 0)
        return;
    g_points = 0;
    g_prev[UPPER].first = true;
    g_prev[LOWER].first = true;
    g_trace = g_trace < 0 ? 0 : g_trace + 1;
}

void bode_reset()
{
    if (zP < 0)
        return;
    bode_clear();
    g_trace = -1;
    g_drawn = false;
    for (const GraphControls& g : kGraphs) {
        DeleteGraphPlot(zP, g.graph, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
        ClearGraphLegend(zP, g.graph);
    }
}

void bode_apply_settings()
{
    if (zP < 0)
        return;
    for (int control : {BODE_PANEL_XAXIS_MODE, BODE_PANEL_YAXIS_MODE, BODE_PANEL_XAXIS_REVERSE, BODE_PANEL_YAXIS_REVERSE})
        apply_axis(control);
    apply_quantity(BODE_PANEL_SELECT1);
    apply_quantity(BODE_PANEL_SELECT2);
}

void bode_show(double freq, double mag, double phaseDeg)
{
    if (zP < 0)
        return;
    const int trace = displays_current_trace(g_trace);
    g_drawn = true;
    if (g_points++ == 0)
        for (const GraphControls& g : kGraphs)
            displays_set_legend(zP, g.graph);
    plot_point(freq, mag, phaseDeg, UPPER, trace);
    plot_point(freq, mag, phaseDeg, LOWER, trace);
}

double bode_get_quantity(double freq, double mag, double phaseDeg, int code)
{
    return im_get_quantity(freq, mag, phaseDeg, code);
}

int bode_point_count() { return g_points; }

int bode_trace_index() { return g_trace; }

int bodeCB(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || displays_sweep_on())
        return 0;
    for (const GraphControls& g : kGraphs) {
        if (g.graph != control)
            continue;
        double x = 0.0, y = 0.0;
        if (GetGraphCursor(panel, control, 1, &x, &y) < 0)
            return 0;
        SetCtrlVal(panel, g.x, x);
        SetCtrlVal(panel, g.y, y);
    }
    return 0;
}

int bodeaxisCB(int, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        apply_axis(control);
    return 0;
}

int bode_selectCB(int, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        apply_quantity(control);
    return 0;
}
