// Host cost of one sweep point in the display windows, headless (model only):
// meter_show + vc_show + bode_show + nyqust_show, with ten traces of 1000
// points already on the Bode and Nyquist graphs.
//
// Baseline, in the same run: the bare toolkit calls those four make for one
// point (the same plots and read-out values, nothing computed or looked up),
// so the ratio is what the display logic adds to the toolkit's own cost.  The
// whole host path per sweep point has a budget of 2 ms; the share of it that
// the displays take is printed too.

#include "displays/bode.h"
#include "displays/displays.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "ui/model.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTraces = 10;
constexpr int kPointsPerTrace = 1000;
constexpr int kSamples = 5000; // points measured (five more traces)
constexpr double kBudgetUs = 2000.0; // the whole host path, per sweep point

struct Figures {
    double median = 0, p99 = 0, baseMedian = 0, baseP99 = 0;
    std::size_t bodePlots = 0, nyqPlots = 0;
} figures;

int noClose(int, int, void*, int, int) { return 0; }
int noSweep() { return 0; }

std::pair<double, double> medianP99(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

// One point of a battery-like sweep, by index within a trace.
struct Point {
    double f, mag, phase, va, vp, ia, ip;
};
Point pointAt(int i, int trace)
{
    const double f = 0.1 * std::pow(10.0, 5.0 * i / kPointsPerTrace);
    const double mag = 0.012 + 0.03 / (1.0 + f / (3.0 + trace));
    const double phase = -30.0 * std::sin(3.14159265 * i / kPointsPerTrace);
    return {f, mag, phase, mag * 0.5, phase, 0.5, 0.0};
}

void setUp()
{
    ui::resetForTests();
    ifcPanel_register_resource();
    displays_register_callbacks();
    for (const char* name : {"bode_stop", "nyqust_stop", "vc_stop", "meter_stop"})
        ui_register_panel_callback(name, noClose);
    displays_set_sweep_probe(noSweep);
    meter_open();
    nyqust_open();
    vc_open();
    bode_open();
    bode_reset();
    nyqust_reset();
    for (int t = 0; t < kTraces; ++t) {
        bode_clear();
        nyqust_clear();
        for (int i = 0; i < kPointsPerTrace; ++i) {
            const Point p = pointAt(i, t);
            bode_show(p.f, p.mag, p.phase);
            nyqust_show(p.mag, p.phase);
        }
    }
}

void tearDown()
{
    bode_quit();
    nyqust_quit();
    vc_quit();
    meter_quit();
    ui::resetForTests();
}

void BM_DisplaysPerPoint(benchmark::State& state)
{
    std::vector<double> samples, base;
    samples.reserve(kSamples);
    base.reserve(kSamples);
    for (auto _ : state) {
        setUp();
        figures.bodePlots = ui::panel(zP)->control(BODE_PANEL_GRAPH1)->graph.plots.size();
        figures.nyqPlots = ui::panel(nyP)->control(NYQUST_PANEL_GRAPH)->graph.plots.size();
        vc_clear();
        for (int k = 0; k < kSamples; ++k) {
            const int i = k % kPointsPerTrace;
            if (i == 0) {
                vc_clear();
                bode_clear();
                nyqust_clear();
            }
            const Point p = pointAt(i, kTraces + k / kPointsPerTrace);
            const auto t0 = Clock::now();
            meter_show(p.va, p.vp, p.ia, p.ip, p.mag, p.phase, p.f, 1.0);
            vc_show(p.f, p.va, p.vp, p.ia, p.ip);
            bode_show(p.f, p.mag, p.phase);
            nyqust_show(p.mag, p.phase);
            samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }

        // Baseline: the same toolkit calls with the values already at hand.
        for (int k = 0; k < kSamples; ++k) {
            const int i = k % kPointsPerTrace;
            if (i == 0)
                vc_clear();
            const Point p = pointAt(i, kTraces + 5 + k / kPointsPerTrace);
            const auto t0 = Clock::now();
            for (int c = METER_PANEL_QD; c <= METER_PANEL_DC; ++c)
                SetCtrlVal(meterP, c, p.mag);
            SetCtrlVal(meterP, METER_PANEL_COMPONENT, "+1.234uF");
            for (int g : {VC_PANEL_GRAPH1, VC_PANEL_GRAPH2}) {
                for (int color : {VAL_BLUE, VAL_RED}) {
                    PlotPoint(vcP, g, p.f, p.va, VAL_SOLID_CIRCLE, color);
                    PlotLine(vcP, g, p.f, p.va, p.f, p.va, color);
                }
            }
            for (int c = VC_PANEL_X1; c <= VC_PANEL_Y2; ++c)
                SetCtrlVal(vcP, c, p.f);
            for (int g : {BODE_PANEL_GRAPH1, BODE_PANEL_GRAPH2}) {
                PlotPoint(zP, g, p.f, p.mag, VAL_EMPTY_CIRCLE, VAL_RED);
                PlotLine(zP, g, p.f, p.mag, p.f, p.mag, VAL_RED);
            }
            for (int c = BODE_PANEL_X1; c <= BODE_PANEL_Y2; ++c)
                SetCtrlVal(zP, c, p.f);
            PlotPoint(nyP, NYQUST_PANEL_GRAPH, p.mag, p.phase, VAL_EMPTY_CIRCLE, VAL_RED);
            PlotLine(nyP, NYQUST_PANEL_GRAPH, p.mag, p.phase, p.mag, p.phase, VAL_RED);
            SetCtrlVal(nyP, NYQUST_PANEL_R, p.mag);
            SetCtrlVal(nyP, NYQUST_PANEL_X, p.phase);
            base.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        tearDown();
    }
    std::tie(figures.median, figures.p99) = medianP99(samples);
    std::tie(figures.baseMedian, figures.baseP99) = medianP99(base);
    state.counters["median_us"] = figures.median;
    state.counters["p99_us"] = figures.p99;
    state.counters["calls_median_us"] = figures.baseMedian;
    state.counters["ratio"] = figures.baseMedian > 0 ? figures.median / figures.baseMedian : 0.0;
    state.counters["budget_share"] = figures.median / kBudgetUs;
}
BENCHMARK(BM_DisplaysPerPoint)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (figures.median > 0)
        std::printf("displays per sweep point (meter+V&C+Bode+Nyquist, %d traces x %d points on the graphs "
                    "beforehand, %zu plots on a Bode graph, %zu on the Nyquist graph): median %.2f us, p99 %.2f us; "
                    "the same toolkit calls alone: median %.2f us, p99 %.2f us; ratio %.2f; "
                    "%.3f%% of the 2 ms budget\n",
            kTraces, kPointsPerTrace, figures.bodePlots, figures.nyqPlots, figures.median, figures.p99,
            figures.baseMedian, figures.baseP99,
            figures.baseMedian > 0 ? figures.median / figures.baseMedian : 0.0,
            100.0 * figures.median / kBudgetUs);
    return 0;
}
