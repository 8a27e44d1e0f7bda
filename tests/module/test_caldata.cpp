// Calibration transfer between simulated modules over loopback TCP: a file
// saved from one module is loaded into another value by value;
// the progress window counts to 100 %; files that are not calibration text
// are refused before anything is sent; a value the module refuses stops the
// load; a save that cannot finish leaves the old file.
#include "module/caldata.h"

#include "app/fra.h"
#include "link/ifp.h"
#include "link/io.h"
#include "tests/support/run_fixture.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace {

namespace hl = ui::headless;
using namespace tsupport;
using Texts = std::vector<std::string>;

Texts g_written; // what the host wrote, as the transport reports it
void record(int, const char* format, ...) {
    char text[1024];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (std::strncmp(text, "\niowrite:", 9) == 0)
        g_written.emplace_back(text + 9);
}

// The values the progress window's indicator takes (a save shows no pop-up).
struct Progress : ui::Renderer {
    std::vector<int> values;
    void controlChanged(int p, int c, ui::Change what) override {
        if (ui::panel(p)->resourceId == PROGRESS_PANEL && c == PROGRESS_PANEL_PERCENT && what == ui::Change::Value)
            values.push_back(std::get<int>(ui::panel(p)->control(c)->value));
    }
    void pump(int) override { }
    void messagePopup(const std::string&, const std::string&) override { }
    bool confirmPopup(const std::string&, const std::string&) override { return false; }
    ui::PromptResult promptPopup(const std::string&, const std::string&, int) override { return {}; }
    std::optional<std::string> fileSelectPopup(const std::string&, const std::string&, const std::string&,
        const std::string&, int, bool, bool) override { return {}; }
};

class Caldata : public RunTest {
protected:
    std::unique_ptr<sim::Simulator> module(uint32_t seed, const std::string& serial, const std::string& state) {
        sim::Options o = tcpOnlyOptions();
        o.seed = seed, o.serial = serial, o.calStateFile = state, o.calFreqMarkers = 2, o.calGainMarkers = 3;
        return startSimulator(o);
    }
    void connect(const sim::Simulator& s) {
        ifp_active(1);
        commit(ifp_panel(), IFP_PANEL_OPEN, 0);
        ifp_select_link(IO_TCP, s.options().address.c_str());
        commit(ifp_panel(), IFP_PANEL_OPEN, 1);
        ASSERT_EQ(ifp_get_ifready(), 1);
        io_hook_debug_printf(record);
    }
};

std::string value(sim::Instrument& in, int t, int i, int g, int f) {
    const std::string a = std::to_string(t) + " " + std::to_string(i) + " " + std::to_string(g) + " " + std::to_string(f);
    return "IM:CAL:DATA " + a + " " + in.execute("IM:CAL:DATA? " + a).value_or("none");
}

// The file a save of 2 frequency and 3 gain markers writes.
std::string expectedFile(const std::string& path, sim::Instrument& in) {
    std::string s = ";\n;   IM Calibration Data File: " + path + "\n;\n;   Frequency Marker Count = 2\n"
                                                                 ";        Gain Marker Count = 3\n;\n;\n; Marker Frequency\n;\n;" +
        value(in, 5, 0, 0, 0) + "\n;" +
        value(in, 5, 0, 0, 1) + "\n";
    for (int t : {0, 1})
        s += std::string(t ? ";\n; Output AC level\n;\n" : ";\n; Output DC level\n;\n") + value(in, t, 0, 0, 0) + "\n" +
            value(in, t, 1, 0, 0) + "\n";
    s += ";\n; Output AC Amplitude\n;\n";
    for (int f : {0, 1})
        s += value(in, 2, 0, 0, f) + "\n" + value(in, 2, 1, 0, f) + "\n";
    for (int t : {3, 4}) {
        s += t == 3 ? ";\n; Input AC Current\n;\n" : ";\n; Input AC Voltage\n;\n";
        for (int g = 0; g < 3; ++g)
            for (int f = 0; f < 2; ++f)
                for (int i = 0; i < 3; ++i)
                    s += value(in, t, i, g, f) + "\n";
    }
    return s + ";\n; Save to NVRAM\nIM:CAL:SAVE\n;\n";
}

TEST_F(Caldata, SaveFromOneModuleLoadIntoAnother) {
    auto first = module(1, "SER:0000-AAAAAA", ""), second = module(2, "SER:0000-BBBBBB", "");
    ASSERT_TRUE(first && second);
    connect(*first);
    EXPECT_EQ(caldata_default_file(), "IMAAAAAA.cal");
    const std::string cal = dir_.file("IMAAAAAA.cal");
    Progress progress;
    ui::setRenderer(&progress);
    const CaldataResult saved = caldata_save_file(cal.c_str(), 2, 3);
    ui::setRenderer(nullptr);
    ASSERT_EQ(saved.status, CALDATA_DONE) << saved.reason;
    // After the markers, the levels, each amplitude frequency and each (gain, frequency) of the inputs.
    EXPECT_EQ(progress.values, (std::vector<int>{0, 4, 8, 13, 17, 21, 28, 34, 41, 47, 54, 60, 67, 73, 80, 86, 93, 100}));
    const std::string text = readFile(cal).value_or("");
    EXPECT_EQ(text, expectedFile(cal, first->instrument()));

    connect(*second);
    second->clearLog();
    ASSERT_EQ(caldata_load_file(cal.c_str()).status, CALDATA_DONE);
    Texts lines; // every line of the file but the comments: 44 values and the save
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line[0] != ';')
            lines.push_back(line);
    EXPECT_EQ(lines.size(), 45u);
    EXPECT_EQ(second->commandLog(), lines) << "the second module took every value of the first";
}

// A file is checked whole before anything is sent; comment lines are skipped,
// a line end written as CR LF goes out as LF; a refused value stops the load.
TEST_F(Caldata, LoadSendsWhatTheFileHoldsAndStopsAtARefusedValue) {
    sim_ = module(3, "SER:0000-a/b\\c1tail", "");
    ASSERT_TRUE(sim_);
    connect(*sim_);
    EXPECT_EQ(caldata_default_file(), "IMa_b_c1.cal") << "no folder of the module's choosing";
    g_written.clear();
    // 249 characters and the line feed fill the longest command every link carries.
    const std::string line = "IM:CAL:DATA 0 0 0 0 1." + std::string(CALDATA_COMMAND_MAX - 1 - 22, '0');
    const std::pair<std::string, std::string> refused[] = {
        {line + "0\n", "line 1 is a command longer than the 250 characters a link carries"},
        {"IM:CAL:DATA 0 0 0 0 1\n;" + std::string(CALDATA_LINE_MAX, 'c') + "\n", "line 2 is longer than 511 characters"},
        {std::string("IM:CAL:DATA 0 0 0 0 1\n\0\0", 24), "line 2 holds the control byte 0x00; it is not a text file"},
        {"IM:CAL:DATA 0 0 0 0 1\rIM:CAL:SAVE\n", "line 1 holds the control byte 0x0d; it is not a text file"}};
    for (const auto& [text, why] : refused) {
        writeFile(dir_.file("bad.cal"), text);
        const CaldataResult r = caldata_load_file(dir_.file("bad.cal").c_str());
        EXPECT_EQ(r.status, CALDATA_FILE_ERROR);
        EXPECT_EQ(r.reason, "Cannot load \"" + dir_.file("bad.cal") + "\": " + why + ". Nothing was sent to the module.");
    }
    EXPECT_EQ(caldata_load_file(dir_.path().c_str()).reason,
        "Cannot open \"" + dir_.path() + "\": it is not a regular file. Nothing was sent to the module.");
    EXPECT_EQ(g_written, Texts{});

    writeFile(dir_.file("edited.cal"), ";" + std::string(CALDATA_LINE_MAX - 1, 'c') + "\r\n" + line + "\r\nIM:CAL:DATA 0 0 0 0 1.5\nIM:CAL:DATA 0 0 0 0 1.5\n;IM:CAL:DATA 0 1 0 0 9\n"
                                                                                                      "IM:CAL:DATA 0 1 0 0 2.5 ; a note\n\tIM:CAL:DATA 1 0 0 0 3.5\r\n\r\nIM:CAL:SAVE");
    EXPECT_EQ(caldata_load_file(dir_.file("edited.cal").c_str()).status, CALDATA_DONE);
    ASSERT_EQ(g_written.size(), 6u) << "the longest line went too";
    EXPECT_EQ(Texts(g_written.begin() + 1, g_written.end()), (Texts{"IM:CAL:DATA 0 0 0 0 1.5\n", "IM:CAL:DATA 0 0 0 0 1.5\n", "\tIM:CAL:DATA 1 0 0 0 3.5\n", "\n", "IM:CAL:SAVE"}))
        << "an empty line is acknowledged, as an instrument does";

    writeFile(dir_.file("refused.cal"), "IM:CAL:DATA 0 0 0 0 1.25\nIM:CAL:DATA 0 1 0 0 x\nIM:CAL:DATA 1 0 0 0 0.5\nIM:CAL:SAVE\n");
    clearLog();
    fra_open();
    DisplayPanel(ifcP);
    hl::answerFile(dir_.file("refused.cal"));
    ASSERT_EQ(hl::click(ifcP, MAIN_PANEL_CAL_LOAD), 0);
    hl::deliver();
    EXPECT_EQ(messages(), Texts{"|Calibration Data Load Fail!\nLine 2 (\"IM:CAL:DATA 0 1 0 0 x\") was not acknowledged: "
                                "the module refused it or the link failed. The lines before it are in the module's "
                                "working tables, not stored."});
    Texts expected{"SYST:SER?", "IM:CAL:DATA 0 0 0 0 1.25"};
    expected.resize(2 + IFP_QUERY_ATTEMPTS, "IM:CAL:DATA 0 1 0 0 x");
    EXPECT_EQ(log(), expected) << "each try refused, nothing after it sent";

    // CAL SAVE is shown by a right double-click on CAL LOAD; a save that
    // cannot finish names the reason and leaves the old file whole.
    EXPECT_EQ(hl::click(ifcP, MAIN_PANEL_CAL_SAVE), UIE_NOT_OPERABLE);
    ASSERT_EQ(hl::rightDoubleClick(ifcP, MAIN_PANEL_CAL_LOAD), 0);
    hl::deliver();
    hl::answerFile(dir_.file("nowhere/x.cal"));
    ASSERT_EQ(hl::click(ifcP, MAIN_PANEL_CAL_SAVE), 0);
    hl::deliver();
    EXPECT_EQ(messages().back(), "|Calibration Data Save Fail!\nCannot create \"" + dir_.file("nowhere/x.cal") + "\": No such file or directory.");
    const std::string kept = dir_.file("edited.cal"), before = readFile(kept).value_or("");
    sim::Simulator* s = sim_.get();
    s->instrument().setLogObserver([s](const sim::LogEntry& e) { // the module stops answering half-way
        if (e.text == "IM:CAL:DATA? 3 1 1 0")
            s->setFaults([] { sim::Faults f; f.overlong = 1000; return f; }());
    });
    const CaldataResult r = caldata_save_file(kept.c_str(), 2, 3);
    EXPECT_EQ(r.reason, "The module did not answer \"IM:CAL:DATA? 3 1 1 0\"; \"" + kept + "\" was not written.");
    EXPECT_EQ(readFile(kept), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 3) << "no temporary file";
}

} // namespace
