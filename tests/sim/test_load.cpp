// The simulated electronic load, through Instrument::execute on a clock the
// test drives: operating points against the source model, transient and step
// list timing, protection delays and latches, temperature, refusals, model
// faults, and the instrument kinds.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "tests/sim/clocked.h"

namespace {

constexpr double kEmf = 12.0, kOhms = 0.05; // the default source
constexpr unsigned kAlarm = 1u << 13;

sim::Options loadOptions(double emf = kEmf, double ambient = 25.0) {
    sim::Options o;
    o.kind = sim::Kind::Load;
    o.sourceVolts = emf;
    o.ambientCelsius = ambient;
    return o;
}

// A load on the test's clock.
struct Load : tsim::Clocked {
    explicit Load(sim::Options o = loadOptions()) : Clocked(std::move(o)) { }
    std::vector<double> summary() {
        std::istringstream words(ask("MEAS:SUMM?"));
        std::vector<double> v;
        for (double x; words >> x;) v.push_back(x);
        return v;
    }
    double amps() { return summary().at(1); }
    // The current at each time (ms); operation bit `bit` is set whenever it is not mainAmps.
    void expectTimeline(const std::vector<std::pair<double, double>>& samples, unsigned bit, double mainAmps) {
        for (const auto& [ms, current] : samples) {
            at(ms);
            EXPECT_EQ(amps(), current) << ms << " ms";
            EXPECT_EQ((bits("STAT:OPER?") & bit) != 0, current != mainAmps) << ms << " ms";
        }
    }
};

// The current at which the source delivers watts, on the side where more
// current gives more power, by bisection.
double currentForPower(double emf, double watts) {
    double lo = 0.0, hi = emf / (2.0 * kOhms);
    for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2.0;
        ((emf - kOhms * mid) * mid < watts ? lo : hi) = mid;
    }
    return lo;
}

TEST(SimLoad, OperatingPointOfEachModeMatchesTheSourceModel) {
    struct Case {
        const char* name;
        double emf;
        std::vector<std::string> setup;
        double amps;
        unsigned ques;
    } cases[] = {
        {"cc", kEmf, {"MODE CURR", "MLEV 2.5"}, 2.5, 0},
        {"cv", kEmf, {"MODE VOLT", "MLEV 11"}, (kEmf - 11.0) / kOhms, 0},
        {"cv held by the low range", kEmf, {"MODE:RANGE 0", "MODE VOLT", "MLEV 11.8"}, 3.0, 1u << 9},
        {"cr", kEmf, {"MODE RES", "MLEV 2"}, kEmf / (kOhms + 2.0), 0},
        {"cp", kEmf, {"MODE POW", "MLEV 100"}, currentForPower(kEmf, 100.0), 0},
        {"cc held by the rating", 24.0, {"MODE CURR", "MLEV 20"}, currentForPower(24.0, 400.0), 1u << 10},
        {"short takes the range", kEmf, {"MODE CURR", "MLEV 1", "SHORT 1"}, 30.0, 0},
        {"source below von", kEmf, {"VOLT:VON:STATE 1", "VOLT:VON 12.5", "MODE CURR", "MLEV 1"}, 0.0, 1u << 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Load load(loadOptions(c.emf));
        load.setup(c.setup);
        EXPECT_EQ(load.amps(), 0.0) << "no current before the input is on";
        load.setup({"INPUT 1"});
        const std::vector<double> s = load.summary();
        ASSERT_EQ(s.size(), 4u);
        const double volts = c.emf - kOhms * c.amps, ohms = c.amps > 0.0 ? volts / c.amps : 9.9e37;
        EXPECT_NEAR(s[0], volts, 1e-4 * volts);
        EXPECT_NEAR(s[1], c.amps, 1e-5 * std::max(1.0, c.amps));
        EXPECT_NEAR(s[2], volts * c.amps, 1e-4 * std::max(1.0, volts * c.amps));
        EXPECT_NEAR(s[3], ohms, 1e-4 * ohms);
        EXPECT_EQ(load.bits("STAT:QUES?"), c.ques);
    }
}

TEST(SimLoad, ContinuousTransientAlternatesAtFreqAndDutyAndADelayNeedsAnUnbrokenCondition) {
    Load load; // over-current is armed for the 3 A phases, longer than they last
    load.setup({"MODE CURR", "MLEV 1", "TLEV 3", "FREQ 10", "DUTY 30", "CURR:PROT:OVER 2", "CURR:PROT:STATE 1",
        "CURR:PROT:OVER:DELAY 31", "INPUT 1", "TRAN 1"});
    EXPECT_EQ(load.num("TRAN:TWID?"), 30.0);
    load.expectTimeline({{0, 3}, {29.999, 3}, {30, 1}, {99.999, 1}, {100, 3}, {130, 1}, {10000.5, 3}}, 1u << 14, 1);
    EXPECT_EQ(load.bits("STAT:QUES?"), 0u);
    load.setup({"TRAN:TWID 20"});
    EXPECT_NEAR(load.num("FREQ?"), 15.0, 1e-5) << "the width keeps the duty";
    load.setup({"DUTY 60"}); // restarts with 40 ms at 3 A: 3 A since 10000 ms without a break
    load.at(10030.999);
    EXPECT_EQ(load.bits("STAT:QUES?"), 0u);
    load.at(10031);
    EXPECT_EQ(load.bits("STAT:QUES?"), (1u << 1) | kAlarm);
}

TEST(SimLoad, StepListWalksItsDwellTimesStepCountTimesWithinItsCapacity) {
    sim::Options o = loadOptions();
    o.faults.stepCapacity = 3;
    Load load(o);
    EXPECT_EQ(load.ask("UTIL:STEP:COUNT? MAX"), "3");
    EXPECT_EQ(load.ask("STEP:CURR? 4"), "ERR");
    EXPECT_FALSE(load.ok("STEP:CURR:TIME 4 10"));
    load.setup({"MODE CURR", "MLEV 0.5", "STEP:CURR 1 1", "STEP:CURR 2 2", "STEP:CURR 3 3", "STEP:CURR:TIME 1 10",
        "STEP:CURR:TIME 2 20", "STEP:CURR:TIME 3 30", "STEP:COUNT 2", "TRAN:MODE 2", "INPUT 1", "TRAN 1"});
    load.expectTimeline({{0, 1}, {9.999, 1}, {10, 2}, {30, 3}, {59.999, 3}, {60, 1}, {119.999, 3}, {120, 0.5}, {5000, 0.5}},
        1u << 13, 0.5);
}

TEST(SimLoad, ProtectionTripsOnlyArmedAndAfterItsDelayThenLatchesUntilCleared) {
    // at 3 A from the default source: 11.85 V, 35.55 W; with the input off 12 V
    struct Case {
        const char* stem;
        const char* level;
        unsigned bit;
        bool idleTrips; // trips with the input off too
    } cases[] = {
        {"VOLT:PROT", "VOLT:PROT:OVER 11.5", 1u << 0, true},
        {"VOLT:PROT:UND", "VOLT:PROT:UND 11.9", 1u << 3, false},
        {"CURR:PROT", "CURR:PROT:OVER 2", 1u << 1, false},
        {"CURR:PROT:UND", "CURR:PROT:UND 4", 1u << 4, false},
        {"POW:PROT", "POW:PROT:OVER 30", 1u << 2, false},
        {"POW:PROT:UND", "POW:PROT:UND 40", 1u << 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stem);
        const std::string stem = c.stem;
        Load load;
        load.setup({"MODE CURR", "MLEV 3", c.level, stem + (stem.ends_with(":UND") ? ":DELAY 50" : ":OVER:DELAY 50"),
            stem + ":STATE 1"});
        load.at(5000);
        EXPECT_EQ(load.bits("STAT:QUES?"), c.idleTrips ? c.bit | kAlarm : 0u) << "input off";
        load.setup({"INP:PROT:CLE", stem + ":STATE 0", "INPUT 1"});
        load.at(10000);
        EXPECT_EQ(load.bits("STAT:QUES?"), 0u) << "not armed";
        load.setup({stem + ":STATE 1"});
        load.at(10049.999);
        EXPECT_EQ(load.bits("STAT:QUES?"), 0u);
        load.at(10050);
        EXPECT_EQ(load.bits("STAT:QUES?"), c.bit | kAlarm);
        EXPECT_EQ(load.amps(), 0.0);
        EXPECT_FALSE(load.ok("INPUT 1")) << "latched";
        load.at(20000);
        EXPECT_EQ(load.bits("STAT:QUES?") & kAlarm, kAlarm) << "still latched";
        load.setup({"INP:PROT:CLE", "INPUT 1"});
        EXPECT_EQ(load.bits("STAT:QUES?"), 0u);
    }
}

TEST(SimLoad, RefusesWhatDoesNotFitAndModelFaultsBreakLimitsAndForceBits) {
    Load load;
    for (const char* line : {"DUTY 100", "INPUT 2", "INPUT 1.5", "INPUT", "INPUT 1 2", "MLEV 30.5", "FREQ 1e4",
             "MODE AMPS", "TRIG:SOURCE NOW", "INP:PROT:CLE 1", "INP:PROT:CLE?", "STAT:QUES 1",
             "MEAS:SUMM? 1", "DUTY? MAXIMUM", "STEP:AMPS 1 1", "STEP:CURR? 0", "NO:SUCH:QUERY?"}) {
        const sim::Response r = load.in.respond(line);
        EXPECT_TRUE(r.refused) << line;
        EXPECT_EQ(r.reply.value_or("-"), sim::Instrument::isQuery(line) ? "ERR" : "-") << line;
    }
    EXPECT_EQ(load.ask("DUTY?") + load.ask("INPUT?") + load.ask("MODE?"), "500CURR");
    load.setup({"SYST:SHORT:STATE 0", "mode res", "TRIG:SOURCE ETHERNET", "FREQ 1e-1", "MLEV 10000.000000"});
    EXPECT_FALSE(load.ok("SHORT 1")) << "the short function is off";
    EXPECT_EQ(load.ask("MODE?") + " " + load.ask("TRIG:SOURCE?"), "RES ETHERNET");
    EXPECT_EQ(load.ask("MLEV? MIN") + " " + load.ask("UTIL:STEP:COUNT? MAX"), "0.05000000 100");

    sim::Faults f;
    f.failMax = "MLEV";
    f.failMin = "STEP:CURR";
    f.minAboveMax = "DUTY";
    f.quesOn = 0x4000;
    f.operOn = 0x0400;
    load.in.setFaults(f);
    EXPECT_EQ(load.ask("MLEV? MAX") + " " + load.ask("MLEV? MIN"), "ERR 0.05000000");
    EXPECT_EQ(load.ask("STEP:CURR? 1 MIN") + " " + load.ask("STEP:CURR? 1 MAX"), "ERR 30.00000");
    EXPECT_GT(load.num("DUTY? MIN"), load.num("DUTY? MAX"));
    EXPECT_EQ(load.bits("STAT:QUES?"), 0x4000u);
    EXPECT_EQ(load.bits("STAT:OPER?"), 0x0400u);
}

TEST(SimLoad, EachKindAnswersItsOwnVocabulary) {
    struct Case {
        sim::Kind kind;
        bool family;
        const char* idn;
        bool im, load, supply;
    } cases[] = {
        {sim::Kind::Im, false, sim::kDefaultIdn, true, false, false},
        {sim::Kind::Load, false, sim::kLoadIdn, false, true, false},
        {sim::Kind::Load, true, sim::kFamilyIdn, true, true, false},
        {sim::Kind::Im, true, sim::kFamilyIdn, true, true, false},
        {sim::Kind::Supply, false, sim::kSupplyIdn, false, false, true},
    };
    for (const Case& c : cases) {
        sim::Options o;
        o.kind = c.kind;
        o.family = c.family;
        sim::Instrument in(o);
        SCOPED_TRACE(c.idn);
        EXPECT_EQ(in.execute("*IDN?"), std::string(c.idn));
        EXPECT_EQ(in.execute("IM:INP:CURR:UNIT?") != "ERR", c.im);
        EXPECT_EQ(in.execute("INPUT?") != "ERR", c.load);
        EXPECT_EQ(in.execute("VSET?") != "ERR", c.supply);
        EXPECT_EQ(in.respond("NO:SUCH:COMMAND 1").refused, c.load || c.supply) << "only the IM alone acknowledges";
    }

}

} // namespace
