// The toolkit's model: panels, controls, typed values, attributes, lists, text
// boxes, graphs and menu bars, loaded from the registered resource tables.
// Everything here runs on the user-interface thread; only the event queue
// (events.cpp) is shared with other threads.

#include "ui/internal.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string_view>

namespace ui {
namespace {

// Ids of resource tables come from enums; above this the lookup table would
// be wasteful and the panel falls back to a search.
constexpr int kMaxDenseId = 65536;
constexpr int kMaxPrecision = 15;

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

State& state() {
    static State s;
    return s;
}

int checked(int r, const char* where) { return r < 0 ? detail::fail(r, where) : r; }

void changed(int panel, int control, Change what) { renderer()->controlChanged(panel, control, what); }

// ---- numbers ------------------------------------------------------------------

// Nearest, halves away from zero, saturating at the int range: a computed 2.9999999
// shown in an integer control reads as 3, not 2.
int toInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(std::lround(v));
}

float toFloat(double v) {
    if (std::isnan(v) || std::isinf(v)) return static_cast<float>(v);
    if (v > static_cast<double>(FLT_MAX)) return FLT_MAX;
    if (v < -static_cast<double>(FLT_MAX)) return -FLT_MAX;
    return static_cast<float>(v);
}

// Low bound first, then high: with min above max (half-way through changing
// both) the value ends at max, and in range once the second bound is set.
double bounded(double v, double lo, double hi) {
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    return v;
}

bool numberOf(const Value& v, double& out) {
    if (const int* i = std::get_if<int>(&v)) {
        out = *i;
        return true;
    }
    if (const double* d = std::get_if<double>(&v)) {
        out = *d;
        return true;
    }
    return false;
}

// Locale-independent, the whole text (surrounding blanks allowed) must be the number.
bool parseNumber(std::string_view s, double& out) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

// A number as a numeric control stores it: coerced into [min, max], then typed.
Value numberFor(const Control& c, double v) {
    switch (c.dataType) {
    case VAL_INTEGER: {
        const double lo = std::ceil(std::max(c.min, static_cast<double>(INT_MIN)));
        const double hi = std::floor(std::min(c.max, static_cast<double>(INT_MAX)));
        return toInt(bounded(v, lo, hi));
    }
    case VAL_FLOAT: {
        float f = toFloat(bounded(v, c.min, c.max));
        // Rounding to float may step just outside the range.
        if (static_cast<double>(f) > c.max) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
        if (static_cast<double>(f) < c.min) f = std::nextafter(f, std::numeric_limits<float>::infinity());
        return static_cast<double>(f);
    }
    default:
        return bounded(v, c.min, c.max);
    }
}

int outInt(const Value& v, int* out) {
    if (!out) return UIE_BAD_ARGUMENT;
    double d = 0;
    if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
    if (std::isnan(d)) return UIE_BAD_ARGUMENT;
    *out = toInt(d);
    return 0;
}
int outDouble(const Value& v, double* out) {
    if (!out) return UIE_BAD_ARGUMENT;
    double d = 0;
    if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
    *out = d;
    return 0;
}
int outFloat(const Value& v, float* out) {
    if (!out) return UIE_BAD_ARGUMENT;
    double d = 0;
    if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
    *out = toFloat(d);
    return 0;
}
int outString(const Value& v, std::string* out) {
    if (!out) return UIE_BAD_ARGUMENT;
    const std::string* s = std::get_if<std::string>(&v);
    if (!s) return UIE_TYPE_MISMATCH;
    *out = *s;
    return 0;
}

int copyOut(const std::string& s, char* buffer, std::size_t size) {
    if (!buffer || size == 0) return UIE_BAD_ARGUMENT;
    const std::size_t n = std::min(s.size(), size - 1);
    std::memcpy(buffer, s.data(), n);
    buffer[n] = '\0';
    return 0;
}

bool isList(const Control& c) { return c.kind == UiCtrlKind::Ring || c.kind == UiCtrlKind::ListBox; }
bool isNumericType(int t) { return t == VAL_INTEGER || t == VAL_DOUBLE || t == VAL_FLOAT; }

// ---- text boxes --------------------------------------------------------------------

// Appended text continues the last line; each '\n' starts a new one.
void appendText(Control& c, std::string_view text) {
    if (text.empty()) return;
    std::size_t nl = text.find('\n');
    if (c.lines.empty()) c.lines.emplace_back();
    c.lines.back().append(text.substr(0, nl));
    while (nl != std::string_view::npos) {
        const std::size_t start = nl + 1;
        nl = text.find('\n', start);
        c.lines.emplace_back(text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start));
    }
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            out.emplace_back(text.substr(start));
            return out;
        }
        out.emplace_back(text.substr(start, nl - start));
        start = nl + 1;
    }
}

void replaceText(Control& c, std::string_view text) {
    c.lines.clear();
    appendText(c, text);
    ++c.linesRewritten;
}

std::string joinedText(const Control& c) {
    std::size_t total = c.lines.empty() ? 0 : c.lines.size() - 1;
    for (const auto& l : c.lines) total += l.size();
    std::string out;
    out.reserve(total);
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        if (i) out += '\n';
        out += c.lines[i];
    }
    return out;
}

// ---- rings and list boxes -------------------------------------------------------------

Value emptyValue(int dataType) {
    if (dataType == VAL_STRING) return std::string();
    if (dataType == VAL_INTEGER) return 0;
    return 0.0;
}

void syncSelection(Control& c) {
    if (c.index >= 0 && static_cast<std::size_t>(c.index) < c.items.size())
        c.value = c.items[static_cast<std::size_t>(c.index)].value;
    else
        c.value = emptyValue(c.dataType);
}

// An item value typed as the list is; a fractional number for an integer
// list is refused rather than silently rounded onto another item.
int itemValueFor(const Control& c, const Value& in, Value& out) {
    if (c.dataType == VAL_STRING) {
        if (!std::holds_alternative<std::string>(in)) return UIE_TYPE_MISMATCH;
        out = in;
        return 0;
    }
    double d = 0;
    if (!numberOf(in, d)) return UIE_TYPE_MISMATCH;
    switch (c.dataType) {
    case VAL_INTEGER:
        if (std::holds_alternative<int>(in)) {
            out = in;
            return 0;
        }
        if (std::isnan(d) || d != std::trunc(d) || d < INT_MIN || d > INT_MAX) return UIE_TYPE_MISMATCH;
        out = static_cast<int>(d);
        return 0;
    case VAL_FLOAT:
        out = static_cast<double>(toFloat(d));
        return 0;
    default:
        out = d;
        return 0;
    }
}

bool sameValue(const Value& a, const Value& b) {
    const std::string* sa = std::get_if<std::string>(&a);
    const std::string* sb = std::get_if<std::string>(&b);
    if (sa || sb) return sa && sb && *sa == *sb;
    double x = 0, y = 0;
    numberOf(a, x);
    numberOf(b, y);
    return x == y;
}

int findItem(const Control& c, const Value& v) {
    Value typed;
    if (c.dataType == VAL_STRING) {
        if (!std::holds_alternative<std::string>(v)) return UIE_TYPE_MISMATCH;
        typed = v;
    } else {
        double d = 0;
        if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
        typed = c.dataType == VAL_FLOAT ? static_cast<double>(toFloat(d)) : d;
    }
    for (std::size_t i = 0; i < c.items.size(); ++i)
        if (sameValue(c.items[i].value, typed)) return static_cast<int>(i);
    return UIE_VALUE_NOT_FOUND;
}

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
    c.label = d.label;
    c.top = d.top;
    c.left = d.left;
    c.height = d.height;
    c.width = d.width;
    c.min = d.min;
    c.max = d.max;
    c.precision = std::clamp(d.precision, 0, kMaxPrecision);
    c.increment = d.increment;
    c.mode = d.mode;
    c.visible = d.visible;
    c.dimmed = d.dimmed;
    c.maxEntryLength = std::max(d.maxEntryLength, 0);
    c.textColor = d.textColor;
    c.bgColor = d.bgColor;
    c.textSize = std::max(d.textSize, 0);
    c.onText = d.onText;
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

std::string_view baseName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

const UiResourceDef* findResource(const char* file) {
    if (!file) return nullptr;
    auto& res = state().resources;
    auto it = res.find(baseName(file));
    return it == res.end() ? nullptr : &it->second;
}

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

// ---- values --------------------------------------------------------------------------------

int getValue(int panel, int control, Value& out) {
    Panel* p = nullptr;
    Control* c = nullptr;
    if (int r = lookup(panel, control, p, c); r < 0) return r;
    switch (c->kind) {
    case UiCtrlKind::Button:
    case UiCtrlKind::Graph:
    case UiCtrlKind::Decoration:
        return UIE_WRONG_CTRL_KIND;
    case UiCtrlKind::Ring:
    case UiCtrlKind::ListBox:
        if (c->index < 0) return UIE_INDEX_OUT_OF_RANGE;
        break;
    default:
        break;
    }
    out = detail::currentValue(*c);
    return 0;
}

// Programmatic set (user == false) or user input (user == true: text is parsed
// for numeric controls, cut to the entry length, and replaces a text box).
int setValue(int panel, int control, const Value& v, bool user) {
    Panel* p = nullptr;
    Control* c = nullptr;
    if (int r = lookup(panel, control, p, c); r < 0) return r;
    double d = 0;
    switch (c->kind) {
    case UiCtrlKind::Numeric:
        if (!numberOf(v, d)) {
            const std::string* s = std::get_if<std::string>(&v);
            if (!user || !s || !parseNumber(*s, d)) return UIE_TYPE_MISMATCH;
        }
        if (std::isnan(d) && c->dataType == VAL_INTEGER) return UIE_BAD_ARGUMENT;
        c->value = numberFor(*c, d);
        break;
    case UiCtrlKind::Toggle:
    case UiCtrlKind::Led:
        if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
        c->value = d != 0.0 ? 1 : 0;
        break;
    case UiCtrlKind::String:
    case UiCtrlKind::TextMsg:
    case UiCtrlKind::TextBox: {
        const std::string* s = std::get_if<std::string>(&v);
        if (!s) return UIE_TYPE_MISMATCH;
        std::string_view text = *s;
        if (user && c->maxEntryLength > 0 && text.size() > static_cast<std::size_t>(c->maxEntryLength))
            text = text.substr(0, static_cast<std::size_t>(c->maxEntryLength));
        if (c->kind != UiCtrlKind::TextBox)
            c->value = std::string(text);
        else if (user)
            replaceText(*c, text);
        else
            appendText(*c, text);
        break;
    }
    case UiCtrlKind::Ring:
    case UiCtrlKind::ListBox: {
        const int i = findItem(*c, v);
        if (i < 0) return i;
        c->index = i;
        syncSelection(*c);
        break;
    }
    default:
        return UIE_WRONG_CTRL_KIND;
    }
    changed(panel, control, Change::Value);
    return 0;
}

// ---- attributes -----------------------------------------------------------------------------

int needInt(const Value& v, int& out) {
    double d = 0;
    if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
    if (std::isnan(d)) return UIE_BAD_ARGUMENT;
    out = toInt(d);
    return 0;
}

int needText(const Value& v, std::string& out) {
    const std::string* s = std::get_if<std::string>(&v);
    if (!s) return UIE_TYPE_MISMATCH;
    out = *s;
    return 0;
}

Axis& xAxis(Control& c) { return c.graph.axes[VAL_XAXIS]; }
Axis& yAxis(Control& c) { return c.graph.axes[VAL_LEFT_YAXIS]; }

// Which attribute exists for which kind of control.
bool attributeApplies(const Control& c, int attr) {
    switch (attr) {
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_HEIGHT:
    case ATTR_WIDTH:
    case ATTR_VISIBLE:
    case ATTR_DIMMED:
    case ATTR_CTRL_MODE:
    case ATTR_LABEL_TEXT:
    case ATTR_TEXT_COLOR:
    case ATTR_TEXT_BGCOLOR:
    case ATTR_DATA_TYPE:
    case ATTR_CTRL_KIND:
        return true;
    case ATTR_PRECISION:
    case ATTR_INCR_VALUE:
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
        return c.kind == UiCtrlKind::Numeric;
    case ATTR_MAX_ENTRY_LENGTH:
        return c.kind == UiCtrlKind::String || c.kind == UiCtrlKind::TextBox;
    case ATTR_ON_TEXT:
    case ATTR_OFF_TEXT:
        return c.kind == UiCtrlKind::Toggle;
    case ATTR_XNAME:
    case ATTR_YNAME:
    case ATTR_XMAP_MODE:
    case ATTR_YMAP_MODE:
    case ATTR_XREVERSE:
    case ATTR_YREVERSE:
    case ATTR_XGRID_VISIBLE:
    case ATTR_YGRID_VISIBLE:
    case ATTR_PLOT_BGCOLOR:
    case ATTR_NUM_PLOTS:
        return c.kind == UiCtrlKind::Graph;
    default:
        return false;
    }
}

int setAttr(int panel, int control, int attr, const Value& v) {
    Panel* p = nullptr;
    Control* c = nullptr;
    if (int r = lookup(panel, control, p, c); r < 0) return r;
    if (!attributeApplies(*c, attr)) return UIE_BAD_ATTRIBUTE;
    int i = 0;
    double d = 0;
    std::string s;
    Change what = Change::Attributes;
    int r = 0;
    switch (attr) {
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_HEIGHT:
    case ATTR_WIDTH:
        if ((r = needInt(v, i)) < 0) return r;
        if ((attr == ATTR_HEIGHT || attr == ATTR_WIDTH) && i < 0) return UIE_BAD_ARGUMENT;
        (attr == ATTR_TOP ? c->top : attr == ATTR_LEFT ? c->left
                : attr == ATTR_HEIGHT                  ? c->height
                                                       : c->width) = i;
        break;
    case ATTR_VISIBLE:
        if ((r = needInt(v, i)) < 0) return r;
        c->visible = i != 0;
        break;
    case ATTR_DIMMED:
        if ((r = needInt(v, i)) < 0) return r;
        c->dimmed = i != 0;
        break;
    case ATTR_CTRL_MODE:
        if ((r = needInt(v, i)) < 0) return r;
        if (i < VAL_INDICATOR || i > VAL_NORMAL) return UIE_BAD_ARGUMENT;
        c->mode = i;
        break;
    case ATTR_LABEL_TEXT:
        if ((r = needText(v, s)) < 0) return r;
        c->label = std::move(s);
        break;
    case ATTR_TEXT_COLOR:
        if ((r = needInt(v, c->textColor)) < 0) return r;
        break;
    case ATTR_TEXT_BGCOLOR:
        if ((r = needInt(v, c->bgColor)) < 0) return r;
        break;
    case ATTR_PRECISION:
        if ((r = needInt(v, i)) < 0) return r;
        if (i < 0 || i > kMaxPrecision) return UIE_BAD_ARGUMENT;
        c->precision = i;
        break;
    case ATTR_INCR_VALUE:
        if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
        if (!std::isfinite(d)) return UIE_BAD_ARGUMENT;
        c->increment = d;
        break;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE:
        if (!numberOf(v, d)) return UIE_TYPE_MISMATCH;
        if (std::isnan(d)) return UIE_BAD_ARGUMENT;
        (attr == ATTR_MIN_VALUE ? c->min : c->max) = d;
        if (double cur = 0; numberOf(c->value, cur)) c->value = numberFor(*c, cur);
        changed(panel, control, Change::Value);
        break;
    case ATTR_MAX_ENTRY_LENGTH:
        if ((r = needInt(v, i)) < 0) return r;
        if (i < -1) return UIE_BAD_ARGUMENT;
        c->maxEntryLength = std::max(i, 0); // -1 and 0: unlimited
        break;
    case ATTR_ON_TEXT:
        if ((r = needText(v, c->onText)) < 0) return r;
        break;
    case ATTR_OFF_TEXT:
        if ((r = needText(v, c->offText)) < 0) return r;
        break;
    case ATTR_XNAME:
    case ATTR_YNAME:
        if ((r = needText(v, s)) < 0) return r;
        (attr == ATTR_XNAME ? xAxis(*c) : yAxis(*c)).name = std::move(s);
        what = Change::Plots;
        break;
    case ATTR_XMAP_MODE:
    case ATTR_YMAP_MODE:
        if ((r = needInt(v, i)) < 0) return r;
        if (i != VAL_LINEAR && i != VAL_LOG) return UIE_BAD_ARGUMENT;
        (attr == ATTR_XMAP_MODE ? xAxis(*c) : yAxis(*c)).mapMode = i;
        what = Change::Plots;
        break;
    case ATTR_XREVERSE:
    case ATTR_YREVERSE:
        if ((r = needInt(v, i)) < 0) return r;
        (attr == ATTR_XREVERSE ? xAxis(*c) : yAxis(*c)).reverse = i != 0;
        what = Change::Plots;
        break;
    case ATTR_XGRID_VISIBLE:
    case ATTR_YGRID_VISIBLE:
        if ((r = needInt(v, i)) < 0) return r;
        (attr == ATTR_XGRID_VISIBLE ? xAxis(*c) : yAxis(*c)).gridVisible = i != 0;
        what = Change::Plots;
        break;
    case ATTR_PLOT_BGCOLOR:
        if ((r = needInt(v, c->graph.plotBgColor)) < 0) return r;
        what = Change::Plots;
        break;
    default: // read-only: data type, kind, number of plots
        return UIE_BAD_ATTRIBUTE;
    }
    changed(panel, control, what);
    return 0;
}

int getAttr(int panel, int control, int attr, Value& out) {
    Panel* p = nullptr;
    Control* c = nullptr;
    if (int r = lookup(panel, control, p, c); r < 0) return r;
    if (!attributeApplies(*c, attr)) return UIE_BAD_ATTRIBUTE;
    switch (attr) {
    case ATTR_TOP:
        out = c->top;
        break;
    case ATTR_LEFT:
        out = c->left;
        break;
    case ATTR_HEIGHT:
        out = c->height;
        break;
    case ATTR_WIDTH:
        out = c->width;
        break;
    case ATTR_VISIBLE:
        out = c->visible ? 1 : 0;
        break;
    case ATTR_DIMMED:
        out = c->dimmed ? 1 : 0;
        break;
    case ATTR_CTRL_MODE:
        out = c->mode;
        break;
    case ATTR_LABEL_TEXT:
        out = c->label;
        break;
    case ATTR_TEXT_COLOR:
        out = c->textColor;
        break;
    case ATTR_TEXT_BGCOLOR:
        out = c->bgColor;
        break;
    case ATTR_DATA_TYPE:
        out = c->dataType;
        break;
    case ATTR_CTRL_KIND:
        out = static_cast<int>(c->kind);
        break;
    case ATTR_PRECISION:
        out = c->precision;
        break;
    case ATTR_INCR_VALUE:
        out = c->increment;
        break;
    case ATTR_MIN_VALUE:
        out = c->min;
        break;
    case ATTR_MAX_VALUE:
        out = c->max;
        break;
    case ATTR_MAX_ENTRY_LENGTH:
        out = c->maxEntryLength;
        break;
    case ATTR_ON_TEXT:
        out = c->onText;
        break;
    case ATTR_OFF_TEXT:
        out = c->offText;
        break;
    case ATTR_XNAME:
        out = xAxis(*c).name;
        break;
    case ATTR_YNAME:
        out = yAxis(*c).name;
        break;
    case ATTR_XMAP_MODE:
        out = xAxis(*c).mapMode;
        break;
    case ATTR_YMAP_MODE:
        out = yAxis(*c).mapMode;
        break;
    case ATTR_XREVERSE:
        out = xAxis(*c).reverse ? 1 : 0;
        break;
    case ATTR_YREVERSE:
        out = yAxis(*c).reverse ? 1 : 0;
        break;
    case ATTR_XGRID_VISIBLE:
        out = xAxis(*c).gridVisible ? 1 : 0;
        break;
    case ATTR_YGRID_VISIBLE:
        out = yAxis(*c).gridVisible ? 1 : 0;
        break;
    case ATTR_PLOT_BGCOLOR:
        out = c->graph.plotBgColor;
        break;
    case ATTR_NUM_PLOTS:
        out = static_cast<int>(c->graph.plots.size());
        break;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
    return 0;
}

int setPanelAttr(int panel, int attr, const Value& v) {
    Panel* p = detail::findPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    int i = 0;
    int r = 0;
    switch (attr) {
    case ATTR_TITLE:
        if ((r = needText(v, p->title)) < 0) return r;
        break;
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_HEIGHT:
    case ATTR_WIDTH:
        if ((r = needInt(v, i)) < 0) return r;
        if ((attr == ATTR_HEIGHT || attr == ATTR_WIDTH) && i < 0) return UIE_BAD_ARGUMENT;
        (attr == ATTR_TOP ? p->top : attr == ATTR_LEFT ? p->left
                : attr == ATTR_HEIGHT                  ? p->height
                                                       : p->width) = i;
        break;
    case ATTR_VISIBLE:
        if ((r = needInt(v, i)) < 0) return r;
        p->visible = i != 0;
        break;
    case ATTR_SCALE_CONTENTS_ON_RESIZE:
        if ((r = needInt(v, i)) < 0) return r;
        p->scaleContents = i != 0 ? 1 : 0;
        break;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
    renderer()->panelChanged(panel);
    return 0;
}

int getPanelAttr(int panel, int attr, Value& out) {
    const Panel* p = detail::findPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    switch (attr) {
    case ATTR_TITLE:
        out = p->title;
        break;
    case ATTR_TOP:
        out = p->top;
        break;
    case ATTR_LEFT:
        out = p->left;
        break;
    case ATTR_HEIGHT:
        out = p->height;
        break;
    case ATTR_WIDTH:
        out = p->width;
        break;
    case ATTR_VISIBLE:
        out = p->visible ? 1 : 0;
        break;
    case ATTR_SCALE_CONTENTS_ON_RESIZE:
        out = p->scaleContents;
        break;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
    return 0;
}

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

// A menu item, or else a whole menu, by id.
int menuEntry(int menuBar, int id, bool*& dimmed, bool*& visible) {
    MenuBar* mb = detail::findMenuBar(menuBar);
    if (!mb) return UIE_BAD_MENU;
    for (auto& m : mb->menus)
        for (auto& item : m.items)
            if (item.id == id) {
                dimmed = &item.dimmed;
                visible = &item.visible;
                return 0;
            }
    for (auto& m : mb->menus)
        if (m.id == id) {
            dimmed = &m.dimmed;
            visible = &m.visible;
            return 0;
        }
    return UIE_BAD_MENU;
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

int userSetValue(int panel, int control, const Value& v) {
    if (int r = userCanOperate(panel, control); r < 0) return r;
    const Control* c = detail::findPanel(panel)->control(control);
    switch (c->kind) {
    case UiCtrlKind::Numeric:
    case UiCtrlKind::String:
    case UiCtrlKind::TextBox:
    case UiCtrlKind::Toggle:
    case UiCtrlKind::Ring:
    case UiCtrlKind::ListBox:
        return setValue(panel, control, v, true);
    default:
        return UIE_WRONG_CTRL_KIND;
    }
}

int userSetIndex(int panel, int control, int index) {
    if (int r = userCanOperate(panel, control); r < 0) return r;
    return SetCtrlIndex(panel, control, index);
}

void userSetCursor(int panel, int control, double x, double y) {
    if (userCanOperate(panel, control) < 0) return;
    SetGraphCursor(panel, control, 1, x, y);
}

int userCanOperate(int panel, int control) {
    const Panel* p = detail::findPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    const Control* c = p->control(control);
    if (!c) return UIE_BAD_CONTROL;
    if (!p->visible || !c->visible || c->dimmed || c->mode == VAL_INDICATOR) return UIE_NOT_OPERABLE;
    return 0;
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

Value currentValue(const Control& c) {
    if (c.kind == UiCtrlKind::TextBox) return joinedText(c);
    return c.value;
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

using ui::Value;

// ---- resources and callbacks ----------------------------------------------------------------

UiCtrlDef ui_ctrl(int id, UiCtrlKind kind, int dataType, std::string label, int top, int left,
    int height, int width) {
    UiCtrlDef c;
    c.id = id;
    c.kind = kind;
    c.dataType = dataType;
    c.label = std::move(label);
    c.top = top;
    c.left = left;
    c.height = height;
    c.width = width;
    return c;
}

std::vector<UiItemDef> ui_items(std::initializer_list<std::pair<const char*, int>> list) {
    std::vector<UiItemDef> out;
    out.reserve(list.size());
    for (const auto& [label, value] : list) out.push_back(UiItemDef{label, static_cast<double>(value)});
    return out;
}

void ui_register_resource(UiResourceDef def) {
    std::string name = def.file;
    ui::state().resources[std::move(name)] = std::move(def);
}
void ui_register_ctrl_callback(const std::string& name, CtrlCallbackPtr fn) { ui::state().ctrlCallbacks[name] = fn; }
void ui_register_panel_callback(const std::string& name, PanelCallbackPtr fn) { ui::state().panelCallbacks[name] = fn; }
void ui_register_menu_callback(const std::string& name, MenuCallbackPtr fn) { ui::state().menuCallbacks[name] = fn; }

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

int DisplayPanel(int panel) { return SetPanelAttribute(panel, ATTR_VISIBLE, 1); }
int HidePanel(int panel) { return SetPanelAttribute(panel, ATTR_VISIBLE, 0); }

int DiscardPanel(int panel) {
    using namespace ui;
    if (!detail::findPanel(panel)) return checked(UIE_BAD_PANEL, "DiscardPanel");
    discardMenuBarsOf(panel);
    state().panels[static_cast<std::size_t>(panel)].reset();
    renderer()->panelDiscarded(panel);
    return 0;
}

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
