// ifc_main and the measurement run against the simulated instrument: the
// device-mode dispatch, the identification, the module version and what it
// decides, what the start and SYNC send, and the settings controls.
#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "epower/epower.h"
#include "link/ifp.h"
#include "tests/support/run_fixture.h"
#include "ui/headless.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"

#include <algorithm>
#include <string>
#include <tuple>

namespace {

namespace hl = ui::headless;
using namespace tsupport;
using Log = std::vector<std::string>;

long countOf(const Log& log, const std::string& line) { return std::count(log.begin(), log.end(), line); }
float cycleShown() { return static_cast<float>(mainDouble(MAIN_PANEL_SAMPLE_CYCLE)); }

TEST_F(RunTest, IdentificationFindsTheFamilyMarkersCaseSensitiveAndTheModelField) {
    openLink();
    const std::tuple<const char*, int, const char*> cases[] = {
        {"ACME,PLZ-KZR 1000,SN42,V2.1", 1, "PLZ-KZR 1000"}, {"acme,load kzr,7,1", 1, "load kzr"},
        {"ACME,Kzr-50,1,2", 0, "Kzr-50"}, {"ACME,KR-5,1,2", 1, "KR-5"}, {"kr", 1, ""}, {"ACME,kR,Kr", 0, "kR"},
        {"ACME,X,UVEN,1", 1, "X"}, {"uven,M", 1, "M"}, {"ACME,Uven uVEN,1", 0, "Uven uVEN"},
        {"MAKER,KZ R,1", 0, "KZ R"}, {"ACME,ONLY", 0, "ONLY"}, {"A,,C", 0, ""}, {"ACME,KZR-9,1,1", 1, "KZR-9"}};
    for (const auto& [idn, family, model] : cases) {
        sim_->instrument().setIdn(idn);
        ifc_identify_device();
        EXPECT_EQ(ifc_get_kzr_device(), family) << idn;
        EXPECT_STREQ(ifc_get_model(), model) << idn;
    }
    EXPECT_EQ(log(), Log(std::size(cases), "*IDN?"));
    ifp_close();
    sim_->instrument().setIdn("ACME,PLAIN,1,1");
    ifc_identify_device();
    EXPECT_EQ(ifc_get_kzr_device(), 1) << "a failed query changes nothing";
    EXPECT_STREQ(ifc_get_model(), "KZR-9");
}

// The single-precision version meets the double limits: 1.07 is not below
// 1.07, 1.12 counts as above 1.12; a family instrument always has the features.
TEST_F(RunTest, ModuleVersionDecidesTheSwitchesAndTheCycleChoice) {
    startRun();
    const struct {
        bool family;
        const char* version;
        float number;
        bool shown, sends; // AZC and PHASE 360 visible; their commands sent
        int autoCycle;
    } cases[] = {{false, "VER1.06", 1.06f, false, false, 0}, {false, "VER1.07", 1.07f, true, true, 0},
        {false, "VER1.11", 1.11f, true, true, 0}, {false, "VER1.12", 1.12f, true, true, 1},
        {false, "VER 1.13 beta", 1.13f, true, true, 1}, {false, "VERbeta", 0.0f, false, false, 0},
        {true, "VER1.05", 1.05f, true, false, 1}, {true, "VER1.07", 1.07f, true, true, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.family ? "family " : "") + c.version);
        ifc_measurement_end(false);
        sim_->instrument().setIdn(c.family ? sim::kFamilyIdn : sim::kDefaultIdn);
        sim_->instrument().setVersion(c.version);
        ifc_measurement_start();
        ASSERT_GE(ifcP, 0);
        EXPECT_EQ(ifc_get_im_version(), c.number);
        EXPECT_EQ(ifc_get_module_auto_cycle(), c.autoCycle);
        EXPECT_EQ(ifc_get_old_firmware(), c.shown ? 0 : 1);
        EXPECT_EQ(attribute(ifcP, MAIN_PANEL_AZC, ATTR_VISIBLE), c.shown ? 1 : 0);
        EXPECT_EQ(attribute(ifcP, MAIN_PANEL_PHASE_360, ATTR_VISIBLE), c.shown ? 1 : 0);
        for (int control : {MAIN_PANEL_AZC, MAIN_PANEL_PHASE_360, MAIN_PANEL_AC_VALUE_PEAK})
            SetCtrlVal(ifcP, control, 1);
        clearLog();
        azc_CB(ifcP, MAIN_PANEL_AZC, EVENT_COMMIT, nullptr, 0, 0);
        phasemodeCB(ifcP, MAIN_PANEL_PHASE_360, EVENT_COMMIT, nullptr, 0, 0);
        ac_value_peak_cb(ifcP, MAIN_PANEL_AC_VALUE_PEAK, EVENT_COMMIT, nullptr, 0, 0);
        EXPECT_EQ(log(), (c.sends ? Log{"IM:INP:AUTO:ZERO 1", "IM:PHASE:STATE 1", "IM:AC:VALUE:PEAK 1"} : Log{}));
    }
}

// A mode beyond the table ends the application.  Without its interface
// panel it ends at once.
TEST_F(RunTest, DeviceModeChoosesWhatRunsOnTheLink) {
    const std::string address = startSim();
    EXPECT_TRUE(runMainWith({{always, [&] { openTcp(address, 3); }}}));
    EXPECT_EQ(messages(), Log{"Error!|Unknown Device! System Exit!"});
    EXPECT_EQ(ifp_panel(), -1);
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(log(), Log{}) << "only the measurement tool talks to the instrument";
    ui::resetForTests();
    EXPECT_EQ(runMain(), -1);
}

// Mode 2 runs the supply panel on the link: read, cycled, and when its window
// is closed the link is given back and its panels are gone.
TEST_F(RunTest, SupplyModeRunsTheSupplyPanelUntilItsWindowCloses) {
    sim::Options o = tcpOnlyOptions();
    o.kind = sim::Kind::Supply;
    const std::string address = startSim(o);
    EXPECT_TRUE(runMainWith({{always, [&] { openTcp(address, 2); }},
        {[&] { return countOf(log(), "STAT:QUES?") > 0; }, [] { hl::closePanel(epower_panel_main()); }},
        {[] { return !ifp_get_ifready(); }, [] { hl::closePanel(ifp_panel()); }}}));
    const Log got = log();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(Log(got.begin(), got.begin() + 2), (Log{"*IDN?", "VSET? MAX"}));
    EXPECT_EQ(epower_panel_main(), -1);
    EXPECT_TRUE(hl::popups().empty());
}

TEST_F(RunTest, MissingModuleVersionClosesTheLinkWithoutAMessage) {
    // The version reply never fits its buffer; before each new try the link
    // is put back in step with the identity it read first.
    sim::Options o = tcpOnlyOptions();
    o.version = std::string(100, 'V');
    const std::string address = startSim(o);
    EXPECT_TRUE(runMainWith({{always, [&] { openTcp(address, 0); }},
        {[&] { return countOf(log(), "SYST:VERS?") == IFP_QUERY_ATTEMPTS && !ifp_get_ifready(); },
            [] { hl::closePanel(ifp_panel()); }}}));
    EXPECT_TRUE(hl::popups().empty());
    EXPECT_EQ(log(), (Log{"*IDN?", "SYST:VERS?", "*IDN?", "SYST:VERS?", "*IDN?", "SYST:VERS?"})) << "no setting is sent";
}

TEST_F(RunTest, AMainPanelThatCannotBeLoadedEndsTheRunBeforeAnyCommand) {
    openLink();
    ui_register_resource({IFC_PANEL_FILE}); // the file without its panels
    ifc_measurement_start();
    EXPECT_EQ(messages(), Log{"Error!|The main panel of the measurement tool could not be loaded."});
    EXPECT_EQ(log(), Log{});
    EXPECT_EQ(ifp_get_ifready(), 0);
}

// The load window's operations as they are called.
Log g_load;
const IfcLoadWindow kRecordingLoadWindow = {
    [] { g_load.push_back("open"); return 1; },
    [](int on) { g_load.push_back("active " + std::to_string(on)); },
    [] { g_load.push_back("measure"); },
    [](int flag) { g_load.push_back("device " + std::to_string(flag)); },
    [](int mode) { g_load.push_back("mode " + std::to_string(mode)); },
    [] { g_load.push_back("close"); },
    [] { g_load.push_back("quit"); },
};

// A family instrument's run drives an installed load window: ELOAD shows it
// and lets the read-back refresh it, MEASURE or not.
TEST_F(RunTest, AnInstalledLoadWindowFollowsTheRunOfAFamilyInstrument) {
    struct Uninstall {
        ~Uninstall() { ifc_set_load_window(nullptr); }
    } uninstall;
    g_load.clear();
    ifc_set_load_window(&kRecordingLoadWindow);
    startRun(sim::kFamilyIdn);
    EXPECT_EQ(std::pair(attribute(ifcP, MAIN_PANEL_ELOAD, ATTR_VISIBLE), attribute(ifcP, MAIN_PANEL_ELOAD, ATTR_DIMMED)), std::pair(1, 0));
    commit(ifcP, MAIN_PANEL_ELOAD, 1);
    readBack();
    commit(ifcP, MAIN_PANEL_LOAD_MODE, 1);
    ifc_close_eload();
    readBack();
    ifc_measurement_end(false);
    EXPECT_EQ(g_load, (Log{"open", "device 1", "mode 1", "active 0", "active 1", "measure", "mode 0", "active 0", "close", "quit"}));
}

TEST_F(RunTest, StartAndSyncSendEverySettingInOrderWindowsCloseAndExitLetsTheLinkGo) {
    startRun();
    // clang-format off
    EXPECT_EQ(log(), (Log{"*IDN?", "SYST:VERS?", "IM:INP:SAMP:AUTO 0", "IM:INP:SAMP:CYCL 250",
                          "IM:OUTP:SINE:FREQ 1000.000000", "IM:OUTP:SINE:FREQ?", "IM:OUTP:STAT 1",
                          "IM:OUTP:LEV 0.000000 0.000000", "IM:OUTP:AMPL?", "IM:INP:SAMP:CYCL 250",
                          "IM:INP:CURR:UNIT 1.000000", "IM:INP:DL 0", "IM:INP:VOLT:STAT 0", "IM:INP:VOLT:GAIN 0",
                          "IM:INP:CURR:STAT 0", "IM:INP:CURR:GAIN 0", "IM:INP:CURR:DL 0", "IM:INP:GAIN:AUTO 0",
                          "IM:INP:AUTO:ZERO 0", "IM:PHASE:STATE 0", "IM:AC:VALUE:PEAK 0"}));
    // clang-format on
    std::string version, model;
    GetCtrlVal(ifcP, MAIN_PANEL_VERSION, &version);
    GetCtrlVal(ifcP, MAIN_PANEL_MODEL, &model);
    EXPECT_EQ(version + "|" + model, "3.10 - 1.20|IM3590-SIM");
    EXPECT_TRUE(shown(ifcP) && shown(meterP) && !shown(zP) && !shown(nyP) && !shown(vcP))
        << "the display toggles were applied: only the meter is on";
    EXPECT_DOUBLE_EQ(ifc_get_dds_freq(), confirmed(1000.0));

    const std::pair<int, double> values[] = {
        {MAIN_PANEL_FREQUENCY, 123.456}, {MAIN_PANEL_OFFSET, -2.0}, {MAIN_PANEL_AMPLITUDE, 5.0},
        {MAIN_PANEL_SAMPLE_CYCLE, 0.7}, {MAIN_PANEL_CURRENT_UNIT, 2.5}, {MAIN_PANEL_INPUT_DL, 1},
        {MAIN_PANEL_VOLT_INPUT, 3}, {MAIN_PANEL_VOLT_GAIN, 2}, {MAIN_PANEL_CURR_INPUT, 2},
        {MAIN_PANEL_CURR_GAIN, 1}, {MAIN_PANEL_CURR_LOOPBACK, 1}, {MAIN_PANEL_AGC, 1},
        {MAIN_PANEL_AZC, 1}, {MAIN_PANEL_PHASE_360, 1}, {MAIN_PANEL_AC_VALUE_PEAK, 1}};
    for (const auto& [control, value] : values)
        ASSERT_EQ(SetCtrlVal(ifcP, control, value), 0) << control;
    clearLog();
    ASSERT_EQ(hl::click(ifcP, MAIN_PANEL_SYNC), 0);
    hl::deliver();
    // clang-format off
    EXPECT_EQ(log(), (Log{"IM:INP:SAMP:AUTO 0", "IM:INP:SAMP:CYCL 700", "IM:OUTP:SINE:FREQ 123.456000",
                          "IM:OUTP:SINE:FREQ?", "IM:OUTP:STAT 1", "IM:OUTP:LEV -0.100000 -2.000000", "IM:OUTP:AMPL?",
                          "IM:INP:SAMP:CYCL 700", "IM:INP:CURR:UNIT 2.500000", "IM:INP:DL 1", "IM:INP:VOLT:STAT 2",
                          "IM:INP:VOLT:GAIN 2", "IM:INP:CURR:STAT 1", "IM:INP:CURR:GAIN 1", "IM:INP:CURR:DL 1",
                          "IM:INP:GAIN:AUTO 1", "IM:INP:AUTO:ZERO 1", "IM:PHASE:STATE 1", "IM:AC:VALUE:PEAK 1"}));
    // clang-format on
    EXPECT_EQ(attribute(ifcP, MAIN_PANEL_VOLT_GAIN, ATTR_DIMMED), 1) << "the module's own gains while AGC is on";
    EXPECT_NEAR(mainDouble(MAIN_PANEL_AMPL_READBACK), -0.1, 1e-6);
    // Milliseconds truncated, whatever single precision makes of the cycle.
    const std::pair<float, int> counts[] = {{0.3f, 300}, {0.001f, 1}, {0.2509f, 250}, {99.999f, 99999}};
    for (const auto& [cycle, count] : counts)
        EXPECT_EQ(ifc_cycle_count(cycle), count) << cycle;
    // The windows' close boxes hide them and clear their toggles; the menu's Exit lets the link go.
    clearLog();
    const std::pair<int, int*> windows[] = {
        {MAIN_PANEL_METER, &meterP}, {MAIN_PANEL_VC_GRAPH, &vcP}, {MAIN_PANEL_BODE_GRAPH, &zP}, {MAIN_PANEL_NYQUST_GRAPH, &nyP}};
    for (const auto& [toggle, panel] : windows) {
        commit(ifcP, toggle, 1);
        EXPECT_TRUE(shown(*panel)) << toggle;
        ASSERT_EQ(hl::closePanel(*panel), 0);
        hl::deliver();
        EXPECT_FALSE(shown(*panel) || mainInt(toggle)) << toggle;
    }
    EXPECT_EQ(log(), Log{}) << "windows send nothing";
    pick(ifcMenu, MAIN_MENU_FILE_EXIT);
    EXPECT_EQ(ifp_get_ifready(), 0);
}

TEST_F(RunTest, HostChoosesTheSampleCycleBeforeTheFrequencyAndAutoOffRestoresTheUsers) {
    startRun(sim::kDefaultIdn, "VER1.10");
    commit(ifcP, MAIN_PANEL_SAMPLE_AUTO, 1);
    EXPECT_EQ(attribute(ifcP, MAIN_PANEL_SAMPLE_CYCLE, ATTR_CTRL_MODE), VAL_INDICATOR);
    const std::tuple<double, float, const char*> cases[] = {// no command: the cycle is already right
        {5.0, 1.0f, "IM:INP:SAMP:CYCL 1000"}, {0.5, 10.0f, "IM:INP:SAMP:CYCL 10000"},
        {1000.0, 0.1f, "IM:INP:SAMP:CYCL 100"}, {1.0, 1.0f, "IM:INP:SAMP:CYCL 1000"}, {9.999, 1.0f, nullptr},
        {10.0, 0.1f, "IM:INP:SAMP:CYCL 100"}, {0.999, 10.0f, "IM:INP:SAMP:CYCL 10000"}};
    for (const auto& [freq, cycle, command] : cases) {
        clearLog();
        commit(ifcP, MAIN_PANEL_FREQUENCY, freq);
        char text[64];
        std::snprintf(text, sizeof text, "IM:OUTP:SINE:FREQ %f", freq);
        Log expected = command ? Log{command} : Log{};
        expected.insert(expected.end(), {text, "IM:OUTP:SINE:FREQ?"});
        EXPECT_EQ(log(), expected) << freq;
        EXPECT_EQ(cycleShown(), cycle) << freq;
    }
    syncCB(ifcP, MAIN_PANEL_SYNC, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(ifc_get_saved_cycle(), 0.25f) << "SYNC while the choice is on keeps the user's cycle";
    clearLog();
    commit(ifcP, MAIN_PANEL_SAMPLE_AUTO, 0);
    EXPECT_EQ(cycleShown(), 0.25f);
    EXPECT_EQ(log(), Log{"IM:INP:SAMP:CYCL 250"});
    EXPECT_EQ(attribute(ifcP, MAIN_PANEL_SAMPLE_CYCLE, ATTR_CTRL_MODE), VAL_HOT);
}

// A family instrument: its LOAD MODE is sent, the module knows the current
// unit while LOAD MODE is 0, and the module chooses its sample cycle.
// Failed read-backs change nothing but label points 0.0.
TEST_F(RunTest, FamilyInstrumentLoadModeCurrentUnitAndTheModulesCycle) {
    startRun(sim::kFamilyIdn);
    EXPECT_EQ(log().at(1), "IM:MODE 0");
    EXPECT_EQ(attribute(ifcP, MAIN_PANEL_CURRENT_UNIT, ATTR_CTRL_MODE), VAL_INDICATOR);
    sim_->instrument().execute("IM:INP:CURR:UNIT 0.5");
    clearLog();
    curr_unit_CB(ifcP, MAIN_PANEL_CURRENT_UNIT, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_DOUBLE_EQ(mainDouble(MAIN_PANEL_CURRENT_UNIT), 0.5);
    commit(ifcP, MAIN_PANEL_LOAD_MODE, 1);
    commit(ifcP, MAIN_PANEL_CURRENT_UNIT, 2.0);
    commit(ifcP, MAIN_PANEL_SAMPLE_AUTO, 1);
    commit(ifcP, MAIN_PANEL_FREQUENCY, 2.0);
    // clang-format off
    EXPECT_EQ(log(), (Log{"IM:INP:CURR:UNIT?", "IM:MODE 1", "IM:INP:CURR:UNIT 2.000000", "IM:INP:SAMP:AUTO 1",
                          "IM:OUTP:SINE:FREQ 1000.000000", "IM:OUTP:SINE:FREQ?", "IM:INP:SAMP:CYCL?",
                          "IM:OUTP:SINE:FREQ 2.000000", "IM:OUTP:SINE:FREQ?", "IM:INP:SAMP:CYCL?"}));
    // clang-format on
    EXPECT_EQ(cycleShown(), std::stof(sim_->instrument().execute("IM:INP:SAMP:CYCL?").value_or("")) / 1000);
    EXPECT_GT(cycleShown(), 0.25f) << "a longer cycle at 2 Hz";
    ifp_close();
    const float before = cycleShown();
    commit(ifcP, MAIN_PANEL_FREQUENCY, 5.0);
    commit(ifcP, MAIN_PANEL_AMPLITUDE, 25.0);
    EXPECT_EQ(cycleShown(), before);
    EXPECT_EQ(ifc_get_dds_freq(), 0.0) << "points are labelled 0.0";
    EXPECT_EQ(mainDouble(MAIN_PANEL_AMPL_READBACK), 0.0);
}

} // namespace
