// The frequency sweep: the stepper's sequences, the end of a sweep and what
// it restores, a stop by the user, REPEAT over the DC sweep list, and a sweep
// when the run ends (main window closed, application quit).
#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "tests/support/run_fixture.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"

#include <algorithm>
#include <string>

namespace {

namespace hl = ui::headless;
using namespace tsupport;
using Log = std::vector<std::string>;

const std::array<double, 6> kReading = {1.0, 0.0, 0.5, -30.0, 2.0, 30.0};

void setSweep(double start, double stop, double step, int decades)
{
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, start);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, stop);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STEP, step);
    SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, decades);
}

Log levels(const Log& log)
{
    Log out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                 [](const std::string& l) { return l.rfind("IM:OUTP:LEV", 0) == 0; });
    return out;
}

// Each reading carries the frequency the module confirmed; the end of a
// sweep restores the stimulus and sends it.
TEST_F(RunTest, SweepSequencesAndWhatTheirEndRestores)
{
    startRun();
    setReadings(kReading);
    commit(ifcP, MAIN_PANEL_BODE_GRAPH, 1);
    const struct {
        const char* name;
        double start, stop, step;
        int decades;
        std::vector<double> expected;
    } cases[] = {
        {"linear up", 10, 50, 10, 0, {10, 20, 30, 40, 50}},
        {"linear down", 50, 10, 15, 0, {50, 35, 20}},
        {"start equals stop", 7, 7, 100, 1, {7}},
        {"sums that miss STOP by a rounding error", 0.1, 0.7, 0.3, 0, {0.1, 0.4, 0.7}},
        {"decades up from 1", 1, 100, 0, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
        {"decades up from 0.5", 0.5, 3, 0, 1, {0.5, 0.6, 0.7, 0.8, 0.9, 1, 2, 3}},
        {"decades up from 15", 15, 250, 0, 1, {15, 25, 35, 45, 55, 65, 75, 85, 95, 105, 205}},
        {"decades down from 1000", 1000, 0.1, 0, 1,
         {1000, 900, 800, 700, 600, 500, 400, 300, 200, 100, 90, 80, 70, 60, 50, 40, 30, 20, 10,
          9, 8, 7, 6, 5, 4, 3, 2, 1, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1}},
        {"decades down, stop inside a decade", 300, 25, 0, 1, {300, 200, 100, 90, 80, 70, 60, 50, 40, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setSweep(c.start, c.stop, c.step, c.decades);
        SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, 1234.0);
        SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 2.0);
        SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, 20.0);
        clearLog();
        commit(ifcP, MAIN_PANEL_SWEEP, 1);
        EXPECT_TRUE(hl::waitCursor());
        ASSERT_EQ(runSweep(), static_cast<int>(c.expected.size()));
        std::vector<double> sent = c.expected, logged;
        sent.push_back(1234.0);   // FREQUENCY restored and sent back
        EXPECT_EQ(sentFrequencies(), sent);
        for (uint32_t i = 0; i < ifc_log_count(); ++i)
            logged.push_back(ifc_log_data()[i].freq);
        for (double& f : sent)
            f = confirmed(f);
        sent.pop_back();
        EXPECT_EQ(logged, sent);
        EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), static_cast<int>(c.expected.size()));
        EXPECT_EQ((std::vector<double>{mainDouble(MAIN_PANEL_FREQUENCY), mainDouble(MAIN_PANEL_OFFSET),
                                       mainDouble(MAIN_PANEL_AMPLITUDE)}), (std::vector<double>{1234, 2, 20}));
        const Log all = log();
        ASSERT_GE(all.size(), 3u);
        EXPECT_EQ(Log(all.end() - 3, all.end()), (Log{"IM:OUTP:STAT 1", "IM:OUTP:LEV 0.400000 2.000000", "IM:OUTP:AMPL?"}));
        EXPECT_EQ(attribute(ifcP, MAIN_PANEL_OFFSET, ATTR_CTRL_MODE), VAL_HOT);
        EXPECT_EQ(attribute(ifcP, MAIN_PANEL_SYNC, ATTR_DIMMED), 0);
        EXPECT_FALSE(hl::waitCursor());
        EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE), 0);
    }
}

// A stop by the user ends a REPEAT run too; only the frequency is sent back,
// the module keeps the step's level.
TEST_F(RunTest, StoppingASweepRestoresTheStimulusAndResendsOnlyTheFrequency)
{
    startRun();
    setReadings(kReading);
    setSweep(1, 100000, 100, 1);
    dcsw_set_step(0, 1.0, 10.0);
    dcsw_set_step(1, 2.0, 20.0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, 1234.0);
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 1.5);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    for (int i = 0; i < 3; ++i)
        readBack();
    // While it runs the stimulus and SYNC are out of the user's reach.
    for (int control : {MAIN_PANEL_FREQUENCY, MAIN_PANEL_OFFSET, MAIN_PANEL_AMPLITUDE, MAIN_PANEL_SAMPLE_CYCLE})
        EXPECT_EQ(attribute(ifcP, control, ATTR_CTRL_MODE), VAL_INDICATOR) << control;
    EXPECT_EQ(attribute(ifcP, MAIN_PANEL_SYNC, ATTR_DIMMED), 1);
    EXPECT_EQ(mainDouble(MAIN_PANEL_FREQUENCY), 4.0) << "the stepper's frequency is shown";
    EXPECT_EQ(mainDouble(MAIN_PANEL_OFFSET), 1.0) << "the step's level";
    clearLog();
    commit(ifcP, MAIN_PANEL_SWEEP, 0);
    EXPECT_EQ(log(), (Log{"IM:OUTP:SINE:FREQ 1234.000000", "IM:OUTP:SINE:FREQ?"}));
    EXPECT_EQ(mainDouble(MAIN_PANEL_FREQUENCY), 1234.0);
    EXPECT_EQ(mainDouble(MAIN_PANEL_OFFSET), 1.5);
    EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE), 0);
    EXPECT_EQ(ifc_get_dcsw_active(), 0);
    EXPECT_EQ(attribute(ifcP, MAIN_PANEL_FREQUENCY, ATTR_CTRL_MODE), VAL_HOT);
    EXPECT_EQ(ifc_log_count(), 3u) << "the points stay until the next sweep starts";
    for (int i = 0; i < 3; ++i)
        readBack();
    EXPECT_EQ(mainInt(MAIN_PANEL_SWEEP), 0);
    EXPECT_EQ(sim_->instrument().setting("IM:OUTP:LEV").value_or(""), "0.100000 1.000000");
}

// The simulated module reads the AC level it was last given as its voltage,
// so each point tells which DC-list step it belongs to.
TEST_F(RunTest, RepeatSweepsOncePerDcListStepAndLogsTheLastSweep)
{
    startRun();
    sim::Instrument* in = &sim_->instrument();
    in->setLogObserver([in](const sim::LogEntry& e) {
        if (e.text.rfind("IM:OUTP:LEV ", 0) == 0) {
            const double ac = std::stod(e.text.substr(12));
            in->setReadings({ac, 0.0, ac / 100.0, 0.0, 100.0, 0.0});
        }
    });
    setReadings(kReading);
    dcsw_set_step(0, 1.0, 10.0);
    dcsw_set_step(1, -2.0, 20.0);   // only exactly 0.0 ends the list
    setSweep(10, 30, 10, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 0.5);
    SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, 10.0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_DATA_LOG, 1);
    const std::string path = dir_.file("repeat.dat");
    hl::answerFile(path);
    clearLog();
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    EXPECT_EQ(ifc_get_dcsw_active(), 1);
    ASSERT_EQ(runSweep(), 6);
    // Two traces on Bode and Nyquist in the first two colours; V&C shows the last.
    for (int color : {VAL_RED, VAL_BLUE}) {
        EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH2, color), 3);
        EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH, color), 3);
    }
    EXPECT_EQ(graphPoints(vcP, VC_PANEL_GRAPH1), 6) << "3 readings, voltage and current";
    // Each step's level was sent before its sweep, the saved one after the run.
    EXPECT_EQ(levels(log()), (Log{"IM:OUTP:LEV 0.100000 1.000000", "IM:OUTP:LEV 0.050000 0.500000",
                                  "IM:OUTP:LEV -0.400000 -2.000000", "IM:OUTP:LEV 0.050000 0.500000"}));
    EXPECT_EQ(mainDouble(MAIN_PANEL_OFFSET), 0.5);
    EXPECT_EQ(mainDouble(MAIN_PANEL_AMPLITUDE), 10.0);
    EXPECT_EQ(mainInt(MAIN_PANEL_SWEEP), 0);
    // The file was written once, with the second sweep's points only.
    const std::string text = readFile(path).value_or("");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
    EXPECT_NE(text.find(" -4.000000e-01 "), std::string::npos) << "voltage of the second step's level";
    EXPECT_EQ(text.find(" +1.000000e-01 "), std::string::npos) << "nothing of the first step";
    // A new start by the user begins the graphs afresh.
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 0);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    ASSERT_EQ(runSweep(), 3);
    EXPECT_EQ(bode_trace_index(), 0);
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), 3);
}

TEST_F(RunTest, RepeatWithoutAUsableFirstStepIsRefused)
{
    startRun();
    setReadings(kReading);
    setSweep(10, 30, 10, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    dcsw_set_step(1, 5.0, 10.0);   // of no use while step 1 is 0.0
    SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, 777.0);
    clearLog();
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    EXPECT_EQ(mainInt(MAIN_PANEL_SWEEP), 0);
    EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE), 0);
    EXPECT_EQ(ifc_get_dcsw_active(), 0);
    ASSERT_FALSE(messages().empty());
    EXPECT_NE(messages().back().find("DC sweep list"), std::string::npos) << messages().back();
    EXPECT_EQ(log(), (Log{"IM:OUTP:SINE:FREQ 777.000000", "IM:OUTP:SINE:FREQ?"}));
    for (int i = 0; i < 3; ++i)
        readBack();
    EXPECT_EQ(ifc_log_count(), 0u);
}

// The run ends during a sweep: closing the main window stops the sweep
// first; quitting the application skips that step.
TEST_F(RunTest, TheRunEndsDuringASweep)
{
    const std::string address = startSim();
    setReadings(kReading);
    for (bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit" : "main window closed");
        bool waiting = false, stays = false;
        UiScript script({
            {always, [&] { openTcp(address, 0); }},
            {[] { return ifcP >= 0 && ui::panel(ifcP)->visible; },
             [] {
                 setSweep(1, 100000, 0, 1);
                 hl::commit(ifcP, MAIN_PANEL_SWEEP, 1);
             }},
            {[] { return ifc_log_count() >= 2; },
             [&] {
                 waiting = hl::waitCursor();
                 hl::closePanel(quit ? ifp_panel() : ifcP);
             }},
            {[] { return ifcP < 0; },
             [&] {
                 stays = ifp_panel() >= 0 && ifp_get_ifready() == 0;
                 hl::closePanel(ifp_panel());
             }},
        });
        EXPECT_EQ(runMain(), 0);
        EXPECT_TRUE(waiting);
        EXPECT_LT(ifc_log_count(), 100u);
        EXPECT_EQ(hl::waitCursor(), quit) << "the sweep's stop step runs unless the application quits";
        EXPECT_TRUE(quit || (script.finished() && stays)) << "the interface panel stays";
    }
}

}  // namespace
