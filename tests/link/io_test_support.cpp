#include "tests/link/io_test_support.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace iotest {

namespace {

std::mutex g_logMutex;
std::vector<Message> g_log;

void recordHook(int level, const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard lock(g_logMutex);
    g_log.push_back({level, text});
}

std::string printable(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 32 || c > 126) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

// Reads exactly n bytes within ms; what came (possibly fewer) is returned.
std::string readExactly(int fd, std::size_t n, int ms, bool* eof)
{
    std::string got;
    const int64_t deadline = nowMs() + ms;
    *eof = false;
    while (got.size() < n) {
        const int64_t left = deadline - nowMs();
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[512];
        const ssize_t r = ::read(fd, buf, std::min(sizeof buf, n - got.size()));
        if (r > 0) {
            got.append(buf, static_cast<std::size_t>(r));
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            *eof = true;   // a pty master reads EIO once the slave is closed
            break;
        }
    }
    return got;
}

}  // namespace

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// ---- messages ----------------------------------------------------------------------

MessageLog::MessageLog()
{
    clear();
    io_hook_debug_printf(recordHook);
}

MessageLog::~MessageLog()
{
    io_hook_debug_printf(nullptr);
}

std::vector<Message> MessageLog::all() const
{
    std::lock_guard lock(g_logMutex);
    return g_log;
}

std::vector<Message> MessageLog::errors() const
{
    std::vector<Message> out;
    for (const Message& m : all())
        if (m.level == 1)
            out.push_back(m);
    return out;
}

bool MessageLog::contains(int level, const std::string& text) const
{
    for (const Message& m : all())
        if (m.level == level && m.text == text)
            return true;
    return false;
}

void MessageLog::clear()
{
    std::lock_guard lock(g_logMutex);
    g_log.clear();
}

void closeAllLinks()
{
    for (int h = 0; h < IO_MAX_LINKS; ++h)
        io_close(h);
}

// ---- gate --------------------------------------------------------------------------

void Gate::open()
{
    std::lock_guard lock(m_);
    open_ = true;
    cv_.notify_all();
}

bool Gate::wait(int ms)
{
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return open_; });
}

// ---- stream peer -----------------------------------------------------------------------

std::unique_ptr<StreamPeer> StreamPeer::tcp(const std::string& address, int port)
{
    std::unique_ptr<StreamPeer> p(new StreamPeer());
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 8) != 0) {
        ::close(fd);
        return p;
    }
    p->listenFd_ = fd;
    return p;
}

std::unique_ptr<StreamPeer> StreamPeer::pty()
{
    std::unique_ptr<StreamPeer> p(new StreamPeer());
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return p;
    // Raw on the slave side so the line discipline passes every byte as it is.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    // Held until finish(): with no slave open the master reads as hung up.
    p->slaveFd_ = slave;
    p->ioFd_ = master;
    p->isPty_ = true;
    p->slavePath_ = name;
    return p;
}

StreamPeer::~StreamPeer()
{
    if (thread_.joinable())
        thread_.join();
    if (ioFd_ >= 0)
        ::close(ioFd_);
    if (listenFd_ >= 0)
        ::close(listenFd_);
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
}

StreamPeer& StreamPeer::accept()
{
    steps_.push_back({Step::Accept, {}, 0, nullptr, {}});
    return *this;
}

StreamPeer& StreamPeer::expect(std::string bytes)
{
    steps_.push_back({Step::Expect, std::move(bytes), 0, nullptr, {}});
    return *this;
}

StreamPeer& StreamPeer::send(std::string bytes)
{
    steps_.push_back({Step::Send, std::move(bytes), 0, nullptr, {}});
    return *this;
}

StreamPeer& StreamPeer::pause(int ms)
{
    steps_.push_back({Step::Pause, {}, ms, nullptr, {}});
    return *this;
}

StreamPeer& StreamPeer::waitFor(Gate& gate)
{
    steps_.push_back({Step::Wait, {}, 0, &gate, {}});
    return *this;
}

StreamPeer& StreamPeer::signal(Gate& gate)
{
    steps_.push_back({Step::Signal, {}, 0, &gate, {}});
    return *this;
}

StreamPeer& StreamPeer::close()
{
    steps_.push_back({Step::Close, {}, 0, nullptr, {}});
    return *this;
}

StreamPeer& StreamPeer::call(std::function<void(int)> fn)
{
    steps_.push_back({Step::Call, {}, 0, nullptr, std::move(fn)});
    return *this;
}

void StreamPeer::start()
{
    thread_ = std::thread([this] { run(); });
}

void StreamPeer::fail(const std::string& why)
{
    std::lock_guard lock(m_);
    if (failure_.empty())
        failure_ = why;
}

void StreamPeer::run()
{
    constexpr int kStepMs = 10000;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        Step& s = steps_[i];
        const std::string where = "step " + std::to_string(i) + ": ";
        switch (s.kind) {
        case Step::Accept: {
            pollfd p{listenFd_, POLLIN, 0};
            if (poll(&p, 1, kStepMs) <= 0) {
                fail(where + "no connection came");
                return;
            }
            if (ioFd_ >= 0)
                ::close(ioFd_);
            ioFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (ioFd_ < 0) {
                fail(where + "accept failed");
                return;
            }
            break;
        }
        case Step::Expect: {
            bool eof = false;
            const std::string got = readExactly(ioFd_, s.bytes.size(), kStepMs, &eof);
            if (got != s.bytes) {
                fail(where + "expected \"" + printable(s.bytes) + "\", got \"" + printable(got) + "\""
                     + (eof ? " and the end" : ""));
                return;
            }
            break;
        }
        case Step::Send: {
            std::size_t done = 0;
            while (done < s.bytes.size()) {
                const ssize_t n = ::send(ioFd_, s.bytes.data() + done, s.bytes.size() - done, MSG_NOSIGNAL);
                if (n < 0 && isPty_ && errno == ENOTSOCK) {
                    const ssize_t w = ::write(ioFd_, s.bytes.data() + done, s.bytes.size() - done);
                    if (w <= 0) {
                        fail(where + "write failed");
                        return;
                    }
                    done += static_cast<std::size_t>(w);
                    continue;
                }
                if (n <= 0) {
                    fail(where + "send failed: " + std::strerror(errno));
                    return;
                }
                done += static_cast<std::size_t>(n);
            }
            break;
        }
        case Step::Pause:
            std::this_thread::sleep_for(std::chrono::milliseconds(s.ms));
            break;
        case Step::Wait:
            if (!s.gate->wait(kStepMs)) {
                fail(where + "the test never opened the gate");
                return;
            }
            break;
        case Step::Signal:
            s.gate->open();
            break;
        case Step::Close:
            ::close(ioFd_);
            ioFd_ = -1;
            break;
        case Step::Call:
            s.fn(ioFd_);
            break;
        }
    }
}

std::string StreamPeer::finish(int eofWaitMs)
{
    if (thread_.joinable())
        thread_.join();
    {
        std::lock_guard lock(m_);
        if (!failure_.empty())
            return failure_;
    }
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
        slaveFd_ = -1;
    }
    if (ioFd_ < 0)
        return {};
    bool eof = false;
    const std::string extra = readExactly(ioFd_, 1 << 16, eofWaitMs, &eof);
    if (!extra.empty())
        return "unexpected bytes after the script: \"" + printable(extra) + "\"";
    if (!eof && !isPty_)
        return "the connection was not closed";
    return {};
}

// ---- UDP peer ------------------------------------------------------------------------

UdpPeer::UdpPeer(const std::string& address, int port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

UdpPeer::~UdpPeer()
{
    join();
    if (fd_ >= 0)
        ::close(fd_);
}

bool UdpPeer::receive(Datagram* out, int ms)
{
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0)
        return false;
    uint8_t buf[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0)
        return false;
    out->bytes.assign(buf, buf + n);
    out->from = from.sin_addr.s_addr;
    out->fromPort = ntohs(from.sin_port);
    return true;
}

void UdpPeer::sendTo(const Datagram& to, const std::vector<uint8_t>& bytes)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(to.fromPort);
    // A sender seen as 0.0.0.0 (a broadcast in a namespace with only lo) is this host.
    a.sin_addr.s_addr = to.from == 0 ? htonl(INADDR_LOOPBACK) : to.from;
    sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

void UdpPeer::sendPacket(const Datagram& to, uint8_t code, uint16_t id, const std::string& text)
{
    sendTo(to, packet(code, id, text));
}

bool UdpPeer::quiet(int ms)
{
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, ms) == 0;
}

void UdpPeer::run(std::function<void(UdpPeer&)> fn)
{
    join();
    thread_ = std::thread([this, fn = std::move(fn)] { fn(*this); });
}

void UdpPeer::join()
{
    if (thread_.joinable())
        thread_.join();
}

bool parseRequest(const Datagram& d, Request* out)
{
    io_udp_packet p{};
    if (!io_udp_parse(d.bytes.data(), static_cast<int>(d.bytes.size()), &p) || p.marker != 1)
        return false;
    out->code = p.code;
    out->id = p.id;
    out->text.assign(p.text, static_cast<std::size_t>(p.text_len));
    return p.text_len == p.length;
}

std::vector<uint8_t> packet(uint8_t code, uint16_t id, const std::string& text)
{
    std::vector<uint8_t> out(6 + text.size());
    const int n = io_udp_build(code, id, text.data(), static_cast<int>(text.size()), out.data(),
                               static_cast<int>(out.size()));
    out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return out;
}

std::string tcpQueryAnswer(const std::string& reply)
{
    return "OK\r\n" + reply + "\r\nOK\r\n";
}

}  // namespace iotest
