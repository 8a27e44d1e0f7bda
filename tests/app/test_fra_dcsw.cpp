// The DC sweep list window: its rows with their column placement, editing a
// step, selecting rows, and the window's life within the run.
#include "app/fra.h"
#include "tests/app/app_fixture.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace hl = ui::headless;

// A list row as its pieces of text and the pixel offsets they start at.
using Row = std::vector<std::pair<int, std::string>>;

class DcswTest : public apptest::AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        for (int i = 0; i < DCSW_STEPS; ++i)
            dcsw_set_step(i, 0.0, 0.0);
        registerEverything();
        ASSERT_EQ(fra_open(), 1);   // the panels need no link
        DisplayPanel(ifcP);
        ASSERT_EQ(hl::pickMenu(ifcMenu, MAIN_MENU_SWEEP_DCSW), 0);
        hl::deliver();
        ASSERT_GE(dcswP, 0);
    }
    void TearDown() override
    {
        fra_close();
        fra_quit();
        AppTest::TearDown();
    }

    Row row(int index) const
    {
        std::string label;
        EXPECT_EQ(GetLabelFromIndex(dcswP, DCSW_PANEL_LIST, index, &label), 0);
        Row out;
        for (const auto& piece : ui::splitColumns(label))
            out.emplace_back(piece.x, piece.text);
        return out;
    }
    int itemValue(int index) const
    {
        int v = -99;
        GetValueFromIndex(dcswP, DCSW_PANEL_LIST, index, &v);
        return v;
    }
    double value(int control) const
    {
        double v = -1;
        GetCtrlVal(dcswP, control, &v);
        return v;
    }
    int step() const
    {
        int v = -1;
        GetCtrlVal(dcswP, DCSW_PANEL_STEP, &v);
        return v;
    }
    void commit(int control, double v)
    {
        ASSERT_EQ(hl::commit(dcswP, control, v), 0);
        hl::deliver();
    }
};

Row kDashes(const std::string& number)
{
    return {{0, number}, {40, "----- "}, {85, "------  "}, {135, "------"}};
}

TEST_F(DcswTest, AFreshListShowsTenLinesOfDashes)
{
    EXPECT_TRUE(ui::panel(dcswP)->visible);
    EXPECT_EQ(dcsw_panel_shown(), 1);
    int count = 0;
    GetNumListItems(dcswP, DCSW_PANEL_LIST, &count);
    ASSERT_EQ(count, 11);
    EXPECT_EQ(row(0), (Row{{0, "STEP"}, {40, "DC(V)"}, {85, "AC(%) "}, {135, "AC(V)"}}));
    EXPECT_EQ(itemValue(0), -1);
    for (int n = 1; n <= 10; ++n) {
        char number[4];
        std::snprintf(number, sizeof number, "%02d", n);
        EXPECT_EQ(row(n), kDashes(number)) << n;
        EXPECT_EQ(itemValue(n), n - 1);
    }
    EXPECT_EQ(step(), 1);
    EXPECT_EQ(value(DCSW_PANEL_DC), 0.0);
    EXPECT_EQ(value(DCSW_PANEL_AC), 0.0);
    EXPECT_EQ(value(DCSW_PANEL_ACV), 0.0);
}

TEST_F(DcswTest, EnteringAStepShowsItsLevels)
{
    commit(DCSW_PANEL_STEP, 2);
    commit(DCSW_PANEL_DC, 5.0);
    commit(DCSW_PANEL_AC, 10.0);
    EXPECT_EQ(row(2), (Row{{0, "02"}, {40, "5.00 "}, {85, "10.00 "}, {135, "0.500"}}));
    EXPECT_DOUBLE_EQ(value(DCSW_PANEL_ACV), 0.5);
    EXPECT_EQ(dcsw_get_dc(1), 5.0);
    EXPECT_EQ(dcsw_get_ac(1), 10.0);
    EXPECT_EQ(row(1), kDashes("01")) << "other rows untouched";

    struct Case {
        int step;
        double dc, ac;
        Row shown;
        double acv;
    };
    const Case cases[] = {
        {10, 1.234, 33.3, {{0, "10"}, {40, "1.23 "}, {85, "33.30 "}, {135, "0.411"}}, 0.410922},
        {3, 12.5, 0.0, {{0, "03"}, {40, "12.50 "}, {85, "0.00 "}, {135, "0.000"}}, 0.0},
        {4, 0.004, 100.0, {{0, "04"}, {40, "0.00 "}, {85, "100.00 "}, {135, "0.004"}}, 0.004},
        // Not above 0.0: shown as dashes, but kept (a REPEAT run uses it).
        {5, -2.0, 10.0, kDashes("05"), -0.2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        commit(DCSW_PANEL_STEP, c.step);
        commit(DCSW_PANEL_DC, c.dc);
        commit(DCSW_PANEL_AC, c.ac);
        EXPECT_EQ(row(c.step), c.shown);
        EXPECT_NEAR(value(DCSW_PANEL_ACV), c.acv, 1e-9);
        EXPECT_EQ(dcsw_get_dc(c.step - 1), c.dc);
    }
}

TEST_F(DcswTest, SelectingARowSelectsItsStepAndTheHeaderSelectsStepOne)
{
    dcsw_set_step(2, 3.0, 20.0);
    dcsw_panel_show(1);
    ASSERT_EQ(hl::commitIndex(dcswP, DCSW_PANEL_LIST, 3), 0);
    hl::deliver();
    EXPECT_EQ(step(), 3);
    EXPECT_EQ(value(DCSW_PANEL_DC), 3.0);
    EXPECT_EQ(value(DCSW_PANEL_AC), 20.0);
    EXPECT_DOUBLE_EQ(value(DCSW_PANEL_ACV), 0.6);
    EXPECT_EQ(row(3), (Row{{0, "03"}, {40, "3.00 "}, {85, "20.00 "}, {135, "0.600"}}));

    ASSERT_EQ(hl::commitIndex(dcswP, DCSW_PANEL_LIST, 0), 0);
    hl::deliver();
    EXPECT_EQ(step(), 1);
    EXPECT_EQ(value(DCSW_PANEL_DC), 0.0);
    int index = -1;
    GetCtrlIndex(dcswP, DCSW_PANEL_LIST, &index);
    EXPECT_EQ(index, 1) << "the row of the selected step is highlighted";
}

TEST_F(DcswTest, StepNumberStaysWithinTheList)
{
    commit(DCSW_PANEL_STEP, 11);
    EXPECT_EQ(step(), 10);
    commit(DCSW_PANEL_DC, 7.0);
    EXPECT_EQ(dcsw_get_dc(9), 7.0);
    commit(DCSW_PANEL_STEP, 0);
    EXPECT_EQ(step(), 1);
}

TEST_F(DcswTest, TheListOutlivesItsWindow)
{
    commit(DCSW_PANEL_DC, 4.0);
    ASSERT_EQ(hl::closePanel(dcswP), 0);
    hl::deliver();
    EXPECT_FALSE(ui::panel(dcswP)->visible);
    EXPECT_EQ(dcsw_panel_shown(), 0);
    EXPECT_EQ(dcsw_get_dc(0), 4.0);

    // Values set meanwhile (a profile) appear when the window is shown again.
    dcsw_set_step(6, 9.0, 50.0);
    ASSERT_EQ(hl::pickMenu(ifcMenu, MAIN_MENU_SWEEP_DCSW), 0);
    hl::deliver();
    EXPECT_TRUE(ui::panel(dcswP)->visible);
    EXPECT_EQ(row(1), (Row{{0, "01"}, {40, "4.00 "}, {85, "0.00 "}, {135, "0.000"}}));
    EXPECT_EQ(row(7), (Row{{0, "07"}, {40, "9.00 "}, {85, "50.00 "}, {135, "4.500"}}));

    // The end of a run hides it; discarding forgets the handle, not the list.
    fra_close();
    EXPECT_FALSE(ui::panel(dcswP)->visible);
    fra_quit();
    EXPECT_EQ(dcswP, -1);
    EXPECT_EQ(dcsw_get_dc(6), 9.0);
    EXPECT_EQ(dcsw_get_dc(-1), 0.0);
    EXPECT_EQ(dcsw_get_dc(DCSW_STEPS), 0.0);
}

}  // namespace
