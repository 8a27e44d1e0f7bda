// The toolkit's model as renderers see it, and the renderer interface.
// Qt-free.  Renderers read the model through ui::panel() and change it only
// through the operations of ui/toolkit.h and the input helpers below, so the
// model stays the one source of truth.
#pragma once

#include "ui/resource.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ui {

using Value = std::variant<int, double, std::string>;

struct ListItem {
    std::string label;
    Value value;
};

struct Plot {
    int handle = 0;
    bool isLine = false; // PlotLine when true, PlotPoint otherwise
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0; // a point uses x1, y1
    int style = VAL_EMPTY_SQUARE;
    int color = VAL_BLACK;
};

struct Axis {
    int scaling = VAL_AUTOSCALE; // VAL_MANUAL or VAL_AUTOSCALE
    double min = 0.0, max = 10.0;
    int mapMode = VAL_LINEAR;
    bool reverse = false;
    bool gridVisible = true;
    std::string name;
};

struct LegendItem {
    std::string text;
    int color = VAL_BLACK;
    int style = VAL_EMPTY_SQUARE;
};

struct Graph {
    std::vector<Plot> plots; // in drawing order (ascending handle)
    std::vector<LegendItem> legend;
    bool equalScale = false; // both axes linear: one unit as long on each
    Axis axes[4]; // VAL_XAXIS, VAL_LEFT_YAXIS, VAL_TOP_XAXIS, VAL_RIGHT_YAXIS
    double cursorX = 0.0, cursorY = 0.0;
    int nextHandle = 1;
    int plotBgColor = VAL_WHITE;
};

struct Control {
    int id = 0;
    UiCtrlKind kind = UiCtrlKind::Numeric;
    int dataType = VAL_INTEGER;
    std::string label;
    int top = 0, left = 0, height = 0, width = 0;
    Value value = 0; // numeric: int or double; text: string; ring/list: selected item's value
    double min = -1e300, max = 1e300;
    int precision = 3;
    double increment = 1.0;
    int mode = VAL_HOT;
    bool visible = true;
    bool dimmed = false;
    int maxEntryLength = 0;
    int textColor = VAL_BLACK;
    int bgColor = VAL_WHITE;
    int textSize = 0; // point size of the value's text; 0: the renderer's default
    std::string onText, offText;
    std::string unit; // numeric controls; empty: the label's last "(...)"
    std::string tooltip; // set by the program; empty: see tooltipText
    std::vector<ListItem> items; // rings and list boxes
    int index = -1; // selected item, -1 when the list is empty
    std::vector<std::string> lines; // text boxes: the text is the lines joined by '\n'
    // Bumped whenever lines other than the last one change (reset, insert before
    // the end, delete), so a renderer that saw the same count can redraw only
    // from its last shown line on: appends keep it.
    std::uint64_t linesRewritten = 0;
    Graph graph; // graphs
    std::string callbackName;
    CtrlCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
};

struct MenuItem {
    int id = 0;
    std::string label;
    bool separator = false;
    bool dimmed = false;
    bool visible = true;
    MenuCallbackPtr callback = nullptr;
};
struct Menu {
    int id = 0;
    std::string label;
    bool dimmed = false;
    bool visible = true;
    std::vector<MenuItem> items;
};
struct MenuBar {
    int handle = 0;
    int panel = 0; // panel it is attached to, 0 if none
    std::vector<Menu> menus;
};

struct Panel {
    int handle = 0;
    std::string resourceFile;
    int resourceId = 0;
    std::string title;
    int top = 0, left = 0, height = 0, width = 0;
    bool visible = false;
    int scaleContents = 0;
    bool sizable = false;
    int menuBar = 0; // 0 when none
    PanelCallbackPtr callback = nullptr;
    std::vector<Control> controls; // in resource order (drawing order)
    std::vector<int> slotById; // position in controls by id, -1 when none; empty: search

    const Control* control(int id) const;
    Control* control(int id);
};

// Read access for renderers and tests; nullptr for a handle that is not loaded.
const Panel* panel(int handle);
const MenuBar* menuBar(int handle);
std::vector<int> panelHandles();

// Splits a list label at its column escapes (ESC 'p' <pixels> 'l'): pieces of
// text with the pixel offset each starts at (the first at 0).
struct LabelPiece {
    int x;
    std::string text;
};
std::vector<LabelPiece> splitColumns(const std::string& label);

// The help a renderer shows on hovering a control: its tooltip, or for a
// numeric control a user can edit, its range and unit.
std::string tooltipText(const Control& c);

// What changed, for renderers.  (The scoped enumerator Value is always used as
// Change::Value, so its shadowing of ui::Value is harmless.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
enum class Change {
    Value, // value, index, lines
    Attributes, // dimmed, visible, mode, range, colours, label, geometry, precision
    Items, // ring / list items
    Plots, // plots added or deleted, axes, cursor
};
#pragma GCC diagnostic pop

struct PromptResult {
    bool ok;
    std::string text;
};

class Renderer {
public:
    virtual ~Renderer() = default;
    // Model changes.
    virtual void panelLoaded(int /*panel*/) { }
    virtual void panelChanged(int /*panel*/) { } // title, geometry, visibility, menu bar
    virtual void panelDiscarded(int /*panel*/) { }
    virtual void controlChanged(int /*panel*/, int /*control*/, Change /*what*/) { }
    virtual void menuBarChanged(int /*menuBar*/) { }
    // Collects user input into the model's queue; when nothing is pending waits
    // for input at most maxWaitMs milliseconds.  Never spins.
    virtual void pump(int maxWaitMs) = 0;
    // Pop-ups (modal).
    virtual void messagePopup(const std::string& title, const std::string& text) = 0;
    // A message about something that failed; shown with the error icon where
    // the renderer has icons.
    virtual void errorPopup(const std::string& title, const std::string& text) { messagePopup(title, text); }
    virtual bool confirmPopup(const std::string& title, const std::string& text) = 0;
    virtual PromptResult promptPopup(const std::string& title, const std::string& text, int maxLength) = 0;
    // nullopt when cancelled.
    virtual std::optional<std::string> fileSelectPopup(const std::string& directory,
        const std::string& defaultFile,
        const std::string& filter,
        const std::string& title, int buttonLabel,
        bool allowCancel, bool allowMakeDirectory) = 0;
    // Called from any thread after something was queued, so that a pump()
    // waiting for input returns at once.
    virtual void wake() { }
    // User input was refused (a number outside the control's range): tell the
    // user at the control, without a modal pop-up.
    virtual void inputRefused(int /*panel*/, int /*control*/, const std::string& /*why*/) { }
    virtual void setWaitCursor(bool /*on*/) { }
    virtual void beep() { }
};

// What SavePanelPicture calls: writes the panel's picture to path, false
// with *error on failure.  Installed by a renderer that can draw.
using PictureWriter = bool (*)(int panel, const std::string& path, std::string* error);
void setPictureWriter(PictureWriter writer);

// Installs the renderer the run time uses (not owned); nullptr restores the
// headless driver.
void setRenderer(Renderer* r);
Renderer* renderer();

// ---- input: what renderers and the headless driver call ------------------------------
// Queues an event for its callback; ProcessSystemEvents delivers it.
void postEvent(int panel, int control, int event, int data1 = 0, int data2 = 0);
void postMenuEvent(int menuBar, int menuItem);
// Queues a key for KeyHit/GetKey.
void postKey(int key);
// Runs fn on the user-interface thread at the next ProcessSystemEvents; safe
// to call from any thread (tests inject actions this way).
void postAction(std::function<void()> fn);
// Sets a control's value as a user would (range coercion, entry length), without
// a callback; the renderer then posts EVENT_COMMIT for hot controls.
int userSetValue(int panel, int control, const Value& v);
int userSetIndex(int panel, int control, int index);
void userSetCursor(int panel, int control, double x, double y);
// Whether user events are queued (renderers use it to decide to wait).
bool eventsPending();
// Blocks until an event or action is queued or a key is posted, at most
// maxWaitMs; true when events are pending.  Any thread may post meanwhile.
bool waitForInput(int maxWaitMs);
// 0 when the user can operate the control (panel shown, control visible, not
// dimmed, not an indicator), else UIE_NOT_OPERABLE / UIE_BAD_PANEL / UIE_BAD_CONTROL.
int userCanOperate(int panel, int control);

// The folder GetProjectDir gives for an executable in exeDir:
// $IMBENCH_PROJECT_DIR when set; exeDir when writable; else
// $XDG_CONFIG_HOME/imbench (or ~/.config/imbench), created if needed; exeDir
// when that cannot be made either.
std::string projectDirFor(const std::string& exeDir);

// Forgets every panel, menu bar, queued event and registration: a fresh run
// time for tests.
void resetForTests();

} // namespace ui
