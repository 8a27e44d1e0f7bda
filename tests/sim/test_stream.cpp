// The line links (TCP, pty) over real loopback sockets and a real pty, with
// each fault observed on the wire.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "sim/fault_plan.h"
#include "sim/sim.h"
#include "tests/sim/raw_client.h"

namespace {

using simtest::Stream;
using simtest::waitFor;

const std::string kIdn = sim::kDefaultIdn;
const std::string kIdnResponse = "OK\r\n" + kIdn + "\r\nOK\r\n";

sim::Options tcpOnly(uint32_t seed = 1) {
    sim::Options o;
    o.tcpPort = 0;
    o.udp = o.pty = o.gpib = false;
    o.seed = seed;
    return o;
}

struct TcpSim {
    sim::Simulator sim;
    Stream client;
    explicit TcpSim(sim::Options o = tcpOnly()) : sim(std::move(o)) {
        if (!sim.start()) ADD_FAILURE() << sim.error();
        client = Stream::tcp("127.0.0.1", sim.tcpPort());
        if (!client.valid()) ADD_FAILURE() << "no connection";
    }
};

TEST(SimTcp, CommandGetsOkAndQueryGetsOkReplyOk) {
    TcpSim t;
    ASSERT_TRUE(t.client.send("IM:MODE 1\r"));
    EXPECT_EQ(t.client.readBytes(4), "OK\r\n");
    ASSERT_TRUE(t.client.send("*IDN?\r"));
    EXPECT_EQ(t.client.readBytes(kIdnResponse.size()), kIdnResponse);
    ASSERT_TRUE(t.client.send("NOT:A:COMMAND?\r"));
    EXPECT_EQ(t.client.readBytes(13), "OK\r\nERR\r\nOK\r\n");
    EXPECT_EQ(t.sim.commandLog(), (std::vector<std::string>{"IM:MODE 1", "*IDN?", "NOT:A:COMMAND?"}));
}

TEST(SimTcp, LineEndsAnyOfCrLfCrLfAndEmptyLinesIgnored) {
    TcpSim t;
    // LF, CRLF, NUL and empty lines; a command split over two segments
    using namespace std::string_literals;
    ASSERT_TRUE(t.client.send("\r\n\r\nSYST:VERS?\nSYST:SER?\r\n\r\n*IDN?\0SYST:"s));
    ASSERT_TRUE(t.client.send("VERS?\r"));
    const std::string vers = "OK\r\n" + std::string(sim::kDefaultVersion) + "\r\nOK\r\n";
    const std::string ser = "OK\r\n" + std::string(sim::kDefaultSerial) + "\r\nOK\r\n";
    const std::string all = vers + ser + kIdnResponse + vers;
    EXPECT_EQ(t.client.readBytes(all.size()), all);
    EXPECT_EQ(t.client.readQuiet(200), "");   // nothing for the empty lines
    EXPECT_EQ(t.sim.commandLog().size(), 4u);
}

TEST(SimTcp, SeveralCommandsInOneSegmentAreAnsweredInOrder) {
    TcpSim t;
    ASSERT_TRUE(t.client.send("IM:OUTP:LEV 0.020000 2.000000\rIM:OUTP:AMPL?\rIM:MODE 3\rIM:MODE?\r"));
    const std::string expected = "OK\r\nOK\r\n0.020000\r\nOK\r\nOK\r\nOK\r\n3\r\nOK\r\n";
    EXPECT_EQ(t.client.readBytes(expected.size()), expected);
}

TEST(SimTcp, ClientsAreIndependentAndPortZeroGivesTheActualPort) {
    TcpSim t;
    EXPECT_GT(t.sim.tcpPort(), 0);
    Stream second = Stream::tcp("127.0.0.1", t.sim.tcpPort());
    ASSERT_TRUE(second.valid());
    ASSERT_TRUE(t.client.send("SYST:"));   // half a line on the first client
    ASSERT_TRUE(second.send("*IDN?\r"));
    EXPECT_EQ(second.readBytes(kIdnResponse.size()), kIdnResponse);
    ASSERT_TRUE(t.client.send("SER?\r"));
    const std::string ser = "OK\r\n" + std::string(sim::kDefaultSerial) + "\r\nOK\r\n";
    EXPECT_EQ(t.client.readBytes(ser.size()), ser);
}

TEST(SimTcp, ConnectionCountFollowsClientsComingAndGoing) {
    TcpSim t;
    ASSERT_TRUE(waitFor([&] { return t.sim.connectionCount(sim::Link::Tcp) == 1; }));
    {
        Stream second = Stream::tcp("127.0.0.1", t.sim.tcpPort());
        ASSERT_TRUE(waitFor([&] { return t.sim.connectionCount(sim::Link::Tcp) == 2; }));
    }
    EXPECT_TRUE(waitFor([&] { return t.sim.connectionCount(sim::Link::Tcp) == 1; }));
    t.client.close();
    EXPECT_TRUE(waitFor([&] { return t.sim.connectionCount(sim::Link::Tcp) == 0; }));
    EXPECT_EQ(t.sim.connectionCount(sim::Link::Gpib), 0);
}

// One-shot faults on "*IDN?": the exact bytes of the faulty response, then a
// normal response to the next query (the counter is used up).
TEST(SimTcp, OneShotFaultsShapeExactlyTheNextResponse) {
    struct Case {
        const char* name;
        std::function<void(sim::Faults&)> set;
        std::string bytes;
    } cases[] = {
        {"drop-ok", [](sim::Faults& f) { f.dropOk = 1; }, kIdn + "\r\nOK\r\n"},
        {"garble-ok", [](sim::Faults& f) { f.garbleOk = 1; }, "0K\r\n" + kIdn + "\r\nOK\r\n"},
        {"drop-reply-ok", [](sim::Faults& f) { f.dropReplyOk = 1; }, "OK\r\n" + kIdn + "\r\n"},
        {"garble-reply-ok", [](sim::Faults& f) { f.garbleReplyOk = 1; }, "OK\r\n" + kIdn + "\r\n0K\r\n"},
        {"duplicate", [](sim::Faults& f) { f.duplicate = 1; }, kIdnResponse + kIdnResponse},
        {"overlong",
         [](sim::Faults& f) {
             f.overlong = 1;
             f.overlongBytes = 600;
         },
         "OK\r\n" + std::string(600, 'X') + "\r\nOK\r\n"},
    };
    for (const Case& c : cases) {
        TcpSim t;
        sim::Faults f;
        c.set(f);
        t.sim.setFaults(f);
        ASSERT_TRUE(t.client.send("*IDN?\r"));
        EXPECT_EQ(t.client.readBytes(c.bytes.size()), c.bytes) << c.name;
        ASSERT_TRUE(t.client.send("*IDN?\r"));
        EXPECT_EQ(t.client.readBytes(kIdnResponse.size()), kIdnResponse) << c.name;
        EXPECT_EQ(t.client.readQuiet(100), "") << c.name;
    }
}

TEST(SimTcp, ReplyFaultsWaitForAQueryAndOkFaultsHitCommands) {
    TcpSim t;
    sim::Faults f;
    f.dropReplyOk = 1;
    f.garbleOk = 1;
    t.sim.setFaults(f);
    ASSERT_TRUE(t.client.send("IM:MODE 1\r"));
    EXPECT_EQ(t.client.readBytes(4), "0K\r\n");   // the command takes the OK fault
    ASSERT_TRUE(t.client.send("*IDN?\r"));
    const std::string dropped = "OK\r\n" + kIdn + "\r\n";   // the query takes the reply fault
    EXPECT_EQ(t.client.readBytes(dropped.size()), dropped);
    const sim::Faults left = t.sim.faults();
    EXPECT_EQ(left.dropReplyOk, 0);
    EXPECT_EQ(left.garbleOk, 0);
}

TEST(SimTcp, SplitReplyArrivesInTwoPartsAtTheGivenByte) {
    TcpSim t;
    sim::Faults f;
    f.split = 1;
    f.splitAt = 7;           // inside the reply line
    f.splitGapMs = 600;
    t.sim.setFaults(f);
    ASSERT_TRUE(t.client.send("*IDN?\r"));
    const auto t0 = simtest::Clock::now();
    auto first = t.client.readOnce();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, kIdnResponse.substr(0, 7));
    const std::string rest = t.client.readBytes(kIdnResponse.size() - 7);
    EXPECT_EQ(rest, kIdnResponse.substr(7));
    EXPECT_GE(simtest::Clock::now() - t0, std::chrono::milliseconds(590));
}

TEST(SimTcp, DelayedReplyComesAfterTheFirstOk) {
    TcpSim t;
    sim::Faults f;
    f.delay = 1;
    f.delayMs = 800;
    t.sim.setFaults(f);
    const auto t0 = simtest::Clock::now();
    ASSERT_TRUE(t.client.send("*IDN?\r"));
    EXPECT_EQ(t.client.readOnce(), std::string("OK\r\n"));
    const std::string rest = kIdn + "\r\nOK\r\n";
    EXPECT_EQ(t.client.readBytes(rest.size()), rest);
    EXPECT_GE(simtest::Clock::now() - t0, std::chrono::milliseconds(790));

    // a command's OK is what is held back
    f = {};
    f.delay = 1;
    f.delayMs = 500;
    t.sim.setFaults(f);
    const auto t1 = simtest::Clock::now();
    ASSERT_TRUE(t.client.send("IM:MODE 1\r"));
    EXPECT_EQ(t.client.readBytes(4), "OK\r\n");
    EXPECT_GE(simtest::Clock::now() - t1, std::chrono::milliseconds(490));
}

TEST(SimTcp, LaterResponsesQueueBehindADelayedOne) {
    TcpSim t;
    sim::Faults f;
    f.delay = 1;
    f.delayMs = 400;
    t.sim.setFaults(f);
    ASSERT_TRUE(t.client.send("SYST:SER?\r*IDN?\r"));
    const std::string ser = "OK\r\n" + std::string(sim::kDefaultSerial) + "\r\nOK\r\n";
    EXPECT_EQ(t.client.readBytes(ser.size() + kIdnResponse.size()), ser + kIdnResponse);
}

TEST(SimTcp, CloseMidReplySendsTheFirstBytesThenCloses) {
    TcpSim t;
    sim::Faults f;
    f.closeMidReply = 1;
    f.closeAfter = 9;
    t.sim.setFaults(f);
    ASSERT_TRUE(t.client.send("*IDN?\r"));
    EXPECT_EQ(t.client.readBytes(100), kIdnResponse.substr(0, 9));   // stops at the close
    EXPECT_TRUE(t.client.waitClosed());
    // the server goes on: a new connection is answered normally
    Stream again = Stream::tcp("127.0.0.1", t.sim.tcpPort());
    ASSERT_TRUE(again.send("*IDN?\r"));
    EXPECT_EQ(again.readBytes(kIdnResponse.size()), kIdnResponse);
}

TEST(SimTcp, SilentPeerExecutesButNeverAnswers) {
    TcpSim t;
    sim::Faults f;
    f.silent = true;
    t.sim.setFaults(f);
    ASSERT_TRUE(t.client.send("IM:MODE 2\r*IDN?\r"));
    ASSERT_TRUE(waitFor([&] { return t.sim.commandLog().size() == 2; }));
    EXPECT_EQ(t.client.readQuiet(300), "");
    EXPECT_EQ(t.sim.commandLog(), (std::vector<std::string>{"IM:MODE 2", "*IDN?"}));
    EXPECT_EQ(t.sim.instrument().setting("IM:MODE"), std::string("2"));
    t.sim.setFaults({});
    ASSERT_TRUE(t.client.send("*IDN?\r"));
    EXPECT_EQ(t.client.readBytes(kIdnResponse.size()), kIdnResponse);
}

TEST(SimTcp, AClientThatNeverReadsIsDisconnectedNotBuffered) {
    TcpSim t;
    sim::Faults f;
    f.overlong = 50;
    f.overlongBytes = 1'000'000;
    t.sim.setFaults(f);
    ASSERT_TRUE(waitFor([&] { return t.sim.connectionCount(sim::Link::Tcp) == 1; }));   // accepted
    std::string queries;
    for (int i = 0; i < 50; ++i) queries += "*IDN?\r";
    ASSERT_TRUE(t.client.send(queries));
    // no read before the simulator gives up on the client (or the wait ends)
    EXPECT_TRUE(waitFor([&] { return t.sim.connectionCount(sim::Link::Tcp) == 0; }));
    std::size_t total = 0;
    while (auto part = t.client.readOnce()) {
        if (part->empty()) break;   // closed by the simulator
        total += part->size();
    }
    EXPECT_LT(total, 50u * 1'000'000u);
    EXPECT_GT(total, 0u);
}

// Responses of a fixed sequence of queries under probabilistic faults that
// keep the byte count (garbled OKs) but change the content and the segments.
std::string runWithSeed(uint32_t seed) {
    sim::Options o = tcpOnly(seed);
    o.faults.pGarbleOk = 0.3;
    o.faults.pGarbleReplyOk = 0.3;
    TcpSim t(o);
    std::string all;
    for (int i = 0; i < 24; ++i) {
        if (!t.client.send("*IDN?\r")) return "send failed";
        all += t.client.readBytes(kIdnResponse.size());
    }
    return all;
}

TEST(SimTcp, ProbabilisticFaultsRepeatForTheSameSeed) {
    const std::string a = runWithSeed(7);
    const std::string b = runWithSeed(7);
    const std::string c = runWithSeed(8);
    ASSERT_EQ(a.size(), 24 * kIdnResponse.size());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(a.find("0K"), std::string::npos);   // faults did happen
    EXPECT_NE(a.find("OK"), std::string::npos);   // and not every time
}

// The plans themselves, for every kind at once: same seed, same plans.
TEST(SimFaultPlan, SameSeedSamePlansDifferentSeedDifferentPlans) {
    sim::Faults f;
    f.pDropOk = f.pGarbleOk = f.pDropReplyOk = f.pGarbleReplyOk = f.pDuplicate = 0.2;
    f.pDelay = f.pSplit = f.pClose = f.pOverlong = 0.2;
    f.pUdpLose = f.pUdpDuplicate = f.pUdpReorder = f.pUdpStaleId = f.pUdpWrongId = f.pUdpShort = f.pUdpForeign = 0.2;
    f.delayMs = 10;
    auto trace = [&f](uint32_t seed) {
        sim::FaultPlan plan(seed, f);
        std::string out;
        for (int i = 0; i < 40; ++i) {
            const auto s = plan.stream(i % 2 == 0, "REPLY");
            for (const auto& p : s.pieces) out += std::to_string(p.pauseMs) + ":" + p.bytes + "|";
            out += s.close ? "C;" : ";";
            const auto u = plan.udp(static_cast<uint16_t>(i), i % 3 == 0, "R", "");
            for (const auto& d : u.datagrams) out += std::to_string(d.pauseMs) + (d.foreign ? "F" : "-") + d.bytes + "|";
            out += ";";
        }
        return out;
    };
    EXPECT_EQ(trace(3), trace(3));
    EXPECT_NE(trace(3), trace(4));
}

// --- the pty ---

struct PtySim {
    sim::Simulator sim;
    explicit PtySim(sim::Options o) : sim(std::move(o)) {
        if (!sim.start()) ADD_FAILURE() << sim.error();
    }
};

sim::Options ptyOnly(const std::string& link = {}) {
    sim::Options o;
    o.tcp = o.udp = o.gpib = false;
    o.ptyLink = link;
    return o;
}

std::string tempPath(const char* name) {
    return std::string(::testing::TempDir()) + "imbench-sim-" + std::to_string(::getpid()) + "-" + name;
}

TEST(SimPty, AnswersLikeTcpAndSurvivesCloseAndReopen) {
    PtySim p(ptyOnly());
    ASSERT_FALSE(p.sim.ptyPath().empty());
    {
        Stream port = Stream::pty(p.sim.ptyPath());
        ASSERT_TRUE(port.valid());
        ASSERT_TRUE(port.send("*IDN?\r"));
        EXPECT_EQ(port.readBytes(kIdnResponse.size()), kIdnResponse);
        ASSERT_TRUE(port.send("IM:MODE 1\n"));   // LF works too
        EXPECT_EQ(port.readBytes(4), "OK\r\n");
    }
    for (int round = 0; round < 3; ++round) {
        Stream port = Stream::pty(p.sim.ptyPath());   // raw, input flushed
        ASSERT_TRUE(port.valid());
        ASSERT_TRUE(port.send("IM:MODE?\r"));
        EXPECT_EQ(port.readBytes(11), "OK\r\n1\r\nOK\r\n") << round;
    }
}

TEST(SimPty, CloseFaultLosesTheRestButTheLineStaysUp) {
    PtySim p(ptyOnly());
    sim::Faults f;
    f.closeMidReply = 1;
    f.closeAfter = 6;
    p.sim.setFaults(f);
    Stream port = Stream::pty(p.sim.ptyPath());
    ASSERT_TRUE(port.send("*IDN?\r"));
    EXPECT_EQ(port.readBytes(6), kIdnResponse.substr(0, 6));
    EXPECT_EQ(port.readQuiet(300), "");
    ASSERT_TRUE(port.send("*IDN?\r"));
    EXPECT_EQ(port.readBytes(kIdnResponse.size()), kIdnResponse);
}

TEST(SimPty, RepliesNobodyReadsAreDroppedWholeBeyondTheBacklog) {
    PtySim p(ptyOnly());
    sim::Faults f;
    f.overlong = 40;
    f.overlongBytes = 10'000;
    p.sim.setFaults(f);
    Stream port = Stream::pty(p.sim.ptyPath());
    std::string queries;
    for (int i = 0; i < 40; ++i) queries += "*IDN?\r";
    ASSERT_TRUE(port.send(queries));
    ASSERT_TRUE(waitFor([&] { return p.sim.commandLog().size() == 40; }));
    // a normal query last: its reply marks the end of what is left
    ASSERT_TRUE(port.send("*IDN?\r"));
    const std::string one = "OK\r\n" + std::string(10'000, 'X') + "\r\nOK\r\n";
    std::string got;
    const auto deadline = simtest::Clock::now() + std::chrono::milliseconds(simtest::kWaitMs);
    while (!got.ends_with(kIdnResponse)) {
        auto part = port.readOnce(simtest::msLeft(deadline));
        if (!part || part->empty()) break;
        got += *part;
    }
    ASSERT_TRUE(got.ends_with(kIdnResponse));
    got.resize(got.size() - kIdnResponse.size());
    EXPECT_LT(got.size(), 40 * one.size());
    ASSERT_GT(got.size(), 0u);
    EXPECT_EQ(got.size() % one.size(), 0u);   // whole replies only
    EXPECT_EQ(got.substr(0, one.size()), one);
}

TEST(SimPty, SymlinkPointsAtTheSlaveAndIsRemovedOnStop) {
    const std::string link = tempPath("tty");
    ::unlink(link.c_str());
    {
        PtySim p(ptyOnly(link));
        char target[256] = {};
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), p.sim.ptyPath());
        Stream port = Stream::pty(link);
        ASSERT_TRUE(port.send("SYST:SER?\r"));
        const std::string ser = "OK\r\n" + std::string(sim::kDefaultSerial) + "\r\nOK\r\n";
        EXPECT_EQ(port.readBytes(ser.size()), ser);
        p.sim.stop();
        struct stat st {};
        EXPECT_NE(::lstat(link.c_str(), &st), 0);
    }
}

TEST(SimPty, AStaleSymlinkIsReplacedButARegularFileIsNot) {
    const std::string link = tempPath("tty2");
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink("/nonexistent/old-pty", link.c_str()), 0);
    {
        PtySim p(ptyOnly(link));
        char target[256] = {};
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), p.sim.ptyPath());
    }
    FILE* file = std::fopen(link.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    sim::Simulator refused(ptyOnly(link));
    EXPECT_FALSE(refused.start());
    EXPECT_NE(refused.error().find("not a symbolic link"), std::string::npos) << refused.error();
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    ::unlink(link.c_str());
}

}  // namespace
