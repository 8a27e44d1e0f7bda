// Shared between the files of the toolkit's model (the store, building from
// resources, values, attributes, input and the public calls); not for other
// modules.
#pragma once

#include "ui/internal.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// Digits a numeric control shows after the point.  Outside 0..kMaxPrecision
// is the caller's mistake, from a resource table or from SetCtrlAttribute
// alike: refused with UIE_BAD_ARGUMENT, never clamped.
constexpr int kMaxPrecision = 15;
constexpr bool precisionInRange(int p) { return p >= 0 && p <= kMaxPrecision; }

struct State {
    // Index = handle; handles are never reused within a run, so an event queued
    // for a discarded panel cannot reach a later one.
    std::vector<std::unique_ptr<Panel>> panels = std::vector<std::unique_ptr<Panel>>(1);
    std::vector<std::unique_ptr<MenuBar>> menuBars = std::vector<std::unique_ptr<MenuBar>>(1);
    std::map<std::string, UiResourceDef, std::less<>> resources;
    std::map<std::string, CtrlCallbackPtr, std::less<>> ctrlCallbacks;
    std::map<std::string, PanelCallbackPtr, std::less<>> panelCallbacks;
    std::map<std::string, MenuCallbackPtr, std::less<>> menuCallbacks;
};

State& state();
// The registered table of a resource file, by its base name; nullptr when none.
const UiResourceDef* findResource(const char* file);

// Reports a negative result as a library error; returns r.
int checked(int r, const char* where);
// Tells the renderer that a control changed.
void changed(int panel, int control, Change what);

int lookup(int panel, int control, Panel*& p, Control*& c);
// A ring or list box, else UIE_WRONG_CTRL_KIND.
int lookupList(int panel, int control, Control*& c);
int lookupKind(int panel, int control, UiCtrlKind kind, Control*& c);

// ---- values (values.cpp)
int toInt(double v);
float toFloat(double v);
bool numberOf(const Value& v, double& out);
Value numberFor(const Control& c, double v);
bool isNumericType(int t);
int outInt(const Value& v, int* out);
int outDouble(const Value& v, double* out);
int outFloat(const Value& v, float* out);
int outString(const Value& v, std::string* out);
int copyOut(const std::string& s, char* buffer, std::size_t size);
std::vector<std::string> splitLines(std::string_view text);
void replaceText(Control& c, std::string_view text);
void syncSelection(Control& c);
int itemValueFor(const Control& c, const Value& in, Value& out);
int findItem(const Control& c, const Value& v);
int getValue(int panel, int control, Value& out);
int setValue(int panel, int control, const Value& v, bool user);

// ---- attributes (attributes.cpp)
int setAttr(int panel, int control, int attr, const Value& v);
int getAttr(int panel, int control, int attr, Value& out);
int setPanelAttr(int panel, int attr, const Value& v);
int getPanelAttr(int panel, int attr, Value& out);
int menuEntry(int menuBar, int id, bool*& dimmed, bool*& visible);

} // namespace ui
