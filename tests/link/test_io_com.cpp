// COM links over a pseudo-terminal with a scripted peer on the master side:
// the line framing, "OK" acknowledgements, the 100 ms rule and port time-outs.
#include "link/io.h"
#include "platform/portmap.h"
#include "tests/link/io_test_support.h"
#include "ui/model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace iotest;

namespace {

constexpr int kPort = 7;
constexpr int kBaud = 115200;

class IoCom : public ::testing::Test {
protected:
    void SetUp() override
    {
        peer = StreamPeer::pty();
        ASSERT_TRUE(peer->listening());
        portmap::overrideCom(kPort, peer->slavePath());
    }
    void TearDown() override
    {
        closeAllLinks();
        portmap::clearOverrides();
    }

    int open()
    {
        const int h = io_open(IO_COM, &kPort, kBaud);
        EXPECT_GE(h, 0);
        return h;
    }

    MessageLog log;
    std::unique_ptr<StreamPeer> peer;
};

TEST_F(IoCom, QueryAndCommandRoundTrip)
{
    peer->expect("*IDN?\r").send(tcpQueryAnswer("IMBENCH,X")).expect("IM:OUTP ON\r").send("OK\r\n").start();
    const int h = open();
    ASSERT_GE(h, 0);
    EXPECT_EQ(io_get_link(h)->kind, IO_COM);
    EXPECT_EQ(io_get_link(h)->dev, kPort);
    EXPECT_EQ(io_get_link(h)->timeout, 3000);
    EXPECT_EQ(io_get_remote_address(h), nullptr);
    char reply[32];
    ASSERT_EQ(io_write(h, "*IDN?"), 0);
    ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "IMBENCH,X");
    ASSERT_EQ(io_write(h, "IM:OUTP ON"), 0);
    EXPECT_EQ(log.all(), (std::vector<Message>{{0, "\niowrite:*IDN?"},
                                               {0, "\nio_read:IMBENCH,X"},
                                               {0, "\niowrite:IM:OUTP ON"}}));
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoCom, AcknowledgementsWithoutOk)
{
    peer->expect("IM:X 1\r").send("NO\r\n").expect("Y?\r").send("OK\r\n7\r\nBAD\r\n").start();
    const int h = open();
    ASSERT_GE(h, 0);
    EXPECT_EQ(io_write(h, "IM:X 1"), IO_ERR_NO_OK);
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "Command OK Expected"}, {1, "io_write:(-999) IM:X 1"}}));
    log.clear();
    char reply[16];
    ASSERT_EQ(io_write(h, "Y?"), 0);
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "Query OK Expected"}, {1, "io_read:(-999)"}}));
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

// With a short port time-out the byte reads time out several times before the
// 100 ms since the read began are over; events run in between.
TEST_F(IoCom, ByteTimeOutsEndTheLineAfter100MsWhileEventsRun)
{
    peer->expect("IM:X 1\r").start();
    const int h = open();
    ASSERT_GE(h, 0);
    io_timeout(h, 10);
    std::atomic<int> eventsRun{0};
    ui::postAction([&] { ++eventsRun; });
    const int64_t t0 = nowMs();
    EXPECT_EQ(io_write(h, "IM:X 1"), IO_ERR_NO_OK);
    EXPECT_GE(nowMs() - t0, 95);
    EXPECT_EQ(eventsRun.load(), 1);
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoCom, TimeoutSetsThePortTimeOutInSeconds)
{
    peer->expect("IM:X 1\r").start();
    const int h = open();
    ASSERT_GE(h, 0);
    io_timeout(h, 2500);
    EXPECT_EQ(io_get_link(h)->timeout, 2500);
    // A silent peer: the acknowledgement read waits out one port time-out.
    const int64_t t0 = nowMs();
    EXPECT_EQ(io_write(h, "IM:X 1"), IO_ERR_NO_OK);
    EXPECT_GE(nowMs() - t0, 2450);
    EXPECT_LT(nowMs() - t0, 20000);
    io_close(h);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IoCom, OpenFailures)
{
    int port = 0;
    EXPECT_EQ(io_open(IO_COM, &port, kBaud), -1);
    EXPECT_EQ(log.errors(),
              (std::vector<Message>{{1, "\n\nInput the COM port number which connect to VTX (1..255):"}}));
    EXPECT_EQ(io_open(IO_COM, static_cast<const int*>(nullptr), kBaud), -1);
    log.clear();
    port = 9;
    portmap::overrideCom(port, "/nonexistent/imbench-tty");
    EXPECT_EQ(io_open(IO_COM, &port, kBaud), -1);
    const auto errors = log.errors();
    ASSERT_EQ(errors.size(), 1u);
    int err = 0;
    ASSERT_EQ(std::sscanf(errors[0].text.c_str(), "COM9 open error err=%d", &err), 1) << errors[0].text;
    EXPECT_LT(err, 0);
    EXPECT_EQ(errors[0].text.back(), '\n');
    EXPECT_EQ(io_get_link(0)->kind, -1);
}

TEST(IoComSend, SendErrorIsReportedWithTheLibraryCode)
{
    MessageLog log;
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    portmap::overrideCom(kPort, name);
    const int h = io_open(IO_COM, &kPort, kBaud);
    ASSERT_GE(h, 0);
    // The other side hangs up: writes to the port fail.
    ::close(master);
    const int r = io_write(h, "IM:X 1");
    EXPECT_LT(r, 0);
    ASSERT_FALSE(log.errors().empty());
    EXPECT_EQ(log.errors()[0].text, "COM command send fail=" + std::to_string(r));
    io_close(h);
    portmap::clearOverrides();
}

}  // namespace
