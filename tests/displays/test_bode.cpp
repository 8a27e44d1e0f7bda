// The Bode window on the headless driver: what each point draws, the trace
// colours, the store of 1000 points, re-plots on a change of quantity, the
// axis controls and the cursor.
#include "tests/displays/displays_fixture.h"

#include "module/impedance.h"

#include <cmath>

namespace {

using namespace displaytest;
namespace hl = ui::headless;

class BodeTest : public DisplaysTest {
protected:
    void SetUp() override
    {
        DisplaysTest::SetUp();
        ASSERT_EQ(bode_open(), 1);
        ASSERT_GE(zP, 0);
    }
    // What the application does when the user starts a sweep.
    static void startSweep()
    {
        bode_reset();
        bode_clear();
    }
    // |Z| falls and the phase climbs with frequency, so every quantity differs per point.
    static double magAt(int i) { return 1000.0 / (1.0 + i); }
    static double phaseAt(int i) { return -80.0 + 0.07 * i; }
    static double freqAt(int i) { return 10.0 + 10.0 * i; }
    static void sweep(int points)
    {
        for (int i = 0; i < points; ++i)
            bode_show(freqAt(i), magAt(i), phaseAt(i));
    }
};

TEST_F(BodeTest, OpenLoadsHiddenWithDefaultAxes)
{
    const ui::Panel* p = ui::panel(zP);
    EXPECT_FALSE(p->visible);
    for (int g : {BODE_PANEL_GRAPH1, BODE_PANEL_GRAPH2}) {
        const ui::Graph& gr = graphOf(zP, g);
        EXPECT_EQ(gr.axes[VAL_RIGHT_YAXIS].scaling, VAL_MANUAL);
        EXPECT_EQ(gr.axes[VAL_RIGHT_YAXIS].min, 0.0);
        EXPECT_EQ(gr.axes[VAL_RIGHT_YAXIS].max, 99.0);
        EXPECT_EQ(gr.axes[VAL_XAXIS].mapMode, VAL_LOG);
        EXPECT_EQ(gr.axes[VAL_LEFT_YAXIS].mapMode, VAL_LINEAR);
        EXPECT_FALSE(gr.axes[VAL_XAXIS].reverse);
        EXPECT_FALSE(gr.axes[VAL_LEFT_YAXIS].reverse);
        EXPECT_EQ(gr.axes[VAL_XAXIS].name, "Frequency (Hz)");
    }
    EXPECT_EQ(graphOf(zP, BODE_PANEL_GRAPH1).axes[VAL_LEFT_YAXIS].name, "|Z| (\xCE\xA9)");
    EXPECT_EQ(graphOf(zP, BODE_PANEL_GRAPH2).axes[VAL_LEFT_YAXIS].name, "Phase (\xC2\xB0)");
    EXPECT_GE(bode_trace_index(), 0);
    EXPECT_EQ(bode_point_count(), 0);

    // A second open keeps the panel and hides it again.
    const int handle = zP;
    bode_active(1);
    EXPECT_EQ(bode_open(), 1);
    EXPECT_EQ(zP, handle);
    EXPECT_FALSE(ui::panel(zP)->visible);
}

// Opening applies the two mapping toggles and the two selectors through
// their callbacks (a panel whose graphs start otherwise shows it), but not
// the direction rings.
TEST_F(BodeTest, OpenAppliesModesAndSelectorsButNotDirections)
{
    bode_quit();
    UiPanelDef def = ifcPanel_bode_panel();
    for (UiCtrlDef& c : def.controls) {
        if (c.id == BODE_PANEL_XAXIS_MODE) c.value = 0;
        if (c.id == BODE_PANEL_YAXIS_MODE) c.value = 1;
        if (c.id == BODE_PANEL_SELECT1) c.value = 3;
        if (c.id == BODE_PANEL_SELECT2) c.value = 10;
        if (c.id == BODE_PANEL_XAXIS_REVERSE || c.id == BODE_PANEL_YAXIS_REVERSE) c.value = 1;
    }
    registerOnly(def);
    ASSERT_EQ(bode_open(), 1);
    for (int g : {BODE_PANEL_GRAPH1, BODE_PANEL_GRAPH2}) {
        EXPECT_EQ(graphOf(zP, g).axes[VAL_XAXIS].mapMode, VAL_LINEAR);
        EXPECT_EQ(graphOf(zP, g).axes[VAL_LEFT_YAXIS].mapMode, VAL_LOG);
        EXPECT_FALSE(graphOf(zP, g).axes[VAL_XAXIS].reverse);
        EXPECT_FALSE(graphOf(zP, g).axes[VAL_LEFT_YAXIS].reverse);
    }
    EXPECT_EQ(graphOf(zP, BODE_PANEL_GRAPH1).axes[VAL_LEFT_YAXIS].name, "Xs (\xCE\xA9)");
    EXPECT_EQ(graphOf(zP, BODE_PANEL_GRAPH2).axes[VAL_LEFT_YAXIS].name, "Q");
    std::string label;
    GetCtrlAttribute(zP, BODE_PANEL_Y2, ATTR_LABEL_TEXT, &label);
    EXPECT_EQ(label, "Q");
}

TEST_F(BodeTest, FirstPointDrawsZeroLengthLinesAndNextPointsAreJoined)
{
    startSweep();
    bode_show(100.0, 50.0, -30.0);
    bode_show(200.0, 40.0, -20.0);

    const auto up = pointsOf(zP, BODE_PANEL_GRAPH1);
    const auto upLines = linesOf(zP, BODE_PANEL_GRAPH1);
    ASSERT_EQ(up.size(), 2u);
    ASSERT_EQ(upLines.size(), 2u);
    EXPECT_EQ(up[0].x1, 100.0);
    EXPECT_EQ(up[0].y1, 50.0);
    EXPECT_EQ(upLines[0].x1, 100.0);
    EXPECT_EQ(upLines[0].y1, 50.0);
    EXPECT_EQ(upLines[0].x2, 100.0);
    EXPECT_EQ(upLines[0].y2, 50.0);
    EXPECT_EQ(up[1].x1, 200.0);
    EXPECT_EQ(up[1].y1, 40.0);
    EXPECT_EQ(upLines[1].x1, 200.0);
    EXPECT_EQ(upLines[1].y1, 40.0);
    EXPECT_EQ(upLines[1].x2, 100.0);
    EXPECT_EQ(upLines[1].y2, 50.0);

    const auto low = pointsOf(zP, BODE_PANEL_GRAPH2);
    const auto lowLines = linesOf(zP, BODE_PANEL_GRAPH2);
    ASSERT_EQ(low.size(), 2u);
    EXPECT_EQ(low[1].y1, -20.0);
    EXPECT_EQ(lowLines[1].y2, -30.0);
    EXPECT_EQ(lowLines[1].x2, 100.0);

    // Point then line, per point, in the trace's colour and style.
    const auto& plots = graphOf(zP, BODE_PANEL_GRAPH1).plots;
    ASSERT_EQ(plots.size(), 4u);
    EXPECT_FALSE(plots[0].isLine);
    EXPECT_TRUE(plots[1].isLine);
    for (const ui::Plot& p : plots)
        EXPECT_EQ(p.color, VAL_RED);
    EXPECT_EQ(up[0].style, VAL_EMPTY_CIRCLE);

    EXPECT_EQ(numberOf(zP, BODE_PANEL_X1), 200.0);
    EXPECT_EQ(numberOf(zP, BODE_PANEL_Y1), 40.0);
    EXPECT_EQ(numberOf(zP, BODE_PANEL_X2), 200.0);
    EXPECT_EQ(numberOf(zP, BODE_PANEL_Y2), -20.0);
    EXPECT_EQ(bode_point_count(), 2);
}

TEST(DisplaysTables, TraceColoursAndStylesCycle)
{
    struct Case {
        int trace, color, style;
    };
    const Case cases[] = {
        {0, 0xFF0000, 11},  {1, 0x0000FF, 12},  {2, 0xFF00FF, 0},   {3, 0x800000, 1},
        {4, 0x000080, 21},  {5, 0x008000, 5},   {6, 0x008080, 11},  {7, 0x800080, 12},
        {8, 0x808000, 0},   {9, 0x000000, 1},   {10, 0xFF0000, 21}, {11, 0x0000FF, 5},
        {12, 0xFF00FF, 11}, {29, 0x000000, 5}, {60, 0xFF0000, 11},
        // Before the first trace begins the first trace's look is used.
        {-1, 0xFF0000, 11},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(displays_trace_color(c.trace), c.color) << "trace " << c.trace;
        EXPECT_EQ(displays_trace_style(c.trace), c.style) << "trace " << c.trace;
    }
}

TEST_F(BodeTest, EachTraceTakesTheNextColourAndStyle)
{
    struct Case {
        int trace, color, style;
    };
    const Case cases[] = {{0, VAL_RED, VAL_EMPTY_CIRCLE},
                          {6, VAL_DK_CYAN, VAL_EMPTY_CIRCLE},
                          {10, VAL_RED, VAL_EMPTY_DIAMOND}};
    for (const Case& c : cases) {
        startSweep();
        for (int t = 0; t < c.trace; ++t)
            bode_clear();
        ASSERT_EQ(bode_trace_index(), c.trace);
        bode_show(1000.0, 10.0, 5.0);
        for (int g : {BODE_PANEL_GRAPH1, BODE_PANEL_GRAPH2}) {
            const auto& plots = graphOf(zP, g).plots;
            ASSERT_EQ(plots.size(), 2u);
            EXPECT_EQ(plots[0].color, c.color) << "trace " << c.trace;
            EXPECT_EQ(plots[0].style, c.style) << "trace " << c.trace;
            EXPECT_EQ(plots[1].color, c.color) << "trace " << c.trace;
        }
    }
}

TEST_F(BodeTest, ResetDeletesTracesAndRestartsTheSequence)
{
    startSweep();
    sweep(3);
    bode_clear();
    sweep(3);
    EXPECT_EQ(bode_trace_index(), 1);
    EXPECT_EQ(graphOf(zP, BODE_PANEL_GRAPH1).plots.size(), 12u);

    // A new trace keeps what is drawn; a reset deletes it.
    bode_reset();
    EXPECT_EQ(bode_trace_index(), -1);
    EXPECT_EQ(bode_point_count(), 0);
    EXPECT_TRUE(graphOf(zP, BODE_PANEL_GRAPH1).plots.empty());
    EXPECT_TRUE(graphOf(zP, BODE_PANEL_GRAPH2).plots.empty());
    bode_clear();
    EXPECT_EQ(bode_trace_index(), 0);
}

// The next trace starts with a zero-length line instead of joining the last
// point of the previous trace.
TEST_F(BodeTest, ANewTraceIsNotJoinedToThePreviousOne)
{
    startSweep();
    bode_show(10.0, 1.0, 1.0);
    bode_show(20.0, 2.0, 2.0);
    bode_clear();
    bode_show(10.0, 3.0, 3.0);
    const auto lines = linesOf(zP, BODE_PANEL_GRAPH1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].x2, 10.0);
    EXPECT_EQ(lines[2].y2, 3.0);
    EXPECT_EQ(lines[2].color, VAL_BLUE);
}

TEST_F(BodeTest, The1001stPointIsDrawnButNotStored)
{
    startSweep();
    sweep(BODE_MAX_POINTS + 1);
    EXPECT_EQ(bode_point_count(), BODE_MAX_POINTS);

    const auto pts = pointsOf(zP, BODE_PANEL_GRAPH1);
    const auto lines = linesOf(zP, BODE_PANEL_GRAPH1);
    ASSERT_EQ(pts.size(), static_cast<std::size_t>(BODE_MAX_POINTS + 1));
    EXPECT_EQ(pts.back().x1, freqAt(BODE_MAX_POINTS));
    EXPECT_EQ(pts.back().y1, magAt(BODE_MAX_POINTS));
    EXPECT_EQ(lines.back().x2, freqAt(BODE_MAX_POINTS - 1));
    EXPECT_EQ(lines.back().y2, magAt(BODE_MAX_POINTS - 1));

    // The re-plot draws the stored points only.
    bode_active(1);
    userPick(zP, BODE_PANEL_SELECT1, kImQuantityPhase);
    const auto again = pointsOf(zP, BODE_PANEL_GRAPH1);
    ASSERT_EQ(again.size(), static_cast<std::size_t>(BODE_MAX_POINTS));
    EXPECT_EQ(again.back().x1, freqAt(BODE_MAX_POINTS - 1));
    EXPECT_NEAR(again.back().y1, phaseAt(BODE_MAX_POINTS - 1), 1e-12);
}

// A change of quantity redraws the graph only while it holds the first
// trace since the last reset, nothing was drawn during a sweep, and there is
// something stored; otherwise only the axis name changes.
TEST_F(BodeTest, SelectRedrawsOnlyTheFirstTraceAfterAReset)
{
    struct Case {
        const char* what;
        int traces;       // sweeps since the user started
        int points;       // points of the last sweep
        int sweepOn;      // a sweep runs while the selector changes
        bool redrawn;
    };
    const Case cases[] = {
        {"one sweep", 1, 5, 0, true},
        {"a REPEAT run of two sweeps", 2, 5, 0, false},
        {"during a sweep", 1, 5, 1, false},
        {"a new trace without points", 1, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetCtrlVal(zP, BODE_PANEL_SELECT1, kImQuantityZ);
        bode_selectCB(zP, BODE_PANEL_SELECT1, EVENT_COMMIT, nullptr, 0, 0);
        startSweep();
        for (int t = 0; t < c.traces; ++t) {
            if (t > 0)
                bode_clear();
            sweep(t + 1 < c.traces ? 5 : c.points);
        }
        const auto before = graphOf(zP, BODE_PANEL_GRAPH1).plots;
        const auto lowerBefore = graphOf(zP, BODE_PANEL_GRAPH2).plots;

        sweepRunning = c.sweepOn;
        bode_active(1);
        userPick(zP, BODE_PANEL_SELECT1, kImQuantityPhase);
        sweepRunning = 0;

        EXPECT_EQ(graphOf(zP, BODE_PANEL_GRAPH1).axes[VAL_LEFT_YAXIS].name, "Phase (\xC2\xB0)");
        const auto after = pointsOf(zP, BODE_PANEL_GRAPH1);
        if (c.redrawn) {
            ASSERT_EQ(after.size(), static_cast<std::size_t>(c.points));
            for (int i = 0; i < c.points; ++i) {
                EXPECT_EQ(after[i].x1, freqAt(i));
                EXPECT_NEAR(after[i].y1, phaseAt(i), 1e-12);
                EXPECT_EQ(after[i].color, VAL_RED);
            }
            const auto lines = linesOf(zP, BODE_PANEL_GRAPH1);
            EXPECT_EQ(lines.front().x2, freqAt(0));
            EXPECT_NEAR(lines.front().y2, phaseAt(0), 1e-12);
            EXPECT_NEAR(lines.back().y2, phaseAt(c.points - 2), 1e-12);
            EXPECT_NEAR(numberOf(zP, BODE_PANEL_Y1), phaseAt(c.points - 1), 1e-12);
        } else {
            const auto& now = graphOf(zP, BODE_PANEL_GRAPH1).plots;
            ASSERT_EQ(now.size(), before.size());
            for (std::size_t i = 0; i < now.size(); ++i)
                EXPECT_EQ(now[i].y1, before[i].y1);
        }
        // The other graph is never touched.
        const auto& lower = graphOf(zP, BODE_PANEL_GRAPH2).plots;
        ASSERT_EQ(lower.size(), lowerBefore.size());
        for (std::size_t i = 0; i < lower.size(); ++i)
            EXPECT_EQ(lower[i].handle, lowerBefore[i].handle);
    }
}

// After an unchanged re-plot the next points continue the redrawn trace.
TEST_F(BodeTest, PointsAfterARedrawJoinTheRedrawnTrace)
{
    startSweep();
    sweep(3);
    bode_active(1);
    userPick(zP, BODE_PANEL_SELECT2, kImQuantityRs);
    bode_show(freqAt(3), magAt(3), phaseAt(3));
    double rPrev = 0.0, r = 0.0;
    im_get_rectangular_resistance(magAt(2), phaseAt(2), &rPrev, nullptr, kImCircuitSeries);
    im_get_rectangular_resistance(magAt(3), phaseAt(3), &r, nullptr, kImCircuitSeries);
    const auto lines = linesOf(zP, BODE_PANEL_GRAPH2);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_DOUBLE_EQ(lines.back().y1, r);
    EXPECT_DOUBLE_EQ(lines.back().y2, rPrev);
}

TEST_F(BodeTest, ReadOutFollowsTheSelectedQuantity)
{
    struct Case {
        int code;
        const char* label;
        int precision;
    };
    const Case cases[] = {{kImQuantityZ, "|Z| (\xCE\xA9)", 6},
                          {kImQuantityPhase, "Phase (\xC2\xB0)", 3},
                          {kImQuantityCs, "Cs (F)", 12},
                          {kImQuantityLp, "Lp (H)", 12},
                          {kImQuantityD, "D", 4}};
    bode_active(1);
    for (const Case& c : cases) {
        userPick(zP, BODE_PANEL_SELECT1, c.code);
        std::string label;
        int precision = -1;
        GetCtrlAttribute(zP, BODE_PANEL_Y1, ATTR_LABEL_TEXT, &label);
        GetCtrlAttribute(zP, BODE_PANEL_Y1, ATTR_PRECISION, &precision);
        EXPECT_EQ(label, c.label);
        EXPECT_EQ(precision, c.precision);
        EXPECT_EQ(graphOf(zP, BODE_PANEL_GRAPH1).axes[VAL_LEFT_YAXIS].name, c.label);
    }
}

// Every code of the table is plotted as the impedance arithmetic computes
// it; a code outside 0..11 plots 0.0.
TEST_F(BodeTest, EachCodePlotsItsQuantity)
{
    ASSERT_EQ(InsertListItem(zP, BODE_PANEL_SELECT2, -1, "bad", 12), 0);
    ASSERT_EQ(InsertListItem(zP, BODE_PANEL_SELECT2, -1, "negative", -1), 0);
    const double f = 1000.0, mag = 100.0, phase = -60.0;
    for (int code = -1; code <= 12; ++code) {
        SetCtrlVal(zP, BODE_PANEL_SELECT2, code);
        startSweep();
        bode_show(f, mag, phase);
        const auto pts = pointsOf(zP, BODE_PANEL_GRAPH2);
        ASSERT_EQ(pts.size(), 1u);
        const double expected = code < 0 || code > 11 ? 0.0 : im_get_quantity(f, mag, phase, code);
        EXPECT_EQ(pts[0].y1, expected) << "code " << code;
        EXPECT_EQ(bode_get_quantity(f, mag, phase, code), expected) << "code " << code;
    }
    EXPECT_EQ(bode_get_quantity(f, mag, phase, kImQuantityZ), mag);
    EXPECT_EQ(bode_get_quantity(f, mag, phase, kImQuantityPhase), phase);
}

// The axis controls act on both graphs, and only when committed.
TEST_F(BodeTest, AxisControlsTakeEffectOnCommit)
{
    bode_active(1);
    auto state = [](int graph, int axis) { return graphOf(zP, graph).axes[axis]; };

    // Set without a commit: nothing changes.
    SetCtrlVal(zP, BODE_PANEL_XAXIS_MODE, 0);
    SetCtrlVal(zP, BODE_PANEL_YAXIS_REVERSE, 1);
    EXPECT_EQ(state(BODE_PANEL_GRAPH1, VAL_XAXIS).mapMode, VAL_LOG);
    EXPECT_FALSE(state(BODE_PANEL_GRAPH2, VAL_LEFT_YAXIS).reverse);

    ASSERT_EQ(hl::commit(zP, BODE_PANEL_XAXIS_MODE, 0), 0);
    ASSERT_EQ(hl::commit(zP, BODE_PANEL_YAXIS_MODE, 1), 0);
    hl::deliver();
    userPick(zP, BODE_PANEL_XAXIS_REVERSE, 1);
    userPick(zP, BODE_PANEL_YAXIS_REVERSE, 1);
    for (int g : {BODE_PANEL_GRAPH1, BODE_PANEL_GRAPH2}) {
        EXPECT_EQ(state(g, VAL_XAXIS).mapMode, VAL_LINEAR);
        EXPECT_EQ(state(g, VAL_LEFT_YAXIS).mapMode, VAL_LOG);
        EXPECT_TRUE(state(g, VAL_XAXIS).reverse);
        EXPECT_TRUE(state(g, VAL_LEFT_YAXIS).reverse);
    }
    ASSERT_EQ(hl::commit(zP, BODE_PANEL_XAXIS_MODE, 1), 0);
    hl::deliver();
    userPick(zP, BODE_PANEL_YAXIS_REVERSE, 0);
    for (int g : {BODE_PANEL_GRAPH1, BODE_PANEL_GRAPH2}) {
        EXPECT_EQ(state(g, VAL_XAXIS).mapMode, VAL_LOG);
        EXPECT_FALSE(state(g, VAL_LEFT_YAXIS).reverse);
    }
}

TEST_F(BodeTest, ClickReadsTheCursorUnlessASweepRuns)
{
    startSweep();
    sweep(2);
    bode_active(1);
    ASSERT_EQ(hl::clickGraph(zP, BODE_PANEL_GRAPH2, 123.0, -45.5), 0);
    hl::deliver();
    EXPECT_EQ(numberOf(zP, BODE_PANEL_X2), 123.0);
    EXPECT_EQ(numberOf(zP, BODE_PANEL_Y2), -45.5);
    EXPECT_EQ(numberOf(zP, BODE_PANEL_X1), freqAt(1));  // the other graph's read-outs stay

    sweepRunning = 1;
    ASSERT_EQ(hl::clickGraph(zP, BODE_PANEL_GRAPH1, 7.0, 8.0), 0);
    hl::deliver();
    EXPECT_EQ(numberOf(zP, BODE_PANEL_X1), freqAt(1));
    EXPECT_EQ(numberOf(zP, BODE_PANEL_Y1), magAt(1));
}

TEST_F(BodeTest, HiddenWindowStillDrawsAndCloseGoesToTheApplication)
{
    startSweep();
    sweep(4);
    EXPECT_FALSE(ui::panel(zP)->visible);
    EXPECT_EQ(pointsOf(zP, BODE_PANEL_GRAPH1).size(), 4u);

    bode_active(1);
    EXPECT_TRUE(ui::panel(zP)->visible);
    ASSERT_EQ(hl::closePanel(zP), 0);
    hl::deliver();
    ASSERT_EQ(closeCalls.size(), 1u);
    EXPECT_EQ(closeCalls[0], (CloseCall{"bode_stop", zP, EVENT_CLOSE}));
    bode_active(0);
    EXPECT_FALSE(ui::panel(zP)->visible);
    bode_active(2);  // only 1 shows
    EXPECT_FALSE(ui::panel(zP)->visible);

    bode_quit();
    EXPECT_EQ(zP, -1);
    bode_show(1.0, 1.0, 1.0);  // nothing to draw on
    EXPECT_TRUE(ui::panelHandles().empty());
}

}  // namespace
