// Fault run: many queries with known answers through ifp_send_query against
// the simulated instrument while it injects random faults on its answers.
// Every query ends as one of: the right answer, a reported failure, or a
// wrong answer taken as good.  The last must never happen.
//
//   fault_run [--link tcp|udp|pty|gpib|all] [--queries N] [--seed S]
//             [--seconds LIMIT] [--p P] [--timeout MS]
//
// Commands that set the same values again are mixed in, so acknowledgements
// are faulted too.  The simulator listens on 127.77.9.1 only.

#include "link/ifp.h"
#include "link/io.h"
#include "platform/portmap.h"
#include "sim/sim.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <chrono>
#include <cstdarg>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

namespace hl = ui::headless;
using Clock = std::chrono::steady_clock;

constexpr const char* kAddr = "127.77.9.1";
constexpr int kComPort = 13;

struct Config {
    std::vector<std::string> links;
    long queries = 10000;
    uint32_t seed = 1;
    double seconds = 900;
    double p = 0.01; // chance of each fault kind per answer
    int timeoutMs = 150; // link time-out of the host during the run
    bool trace = false; // every transport message to stderr, with the time
};

Clock::time_point g_start = Clock::now();
std::deque<std::string> g_trace;
void traceHook(int level, const char* format, ...)
{
    char text[600];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    char line[700];
    std::snprintf(line, sizeof line, "%9.3f %d %s", std::chrono::duration<double, std::milli>(Clock::now() - g_start).count(),
        level, text);
    g_trace.emplace_back(line);
    if (g_trace.size() > 200)
        g_trace.pop_front();
}

// The last messages before a wrong answer, to see how it came about.
void dumpTrace()
{
    for (const std::string& line : g_trace)
        std::fprintf(stderr, "%s\n", line.c_str());
    g_trace.clear();
}

struct Count {
    long right = 0, failed = 0, wrong = 0, commandsFailed = 0;
};

// The queries and the commands that keep their answers as they are.
const char* const kQueries[] = {"*IDN?", "SYST:VERS?", "SYST:SER?", "IM:OUTP:SINE:FREQ?", "IM:OUTP:SQU:FREQ?",
    "IM:OUTP:AMPL?"};
const char* const kCommands[] = {"IM:OUTP:SINE:FREQ 1234.5", "IM:OUTP:SQU:FREQ 77.25", "IM:OUTP:LEV 0.125 2.5"};

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fault_run: %s\n", what.c_str());
    std::exit(2);
}

// Every fault the link kind can suffer, each with chance p; pauses scaled to
// the host's time-out: a delay inside it, a late answer well beyond it.
sim::Faults faultMix(const std::string& link, double p, int timeoutMs)
{
    sim::Faults f;
    f.delayMs = timeoutMs / 3;
    f.lateMs = timeoutMs * 3;
    f.splitGapMs = timeoutMs / 5;
    f.overlongBytes = 600;
    f.pDelay = f.pLate = f.pSplit = f.pOverlong = p;
    if (link == "tcp" || link == "pty") {
        f.pDropOk = f.pGarbleOk = f.pDropReplyOk = f.pGarbleReplyOk = f.pDuplicate = p;
        if (link == "tcp")
            f.pClose = p / 4;
    } else if (link == "udp") {
        f.pUdpLoseRequest = f.pUdpLose = f.pUdpDuplicate = f.pUdpReorder = f.pUdpStaleId = p;
        f.pUdpWrongId = f.pUdpShort = f.pUdpForeign = f.pUdpTruncate = p;
    }
    return f;
}

void selectAndOpen(const std::string& link, const sim::Simulator& s)
{
    const int panel = ifp_panel();
    if (link == "tcp" || link == "udp") {
        ifp_select_link(link == "tcp" ? IO_TCP : IO_UDP, kAddr);
    } else if (link == "pty") {
        portmap::overrideCom(kComPort, s.ptyPath());
        ifp_select_link(IO_COM, nullptr);
        hl::commit(panel, IFP_PANEL_COMPORT, kComPort);
    } else {
        portmap::overrideGpib(0, std::string("prologix-tcp ") + kAddr + ":" + std::to_string(s.gpibPort()));
        ifp_select_link(IO_GPIB, nullptr);
        hl::commit(panel, IFP_PANEL_GPIBADDR, s.options().gpibAddress);
    }
    hl::deliver();
    hl::commit(panel, IFP_PANEL_OPEN, 1);
    hl::deliver();
}

Count runLink(const std::string& link, const Config& cfg, double secondsLeft)
{
    sim::Options o;
    o.address = kAddr;
    o.seed = cfg.seed;
    o.timeScale = 0.0;
    sim::Simulator s(o);
    if (!s.start())
        fail("simulator: " + s.error());

    ui::resetForTests();
    ifcPanel_register_resource();
    ifp_register_callbacks();
    ifp_active(1);
    if (ifp_panel() < 0)
        fail("interface panel");
    selectAndOpen(link, s);
    if (!ifp_get_ifready())
        fail(link + ": the link did not open");
    io_timeout(ifp_link_handle(), cfg.timeoutMs);
    if (cfg.trace)
        io_hook_debug_printf(traceHook);

    // The right answers, asked before any fault is switched on.
    std::vector<std::string> expected;
    for (const char* c : kCommands)
        if (!ifp_send_query(c, nullptr, 0))
            fail(link + ": set-up command failed");
    for (const char* q : kQueries) {
        char reply[IO_RX_BUF_SIZE];
        if (!ifp_send_query(q, reply, sizeof reply))
            fail(link + std::string(": set-up query failed: ") + q);
        expected.emplace_back(reply);
    }
    s.setFaults(faultMix(link, cfg.p, cfg.timeoutMs));

    Count n;
    const auto start = Clock::now();
    uint32_t pick = cfg.seed * 2654435761u;
    long done = 0;
    for (; done < cfg.queries; ++done) {
        if (std::chrono::duration<double>(Clock::now() - start).count() > secondsLeft)
            break;
        pick = pick * 1664525u + 1013904223u;
        if ((pick >> 28) == 0 && !ifp_send_query(kCommands[(pick >> 8) % 3], nullptr, 0))
            ++n.commandsFailed;
        const std::size_t q = (pick >> 12) % expected.size();
        char reply[IO_RX_BUF_SIZE];
        if (!ifp_send_query(kQueries[q], reply, sizeof reply)) {
            ++n.failed;
        } else if (expected[q] == reply) {
            ++n.right;
        } else {
            ++n.wrong;
            dumpTrace();
            std::fprintf(stderr, "fault_run: %s: WRONG answer to %s: \"%s\" (expected \"%s\")\n", link.c_str(),
                kQueries[q], reply, expected[q].c_str());
        }
        // A closed connection stays closed: open the link again, as a user would.
        if (link == "tcp" && s.connectionCount(sim::Link::Tcp) == 0) {
            hl::commit(ifp_panel(), IFP_PANEL_OPEN, 0);
            hl::deliver();
            hl::commit(ifp_panel(), IFP_PANEL_OPEN, 1);
            hl::deliver();
            if (ifp_get_ifready())
                io_timeout(ifp_link_handle(), cfg.timeoutMs);
        }
    }
    const double secs = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-5s %7ld queries in %6.1f s: %7ld right, %6ld failures reported, %ld WRONG accepted"
                " (%ld commands failed)\n",
        link.c_str(), done, secs, n.right, n.failed, n.wrong, n.commandsFailed);
    std::fflush(stdout);
    ifp_quit();
    io_hook_debug_printf(nullptr);
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    Config cfg;
    std::string links = "all";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--link" && v)
            links = argv[++i];
        else if (a == "--queries" && v)
            cfg.queries = std::atol(argv[++i]);
        else if (a == "--seed" && v)
            cfg.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--seconds" && v)
            cfg.seconds = std::atof(argv[++i]);
        else if (a == "--p" && v)
            cfg.p = std::atof(argv[++i]);
        else if (a == "--timeout" && v)
            cfg.timeoutMs = std::atoi(argv[++i]);
        else if (a == "--trace")
            cfg.trace = true;
        else {
            std::fprintf(stderr, "usage: fault_run [--link tcp|udp|pty|gpib|all] [--queries N] [--seed S]"
                                 " [--seconds LIMIT] [--p P] [--timeout MS]\n");
            return 2;
        }
    }
    if (links == "all")
        cfg.links = {"tcp", "udp", "pty", "gpib"};
    else
        cfg.links = {links};
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("fault run: seed %u, chance %.3f per fault kind and answer, host time-out %d ms\n", cfg.seed, cfg.p,
        cfg.timeoutMs);
    const auto start = Clock::now();
    long wrong = 0;
    for (const std::string& link : cfg.links) {
        const double left = cfg.seconds - std::chrono::duration<double>(Clock::now() - start).count();
        wrong += runLink(link, cfg, left > 0 ? left : 0).wrong;
    }
    return wrong == 0 ? 0 : 1;
}
