// Raw loopback clients for the simulator tests: a TCP stream, a UDP socket
// and a pty, each with reads bounded by a deadline.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace simtest {

using Clock = std::chrono::steady_clock;
// Generous: the tests must pass on a loaded two-core machine.
constexpr int kWaitMs = 5000;

inline int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Polls a condition until it holds or the wait ends.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = kWaitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() >= deadline) return false;
        ::usleep(5000);
    }
    return true;
}

// A byte stream: a TCP socket or a pty slave.
class Stream {
public:
    Stream() = default;
    explicit Stream(int fd) : fd_(fd) {}
    ~Stream() { close(); }
    Stream(Stream&& o) noexcept : fd_(std::exchange(o.fd_, -1)), surplus_(std::move(o.surplus_)) {}
    Stream& operator=(Stream&& o) noexcept {
        close();
        fd_ = std::exchange(o.fd_, -1);
        surplus_ = std::move(o.surplus_);
        return *this;
    }

    static Stream tcp(const std::string& address, int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            return Stream();
        }
        return Stream(fd);
    }

    static Stream pty(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return Stream();
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
        tcflush(fd, TCIFLUSH);
        return Stream(fd);
    }

    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    int fd() const { return fd_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    bool send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // One read: what a single recv gives once data is there; nullopt at the
    // deadline; an empty text when the peer closed.
    std::optional<std::string> readOnce(int timeoutMs = kWaitMs) {
        if (!surplus_.empty()) return std::exchange(surplus_, {});
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
        char buf[8192];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) return std::string();
        return std::string(buf, static_cast<std::size_t>(n));
    }

    // Exactly n bytes, or fewer at the deadline or the close; bytes beyond n
    // are kept for the next read.
    std::string readBytes(std::size_t n, int timeoutMs = kWaitMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string got;
        while (got.size() < n) {
            auto part = readOnce(msLeft(deadline));
            if (!part || part->empty()) break;
            got += *part;
        }
        if (got.size() > n) {
            surplus_ = got.substr(n);
            got.resize(n);
        }
        return got;
    }

    // Everything that arrives within quietMs of the last byte.
    std::string readQuiet(int quietMs) {
        std::string got;
        for (;;) {
            auto part = readOnce(quietMs);
            if (!part || part->empty()) return got;
            got += *part;
        }
    }

    // True when the peer closes within the time (data before the close is dropped).
    bool waitClosed(int timeoutMs = kWaitMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto part = readOnce(msLeft(deadline));
            if (!part) return false;
            if (part->empty()) return true;
        }
    }

private:
    int fd_ = -1;
    std::string surplus_;
};

struct Datagram {
    std::string bytes;
    std::string from;   // sender address, dotted
    int fromPort = 0;
};

class Udp {
public:
    explicit Udp(const std::string& bindAddress = "127.0.0.1") {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, bindAddress.c_str(), &a.sin_addr);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~Udp() { ::close(fd_); }
    Udp(const Udp&) = delete;
    Udp& operator=(const Udp&) = delete;

    bool sendTo(const std::string& address, int port, const std::string& bytes) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
               static_cast<ssize_t>(bytes.size());
    }

    std::optional<Datagram> receive(int timeoutMs = kWaitMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
        char buf[65536];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return std::nullopt;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        return Datagram{std::string(buf, static_cast<std::size_t>(n)), text, ntohs(from.sin_port)};
    }

private:
    int fd_ = -1;
};

}  // namespace simtest
