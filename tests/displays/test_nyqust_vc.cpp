// The Nyquist and V&C windows on the headless driver.
#include "tests/displays/displays_fixture.h"

#include "module/impedance.h"

#include <cmath>

namespace {

using namespace displaytest;
namespace hl = ui::headless;

// ---- Nyquist -------------------------------------------------------------------------

class NyqustTest : public DisplaysTest {
protected:
    void SetUp() override
    {
        DisplaysTest::SetUp();
        ASSERT_EQ(nyqust_open(), 1);
        ASSERT_GE(nyP, 0);
    }
    static void startSweep()
    {
        nyqust_reset();
        nyqust_clear();
    }
    static double magAt(int i) { return 2.0 + 0.5 * i; }
    static double phaseAt(int i) { return -85.0 + 10.0 * i; }
    static void sweep(int points)
    {
        for (int i = 0; i < points; ++i)
            nyqust_show(magAt(i), phaseAt(i));
    }
    static void rx(int i, int circuit, double& r, double& x)
    {
        im_get_rectangular_resistance(magAt(i), phaseAt(i), &r, &x, circuit);
    }
};

TEST_F(NyqustTest, OpenLoadsHiddenWithTheReactanceAxisReversed)
{
    EXPECT_FALSE(ui::panel(nyP)->visible);
    const ui::Graph& g = graphOf(nyP, NYQUST_PANEL_GRAPH);
    EXPECT_EQ(g.axes[VAL_RIGHT_YAXIS].scaling, VAL_MANUAL);
    EXPECT_EQ(g.axes[VAL_RIGHT_YAXIS].min, 0.0);
    EXPECT_EQ(g.axes[VAL_RIGHT_YAXIS].max, 99.0);
    EXPECT_TRUE(g.axes[VAL_LEFT_YAXIS].reverse);
    EXPECT_FALSE(g.axes[VAL_XAXIS].reverse);
    EXPECT_EQ(nyqust_trace_index(), -1);
    EXPECT_EQ(nyqust_point_count(), 0);
}

// Opening does not apply the direction rings: a panel whose ring disagrees
// with its graph keeps the graph's direction until the ring is committed.
TEST_F(NyqustTest, OpeningDoesNotApplyTheDirectionRings)
{
    nyqust_quit();
    UiPanelDef def = ifcPanel_nyqust_panel();
    for (UiCtrlDef& c : def.controls)
        if (c.id == NYQUST_PANEL_YAXIS_REVERSE || c.id == NYQUST_PANEL_XAXIS_REVERSE)
            c.value = c.id == NYQUST_PANEL_YAXIS_REVERSE ? 0 : 1;
    registerOnly(def);
    ASSERT_EQ(nyqust_open(), 1);
    EXPECT_TRUE(graphOf(nyP, NYQUST_PANEL_GRAPH).axes[VAL_LEFT_YAXIS].reverse);
    EXPECT_FALSE(graphOf(nyP, NYQUST_PANEL_GRAPH).axes[VAL_XAXIS].reverse);
}

TEST_F(NyqustTest, CapacitivePointInSeriesIsDrawnAboveTheAxis)
{
    startSweep();
    SetCtrlVal(nyP, NYQUST_PANEL_CIRCUIT_MODE, 1);
    nyqust_show(2.0, -90.0);
    const auto pts = pointsOf(nyP, NYQUST_PANEL_GRAPH);
    const auto lines = linesOf(nyP, NYQUST_PANEL_GRAPH);
    ASSERT_EQ(pts.size(), 1u);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(pts[0].x1, 0.0, 1e-8);
    EXPECT_NEAR(pts[0].y1, -2.0, 1e-12);
    EXPECT_EQ(lines[0].x1, lines[0].x2);  // the first point's line has no length
    EXPECT_EQ(lines[0].y1, lines[0].y2);
    EXPECT_EQ(pts[0].color, VAL_RED);
    EXPECT_EQ(pts[0].style, VAL_EMPTY_CIRCLE);
    // Negative reactance on a reversed axis is drawn upwards.
    EXPECT_TRUE(graphOf(nyP, NYQUST_PANEL_GRAPH).axes[VAL_LEFT_YAXIS].reverse);
    EXPECT_NEAR(numberOf(nyP, NYQUST_PANEL_R), 0.0, 1e-8);
    EXPECT_NEAR(numberOf(nyP, NYQUST_PANEL_X), -2.0, 1e-12);
}

TEST_F(NyqustTest, PointsAreJoinedInArrivalOrderAndTracesChangeColour)
{
    startSweep();
    sweep(3);
    nyqust_clear();
    sweep(2);
    const auto pts = pointsOf(nyP, NYQUST_PANEL_GRAPH);
    const auto lines = linesOf(nyP, NYQUST_PANEL_GRAPH);
    ASSERT_EQ(pts.size(), 5u);
    ASSERT_EQ(lines.size(), 5u);
    double r0, x0, r1, x1;
    rx(0, kImCircuitParallel, r0, x0);
    rx(1, kImCircuitParallel, r1, x1);
    EXPECT_DOUBLE_EQ(pts[1].x1, r1);
    EXPECT_DOUBLE_EQ(pts[1].y1, x1);
    EXPECT_DOUBLE_EQ(lines[1].x2, r0);
    EXPECT_DOUBLE_EQ(lines[1].y2, x0);
    // The second trace starts afresh in blue, solid circles.
    EXPECT_DOUBLE_EQ(lines[3].x2, r0);
    EXPECT_DOUBLE_EQ(lines[3].y2, x0);
    EXPECT_EQ(pts[3].color, VAL_BLUE);
    EXPECT_EQ(pts[3].style, VAL_SOLID_CIRCLE);
    EXPECT_EQ(nyqust_trace_index(), 1);
    EXPECT_EQ(nyqust_point_count(), 2);
}

TEST_F(NyqustTest, CircuitChangeRedrawsOnlyTheFirstTraceAfterAReset)
{
    struct Case {
        const char* what;
        int traces, sweepOn;
        bool redrawn;
    };
    const Case cases[] = {
        {"one sweep", 1, 0, true},
        {"a REPEAT run of two sweeps", 2, 0, false},
        {"during a sweep", 1, 1, false},
    };
    nyqust_active(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetCtrlVal(nyP, NYQUST_PANEL_CIRCUIT_MODE, 0);
        startSweep();
        for (int t = 0; t < c.traces; ++t) {
            if (t > 0)
                nyqust_clear();
            sweep(4);
        }
        const auto before = graphOf(nyP, NYQUST_PANEL_GRAPH).plots;
        sweepRunning = c.sweepOn;
        userPick(nyP, NYQUST_PANEL_CIRCUIT_MODE, 1);
        sweepRunning = 0;
        const auto pts = pointsOf(nyP, NYQUST_PANEL_GRAPH);
        if (c.redrawn) {
            ASSERT_EQ(pts.size(), 4u);
            for (int i = 0; i < 4; ++i) {
                double r, x;
                rx(i, kImCircuitSeries, r, x);
                EXPECT_DOUBLE_EQ(pts[i].x1, r);
                EXPECT_DOUBLE_EQ(pts[i].y1, x);
            }
            const auto lines = linesOf(nyP, NYQUST_PANEL_GRAPH);
            double r, x;
            rx(0, kImCircuitSeries, r, x);
            EXPECT_DOUBLE_EQ(lines[0].x2, r);
            EXPECT_DOUBLE_EQ(lines[1].x2, r);
        } else {
            const auto& now = graphOf(nyP, NYQUST_PANEL_GRAPH).plots;
            ASSERT_EQ(now.size(), before.size());
            for (std::size_t i = 0; i < now.size(); ++i) {
                EXPECT_EQ(now[i].handle, before[i].handle);
                EXPECT_EQ(now[i].x1, before[i].x1);
            }
        }
        // Either way the next point uses the new circuit.
        nyqust_show(magAt(4), phaseAt(4));
        double r, x;
        rx(4, kImCircuitSeries, r, x);
        EXPECT_DOUBLE_EQ(pointsOf(nyP, NYQUST_PANEL_GRAPH).back().x1, r);
    }
}

TEST_F(NyqustTest, StoreHoldsTheFirstThousandPoints)
{
    startSweep();
    for (int i = 0; i <= NYQUST_MAX_POINTS; ++i)
        nyqust_show(1.0 + i, -45.0);
    EXPECT_EQ(nyqust_point_count(), NYQUST_MAX_POINTS);
    EXPECT_EQ(pointsOf(nyP, NYQUST_PANEL_GRAPH).size(), static_cast<std::size_t>(NYQUST_MAX_POINTS + 1));
    nyqust_active(1);
    userPick(nyP, NYQUST_PANEL_CIRCUIT_MODE, 1);
    const auto pts = pointsOf(nyP, NYQUST_PANEL_GRAPH);
    ASSERT_EQ(pts.size(), static_cast<std::size_t>(NYQUST_MAX_POINTS));
    double r = 0.0;
    im_get_rectangular_resistance(NYQUST_MAX_POINTS, -45.0, &r, nullptr, kImCircuitSeries);
    EXPECT_DOUBLE_EQ(pts.back().x1, r);
}

TEST_F(NyqustTest, DirectionRingsTakeEffectOnCommitAndCursorIsRead)
{
    nyqust_active(1);
    SetCtrlVal(nyP, NYQUST_PANEL_YAXIS_REVERSE, 0);
    EXPECT_TRUE(graphOf(nyP, NYQUST_PANEL_GRAPH).axes[VAL_LEFT_YAXIS].reverse);
    userPick(nyP, NYQUST_PANEL_YAXIS_REVERSE, 0);
    EXPECT_FALSE(graphOf(nyP, NYQUST_PANEL_GRAPH).axes[VAL_LEFT_YAXIS].reverse);
    userPick(nyP, NYQUST_PANEL_XAXIS_REVERSE, 1);
    EXPECT_TRUE(graphOf(nyP, NYQUST_PANEL_GRAPH).axes[VAL_XAXIS].reverse);

    ASSERT_EQ(hl::clickGraph(nyP, NYQUST_PANEL_GRAPH, 0.25, -0.5), 0);
    hl::deliver();
    EXPECT_EQ(numberOf(nyP, NYQUST_PANEL_R), 0.25);
    EXPECT_EQ(numberOf(nyP, NYQUST_PANEL_X), -0.5);
    sweepRunning = 1;
    ASSERT_EQ(hl::clickGraph(nyP, NYQUST_PANEL_GRAPH, 9.0, 9.0), 0);
    hl::deliver();
    EXPECT_EQ(numberOf(nyP, NYQUST_PANEL_R), 0.25);

    ASSERT_EQ(hl::closePanel(nyP), 0);
    hl::deliver();
    ASSERT_EQ(closeCalls.size(), 1u);
    EXPECT_EQ(closeCalls[0], (CloseCall{"nyqust_stop", nyP, EVENT_CLOSE}));
}

// A point that arrives after a reset, before the next trace begins, is drawn
// like the first trace instead of with a colour from outside the table.
TEST_F(NyqustTest, PointBeforeTheFirstTraceUsesTheFirstTracesLook)
{
    nyqust_reset();
    ASSERT_EQ(nyqust_trace_index(), -1);
    nyqust_show(1.0, 0.0);
    const auto pts = pointsOf(nyP, NYQUST_PANEL_GRAPH);
    ASSERT_EQ(pts.size(), 1u);
    EXPECT_EQ(pts[0].color, VAL_RED);
    EXPECT_EQ(pts[0].style, VAL_EMPTY_CIRCLE);
}

// ---- V&C -------------------------------------------------------------------------------

class VcTest : public DisplaysTest {
protected:
    void SetUp() override
    {
        DisplaysTest::SetUp();
        ASSERT_EQ(vc_open(), 1);
        ASSERT_GE(vcP, 0);
    }
};

TEST_F(VcTest, OpenLoadsHiddenAndAppliesTheMappingToggles)
{
    EXPECT_FALSE(ui::panel(vcP)->visible);
    for (int g : {VC_PANEL_GRAPH1, VC_PANEL_GRAPH2}) {
        const ui::Graph& gr = graphOf(vcP, g);
        EXPECT_EQ(gr.axes[VAL_RIGHT_YAXIS].scaling, VAL_MANUAL);
        EXPECT_EQ(gr.axes[VAL_RIGHT_YAXIS].max, 99.0);
        EXPECT_EQ(gr.axes[VAL_XAXIS].mapMode, VAL_LOG);
        EXPECT_EQ(gr.axes[VAL_LEFT_YAXIS].mapMode, VAL_LINEAR);
    }
    vc_quit();
    UiPanelDef def = ifcPanel_vc_panel();
    for (UiCtrlDef& c : def.controls) {
        if (c.id == VC_PANEL_XAXIS_MODE) c.value = 0;
        if (c.id == VC_PANEL_YAXIS_MODE) c.value = 1;
        if (c.id == VC_PANEL_YAXIS_REVERSE) c.value = 1;
    }
    registerOnly(def);
    ASSERT_EQ(vc_open(), 1);
    for (int g : {VC_PANEL_GRAPH1, VC_PANEL_GRAPH2}) {
        EXPECT_EQ(graphOf(vcP, g).axes[VAL_XAXIS].mapMode, VAL_LINEAR);
        EXPECT_EQ(graphOf(vcP, g).axes[VAL_LEFT_YAXIS].mapMode, VAL_LOG);
        EXPECT_FALSE(graphOf(vcP, g).axes[VAL_LEFT_YAXIS].reverse);
    }
}

TEST_F(VcTest, VoltageBlueCurrentRedFirstPointZeroLengthSecondJoined)
{
    vc_show(100.0, 1.0, 10.0, 0.5, -20.0);
    vc_show(200.0, 1.5, 12.0, 0.25, -25.0);

    struct Expect {
        int graph;
        int style;
        double v1, v2, i1, i2;  // voltage and current values of the two points
    };
    const Expect graphs[] = {{VC_PANEL_GRAPH1, VAL_SOLID_CIRCLE, 1.0, 1.5, 0.5, 0.25},
                             {VC_PANEL_GRAPH2, VAL_SMALL_CROSS, 10.0, 12.0, -20.0, -25.0}};
    for (const Expect& e : graphs) {
        SCOPED_TRACE(e.graph);
        const auto& plots = graphOf(vcP, e.graph).plots;
        ASSERT_EQ(plots.size(), 8u);
        // Per point: voltage point and line, then current point and line.
        const struct {
            double x, y, x2, y2;
            int color;
        } want[] = {{100.0, e.v1, 100.0, e.v1, VAL_BLUE}, {100.0, e.i1, 100.0, e.i1, VAL_RED},
                    {200.0, e.v2, 100.0, e.v1, VAL_BLUE}, {200.0, e.i2, 100.0, e.i1, VAL_RED}};
        for (int k = 0; k < 4; ++k) {
            const ui::Plot& pt = plots[2 * k];
            const ui::Plot& ln = plots[2 * k + 1];
            EXPECT_FALSE(pt.isLine);
            EXPECT_TRUE(ln.isLine);
            EXPECT_EQ(pt.x1, want[k].x);
            EXPECT_EQ(pt.y1, want[k].y);
            EXPECT_EQ(pt.style, e.style);
            EXPECT_EQ(pt.color, want[k].color);
            EXPECT_EQ(ln.color, want[k].color);
            EXPECT_EQ(ln.x1, want[k].x);
            EXPECT_EQ(ln.y1, want[k].y);
            EXPECT_EQ(ln.x2, want[k].x2);
            EXPECT_EQ(ln.y2, want[k].y2);
        }
    }
    // The read-outs carry the voltage only.
    EXPECT_EQ(numberOf(vcP, VC_PANEL_X1), 200.0);
    EXPECT_EQ(numberOf(vcP, VC_PANEL_Y1), 1.5);
    EXPECT_EQ(numberOf(vcP, VC_PANEL_X2), 200.0);
    EXPECT_EQ(numberOf(vcP, VC_PANEL_Y2), 12.0);
}

TEST_F(VcTest, ClearErasesBothGraphsAndStartsAfresh)
{
    for (int i = 0; i < 1500; ++i)  // no limit on the points of a sweep
        vc_show(1.0 + i, 1.0, 0.0, 1.0, 0.0);
    EXPECT_EQ(graphOf(vcP, VC_PANEL_GRAPH1).plots.size(), 6000u);
    vc_clear();
    EXPECT_TRUE(graphOf(vcP, VC_PANEL_GRAPH1).plots.empty());
    EXPECT_TRUE(graphOf(vcP, VC_PANEL_GRAPH2).plots.empty());
    vc_show(5.0, 2.0, 3.0, 4.0, 5.0);
    const auto lines = linesOf(vcP, VC_PANEL_GRAPH2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].x2, 5.0);
    EXPECT_EQ(lines[0].y2, 3.0);
    EXPECT_EQ(lines[1].y2, 5.0);
}

TEST_F(VcTest, AxisControlsOnCommitAndCursorUnlessSweeping)
{
    vc_active(1);
    SetCtrlVal(vcP, VC_PANEL_XAXIS_REVERSE, 1);
    EXPECT_FALSE(graphOf(vcP, VC_PANEL_GRAPH1).axes[VAL_XAXIS].reverse);
    userPick(vcP, VC_PANEL_XAXIS_REVERSE, 1);
    userPick(vcP, VC_PANEL_YAXIS_REVERSE, 1);
    ASSERT_EQ(hl::commit(vcP, VC_PANEL_XAXIS_MODE, 0), 0);
    ASSERT_EQ(hl::commit(vcP, VC_PANEL_YAXIS_MODE, 1), 0);
    hl::deliver();
    for (int g : {VC_PANEL_GRAPH1, VC_PANEL_GRAPH2}) {
        EXPECT_TRUE(graphOf(vcP, g).axes[VAL_XAXIS].reverse);
        EXPECT_TRUE(graphOf(vcP, g).axes[VAL_LEFT_YAXIS].reverse);
        EXPECT_EQ(graphOf(vcP, g).axes[VAL_XAXIS].mapMode, VAL_LINEAR);
        EXPECT_EQ(graphOf(vcP, g).axes[VAL_LEFT_YAXIS].mapMode, VAL_LOG);
    }

    ASSERT_EQ(hl::clickGraph(vcP, VC_PANEL_GRAPH2, 50.0, -12.5), 0);
    hl::deliver();
    EXPECT_EQ(numberOf(vcP, VC_PANEL_X2), 50.0);
    EXPECT_EQ(numberOf(vcP, VC_PANEL_Y2), -12.5);
    sweepRunning = 1;
    ASSERT_EQ(hl::clickGraph(vcP, VC_PANEL_GRAPH1, 60.0, 1.0), 0);
    hl::deliver();
    EXPECT_EQ(numberOf(vcP, VC_PANEL_X1), 0.0);

    ASSERT_EQ(hl::closePanel(vcP), 0);
    hl::deliver();
    ASSERT_EQ(closeCalls.size(), 1u);
    EXPECT_EQ(closeCalls[0], (CloseCall{"vc_stop", vcP, EVENT_CLOSE}));
}

}  // namespace
