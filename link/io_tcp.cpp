// TCP links: a non-blocking stream socket to port 3000 of the instrument.
#include "link/io_private.h"

#include "util/timer.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace io_detail {

namespace {

constexpr int TCP_CONNECT_MS = 2000;
constexpr int TCP_CONNECT_SLICE_MS = 10; // the idle hook keeps running while the connect waits

// Waits for a non-blocking connect (in short slices while an idle hook is
// installed); true once the socket reports the connection made without error.
bool wait_connected(int fd)
{
    const int32_t deadline = timer_deadline(TCP_CONNECT_MS);
    for (;;) {
        const io_idle_fn idle = idle_hook();
        const int32_t left = ms_left(deadline);
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, idle != nullptr ? std::min(left, TCP_CONNECT_SLICE_MS) : left);
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
        if (idle != nullptr)
            idle();
    }
}

bool tcp_open(LinkOpen& o)
{
    uint32_t peer = 0;
    SocketLease lease;
    if (!parse_address(o.text, &peer) || !lease.acquire())
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

    o.link.dev = sock.get();
    o.link.peer = peer;
    o.socket = std::move(sock);
    o.lease = std::move(lease);
    return true;
}

// Sends all of data on the non-blocking socket, waiting for room up to the link time-out.
int tcp_write(io_link& link, const char* data, int len)
{
    std::size_t rest = static_cast<std::size_t>(len);
    int32_t deadline = 0;
    bool waiting = false;
    while (rest > 0) {
        const ssize_t n = send(link.dev, data, rest, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            rest -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && would_block(errno)) {
            if (!waiting) {
                deadline = timer_deadline(wait_ms(link));
                waiting = true;
            }
            if (!timer_timeout(deadline)) {
                pollfd p{link.dev, POLLOUT, 0};
                poll(&p, 1, ms_left(deadline));
                continue;
            }
        }
        dbg(1, "TCP command send fail=%d", IO_ERR);
        return IO_ERR;
    }
    return 0;
}

int tcp_read(io_link& link, char* buf, int size, int32_t deadline, Wait how, int* got)
{
    // Right after a command the answer cannot be here yet: sleep first
    // instead of trying a receive that would find nothing.
    if (how == Wait::first)
        wait_readable(link.dev, deadline);
    const ssize_t n = recv(link.dev, buf, static_cast<std::size_t>(size), how == Wait::no ? MSG_DONTWAIT : 0);
    if (n > 0) {
        *got = static_cast<int>(n);
        return SRC_BYTE;
    }
    // A closed peer sends nothing more: end the line instead of waiting for it.
    if (n == 0)
        return SRC_END;
    if (!would_block(errno))
        return IO_ERR;
    if (how == Wait::after_try)
        wait_readable(link.dev, deadline);
    return SRC_NONE;
}

void tcp_flush_in(io_link& link)
{
    char scratch[IO_RX_BUF_SIZE];
    while (recv(link.dev, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
}

} // namespace

const LinkOps TCP_OPS{Framing::lines, 0, true, tcp_open, tcp_write, tcp_read, socket_waiting, socket_wait_input,
    tcp_flush_in, nullptr, socket_close, nullptr};

} // namespace io_detail
