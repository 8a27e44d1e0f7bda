// The event loop's cost and responsiveness:
//  - CPU used by a loop that calls ProcessSystemEvents continuously with
//    nothing happening, against an idle poll() loop of the same wall time;
//  - latency from postEvent on another thread to the control callback,
//    against a bare mutex + condition-variable hand-off between two threads.

#include "ui/model.h"
#include "ui/resource.h"
#include "ui/toolkit.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdleRun = std::chrono::seconds(2);
constexpr int kSamples = 400;

double threadCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
        static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

// Percent of one core used by body() called until the wall time is up.
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
    double loopCpu = 0, pollCpu = 0, poll2Cpu = 0;
    double median = 0, p99 = 0, baseMedian = 0, baseP99 = 0;
} figures;

void BM_IdleLoopCpu(benchmark::State& state)
{
    for (auto _ : state) {
        figures.pollCpu = cpuPercent([] { ::poll(nullptr, 0, 1); });
        // What a 2 ms idle wait would cost, for comparison.
        figures.poll2Cpu = cpuPercent([] { ::poll(nullptr, 0, 2); });
        figures.loopCpu = cpuPercent([] { ProcessSystemEvents(); });
    }
    state.counters["loop_cpu_pct"] = figures.loopCpu;
    state.counters["poll_cpu_pct"] = figures.pollCpu;
    state.counters["poll2ms_cpu_pct"] = figures.poll2Cpu;
    state.counters["ratio"] = figures.pollCpu > 0 ? figures.loopCpu / figures.pollCpu : 0;
}
BENCHMARK(BM_IdleLoopCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- latency ----------------------------------------------------------------------

std::atomic<long long> postedAt{0}; // ns since epoch of the steady clock
std::atomic<int> received{0};
std::vector<double> latencies;

long long nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

int latencyCb(int, int, int, void*, int, int)
{
    latencies.push_back(static_cast<double>(nowNs() - postedAt.load()) * 1e-3);
    received.fetch_add(1);
    return 0;
}

std::pair<double, double> medianP99(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

// Random pauses so posts land while the loop sits in its idle wait.
template <class Post>
void poster(Post post, const std::atomic<int>& done)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> pauseUs(300, 3000);
    for (int i = 0; i < kSamples; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(rng)));
        postedAt = nowNs();
        post();
        while (done.load() <= i) std::this_thread::yield();
    }
}

void BM_PostToCallbackLatency(benchmark::State& state)
{
    ui_register_ctrl_callback("latencyCb", latencyCb);
    UiCtrlDef button;
    button.id = 1;
    button.kind = UiCtrlKind::Button;
    button.callback = "latencyCb";
    UiPanelDef panel;
    panel.id = 1;
    panel.controls.push_back(button);
    UiResourceDef res;
    res.file = "bench.uir";
    res.panels.push_back(panel);
    ui_register_resource(res);
    const int h = LoadPanel(0, "bench.uir", 1);

    for (auto _ : state) {
        latencies.clear();
        received = 0;
        std::thread t(
            poster<std::function<void()>>, [h] { ui::postEvent(h, 1, EVENT_COMMIT); }, std::cref(received));
        while (received.load() < kSamples) ProcessSystemEvents();
        t.join();
        std::tie(figures.median, figures.p99) = medianP99(latencies);

        // Baseline: the same hand-off with nothing but a mutex and a condition variable,
        // the waiter polling with the same 1 ms timeout.
        std::mutex m;
        std::condition_variable cv;
        bool flag = false;
        latencies.clear();
        std::atomic<int> got{0};
        std::thread b(
            poster<std::function<void()>>, [&] {
                {
                    std::lock_guard lock(m);
                    flag = true;
                }
                cv.notify_all();
            },
            std::cref(got));
        while (got.load() < kSamples) {
            std::unique_lock lock(m);
            cv.wait_for(lock, std::chrono::milliseconds(1), [&] { return flag; });
            if (flag) {
                flag = false;
                latencies.push_back(static_cast<double>(nowNs() - postedAt.load()) * 1e-3);
                got.fetch_add(1);
            }
        }
        b.join();
        std::tie(figures.baseMedian, figures.baseP99) = medianP99(latencies);
    }
    DiscardPanel(h);
    state.counters["median_us"] = figures.median;
    state.counters["p99_us"] = figures.p99;
    state.counters["cv_median_us"] = figures.baseMedian;
    state.counters["cv_p99_us"] = figures.baseP99;
}
BENCHMARK(BM_PostToCallbackLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (figures.pollCpu > 0 || figures.loopCpu > 0)
        std::printf("idle ProcessSystemEvents loop: %.3f%% of a core; idle poll() loop (1 ms): %.3f%%; ratio %.2f; "
                    "poll() with 2 ms: %.3f%%\n",
            figures.loopCpu, figures.pollCpu, figures.pollCpu > 0 ? figures.loopCpu / figures.pollCpu : 0.0,
            figures.poll2Cpu);
    if (figures.median > 0)
        std::printf("postEvent -> callback: median %.1f us, p99 %.1f us; "
                    "bare condition variable: median %.1f us, p99 %.1f us\n",
            figures.median, figures.p99, figures.baseMedian, figures.baseP99);
    return 0;
}
