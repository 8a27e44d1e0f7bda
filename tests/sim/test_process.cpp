// Binding rules, start and stop, and the imbench-sim program itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <sstream>

#include "sim/sim.h"
#include "tests/sim/raw_client.h"

namespace {

using simtest::Stream;

TEST(SimBind, RefusesAddressesOutsideLoopback) {
    for (const char* address : {"0.0.0.0", "192.168.1.1", "10.0.0.1", "255.255.255.255", "localhost", "::1"}) {
        sim::Options o;
        o.address = address;
        o.tcpPort = o.udpPort = o.gpibPort = 0;
        o.pty = false;
        sim::Simulator s(o);
        EXPECT_FALSE(s.start()) << address;
        EXPECT_NE(s.error().find("loopback"), std::string::npos) << s.error();
        EXPECT_FALSE(s.running());
    }
    sim::Options o;
    o.address = "127.0.0.1";
    o.foreignAddress = "10.1.1.1";   // the foreign sender must be loopback too
    o.udpPort = 0;
    o.tcp = o.pty = o.gpib = false;
    sim::Simulator s(o);
    EXPECT_FALSE(s.start());
    o.foreignAddress = "127.0.0.1";  // and not the simulator's own address
    sim::Simulator same(o);
    EXPECT_FALSE(same.start());
}

TEST(SimBind, BindsTheGivenLoopbackAddressOnly) {
    sim::Options o;
    o.address = "127.0.0.3";
    o.tcpPort = 0;
    o.udp = o.pty = o.gpib = false;
    sim::Simulator s(o);
    ASSERT_TRUE(s.start()) << s.error();
    EXPECT_FALSE(Stream::tcp("127.0.0.1", s.tcpPort()).valid());
    Stream c = Stream::tcp("127.0.0.3", s.tcpPort());
    ASSERT_TRUE(c.valid());
    ASSERT_TRUE(c.send("SYST:SER?\r"));
    EXPECT_EQ(c.readBytes(4), "OK\r\n");
}

TEST(SimBind, APortInUseFailsTheStartWithAMessage) {
    sim::Options o;
    o.tcpPort = 0;
    o.udp = o.pty = o.gpib = false;
    sim::Simulator first(o);
    ASSERT_TRUE(first.start()) << first.error();
    o.tcpPort = first.tcpPort();
    sim::Simulator second(o);
    EXPECT_FALSE(second.start());
    EXPECT_NE(second.error().find("bind tcp"), std::string::npos) << second.error();
}

TEST(SimLifecycle, StopsRestartsAndKeepsTheInstrumentState) {
    sim::Options o;
    o.tcpPort = 0;
    o.udp = o.pty = o.gpib = false;
    sim::Simulator s(o);
    ASSERT_TRUE(s.start());
    EXPECT_FALSE(s.start());   // already running
    {
        Stream c = Stream::tcp("127.0.0.1", s.tcpPort());
        ASSERT_TRUE(c.send("IM:MODE 3\r"));
        EXPECT_EQ(c.readBytes(4), "OK\r\n");
        s.stop();
        EXPECT_TRUE(c.waitClosed());
    }
    EXPECT_FALSE(s.running());
    ASSERT_TRUE(s.start()) << s.error();
    Stream c = Stream::tcp("127.0.0.1", s.tcpPort());
    ASSERT_TRUE(c.send("IM:MODE?\r"));
    EXPECT_EQ(c.readBytes(11), "OK\r\n3\r\nOK\r\n");
    EXPECT_EQ(s.commandLog().size(), 2u);
    s.clearLog();
    EXPECT_TRUE(s.commandLog().empty());
}

// --- the program ---

struct Child {
    pid_t pid = -1;
    int out = -1;   // its stdout
    int err = -1;   // its stderr
};

Child spawn(std::vector<std::string> args) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        std::vector<char*> argv;
        args.insert(args.begin(), IMBENCH_SIM_EXE);
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(IMBENCH_SIM_EXE, argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    return {pid, outPipe[0], errPipe[0]};
}

// Reads the child's lines until one starts with "pty" (its last) or it ends.
std::map<std::string, std::string> readBanner(int fd) {
    std::map<std::string, std::string> lines;
    Stream in(fd);
    std::string text;
    const auto deadline = simtest::Clock::now() + std::chrono::milliseconds(simtest::kWaitMs);
    while (text.find("\npty ") == std::string::npos || text.back() != '\n') {
        auto part = in.readOnce(simtest::msLeft(deadline));
        if (!part || part->empty()) break;
        text += *part;
    }
    std::istringstream s(text);
    for (std::string line; std::getline(s, line);) {
        const auto space = line.find(' ');
        if (space != std::string::npos) lines[line.substr(0, space)] = line.substr(space + 1);
    }
    in.release();
    return lines;
}

int waitExit(pid_t pid) {
    int status = 0;
    for (int i = 0; i < simtest::kWaitMs / 10; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

TEST(SimProgram, RefusesANonLoopbackAddress) {
    Child c = spawn({"--address", "192.168.0.10", "--no-pty"});
    ASSERT_GT(c.pid, 0);
    EXPECT_EQ(waitExit(c.pid), 2);
    Stream err(c.err);
    const std::string message = err.readQuiet(200);
    EXPECT_NE(message.find("loopback"), std::string::npos) << message;
    close(c.out);
}

TEST(SimProgram, RejectsUnknownOptionsAndBadFaults) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--bogus"}, {"--fault", "drop-ok=x"}, {"--tcp-port"}}) {
        Child c = spawn(args);
        ASSERT_GT(c.pid, 0);
        EXPECT_EQ(waitExit(c.pid), 2) << args[0];
        close(c.out);
        close(c.err);
    }
}

TEST(SimProgram, PrintsWhereItListensServesAndCleansUpOnSigterm) {
    const std::string link = std::string(::testing::TempDir()) + "imbench-sim-prog-" + std::to_string(getpid());
    unlink(link.c_str());
    Child c = spawn({"--address", "127.0.0.4", "--tcp-port", "0", "--udp-port", "0", "--gpib-port", "0", "--pty-link",
                     link, "--idn", "MAKER,KZR-9,1,2", "--version", "VER1.06", "--serial", "SER:1234-BCDEF9",
                     "--fault", "garble-ok=1", "--log"});
    ASSERT_GT(c.pid, 0);
    auto banner = readBanner(c.out);
    ASSERT_TRUE(banner.count("tcp") && banner.count("udp") && banner.count("gpib") && banner.count("pty"))
        << "banner incomplete";
    EXPECT_EQ(banner["idn"], "MAKER,KZR-9,1,2");
    const std::string tcp = banner["tcp"];
    ASSERT_EQ(tcp.rfind("127.0.0.4:", 0), 0u) << tcp;
    const int port = std::stoi(tcp.substr(tcp.find(':') + 1));

    Stream s = Stream::tcp("127.0.0.4", port);
    ASSERT_TRUE(s.send("SYST:VERS?\r*IDN?\r"));
    const std::string expected = "0K\r\nVER1.06\r\nOK\r\nOK\r\nMAKER,KZR-9,1,2\r\nOK\r\n";
    EXPECT_EQ(s.readBytes(expected.size()), expected);

    Stream port2 = Stream::pty(link);   // through the symlink
    ASSERT_TRUE(port2.valid());
    ASSERT_TRUE(port2.send("SYST:SER?\r"));
    EXPECT_EQ(port2.readBytes(25), "OK\r\nSER:1234-BCDEF9\r\nOK\r\n");
    port2.close();

    kill(c.pid, SIGTERM);
    EXPECT_EQ(waitExit(c.pid), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "symlink left behind";
    Stream out(c.out);
    const std::string logged = out.readQuiet(200);
    EXPECT_NE(logged.find("tcp: SYST:VERS?"), std::string::npos) << logged;
    EXPECT_NE(logged.find("pty: SYST:SER?"), std::string::npos) << logged;
    close(c.err);
}

TEST(SimProgram, RejectsBadModuleOptions) {
    const std::vector<std::vector<std::string>> bad = {
        {"--dut", "capacitor:1"}, {"--dut", "resistor:0"}, {"--noise", "-0.1"},        {"--noise", "x"},
        {"--time-scale", "-1"},   {"--cal-freq-markers", "101"}, {"--cal-gain-markers", "-1"}, {"--dut"},
    };
    for (const auto& args : bad) {
        Child c = spawn(args);
        ASSERT_GT(c.pid, 0);
        EXPECT_EQ(waitExit(c.pid), 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        close(c.out);
        close(c.err);
    }
}

// The module's options on the command line: the device, instant readiness,
// marker counts, a family identity, and a calibration state file that a
// second run of the program starts from.
TEST(SimProgram, ModuleOptionsTakeEffectAndTheCalibrationStateOutlivesARun) {
    const std::string state = std::string(::testing::TempDir()) + "imbench-sim-prog-cal-" + std::to_string(getpid());
    unlink(state.c_str());
    // runs the program, sends the commands, returns the first `lines` lines of the answer
    auto run = [&](const std::string& commands, std::size_t lines) {
        Child c = spawn({"--address", "127.0.0.4", "--tcp-port", "0", "--no-udp", "--no-gpib", "--family", "--dut",
                         "rc:100,1e-6", "--noise", "0", "--time-scale", "0", "--cal-freq-markers", "3",
                         "--cal-gain-markers", "2", "--cal-state", state});
        EXPECT_GT(c.pid, 0);
        auto banner = readBanner(c.out);
        EXPECT_EQ(banner["idn"], sim::kFamilyIdn);
        EXPECT_EQ(banner["dut"], "rc:100,1e-06");
        std::vector<std::string> got;
        if (banner.count("tcp")) {
            Stream s = Stream::tcp("127.0.0.4", std::stoi(banner["tcp"].substr(banner["tcp"].find(':') + 1)));
            EXPECT_TRUE(s.send(commands));
            std::string line;
            while (got.size() < lines) {
                const std::string ch = s.readBytes(1);
                if (ch.empty()) break;
                if (ch == "\n") got.push_back(std::exchange(line, {}));
                else if (ch != "\r") line += ch;
            }
        }
        kill(c.pid, SIGTERM);
        EXPECT_EQ(waitExit(c.pid), 0);
        close(c.out);
        close(c.err);
        return got;
    };
    // at 1591.55 Hz the network's corner: |Z| = 100 / sqrt 2 at -45 degrees
    const auto first = run("IM:CAL:FREQ:COUNT?\rIM:CAL:GAIN:COUNT?\rIM:OUTP:LEV 0.001000 0.000000\r"
                           "IM:OUTP:SINE:FREQ 1591.549431\rIM:MEAS:READY?\rIM:MEAS:VAL?\r"
                           "IM:CAL:DATA 4 2 1 2 0.012345\rIM:CAL:SAVE\r",
                           16);
    ASSERT_EQ(first.size(), 16u);
    const std::vector<std::string> acknowledged = {"OK", "3", "OK", "OK", "2", "OK", "OK", "OK", "OK", "1", "OK", "OK"};
    EXPECT_EQ(std::vector<std::string>(first.begin(), first.begin() + 12), acknowledged);
    std::istringstream values(first[12]);
    std::vector<double> v;
    for (double x; values >> x;) v.push_back(x);
    ASSERT_EQ(v.size(), 6u) << first[12];
    EXPECT_NEAR(v[2], 0.001, 1e-9);
    EXPECT_NEAR(v[4], 100.0 / std::sqrt(2.0), 0.01);
    EXPECT_NEAR(v[5], -45.0, 0.01);
    EXPECT_EQ(first[13], "OK");
    EXPECT_EQ(first[14], "OK");   // the calibration value
    EXPECT_EQ(first[15], "OK");   // the save
    EXPECT_EQ(run("IM:CAL:DATA? 4 2 1 2\r", 3), (std::vector<std::string>{"OK", "0.012345", "OK"}));
    unlink(state.c_str());
}

TEST(SimProgram, SigintStopsItToo) {
    Child c = spawn({"--address", "127.0.0.4", "--tcp-port", "0", "--no-udp", "--no-gpib"});
    ASSERT_GT(c.pid, 0);
    auto banner = readBanner(c.out);
    ASSERT_TRUE(banner.count("pty"));
    kill(c.pid, SIGINT);
    EXPECT_EQ(waitExit(c.pid), 0);
    close(c.out);
    close(c.err);
}

}  // namespace
