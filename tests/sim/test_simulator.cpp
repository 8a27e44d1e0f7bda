// The simulator around the instrument: it binds loopback addresses only, the
// imbench-sim program and its options, and the calibration state file that
// stands for the module's memory.
#include "link/io.h"
#include "sim/sim.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

// imbench-sim in a child process, and its output (stdout and stderr) up to
// the end of its banner (the pty line) or of the program.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        if ((pid_ = fork()) == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            std::vector<char*> argv{const_cast<char*>(IMBENCH_SIM_EXE)};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(IMBENCH_SIM_EXE, argv.data());
            _exit(127);
        }
        ::close(fds[1]);
        out_ = fds[0];
        while (read() && (output.find("\npty ") == std::string::npos || output.back() != '\n')) {
        }
    }
    ~Program() { stop(SIGKILL), ::close(out_); }
    std::string banner(const std::string& key) const { // "tcp 127.0.0.4:3000" gives "127.0.0.4:3000" for tcp
        const std::size_t at = output.find("\n" + key + " ") + key.size() + 2;
        return at < key.size() + 2 ? "" : output.substr(at, output.find('\n', at) - at);
    }
    // Stops it with signal (0: waits for its end); its exit code, with all of its output read.
    int stop(int signal = 0) {
        int status = 0;
        if (pid_ > 0 && (!signal || kill(pid_, signal) == 0) && waitpid(std::exchange(pid_, -1), &status, 0) > 0)
            while (read()) {
            }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string output = "\n";

private:
    bool read() { // one chunk within 10 s; false at the end
        pollfd p{out_, POLLIN, 0};
        char buf[4096];
        const ssize_t n = poll(&p, 1, 10000) > 0 ? ::read(out_, buf, sizeof buf) : 0;
        output.append(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
        return n > 0;
    }
    pid_t pid_ = -1;
    int out_ = -1;
};

// A loopback address nobody holds, and a query to the program there over TCP.
std::string freeAddress() { return tsupport::StreamPeer::tcp()->address(); }
std::string ask(const std::string& address, const char* query) {
    const int h = io_open(IO_TCP, address.c_str(), 0);
    char reply[256] = "";
    const bool ok = io_write(h, query) == 0 && (!std::strchr(query, '?') || io_read(h, reply, sizeof reply) == 0);
    io_close(h);
    return ok ? reply : "failed";
}

TEST(SimBind, OnlyTheGivenLoopbackAddressIsBound) {
    for (auto [address, foreign] : {std::pair{"0.0.0.0", "127.0.0.2"}, {"192.168.1.1", "127.0.0.2"}, {"localhost", "127.0.0.2"},
             {"::1", "127.0.0.2"}, {"127.0.0.1", "10.1.1.1"}, {"127.0.0.1", "127.0.0.1"}}) {
        sim::Options o;
        o.address = address;
        o.foreignAddress = foreign;
        o.pty = false;
        sim::Simulator s(o);
        EXPECT_FALSE(s.start()) << address << " " << foreign;
        EXPECT_NE(s.error().find("loopback"), std::string::npos) << s.error();
    }
    for (auto [option, value] : {std::pair{"--address", "192.168.0.10"}, {"--fault", "drop-ok=x"}, {"--dut", "capacitor:1"},
             {"--noise", "-0.1"}, {"--cal-freq-markers", "101"}, {"--bogus", "1"}, {"--tcp-port", nullptr}}) {
        Program program(value ? std::vector<std::string>{option, value} : std::vector<std::string>{option});
        EXPECT_EQ(program.stop(), 2) << option;
        EXPECT_TRUE(option != std::string("--address") || program.output.find("loopback") != std::string::npos);
    }
    const std::string a = freeAddress();
    sim::Options o;
    o.address = a;
    o.udp = o.pty = o.gpib = false;
    sim::Simulator s(o), second(o);
    ASSERT_TRUE(s.start()) << s.error();
    EXPECT_FALSE(second.start());
    EXPECT_NE(second.error().find("bind tcp"), std::string::npos) << second.error();
    EXPECT_EQ(ask(a, "*IDN?"), sim::kDefaultIdn);
    s.stop();
    EXPECT_EQ(ask(a, "*IDN?"), "failed");
}

// It says where it listens, serves there with its identity and faults,
// serves the pty through its link, logs with --log, and cleans up on SIGTERM.
TEST(SimProgram, PrintsWhereItListensServesAndCleansUpOnSigterm) {
    tsupport::TempDir dir;
    const std::string a = freeAddress(), link = dir.file("tty");
    Program p({"--address", a, "--gpib-port", "0", "--pty-link", link, "--idn", "MAKER,KZR-9,1,2", "--version", "VER1.06",
        "--serial", "SER:1234-BCDEF9", "--fault", "garble-ok=1", "--log"});
    EXPECT_EQ(p.banner("idn"), "MAKER,KZR-9,1,2");
    EXPECT_EQ(p.banner("tcp") + p.banner("udp"), a + ":3000" + a + ":3000");
    EXPECT_EQ(p.banner("gpib").rfind(a + ":", 0), 0u) << p.output;
    EXPECT_EQ(ask(a, "SYST:VERS?"), "failed") << "the garbled OK";
    EXPECT_EQ(ask(a, "SYST:VERS?"), "VER1.06");
    char target[256] = "";
    EXPECT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), p.banner("pty"));
    EXPECT_EQ(p.stop(SIGTERM), 0);
    struct stat st { };
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "symlink left behind";
    EXPECT_NE(p.output.find("tcp: SYST:VERS?"), std::string::npos) << p.output;
}

// The tables saved are those a module with the same markers, or fewer, starts
// from; a state file that cannot be read stops the start; a save that cannot
// be written is refused.
TEST(SimCalibration, TheStateFileKeepsTheTablesForTheNextStart) {
    tsupport::TempDir dir;
    auto options = [&dir](int f, int g, uint32_t seed, const std::string& file) {
        sim::Options o;
        std::tie(o.tcp, o.udp, o.pty, o.gpib, o.seed, o.calFreqMarkers, o.calGainMarkers, o.calStateFile) =
            std::tuple(false, false, false, false, seed, f, g, dir.file(file));
        return o;
    };
    sim::Instrument first(options(3, 2, 1, "state"));
    first.execute("IM:CAL:DATA 4 1 1 2 -0.777000");
    EXPECT_TRUE(first.respond("IM:CAL:DATA 3 2 2 0 1.0").refused) << "gain index 2 of 2 markers";
    EXPECT_FALSE(first.respond("IM:CAL:SAVE").refused);
    sim::Simulator same(options(3, 2, 9, "state")), fewer(options(2, 1, 9, "state"));
    ASSERT_TRUE(same.start() && fewer.start()) << same.error() << fewer.error();
    for (const char* address : {"IM:CAL:DATA? 4 1 1 2", "IM:CAL:DATA? 3 0 1 1", "IM:CAL:DATA? 5 0 0 2"})
        EXPECT_EQ(same.instrument().execute(address), first.execute(address)) << address;
    EXPECT_EQ(fewer.instrument().execute("IM:CAL:DATA? 3 0 0 1"), first.execute("IM:CAL:DATA? 3 0 0 1"));
    EXPECT_EQ(fewer.instrument().execute("IM:CAL:DATA? 4 1 1 2"), std::string("ERR"));
    for (const char* text : {"not a state file\n", "imbench-sim calibration\n0 0 0 0 1.0\n",
             "imbench-sim calibration\nmarkers 2 1\n0 0 0 1.0\n", "imbench-sim calibration\nmarkers 2 1\n0 0 0 0 x\n"}) {
        tsupport::writeFile(dir.file("broken"), text);
        sim::Simulator s(options(2, 1, 1, "broken"));
        EXPECT_FALSE(s.start()) << text;
        EXPECT_NE(s.error().find(dir.file("broken")), std::string::npos) << s.error();
    }
    EXPECT_TRUE(sim::Instrument(options(2, 1, 1, "missing/folder/state")).respond("IM:CAL:SAVE").refused);
}

} // namespace
