// The link table and its handles, failed opens, and what only a scripted peer
// shows: the bytes of a command line, a bad marker, input discarded on request.
#include "link/io_private.h"
#include "platform/portmap.h"
#include "tests/support/peers.h"

#include <gtest/gtest.h>

#include <climits>
#include <poll.h>
#include <thread>

namespace {

class Io : public ::testing::Test {
protected:
    void TearDown() override {
        tsupport::closeAllLinks();
        EXPECT_EQ(io_socket_users(), users_);
    }
    int users_ = io_socket_users();
    tsupport::IsolatedPortMap map_;
    tsupport::UdpPeer sink_; // UDP links open without traffic; this takes their close notices
};

TEST_F(Io, SixtyFourSlotsReusedInOrderAndInvalidHandlesRefused) {
    const char* a = sink_.address().c_str();
    for (int i = 0; i < IO_MAX_LINKS; ++i) ASSERT_EQ(io_open(IO_UDP, a, 0), i);
    EXPECT_EQ(io_socket_users(), users_ + IO_MAX_LINKS);
    EXPECT_EQ(io_open(IO_UDP, a, 0), -1);
    for (int h : {41, 17}) io_close(h);
    EXPECT_EQ(io_get_link(17)->peer, 0xFFFFFFFFu);
    EXPECT_EQ(io_open(IO_UDP, a, 0), 17);
    EXPECT_EQ(io_open(IO_UDP, a, 0), 41);
    io_close(41);
    char buf[8] = "keep";
    for (int h : {-1, 64, INT_MIN, 41}) {
        io_close(h);
        io_timeout(h, 100);
        io_flush_data(h);
        EXPECT_EQ(io_write(h, "X") + io_read(h, buf, sizeof buf), -2) << h;
        EXPECT_EQ(io_get_remote_address(h), nullptr) << h;
    }
    EXPECT_TRUE(buf == std::string("keep") && io_get_link(64) == nullptr);
    EXPECT_EQ(io_socket_users(), users_ + IO_MAX_LINKS - 1);
    // A negative time-out reads as 2^32 - 1 ms: the longest wait, not one already over.
    io_timeout(0, -1);
    EXPECT_EQ(io_detail::wait_ms(*io_get_link(0)), INT32_MAX);
}

TEST_F(Io, FailedOpensTakeNoSlotAndSaySo) {
    const int zero = 0, minus = -1, nine = 9, five = 5;
    const std::string ip = "\nInput The IP address error ", longText = "127.0.0.1" + std::string(300, ' ');
    const std::string refused = tsupport::StreamPeer::tcp()->address(); // nobody listens there now
    portmap::overrideCom(9, "/nonexistent/imbench-tty");
    const struct {
        int kind;
        const int* number; // the integer form, else the text form
        const char* text;
        std::vector<std::string> errors;
    } rows[] = {
        {IO_GPIB, &minus, nullptr, {"\n\nInput the GPIB address number of VTX (1..31):"}},
        {IO_GPIB, &five, nullptr, {}}, // no board in the port map
        {IO_COM, &zero, nullptr, {"\n\nInput the COM port number which connect to VTX (1..255):"}},
        {IO_COM, &nine, nullptr, {"COM9 open error err=-4\n"}},
        {IO_TCP, nullptr, refused.c_str(), {}},
        {IO_TCP, nullptr, nullptr, {ip}},
        {IO_TCP, nullptr, "not.an.address", {ip}},
        {IO_TCP, nullptr, longText.c_str(), {ip}},
        {IO_UDP, nullptr, "", {ip}},
        {IO_UDP_BROADCAST, nullptr, "nowhere", {ip}},
        {-1, &five, nullptr, {}},
        {5, nullptr, "127.0.0.1", {}},
        {IO_TCP, &five, nullptr, {}},
        {IO_COM, nullptr, "127.0.0.1", {}},
    };
    for (const auto& r : rows) {
        tsupport::MessageLog log;
        EXPECT_EQ(r.number ? io_open(r.kind, r.number, 9600) : io_open(r.kind, r.text, 0), -1) << &r - rows;
        EXPECT_EQ(log.errors(), r.errors) << &r - rows;
    }
    EXPECT_EQ(io_get_link(0)->kind, -1);
}

// A command goes out with a carriage return; a bad marker fails a request; and
// input that came unasked is dropped by io_flush_data, so a read finds nothing.
TEST_F(Io, LineBytesBadMarkerAndFlushData) {
    auto stream = tsupport::StreamPeer::tcp();
    stream->accept().expect("IM:MODE 1\r").send("OK\r\nLATE\r\nOK\r\n").start();
    tsupport::UdpPeer udp;
    std::jthread peer([&udp] {
        tsupport::Datagram d;
        for (char marker : {'\7', '\1'}) {
            const int id = udp.receive(&d).id;
            udp.reply(d, marker + tsupport::udpPacket(IO_UDP_CONFIRM, id, "").substr(1));
            if (marker == 1) udp.reply(d, tsupport::udpPacket(IO_UDP_REPLY, id, "left"));
        }
    });
    tsupport::MessageLog log;
    const int u = io_open(IO_UDP, udp.address().c_str(), 0), t = io_open(IO_TCP, stream->address().c_str(), 0);
    io_timeout(u, 5000);
    EXPECT_EQ(io_write(u, "A"), IO_ERR_NO_CONFIRM);
    EXPECT_EQ(log.errors(), (std::vector<std::string>{"UDP Rx packet not recognized! trycnt=1", "io_write:(-2) A"}));
    EXPECT_EQ(io_write(u, "B?"), 0);
    EXPECT_EQ(io_write(t, "IM:MODE 1"), 0);
    peer.join();
    for (int h : {u, t}) {
        pollfd p{io_get_link(h)->dev, POLLIN, 0};
        ASSERT_TRUE(io_get_link(h)->rx_len > io_get_link(h)->rx_pos || poll(&p, 1, 10000) == 1);
        io_flush_data(h);
        io_timeout(h, 50);
        char reply[16] = "";
        EXPECT_EQ(io_read(h, reply, sizeof reply), -1) << "read \"" << reply << "\"";
    }
    tsupport::closeAllLinks();
    EXPECT_EQ(stream->finish(), "");
}

} // namespace
