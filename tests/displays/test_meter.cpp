// The meter window on the headless driver: the component text, R and X,
// Q or D, and refreshes while hidden.
#include "tests/displays/displays_fixture.h"

#include <cmath>

namespace {

using namespace displaytest;
namespace hl = ui::headless;

class MeterTest : public DisplaysTest {
protected:
    void SetUp() override
    {
        DisplaysTest::SetUp();
        ASSERT_EQ(meter_open(), 1);
        ASSERT_GE(meterP, 0);
    }
    static void show(double mag, double phase, double freq = 1000.0)
    {
        meter_show(1.25, 3.5, 0.0125, -41.5, mag, phase, freq, 0.75);
    }
};

TEST_F(MeterTest, OpenLoadsHiddenWithFixedContents)
{
    int scale = -1;
    EXPECT_FALSE(ui::panel(meterP)->visible);
    GetPanelAttribute(meterP, ATTR_SCALE_CONTENTS_ON_RESIZE, &scale);
    EXPECT_EQ(scale, 0);
    // Opening again keeps the panel and puts the attribute back.
    const int handle = meterP;
    SetPanelAttribute(meterP, ATTR_SCALE_CONTENTS_ON_RESIZE, 1);
    meter_active(1);
    EXPECT_EQ(meter_open(), 1);
    EXPECT_EQ(meterP, handle);
    GetPanelAttribute(meterP, ATTR_SCALE_CONTENTS_ON_RESIZE, &scale);
    EXPECT_EQ(scale, 0);
    EXPECT_FALSE(ui::panel(meterP)->visible);
}

// |Z| 100 ohm at 1 kHz: at -45 degrees Cs = 2.2508 uF, Cp = 1.1254 uF,
// Ls = -11.254 mH, Lp = -22.508 mH; at +45 degrees the signs of Cp, Ls, Lp turn.
TEST_F(MeterTest, ComponentTextByDeviceMode)
{
    // A mode the ring does not offer, as an edited profile might set it.
    ASSERT_EQ(InsertListItem(meterP, METER_PANEL_DEVICE_MODE, -1, "7", 7), 0);
    ASSERT_EQ(InsertListItem(meterP, METER_PANEL_DEVICE_MODE, -1, "-1", -1), 0);
    struct Case {
        int mode;
        double phase;
        const char* text;
    };
    const Case cases[] = {
        {0, -45.0, "+2.250uF"},  {1, -45.0, "+1.125uF"}, {2, -45.0, "-11.25mH"},
        {3, -45.0, "-22.50mH"},  // a capacitive point in parallel form: negative henries
        {0, 45.0, "+2.250uF"},   // series capacitance is never negative
        {1, 45.0, "-1.125uF"},   // parallel capacitance of an inductive point is
        {2, 45.0, "+11.25mH"},   {3, 45.0, "+22.50mH"},
        {7, -45.0, "+2.250uF"},  // out of range reads as mode 0
        {-1, -45.0, "+2.250uF"},
        {0, 0.0, "  OVLD  "},    // no reactance: infinite capacitance
        {2, 0.0, "+0.000pH"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(SetCtrlVal(meterP, METER_PANEL_DEVICE_MODE, c.mode), 0);
        show(100.0, c.phase);
        EXPECT_EQ(textOf(meterP, METER_PANEL_COMPONENT), c.text)
            << "mode " << c.mode << ", phase " << c.phase;
    }
}

TEST_F(MeterTest, ResistanceReactanceAndFactorFollowTheirSelectors)
{
    struct Case {
        int circuit, quality;
        double r, x, qd;
    };
    // |Z| 100 ohm at -60 degrees: series R 50, X -86.6; parallel R 200,
    // X -64.95; Q = tan 60 = 1.732, D = 0.5774.
    const Case cases[] = {{1, 0, 50.0, -86.602540, 1.7320508},
                          {0, 1, 200.0, -64.951905, 0.5773503},
                          {5, 2, 50.0, -86.602540, 0.5773503}};
    for (const Case& c : cases) {
        SCOPED_TRACE("circuit " + std::to_string(c.circuit));
        SetCtrlVal(meterP, METER_PANEL_CIRCUIT_MODE, c.circuit == 5 ? 1 : c.circuit);
        SetCtrlVal(meterP, METER_PANEL_QUALITY_MODE, c.quality == 2 ? 1 : c.quality);
        show(100.0, -60.0);
        EXPECT_NEAR(numberOf(meterP, METER_PANEL_R), c.r, 1e-5);
        EXPECT_NEAR(numberOf(meterP, METER_PANEL_X), c.x, 1e-5);
        EXPECT_NEAR(numberOf(meterP, METER_PANEL_QD), c.qd, 1e-6);
    }
}

TEST_F(MeterTest, RawValuesAreShownUnchanged)
{
    meter_show(1.25, 3.5, 0.0125, -41.5, 98.76, -45.0, 12345.678, 0.75);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_VOLT), 1.25);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_VOLT_PHASE), 3.5);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_CURR), 0.0125);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_CURR_PHASE), -41.5);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_Z), 98.76);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_Z_PHASE), -45.0);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_FREQ), 12345.678);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_DC), 0.75);
}

// Reactance so small that the capacitance leaves single precision: the
// overload text, not an undefined conversion.
TEST_F(MeterTest, ComponentBeyondSinglePrecisionIsAnOverload)
{
    show(1.0, -1e-300);
    EXPECT_EQ(textOf(meterP, METER_PANEL_COMPONENT), "  OVLD  ");
}

TEST_F(MeterTest, RefreshedWhileHiddenAndSelectorsWaitForTheNextPoint)
{
    show(100.0, -45.0);
    show(50.0, -30.0, 2000.0);
    EXPECT_FALSE(ui::panel(meterP)->visible);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_Z), 50.0);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_FREQ), 2000.0);
    const std::string text = textOf(meterP, METER_PANEL_COMPONENT);

    meter_active(1);
    EXPECT_TRUE(ui::panel(meterP)->visible);
    EXPECT_EQ(numberOf(meterP, METER_PANEL_Z), 50.0);

    // Picking another component shows nothing new until the next point.
    userPick(meterP, METER_PANEL_DEVICE_MODE, 2);
    EXPECT_EQ(textOf(meterP, METER_PANEL_COMPONENT), text);
    show(50.0, -30.0, 2000.0);
    EXPECT_NE(textOf(meterP, METER_PANEL_COMPONENT), text);

    ASSERT_EQ(hl::closePanel(meterP), 0);
    hl::deliver();
    ASSERT_EQ(closeCalls.size(), 1u);
    EXPECT_EQ(closeCalls[0], (CloseCall{"meter_stop", meterP, EVENT_CLOSE}));
    meter_active(0);
    EXPECT_FALSE(ui::panel(meterP)->visible);
}

}  // namespace
