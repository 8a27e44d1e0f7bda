// Declarative panel and menu-bar resources.  Each resource file name
// ("ifcPanel.uir", ...) is a table of panels and menu bars with absolute
// geometry; controls name their callbacks by string, resolved through the
// callback registry when the panel is loaded.  Modules register their
// resources and callbacks explicitly (no self-registering statics, which a
// static library would drop).
#pragma once

#include "ui/toolkit.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

enum class UiCtrlKind {
    Numeric, // int / double / float with range and precision
    String, // one-line text entry
    TextMsg, // static or indicator text
    TextBox, // multi-line text, SetCtrlVal appends
    Toggle, // on/off button or switch (int 0/1)
    Button, // command button (commit on click)
    Ring, // one item of a list, by index; value is the item's value
    ListBox, // list of items, one selected
    Graph, // x-y graph with plots, axes and a cursor
    Led, // indicator lamp (int 0/1)
    Decoration, // frame, no value
};

// One ring or list item: its label and its value, typed as the control is.
struct UiItemDef {
    std::string label;
    double value = 0.0; // for numeric rings
    std::string text = {}; // for text rings
};

struct UiCtrlDef {
    int id = 0;
    UiCtrlKind kind = UiCtrlKind::Numeric;
    int dataType = VAL_INTEGER; // VAL_INTEGER / VAL_DOUBLE / VAL_FLOAT / VAL_STRING / VAL_NO_TYPE
    std::string label = {};
    int top = 0, left = 0, height = 20, width = 80;
    std::string callback = {}; // empty: none
    double value = 0.0; // initial numeric value (ring: the selected item's value)
    std::string text = {}; // initial text value
    double min = -1e300, max = 1e300;
    int precision = 3;
    double increment = 1.0;
    int mode = VAL_HOT;
    bool visible = true;
    bool dimmed = false;
    int maxEntryLength = 0; // 0: unlimited
    std::vector<UiItemDef> items = {};
    std::string onText = {}, offText = {};
    // graphs
    std::string xName = {}, yName = {};
    int xMapMode = VAL_LINEAR, yMapMode = VAL_LINEAR;
    bool xReverse = false, yReverse = false;
    int textColor = VAL_BLACK;
    int bgColor = VAL_WHITE;
    int textSize = 0; // text point size of the value; 0: the renderer's default
    // Numeric controls: the unit their range is given in; empty: the label's
    // last parenthesised part ("DC level (V)" gives "V").
    std::string unit = {};
};

struct UiPanelDef {
    int id = 0;
    std::string title = {};
    int top = 40, left = 40, height = 300, width = 400;
    std::string callback = {}; // panel callback, empty: none
    // The user may resize the window; its graphs take the extra room (never
    // smaller than this size).
    bool sizable = false;
    std::vector<UiCtrlDef> controls = {};
};

struct UiMenuItemDef {
    int id = 0;
    std::string label = {};
    std::string callback = {}; // menu callback, empty: none
    bool separator = false;
};

struct UiMenuDef {
    int id = 0;
    std::string label = {};
    std::vector<UiMenuItemDef> items = {};
};

struct UiMenuBarDef {
    int id = 0;
    std::vector<UiMenuDef> menus = {};
};

struct UiResourceDef {
    std::string file; // e.g. "ifcPanel.uir"
    std::vector<UiPanelDef> panels = {};
    std::vector<UiMenuBarDef> menuBars = {};
};

// Ring or list items with integer values, for writing resource tables.
std::vector<UiItemDef> ui_items(std::initializer_list<std::pair<const char*, int>> list);

// Registers (or replaces) a resource file's table.
void ui_register_resource(UiResourceDef def);

// Callbacks by name.  Registering a name again replaces the function.
void ui_register_ctrl_callback(const std::string& name, CtrlCallbackPtr fn);
void ui_register_panel_callback(const std::string& name, PanelCallbackPtr fn);
void ui_register_menu_callback(const std::string& name, MenuCallbackPtr fn);
