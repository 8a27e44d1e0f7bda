#include "displays/vc.h"

#include "displays/displays.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <climits>
#include <cmath>

int vcP = -1;

namespace {

constexpr int kVoltColor = VAL_BLUE;
constexpr int kCurrColor = VAL_RED;
constexpr int kUpperStyle = VAL_SOLID_CIRCLE;
constexpr int kLowerStyle = VAL_SMALL_CROSS;

struct Point {
    double freq = 0.0, voltAmp = 0.0, voltPhase = 0.0, currAmp = 0.0, currPhase = 0.0;
};

int g_count = 0; // points drawn since the last clear; 0 starts a trace
Point g_prev;

constexpr int kGraphs[] = {VC_PANEL_GRAPH1, VC_PANEL_GRAPH2};

// A point and the line that joins it to the previous point of its curve.  An
// overloaded reading is not drawn, nor a line to or from it.
void draw(int graph, double x, double y, double xPrev, double yPrev, int style, int color)
{
    if (!std::isfinite(y))
        return;
    PlotPoint(vcP, graph, x, y, style, color);
    if (!std::isfinite(yPrev))
        return;
    PlotLine(vcP, graph, x, y, xPrev, yPrev, color);
}

// An axis setting of the window applied to both graphs.
void apply_axis(int control)
{
    int value = 0;
    if (GetCtrlVal(vcP, control, &value) < 0)
        return;
    int attribute = 0;
    switch (control) {
    case VC_PANEL_XAXIS_MODE:
        attribute = ATTR_XMAP_MODE;
        value = value ? VAL_LOG : VAL_LINEAR;
        break;
    case VC_PANEL_YAXIS_MODE:
        attribute = ATTR_YMAP_MODE;
        value = value ? VAL_LOG : VAL_LINEAR;
        break;
    case VC_PANEL_XAXIS_REVERSE:
        attribute = ATTR_XREVERSE;
        break;
    case VC_PANEL_YAXIS_REVERSE:
        attribute = ATTR_YREVERSE;
        break;
    default:
        return;
    }
    for (int g : kGraphs)
        SetCtrlAttribute(vcP, g, attribute, value);
}

} // namespace

int vc_open()
{
    if (vcP < 0) {
        vcP = LoadPanel(0, IFC_PANEL_FILE, VC_PANEL);
        if (vcP < 0) {
            vcP = -1;
            return 0;
        }
        // The right-hand axis is not used for data; a fixed scale keeps it still.
        for (int g : kGraphs)
            SetAxisScalingMode(vcP, g, VAL_RIGHT_YAXIS, VAL_MANUAL, 0.0, 99.0);
        LoadMenuBar(vcP, IFC_PANEL_FILE, DISPLAY_MENUBAR);
        vc_clear();
        vc_apply_settings();
    }
    vc_active(0);
    return 1;
}

void vc_active(int on)
{
    if (on == 1)
        DisplayPanel(vcP);
    else if (vcP >= 0)
        HidePanel(vcP);
}

void vc_quit()
{
    if (vcP >= 0)
        DiscardPanel(vcP);
    vcP = -1;
}

void vc_clear()
{
    if (vcP < 0)
        return;
    g_count = 0;
    for (int g : kGraphs)
        DeleteGraphPlot(vcP, g, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
}

void vc_apply_settings()
{
    if (vcP < 0)
        return;
    for (int control : {VC_PANEL_XAXIS_MODE, VC_PANEL_YAXIS_MODE, VC_PANEL_XAXIS_REVERSE, VC_PANEL_YAXIS_REVERSE})
        apply_axis(control);
}

void vc_show(double freq, double voltAmp, double voltPhase, double currAmp, double currPhase)
{
    if (vcP < 0)
        return;
    const Point p{freq, voltAmp, voltPhase, currAmp, currPhase};
    if (g_count == 0)
        g_prev = p;
    if (g_count < INT_MAX)
        ++g_count;

    draw(VC_PANEL_GRAPH1, p.freq, p.voltAmp, g_prev.freq, g_prev.voltAmp, kUpperStyle, kVoltColor);
    draw(VC_PANEL_GRAPH2, p.freq, p.voltPhase, g_prev.freq, g_prev.voltPhase, kLowerStyle, kVoltColor);
    draw(VC_PANEL_GRAPH1, p.freq, p.currAmp, g_prev.freq, g_prev.currAmp, kUpperStyle, kCurrColor);
    draw(VC_PANEL_GRAPH2, p.freq, p.currPhase, g_prev.freq, g_prev.currPhase, kLowerStyle, kCurrColor);

    SetCtrlVal(vcP, VC_PANEL_X1, freq);
    SetCtrlVal(vcP, VC_PANEL_Y1, voltAmp);
    SetCtrlVal(vcP, VC_PANEL_X2, freq);
    SetCtrlVal(vcP, VC_PANEL_Y2, voltPhase);
    g_prev = p;
}

int vc_curCB(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || displays_sweep_on())
        return 0;
    const int x = control == VC_PANEL_GRAPH1 ? VC_PANEL_X1 : control == VC_PANEL_GRAPH2 ? VC_PANEL_X2
                                                                                        : 0;
    const int y = control == VC_PANEL_GRAPH1 ? VC_PANEL_Y1 : VC_PANEL_Y2;
    if (x == 0)
        return 0;
    double cx = 0.0, cy = 0.0;
    if (GetGraphCursor(panel, control, 1, &cx, &cy) < 0)
        return 0;
    SetCtrlVal(panel, x, cx);
    SetCtrlVal(panel, y, cy);
    return 0;
}

int vcaxisCB(int, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        apply_axis(control);
    return 0;
}
