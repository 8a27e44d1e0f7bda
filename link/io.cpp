// The transport: a table of 64 links whose index is the handle; GPIB, COM and
// TCP framing, the "OK" acknowledgement lines, time-outs and the message hook.
// The UDP exchange is in io_udp.cpp, the line reader in io_frame.cpp.
#include "link/io.h"

#include "link/io_private.h"
#include "platform/gpib.h"
#include "platform/rs232.h"
#include "ui/toolkit.h"
#include "util/timer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace io_detail;

namespace {

constexpr int TCP_CONNECT_MS = 2000;
constexpr int TCP_CONNECT_SLICE_MS = 10; // events keep flowing while the connect waits
constexpr int COM_LINE_END_MS = 100; // a byte time-out ends a COM line after this
constexpr int COM_DRAIN_MS = 100;
constexpr int COM_QUEUE = 512;
constexpr int MAX_ADDRESS_TEXT = 255;
constexpr int GPIB_OPEN_TMO = T1s;
constexpr int UDP_TIMEOUT_MS = 200;
constexpr int STREAM_TIMEOUT_MS = 3000;
// A stream link is quiet again when nothing has come for this long: longer
// than the pauses inside one answer, so the rest of a late answer is caught.
constexpr int32_t STREAM_QUIET_MS = 150;
// A reply much slower than the link's usual ones may be a late answer to an
// earlier command that came just before this command's own: such a reply is
// taken only when nothing follows it for a moment.
constexpr double SLOW_REPLY_FLOOR_US = 2000.0;
constexpr double SLOW_REPLY_FACTOR = 4.0;
constexpr int FOLLOWER_WAIT_US = 2000;

using SteadyClock = std::chrono::steady_clock;

int g_socket_users = 0;
io_hook_fn g_hook = nullptr;

struct Slot {
    io_link link{};
    bool opening = false; // taken by an open still in progress (events run during a connect)
    // Stream links: an exchange failed, or stray bytes came, so the rest of an
    // earlier answer may still be on its way; the next write first waits for
    // the line to be quiet.
    bool unsettled = false;
    SteadyClock::time_point sent{}; // when the last command line went out
    // The instrument's answer to "*IDN?" once seen on this link: the known
    // answer that puts the link back in step after a failure.
    std::string identity;
    bool asked_identity = false; // the last command was "*IDN?"
    int owed_identities = 0; // "*IDN?" answers that may still come
    double usual_us = 0.0; // running mean time from command to its reply's "OK"
    SocketLease lease; // declared before the socket: the socket closes first
    Socket socket;

    Slot() { release(); }

    void release()
    {
        socket.reset();
        lease.release();
        link.kind = -1;
        link.dev = -1;
        link.peer = PEER_UNSET;
        link.rx_pos = 0;
        link.rx_len = 0;
        opening = false;
        unsettled = false;
        usual_us = 0.0;
        identity.clear();
        asked_identity = false;
        owed_identities = 0;
    }
};

Slot g_slots[IO_MAX_LINKS];

Slot* open_slot(int handle)
{
    if (handle < 0 || handle >= IO_MAX_LINKS)
        return nullptr;
    Slot& s = g_slots[handle];
    return s.link.kind < 0 ? nullptr : &s;
}

bool is_udp(int kind)
{
    return kind == IO_UDP || kind == IO_UDP_BROADCAST;
}

bool would_block(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

void pump_events()
{
    ProcessSystemEvents();
}

// ---- byte sources of the line reader --------------------------------------------

class ComSource final : public ByteSource {
public:
    explicit ComSource(int port) : port_(port) { }

    int next(uint8_t* byte, int32_t) override
    {
        const int c = ComRdByte(port_);
        if (c >= 0) {
            *byte = static_cast<uint8_t>(c);
            return SRC_BYTE;
        }
        const int err = ReturnRS232Err();
        if (err == RS232_ERR_TIMEOUT)
            return SRC_NONE;
        return err < 0 ? err : IO_ERR;
    }

    bool pending() override
    {
        while (GetInQLen(port_) > 0) {
            const int c = ComRdByte(port_);
            if (c < 0)
                return false;
            if (c != '\r' && c != '\n' && c != '\0')
                return true;
        }
        return false;
    }

private:
    int port_;
};

class TcpSource final : public ByteSource {
public:
    explicit TcpSource(io_link& link) : link_(link) { }

    int next(uint8_t* byte, int32_t deadline) override
    {
        if (link_.rx_pos < link_.rx_len) {
            *byte = static_cast<uint8_t>(link_.rx_buf[link_.rx_pos++]);
            return SRC_BYTE;
        }
        link_.rx_pos = 0;
        link_.rx_len = 0;
        const ssize_t n = recv(link_.dev, link_.rx_buf, sizeof link_.rx_buf, 0);
        if (n > 0) {
            link_.rx_len = static_cast<int32_t>(n);
            *byte = static_cast<uint8_t>(link_.rx_buf[link_.rx_pos++]);
            return SRC_BYTE;
        }
        // A closed peer sends nothing more: end the line instead of waiting for it.
        if (n == 0)
            return SRC_END;
        if (!would_block(errno))
            return IO_ERR;
        wait_readable(link_.dev, deadline);
        return SRC_NONE;
    }

    bool pending() override
    {
        for (;;) {
            while (link_.rx_pos < link_.rx_len) {
                const char c = link_.rx_buf[link_.rx_pos];
                if (c != '\r' && c != '\n' && c != '\0')
                    return true;
                ++link_.rx_pos;
            }
            const ssize_t n = recv(link_.dev, link_.rx_buf, sizeof link_.rx_buf, MSG_DONTWAIT);
            if (n <= 0)
                return false;
            link_.rx_pos = 0;
            link_.rx_len = static_cast<int32_t>(n);
        }
    }

private:
    io_link& link_;
};

LinePolicy stream_policy(const Slot& s)
{
    if (s.link.kind == IO_COM)
        return LinePolicy{COM_LINE_END_MS, false, pump_events};
    return LinePolicy{wait_ms(s.link), true, nullptr};
}

// Runs fn with the byte source of a COM or TCP link.
template <typename Fn>
int with_stream(Slot& s, Fn fn)
{
    if (s.link.kind == IO_COM) {
        ComSource src(s.link.dev);
        return fn(static_cast<ByteSource&>(src));
    }
    TcpSource src(s.link);
    return fn(static_cast<ByteSource&>(src));
}

// Every command line is answered by a line with "OK".
int io_check_ok(Slot& s)
{
    const int result = with_stream(s, [&](ByteSource& src) { return read_ack(src, stream_policy(s)); });
    if (result < 0)
        dbg(1, "Command OK Expected");
    return result;
}

// Whether more than line ends arrives on a stream link within FOLLOWER_WAIT_US.
bool stream_follower_arrives(Slot& s)
{
    const auto until = SteadyClock::now() + std::chrono::microseconds(FOLLOWER_WAIT_US);
    for (;;) {
        if (with_stream(s, [](ByteSource& src) { return src.pending() ? 1 : 0; }) != 0)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(until - SteadyClock::now());
        if (left.count() <= 0)
            return false;
        if (s.link.kind == IO_TCP) {
            pollfd p{s.link.dev, POLLIN, 0};
            poll(&p, 1, static_cast<int>((left.count() + 999) / 1000));
        } else {
            usleep(static_cast<useconds_t>(std::min<long>(left.count(), 200)));
        }
    }
}

// A query's reply line, its "OK" and nothing behind it.
int io_read_reply(Slot& s, char* buf, int size)
{
    int result = with_stream(s, [&](ByteSource& src) { return read_reply(src, buf, size, stream_policy(s)); });
    if (result >= 0) {
        const double us = std::chrono::duration<double, std::micro>(SteadyClock::now() - s.sent).count();
        if (us > std::max(SLOW_REPLY_FLOOR_US, SLOW_REPLY_FACTOR * s.usual_us) && stream_follower_arrives(s)) {
            buf[0] = '\0';
            result = REPLY_TRAILING;
        } else {
            s.usual_us = s.usual_us == 0.0 ? us : 0.875 * s.usual_us + 0.125 * us;
        }
    }
    if (result == IO_ERR_NO_OK)
        dbg(1, "Query OK Expected");
    else if (result == LINE_TIMEOUT)
        dbg(1, "Reply line did not end in time");
    else if (result == LINE_CLOSED)
        dbg(1, "Reply line cut off: the link closed");
    else if (result == REPLY_IS_ACK)
        dbg(1, "Reply line is an OK line: the answers are out of step");
    else if (result == REPLY_TRAILING)
        dbg(1, "More came after the reply's OK: an earlier answer is still arriving");
    return result;
}

// Sends all of data on the non-blocking socket; the send result (below 1) on failure.
int tcp_send_all(const io_link& link, const char* data, std::size_t len)
{
    int32_t deadline = 0;
    bool waiting = false;
    while (len > 0) {
        const ssize_t n = send(link.dev, data, len, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            len -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && would_block(errno)) {
            if (!waiting) {
                deadline = timer_deadline(wait_ms(link));
                waiting = true;
            }
            if (timer_timeout(deadline))
                return IO_ERR;
            const uint32_t left = static_cast<uint32_t>(deadline) - static_cast<uint32_t>(timer_get_tick());
            pollfd p{link.dev, POLLOUT, 0};
            poll(&p, 1, static_cast<int>(std::min<uint32_t>(left, INT_MAX)));
            continue;
        }
        return n < 0 ? static_cast<int>(n) : IO_ERR;
    }
    return 1;
}

// The command with a carriage return, then its acknowledgement.
// The command with a carriage return; 0 or the send's negative result.
int stream_send(Slot& s, const char* text)
{
    const std::size_t len = std::strlen(text);
    // A longer command would be cut; send nothing rather than half a command.
    if (len > static_cast<std::size_t>(MAX_LINE_COMMAND))
        return IO_ERR;
    char line[LINE_BUF_SIZE];
    std::memcpy(line, text, len);
    line[len] = '\r';
    const int line_len = static_cast<int>(len) + 1;
    s.sent = SteadyClock::now();

    if (s.link.kind == IO_COM) {
        ComWrt(s.link.dev, line, line_len);
        const int err = ReturnRS232Err();
        if (err != 0) {
            dbg(1, "COM command send fail=%d", err);
            return err;
        }
        const int32_t deadline = timer_deadline(COM_DRAIN_MS);
        while (GetOutQLen(s.link.dev) > 0 && !timer_timeout(deadline))
            ProcessSystemEvents();
    } else {
        const int sent = tcp_send_all(s.link, line, static_cast<std::size_t>(line_len));
        if (sent < 1) {
            dbg(1, "TCP command send fail=%d", sent);
            return sent;
        }
    }
    return 0;
}

// The command, then its acknowledgement.
int io_send_line(Slot& s, const char* text)
{
    const int sent = stream_send(s, text);
    return sent < 0 ? sent : io_check_ok(s);
}

void tcp_flush_in(io_link& link)
{
    link.rx_pos = 0;
    link.rx_len = 0;
    char scratch[IO_RX_BUF_SIZE];
    while (recv(link.dev, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
}

void io_flush_in(Slot& s)
{
    switch (s.link.kind) {
    case IO_COM:
        FlushInQ(s.link.dev);
        break;
    case IO_TCP:
        tcp_flush_in(s.link);
        break;
    case IO_UDP:
    case IO_UDP_BROADCAST:
        io_udp_flush_in(s.link);
        break;
    default:
        break;
    }
}

// Something other than line ends waiting on a COM or TCP link (consumed).
bool stream_has_stray_bytes(Slot& s)
{
    return with_stream(s, [](ByteSource& src) { return src.pending() ? 1 : 0; }) != 0;
}

// Whether bytes have arrived and not been read on a COM or TCP link.
bool stream_bytes_waiting(Slot& s)
{
    if (s.link.kind == IO_COM)
        return GetInQLen(s.link.dev) > 0;
    pollfd p{s.link.dev, POLLIN, 0};
    return s.link.rx_pos < s.link.rx_len || poll(&p, 1, 0) > 0;
}

// Waits until nothing has come for quiet_ms, discarding what comes, for at
// most quiet_ms plus the link time-out; true when nothing came at all.
bool stream_wait_quiet(Slot& s, int32_t quiet_ms)
{
    const int32_t limit = timer_deadline(quiet_ms + wait_ms(s.link));
    bool silent = true;
    for (;;) {
        silent = silent && !stream_bytes_waiting(s);
        io_flush_in(s);
        if (timer_timeout(limit))
            return false;
        const int32_t until = timer_deadline(quiet_ms);
        bool quiet = true;
        while (quiet && !timer_timeout(until)) {
            if (s.link.kind == IO_COM)
                ProcessSystemEvents();
            else
                wait_readable(s.link.dev, until);
            quiet = !stream_bytes_waiting(s);
        }
        if (quiet)
            return silent;
        silent = false;
    }
}

// Puts a stream link back in step after a failure: asks "*IDN?" and reads
// every line up to the known answer of every "*IDN?" still owed, this one's
// last; what comes before belongs to earlier commands, since the instrument
// answers in order.  True when this answer came and nothing followed it.
bool stream_resync(Slot& s)
{
    dbg(0, "\nresync: *IDN?");
    if (stream_send(s, "*IDN?") < 0)
        return false;
    ++s.owed_identities;
    const LinePolicy policy = stream_policy(s);
    return with_stream(s, [&](ByteSource& src) {
        char line[LINE_BUF_SIZE];
        bool known = false;
        // Every earlier answer may still come: at most a few lines each.
        for (int lines = 0; lines < 16 * (s.owed_identities + 4); ++lines) {
            const int got = read_line(src, line, sizeof line, policy);
            if (got < 0 && got != IO_ERR_LINE_TOO_LONG)
                return 0;
            if (known && got > 0 && std::strstr(line, "OK") != nullptr && --s.owed_identities == 0)
                return src.pending() ? 0 : 1;
            known = got > 0 && s.identity == line;
        }
        return 0;
    }) != 0;
}

// Before a command goes out on a stream link: nothing of an earlier answer may
// be taken for this one's.  Line ends left of the last answer are normal;
// anything else, or a failed exchange before, means answers may still be on
// their way: the line must fall quiet and, once the instrument's identity is
// known, answer "*IDN?" in step.  False when the link could not be put in
// step (the command is then not sent).
bool stream_settle(Slot& s)
{
    if (stream_has_stray_bytes(s))
        s.unsettled = true;
    if (!s.unsettled) {
        io_flush_in(s);
        return true;
    }
    dbg(0, "\nWaiting for the line to be quiet");
    // Identities still owed that did not come while the line kept silent this
    // long are lost; the next resync waits only for its own.
    const int32_t quiet = s.owed_identities > 0 ? 2 * std::min(wait_ms(s.link), STREAM_TIMEOUT_MS) : STREAM_QUIET_MS;
    if (stream_wait_quiet(s, quiet))
        s.owed_identities = 0;
    if (!s.identity.empty() && !stream_resync(s)) {
        dbg(1, "The instrument did not answer in step: its answers may be out of order");
        io_flush_in(s);
        return false;
    }
    s.unsettled = false;
    return true;
}

// After a failure: a late answer must not be taken for the next one.
void discard_after_failure(Slot& s)
{
    if (is_udp(s.link.kind)) {
        io_udp_settle(s.link);
        return;
    }
    io_flush_in(s);
    if (s.link.kind == IO_COM || s.link.kind == IO_TCP) {
        s.unsettled = true;
        // An identity asked for may still come, and must not be taken for a resync's.
        s.owed_identities += s.asked_identity ? 1 : 0;
    }
}

void io_flush_out(Slot& s)
{
    if (s.link.kind == IO_COM)
        FlushOutQ(s.link.dev);
}

// ---- opening --------------------------------------------------------------------

bool io_gpib_open(Slot& s, const int* address)
{
    if (address == nullptr || *address < 0) {
        dbg(1, "\n\nInput the GPIB address number of VTX (1..31):");
        return false;
    }
    const int ud = ibdev(0, *address, 0, GPIB_OPEN_TMO, 1, 0);
    if ((ibsta & GPIB_ERR) != 0 || ud < 0)
        return false;
    s.link.dev = ud;
    return true;
}

bool io_com_open(Slot& s, const int* address, int baud)
{
    if (address == nullptr || *address < 1) {
        dbg(1, "\n\nInput the COM port number which connect to VTX (1..255):");
        return false;
    }
    const int port = *address;
    char name[32];
    std::snprintf(name, sizeof name, "COM%u", static_cast<unsigned>(port));
    const int err = OpenComConfig(port, name, baud, 0, 8, 1, COM_QUEUE, COM_QUEUE);
    if (err != 0) {
        dbg(1, "%s open error err=%d\n", name, err);
        return false;
    }
    SetXMode(port, 0);
    SetCTSMode(port, 0);
    SetComTime(port, 1.0);
    s.link.dev = port;
    return true;
}

// Dotted IPv4 text to an address in network order; false for a missing, too
// long or unreadable text (which would otherwise read as the broadcast address).
bool parse_address(const char* text, uint32_t* out)
{
    if (text == nullptr || strnlen(text, MAX_ADDRESS_TEXT + 1) > static_cast<std::size_t>(MAX_ADDRESS_TEXT))
        return false;
    in_addr a{};
    if (inet_aton(text, &a) == 0)
        return false;
    *out = a.s_addr;
    return true;
}

// Waits for a non-blocking connect in short slices so events keep running;
// true once the socket reports the connection made without error.
bool wait_connected(int fd)
{
    const int32_t deadline = timer_deadline(TCP_CONNECT_MS);
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, TCP_CONNECT_SLICE_MS);
        if (ready > 0) {
            int err = 0;
            socklen_t len = sizeof err;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                return false;
            // A refused or unreachable peer is no connection.
            return err == 0;
        }
        if (ready < 0 && errno != EINTR)
            return false;
        if (timer_timeout(deadline))
            return false;
        ProcessSystemEvents();
    }
}

bool io_tcp_open(Slot& s, const char* address)
{
    uint32_t peer = 0;
    if (!parse_address(address, &peer)) {
        dbg(1, "\nInput The IP address error ");
        return false;
    }
    SocketLease lease;
    if (!lease.acquire())
        return false;
    Socket sock(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!sock)
        return false;
    const int on = 1;
    setsockopt(sock.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(IO_PORT);
    to.sin_addr.s_addr = peer;
    bool up = false;
    if (connect(sock.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
        up = true;
    else if (errno == EINPROGRESS)
        up = wait_connected(sock.get());
    if (!up)
        return false;

    s.link.dev = sock.get();
    s.link.peer = peer;
    s.socket = std::move(sock);
    s.lease = std::move(lease);
    return true;
}

bool io_udp_open_link(Slot& s, const char* address)
{
    uint32_t peer = 0;
    if (!parse_address(address, &peer)) {
        dbg(1, "\nInput The IP address error ");
        return false;
    }
    Socket sock;
    SocketLease lease;
    if (io_udp_open(sock, lease) < 0)
        return false;
    s.link.dev = sock.get();
    s.link.peer = peer;
    // The C library's generator is never seeded: every run starts from the same id.
    s.link.req_id = static_cast<uint16_t>(std::rand() & 0xFFFF);
    s.socket = std::move(sock);
    s.lease = std::move(lease);
    return true;
}

template <typename OpenFn>
int open_link(int kind, OpenFn open)
{
    if (kind < IO_GPIB || kind > IO_UDP_BROADCAST)
        return IO_ERR;
    int handle = -1;
    for (int i = 0; i < IO_MAX_LINKS; ++i) {
        if (g_slots[i].link.kind < 0 && !g_slots[i].opening) {
            handle = i;
            break;
        }
    }
    if (handle < 0)
        return IO_ERR;
    Slot& s = g_slots[handle];
    s.opening = true;
    s.link.rx_pos = 0;
    s.link.rx_len = 0;
    if (!open(s)) {
        s.release();
        return IO_ERR;
    }
    s.opening = false;
    s.link.kind = kind;
    s.link.timeout = is_udp(kind) ? UDP_TIMEOUT_MS : STREAM_TIMEOUT_MS;
    return handle;
}

} // namespace

// ---- shared pieces ------------------------------------------------------------------

namespace io_detail {

// Sockets need no start on this platform; the count is kept so a leaked
// link shows in the tests.
bool SocketLease::acquire()
{
    if (held_)
        return true;
    ++g_socket_users;
    held_ = true;
    return true;
}

void SocketLease::release()
{
    if (!held_)
        return;
    held_ = false;
    --g_socket_users;
}

void wait_readable(int fd, int32_t deadline)
{
    const int32_t left = static_cast<int32_t>(static_cast<uint32_t>(deadline) - static_cast<uint32_t>(timer_get_tick()));
    if (left <= 0)
        return;
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, left);
}

int32_t wait_ms(const io_link& link)
{
    return link.timeout < 0 ? INT32_MAX : link.timeout;
}

void dbg(int level, const char* format, ...)
{
    if (g_hook == nullptr)
        return;
    char text[LINE_BUF_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_hook(level, "%s", text);
}

} // namespace io_detail

// ---- the interface ------------------------------------------------------------------

int io_open(int kind, const int* address, int baud)
{
    if (kind == IO_GPIB)
        return open_link(kind, [&](Slot& s) { return io_gpib_open(s, address); });
    if (kind == IO_COM)
        return open_link(kind, [&](Slot& s) { return io_com_open(s, address, baud); });
    return IO_ERR;
}

int io_open(int kind, const char* address, int)
{
    if (kind == IO_TCP)
        return open_link(kind, [&](Slot& s) { return io_tcp_open(s, address); });
    if (is_udp(kind))
        return open_link(kind, [&](Slot& s) { return io_udp_open_link(s, address); });
    return IO_ERR;
}

void io_close(int handle)
{
    Slot* s = open_slot(handle);
    if (s == nullptr)
        return;
    switch (s->link.kind) {
    case IO_GPIB:
        ibloc(s->link.dev);
        ibonl(s->link.dev, 0);
        break;
    case IO_COM:
        CloseCom(s->link.dev);
        break;
    case IO_UDP:
    case IO_UDP_BROADCAST:
        io_udp_close_notice(s->link);
        [[fallthrough]];
    case IO_TCP:
        shutdown(s->link.dev, SHUT_RD);
        break;
    default:
        break;
    }
    s->release();
}

int io_write(int handle, const char* text)
{
    Slot* s = open_slot(handle);
    if (s == nullptr || text == nullptr)
        return IO_ERR;
    int result = IO_ERR;
    switch (s->link.kind) {
    case IO_GPIB: {
        const int status = ibwrt(s->link.dev, text, static_cast<long>(std::strlen(text)));
        if ((status & GPIB_ERR) != 0) {
            dbg(1, "GPIB err=%x", static_cast<unsigned>(status));
            result = IO_ERR;
        } else {
            result = 0;
        }
        break;
    }
    case IO_COM:
    case IO_TCP:
        s->asked_identity = false;
        if (stream_settle(*s)) {
            s->asked_identity = std::strcmp(text, "*IDN?") == 0;
            result = io_send_line(*s, text);
        }
        break;
    case IO_UDP:
    case IO_UDP_BROADCAST:
        io_udp_flush_in(s->link);
        result = io_udp_request(s->link, text);
        break;
    default:
        break;
    }
    if (result == 0) {
        dbg(0, "\niowrite:%s", text);
        return 0;
    }
    dbg(1, "io_write:(%d) %s", result, text);
    discard_after_failure(*s);
    return result;
}

int io_read(int handle, char* buffer, int size)
{
    Slot* s = open_slot(handle);
    if (s == nullptr)
        return IO_ERR;
    int result = IO_ERR;
    if (buffer != nullptr && size >= 1) {
        buffer[0] = '\0';
        switch (s->link.kind) {
        case IO_GPIB: {
            const int status = ibrd(s->link.dev, buffer, size - 1);
            const long n = std::clamp<long>(ibcntl, 0, size - 1);
            buffer[n] = '\0';
            result = (status & GPIB_ERR) != 0 ? IO_ERR : 0;
            // Without END the reply did not fit: a cut reply is no reply.
            if (result == 0 && (status & GPIB_END) == 0) {
                dbg(1, "GPIB reply longer than %d characters", size - 1);
                result = IO_ERR_LINE_TOO_LONG;
            }
            break;
        }
        case IO_COM:
        case IO_TCP:
            result = io_read_reply(*s, buffer, size);
            // The identity, once read in step, is what a later resync expects.
            if (result >= 0 && s->asked_identity && s->identity.empty())
                s->identity = buffer;
            break;
        case IO_UDP:
        case IO_UDP_BROADCAST:
            result = io_udp_read(s->link, buffer, size);
            break;
        default:
            break;
        }
    }
    if (result < 0) {
        dbg(1, "io_read:(%d)", result);
        // A failed read hands back no text, not half a reply.
        if (buffer != nullptr && size >= 1)
            buffer[0] = '\0';
        discard_after_failure(*s);
        return IO_ERR;
    }
    strip_line_end(buffer);
    dbg(0, "\nio_read:%s", buffer);
    return 0;
}

void io_timeout(int handle, int milliseconds)
{
    Slot* s = open_slot(handle);
    if (s == nullptr)
        return;
    const uint32_t ms = static_cast<uint32_t>(milliseconds);
    if (s->link.kind == IO_GPIB) {
        long code = ms == 0 ? 0 : std::lround(2.0 * std::log10(static_cast<double>(ms)));
        code = std::clamp<long>(code, 0, LONG_MAX) + T1ms;
        code = std::min<long>(code, T30s);
        ibtmo(s->link.dev, static_cast<int>(code));
    } else if (s->link.kind == IO_COM) {
        SetComTime(s->link.dev, static_cast<double>(ms) / 1000.0);
    }
    s->link.timeout = milliseconds;
}

void io_flush_data(int handle)
{
    Slot* s = open_slot(handle);
    if (s == nullptr)
        return;
    io_flush_in(*s);
    io_flush_out(*s);
}

const char* io_get_remote_address(int handle)
{
    Slot* s = open_slot(handle);
    if (s == nullptr || (s->link.kind != IO_TCP && !is_udp(s->link.kind)))
        return nullptr;
    in_addr a{};
    a.s_addr = s->link.peer;
    return inet_ntoa(a);
}

void io_hook_debug_printf(io_hook_fn hook)
{
    g_hook = hook;
}

const io_link* io_get_link(int handle)
{
    if (handle < 0 || handle >= IO_MAX_LINKS)
        return nullptr;
    return &g_slots[handle].link;
}

int io_socket_users()
{
    return g_socket_users;
}
