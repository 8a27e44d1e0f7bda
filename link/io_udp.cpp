// The UDP request/confirm exchange: REQUEST -> CONFIRM with the same id, and a
// separate REPLY for a query; the first sender to answer becomes the peer
// while none is known.
#include "link/io_private.h"

#include "util/timer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace io_detail {

namespace {

bool would_block(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

// Every packet goes to port 3000 of the peer; a broadcast link always
// broadcasts, and a link without a peer yet broadcasts to find one.
sockaddr_in destination(const io_link& link)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(IO_PORT);
    to.sin_addr.s_addr = link.kind == IO_UDP_BROADCAST ? htonl(INADDR_BROADCAST) : link.peer;
    return to;
}

int send_packet(const io_link& link, uint8_t code, const char* text, int text_len)
{
    uint8_t packet[UDP_BUF_SIZE];
    const int n = io_udp_build(code, link.req_id, text, text_len, packet, UDP_BUF_SIZE);
    if (n < 0)
        return IO_ERR;
    const sockaddr_in to = destination(link);
    const ssize_t sent = sendto(link.dev, packet, static_cast<std::size_t>(n), MSG_NOSIGNAL,
        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == n ? 0 : IO_ERR;
}

} // namespace

int io_udp_open(Socket& socket, SocketLease& lease)
{
    if (!lease.acquire())
        return IO_ERR;
    Socket s(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s) {
        lease.release();
        return IO_ERR;
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;
    const int on = 1;
    if (bind(s.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 || setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        s.reset();
        lease.release();
        return IO_ERR;
    }
    socket = std::move(s);
    return socket.get();
}

int io_udp_wait(io_link& link)
{
    return io_udp_wait(link, timer_deadline(wait_ms(link)));
}

int io_udp_wait(io_link& link, int32_t deadline, bool just_sent)
{
    // Right after a send the answer cannot be here yet: sleep before the
    // first receive instead of trying one that would find nothing.
    if (just_sent)
        wait_readable(link.dev, deadline);
    for (;;) {
        sockaddr_in from{};
        socklen_t from_len = sizeof from;
        // MSG_TRUNC gives the datagram's real length, so one too long for
        // the buffer is refused instead of being read cut short.
        const ssize_t n = recvfrom(link.dev, link.rx_buf, sizeof link.rx_buf, MSG_TRUNC,
            reinterpret_cast<sockaddr*>(&from), &from_len);
        if (n >= 0) {
            const uint32_t sender = from.sin_addr.s_addr;
            const bool ours = link.peer == PEER_UNSET || link.kind == IO_UDP_BROADCAST || sender == link.peer;
            // Any port of the peer will do; other hosts are not listened to.
            if (ours && n > static_cast<ssize_t>(sizeof link.rx_buf)) {
                dbg(1, "UDP Rx datagram of %ld bytes, longer than %d", static_cast<long>(n),
                    static_cast<int>(sizeof link.rx_buf));
                return IO_ERR;
            }
            if (ours) {
                if (link.peer == PEER_UNSET || link.kind == IO_UDP_BROADCAST)
                    link.peer = sender;
                return static_cast<int>(n);
            }
        } else if (!would_block(errno)) {
            return IO_ERR;
        }
        if (timer_timeout(deadline))
            return IO_ERR_NO_CONFIRM;
        if (n < 0)
            wait_readable(link.dev, deadline);
    }
}

int io_udp_request(io_link& link, const char* text)
{
    ++link.req_id;
    const std::size_t len = std::strlen(text);
    if (len > static_cast<std::size_t>(MAX_UDP_COMMAND))
        return IO_ERR;
    if (send_packet(link, IO_UDP_REQUEST, text, static_cast<int>(len)) != 0)
        return IO_ERR;

    // One try: a lost exchange is repeated by the caller with a new id.
    const int trycnt = 1;
    const int got = io_udp_wait(link, timer_deadline(wait_ms(link)), true);
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

int io_udp_read(io_link& link, char* buf, int size)
{
    const int32_t deadline = timer_deadline(wait_ms(link));
    for (;;) {
        const int got = io_udp_wait(link, deadline);
        if (got < 0) {
            if (buf != nullptr && size > 0)
                buf[0] = '\0';
            return IO_ERR;
        }
        const int taken = udp_take_reply(link.kind, link.rx_buf, got, link.req_id, buf, size);
        // An answer to an earlier request is not this one's: wait on for ours.
        if (taken != REPLY_OLDER)
            return taken;
    }
}

int io_udp_close_notice(io_link& link)
{
    ++link.req_id;
    return send_packet(link, IO_UDP_CLOSE, nullptr, 0);
}

void io_udp_flush_in(const io_link& link)
{
    // A zero-length datagram is still a datagram: keep going until the queue is empty.
    char scratch[UDP_BUF_SIZE];
    while (recv(link.dev, scratch, sizeof scratch, 0) >= 0) {
    }
}

void io_udp_settle(const io_link& link)
{
    // The rest of a failed exchange (a duplicate, the REPLY after a lost
    // CONFIRM) may still be on its way; each stray datagram would fail the next
    // exchange outright, so wait until the peer has been quiet for a moment.
    const int32_t limit = timer_deadline(std::min(wait_ms(link), UDP_SETTLE_LIMIT_MS));
    for (;;) {
        io_udp_flush_in(link);
        if (timer_timeout(limit))
            return;
        const int32_t quiet = timer_deadline(UDP_SETTLE_QUIET_MS);
        wait_readable(link.dev, quiet);
        pollfd p{link.dev, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0)
            return;
    }
}

} // namespace io_detail
