// The IM module's measurements: the device under test against closed-form
// impedances, DC-bias dependence, the front-end settings, noise and pace.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "sim/dut.h"
#include "sim/sim.h"
#include "tests/sim/raw_client.h"

namespace {

constexpr double kPi = 3.141592653589793;

sim::DutSpec dut(const std::string& text) {
    sim::DutSpec spec;
    std::string error;
    EXPECT_TRUE(sim::parseDut(text, spec, &error)) << text << ": " << error;
    return spec;
}

sim::Options options(const std::string& dutText, double noise, double timeScale = 0.0, uint32_t seed = 7) {
    sim::Options o;
    o.dut = dut(dutText);
    o.noise = noise;
    o.timeScale = timeScale;
    o.seed = seed;
    return o;
}

std::string fixed(double v) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s.precision(6);
    s << std::fixed << v;
    return s.str();
}

std::string general(double v) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s.precision(12);
    s << v;
    return s.str();
}

// The output level and the frequency, as the host sends them.
void stimulus(sim::Instrument& in, double hz, double ac, double dc) {
    in.execute("IM:OUTP:LEV " + fixed(ac) + " " + fixed(dc));
    in.execute("IM:OUTP:SINE:FREQ " + fixed(hz));
}

double confirmedHz(sim::Instrument& in) { return std::strtod(in.execute("IM:OUTP:SINE:FREQ?")->c_str(), nullptr); }

struct Reading {
    std::vector<std::string> words;
    double at(std::size_t i) const { return std::strtod(words.at(i).c_str(), nullptr); }
    double v() const { return at(0); }
    double vPhase() const { return at(1); }
    double i() const { return at(2); }
    double iPhase() const { return at(3); }
    double z() const { return at(4); }
    double zPhase() const { return at(5); }
};

Reading measure(sim::Instrument& in) {
    Reading r;
    std::istringstream s(*in.execute("IM:MEAS:VAL?"));
    for (std::string w; s >> w;) r.words.push_back(w);
    EXPECT_EQ(r.words.size(), 6u);
    r.words.resize(6, "missing");
    return r;
}

// Reference impedances written from the textbook forms, not from the simulator's code.
std::complex<double> reference(const sim::DutSpec& s, double hz, double biasAmps) {
    using C = std::complex<double>;
    const double w = 2.0 * kPi * hz;
    switch (s.kind) {
    case sim::DutKind::Resistor: return s.r;
    case sim::DutKind::Rc: return 1.0 / (1.0 / s.r + C(0.0, w * s.c));
    case sim::DutKind::Randles: {
        const double rct = s.rct / std::cosh(biasAmps / sim::kBiasAmps);
        const double cdl = s.cdl * (1.0 + sim::kCdlBiasGain * biasAmps * biasAmps);
        const C warburg = s.w / std::sqrt(C(0.0, w));
        const C admittance = 1.0 / (rct + warburg) + C(0.0, w * cdl);
        return s.rs + 1.0 / admittance + C(0.0, w * s.l);
    }
    }
    return 0.0;
}

double degrees(std::complex<double> z) { return std::arg(z) * 180.0 / kPi; }

TEST(SimDut, ParsesEachKindAndRefusesBadSpecs) {
    const sim::DutSpec r = dut("resistor:47");
    EXPECT_EQ(r.kind, sim::DutKind::Resistor);
    EXPECT_DOUBLE_EQ(r.r, 47.0);
    const sim::DutSpec rc = dut("rc:1000,1e-6");
    EXPECT_EQ(rc.kind, sim::DutKind::Rc);
    EXPECT_DOUBLE_EQ(rc.c, 1e-6);
    const sim::DutSpec randles = dut("randles:0.02,0.015,1.5,0.004");
    EXPECT_EQ(randles.kind, sim::DutKind::Randles);
    EXPECT_DOUBLE_EQ(randles.w, 0.004);
    EXPECT_DOUBLE_EQ(randles.l, 0.0);
    const sim::DutSpec battery = dut("battery");
    EXPECT_EQ(battery.kind, sim::DutKind::Randles);
    EXPECT_LT(battery.rs + battery.rct, 0.1);   // a cell: tens of milliohms
    // the text form reads back as the same device
    EXPECT_EQ(sim::dutText(dut(sim::dutText(battery))), sim::dutText(battery));

    const char* bad[] = {"", "resistor", "resistor:", "resistor:0", "resistor:-5", "resistor:1,2", "rc:100",
                         "rc:100,0", "randles:0.1,0.1,1", "randles:0.1,0,1,0", "randles:-1,1,1,0", "randles:1,1,1,1,-1",
                         "capacitor:1e-6", "resistor:1O0", "resistor:1e999"};
    for (const char* text : bad) {
        sim::DutSpec spec = sim::dutResistor(5.0);
        std::string error;
        EXPECT_FALSE(sim::parseDut(text, spec, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_DOUBLE_EQ(spec.r, 5.0) << text;   // left as it was
    }
}

// |Z| and phase of each device at a few frequencies, within the noise, with
// the ranges picked automatically.
TEST(SimPhysics, EachDeviceReadsItsClosedFormImpedance) {
    struct Case {
        const char* dut;
        double ac;   // AC level: amperes at the default current unit
        std::vector<double> hz;
    } cases[] = {
        {"resistor:10", 0.1, {1.0, 1000.0, 100000.0}},
        {"rc:1000,1e-6", 0.0005, {15.9, 159.15, 1591.5, 20000.0}},
        {"randles:0.02,0.015,1.5,0.004", 0.5, {0.1, 7.0, 1000.0}},
        {"battery", 0.5, {0.1, 10.0, 10000.0, 50000.0}},
    };
    for (const Case& c : cases) {
        sim::Instrument in(options(c.dut, 0.001));
        in.execute("IM:INP:GAIN:AUTO 1");
        const sim::DutSpec spec = dut(c.dut);
        for (double hz : c.hz) {
            stimulus(in, hz, c.ac, 0.0);
            const auto z = reference(spec, confirmedHz(in), 0.0);
            const Reading r = measure(in);
            SCOPED_TRACE(std::string(c.dut) + " at " + std::to_string(hz) + " Hz: " + r.words[4] + " " + r.words[5]);
            EXPECT_NEAR(r.z() / std::abs(z), 1.0, 0.005);
            EXPECT_NEAR(r.zPhase(), degrees(z), 0.5);
            // the six numbers agree with one another
            EXPECT_NEAR(r.i(), c.ac, c.ac * 0.005);
            EXPECT_NEAR(r.v() / r.i(), r.z(), r.z() * 1e-5);
            EXPECT_NEAR(r.vPhase() - r.iPhase(), r.zPhase(), 0.002);
        }
    }
}

// The physics runs at the frequency the generator really makes: at a few
// hundredths of a hertz one generator step is a large share of the frequency.
TEST(SimPhysics, ReadingsFollowTheGeneratorsOwnFrequency) {
    const double corner = 0.02;
    const double c = 1.0 / (2.0 * kPi * 1000.0 * corner);
    sim::Instrument in(options("rc:1000," + general(c), 0.0));
    stimulus(in, corner, 0.001, 0.0);
    const double made = confirmedHz(in);
    EXPECT_NE(made, corner);
    EXPECT_NEAR(made, sim::ddsFrequency(corner), 1e-6);
    const Reading r = measure(in);
    EXPECT_NEAR(r.zPhase(), -std::atan(made / corner) * 180.0 / kPi, 0.002);
    EXPECT_GT(std::fabs(r.zPhase() + 45.0), 3.0);   // not the phase of the frequency asked for
}

// A sweep per DC level, as a REPEAT run over the DC list makes them: the
// cell's curves part where charge transfer matters and meet where the series
// resistance and inductance rule.
TEST(SimPhysics, DcBiasDrawsDistinctBatteryCurves) {
    sim::Instrument in(options("battery", 0.001));
    in.execute("IM:INP:GAIN:AUTO 1");
    const double dcList[] = {1.0, 2.0, 3.0};
    const double low[] = {0.1, 1.0, 5.0};
    auto at = [&](double dc, double hz) {
        stimulus(in, hz, dc * 0.1, dc);   // AC at 10 % of the DC level
        return measure(in).z();
    };
    for (double hz : low) {
        double previous = at(dcList[0], hz);
        for (std::size_t k = 1; k < std::size(dcList); ++k) {
            const double z = at(dcList[k], hz);
            EXPECT_LT(z, previous * 0.97) << hz << " Hz, DC " << dcList[k];
            previous = z;
        }
    }
    const double high1 = at(1.0, 20000.0), high3 = at(3.0, 20000.0);
    EXPECT_NEAR(high3 / high1, 1.0, 0.01);
    // against the closed form at a bias of 2 A (DC level 2 V at 1 A/V)
    stimulus(in, 1.0, 0.2, 2.0);
    const auto z = reference(dut("battery"), confirmedHz(in), 2.0);
    const Reading r = measure(in);
    EXPECT_NEAR(r.z() / std::abs(z), 1.0, 0.005);
    EXPECT_NEAR(r.zPhase(), degrees(z), 0.5);

    // a resistor has no bias to follow
    sim::Instrument plain(options("resistor:2", 0.0));
    stimulus(plain, 10.0, 0.1, 1.0);
    const std::string one = plain.execute("IM:MEAS:VAL?").value();
    stimulus(plain, 10.0, 0.1, 3.0);
    EXPECT_EQ(plain.execute("IM:MEAS:VAL?").value(), one);
}

TEST(SimPhysics, PhaseModeAndPeakModeChangeTheReport) {
    // an RC network at its corner: impedance and voltage at -45 degrees
    sim::Instrument in(options("rc:100," + general(1.0 / (2.0 * kPi * 100.0 * 1000.0)), 0.0));
    stimulus(in, 1000.0, 0.01, 0.0);
    Reading r = measure(in);
    EXPECT_NEAR(r.zPhase(), -45.0, 0.01);
    EXPECT_NEAR(r.vPhase(), -45.0, 0.01);
    EXPECT_NEAR(r.iPhase(), 0.0, 1e-9);
    const double rmsV = r.v(), rmsI = r.i(), z = r.z();
    EXPECT_NEAR(rmsI, 0.01, 1e-9);

    in.execute("IM:PHASE:STATE 1");
    r = measure(in);
    EXPECT_NEAR(r.zPhase(), 315.0, 0.01);
    EXPECT_NEAR(r.vPhase(), 315.0, 0.01);
    EXPECT_NEAR(r.iPhase(), 0.0, 1e-9);
    for (std::size_t k : {1u, 3u, 5u}) {
        EXPECT_GE(r.at(k), 0.0) << k;
        EXPECT_LT(r.at(k), 360.0) << k;
    }

    in.execute("IM:PHASE:STATE 0");
    in.execute("IM:AC:VALUE:PEAK 1");
    r = measure(in);
    EXPECT_NEAR(r.v(), rmsV * std::sqrt(2.0), rmsV * 1e-6);
    EXPECT_NEAR(r.i(), rmsI * std::sqrt(2.0), rmsI * 1e-6);
    EXPECT_NEAR(r.z(), z, z * 1e-6);   // a ratio: the same in both modes
    EXPECT_NEAR(r.zPhase(), -45.0, 0.01);
}

// The current unit is the load's amperes per volt of the output: it scales
// the stimulus current and so the voltage, and moves the cell's bias.
TEST(SimPhysics, CurrentUnitScalesTheCurrentAndTheBias) {
    sim::Instrument in(options("resistor:10", 0.0));
    stimulus(in, 100.0, 0.1, 1.0);
    Reading r = measure(in);
    EXPECT_NEAR(r.i(), 0.1, 1e-9);
    EXPECT_NEAR(r.v(), 1.0, 1e-7);
    in.execute("IM:INP:CURR:UNIT 0.500000");
    EXPECT_EQ(in.execute("IM:INP:CURR:UNIT?"), std::string("0.500000"));
    r = measure(in);
    EXPECT_NEAR(r.i(), 0.05, 1e-9);
    EXPECT_NEAR(r.v(), 0.5, 1e-7);
    EXPECT_NEAR(r.z(), 10.0, 1e-5);

    sim::Instrument cell(options("battery", 0.0));
    stimulus(cell, 1.0, 0.1, 1.0);
    const double atOneAmp = measure(cell).z();
    cell.execute("IM:INP:CURR:UNIT 2.000000");
    const double atTwoAmps = measure(cell).z();
    EXPECT_NEAR(atTwoAmps, std::abs(reference(dut("battery"), confirmedHz(cell), 2.0)), 1e-6);
    EXPECT_LT(atTwoAmps, atOneAmp * 0.97);
}

TEST(SimPhysics, RangesOverflowUnlessAgcPicksThem) {
    // 1 A RMS through 1 ohm: a 1.41 A peak
    sim::Instrument in(options("resistor:1", 0.001));
    stimulus(in, 1000.0, 1.0, 0.0);
    struct Case {
        const char* gainCommands;
        bool currentOver;
    } cases[] = {
        {"IM:INP:CURR:GAIN 1", true},    // 1 A range
        {"IM:INP:CURR:GAIN 0", false},   // 10 A range
        {"IM:INP:CURR:GAIN 3", true},
        {"IM:INP:GAIN:AUTO 1", false},   // the module picks, whatever the gain asked
    };
    in.execute("IM:INP:VOLT:GAIN 0");
    for (const Case& c : cases) {
        in.execute(c.gainCommands);
        const Reading r = measure(in);
        SCOPED_TRACE(c.gainCommands);
        EXPECT_EQ(r.words[2] == "OVER", c.currentOver) << r.words[2];
        EXPECT_EQ(r.words[4] == "OVER", c.currentOver) << r.words[4];
        EXPECT_NE(r.words[0], "OVER");
        EXPECT_NE(r.words[5], "OVER");   // phases stay numbers
        if (!c.currentOver) {
            EXPECT_NEAR(r.z(), 1.0, 0.01);
        }
    }
    // 10 V RMS is beyond the largest voltage range, AGC or not
    sim::Instrument big(options("resistor:100", 0.001));
    big.execute("IM:INP:GAIN:AUTO 1");
    stimulus(big, 1000.0, 0.1, 0.0);
    const Reading r = measure(big);
    EXPECT_EQ(r.words[0], "OVER");
    EXPECT_EQ(r.words[4], "OVER");
    EXPECT_NE(r.words[2], "OVER");
}

// A few millivolts read on the 10 V range scatter; the range AGC picks reads
// them cleanly.
TEST(SimPhysics, ARangeTooCoarseReadsWorseThanTheOneAgcPicks) {
    sim::Instrument in(options("battery", 0.001));
    stimulus(in, 1000.0, 0.1, 1.0);   // about 3 mV across the cell
    const double truth = std::abs(reference(dut("battery"), confirmedHz(in), 1.0));
    auto scatter = [&](double* mean) {
        std::vector<double> z;
        for (int k = 0; k < 40; ++k) z.push_back(measure(in).z());
        double m = 0.0, s = 0.0;
        for (double x : z) m += x / static_cast<double>(z.size());
        for (double x : z) s += (x - m) * (x - m) / static_cast<double>(z.size() - 1);
        *mean = m;
        return std::sqrt(s) / m;
    };
    double coarseMean = 0.0, agcMean = 0.0;
    const double coarse = scatter(&coarseMean);
    in.execute("IM:INP:GAIN:AUTO 1");
    const double agc = scatter(&agcMean);
    EXPECT_GT(coarse, 5.0 * agc) << coarse << " vs " << agc;
    EXPECT_NEAR(agcMean / truth, 1.0, 0.002);
    EXPECT_GT(agc, 0.0);   // noise is there at all
}

// The direct DC level carries no AC; the square wave's fundamental is 4/pi
// of its level, at the square wave's frequency.
TEST(SimPhysics, OutputSourceDecidesTheStimulus) {
    sim::Instrument in(options("resistor:10", 0.001));
    in.execute("IM:INP:GAIN:AUTO 1");
    stimulus(in, 1000.0, 0.1, 1.0);
    const Reading on = measure(in);
    EXPECT_NEAR(on.i(), 0.1, 0.001);

    in.execute("IM:OUTP:STAT 0");
    in.execute("IM:OUTP:VOLT 1.000000");
    const Reading off = measure(in);
    EXPECT_LT(off.v(), on.v() * 1e-3) << off.words[0];
    EXPECT_LT(off.i(), on.i() * 1e-3) << off.words[2];
    // a zero AC level is no stimulus either
    in.execute("IM:OUTP:STAT 1");
    in.execute("IM:OUTP:LEV 0.000000 1.000000");
    const Reading none = measure(in);
    EXPECT_LT(none.i(), on.i() * 1e-3) << none.words[2];

    sim::Instrument ideal(options("rc:100,1e-6", 0.0));
    ideal.execute("IM:OUTP:LEV 0.010000 0.000000");
    ideal.execute("IM:OUTP:SQU:FREQ 500.000000");
    ideal.execute("IM:OUTP:STAT 2");
    const Reading square = measure(ideal);
    EXPECT_NEAR(square.i(), 0.01 * 4.0 / kPi, 1e-8);
    const double made = std::strtod(ideal.execute("IM:OUTP:SQU:FREQ?")->c_str(), nullptr);
    EXPECT_NEAR(square.z(), std::abs(reference(dut("rc:100,1e-6"), made, 0.0)), 1e-4);
}

TEST(SimPhysics, NoiseRepeatsForASeedAndDiffersBetweenSeeds) {
    auto run = [](uint32_t seed) {
        sim::Instrument in(options("battery", 0.001, 0.0, seed));
        in.execute("IM:INP:GAIN:AUTO 1");
        std::vector<std::string> replies;
        for (double hz : {1.0, 10.0, 100.0, 1000.0}) {
            stimulus(in, hz, 0.5, 5.0);
            replies.push_back(*in.execute("IM:MEAS:VAL?"));
            replies.push_back(*in.execute("IM:MEAS:VAL?"));
        }
        return replies;
    };
    const auto first = run(7);
    EXPECT_EQ(run(7), first);
    EXPECT_NE(run(8), first);
    EXPECT_NE(first[0], first[1]);   // two readings of one point differ by their noise
}

// Every reply word fits the host's 19-character word field, whatever the device.
TEST(SimPhysics, ReplyWordsFitTheHostsField) {
    for (const char* d : {"battery", "resistor:1e9", "rc:1e-3,1", "randles:0,1e-6,1e-9,0"}) {
        sim::Instrument in(options(d, 0.01));
        for (const char* agc : {"0", "1"}) {
            in.execute(std::string("IM:INP:GAIN:AUTO ") + agc);
            for (double hz : {0.01, 3.0, 99999.0}) {
                stimulus(in, hz, 1e-6, -2.0);
                const Reading r = measure(in);
                for (const std::string& w : r.words) EXPECT_LE(w.size(), 19u) << d << " " << w;
            }
        }
    }
}

// --- readiness ---

double measurementFor(const std::vector<std::string>& commands, double timeScale) {
    sim::Instrument in(options("resistor:10", 0.0, timeScale));
    for (const std::string& c : commands) in.execute(c);
    return in.measurementSeconds();
}

TEST(SimReadiness, MeasurementTimeFollowsTheSampleCycleAndTheFrequency) {
    struct Case {
        std::vector<std::string> commands;
        double seconds;
    } cases[] = {
        {{"IM:INP:SAMP:CYCL 250", "IM:OUTP:SINE:FREQ 1000.000000"}, 0.25},
        {{"IM:INP:SAMP:CYCL 100", "IM:OUTP:SINE:FREQ 1.000000"}, 2.0 / sim::ddsFrequency(1.0)},   // two periods
        {{"IM:INP:SAMP:CYCL 0", "IM:OUTP:SINE:FREQ 1000.000000"}, 0.02},                          // the least
        // the module's cycle: 4 periods of the frequency it makes, in whole ms
        {{"IM:INP:SAMP:AUTO 1", "IM:OUTP:SINE:FREQ 5.000000"}, std::ceil(4000.0 / sim::ddsFrequency(5.0)) / 1000.0},
        {{"IM:INP:SAMP:AUTO 1", "IM:OUTP:SINE:FREQ 1000.000000"}, 0.1},
        {{"IM:INP:SAMP:AUTO 1", "IM:OUTP:SINE:FREQ 0.010000"}, 2.0 / sim::ddsFrequency(0.01)},
        {{"IM:INP:SAMP:CYCL 10000", "IM:OUTP:STAT 0"}, 10.0},           // no frequency: the cycle alone
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(measurementFor(c.commands, 1.0), c.seconds, c.seconds * 1e-3) << c.commands.back();
        EXPECT_NEAR(measurementFor(c.commands, 0.5), c.seconds * 0.5, c.seconds * 1e-3) << c.commands.back();
        EXPECT_EQ(measurementFor(c.commands, 0.0), 0.0) << c.commands.back();
    }
}

TEST(SimReadiness, SampleCycleQueryAnswersTheCycleInUse) {
    sim::Instrument in(options("resistor:10", 0.0));
    in.execute("IM:INP:SAMP:CYCL 250");
    EXPECT_EQ(in.execute("IM:INP:SAMP:CYCL?"), std::string("250"));
    in.execute("IM:INP:SAMP:AUTO 1");
    // four periods of the generator's frequency (4.9969 Hz for 5 Hz), at least 0.1 s, at most 100 s
    struct Case {
        const char* hz;
        const char* cycle;
    } cases[] = {{"5.000000", "801"}, {"1000.000000", "100"}, {"0.500000", "7991"}, {"0.010000", "100000"}};
    for (const Case& c : cases) {
        in.execute(std::string("IM:OUTP:SINE:FREQ ") + c.hz);
        EXPECT_EQ(in.execute("IM:INP:SAMP:CYCL?"), std::string(c.cycle)) << c.hz;
    }
    in.execute("IM:INP:SAMP:AUTO 0");
    EXPECT_EQ(in.execute("IM:INP:SAMP:CYCL?"), std::string("250"));   // the host's own cycle again
}

TEST(SimReadiness, ReadyAtOnceWithTimeScaleZero) {
    sim::Instrument in(options("battery", 0.001, 0.0));
    for (double hz : {0.01, 1.0, 1000.0}) {
        stimulus(in, hz, 0.5, 5.0);
        EXPECT_EQ(in.execute("IM:MEAS:READY?"), std::string("1")) << hz;
        measure(in);
        EXPECT_EQ(in.execute("IM:MEAS:READY?"), std::string("1")) << hz;
    }
}

// "Not yet" is checked against a clock taken before the measurement
// started, so a stalled test thread cannot make a sound module look early.
TEST(SimReadiness, ReadyOnlyOnceTheMeasurementTimeHasPassed) {
    sim::Instrument in(options("battery", 0.001, 1.0));
    in.execute("IM:INP:SAMP:CYCL 600");
    auto notEarly = [&](simtest::Clock::time_point started, const char* what) {
        const bool ready = in.execute("IM:MEAS:READY?") == std::string("1");
        const std::chrono::duration<double> elapsed = simtest::Clock::now() - started;
        if (ready) {
            EXPECT_GE(elapsed.count(), 0.6) << what;
        }
    };
    auto started = simtest::Clock::now();
    stimulus(in, 1000.0, 0.5, 5.0);
    EXPECT_NEAR(in.measurementSeconds(), 0.6, 1e-9);
    notEarly(started, "after a new stimulus");
    EXPECT_TRUE(simtest::waitFor([&] { return in.execute("IM:MEAS:READY?") == std::string("1"); }));
    // reading the value starts the next measurement
    started = simtest::Clock::now();
    measure(in);
    notEarly(started, "after a reading");
    EXPECT_TRUE(simtest::waitFor([&] { return in.execute("IM:MEAS:READY?") == std::string("1"); }));
    // so does a new stimulus
    started = simtest::Clock::now();
    stimulus(in, 2000.0, 0.5, 5.0);
    notEarly(started, "after a new frequency");
    // a report setting does not
    EXPECT_TRUE(simtest::waitFor([&] { return in.execute("IM:MEAS:READY?") == std::string("1"); }));
    in.execute("IM:PHASE:STATE 1");
    in.execute("IM:AC:VALUE:PEAK 1");
    EXPECT_EQ(in.execute("IM:MEAS:READY?"), std::string("1"));
}

// --- the program and the simulator pass the module's options through ---

TEST(SimOptions, IdentityVersionAndDeviceReachTheLinks) {
    sim::Options o = options("resistor:10", 0.0, 0.0);
    o.address = "127.0.0.1";
    o.tcpPort = 0;
    o.udp = o.pty = o.gpib = false;
    o.idn = sim::kFamilyIdn;
    o.version = "VER1.05";
    sim::Simulator s(o);
    ASSERT_TRUE(s.start()) << s.error();
    simtest::Stream c = simtest::Stream::tcp("127.0.0.1", s.tcpPort());
    ASSERT_TRUE(c.valid());
    ASSERT_TRUE(c.send("*IDN?\rSYST:VERS?\rIM:OUTP:LEV 0.100000 1.000000\rIM:MEAS:READY?\rIM:MEAS:VAL?\r"));
    const std::string expected = std::string("OK\r\n") + sim::kFamilyIdn + "\r\nOK\r\nOK\r\nVER1.05\r\nOK\r\nOK\r\n" +
                                 "OK\r\n1\r\nOK\r\nOK\r\n1 0.000 0.1 0.000 10 0.000\r\nOK\r\n";
    EXPECT_EQ(c.readBytes(expected.size()), expected);
    EXPECT_NE(std::string(sim::kFamilyIdn).find("KZR"), std::string::npos);
    EXPECT_EQ(std::string(sim::kDefaultIdn).find("KZR"), std::string::npos);
    EXPECT_EQ(std::string(sim::kDefaultIdn).find("kzr"), std::string::npos);
}

}  // namespace
