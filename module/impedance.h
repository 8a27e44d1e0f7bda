// Impedance arithmetic: polar impedance (|Z| in ohms, phase in degrees) to the
// quantities an impedance meter shows, and the meter's value text.
// Stateless; no failure results (a division by zero gives an infinite value).
#pragma once

#include <cstddef>

// pi and 2*pi with the digits this tool has always used, so that computed
// values match earlier versions and their data files; not the full-precision values.
inline constexpr double kImPi = 3.14159265;
inline constexpr double kImTwoPi = 6.2831853;
// Below this a resistance or reactance counts as zero for Q and D.
inline constexpr double kImSmallValue = 1e-15;

// Circuit mode: kImCircuitSeries, any other value means parallel.
inline constexpr int kImCircuitSeries = 1;
inline constexpr int kImCircuitParallel = 0;

// Quantity codes of the graph selectors.
inline constexpr int kImQuantityZ = 0;
inline constexpr int kImQuantityPhase = 1;
inline constexpr int kImQuantityRs = 2;
inline constexpr int kImQuantityXs = 3;
inline constexpr int kImQuantityRp = 4;
inline constexpr int kImQuantityXp = 5;
inline constexpr int kImQuantityCs = 6;
inline constexpr int kImQuantityCp = 7;
inline constexpr int kImQuantityLs = 8;
inline constexpr int kImQuantityLp = 9;
inline constexpr int kImQuantityQ = 10;
inline constexpr int kImQuantityD = 11;
inline constexpr int kImQuantityCount = 12;

double im_util_deg2rad(double degrees);
double im_util_rad2deg(double radians);

// Output pointers may be null when a result is not wanted.
void im_get_quality_dissipation_factor(double magnitude, double phase_deg, double* q, double* d);
void im_get_rectangular_resistance(double magnitude, double phase_deg, double* r, double* x, int circuit_mode);
void im_get_rectangular_capacitance(double magnitude, double phase_deg, double freq_hz, double* r, double* c,
    int circuit_mode);
void im_get_rectangular_inductance(double magnitude, double phase_deg, double freq_hz, double* r, double* l,
    int circuit_mode);

// The value of quantity `code` (kImQuantity...); 0.0 for any other code.
double im_get_quantity(double freq_hz, double magnitude, double phase_deg, int code);

// Meter text: the value with an engineering prefix (p n u m K M G T) and the
// unit character, cut (not rounded) to width + 1 characters, or the overload
// text "  OVLD" padded with blanks. Signed non-zero writes a "+" on positive
// values. Widths outside kImMeterMinWidth..kImMeterMaxWidth are taken as the
// nearest of the two. Writes at most out_size - 1 characters and an end mark;
// returns the length of the whole text (width + 1), so a result of out_size
// or more means the text was cut short.
inline constexpr int kImMeterMinWidth = 2;
inline constexpr int kImMeterMaxWidth = 64;
inline constexpr int kImMeterWidth = 7; // the meter panel's width
int im_convert_meter_value(char* out_text, std::size_t out_size, float value, char unit, int width, int is_signed);

template <std::size_t N>
int im_convert_meter_value(char (&out_text)[N], float value, char unit, int width, int is_signed)
{
    return im_convert_meter_value(out_text, N, value, unit, width, is_signed);
}
