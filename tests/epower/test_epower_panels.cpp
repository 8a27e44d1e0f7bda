// The supply's protection and list panels: what they read and in which
// order, a protection trip and its clearing, the list's length found by the
// first load, entry edits, and loads that fail or find short lists.
#include "tests/epower/epower_fixture.h"

#include "ui/headless.h"
#include "ui/toolkit.h"

namespace {

namespace hl = ui::headless;
using tepower::attr;
using tepower::dval;
using tepower::ival;
using Lines = std::vector<std::string>;

class EpowerPanels : public tepower::EpowerTest {
protected:
    int list() const { return epower_panel_list(); }
    std::string row(int index) const {
        std::string label;
        GetLabelFromIndex(list(), EPOWER_LIST_BOX, index, &label);
        return label;
    }
    int rows() const {
        int n = -1;
        GetNumListItems(list(), EPOWER_LIST_BOX, &n);
        return n;
    }
    // The entry number's range, as min * 1000 + max.
    int entryRange() const {
        return static_cast<int>(attr(list(), EPOWER_LIST_ENTRY, ATTR_MIN_VALUE) * 1000 + attr(list(), EPOWER_LIST_ENTRY, ATTR_MAX_VALUE));
    }
    void supply(const Lines& lines) {
        for (const std::string& l : lines) ASSERT_FALSE(sim_->instrument().respond(l).refused) << l;
    }
};

TEST_F(EpowerPanels, ProtectionReadsInOrderWithTheCurrentCeilingFromIset) {
    ASSERT_NO_FATAL_FAILURE(start());
    tsupport::commit(main(), EPOWER_MAIN_PROT, 1);
    const int p = epower_panel_prot();
    EXPECT_EQ(log(), (Lines{"VOLT:PROT:STAT?", "VOLT:PROT? MAX", "VOLT:PROT? MIN", "VOLT:PROT?", "UND:PROT:STAT?", "VOLT:PROT:UND? MAX", "VOLT:PROT:UND? MIN", "VOLT:PROT:UND?", "CURR:PROT:STAT?", "ISET? MAX", "CURR:PROT?"}));
    EXPECT_EQ(attr(p, EPOWER_PROT_OCP_LEVEL, ATTR_MAX_VALUE), 10.0 * 1.1) << "ISET reaches 10 A";
    EXPECT_EQ(attr(p, EPOWER_PROT_OCP_LEVEL, ATTR_MIN_VALUE), 0.0);
    EXPECT_EQ(attr(main(), EPOWER_MAIN_DEADLINE, ATTR_VISIBLE), 0.0);
    ASSERT_EQ(hl::rightDoubleClick(main(), EPOWER_MAIN_PROT), 0);
    hl::deliver();
    EXPECT_EQ(attr(main(), EPOWER_MAIN_DEADLINE, ATTR_VISIBLE), 1.0) << "the toggle's double click shows the deadline";
    ASSERT_EQ(hl::closePanel(p), 0);
    hl::deliver();
    int shown = -1;
    GetPanelAttribute(p, ATTR_VISIBLE, &shown);
    EXPECT_EQ(ival(main(), EPOWER_MAIN_PROT) * 10 + shown, 0) << "closing the panel switches its toggle off";
    sim::Faults f;
    f.failMin = "VOLT:PROT:UND";
    faults(f);
    clearLog();
    EXPECT_EQ(epower_prot_refresh(), -1);
    EXPECT_TRUE(logOf("CURR:PROT").empty()) << "ends at the first failure";
}

TEST_F(EpowerPanels, TripTurnsTheOutputOffUntilClearedFromTheAlarmPanel) {
    ASSERT_NO_FATAL_FAILURE(start());
    tsupport::commit(main(), EPOWER_MAIN_PROT, 1);
    const int p = epower_panel_prot();
    tsupport::commit(p, EPOWER_PROT_OVP_LEVEL, 3.0); // below the 5 V set
    tsupport::commit(main(), EPOWER_MAIN_OUTPUT, 1);
    cycleAfter();
    EXPECT_EQ(ival(main(), EPOWER_MAIN_OUTPUT), 0) << "the over-voltage trip turned it off";
    ASSERT_EQ(hl::click(main(), EPOWER_MAIN_ALARM), 0);
    hl::deliver();
    const int a = epower_panel_alarm();
    ASSERT_GE(a, 0);
    EXPECT_EQ(ival(a, EPOWER_ALARM_LAMP0) * 10 + ival(a, EPOWER_ALARM_LAMP0 + 11), 11) << "over-voltage, protection latched";
    tsupport::commit(main(), EPOWER_MAIN_OUTPUT, 1);
    EXPECT_EQ(ival(main(), EPOWER_MAIN_OUTPUT), 0) << "refused while latched: shows what the supply holds";
    tsupport::commit(p, EPOWER_PROT_OVP_LEVEL, 10.0);
    clearLog();
    ASSERT_EQ(hl::click(a, EPOWER_ALARM_CLEAR), 0);
    hl::deliver();
    EXPECT_EQ(log(), Lines{"OUTP:PROT:CLE"});
    tsupport::commit(main(), EPOWER_MAIN_OUTPUT, 1);
    cycleAfter();
    EXPECT_EQ(ival(main(), EPOWER_MAIN_OUTPUT) * 10 + ival(a, EPOWER_ALARM_LAMP0), 10);
    ASSERT_EQ(hl::closePanel(a), 0);
    hl::deliver();
    EXPECT_EQ(epower_panel_alarm(), -1);
}

TEST_F(EpowerPanels, FirstLoadFindsTheLengthAndLaterLoadsReadNoFurther) {
    sim::Faults f;
    f.listCapacity = 5;
    ASSERT_NO_FATAL_FAILURE(start(f));
    ASSERT_NO_FATAL_FAILURE(supply({"LIST:VOLT 3 5", "LIST:VOLT:TIME 3 100", "LIST:CURR 2 0.5"}));
    clearLog();
    tsupport::commit(main(), EPOWER_MAIN_LIST, 1);
    const Lines got = log();
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(Lines(got.begin(), got.begin() + 5),
        (Lines{"LIST:COUNT?", "LIST:TIME:UNIT?", "LIST:VOLT:STAT?", "LIST:VOLT? 1", "LIST:VOLT:TIME? 1"}));
    EXPECT_EQ(logOf("LIST:VOLT? 6").empty() + logOf("LIST:VOLT:TIME? 6").empty() * 10 + logOf("LIST:VOLT? 7").empty() * 100, 110)
        << "reading ends at the refused sixth entry";
    EXPECT_EQ(rows() * 10 + epower_list_known_length(), 55);
    EXPECT_EQ(row(2), "003\033p50l5.0000 \033p125l00100");
    EXPECT_EQ(entryRange(), 1005);
    EXPECT_EQ(attr(list(), EPOWER_LIST_VALUE, ATTR_MAX_VALUE), 60.0) << "the VSET range";
    clearLog();
    tsupport::commit(list(), EPOWER_LIST_TYPE, 1);
    EXPECT_EQ(logOf("LIST:CURR:STAT?").size() * 100 + logOf("LIST:CURR? ").size() * 10 + logOf("LIST:CURR:TIME? ").size(), 155u);
    EXPECT_EQ(ival(list(), EPOWER_LIST_ENTRY), 1);
    EXPECT_EQ(attr(list(), EPOWER_LIST_VALUE, ATTR_MAX_VALUE), 10.0) << "the ISET range";
    ASSERT_EQ(hl::commitIndex(list(), EPOWER_LIST_BOX, 1), 0);
    hl::deliver();
    EXPECT_EQ(ival(list(), EPOWER_LIST_ENTRY) * 10 + dval(list(), EPOWER_LIST_VALUE), 20.5);

    f.listCapacity = 3; // fewer entries than were found: the load fails, the length is found again
    faults(f);
    EXPECT_EQ(epower_list_refresh(), -1);
    EXPECT_EQ(rows() * 10 + epower_list_known_length(), 30);
    EXPECT_EQ(entryRange(), 1003);
    EXPECT_EQ(epower_list_refresh(), 0);
    EXPECT_EQ(epower_list_known_length(), 3);
    epower_close();
    f.listCapacity = 4;
    faults(f);
    epower_active(1);
    tsupport::commit(main(), EPOWER_MAIN_LIST, 1);
    EXPECT_EQ(epower_list_known_length(), 4) << "found again at the next open";
}

TEST_F(EpowerPanels, EntryEditsAreSentAndARefusedOneShowsWhatTheSupplyHolds) {
    ASSERT_NO_FATAL_FAILURE(start());
    tsupport::commit(main(), EPOWER_MAIN_LIST, 1);
    tsupport::commit(list(), EPOWER_LIST_ENTRY, 3);
    clearLog();
    tsupport::commit(list(), EPOWER_LIST_VALUE, 5.0);
    tsupport::commit(list(), EPOWER_LIST_TIME, 100);
    EXPECT_EQ(log(), (Lines{"LIST:VOLT 3 5.000000", "LIST:VOLT:TIME 3 100"}));
    EXPECT_EQ(row(2), "003\033p50l5.0000 \033p125l00100");
    tsupport::commit(list(), EPOWER_LIST_TIME, 70000); // beyond the supply's dwell range
    EXPECT_EQ(ival(list(), EPOWER_LIST_TIME), 100);
    EXPECT_EQ(row(2), "003\033p50l5.0000 \033p125l00100");
    EXPECT_EQ(logOf("LIST:VOLT:TIME?").back(), "LIST:VOLT:TIME? 3");
}

TEST_F(EpowerPanels, AnEmptyListKeepsTheEntryRangeWholeAndShowsNoEntry) {
    sim::Faults f;
    f.listCapacity = -1;
    ASSERT_NO_FATAL_FAILURE(start(f));
    tsupport::commit(main(), EPOWER_MAIN_LIST, 1);
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(entryRange(), 1001);
    EXPECT_EQ(hl::commit(list(), EPOWER_LIST_VALUE, 1.0), UIE_NOT_OPERABLE) << "no entry to edit";
    EXPECT_EQ(epower_list_known_length(), 0);
}

} // namespace
