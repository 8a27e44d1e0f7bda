// UDP links: one non-blocking datagram socket; every packet goes to port 3000
// of the peer, and the first sender to answer becomes the peer while none is
// known.  The request/confirm exchange itself is in io.cpp.
#include "link/io_private.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace io_detail {

namespace {

// A broadcast link always broadcasts, and a link without a peer yet
// broadcasts to find one.
sockaddr_in destination(const io_link& link)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(IO_PORT);
    to.sin_addr.s_addr = link.kind == IO_UDP_BROADCAST ? htonl(INADDR_BROADCAST) : link.peer;
    return to;
}

bool udp_open(LinkOpen& o)
{
    uint32_t peer = 0;
    SocketLease lease;
    if (!parse_address(o.text, &peer) || !lease.acquire())
        return false;
    Socket s(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s)
        return false;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;
    const int on = 1;
    if (bind(s.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 || setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return false;
    o.link.dev = s.get();
    o.link.peer = peer;
    // The C library's generator is never seeded: every run starts from the same id.
    o.link.req_id = static_cast<uint16_t>(std::rand() & 0xFFFF);
    o.socket = std::move(s);
    o.lease = std::move(lease);
    return true;
}

int udp_write(io_link& link, const char* data, int len)
{
    const sockaddr_in to = destination(link);
    const ssize_t sent = sendto(link.dev, data, static_cast<std::size_t>(len), MSG_NOSIGNAL,
        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == len ? 0 : IO_ERR;
}

// One datagram of the peer; one from another host is dropped unread.
int udp_read(io_link& link, char* buf, int size, int32_t deadline, Wait how, int* got)
{
    if (how == Wait::first)
        wait_readable(link.dev, deadline);
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    // MSG_TRUNC gives the datagram's real length, so one too long for the
    // buffer is refused instead of being read cut short.
    const ssize_t n = recvfrom(link.dev, buf, static_cast<std::size_t>(size), MSG_TRUNC,
        reinterpret_cast<sockaddr*>(&from), &from_len);
    if (n < 0) {
        if (!would_block(errno))
            return IO_ERR;
        if (how == Wait::after_try)
            wait_readable(link.dev, deadline);
        return SRC_NONE;
    }
    const uint32_t sender = from.sin_addr.s_addr;
    // Any port of the peer will do; other hosts are not listened to.
    if (link.peer != PEER_UNSET && link.kind != IO_UDP_BROADCAST && sender != link.peer)
        return SRC_NONE;
    if (n > size) {
        dbg(1, "UDP Rx datagram of %ld bytes, longer than %d", static_cast<long>(n), size);
        return IO_ERR;
    }
    link.peer = sender;
    *got = static_cast<int>(n);
    return SRC_BYTE;
}

void udp_flush_in(io_link& link)
{
    // A zero-length datagram is still a datagram: keep going until the queue is empty.
    char scratch[UDP_BUF_SIZE];
    while (recv(link.dev, scratch, sizeof scratch, 0) >= 0) {
    }
}

} // namespace

const LinkOps UDP_OPS{Framing::packets, 0, true, udp_open, udp_write, udp_read, socket_waiting, socket_wait_input,
    udp_flush_in, nullptr, socket_close, nullptr};

} // namespace io_detail
