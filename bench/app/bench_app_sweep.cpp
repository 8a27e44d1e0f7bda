// The measurement run's host cost against the in-process simulator over
// loopback TCP (readings ready at once, no pause before the poll), on the
// headless driver, or with IMBENCH_BENCH_QT in the Qt renderer (offscreen),
// where each point is also painted into the shown windows:
//  - one sweep point (readiness, reading, decoding, meter, log, V&C, Bode and
//    Nyquist graphs, next frequency sent and read back) with ten traces of
//    1000 points already on the Bode and Nyquist graphs, against the four bare
//    exchanges of a point through ifp_send_query;
//  - CPU of the idle main loop (MEASURE off) of a running measurement tool,
//    against an idle poll() loop of the same wall time.

#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/displays.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "sim/sim.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/debug.h"
#include "ui/resources/ifcPanel.h"
#include "util/kv_util.h"

#ifdef IMBENCH_BENCH_QT
#include "ui/qt/qt_renderer.h"
#endif

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace hl = ui::headless;

constexpr int kTraces = 10;
constexpr int kTracePoints = 1000;
constexpr auto kIdleRun = std::chrono::seconds(3);

std::unique_ptr<sim::Simulator> g_sim;
std::string g_address;

bool startSimulator()
{
    for (int host = 1; host < 255; ++host) {
        sim::Options o;
        o.address = "127.35.0." + std::to_string(host);
        o.udp = false;
        o.pty = false;
        o.gpib = false;
        o.timeScale = 0.0; // readings ready at once
        auto s = std::make_unique<sim::Simulator>(o);
        if (s->start()) {
            g_sim = std::move(s);
            g_address = o.address;
            return true;
        }
    }
    return false;
}

bool openLink()
{
    ifp_active(1);
    ifp_select_link(IO_TCP, g_address.c_str());
    hl::commit(ifp_panel(), IFP_PANEL_OPEN, 1);
    hl::deliver();
    return ifp_get_ifready() == 1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double percentile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
}

double threadCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
        static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

struct Figures {
    double pointMedian = 0, pointP90 = 0, pointCpuMedian = 0;
    double baseMedian = 0, baseP90 = 0, baseCpuMedian = 0;
    double loopCpu = 0, pollCpu = 0;
} figures;

// ---- one sweep point ---------------------------------------------------------------

void BM_Baseline_PointExchanges(benchmark::State& state)
{
    ui::resetForTests();
    ifc_register_all();
    if (!openLink()) {
        state.SkipWithError("no link to the simulator");
        return;
    }
    char reply[IFC_VAL_REPLY_SIZE];
    std::vector<double> us;
    std::vector<double> cpuUs;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const double c0 = threadCpuSeconds();
        ifp_send_query("IM:MEAS:READY?", reply, sizeof reply);
        ifp_send_query("IM:MEAS:VAL?", reply, sizeof reply);
        ifp_send_query("IM:OUTP:SINE:FREQ 1000.000000", nullptr, 0);
        ifp_send_query("IM:OUTP:SINE:FREQ?", reply, sizeof reply);
        cpuUs.push_back((threadCpuSeconds() - c0) * 1e6);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    figures.baseMedian = median(us);
    figures.baseCpuMedian = median(cpuUs);
    state.counters["cpu_median_us"] = figures.baseCpuMedian;
    figures.baseP90 = percentile(us, 0.9);
    state.counters["median_us"] = figures.baseMedian;
    state.counters["p90_us"] = figures.baseP90;
    ifp_quit();
}
BENCHMARK(BM_Baseline_PointExchanges)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_SweepPoint(benchmark::State& state)
{
    ui::resetForTests();
    ifc_register_all();
    if (!openLink()) {
        state.SkipWithError("no link to the simulator");
        return;
    }
    ifc_set_read_wait_ticks(0);
    ifc_measurement_start();
    hl::deliver();
    if (ifcP < 0) {
        state.SkipWithError("the measurement run did not start");
        return;
    }
    SetCtrlVal(ifcP, MAIN_PANEL_BODE_GRAPH, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_NYQUST_GRAPH, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_VC_GRAPH, 1);
    for (int control : {MAIN_PANEL_BODE_GRAPH, MAIN_PANEL_NYQUST_GRAPH, MAIN_PANEL_VC_GRAPH})
        panel_tog_service(ifcP, control, EVENT_COMMIT, nullptr, 0, 0);
    // A linear sweep that does not end within the run.
    SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 10.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 100000.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STEP, 0.01);
    SetCtrlVal(ifcP, MAIN_PANEL_SWEEP, 1);
    sweepCB(ifcP, MAIN_PANEL_SWEEP, EVENT_COMMIT, nullptr, 0, 0);

    // Ten earlier sweeps of 1000 points on Bode and Nyquist, as a REPEAT run leaves them.
    for (int t = 0; t < kTraces; ++t) {
        bode_clear();
        nyqust_clear();
        for (int i = 0; i < kTracePoints; ++i) {
            const double f = std::pow(10.0, -1.0 + 6.0 * i / kTracePoints);
            const double z = 0.02 + 0.015 / (1.0 + f / 7.0) + 0.001 * t;
            const double phase = -40.0 * std::sin(std::log10(f) + t * 0.1);
            bode_show(f, z, phase);
            nyqust_show(z, phase);
        }
    }
    bode_clear();
    nyqust_clear();

#ifdef IMBENCH_BENCH_QT
    // The windows on screen, painted once with their ten traces.
    for (int p : {ifcP, zP, nyP, vcP})
        DisplayPanel(p);
    for (int i = 0; i < 20; ++i)
        ProcessSystemEvents();
#endif

    std::vector<double> us;
    std::vector<double> cpuUs;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const double c0 = threadCpuSeconds();
        readBack();
#ifdef IMBENCH_BENCH_QT
        // The renderer takes the new plots and paints the windows.
        ProcessSystemEvents();
#endif
        cpuUs.push_back((threadCpuSeconds() - c0) * 1e6);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    figures.pointMedian = median(us);
    figures.pointP90 = percentile(us, 0.9);
    figures.pointCpuMedian = median(cpuUs);
    state.counters["median_us"] = figures.pointMedian;
    state.counters["p90_us"] = figures.pointP90;
    state.counters["cpu_median_us"] = figures.pointCpuMedian;
    state.counters["points_logged"] = static_cast<double>(ifc_log_count());
    const ui::Panel* bode = ui::panel(zP);
    state.counters["bode_plots"] =
        bode ? static_cast<double>(bode->control(BODE_PANEL_GRAPH1)->graph.plots.size()) : 0.0;
    if (ifc_log_count() != state.iterations())
        state.SkipWithError("not every call took a reading");
    ifc_measurement_end(false);
    ifc_set_read_wait_ticks(IFC_READ_WAIT_TICKS);
    ifp_quit();
}
BENCHMARK(BM_SweepPoint)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// ---- the idle main loop --------------------------------------------------------------

void BM_IdleMainLoopCpu(benchmark::State& state)
{
    for (auto _ : state) {
        ui::resetForTests();
        ifc_register_all();
        // The baseline: an idle poll() loop of the same wall time.
        {
            const double cpu0 = threadCpuSeconds();
            const auto start = Clock::now();
            while (Clock::now() - start < kIdleRun)
                ::poll(nullptr, 0, 1);
            const double wall = std::chrono::duration<double>(Clock::now() - start).count();
            figures.pollCpu = 100.0 * (threadCpuSeconds() - cpu0) / wall;
        }
        // The measurement tool, link open, main panel up, MEASURE off.
        std::atomic<int> phase{0};
        double cpu0 = 0, cpu1 = 0;
        Clock::time_point t0, t1;
        std::atomic<bool> done{false};
        std::thread driver([&] {
            ui::postAction([] {
                SetCtrlVal(ifp_panel(), IFP_PANEL_DEVMODE, 0);
                ifp_select_link(IO_TCP, g_address.c_str());
                hl::commit(ifp_panel(), IFP_PANEL_OPEN, 1);
            });
            // Until the run is up, look every 20 ms; then leave the loop alone
            // (any posted action counts as activity) until the time is up.
            while (!done && phase == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ui::postAction([&] {
                    if (phase == 0 && ifcP >= 0 && ui::panel(ifcP) && ui::panel(ifcP)->visible) {
                        cpu0 = threadCpuSeconds();
                        t0 = Clock::now();
                        phase = 1;
                    }
                });
            }
            std::this_thread::sleep_for(kIdleRun);
            ui::postAction([&] {
                cpu1 = threadCpuSeconds();
                t1 = Clock::now();
                phase = 2;
                hl::closePanel(ifp_panel());
            });
        });
        static char name[] = "bench_app_sweep";
        static char* argv[] = {name, nullptr};
        ifc_main(1, argv);
        done = true;
        driver.join();
        const double wall = std::chrono::duration<double>(t1 - t0).count();
        figures.loopCpu = wall > 0 ? 100.0 * (cpu1 - cpu0) / wall : -1.0;
    }
    state.counters["loop_cpu_pct"] = figures.loopCpu;
    state.counters["poll_cpu_pct"] = figures.pollCpu;
}
BENCHMARK(BM_IdleMainLoopCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    char dir[] = "/tmp/imbench-bench-app-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    setenv("IMBENCH_PROJECT_DIR", dir, 1);
    if (!startSimulator()) {
        std::fprintf(stderr, "bench_app_sweep: no loopback address for the simulator\n");
        return 1;
    }
#ifdef IMBENCH_BENCH_QT
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!ui_qt_install(argc, argv)) {
        std::fprintf(stderr, "bench_app_sweep_qt: the Qt renderer cannot start\n");
        return 1;
    }
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nsweep point: median %.0f us (p90 %.0f us, CPU %.0f us); bare exchanges: "
                "median %.0f us (p90 %.0f us, CPU %.0f us); ratio %.2f\n",
        figures.pointMedian, figures.pointP90, figures.pointCpuMedian, figures.baseMedian,
        figures.baseP90, figures.baseCpuMedian,
        figures.baseMedian > 0 ? figures.pointMedian / figures.baseMedian : 0.0);
    std::printf("idle main loop (MEASURE off): %.2f%% of a core; idle poll(1 ms) loop: %.2f%%\n",
        figures.loopCpu, figures.pollCpu);
    g_sim.reset();
#ifdef IMBENCH_BENCH_QT
    ui_qt_uninstall();
#endif
    std::string cleanup = std::string(dir) + "/device.cfg";
    std::remove(cleanup.c_str());
    rmdir(dir);
    return 0;
}
