#include "tests/support/peers.h"

#include "platform/portmap.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tsupport {
namespace {

std::mutex g_logMutex;
std::vector<Message> g_log;

void recordHook(int level, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard lock(g_logMutex);
    g_log.push_back({level, text});
}

std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s)
        out += c < 32 ? std::string{'^', static_cast<char>(c + 64)} : std::string(1, static_cast<char>(c)); // ^M for CR
    return out;
}

// Exactly n bytes, or what came within ms; *eof when the other side closed.
std::string readExactly(int fd, std::size_t n, int ms, bool* eof) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (*eof = false; got.size() < n && !*eof;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        char buf[512];
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t r = ::read(fd, buf, std::min(sizeof buf, n - got.size()));
        got.append(buf, r > 0 ? static_cast<std::size_t>(r) : 0);
        *eof = r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR);
    }
    return got;
}

// Binds fd to port on the first free loopback address of a range chosen from
// the process id: tests run as parallel processes, and 127.0.0.x is left alone.
bool bindFree(int fd, int port, std::string* address) {
    for (unsigned attempt = 0, pid = static_cast<unsigned>(::getpid()); attempt < 64; ++attempt) {
        const unsigned n = pid * 3 + attempt * 104729u;
        *address = "127." + std::to_string(40 + n % 200) + "." + std::to_string(n / 200 % 250) + "." +
            std::to_string(1 + n / 50000 % 250);
        sockaddr_in sa{AF_INET, htons(static_cast<uint16_t>(port)), {}, {}};
        inet_pton(AF_INET, address->c_str(), &sa.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0)
            return true;
    }
    return false;
}

} // namespace

void PrintTo(const Message& m, std::ostream* os) { *os << "{" << m.level << ", \"" << printable(m.text) << "\"}"; }

MessageLog::MessageLog() {
    std::lock_guard lock(g_logMutex);
    g_log.clear();
    io_hook_debug_printf(recordHook);
}
MessageLog::~MessageLog() { io_hook_debug_printf(nullptr); }

std::vector<Message> MessageLog::all() const {
    std::lock_guard lock(g_logMutex);
    return g_log;
}

std::vector<std::string> MessageLog::errors() const {
    std::vector<std::string> out;
    for (const Message& m : all())
        if (m.level == 1) out.push_back(m.text);
    return out;
}

void closeAllLinks() {
    for (int h = 0; h < IO_MAX_LINKS; ++h) io_close(h);
}

std::string tcpQueryAnswer(const std::string& reply) { return "OK\r\n" + reply + "\r\nOK\r\n"; }

void Gate::open() {
    std::lock_guard lock(m_);
    open_ = true;
    cv_.notify_all();
}

bool Gate::wait(int ms) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return open_; });
}

std::unique_ptr<StreamPeer> StreamPeer::tcp(int port) {
    std::unique_ptr<StreamPeer> p(new StreamPeer());
    p->listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (!bindFree(p->listen_, port, &p->address_) || listen(p->listen_, 8) != 0)
        ::close(std::exchange(p->listen_, -1));
    return p;
}

StreamPeer::~StreamPeer() {
    if (thread_.joinable()) thread_.join();
    for (int fd : {io_, listen_})
        if (fd >= 0) ::close(fd);
}

StreamPeer& StreamPeer::add(char kind, std::string bytes, Gate* gate) {
    steps_.push_back({kind, std::move(bytes), gate});
    return *this;
}

void StreamPeer::start() {
    thread_ = std::thread([this] { run(); });
}

void StreamPeer::run() {
    for (std::size_t i = 0; i < steps_.size() && failure_.empty(); ++i) {
        const Step& s = steps_[i];
        const std::string where = "step " + std::to_string(i) + ": ";
        bool eof = false;
        pollfd p{listen_, POLLIN, 0};
        if (s.kind == 'a') {
            if (io_ >= 0) ::close(io_);
            io_ = poll(&p, 1, 10000) > 0 ? ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
            if (io_ < 0) failure_ = where + "no connection came";
        } else if (s.kind == 'e') {
            const std::string got = readExactly(io_, s.bytes.size(), 10000, &eof);
            if (got != s.bytes) failure_ = where + "expected \"" + printable(s.bytes) + "\", got \"" + printable(got) + (eof ? "\" and the end" : "\"");
        } else if (s.kind == 's' && ::send(io_, s.bytes.data(), s.bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(s.bytes.size())) {
            failure_ = where + "send failed: " + std::strerror(errno);
        } else if (s.kind == 'w' && !s.gate->wait()) {
            failure_ = where + "the test never opened the gate";
        } else if (s.kind == 'g') {
            s.gate->open();
        } else if (s.kind == 'c') {
            ::close(std::exchange(io_, -1));
        }
    }
}

std::string StreamPeer::finish(int eofWaitMs) {
    if (thread_.joinable()) thread_.join();
    if (!failure_.empty() || io_ < 0) return failure_;
    bool eof = false;
    const std::string extra = readExactly(io_, 1 << 16, eofWaitMs, &eof);
    if (!extra.empty()) return "unexpected bytes after the script: \"" + printable(extra) + "\"";
    return eof ? "" : "the connection was not closed";
}

std::string udpPacket(int code, int id, const std::string& text) {
    const char header[] = {1, static_cast<char>(code), static_cast<char>(id >> 8), static_cast<char>(id & 0xFF),
        static_cast<char>(text.size() >> 8), static_cast<char>(text.size() & 0xFF)};
    return std::string(header, sizeof header) + text;
}

Packet udpParse(const std::string& b) {
    const auto at = [&b](std::size_t i) { return static_cast<unsigned char>(b[i]); };
    if (b.size() < 6 || b[0] != 1)
        return {};
    return {at(1), at(2) << 8 | at(3), b.substr(6, static_cast<std::size_t>(at(4) << 8 | at(5)))};
}

UdpPeer::UdpPeer(std::string address, int port) : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), address_(address) {
    const int shared = !address.empty(); // responders to one broadcast share the port
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &shared, sizeof shared);
    sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {}, {}};
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (shared ? bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 : !bindFree(fd_, port, &address_))
        ::close(std::exchange(fd_, -1));
}

UdpPeer::~UdpPeer() {
    if (fd_ >= 0) ::close(fd_);
}

Packet UdpPeer::receive(Datagram* out, int ms) {
    char buf[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = quiet(ms) ? -1 : recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    *out = {std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0), from.sin_addr.s_addr, ntohs(from.sin_port)};
    return udpParse(out->bytes);
}

void UdpPeer::reply(const Datagram& to, const std::string& bytes) {
    // A sender seen as 0.0.0.0 (a broadcast in a namespace with only lo) is this host.
    sockaddr_in a{AF_INET, htons(to.fromPort), {to.from == 0 ? htonl(INADDR_LOOPBACK) : to.from}, {}};
    sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

bool UdpPeer::quiet(int ms) {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, ms) == 0;
}

IsolatedPortMap::IsolatedPortMap() : env_("IMBENCH_PORTS", dir_.file("ports.cfg")) {
    portmap::clearOverrides();
    portmap::reload();
}

IsolatedPortMap::~IsolatedPortMap() {
    portmap::clearOverrides();
    portmap::reload();
}

} // namespace tsupport
