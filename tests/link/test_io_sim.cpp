// The transport against the simulated instrument over loopback sockets, its
// pty and its GPIB adapter: every link kind, each injected fault with what the
// host must report, split replies, and the limits of a line.
#include "platform/gpib.h"
#include "platform/portmap.h"
#include "tests/support/peers.h"
#include "tests/support/sim_start.h"

#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <sstream>
#include <tuple>
#include <thread>

namespace {

constexpr int kCom = 11, kPad = 5, kShort = 250, kLong = 5000;
const std::string kIdn = sim::kDefaultIdn, kVer = sim::kDefaultVersion, kSer = sim::kDefaultSerial;
using Clock = std::chrono::steady_clock;

// Writes text, and reads a query's reply into size bytes that must not be
// overrun: the results of both and the reply.
std::tuple<int, int, std::string> exchange(int h, const std::string& text, int size = 128) {
    std::string arena(static_cast<std::size_t>(size) + 16, '#');
    arena[0] = '\0';
    const int write = io_write(h, text.c_str());
    const int read = write == 0 && text.back() == '?' ? io_read(h, arena.data(), size) : 0;
    EXPECT_EQ(arena.substr(static_cast<std::size_t>(size)), std::string(16, '#')) << "written past the buffer";
    return {write, read, arena.c_str()};
}
std::string reply(int h, const std::string& query) { return std::get<2>(exchange(h, query)); }

class IoSim : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Options o;
        o.timeScale = 0;
        sim_ = tsupport::startSimulator(o);
        ASSERT_TRUE(sim_);
        portmap::overrideCom(kCom, sim_->ptyPath());
        portmap::overrideGpib(0, "prologix-tcp " + address() + ":" + std::to_string(sim_->gpibPort()));
    }
    void TearDown() override {
        tsupport::closeAllLinks();
        EXPECT_EQ(io_socket_users(), users_);
    }
    const std::string& address() const { return sim_->options().address; }
    int open(int kind) {
        return kind == IO_COM ? io_open(IO_COM, &kCom, 115200)
            : kind == IO_GPIB ? io_open(IO_GPIB, &kPad, 0)
                              : io_open(kind, address().c_str(), 0);
    }
    void fault(const std::string& flags) { // "name=value name=value"
        sim::Faults f;
        std::istringstream words(flags);
        for (std::string w; words >> w;) EXPECT_TRUE(sim::parseFault(f, w, nullptr)) << w;
        sim_->setFaults(f);
    }

    int users_ = io_socket_users();
    std::unique_ptr<sim::Simulator> sim_;
};

struct FaultRow {
    const char* name;
    int kind;
    const char* faults;
    int wait; // link time-out for the faulted exchange
    int write, read; // its results
    std::string reply; // of a query that succeeds
    std::vector<std::string> errors; // level-1 messages; "%u" the id received, then ours
    int after = 0; // 1: a bare read must find nothing of the fault; 2: what comes of
        // it later is waited for, and the next query must not take it
    bool reopen = false; // the fault took the connection
    const char* text = "*IDN?";
};

const std::vector<std::string> kNoAck = {"Command OK Expected", "io_write:(-999) *IDN?"};
const std::vector<std::string> kNoReplyAck = {"Query OK Expected", "io_read:(-999)"};
const std::vector<std::string> kReadFails = {"io_read:(-1)"};
const std::vector<std::string> kTrailing = {"More came after the reply's OK: an earlier answer is still arriving", "io_read:(-6)"};
std::vector<std::string> udp(const std::string& why) { return {"UDP Rx " + why, "io_write:(-2) *IDN?"}; }

void PrintTo(const FaultRow& r, std::ostream* os) { *os << r.name; }

class IoSimFaults : public IoSim, public ::testing::WithParamInterface<FaultRow> { };

TEST_P(IoSimFaults, HostReportsTheFaultAndTheNextQueryGetsItsOwnReply) {
    const FaultRow& r = GetParam();
    int h = open(r.kind);
    io_timeout(h, kLong);
    ASSERT_EQ(reply(h, "SYST:SER?"), kSer); // what a UDP stale datagram repeats
    const unsigned id = io_get_link(h)->req_id + 1u;
    tsupport::MessageLog log;
    fault(r.faults);
    io_timeout(h, r.wait);
    const auto t0 = Clock::now();
    const auto [write, read, text] = exchange(h, r.text);
    EXPECT_EQ(std::tuple(write, read, text), std::tuple(r.write, r.read, r.reply));
    if (r.wait == kLong && (write || read)) {
        EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(kLong / 2)) << "failed bytes must not wait out the time-out";
    }
    std::vector<std::string> errors;
    for (const std::string& m : r.errors) {
        char message[128];
        std::snprintf(message, sizeof message, m.c_str(), (id + 1) & 0xFFFF, id & 0xFFFF);
        errors.push_back(message);
    }
    EXPECT_EQ(log.errors(), errors);
    char rest[128] = "";
    io_timeout(h, 100);
    pollfd late{io_get_link(h)->dev, POLLIN, 0};
    EXPECT_TRUE(r.after != 2 || poll(&late, 1, kLong) == 1) << "nothing more came";
    EXPECT_TRUE(r.after != 1 || io_read(h, rest, sizeof rest) == -1) << "the failure left " << rest;
    if (std::string(r.faults) == "silent=1")
        sim_->setFaults({}); // counted faults must be used up by now
    if (r.reopen) {
        io_close(h);
        h = open(r.kind);
    }
    io_timeout(h, 700); // the line must first fall quiet for twice this after a lost "*IDN?" answer
    EXPECT_EQ(reply(h, "SYST:VERS?"), kVer) << "the next query, at the first try";
    EXPECT_EQ(reply(h, "SYST:SER?"), kSer);
    EXPECT_STREQ(io_get_remote_address(h), r.kind >= IO_TCP ? address().c_str() : nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, IoSimFaults,
    ::testing::Values(
        FaultRow{"tcp_drop_ok", IO_TCP, "drop-ok=1", kLong, -999, 0, "", kNoAck},
        FaultRow{"tcp_garble_ok", IO_TCP, "garble-ok=1", kLong, -999, 0, "", kNoAck, 1},
        FaultRow{"tcp_drop_reply_ok", IO_TCP, "drop-reply-ok=1", kShort, 0, -1, "", kNoReplyAck},
        FaultRow{"tcp_garble_reply_ok", IO_TCP, "garble-reply-ok=1", kLong, 0, -1, "", kNoReplyAck},
        FaultRow{"tcp_duplicate", IO_TCP, "duplicate=1", kLong, 0, -1, "", kTrailing},
        FaultRow{"tcp_late", IO_TCP, "late=1 late-ms=600", kShort, -999, 0, "", kNoAck, 2},
        FaultRow{"tcp_duplicate_after_split", IO_TCP, "duplicate=1 split=1 split-at=40 split-gap-ms=100", kLong, 0, 0, kIdn, {}, 2},
        FaultRow{"tcp_line_too_long", IO_TCP, "overlong=1 overlong-bytes=130", kLong, 0, -1, "", {"io_read:(-1000)"}, 1},
        FaultRow{"tcp_delay", IO_TCP, "delay=1 delay-ms=1500", kShort, 0, -1, "", {"Reply line did not end in time", "io_read:(-3)"}, 2},
        FaultRow{"tcp_close", IO_TCP, "close=1 close-after=6", kLong, 0, -1, "", {"Reply line cut off: the link closed", "io_read:(-4)"}, 0, true},
        FaultRow{"tcp_silent", IO_TCP, "silent=1", kShort, -999, 0, "", kNoAck},
        FaultRow{"com_drop_ok", IO_COM, "drop-ok=1", kLong, -999, 0, "", kNoAck},
        FaultRow{"com_garble_ok", IO_COM, "garble-ok=1", kLong, -999, 0, "", kNoAck, 1},
        FaultRow{"com_garble_reply_ok", IO_COM, "garble-reply-ok=1", kLong, 0, -1, "", kNoReplyAck},
        FaultRow{"com_duplicate", IO_COM, "duplicate=1", kLong, 0, -1, "", kTrailing},
        FaultRow{"com_line_too_long", IO_COM, "overlong=1 overlong-bytes=127", kLong, 0, -1, "", {"io_read:(-1000)"}},
        FaultRow{"com_silent", IO_COM, "silent=1", kShort, -999, 0, "", kNoAck},
        FaultRow{"gpib_too_long", IO_GPIB, "overlong=1 overlong-bytes=300", kLong, 0, -1, "", {"GPIB reply longer than 127 characters", "io_read:(-1000)"}},
        FaultRow{"gpib_delay", IO_GPIB, "delay=1 delay-ms=1500", kShort, 0, -1, "", kReadFails},
        FaultRow{"gpib_close", IO_GPIB, "close=1 close-after=5", kLong, 0, -1, "", kReadFails},
        FaultRow{"gpib_silent", IO_GPIB, "silent=1", kShort, 0, -1, "", kReadFails},
        FaultRow{"udp_lose_request", IO_UDP, "udp-lose-request=1", kShort, -2, 0, "", udp("timeout! trycnt=1")},
        FaultRow{"udp_lose_confirm", IO_UDP, "udp-lose=1", kLong, -2, 0, "", udp("not a CONFIRM packet! CODE=3, trycnt=1")},
        FaultRow{"udp_duplicate", IO_UDP, "udp-duplicate=1", kLong, 0, -1, "", kReadFails},
        FaultRow{"udp_duplicate_command", IO_UDP, "udp-duplicate=1", kLong, 0, 0, "", {}, 2, false, "IM:MODE 1"},
        FaultRow{"udp_reorder", IO_UDP, "udp-reorder=1", kLong, -2, 0, "", udp("not a CONFIRM packet! CODE=3, trycnt=1")},
        FaultRow{"udp_too_long", IO_UDP, "overlong=1 overlong-bytes=300", kLong, 0, -1, "", {"UDP Rx datagram of 306 bytes, longer than 256", "io_read:(-1)"}},
        FaultRow{"udp_cut_short", IO_UDP, "udp-truncate=1", kLong, 0, -1, "", kReadFails},
        FaultRow{"udp_stale_id", IO_UDP, "udp-stale-id=1", kLong, 0, 0, kIdn, {}},
        FaultRow{"udp_wrong_id", IO_UDP, "udp-wrong-id=1", kLong, -2, 0, "", udp("request ID error! ID=%u, myid=%u trycnt=1")},
        FaultRow{"udp_short", IO_UDP, "udp-short=1", kLong, -2, 0, "", udp("timeout! trycnt=1")},
        FaultRow{"udp_foreign", IO_UDP, "udp-foreign=1", kLong, 0, 0, kIdn, {}},
        FaultRow{"udp_foreign_only", IO_UDP, "udp-foreign=1 udp-foreign-only=1", kShort, -2, 0, "", udp("timeout! trycnt=1")}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(IoSim, ReplySplitAtEveryByteParsesTheSame) {
    for (int kind : {IO_GPIB, IO_COM, IO_TCP}) {
        const int h = open(kind);
        const std::size_t length = kind == IO_GPIB ? kVer.size() + 1 : tsupport::tcpQueryAnswer(kVer).size();
        for (std::size_t k = 1; k < length; ++k) {
            fault("split=1 split-gap-ms=2 split-at=" + std::to_string(k));
            EXPECT_EQ(reply(h, "SYST:VERS?"), kVer) << "kind " << kind << " split at " << k;
        }
    }
}

// The longest command goes out whole; one character more is refused unsent.
TEST_F(IoSim, LongestCommandOfEachKind) {
    for (auto [kind, longest] : {std::pair{IO_COM, 510}, {IO_TCP, 510}, {IO_UDP, 250}}) {
        const int h = open(kind);
        sim_->clearLog();
        const std::string text = "IM:MODE " + std::string(static_cast<std::size_t>(longest) - 8, '1');
        tsupport::MessageLog log;
        EXPECT_EQ(io_write(h, text.c_str()), 0) << "kind " << kind;
        EXPECT_EQ(io_write(h, (text + "1").c_str()), IO_ERR) << "kind " << kind;
        EXPECT_EQ(sim_->commandLog(), std::vector<std::string>{text}) << "kind " << kind;
        // The message is cut to its 512-byte buffer, not overrun.
        EXPECT_EQ(log.all(), (std::vector<tsupport::Message>{{0, ("\niowrite:" + text).substr(0, 511)}, {1, ("io_write:(-1) " + text + "1").substr(0, 511)}}));
        io_close(h);
    }
}

// Each request takes the next id (a read takes none, the close notice the
// next); after 65535 comes 0, and a reply still carrying 65535 is then newer
// than the request, not older: it is refused.
TEST_F(IoSim, UdpRequestIdWrapsAndTheOldTopIdIsRefused) {
    unsigned seed = 1;
    for (std::srand(seed); (std::rand() & 0xFFFF) != 65534; std::srand(++seed)) {
    }
    std::srand(seed);
    const int h = open(IO_UDP);
    io_timeout(h, kLong);
    tsupport::MessageLog log;
    EXPECT_EQ(reply(h, "*IDN?"), kIdn);
    EXPECT_EQ(log.all(), (std::vector<tsupport::Message>{{0, "\niowrite:*IDN?"}, {0, "\nio_read:" + kIdn}}));
    fault("udp-stale-id=1");
    EXPECT_EQ(std::get<1>(exchange(h, "SYST:VERS?")), -1);
    io_close(h);
    for (int i = 0; i < 1000 && sim_->commandRecords().size() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::pair<int, int>> ids; // code and id of each packet
    for (const sim::LogEntry& e : sim_->commandRecords()) ids.emplace_back(e.udpCode, e.udpId);
    EXPECT_EQ(ids, (std::vector<std::pair<int, int>>{{IO_UDP_REQUEST, 65535}, {IO_UDP_REQUEST, 0}, {IO_UDP_CLOSE, 1}}));
}

// The windows stay alive while a COM link waits: the installed idle hook runs
// during the wait for an "OK" that never comes, and a removed one no more.
int g_idles = 0;
TEST_F(IoSim, ComWaitsRunTheInstalledIdleHook) {
    const int h = open(IO_COM);
    io_timeout(h, 20);
    fault("silent=1");
    for (auto [hook, runs] : {std::pair<io_idle_fn, bool>{[] { ++g_idles; }, true}, {nullptr, false}}) {
        g_idles = 0;
        io_hook_idle(hook);
        EXPECT_EQ(io_write(h, "*IDN?"), IO_ERR_NO_OK);
        EXPECT_EQ(g_idles > 0, runs);
    }
}

TEST_F(IoSim, GpibTimeoutCodesFollowTheMilliseconds) {
    const int h = open(IO_GPIB);
    for (auto [ms, code] : {std::pair{3000, T3s}, {1, T1ms}, {10, T10ms}, {1000, T1s}, {10000, T10s}, {30000, T30s},
             {100000, T30s}, {300, T300ms}, {0, T1ms}, {-1, T30s}}) {
        io_timeout(h, ms);
        EXPECT_EQ(gpib_timeout_code(io_get_link(h)->dev), code) << ms << " ms";
    }
}

} // namespace
