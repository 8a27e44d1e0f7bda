// The transport against the simulated instrument over real loopback sockets,
// a pty and the simulated GPIB adapter: every link kind, injected faults,
// split replies and replies at the buffer limit.
#include "link/io.h"
#include "platform/portmap.h"
#include "sim/sim.h"
#include "tests/link/io_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace iotest;

namespace {

constexpr int kComPort = 11;
constexpr int kGpibAddress = 5;
constexpr int kBaud = 115200;

// One simulator per test on its own loopback address, every link on.
class SimLink {
public:
    explicit SimLink(int n)
    {
        sim::Options o;
        o.address = "127.77.5." + std::to_string(n);
        o.foreignAddress = "127.77.6." + std::to_string(n);
        o.gpibPort = 0;
        o.gpibAddress = kGpibAddress;
        sim_ = std::make_unique<sim::Simulator>(o);
        started_ = sim_->start();
        if (started_) {
            portmap::overrideCom(kComPort, sim_->ptyPath());
            portmap::overrideGpib(0, "prologix-tcp " + o.address + ":" + std::to_string(sim_->gpibPort()));
        }
    }
    ~SimLink()
    {
        closeAllLinks();
        portmap::clearOverrides();
    }
    bool started() const { return started_; }
    std::string error() const { return sim_->error(); }
    sim::Simulator& sim() { return *sim_; }
    const std::string& address() const { return sim_->options().address; }

    int open(int kind)
    {
        int h = -1;
        if (kind == IO_COM)
            h = io_open(IO_COM, &kComPort, kBaud);
        else if (kind == IO_GPIB)
            h = io_open(IO_GPIB, &kGpibAddress, 0);
        else
            h = io_open(kind, address().c_str(), 0);
        return h;
    }

    void setFault(const std::string& assignments)
    {
        sim::Faults f;
        std::string rest = assignments;
        while (!rest.empty()) {
            const auto sp = rest.find(' ');
            const std::string one = rest.substr(0, sp);
            std::string error;
            EXPECT_TRUE(sim::parseFault(f, one, &error)) << one << ": " << error;
            rest = sp == std::string::npos ? "" : rest.substr(sp + 1);
        }
        sim_->setFaults(f);
    }

private:
    std::unique_ptr<sim::Simulator> sim_;
    bool started_ = false;
};

// One query: write then read; the reply, or nothing when either failed.
std::optional<std::string> query(int h, const char* q, int size = 128)
{
    std::vector<char> buf(static_cast<std::size_t>(size));
    if (io_write(h, q) != 0)
        return std::nullopt;
    if (io_read(h, buf.data(), size) != 0)
        return std::nullopt;
    return std::string(buf.data());
}

const char* kindName(int kind)
{
    switch (kind) {
    case IO_GPIB: return "gpib";
    case IO_COM: return "com";
    case IO_TCP: return "tcp";
    default: return "udp";
    }
}

class IoSimKinds : public ::testing::TestWithParam<int> {};

TEST_P(IoSimKinds, OpensQueriesCommandsAndCloses)
{
    const int users = io_socket_users();
    SimLink link(1 + GetParam());
    ASSERT_TRUE(link.started()) << link.error();
    const int h = link.open(GetParam());
    ASSERT_GE(h, 0);
    io_timeout(h, 3000);
    EXPECT_EQ(query(h, "*IDN?"), std::string(sim::kDefaultIdn));
    EXPECT_EQ(io_write(h, "IM:OUTP:SINE:FREQ 1000"), 0);
    EXPECT_EQ(query(h, "SYST:VERS?"), std::string(sim::kDefaultVersion));
    io_close(h);
    EXPECT_EQ(io_socket_users(), users);
    const std::vector<std::string> want{"*IDN?", "IM:OUTP:SINE:FREQ 1000", "SYST:VERS?"};
    EXPECT_EQ(link.sim().commandLog(), want);
}

INSTANTIATE_TEST_SUITE_P(Links, IoSimKinds, ::testing::Values(IO_GPIB, IO_COM, IO_TCP, IO_UDP),
                         [](const ::testing::TestParamInfo<int>& i) { return std::string(kindName(i.param)); });

// ---- faults ------------------------------------------------------------------------------

struct FaultCase {
    int slot;             // picks the simulator's loopback address
    const char* name;
    int kind;
    const char* faults;   // simulator fault flags for the first query
    bool reopen;          // the faulted link is closed and opened again before the next query
    bool firstTry;        // the next query must succeed at its first attempt
};

class IoSimFaults : public ::testing::TestWithParam<FaultCase> {};

// The faulted query may fail, but never hands back another query's reply; the
// query after it gets its own reply (within the three attempts the interface
// panel makes, and at once where nothing of the fault can still be on its way).
TEST_P(IoSimFaults, NextQueryGetsItsOwnReply)
{
    const FaultCase& c = GetParam();
    const int users = io_socket_users();
    SimLink link(20 + c.slot);
    ASSERT_TRUE(link.started()) << link.error();
    int h = link.open(c.kind);
    ASSERT_GE(h, 0);
    const int timeout = c.kind == IO_UDP ? 1000 : 500;
    io_timeout(h, timeout);

    MessageLog log;
    link.setFault(c.faults);
    const int64_t t0 = nowMs();
    const auto faulted = query(h, "*IDN?");
    const int64_t took = nowMs() - t0;
    // A failure comes within the deadlines of one write and one read
    // (each waits for at most two lines on the stream links).
    EXPECT_LT(took, 4 * timeout + 2000);
    if (faulted) {
        EXPECT_EQ(*faulted, sim::kDefaultIdn);
    }
    link.setFault("");

    if (c.reopen) {
        io_close(h);
        h = link.open(c.kind);
        ASSERT_GE(h, 0);
        io_timeout(h, timeout);
    }
    int attempts = 0;
    std::optional<std::string> next;
    while (!next && attempts < 3) {
        ++attempts;
        next = query(h, "SYST:VERS?");
    }
    ASSERT_TRUE(next.has_value()) << "no answer in three attempts: " << ::testing::PrintToString(log.all());
    EXPECT_EQ(*next, sim::kDefaultVersion);
    if (c.firstTry) {
        EXPECT_EQ(attempts, 1);
    }
    // And once more, to be sure nothing of the fault is left.
    EXPECT_EQ(query(h, "SYST:SER?"), std::string(sim::kDefaultSerial));
    io_close(h);
    EXPECT_EQ(io_socket_users(), users);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, IoSimFaults,
    ::testing::Values(
        FaultCase{1, "tcp_drop_ok", IO_TCP, "drop-ok=1", false, true},
        FaultCase{2, "tcp_garble_ok", IO_TCP, "garble-ok=1", false, true},
        FaultCase{3, "tcp_drop_reply_ok", IO_TCP, "drop-reply-ok=1", false, true},
        FaultCase{4, "tcp_garble_reply_ok", IO_TCP, "garble-reply-ok=1", false, true},
        FaultCase{5, "tcp_duplicate", IO_TCP, "duplicate=1", false, true},
        FaultCase{6, "tcp_split", IO_TCP, "split=1 split-at=7 split-gap-ms=50", false, true},
        FaultCase{7, "tcp_overlong", IO_TCP, "overlong=1 overlong-bytes=600", false, true},
        FaultCase{8, "tcp_delay", IO_TCP, "delay=1 delay-ms=700", false, false},
        FaultCase{9, "tcp_close_mid_reply", IO_TCP, "close=1 close-after=6", true, true},
        FaultCase{10, "tcp_silent", IO_TCP, "silent=1", true, true},
        FaultCase{11, "com_drop_ok", IO_COM, "drop-ok=1", false, true},
        FaultCase{12, "com_garble_reply_ok", IO_COM, "garble-reply-ok=1", false, true},
        FaultCase{13, "com_duplicate", IO_COM, "duplicate=1", false, true},
        FaultCase{14, "com_split", IO_COM, "split=1 split-at=3 split-gap-ms=50", false, true},
        FaultCase{15, "com_overlong", IO_COM, "overlong=1 overlong-bytes=600", false, true},
        FaultCase{16, "com_silent", IO_COM, "silent=1", false, true},
        FaultCase{17, "gpib_split", IO_GPIB, "split=1 split-at=4 split-gap-ms=20", false, true},
        FaultCase{18, "gpib_delay", IO_GPIB, "delay=1 delay-ms=700", false, false},
        FaultCase{19, "udp_lose_request", IO_UDP, "udp-lose-request=1", false, true},
        FaultCase{20, "udp_lose", IO_UDP, "udp-lose=1", false, true},
        FaultCase{21, "udp_duplicate", IO_UDP, "udp-duplicate=1", false, true},
        FaultCase{22, "udp_reorder", IO_UDP, "udp-reorder=1", false, true},
        FaultCase{23, "udp_stale_id", IO_UDP, "udp-stale-id=1", false, true},
        FaultCase{24, "udp_wrong_id", IO_UDP, "udp-wrong-id=1", false, true},
        FaultCase{25, "udp_short", IO_UDP, "udp-short=1", false, true},
        FaultCase{26, "udp_foreign", IO_UDP, "udp-foreign=1", false, true},
        FaultCase{27, "udp_foreign_only", IO_UDP, "udp-foreign=1 udp-foreign-only=1", false, true}),
    [](const ::testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.name); });

// ---- splits and the buffer limit -------------------------------------------------------

class IoSimStream : public ::testing::TestWithParam<int> {};

TEST_P(IoSimStream, ReplySplitAtEveryByteBoundaryParsesTheSame)
{
    SimLink link(60 + GetParam());
    ASSERT_TRUE(link.started()) << link.error();
    const int h = link.open(GetParam());
    ASSERT_GE(h, 0);
    // "OK\r\n" + reply + "\r\nOK\r\n"
    const int length = 4 + static_cast<int>(std::string(sim::kDefaultVersion).size()) + 6;
    for (int k = 1; k < length; ++k) {
        link.setFault("split=1 split-at=" + std::to_string(k) + " split-gap-ms=2");
        EXPECT_EQ(query(h, "SYST:VERS?"), std::string(sim::kDefaultVersion)) << "split at " << k;
    }
}

TEST_P(IoSimStream, ReplyOfTheBufferLimitAndOneByteMore)
{
    constexpr int kSize = 64;
    SimLink link(70 + GetParam());
    ASSERT_TRUE(link.started()) << link.error();
    const int h = link.open(GetParam());
    ASSERT_GE(h, 0);
    MessageLog log;
    link.setFault("overlong=1 overlong-bytes=" + std::to_string(kSize - 2));
    EXPECT_EQ(query(h, "SYST:VERS?", kSize), std::string(kSize - 2, 'X'));
    link.setFault("overlong=1 overlong-bytes=" + std::to_string(kSize - 1));
    log.clear();
    EXPECT_EQ(query(h, "SYST:VERS?", kSize), std::nullopt);
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "io_read:(-1000)"}}));
    link.setFault("");
    EXPECT_EQ(query(h, "SYST:VERS?", kSize), std::string(sim::kDefaultVersion));
}

INSTANTIATE_TEST_SUITE_P(Links, IoSimStream, ::testing::Values(IO_COM, IO_TCP),
                         [](const ::testing::TestParamInfo<int>& i) { return std::string(kindName(i.param)); });

}  // namespace
