// Test helpers for the transport: a message recorder for the hook, scripted
// fake peers over real loopback sockets and ptys (they answer only the
// exchanges a test expects and report anything else), and small socket tools.
#pragma once

#include "link/io.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace iotest {

// ---- messages through the transport's hook -----------------------------------------

struct Message {
    int level;
    std::string text;
    bool operator==(const Message&) const = default;
};
inline void PrintTo(const Message& m, std::ostream* os)
{
    *os << "{" << m.level << ", \"";
    for (char c : m.text)
        *os << (c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c));
    *os << "\"}";
}

// Installs a recording hook for the life of the object.
class MessageLog {
public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    std::vector<Message> all() const;
    std::vector<Message> errors() const;   // level 1 only
    bool contains(int level, const std::string& text) const;
    void clear();
};

// Closes every handle and checks the socket count at the end of a test.
void closeAllLinks();

// ---- a gate one thread opens and another waits for -----------------------------------

class Gate {
public:
    void open();
    bool wait(int ms = 10000);   // false when it was not opened in time

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

// ---- scripted stream peer (TCP listener or pty master) --------------------------------

class StreamPeer {
public:
    // Listens on address:port (SO_REUSEADDR); listening() tells whether that worked.
    static std::unique_ptr<StreamPeer> tcp(const std::string& address, int port = IO_PORT);
    // A pty whose slave path is slavePath(); the peer talks on the master side.
    static std::unique_ptr<StreamPeer> pty();
    ~StreamPeer();

    bool listening() const { return listenFd_ >= 0 || ioFd_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }

    // Script steps, run in order by start() on the peer's own thread.
    StreamPeer& accept();                       // TCP: take the next connection
    StreamPeer& expect(std::string bytes);      // exactly these bytes must come next
    StreamPeer& send(std::string bytes);
    StreamPeer& pause(int ms);
    StreamPeer& waitFor(Gate& gate);
    StreamPeer& signal(Gate& gate);
    StreamPeer& close();                        // TCP: close the connection
    StreamPeer& call(std::function<void(int fd)> fn);

    void start();
    // Waits for the script's end, then (unless it closed the connection) for
    // the other side to close, failing on any byte that comes meanwhile.
    // Empty when everything went as scripted, else what went wrong.
    std::string finish(int eofWaitMs = 5000);

private:
    struct Step {
        enum Kind { Accept, Expect, Send, Pause, Wait, Signal, Close, Call } kind;
        std::string bytes;
        int ms = 0;
        Gate* gate = nullptr;
        std::function<void(int)> fn;
    };
    StreamPeer() = default;
    void run();
    void fail(const std::string& why);

    int listenFd_ = -1;
    int ioFd_ = -1;
    int slaveFd_ = -1;
    bool isPty_ = false;
    std::string slavePath_;
    std::vector<Step> steps_;
    std::thread thread_;
    std::mutex m_;
    std::string failure_;
};

// ---- UDP peer --------------------------------------------------------------------------

struct Datagram {
    std::vector<uint8_t> bytes;
    uint32_t from = 0;      // network order
    uint16_t fromPort = 0;  // host order
};

class UdpPeer {
public:
    explicit UdpPeer(const std::string& address, int port = IO_PORT);
    ~UdpPeer();
    bool bound() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // The next datagram within ms, or nothing.
    bool receive(Datagram* out, int ms = 10000);
    void sendTo(const Datagram& to, const std::vector<uint8_t>& bytes);
    void sendPacket(const Datagram& to, uint8_t code, uint16_t id, const std::string& text);
    // No datagram within ms.
    bool quiet(int ms);

    // Runs fn on the peer's thread; join() waits for it.
    void run(std::function<void(UdpPeer&)> fn);
    void join();

private:
    int fd_ = -1;
    std::thread thread_;
};

// A parsed REQUEST/CLOSE from the host; false when it is not a packet.
struct Request {
    uint8_t code = 0;
    uint16_t id = 0;
    std::string text;
};
bool parseRequest(const Datagram& d, Request* out);
std::vector<uint8_t> packet(uint8_t code, uint16_t id, const std::string& text);

// A query over TCP: the OK, the reply line and the closing OK.
std::string tcpQueryAnswer(const std::string& reply);

// Milliseconds on a monotonic clock.
int64_t nowMs();

}  // namespace iotest
