// The transport's cost per query against the simulated instrument, each link
// kind against a raw client doing the same exchange in the same run:
//  - TCP: io_write + io_read (and ifp_send_query through the interface panel)
//    against a blocking socket that sends the line and reads the three lines;
//  - UDP: io_write + io_read against a socket that sends the REQUEST and
//    reads CONFIRM and REPLY;
//  - pty (COM): io_write + io_read against the pty opened directly;
//  - the CPU a read costs while it waits out a 3000 ms time-out.
// Raw and transport exchanges alternate (one each per round, or in blocks
// where the link is exclusive), so load on the machine hits both alike.

#include "link/ifp.h"
#include "link/io.h"
#include "platform/portmap.h"
#include "sim/sim.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kAddr = "127.77.8.1";
constexpr const char* kQuery = "SYST:VERS?";
constexpr int kComPort = 12;
constexpr int kRounds = 4000;
constexpr int kWarmup = 200;
constexpr int kPtyBlocks = 8;
constexpr int kPtyBlock = 400;

sim::Simulator* g_sim = nullptr;

double micros(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::micro>(b - a).count();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void fail(const char* what)
{
    std::fprintf(stderr, "bench_link: %s\n", what);
    std::exit(1);
}

// ---- raw clients --------------------------------------------------------------------

// Reads until `lines` CR LF line ends have come.
bool readLines(int fd, int lines)
{
    char buf[512];
    int seen = 0;
    bool cr = false;
    while (seen < lines) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        for (ssize_t i = 0; i < n; ++i) {
            if (cr && buf[i] == '\n')
                ++seen;
            cr = buf[i] == '\r';
        }
    }
    return true;
}

int rawTcpConnect()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(IO_PORT);
    inet_pton(AF_INET, kAddr, &a.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        fail("raw TCP connect");
    return fd;
}

bool rawStreamQuery(int fd)
{
    const std::string line = std::string(kQuery) + "\r";
    if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        return false;
    return readLines(fd, 3); // OK, the reply, OK
}

struct RawUdp {
    int fd = -1;
    uint16_t id = 0;
};

RawUdp rawUdpOpen()
{
    RawUdp u;
    u.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(IO_PORT);
    inet_pton(AF_INET, kAddr, &a.sin_addr);
    if (connect(u.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        fail("raw UDP connect");
    return u;
}

bool rawUdpQuery(RawUdp& u)
{
    uint8_t pkt[64];
    ++u.id;
    const int n = io_udp_build(IO_UDP_REQUEST, u.id, kQuery, static_cast<int>(std::strlen(kQuery)), pkt, sizeof pkt);
    if (::send(u.fd, pkt, static_cast<std::size_t>(n), 0) != n)
        return false;
    uint8_t in[256];
    for (int want : {IO_UDP_CONFIRM, IO_UDP_REPLY}) {
        const ssize_t r = ::recv(u.fd, in, sizeof in, 0);
        if (r < 6 || in[1] != want)
            return false;
    }
    return true;
}

int rawPtyOpen()
{
    const int fd = ::open(g_sim->ptyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        fail("raw pty open");
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// ---- the transport ---------------------------------------------------------------------

bool ioQuery(int h)
{
    char reply[64];
    return io_write(h, kQuery) == 0 && io_read(h, reply, sizeof reply) == 0;
}

struct Figures {
    double tcpIo = 0, tcpRaw = 0, tcpIfp = 0, tcpIfpRaw = 0;
    double udpIo = 0, udpRaw = 0;
    double ptyIo = 0, ptyRaw = 0;
    double cpuTcp = 0, cpuUdp = 0, cpuCom = 0, cpuPoll = 0;
} figures;

void BM_TcpQuery(benchmark::State& state)
{
    for (auto _ : state) {
        const int h = io_open(IO_TCP, kAddr, 0);
        const int raw = rawTcpConnect();
        if (h < 0)
            fail("io_open TCP");
        std::vector<double> io, rw;
        for (int i = 0; i < kWarmup + kRounds; ++i) {
            const auto t0 = Clock::now();
            if (!rawStreamQuery(raw))
                fail("raw TCP query");
            const auto t1 = Clock::now();
            if (!ioQuery(h))
                fail("io TCP query");
            const auto t2 = Clock::now();
            if (i >= kWarmup) {
                rw.push_back(micros(t0, t1));
                io.push_back(micros(t1, t2));
            }
        }
        figures.tcpIo = median(io);
        figures.tcpRaw = median(rw);
        io_close(h);
        ::close(raw);
    }
    state.counters["io_us"] = figures.tcpIo;
    state.counters["raw_us"] = figures.tcpRaw;
    state.counters["ratio"] = figures.tcpIo / figures.tcpRaw;
}
BENCHMARK(BM_TcpQuery)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_TcpIfpSendQuery(benchmark::State& state)
{
    namespace hl = ui::headless;
    for (auto _ : state) {
        ui::resetForTests();
        ifcPanel_register_resource();
        ifp_register_callbacks();
        ifp_active(1);
        const int panel = ifp_panel();
        if (panel < 0)
            fail("interface panel");
        hl::commit(panel, IFP_PANEL_IFCSEL, IO_TCP);
        hl::deliver();
        hl::commit(panel, IFP_PANEL_IPADDR, std::string(kAddr));
        hl::commit(panel, IFP_PANEL_OPEN, 1);
        hl::deliver();
        if (ifp_link_handle() < 0 || !ifp_get_ifready())
            fail("interface panel did not open the TCP link");
        const int raw = rawTcpConnect();
        std::vector<double> ifp, rw;
        char reply[64];
        for (int i = 0; i < kWarmup + kRounds; ++i) {
            const auto t0 = Clock::now();
            if (!rawStreamQuery(raw))
                fail("raw TCP query");
            const auto t1 = Clock::now();
            if (ifp_send_query(kQuery, reply, sizeof reply) != 1)
                fail("ifp_send_query");
            const auto t2 = Clock::now();
            if (i >= kWarmup) {
                rw.push_back(micros(t0, t1));
                ifp.push_back(micros(t1, t2));
            }
        }
        figures.tcpIfp = median(ifp);
        figures.tcpIfpRaw = median(rw);
        ::close(raw);
        ifp_quit();
        io_hook_debug_printf(nullptr);
        for (int h = 0; h < IO_MAX_LINKS; ++h)
            io_close(h);
    }
    state.counters["ifp_us"] = figures.tcpIfp;
    state.counters["raw_us"] = figures.tcpIfpRaw;
    state.counters["ratio"] = figures.tcpIfp / figures.tcpIfpRaw;
}
BENCHMARK(BM_TcpIfpSendQuery)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_UdpQuery(benchmark::State& state)
{
    for (auto _ : state) {
        const int h = io_open(IO_UDP, kAddr, 0);
        if (h < 0)
            fail("io_open UDP");
        RawUdp raw = rawUdpOpen();
        std::vector<double> io, rw;
        for (int i = 0; i < kWarmup + kRounds; ++i) {
            const auto t0 = Clock::now();
            if (!rawUdpQuery(raw))
                fail("raw UDP query");
            const auto t1 = Clock::now();
            if (!ioQuery(h))
                fail("io UDP query");
            const auto t2 = Clock::now();
            if (i >= kWarmup) {
                rw.push_back(micros(t0, t1));
                io.push_back(micros(t1, t2));
            }
        }
        figures.udpIo = median(io);
        figures.udpRaw = median(rw);
        io_close(h);
        ::close(raw.fd);
    }
    state.counters["io_us"] = figures.udpIo;
    state.counters["raw_us"] = figures.udpRaw;
    state.counters["ratio"] = figures.udpIo / figures.udpRaw;
}
BENCHMARK(BM_UdpQuery)->Iterations(1)->Unit(benchmark::kMillisecond);

// The pty is taken exclusively, so raw and transport take turns in blocks.
void BM_PtyQuery(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<double> io, rw;
        for (int b = 0; b < kPtyBlocks; ++b) {
            const int h = io_open(IO_COM, &kComPort, 115200);
            if (h < 0)
                fail("io_open COM");
            for (int i = 0; i < kWarmup / 4 + kPtyBlock; ++i) {
                const auto t0 = Clock::now();
                if (!ioQuery(h))
                    fail("io pty query");
                if (i >= kWarmup / 4)
                    io.push_back(micros(t0, Clock::now()));
            }
            io_close(h);
            const int raw = rawPtyOpen();
            for (int i = 0; i < kWarmup / 4 + kPtyBlock; ++i) {
                const auto t0 = Clock::now();
                if (!rawStreamQuery(raw))
                    fail("raw pty query");
                if (i >= kWarmup / 4)
                    rw.push_back(micros(t0, Clock::now()));
            }
            ::close(raw);
        }
        figures.ptyIo = median(io);
        figures.ptyRaw = median(rw);
    }
    state.counters["io_us"] = figures.ptyIo;
    state.counters["raw_us"] = figures.ptyRaw;
    state.counters["ratio"] = figures.ptyIo / figures.ptyRaw;
}
BENCHMARK(BM_PtyQuery)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- CPU while waiting ----------------------------------------------------------------

double threadCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

template <class F>
double cpuPercent(F body)
{
    const double cpu0 = threadCpuSeconds();
    const auto t0 = Clock::now();
    body();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    return 100.0 * (threadCpuSeconds() - cpu0) / wall;
}

void BM_WaitCpu(benchmark::State& state)
{
    for (auto _ : state) {
        figures.cpuPoll = cpuPercent([] { ::poll(nullptr, 0, 3000); });

        // TCP: a silent instrument; the write waits 3000 ms for its "OK".
        sim::Faults silent;
        silent.silent = true;
        g_sim->setFaults(silent);
        int h = io_open(IO_TCP, kAddr, 0);
        figures.cpuTcp = cpuPercent([h] {
            if (io_write(h, kQuery) != IO_ERR_NO_OK)
                fail("silent TCP write did not time out");
        });
        io_close(h);

        // UDP: a read with nothing to read, time-out 3000 ms.
        h = io_open(IO_UDP, kAddr, 0);
        io_timeout(h, 3000);
        figures.cpuUdp = cpuPercent([h] {
            char reply[16];
            if (io_read(h, reply, sizeof reply) != -1)
                fail("UDP read did not time out");
        });
        io_close(h);

        // COM: the port time-out set to 3000 ms; the "OK" never comes.
        h = io_open(IO_COM, &kComPort, 115200);
        io_timeout(h, 3000);
        figures.cpuCom = cpuPercent([h] {
            if (io_write(h, kQuery) != IO_ERR_NO_OK)
                fail("silent COM write did not time out");
        });
        io_close(h);
        g_sim->setFaults(sim::Faults{});
    }
    state.counters["tcp_cpu_pct"] = figures.cpuTcp;
    state.counters["udp_cpu_pct"] = figures.cpuUdp;
    state.counters["com_cpu_pct"] = figures.cpuCom;
    state.counters["poll_cpu_pct"] = figures.cpuPoll;
}
BENCHMARK(BM_WaitCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::string dir = (fs::temp_directory_path() / "imbench-bench-link-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr)
        fail("temporary folder");
    setenv("IMBENCH_PROJECT_DIR", dir.c_str(), 1);
    setenv("IMBENCH_PORTS", (dir + "/ports.cfg").c_str(), 1);

    sim::Options o;
    o.address = kAddr;
    o.foreignAddress = "127.77.8.2";
    o.gpib = false;
    sim::Simulator simulator(o);
    if (!simulator.start()) {
        std::fprintf(stderr, "bench_link: simulator: %s\n", simulator.error().c_str());
        return 1;
    }
    g_sim = &simulator;
    portmap::overrideCom(kComPort, simulator.ptyPath());

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const Figures& f = figures;
    std::printf("\nmedian per query (us)     transport     raw   ratio   goal\n");
    if (f.tcpRaw > 0)
        std::printf("TCP io_write+io_read      %9.1f %7.1f %7.2f   <= 1.3\n", f.tcpIo, f.tcpRaw, f.tcpIo / f.tcpRaw);
    if (f.tcpIfpRaw > 0)
        std::printf("TCP ifp_send_query        %9.1f %7.1f %7.2f   <= 1.3\n", f.tcpIfp, f.tcpIfpRaw,
            f.tcpIfp / f.tcpIfpRaw);
    if (f.udpRaw > 0)
        std::printf("UDP io_write+io_read      %9.1f %7.1f %7.2f   <= 1.3\n", f.udpIo, f.udpRaw, f.udpIo / f.udpRaw);
    if (f.ptyRaw > 0)
        std::printf("pty io_write+io_read      %9.1f %7.1f %7.2f   <= 2\n", f.ptyIo, f.ptyRaw, f.ptyIo / f.ptyRaw);
    if (f.cpuPoll > 0 || f.cpuTcp > 0)
        std::printf("CPU waiting out 3000 ms: TCP %.3f%%, UDP %.3f%%, COM %.3f%% (idle poll %.3f%%), goal < 1%%\n",
            f.cpuTcp, f.cpuUdp, f.cpuCom, f.cpuPoll);
    simulator.stop();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
