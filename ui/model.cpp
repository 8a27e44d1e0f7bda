// The toolkit's model store: panels and menu bars by handle, the registered
// resource tables and callbacks, and the lookups every call goes through.
// Everything here runs on the user-interface thread; only the event queue
// (events.cpp) is shared with other threads.

#include "ui/model_internal.h"

namespace ui {
namespace {

bool isList(const Control& c) { return c.kind == UiCtrlKind::Ring || c.kind == UiCtrlKind::ListBox; }

std::string_view baseName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

State& state() {
    static State s;
    return s;
}

const UiResourceDef* findResource(const char* file) {
    if (!file) return nullptr;
    auto& res = state().resources;
    auto it = res.find(baseName(file));
    return it == res.end() ? nullptr : &it->second;
}

int checked(int r, const char* where) { return r < 0 ? detail::fail(r, where) : r; }

void changed(int panel, int control, Change what) { renderer()->controlChanged(panel, control, what); }

// ---- lookups ---------------------------------------------------------------------------

int lookup(int panel, int control, Panel*& p, Control*& c) {
    p = detail::findPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    c = p->control(control);
    if (!c) return UIE_BAD_CONTROL;
    return 0;
}

int lookupList(int panel, int control, Control*& c) {
    Panel* p = nullptr;
    if (int r = lookup(panel, control, p, c); r < 0) return r;
    return isList(*c) ? 0 : UIE_WRONG_CTRL_KIND;
}

int lookupKind(int panel, int control, UiCtrlKind kind, Control*& c) {
    Panel* p = nullptr;
    if (int r = lookup(panel, control, p, c); r < 0) return r;
    return c->kind == kind ? 0 : UIE_WRONG_CTRL_KIND;
}

// ---- model access ---------------------------------------------------------------------------

const Control* Panel::control(int id) const {
    if (slotById.empty()) {
        for (const auto& c : controls)
            if (c.id == id) return &c;
        return nullptr;
    }
    if (id <= 0 || static_cast<std::size_t>(id) >= slotById.size()) return nullptr;
    const int slot = slotById[static_cast<std::size_t>(id)];
    return slot < 0 ? nullptr : &controls[static_cast<std::size_t>(slot)];
}

Control* Panel::control(int id) { return const_cast<Control*>(static_cast<const Panel*>(this)->control(id)); }

const Panel* panel(int handle) { return detail::findPanel(handle); }
const MenuBar* menuBar(int handle) { return detail::findMenuBar(handle); }

std::vector<int> panelHandles() {
    std::vector<int> out;
    const auto& panels = state().panels;
    for (std::size_t h = 1; h < panels.size(); ++h)
        if (panels[h]) out.push_back(static_cast<int>(h));
    return out;
}

std::vector<LabelPiece> splitColumns(const std::string& label) {
    // ESC 'p' <digits> 'l'; anything else, including an offset too long to be
    // a pixel position, stays plain text.
    constexpr std::size_t kMaxDigits = 6;
    std::vector<LabelPiece> out{{0, std::string()}};
    std::size_t i = 0;
    while (i < label.size()) {
        if (label[i] == '\x1b' && i + 1 < label.size() && label[i + 1] == 'p') {
            std::size_t j = i + 2;
            int x = 0;
            while (j < label.size() && j - (i + 2) < kMaxDigits && label[j] >= '0' && label[j] <= '9')
                x = x * 10 + (label[j++] - '0');
            if (j > i + 2 && j < label.size() && label[j] == 'l') {
                out.push_back({x, std::string()});
                i = j + 1;
                continue;
            }
        }
        out.back().text += label[i++];
    }
    return out;
}

namespace detail {

Panel* findPanel(int handle) {
    auto& panels = state().panels;
    if (handle <= 0 || static_cast<std::size_t>(handle) >= panels.size()) return nullptr;
    return panels[static_cast<std::size_t>(handle)].get();
}

MenuBar* findMenuBar(int handle) {
    auto& bars = state().menuBars;
    if (handle <= 0 || static_cast<std::size_t>(handle) >= bars.size()) return nullptr;
    return bars[static_cast<std::size_t>(handle)].get();
}

void resetModel() {
    State& s = state();
    for (std::size_t h = 1; h < s.panels.size(); ++h)
        if (s.panels[h]) {
            s.panels[h].reset();
            renderer()->panelDiscarded(static_cast<int>(h));
        }
    s.panels.clear();
    s.panels.resize(1);
    s.menuBars.clear();
    s.menuBars.resize(1);
    s.resources.clear();
    s.ctrlCallbacks.clear();
    s.panelCallbacks.clear();
    s.menuCallbacks.clear();
}

} // namespace detail
} // namespace ui

// ---- resources and callbacks ----------------------------------------------------------------

void ui_register_resource(UiResourceDef def) {
    std::string name = def.file;
    ui::state().resources[std::move(name)] = std::move(def);
}
void ui_register_ctrl_callback(const std::string& name, CtrlCallbackPtr fn) { ui::state().ctrlCallbacks[name] = fn; }
void ui_register_panel_callback(const std::string& name, PanelCallbackPtr fn) { ui::state().panelCallbacks[name] = fn; }
void ui_register_menu_callback(const std::string& name, MenuCallbackPtr fn) { ui::state().menuCallbacks[name] = fn; }
