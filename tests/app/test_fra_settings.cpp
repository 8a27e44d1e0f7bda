// The main panel's settings controls against the simulated instrument: the
// commands each sends, SYNC's order, the firmware gates, the sample cycle's
// automatic choice, the family instrument's LOAD MODE, and the panel's own
// behaviour (expanding, display toggles, window close boxes, menu).
#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "tests/app/fra_fixture.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using fratest::FraTest;
using Log = std::vector<std::string>;
namespace hl = ui::headless;

constexpr const char* kPlainIdn = "ACME,IM3590,SN1,1.0";
constexpr const char* kFamilyIdn = "ACME,PLZ-KZR 1000,SN42,2.1";

void commit(int control, double value)
{
    ASSERT_EQ(hl::commit(ifcP, control, value), 0) << "control " << control;
    hl::deliver();
}

void commit(int control, int value)
{
    ASSERT_EQ(hl::commit(ifcP, control, value), 0) << "control " << control;
    hl::deliver();
}

int bottom(int control)
{
    int top = 0, height = 0;
    GetCtrlBoundingRect(ifcP, control, &top, nullptr, &height, nullptr);
    return top + height;
}

int panelHeight(int panel)
{
    int h = 0;
    GetPanelAttribute(panel, ATTR_HEIGHT, &h);
    return h;
}

bool panelVisible(int panel)
{
    const ui::Panel* p = ui::panel(panel);
    return p && p->visible;
}

// The commands of SYNC with the resource defaults, firmware 1.20 (the module
// chooses its sample cycle).
const Log kDefaultSync = {
    "IM:INP:SAMP:AUTO 0",   "IM:INP:SAMP:CYCL 250", "IM:OUTP:SINE:FREQ 1000.000000",
    "IM:OUTP:SINE:FREQ?",   "IM:OUTP:STAT 1",       "IM:OUTP:LEV 0.000000 0.000000",
    "IM:OUTP:AMPL?",        "IM:INP:SAMP:CYCL 250", "IM:INP:CURR:UNIT 1.000000",
    "IM:INP:DL 0",          "IM:INP:VOLT:STAT 0",   "IM:INP:VOLT:GAIN 0",
    "IM:INP:CURR:STAT 0",   "IM:INP:CURR:GAIN 0",   "IM:INP:CURR:DL 0",
    "IM:INP:GAIN:AUTO 0",   "IM:INP:AUTO:ZERO 0",   "IM:PHASE:STATE 0",
    "IM:AC:VALUE:PEAK 0",
};

TEST_F(FraTest, StartIdentifiesReadsTheVersionAndSendsEverySetting)
{
    startRun();
    Log expected = {"*IDN?", "SYST:VERS?"};
    expected.insert(expected.end(), kDefaultSync.begin(), kDefaultSync.end());
    EXPECT_EQ(log(), expected);

    std::string version;
    GetCtrlVal(ifcP, MAIN_PANEL_VERSION, &version);
    EXPECT_EQ(version, "3.10 - 1.20");
    std::string model;
    GetCtrlVal(ifcP, MAIN_PANEL_MODEL, &model);
    EXPECT_EQ(model, "IM3590-SIM");
    EXPECT_TRUE(panelVisible(ifcP));
    EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE), 0);
    // The display toggles were applied: only the meter is on by default.
    EXPECT_TRUE(panelVisible(meterP));
    EXPECT_FALSE(panelVisible(zP));
    EXPECT_FALSE(panelVisible(nyP));
    EXPECT_FALSE(panelVisible(vcP));
    EXPECT_DOUBLE_EQ(ifc_get_dds_freq(), fratest::confirmed(1000.0));
}

TEST_F(FraTest, SyncSendsEachSettingInItsOrder)
{
    startRun();
    SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, 123.456);
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 2.0);
    SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, 5.0);
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, 0.5);
    SetCtrlVal(ifcP, MAIN_PANEL_CURRENT_UNIT, 2.5);
    SetCtrlVal(ifcP, MAIN_PANEL_INPUT_DL, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_VOLT_INPUT, 3);
    SetCtrlVal(ifcP, MAIN_PANEL_VOLT_GAIN, 2);
    SetCtrlVal(ifcP, MAIN_PANEL_CURR_INPUT, 2);
    SetCtrlVal(ifcP, MAIN_PANEL_CURR_GAIN, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_CURR_LOOPBACK, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_AGC, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_AZC, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_PHASE_360, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_AC_VALUE_PEAK, 1);
    clearLog();
    ASSERT_EQ(hl::click(ifcP, MAIN_PANEL_SYNC), 0);
    hl::deliver();
    const Log expected = {
        "IM:INP:SAMP:AUTO 0",  "IM:INP:SAMP:CYCL 500", "IM:OUTP:SINE:FREQ 123.456000",
        "IM:OUTP:SINE:FREQ?",  "IM:OUTP:STAT 1",       "IM:OUTP:LEV 0.100000 2.000000",
        "IM:OUTP:AMPL?",       "IM:INP:SAMP:CYCL 500", "IM:INP:CURR:UNIT 2.500000",
        "IM:INP:DL 1",         "IM:INP:VOLT:STAT 2",   "IM:INP:VOLT:GAIN 2",
        "IM:INP:CURR:STAT 1",  "IM:INP:CURR:GAIN 1",   "IM:INP:CURR:DL 1",
        "IM:INP:GAIN:AUTO 1",  "IM:INP:AUTO:ZERO 1",   "IM:PHASE:STATE 1",
        "IM:AC:VALUE:PEAK 1",
    };
    EXPECT_EQ(log(), expected);
    // What the controls show follows: the step is shown for linear stepping,
    // the gains are the module's own while AGC is on.
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_FREQ_STEP), 1);
    EXPECT_EQ(ctrlDimmed(ifcP, MAIN_PANEL_VOLT_GAIN), 1);
    EXPECT_EQ(ctrlDimmed(ifcP, MAIN_PANEL_CURR_GAIN), 1);
    EXPECT_NEAR(mainDouble(MAIN_PANEL_AMPL_READBACK), 0.1, 1e-6);
}

struct GateCase {
    const char* idn;
    const char* version;
    bool shown;     // AZC and PHASE 360 visible
    bool sends;     // their commands (and AC VALUE PEAK's) are sent
    int autoCycle;  // the module chooses its sample cycle
};

class FraGateTest : public FraTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(FraGateTest, FirmwareDecidesTheSwitchesAndTheCycleChoice)
{
    const GateCase& c = GetParam();
    startRun(c.idn, c.version);
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_AZC), c.shown ? 1 : 0);
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_PHASE_360), c.shown ? 1 : 0);
    EXPECT_EQ(ifc_get_module_auto_cycle(), c.autoCycle);

    struct Switch {
        int control;
        CtrlCallbackPtr fn;
        const char* command;
    };
    const Switch switches[] = {
        {MAIN_PANEL_AZC, azc_CB, "IM:INP:AUTO:ZERO 1"},
        {MAIN_PANEL_PHASE_360, phasemodeCB, "IM:PHASE:STATE 1"},
        {MAIN_PANEL_AC_VALUE_PEAK, ac_value_peak_cb, "IM:AC:VALUE:PEAK 1"},
    };
    for (const Switch& s : switches) {
        SCOPED_TRACE(s.command);
        clearLog();
        SetCtrlVal(ifcP, s.control, 1);
        s.fn(ifcP, s.control, EVENT_COMMIT, nullptr, 0, 0);
        EXPECT_EQ(log(), c.sends ? Log{s.command} : Log{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, FraGateTest,
    ::testing::Values(GateCase{kPlainIdn, "VER1.05", false, false, 0},
                      GateCase{kPlainIdn, "VER1.06", false, false, 0},
                      GateCase{kPlainIdn, "VER1.07", true, true, 0},
                      GateCase{kPlainIdn, "VER1.11", true, true, 0},
                      GateCase{kPlainIdn, "VER1.12", true, true, 1},
                      GateCase{kFamilyIdn, "VER1.05", true, false, 1},
                      GateCase{kFamilyIdn, "VER1.07", true, true, 1}));

TEST_F(FraTest, OldFirmwareOnAFamilyInstrumentIgnoresTheUsersSwitches)
{
    startRun(kFamilyIdn, "VER1.05");
    clearLog();
    commit(MAIN_PANEL_AZC, 1);
    commit(MAIN_PANEL_PHASE_360, 1);
    commit(MAIN_PANEL_AC_VALUE_PEAK, 1);
    EXPECT_EQ(log(), Log{});
}

TEST_F(FraTest, HostChoosesTheSampleCycleBeforeTheFrequency)
{
    startRun(kPlainIdn, "VER1.10");
    ASSERT_EQ(ifc_get_module_auto_cycle(), 0);
    commit(MAIN_PANEL_SAMPLE_AUTO, 1);
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_SAMPLE_CYCLE), VAL_INDICATOR);

    struct Case {
        double freq;
        float cycle;
        const char* cycleCommand;   // nullptr: the cycle is already right
        const char* freqCommand;
    };
    const Case cases[] = {
        {5.0, 1.0f, "IM:INP:SAMP:CYCL 1000", "IM:OUTP:SINE:FREQ 5.000000"},
        {0.5, 10.0f, "IM:INP:SAMP:CYCL 10000", "IM:OUTP:SINE:FREQ 0.500000"},
        {1000.0, 0.1f, "IM:INP:SAMP:CYCL 100", "IM:OUTP:SINE:FREQ 1000.000000"},
        {1.0, 1.0f, "IM:INP:SAMP:CYCL 1000", "IM:OUTP:SINE:FREQ 1.000000"},
        {9.999, 1.0f, nullptr, "IM:OUTP:SINE:FREQ 9.999000"},
        {10.0, 0.1f, "IM:INP:SAMP:CYCL 100", "IM:OUTP:SINE:FREQ 10.000000"},
        {0.999, 10.0f, "IM:INP:SAMP:CYCL 10000", "IM:OUTP:SINE:FREQ 0.999000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.freq);
        clearLog();
        commit(MAIN_PANEL_FREQUENCY, c.freq);
        Log expected;
        if (c.cycleCommand)
            expected.push_back(c.cycleCommand);
        expected.push_back(c.freqCommand);
        expected.push_back("IM:OUTP:SINE:FREQ?");
        EXPECT_EQ(log(), expected);
        float cycle = 0;
        GetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, &cycle);
        EXPECT_EQ(cycle, c.cycle);
    }
}

TEST_F(FraTest, TurningSampleAutoOffRestoresTheUsersCycle)
{
    startRun(kPlainIdn, "VER1.10");
    commit(MAIN_PANEL_SAMPLE_CYCLE, 0.25);
    commit(MAIN_PANEL_SAMPLE_AUTO, 1);
    float cycle = 0;
    GetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, &cycle);
    EXPECT_EQ(cycle, 0.1f);
    // A second SYNC while the choice is on keeps the user's cycle for later.
    syncCB(ifcP, MAIN_PANEL_SYNC, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(ifc_get_saved_cycle(), 0.25f);

    clearLog();
    commit(MAIN_PANEL_SAMPLE_AUTO, 0);
    GetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, &cycle);
    EXPECT_EQ(cycle, 0.25f);
    EXPECT_EQ(log(), Log{"IM:INP:SAMP:CYCL 250"});
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_SAMPLE_CYCLE), VAL_HOT);
}

TEST_F(FraTest, ACycleSetFromElsewhereWhileAutoIsOnIsKept)
{
    // A profile sets SAMPLE AUTO and SAMPLE CYCLE, then runs SYNC.
    startRun(kPlainIdn, "VER1.10");
    commit(MAIN_PANEL_SAMPLE_AUTO, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_AUTO, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, 0.5);
    clearLog();
    syncCB(ifcP, MAIN_PANEL_SYNC, EVENT_COMMIT, nullptr, 0, 0);
    float cycle = 0;
    GetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, &cycle);
    EXPECT_EQ(cycle, 0.5f);
    ASSERT_FALSE(log().empty());
    EXPECT_EQ(log()[0], "IM:INP:SAMP:CYCL 500");
}

// The module's own choice, as the host reads it.
float moduleCycle(sim::Simulator& s)
{
    const auto reply = s.instrument().execute("IM:INP:SAMP:CYCL?");
    return static_cast<float>(std::stod(reply.value_or("-1")) / 1000.0);
}

TEST_F(FraTest, ModuleChoosesTheSampleCycleOnNewFirmware)
{
    startRun();
    ASSERT_EQ(ifc_get_module_auto_cycle(), 1);
    clearLog();
    commit(MAIN_PANEL_SAMPLE_AUTO, 1);
    EXPECT_EQ(log(), (Log{"IM:INP:SAMP:AUTO 1", "IM:OUTP:SINE:FREQ 1000.000000",
                          "IM:OUTP:SINE:FREQ?", "IM:INP:SAMP:CYCL?"}));
    float cycle = 0;
    GetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, &cycle);
    EXPECT_EQ(cycle, moduleCycle(*sim_));
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_SAMPLE_CYCLE), VAL_INDICATOR);

    // At 2 Hz the module takes a longer cycle; the panel follows.
    clearLog();
    commit(MAIN_PANEL_FREQUENCY, 2.0);
    EXPECT_EQ(log(), (Log{"IM:OUTP:SINE:FREQ 2.000000", "IM:OUTP:SINE:FREQ?", "IM:INP:SAMP:CYCL?"}));
    const float slow = moduleCycle(*sim_);
    EXPECT_GT(slow, cycle);
    GetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, &cycle);
    EXPECT_EQ(cycle, slow);

    clearLog();
    commit(MAIN_PANEL_SAMPLE_AUTO, 0);
    EXPECT_EQ(log(), (Log{"IM:INP:SAMP:AUTO 0", "IM:INP:SAMP:CYCL 250"}));
    GetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, &cycle);
    EXPECT_EQ(cycle, 0.25f);
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_SAMPLE_CYCLE), VAL_HOT);
}

TEST_F(FraTest, AFailedCycleQueryLeavesTheCycle)
{
    startRun();
    commit(MAIN_PANEL_SAMPLE_AUTO, 1);
    float before = 0;
    GetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, &before);
    ifp_close();
    commit(MAIN_PANEL_FREQUENCY, 2.0);
    float cycle = 0;
    GetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, &cycle);
    EXPECT_EQ(cycle, before);
    EXPECT_EQ(ifc_get_dds_freq(), 0.0) << "a failed read-back labels points 0.0";
}

TEST_F(FraTest, OutputLevelIsThePercentageOfTheOffset)
{
    startRun();
    struct Case {
        double offset, amplitude;
        const char* level;
        double readback;
    };
    const Case cases[] = {
        {5.0, 10.0, "IM:OUTP:LEV 0.500000 5.000000", 0.5},
        {0.0, 10.0, "IM:OUTP:LEV 0.000000 0.000000", 0.0},
        {-2.0, 50.0, "IM:OUTP:LEV -1.000000 -2.000000", -1.0},
        {12.5, 3.0, "IM:OUTP:LEV 0.375000 12.500000", 0.375},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, c.amplitude);
        clearLog();
        commit(MAIN_PANEL_OFFSET, c.offset);
        EXPECT_EQ(log(), (Log{"IM:OUTP:STAT 1", c.level, "IM:OUTP:AMPL?"}));
        EXPECT_NEAR(mainDouble(MAIN_PANEL_AMPL_READBACK), c.readback, 1e-6);
    }
    // AMPLITUDE sends the same; a failed read-back shows 0.
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 4.0);
    ifp_close();
    commit(MAIN_PANEL_AMPLITUDE, 25.0);
    EXPECT_EQ(mainDouble(MAIN_PANEL_AMPL_READBACK), 0.0);
}

TEST(FraCycle, CountIsTheCycleInMillisecondsTruncated)
{
    const std::pair<float, int> cases[] = {
        {0.25f, 250}, {0.1f, 100},     {1.0f, 1000},   {10.0f, 10000}, {0.7f, 700},
        {0.3f, 300},  {0.001f, 1},     {0.2505f, 250}, {0.2509f, 250}, {99.999f, 99999},
        {0.0f, 0},    {0.0004f, 0},    {100.0f, 100000},
    };
    for (const auto& [cycle, count] : cases)
        EXPECT_EQ(ifc_cycle_count(cycle), count) << cycle;
}

TEST_F(FraTest, SampleCycleCommitSendsMilliseconds)
{
    startRun();
    for (const auto& [cycle, command] :
         {std::pair{0.25, "IM:INP:SAMP:CYCL 250"}, std::pair{0.7, "IM:INP:SAMP:CYCL 700"},
          std::pair{12.0, "IM:INP:SAMP:CYCL 12000"}}) {
        clearLog();
        commit(MAIN_PANEL_SAMPLE_CYCLE, cycle);
        EXPECT_EQ(log(), Log{command});
    }
}

TEST_F(FraTest, FamilyInstrumentGetsItsLoadModeAndCurrentUnit)
{
    startRun(kFamilyIdn, "VER1.20");
    const Log start = log();
    ASSERT_GE(start.size(), 3u);
    EXPECT_EQ(start[1], "IM:MODE 0");
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_LOAD_MODE), 1);
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_ELOAD), 1);
    EXPECT_EQ(ctrlDimmed(ifcP, MAIN_PANEL_ELOAD), 1) << "the load panel is not in this build";
    // LOAD MODE 0: the module knows the current unit, SYNC asks for it.
    EXPECT_EQ(ifc_get_kzr_mode(), 1);
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_CURRENT_UNIT), VAL_INDICATOR);
    EXPECT_NE(std::find(start.begin(), start.end(), "IM:INP:CURR:UNIT?"), start.end());

    sim_->instrument().execute("IM:INP:CURR:UNIT 0.5");
    clearLog();
    curr_unit_CB(ifcP, MAIN_PANEL_CURRENT_UNIT, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(log(), Log{"IM:INP:CURR:UNIT?"});
    EXPECT_DOUBLE_EQ(mainDouble(MAIN_PANEL_CURRENT_UNIT), 0.5);

    clearLog();
    commit(MAIN_PANEL_LOAD_MODE, 1);
    EXPECT_EQ(log(), Log{"IM:MODE 1"});
    EXPECT_EQ(ifc_get_kzr_mode(), 0);
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_CURRENT_UNIT), VAL_HOT);
    clearLog();
    commit(MAIN_PANEL_CURRENT_UNIT, 2.0);
    EXPECT_EQ(log(), Log{"IM:INP:CURR:UNIT 2.000000"});
}

TEST_F(FraTest, PlainInstrumentHasNoLoadControls)
{
    startRun(kPlainIdn, "VER1.20");
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_LOAD_MODE), 0);
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_ELOAD), 0);
    EXPECT_EQ(ifc_get_kzr_mode(), 0);
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_CURRENT_UNIT), VAL_HOT);
    for (const std::string& line : log())
        EXPECT_NE(line.rfind("IM:MODE", 0), 0u) << line;
}

TEST_F(FraTest, VersionRightDoubleClickShowsAndHidesTheInputSettings)
{
    startRun();
    const int collapsed = bottom(MAIN_PANEL_VERSION) + 1;
    const int expanded = bottom(MAIN_PANEL_FOOT) + 5;
    EXPECT_EQ(panelHeight(ifcP), collapsed);
    EXPECT_EQ(ifc_get_panel_expanded(), 0);
    // The input settings lie below the collapsed panel, the rest above it.
    for (int control : {MAIN_PANEL_VOLT_INPUT, MAIN_PANEL_CURR_GAIN, MAIN_PANEL_AGC,
                        MAIN_PANEL_AZC, MAIN_PANEL_PHASE_360, MAIN_PANEL_INPUT_DL})
        EXPECT_GT(bottom(control), collapsed) << control;
    for (int control : {MAIN_PANEL_SWEEP, MAIN_PANEL_SYNC, MAIN_PANEL_FREQUENCY,
                        MAIN_PANEL_FREQ_STOP, MAIN_PANEL_NYQUST_GRAPH, MAIN_PANEL_SAMPLE_CYCLE})
        EXPECT_LT(bottom(control), collapsed) << control;

    ASSERT_EQ(hl::rightDoubleClick(ifcP, MAIN_PANEL_VERSION), 0);
    hl::deliver();
    EXPECT_EQ(panelHeight(ifcP), expanded);
    EXPECT_EQ(ifc_get_panel_expanded(), 1);
    ASSERT_EQ(hl::rightDoubleClick(ifcP, MAIN_PANEL_VERSION), 0);
    hl::deliver();
    EXPECT_EQ(panelHeight(ifcP), collapsed);
}

TEST_F(FraTest, DisplayTogglesAndCloseBoxes)
{
    startRun();
    struct Window {
        int toggle;
        int* panel;
    };
    const Window windows[] = {{MAIN_PANEL_METER, &meterP},
                              {MAIN_PANEL_VC_GRAPH, &vcP},
                              {MAIN_PANEL_BODE_GRAPH, &zP},
                              {MAIN_PANEL_NYQUST_GRAPH, &nyP}};
    for (const Window& w : windows) {
        SCOPED_TRACE(w.toggle);
        commit(w.toggle, 1);
        EXPECT_TRUE(panelVisible(*w.panel));
        // The window's close box hides it and clears its toggle.
        ASSERT_EQ(hl::closePanel(*w.panel), 0);
        hl::deliver();
        EXPECT_FALSE(panelVisible(*w.panel));
        EXPECT_GE(*w.panel, 0) << "hidden, not discarded";
        EXPECT_EQ(mainInt(w.toggle), 0);
        commit(w.toggle, 1);
        EXPECT_TRUE(panelVisible(*w.panel));
        commit(w.toggle, 0);
        EXPECT_FALSE(panelVisible(*w.panel));
    }
    EXPECT_EQ(log().size(), kDefaultSync.size() + 2) << "windows send nothing";
}

TEST_F(FraTest, XAxisDbHidesTheLinearStep)
{
    startRun();
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_FREQ_STEP), 0);
    commit(MAIN_PANEL_XAXIS_DB, 0);
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_FREQ_STEP), 1);
    commit(MAIN_PANEL_XAXIS_DB, 1);
    EXPECT_EQ(ctrlVisible(ifcP, MAIN_PANEL_FREQ_STEP), 0);
}

TEST_F(FraTest, MenuExitAndTheCloseBoxCloseTheLink)
{
    startRun();
    int dimmed = -1;
    GetMenuBarAttribute(ifcMenu, MAIN_MENU_FILE_LOAD_PROFILE, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0);
    GetMenuBarAttribute(ifcMenu, MAIN_MENU_FILE_SAVE_PROFILE, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0);
    GetMenuBarAttribute(ifcMenu, MAIN_MENU_FILE_EXIT, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 0);

    ASSERT_EQ(hl::pickMenu(ifcMenu, MAIN_MENU_FILE_EXIT), 0);
    hl::deliver();
    EXPECT_EQ(ifp_get_ifready(), 0);

    ASSERT_EQ(hl::commit(ifp_panel(), IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
    ASSERT_EQ(ifp_get_ifready(), 1);
    ASSERT_EQ(hl::closePanel(ifcP), 0);
    hl::deliver();
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_GE(ifp_panel(), 0) << "the interface panel stays";
    EXPECT_TRUE(hl::popups().empty());
}

}  // namespace
