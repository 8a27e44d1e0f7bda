#include "displays/bode.h"

#include "displays/displays.h"
#include "module/impedance.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <string>

int zP = -1;

namespace {

// The points of the current trace, kept so that a change of quantity can
// draw the first trace again.
struct PointStore {
    double freq[BODE_MAX_POINTS];
    double mag[BODE_MAX_POINTS];
    double phase[BODE_MAX_POINTS];
    int count = 0;
};
PointStore g_store;

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

void plot_point(double freq, double mag, double phase, int which)
{
    const GraphControls& g = kGraphs[which];
    const int color = displays_trace_color(g_trace);
    const int style = displays_trace_style(g_trace);
    int code = 0;
    GetCtrlVal(zP, g.select, &code);
    Previous& prev = g_prev[which];
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

    // Only the first trace since the last reset can be drawn again: the
    // store holds the current trace alone, and earlier traces would keep
    // their old quantity beside it.
    if (displays_sweep_on() || zP < 0 || g_prev[which].first || g_store.count == 0 || g_trace != 0)
        return;
    g_prev[which].first = true;
    DeleteGraphPlot(zP, g.graph, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
    for (int i = 0; i < g_store.count; ++i)
        plot_point(g_store.freq[i], g_store.mag[i], g_store.phase[i], which);
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
        bode_clear();
        apply_axis(BODE_PANEL_XAXIS_MODE);
        apply_axis(BODE_PANEL_YAXIS_MODE);
        apply_quantity(BODE_PANEL_SELECT1);
        apply_quantity(BODE_PANEL_SELECT2);
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
    g_store.count = 0;
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
    for (const GraphControls& g : kGraphs)
        DeleteGraphPlot(zP, g.graph, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
}

void bode_show(double freq, double mag, double phaseDeg)
{
    if (zP < 0)
        return;
    if (g_store.count < BODE_MAX_POINTS) {
        g_store.freq[g_store.count] = freq;
        g_store.mag[g_store.count] = mag;
        g_store.phase[g_store.count] = phaseDeg;
        ++g_store.count;
    }
    plot_point(freq, mag, phaseDeg, UPPER);
    plot_point(freq, mag, phaseDeg, LOWER);
}

double bode_get_quantity(double freq, double mag, double phaseDeg, int code)
{
    return im_get_quantity(freq, mag, phaseDeg, code);
}

int bode_point_count() { return g_store.count; }

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
