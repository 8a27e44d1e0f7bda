// Scripted peers for what the simulator cannot script (a particular wrong
// answer at a particular moment) on loopback, the transport's messages, and
// a port map of the test's own.
#pragma once

#include "link/io.h"
#include "tests/support/files.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace tsupport {

struct Message {
    int level;
    std::string text;
    bool operator==(const Message&) const = default;
};
void PrintTo(const Message& m, std::ostream* os);

// Records the transport's messages while it lives.
class MessageLog {
public:
    MessageLog();
    ~MessageLog();
    std::vector<Message> all() const;
    std::vector<std::string> errors() const; // the texts of level 1
};

void closeAllLinks();
// A query's answer on a line link: the OK, the reply line and the closing OK.
std::string tcpQueryAnswer(const std::string& reply);

class Gate {
public:
    void open();
    bool wait(int ms = 10000); // false when it was not opened in time

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

// A scripted TCP peer listening on a loopback address of its own.
class StreamPeer {
public:
    static std::unique_ptr<StreamPeer> tcp(int port = IO_PORT);
    ~StreamPeer();
    bool listening() const { return listen_ >= 0; }
    const std::string& address() const { return address_; }
    // Steps, run in order on the peer's thread by start().
    StreamPeer& accept() { return add('a', ""); } // the next connection
    StreamPeer& expect(std::string bytes) { return add('e', bytes); } // exactly these must come next
    StreamPeer& send(std::string bytes) { return add('s', bytes); }
    StreamPeer& waitFor(Gate& gate) { return add('w', "", &gate); }
    StreamPeer& signal(Gate& gate) { return add('g', "", &gate); }
    StreamPeer& close() { return add('c', ""); } // closes the connection
    void start();
    // Then the host must close without sending more: empty when everything
    // went as scripted, else what went wrong.
    std::string finish(int eofWaitMs = 5000);

private:
    struct Step {
        char kind;
        std::string bytes;
        Gate* gate;
    };
    StreamPeer() = default;
    StreamPeer& add(char kind, std::string bytes, Gate* gate = nullptr);
    void run();

    int listen_ = -1, io_ = -1;
    std::string address_, failure_;
    std::vector<Step> steps_;
    std::thread thread_;
};

// UDP packets built and read byte by byte, independently of the transport's code.
std::string udpPacket(int code, int id, const std::string& text);
struct Packet {
    int code = 0, id = -1; // code 0: no packet
    std::string text;
};
Packet udpParse(const std::string& bytes);

struct Datagram {
    std::string bytes;
    uint32_t from = 0; // network order
    uint16_t fromPort = 0; // host order
};

class UdpPeer {
public:
    // On port of address (shared with other peers), or of a loopback address of its own.
    explicit UdpPeer(std::string address = {}, int port = IO_PORT);
    ~UdpPeer();
    bool bound() const { return fd_ >= 0; }
    const std::string& address() const { return address_; }
    Packet receive(Datagram* out, int ms = 10000); // what came, parsed
    void reply(const Datagram& to, const std::string& bytes); // to the sender of `to`
    bool quiet(int ms); // nothing came within ms

private:
    int fd_ = -1;
    std::string address_;
};

// IMBENCH_PORTS names an empty file of the test's own while this lives.
class IsolatedPortMap {
public:
    IsolatedPortMap();
    ~IsolatedPortMap();
    const TempDir& dir() const { return dir_; }
    std::string file() const { return dir_.file("ports.cfg"); }

private:
    TempDir dir_;
    ScopedEnv env_;
};

} // namespace tsupport
