// The meter window on the headless driver, and what every display window does
// when its panel will not load.
#include "tests/displays/displays_fixture.h"

namespace {

using namespace displaytest;

TEST_F(Displays, MeterShowsTheSelectedComponentFactorAndCircuit) {
    ASSERT_EQ(meter_open(), 1); // hidden; it is refreshed all the same
    InsertListItem(meterP, METER_PANEL_DEVICE_MODE, -1, "7", 7), InsertListItem(meterP, METER_PANEL_DEVICE_MODE, -1, "-1", -1);
    // |Z| 100 ohm at 1 kHz: at -45 degrees Cs = 2.2508 uF, Cp = 1.1254 uF, Ls = -11.254 mH, Lp = -22.508 mH.
    struct Case {
        int mode;
        double phase;
        const char* text;
    };
    for (const Case& c : {Case{0, -45.0, "+2.250uF"}, {1, -45.0, "+1.125uF"}, {2, -45.0, "-11.25mH"}, {3, -45.0, "-22.50mH"},
             {0, 45.0, "+2.250uF"}, {1, 45.0, "-1.125uF"}, {2, 45.0, "+11.25mH"}, {3, 45.0, "+22.50mH"},
             {7, -45.0, "+2.250uF"}, {-1, -45.0, "+2.250uF"}, {0, 0.0, "  OVLD  "}, {0, -1e-300, "  OVLD  "},
             {2, 0.0, "+0.000pH"}}) {
        SetCtrlVal(meterP, METER_PANEL_DEVICE_MODE, c.mode);
        meter_show(1.25, 3.5, 0.0125, -41.5, 100.0, c.phase, 1000.0, 0.75);
        EXPECT_EQ(text(meterP, METER_PANEL_COMPONENT), c.text) << "mode " << c.mode << ", phase " << c.phase;
    }
    for (auto [circuit, quality] : {std::pair{1, 0}, {0, 1}, {5, 7}}) { // any non-zero: series, and D
        SetCtrlVal(meterP, METER_PANEL_CIRCUIT_MODE, circuit != 0), SetCtrlVal(meterP, METER_PANEL_QUALITY_MODE, quality != 0);
        meter_show(1.25, 3.5, 0.0125, -41.5, 98.76, -60.0, 12345.678, 0.75);
        const int series = circuit != 0;
        for (auto [control, raw] : {std::pair{METER_PANEL_VOLT, 1.25}, {METER_PANEL_VOLT_PHASE, 3.5}, {METER_PANEL_CURR, 0.0125},
                 {METER_PANEL_CURR_PHASE, -41.5}, {METER_PANEL_Z, 98.76}, {METER_PANEL_Z_PHASE, -60.0},
                 {METER_PANEL_FREQ, 12345.678}, {METER_PANEL_DC, 0.75}})
            EXPECT_EQ(num(meterP, control), raw) << control; // shown as given
        for (auto [control, code] : {std::pair{METER_PANEL_R, series ? 2 : 4}, {METER_PANEL_X, series ? 3 : 5},
                 {METER_PANEL_QD, quality ? 11 : 10}}) {
            const double want = quantity(12345.678, 98.76, -60.0, code);
            EXPECT_NEAR(num(meterP, control), want, 1e-6 * std::abs(want)) << circuit << " " << quality << " " << control;
        }
    }
    meter_active(1), ui::headless::closePanel(meterP), ui::headless::deliver();
    EXPECT_EQ(closes, (std::vector{std::pair{meterP, int(EVENT_CLOSE)}}));
}

// Without the application's close callbacks no window loads, and every operation then does nothing.
TEST_F(Displays, EveryWindowIsInertWithoutItsPanel) {
    ui::resetForTests(), ifcPanel_register_resource(), displays_register_callbacks();
    const std::vector before{bode_point_count(), bode_trace_index(), nyqust_point_count(), nyqust_trace_index()};
    EXPECT_EQ((std::vector{bode_open(), nyqust_open(), vc_open(), meter_open()}), (std::vector{0, 0, 0, 0}));
    bode_clear(), bode_show(1, 2, 3), bode_reset(), bode_show(1, 2, 3), nyqust_clear(), nyqust_show(1, 2), nyqust_reset();
    vc_clear(), vc_show(1, 2, 3, 4, 5), meter_show(1, 2, 3, 4, 5, 6, 7, 8);
    for (auto active : {bode_active, nyqust_active, vc_active, meter_active}) active(0), active(1);
    EXPECT_EQ((std::vector{bode_point_count(), bode_trace_index(), nyqust_point_count(), nyqust_trace_index()}), before);
    EXPECT_TRUE(zP < 0 && nyP < 0 && vcP < 0 && meterP < 0 && ui::panelHandles().empty());
}

} // namespace
