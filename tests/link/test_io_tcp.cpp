// TCP links against scripted fake peers on loopback: the line framing, the
// "OK" acknowledgements, time-outs, closed and silent peers, stale answers,
// and the connect.
#include "link/io.h"
#include "tests/link/io_test_support.h"
#include "ui/model.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace iotest;

namespace {

// Every test has its own loopback address so all can use port 3000 at once.
std::string addr(int n)
{
    return "127.77.1." + std::to_string(n);
}

class IoTcp : public ::testing::Test {
protected:
    void SetUp() override { usersBefore_ = io_socket_users(); }
    void TearDown() override
    {
        closeAllLinks();
        EXPECT_EQ(io_socket_users(), usersBefore_);
    }

    int open(const std::string& a)
    {
        const int h = io_open(IO_TCP, a.c_str(), 0);
        EXPECT_GE(h, 0) << "open " << a;
        return h;
    }

    // Waits until bytes are ready on the link's socket without taking them.
    static bool waitPending(int h, int ms = 10000)
    {
        pollfd p{io_get_link(h)->dev, POLLIN, 0};
        return poll(&p, 1, ms) == 1;
    }

    MessageLog log;
    int usersBefore_ = 0;
};

TEST_F(IoTcp, QueryAndCommandRoundTripWithTraceMessages)
{
    auto peer = StreamPeer::tcp(addr(1));
    ASSERT_TRUE(peer->listening());
    peer->accept()
        .expect("*IDN?\r")
        .send(tcpQueryAnswer("IMBENCH,IM3590-SIM,000123,1.20"))
        .expect("IM:OUTP ON\r")
        .send("OK\r\n")
        .start();

    const int h = open(addr(1));
    ASSERT_GE(h, 0);
    EXPECT_EQ(io_socket_users(), usersBefore_ + 1);
    EXPECT_STREQ(io_get_remote_address(h), addr(1).c_str());
    EXPECT_EQ(io_get_link(h)->kind, IO_TCP);
    EXPECT_EQ(io_get_link(h)->timeout, 3000);

    char reply[64];
    ASSERT_EQ(io_write(h, "*IDN?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "IMBENCH,IM3590-SIM,000123,1.20");
    ASSERT_EQ(io_write(h, "IM:OUTP ON"), 0);

    const std::vector<Message> want{{0, "\niowrite:*IDN?"},
                                    {0, "\nio_read:IMBENCH,IM3590-SIM,000123,1.20"},
                                    {0, "\niowrite:IM:OUTP ON"}};
    EXPECT_EQ(log.all(), want);

    io_close(h);
    EXPECT_EQ(io_socket_users(), usersBefore_);
    EXPECT_EQ(io_get_link(h)->kind, -1);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoTcp, LineEndsBeforeEachLineAreSkipped)
{
    auto peer = StreamPeer::tcp(addr(3));
    ASSERT_TRUE(peer->listening());
    peer->accept()
        .expect("Q?\r")
        .send(std::string("\r\n\r\nOK\r\n\n\r\n", 11))
        .send(std::string("\0REPLY\r\n\r\nOK\r\n", 14))
        .start();
    const int h = open(addr(3));
    ASSERT_GE(h, 0);
    char reply[32];
    ASSERT_EQ(io_write(h, "Q?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "REPLY");
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

// A reply of size - 2 characters fits; size - 1 or more fails with -1000,
// nothing is written past the buffer, and the link goes on working.
TEST_F(IoTcp, ReplyAtTheBufferLimitAndOneMore)
{
    constexpr int kSize = 16;
    const std::string fits(kSize - 2, 'a');
    const std::string tooLong(kSize - 1, 'b');
    auto peer = StreamPeer::tcp(addr(4));
    ASSERT_TRUE(peer->listening());
    peer->accept()
        .expect("A?\r").send(tcpQueryAnswer(fits))
        .expect("B?\r").send(tcpQueryAnswer(tooLong))
        .expect("C?\r").send(tcpQueryAnswer(std::string(300, 'c')))
        .expect("D?\r").send(tcpQueryAnswer("next"))
        .start();
    const int h = open(addr(4));
    ASSERT_GE(h, 0);

    char arena[kSize + 16];
    auto query = [&](const char* q) {
        std::memset(arena, '#', sizeof arena);
        EXPECT_EQ(io_write(h, q), 0);
        const int r = io_read(h, arena, kSize);
        for (std::size_t i = kSize; i < sizeof arena; ++i)
            EXPECT_EQ(arena[i], '#') << "written past the buffer at " << i;
        return r;
    };
    EXPECT_EQ(query("A?"), 0);
    EXPECT_EQ(std::string(arena), fits);

    log.clear();
    EXPECT_EQ(query("B?"), -1);
    EXPECT_STREQ(arena, "");
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "io_read:(-1000)"}}));

    log.clear();
    EXPECT_EQ(query("C?"), -1);
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "io_read:(-1000)"}}));

    // The rest of the long lines was discarded with the failure.
    EXPECT_EQ(query("D?"), 0);
    EXPECT_STREQ(arena, "next");
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoTcp, AcknowledgementWithoutOkFailsTheCommand)
{
    auto peer = StreamPeer::tcp(addr(5));
    ASSERT_TRUE(peer->listening());
    peer->accept().expect("IM:OUTP ON\r").send("ERR\r\n").start();
    const int h = open(addr(5));
    ASSERT_GE(h, 0);
    EXPECT_EQ(io_write(h, "IM:OUTP ON"), IO_ERR_NO_OK);
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "Command OK Expected"}, {1, "io_write:(-999) IM:OUTP ON"}}));
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoTcp, NoAcknowledgementInTimeFailsTheCommandTheSameWay)
{
    auto peer = StreamPeer::tcp(addr(6));
    ASSERT_TRUE(peer->listening());
    peer->accept().expect("IM:OUTP ON\r").start();
    const int h = open(addr(6));
    ASSERT_GE(h, 0);
    io_timeout(h, 200);
    EXPECT_EQ(io_get_link(h)->timeout, 200);
    const int64_t t0 = nowMs();
    EXPECT_EQ(io_write(h, "IM:OUTP ON"), IO_ERR_NO_OK);
    EXPECT_GE(nowMs() - t0, 190);
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "Command OK Expected"}, {1, "io_write:(-999) IM:OUTP ON"}}));
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoTcp, ReplyLineFollowedByALineWithoutOk)
{
    auto peer = StreamPeer::tcp(addr(7));
    ASSERT_TRUE(peer->listening());
    peer->accept().expect("V?\r").send("OK\r\n12.5\r\nNOPE\r\n").start();
    const int h = open(addr(7));
    ASSERT_GE(h, 0);
    char reply[32];
    ASSERT_EQ(io_write(h, "V?"), 0);
    log.clear();
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
    EXPECT_STREQ(reply, "");
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "Query OK Expected"}, {1, "io_read:(-999)"}}));
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoTcp, SilentPeerFailsTheQueryWithinItsDeadlineAndAReopenWorks)
{
    auto peer = StreamPeer::tcp(addr(8));
    ASSERT_TRUE(peer->listening());
    peer->accept()
        .expect("A?\r").send("OK\r\nPART")   // then silence
        .accept()
        .expect("B?\r").send(tcpQueryAnswer("whole"))
        .start();
    int h = open(addr(8));
    ASSERT_GE(h, 0);
    io_timeout(h, 300);
    char reply[32];
    ASSERT_EQ(io_write(h, "A?"), 0);
    const int64_t t0 = nowMs();
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
    const int64_t took = nowMs() - t0;
    // The reply line ends at its deadline, then the missing "OK" at its own.
    EXPECT_GE(took, 2 * 300 - 20);
    EXPECT_LT(took, 10000);
    EXPECT_TRUE(log.contains(1, "io_read:(-999)"));
    io_close(h);

    h = open(addr(8));
    ASSERT_GE(h, 0);
    ASSERT_EQ(io_write(h, "B?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "whole");
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoTcp, PeerClosingMidReplyFailsAtOnceAndAReopenWorks)
{
    auto peer = StreamPeer::tcp(addr(9));
    ASSERT_TRUE(peer->listening());
    peer->accept()
        .expect("A?\r").send("OK\r\nPAR").close()
        .accept()
        .expect("B?\r").send(tcpQueryAnswer("fine"))
        .start();
    int h = open(addr(9));
    ASSERT_GE(h, 0);
    char reply[32];
    ASSERT_EQ(io_write(h, "A?"), 0);
    const int64_t t0 = nowMs();
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
    // Nothing more can come from a closed peer: no waiting out the 3000 ms.
    EXPECT_LT(nowMs() - t0, 3000);
    EXPECT_STREQ(reply, "");

    // Writing to the closed peer fails too, and quietly (no SIGPIPE).
    EXPECT_LT(io_write(h, "X?"), 0);
    io_close(h);

    h = open(addr(9));
    ASSERT_GE(h, 0);
    ASSERT_EQ(io_write(h, "B?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "fine");
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

// A reply that comes after its read gave up must not be taken for the answer
// to the next command.
TEST_F(IoTcp, LateAnswerIsNotTakenForTheNextOne)
{
    Gate readFailed, lateSent;
    auto peer = StreamPeer::tcp(addr(10));
    ASSERT_TRUE(peer->listening());
    peer->accept()
        .expect("A?\r").send("OK\r\n")
        .waitFor(readFailed)
        .send("LATE\r\nOK\r\n")
        .signal(lateSent)
        .expect("B?\r").send(tcpQueryAnswer("FRESH"))
        .start();
    const int h = open(addr(10));
    ASSERT_GE(h, 0);
    io_timeout(h, 200);
    char reply[32];
    ASSERT_EQ(io_write(h, "A?"), 0);
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
    readFailed.open();
    ASSERT_TRUE(lateSent.wait());
    ASSERT_TRUE(waitPending(h));

    ASSERT_EQ(io_write(h, "B?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "FRESH");
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoTcp, FlushDataDropsPendingInput)
{
    Gate junkSent;
    auto peer = StreamPeer::tcp(addr(11));
    ASSERT_TRUE(peer->listening());
    peer->accept().send("JUNK\r\nMORE\r\n").signal(junkSent).start();
    const int h = open(addr(11));
    ASSERT_GE(h, 0);
    ASSERT_TRUE(junkSent.wait());
    ASSERT_TRUE(waitPending(h));
    io_flush_data(h);
    pollfd p{io_get_link(h)->dev, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    EXPECT_EQ(io_get_link(h)->rx_len, 0);
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoTcp, CommandOf510CharactersGoesAndLongerIsRefusedUnsent)
{
    const std::string longest(510, 'L');
    auto peer = StreamPeer::tcp(addr(12));
    ASSERT_TRUE(peer->listening());
    peer->accept().expect(longest + "\r").send("OK\r\n").start();
    const int h = open(addr(12));
    ASSERT_GE(h, 0);
    EXPECT_EQ(io_write(h, longest.c_str()), 0);
    EXPECT_EQ(io_write(h, (longest + "M").c_str()), IO_ERR);
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoTcp, OpenWithoutAUsableAddressFails)
{
    EXPECT_EQ(io_open(IO_TCP, static_cast<const char*>(nullptr), 0), -1);
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "\nInput The IP address error "}}));
    EXPECT_EQ(io_open(IO_TCP, "not.an.address", 0), -1);
    EXPECT_EQ(io_open(IO_TCP, "", 0), -1);
    const std::string longText = "127.77.1.13" + std::string(300, ' ');
    EXPECT_EQ(io_open(IO_TCP, longText.c_str(), 0), -1);
    EXPECT_EQ(io_socket_users(), usersBefore_);
}

TEST_F(IoTcp, RefusedConnectionFailsTheOpen)
{
    // Nothing listens on this address: the connect is refused at once.
    const int64_t t0 = nowMs();
    EXPECT_EQ(io_open(IO_TCP, addr(14).c_str(), 0), -1);
    EXPECT_LT(nowMs() - t0, 2000);
    EXPECT_EQ(io_socket_users(), usersBefore_);
}

// A listener whose accept queue is full drops new connection requests, so a
// connect to it never completes: the open gives up after 2000 ms.
TEST_F(IoTcp, NonAnsweringPeerFailsTheOpenAfterTwoSecondsWhileEventsRun)
{
    const std::string a = addr(15);
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(IO_PORT);
    inet_pton(AF_INET, a.c_str(), &sa.sin_addr);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    std::vector<int> fillers;
    bool full = false;
    for (int i = 0; i < 16 && !full; ++i) {
        const int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers.push_back(c);
        if (connect(c, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0)
            continue;
        ASSERT_EQ(errno, EINPROGRESS);
        pollfd p{c, POLLOUT, 0};
        full = poll(&p, 1, 300) == 0;
    }
    ASSERT_TRUE(full) << "could not fill the accept queue";

    std::atomic<int> eventsRun{0};
    ui::postAction([&] { ++eventsRun; });
    const int64_t t0 = nowMs();
    EXPECT_EQ(io_open(IO_TCP, a.c_str(), 0), -1);
    const int64_t took = nowMs() - t0;
    EXPECT_GE(took, 1990);
    EXPECT_LT(took, 10000);
    EXPECT_EQ(io_socket_users(), usersBefore_);
    EXPECT_EQ(eventsRun.load(), 1);
    for (int c : fillers)
        ::close(c);
    ::close(listener);
}

}  // namespace
