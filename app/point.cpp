// A measurement point: decoded from the module's "IM:MEAS:VAL?" reply, and
// written as a line of the data file.  Nothing here touches a panel or the
// link, so the parser can be fuzzed on its own.
#include "app/fra.h"

#include "module/impedance.h"
#include "util/kv_util.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kReplyWords = 6;

constexpr const char kTitleLine[] =
    ";Frequency     Imped. Real   Imped. Imag.  Imped. Amp.   Imped. Phase  "
    "Voltage Amp.  Voltage Phase Current Amp.  Current Phase \n";
constexpr const char kRuleLine[] =
    ";------------- ------------- ------------- ------------- ------------- "
    "------------- ------------- ------------- ------------- \n";

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// " %+.6e" in the C locale: a blank, the sign always, six decimals, and an
// exponent of at least two digits.
void append_value(std::string& out, double value)
{
    char text[48];
    char* p = text;
    *p++ = ' ';
    if (!std::signbit(value))
        *p++ = '+';
    const auto res = std::to_chars(p, text + sizeof text, value, std::chars_format::scientific, 6);
    out.append(text, res.ptr);
}

} // namespace

int ifc_decode_reply(const char* reply, IfcPoint* point, unsigned* overloads)
{
    if (!reply || !point)
        return 0;
    double values[kReplyWords];
    unsigned over = 0;
    const char* p = reply;
    for (int i = 0; i < kReplyWords; ++i) {
        double& value = values[i];
        while (*p && is_blank(*p))
            ++p;
        const char* begin = p;
        while (*p && !is_blank(*p))
            ++p;
        const std::size_t length = static_cast<std::size_t>(p - begin);
        // Too few words, or one too long for a number: not a reading.
        if (length == 0 || length > IFC_VAL_WORD_MAX)
            return 0;
        char word[IFC_VAL_WORD_MAX + 1];
        std::memcpy(word, begin, length);
        word[length] = '\0';
        // Not a number (an overload text), or none a graph could draw: 0.0.
        if (!kv_util_scan_double(word, &value) || !std::isfinite(value)) {
            value = 0.0;
            over |= 1u << i;
        }
    }
    if (overloads)
        *overloads = over;
    point->voltAmp = values[0];
    point->voltPhase = values[1];
    point->currAmp = values[2];
    point->currPhase = values[3];
    point->zAmp = values[4];
    point->zPhase = values[5];
    return 1;
}

IfcPoint ifc_point_shown(const IfcPoint& point, unsigned overloads)
{
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    IfcPoint shown = point;
    double* fields[kReplyWords] = {&shown.voltAmp, &shown.voltPhase, &shown.currAmp, &shown.currPhase, &shown.zAmp,
        &shown.zPhase};
    for (int i = 0; i < kReplyWords; ++i)
        if (overloads & (1u << i))
            *fields[i] = kNone;
    if (!std::isfinite(shown.zAmp) || !std::isfinite(shown.zPhase))
        shown.zReal = shown.zImag = kNone;
    return shown;
}

void ifc_point_rectangular(IfcPoint* point)
{
    const double phase = im_util_deg2rad(point->zPhase);
    point->zReal = point->zAmp * std::cos(phase);
    point->zImag = point->zAmp * std::sin(phase);
}

const char* ifc_log_title_line() { return kTitleLine; }
const char* ifc_log_rule_line() { return kRuleLine; }

std::string ifc_format_log_line(const IfcPoint& point)
{
    std::string line;
    line.reserve(9 * 15 + 1);
    // The file puts the rectangular impedance right after the frequency.
    for (double v : {point.freq, point.zReal, point.zImag, point.zAmp, point.zPhase, point.voltAmp,
             point.voltPhase, point.currAmp, point.currPhase})
        append_value(line, v);
    line += '\n';
    return line;
}
