// GPIB links through a fake Prologix-style adapter on loopback: commands go
// out unchanged, replies lose one line end, time-out codes follow the
// milliseconds, and adapter failures surface as GPIB errors.
#include "link/io.h"
#include "platform/gpib.h"
#include "platform/portmap.h"
#include "tests/link/io_test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace iotest;

namespace {

// Answers each "++read" with the next scripted reply and records the data
// lines the host writes; adapter commands other than "++read" are accepted.
class FakeAdapter {
public:
    FakeAdapter(const std::string& address, std::deque<std::string> replies, bool hangUpAfterSetup = false)
        : replies_(std::move(replies)), hangUp_(hangUpAfterSetup)
    {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = 0;
        inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listen_, 4) != 0)
            return;
        socklen_t len = sizeof a;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        spec_ = "prologix-tcp " + address + ":" + std::to_string(ntohs(a.sin_port));
        thread_ = std::thread([this] { run(); });
    }
    ~FakeAdapter()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listen_ >= 0)
            ::close(listen_);
    }
    const std::string& spec() const { return spec_; }
    std::vector<std::string> dataLines()
    {
        std::lock_guard lock(m_);
        return data_;
    }
    std::vector<std::string> adapterLines()
    {
        std::lock_guard lock(m_);
        return commands_;
    }
    // Waits until the adapter has been sent line (an adapter command).
    bool waitForCommand(const std::string& line, int ms = 10000)
    {
        const int64_t deadline = nowMs() + ms;
        while (nowMs() < deadline) {
            for (const std::string& c : adapterLines())
                if (c == line)
                    return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    void run()
    {
        pollfd p{listen_, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0)
            return;
        int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        std::string line;
        bool esc = false;
        int setupLines = 0;
        while (!stop_) {
            pollfd q{fd, POLLIN, 0};
            if (poll(&q, 1, 50) <= 0)
                continue;
            char buf[512];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buf[i];
                if (esc) {
                    line += c;
                    esc = false;
                } else if (c == 27) {
                    esc = true;
                } else if (c == '\n') {
                    handle(fd, line, &setupLines);
                    line.clear();
                } else {
                    line += c;
                }
            }
            if (hangUp_ && setupLines >= 4) {
                // The adapter goes away for good: no reconnect either.
                ::close(listen_);
                listen_ = -1;
                break;
            }
        }
        ::close(fd);
    }

    void handle(int fd, const std::string& line, int* setupLines)
    {
        std::lock_guard lock(m_);
        if (line.rfind("++", 0) != 0) {
            data_.push_back(line);
            return;
        }
        commands_.push_back(line);
        ++*setupLines;
        if (line.rfind("++read", 0) == 0 && line.rfind("++read_tmo", 0) != 0 && !replies_.empty()) {
            const std::string r = replies_.front();
            replies_.pop_front();
            if (!r.empty())
                ::send(fd, r.data(), r.size(), MSG_NOSIGNAL);
        }
    }

    int listen_ = -1;
    std::string spec_;
    std::deque<std::string> replies_;
    bool hangUp_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex m_;
    std::vector<std::string> data_;
    std::vector<std::string> commands_;
};

class IoGpib : public ::testing::Test {
protected:
    void TearDown() override
    {
        closeAllLinks();
        portmap::clearOverrides();
    }
    int open(FakeAdapter& adapter, int pad = 5)
    {
        portmap::overrideGpib(0, adapter.spec());
        const int h = io_open(IO_GPIB, &pad, 0);
        EXPECT_GE(h, 0);
        return h;
    }
    MessageLog log;
};

TEST_F(IoGpib, CommandGoesUnchangedAndRepliesLoseOneLineEnd)
{
    FakeAdapter adapter("127.77.4.1", {"abc\r\n", "abc\n", "\n", "a\nb", "plain"});
    const int h = open(adapter);
    ASSERT_GE(h, 0);
    EXPECT_EQ(io_get_link(h)->kind, IO_GPIB);
    EXPECT_EQ(io_get_link(h)->timeout, 3000);
    EXPECT_EQ(gpib_timeout_code(io_get_link(h)->dev), T1s);
    EXPECT_EQ(io_get_remote_address(h), nullptr);

    ASSERT_EQ(io_write(h, "*IDN?"), 0);
    ASSERT_EQ(io_write(h, "IM:X 1;Y 2"), 0);
    char reply[32];
    for (const char* want : {"abc", "abc", "", "a", "plain"}) {
        ASSERT_EQ(io_read(h, reply, sizeof reply), 0);
        EXPECT_STREQ(reply, want);
    }
    EXPECT_EQ(adapter.dataLines(), (std::vector<std::string>{"*IDN?", "IM:X 1;Y 2"}));
    EXPECT_TRUE(log.errors().empty());
    EXPECT_FALSE(adapter.waitForCommand("++loc", 0));
    io_close(h);
    // Back to local on close.
    EXPECT_TRUE(adapter.waitForCommand("++loc"));
}

TEST_F(IoGpib, ReplyIsCutToTheBuffer)
{
    FakeAdapter adapter("127.77.4.2", {"0123456789\n"});
    const int h = open(adapter);
    ASSERT_GE(h, 0);
    char arena[16];
    std::memset(arena, '#', sizeof arena);
    ASSERT_EQ(io_read(h, arena, 6), 0);
    EXPECT_STREQ(arena, "01234");
    for (std::size_t i = 6; i < sizeof arena; ++i)
        EXPECT_EQ(arena[i], '#');
}

TEST_F(IoGpib, TimeoutCodesFollowTheMilliseconds)
{
    FakeAdapter adapter("127.77.4.3", {});
    const int h = open(adapter);
    ASSERT_GE(h, 0);
    const int ud = io_get_link(h)->dev;
    const std::pair<int, int> table[] = {{3000, 12}, {1, 5},      {10, 7},  {1000, 11}, {10000, 13},
                                         {30000, 14}, {100000, 14}, {300, 10}, {0, 5},     {-1, 14}};
    for (auto [ms, code] : table) {
        io_timeout(h, ms);
        EXPECT_EQ(gpib_timeout_code(ud), code) << ms << " ms";
        EXPECT_EQ(io_get_link(h)->timeout, ms);
    }
}

TEST_F(IoGpib, NoReplyFailsTheRead)
{
    FakeAdapter adapter("127.77.4.4", {""});
    const int h = open(adapter);
    ASSERT_GE(h, 0);
    io_timeout(h, 100);
    char reply[16] = "x";
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
    EXPECT_STREQ(reply, "");
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "io_read:(-1)"}}));
}

TEST_F(IoGpib, LostAdapterFailsTheWriteWithTheStatusWord)
{
    FakeAdapter adapter("127.77.4.5", {}, true);
    const int h = open(adapter);
    ASSERT_GE(h, 0);
    char reply[16];
    // The first call finds the adapter gone; the next cannot reach it again.
    EXPECT_EQ(io_read(h, reply, sizeof reply), -1);
    log.clear();
    EXPECT_EQ(io_write(h, "*IDN?"), -1);
    const auto errors = log.errors();
    ASSERT_EQ(errors.size(), 2u);
    unsigned status = 0;
    ASSERT_EQ(std::sscanf(errors[0].text.c_str(), "GPIB err=%x", &status), 1) << errors[0].text;
    EXPECT_NE(status & GPIB_ERR, 0u);
    EXPECT_EQ(errors[1].text, "io_write:(-1) *IDN?");
}

TEST_F(IoGpib, OpenFailures)
{
    int pad = -1;
    EXPECT_EQ(io_open(IO_GPIB, &pad, 0), -1);
    EXPECT_EQ(log.errors(), (std::vector<Message>{{1, "\n\nInput the GPIB address number of VTX (1..31):"}}));
    EXPECT_EQ(io_open(IO_GPIB, static_cast<const int*>(nullptr), 0), -1);
    // An adapter nobody answers for.
    portmap::overrideGpib(0, "prologix-tcp 127.77.4.6:1");
    pad = 5;
    log.clear();
    EXPECT_EQ(io_open(IO_GPIB, &pad, 0), -1);
    EXPECT_TRUE(log.errors().empty());
    EXPECT_EQ(io_get_link(0)->kind, -1);
}

}  // namespace
