// The frequency sweep: the stepper's sequences, the end of a sweep and what
// it restores, a stop by the user, REPEAT over the DC sweep list, and the
// sweep when the run ends (main window closed, application quit).
#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "tests/app/fra_fixture.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fratest::confirmed;
using fratest::FraTest;
using fratest::graphPoints;
using Log = std::vector<std::string>;
namespace hl = ui::headless;

const std::array<double, 6> kReading = {1.0, 0.0, 0.5, -30.0, 2.0, 30.0};

void setSweep(double start, double stop, double step, int decades)
{
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, start);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, stop);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STEP, step);
    SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, decades);
}

std::vector<double> loggedFrequencies()
{
    std::vector<double> out;
    const uint32_t n = ifc_log_count() < IFC_LOG_SIZE ? ifc_log_count() : IFC_LOG_SIZE;
    for (uint32_t i = 0; i < n; ++i)
        out.push_back(ifc_log_data()[i].freq);
    return out;
}

std::vector<double> confirmedAll(const std::vector<double>& requested)
{
    std::vector<double> out;
    for (double f : requested)
        out.push_back(confirmed(f));
    return out;
}

TEST_F(FraTest, StepperSequences)
{
    startRun();
    struct Case {
        const char* name;
        double start, stop, step;
        int decades;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {"linear up", 10, 50, 10, 0, {10, 20, 30, 40, 50}},
        {"linear down", 50, 10, 15, 0, {50, 35, 20}},
        {"start equals stop", 7, 7, 100, 0, {7}},
        {"start equals stop, decades", 7, 7, 100, 1, {7}},
        {"linear sums that miss STOP by a rounding error", 0.1, 0.7, 0.3, 0, {0.1, 0.4, 0.7}},
        {"decades up from 1", 1, 100, 0, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
        {"decades up from 0.5", 0.5, 3, 0, 1, {0.5, 0.6, 0.7, 0.8, 0.9, 1, 2, 3}},
        {"decades up from 15", 15, 250, 0, 1, {15, 25, 35, 45, 55, 65, 75, 85, 95, 105, 205}},
        {"decades down from 1000",
         1000,
         0.1,
         0,
         1,
         {1000, 900, 800, 700, 600, 500, 400, 300, 200, 100, 90, 80, 70, 60, 50, 40, 30, 20, 10,
          9, 8, 7, 6, 5, 4, 3, 2, 1, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1}},
        {"decades down, stop inside a decade", 300, 25, 0, 1, {300, 200, 100, 90, 80, 70, 60, 50, 40, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setSweep(c.start, c.stop, c.step, c.decades);
        clearLog();
        std::vector<double> seen;
        ASSERT_EQ(ifc_sweep_step(1), 0);
        seen.push_back(ifc_get_sweep_freq());
        for (int i = 0; i < 100 && ifc_sweep_step(0) == 0; ++i)
            seen.push_back(ifc_get_sweep_freq());
        ASSERT_EQ(seen.size(), c.expected.size());
        for (std::size_t i = 0; i < seen.size(); ++i)
            EXPECT_NEAR(seen[i], c.expected[i], 1e-9) << "step " << i;
        // Each frequency was sent and read back; the one past STOP was not.
        const std::vector<double> sent = sentFrequencies();
        ASSERT_EQ(sent.size(), c.expected.size());
        for (std::size_t i = 0; i < sent.size(); ++i)
            EXPECT_NEAR(sent[i], c.expected[i], 1e-6);
        EXPECT_DOUBLE_EQ(ifc_get_dds_freq(), confirmed(c.expected.back()));
    }
}

TEST_F(FraTest, DecadeSweepFromOneToAHundredGivesNineteenPoints)
{
    startRun();
    setReadings(kReading);
    setSweep(1, 100, 100, 1);
    ASSERT_EQ(hl::commit(ifcP, MAIN_PANEL_BODE_GRAPH, 1), 0);
    ASSERT_EQ(hl::commit(ifcP, MAIN_PANEL_NYQUST_GRAPH, 1), 0);
    hl::deliver();
    clearLog();
    userSweep(1);
    EXPECT_TRUE(hl::waitCursor());
    ASSERT_EQ(runSweep(), 19);
    const std::vector<double> requested = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                           20, 30, 40, 50, 60, 70, 80, 90, 100};
    EXPECT_EQ(loggedFrequencies(), confirmedAll(requested))
        << "each point carries the frequency the module confirmed";
    std::vector<double> sent = requested;
    sent.push_back(1000.0);   // FREQUENCY restored and sent back
    EXPECT_EQ(sentFrequencies(), sent);
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), 19);
    EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH), 19);
    EXPECT_FALSE(hl::waitCursor());
    EXPECT_EQ(mainInt(MAIN_PANEL_SWEEP), 0);
    EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE), 0);
}

TEST_F(FraTest, ASweepThatEndsRestoresTheStimulusAndSendsTheLevel)
{
    startRun();
    setReadings(kReading);
    struct Case {
        double start, stop, step;
        std::vector<double> readings;
    };
    const Case cases[] = {{10, 50, 10, {10, 20, 30, 40, 50}}, {50, 10, 15, {50, 35, 20}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        setSweep(c.start, c.stop, c.step, 0);
        SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, 1234.0);
        SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 2.0);
        SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, 20.0);
        clearLog();
        userSweep(1);
        ASSERT_EQ(runSweep(), static_cast<int>(c.readings.size()));
        EXPECT_EQ(loggedFrequencies(), confirmedAll(c.readings));
        EXPECT_EQ(mainDouble(MAIN_PANEL_FREQUENCY), 1234.0);
        EXPECT_EQ(mainDouble(MAIN_PANEL_OFFSET), 2.0);
        EXPECT_EQ(mainDouble(MAIN_PANEL_AMPLITUDE), 20.0);
        const Log all = log();
        ASSERT_GE(all.size(), 5u);
        const Log tail(all.end() - 5, all.end());
        EXPECT_EQ(tail, (Log{"IM:OUTP:SINE:FREQ 1234.000000", "IM:OUTP:SINE:FREQ?",
                             "IM:OUTP:STAT 1", "IM:OUTP:LEV 0.400000 2.000000", "IM:OUTP:AMPL?"}));
        for (int control : {MAIN_PANEL_FREQUENCY, MAIN_PANEL_OFFSET, MAIN_PANEL_AMPLITUDE,
                            MAIN_PANEL_SAMPLE_CYCLE})
            EXPECT_EQ(ctrlMode(ifcP, control), VAL_HOT) << control;
        EXPECT_EQ(ctrlDimmed(ifcP, MAIN_PANEL_SYNC), 0);
    }
}

TEST_F(FraTest, StoppingASweepRestoresTheStimulusAndResendsTheFrequency)
{
    startRun();
    setReadings(kReading);
    setSweep(1, 100000, 100, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, 1234.0);
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 1.5);
    SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, 30.0);
    userSweep(1);
    for (int i = 0; i < 3; ++i)
        readBack();
    // While it runs the stimulus and SYNC are out of the user's reach.
    EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE), 1);
    for (int control : {MAIN_PANEL_FREQUENCY, MAIN_PANEL_OFFSET, MAIN_PANEL_AMPLITUDE,
                        MAIN_PANEL_SAMPLE_CYCLE})
        EXPECT_EQ(ctrlMode(ifcP, control), VAL_INDICATOR) << control;
    EXPECT_EQ(ctrlDimmed(ifcP, MAIN_PANEL_SYNC), 1);
    EXPECT_EQ(hl::commit(ifcP, MAIN_PANEL_FREQUENCY, 50.0), UIE_NOT_OPERABLE);
    EXPECT_EQ(mainDouble(MAIN_PANEL_FREQUENCY), 4.0) << "the stepper's frequency is shown";

    clearLog();
    userSweep(0);
    EXPECT_EQ(log(), (Log{"IM:OUTP:SINE:FREQ 1234.000000", "IM:OUTP:SINE:FREQ?"}));
    EXPECT_EQ(mainDouble(MAIN_PANEL_FREQUENCY), 1234.0);
    EXPECT_EQ(mainDouble(MAIN_PANEL_OFFSET), 1.5);
    EXPECT_EQ(mainDouble(MAIN_PANEL_AMPLITUDE), 30.0);
    EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE), 0);
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_FREQUENCY), VAL_HOT);
    EXPECT_EQ(ctrlDimmed(ifcP, MAIN_PANEL_SYNC), 0);
    EXPECT_FALSE(hl::waitCursor());
    EXPECT_EQ(ifc_log_count(), 3u) << "the points stay until the next sweep starts";
    clearLog();
    readBack();
    EXPECT_EQ(log(), Log{});
}

TEST_F(FraTest, SampleCycleStaysLockedWhileSampleAutoIsOn)
{
    startRun();
    setReadings(kReading);
    setSweep(1, 5, 1, 0);
    ASSERT_EQ(hl::commit(ifcP, MAIN_PANEL_SAMPLE_AUTO, 1), 0);
    hl::deliver();
    userSweep(1);
    ASSERT_EQ(runSweep(), 5);
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_SAMPLE_CYCLE), VAL_INDICATOR);
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_FREQUENCY), VAL_HOT);
}

// The simulated module reads the AC level it was last given as its voltage,
// so the points tell which DC-list step they belong to.
void readLevelAsVoltage(sim::Simulator& s)
{
    sim::Instrument* inst = &s.instrument();
    inst->setLogObserver([inst](const sim::LogEntry& e) {
        static const std::string head = "IM:OUTP:LEV ";
        if (e.text.compare(0, head.size(), head) == 0) {
            const double ac = std::strtod(e.text.c_str() + head.size(), nullptr);
            inst->setReadings({ac, 0.0, ac / 100.0, 0.0, 100.0, 0.0});
        }
    });
}

std::vector<std::string> fileLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(FraTest, RepeatSweepsOncePerDcListStepAndLogsTheLastSweep)
{
    startRun();
    readLevelAsVoltage(*sim_);
    setReadings({0, 0, 0, 0, 100, 0});
    dcsw_set_step(0, 1.0, 10.0);
    dcsw_set_step(1, 2.0, 20.0);
    setSweep(10, 30, 10, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 0.5);
    SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, 10.0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_DATA_LOG, 1);
    const std::string path = dir_ + "/repeat.dat";
    hl::answerFile(path);
    clearLog();
    userSweep(1);
    EXPECT_EQ(ifc_get_dcsw_active(), 1);
    ASSERT_EQ(runSweep(), 6);

    // Two traces on Bode and Nyquist, in the first two colours; V&C shows the last.
    for (int graph : {BODE_PANEL_GRAPH1, BODE_PANEL_GRAPH2}) {
        EXPECT_EQ(graphPoints(zP, graph, VAL_RED), 3);
        EXPECT_EQ(graphPoints(zP, graph, VAL_BLUE), 3);
        EXPECT_EQ(graphPoints(zP, graph), 6);
    }
    EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH, VAL_RED), 3);
    EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH, VAL_BLUE), 3);
    EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH), 6);
    EXPECT_EQ(graphPoints(vcP, VC_PANEL_GRAPH1), 6) << "3 readings, voltage and current";
    EXPECT_EQ(bode_trace_index(), 1);

    // Each step's level was sent before its sweep; the saved one after the run.
    Log levels;
    for (const std::string& line : log())
        if (line.rfind("IM:OUTP:LEV", 0) == 0)
            levels.push_back(line);
    EXPECT_EQ(levels, (Log{"IM:OUTP:LEV 0.100000 1.000000", "IM:OUTP:LEV 0.050000 0.500000",
                           "IM:OUTP:LEV 0.400000 2.000000", "IM:OUTP:LEV 0.050000 0.500000"}));
    EXPECT_EQ(mainDouble(MAIN_PANEL_OFFSET), 0.5);
    EXPECT_EQ(mainDouble(MAIN_PANEL_AMPLITUDE), 10.0);
    EXPECT_EQ(ifc_get_dcsw_active(), 0);
    EXPECT_EQ(mainInt(MAIN_PANEL_SWEEP), 0);

    // The file was offered and written once, with the second sweep's points only.
    int dialogs = 0;
    for (const auto& p : hl::popups())
        dialogs += p.kind == hl::PopupRecord::FileSelect;
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(hl::lastPopupText(), "File '" + path + "' Save to Disk!");
    const auto lines = fileLines(path);
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        std::istringstream in(lines[i]);
        double col[9] = {};
        for (double& v : col)
            in >> v;
        EXPECT_NEAR(col[0], confirmed(10.0 * static_cast<double>(i - 1)), 1e-4) << "seven digits";
        EXPECT_NEAR(col[5], 0.4, 1e-9) << "voltage of the second step's level";
    }
}

TEST_F(FraTest, RepeatWithoutAUsableFirstStepIsRefused)
{
    startRun();
    setReadings(kReading);
    setSweep(10, 30, 10, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    dcsw_set_step(1, 5.0, 10.0);   // step 2 is of no use while step 1 is 0.0
    SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, 777.0);
    clearLog();
    userSweep(1);
    EXPECT_EQ(mainInt(MAIN_PANEL_SWEEP), 0);
    EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE), 0);
    EXPECT_EQ(ifc_get_dcsw_active(), 0);
    ASSERT_FALSE(hl::popups().empty());
    EXPECT_EQ(hl::popups().back().title, "Sweep");
    EXPECT_NE(hl::popups().back().text.find("DC sweep list"), std::string::npos);
    EXPECT_EQ(log(), (Log{"IM:OUTP:SINE:FREQ 777.000000", "IM:OUTP:SINE:FREQ?"}));
    EXPECT_FALSE(hl::waitCursor());
    for (int i = 0; i < 3; ++i)
        readBack();
    EXPECT_EQ(ifc_log_count(), 0u);
}

TEST_F(FraTest, ANegativeDcLevelIsSweptAndOnlyZeroEndsTheList)
{
    startRun();
    setReadings(kReading);
    setSweep(10, 20, 10, 0);
    dcsw_set_step(0, -1.0, 10.0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    clearLog();
    userSweep(1);
    ASSERT_EQ(runSweep(), 2);
    const Log all = log();
    EXPECT_NE(std::find(all.begin(), all.end(), "IM:OUTP:LEV -0.100000 -1.000000"), all.end());
}

TEST_F(FraTest, SwitchingSweepOffEndsARepeatRunAndKeepsTheStepsLevel)
{
    startRun();
    setReadings(kReading);
    setSweep(10, 100, 10, 0);
    dcsw_set_step(0, 1.0, 10.0);
    dcsw_set_step(1, 2.0, 20.0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    userSweep(1);
    readBack();
    clearLog();
    userSweep(0);
    EXPECT_EQ(ifc_get_dcsw_active(), 0);
    EXPECT_EQ(log(), (Log{"IM:OUTP:SINE:FREQ 1000.000000", "IM:OUTP:SINE:FREQ?"}))
        << "the frequency is sent back, the level is not";
    for (int i = 0; i < 3; ++i)
        readBack();
    EXPECT_EQ(mainInt(MAIN_PANEL_SWEEP), 0);
    EXPECT_EQ(sim_->instrument().setting("IM:OUTP:LEV").value_or(""), "0.100000 1.000000");
}

TEST_F(FraTest, AUserStartBeginsTheGraphsAfreshARepeatStepDoesNot)
{
    startRun();
    setReadings(kReading);
    setSweep(10, 20, 10, 0);
    for (int run = 0; run < 2; ++run) {
        userSweep(1);
        ASSERT_EQ(runSweep(), 2);
        EXPECT_EQ(bode_trace_index(), 0);
        EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1, VAL_RED), 2);
        EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), 2);
    }
}

// ---- the sweep when the run ends ----------------------------------------------------

class FraRunTest : public FraTest {
protected:
    void TearDown() override
    {
        ifc_set_read_wait_ticks(IFC_READ_WAIT_TICKS);
        AppTest::TearDown();
        sim_.reset();
    }
    int runMain()
    {
        static char name[] = "imbench";
        static char* argv[] = {name, nullptr};
        return ifc_main(1, argv);
    }
};

TEST_F(FraRunTest, ClosingTheMainWindowDuringASweepStopsItFirst)
{
    sim_ = fratest::startSimulator("127.33.1.", sim::kDefaultIdn, sim::kDefaultVersion);
    ASSERT_TRUE(sim_);
    setReadings(kReading);
    registerEverything();
    const std::string address = sim_->options().address;
    bool waitingDuringSweep = false;
    bool stoppedBeforeTheEnd = false;
    bool interfaceStays = false;
    apptest::UiScript script({
        {apptest::always, [&] { apptest::openTcp(address, 0); }},
        {[] { return ifcP >= 0 && ui::panel(ifcP) && ui::panel(ifcP)->visible; },
         [] {
             SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 1.0);
             SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 100000.0);
             hl::commit(ifcP, MAIN_PANEL_SWEEP, 1);
         }},
        {[] { return ifc_log_count() >= 2; },
         [&] {
             waitingDuringSweep = hl::waitCursor();
             hl::closePanel(ifcP);
         }},
        {[] { return ifcP < 0; },
         [&] {
             stoppedBeforeTheEnd = !hl::waitCursor();
             interfaceStays = ifp_panel() >= 0 && ifp_get_ifready() == 0;
             hl::closePanel(ifp_panel());
         }},
    });
    EXPECT_EQ(runMain(), 0);
    EXPECT_TRUE(script.finished());
    EXPECT_FALSE(script.timedOut());
    EXPECT_TRUE(waitingDuringSweep);
    EXPECT_TRUE(stoppedBeforeTheEnd) << "the sweep's stop step ran";
    EXPECT_TRUE(interfaceStays);
    EXPECT_LT(ifc_log_count(), 100u);
}

TEST_F(FraRunTest, QuittingDuringASweepSkipsItsStop)
{
    sim_ = fratest::startSimulator("127.33.2.", sim::kDefaultIdn, sim::kDefaultVersion);
    ASSERT_TRUE(sim_);
    setReadings(kReading);
    registerEverything();
    const std::string address = sim_->options().address;
    std::size_t logAtQuit = 0;
    apptest::UiScript script({
        {apptest::always, [&] { apptest::openTcp(address, 0); }},
        {[] { return ifcP >= 0 && ui::panel(ifcP) && ui::panel(ifcP)->visible; },
         [] {
             SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 1.0);
             SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 100000.0);
             hl::commit(ifcP, MAIN_PANEL_SWEEP, 1);
         }},
        {[] { return ifc_log_count() >= 2; },
         [&] {
             logAtQuit = sim_->commandLog().size();
             hl::closePanel(ifp_panel());
         }},
    });
    EXPECT_EQ(runMain(), 0);
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(hl::waitCursor()) << "no stop step when quitting";
    EXPECT_EQ(ifcP, -1);
    // Nothing was sent after the quit (no frequency sent back).
    const auto all = sim_->commandLog();
    for (std::size_t i = logAtQuit; i < all.size(); ++i)
        EXPECT_EQ(all[i].rfind("IM:OUTP:SINE:FREQ 1000", 0), std::string::npos) << all[i];
}

TEST_F(FraRunTest, AUserSweepsAndWatchesBodeAndNyquist)
{
    // The whole road with the real pause before each poll: open, sweep, graphs.
    sim_ = fratest::startSimulator("127.33.3.", sim::kDefaultIdn, sim::kDefaultVersion);
    ASSERT_TRUE(sim_);
    setReadings(kReading);
    registerEverything();
    const std::string address = sim_->options().address;
    int bodePoints = -1;
    int nyquistPoints = -1;
    bool shown = false;
    apptest::UiScript script({
        {apptest::always, [&] { apptest::openTcp(address, 0); }},
        {[] { return ifcP >= 0 && ui::panel(ifcP) && ui::panel(ifcP)->visible; },
         [] {
             hl::commit(ifcP, MAIN_PANEL_BODE_GRAPH, 1);
             hl::commit(ifcP, MAIN_PANEL_NYQUST_GRAPH, 1);
             hl::commit(ifcP, MAIN_PANEL_FREQ_START, 1.0);
             hl::commit(ifcP, MAIN_PANEL_FREQ_STOP, 100.0);
             hl::commit(ifcP, MAIN_PANEL_SWEEP, 1);
         }},
        {[] { return ifc_log_count() > 0 && !ifc_sweep_on(); },
         [&] {
             shown = ui::panel(zP)->visible && ui::panel(nyP)->visible;
             bodePoints = graphPoints(zP, BODE_PANEL_GRAPH1);
             nyquistPoints = graphPoints(nyP, NYQUST_PANEL_GRAPH);
             hl::closePanel(ifp_panel());
         }},
    }, 60000);
    EXPECT_EQ(runMain(), 0);
    EXPECT_TRUE(script.finished());
    EXPECT_FALSE(script.timedOut());
    EXPECT_TRUE(shown);
    EXPECT_EQ(bodePoints, 19);
    EXPECT_EQ(nyquistPoints, 19);
}

}  // namespace
