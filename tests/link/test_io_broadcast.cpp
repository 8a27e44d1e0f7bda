// Discovery by broadcast.  Everything that sends to 255.255.255.255 runs in a
// child process inside a private network namespace that the test makes (only
// `lo`, up, with a broadcast route on it); the child reports through a pipe.
#include "link/io.h"
#include "tests/link/io_test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace iotest;

namespace {

constexpr int kSkip = 2;

// ---- the namespace ---------------------------------------------------------------------

std::string enterPrivateNetwork()
{
    if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        return std::string("cannot make a network namespace: ") + std::strerror(errno);

    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    if (ioctl(s, SIOCGIFFLAGS, &ifr) != 0) {
        ::close(s);
        return std::string("cannot read the flags of lo: ") + std::strerror(errno);
    }
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    const int up = ioctl(s, SIOCSIFFLAGS, &ifr);
    ::close(s);
    if (up != 0)
        return std::string("cannot bring lo up: ") + std::strerror(errno);

    // "ip route add broadcast 255.255.255.255 dev lo table local", over rtnetlink.
    const int nl = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (nl < 0)
        return std::string("no rtnetlink: ") + std::strerror(errno);
    struct {
        nlmsghdr h;
        rtmsg r;
        char attrs[64];
    } req{};
    req.h.nlmsg_type = RTM_NEWROUTE;
    req.h.nlmsg_flags = NLM_F_REQUEST | NLM_F_CREATE | NLM_F_EXCL | NLM_F_ACK;
    req.h.nlmsg_seq = 1;
    req.r.rtm_family = AF_INET;
    req.r.rtm_dst_len = 32;
    req.r.rtm_table = RT_TABLE_LOCAL;
    req.r.rtm_protocol = RTPROT_BOOT;
    req.r.rtm_scope = RT_SCOPE_LINK;
    req.r.rtm_type = RTN_BROADCAST;
    std::size_t len = NLMSG_LENGTH(sizeof(rtmsg));
    auto addAttr = [&](unsigned short type, const void* data, std::size_t size) {
        auto* a = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&req) + NLMSG_ALIGN(len));
        a->rta_type = type;
        a->rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
        std::memcpy(RTA_DATA(a), data, size);
        len = NLMSG_ALIGN(len) + RTA_ALIGN(a->rta_len);
    };
    const uint32_t dst = htonl(INADDR_BROADCAST);
    const uint32_t oif = if_nametoindex("lo");
    addAttr(RTA_DST, &dst, sizeof dst);
    addAttr(RTA_OIF, &oif, sizeof oif);
    req.h.nlmsg_len = static_cast<uint32_t>(len);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(nl, &req, len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
        ::close(nl);
        return std::string("cannot send the route: ") + std::strerror(errno);
    }
    char answer[512];
    const ssize_t n = recv(nl, answer, sizeof answer, 0);
    ::close(nl);
    const auto* h = reinterpret_cast<const nlmsghdr*>(answer);
    if (n < static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr))) || h->nlmsg_type != NLMSG_ERROR)
        return "no answer to the route request";
    const auto* e = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
    if (e->error != 0)
        return std::string("cannot add the broadcast route: ") + std::strerror(-e->error);
    return {};
}

// ---- responders inside the namespace ----------------------------------------------------

// One instrument: a wildcard socket that hears broadcasts and a socket on its
// own loopback address that answers (so answers come from that address) and
// hears what is sent to it alone.
struct Responder {
    UdpPeer hears{"0.0.0.0"};
    UdpPeer own;
    explicit Responder(const std::string& address) : own(address) {}
};

std::string g_report;

void check(bool ok, const std::string& what)
{
    if (!ok)
        g_report += what + "\n";
}

// Runs in the namespace; returns the failures, one a line.
std::string discoveryScenario()
{
    Responder first("127.0.0.2");
    Responder second("127.0.0.3");
    check(first.hears.bound() && second.hears.bound() && first.own.bound() && second.own.bound(),
          "responders could not bind");

    Gate firstAnswered;
    first.own.run([&](UdpPeer& own) {
        Datagram d;
        Request r;
        check(first.hears.receive(&d) && parseRequest(d, &r), "first: no broadcast request");
        check(r.text == "*IDN?", "first: request text " + r.text);
        own.sendPacket(d, IO_UDP_CONFIRM, r.id, "");
        own.sendPacket(d, IO_UDP_REPLY, r.id, "FIRST");
        firstAnswered.open();
        // Later requests come to this address alone.
        check(own.receive(&d) && parseRequest(d, &r), "first: no direct request");
        check(r.text == "B?", "first: direct request text " + r.text);
        own.sendPacket(d, IO_UDP_CONFIRM, r.id, "");
        own.sendPacket(d, IO_UDP_REPLY, r.id, "FIRST again");
        check(own.receive(&d) && parseRequest(d, &r) && r.code == IO_UDP_CLOSE, "first: no CLOSE");
        check(first.hears.quiet(200), "first: a second broadcast came");
    });
    second.own.run([&](UdpPeer& own) {
        Datagram d;
        Request r;
        check(second.hears.receive(&d) && parseRequest(d, &r), "second: no broadcast request");
        check(firstAnswered.wait(), "second: first never answered");
        own.sendPacket(d, IO_UDP_CONFIRM, r.id, "");
        own.sendPacket(d, IO_UDP_REPLY, r.id, "SECOND");
        check(second.hears.quiet(500) && own.quiet(10), "second: heard more than the first broadcast");
    });

    const int h = io_open(IO_UDP, "255.255.255.255", 0);
    check(h >= 0, "open failed");
    if (h < 0)
        return g_report;
    check(std::string(io_get_remote_address(h)) == "255.255.255.255", "peer set before any answer");
    io_timeout(h, 3000);
    char reply[32] = "";
    check(io_write(h, "*IDN?") == 0, "broadcast request not confirmed");
    check(io_read(h, reply, sizeof reply) == 0 && std::string(reply) == "FIRST",
          std::string("first reply: ") + reply);
    check(std::string(io_get_remote_address(h)) == "127.0.0.2",
          std::string("peer is ") + io_get_remote_address(h));
    check(io_write(h, "B?") == 0, "direct request not confirmed");
    check(io_read(h, reply, sizeof reply) == 0 && std::string(reply) == "FIRST again",
          std::string("direct reply: ") + reply);
    check(std::string(io_get_remote_address(h)) == "127.0.0.2", "peer changed");
    io_close(h);
    first.own.join();
    second.own.join();
    return g_report;
}

// A broadcast link always broadcasts (both responders hear every packet,
// whatever address the open named), takes any code as the reply, and follows
// whoever answers.
std::string broadcastKindScenario()
{
    Responder a("127.0.0.4");
    Responder b("127.0.0.5");
    auto respond = [](Responder& r, bool withText) {
        r.own.run([&r, withText](UdpPeer& own) {
            Datagram d;
            Request q;
            check(r.hears.receive(&d) && parseRequest(d, &q) && q.code == IO_UDP_REQUEST, "no broadcast request");
            own.sendPacket(d, IO_UDP_CONFIRM, q.id, "");
            if (withText)
                own.sendPacket(d, IO_UDP_CONFIRM, q.id, "A");
            check(r.hears.receive(&d) && parseRequest(d, &q) && q.code == IO_UDP_CLOSE, "no broadcast CLOSE");
        });
    };
    const int h = io_open(IO_UDP_BROADCAST, "127.0.0.9", 0);
    check(h >= 0, "broadcast open failed");
    if (h < 0)
        return g_report;
    io_timeout(h, 3000);
    respond(a, true);
    respond(b, false);
    char reply[32] = "";
    check(io_write(h, "Q?") == 0, "broadcast kind: not confirmed");
    const std::string sender = io_get_remote_address(h);
    check(sender == "127.0.0.4" || sender == "127.0.0.5", "broadcast kind: peer " + sender);
    // Every datagram here is a CONFIRM; the broadcast kind reads it as the reply.
    check(io_read(h, reply, sizeof reply) == 0, "broadcast kind: no reply");
    io_close(h);
    a.own.join();
    b.own.join();
    return g_report;
}

void runInNamespace(std::string (*scenario)())
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(fds[0]);
        const std::string why = enterPrivateNetwork();
        std::string report = why.empty() ? scenario() : why;
        const int code = !why.empty() ? kSkip : report.empty() ? 0 : 1;
        std::size_t done = 0;
        while (done < report.size()) {
            const ssize_t n = ::write(fds[1], report.data() + done, report.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        _exit(code);
    }
    ::close(fds[1]);
    std::string report;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        report.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the namespace child died";
    if (WEXITSTATUS(status) == kSkip)
        GTEST_SKIP() << report;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(report, "");
}

TEST(IoBroadcast, FirstAnswerBecomesThePeerAndLaterRequestsGoToItAlone)
{
    runInNamespace(discoveryScenario);
}

TEST(IoBroadcast, BroadcastKindAlwaysBroadcastsAndTakesAnyCode)
{
    runInNamespace(broadcastKindScenario);
}

}  // namespace
