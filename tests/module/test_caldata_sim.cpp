// Calibration tables travel from one simulated module to another through a
// file: saved over TCP from the first, loaded over TCP into the second, kept
// by the second across a restart; a value the module refuses stops the load.
#include "module/caldata.h"

#include "link/ifp.h"
#include "link/io.h"
#include "sim/sim.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
namespace hl = ui::headless;

constexpr int kFreqs = 5;
constexpr int kGains = 3;

std::unique_ptr<sim::Simulator> startModule(uint32_t seed, const std::string& serial, const std::string& stateFile)
{
    for (int host = 1; host < 255; ++host) {
        sim::Options o;
        o.address = "127.95.3." + std::to_string(host);
        o.udp = o.pty = o.gpib = false;
        o.seed = seed;
        o.serial = serial;
        o.calFreqMarkers = kFreqs;
        o.calGainMarkers = kGains;
        o.calStateFile = stateFile;
        o.timeScale = 0.0;
        auto s = std::make_unique<sim::Simulator>(o);
        if (s->start())
            return s;
    }
    return nullptr;
}

// The values the file carries back: every table but the marker frequencies.
std::vector<std::string> writableTables(sim::Instrument& in)
{
    std::vector<std::string> out;
    auto ask = [&](int t, int i, int g, int f) {
        const std::string a = std::to_string(t) + " " + std::to_string(i) + " " + std::to_string(g) + " " +
                              std::to_string(f);
        out.push_back(a + " " + in.execute("IM:CAL:DATA? " + a).value_or("none"));
    };
    for (int t : {0, 1})
        for (int i : {0, 1})
            ask(t, i, 0, 0);
    for (int f = 0; f < kFreqs; ++f)
        for (int i : {0, 1})
            ask(2, i, 0, f);
    for (int t : {3, 4})
        for (int g = 0; g < kGains; ++g)
            for (int f = 0; f < kFreqs; ++f)
                for (int i : {0, 1, 2})
                    ask(t, i, g, f);
    return out;
}

// What the module received over its TCP link.
std::vector<std::string> tcpLog(const sim::Simulator& s)
{
    std::vector<std::string> out;
    for (const sim::LogEntry& e : s.commandRecords())
        if (e.link == sim::Link::Tcp)
            out.push_back(e.text);
    return out;
}

class CaldataSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("imbench-caldata-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        ui::resetForTests();
        hl::clearPopups();
        hl::clearAnswers();
        ifcPanel_register_resource();
        ifp_register_callbacks();
        ifp_active(1);
    }
    void TearDown() override
    {
        ifp_close();
        ifp_quit();
        ui::resetForTests();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void connect(sim::Simulator& s)
    {
        if (ifp_get_ifready()) {
            ASSERT_EQ(hl::commit(ifp_panel(), IFP_PANEL_OPEN, 0), 0);
        }
        hl::deliver();
        ifp_select_link(IO_TCP, s.options().address.c_str());
        ASSERT_EQ(hl::commit(ifp_panel(), IFP_PANEL_OPEN, 1), 0);
        hl::deliver();
        ASSERT_EQ(ifp_get_ifready(), 1);
    }
    std::string file(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(CaldataSim, SaveFromOneModuleLoadIntoAnotherMakesTheirTablesEqual)
{
    auto first = startModule(1, "SER:0000-AAAAAA", "");
    auto second = startModule(2, "SER:0000-BBBBBB", file("second.state"));
    ASSERT_TRUE(first && second);
    const std::vector<std::string> original = writableTables(first->instrument());
    ASSERT_NE(writableTables(second->instrument()), original) << "the two modules start alike";

    connect(*first);
    EXPECT_EQ(caldata_default_file(), "IMAAAAAA.cal");
    const std::string cal = file("IMAAAAAA.cal");
    const CaldataResult saved = caldata_save_file(cal.c_str(), kFreqs, kGains);
    ASSERT_EQ(saved.status, CALDATA_DONE) << saved.reason;

    connect(*second);
    second->clearLog();
    const CaldataResult loaded = caldata_load_file(cal.c_str());
    ASSERT_EQ(loaded.status, CALDATA_DONE) << loaded.reason;
    EXPECT_EQ(writableTables(second->instrument()), original);
    const std::vector<std::string> log = tcpLog(*second);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "IM:CAL:SAVE");
    EXPECT_EQ(log.size(), 4u + 2u * kFreqs + 6u * kFreqs * kGains + 1u);

    // The second module keeps them: a restart reads them from its memory.
    ifp_close();
    hl::deliver();
    second.reset();
    auto restarted = startModule(2, "SER:0000-BBBBBB", file("second.state"));
    ASSERT_TRUE(restarted);
    EXPECT_EQ(writableTables(restarted->instrument()), original);
}

TEST_F(CaldataSim, AValueTheModuleRefusesStopsTheLoadBeforeTheSave)
{
    auto module = startModule(3, "SER:0000-CCCCCC", file("c.state"));
    ASSERT_TRUE(module);
    const std::vector<std::string> before = writableTables(module->instrument());
    const std::string cal = file("edited.cal");
    {
        std::ofstream out(cal);
        out << "; edited\nIM:CAL:DATA 0 0 0 0 1.25\nIM:CAL:DATA 0 1 0 0 not-a-number\n"
               "IM:CAL:DATA 1 0 0 0 0.5\nIM:CAL:SAVE\n";
    }
    connect(*module);
    module->clearLog();
    EXPECT_EQ(caldata_load_file(cal.c_str()).status, CALDATA_SEND_FAILED);
    const std::vector<std::string> log = tcpLog(*module);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front(), "IM:CAL:DATA 0 0 0 0 1.25");
    for (const std::string& line : log) {
        EXPECT_NE(line, "IM:CAL:DATA 1 0 0 0 0.5");
        EXPECT_NE(line, "IM:CAL:SAVE");
    }
    // The value sent before the refused one is in the working tables only.
    std::vector<std::string> now = writableTables(module->instrument());
    EXPECT_EQ(std::stod(now[0].substr(8)), 1.25) << now[0];
    now[0] = before[0];
    EXPECT_EQ(now, before);
    EXPECT_FALSE(fs::exists(file("c.state")));
}

}  // namespace
