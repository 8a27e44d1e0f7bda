// The load panel against the simulated load: what activation reads and in
// which order, the one-second cycle on a clock the test moves, the alarm lamp,
// the settings callbacks with their guards, and the failure paths.
#include "tests/eload/eload_fixture.h"

namespace {

using namespace eload_test;

TEST_F(Eload, ActivationReadsThePanelOnceInOrderAndAgainAfterAClose) {
    sim_->instrument().execute("UTIL:RANGE 1");
    clearLog();
    eload_active(1);
    EXPECT_EQ(log(), (Log{"*IDN?", "INPUT?", "SHORT?", "UTIL:RANGE?", "MODE:RANGE?"} + kLevelLimits + Log{"MODE?"}));
    EXPECT_EQ(text(ELOAD_MAIN_IDN), sim::kLoadIdn);
    EXPECT_EQ(value(ELOAD_MAIN_RANGE_CTRL), 1);
    EXPECT_EQ(tsupport::attribute(mainP, ELOAD_MAIN_RANGE, ATTR_CTRL_MODE), VAL_INDICATOR) << "the load picks";
    EXPECT_EQ(value(ELOAD_MAIN_MODE), 1) << "CURR";
    EXPECT_EQ(tsupport::ctrlDouble(mainP, ELOAD_MAIN_LEVEL), 1.0);
    double top = 0;
    GetCtrlAttribute(mainP, ELOAD_MAIN_LEVEL, ATTR_MAX_VALUE, &top);
    EXPECT_EQ(top, 30.0) << "the high range's current";

    clearLog();
    eload_active(1);
    EXPECT_EQ(log(), Log{}) << "read once per open";
    eload_close();
    eload_active(1);
    EXPECT_EQ(log().size(), 12u) << "read again after a close";

    // A failure among the first four queries ends the refresh there.
    eload_close();
    faults([](sim::Faults& f) { f.refuse = "SHORT?"; });
    clearLog();
    eload_active(1);
    const Log l = log();
    EXPECT_EQ(std::count(l.begin(), l.end(), "SHORT?"), 3) << "three tries";
    EXPECT_EQ(std::count(l.begin(), l.end(), "UTIL:RANGE?"), 0) << "and no further";
}

TEST_F(Eload, CycleShowsTheChosenQuantitiesOncePerSecond) {
    show();
    g_real = false;
    sim_->instrument().execute("MLEV 2");
    sim_->instrument().execute("INPUT 1");
    const Log summary = {"MEAS:SUMM?", "STAT:QUES?", "STAT:OPER?"};
    const Log withTemp = Log{"MEAS:TEMP?"} + summary;
    struct Case {
        int a, b;
        const char *wantA, *wantB;
        const Log& exchanges;
    } cases[] = {
        {0, 2, "12.295V", "6.1478\xCE\xA9", summary},
        {1, 3, "2.0000A", "24.591W", summary},
        {4, 4, "25.00\xC2\xB0", "25.00\xC2\xB0", withTemp},
        {3, 4, "24.591W", "25.00\xC2\xB0", withTemp},
    };
    eload_measure(); // the first call is due at once
    for (const Case& c : cases) {
        SetCtrlVal(mainP, ELOAD_MAIN_SEL_A, c.a);
        SetCtrlVal(mainP, ELOAD_MAIN_SEL_B, c.b);
        clearLog();
        for (int i = 0; i < 50; ++i)
            eload_measure();
        g_seconds += 0.999;
        eload_measure();
        EXPECT_EQ(log(), Log{}) << "the gate holds until a full second has passed";
        g_seconds += 0.001;
        for (int i = 0; i < 50; ++i)
            eload_measure();
        EXPECT_EQ(log(), c.exchanges) << c.a << c.b;
        EXPECT_EQ(text(ELOAD_MAIN_READ_A), c.wantA);
        EXPECT_EQ(text(ELOAD_MAIN_READ_B), c.wantB);
    }

    // With the load picking its range the selector follows it every cycle.
    sim_->instrument().execute("UTIL:RANGE 1");
    SetCtrlVal(mainP, ELOAD_MAIN_RANGE_CTRL, 1);
    SetCtrlVal(mainP, ELOAD_MAIN_RANGE, 1);
    SetCtrlVal(mainP, ELOAD_MAIN_SEL_B, 1);
    clearLog();
    cycle();
    EXPECT_EQ(log(), (Log{"MEAS:SUMM?", "MODE:RANGE?", "STAT:QUES?", "STAT:OPER?"}));
    EXPECT_EQ(value(ELOAD_MAIN_RANGE), 0) << "2 A fits the low range";

    // Measuring paused by a right double-click on a readout: no exchanges.
    ASSERT_EQ(hl::rightDoubleClick(mainP, ELOAD_MAIN_READ_A), 0);
    hl::deliver();
    clearLog();
    cycle();
    EXPECT_EQ(log(), Log{});
    ASSERT_EQ(hl::rightDoubleClick(mainP, ELOAD_MAIN_READ_B), 0);
    hl::deliver();
    cycle();
    EXPECT_EQ(log().size(), 4u);
}

TEST(EloadSummary, OnlyFourWordsThatFitTheirSlotsAreTaken) {
    const std::string fits(ELOAD_WORD_SIZE - 1, '9'), tooLong(ELOAD_WORD_SIZE, '9');
    struct Case {
        std::string reply;
        bool ok;
        const char* third;
    } cases[] = {
        {"12.3456 1.00000 12.345 10.0000", true, "12.345"},
        {"  1 2   3 4  ", true, "3"},
        {"1 2 " + fits + " 4", true, fits.c_str()},
        {"1 2 " + tooLong + " 4", false, ""},
        {"1 2 3", false, ""},
        {"1 2 3 4 5", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        char words[4][ELOAD_WORD_SIZE] = {};
        EXPECT_EQ(eload_summary_words(c.reply.c_str(), words), c.ok ? 1 : 0) << c.reply;
        EXPECT_STREQ(c.ok ? words[2] : "", c.third) << c.reply;
    }
}

// 2 A against an over-current limit of 1.5 A: the load trips and latches
// its alarm until it is cleared.
TEST_F(Eload, ATripBlinksTheAlarmLampWithABeepShowsOnTheAlarmPanelAndClears) {
    show();
    for (const char* c : {"INPUT 1", "MLEV 2", "CURR:PROT:OVER 1.5", "CURR:PROT:OVER:DELAY 0", "CURR:PROT:STATE 1"})
        sim_->instrument().execute(c);
    faults([](sim::Faults& f) { f.operOn = 0x0800; });
    ASSERT_EQ(hl::click(mainP, ELOAD_MAIN_ALARM), 0);
    hl::deliver();
    const int alarmP = eload_panel(ELOAD_ALARM);
    ASSERT_GE(alarmP, 0);
    const int beeps = hl::beeps();
    std::vector<int> lamp;
    for (int i = 0; i < 4; ++i) {
        cycle();
        lamp.push_back(value(ELOAD_MAIN_ALARM));
    }
    EXPECT_EQ(lamp, (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(hl::beeps() - beeps, 2);
    auto lit = [&] {
        std::vector<int> on;
        for (int bit = 0; bit < 16; ++bit) {
            if (bit != ELOAD_ALARM_QUES_SUMMARY_BIT && value(ELOAD_ALARM_QUES + bit, alarmP) == 1)
                on.push_back(bit);
            if (bit >= ELOAD_ALARM_OPER_FIRST_BIT && value(ELOAD_ALARM_OPER + bit, alarmP) == 1)
                on.push_back(100 + bit);
        }
        return on;
    };
    EXPECT_EQ(lit(), (std::vector<int>{1, 111})) << "over-current, and the forced short-on bit";

    clearLog();
    ASSERT_EQ(hl::click(alarmP, ELOAD_ALARM_CLEAR), 0);
    hl::deliver();
    EXPECT_EQ(log(), Log{"INP:PROT:CLE"});
    EXPECT_EQ(value(ELOAD_ALARM_CLEAR, alarmP), 0);
    cycle();
    EXPECT_EQ(lit(), (std::vector<int>{111}));
    EXPECT_EQ(value(ELOAD_MAIN_ALARM), 0);
    ASSERT_EQ(hl::closePanel(alarmP), 0);
    hl::deliver();
    EXPECT_EQ(eload_panel(ELOAD_ALARM), -1);
    EXPECT_LT(DisplayPanel(alarmP), 0) << "discarded";

    ASSERT_EQ(hl::click(mainP, ELOAD_MAIN_ALARM), 0);
    hl::deliver();
    const int again = eload_panel(ELOAD_ALARM);
    ASSERT_GE(again, 0);
    eload_quit();
    EXPECT_LT(DisplayPanel(again), 0) << "quit takes the alarm panel too";
}

TEST_F(Eload, ModeChangeSendsWaitsAndRereadsAndARefusedModeIsReadBack) {
    eload_active(1);
    clearLog();
    tsupport::commit(mainP, ELOAD_MAIN_MODE, 2);
    EXPECT_EQ(log(), (Log{"MODE RES", "MODE:RANGE?", "INPUT?"} + kLevelLimits));
    double top = 0;
    GetCtrlAttribute(mainP, ELOAD_MAIN_LEVEL, ATTR_MAX_VALUE, &top);
    EXPECT_EQ(top, 10000.0) << "the resistance mode's limits";

    faults([](sim::Faults& f) { f.refuse = "MODE"; });
    tsupport::commit(mainP, ELOAD_MAIN_MODE, 3);
    EXPECT_EQ(value(ELOAD_MAIN_MODE), 2) << "the mode the load is in";
}

// Each sub-panel is read whole every time its toggle shows it; a failure ends
// the reading, except in the transient level's limits.
TEST_F(Eload, SubPanelsAreReadInTheirOrderEachTimeTheyShow) {
    show();
    auto limits = [](const std::string& h) { return Log{h + "? MAX", h + "? MIN", h + "?"}; };
    const Log tran = limits("TLEV") + Log{"TRAN:MODE?", "TRAN?", "STEP:COUNT?"} + limits("DUTY") +
        limits("TRAN:PINT:TWID") + limits("SLEW:POS") + limits("SLEW:NEG") + limits("FREQ") + limits("TRAN:TWID");
    Log prot;
    for (const char* q : {"VOLT", "CURR", "POW"})
        for (const char* side : {"OVER", "UND"}) {
            const std::string h = std::string(q) + ":PROT:";
            prot = prot + Log{h + (side[0] == 'O' ? "STATE?" : "UND:STATE?")} + limits(h + side) +
                limits(h + side + ":DELAY");
        }
    prot = prot + Log{"VOLT:VON:STATE?"} + limits("VOLT:VON") + Log{"SYST:OSC:PROT?"} + limits("SYST:OSC:PROT:DELAY");
    const Log opti = Log{"MEAS:SENSE?", "SYST:EXT:CONTROL?", "SYST:SHORT:STATE?", "SYST:CROS:MOD:STAT?",
                         "SYST:CROS:RANG:STAT?"} +
        limits("TRIG:DELAY") + Log{"TRIG:SOURCE?"};
    struct Case {
        int toggle;
        const Log& want;
    } cases[] = {{ELOAD_MAIN_TRAN, tran}, {ELOAD_MAIN_PROT, prot}, {ELOAD_MAIN_OPTI, opti}};
    for (const Case& c : cases) {
        for (int again = 0; again < 2; ++again) {
            clearLog();
            tsupport::commit(mainP, c.toggle, 1);
            EXPECT_EQ(log(), c.want) << c.toggle;
            tsupport::commit(mainP, c.toggle, 0);
            EXPECT_EQ(log().size(), c.want.size()) << "hiding sends nothing";
        }
    }
    sim_->instrument().execute("TRIG:SOURCE BUS");
    tsupport::commit(mainP, ELOAD_MAIN_OPTI, 1);
    EXPECT_EQ(value(ELOAD_OPTI_TRIG_SOURCE, eload_panel(ELOAD_OPTI)), 1);

    faults([](sim::Faults& f) { f.failMax = "TLEV"; });
    clearLog();
    tsupport::commit(mainP, ELOAD_MAIN_TRAN, 1);
    const Log rest(tran.begin() + 3, tran.end());
    Log sent = log(); // without the link's "*IDN?" that puts it back in step after a failure
    std::erase(sent, "*IDN?");
    EXPECT_EQ(sent, (Log{"TLEV? MAX", "TLEV? MAX", "TLEV? MAX"} + rest));
    faults([](sim::Faults& f) { f.failMin = "DUTY"; });
    tsupport::commit(mainP, ELOAD_MAIN_TRAN, 0);
    clearLog();
    tsupport::commit(mainP, ELOAD_MAIN_TRAN, 1);
    EXPECT_EQ(log().back(), "DUTY? MIN") << "a failure past the first row ends the reading";
}

TEST_F(Eload, ShortIsSentOnlyWhenTheLoadAllowsIt) {
    show();
    struct Case {
        const char* setup;
        const char* refuse;
        bool sent;
    } cases[] = {
        {"SYST:SHORT:STATE 0", "", false},
        {"SYST:EXT:CONTROL 1", "", false},
        {"SYST:SHORT:STATE 1", "SYST:SHORT:STATE?", false},
        {"SYST:EXT:CONTROL 0", "", true},
    };
    for (const Case& c : cases) {
        for (const char* allowed : {"SYST:SHORT:STATE 1", "SYST:EXT:CONTROL 0", c.setup})
            sim_->instrument().execute(allowed);
        sim::Faults f;
        f.refuse = c.refuse;
        sim_->setFaults(f);
        SetCtrlVal(mainP, ELOAD_MAIN_SHORT, 0);
        hl::clearPopups();
        clearLog();
        tsupport::commit(mainP, ELOAD_MAIN_SHORT, 1);
        const Log l = log();
        EXPECT_EQ(l.back() == "SHORT 1", c.sent) << c.setup << " " << c.refuse;
        EXPECT_EQ(value(ELOAD_MAIN_SHORT), c.sent ? 1 : 0) << c.setup;
        EXPECT_EQ(tsupport::messages(), c.sent ? Log{} : Log{"Error!|SHORT Control Disabled!"}) << c.setup;
    }
}

TEST_F(Eload, ARefusedSettingShowsWhatTheLoadHolds) {
    eload_active(1);
    faults([](sim::Faults& f) { f.refuse = "INPUT"; });
    tsupport::commit(mainP, ELOAD_MAIN_INPUT, 1);
    EXPECT_EQ(value(ELOAD_MAIN_INPUT), 0);
    EXPECT_EQ(log().back(), "INPUT?");

    faults([](sim::Faults& f) { f.refuse = "MLEV"; });
    tsupport::commit(mainP, ELOAD_MAIN_LEVEL, 2.5);
    EXPECT_EQ(tsupport::ctrlDouble(mainP, ELOAD_MAIN_LEVEL), 1.0);

    faults([](sim::Faults&) {});
    clearLog();
    tsupport::commit(mainP, ELOAD_MAIN_LEVEL, 2.5);
    EXPECT_EQ(log(), (Log{"MLEV 2.500000", "MODE:RANGE?"}));
}

// Three cycles in a row without an answer close the link, with a word in the
// log and a pop-up; an answered cycle in between starts the count again.
TEST_F(Eload, ASilentLoadClosesTheLinkAfterThreeCycles) {
    io_timeout(ifp_link_handle(), 30);
    ifp_set_monitor_view(1);
    SetCtrlVal(ifp_panel(), IFP_PANEL_LOGLEVEL, 3);
    auto silent = [this](bool on) {
        sim::Faults f;
        f.silent = on;
        sim_->setFaults(f);
    };
    for (bool answer : {false, false, true, false, false}) {
        silent(!answer);
        cycle(1);
        ASSERT_EQ(ifp_get_ifready(), 1);
    }
    EXPECT_EQ(tsupport::messages(), Log{});
    silent(true);
    cycle(1);
    EXPECT_EQ(ifp_get_ifready(), 0);
    ASSERT_EQ(tsupport::messages().size(), 1u);
    EXPECT_NE(tsupport::messages()[0].find("stopped answering"), std::string::npos);
    std::string logText;
    GetCtrlVal(ifp_panel(), IFP_PANEL_MSG, &logText);
    EXPECT_NE(logText.find("ERR:The load has not answered"), std::string::npos);
}

TEST_F(Eload, ClosingTheWindowEndsTheRunAloneAndOnlyHidesItBesideTheTool) {
    eload_set_kzr_device(0);
    eload_active(1);
    EXPECT_EQ(eload_main(), 1);
    ASSERT_EQ(hl::closePanel(mainP), 0);
    hl::deliver();
    EXPECT_EQ(eload_main(), 0);

    static int hooked = 0;
    hooked = 0;
    eload_set_close_hook([] { ++hooked; });
    eload_set_kzr_device(1);
    eload_active(1);
    ASSERT_EQ(hl::closePanel(mainP), 0);
    hl::deliver();
    EXPECT_EQ(hooked, 1);
    EXPECT_EQ(eload_main(), 1) << "the tool decides";

    // Deactivation hides the sub-panels and turns their toggles off.
    tsupport::commit(mainP, ELOAD_MAIN_PROT, 1);
    const ui::Panel* prot = ui::panel(eload_panel(ELOAD_PROT));
    ASSERT_TRUE(prot && prot->visible);
    eload_active(0);
    EXPECT_EQ(prot->visible + value(ELOAD_MAIN_PROT), 0);
}

TEST_F(Eload, FoldingKeepsTheControlsAndHidesTheLowerLines) {
    show();
    auto height = [this] {
        int h = 0;
        GetPanelAttribute(mainP, ATTR_HEIGHT, &h);
        return h;
    };
    eload_set_kzr_mode(1);
    const int unfolded = height();
    eload_set_kzr_mode(0);
    const int folded = height();
    int top = 0, h = 0;
    GetCtrlBoundingRect(mainP, ELOAD_MAIN_IDN, &top, nullptr, &h, nullptr);
    EXPECT_GT(folded, top + h) << "the identification still shows";
    GetCtrlBoundingRect(mainP, ELOAD_MAIN_HINT, &top, nullptr, &h, nullptr);
    EXPECT_LT(folded, top);
    EXPECT_GT(unfolded, top + h);
    ASSERT_EQ(hl::rightDoubleClick(mainP, ELOAD_MAIN_IDN), 0);
    hl::deliver();
    EXPECT_EQ(height(), unfolded);
}

TEST_F(Eload, APanelThatFailsToLoadSaysSoAndQuitDiscardsWhatLoaded) {
    eload_quit();
    ui_register_resource(UiResourceDef{ELOAD_PANEL_FILE, {UiPanelDef{.id = ELOAD_MAIN}}, {}});
    hl::clearPopups();
    EXPECT_EQ(eload_open(), 0);
    EXPECT_EQ(tsupport::messages().size(), 1u);
    const int loaded = eload_panel(ELOAD_MAIN);
    EXPECT_GE(loaded, 0);
    eload_quit();
    EXPECT_LT(DisplayPanel(loaded), 0);
}

} // namespace
