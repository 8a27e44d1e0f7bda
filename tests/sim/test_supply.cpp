// The simulated DC supply, through Instrument::execute on a clock the test
// drives: CV and CC against the load resistance, protection trips and their
// latch, temperature, lists and their capacity, refusals and model faults.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "tests/sim/clocked.h"

namespace {

constexpr unsigned kCc = 1u << 2, kCv = 1u << 3, kOn = 1u << 5, kListRunning = 1u << 10, kExtended = 1u << 15;

sim::Options supplyOptions(double ohms = 10.0, double ambient = 25.0) {
    sim::Options o;
    o.kind = sim::Kind::Supply;
    o.loadOhms = ohms;
    o.ambientCelsius = ambient;
    return o;
}

// A supply on the test's clock.
struct Supply : tsim::Clocked {
    explicit Supply(sim::Options o = supplyOptions()) : Clocked(std::move(o)) { }
};

TEST(SimSupply, RegulatesVoltageOrCurrentOnEitherSideOfTheCrossover) {
    const double ohms = 8.0, iset = 1.5; // the crossover lies at 12 V
    Supply s(supplyOptions(ohms));
    s.setup({"ISET 1.5", "VSET 5"});
    EXPECT_EQ(s.num("MEAS:VOLT?") + s.bits("STAT:QUES?"), 0.0) << "nothing out, no lamps, while off";
    s.setup({"OUTP 1"});
    for (double vset = 0.5; vset <= 20.0; vset += 0.5) {
        s.setup({"VSET " + std::to_string(vset)});
        const bool cv = vset / ohms <= iset;
        const double volts = cv ? vset : iset * ohms;
        EXPECT_NEAR(s.num("MEAS:VOLT?"), volts, 1e-5) << vset;
        EXPECT_NEAR(s.num("MEAS:CURR?"), volts / ohms, 1e-6) << vset;
        EXPECT_EQ(s.bits("STAT:QUES?"), kOn | (cv ? kCv : kCc)) << vset;
    }
    Supply rated(supplyOptions(5.0)); // 60 V, 10 A asked into 5 ohm: 500 W of a 400 W rating
    rated.setup({"VSET 60", "ISET 10", "OUTP 1"});
    EXPECT_NEAR(rated.num("MEAS:VOLT?"), std::sqrt(400.0 * 5.0), 1e-4);
    EXPECT_EQ(rated.bits("STAT:QUES?"), kOn | 1u << 12);
}

TEST(SimSupply, ProtectionTripsAtOnceOnlyArmedAndLatchesUntilCleared) {
    // 5 V into 10 ohm: 0.5 A
    struct Case {
        const char* state;
        const char* level;
        unsigned bit, conflict; // questionable trip bit, extended "armed against the setting" bit
    } cases[] = {
        {"VOLT:PROT:STAT", "VOLT:PROT 4", 1u << 0, 1u << 1},
        {"UND:PROT:STAT", "VOLT:PROT:UND 6", 1u << 9, 1u << 3},
        {"CURR:PROT:STAT", "CURR:PROT 0.4", 1u << 1, 1u << 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        Supply s;
        const std::string state = c.state;
        s.setup({state + " 0", c.level, "VSET 5", "ISET 1", "OUTP 1"});
        s.at(1000);
        EXPECT_EQ(s.bits("STAT:QUES?"), kOn | kCv) << "not armed";
        s.setup({state + " 1"});
        EXPECT_EQ(s.ask("OUTP?") + " " + s.ask("MEAS:VOLT?"), "0 0.000000");
        EXPECT_EQ(s.bits("STAT:QUES?"), c.bit | kExtended);
        EXPECT_EQ(s.bits("STAT:QUES:EXT?"), c.conflict | 1u << 15);
        EXPECT_FALSE(s.ok("OUTP 1")) << "latched";
        s.at(60000);
        s.setup({"OUTP:PROT:CLE"});
        EXPECT_EQ(s.bits("STAT:QUES?"), kExtended) << "the setting still conflicts";
        EXPECT_EQ(s.bits("STAT:QUES:EXT?"), c.conflict);
        s.setup({state + " 0", "OUTP 1"});
        EXPECT_EQ(s.bits("STAT:QUES?"), kOn | kCv);
        EXPECT_EQ(s.bits("STAT:QUES:EXT?"), 0u);
    }
}

TEST(SimSupply, ListsWalkTheirEntriesForTheirCountInTheirTimeUnit) {
    Supply volts; // 10 ohm, ISET 1: CV up to 10 V
    volts.setup({"LIST:VOLT 1 3", "LIST:VOLT:TIME 1 10", "LIST:VOLT 2 6", "LIST:VOLT:TIME 2 20", "LIST:COUNT 2",
        "LIST:VOLT:STAT 1", "VSET 1", "OUTP 1"});
    for (const auto& [ms, v] : std::vector<std::pair<double, double>>{
             {0, 3}, {9.999, 3}, {10, 6}, {29.999, 6}, {30, 3}, {59.999, 6}, {60, 1}, {9000, 1}}) {
        volts.at(ms);
        EXPECT_EQ(volts.num("MEAS:VOLT?"), v) << ms << " ms";
        EXPECT_EQ((volts.bits("STAT:QUES?") & kListRunning) != 0, ms < 60) << ms << " ms";
    }
    Supply amps; // seconds, endless: CC at the entry's current below VSET 20
    amps.setup({"LIST:TIME:UNIT 1", "LIST:CURR 1 0.2", "LIST:CURR:TIME 1 2", "LIST:CURR 2 0.4", "LIST:CURR:TIME 2 1",
        "LIST:COUNT 0", "LIST:CURR:STAT 1", "VSET 20", "OUTP 1"});
    for (const auto& [ms, a] : std::vector<std::pair<double, double>>{{0, 0.2}, {2000, 0.4}, {3000, 0.2}, {3002000, 0.4}}) {
        amps.at(ms);
        EXPECT_EQ(amps.num("MEAS:CURR?"), a) << ms << " ms";
        EXPECT_EQ(amps.bits("STAT:QUES?"), kOn | kCc | kListRunning) << ms << " ms";
    }
}

TEST(SimSupply, RefusesWhatDoesNotFitStopsAListProbeAtItsCapacityAndTakesModelFaults) {
    Supply s;
    for (const char* line : {"VSET 61", "ISET -0.1", "OUTP 2", "LIST:COUNT -1", "LIST:TIME:UNIT 2", "MEAS:VOLT 1",
             "OUTP:PROT:CLE 1", "LIST:VOLT 1 61", "LIST:CURR 1 10.5", "LIST:VOLT:TIME 1 70000",
             "LIST:VOLT 0 1", "LIST:VOLT? 1 TOP", "VSET? MAX 1", "INPUT 1"})
        EXPECT_TRUE(s.in.respond(line).refused) << line;
    EXPECT_EQ(s.ask("VSET?") + " " + s.ask("LIST:CURR? 1 MAX") + " " + s.ask("CURR:PROT? MAX"), "5.000000 10.00000 11.00000");
    for (int capacity : {0, 7}) { // read entries as a host learning the length does
        sim::Faults f;
        f.listCapacity = capacity;
        s.in.setFaults(f);
        int n = 0;
        while (n < 200 && s.ask("LIST:VOLT? " + std::to_string(n + 1)) != "ERR" &&
            s.ask("LIST:CURR:TIME? " + std::to_string(n + 1)) != "ERR")
            ++n;
        EXPECT_EQ(n, capacity == 0 ? 100 : capacity);
        EXPECT_FALSE(s.ok("LIST:CURR " + std::to_string(n + 1) + " 1"));
    }
    sim::Faults f;
    f.failMax = "VSET";
    f.failMin = "LIST:CURR";
    f.minAboveMax = "ISET";
    f.extOn = 1 << 3;
    s.in.setFaults(f);
    EXPECT_EQ(s.ask("VSET? MAX") + " " + s.ask("VSET? MIN") + " " + s.ask("LIST:CURR? 1 MIN"), "ERR 0.000000 ERR");
    EXPECT_GT(s.num("ISET? MIN"), s.num("ISET? MAX"));
    EXPECT_EQ(s.bits("STAT:QUES:EXT?"), 1u << 3);
    EXPECT_EQ(s.bits("STAT:QUES?"), kExtended) << "a forced extended bit shows in the summary";
}

} // namespace
