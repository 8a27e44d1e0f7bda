// Control values: numbers coerced into range and type, text-box lines, and
// ring and list items with their selection.

#include "ui/model_internal.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <limits>

namespace ui {
namespace {

// Low bound first, then high: with min above max (half-way through changing
// both) the value ends at max, and in range once the second bound is set.
double bounded(double v, double lo, double hi) {
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    return v;
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

Value emptyValue(int dataType) {
    if (dataType == VAL_STRING) return std::string();
    if (dataType == VAL_INTEGER) return 0;
    return 0.0;
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

// Bounds this far out mean "no bound" to a user.
constexpr double kUnbounded = 1e15;

// A number as a user reads it: plain digits, no exponent, shortest exact form.
std::string plainNumber(double v) {
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

// The control's unit, else the label's closing parenthesised part:
// "OFFSET, DC level (V)" gives "V".
std::string unitOf(const Control& c) {
    if (!c.unit.empty()) return c.unit;
    const std::size_t end = c.label.find_last_not_of(' ');
    if (end == std::string::npos || c.label[end] != ')') return {};
    const std::size_t open = c.label.rfind('(', end);
    return open == std::string::npos ? std::string() : c.label.substr(open + 1, end - open - 1);
}

// "0 to 100 V", "at least 1", or empty when neither bound counts.
std::string rangeText(const Control& c) {
    const bool lo = c.min > -kUnbounded, hi = c.max < kUnbounded;
    std::string r = lo && hi ? plainNumber(c.min) + " to " + plainNumber(c.max)
        : lo                 ? "at least " + plainNumber(c.min)
        : hi                 ? "at most " + plainNumber(c.max)
                             : std::string();
    if (const std::string unit = unitOf(c); !r.empty() && !unit.empty()) r += " " + unit;
    return r;
}

// The control's value as it shows it: its precision, trailing zeros dropped.
std::string shownValue(const Control& c) {
    double v = 0;
    numberOf(c.value, v);
    char buf[400];
    const int digits = c.dataType == VAL_INTEGER ? 0 : c.precision;
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, digits);
    std::string s = ec == std::errc() ? std::string(buf, end) : std::string("?");
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    return s;
}

// Refuses a user's number outside the control's range, saying so at the control.
bool userNumberInRange(int panel, int control, const Control& c, double d) {
    if (d >= c.min && d <= c.max) return true;
    const std::string why = (c.label.empty() ? std::string() : c.label + ": ") + plainNumber(d) + " is outside " +
        rangeText(c) + "; the value stays " + shownValue(c) + ".";
    renderer()->inputRefused(panel, control, why);
    return false;
}

} // namespace

std::string tooltipText(const Control& c) {
    if (!c.tooltip.empty() || c.kind != UiCtrlKind::Numeric || c.mode == VAL_INDICATOR) return c.tooltip;
    const std::string r = rangeText(c);
    return r.empty() ? r : "Range: " + r;
}

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

bool isNumericType(int t) { return t == VAL_INTEGER || t == VAL_DOUBLE || t == VAL_FLOAT; }

// ---- text boxes --------------------------------------------------------------------

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

// ---- rings and list boxes -------------------------------------------------------------

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
// for numeric controls and refused outside their range, cut to the entry
// length, and replaces a text box).
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
        if (user && !userNumberInRange(panel, control, *c, d)) return UIE_OUT_OF_RANGE;
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

namespace detail {

Value currentValue(const Control& c) {
    if (c.kind == UiCtrlKind::TextBox) return joinedText(c);
    return c.value;
}

} // namespace detail
} // namespace ui
