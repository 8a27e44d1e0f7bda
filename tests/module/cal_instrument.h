// A scripted IM module on a loopback TCP port for calibration transfers: it
// answers the serial number, the marker counts and every calibration value
// query from a table, takes every command with "OK" unless the test refused
// it, and records each line exactly as it arrived (everything before the CR,
// line feeds included).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class CalInstrument {
public:
    // Listens on the first free address prefix + 1..254 at port.
    CalInstrument(const std::string& prefix, int port)
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
    ~CalInstrument()
    {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    CalInstrument(const CalInstrument&) = delete;
    CalInstrument& operator=(const CalInstrument&) = delete;

    const std::string& address() const { return address_; }

    // The value text of "IM:CAL:DATA? t i g f".
    static std::string value(int t, int i, int g, int f)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%d.%d%d%d%03d", t + 1, i, g, f, 7 * t + 5 * i + 3 * g + f);
        return text;
    }

    void setCounts(int freqs, int gains)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        freqs_ = freqs;
        gains_ = gains;
    }
    void setSerialReply(const std::string& reply)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        serial_ = reply;
    }
    // Lines answered with a line without "OK" (commands) or no reply (queries),
    // compared after dropping line feeds.
    void refuse(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        refused_.insert(line);
    }
    std::vector<std::string> received()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.clear();
        refused_.clear();
    }

private:
    static std::string withoutLf(const std::string& s)
    {
        std::string out;
        for (char c : s)
            if (c != '\n')
                out += c;
        return out;
    }

    std::string reply(const std::string& raw)
    {
        const std::string line = withoutLf(raw);
        if (refused_.count(line))
            return "ERR\r\n";
        if (line.find('?') == std::string::npos)
            return "OK\r\n";
        std::string text;
        int t = 0, i = 0, g = 0, f = 0;
        char tail = 0;
        if (line == "SYST:SER?")
            text = serial_;
        else if (line == "IM:CAL:FREQ:COUNT?")
            text = std::to_string(freqs_);
        else if (line == "IM:CAL:GAIN:COUNT?")
            text = std::to_string(gains_);
        else if (std::sscanf(line.c_str(), "IM:CAL:DATA? %d %d %d %d%c", &t, &i, &g, &f, &tail) == 4)
            text = value(t, i, g, f);
        else
            return "ERR\r\n";
        return "OK\r\n" + text + "\r\nOK\r\n";
    }

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
                if (buf[k] != '\r') {
                    line += buf[k];
                    continue;
                }
                std::string out;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    received_.push_back(line);
                    out = reply(line);
                }
                line.clear();
                std::size_t sent = 0;
                while (sent < out.size()) {
                    const ssize_t w = ::send(conn, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
                    if (w <= 0)
                        break;
                    sent += static_cast<std::size_t>(w);
                }
            }
        }
        if (conn >= 0)
            ::close(conn);
    }

    int listener_ = -1;
    std::string address_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    int freqs_ = 0, gains_ = 0;
    std::string serial_ = "SERIAL:  ABC123";
    std::set<std::string> refused_;
    std::vector<std::string> received_;
};
