// The load's sub-panel controls and its step list against the simulated load:
// what each commit sends, the frequency and width partners, refused values
// read back, and the list's load, selection, edits and short or failing lists.
#include "tests/eload/eload_fixture.h"

namespace {

using namespace eload_test;

class EloadStep : public Eload {
protected:
    void SetUp() override {
        Eload::SetUp();
        show();
        tranP = eload_panel(ELOAD_TRAN);
        tsupport::commit(mainP, ELOAD_MAIN_TRAN, 1);
        clearLog();
    }
    // Turns the step-list area on and back off around what the test looks at.
    void openList() {
        tsupport::commit(tranP, ELOAD_TRAN_STEP, 0);
        clearLog();
        tsupport::commit(tranP, ELOAD_TRAN_STEP, 1);
    }
    std::string row(int index) {
        std::string label;
        GetLabelFromIndex(tranP, ELOAD_TRAN_STEP_LIST, index, &label);
        return label;
    }
    int rows() {
        int n = -1;
        GetNumListItems(tranP, ELOAD_TRAN_STEP_LIST, &n);
        return n;
    }
    double limit(int control, int attr) {
        double v = 0;
        GetCtrlAttribute(tranP, control, attr, &v);
        return v;
    }
    int tranP = -1;
};

TEST_F(EloadStep, EachControlSendsItsParameterAndFrequencyAndWidthFollowEachOther) {
    const int protP = eload_panel(ELOAD_PROT), optiP = eload_panel(ELOAD_OPTI);
    struct Case {
        int panel, control;
        ui::Value value;
        Log want;
    } cases[] = {
        {tranP, ELOAD_TRAN_DUTY, 40, {"DUTY 40"}},
        {tranP, ELOAD_TRAN_FREQ, 20.0, {"FREQ 20.000000", "TRAN:TWID?"}},
        {tranP, ELOAD_TRAN_WIDTH, 10.0, {"TRAN:TWID 10.000000", "FREQ?"}},
        {tranP, ELOAD_TRAN_MODE, 1, {"TRAN:MODE 1"}},
        {protP, ELOAD_PROT_ROW + 3 * 2 + ELOAD_PROT_DELAY, 250, {"CURR:PROT:OVER:DELAY 250"}},
        {protP, ELOAD_PROT_VON_LEVEL, 1.5, {"VOLT:VON 1.500000"}},
        {optiP, ELOAD_OPTI_TRIG_SOURCE, 3, {"TRIG:SOURCE ETHERNET"}},
        {optiP, ELOAD_OPTI_CROS_RANGE, 1, {"SYST:CROS:RANG:STAT 1"}},
    };
    for (Case& c : cases) {
        clearLog();
        DisplayPanel(c.panel); // a hidden panel takes no input
        tsupport::commit(c.panel, c.control, c.value);
        EXPECT_EQ(log(), c.want) << c.want[0];
    }
    EXPECT_EQ(tsupport::ctrlDouble(tranP, ELOAD_TRAN_FREQ), 40.0) << "duty 40 % of 10 ms";

    // A refused value: the control shows what the load holds.
    faults([](sim::Faults& f) { f.refuse = "DUTY"; });
    tsupport::commit(tranP, ELOAD_TRAN_DUTY, 60);
    EXPECT_EQ(value(ELOAD_TRAN_DUTY, tranP), 40);
}

TEST_F(EloadStep, TheListLoadsOnceLongSelectsAndSendsEdits) {
    faults([](sim::Faults& f) { f.stepCapacity = 5; });
    sim_->instrument().execute("STEP:CURR 4 2.5");
    openList();
    Log want = {"UTIL:STEP:COUNT? MAX"};
    for (int n = 1; n <= 5; ++n)
        want = want + Log{"STEP:CURR? " + std::to_string(n), "STEP:CURR:TIME? " + std::to_string(n)};
    EXPECT_EQ(log(), (want + Log{"STEP:CURR? 1 MAX", "STEP:CURR? 1 MIN"}));
    EXPECT_EQ(rows(), 5);
    EXPECT_EQ(row(3), "004\033p50l2.5000 \033p125l01000");
    EXPECT_EQ(limit(ELOAD_TRAN_STEP_ENTRY, ATTR_MAX_VALUE), 5.0);
    EXPECT_EQ(limit(ELOAD_TRAN_STEP_VALUE, ATTR_MAX_VALUE), 30.0) << "CURR in the high range";

    ASSERT_EQ(hl::commitIndex(tranP, ELOAD_TRAN_STEP_LIST, 3), 0);
    hl::deliver();
    EXPECT_EQ(value(ELOAD_TRAN_STEP_ENTRY, tranP), 4);
    EXPECT_EQ(tsupport::ctrlDouble(tranP, ELOAD_TRAN_STEP_VALUE), 2.5);

    clearLog();
    tsupport::commit(tranP, ELOAD_TRAN_STEP_TIME, 20);
    tsupport::commit(tranP, ELOAD_TRAN_STEP_VALUE, 1.5);
    EXPECT_EQ(log(), (Log{"STEP:CURR:TIME 4 20", "STEP:CURR 4 1.500000"}));
    EXPECT_EQ(row(3), "004\033p50l1.5000 \033p125l00020");

    faults([](sim::Faults& f) {
        f.stepCapacity = 5;
        f.refuse = "STEP:CURR";
    });
    tsupport::commit(tranP, ELOAD_TRAN_STEP_VALUE, 3.0);
    EXPECT_EQ(row(3), "004\033p50l1.5000 \033p125l00020") << "the load kept its value";
    EXPECT_EQ(tsupport::ctrlDouble(tranP, ELOAD_TRAN_STEP_VALUE), 1.5);

    // Another mode reads its own list, without asking the length again.
    faults([](sim::Faults& f) { f.stepCapacity = 5; });
    clearLog();
    tsupport::commit(tranP, ELOAD_TRAN_STEP_MODE, 2);
    EXPECT_EQ(log().front(), "STEP:RES? 1");
    EXPECT_EQ(value(ELOAD_TRAN_STEP_ENTRY, tranP), 1);
}

TEST_F(EloadStep, LongShortAndFailingListsKeepTheirRangesSound) {
    struct Case {
        int capacity;
        const char* refuse;
        int wantRows;
        double wantLast;
    } cases[] = {
        {250, "", 200, 200}, // the panel holds 200 entries at most
        {5, "STEP:CURR:TIME?", 0, 1}, // nothing read: the entry range stays 1..1
        {5, "UTIL:STEP:COUNT?", 0, 1}, // no length: nothing loaded
    };
    for (const Case& c : cases) {
        sim::Faults f;
        f.stepCapacity = c.capacity;
        f.refuse = c.refuse;
        sim_->setFaults(f);
        eload_quit(); // the length is asked again at every open
        ASSERT_EQ(eload_open(), 1);
        mainP = eload_panel(ELOAD_MAIN);
        tranP = eload_panel(ELOAD_TRAN);
        eload_active(1);
        tsupport::commit(mainP, ELOAD_MAIN_TRAN, 1);
        openList();
        EXPECT_EQ(rows(), c.wantRows) << c.capacity << c.refuse;
        EXPECT_EQ(limit(ELOAD_TRAN_STEP_ENTRY, ATTR_MAX_VALUE), c.wantLast) << c.capacity << c.refuse;
        EXPECT_LE(limit(ELOAD_TRAN_STEP_ENTRY, ATTR_MIN_VALUE), c.wantLast);
    }
}

} // namespace
