// The transport: a table of 64 links whose index is the handle, and what all
// link kinds share above their own operations (io_gpib.cpp, io_com.cpp,
// io_tcp.cpp, io_udp.cpp): the line exchange with its "OK" acknowledgements,
// the UDP request/confirm exchange, putting a link back in step after a
// failure, time-outs and the message hook.  The line reader is in io_frame.cpp.
#include "link/io.h"

#include "link/io_private.h"
#include "util/timer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <climits>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <utility>

using namespace io_detail;

namespace {

constexpr int MAX_ADDRESS_TEXT = 255;
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
io_idle_fn g_idle = nullptr;

// The operations of each kind, by its number.
const LinkOps* const KIND_OPS[] = {&GPIB_OPS, &COM_OPS, &TCP_OPS, &UDP_OPS, &UDP_OPS};
static_assert(std::size(KIND_OPS) == IO_UDP_BROADCAST + 1);

struct Slot {
    io_link link{};
    const LinkOps* ops = nullptr;
    bool opening = false; // taken by an open still in progress (events run during a connect)
    // Stream links: an exchange failed, or stray bytes came, so the rest of an
    // earlier answer may still be on its way; the next write first waits for
    // the line to be quiet.
    bool unsettled = false;
    bool just_sent = false; // a command line went out and nothing was read since
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
        ops = nullptr;
        opening = false;
        unsettled = false;
        just_sent = false;
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

// Drops what has come and not been read, the receive buffer's rest included.
void flush_in(Slot& s)
{
    s.link.rx_pos = 0;
    s.link.rx_len = 0;
    if (s.ops->flush_in != nullptr)
        s.ops->flush_in(s.link);
}

// Whether bytes have come and not been read.
bool input_waiting(const Slot& s)
{
    return s.link.rx_pos < s.link.rx_len || (s.ops->waiting != nullptr && s.ops->waiting(s.link));
}

// ---- the line exchange (COM, TCP) -------------------------------------------------

// The bytes of a stream link through its receive buffer.
class StreamSource final : public ByteSource {
public:
    explicit StreamSource(Slot& s) : s_(s) { }

    int next(uint8_t* byte, int32_t deadline) override
    {
        io_link& link = s_.link;
        if (link.rx_pos >= link.rx_len) {
            const int got = fill(deadline, std::exchange(s_.just_sent, false) ? Wait::first : Wait::after_try);
            if (got != SRC_BYTE)
                return got;
        }
        *byte = static_cast<uint8_t>(link.rx_buf[link.rx_pos++]);
        return SRC_BYTE;
    }

    bool pending() override
    {
        io_link& link = s_.link;
        for (;;) {
            while (link.rx_pos < link.rx_len) {
                const char c = link.rx_buf[link.rx_pos];
                if (c != '\r' && c != '\n' && c != '\0')
                    return true;
                ++link.rx_pos;
            }
            if (fill(0, Wait::no) != SRC_BYTE)
                return false;
        }
    }

private:
    int fill(int32_t deadline, Wait how)
    {
        io_link& link = s_.link;
        link.rx_pos = 0;
        link.rx_len = 0;
        int got = 0;
        const int result = s_.ops->read(link, link.rx_buf, sizeof link.rx_buf, deadline, how, &got);
        if (result != SRC_BYTE)
            return result;
        link.rx_len = got;
        return got > 0 ? SRC_BYTE : SRC_NONE;
    }

    Slot& s_;
};

LinePolicy stream_policy(const Slot& s)
{
    if (s.ops->line_end_ms > 0)
        return LinePolicy{s.ops->line_end_ms, false, g_idle};
    return LinePolicy{wait_ms(s.link), true, nullptr};
}

// Every command line is answered by a line with "OK".
int io_check_ok(Slot& s)
{
    StreamSource src(s);
    const int result = read_ack(src, stream_policy(s));
    if (result < 0)
        dbg(1, "Command OK Expected");
    return result;
}

// Whether more than line ends arrives on a stream link within FOLLOWER_WAIT_US.
bool stream_follower_arrives(Slot& s)
{
    StreamSource src(s);
    const auto until = SteadyClock::now() + std::chrono::microseconds(FOLLOWER_WAIT_US);
    for (;;) {
        if (src.pending())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(until - SteadyClock::now());
        if (left.count() <= 0)
            return false;
        s.ops->wait_input(s.link, static_cast<int32_t>((left.count() + 999) / 1000));
    }
}

// A query's reply line, its "OK" and nothing behind it.
int io_read_reply(Slot& s, char* buf, int size)
{
    StreamSource src(s);
    int result = read_reply(src, buf, size, stream_policy(s));
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
    s.sent = SteadyClock::now();
    const int sent = s.ops->write(s.link, line, static_cast<int>(len) + 1);
    s.just_sent = sent == 0;
    return sent;
}

// The command, then its acknowledgement.
int io_send_line(Slot& s, const char* text)
{
    const int sent = stream_send(s, text);
    return sent < 0 ? sent : io_check_ok(s);
}

// Waits until nothing has come for quiet_ms, discarding what comes, for at
// most quiet_ms plus the link time-out; true when nothing came at all.
bool stream_wait_quiet(Slot& s, int32_t quiet_ms)
{
    const int32_t limit = timer_deadline(quiet_ms + wait_ms(s.link));
    bool silent = true;
    for (;;) {
        silent = silent && !input_waiting(s);
        flush_in(s);
        if (timer_timeout(limit))
            return false;
        const int32_t until = timer_deadline(quiet_ms);
        bool quiet = true;
        while (quiet && !timer_timeout(until)) {
            s.ops->wait_input(s.link, ms_left(until));
            quiet = !input_waiting(s);
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
    StreamSource src(s);
    char line[LINE_BUF_SIZE];
    bool known = false;
    // Every earlier answer may still come: at most a few lines each.
    for (int lines = 0; lines < 16 * (s.owed_identities + 4); ++lines) {
        const int got = read_line(src, line, sizeof line, policy);
        if (got < 0 && got != IO_ERR_LINE_TOO_LONG)
            return false;
        if (known && got > 0 && std::strstr(line, "OK") != nullptr && --s.owed_identities == 0)
            return !src.pending();
        known = got > 0 && s.identity == line;
    }
    return false;
}

// Before a command goes out on a stream link: nothing of an earlier answer may
// be taken for this one's.  Line ends left of the last answer are normal (and
// are dropped here); anything else, or a failed exchange before, means answers
// may still be on their way: the line must fall quiet and, once the
// instrument's identity is known, answer "*IDN?" in step.  False when the link
// could not be put in step (the command is then not sent).
bool stream_settle(Slot& s)
{
    StreamSource src(s);
    if (src.pending())
        s.unsettled = true;
    if (!s.unsettled)
        return true;
    dbg(0, "\nWaiting for the line to be quiet");
    // Identities still owed that did not come while the line kept silent this
    // long are lost; the next resync waits only for its own.
    const int32_t quiet = s.owed_identities > 0 ? 2 * std::min(wait_ms(s.link), STREAM_TIMEOUT_MS) : STREAM_QUIET_MS;
    if (stream_wait_quiet(s, quiet))
        s.owed_identities = 0;
    if (!s.identity.empty() && !stream_resync(s)) {
        dbg(1, "The instrument did not answer in step: its answers may be out of order");
        flush_in(s);
        return false;
    }
    s.unsettled = false;
    return true;
}

// ---- the datagram exchange (UDP) ------------------------------------------------------

// One datagram of the peer into the receive buffer: its length, -2 when none
// came before the deadline, -1 on an error.
int udp_receive(Slot& s, int32_t deadline, Wait how)
{
    for (;;) {
        int got = 0;
        const int result = s.ops->read(s.link, s.link.rx_buf, sizeof s.link.rx_buf, deadline, how, &got);
        if (result == SRC_BYTE)
            return got;
        if (result < 0)
            return IO_ERR;
        if (timer_timeout(deadline))
            return IO_ERR_NO_CONFIRM;
        how = Wait::after_try;
    }
}

int udp_send(Slot& s, uint8_t code, const char* text, int text_len)
{
    char packet[UDP_BUF_SIZE];
    const int n = io_udp_build(code, s.link.req_id, text, text_len, packet, UDP_BUF_SIZE);
    return n < 0 ? IO_ERR : s.ops->write(s.link, packet, n);
}

// REQUEST, then the CONFIRM with the same id: 0, -1 when it cannot be sent, -2
// when no CONFIRM came.
int udp_request(Slot& s, const char* text)
{
    io_link& link = s.link;
    ++link.req_id;
    const std::size_t len = std::strlen(text);
    if (len > static_cast<std::size_t>(MAX_UDP_COMMAND))
        return IO_ERR;
    if (udp_send(s, IO_UDP_REQUEST, text, static_cast<int>(len)) != 0)
        return IO_ERR;

    // One try: a lost exchange is repeated by the caller with a new id.
    const int trycnt = 1;
    const int got = udp_receive(s, timer_deadline(wait_ms(link)), Wait::first);
    io_udp_packet packet{};
    switch (udp_check_confirm(link.rx_buf, got, link.req_id, &packet)) {
    case CONFIRM_OK:
        return 0;
    case CONFIRM_SHORT:
        dbg(1, "UDP Rx timeout! trycnt=%d", trycnt);
        break;
    case CONFIRM_BAD_MARKER:
        dbg(1, "UDP Rx packet not recognized! trycnt=%d", trycnt);
        break;
    case CONFIRM_NOT_CONFIRM:
        dbg(1, "UDP Rx not a CONFIRM packet! CODE=%d, trycnt=%d", packet.code, trycnt);
        break;
    case CONFIRM_BAD_ID:
        dbg(1, "UDP Rx request ID error! ID=%d, myid=%d trycnt=%d", packet.id, link.req_id, trycnt);
        break;
    }
    return IO_ERR_NO_CONFIRM;
}

// The REPLY to the last request: 0 or -1.
int udp_read(Slot& s, char* buf, int size)
{
    const int32_t deadline = timer_deadline(wait_ms(s.link));
    for (;;) {
        const int got = udp_receive(s, deadline, Wait::after_try);
        if (got < 0)
            return IO_ERR;
        const int taken = udp_take_reply(s.link.kind, s.link.rx_buf, got, s.link.req_id, buf, size);
        // An answer to an earlier request is not this one's: wait on for ours.
        if (taken != REPLY_OLDER)
            return taken;
    }
}

// The rest of a failed exchange (a duplicate, the REPLY after a lost CONFIRM)
// may still be on its way; each stray datagram would fail the next exchange
// outright, so wait until the peer has been quiet for a moment.
void udp_settle(Slot& s)
{
    const int32_t limit = timer_deadline(std::min(wait_ms(s.link), UDP_SETTLE_LIMIT_MS));
    for (;;) {
        flush_in(s);
        if (timer_timeout(limit))
            return;
        s.ops->wait_input(s.link, UDP_SETTLE_QUIET_MS);
        if (!input_waiting(s))
            return;
    }
}

// ---- every kind -------------------------------------------------------------------------

// After a failure: a late answer must not be taken for the next one.
void discard_after_failure(Slot& s)
{
    if (s.ops->framing == Framing::packets) {
        udp_settle(s);
        return;
    }
    flush_in(s);
    if (s.ops->framing == Framing::lines) {
        s.unsettled = true;
        // An identity asked for may still come, and must not be taken for a resync's.
        s.owed_identities += s.asked_identity ? 1 : 0;
    }
}

// kind is one of the five link kinds.
int open_link(int kind, const int* number, const char* text, int baud)
{
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
    const LinkOps& ops = *KIND_OPS[kind];
    LinkOpen o{s.link, s.socket, s.lease, number, text, baud};
    if (!ops.open(o)) {
        s.release();
        return IO_ERR;
    }
    s.opening = false;
    s.ops = &ops;
    s.link.kind = kind;
    s.link.timeout = ops.framing == Framing::packets ? UDP_TIMEOUT_MS : STREAM_TIMEOUT_MS;
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

int32_t ms_left(int32_t deadline)
{
    const int32_t left = static_cast<int32_t>(static_cast<uint32_t>(deadline) - static_cast<uint32_t>(timer_get_tick()));
    return std::max(left, 0);
}

void wait_readable(int fd, int32_t deadline)
{
    const int32_t left = ms_left(deadline);
    if (left <= 0)
        return;
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, left);
}

bool socket_waiting(const io_link& link)
{
    pollfd p{link.dev, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

void socket_wait_input(const io_link& link, int32_t ms)
{
    pollfd p{link.dev, POLLIN, 0};
    poll(&p, 1, ms);
}

void socket_close(io_link& link)
{
    shutdown(link.dev, SHUT_RD);
}

bool would_block(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

int32_t wait_ms(const io_link& link)
{
    return link.timeout < 0 ? INT32_MAX : link.timeout;
}

bool parse_address(const char* text, uint32_t* out)
{
    in_addr a{};
    if (text == nullptr || strnlen(text, MAX_ADDRESS_TEXT + 1) > static_cast<std::size_t>(MAX_ADDRESS_TEXT) || inet_aton(text, &a) == 0) {
        dbg(1, "\nInput The IP address error ");
        return false;
    }
    *out = a.s_addr;
    return true;
}

io_idle_fn idle_hook()
{
    return g_idle;
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
    if (kind != IO_GPIB && kind != IO_COM)
        return IO_ERR;
    return open_link(kind, address, nullptr, baud);
}

int io_open(int kind, const char* address, int baud)
{
    if (kind != IO_TCP && kind != IO_UDP && kind != IO_UDP_BROADCAST)
        return IO_ERR;
    return open_link(kind, nullptr, address, baud);
}

void io_close(int handle)
{
    Slot* s = open_slot(handle);
    if (s == nullptr)
        return;
    // The instrument drops its side of a UDP link when told.
    if (s->ops->framing == Framing::packets) {
        ++s->link.req_id;
        udp_send(*s, IO_UDP_CLOSE, nullptr, 0);
    }
    s->ops->close(s->link);
    s->release();
}

int io_write(int handle, const char* text)
{
    Slot* s = open_slot(handle);
    if (s == nullptr || text == nullptr)
        return IO_ERR;
    int result = IO_ERR;
    switch (s->ops->framing) {
    case Framing::message:
        result = s->ops->write(s->link, text, static_cast<int>(std::strlen(text)));
        break;
    case Framing::lines:
        s->asked_identity = false;
        if (stream_settle(*s)) {
            s->asked_identity = std::strcmp(text, "*IDN?") == 0;
            result = io_send_line(*s, text);
        }
        break;
    case Framing::packets:
        flush_in(*s);
        result = udp_request(*s, text);
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
        switch (s->ops->framing) {
        case Framing::message: {
            int got = 0;
            // The bus's own time-out bounds the wait.
            result = s->ops->read(s->link, buffer, size - 1, 0, Wait::after_try, &got);
            buffer[got] = '\0';
            result = result == SRC_BYTE ? 0 : result < 0 ? result
                                                         : IO_ERR;
            break;
        }
        case Framing::lines:
            result = io_read_reply(*s, buffer, size);
            // The identity, once read in step, is what a later resync expects.
            if (result >= 0 && s->asked_identity && s->identity.empty())
                s->identity = buffer;
            break;
        case Framing::packets:
            result = udp_read(*s, buffer, size);
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
    if (s->ops->set_timeout != nullptr)
        s->ops->set_timeout(s->link, milliseconds);
    s->link.timeout = milliseconds;
}

void io_flush_data(int handle)
{
    Slot* s = open_slot(handle);
    if (s == nullptr)
        return;
    flush_in(*s);
    if (s->ops->flush_out != nullptr)
        s->ops->flush_out(s->link);
}

const char* io_get_remote_address(int handle)
{
    Slot* s = open_slot(handle);
    if (s == nullptr || !s->ops->addressed)
        return nullptr;
    in_addr a{};
    a.s_addr = s->link.peer;
    return inet_ntoa(a);
}

void io_hook_debug_printf(io_hook_fn hook)
{
    g_hook = hook;
}

void io_hook_idle(io_idle_fn hook)
{
    g_idle = hook;
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
