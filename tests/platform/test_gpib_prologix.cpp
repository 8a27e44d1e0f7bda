#include "platform/gpib.h"
#include "platform/portmap.h"

#include "support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <linux/sockios.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>

using namespace test_support;

namespace {

const std::string kSetup = "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n";
constexpr auto kWait = std::chrono::seconds(10);

// A scripted Prologix adapter: records every byte it receives and answers each
// "++read eoi" with the next queued reply, or with nothing when none is queued.
// Listens on 127.0.0.1 (one connection at a time) or talks over a pty master.
class FakeAdapter {
public:
    FakeAdapter() {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(listen_, 4) != 0) {
            ADD_FAILURE() << "listen: " << std::strerror(errno);
        }
        socklen_t len = sizeof sa;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        start();
    }
    explicit FakeAdapter(int ptyMaster) : conn_(ptyMaster), serial_(true) { start(); }
    ~FakeAdapter() {
        stop_ = true;
        char c = 0;
        (void)!::write(wake_[1], &c, 1);
        thread_.join();
        if (!serial_ && conn_ >= 0) ::close(conn_);
        if (listen_ >= 0) ::close(listen_);
        ::close(wake_[0]);
        ::close(wake_[1]);
    }

    int port() const { return port_; }
    std::string spec() const { return "prologix-tcp 127.0.0.1:" + std::to_string(port_); }

    void queueReply(std::string bytes, int delayMs = 0) {
        std::lock_guard<std::mutex> lock(mu_);
        replies_.push_back({std::move(bytes), delayMs});
    }
    std::string received() {
        std::lock_guard<std::mutex> lock(mu_);
        return received_;
    }
    // Waits until at least n bytes have come in; the bytes received.
    std::string waitReceived(size_t n) {
        std::unique_lock<std::mutex> lock(mu_);
        cv_.wait_for(lock, kWait, [&] { return received_.size() >= n; });
        return received_;
    }
    int connections() {
        std::lock_guard<std::mutex> lock(mu_);
        return connections_;
    }
    bool waitRepliesSent(int n) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, kWait, [&] { return repliesSent_ >= n; });
    }
    bool waitDisconnected() {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, kWait, [&] { return conn_ < 0; });
    }
    // Closes the current connection, as an adapter that was switched off.
    void hangUp() {
        {
            std::lock_guard<std::mutex> lock(mu_);
            hangUp_ = true;
        }
        char c = 0;
        (void)!::write(wake_[1], &c, 1);
        waitDisconnected();
    }
    // Waits until the peer has acknowledged everything sent, so it is in the
    // peer's receive queue and not still on its way.
    bool waitAllAcknowledged() {
        auto end = std::chrono::steady_clock::now() + kWait;
        while (std::chrono::steady_clock::now() < end) {
            int pending = -1;
            {
                std::lock_guard<std::mutex> lock(mu_);
                if (conn_ >= 0) ::ioctl(conn_, SIOCOUTQ, &pending);
            }
            if (pending == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

private:
    struct Reply {
        std::string bytes;
        int delayMs;
    };

    void start() {
        if (::pipe2(wake_, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe";
        thread_ = std::thread([this] { run(); });
    }

    void closeConnection() {
        std::lock_guard<std::mutex> lock(mu_);
        ::close(conn_);
        conn_ = -1;
        hangUp_ = false;
        cv_.notify_all();
    }

    void run() {
        std::string line;
        bool escaped = false;
        while (!stop_) {
            pollfd fds[2] = {{wake_[0], POLLIN, 0}, {-1, POLLIN, 0}};
            int c;
            bool hangUp;
            {
                std::lock_guard<std::mutex> lock(mu_);
                c = conn_;
                hangUp = hangUp_;
            }
            if (hangUp && c >= 0 && !serial_) {
                closeConnection();
                continue;
            }
            fds[1].fd = c >= 0 ? c : listen_;
            if (::poll(fds, 2, 1000) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                char b[16];
                (void)!::read(wake_[0], b, sizeof b);
                continue;
            }
            if (c < 0) {
                int a = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                if (a >= 0) {
                    std::lock_guard<std::mutex> lock(mu_);
                    conn_ = a;
                    ++connections_;
                    line.clear();
                    escaped = false;
                }
                continue;
            }
            char buf[4096];
            ssize_t n = ::read(c, buf, sizeof buf);
            if (n <= 0) {
                if (serial_) {
                    // Nobody holds the pty's other side yet (or any more).
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                } else {
                    closeConnection();
                }
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(mu_);
                received_.append(buf, static_cast<size_t>(n));
                cv_.notify_all();
            }
            for (ssize_t i = 0; i < n; ++i) {
                char ch = buf[i];
                if (escaped) {
                    line += ch;
                    escaped = false;
                } else if (ch == 27) {
                    escaped = true;
                } else if (ch == '\n' || ch == '\r') {
                    if (line == "++read eoi") answer(c);
                    line.clear();
                } else {
                    line += ch;
                }
            }
        }
    }

    void answer(int c) {
        Reply r;
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (replies_.empty()) return;
            r = replies_.front();
            replies_.pop_front();
        }
        if (r.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(r.delayMs));
        if (serial_) {
            (void)!::write(c, r.bytes.data(), r.bytes.size());
        } else {
            (void)!::send(c, r.bytes.data(), r.bytes.size(), MSG_NOSIGNAL);
        }
        std::lock_guard<std::mutex> lock(mu_);
        ++repliesSent_;
        cv_.notify_all();
    }

    int listen_ = -1;
    int port_ = 0;
    int conn_ = -1;
    bool serial_ = false;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::string received_;
    std::deque<Reply> replies_;
    int connections_ = 0;
    int repliesSent_ = 0;
    bool hangUp_ = false;
};

class Prologix : public ::testing::Test {
protected:
    void SetUp() override { portmap::overrideGpib(0, fake.spec()); }
    void TearDown() override {
        for (int ud : opened) ibonl(ud, 0);
    }
    int open(int pad, int sad = 0, int tmo = T1s, int eot = 1) {
        int ud = ibdev(0, pad, sad, tmo, eot, 0);
        if (ud >= 0) opened.push_back(ud);
        return ud;
    }
    void close(int ud) {
        EXPECT_EQ(ibonl(ud, 0), GPIB_CMPL);
        std::erase(opened, ud);
    }
    // The reply of one ibrd as text, checking the status.
    std::string read(int ud, long count = 200, int status = GPIB_END | GPIB_CMPL) {
        std::string buf(static_cast<size_t>(count), '\0');
        EXPECT_EQ(ibrd(ud, buf.data(), count), status) << gpib_last_error_text();
        EXPECT_GE(ibcntl, 0);
        buf.resize(static_cast<size_t>(std::max(0L, ibcntl)));
        return buf;
    }
    void write(int ud, const std::string& text) {
        EXPECT_EQ(ibwrt(ud, text.data(), static_cast<long>(text.size())), GPIB_CMPL) << gpib_last_error_text();
        EXPECT_EQ(ibcntl, static_cast<long>(text.size()));
    }

    IsolatedPortMap map;
    FakeAdapter fake;
    std::vector<int> opened;
};

TEST_F(Prologix, SetupAddressAndEscapedData) {
    int ud = open(5);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    EXPECT_EQ(ibsta & GPIB_ERR, 0);
    write(ud, std::string("A+B\r\n\x1b" "C", 7));
    const std::string expected = kSetup + "++addr 5\n" + "A\x1b+B\x1b\r\x1b\n\x1b\x1b" "C\n";
    EXPECT_EQ(fake.waitReceived(expected.size()), expected);
    EXPECT_EQ(fake.connections(), 1);
}

TEST_F(Prologix, QueryReadsTheWholeReply) {
    int ud = open(5);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    fake.queueReply("1.234,5.678\r\n");
    fake.queueReply("a\nb");   // an EOI after a byte that is no line end
    write(ud, "IM:MEAS:VAL?");
    EXPECT_EQ(read(ud), "1.234,5.678\r\n");
    EXPECT_EQ(read(ud), "a\nb");
    EXPECT_EQ(fake.received(), kSetup + "++addr 5\nIM:MEAS:VAL?\n++read_tmo_ms 1000\n++read eoi\n++read eoi\n");
}

TEST_F(Prologix, AdapterHearsOfTimeOutChangesBeforeTheNextRead) {
    int ud = open(5);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    EXPECT_EQ(gpib_timeout_code(ud), T1s);
    // Short time-outs are tried against a silent device: a reply could not be
    // relied on to beat 1 ms on a loaded machine.
    const struct {
        int code;
        const char* sent;   // what precedes "++read eoi"
        bool answered;
    } steps[] = {
        {T1s, "++addr 5\n++read_tmo_ms 1000\n", true},
        {T3s, "++read_tmo_ms 3000\n", true},
        {T100ms, "++read_tmo_ms 100\n", false},
        {T30s, "++read_tmo_ms 3000\n", true},   // the adapter's longest
        {TNONE, "", true},                       // still 3000: nothing to tell
        {T1ms, "++read_tmo_ms 1\n", false},
    };
    std::string expected = kSetup;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.code);
        EXPECT_EQ(ibtmo(ud, s.code), GPIB_CMPL);
        EXPECT_EQ(gpib_timeout_code(ud), s.code);
        if (s.answered) {
            fake.queueReply("ok\n");
            EXPECT_EQ(read(ud), "ok\n");
        } else {
            EXPECT_EQ(read(ud, 200, GPIB_ERR | GPIB_TIMO), "");
        }
        expected += std::string(s.sent) + "++read eoi\n";
        EXPECT_EQ(fake.waitReceived(expected.size()), expected);
    }
}

TEST_F(Prologix, LongReplyIsCutToTheBufferAndItsRestDropped) {
    int ud = open(5);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    fake.queueReply(std::string(300, 'x') + "\n");
    fake.queueReply("next\n");
    EXPECT_EQ(read(ud, 100, GPIB_CMPL), std::string(100, 'x'));
    EXPECT_EQ(read(ud, 100), "next\n");
}

TEST_F(Prologix, SilentDeviceTimesOutAndALateReplyIsNotTakenForTheNext) {
    int ud = open(5);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    ASSERT_EQ(ibtmo(ud, T300ms), GPIB_CMPL);
    fake.queueReply("late\n", 700);
    auto t0 = std::chrono::steady_clock::now();
    char buf[64];
    EXPECT_EQ(ibrd(ud, buf, sizeof buf), GPIB_ERR | GPIB_TIMO);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(iberr, GPIB_EABO);
    EXPECT_EQ(ibcntl, 0);
    EXPECT_GE(waited, 0.29);
    EXPECT_LT(waited, 5.0);

    ASSERT_TRUE(fake.waitRepliesSent(1));
    ASSERT_TRUE(fake.waitAllAcknowledged());
    fake.queueReply("fresh\n");
    write(ud, "Q?");
    EXPECT_EQ(read(ud), "fresh\n");
}

TEST_F(Prologix, LongTimeOutsEndWhenTheAdapterHasGivenUp) {
    int ud = open(5);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    for (int code : {T30s, TNONE}) {
        SCOPED_TRACE(code);
        ASSERT_EQ(ibtmo(ud, code), GPIB_CMPL);
        auto t0 = std::chrono::steady_clock::now();
        char buf[16];
        EXPECT_EQ(ibrd(ud, buf, sizeof buf), GPIB_ERR | GPIB_TIMO);
        double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        // The adapter's own limit is 3 s of silence.
        EXPECT_GE(waited, 3.0);
        EXPECT_LT(waited, 10.0);
    }
}

TEST_F(Prologix, DevicesOnOneBoardShareTheAdapter) {
    int a = open(5);
    int b = open(7);
    ASSERT_GE(a, 0) << gpib_last_error_text();
    ASSERT_GE(b, 0) << gpib_last_error_text();
    write(a, "A");
    write(b, "B");
    write(a, "C");
    EXPECT_EQ(ibloc(a), GPIB_CMPL);
    std::string expected = kSetup + "++addr 5\nA\n++addr 7\nB\n++addr 5\nC\n++loc\n";
    EXPECT_EQ(fake.waitReceived(expected.size()), expected);
    EXPECT_EQ(fake.connections(), 1);

    close(a);
    EXPECT_EQ(gpib_timeout_code(a), -1);
    EXPECT_NE(ibwrt(a, "x", 1) & GPIB_ERR, 0);
    EXPECT_EQ(iberr, GPIB_EARG);
    write(b, "D");
    expected += "++addr 7\nD\n";
    EXPECT_EQ(fake.waitReceived(expected.size()), expected);

    close(b);   // the last device gone: the connection closes
    EXPECT_TRUE(fake.waitDisconnected());
}

TEST_F(Prologix, SecondaryAddressAndNoEoiAreTold) {
    int ud = open(3, 0x60, T1s, 0);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    write(ud, "X");
    const std::string expected = kSetup + "++addr 3 96\n++eoi 0\nX\n";
    EXPECT_EQ(fake.waitReceived(expected.size()), expected);
}

TEST_F(Prologix, LinkRecoversAfterTheAdapterWentAway) {
    int ud = open(5);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    write(ud, "A");
    fake.waitReceived(kSetup.size() + 11);
    fake.hangUp();

    // The transport tries an exchange up to three times; two must do here.
    std::string reply;
    for (int attempt = 0; attempt < 2 && reply.empty(); ++attempt) {
        fake.queueReply("ok\n");
        char buf[64];
        if (ibwrt(ud, "Q?", 2) & GPIB_ERR) continue;
        if (ibrd(ud, buf, sizeof buf) & GPIB_ERR) continue;
        reply.assign(buf, static_cast<size_t>(ibcntl));
    }
    EXPECT_EQ(reply, "ok\n");
    EXPECT_EQ(fake.connections(), 2);
    // The new session starts with the setup and names the address again.
    std::string all = fake.received();
    size_t second = all.find(kSetup, 1);
    ASSERT_NE(second, std::string::npos) << all;
    EXPECT_EQ(all.substr(second + kSetup.size(), 9), "++addr 5\n") << all;
}

TEST(PrologixSerial, WorksOverASerialLine) {
    IsolatedPortMap map;
    Pty pty;
    FakeAdapter fake(pty.master());
    portmap::overrideGpib(0, "prologix-serial " + pty.slavePath());
    int ud = ibdev(0, 5, 0, T1s, 1, 0);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    fake.queueReply("VTX,1.0\r\n");
    ASSERT_EQ(ibwrt(ud, "*IDN?", 5), GPIB_CMPL);
    char buf[64];
    EXPECT_EQ(ibrd(ud, buf, sizeof buf), GPIB_END | GPIB_CMPL) << gpib_last_error_text();
    EXPECT_EQ(std::string(buf, static_cast<size_t>(ibcntl)), "VTX,1.0\r\n");
    EXPECT_EQ(fake.received(), kSetup + "++addr 5\n*IDN?\n++read_tmo_ms 1000\n++read eoi\n");
    EXPECT_EQ(ibonl(ud, 0), GPIB_CMPL);
}

int closedLoopbackPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(s);   // bound, never listening: connecting is refused
    return ntohs(sa.sin_port);
}

TEST(GpibConfiguration, BadBoardEntriesFailTheOpenWithAReason) {
    const std::string refused = "prologix-tcp 127.0.0.1:" + std::to_string(closedLoopbackPort());
    const struct {
        std::string spec;
        int err;
        const char* textHas;
    } cases[] = {
        {"", GPIB_ENEB, "ports.cfg"},
        {"prologix-tcp localhost:1234", GPIB_EDVR, "numeric IPv4"},
        {"prologix-tcp 127.0.0.1:99999", GPIB_EDVR, "not a TCP port"},
        {"prologix-tcp 127.0.0.1:0", GPIB_EDVR, "not a TCP port"},
        {"prologix-tcp 127.0.0.1:", GPIB_EDVR, "not a TCP port"},
        {refused, GPIB_EDVR, "refused"},
        {"prologix-serial dev/ttyUSB0", GPIB_EDVR, "not a device path"},
        {"prologix-serial /dev/imbench-no-such-adapter", GPIB_EDVR, "does not exist"},
        {"bogus 1", GPIB_EDVR, "unknown kind"},
        {"linux-gpib x", GPIB_EDVR, "board number"},
        {"linux-gpib", GPIB_EDVR, "board number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec);
        IsolatedPortMap map;
        portmap::overrideGpib(0, c.spec);
        EXPECT_EQ(ibdev(0, 5, 0, T1s, 1, 0), -1);
        EXPECT_NE(ibsta & GPIB_ERR, 0);
        EXPECT_EQ(iberr, c.err);
        EXPECT_NE(std::string(gpib_last_error_text()).find(c.textHas), std::string::npos) << gpib_last_error_text();
    }
}

TEST(GpibConfiguration, InvalidArgumentsAndDescriptorsAreRefused) {
    IsolatedPortMap map;
    FakeAdapter fake;
    portmap::overrideGpib(0, fake.spec());
    const struct {
        int board, pad, sad, tmo;
    } opens[] = {{0, 31, 0, T1s}, {0, -1, 0, T1s}, {0, 5, 5, T1s}, {0, 5, 0x7f, T1s}, {0, 5, 0, 18}, {-1, 5, 0, T1s}};
    for (const auto& o : opens) {
        SCOPED_TRACE(::testing::Message() << o.board << " " << o.pad << " " << o.sad << " " << o.tmo);
        EXPECT_EQ(ibdev(o.board, o.pad, o.sad, o.tmo, 1, 0), -1);
        EXPECT_EQ(iberr, GPIB_EARG);
    }
    EXPECT_EQ(fake.connections(), 0) << "a refused open must not reach the adapter";
    char buf[4];
    for (int ud : {-1, 99, 31}) {
        SCOPED_TRACE(ud);
        EXPECT_EQ(ibwrt(ud, "x", 1), GPIB_ERR);
        EXPECT_EQ(ibrd(ud, buf, 4), GPIB_ERR);
        EXPECT_EQ(ibtmo(ud, T1s), GPIB_ERR);
        EXPECT_EQ(ibloc(ud), GPIB_ERR);
        EXPECT_EQ(ibonl(ud, 0), GPIB_ERR);
        EXPECT_EQ(iberr, GPIB_EARG);
        EXPECT_EQ(gpib_timeout_code(ud), -1);
    }
    int ud = ibdev(0, 5, 0, T3s, 1, 0);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    EXPECT_EQ(ibtmo(ud, 18), GPIB_ERR);
    EXPECT_EQ(ibtmo(ud, -1), GPIB_ERR);
    EXPECT_EQ(gpib_timeout_code(ud), T3s);
    EXPECT_EQ(ibwrt(ud, nullptr, 3), GPIB_ERR);
    EXPECT_EQ(ibrd(ud, buf, -1), GPIB_ERR);
    EXPECT_EQ(ibonl(ud, 0), GPIB_CMPL);
}

}  // namespace
