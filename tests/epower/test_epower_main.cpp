// The supply's main panel: its refresh, the one-second cycle and how it
// decodes the status, the alarm panel, refused settings, an instrument that
// stops answering, and the end of the panel's life.
#include "tests/epower/epower_fixture.h"

#include "link/ifp.h"
#include "ui/headless.h"
#include "ui/toolkit.h"

#include <cstring>

namespace {

namespace hl = ui::headless;
using tepower::ival;
using tepower::text;
using Lines = std::vector<std::string>;

TEST(EpowerReadout, NeverMisstatesAMagnitude) {
    struct Case {
        float value;
        char unit;
        const char* shown;
    } cases[] = {
        {12.3456f, 'V', "12.34V"},
        {1234.5f, 'V', "1234V "},
        {0.5f, 'V', "0.500V"},
        {-1.5f, 'V', "-1.50V"},
        {12345.0f, 'V', "12345V"},
        {123456.7f, 'V', "  OL V"},
        {-12345.6f, 'V', " -OL V"},
    };
    for (const Case& c : cases) {
        char out[12];
        epower_readout_text(c.value, c.unit, out, sizeof out);
        EXPECT_STREQ(out, c.shown) << c.value;
    }
}

using EpowerMain = tepower::EpowerTest;

TEST_F(EpowerMain, RefreshAsksInOrderOncePerOpenAndStopsAtAFailure) {
    ASSERT_NO_FATAL_FAILURE(start({}, false));
    const Lines order = {"*IDN?", "VSET? MAX", "VSET? MIN", "VSET?", "ISET? MAX", "ISET? MIN", "ISET?", "OUTP?"};
    epower_active(1);
    epower_active(0);
    epower_active(1);
    EXPECT_EQ(log(), order) << "read once while the panel stays open";
    EXPECT_EQ(text(main(), EPOWER_MAIN_IDN), sim::kSupplyIdn);
    EXPECT_EQ(tepower::dval(main(), EPOWER_MAIN_VSET) * 100 + tepower::attr(main(), EPOWER_MAIN_VSET, ATTR_MAX_VALUE), 560.0);
    epower_close();
    clearLog();
    sim::Faults f;
    f.failMax = "ISET";
    faults(f);
    epower_active(1);
    const Lines got = log();
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(Lines(got.begin(), got.begin() + 5), Lines(order.begin(), order.begin() + 5)) << "read again after a close";
    EXPECT_EQ(logOf("ISET? MIN").size() + logOf("OUTP").size(), 0u) << "and not beyond the failure";
}

TEST_F(EpowerMain, CycleRunsAtMostOncePerSecondAndOnlyWhileMeasuring) {
    ASSERT_NO_FATAL_FAILURE(start());
    const Lines one = {"MEAS:VOLT?", "MEAS:CURR?", "STAT:QUES?"};
    cycleAfter();
    for (int i = 0; i < 50; ++i) epower_measure();
    const int due = ival(main(), EPOWER_MAIN_DEADLINE);
    measureAt(due - 1);
    EXPECT_EQ(log(), one);
    measureAt(due);
    EXPECT_EQ(log().size(), 6u);
    ASSERT_EQ(hl::rightDoubleClick(main(), EPOWER_MAIN_READOUT), 0);
    hl::deliver();
    cycleAfter();
    EXPECT_EQ(log().size(), 6u) << "measuring switched off";
    ASSERT_EQ(hl::rightDoubleClick(main(), EPOWER_MAIN_READOUT), 0);
    hl::deliver();
    cycleAfter();
    EXPECT_EQ(log().size(), 9u);
}

// Every status bit forced on in turn: the output switch, the CV and CC lamps,
// the blinking alarm with its beep, the extended status and the alarm panel.
TEST_F(EpowerMain, StatusBitsDriveSwitchLampsAlarmAndExtendedStatus) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(hl::click(main(), EPOWER_MAIN_ALARM), 0);
    hl::deliver();
    const int alarmP = epower_panel_alarm();
    ASSERT_GE(alarmP, 0);
    for (int bit = 0; bit < 16; ++bit) {
        sim::Faults f;
        f.quesOn = 1 << bit;
        faults(f);
        clearLog();
        const int beeps = hl::beeps();
        int lit = 0;
        for (int i = 0; i < 2; ++i) {
            cycleAfter();
            lit += ival(main(), EPOWER_MAIN_ALARM);
        }
        const bool alarm = ((0x9213 >> bit) & 1) != 0;
        EXPECT_EQ(lit, alarm ? 1 : 0) << "bit " << bit << ": lit on one cycle of two";
        EXPECT_EQ(hl::beeps() - beeps, alarm ? 1 : 0) << bit;
        EXPECT_EQ(ival(main(), EPOWER_MAIN_OUTPUT), bit == 5 ? 1 : 0) << bit;
        EXPECT_EQ(ival(main(), EPOWER_MAIN_CV) + ival(main(), EPOWER_MAIN_CC), 0) << bit << ": lamps dark while off";
        EXPECT_EQ(logOf("STAT:QUES:EXT?").size(), bit == 15 ? 2u : 0u) << bit;
        for (int lamp = 0; lamp < 6; ++lamp)
            EXPECT_EQ(ival(alarmP, EPOWER_ALARM_LAMP0 + lamp), EPOWER_ALARM_QUES_BITS[lamp] == bit ? 1 : 0) << bit;
    }
    sim::Faults f;
    f.quesOn = 0x24;
    f.extOn = 0x23;
    faults(f);
    cycleAfter();
    EXPECT_EQ(ival(main(), EPOWER_MAIN_OUTPUT) * 100 + ival(main(), EPOWER_MAIN_CV) * 10 + ival(main(), EPOWER_MAIN_CC), 101);
    std::string ext;
    for (int lamp = 6; lamp < 12; ++lamp) ext += std::to_string(ival(alarmP, EPOWER_ALARM_LAMP0 + lamp));
    EXPECT_EQ(ext, "110010") << "extended bits 0, 1 and 5";
    faults({});
    cycleAfter();
    EXPECT_EQ(ival(alarmP, EPOWER_ALARM_LAMP0 + 6) + ival(alarmP, EPOWER_ALARM_LAMP0 + 11), 0);
}

TEST_F(EpowerMain, SettingsReachTheSupplyAndARefusedOneShowsWhatItHolds) {
    ASSERT_NO_FATAL_FAILURE(start());
    clearLog();
    tsupport::commit(main(), EPOWER_MAIN_OUTPUT, 1);
    cycleAfter();
    EXPECT_EQ(text(main(), EPOWER_MAIN_READOUT), "5.000V  0.500A") << "5 V into the simulated 10 ohm";
    EXPECT_EQ(ival(main(), EPOWER_MAIN_CV) * 10 + ival(main(), EPOWER_MAIN_CC), 10);
    tsupport::commit(main(), EPOWER_MAIN_ISET, 0.2);
    cycleAfter();
    EXPECT_EQ(text(main(), EPOWER_MAIN_READOUT), "2.000V  0.200A");
    EXPECT_EQ(ival(main(), EPOWER_MAIN_CV) * 10 + ival(main(), EPOWER_MAIN_CC), 1);
    SetCtrlAttribute(main(), EPOWER_MAIN_VSET, ATTR_MAX_VALUE, 100.0); // wider than the supply's range
    tsupport::commit(main(), EPOWER_MAIN_VSET, 80.0);
    EXPECT_EQ(tepower::dval(main(), EPOWER_MAIN_VSET), 5.0);
    EXPECT_EQ(logOf("VSET").back(), "VSET?") << "asked after the refusal";
    EXPECT_EQ(logOf("OUTP")[0], "OUTP 1");
}

TEST_F(EpowerMain, ThreeUnansweredCyclesCloseTheLinkOnceWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(start());
    sim::Faults f;
    f.silent = true;
    faults(f);
    cycleAfter();
    cycleAfter();
    EXPECT_EQ(ifp_get_ifready(), 1);
    EXPECT_TRUE(tsupport::messages().empty());
    cycleAfter();
    EXPECT_EQ(ifp_get_ifready(), 0);
    for (int i = 0; i < 4; ++i) cycleAfter();
    ASSERT_EQ(tsupport::messages().size(), 1u);
    EXPECT_EQ(tsupport::messages()[0].rfind("Error!|The power supply stopped answering", 0), 0u);
}

TEST_F(EpowerMain, ClosingEndsTheRunAndQuitDiscardsEveryPanel) {
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(epower_main(), 1);
    ASSERT_EQ(hl::click(main(), EPOWER_MAIN_ALARM), 0);
    tsupport::commit(main(), EPOWER_MAIN_PROT, 1);
    const int handles[] = {main(), epower_panel_prot(), epower_panel_list(), epower_panel_alarm()};
    ASSERT_EQ(hl::closePanel(main()), 0);
    hl::deliver();
    EXPECT_EQ(epower_main(), 0);
    epower_close();
    EXPECT_EQ(ival(main(), EPOWER_MAIN_PROT), 0);
    epower_quit();
    for (int h : handles) {
        EXPECT_GE(h, 0);
        EXPECT_EQ(ui::panel(h), nullptr) << h;
    }
    EXPECT_EQ(epower_panel_main() + epower_panel_prot() + epower_panel_list() + epower_panel_alarm(), -4);
}

} // namespace
