// The graph control's drawing cost, against plain QPainter polylines of the
// same data in the same run:
//  - a full redraw of 10 traces x 1000 points with point markers and joining
//    lines (axes, grid and labels included) into an 800 x 500 image, against
//    filling an image of that size and drawing each trace as one polyline
//    (also after a change of data, when the autoscale bounds are scanned
//    again);
//  - adding one point and redrawing the shown graph widget at that size, with
//    the point inside the scale (the usual sweep step) and with the scale
//    changing each time (everything redrawn).

#include "ui/model.h"
#include "ui/qt/graph_view.h"
#include "ui/qt/qt_renderer.h"
#include "ui/qt/qt_widgets.h"
#include "ui/resource.h"
#include "ui/toolkit.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kTraces = 10;
constexpr int kPoints = 1000;
const QSize kSize(800, 500);
const int kStyles[kTraces] = {VAL_EMPTY_SQUARE, VAL_SOLID_SQUARE, VAL_ASTERISK, VAL_SOLID_DIAMOND, VAL_SIMPLE_DOT,
    VAL_EMPTY_CIRCLE, VAL_SOLID_CIRCLE, VAL_SMALL_CROSS, VAL_EMPTY_DIAMOND, VAL_SOLID_CIRCLE};
const int kColors[kTraces] = {VAL_RED, VAL_BLUE, VAL_DK_GREEN, VAL_MAGENTA, VAL_DK_CYAN,
    VAL_GRAY, VAL_DK_BLUE, VAL_DK_MAGENTA, VAL_DK_RED, VAL_BLACK};

// A sweep over 0.1 Hz .. 100 kHz by decades: ten noisy curves, plotted as a
// sweep plots them (each new point, then the line from the previous one).
struct Sweep {
    std::vector<double> f;
    std::vector<std::vector<double>> y; // [trace][point]
};

const Sweep& sweep()
{
    static const Sweep s = [] {
        Sweep w;
        std::mt19937 rng(7);
        std::normal_distribution<double> noise(0.0, 0.4);
        for (int i = 0; i < kPoints; ++i) w.f.push_back(0.1 * std::pow(10.0, 6.0 * i / (kPoints - 1)));
        w.y.resize(kTraces);
        for (int k = 0; k < kTraces; ++k)
            for (int i = 0; i < kPoints; ++i)
                w.y[k].push_back(10.0 * k + 6.0 * std::sin(std::log10(w.f[i]) * 1.3 + k) + noise(rng));
        return w;
    }();
    return s;
}

ui::Graph sweepGraph()
{
    const Sweep& s = sweep();
    ui::Graph g;
    g.axes[VAL_XAXIS].mapMode = VAL_LOG;
    g.axes[VAL_XAXIS].name = "Frequency (Hz)";
    g.axes[VAL_LEFT_YAXIS].name = "Amplitude";
    int handle = 1;
    for (int i = 0; i < kPoints; ++i)
        for (int k = 0; k < kTraces; ++k) {
            ui::Plot p;
            p.handle = handle++;
            p.x1 = s.f[i];
            p.y1 = s.y[k][i];
            p.style = kStyles[k];
            p.color = kColors[k];
            g.plots.push_back(p);
            if (i == 0) continue;
            ui::Plot l = p;
            l.handle = handle++;
            l.isLine = true;
            l.x1 = s.f[i - 1];
            l.y1 = s.y[k][i - 1];
            l.x2 = s.f[i];
            l.y2 = s.y[k][i];
            g.plots.push_back(l);
        }
    return g;
}

void BM_GraphFullRedraw(benchmark::State& state)
{
    const ui::Graph g = sweepGraph();
    ui::qt::GraphPainter painter(QApplication::font());
    for (auto _ : state) {
        painter.invalidate();
        benchmark::DoNotOptimize(painter.render(g, kSize).constBits());
    }
}
BENCHMARK(BM_GraphFullRedraw)->Unit(benchmark::kMicrosecond);

// The same after the data changed: the autoscale bounds are found again by a
// scan of every plot (two copies of the data with different handles, in turn).
void BM_GraphFullRedrawNewData(benchmark::State& state)
{
    ui::Graph a = sweepGraph();
    ui::Graph b = a;
    for (ui::Plot& p : b.plots) p.handle += 1000000;
    ui::qt::GraphPainter painter(QApplication::font());
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        benchmark::DoNotOptimize(painter.render(odd ? a : b, kSize).constBits());
    }
    if (painter.fullRedraws() < static_cast<int>(state.iterations())) state.SkipWithError("not redrawn each time");
}
BENCHMARK(BM_GraphFullRedrawNewData)->Unit(benchmark::kMicrosecond);

// The plain way to draw the same data: map each point with the graph's own
// axis mapping into a polygon per trace and draw it.
void drawBaseline(QImage& img, const ui::qt::AxisMap& xm, const ui::qt::AxisMap& ym, QPolygonF& poly)
{
    const Sweep& s = sweep();
    QPainter p(&img);
    p.fillRect(img.rect(), Qt::white);
    QPen pen;
    pen.setCosmetic(true);
    for (int k = 0; k < kTraces; ++k) {
        poly.clear();
        for (int i = 0; i < kPoints; ++i) poly << QPointF(xm.toPixel(s.f[i]), ym.toPixel(s.y[k][i]));
        pen.setColor(QColor::fromRgb(static_cast<QRgb>(kColors[k])));
        p.setPen(pen);
        p.drawPolyline(poly);
    }
}

void BM_PolylineBaseline(benchmark::State& state)
{
    ui::qt::GraphPainter painter(QApplication::font());
    painter.render(sweepGraph(), kSize);
    const ui::qt::AxisMap xm = painter.xMap(), ym = painter.yMap();
    QImage img(kSize, QImage::Format_ARGB32_Premultiplied);
    QPolygonF poly;
    for (auto _ : state) {
        drawBaseline(img, xm, ym, poly);
        benchmark::DoNotOptimize(img.constBits());
    }
}
BENCHMARK(BM_PolylineBaseline)->Unit(benchmark::kMicrosecond);

double threadCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) * 1e-3;
}

struct Paired {
    double redraw = 0, newData = 0, premapped = 0; // median ratios to the baseline
} paired;

double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// All drawings in turn within each round, so that a busy machine slows them
// alike; per round the ratio of thread CPU times to the baseline, and the
// median over the rounds.
void BM_RedrawOverBaselinePaired(benchmark::State& state)
{
    const Sweep& s = sweep();
    const ui::Graph a = sweepGraph();
    ui::Graph b = a;
    for (ui::Plot& p : b.plots) p.handle += 1000000;
    ui::qt::GraphPainter painter(QApplication::font()), changing(QApplication::font());
    painter.render(a, kSize);
    changing.render(a, kSize);
    const ui::qt::AxisMap xm = painter.xMap(), ym = painter.yMap();
    std::vector<QPolygonF> mapped(kTraces);
    for (int k = 0; k < kTraces; ++k)
        for (int i = 0; i < kPoints; ++i) mapped[k] << QPointF(xm.toPixel(s.f[i]), ym.toPixel(s.y[k][i]));
    QImage img(kSize, QImage::Format_ARGB32_Premultiplied);
    QPolygonF poly;
    std::vector<double> redraw, newData, premapped;
    bool odd = false;
    for (auto _ : state) {
        const double t0 = threadCpuUs();
        painter.invalidate();
        benchmark::DoNotOptimize(painter.render(a, kSize).constBits());
        const double t1 = threadCpuUs();
        odd = !odd;
        benchmark::DoNotOptimize(changing.render(odd ? b : a, kSize).constBits());
        const double t2 = threadCpuUs();
        drawBaseline(img, xm, ym, poly);
        benchmark::DoNotOptimize(img.constBits());
        const double t3 = threadCpuUs();
        {
            QPainter p(&img);
            p.fillRect(img.rect(), Qt::white);
            QPen pen;
            pen.setCosmetic(true);
            for (int k = 0; k < kTraces; ++k) {
                pen.setColor(QColor::fromRgb(static_cast<QRgb>(kColors[k])));
                p.setPen(pen);
                p.drawPolyline(mapped[k]);
            }
        }
        benchmark::DoNotOptimize(img.constBits());
        const double t4 = threadCpuUs();
        if (t3 > t2 && t4 > t3) {
            redraw.push_back((t1 - t0) / (t3 - t2));
            newData.push_back((t2 - t1) / (t3 - t2));
            premapped.push_back((t1 - t0) / (t4 - t3));
        }
    }
    paired = {median(redraw), median(newData), median(premapped)};
    state.counters["redraw"] = paired.redraw;
    state.counters["new_data"] = paired.newData;
    state.counters["vs_premapped"] = paired.premapped;
}
BENCHMARK(BM_RedrawOverBaselinePaired)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

// The same polylines with the mapping done beforehand: drawing alone.
void BM_PolylineBaselinePremapped(benchmark::State& state)
{
    const Sweep& s = sweep();
    ui::qt::GraphPainter painter(QApplication::font());
    painter.render(sweepGraph(), kSize);
    std::vector<QPolygonF> polys(kTraces);
    for (int k = 0; k < kTraces; ++k)
        for (int i = 0; i < kPoints; ++i) polys[k] << QPointF(painter.xMap().toPixel(s.f[i]), painter.yMap().toPixel(s.y[k][i]));
    QImage img(kSize, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&img);
        p.fillRect(img.rect(), Qt::white);
        QPen pen;
        pen.setCosmetic(true);
        for (int k = 0; k < kTraces; ++k) {
            pen.setColor(QColor::fromRgb(static_cast<QRgb>(kColors[k])));
            p.setPen(pen);
            p.drawPolyline(polys[k]);
        }
        p.end();
        benchmark::DoNotOptimize(img.constBits());
    }
}
BENCHMARK(BM_PolylineBaselinePremapped)->Unit(benchmark::kMicrosecond);

// ---- through the toolkit and the shown widget ---------------------------------------

int graphPanel()
{
    static int panel = 0;
    if (panel) return panel;
    UiCtrlDef graph;
    graph.id = 1;
    graph.kind = UiCtrlKind::Graph;
    graph.dataType = VAL_NO_TYPE;
    graph.top = 0;
    graph.left = 0;
    graph.width = kSize.width();
    graph.height = kSize.height();
    graph.xName = "Frequency (Hz)";
    graph.yName = "Amplitude";
    graph.xMapMode = VAL_LOG;
    UiPanelDef def;
    def.id = 1;
    def.title = "Graph";
    def.width = kSize.width();
    def.height = kSize.height();
    def.controls.push_back(graph);
    ui_register_resource(UiResourceDef{"benchGraph.uir", {def}, {}});
    panel = LoadPanel(0, "benchGraph.uir", 1);
    DisplayPanel(panel);
    const Sweep& s = sweep();
    for (int i = 0; i < kPoints; ++i)
        for (int k = 0; k < kTraces; ++k) {
            PlotPoint(panel, 1, s.f[i], s.y[k][i], kStyles[k], kColors[k]);
            if (i) PlotLine(panel, 1, s.f[i - 1], s.y[k][i - 1], s.f[i], s.y[k][i], kColors[k]);
        }
    ProcessSystemEvents();
    return panel;
}

void addPointAndRedraw(benchmark::State& state, bool rescale)
{
    const int panel = graphPanel();
    QWidget* w = ui::qt::controlWidget(panel, 1);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> decade(-0.9, 4.9), level(0.0, 90.0);
    int n = 0;
    for (auto _ : state) {
        if (rescale) // a different manual scale each time: the whole graph is drawn again
            SetAxisScalingMode(panel, 1, VAL_LEFT_YAXIS, VAL_MANUAL, -20.0 - (n++ % 2), 110.0);
        const double x = std::pow(10.0, decade(rng)), y = level(rng);
        const int point = PlotPoint(panel, 1, x, y, VAL_SOLID_CIRCLE, VAL_RED);
        const int line = PlotLine(panel, 1, x / 1.1, y - 1.0, x, y, VAL_RED);
        w->repaint();
        // Back to 10 x 1000 points, drawn and cached, for the next round.
        state.PauseTiming();
        DeleteGraphPlot(panel, 1, point, VAL_DELAYED_DRAW);
        DeleteGraphPlot(panel, 1, line, VAL_DELAYED_DRAW);
        w->repaint();
        state.ResumeTiming();
    }
    SetAxisScalingMode(panel, 1, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0);
}

void BM_AddPointAndRedraw(benchmark::State& state) { addPointAndRedraw(state, false); }
BENCHMARK(BM_AddPointAndRedraw)->Unit(benchmark::kMicrosecond);

void BM_AddPointRescaleAndRedraw(benchmark::State& state) { addPointAndRedraw(state, true); }
BENCHMARK(BM_AddPointRescaleAndRedraw)->Unit(benchmark::kMicrosecond);

class Collect : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> us, cpu;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            us[r.benchmark_name()] = r.GetAdjustedRealTime();
            cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int qtArgc = 1;
    static char name[] = "bench_ui_qt_graph";
    static char* qtArgv[] = {name, nullptr};
    if (!ui_qt_install(qtArgc, qtArgv)) return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Collect report;
    benchmark::RunSpecifiedBenchmarks(&report);
    benchmark::Shutdown();
    auto& t = report.us;
    auto& c = report.cpu;
    if (t.count("BM_GraphFullRedraw") && t.count("BM_PolylineBaseline") && t.count("BM_PolylineBaselinePremapped")) {
        std::printf("full redraw %d x %d points with markers and lines: %.0f us; polyline baseline %.0f us: "
                    "ratio %.2f (goal <= 1.5)\n",
            kTraces, kPoints, t["BM_GraphFullRedraw"], t["BM_PolylineBaseline"],
            t["BM_GraphFullRedraw"] / t["BM_PolylineBaseline"]);
        std::printf("  by CPU time: %.0f us vs %.0f us: ratio %.2f; against drawing alone (premapped) %.0f us: ratio %.2f\n",
            c["BM_GraphFullRedraw"], c["BM_PolylineBaseline"], c["BM_GraphFullRedraw"] / c["BM_PolylineBaseline"],
            c["BM_PolylineBaselinePremapped"], c["BM_GraphFullRedraw"] / c["BM_PolylineBaselinePremapped"]);
    }
    if (t.count("BM_GraphFullRedrawNewData"))
        std::printf("  full redraw after the data changed (bounds scanned again): %.0f us CPU, ratio %.2f to the baseline\n",
            c["BM_GraphFullRedrawNewData"], c["BM_GraphFullRedrawNewData"] / c["BM_PolylineBaseline"]);
    if (paired.redraw > 0)
        std::printf("paired rounds, median CPU-time ratio to the polyline baseline: full redraw %.2f (goal <= 1.5), "
                    "after a data change %.2f; full redraw to drawing alone (premapped) %.2f\n",
            paired.redraw, paired.newData, paired.premapped);
    if (t.count("BM_AddPointAndRedraw"))
        std::printf("add one point and redraw: %.2f ms (goal < 20 ms)\n", t["BM_AddPointAndRedraw"] / 1000.0);
    if (t.count("BM_AddPointRescaleAndRedraw"))
        std::printf("add one point, scale changes, full redraw: %.2f ms\n", t["BM_AddPointRescaleAndRedraw"] / 1000.0);
    ui_qt_uninstall();
    return 0;
}
