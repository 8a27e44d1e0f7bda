#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "sim/fault_plan.h"
#include "sim/fd.h"
#include "sim/packet.h"
#include "sim/sim.h"

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using std::chrono::milliseconds;

constexpr std::size_t kMaxLine = 4096; // a longer command line is cut into pieces
constexpr std::size_t kMaxPtyBacklog = 65536; // replies nobody reads from the pty are dropped beyond this
constexpr std::size_t kMaxSocketBacklog = 1 << 20; // a client that never reads is disconnected beyond this
constexpr int kGpibDefaultReadTimeoutMs = 500;
constexpr const char* kGpibVersion = "imbench-sim Prologix-compatible GPIB-ETHERNET controller version 1.0";

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool makeAddress(const std::string& text, int port, sockaddr_in& out) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET, text.c_str(), &out.sin_addr) == 1;
}

int boundPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return -1;
    return ntohs(a.sin_port);
}

Fd bindSocket(int type, const std::string& address, int port, std::string& error) {
    sockaddr_in a{};
    if (!makeAddress(address, port, a)) {
        error = "bad address " + address;
        return Fd();
    }
    Fd fd(socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) {
        error = errnoText("socket");
        return Fd();
    }
    const int one = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const char* kind = type == SOCK_STREAM ? "tcp" : "udp";
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        error = errnoText(std::string("bind ") + kind + " " + address + ":" + std::to_string(port));
        return Fd();
    }
    if (type == SOCK_STREAM && listen(fd.get(), 16) != 0) {
        error = errnoText("listen " + address + ":" + std::to_string(port));
        return Fd();
    }
    return fd;
}

struct Chunk {
    TimePoint due;
    std::string bytes;
    bool closeAfter = false;
};

// One byte-stream peer: a TCP client, a GPIB adapter client or the pty master.
struct Endpoint {
    Fd fd;
    Link link = Link::Tcp;
    bool socket = true;
    std::deque<Chunk> out;
    std::size_t offset = 0; // bytes of out.front() already written
    std::size_t queued = 0; // bytes of the pieces in out, written or not
    TimePoint lastDue{};
    bool wantWrite = false;
    bool inputClosed = false; // the peer sent its last byte; close once out is empty
    bool dead = false;
    std::string line; // the command line being received
    char lineEnd = 0; // CR or LF when it ended the last line just now: with the other, one line end

    void push(TimePoint now, const std::vector<Piece>& pieces, bool close) {
        TimePoint t = std::max(now, lastDue);
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            t += milliseconds(pieces[i].pauseMs);
            queued += pieces[i].bytes.size();
            out.push_back({t, pieces[i].bytes, close && socket && i + 1 == pieces.size()});
        }
        lastDue = t;
        if (socket && queued > kMaxSocketBacklog) dead = true;
        if (!socket) {
            // nobody reads the serial line: forget the oldest replies, not memory
            // (a piece already begun stays, so no reply is cut in the middle)
            while (queued > kMaxPtyBacklog && out.size() > 1) {
                const auto oldest = offset > 0 ? out.begin() + 1 : out.begin();
                queued -= oldest->bytes.size();
                out.erase(oldest);
            }
        }
    }

    void flush(TimePoint now) {
        if (dead) return;
        while (!out.empty() && out.front().due <= now) {
            Chunk& c = out.front();
            while (offset < c.bytes.size()) {
                const ssize_t n = socket ? ::send(fd.get(), c.bytes.data() + offset, c.bytes.size() - offset, MSG_NOSIGNAL)
                                         : ::write(fd.get(), c.bytes.data() + offset, c.bytes.size() - offset);
                if (n > 0) {
                    offset += static_cast<std::size_t>(n);
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    wantWrite = true;
                    return;
                }
                if (socket) dead = true;
                out.clear();
                queued = offset = 0;
                return;
            }
            const bool close = c.closeAfter;
            queued -= c.bytes.size();
            offset = 0;
            out.pop_front();
            if (close) {
                dead = true;
                return;
            }
        }
        wantWrite = false;
        if (inputClosed && out.empty()) dead = true;
    }

    std::optional<TimePoint> nextDue() const {
        if (out.empty()) return std::nullopt;
        return out.front().due;
    }

    // Drains unread input so the close is a plain FIN, not a reset that could
    // take the bytes already sent with it.
    void closeSocket() {
        if (!fd.valid()) return;
        char scratch[512];
        while (::recv(fd.get(), scratch, sizeof scratch, 0) > 0) {
        }
        ::shutdown(fd.get(), SHUT_WR);
        fd.reset();
    }
};

struct GpibReply {
    GpibPlan plan;
    TimePoint readyAt;
};

struct GpibClient : Endpoint {
    bool escape = false;
    bool firstEscaped = false; // the line began with an escaped byte: data, never "++"
    std::deque<std::pair<std::string, bool>> lines;
    int addr = 0;
    int mode = 1, autoRead = 0, eoi = 1, eos = 0, eotEnable = 0, eotChar = 0;
    int readTimeoutMs = kGpibDefaultReadTimeoutMs;
    std::optional<GpibReply> reply;
    std::optional<TimePoint> readUntil; // a read is waiting for the reply
};

struct ScheduledDatagram {
    TimePoint due;
    bool foreign = false;
    sockaddr_in to{};
    std::string bytes;
};

} // namespace

struct Simulator::Impl {
    Options options;
    Instrument instrument;
    FaultPlan faults;
    std::string error;
    bool running = false;
    bool calibrationLoaded = false; // the state file is read at the first start only

    Fd tcpListen, udp, foreign, gpibListen, wake, ptySlave;
    std::unique_ptr<Endpoint> pty;
    std::string ptyPath;
    bool linkMade = false;
    int tcpPort = 0, udpPort = 0, gpibPort = 0;

    std::vector<std::unique_ptr<Endpoint>> tcpClients;
    std::vector<std::unique_ptr<GpibClient>> gpibClients;
    std::deque<ScheduledDatagram> udpOut;
    TimePoint udpLastDue{};
    std::string lastUdpAnswer;
    std::vector<char> udpBuffer = std::vector<char>(65536);

    std::atomic<int> tcpCount{0}, gpibCount{0};
    std::atomic<bool> stopping{false};
    std::thread thread;

    explicit Impl(Options o)
        : options(std::move(o)), instrument(options),
          faults(options.seed, options.faults) { }

    bool open();
    bool openPty();
    void closeAll();
    void run();

    void acceptAll(int listenFd, bool gpib);
    void readStream(Endpoint& e, TimePoint now);
    void streamLine(Endpoint& e, const std::string& line, TimePoint now);
    void readGpib(GpibClient& g, TimePoint now);
    void gpibLines(GpibClient& g, TimePoint now);
    void gpibAdapterCommand(GpibClient& g, const std::string& command, TimePoint now);
    void gpibData(GpibClient& g, const std::string& data, TimePoint now);
    void gpibStartRead(GpibClient& g, TimePoint now);
    void gpibFinishRead(GpibClient& g, TimePoint now);
    void readUdp(TimePoint now);
    void sendDueDatagrams(TimePoint now);
};

bool Simulator::Impl::open() {
    const Options& o = options;
    if (!isLoopbackAddress(o.address)) {
        error = "refusing to bind " + o.address + ": only loopback addresses (127.0.0.0/8) are allowed";
        return false;
    }
    if (o.udp && (!isLoopbackAddress(o.foreignAddress) || o.foreignAddress == o.address)) {
        error = "the foreign address " + o.foreignAddress + " must be another loopback address than " + o.address;
        return false;
    }
    wake = Fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.valid()) {
        error = errnoText("eventfd");
        return false;
    }
    if (o.tcp) {
        tcpListen = bindSocket(SOCK_STREAM, o.address, o.tcpPort, error);
        if (!tcpListen.valid()) return false;
        tcpPort = boundPort(tcpListen.get());
    }
    if (o.udp) {
        udp = bindSocket(SOCK_DGRAM, o.address, o.udpPort, error);
        if (!udp.valid()) return false;
        udpPort = boundPort(udp.get());
        foreign = bindSocket(SOCK_DGRAM, o.foreignAddress, 0, error);
        if (!foreign.valid()) return false;
    }
    if (o.gpib) {
        gpibListen = bindSocket(SOCK_STREAM, o.address, o.gpibPort, error);
        if (!gpibListen.valid()) return false;
        gpibPort = boundPort(gpibListen.get());
    }
    return !o.pty || openPty();
}

bool Simulator::Impl::openPty() {
    Fd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.valid() || grantpt(master.get()) != 0 || unlockpt(master.get()) != 0) {
        error = errnoText("pseudo-terminal");
        return false;
    }
    char name[128];
    if (ptsname_r(master.get(), name, sizeof name) != 0) {
        error = errnoText("ptsname");
        return false;
    }
    // Holding the slave open keeps the master readable while the host closes
    // and reopens the port; without it the master reports a hang-up.
    ptySlave = Fd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!ptySlave.valid()) {
        error = errnoText(std::string("open ") + name);
        return false;
    }
    termios t{};
    if (tcgetattr(ptySlave.get(), &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(ptySlave.get(), TCSANOW, &t);
    }
    setNonBlocking(master.get());
    pty = std::make_unique<Endpoint>();
    pty->fd = std::move(master);
    pty->link = Link::Pty;
    pty->socket = false;
    ptyPath = name;
    if (!options.ptyLink.empty()) {
        struct stat st { };
        if (lstat(options.ptyLink.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = "refusing to replace " + options.ptyLink + ": not a symbolic link";
                return false;
            }
            ::unlink(options.ptyLink.c_str());
        }
        if (symlink(name, options.ptyLink.c_str()) != 0) {
            error = errnoText("symlink " + options.ptyLink);
            return false;
        }
        linkMade = true;
    }
    return true;
}

void Simulator::Impl::closeAll() {
    for (auto& c : tcpClients) c->closeSocket();
    for (auto& c : gpibClients) c->closeSocket();
    tcpClients.clear();
    gpibClients.clear();
    tcpCount = gpibCount = 0;
    udpOut.clear();
    tcpListen.reset();
    udp.reset();
    foreign.reset();
    gpibListen.reset();
    wake.reset();
    pty.reset();
    ptySlave.reset();
    if (linkMade) {
        char target[256];
        const ssize_t n = readlink(options.ptyLink.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == ptyPath) ::unlink(options.ptyLink.c_str());
        linkMade = false;
    }
}

void Simulator::Impl::acceptAll(int listenFd, bool gpib) {
    for (;;) {
        const int c = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (c < 0) return;
        // each piece of a split reply leaves as its own segment
        const int one = 1;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (gpib) {
            auto g = std::make_unique<GpibClient>();
            g->fd = Fd(c);
            g->link = Link::Gpib;
            g->addr = options.gpibAddress;
            gpibClients.push_back(std::move(g));
        } else {
            auto e = std::make_unique<Endpoint>();
            e->fd = Fd(c);
            e->link = Link::Tcp;
            tcpClients.push_back(std::move(e));
        }
    }
}

// --- TCP and pty: lines ending at CR, LF or NUL; "OK" after every command ---

void Simulator::Impl::readStream(Endpoint& e, TimePoint now) {
    char buf[4096];
    for (;;) {
        const ssize_t n = e.socket ? ::recv(e.fd.get(), buf, sizeof buf, 0) : ::read(e.fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && e.socket) e.dead = true;
            break;
        }
        if (n == 0) {
            if (e.socket) e.inputClosed = true;
            break;
        }
        for (ssize_t i = 0; i < n && !e.dead; ++i) { // once closed mid-reply the rest is lost
            const char ch = buf[i];
            if (ch == '\0') continue;
            if (ch == '\r' || ch == '\n') {
                // CR LF and LF CR are one line end; any other ends a line, an
                // empty one too, which is acknowledged as every command is.
                if (e.lineEnd != 0 && e.lineEnd != ch && e.line.empty()) {
                    e.lineEnd = 0;
                    continue;
                }
                e.lineEnd = ch;
                streamLine(e, std::exchange(e.line, {}), now);
                continue;
            }
            e.lineEnd = 0;
            e.line.push_back(ch);
            if (e.line.size() >= kMaxLine) {
                streamLine(e, std::exchange(e.line, {}), now);
                e.lineEnd = 1; // a line end right after belongs to the line cut here
            }
        }
        if (e.dead) break;
    }
    if (!e.socket) {
        // a terminal program that turned echo on would feed our replies back as commands
        termios t{};
        if (tcgetattr(ptySlave.get(), &t) == 0 && (t.c_lflag & (ECHO | ECHONL))) {
            t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ECHOCTL);
            tcsetattr(ptySlave.get(), TCSANOW, &t);
        }
    }
}

void Simulator::Impl::streamLine(Endpoint& e, const std::string& line, TimePoint now) {
    const Response r = instrument.respond(line, e.link);
    if (faults.silent()) return;
    const StreamPlan plan = faults.stream(r.reply.has_value(), r.reply.value_or(""), r.refused);
    e.push(now, plan.pieces, plan.close);
    e.flush(now);
}

// --- the Prologix-style GPIB adapter ---

void Simulator::Impl::readGpib(GpibClient& g, TimePoint now) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::recv(g.fd.get(), buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) g.dead = true;
            break;
        }
        if (n == 0) {
            g.inputClosed = true;
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char ch = buf[i];
            if (g.escape) {
                // ESC makes the next byte data, even CR, LF, ESC or '+'
                if (g.line.empty()) g.firstEscaped = true;
                g.line.push_back(ch);
                g.escape = false;
            } else if (ch == 27) {
                g.escape = true;
            } else if (ch == '\r' || ch == '\n') {
                if (!g.line.empty()) g.lines.emplace_back(std::exchange(g.line, {}), g.firstEscaped);
                g.firstEscaped = false;
            } else {
                g.line.push_back(ch);
            }
            if (g.line.size() >= kMaxLine) {
                g.lines.emplace_back(std::exchange(g.line, {}), g.firstEscaped);
                g.firstEscaped = false;
            }
        }
    }
    gpibLines(g, now);
}

void Simulator::Impl::gpibLines(GpibClient& g, TimePoint now) {
    // the adapter works one line at a time: a waiting read holds the rest back
    while (!g.lines.empty() && !g.readUntil && !g.dead) {
        auto [text, escaped] = std::move(g.lines.front());
        g.lines.pop_front();
        if (!escaped && text.size() >= 2 && text.compare(0, 2, "++") == 0)
            gpibAdapterCommand(g, text.substr(2), now);
        else
            gpibData(g, text, now);
    }
}

void Simulator::Impl::gpibAdapterCommand(GpibClient& g, const std::string& command, TimePoint now) {
    std::string_view rest = command;
    auto word = [&rest] {
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        std::size_t end = rest.find(' ');
        std::string_view w = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
        return std::string(w);
    };
    const std::string name = word();
    const std::string arg = word();
    auto answer = [&](const std::string& text) { g.push(now, {Piece{0, text + "\r\n"}}, false); };
    // "++name" asks for a value, "++name N" sets it within lo..hi
    auto value = [&](int& field, int lo, int hi) {
        if (arg.empty()) {
            answer(std::to_string(field));
            return;
        }
        char* end = nullptr;
        const long v = std::strtol(arg.c_str(), &end, 10);
        if (end && *end == '\0' && v >= lo && v <= hi) field = static_cast<int>(v);
    };
    if (name == "addr")
        value(g.addr, 0, 30);
    else if (name == "mode")
        value(g.mode, 0, 1);
    else if (name == "auto")
        value(g.autoRead, 0, 1);
    else if (name == "eoi")
        value(g.eoi, 0, 1);
    else if (name == "eos")
        value(g.eos, 0, 3);
    else if (name == "eot_enable")
        value(g.eotEnable, 0, 1);
    else if (name == "eot_char")
        value(g.eotChar, 0, 255);
    else if (name == "read_tmo_ms")
        value(g.readTimeoutMs, 1, 3000);
    else if (name == "read")
        gpibStartRead(g, now);
    else if (name == "ver")
        answer(kGpibVersion);
    else if (name == "clr" || name == "rst")
        g.reply.reset();
    else if (name == "spoll" || name == "srq")
        answer("0");
    // ++loc, ++llo, ++ifc, ++trg, ++savecfg and anything else: nothing to do here
    g.flush(now);
}

void Simulator::Impl::gpibData(GpibClient& g, const std::string& data, TimePoint now) {
    if (g.addr != options.gpibAddress) return; // no listener at that address
    std::string text = data;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    g.reply.reset(); // a new command discards an unread reply
    const auto reply = instrument.execute(text, Link::Gpib);
    if (!reply || faults.silent()) return;
    GpibPlan plan = faults.gpib(*reply, "\n");
    const TimePoint readyAt = now + milliseconds(plan.delayMs);
    g.reply = GpibReply{std::move(plan), readyAt};
    if (g.autoRead) gpibStartRead(g, now);
}

void Simulator::Impl::gpibStartRead(GpibClient& g, TimePoint now) {
    TimePoint until = now + milliseconds(g.readTimeoutMs);
    if (g.reply && g.addr == options.gpibAddress) until = std::min(until, g.reply->readyAt);
    g.readUntil = until;
    if (until <= now) gpibFinishRead(g, now);
}

void Simulator::Impl::gpibFinishRead(GpibClient& g, TimePoint now) {
    g.readUntil.reset();
    if (g.reply && g.addr == options.gpibAddress && g.reply->readyAt <= now) {
        const GpibPlan plan = std::move(g.reply->plan);
        g.reply.reset();
        std::string bytes = plan.text;
        if (g.eotEnable) bytes.push_back(static_cast<char>(g.eotChar));
        std::vector<std::pair<std::size_t, int>> breaks;
        if (plan.splitAt > 0) breaks.emplace_back(plan.splitAt, plan.splitGapMs);
        if (plan.close) bytes.resize(std::min(plan.closeAt, bytes.size()));
        g.push(now, cutPieces(bytes, std::move(breaks)), plan.close);
        g.flush(now);
    }
    // nothing ready: the read times out with nothing sent, as the adapter does
    gpibLines(g, now);
}

// --- UDP: REQUEST -> CONFIRM (+ REPLY for a query) ---

void Simulator::Impl::readUdp(TimePoint now) {
    std::vector<char>& buf = udpBuffer;
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = ::recvfrom(udp.get(), buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return;
        const auto p = packet::parse(buf.data(), static_cast<std::size_t>(n));
        if (!p || p->marker != packet::kMarker) continue; // not ours: ignored
        if (p->code == packet::kClose) {
            instrument.record({Link::Udp, std::string(p->text), true, p->id, packet::kClose});
            continue;
        }
        if (p->code != packet::kRequest) continue;
        if (faults.loseRequest()) continue;
        const Response r = instrument.respond(p->text, Link::Udp, p->id);
        if (faults.silent() || r.refused) continue; // a refused command is not confirmed
        UdpPlan plan = faults.udp(p->id, r.reply.has_value(), r.reply.value_or(""), lastUdpAnswer);
        lastUdpAnswer = std::move(plan.last);
        TimePoint t = std::max(now, udpLastDue);
        for (Datagram& d : plan.datagrams) {
            t += milliseconds(d.pauseMs);
            udpOut.push_back({t, d.foreign, from, std::move(d.bytes)});
        }
        udpLastDue = t;
        sendDueDatagrams(now);
    }
}

void Simulator::Impl::sendDueDatagrams(TimePoint now) {
    while (!udpOut.empty() && udpOut.front().due <= now) {
        const ScheduledDatagram& d = udpOut.front();
        const int fd = d.foreign ? foreign.get() : udp.get();
        ::sendto(fd, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&d.to), sizeof d.to);
        udpOut.pop_front();
    }
}

// --- the loop ---

void Simulator::Impl::run() {
    std::vector<pollfd> fds;
    std::vector<Endpoint*> owners; // the endpoint behind each entry of fds, or nullptr
    while (!stopping.load()) {
        instrument.tick();
        TimePoint now = Clock::now();
        std::optional<TimePoint> next;
        auto consider = [&next](std::optional<TimePoint> t) {
            if (t && (!next || *t < *next)) next = t;
        };

        for (auto& g : gpibClients)
            if (g->readUntil && *g->readUntil <= now) gpibFinishRead(*g, now);
        if (pty) pty->flush(now);
        for (auto& c : tcpClients) c->flush(now);
        for (auto& g : gpibClients) g->flush(now);
        sendDueDatagrams(now);
        for (auto& c : tcpClients)
            if (c->dead) c->closeSocket();
        std::erase_if(tcpClients, [](const auto& c) { return c->dead; });
        for (auto& g : gpibClients)
            if (g->dead) g->closeSocket();
        std::erase_if(gpibClients, [](const auto& g) { return g->dead; });
        tcpCount = static_cast<int>(tcpClients.size());
        gpibCount = static_cast<int>(gpibClients.size());

        fds.clear();
        owners.clear();
        auto watch = [&](int fd, short events, Endpoint* owner) {
            fds.push_back({fd, events, 0});
            owners.push_back(owner);
        };
        watch(wake.get(), POLLIN, nullptr);
        if (tcpListen.valid()) watch(tcpListen.get(), POLLIN, nullptr);
        if (gpibListen.valid()) watch(gpibListen.get(), POLLIN, nullptr);
        if (udp.valid()) watch(udp.get(), POLLIN, nullptr);
        auto watchEndpoint = [&](Endpoint& e) {
            short events = e.inputClosed ? 0 : POLLIN;
            if (e.wantWrite)
                events |= POLLOUT;
            else
                consider(e.nextDue());
            watch(e.fd.get(), events, &e);
        };
        if (pty) watchEndpoint(*pty);
        for (auto& c : tcpClients) watchEndpoint(*c);
        for (auto& g : gpibClients) {
            watchEndpoint(*g);
            consider(g->readUntil);
        }
        if (!udpOut.empty()) consider(udpOut.front().due);

        int timeout = 1000;
        if (next) {
            const auto ms = std::chrono::ceil<milliseconds>(*next - now).count();
            timeout = static_cast<int>(std::clamp<long long>(ms, 0, 1000));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
        now = Clock::now();

        for (std::size_t i = 0; i < fds.size(); ++i) {
            const short rev = fds[i].revents;
            if (!rev) continue;
            const int fd = fds[i].fd;
            Endpoint* e = owners[i];
            if (!e) {
                if (fd == wake.get()) {
                    uint64_t v;
                    while (::read(fd, &v, sizeof v) > 0) {
                    }
                } else if (fd == tcpListen.get()) {
                    acceptAll(fd, false);
                    tcpCount = static_cast<int>(tcpClients.size());
                } else if (fd == gpibListen.get()) {
                    acceptAll(fd, true);
                    gpibCount = static_cast<int>(gpibClients.size());
                } else if (fd == udp.get()) {
                    readUdp(now);
                }
                continue;
            }
            if (rev & POLLOUT) e->flush(now);
            if (rev & (POLLIN | POLLHUP | POLLERR)) {
                if (e->link == Link::Gpib)
                    readGpib(static_cast<GpibClient&>(*e), now);
                else
                    readStream(*e, now);
            }
        }
    }
}

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>(std::move(options))) { }

Simulator::~Simulator() { stop(); }

bool Simulator::start() {
    Impl& m = *impl_;
    if (m.running) {
        m.error = "already running";
        return false;
    }
    m.error.clear();
    if (!m.calibrationLoaded) {
        if (!m.instrument.loadCalibrationState(&m.error)) return false;
        m.calibrationLoaded = true;
    }
    m.tcpPort = m.udpPort = m.gpibPort = 0;
    m.ptyPath.clear();
    if (!m.open()) {
        m.closeAll();
        return false;
    }
    m.stopping = false;
    m.thread = std::thread([&m] { m.run(); });
    m.running = true;
    return true;
}

void Simulator::stop() {
    Impl& m = *impl_;
    if (!m.running) return;
    m.stopping = true;
    const uint64_t one = 1;
    if (::write(m.wake.get(), &one, sizeof one) < 0) {
        // the loop also wakes by itself within a second
    }
    m.thread.join();
    m.closeAll();
    m.running = false;
}

bool Simulator::running() const { return impl_->running; }
const std::string& Simulator::error() const { return impl_->error; }
const Options& Simulator::options() const { return impl_->options; }
std::string Simulator::ptyPath() const { return impl_->ptyPath; }
int Simulator::tcpPort() const { return impl_->tcpPort; }
int Simulator::udpPort() const { return impl_->udpPort; }
int Simulator::gpibPort() const { return impl_->gpibPort; }
int Simulator::connectionCount(Link link) const {
    if (link == Link::Tcp) return impl_->tcpCount.load();
    if (link == Link::Gpib) return impl_->gpibCount.load();
    return 0;
}
std::vector<std::string> Simulator::commandLog() const { return impl_->instrument.commandLog(); }
std::vector<LogEntry> Simulator::commandRecords() const { return impl_->instrument.commandRecords(); }
void Simulator::clearLog() { impl_->instrument.clearLog(); }
void Simulator::setFaults(const Faults& faults) {
    impl_->faults.set(faults);
    impl_->instrument.setFaults(faults);
}
Faults Simulator::faults() const { return impl_->faults.get(); }
Instrument& Simulator::instrument() { return impl_->instrument; }

} // namespace sim
