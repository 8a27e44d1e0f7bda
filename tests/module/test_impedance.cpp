// Impedance arithmetic against the circuit formulas written out here, with the
// tool's pi and 2 pi, and the meter's value text.
#include "module/impedance.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The twelve quantities of one polar impedance: series R and X of the phase
// (pi taken as 3.14159265), Q and D guarded against zero, the parallel
// circuit as R(1 + Q^2) and X Q^2 / (1 + Q^2), C = 1 / (w |X|) and
// L = |X| / w with their sign rules.
std::array<double, kImQuantityCount> expected(double f, double z, double phase) {
    const double rad = phase / 180.0 * 3.14159265, w = f * 6.2831853;
    const double r = z * std::cos(rad), x = z * std::sin(rad);
    const double xg = std::fabs(x) <= 1e-15 ? 1e-15 : x, rg = std::fabs(r) <= 1e-15 ? 1e-15 : r;
    const double d = std::fabs(r / xg), q = std::fabs(xg / rg);
    const double cs = 1.0 / (w * std::fabs(x)), ls = (x < 0 ? -1.0 : 1.0) * std::fabs(x) / w;
    return {z, phase, r, x, r * (1 + q * q), x * q * q / (1 + q * q), cs, (x > 0 ? -1.0 : 1.0) * cs / (1 + d * d),
        ls, ls * (1 + d * d), q, d};
}

TEST(Impedance, EveryQuantityFollowsTheCircuitFormulas) {
    for (double f : {0.5, 1000.0, 123456.0})
        for (double z : {0.004, 100.0, 2.5e6})
            for (double phase : {-180.0, -90.0, -60.0, -45.0, -5.0, 0.0, 0.001, 30.0, 45.0, 89.0, 90.0, 135.0}) {
                const auto want = expected(f, z, phase);
                for (int code = 0; code < kImQuantityCount; ++code) {
                    const double got = im_get_quantity(f, z, phase, code);
                    EXPECT_TRUE(got == want[code] || std::fabs(got - want[code]) <= 1e-12 * std::fabs(want[code]))
                        << f << " Hz, " << z << " ohm, " << phase << " deg, code " << code << ": " << got;
                }
                double r = 0, c = 0, l = 0;
                im_get_rectangular_capacitance(z, phase, f, &r, &c, kImCircuitParallel);
                im_get_rectangular_inductance(z, phase, f, &r, &l, 7); // any mode but 1 is parallel
                EXPECT_NEAR(r, want[kImQuantityRp], 1e-12 * std::fabs(want[kImQuantityRp]));
            }
    for (int code : {12, -1, std::numeric_limits<int>::min()})
        EXPECT_EQ(im_get_quantity(1000.0, 100.0, 30.0, code), 0.0);
    EXPECT_NEAR(im_get_quantity(1000.0, std::sqrt(2.0), 45.0, kImQuantityXp), 0.5, 1e-7) << "R = X = 1";
    EXPECT_NEAR(im_get_quantity(1000.0, std::sqrt(2.0), 45.0, kImQuantityCp), -1.0 / (1000.0 * 6.2831853) / 2, 1e-12);
    EXPECT_NEAR(im_get_quantity(1000.0, 100.0, -90.0, kImQuantityCs), 1.5915e-6, 1e-10);
    EXPECT_GT(im_get_quantity(1000.0, 100.0, -90.0, kImQuantityRs), 1e-8) << "cos 90 deg with the short pi";
    EXPECT_DOUBLE_EQ(im_get_quantity(1000.0, 100.0, 0.0, kImQuantityD), 1e17);
    EXPECT_EQ(im_get_quantity(1000.0, 100.0, 0.0, kImQuantityCs), kInf);
    EXPECT_EQ(im_util_deg2rad(180.0), 3.14159265);
}

std::string meter(float value, int width = kImMeterWidth, int isSigned = 0, char unit = 'F') {
    char buf[80];
    std::memset(buf, '#', sizeof buf);
    const int length = im_convert_meter_value(buf, value, unit, width, isSigned);
    EXPECT_EQ(length, static_cast<int>(std::strlen(buf)));
    return buf;
}

TEST(MeterText, PrefixesSignsWidthsAndTheCut) {
    const struct {
        float value;
        int width, isSigned;
        const char* text;
    } cases[] = {
        {1.234e-6f, 7, 1, "+1.234uF"},
        {0.0f, 7, 0, "0.0000pF"},
        {-0.0f, 7, 1, "-0.000pF"},
        {-123.456f, 7, 0, "-123.45F"},
        {5e-11f, 7, 0, "50.000pF"},
        {1.5e-10f, 7, 0, "0.1500nF"},
        {2.2e-5f, 7, 0, "22.000uF"},
        {0.05f, 7, 0, "50.000mF"},
        {0.0999f, 7, 0, "99.900mF"},
        {0.2f, 7, 0, "0.20000F"},
        {999.5f, 7, 0, "999.500F"},
        {1000.0f, 7, 0, "1.0000KF"},
        {4.7e6f, 7, 0, "4.7000MF"},
        {3.3e9f, 7, 0, "3.3000GF"},
        {999e12f, 7, 0, "999.00TF"},
        {1e-4f, 7, 0, "100.00uF"},
        {1e12f, 7, 0, "999.99GF"},
        {1e15f, 7, 0, "1000.0TF"}, // float bounds below double ones
        {2e15f, 7, 1, "  OVLD  "},
        {std::numeric_limits<float>::quiet_NaN(), 7, 1, "  OVLD  "},
        {-std::numeric_limits<float>::infinity(), 7, 1, "  OVLD  "},
        {-0.05f, 7, 0, "-50.00mF"},
        {12.5f, 3, 0, "12F "},
        {0.0125f, 5, 1, "+12mF "},
        {123.0f, 4, 0, "123F "}, // the point at the cut goes
        {12.5f, 4, 0, "12.5F"},
        {1.234e-6f, 12, 0, "1.234000   uF"},
        {3.0f, -5, 0, "3F "},
        {2e15f, 16, 0, "  OVLD           "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(meter(c.value, c.width, c.isSigned), c.text) << c.value << " width " << c.width;
    EXPECT_EQ(meter(-123.456f, 7, 0, 'H'), "-123.45H");
    EXPECT_EQ(meter(1.0f, 1000).size(), static_cast<std::size_t>(kImMeterMaxWidth + 1));
    char small[16];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(im_convert_meter_value(small, 5, 1.234e-6f, 'F', 7, 1), 8) << "cut short, and it says so";
    EXPECT_STREQ(small, "+1.2");
    EXPECT_EQ(small[5], '#');
}

} // namespace
