// UDP links against scripted fake peers on loopback: the request/confirm
// exchange, reply checks, request ids, foreign senders and stale datagrams.
#include "link/io.h"
#include "tests/link/io_test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <poll.h>
#include <vector>

using namespace iotest;

namespace {

std::string addr(int n)
{
    return "127.77.2." + std::to_string(n);
}

// Generous enough for a loaded machine; the default 200 ms is checked on its own.
constexpr int kTestTimeout = 3000;

class IoUdp : public ::testing::Test {
protected:
    void SetUp() override { usersBefore_ = io_socket_users(); }
    void TearDown() override
    {
        closeAllLinks();
        EXPECT_EQ(io_socket_users(), usersBefore_);
    }

    int open(const std::string& a, int timeout = kTestTimeout)
    {
        const int h = io_open(IO_UDP, a.c_str(), 0);
        EXPECT_GE(h, 0) << "open " << a;
        if (h >= 0)
            io_timeout(h, timeout);
        return h;
    }

    static uint16_t reqId(int h) { return io_get_link(h)->req_id; }

    MessageLog log;
    int usersBefore_ = 0;
};

// The next request the peer gets, checked to be a well-formed REQUEST of text.
Request expectRequest(UdpPeer& p, Datagram* from, const std::string& text)
{
    Request r;
    EXPECT_TRUE(p.receive(from)) << "no request for " << text;
    EXPECT_TRUE(parseRequest(*from, &r)) << "malformed request for " << text;
    EXPECT_EQ(r.code, IO_UDP_REQUEST);
    EXPECT_EQ(r.text, text);
    return r;
}

TEST_F(IoUdp, QueryCommandAndCloseNotice)
{
    UdpPeer peer(addr(1));
    ASSERT_TRUE(peer.bound());
    const int h = io_open(IO_UDP, addr(1).c_str(), 0);
    ASSERT_GE(h, 0);
    EXPECT_EQ(io_get_link(h)->timeout, 200);
    EXPECT_EQ(io_socket_users(), usersBefore_ + 1);
    EXPECT_STREQ(io_get_remote_address(h), addr(1).c_str());
    io_timeout(h, kTestTimeout);
    const uint16_t first = static_cast<uint16_t>(reqId(h) + 1);

    peer.run([&](UdpPeer& p) {
        Datagram from;
        Request r = expectRequest(p, &from, "*IDN?");
        EXPECT_EQ(r.id, first);
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        p.sendPacket(from, IO_UDP_REPLY, r.id, "IMBENCH,IM3590-SIM");
        r = expectRequest(p, &from, "IM:OUTP ON");
        EXPECT_EQ(r.id, static_cast<uint16_t>(first + 1));
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "whatever");
        ASSERT_TRUE(p.receive(&from));
        ASSERT_TRUE(parseRequest(from, &r));
        EXPECT_EQ(r.code, IO_UDP_CLOSE);
        EXPECT_EQ(r.id, static_cast<uint16_t>(first + 2));
        EXPECT_EQ(from.bytes.size(), 6u);
    });
    char reply[64];
    ASSERT_EQ(io_write(h, "*IDN?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "IMBENCH,IM3590-SIM");
    ASSERT_EQ(io_write(h, "IM:OUTP ON"), 0);
    // Reads do not move the id.
    EXPECT_EQ(reqId(h), static_cast<uint16_t>(first + 1));
    io_close(h);
    peer.join();
    EXPECT_EQ(log.all(), (std::vector<Message>{{0, "\niowrite:*IDN?"},
                                               {0, "\nio_read:IMBENCH,IM3590-SIM"},
                                               {0, "\niowrite:IM:OUTP ON"}}));
    EXPECT_TRUE(peer.quiet(100));
}

TEST_F(IoUdp, RequestIdWrapsAndANewerReplyIsRefused)
{
    // Seed the C library's generator so the link starts at 65534.
    unsigned seed = 0;
    bool found = false;
    for (unsigned s = 1; s < (1u << 24) && !found; ++s) {
        std::srand(s);
        if ((std::rand() & 0xFFFF) == 65534) {
            seed = s;
            found = true;
        }
    }
    ASSERT_TRUE(found);
    UdpPeer peer(addr(2));
    ASSERT_TRUE(peer.bound());
    std::srand(seed);
    const int h = open(addr(2));
    ASSERT_GE(h, 0);
    ASSERT_EQ(reqId(h), 65534);

    peer.run([&](UdpPeer& p) {
        Datagram from;
        Request r = expectRequest(p, &from, "A?");
        EXPECT_EQ(r.id, 65535);
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        p.sendPacket(from, IO_UDP_REPLY, r.id, "one");
        r = expectRequest(p, &from, "B?");
        EXPECT_EQ(r.id, 0);
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        // A reply for 65535 now reads as newer than request 0.
        p.sendPacket(from, IO_UDP_REPLY, 65535, "stale");
    });
    char reply[32];
    ASSERT_EQ(io_write(h, "A?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "one");
    ASSERT_EQ(io_write(h, "B?"), 0);
    EXPECT_EQ(reqId(h), 0);
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
    EXPECT_STREQ(reply, "");
    EXPECT_TRUE(log.contains(1, "io_read:(-1)"));
    peer.join();
}

struct BadConfirm {
    const char* name;
    std::vector<uint8_t> (*make)(uint16_t id);
    const char* message;   // may name the received id (ours + 1), then ours
};

class IoUdpBadConfirm : public IoUdp, public ::testing::WithParamInterface<BadConfirm> {};

TEST_P(IoUdpBadConfirm, FailsWithItsMessageAndIsNotRepeated)
{
    const BadConfirm& c = GetParam();
    const std::string a = addr(10 + static_cast<int>(GetParam().name[0] - 'a'));
    UdpPeer peer(a);
    ASSERT_TRUE(peer.bound());
    const int h = open(a);
    ASSERT_GE(h, 0);
    const uint16_t id = static_cast<uint16_t>(reqId(h) + 1);
    peer.run([&](UdpPeer& p) {
        Datagram from;
        expectRequest(p, &from, "IM:X 1");
        p.sendTo(from, c.make(id));
        // One try only: the request is not sent again.
        EXPECT_TRUE(p.quiet(300));
    });
    EXPECT_EQ(io_write(h, "IM:X 1"), IO_ERR_NO_CONFIRM);
    peer.join();
    char want[128];
    std::snprintf(want, sizeof want, c.message, static_cast<unsigned>(static_cast<uint16_t>(id + 1)),
                  static_cast<unsigned>(id));
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, want}, {1, "io_write:(-2) IM:X 1"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Confirms, IoUdpBadConfirm,
    ::testing::Values(
        BadConfirm{"a_wrong_id",
                   [](uint16_t id) { return packet(IO_UDP_CONFIRM, static_cast<uint16_t>(id + 1), ""); },
                   "UDP Rx request ID error! ID=%u, myid=%u trycnt=1"},
        BadConfirm{"b_not_confirm", [](uint16_t id) { return packet(IO_UDP_REPLY, id, "x"); },
                   "UDP Rx not a CONFIRM packet! CODE=3, trycnt=1"},
        BadConfirm{"c_bad_marker",
                   [](uint16_t id) {
                       auto d = packet(IO_UDP_CONFIRM, id, "");
                       d[0] = 7;
                       return d;
                   },
                   "UDP Rx packet not recognized! trycnt=1"},
        BadConfirm{"d_five_bytes",
                   [](uint16_t id) {
                       auto d = packet(IO_UDP_CONFIRM, id, "");
                       d.resize(5);
                       return d;
                   },
                   "UDP Rx timeout! trycnt=1"}),
    [](const ::testing::TestParamInfo<BadConfirm>& i) { return std::string(i.param.name); });

// The wrong-id message with ids far apart, so their order shows.
TEST_F(IoUdp, IdErrorNamesTheReceivedIdThenOurs)
{
    UdpPeer peer(addr(20));
    ASSERT_TRUE(peer.bound());
    const int h = open(addr(20));
    ASSERT_GE(h, 0);
    const uint16_t id = static_cast<uint16_t>(reqId(h) + 1);
    const uint16_t other = static_cast<uint16_t>(id + 100);
    peer.run([&](UdpPeer& p) {
        Datagram from;
        expectRequest(p, &from, "C");
        p.sendPacket(from, IO_UDP_CONFIRM, other, "");
    });
    EXPECT_EQ(io_write(h, "C"), IO_ERR_NO_CONFIRM);
    peer.join();
    EXPECT_TRUE(log.contains(1, "UDP Rx request ID error! ID=" + std::to_string(other) + ", myid="
                                    + std::to_string(id) + " trycnt=1"));
}

TEST_F(IoUdp, NoConfirmWithinTheDefaultTimeout)
{
    UdpPeer peer(addr(21));
    ASSERT_TRUE(peer.bound());
    const int h = io_open(IO_UDP, addr(21).c_str(), 0);
    ASSERT_GE(h, 0);
    const int64_t t0 = nowMs();
    EXPECT_EQ(io_write(h, "IM:X 1"), IO_ERR_NO_CONFIRM);
    EXPECT_GE(nowMs() - t0, 190);
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "UDP Rx timeout! trycnt=1"}, {1, "io_write:(-2) IM:X 1"}}));
}

struct ReplyCase {
    const char* name;
    int idOffset;                         // reply id relative to the request's
    std::vector<uint8_t> (*make)(uint16_t id);
    int size;
    int result;
    const char* text;
};

class IoUdpReply : public IoUdp, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(IoUdpReply, ReadsOrRefuses)
{
    const ReplyCase& c = GetParam();
    const std::string a = addr(30 + static_cast<int>(c.name[0] - 'a'));
    UdpPeer peer(a);
    ASSERT_TRUE(peer.bound());
    const int h = open(a);
    ASSERT_GE(h, 0);
    peer.run([&](UdpPeer& p) {
        Datagram from;
        Request r = expectRequest(p, &from, "Q?");
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        p.sendTo(from, c.make(static_cast<uint16_t>(r.id + c.idOffset)));
    });
    ASSERT_EQ(io_write(h, "Q?"), 0);
    std::vector<char> arena(static_cast<std::size_t>(c.size) + 16, '#');
    EXPECT_EQ(io_read(h, arena.data(), c.size), c.result);
    EXPECT_STREQ(arena.data(), c.text);
    for (std::size_t i = static_cast<std::size_t>(c.size); i < arena.size(); ++i)
        ASSERT_EQ(arena[i], '#');
    peer.join();
}

INSTANTIATE_TEST_SUITE_P(
    Replies, IoUdpReply,
    ::testing::Values(
        ReplyCase{"a_same_id", 0, [](uint16_t id) { return packet(IO_UDP_REPLY, id, "12.5"); }, 32, 0, "12.5"},
        ReplyCase{"c_greater_id", 1, [](uint16_t id) { return packet(IO_UDP_REPLY, id, "12.5"); }, 32, -1, ""},
        ReplyCase{"d_confirm_code", 0, [](uint16_t id) { return packet(IO_UDP_CONFIRM, id, "12.5"); }, 32, -1, ""},
        ReplyCase{"e_five_bytes", 0,
                  [](uint16_t id) {
                      auto d = packet(IO_UDP_REPLY, id, "");
                      d.resize(5);
                      return d;
                  },
                  32, -1, ""},
        ReplyCase{"f_length_beyond_datagram", 0,
                  [](uint16_t id) {
                      auto d = packet(IO_UDP_REPLY, id, "abc");
                      d[5] = 200;
                      return d;
                  },
                  32, 0, "abc"},
        ReplyCase{"g_cut_to_buffer", 0, [](uint16_t id) { return packet(IO_UDP_REPLY, id, "0123456789"); }, 8, 0,
                  "0123456"},
        ReplyCase{"h_line_end_removed", 0, [](uint16_t id) { return packet(IO_UDP_REPLY, id, "abc\r\n"); }, 32, 0,
                  "abc"},
        ReplyCase{"i_lone_lf", 0, [](uint16_t id) { return packet(IO_UDP_REPLY, id, "\n"); }, 32, 0, ""}),
    [](const ::testing::TestParamInfo<ReplyCase>& i) { return std::string(i.param.name); });

// A REPLY with a lower id answers an earlier request (it came late, or twice):
// it is passed over and the read waits on for this request's own.
TEST_F(IoUdp, AnswerToAnEarlierRequestIsPassedOverForOurOwn)
{
    UdpPeer peer(addr(45));
    ASSERT_TRUE(peer.bound());
    const int h = open(addr(45));
    ASSERT_GE(h, 0);
    peer.run([&](UdpPeer& p) {
        Datagram from;
        Request r = expectRequest(p, &from, "Q?");
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        p.sendPacket(from, IO_UDP_REPLY, static_cast<uint16_t>(r.id - 1), "previous");
        p.sendPacket(from, IO_UDP_REPLY, static_cast<uint16_t>(r.id - 3), "older");
        p.sendPacket(from, IO_UDP_REPLY, r.id, "own");
        r = expectRequest(p, &from, "R?");
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        p.sendPacket(from, IO_UDP_REPLY, static_cast<uint16_t>(r.id - 1), "previous");
    });
    char reply[32];
    ASSERT_EQ(io_write(h, "Q?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "own");
    // Only an earlier answer: the read ends at its deadline, with nothing.
    ASSERT_EQ(io_write(h, "R?"), 0);
    io_timeout(h, 200);
    const int64_t t0 = nowMs();
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
    EXPECT_GE(nowMs() - t0, 190);
    EXPECT_STREQ(reply, "");
    peer.join();
}

TEST_F(IoUdp, ForeignSenderIsIgnoredAndDoesNotEndTheWait)
{
    UdpPeer peer(addr(40));
    UdpPeer foreign(addr(41), 0);
    ASSERT_TRUE(peer.bound());
    ASSERT_TRUE(foreign.bound());
    const int h = open(addr(40));
    ASSERT_GE(h, 0);
    peer.run([&](UdpPeer& p) {
        Datagram from;
        Request r = expectRequest(p, &from, "Q?");
        foreign.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        foreign.sendPacket(from, IO_UDP_REPLY, r.id, "FOREIGN");
        p.sendPacket(from, IO_UDP_REPLY, r.id, "OWN");
        // The foreign sender alone does not answer the next query.
        r = expectRequest(p, &from, "R?");
        foreign.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
    });
    char reply[32];
    ASSERT_EQ(io_write(h, "Q?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "OWN");
    EXPECT_STREQ(io_get_remote_address(h), addr(40).c_str());
    io_timeout(h, 300);
    EXPECT_EQ(io_write(h, "R?"), IO_ERR_NO_CONFIRM);
    EXPECT_STREQ(io_get_remote_address(h), addr(40).c_str());
    peer.join();
}

// Datagrams queued before a request (a late answer to an earlier one) are
// dropped, so they cannot be taken for this request's CONFIRM or REPLY.
TEST_F(IoUdp, StaleDatagramQueuedBeforeARequestIsDropped)
{
    UdpPeer peer(addr(42));
    ASSERT_TRUE(peer.bound());
    const int h = open(addr(42));
    ASSERT_GE(h, 0);
    Gate staleSent;
    peer.run([&](UdpPeer& p) {
        Datagram from;
        Request r = expectRequest(p, &from, "A?");
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        p.sendPacket(from, IO_UDP_REPLY, r.id, "first");
        // Late copies of that answer.
        p.sendPacket(from, IO_UDP_REPLY, r.id, "STALE");
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        staleSent.open();
        r = expectRequest(p, &from, "B?");
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        p.sendPacket(from, IO_UDP_REPLY, r.id, "FRESH");
    });
    char reply[32];
    ASSERT_EQ(io_write(h, "A?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "first");
    ASSERT_TRUE(staleSent.wait());
    pollfd pf{io_get_link(h)->dev, POLLIN, 0};
    ASSERT_EQ(poll(&pf, 1, 10000), 1);
    ASSERT_EQ(io_write(h, "B?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "FRESH");
    peer.join();
}

TEST_F(IoUdp, CommandOf250CharactersGoesAndLongerIsRefusedUnsent)
{
    const std::string longest(250, 'L');
    UdpPeer peer(addr(43));
    ASSERT_TRUE(peer.bound());
    const int h = open(addr(43));
    ASSERT_GE(h, 0);
    peer.run([&](UdpPeer& p) {
        Datagram from;
        Request r = expectRequest(p, &from, longest);
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        EXPECT_TRUE(p.quiet(300));
    });
    EXPECT_EQ(io_write(h, longest.c_str()), 0);
    EXPECT_EQ(io_write(h, (longest + "M").c_str()), IO_ERR);
    peer.join();
}

TEST_F(IoUdp, OpenNeedsAnAddress)
{
    EXPECT_EQ(io_open(IO_UDP, static_cast<const char*>(nullptr), 0), -1);
    EXPECT_EQ(io_open(IO_UDP, "nowhere", 0), -1);
    EXPECT_EQ(io_open(IO_UDP_BROADCAST, "", 0), -1);
    EXPECT_EQ(io_socket_users(), usersBefore_);
}

TEST_F(IoUdp, FlushDataDropsQueuedDatagrams)
{
    UdpPeer peer(addr(44));
    ASSERT_TRUE(peer.bound());
    const int h = open(addr(44));
    ASSERT_GE(h, 0);
    peer.run([&](UdpPeer& p) {
        Datagram from;
        Request r = expectRequest(p, &from, "A");
        p.sendPacket(from, IO_UDP_CONFIRM, r.id, "");
        p.sendPacket(from, IO_UDP_REPLY, r.id, "");      // an empty datagram does not stop the flush
        p.sendTo(from, {});
        p.sendPacket(from, IO_UDP_REPLY, r.id, "left");
    });
    ASSERT_EQ(io_write(h, "A"), 0);
    peer.join();
    pollfd pf{io_get_link(h)->dev, POLLIN, 0};
    ASSERT_EQ(poll(&pf, 1, 10000), 1);
    io_flush_data(h);
    char reply[16];
    io_timeout(h, 100);
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
}

}  // namespace
