// A loopback TCP peer that speaks the instrument's line framing for tests of
// command layers: every line the host sends ends in CR, and the test's answer
// function gives the bytes that answer it (for instance "OK\r\n", or
// "OK\r\n<reply>\r\nOK\r\n" for a query).  One connection at a time; a new one
// is taken when the host closes and reopens its link.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

class LineServer {
public:
    using Answer = std::function<std::string(const std::string& line)>;

    // Listens on the first free address prefix + 1..254 at port (tests run in
    // parallel processes and each needs its own address for the fixed port).
    // Line feeds are dropped from a line unless keepLineFeeds.
    LineServer(const std::string& prefix, int port, bool keepLineFeeds, Answer answer)
        : keepLineFeeds_(keepLineFeeds), answer_(std::move(answer))
    {
        for (int host = 1; host < 255 && listener_ < 0; ++host) {
            const std::string address = prefix + std::to_string(host);
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            if (fd < 0)
                throw std::runtime_error("socket");
            const int one = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_port = htons(static_cast<uint16_t>(port));
            if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) == 1 &&
                ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && ::listen(fd, 4) == 0) {
                listener_ = fd;
                address_ = address;
            } else {
                ::close(fd);
            }
        }
        if (listener_ < 0)
            throw std::runtime_error("no free address under " + prefix);
        thread_ = std::thread([this] { run(); });
    }
    ~LineServer()
    {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    const std::string& address() const { return address_; }

private:
    void run()
    {
        int conn = -1;
        std::string line;
        while (!stop_) {
            pollfd p{conn >= 0 ? conn : listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            if (conn < 0) {
                conn = ::accept(listener_, nullptr, nullptr);
                line.clear();
                continue;
            }
            char buf[1024];
            const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(conn);
                conn = -1;
                continue;
            }
            for (ssize_t k = 0; k < n; ++k) {
                if (buf[k] == '\r') {
                    send(conn, answer_(line));
                    line.clear();
                } else if (buf[k] != '\n' || keepLineFeeds_) {
                    line += buf[k];
                }
            }
        }
        if (conn >= 0)
            ::close(conn);
    }

    static void send(int conn, const std::string& out)
    {
        std::size_t sent = 0;
        while (sent < out.size()) {
            const ssize_t n = ::send(conn, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<std::size_t>(n);
        }
    }

    const bool keepLineFeeds_;
    const Answer answer_;
    int listener_ = -1;
    std::string address_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};
