// The IM module's calibration tables: addresses, initial values, writes,
// refusals the host can see, the state file, and a host-style transfer of the
// tables from one module to another.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "tests/sim/raw_client.h"

namespace {

using simtest::Stream;

// A folder of its own under the test temp folder, removed with its files.
class TempFolder {
public:
    TempFolder() {
        path_ = std::string(::testing::TempDir()) + "imbench-simcal-" + std::to_string(getpid()) + "-" +
                std::to_string(counter_++);
        ::mkdir(path_.c_str(), 0700);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::string path_;
};

sim::Options calOptions(int freqMarkers, int gainMarkers, uint32_t seed = 1, std::string serial = sim::kDefaultSerial,
                        std::string stateFile = "") {
    sim::Options o;
    o.calFreqMarkers = freqMarkers;
    o.calGainMarkers = gainMarkers;
    o.seed = seed;
    o.serial = std::move(serial);
    o.calStateFile = std::move(stateFile);
    o.timeScale = 0.0;
    return o;
}

std::string address(int t, int i, int g, int f) {
    return std::to_string(t) + " " + std::to_string(i) + " " + std::to_string(g) + " " + std::to_string(f);
}

// Every address of the tables, in the order the host's calibration file lists them.
std::vector<std::string> layout(int F, int G) {
    std::vector<std::string> a;
    for (int f = 0; f < F; ++f) a.push_back(address(5, 0, 0, f));
    for (int t : {0, 1})
        for (int i : {0, 1}) a.push_back(address(t, i, 0, 0));
    for (int f = 0; f < F; ++f)
        for (int i : {0, 1}) a.push_back(address(2, i, 0, f));
    for (int t : {3, 4})
        for (int g = 0; g < G; ++g)
            for (int f = 0; f < F; ++f)
                for (int i : {0, 1, 2}) a.push_back(address(t, i, g, f));
    return a;
}

std::vector<std::string> tables(sim::Instrument& in, int F, int G) {
    std::vector<std::string> values;
    for (const std::string& a : layout(F, G)) values.push_back(*in.execute("IM:CAL:DATA? " + a));
    return values;
}

bool isNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

TEST(SimCalibration, CountsComeFromTheOptionsAndEveryAddressAnswers) {
    sim::Instrument in(calOptions(3, 2));
    EXPECT_EQ(in.execute("IM:CAL:FREQ:COUNT?"), std::string("3"));
    EXPECT_EQ(in.execute("IM:CAL:GAIN:COUNT?"), std::string("2"));
    const auto all = layout(3, 2);
    EXPECT_EQ(all.size(), 3u + 4u + 2u * 3u + 6u * 3u * 2u);
    for (const std::string& a : all) {
        const std::string v = *in.execute("IM:CAL:DATA? " + a);
        EXPECT_TRUE(isNumber(v)) << a << " -> " << v;
    }
    const char* outside[] = {
        "6 0 0 0",  "-1 0 0 0", "5 1 0 0", "5 0 1 0", "5 0 0 3", "0 2 0 0", "0 0 1 0", "0 0 0 1", "1 0 0 1",
        "2 2 0 0",  "2 0 1 0",  "2 0 0 3", "3 3 0 0", "3 0 2 0", "3 0 0 3", "4 0 0 -1", "4 0 -1 0",
        "1 0 0",    "1 0 0 0 0", "1 0 0 x", "1.0 0 0 0",
    };
    for (const char* a : outside) EXPECT_EQ(in.execute(std::string("IM:CAL:DATA? ") + a), std::string("ERR")) << a;

    // no markers at all: only the output DC and AC level values are left
    sim::Instrument bare(calOptions(0, 0));
    EXPECT_EQ(bare.execute("IM:CAL:FREQ:COUNT?"), std::string("0"));
    EXPECT_TRUE(isNumber(*bare.execute("IM:CAL:DATA? 1 1 0 0")));
    EXPECT_EQ(bare.execute("IM:CAL:DATA? 2 0 0 0"), std::string("ERR"));
}

TEST(SimCalibration, InitialValuesArePlausibleAndFollowSeedAndSerial) {
    sim::Instrument a(calOptions(8, 4, 1, "SER:0000-ABCDEF"));
    sim::Instrument same(calOptions(8, 4, 1, "SER:0000-ABCDEF"));
    sim::Instrument otherSerial(calOptions(8, 4, 1, "SER:0000-ABCDEG"));
    sim::Instrument otherSeed(calOptions(8, 4, 2, "SER:0000-ABCDEF"));
    const auto values = tables(a, 8, 4);
    EXPECT_EQ(tables(same, 8, 4), values);
    EXPECT_NE(tables(otherSerial, 8, 4), values);
    EXPECT_NE(tables(otherSeed, 8, 4), values);

    // marker frequencies rise by decades from 1 Hz to 100 kHz
    double previous = 0.0;
    for (int f = 0; f < 8; ++f) {
        const double hz = std::strtod(a.execute("IM:CAL:DATA? " + address(5, 0, 0, f))->c_str(), nullptr);
        EXPECT_GT(hz, previous * 4.0) << f;
        previous = hz;
    }
    EXPECT_NEAR(std::strtod(a.execute("IM:CAL:DATA? 5 0 0 0")->c_str(), nullptr), 1.0, 1e-6);
    EXPECT_NEAR(std::strtod(a.execute("IM:CAL:DATA? 5 0 0 7")->c_str(), nullptr), 100000.0, 1e-3);
    // gain corrections near 1, offsets near 0
    for (std::string g : {"0 0 0 0", "1 0 0 0", "2 0 0 3", "3 0 2 5", "4 0 3 7"}) {
        const double v = std::strtod(a.execute("IM:CAL:DATA? " + g)->c_str(), nullptr);
        EXPECT_GT(v, 0.98) << g;
        EXPECT_LT(v, 1.05) << g;
    }
    for (std::string o : {"0 1 0 0", "1 1 0 0", "3 2 1 1", "4 2 0 6"})
        EXPECT_LT(std::fabs(std::strtod(a.execute("IM:CAL:DATA? " + o)->c_str(), nullptr)), 0.01) << o;
}

TEST(SimCalibration, WritesChangeTheWorkingTablesAndBadOnesAreRefused) {
    sim::Instrument in(calOptions(3, 2));
    const sim::Response ok = in.respond("IM:CAL:DATA 3 2 1 2 1.234567");
    EXPECT_FALSE(ok.refused);
    EXPECT_EQ(ok.reply, std::nullopt);
    EXPECT_EQ(in.execute("IM:CAL:DATA? 3 2 1 2"), std::string("1.234567"));
    EXPECT_FALSE(in.respond("IM:CAL:DATA 0 1 0 0 -2.5e-3").refused);
    EXPECT_EQ(in.execute("IM:CAL:DATA? 0 1 0 0"), std::string("-2.5e-3"));

    const auto before = tables(in, 3, 2);
    in.clearLog();
    const char* refused[] = {
        "IM:CAL:DATA 3 2 2 0 1.0",         // gain index beyond the markers
        "IM:CAL:DATA 2 0 0 3 1.0",         // frequency index beyond the markers
        "IM:CAL:DATA 6 0 0 0 1.0",         // no such table
        "IM:CAL:DATA 0 0 0 -1 1.0",
        "IM:CAL:DATA 3 2 1 2 ERR",         // not a number
        "IM:CAL:DATA 3 2 1 2 1,5",         // decimal comma
        "IM:CAL:DATA 3 2 1 2 1.0 2.0",     // two values
        "IM:CAL:DATA 3 2 1 2",             // none
        "IM:CAL:DATA 3 2 1.5 2 1.0",
        "IM:CAL:SAVE now",
    };
    for (const char* line : refused) EXPECT_TRUE(in.respond(line).refused) << line;
    EXPECT_EQ(tables(in, 3, 2), before);
    const auto records = in.commandRecords();
    for (std::size_t k = 0; k < std::size(refused); ++k) {
        EXPECT_TRUE(records[k].refused) << records[k].text;
        EXPECT_FALSE(records[k].valid) << records[k].text;
    }
}

TEST(SimCalibration, SaveKeepsTheTablesInTheStateFileForTheNextStart) {
    TempFolder dir;
    const std::string state = dir.file("module.cal-state");
    sim::Instrument first(calOptions(3, 2, 1, "SER:0000-AAAAAA", state));
    std::string error;
    EXPECT_TRUE(first.loadCalibrationState(&error)) << error;   // no file yet: the module's own values
    first.execute("IM:CAL:DATA 4 1 1 2 -0.777000");
    first.execute("IM:CAL:DATA 0 0 0 0 1.010101");
    EXPECT_FALSE(first.respond("IM:CAL:SAVE").refused);
    struct stat st {};
    EXPECT_EQ(::stat(state.c_str(), &st), 0);
    EXPECT_NE(::stat((state + ".tmp").c_str(), &st), 0) << "temporary file left behind";
    const auto saved = tables(first, 3, 2);
    // a write after the save stays in the working tables only
    first.execute("IM:CAL:DATA 0 0 0 0 0.999999");

    sim::Instrument second(calOptions(3, 2, 9, "SER:0000-BBBBBB", state));
    EXPECT_NE(tables(second, 3, 2), saved);   // a module of its own until it loads
    ASSERT_TRUE(second.loadCalibrationState(&error)) << error;
    EXPECT_EQ(tables(second, 3, 2), saved);

    // a module with fewer markers takes the values that fit it
    sim::Instrument smaller(calOptions(2, 1, 9, "SER:0000-BBBBBB", state));
    ASSERT_TRUE(smaller.loadCalibrationState(&error)) << error;
    EXPECT_EQ(smaller.execute("IM:CAL:DATA? 0 0 0 0"), std::string("1.010101"));
    EXPECT_EQ(smaller.execute("IM:CAL:DATA? 3 0 0 1"), first.execute("IM:CAL:DATA? 3 0 0 1"));
    EXPECT_EQ(smaller.execute("IM:CAL:DATA? 4 1 1 2"), std::string("ERR"));
}

TEST(SimCalibration, ASaveThatCannotBeWrittenIsRefused) {
    TempFolder dir;
    sim::Instrument in(calOptions(2, 1, 1, sim::kDefaultSerial, dir.file("missing/folder/state")));
    EXPECT_TRUE(in.respond("IM:CAL:SAVE").refused);
    // without a state file the save is only as lasting as the run
    sim::Instrument volatileOnly(calOptions(2, 1));
    EXPECT_FALSE(volatileOnly.respond("IM:CAL:SAVE").refused);
}

TEST(SimCalibration, AnUnreadableStateFileStopsTheStart) {
    TempFolder dir;
    const char* broken[] = {
        "not a state file\n",
        "imbench-sim calibration\n0 0 0 0 1.0\n",                      // markers line missing
        "imbench-sim calibration\nmarkers 2 1\n0 0 0 1.0\n",           // three integers
        "imbench-sim calibration\nmarkers 2 1\n0 0 0 0 one\n",
        "imbench-sim calibration\n",
    };
    int n = 0;
    for (const char* text : broken) {
        const std::string path = dir.file("broken" + std::to_string(n++));
        std::ofstream(path) << text;
        sim::Options o = calOptions(2, 1, 1, sim::kDefaultSerial, path);
        o.tcpPort = 0;
        o.udp = o.pty = o.gpib = false;
        sim::Simulator s(o);
        EXPECT_FALSE(s.start()) << text;
        EXPECT_NE(s.error().find(path), std::string::npos) << s.error();
        // the tables are left as they were
        sim::Instrument in(calOptions(2, 1, 1, sim::kDefaultSerial, path));
        const auto before = tables(in, 2, 1);
        std::string error;
        EXPECT_FALSE(in.loadCalibrationState(&error)) << text;
        EXPECT_EQ(tables(in, 2, 1), before);
    }
}

// --- over the links, as the host sees them ---

sim::Options linkOptions(sim::Options o) {
    o.address = "127.0.0.1";
    o.tcpPort = 0;
    o.udpPort = 0;
    o.pty = o.gpib = false;
    return o;
}

TEST(SimCalibration, ARefusedWriteIsNotAcknowledged) {
    sim::Simulator s(linkOptions(calOptions(2, 1)));
    ASSERT_TRUE(s.start()) << s.error();
    Stream c = Stream::tcp("127.0.0.1", s.tcpPort());
    ASSERT_TRUE(c.valid());
    ASSERT_TRUE(c.send("IM:CAL:DATA 0 0 0 0 1.000100\r"));
    EXPECT_EQ(c.readBytes(4), "OK\r\n");
    ASSERT_TRUE(c.send("IM:CAL:DATA 3 0 1 0 1.000100\r"));   // gain index 1 of 1 marker
    EXPECT_EQ(c.readBytes(5), "ERR\r\n");
    // the link goes on as before
    ASSERT_TRUE(c.send("IM:CAL:DATA? 0 0 0 0\r"));
    EXPECT_EQ(c.readBytes(18), "OK\r\n1.000100\r\nOK\r\n");

    // UDP: the refused request is never confirmed, an accepted one is
    auto packet = [](uint16_t id, const std::string& text) {
        std::string p{1, 1, static_cast<char>(id >> 8), static_cast<char>(id & 0xFF),
                      static_cast<char>(text.size() >> 8), static_cast<char>(text.size() & 0xFF)};
        return p + text;
    };
    simtest::Udp u;
    ASSERT_TRUE(u.sendTo("127.0.0.1", s.udpPort(), packet(40, "IM:CAL:DATA 9 0 0 0 1.0")));
    ASSERT_TRUE(u.sendTo("127.0.0.1", s.udpPort(), packet(41, "IM:CAL:DATA 1 1 0 0 0.000500")));
    const auto d = u.receive();
    ASSERT_TRUE(d.has_value());
    ASSERT_GE(d->bytes.size(), 6u);
    EXPECT_EQ(d->bytes[1], 2);    // CONFIRM
    EXPECT_EQ(d->bytes[3], 41);   // of the accepted request only
    EXPECT_FALSE(u.receive(300).has_value());
    ASSERT_TRUE(simtest::waitFor([&] {
        for (const auto& r : s.commandRecords())
            if (r.udpId == 40) return r.refused;
        return false;
    }));
}

// The host's calibration save writes a file of "IM:CAL:DATA t i g f value"
// lines built from the module's replies (marker frequencies commented out)
// ending in "IM:CAL:SAVE"; its load sends every line without ';'.  Done
// here over TCP between two modules of different make.
TEST(SimCalibration, AHostFileTransferMakesTheSecondModulesTablesEqualToTheFirsts) {
    TempFolder dir;
    const int F = 4, G = 3;
    sim::Simulator a(linkOptions(calOptions(F, G, 3, "SER:0000-AAAAAA")));
    sim::Simulator b(linkOptions(calOptions(F, G, 4, "SER:0000-BBBBBB", dir.file("b.state"))));
    ASSERT_TRUE(a.start()) << a.error();
    ASSERT_TRUE(b.start()) << b.error();
    a.instrument().execute("IM:CAL:DATA 3 1 2 3 -0.424242");   // a module calibrated by hand

    Stream ca = Stream::tcp("127.0.0.1", a.tcpPort());
    ASSERT_TRUE(ca.valid());
    std::vector<std::string> file = {";", "; IM Calibration Data File"};
    for (const std::string& addr : layout(F, G)) {
        ASSERT_TRUE(ca.send("IM:CAL:DATA? " + addr + "\r"));
        std::string reply = ca.readBytes(4);   // OK
        ASSERT_EQ(reply, "OK\r\n");
        std::string line;
        for (std::string ch; (ch = ca.readBytes(1)) != "\n";) {
            ASSERT_FALSE(ch.empty()) << "reply cut short";
            if (ch != "\r") line += ch;
        }
        ASSERT_EQ(ca.readBytes(4), "OK\r\n");
        const std::string command = "IM:CAL:DATA " + addr + " " + line;
        file.push_back(addr.rfind("5 ", 0) == 0 ? ";" + command : command);
    }
    file.push_back("; Save to NVRAM");
    file.push_back("IM:CAL:SAVE");

    Stream cb = Stream::tcp("127.0.0.1", b.tcpPort());
    ASSERT_TRUE(cb.valid());
    for (const std::string& line : file) {
        if (line.find(';') != std::string::npos) continue;
        ASSERT_TRUE(cb.send(line + "\n"));
        ASSERT_EQ(cb.readBytes(4), "OK\r\n") << line;
    }
    EXPECT_EQ(tables(b.instrument(), F, G), tables(a.instrument(), F, G));
    EXPECT_EQ(b.instrument().execute("IM:CAL:DATA? 3 1 2 3"), std::string("-0.424242"));

    // and the second module starts with them next time
    sim::Instrument restarted(calOptions(F, G, 4, "SER:0000-BBBBBB", dir.file("b.state")));
    std::string error;
    ASSERT_TRUE(restarted.loadCalibrationState(&error)) << error;
    EXPECT_EQ(tables(restarted, F, G), tables(a.instrument(), F, G));
}

}  // namespace
