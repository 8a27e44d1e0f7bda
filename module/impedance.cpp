#include "module/impedance.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct Series {
    double r;
    double x;
};

Series series_of(double magnitude, double phase_deg)
{
    const double phi = im_util_deg2rad(phase_deg);
    return {magnitude * std::cos(phi), magnitude * std::sin(phi)};
}

struct QualityDissipation {
    double q;
    double d;
};

// Guards keep Q and D finite for a pure resistance or a pure reactance.
QualityDissipation q_and_d(Series s)
{
    double r = s.r, x = s.x;
    if (std::fabs(x) <= kImSmallValue) x = kImSmallValue;
    const double d = std::fabs(r / x);
    if (std::fabs(r) <= kImSmallValue) r = kImSmallValue;
    const double q = std::fabs(x / r);
    return {q, d};
}

void put(double* out, double value)
{
    if (out != nullptr) *out = value;
}

struct Prefix {
    double below;
    char prefix; // '\0' for none
    float scale;
};

// Sub-unit prefixes switch a decade early, so a value reads 0.1 .. 99.9 of them.
constexpr Prefix kPrefixes[] = {
    {1e-10, 'p', 1e12f},
    {1e-7, 'n', 1e9f},
    {1e-4, 'u', 1e6f},
    {0.1, 'm', 1e3f},
    {1000.0, '\0', 1.0f},
    {1e6, 'K', 1e-3f},
    {1e9, 'M', 1e-6f},
    {1e12, 'G', 1e-9f},
    {1e15, 'T', 1e-12f},
};

constexpr std::string_view kOverload = "  OVLD         ";

} // namespace

double im_util_deg2rad(double degrees) { return degrees / 180.0 * kImPi; }

double im_util_rad2deg(double radians) { return radians / kImPi * 180.0; }

void im_get_quality_dissipation_factor(double magnitude, double phase_deg, double* q, double* d)
{
    const QualityDissipation qd = q_and_d(series_of(magnitude, phase_deg));
    put(q, qd.q);
    put(d, qd.d);
}

void im_get_rectangular_resistance(double magnitude, double phase_deg, double* r, double* x, int circuit_mode)
{
    const Series s = series_of(magnitude, phase_deg);
    if (circuit_mode == kImCircuitSeries) {
        put(r, s.r);
        put(x, s.x);
        return;
    }
    const double q = q_and_d(s).q;
    const double q2 = q * q;
    put(r, s.r * (1.0 + q2));
    put(x, s.x * q2 / (1.0 + q2));
}

void im_get_rectangular_capacitance(double magnitude, double phase_deg, double freq_hz, double* r, double* c,
    int circuit_mode)
{
    const Series s = series_of(magnitude, phase_deg);
    double cap = 1.0 / (freq_hz * kImTwoPi * std::fabs(s.x));
    if (circuit_mode == kImCircuitSeries) {
        put(r, s.r);
        put(c, cap);
        return;
    }
    const QualityDissipation qd = q_and_d(s);
    cap = cap / (1.0 + qd.d * qd.d);
    if (s.x > 0) cap = -cap; // an inductive impedance has no parallel capacitance
    put(r, s.r * (1.0 + qd.q * qd.q));
    put(c, cap);
}

void im_get_rectangular_inductance(double magnitude, double phase_deg, double freq_hz, double* r, double* l,
    int circuit_mode)
{
    const Series s = series_of(magnitude, phase_deg);
    double ind = std::fabs(s.x) / (freq_hz * kImTwoPi);
    if (s.x < 0) ind = -ind; // a capacitive impedance, in either circuit
    if (circuit_mode == kImCircuitSeries) {
        put(r, s.r);
        put(l, ind);
        return;
    }
    const QualityDissipation qd = q_and_d(s);
    put(r, s.r * (1.0 + qd.q * qd.q));
    put(l, ind * (1.0 + qd.d * qd.d));
}

double im_get_quantity(double freq_hz, double magnitude, double phase_deg, int code)
{
    double first = 0.0, second = 0.0;
    switch (code) {
    case kImQuantityZ:
        return magnitude;
    case kImQuantityPhase:
        return phase_deg;
    case kImQuantityRs:
    case kImQuantityXs:
        im_get_rectangular_resistance(magnitude, phase_deg, &first, &second, kImCircuitSeries);
        return code == kImQuantityRs ? first : second;
    case kImQuantityRp:
    case kImQuantityXp:
        im_get_rectangular_resistance(magnitude, phase_deg, &first, &second, kImCircuitParallel);
        return code == kImQuantityRp ? first : second;
    case kImQuantityCs:
    case kImQuantityCp:
        im_get_rectangular_capacitance(magnitude, phase_deg, freq_hz, &first, &second,
            code == kImQuantityCs ? kImCircuitSeries : kImCircuitParallel);
        return second;
    case kImQuantityLs:
    case kImQuantityLp:
        im_get_rectangular_inductance(magnitude, phase_deg, freq_hz, &first, &second,
            code == kImQuantityLs ? kImCircuitSeries : kImCircuitParallel);
        return second;
    case kImQuantityQ:
    case kImQuantityD:
        im_get_quality_dissipation_factor(magnitude, phase_deg, &first, &second);
        return code == kImQuantityQ ? first : second;
    default:
        return 0.0;
    }
}

int im_convert_meter_value(char* out_text, std::size_t out_size, float value, char unit, int width, int is_signed)
{
    const int n = std::clamp(width, kImMeterMinWidth, kImMeterMaxWidth);
    const auto un = static_cast<std::size_t>(n);
    // Positions 0..n hold the text, n + 1 the end mark; a number shorter than
    // its field is filled with blanks.
    std::string text(un + 2, ' ');

    const double a = std::fabs(static_cast<double>(value));
    const Prefix* row = std::find_if(std::begin(kPrefixes), std::end(kPrefixes), [a](const Prefix& p) { return a < p.below; });
    if (row == std::end(kPrefixes)) {
        // Also a value that is not a number: every comparison above is false.
        text.replace(0, std::min(un + 1, kOverload.size()), kOverload.substr(0, std::min(un + 1, kOverload.size())));
        text[un + 1] = '\0';
    } else {
        // "%f" / "%+f" in the C locale.
        const double scaled = static_cast<double>(value * row->scale);
        char number[64];
        char* start = number;
        if (is_signed != 0 && !std::signbit(scaled)) *start++ = '+';
        const auto res = std::to_chars(start, number + sizeof number, scaled, std::chars_format::fixed, 6);
        const std::size_t len = std::min(static_cast<std::size_t>(res.ptr - number), un + 1);
        text.replace(0, len, number, len);

        const bool has_prefix = row->prefix != '\0';
        auto p = static_cast<std::size_t>(has_prefix ? n - 2 : n - 1);
        if (text[p] == '.') {
            // The number ends at its point: drop the point, keep the width with a blank.
            if (has_prefix) text[p++] = row->prefix;
            text[p] = unit;
            text[p + 1] = ' ';
            text[p + 2] = '\0';
        } else {
            if (has_prefix) text[un - 1] = row->prefix;
            text[un] = unit;
            text[un + 1] = '\0';
        }
    }

    if (out_text != nullptr && out_size > 0) {
        const std::size_t copy = std::min(un + 1, out_size - 1);
        std::memcpy(out_text, text.data(), copy);
        out_text[copy] = '\0';
    }
    return n + 1;
}
