// The event loop with the Qt renderer installed (offscreen), a panel shown:
//  - CPU used by a loop that calls ProcessSystemEvents continuously with
//    nothing happening, against an idle poll() loop of the same wall time;
//  - latency from a mouse click posted to a button's widget by another thread
//    (Qt wakes up for it) to the button's callback, and from ui::postEvent on
//    another thread (the toolkit's queue, seen at the next idle wake-up) to the
//    callback.

#include "ui/model.h"
#include "ui/qt/qt_renderer.h"
#include "ui/qt/qt_widgets.h"
#include "ui/resource.h"
#include "ui/toolkit.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <poll.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdleRun = std::chrono::seconds(2);
constexpr int kSamples = 300;

double threadCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
        static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

template <class F>
double cpuPercent(F body)
{
    const double cpu0 = threadCpuSeconds();
    const auto start = Clock::now();
    while (Clock::now() - start < kIdleRun) body();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return 100.0 * (threadCpuSeconds() - cpu0) / wall;
}

struct Figures {
    double loopCpu = 0, pollCpu = 0;
    double qtMedian = 0, qtP99 = 0, qtMax = 0, postMedian = 0, postP99 = 0, postMax = 0;
} figures;

std::atomic<long long> postedAt{0};
std::atomic<int> received{0};
std::vector<double> latencies;

long long nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

int latencyCb(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT) return 0;
    latencies.push_back(static_cast<double>(nowNs() - postedAt.load()) * 1e-3);
    received.fetch_add(1);
    return 0;
}

int panel()
{
    static int h = 0;
    if (h) return h;
    ui_register_ctrl_callback("latencyCb", latencyCb);
    UiCtrlDef button;
    button.id = 1;
    button.kind = UiCtrlKind::Button;
    button.dataType = VAL_NO_TYPE;
    button.label = "Go";
    button.top = 10;
    button.left = 10;
    button.callback = "latencyCb";
    UiPanelDef def;
    def.id = 1;
    def.title = "Loop";
    def.controls.push_back(button);
    ui_register_resource(UiResourceDef{"benchLoop.uir", {def}, {}});
    h = LoadPanel(0, "benchLoop.uir", 1);
    DisplayPanel(h);
    for (int i = 0; i < 10; ++i) ProcessSystemEvents();
    return h;
}

void BM_IdleLoopCpu(benchmark::State& state)
{
    panel();
    for (auto _ : state) {
        figures.pollCpu = cpuPercent([] { ::poll(nullptr, 0, 1); });
        figures.loopCpu = cpuPercent([] { ProcessSystemEvents(); });
    }
    state.counters["loop_cpu_pct"] = figures.loopCpu;
    state.counters["poll_cpu_pct"] = figures.pollCpu;
}
BENCHMARK(BM_IdleLoopCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The Qt renderer's idle wait on its own, for waits longer than the one
// ProcessSystemEvents uses, against poll() with the same timeout.
std::vector<std::string> pumpLines;

void BM_IdlePumpCpu(benchmark::State& state)
{
    panel();
    const int waitMs = static_cast<int>(state.range(0));
    double pumpCpu = 0, pollCpu = 0;
    for (auto _ : state) {
        pollCpu = cpuPercent([waitMs] { ::poll(nullptr, 0, waitMs); });
        pumpCpu = cpuPercent([waitMs] { ui::renderer()->pump(waitMs); });
    }
    state.counters["pump_cpu_pct"] = pumpCpu;
    state.counters["poll_cpu_pct"] = pollCpu;
    char line[160];
    std::snprintf(line, sizeof line, "idle Qt pump(%d ms) loop: %.3f%% of a core; poll(%d ms) loop: %.3f%%", waitMs,
        pumpCpu, waitMs, pollCpu);
    pumpLines.emplace_back(line);
}
BENCHMARK(BM_IdlePumpCpu)->Arg(1)->Arg(2)->Arg(5)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

std::vector<double> measure(const std::function<void()>& post)
{
    latencies.clear();
    received = 0;
    std::thread t([&] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> pauseUs(300, 3000);
        for (int i = 0; i < kSamples; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(rng)));
            postedAt = nowNs();
            post();
            while (received.load() <= i) std::this_thread::yield();
        }
    });
    while (received.load() < kSamples) ProcessSystemEvents();
    t.join();
    std::sort(latencies.begin(), latencies.end());
    return latencies;
}

void BM_QtClickToCallbackLatency(benchmark::State& state)
{
    const int h = panel();
    QWidget* button = ui::qt::controlWidget(h, 1);
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    const QPointF global = button->mapToGlobal(at);
    // Made here: the device object must belong to the GUI thread.
    const QPointingDevice* mouse = QPointingDevice::primaryPointingDevice();
    for (auto _ : state) {
        const auto v = measure([&] {
            // Posting from another thread is thread-safe and wakes Qt's dispatcher.
            QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, mouse));
            QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier, mouse));
        });
        figures.qtMedian = v[v.size() / 2];
        figures.qtP99 = v[v.size() * 99 / 100];
        figures.qtMax = v.back();
    }
    state.counters["median_us"] = figures.qtMedian;
    state.counters["p99_us"] = figures.qtP99;
    state.counters["max_us"] = figures.qtMax;
}
BENCHMARK(BM_QtClickToCallbackLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PostEventToCallbackLatency(benchmark::State& state)
{
    const int h = panel();
    for (auto _ : state) {
        const auto v = measure([h] { ui::postEvent(h, 1, EVENT_COMMIT); });
        figures.postMedian = v[v.size() / 2];
        figures.postP99 = v[v.size() * 99 / 100];
        figures.postMax = v.back();
    }
    state.counters["median_us"] = figures.postMedian;
    state.counters["p99_us"] = figures.postP99;
    state.counters["max_us"] = figures.postMax;
}
BENCHMARK(BM_PostEventToCallbackLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int qtArgc = 1;
    static char name[] = "bench_ui_qt_loop";
    static char* qtArgv[] = {name, nullptr};
    if (!ui_qt_install(qtArgc, qtArgv)) return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (figures.loopCpu > 0 || figures.pollCpu > 0)
        std::printf("idle ProcessSystemEvents loop (Qt): %.3f%% of a core (goal <= 1%%); idle poll() loop: %.3f%%\n",
            figures.loopCpu, figures.pollCpu);
    for (const std::string& l : pumpLines) std::printf("%s\n", l.c_str());
    if (figures.qtMedian > 0)
        std::printf("Qt click -> callback: median %.0f us, p99 %.0f us, max %.0f us (goal <= 10 ms)\n",
            figures.qtMedian, figures.qtP99, figures.qtMax);
    if (figures.postMedian > 0)
        std::printf("postEvent from a thread -> callback: median %.0f us, p99 %.0f us, max %.0f us\n",
            figures.postMedian, figures.postP99, figures.postMax);
    ui_qt_uninstall();
    return 0;
}
