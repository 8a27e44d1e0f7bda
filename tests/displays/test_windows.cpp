// What the four display windows share: a failed panel load, the sweep probe,
// and panel resources whose initial graph state matches their controls.
#include "tests/displays/displays_fixture.h"

#include <functional>

namespace {

using namespace displaytest;

struct Window {
    const char* name;
    std::function<int()> open;
    std::function<void(int)> active;
    std::function<void()> feed;    // every other operation with data
    std::function<int()> handle;
    std::function<int()> count;    // points stored, or -1 where none are kept
    std::function<int()> trace;    // trace index, or -1 where there is none
    std::function<void()> quit;
};

std::vector<Window> windows()
{
    return {
        {"bode", bode_open, bode_active,
         [] {
             bode_clear();
             bode_show(10.0, 1.0, 2.0);
             bode_reset();
             bode_show(10.0, 1.0, 2.0);
             bode_clear();
         },
         [] { return zP; }, bode_point_count, bode_trace_index, bode_quit},
        {"nyqust", nyqust_open, nyqust_active,
         [] {
             nyqust_clear();
             nyqust_show(1.0, 2.0);
             nyqust_reset();
             nyqust_show(1.0, 2.0);
         },
         [] { return nyP; }, nyqust_point_count, nyqust_trace_index, nyqust_quit},
        {"vc", vc_open, vc_active,
         [] {
             vc_clear();
             vc_show(1.0, 2.0, 3.0, 4.0, 5.0);
         },
         [] { return vcP; }, [] { return -1; }, [] { return -1; }, vc_quit},
        {"meter", meter_open, meter_active,
         [] { meter_show(1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0); },
         [] { return meterP; }, [] { return -1; }, [] { return -1; }, meter_quit},
    };
}

// Without the application's close callback the panel cannot load; every
// operation then does nothing, and a later open with the callback works.
TEST_F(DisplaysTest, FailedPanelLoadLeavesEveryOperationInert)
{
    for (const Window& w : windows()) {
        SCOPED_TRACE(w.name);
        ui::resetForTests();
        ifcPanel_register_resource();
        displays_register_callbacks();

        const int countBefore = w.count();
        const int traceBefore = w.trace();
        EXPECT_EQ(w.open(), 0);
        EXPECT_LT(w.handle(), 0);
        w.feed();
        w.active(0);
        w.active(1);  // tries to show a panel that is not there
        EXPECT_EQ(w.count(), countBefore);
        EXPECT_EQ(w.trace(), traceBefore);
        EXPECT_TRUE(ui::panelHandles().empty());
        EXPECT_LT(w.handle(), 0);

        registerWindowCallbacks();
        EXPECT_EQ(w.open(), 1);
        EXPECT_GE(w.handle(), 0);
        w.active(1);
        EXPECT_TRUE(ui::panel(w.handle())->visible);
        w.quit();
        EXPECT_EQ(w.handle(), -1);
    }
}

TEST_F(DisplaysTest, SweepProbeIsAskedEachTime)
{
    displays_set_sweep_probe(nullptr);
    EXPECT_EQ(displays_sweep_on(), 0);
    static int calls = 0;
    displays_set_sweep_probe([] { return ++calls % 2 ? 5 : 0; });
    EXPECT_EQ(displays_sweep_on(), 1);
    EXPECT_EQ(displays_sweep_on(), 0);
    EXPECT_EQ(calls, 2);
}

// Opening applies only some axis controls, so the graphs in the resource
// must already look the way the other controls' defaults say: committing
// every axis control of a freshly opened window changes nothing.
TEST_F(DisplaysTest, ResourceGraphsMatchTheirAxisControls)
{
    struct Axes {
        const char* name;
        int panel;
        std::vector<int> graphs;
        std::vector<int> controls;
        CtrlCallbackPtr callback;
    };
    ASSERT_EQ(bode_open(), 1);
    ASSERT_EQ(nyqust_open(), 1);
    ASSERT_EQ(vc_open(), 1);
    const Axes all[] = {
        {"bode", zP, {BODE_PANEL_GRAPH1, BODE_PANEL_GRAPH2},
         {BODE_PANEL_XAXIS_MODE, BODE_PANEL_YAXIS_MODE, BODE_PANEL_XAXIS_REVERSE, BODE_PANEL_YAXIS_REVERSE},
         bodeaxisCB},
        {"nyqust", nyP, {NYQUST_PANEL_GRAPH}, {NYQUST_PANEL_XAXIS_REVERSE, NYQUST_PANEL_YAXIS_REVERSE},
         nyqustaxisCB},
        {"vc", vcP, {VC_PANEL_GRAPH1, VC_PANEL_GRAPH2},
         {VC_PANEL_XAXIS_MODE, VC_PANEL_YAXIS_MODE, VC_PANEL_XAXIS_REVERSE, VC_PANEL_YAXIS_REVERSE},
         vcaxisCB},
    };
    auto snapshot = [](int panel, int graph) {
        const ui::Graph& g = graphOf(panel, graph);
        return std::vector<int>{g.axes[VAL_XAXIS].mapMode, g.axes[VAL_LEFT_YAXIS].mapMode,
                                g.axes[VAL_XAXIS].reverse, g.axes[VAL_LEFT_YAXIS].reverse};
    };
    for (const Axes& a : all) {
        SCOPED_TRACE(a.name);
        std::vector<std::vector<int>> before;
        for (int g : a.graphs)
            before.push_back(snapshot(a.panel, g));
        for (int c : a.controls)
            a.callback(a.panel, c, EVENT_COMMIT, nullptr, 0, 0);
        for (std::size_t i = 0; i < a.graphs.size(); ++i)
            EXPECT_EQ(snapshot(a.panel, a.graphs[i]), before[i]);
    }
}

TEST_F(DisplaysTest, CallbacksActOnCommitOnly)
{
    ASSERT_EQ(bode_open(), 1);
    ASSERT_EQ(nyqust_open(), 1);
    SetCtrlVal(zP, BODE_PANEL_XAXIS_MODE, 0);
    bodeaxisCB(zP, BODE_PANEL_XAXIS_MODE, EVENT_VAL_CHANGED, nullptr, 0, 0);
    EXPECT_EQ(graphOf(zP, BODE_PANEL_GRAPH1).axes[VAL_XAXIS].mapMode, VAL_LOG);
    SetCtrlVal(nyP, NYQUST_PANEL_YAXIS_REVERSE, 0);
    nyqustaxisCB(nyP, NYQUST_PANEL_YAXIS_REVERSE, EVENT_LEFT_CLICK, nullptr, 0, 0);
    EXPECT_TRUE(graphOf(nyP, NYQUST_PANEL_GRAPH).axes[VAL_LEFT_YAXIS].reverse);
    SetGraphCursor(zP, BODE_PANEL_GRAPH1, 1, 5.0, 6.0);
    bodeCB(zP, BODE_PANEL_GRAPH1, EVENT_LEFT_CLICK, nullptr, 0, 0);
    EXPECT_EQ(numberOf(zP, BODE_PANEL_X1), 0.0);
    bodeCB(zP, BODE_PANEL_GRAPH1, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(numberOf(zP, BODE_PANEL_X1), 5.0);
}

}  // namespace
