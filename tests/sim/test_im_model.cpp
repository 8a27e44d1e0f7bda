// The simulated IM module without a transport: its readings against the
// textbook impedance of each device, the generator's own frequency, the
// front-end settings, and the pace of a measurement.
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <sstream>
#include <thread>

namespace {

constexpr double kPi = 3.141592653589793, kStep = 50.0e6 / 4294967296.0; // the generator's step, Hz

sim::DutSpec dut(const std::string& text) {
    sim::DutSpec spec;
    EXPECT_TRUE(sim::parseDut(text, spec, nullptr)) << text;
    return spec;
}

sim::Options options(const std::string& device, double noise, double timeScale = 0.0, uint32_t seed = 7) {
    sim::Options o;
    std::tie(o.seed, o.dut, o.noise, o.timeScale) = std::tuple(seed, dut(device), noise, timeScale);
    return o;
}

// The output level and frequency as the host sends them; the frequency the generator makes.
double stimulus(sim::Instrument& in, double hz, double ac, double dc) {
    in.execute("IM:OUTP:LEV " + std::to_string(ac) + " " + std::to_string(dc));
    in.execute("IM:OUTP:SINE:FREQ " + std::to_string(hz));
    return std::stod(*in.execute("IM:OUTP:SINE:FREQ?"));
}

// V, V phase, I, I phase, |Z|, Z phase.
std::vector<double> measure(sim::Instrument& in, std::vector<std::string>* words = nullptr) {
    std::istringstream reply(*in.execute("IM:MEAS:VAL?"));
    std::vector<double> v;
    for (std::string w; reply >> w; v.push_back(w == "OVER" ? -1.0 : std::stod(w)))
        if (words) words->push_back(w);
    EXPECT_EQ(v.size(), 6u);
    v.resize(6);
    return v;
}

// The impedance from the textbook forms, not from the simulator's code.
std::complex<double> reference(const sim::DutSpec& s, double hz, double biasAmps) {
    using C = std::complex<double>;
    const double w = 2.0 * kPi * hz;
    if (s.kind == sim::DutKind::Resistor) return s.r;
    if (s.kind == sim::DutKind::Rc) return 1.0 / (1.0 / s.r + C(0.0, w * s.c));
    const double rct = s.rct / std::cosh(biasAmps / sim::kBiasAmps), cdl = s.cdl * (1.0 + sim::kCdlBiasGain * biasAmps * biasAmps);
    return s.rs + 1.0 / (1.0 / (rct + s.w / std::sqrt(C(0.0, w))) + C(0.0, w * cdl)) + C(0.0, w * s.l);
}

double degrees(std::complex<double> z) { return std::arg(z) * 180.0 / kPi; }

// An RC network whose corner is at hz.
std::string rcCorner(double ohms, double hz) {
    char text[64];
    std::snprintf(text, sizeof text, "rc:%g,%.12g", ohms, 1.0 / (2.0 * kPi * ohms * hz));
    return text;
}

// |Z| and phase of each device within the noise, ranges picked automatically,
// at a DC bias where the device follows one; the six numbers agree.
TEST(SimPhysics, EachDeviceReadsItsTextbookImpedance) {
    for (auto [device, ac, dc, frequencies] : {std::tuple{"resistor:10", 0.1, 0.0, std::vector{1.0, 1000.0, 100000.0}},
             {"rc:1000,1e-6", 0.0005, 0.0, std::vector{15.9, 159.15, 1591.5, 20000.0}},
             {"randles:0.02,0.015,1.5,0.004", 0.5, 0.0, std::vector{0.1, 7.0, 1000.0}},
             {"battery", 0.2, 2.0, std::vector{0.1, 1.0, 10.0, 10000.0, 50000.0}}}) {
        sim::Instrument in(options(device, 0.001));
        in.execute("IM:INP:GAIN:AUTO 1");
        for (double hz : frequencies) {
            const auto z = reference(dut(device), stimulus(in, hz, ac, dc), dc);
            const auto r = measure(in);
            EXPECT_NEAR(r[4] / std::abs(z), 1.0, 0.005) << device << " at " << hz;
            EXPECT_NEAR(r[5], degrees(z), 0.5) << device << " at " << hz;
            EXPECT_NEAR(r[2], ac, ac * 0.005);
            EXPECT_NEAR(r[0] / r[2], r[4], r[4] * 1e-5);
            EXPECT_NEAR(r[1] - r[3], r[5], 0.002);
        }
    }
}

// The generator makes a whole number of 50 MHz / 2^32 steps, the nearest to the
// frequency asked; the readings follow the frequency it makes.
TEST(SimPhysics, TheGeneratorsOwnFrequencyIsReadBackAndMeasured) {
    const double step = kStep, corner = 0.02;
    sim::Instrument in(options(rcCorner(1000.0, corner), 0.0));
    for (double asked : {50.0, 0.01, 999.9876, 12345.678, 100000.0}) {
        const double made = stimulus(in, asked, 0.001, 0.0);
        EXPECT_NEAR(made, asked, step / 2 + 1e-6) << asked;
        EXPECT_NEAR(made / step, std::round(made / step), 1e-3) << asked;
    }
    const double made = stimulus(in, corner, 0.001, 0.0);
    EXPECT_GT(std::fabs(made - corner), step / 4);
    EXPECT_NEAR(measure(in)[5], -std::atan(made / corner) * 180.0 / kPi, 0.01);
}

// DC levels 1, 2 and 3 V (1 A/V) part the cell's curves where charge transfer
// matters, not where the series resistance rules; a resistor has no bias to follow.
TEST(SimPhysics, DcBiasDrawsDistinctBatteryCurves) {
    sim::Instrument cell(options("battery", 0.001)), plain(options("resistor:2", 0.0));
    cell.execute("IM:INP:GAIN:AUTO 1");
    auto z = [](sim::Instrument& in, double hz, double dc) {
        stimulus(in, hz, dc * 0.1, dc);
        return measure(in)[4];
    };
    for (double hz : {0.1, 1.0, 5.0})
        EXPECT_TRUE(z(cell, hz, 1.0) * 0.97 > z(cell, hz, 2.0) && z(cell, hz, 2.0) * 0.97 > z(cell, hz, 3.0)) << hz;
    EXPECT_NEAR(z(cell, 20000.0, 3.0) / z(cell, 20000.0, 1.0), 1.0, 0.01);
    EXPECT_EQ(z(plain, 10.0, 1.0), z(plain, 10.0, 3.0));
    // The current unit is the load's amperes per volt: it scales the current and moves the bias.
    stimulus(cell, 1.0, 0.1, 1.0);
    cell.execute("IM:INP:CURR:UNIT 2.000000");
    const auto r = measure(cell);
    EXPECT_NEAR(r[2], 0.2, 0.002);
    EXPECT_NEAR(r[4], std::abs(reference(dut("battery"), std::stod(*cell.execute("IM:OUTP:SINE:FREQ?")), 2.0)), r[4] * 0.005);
}

TEST(SimPhysics, PhaseRangeAndPeakValuesChangeTheReport) {
    sim::Instrument in(options(rcCorner(100.0, 1000.0), 0.0));
    stimulus(in, 1000.0, 0.01, 0.0);
    const auto rms = measure(in);
    EXPECT_NEAR(rms[5], -45.0, 0.01);
    EXPECT_NEAR(rms[1], -45.0, 0.01);
    in.execute("IM:PHASE:STATE 1");
    EXPECT_NEAR(measure(in)[5], 315.0, 0.01);
    in.execute("IM:PHASE:STATE 0");
    in.execute("IM:AC:VALUE:PEAK 1");
    const auto peak = measure(in);
    for (int k : {0, 2}) EXPECT_NEAR(peak[k], rms[k] * std::sqrt(2.0), rms[k] * 1e-6) << k;
    EXPECT_NEAR(peak[4], rms[4], rms[4] * 1e-6) << "a ratio is the same in both modes";
}

// A peak beyond the chosen range reads OVER unless the module picks the range.
TEST(SimPhysics, RangesOverflowUnlessTheModulePicksThem) {
    sim::Instrument in(options("resistor:1", 0.001));
    stimulus(in, 1000.0, 1.0, 0.0); // 1 A RMS: a 1.41 A peak
    in.execute("IM:INP:VOLT:GAIN 0");
    for (auto [gain, over] : {std::pair{"IM:INP:CURR:GAIN 1", true}, {"IM:INP:CURR:GAIN 0", false},
             {"IM:INP:CURR:GAIN 3", true}, {"IM:INP:GAIN:AUTO 1", false}}) {
        in.execute(gain);
        std::vector<std::string> w;
        measure(in, &w);
        EXPECT_EQ(w[2] == "OVER" && w[4] == "OVER", over) << gain;
        EXPECT_TRUE(w[0] != "OVER" && w[5] != "OVER") << gain;
    }
}

// A measurement takes max(sample cycle, 2 periods, 20 ms) times the time
// scale; the module's own cycle is 4 periods, in whole ms, within 0.1 s..100 s.
TEST(SimReadiness, MeasurementTimeFollowsTheSampleCycleAndTheFrequency) {
    const double f5 = kStep * std::round(5.0 / kStep);
    for (auto [cycle, hz, seconds, query] : {std::tuple{"IM:INP:SAMP:CYCL 250", 1000.0, 0.25, "250"},
             {"IM:INP:SAMP:CYCL 100", 1.0, 2.0, "100"}, {"IM:INP:SAMP:CYCL 0", 1000.0, 0.02, "0"},
             {"IM:INP:SAMP:AUTO 1", 5.0, std::ceil(4000.0 / f5) / 1000.0, "801"},
             {"IM:INP:SAMP:AUTO 1", 1000.0, 0.1, "100"}, {"IM:INP:SAMP:AUTO 1", 0.01, 2.0 / kStep, "100000"}}) {
        for (double scale : {1.0, 0.5, 0.0}) {
            sim::Instrument in(options("resistor:10", 0.0, scale));
            in.execute(cycle);
            stimulus(in, hz, 0.1, 0.0);
            EXPECT_NEAR(in.measurementSeconds(), seconds * scale, seconds * 2e-3) << cycle << " at " << hz;
            EXPECT_EQ(in.execute("IM:INP:SAMP:CYCL?"), std::string(query));
        }
    }
}

// "Not yet" is judged against a clock taken before the measurement started,
// so a stalled test cannot make a sound module look early.
TEST(SimReadiness, ReadyOnlyOnceTheMeasurementTimeHasPassed) {
    sim::Instrument in(options("resistor:10", 0.0, 1.0));
    in.execute("IM:INP:SAMP:CYCL 200");
    auto ready = [&in] { return in.execute("IM:MEAS:READY?") == std::string("1"); };
    for (const char* restart : {"IM:OUTP:SINE:FREQ 2000.000000", "IM:MEAS:VAL?", "IM:INP:CURR:UNIT 2.000000"}) {
        const auto started = std::chrono::steady_clock::now();
        in.execute(restart);
        EXPECT_TRUE(!ready() || std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(200)) << restart;
        for (int i = 0; i < 1000 && !ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(ready()) << restart;
    }
    in.execute("IM:PHASE:STATE 1"); // a report setting starts no measurement
    EXPECT_TRUE(ready());
}

} // namespace
