// The Nyquist and V&C windows on the headless driver.
#include "tests/displays/displays_fixture.h"

namespace {

using namespace displaytest;

// R and X of the series (1) or the parallel (0) equivalent circuit.
std::pair<double, double> rx(double z, double deg, int series) {
    return {quantity(1, z, deg, series ? 2 : 4), quantity(1, z, deg, series ? 3 : 5)};
}

TEST_F(Displays, NyquistPlotsReactanceAgainstResistanceInItsCircuitAndVcVoltageAndCurrent) {
    ASSERT_EQ(nyqust_open(), 1);
    nyqust_active(1);
    struct Case {
        const char* what;
        int traces, sweepOn;
        bool redrawn;
    };
    for (const Case& c : {Case{"one sweep", 1, 0, true}, {"a REPEAT run of two", 2, 0, true}, {"during a sweep", 1, 1, false}}) {
        SetCtrlVal(nyP, NYQUST_PANEL_CIRCUIT_MODE, 0); // parallel
        traces_reset(), nyqust_reset();
        for (int t = 0; t < c.traces; ++t) {
            traces_begin(1.0, 10.0, "V"), nyqust_clear();
            for (int i = 0; i < 4; ++i) traces_add(TracePoint{.zAmp = 2 + 0.5 * i, .zPhase = -85 + 10.0 * i}), nyqust_show(2 + 0.5 * i, -85 + 10 * i);
            traces_add(TracePoint{.zAmp = INFINITY}), nyqust_show(INFINITY, 0.0); // an overload: not drawn, the line breaks
        }
        sweepRunning = c.sweepOn, userPick(nyP, NYQUST_PANEL_CIRCUIT_MODE, 1), sweepRunning = 0; // series: redraw?
        nyqust_show(4.0, -45.0); // the next point is in series either way, not joined across the overload
        const auto pts = plotsOf(nyP, NYQUST_PANEL_GRAPH), lines = plotsOf(nyP, NYQUST_PANEL_GRAPH, true);
        ASSERT_EQ(pts.size(), 4u * c.traces + 1) << c.what;
        for (int i = 0; i < 5; ++i) {
            const auto [r, x] = i < 4 ? rx(2 + 0.5 * i, -85 + 10 * i, c.redrawn) : rx(4.0, -45.0, 1);
            const std::size_t k = pts.size() - 5 + i;
            EXPECT_NEAR(pts[k].x1, r, 1e-6 * std::abs(r)) << c.what << " " << i;
            EXPECT_NEAR(pts[k].y1, x, 1e-6 * std::abs(x)) << c.what << " " << i; // X itself: the axis is reversed
            const std::size_t from = k - (i > 0 && i < 4);
            EXPECT_EQ((std::vector{lines[k].x2, lines[k].y2}), (std::vector{pts[from].x1, pts[from].y1}));
        }
        EXPECT_EQ((std::vector{pts.back().color, pts.back().style}),
            (c.traces == 2 ? std::vector<int>{VAL_BLUE, VAL_SOLID_CIRCLE} : std::vector<int>{VAL_RED, VAL_EMPTY_CIRCLE}));
    }
    EXPECT_LT(std::hypot(num(nyP, NYQUST_PANEL_R) - rx(4, -45, 1).first, num(nyP, NYQUST_PANEL_X) - rx(4, -45, 1).second), 1e-6);
    ui::headless::clickGraph(nyP, NYQUST_PANEL_GRAPH, 0.25, -0.5), ui::headless::deliver();
    EXPECT_EQ((std::vector{num(nyP, NYQUST_PANEL_R), num(nyP, NYQUST_PANEL_X)}), (std::vector{0.25, -0.5}));
    // V&C: the voltage in blue and the current in red, each sweep afresh.
    ASSERT_EQ(vc_open(), 1);
    vc_show(100.0, 1.0, 10.0, 0.5, -20.0), vc_show(200.0, 1.5, 12.0, 0.25, -25.0);
    struct Expect {
        int graph, style;
        double v1, v2, i1, i2;
    }; // amplitudes above, phases below
    for (const Expect& e : {Expect{VC_PANEL_GRAPH1, VAL_SOLID_CIRCLE, 1.0, 1.5, 0.5, 0.25},
             {VC_PANEL_GRAPH2, VAL_SMALL_CROSS, 10.0, 12.0, -20.0, -25.0}}) {
        const auto& plots = ui::panel(vcP)->control(e.graph)->graph.plots;
        ASSERT_EQ(plots.size(), 8u);
        // Per point: the voltage point and its line, then the current's; the first lines have no length.
        const double want[4][5] = {{100.0, e.v1, 100.0, e.v1, VAL_BLUE}, {100.0, e.i1, 100.0, e.i1, VAL_RED},
            {200.0, e.v2, 100.0, e.v1, VAL_BLUE}, {200.0, e.i2, 100.0, e.i1, VAL_RED}};
        for (int k = 0; k < 4; ++k) {
            const ui::Plot &pt = plots[2 * k], &ln = plots[2 * k + 1];
            EXPECT_EQ((std::vector<double>{pt.x1, pt.y1, ln.x1, ln.y1, ln.x2, ln.y2, double(pt.color), double(ln.color),
                          double(pt.style), double(pt.isLine || !ln.isLine)}),
                (std::vector<double>{want[k][0], want[k][1], want[k][0], want[k][1], want[k][2], want[k][3],
                    want[k][4], want[k][4], double(e.style), 0}))
                << e.graph << " " << k;
        }
    }
    EXPECT_EQ((std::vector{num(vcP, VC_PANEL_X1), num(vcP, VC_PANEL_Y1), num(vcP, VC_PANEL_X2), num(vcP, VC_PANEL_Y2)}),
        (std::vector{200.0, 1.5, 200.0, 12.0})); // the voltage's
    vc_clear(), vc_show(5.0, 2.0, 3.0, 4.0, 5.0);
    const auto lines = plotsOf(vcP, VC_PANEL_GRAPH2, true);
    ASSERT_EQ(plotsOf(vcP, VC_PANEL_GRAPH1).size() + lines.size(), 4u);
    EXPECT_EQ((std::vector{lines[0].x2, lines[0].y2, lines[1].y2}), (std::vector{5.0, 3.0, 5.0}));
    vc_active(1), userPick(vcP, VC_PANEL_YAXIS_REVERSE, 1), ui::headless::clickGraph(vcP, VC_PANEL_GRAPH2, 50.0, -12.5), ui::headless::deliver();
    EXPECT_EQ((std::vector{double(axis(vcP, VC_PANEL_GRAPH1, VAL_LEFT_YAXIS).reverse), num(vcP, VC_PANEL_X2), num(vcP, VC_PANEL_Y2)}),
        (std::vector{1.0, 50.0, -12.5}));
}

} // namespace
