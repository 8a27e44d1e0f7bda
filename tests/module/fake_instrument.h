// A scripted instrument on a loopback TCP port for tests of command layers.
// It speaks the stream framing: every line ends in CR; a command is answered
// "OK\r\n", a query "OK\r\n<reply>\r\nOK\r\n".  It answers only the lines the
// test expects, in order; anything else is recorded as unexpected and refused
// with a line without "OK".
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class FakeInstrument {
public:
    enum class Answer { Ack, Reply, Refuse };

    // Listens on the first free address prefix + 1..254 (tests run in
    // parallel processes, each needs its own address for the fixed port).
    FakeInstrument(const std::string& prefix, int port)
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

    const std::string& address() const { return address_; }

    ~FakeInstrument()
    {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }

    FakeInstrument(const FakeInstrument&) = delete;
    FakeInstrument& operator=(const FakeInstrument&) = delete;

    // The next line must be command; it is answered as given.
    void expect(const std::string& command, Answer answer = Answer::Ack, const std::string& reply = {})
    {
        std::lock_guard<std::mutex> lock(mutex_);
        script_.push_back({command, answer, reply});
    }
    void expectQuery(const std::string& command, const std::string& reply)
    {
        expect(command, Answer::Reply, reply);
    }
    // The command is refused times times in a row (each try of the sender).
    void expectRefused(const std::string& command, int times)
    {
        for (int i = 0; i < times; ++i)
            expect(command, Answer::Refuse);
    }

    std::vector<std::string> received()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    std::vector<std::string> unexpected()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return unexpected_;
    }
    std::size_t pending()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return script_.size();
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        script_.clear();
        received_.clear();
        unexpected_.clear();
    }

private:
    struct Step {
        std::string command;
        Answer answer;
        std::string reply;
    };

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
            char buf[512];
            const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(conn);
                conn = -1;  // the next test opens a new link
                continue;
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\r') {
                    answer(conn, line);
                    line.clear();
                } else if (buf[i] != '\n') {
                    line += buf[i];
                }
            }
        }
        if (conn >= 0)
            ::close(conn);
    }

    void answer(int conn, const std::string& line)
    {
        std::string out;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.push_back(line);
            if (script_.empty() || script_.front().command != line) {
                unexpected_.push_back(line);
                out = "ERR\r\n";
            } else {
                const Step step = script_.front();
                script_.pop_front();
                switch (step.answer) {
                case Answer::Ack: out = "OK\r\n"; break;
                case Answer::Reply: out = "OK\r\n" + step.reply + "\r\nOK\r\n"; break;
                case Answer::Refuse: out = "ERR\r\n"; break;
                }
            }
        }
        std::size_t sent = 0;
        while (sent < out.size()) {
            const ssize_t n = ::send(conn, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<std::size_t>(n);
        }
    }

    int listener_ = -1;
    std::string address_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::deque<Step> script_;
    std::vector<std::string> received_;
    std::vector<std::string> unexpected_;
};
