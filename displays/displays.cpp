#include "displays/displays.h"

#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/traces.h"
#include "displays/vc.h"

#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

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

int displays_current_trace(int windowTrace)
{
    const std::size_t n = traces_all().size();
    return n > 0 ? static_cast<int>(n) - 1 : windowTrace;
}

bool displays_drawable(double mag, double phaseDeg) { return std::isfinite(mag) && std::isfinite(phaseDeg); }

void displays_set_legend(int panel, int graph)
{
    ClearGraphLegend(panel, graph);
    const std::vector<Trace>& traces = traces_all();
    for (std::size_t i = 0; i < traces.size(); ++i) {
        const Trace& t = traces[i];
        char text[96];
        std::snprintf(text, sizeof text, "DC %g %s, AC %g %%", t.dcLevel, t.unit.c_str(), t.acPercent);
        const int index = static_cast<int>(i);
        AddGraphLegendItem(panel, graph, text, displays_trace_color(index), displays_trace_style(index));
    }
}

void displays_apply_settings()
{
    bode_apply_settings();
    nyqust_apply_settings();
    vc_apply_settings();
}

void displays_export_picture(int, int, void*, int panel)
{
    std::string title;
    GetPanelAttribute(panel, ATTR_TITLE, &title);
    std::string name;
    for (char c : title)
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    name += ".png";
    char path[MAX_PATHNAME_LEN] = "";
    if (FileSelectPopup("", name.c_str(), "*.png;*.svg", "Export Picture", VAL_SAVE_BUTTON, 0, 0, 1, 1, path) <= 0)
        return;
    if (SavePanelPicture(panel, path) < 0)
        MessagePopup("Export Picture", ("Cannot write " + std::string(path) + " (a .png or .svg name is needed)").c_str());
}

void displays_register_callbacks()
{
    ui_register_menu_callback("displays_export_picture", displays_export_picture);
    ui_register_ctrl_callback("bodeCB", bodeCB);
    ui_register_ctrl_callback("bodeaxisCB", bodeaxisCB);
    ui_register_ctrl_callback("bode_selectCB", bode_selectCB);
    ui_register_ctrl_callback("nyqustCB", nyqustCB);
    ui_register_ctrl_callback("nyqustaxisCB", nyqustaxisCB);
    ui_register_ctrl_callback("nyqust_cktmode", nyqust_cktmode);
    ui_register_ctrl_callback("vc_curCB", vc_curCB);
    ui_register_ctrl_callback("vcaxisCB", vcaxisCB);
}
