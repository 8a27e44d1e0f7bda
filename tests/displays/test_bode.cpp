// The Bode window on the headless driver: the quantity each graph plots, the
// traces, the re-plot on a change of quantity, the axis controls and the cursor.
#include "tests/displays/displays_fixture.h"

namespace {

using namespace displaytest;

TEST_F(Displays, BodeGraphsPlotTheQuantityTheirSelectorChoseInTheirTracesColour) {
    ASSERT_EQ(bode_open(), 1);
    InsertListItem(zP, BODE_PANEL_SELECT2, -1, "bad", 12), InsertListItem(zP, BODE_PANEL_SELECT2, -1, "negative", -1);
    for (double deg : {-60.0, 35.0})
        for (int code = -1; code <= 12; ++code) {
            SetCtrlVal(zP, BODE_PANEL_SELECT2, code); // the upper graph keeps |Z|
            bode_reset(), bode_clear(), bode_show(1000.0, 100.0, deg);
            const auto up = plotsOf(zP, BODE_PANEL_GRAPH1), low = plotsOf(zP, BODE_PANEL_GRAPH2);
            ASSERT_EQ(up.size() + low.size(), 2u);
            const double want = quantity(1000.0, 100.0, deg, code);
            EXPECT_NEAR(low[0].y1, want, 1e-6 * std::abs(want)) << "code " << code << " at " << deg;
            EXPECT_EQ((std::vector{up[0].x1, up[0].y1, low[0].x1, num(zP, BODE_PANEL_Y2)}),
                (std::vector{1000.0, 100.0, 1000.0, low[0].y1}));
        }
    // Traces: joined points, in the colour and style of their turn.
    SetCtrlVal(zP, BODE_PANEL_SELECT2, 1), bode_reset(), bode_clear(), bode_show(100, 50, -30), bode_show(200, 40, -20);
    for (int t = 1; t <= 10; ++t) bode_clear(), bode_show(100.0 * t, 10, 5); // traces 1 to 10
    const auto pts = plotsOf(zP, BODE_PANEL_GRAPH1), lines = plotsOf(zP, BODE_PANEL_GRAPH1, true);
    const auto low = plotsOf(zP, BODE_PANEL_GRAPH2, true);
    ASSERT_EQ(pts.size() + lines.size() + low.size(), 36u);
    // The first point's line has no length, the second joins it, every later trace starts afresh.
    EXPECT_EQ((std::vector{lines[0].x2, lines[0].y2, lines[1].x1, lines[1].y1, lines[1].x2, lines[1].y2, lines[2].x2,
                  low[1].y1, low[1].y2}),
        (std::vector{100.0, 50.0, 200.0, 40.0, 100.0, 50.0, 100.0, -20.0, -30.0}));
    // Trace 0 red empty circles, 1 blue solid circles, 6 dark cyan empty circles, 10 red empty diamonds.
    EXPECT_EQ((std::vector{pts[0].color, pts[0].style, pts[2].color, pts[2].style, pts[7].color, pts[7].style,
                  pts[11].color, pts[11].style, lines[11].color, low[7].color}),
        (std::vector<int>{VAL_RED, VAL_EMPTY_CIRCLE, VAL_BLUE, VAL_SOLID_CIRCLE, VAL_DK_CYAN, VAL_EMPTY_CIRCLE,
            VAL_RED, VAL_EMPTY_DIAMOND, VAL_RED, VAL_DK_CYAN}));
    bode_reset(), bode_show(1, 1, 1); // all traces go; the sequence starts again
    EXPECT_EQ(plotsOf(zP, BODE_PANEL_GRAPH2).size(), 1u);
    EXPECT_EQ(plotsOf(zP, BODE_PANEL_GRAPH1).at(0).color, VAL_RED);
}

// A new quantity redraws every trace of the run (beyond the data log's 1000
// points) unless a sweep runs; overloads are never drawn; the axis is renamed
// in any case.
TEST_F(Displays, BodeRedrawsEveryTraceInANewQuantity) {
    ASSERT_EQ(bode_open(), 1);
    bode_active(1);
    struct Case {
        const char* what;
        int traces, points, sweepOn;
        bool redrawn;
    };
    for (const Case& c : {Case{"one sweep", 1, 5, 0, true}, {"a REPEAT run of three", 3, 5, 0, true},
             {"during a sweep", 2, 5, 1, false}, {"1500 points", 1, 1500, 0, true}}) {
        userPick(zP, BODE_PANEL_SELECT1, 0); // |Z|
        traces_reset(), bode_reset();
        for (int t = 0; t < c.traces; ++t) {
            beginTrace(1.0 + t, 10.0);
            for (int i = 0; i < c.points; ++i) feed(10.0 + i, 1000.0 / (1 + i), -80 + 0.07 * i + t);
            feed(10.0 + c.points, NAN, -10.0); // an overload: not drawn
        }
        const auto before = plotsOf(zP, BODE_PANEL_GRAPH1), lower = plotsOf(zP, BODE_PANEL_GRAPH2);
        ASSERT_EQ(before.size(), std::size_t(c.traces * c.points)) << c.what;
        sweepRunning = c.sweepOn, userPick(zP, BODE_PANEL_SELECT1, 1), sweepRunning = 0; // the phase
        const auto after = plotsOf(zP, BODE_PANEL_GRAPH1), lines = plotsOf(zP, BODE_PANEL_GRAPH1, true);
        EXPECT_EQ(axis(zP, BODE_PANEL_GRAPH1, VAL_LEFT_YAXIS).name, "Phase (\xC2\xB0)") << c.what;
        EXPECT_EQ(plotsOf(zP, BODE_PANEL_GRAPH2).size(), lower.size()) << c.what; // the other graph is not touched
        ASSERT_EQ(after.size(), before.size()) << c.what;
        for (std::size_t k = 0; k < after.size(); ++k) {
            const int t = int(k) / c.points, i = int(k) % c.points;
            ASSERT_NEAR(after[k].y1, c.redrawn ? -80 + 0.07 * i + t : before[k].y1, 1e-9) << c.what << " " << k;
            ASSERT_EQ(after[k].color, displays_trace_color(t)) << c.what << " " << k;
            // Each trace starts afresh: its first line has no length.
            if (c.redrawn && i == 0) {
                ASSERT_EQ(lines[k].x2, lines[k].x1) << c.what << " " << k;
            }
        }
        const auto& legend = ui::panel(zP)->control(BODE_PANEL_GRAPH1)->graph.legend;
        ASSERT_EQ(legend.size(), std::size_t(c.traces)) << c.what;
        EXPECT_EQ((std::pair{legend.back().text, legend.back().color}),
            (std::pair{"DC " + std::to_string(c.traces) + " V, AC 10 %", displays_trace_color(c.traces - 1)}));
    }
}

// After a profile load the windows show what their selectors hold.
TEST_F(Displays, EveryWindowAppliesItsSelectorsWhenTold) {
    ASSERT_EQ(bode_open() + nyqust_open() + vc_open(), 3);
    beginTrace(2.0, 5.0), feed(100.0, 2.0, -90.0);
    // As a profile load sets them: values without callbacks.
    SetCtrlVal(zP, BODE_PANEL_SELECT1, 6), SetCtrlVal(zP, BODE_PANEL_XAXIS_REVERSE, 1), SetCtrlVal(zP, BODE_PANEL_YAXIS_MODE, 1);
    SetCtrlVal(nyP, NYQUST_PANEL_CIRCUIT_MODE, 1), SetCtrlVal(nyP, NYQUST_PANEL_XAXIS_REVERSE, 1);
    SetCtrlVal(nyP, NYQUST_PANEL_EQUAL_SCALE, 1), SetCtrlVal(vcP, VC_PANEL_XAXIS_MODE, 0);
    displays_apply_settings();
    const ui::Graph& upper = ui::panel(zP)->control(BODE_PANEL_GRAPH1)->graph;
    const ui::Graph& nyq = ui::panel(nyP)->control(NYQUST_PANEL_GRAPH)->graph;
    EXPECT_EQ(upper.axes[VAL_LEFT_YAXIS].name, "Cs (F)");
    EXPECT_EQ((std::vector{int(upper.axes[VAL_XAXIS].reverse), upper.axes[VAL_LEFT_YAXIS].mapMode, int(nyq.axes[VAL_XAXIS].reverse),
                  int(nyq.equalScale), axis(vcP, VC_PANEL_GRAPH2, VAL_XAXIS).mapMode}),
        (std::vector<int>{1, VAL_LOG, 1, 1, VAL_LINEAR}));
    EXPECT_NEAR(plotsOf(zP, BODE_PANEL_GRAPH1).at(0).y1, quantity(100.0, 2.0, -90.0, 6), 1e-12);
    EXPECT_NEAR(plotsOf(nyP, NYQUST_PANEL_GRAPH).at(0).y1, -2.0, 1e-9); // series X of |Z| 2 at -90 degrees
}

TEST_F(Displays, BodeAxisControlsActOnBothGraphsWhenCommittedAndAClickReadsTheCursor) {
    ASSERT_EQ(bode_open(), 1);
    bode_active(1), bode_show(5.0, 6.0, 7.0), SetCtrlVal(zP, BODE_PANEL_XAXIS_MODE, 0); // not committed: no change
    EXPECT_EQ(axis(zP, BODE_PANEL_GRAPH1, VAL_XAXIS).mapMode, VAL_LOG);
    userPick(zP, BODE_PANEL_XAXIS_MODE, 0), userPick(zP, BODE_PANEL_YAXIS_MODE, 1);
    userPick(zP, BODE_PANEL_XAXIS_REVERSE, 1), userPick(zP, BODE_PANEL_YAXIS_REVERSE, 1);
    for (int g : {BODE_PANEL_GRAPH1, BODE_PANEL_GRAPH2})
        EXPECT_EQ((std::vector{axis(zP, g, VAL_XAXIS).mapMode, axis(zP, g, VAL_LEFT_YAXIS).mapMode,
                      int(axis(zP, g, VAL_XAXIS).reverse), int(axis(zP, g, VAL_LEFT_YAXIS).reverse)}),
            (std::vector<int>{VAL_LINEAR, VAL_LOG, 1, 1}));
    ui::headless::clickGraph(zP, BODE_PANEL_GRAPH2, 123.0, -45.5), ui::headless::deliver(), sweepRunning = 1;
    ui::headless::clickGraph(zP, BODE_PANEL_GRAPH1, 7.0, 8.0), ui::headless::deliver(); // no reading during a sweep
    EXPECT_EQ((std::vector{num(zP, BODE_PANEL_X1), num(zP, BODE_PANEL_Y1), num(zP, BODE_PANEL_X2), num(zP, BODE_PANEL_Y2)}),
        (std::vector{5.0, 6.0, 123.0, -45.5}));
    ui::headless::closePanel(zP), ui::headless::deliver();
    EXPECT_EQ(closes, (std::vector{std::pair{zP, int(EVENT_CLOSE)}}));
}

} // namespace
