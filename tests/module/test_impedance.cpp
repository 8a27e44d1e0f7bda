// Impedance arithmetic and the meter's value text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "module/impedance.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Impedance, DegreeConversionUsesTheEightDecimalPi) {
  EXPECT_EQ(im_util_deg2rad(180.0), 3.14159265);
  EXPECT_NE(im_util_deg2rad(180.0), M_PI);
  EXPECT_EQ(im_util_deg2rad(90.0), 1.570796325);
  EXPECT_EQ(im_util_deg2rad(-45.0), -0.7853981625);
  EXPECT_EQ(im_util_rad2deg(3.14159265), 180.0);
  EXPECT_EQ(im_util_rad2deg(0.0), 0.0);
  EXPECT_NEAR(im_util_rad2deg(M_PI), 180.00000020568, 1e-9);
}

TEST(Impedance, PhaseZeroIsAPureResistanceWithGuardedQAndD) {
  double r = 0, x = 1, q = 0, d = 0;
  im_get_rectangular_resistance(100.0, 0.0, &r, &x, kImCircuitSeries);
  EXPECT_EQ(r, 100.0);
  EXPECT_EQ(x, 0.0);
  im_get_quality_dissipation_factor(100.0, 0.0, &q, &d);
  EXPECT_DOUBLE_EQ(d, 1e17);
  EXPECT_DOUBLE_EQ(q, 1e-17);
  // Parallel: Q is tiny, so R and X stay as they are.
  im_get_rectangular_resistance(100.0, 0.0, &r, &x, kImCircuitParallel);
  EXPECT_DOUBLE_EQ(r, 100.0);
  EXPECT_EQ(x, 0.0);
  // No reactance: the capacitance divides by zero and is infinite in both circuits.
  double c = 0;
  im_get_rectangular_capacitance(100.0, 0.0, 1000.0, &r, &c, kImCircuitSeries);
  EXPECT_EQ(c, kInf);
  im_get_rectangular_capacitance(100.0, 0.0, 1000.0, &r, &c, kImCircuitParallel);
  EXPECT_EQ(c, kInf);
  double l = 1;
  im_get_rectangular_inductance(100.0, 0.0, 1000.0, &r, &l, kImCircuitSeries);
  EXPECT_EQ(l, 0.0);
}

TEST(Impedance, MinusNinetyDegreesIsCapacitive) {
  double r = 0, c = 0, l = 0, q = 0, d = 0;
  im_get_rectangular_capacitance(100.0, -90.0, 1000.0, &r, &c, kImCircuitSeries);
  // cos(-90 degrees) with the short pi is not zero.
  EXPECT_GT(r, 1e-8);
  EXPECT_LT(r, 1e-6);
  EXPECT_NEAR(c, 1.0 / (1000.0 * 6.2831853 * 100.0), 1e-15);
  EXPECT_NEAR(c, 1.5915e-6, 1e-10);
  im_get_rectangular_inductance(100.0, -90.0, 1000.0, &r, &l, kImCircuitSeries);
  EXPECT_NEAR(l, -100.0 / (1000.0 * 6.2831853), 1e-12);
  im_get_rectangular_inductance(100.0, -90.0, 1000.0, &r, &l, kImCircuitParallel);
  EXPECT_LT(l, 0.0);
  // The R that is not zero keeps Q finite without the guard.
  im_get_quality_dissipation_factor(100.0, -90.0, &q, &d);
  EXPECT_TRUE(std::isfinite(q));
  EXPECT_GT(q, 1e8);
  EXPECT_NEAR(q * d, 1.0, 1e-12);
}

TEST(Impedance, PlusNinetyDegreesIsInductive) {
  double r = 0, c = 0, l = 0;
  im_get_rectangular_inductance(100.0, 90.0, 1000.0, &r, &l, kImCircuitSeries);
  EXPECT_NEAR(l, 100.0 / (1000.0 * 6.2831853), 1e-12);
  im_get_rectangular_capacitance(100.0, 90.0, 1000.0, &r, &c, kImCircuitSeries);
  EXPECT_GT(c, 0.0);  // a series capacitance is never negative
  im_get_rectangular_capacitance(100.0, 90.0, 1000.0, &r, &c, kImCircuitParallel);
  EXPECT_LT(c, 0.0);  // a parallel one is, for an inductive impedance
}

TEST(Impedance, FortyFiveDegreesSeriesAndParallel) {
  const double z = std::sqrt(2.0), f = 1000.0;
  double rs = 0, xs = 0, rp = 0, xp = 0, q = 0, d = 0;
  im_get_rectangular_resistance(z, 45.0, &rs, &xs, kImCircuitSeries);
  EXPECT_NEAR(rs, 1.0, 1e-8);
  EXPECT_NEAR(xs, 1.0, 1e-8);
  im_get_quality_dissipation_factor(z, 45.0, &q, &d);
  EXPECT_NEAR(q, 1.0, 1e-8);
  EXPECT_NEAR(d, 1.0, 1e-8);
  im_get_rectangular_resistance(z, 45.0, &rp, &xp, kImCircuitParallel);
  EXPECT_NEAR(rp, 2.0, 1e-7);
  EXPECT_NEAR(xp, 0.5, 1e-7);

  double cs = 0, cp = 0, ls = 0, lp = 0, r = 0;
  im_get_rectangular_capacitance(z, 45.0, f, &r, &cs, kImCircuitSeries);
  EXPECT_NEAR(r, 1.0, 1e-8);
  im_get_rectangular_capacitance(z, 45.0, f, &r, &cp, kImCircuitParallel);
  EXPECT_NEAR(r, 2.0, 1e-7);
  EXPECT_NEAR(cs, 1.0 / (f * 6.2831853), 1e-12);
  EXPECT_NEAR(cp, -cs / 2.0, 1e-12);
  im_get_rectangular_inductance(z, 45.0, f, &r, &ls, kImCircuitSeries);
  im_get_rectangular_inductance(z, 45.0, f, &r, &lp, kImCircuitParallel);
  EXPECT_NEAR(ls, 1.0 / (f * 6.2831853), 1e-12);
  EXPECT_NEAR(lp, ls * 2.0, 1e-12);
}

TEST(Impedance, SeriesParallelConversionsAgreeWithCircuitTheory) {
  // Series R + jX and parallel Rp || jXp are the same impedance when
  // Rp = (R^2 + X^2) / R and Xp = (R^2 + X^2) / X, and Q = |X| / R in both.
  const double phases[] = {-89.0, -60.0, -30.0, -5.0, 5.0, 30.0, 60.0, 89.0};
  for (double ph : phases) {
    const double z = 250.0;
    double rs = 0, xs = 0, rp = 0, xp = 0, q = 0, d = 0;
    im_get_rectangular_resistance(z, ph, &rs, &xs, kImCircuitSeries);
    im_get_rectangular_resistance(z, ph, &rp, &xp, kImCircuitParallel);
    im_get_quality_dissipation_factor(z, ph, &q, &d);
    EXPECT_NEAR(rs * rs + xs * xs, z * z, 1e-9 * z * z) << ph;
    EXPECT_NEAR(rp, z * z / rs, 1e-9 * rp) << ph;
    // The parallel X keeps the sign of the series X: X * Q^2 / (1 + Q^2).
    EXPECT_NEAR(xp, xs * q * q / (1 + q * q), 1e-9 * std::fabs(xp)) << ph;
    EXPECT_NEAR(q * d, 1.0, 1e-12) << ph;
    EXPECT_NEAR(q, std::fabs(std::tan(im_util_deg2rad(ph))), 1e-9 * q) << ph;
    EXPECT_GE(q, 0.0);
    EXPECT_GE(d, 0.0);
  }
}

TEST(Impedance, NullOutputsAreSkipped) {
  double q = 0;
  im_get_quality_dissipation_factor(10.0, 30.0, &q, nullptr);
  EXPECT_NEAR(q, std::tan(im_util_deg2rad(30.0)), 1e-12);
  im_get_rectangular_resistance(10.0, 30.0, nullptr, nullptr, kImCircuitParallel);
  im_get_rectangular_capacitance(10.0, 30.0, 50.0, nullptr, nullptr, kImCircuitSeries);
  im_get_rectangular_inductance(10.0, 30.0, 50.0, nullptr, nullptr, kImCircuitSeries);
}

TEST(Impedance, QuantityCodes) {
  const double f = 2000.0, z = 37.0, ph = -33.0;
  double rs, xs, rp, xp, cs, cp, ls, lp, q, d, r;
  im_get_rectangular_resistance(z, ph, &rs, &xs, 1);
  im_get_rectangular_resistance(z, ph, &rp, &xp, 0);
  im_get_rectangular_capacitance(z, ph, f, &r, &cs, 1);
  im_get_rectangular_capacitance(z, ph, f, &r, &cp, 0);
  im_get_rectangular_inductance(z, ph, f, &r, &ls, 1);
  im_get_rectangular_inductance(z, ph, f, &r, &lp, 0);
  im_get_quality_dissipation_factor(z, ph, &q, &d);
  const double expected[kImQuantityCount] = {z, ph, rs, xs, rp, xp, cs, cp, ls, lp, q, d};
  for (int code = 0; code < kImQuantityCount; ++code) EXPECT_EQ(im_get_quantity(f, z, ph, code), expected[code]) << code;
  // Each code gives its own quantity, not a neighbour's.
  for (int code = 2; code < kImQuantityCount; ++code)
    EXPECT_NE(im_get_quantity(f, z, ph, code), im_get_quantity(f, z, ph, code - 1)) << code;
  for (int code : {12, -1, 100, std::numeric_limits<int>::min()}) EXPECT_EQ(im_get_quantity(f, z, ph, code), 0.0);
}

TEST(Impedance, CircuitModeOtherThanOneIsParallel) {
  double r1 = 0, x1 = 0, r2 = 0, x2 = 0;
  im_get_rectangular_resistance(50.0, 40.0, &r1, &x1, 0);
  im_get_rectangular_resistance(50.0, 40.0, &r2, &x2, 7);
  EXPECT_EQ(r1, r2);
  EXPECT_EQ(x1, x2);
  im_get_rectangular_resistance(50.0, 40.0, &r2, &x2, -1);
  EXPECT_EQ(r1, r2);
}

std::string meter(float value, char unit, int width, int is_signed) {
  char buf[80];
  std::memset(buf, '#', sizeof buf);
  int n = im_convert_meter_value(buf, value, unit, width, is_signed);
  EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(buf));
  return buf;
}

TEST(MeterText, WorkedExamples) {
  EXPECT_EQ(meter(1.234e-6f, 'F', 7, 1), "+1.234uF");
  EXPECT_EQ(meter(0.0f, 'F', 7, 0), "0.0000pF");
  EXPECT_EQ(meter(2e15f, 'F', 7, 1), "  OVLD  ");
  EXPECT_EQ(meter(std::numeric_limits<float>::quiet_NaN(), 'F', 7, 1), "  OVLD  ");
  EXPECT_EQ(meter(-123.456f, 'H', 7, 0), "-123.45H");
}

TEST(MeterText, EveryPrefixRange) {
  struct Case {
    float value;
    const char *text;
  } cases[] = {
      {5e-11f, "50.000pF"},   // below 1e-10: pico
      {1.5e-10f, "0.1500nF"}, // from 0.1 nano
      {4.7e-9f, "4.7000nF"},
      {2.2e-5f, "22.000uF"},
      {0.05f, "50.000mF"},    // 0.05 is 50 milli
      {0.0999f, "99.900mF"},
      {0.2f, "0.20000F"},     // 0.2 has no prefix
      {1.0f, "1.00000F"},
      {999.5f, "999.500F"},
      {1000.0f, "1.0000KF"},
      {12345.0f, "12.345KF"},
      {4.7e6f, "4.7000MF"},
      {3.3e9f, "3.3000GF"},
      {2e12f, "2.0000TF"},
      {999e12f, "999.00TF"},
      {1.1e15f, "  OVLD  "},
  };
  for (const Case &c : cases) EXPECT_EQ(meter(c.value, 'F', 7, 0), c.text) << c.value;
}

TEST(MeterText, BoundsAreComparedInDoublePrecision) {
  // Single-precision 1e-4, 1e12 and 1e15 are a little below those bounds as
  // doubles, so they keep the lower prefix; the single-precision product can
  // then round up to 100 or 1000 of it.
  EXPECT_EQ(meter(1e-4f, 'F', 7, 0), "100.00uF");
  EXPECT_EQ(meter(1e12f, 'F', 7, 0), "999.99GF");
  EXPECT_EQ(meter(1e15f, 'F', 7, 0), "1000.0TF");
  EXPECT_EQ(meter(std::numeric_limits<float>::infinity(), 'F', 7, 0), "  OVLD  ");
  EXPECT_EQ(meter(-std::numeric_limits<float>::infinity(), 'F', 7, 1), "  OVLD  ");
}

TEST(MeterText, SignsOfNegativeAndPositiveValues) {
  struct Case {
    float value;
    int is_signed;
    const char *text;
  } cases[] = {
      {1.234e-6f, 1, "+1.234uF"}, {1.234e-6f, 0, "1.2340uF"}, {-1.234e-6f, 1, "-1.234uF"},
      {-1.234e-6f, 0, "-1.234uF"}, {0.0f, 1, "+0.000pF"},    {-0.0f, 1, "-0.000pF"},
      {123.456f, 1, "+123.45F"},  {-123.456f, 1, "-123.45F"}, {-0.05f, 0, "-50.00mF"},
  };
  for (const Case &c : cases) EXPECT_EQ(meter(c.value, 'F', 7, c.is_signed), c.text) << c.value << " " << c.is_signed;
}

TEST(MeterText, NumberEndingAtItsPointLosesThePoint) {
  struct Case {
    float value;
    int width;
    int is_signed;
    const char *text;
  } cases[] = {
      {12.5f, 3, 0, "12F "},     // no prefix: unit where the point was, then a blank
      {0.0125f, 4, 0, "12mF "},  // prefix where the point was, then unit and blank
      {0.0125f, 5, 1, "+12mF "},
      {123.0f, 4, 0, "123F "},
      {12.5f, 4, 0, "12.5F"},    // the point is not at the cut: kept
  };
  for (const Case &c : cases) EXPECT_EQ(meter(c.value, 'F', c.width, c.is_signed), c.text) << c.value << "/" << c.width;
}

TEST(MeterText, Widths) {
  struct Case {
    float value;
    int width;
    const char *text;
  } cases[] = {
      {1.234e-6f, 5, "1.23uF"},
      {1.234e-6f, 10, "1.234000 uF"},
      {1.234e-6f, 12, "1.234000   uF"},  // six decimals, then blanks up to the prefix
      {3.0f, 2, "3F "},
      {3.0f, 1, "3F "},                  // widths below 2 are taken as 2
      {3.0f, -5, "3F "},
      {3e-3f, 2, "3mF"},
      {2e15f, 2, "  O"},
      {2e15f, 16, "  OVLD           "},  // the overload text is padded, never short
  };
  for (const Case &c : cases) EXPECT_EQ(meter(c.value, 'F', c.width, 0), c.text) << c.value << "/" << c.width;
  EXPECT_EQ(meter(1.0f, 'F', 1000, 0).size(), static_cast<std::size_t>(kImMeterMaxWidth + 1));
}

TEST(MeterText, BufferBounds) {
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  // Room for the meter's 8 characters and the end mark, exactly.
  EXPECT_EQ(im_convert_meter_value(buf, 9, 1.234e-6f, 'F', 7, 1), 8);
  EXPECT_STREQ(buf, "+1.234uF");
  EXPECT_EQ(buf[9], '#');
  // Too small: cut, ended, nothing written past the end, and the result says so.
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(im_convert_meter_value(buf, 5, 1.234e-6f, 'F', 7, 1), 8);
  EXPECT_STREQ(buf, "+1.2");
  EXPECT_EQ(buf[5], '#');
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(im_convert_meter_value(buf, 1, 2e15f, 'F', 7, 1), 8);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], '#');
  EXPECT_EQ(im_convert_meter_value(buf, 0, 1.0f, 'F', 7, 1), 8);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(im_convert_meter_value(nullptr, 0, 1.0f, 'F', 7, 1), 8);
}

TEST(MeterText, CapacitanceOfPhaseZeroShowsOverload) {
  double r = 0, c = 0;
  im_get_rectangular_capacitance(100.0, 0.0, 1000.0, &r, &c, kImCircuitSeries);
  EXPECT_EQ(meter(static_cast<float>(c), 'F', kImMeterWidth, 1), "  OVLD  ");
  im_get_rectangular_capacitance(100.0, -90.0, 1000.0, &r, &c, kImCircuitSeries);
  EXPECT_EQ(meter(static_cast<float>(c), 'F', kImMeterWidth, 1), "+1.591uF");
}

}  // namespace
