// Panels and menu bars built from the registered resource tables: every
// control checked and typed as its kind wants, callbacks resolved by name.
// An unknown resource, panel id or callback, or a control the toolkit cannot
// make, fails the whole load.

#include "ui/model_internal.h"

#include <algorithm>
#include <cmath>

namespace ui {
namespace {

// Ids of resource tables come from enums; above this the lookup table would
// be wasteful and the panel falls back to a search.
constexpr int kMaxDenseId = 65536;

// ---- building from resources --------------------------------------------------------------

int controlFromDef(const UiCtrlDef& d, Control& c) {
    if (d.id <= 0) return UIE_BAD_CONTROL;
    c.id = d.id;
    c.kind = d.kind;
    switch (d.kind) {
    case UiCtrlKind::Numeric:
        if (!isNumericType(d.dataType)) return UIE_TYPE_MISMATCH;
        c.dataType = d.dataType;
        break;
    case UiCtrlKind::Ring:
    case UiCtrlKind::ListBox:
        if (!isNumericType(d.dataType) && d.dataType != VAL_STRING) return UIE_TYPE_MISMATCH;
        c.dataType = d.dataType;
        break;
    case UiCtrlKind::String:
    case UiCtrlKind::TextMsg:
    case UiCtrlKind::TextBox:
        c.dataType = VAL_STRING;
        break;
    case UiCtrlKind::Toggle:
    case UiCtrlKind::Led:
        c.dataType = VAL_INTEGER;
        break;
    default:
        c.dataType = VAL_NO_TYPE;
        break;
    }
    if (d.mode < VAL_INDICATOR || d.mode > VAL_NORMAL) return UIE_BAD_ARGUMENT;
    if (!precisionInRange(d.precision)) return UIE_BAD_ARGUMENT;
    c.label = d.label;
    c.top = d.top;
    c.left = d.left;
    c.height = d.height;
    c.width = d.width;
    c.min = d.min;
    c.max = d.max;
    c.precision = d.precision;
    c.increment = d.increment;
    c.mode = d.mode;
    c.visible = d.visible;
    c.dimmed = d.dimmed;
    c.maxEntryLength = std::max(d.maxEntryLength, 0);
    c.textColor = d.textColor;
    c.bgColor = d.bgColor;
    c.textSize = std::max(d.textSize, 0);
    c.onText = d.onText;
    c.unit = d.unit;
    c.offText = d.offText;
    switch (d.kind) {
    case UiCtrlKind::Numeric:
        c.value = numberFor(c, std::isnan(d.value) && c.dataType == VAL_INTEGER ? 0.0 : d.value);
        break;
    case UiCtrlKind::String:
    case UiCtrlKind::TextMsg:
        c.value = d.text;
        break;
    case UiCtrlKind::TextBox:
        c.value = std::string();
        replaceText(c, d.text);
        c.linesRewritten = 0;
        break;
    case UiCtrlKind::Toggle:
    case UiCtrlKind::Led:
        c.value = d.value != 0.0 ? 1 : 0;
        break;
    case UiCtrlKind::Ring:
    case UiCtrlKind::ListBox: {
        for (const auto& item : d.items) {
            Value v;
            Value in = c.dataType == VAL_STRING ? Value(item.text)
                : c.dataType == VAL_INTEGER     ? Value(toInt(item.value))
                                                : Value(item.value);
            if (itemValueFor(c, in, v) < 0) return UIE_TYPE_MISMATCH;
            c.items.push_back({item.label, std::move(v)});
        }
        const int found = findItem(c, c.dataType == VAL_STRING ? Value(d.text) : Value(d.value));
        c.index = found >= 0 ? found : (c.items.empty() ? -1 : 0);
        syncSelection(c);
        break;
    }
    case UiCtrlKind::Graph:
        c.value = 0;
        c.graph.axes[VAL_XAXIS].name = d.xName;
        c.graph.axes[VAL_XAXIS].mapMode = d.xMapMode;
        c.graph.axes[VAL_XAXIS].reverse = d.xReverse;
        c.graph.axes[VAL_LEFT_YAXIS].name = d.yName;
        c.graph.axes[VAL_LEFT_YAXIS].mapMode = d.yMapMode;
        c.graph.axes[VAL_LEFT_YAXIS].reverse = d.yReverse;
        break;
    default:
        c.value = 0;
        break;
    }
    return 0;
}

void buildIndex(Panel& p) {
    p.slotById.clear();
    int maxId = 0;
    for (const auto& c : p.controls) maxId = std::max(maxId, c.id);
    if (maxId > kMaxDenseId) return;
    p.slotById.assign(static_cast<std::size_t>(maxId) + 1, -1);
    for (std::size_t i = 0; i < p.controls.size(); ++i)
        p.slotById[static_cast<std::size_t>(p.controls[i].id)] = static_cast<int>(i);
}

int menuBarFromDef(const UiMenuBarDef& def, MenuBar& mb) {
    const auto& callbacks = state().menuCallbacks;
    for (const auto& md : def.menus) {
        Menu m;
        m.id = md.id;
        m.label = md.label;
        for (const auto& id : md.items) {
            MenuItem item;
            item.id = id.id;
            item.label = id.label;
            item.separator = id.separator;
            if (!id.callback.empty()) {
                auto it = callbacks.find(id.callback);
                if (it == callbacks.end()) return UIE_CALLBACK_NOT_FOUND;
                item.callback = it->second;
            }
            m.items.push_back(std::move(item));
        }
        mb.menus.push_back(std::move(m));
    }
    return 0;
}

void discardMenuBarsOf(int panel) {
    auto& bars = state().menuBars;
    for (std::size_t h = 1; h < bars.size(); ++h)
        if (bars[h] && bars[h]->panel == panel) {
            bars[h].reset();
            renderer()->menuBarChanged(static_cast<int>(h));
        }
}

} // namespace
} // namespace ui

// ---- helpers for resource tables ----------------------------------------------------------------

std::vector<UiItemDef> ui_items(std::initializer_list<std::pair<const char*, int>> list) {
    std::vector<UiItemDef> out;
    out.reserve(list.size());
    for (const auto& [label, value] : list) out.push_back(UiItemDef{label, static_cast<double>(value)});
    return out;
}

// ---- panels ------------------------------------------------------------------------------------

int LoadPanel(int parent, const char* file, int resourceId) {
    using namespace ui;
    if (parent != 0 && !detail::findPanel(parent)) return checked(UIE_BAD_PANEL, "LoadPanel");
    const UiResourceDef* res = findResource(file);
    if (!res) return checked(UIE_RESOURCE_NOT_FOUND, "LoadPanel");
    const UiPanelDef* def = nullptr;
    for (const auto& pd : res->panels)
        if (pd.id == resourceId) def = &pd;
    if (!def) return checked(UIE_PANEL_NOT_FOUND, "LoadPanel");

    auto p = std::make_unique<Panel>();
    p->resourceFile = res->file;
    p->resourceId = resourceId;
    p->title = def->title;
    p->top = def->top;
    p->left = def->left;
    p->height = def->height;
    p->width = def->width;
    p->sizable = def->sizable;
    if (!def->callback.empty()) {
        auto it = state().panelCallbacks.find(def->callback);
        if (it == state().panelCallbacks.end()) return checked(UIE_CALLBACK_NOT_FOUND, "LoadPanel");
        p->callback = it->second;
    }
    p->controls.reserve(def->controls.size());
    for (const auto& cd : def->controls) {
        Control c;
        if (int r = controlFromDef(cd, c); r < 0) return checked(r, "LoadPanel");
        if (!cd.callback.empty()) {
            auto it = state().ctrlCallbacks.find(cd.callback);
            if (it == state().ctrlCallbacks.end()) return checked(UIE_CALLBACK_NOT_FOUND, "LoadPanel");
            c.callbackName = cd.callback;
            c.callback = it->second;
        }
        p->controls.push_back(std::move(c));
    }
    buildIndex(*p);
    for (const auto& c : p->controls)
        if (p->control(c.id) != &c) return checked(UIE_BAD_CONTROL, "LoadPanel"); // a duplicate id

    auto& panels = state().panels;
    const int handle = static_cast<int>(panels.size());
    p->handle = handle;
    panels.push_back(std::move(p));
    renderer()->panelLoaded(handle);
    return handle;
}

int DiscardPanel(int panel) {
    using namespace ui;
    if (!detail::findPanel(panel)) return checked(UIE_BAD_PANEL, "DiscardPanel");
    discardMenuBarsOf(panel);
    state().panels[static_cast<std::size_t>(panel)].reset();
    renderer()->panelDiscarded(panel);
    return 0;
}

// ---- menu bars -----------------------------------------------------------------------------------

int LoadMenuBar(int panel, const char* file, int resourceId) {
    using namespace ui;
    Panel* p = nullptr;
    if (panel != 0 && !(p = detail::findPanel(panel))) return checked(UIE_BAD_PANEL, "LoadMenuBar");
    const UiResourceDef* res = findResource(file);
    if (!res) return checked(UIE_RESOURCE_NOT_FOUND, "LoadMenuBar");
    const UiMenuBarDef* def = nullptr;
    for (const auto& md : res->menuBars)
        if (md.id == resourceId) def = &md;
    if (!def) return checked(UIE_BAD_MENU, "LoadMenuBar");
    auto mb = std::make_unique<MenuBar>();
    if (int r = menuBarFromDef(*def, *mb); r < 0) return checked(r, "LoadMenuBar");
    auto& bars = state().menuBars;
    const int handle = static_cast<int>(bars.size());
    mb->handle = handle;
    mb->panel = panel;
    bars.push_back(std::move(mb));
    if (p) {
        // A panel shows one menu bar: the previous one stays loaded, detached.
        if (MenuBar* old = detail::findMenuBar(p->menuBar)) {
            old->panel = 0;
            renderer()->menuBarChanged(old->handle);
        }
        p->menuBar = handle;
        renderer()->panelChanged(panel);
    }
    return handle;
}

int DiscardMenuBar(int menuBar) {
    using namespace ui;
    MenuBar* mb = detail::findMenuBar(menuBar);
    if (!mb) return checked(UIE_BAD_MENU, "DiscardMenuBar");
    const int panel = mb->panel;
    state().menuBars[static_cast<std::size_t>(menuBar)].reset();
    renderer()->menuBarChanged(menuBar);
    if (Panel* p = detail::findPanel(panel); p && p->menuBar == menuBar) {
        p->menuBar = 0;
        renderer()->panelChanged(panel);
    }
    return 0;
}
