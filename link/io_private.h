// Pieces of the transport shared by its own source files, the tests and the
// fuzz targets.  Not for the rest of the application: it uses io.h.
#pragma once

#include "platform/unique_fd.h"

#include "link/io.h"

#include <cstdint>
#include <utility>

namespace io_detail {

// ---- line framing ------------------------------------------------------------

// What a byte source gives the line reader on each call.
enum : int {
    SRC_NONE = 0, // nothing came during this wait; the reader tests its deadline
    SRC_BYTE = 1, // one byte in *byte
    SRC_END = 2, // nothing more will ever come (the peer closed)
};

// Failures of a line read besides the source's own negative codes and
// IO_ERR_LINE_TOO_LONG: no line end came before the deadline, or the peer
// closed in the middle of a line (or before one).  Both are failures: a cut
// line is never taken for a whole one.
enum : int { LINE_TIMEOUT = -3,
    LINE_CLOSED = -4 };

// Failures of a query's reply on a stream link (COM, TCP): the reply line was
// an acknowledgement ("OK" alone), so the stream is a line out of step; or
// more came right behind the reply's "OK", which means an earlier exchange's
// answer is still arriving and the reply may not be this query's.
enum : int { REPLY_IS_ACK = -5,
    REPLY_TRAILING = -6 };

// Per-link code only moves bytes; the loop, the deadline and the line rules
// live in read_line.
class ByteSource {
public:
    // A byte, or a wait of at most until deadline (a timer tick) that brought
    // nothing, or SRC_END, or a negative error code that ends the read.
    virtual int next(uint8_t* byte, int32_t deadline) = 0;
    // Without waiting: true when a byte other than a line end (CR, LF, NUL)
    // has arrived and not been read; the line ends before it are consumed.
    virtual bool pending() = 0;

protected:
    ~ByteSource() = default;
};

struct LinePolicy {
    int32_t limit_ms; // the deadline, counted from the start of the read
    bool deadline_after_bytes; // sockets test it after every byte; a serial port only
        // after a byte time-out, so a slow line is not cut
    void (*idle)(); // runs after an empty wait that did not reach the deadline
};

// Reads one line into buf (size bytes): NUL, CR and LF end it and are skipped
// before its first character; storing size - 1 characters fails with
// IO_ERR_LINE_TOO_LONG.  The number of characters (at least 1, buf
// terminated) or a negative code (buf empty): LINE_TIMEOUT when the deadline
// passes before a line end, LINE_CLOSED when the source ends first.
int read_line(ByteSource& src, char* buf, int size, const LinePolicy& policy);

// The acknowledgement line that follows every command and every reply line:
// 0 when it holds "OK"; IO_ERR_NO_OK when a line without it came or none came
// in time; another negative code of the source.
int read_ack(ByteSource& src, const LinePolicy& policy);

// A query's reply on a stream link: the reply line into buf, then its
// acknowledgement, and nothing but line ends behind that.  The length of the
// reply, or a negative code of read_line or read_ack, REPLY_IS_ACK or
// REPLY_TRAILING (buf empty).
int read_reply(ByteSource& src, char* buf, int size, const LinePolicy& policy);

// Removes one line end in place: a lone CR or LF, else a CR/LF as the
// second-to-last character (cut there), else as the last one.
void strip_line_end(char* text);

// The longest command text a COM or TCP line can carry (a CR and a NUL follow
// it in the 512-byte line buffer), and a UDP request (6-byte header, 256 bytes).
constexpr int LINE_BUF_SIZE = 512;
constexpr int MAX_LINE_COMMAND = LINE_BUF_SIZE - 2;
constexpr int UDP_HEADER = 6;
constexpr int UDP_BUF_SIZE = 256;
constexpr int MAX_UDP_COMMAND = UDP_BUF_SIZE - UDP_HEADER;
static_assert(IO_MAX_COMMAND <= MAX_LINE_COMMAND && IO_MAX_COMMAND <= MAX_UDP_COMMAND);

// ---- UDP decisions on a datagram already received ----------------------------

// Why a datagram does not confirm request req_id; CONFIRM_OK when it does.
enum ConfirmResult { CONFIRM_OK,
    CONFIRM_SHORT,
    CONFIRM_BAD_MARKER,
    CONFIRM_NOT_CONFIRM,
    CONFIRM_BAD_ID };
ConfirmResult udp_check_confirm(const void* datagram, int length, uint16_t req_id, io_udp_packet* packet);

// The reply text of a datagram into buf (size bytes): REPLY_TAKEN; REPLY_BAD
// (-1) when it is short, not marked, not a REPLY (IO_UDP only), answers a
// request newer than req_id, holds fewer text bytes than its header counts
// (a cut datagram), or does not fit buf with its terminator; REPLY_OLDER when
// it answers an earlier request (a late or stale answer, not this request's:
// the read goes on waiting).
enum { REPLY_TAKEN = 0,
    REPLY_BAD = -1,
    REPLY_OLDER = 1 };
int udp_take_reply(int kind, const void* datagram, int length, uint16_t req_id, char* buf, int size);

// ---- sockets ------------------------------------------------------------------

using Socket = UniqueFd;

// One counted use of the socket layer, released when the owner goes.
class SocketLease {
public:
    SocketLease() = default;
    SocketLease(SocketLease&& other) noexcept : held_(std::exchange(other.held_, false)) { }
    SocketLease& operator=(SocketLease&& other) noexcept
    {
        if (this != &other) {
            release();
            held_ = std::exchange(other.held_, false);
        }
        return *this;
    }
    SocketLease(const SocketLease&) = delete;
    SocketLease& operator=(const SocketLease&) = delete;
    ~SocketLease() { release(); }

    bool acquire(); // false when the socket layer cannot start
    void release();
    bool held() const { return held_; }

private:
    bool held_ = false;
};

// Sleeps in poll() until fd is readable or the deadline (a timer tick) is due.
void wait_readable(int fd, int32_t deadline);
// What the socket kinds share: whether input waits, a wait for it of at most
// ms, the end of reading at close, and whether a call failed only for now.
bool socket_waiting(const io_link& link);
void socket_wait_input(const io_link& link, int32_t ms);
void socket_close(io_link& link);
bool would_block(int err);
// The link time-out as a wait in milliseconds: a negative value set through
// io_timeout reads as a very long wait, not as one already over.
int32_t wait_ms(const io_link& link);
// Milliseconds from now to the deadline (a timer tick), 0 once it is due.
int32_t ms_left(int32_t deadline);
// Dotted IPv4 text to an address in network order; false for a missing, too
// long or unreadable text (which would otherwise read as the broadcast address),
// and then the message asking for a right one.
bool parse_address(const char* text, uint32_t* out);
// The idle hook installed by the owner of the event loop, or nullptr.
io_idle_fn idle_hook();

constexpr uint32_t PEER_UNSET = 0xFFFFFFFFu;

// After a failed UDP exchange: datagrams are discarded until none has come for
// UDP_SETTLE_QUIET_MS, for at most UDP_SETTLE_LIMIT_MS (or the link time-out).
constexpr int32_t UDP_SETTLE_QUIET_MS = 20;
constexpr int32_t UDP_SETTLE_LIMIT_MS = 200;

// ---- link kinds ------------------------------------------------------------------

// How the bytes of a kind are cut into commands and answers; the rules of
// each are written once in io.cpp, above the kinds.
enum class Framing {
    message, // the bus marks the end of each message (GPIB)
    lines, // a byte stream of CR/LF lines, each command answered by "OK" (COM, TCP)
    packets, // request/confirm datagrams with ids (UDP)
};

// How a read may wait for input.
enum class Wait {
    no, // only what has come already
    after_try, // take what has come; if nothing, wait once up to the deadline
    first, // a command has just gone out: wait, then take what came
};

// What an open is given: the slot's link, the socket and the lease it keeps
// when the kind uses one, and the address in the form the kind takes.
struct LinkOpen {
    io_link& link;
    Socket& socket;
    SocketLease& lease;
    const int* number; // GPIB primary address or COM port number
    const char* text; // dotted IPv4 address
    int baud;
};

// The operations of one link kind.  They only move bytes; nullptr where a
// kind has nothing to do.
struct LinkOps {
    Framing framing;
    // A serial port ends a line by a byte time-out of its own: the line's
    // deadline (this long) is tested only after a wait that brought nothing,
    // and the idle hook runs then.  0: the link time-out, tested after every byte.
    int32_t line_end_ms;
    bool addressed; // reached by an IPv4 address, which io_get_remote_address tells
    // Sets link.dev (and link.peer); false when the link cannot be opened.
    bool (*open)(LinkOpen& o);
    // All of data: 0, or a negative code (reported already).
    int (*write)(io_link& link, const char* data, int len);
    // What has come into buf (size bytes): SRC_BYTE with *got bytes (one bus
    // message, one datagram of the peer, or some bytes of a stream), SRC_NONE
    // when nothing came (and the wait allowed is over), SRC_END when the peer
    // closed, or a negative code.
    int (*read)(io_link& link, char* buf, int size, int32_t deadline, Wait how, int* got);
    // Whether input has come and not been read, without waiting.
    bool (*waiting)(const io_link& link);
    // Sleeps until input may have come, at most ms.
    void (*wait_input)(const io_link& link, int32_t ms);
    void (*flush_in)(io_link& link);
    void (*flush_out)(io_link& link);
    void (*close)(io_link& link);
    // What the kind itself must know of a new time-out (link.timeout is set by the caller).
    void (*set_timeout)(io_link& link, int milliseconds);
};

extern const LinkOps GPIB_OPS; // io_gpib.cpp
extern const LinkOps COM_OPS; // io_com.cpp
extern const LinkOps TCP_OPS; // io_tcp.cpp
extern const LinkOps UDP_OPS; // io_udp.cpp, also the broadcast kind

// ---- messages ------------------------------------------------------------------

// Formats into a 512-byte buffer and hands the text to the hook, if one is installed.
void dbg(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace io_detail
