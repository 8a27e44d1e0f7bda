// The toolkit's public calls: each checks its arguments, works on the model
// and reports a negative result as a library error under its own name.

#include "ui/model_internal.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>

namespace ui {
namespace {

// ---- list items ---------------------------------------------------------------------------

int insertItem(int panel, int control, int index, const char* label, const Value& v) {
    Control* c = nullptr;
    if (int r = lookupList(panel, control, c); r < 0) return r;
    const int count = static_cast<int>(c->items.size());
    if (index == -1) index = count;
    if (index < 0 || index > count) return UIE_INDEX_OUT_OF_RANGE;
    Value typed;
    if (int r = itemValueFor(*c, v, typed); r < 0) return r;
    c->items.insert(c->items.begin() + index, ListItem{label ? label : "", std::move(typed)});
    // The selection stays on its item; the first item of an empty list becomes selected.
    if (c->index < 0)
        c->index = 0;
    else if (index <= c->index)
        ++c->index;
    syncSelection(*c);
    changed(panel, control, Change::Items);
    return 0;
}

int replaceItem(int panel, int control, int index, const char* label, const Value& v) {
    Control* c = nullptr;
    if (int r = lookupList(panel, control, c); r < 0) return r;
    if (index < 0 || static_cast<std::size_t>(index) >= c->items.size()) return UIE_INDEX_OUT_OF_RANGE;
    Value typed;
    if (int r = itemValueFor(*c, v, typed); r < 0) return r;
    c->items[static_cast<std::size_t>(index)] = ListItem{label ? label : "", std::move(typed)};
    syncSelection(*c);
    changed(panel, control, Change::Items);
    return 0;
}

int valueFromIndex(int panel, int control, int index, Value& out) {
    Control* c = nullptr;
    if (int r = lookupList(panel, control, c); r < 0) return r;
    if (index < 0 || static_cast<std::size_t>(index) >= c->items.size()) return UIE_INDEX_OUT_OF_RANGE;
    out = c->items[static_cast<std::size_t>(index)].value;
    return 0;
}

int addPlot(int panel, int control, Plot plot) {
    Control* c = nullptr;
    if (int r = lookupKind(panel, control, UiCtrlKind::Graph, c); r < 0) return r;
    Graph& g = c->graph;
    if (g.nextHandle == INT_MAX) return UIE_BAD_PLOT;
    plot.handle = g.nextHandle++;
    g.plots.push_back(plot);
    changed(panel, control, Change::Plots);
    return plot.handle;
}

} // namespace
} // namespace ui

using ui::Value;

// ---- panels ------------------------------------------------------------------------------------

int DisplayPanel(int panel) { return SetPanelAttribute(panel, ATTR_VISIBLE, 1); }
int HidePanel(int panel) { return SetPanelAttribute(panel, ATTR_VISIBLE, 0); }

int SetPanelAttribute(int panel, int attribute, int value) {
    return ui::checked(ui::setPanelAttr(panel, attribute, value), "SetPanelAttribute");
}
int SetPanelAttribute(int panel, int attribute, const char* value) {
    if (!value) return ui::checked(UIE_BAD_ARGUMENT, "SetPanelAttribute");
    return ui::checked(ui::setPanelAttr(panel, attribute, std::string(value)), "SetPanelAttribute");
}
int GetPanelAttribute(int panel, int attribute, int* value) {
    Value v;
    int r = ui::getPanelAttr(panel, attribute, v);
    if (r >= 0) r = ui::outInt(v, value);
    return ui::checked(r, "GetPanelAttribute");
}
int GetPanelAttribute(int panel, int attribute, std::string* value) {
    Value v;
    int r = ui::getPanelAttr(panel, attribute, v);
    if (r >= 0) r = ui::outString(v, value);
    return ui::checked(r, "GetPanelAttribute");
}
int GetPanelAttribute(int panel, int attribute, char* value, std::size_t size) {
    std::string s;
    int r = GetPanelAttribute(panel, attribute, &s);
    if (r >= 0) r = ui::copyOut(s, value, size);
    return ui::checked(r, "GetPanelAttribute");
}

// ---- menu bars -----------------------------------------------------------------------------------

int SetMenuBarAttribute(int menuBar, int menuItem, int attribute, int value) {
    bool* dimmed = nullptr;
    bool* visible = nullptr;
    if (int r = ui::menuEntry(menuBar, menuItem, dimmed, visible); r < 0)
        return ui::checked(r, "SetMenuBarAttribute");
    if (attribute == ATTR_DIMMED)
        *dimmed = value != 0;
    else if (attribute == ATTR_VISIBLE)
        *visible = value != 0;
    else
        return ui::checked(UIE_BAD_ATTRIBUTE, "SetMenuBarAttribute");
    ui::renderer()->menuBarChanged(menuBar);
    return 0;
}

int GetMenuBarAttribute(int menuBar, int menuItem, int attribute, int* value) {
    bool* dimmed = nullptr;
    bool* visible = nullptr;
    if (int r = ui::menuEntry(menuBar, menuItem, dimmed, visible); r < 0)
        return ui::checked(r, "GetMenuBarAttribute");
    if (!value) return ui::checked(UIE_BAD_ARGUMENT, "GetMenuBarAttribute");
    if (attribute == ATTR_DIMMED)
        *value = *dimmed ? 1 : 0;
    else if (attribute == ATTR_VISIBLE)
        *value = *visible ? 1 : 0;
    else
        return ui::checked(UIE_BAD_ATTRIBUTE, "GetMenuBarAttribute");
    return 0;
}

// ---- control values ----------------------------------------------------------------------------------

int SetCtrlVal(int panel, int control, int value) { return ui::checked(ui::setValue(panel, control, value, false), "SetCtrlVal"); }
int SetCtrlVal(int panel, int control, double value) { return ui::checked(ui::setValue(panel, control, value, false), "SetCtrlVal"); }
int SetCtrlVal(int panel, int control, const char* value) {
    if (!value) return ui::checked(UIE_BAD_ARGUMENT, "SetCtrlVal");
    return ui::checked(ui::setValue(panel, control, std::string(value), false), "SetCtrlVal");
}
int SetCtrlVal(int panel, int control, const std::string& value) {
    return ui::checked(ui::setValue(panel, control, value, false), "SetCtrlVal");
}

int GetCtrlVal(int panel, int control, int* value) {
    Value v;
    int r = ui::getValue(panel, control, v);
    if (r >= 0) r = ui::outInt(v, value);
    return ui::checked(r, "GetCtrlVal");
}
int GetCtrlVal(int panel, int control, double* value) {
    Value v;
    int r = ui::getValue(panel, control, v);
    if (r >= 0) r = ui::outDouble(v, value);
    return ui::checked(r, "GetCtrlVal");
}
int GetCtrlVal(int panel, int control, float* value) {
    Value v;
    int r = ui::getValue(panel, control, v);
    if (r >= 0) r = ui::outFloat(v, value);
    return ui::checked(r, "GetCtrlVal");
}
int GetCtrlVal(int panel, int control, std::string* value) {
    Value v;
    int r = ui::getValue(panel, control, v);
    if (r >= 0) r = ui::outString(v, value);
    return ui::checked(r, "GetCtrlVal");
}
int GetCtrlValStr(int panel, int control, char* buffer, std::size_t size) {
    std::string s;
    int r = GetCtrlVal(panel, control, &s);
    if (r >= 0) r = ui::copyOut(s, buffer, size);
    return ui::checked(r, "GetCtrlValStr");
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    return ui::checked(ui::setAttr(panel, control, attribute, value), "SetCtrlAttribute");
}
int SetCtrlAttribute(int panel, int control, int attribute, double value) {
    return ui::checked(ui::setAttr(panel, control, attribute, value), "SetCtrlAttribute");
}
int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
    if (!value) return ui::checked(UIE_BAD_ARGUMENT, "SetCtrlAttribute");
    return ui::checked(ui::setAttr(panel, control, attribute, std::string(value)), "SetCtrlAttribute");
}
int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
    Value v;
    int r = ui::getAttr(panel, control, attribute, v);
    if (r >= 0) r = ui::outInt(v, value);
    return ui::checked(r, "GetCtrlAttribute");
}
int GetCtrlAttribute(int panel, int control, int attribute, double* value) {
    Value v;
    int r = ui::getAttr(panel, control, attribute, v);
    if (r >= 0) r = ui::outDouble(v, value);
    return ui::checked(r, "GetCtrlAttribute");
}
int GetCtrlAttribute(int panel, int control, int attribute, std::string* value) {
    Value v;
    int r = ui::getAttr(panel, control, attribute, v);
    if (r >= 0) r = ui::outString(v, value);
    return ui::checked(r, "GetCtrlAttribute");
}

// The rectangle of the control itself: its label, drawn above it, is not included.
int GetCtrlBoundingRect(int panel, int control, int* top, int* left, int* height, int* width) {
    ui::Panel* p = nullptr;
    ui::Control* c = nullptr;
    if (int r = ui::lookup(panel, control, p, c); r < 0) return ui::checked(r, "GetCtrlBoundingRect");
    if (top) *top = c->top;
    if (left) *left = c->left;
    if (height) *height = c->height;
    if (width) *width = c->width;
    return 0;
}

// ---- rings and list boxes ------------------------------------------------------------------------------

int GetCtrlIndex(int panel, int control, int* index) {
    ui::Control* c = nullptr;
    int r = ui::lookupList(panel, control, c);
    if (r >= 0 && !index) r = UIE_BAD_ARGUMENT;
    if (r < 0) return ui::checked(r, "GetCtrlIndex");
    *index = c->index;
    return 0;
}

int SetCtrlIndex(int panel, int control, int index) {
    ui::Control* c = nullptr;
    if (int r = ui::lookupList(panel, control, c); r < 0) return ui::checked(r, "SetCtrlIndex");
    if (index < 0 || static_cast<std::size_t>(index) >= c->items.size())
        return ui::checked(UIE_INDEX_OUT_OF_RANGE, "SetCtrlIndex");
    c->index = index;
    ui::syncSelection(*c);
    ui::changed(panel, control, ui::Change::Value);
    return 0;
}

int GetNumListItems(int panel, int control, int* count) {
    ui::Control* c = nullptr;
    int r = ui::lookupList(panel, control, c);
    if (r >= 0 && !count) r = UIE_BAD_ARGUMENT;
    if (r < 0) return ui::checked(r, "GetNumListItems");
    *count = static_cast<int>(c->items.size());
    return 0;
}

int GetLabelFromIndex(int panel, int control, int index, std::string* label) {
    ui::Control* c = nullptr;
    int r = ui::lookupList(panel, control, c);
    if (r >= 0 && (index < 0 || static_cast<std::size_t>(index) >= c->items.size())) r = UIE_INDEX_OUT_OF_RANGE;
    if (r >= 0 && !label) r = UIE_BAD_ARGUMENT;
    if (r < 0) return ui::checked(r, "GetLabelFromIndex");
    *label = c->items[static_cast<std::size_t>(index)].label;
    return 0;
}
int GetLabelFromIndex(int panel, int control, int index, char* label, std::size_t size) {
    std::string s;
    int r = GetLabelFromIndex(panel, control, index, &s);
    if (r >= 0) r = ui::copyOut(s, label, size);
    return ui::checked(r, "GetLabelFromIndex");
}

int GetValueFromIndex(int panel, int control, int index, int* value) {
    Value v;
    int r = ui::valueFromIndex(panel, control, index, v);
    if (r >= 0) r = ui::outInt(v, value);
    return ui::checked(r, "GetValueFromIndex");
}
int GetValueFromIndex(int panel, int control, int index, double* value) {
    Value v;
    int r = ui::valueFromIndex(panel, control, index, v);
    if (r >= 0) r = ui::outDouble(v, value);
    return ui::checked(r, "GetValueFromIndex");
}
int GetValueFromIndex(int panel, int control, int index, std::string* value) {
    Value v;
    int r = ui::valueFromIndex(panel, control, index, v);
    if (r >= 0) r = ui::outString(v, value);
    return ui::checked(r, "GetValueFromIndex");
}

int InsertListItem(int panel, int control, int index, const char* label, int value) {
    return ui::checked(ui::insertItem(panel, control, index, label, value), "InsertListItem");
}
int InsertListItem(int panel, int control, int index, const char* label, double value) {
    return ui::checked(ui::insertItem(panel, control, index, label, value), "InsertListItem");
}
int InsertListItem(int panel, int control, int index, const char* label, const char* value) {
    if (!value) return ui::checked(UIE_BAD_ARGUMENT, "InsertListItem");
    return ui::checked(ui::insertItem(panel, control, index, label, std::string(value)), "InsertListItem");
}
int ReplaceListItem(int panel, int control, int index, const char* label, int value) {
    return ui::checked(ui::replaceItem(panel, control, index, label, value), "ReplaceListItem");
}
int ReplaceListItem(int panel, int control, int index, const char* label, double value) {
    return ui::checked(ui::replaceItem(panel, control, index, label, value), "ReplaceListItem");
}
int ReplaceListItem(int panel, int control, int index, const char* label, const char* value) {
    if (!value) return ui::checked(UIE_BAD_ARGUMENT, "ReplaceListItem");
    return ui::checked(ui::replaceItem(panel, control, index, label, std::string(value)), "ReplaceListItem");
}

int DeleteListItem(int panel, int control, int index, int count) {
    ui::Control* c = nullptr;
    if (int r = ui::lookupList(panel, control, c); r < 0) return ui::checked(r, "DeleteListItem");
    const int size = static_cast<int>(c->items.size());
    if (index < 0 || index >= size) return ui::checked(UIE_INDEX_OUT_OF_RANGE, "DeleteListItem");
    if (count == -1) count = size - index;
    if (count < 0) return ui::checked(UIE_BAD_ARGUMENT, "DeleteListItem");
    if (count > size - index) return ui::checked(UIE_INDEX_OUT_OF_RANGE, "DeleteListItem");
    c->items.erase(c->items.begin() + index, c->items.begin() + index + count);
    // A deleted selection moves to the item now in its place (or the new last one).
    if (c->index >= index + count)
        c->index -= count;
    else if (c->index >= index)
        c->index = std::min(index, static_cast<int>(c->items.size()) - 1);
    ui::syncSelection(*c);
    ui::changed(panel, control, ui::Change::Items);
    return 0;
}

int ClearListCtrl(int panel, int control) {
    ui::Control* c = nullptr;
    if (int r = ui::lookupList(panel, control, c); r < 0) return ui::checked(r, "ClearListCtrl");
    c->items.clear();
    c->index = -1;
    ui::syncSelection(*c);
    ui::changed(panel, control, ui::Change::Items);
    return 0;
}

// ---- text boxes ---------------------------------------------------------------------------------------

int InsertTextBoxLine(int panel, int control, int index, const char* text) {
    ui::Control* c = nullptr;
    if (int r = ui::lookupKind(panel, control, UiCtrlKind::TextBox, c); r < 0)
        return ui::checked(r, "InsertTextBoxLine");
    if (!text) return ui::checked(UIE_BAD_ARGUMENT, "InsertTextBoxLine");
    const int count = static_cast<int>(c->lines.size());
    if (index < -1 || index > count) return ui::checked(UIE_INDEX_OUT_OF_RANGE, "InsertTextBoxLine");
    auto lines = ui::splitLines(text);
    if (index == -1 || index == count) {
        for (auto& l : lines) c->lines.push_back(std::move(l));
    } else {
        c->lines.insert(c->lines.begin() + index, std::make_move_iterator(lines.begin()),
            std::make_move_iterator(lines.end()));
        ++c->linesRewritten;
    }
    ui::changed(panel, control, ui::Change::Value);
    return 0;
}

int ResetTextBox(int panel, int control, const char* text) {
    ui::Control* c = nullptr;
    if (int r = ui::lookupKind(panel, control, UiCtrlKind::TextBox, c); r < 0) return ui::checked(r, "ResetTextBox");
    ui::replaceText(*c, text ? text : "");
    ui::changed(panel, control, ui::Change::Value);
    return 0;
}

int GetNumTextBoxLines(int panel, int control, int* count) {
    ui::Control* c = nullptr;
    int r = ui::lookupKind(panel, control, UiCtrlKind::TextBox, c);
    if (r >= 0 && !count) r = UIE_BAD_ARGUMENT;
    if (r < 0) return ui::checked(r, "GetNumTextBoxLines");
    *count = static_cast<int>(c->lines.size());
    return 0;
}

// ---- graphs ------------------------------------------------------------------------------------------

int PlotPoint(int panel, int control, double x, double y, int pointStyle, int color) {
    ui::Plot plot;
    plot.x1 = plot.x2 = x;
    plot.y1 = plot.y2 = y;
    plot.style = pointStyle;
    plot.color = color;
    return ui::checked(ui::addPlot(panel, control, plot), "PlotPoint");
}

int PlotLine(int panel, int control, double x1, double y1, double x2, double y2, int color) {
    ui::Plot plot;
    plot.isLine = true;
    plot.x1 = x1;
    plot.y1 = y1;
    plot.x2 = x2;
    plot.y2 = y2;
    plot.color = color;
    return ui::checked(ui::addPlot(panel, control, plot), "PlotLine");
}

int DeleteGraphPlot(int panel, int control, int plotHandle, int /*refresh*/) {
    ui::Control* c = nullptr;
    if (int r = ui::lookupKind(panel, control, UiCtrlKind::Graph, c); r < 0) return ui::checked(r, "DeleteGraphPlot");
    auto& plots = c->graph.plots;
    if (plotHandle == VAL_ALL_PLOTS) {
        plots.clear();
    } else {
        // Handles ascend in drawing order.
        auto it = std::lower_bound(plots.begin(), plots.end(), plotHandle,
            [](const ui::Plot& p, int h) { return p.handle < h; });
        if (it == plots.end() || it->handle != plotHandle) return ui::checked(UIE_BAD_PLOT, "DeleteGraphPlot");
        plots.erase(it);
    }
    ui::changed(panel, control, ui::Change::Plots);
    return 0;
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
    ui::Control* c = nullptr;
    int r = ui::lookupKind(panel, control, UiCtrlKind::Graph, c);
    if (r >= 0 && (axis < 0 || axis > 3)) r = UIE_INDEX_OUT_OF_RANGE;
    if (r >= 0 && mode != VAL_MANUAL && mode != VAL_AUTOSCALE) r = UIE_BAD_ARGUMENT;
    if (r >= 0 && mode == VAL_MANUAL && !(std::isfinite(min) && std::isfinite(max) && min < max)) r = UIE_BAD_ARGUMENT;
    if (r < 0) return ui::checked(r, "SetAxisScalingMode");
    ui::Axis& a = c->graph.axes[axis];
    a.scaling = mode;
    if (mode == VAL_MANUAL) {
        a.min = min;
        a.max = max;
    }
    ui::changed(panel, control, ui::Change::Plots);
    return 0;
}

int GetAxisScalingMode(int panel, int control, int axis, int* mode, double* min, double* max) {
    ui::Control* c = nullptr;
    int r = ui::lookupKind(panel, control, UiCtrlKind::Graph, c);
    if (r >= 0 && (axis < 0 || axis > 3)) r = UIE_INDEX_OUT_OF_RANGE;
    if (r < 0) return ui::checked(r, "GetAxisScalingMode");
    const ui::Axis& a = c->graph.axes[axis];
    if (mode) *mode = a.scaling;
    if (min) *min = a.min;
    if (max) *max = a.max;
    return 0;
}

int GetGraphCursor(int panel, int control, int cursor, double* x, double* y) {
    ui::Control* c = nullptr;
    int r = ui::lookupKind(panel, control, UiCtrlKind::Graph, c);
    if (r >= 0 && cursor != 1) r = UIE_INDEX_OUT_OF_RANGE;
    if (r < 0) return ui::checked(r, "GetGraphCursor");
    if (x) *x = c->graph.cursorX;
    if (y) *y = c->graph.cursorY;
    return 0;
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
    ui::Control* c = nullptr;
    int r = ui::lookupKind(panel, control, UiCtrlKind::Graph, c);
    if (r >= 0 && cursor != 1) r = UIE_INDEX_OUT_OF_RANGE;
    if (r < 0) return ui::checked(r, "SetGraphCursor");
    c->graph.cursorX = x;
    c->graph.cursorY = y;
    ui::changed(panel, control, ui::Change::Plots);
    return 0;
}

int RefreshGraph(int panel, int control) {
    ui::Control* c = nullptr;
    if (int r = ui::lookupKind(panel, control, UiCtrlKind::Graph, c); r < 0) return ui::checked(r, "RefreshGraph");
    ui::changed(panel, control, ui::Change::Plots);
    return 0;
}

int AddGraphLegendItem(int panel, int control, const char* text, int color, int pointStyle) {
    ui::Control* c = nullptr;
    if (int r = ui::lookupKind(panel, control, UiCtrlKind::Graph, c); r < 0)
        return ui::checked(r, "AddGraphLegendItem");
    c->graph.legend.push_back(ui::LegendItem{text ? text : "", color, pointStyle});
    ui::changed(panel, control, ui::Change::Plots);
    return 0;
}

int ClearGraphLegend(int panel, int control) {
    ui::Control* c = nullptr;
    if (int r = ui::lookupKind(panel, control, UiCtrlKind::Graph, c); r < 0)
        return ui::checked(r, "ClearGraphLegend");
    if (!c->graph.legend.empty()) {
        c->graph.legend.clear();
        ui::changed(panel, control, ui::Change::Plots);
    }
    return 0;
}

namespace {
ui::PictureWriter g_picture_writer = nullptr;
} // namespace

void ui::setPictureWriter(PictureWriter writer) { g_picture_writer = writer; }

int SavePanelPicture(int panel, const char* path) {
    if (!ui::panel(panel)) return ui::checked(UIE_BAD_PANEL, "SavePanelPicture");
    if (!path || !*path) return ui::checked(UIE_BAD_ARGUMENT, "SavePanelPicture");
    if (!g_picture_writer) return ui::checked(UIE_NOT_SUPPORTED, "SavePanelPicture");
    std::string error;
    return g_picture_writer(panel, path, &error) ? 0 : ui::checked(UIE_FILE_ERROR, "SavePanelPicture");
}
