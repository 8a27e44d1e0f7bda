// The interface panel with a link: the open report, ifp_send_query's tries
// and deferred close, and the command terminal, against scripted fake
// instruments over loopback TCP and UDP.
#include "tests/link/ifp_fixture.h"

#include "platform/portmap.h"
#include "sim/sim.h"
#include "tests/link/io_test_support.h"

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ifptest::IfpTest;
using iotest::StreamPeer;
namespace hl = ui::headless;

// Each test has loopback addresses of its own, so that tests may run at once.
constexpr const char* kOpenAddr = "127.31.1.1";
constexpr const char* kTerminalAddr = "127.31.2.1";
constexpr const char* kFilterAddr = "127.31.3.1";
constexpr const char* kRetryAddr = "127.31.4.1";
constexpr const char* kClosedAddr = "127.31.5.1";
constexpr const char* kDeferAddr = "127.31.6.1";
constexpr const char* kUdpAddr = "127.31.7.1";
constexpr const char* kReadFailAddr = "127.31.8.1";
constexpr const char* kCloseAddr = "127.31.9.1";
constexpr const char* kCutAddr = "127.31.10.1";
constexpr const char* kGpibAddr = "127.31.11.1";

TEST_F(IfpTest, OpeningReportsEachStepAndEnablesTheTerminal)
{
    auto peer = StreamPeer::tcp(kOpenAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept().start();
    show();
    setLogLevel(3);
    open(IO_TCP, kOpenAddr);

    EXPECT_EQ(ifp_get_ifready(), 1);
    EXPECT_EQ(intValue(IFP_PANEL_OPEN), 1);
    EXPECT_GE(ifp_link_handle(), 0);
    for (int control : {IFP_PANEL_CMD, IFP_PANEL_TX, IFP_PANEL_RX, IFP_PANEL_TXRX})
        EXPECT_FALSE(dimmed(control)) << control;
    // "\nOpen ", "TCP,IP address %s", " successful!\n": one insertion each.
    const int first = lineIndex("Open ");
    ASSERT_GE(first, 1);
    EXPECT_EQ(log()[static_cast<std::size_t>(first - 1)], "");
    EXPECT_EQ(lineIndex(std::string("TCP,IP address ") + kOpenAddr), first + 1);
    EXPECT_EQ(lineIndex(" successful!"), first + 2);

    // Switched off, the link closes and the terminal is dimmed again.
    const int handle = ifp_link_handle();
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 0), 0);
    hl::deliver();
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(ifp_link_handle(), -1);
    EXPECT_EQ(io_get_link(handle)->kind, -1);
    EXPECT_TRUE(dimmed(IFP_PANEL_TX));
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IfpTest, ReportNamesTheSerialAndGpibLinks)
{
    // COM3 is a pty here; the GPIB board is the simulator's Prologix adapter.
    auto pty = StreamPeer::pty();
    ASSERT_TRUE(pty->listening());
    pty->start();
    portmap::overrideCom(3, pty->slavePath());
    sim::Options o;
    o.address = kGpibAddr;
    o.tcp = o.udp = o.pty = false;
    o.gpibPort = 0;
    sim::Simulator instrument(o);
    ASSERT_TRUE(instrument.start()) << instrument.error();
    portmap::overrideGpib(0, std::string("prologix-tcp ") + kGpibAddr + ":" +
                                 std::to_string(instrument.gpibPort()));

    show();
    setLogLevel(3);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IFCSEL, IO_COM), 0);
    hl::deliver();
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_COMPORT, 3), 0);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_BAUD, 115200), 0);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
    EXPECT_EQ(ifp_get_ifready(), 1);
    int open = lineIndex("Open ");
    ASSERT_GE(open, 0);
    EXPECT_EQ(lineIndex("COM3 with 115200bps", open), open + 1);
    EXPECT_EQ(lineIndex(" successful!", open), open + 2);
    ifp_close();
    EXPECT_EQ(pty->finish(), "");

    ResetTextBox(panel_, IFP_PANEL_MSG, "");
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IFCSEL, IO_GPIB), 0);
    hl::deliver();
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_GPIBADDR, o.gpibAddress), 0);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
    open = lineIndex("Open ");
    ASSERT_GE(open, 0);
    EXPECT_EQ(lineIndex("GPIB address " + std::to_string(o.gpibAddress), open), open + 1);
    EXPECT_EQ(lineIndex(" successful!", open), open + 2);
    char reply[IFP_TERMINAL_SIZE];
    EXPECT_EQ(ifp_send_query("*IDN?", reply, sizeof reply), 1);
    EXPECT_STREQ(reply, sim::kDefaultIdn);
    ifp_close();
}

TEST_F(IfpTest, FailedOpenLeavesTheToggleOff)
{
    show();
    setLogLevel(3);
    // Nobody listens here: the connection is refused.
    open(IO_TCP, "127.31.200.1");
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(intValue(IFP_PANEL_OPEN), 0);
    EXPECT_EQ(ifp_link_handle(), -1);
    EXPECT_TRUE(hasLine("TCP,IP address 127.31.200.1"));
    EXPECT_TRUE(hasLine(" failed!"));
    EXPECT_TRUE(dimmed(IFP_PANEL_TX));
}

TEST_F(IfpTest, UnknownInterfaceKindOpensNothing)
{
    show();
    setLogLevel(3);
    // A selector item of kind 4 and up is no link the panel knows.
    for (int kind : {4, 9}) {
        SCOPED_TRACE(kind);
        ASSERT_EQ(InsertListItem(panel_, IFP_PANEL_IFCSEL, -1, "other", kind), 0);
        ResetTextBox(panel_, IFP_PANEL_MSG, "");
        ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IFCSEL, kind), 0);
        ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 1), 0);
        hl::deliver();
        EXPECT_EQ(log(), (std::vector<std::string>{"", "Open ", "Unknown I/O", ""}));
        EXPECT_EQ(ifp_get_ifready(), 0);
        EXPECT_EQ(intValue(IFP_PANEL_OPEN), 0);
        EXPECT_EQ(ifp_link_handle(), -1);
        for (int h = 0; h < IO_MAX_LINKS; ++h)
            EXPECT_EQ(io_get_link(h)->kind, -1) << h;
    }
}

TEST_F(IfpTest, ComPortZeroGivesThePromptAndFails)
{
    show();
    setLogLevel(3);
    ifp_set_monitor_view(1);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IFCSEL, IO_COM), 0);
    hl::deliver();
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_COMPORT, 0), 0);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_BAUD, 9600), 0);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
    const int open = lineIndex("Open ");
    ASSERT_GE(open, 0);
    EXPECT_EQ(lineIndex("COM0 with 9600bps"), open + 1);
    const int prompt = lineIndex("Input the COM port number which connect to VTX (1..255):");
    EXPECT_GT(prompt, open + 1);
    EXPECT_EQ(log()[static_cast<std::size_t>(prompt - 2)], "ERR:");
    EXPECT_GT(lineIndex(" failed!"), prompt);
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(intValue(IFP_PANEL_OPEN), 0);
}

// A TCP or UDP address without a dot means "everybody": the open goes to the
// broadcast address, so it runs only in a network namespace of its own with
// nothing but a loopback that is down.  Exit 0: passed, 77: no namespace.
int inPrivateNetwork(const std::function<bool()>& body)
{
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            _exit(77);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST_F(IfpTest, AddressWithoutADotBecomesTheBroadcastAddress)
{
    show();
    setLogLevel(3);
    const int result = inPrivateNetwork([this] {
        bool ok = true;
        const std::pair<int, const char*> cases[] = {
            {IO_TCP, "localhost"}, {IO_TCP, ""}, {IO_UDP, "instrument"}, {IO_UDP, ""}};
        for (const auto& [kind, text] : cases) {
            ResetTextBox(panel_, IFP_PANEL_MSG, "");
            ok = ok && hl::commit(panel_, IFP_PANEL_IFCSEL, kind) == 0;
            hl::deliver();
            SetCtrlVal(panel_, IFP_PANEL_IPADDR, text);
            ok = ok && hl::commit(panel_, IFP_PANEL_OPEN, 1) == 0;
            hl::deliver();
            const std::string want = std::string(kind == IO_TCP ? "TCP" : "UDP") +
                                     ",IP address 255.255.255.255";
            if (!hasLine(want)) {
                std::fprintf(stderr, "missing \"%s\"\n", want.c_str());
                ok = false;
            }
            hl::commit(panel_, IFP_PANEL_OPEN, 0);
            hl::deliver();
        }
        return ok;
    });
    if (result == 77)
        GTEST_SKIP() << "no private network namespace can be made here";
    EXPECT_EQ(result, 0);
}

TEST_F(IfpTest, TerminalSendsAndReadsAndLogsTheExchange)
{
    auto peer = StreamPeer::tcp(kTerminalAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept()
        .expect("VOLT 1\r").send("OK\r\n")
        .send("12.5\r\nOK\r\n")
        .expect("MEAS?\r").send(iotest::tcpQueryAnswer("3.25"))
        .start();
    show();
    setLogLevel(3);
    open(IO_TCP, kTerminalAddr);
    ASSERT_EQ(ifp_get_ifready(), 1);

    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_CMD, std::string("VOLT 1")), 0);
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_TX), 0);
    hl::deliver();
    EXPECT_EQ(log().back(), "TX: VOLT 1");

    ASSERT_EQ(hl::click(panel_, IFP_PANEL_RX), 0);
    hl::deliver();
    EXPECT_EQ(log().back(), "RX: 12.5");

    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_CMD, std::string("MEAS?")), 0);
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_TXRX), 0);
    hl::deliver();
    const int tx = lineIndex("TX: MEAS?");
    ASSERT_GE(tx, 0);
    EXPECT_EQ(lineIndex("RX: 3.25", tx), tx + 2);   // each line begins with "\n"
    // No peer address over TCP.
    EXPECT_EQ(log().back(), "RX: 3.25");

    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 0), 0);
    hl::deliver();
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IfpTest, ErrorLevelShowsTransportErrorsButNoTerminalLines)
{
    auto peer = StreamPeer::tcp(kFilterAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept()
        .expect("GOOD\r").send("OK\r\n")
        .expect("BAD\r").send("NO\r\n")
        .expect("BAD\r").send("NO\r\n")
        .expect("BAD\r").send("NO\r\n")
        .start();
    show();
    ifp_set_monitor_view(1);
    setLogLevel(1);
    open(IO_TCP, kFilterAddr);
    ASSERT_EQ(ifp_get_ifready(), 1);
    EXPECT_FALSE(hasLine("Open ")) << "the open report is traffic";

    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_CMD, std::string("GOOD")), 0);
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_TX), 0);
    hl::deliver();
    EXPECT_FALSE(hasLine("TX: GOOD"));
    EXPECT_FALSE(hasLine("iowrite:GOOD"));

    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_CMD, std::string("BAD")), 0);
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_TX), 0);
    hl::deliver();
    EXPECT_FALSE(hasLine("TX: error"));
    int expected = 0;
    for (const auto& line : log())
        if (line == "ERR:Command OK Expected")
            ++expected;
    EXPECT_EQ(expected, 3);
    EXPECT_TRUE(hasLine("ERR:io_write:(-999) BAD"));

    // Ring 0: nothing at all.
    setLogLevel(0);
    const auto before = log();
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 0), 0);
    hl::deliver();
    EXPECT_EQ(log(), before);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IfpTest, NeverAcknowledgedCommandIsSentThreeTimes)
{
    auto peer = StreamPeer::tcp(kRetryAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept();
    for (int i = 0; i < IFP_QUERY_ATTEMPTS; ++i)
        peer->expect("IM:OUTP ON\r").send("WHAT\r\n");
    peer->start();
    show();
    open(IO_TCP, kRetryAddr);
    ASSERT_EQ(ifp_get_ifready(), 1);
    EXPECT_EQ(ifp_send_query("IM:OUTP ON", nullptr, 0), 0);
    EXPECT_EQ(ifp_in_operation(), 0);
    EXPECT_EQ(ifp_get_ifready(), 1) << "a failed query does not close the link";
    ifp_close();
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(intValue(IFP_PANEL_OPEN), 0);
    // Nothing beyond the three tries came.
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IfpTest, FailedReadSendsTheQueryAgain)
{
    auto peer = StreamPeer::tcp(kReadFailAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept()
        .expect("*IDN?\r").send("OK\r\nA,B\r\nNOT\r\n")   // the closing OK is missing
        .expect("*IDN?\r").send(iotest::tcpQueryAnswer("MAKER,MODEL,1,2"))
        .start();
    show();
    open(IO_TCP, kReadFailAddr);
    char reply[64];
    EXPECT_EQ(ifp_send_query("*IDN?", reply, sizeof reply), 1);
    EXPECT_STREQ(reply, "MAKER,MODEL,1,2");
    ifp_close();
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IfpTest, QueryOnAClosedLinkMakesNoAttempt)
{
    auto peer = StreamPeer::tcp(kClosedAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept().start();
    show();
    iotest::MessageLog messages;
    char reply[16] = "stale";
    EXPECT_EQ(ifp_send_query("*IDN?", reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "");
    EXPECT_TRUE(messages.all().empty());

    // Opened and closed again: still nothing reaches the instrument.
    open(IO_TCP, kClosedAddr);
    ASSERT_EQ(ifp_get_ifready(), 1);
    ifp_close();
    messages.clear();
    EXPECT_EQ(ifp_send_query("*IDN?", reply, sizeof reply), 0);
    EXPECT_EQ(ifp_send_query(nullptr, nullptr, 0), 0);
    EXPECT_TRUE(messages.all().empty());
    EXPECT_EQ(peer->finish(), "");
}

// ---- the close asked for during a query -------------------------------------------------

struct DeferState {
    int panel = -1;
    int handle = -1;
    bool fired = false;
    int readyInside = -1;
    int operationInside = -1;
    int kindInside = -2;
};
DeferState g_defer;

// Runs inside the transport like a user's click while it waits: after the
// command went out, the Open toggle is switched off.
void deferHook(int, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (g_defer.fired || std::string(text) != "\niowrite:SLOW?")
        return;
    g_defer.fired = true;
    hl::commit(g_defer.panel, IFP_PANEL_OPEN, 0);
    hl::deliver();
    g_defer.readyInside = ifp_get_ifready();
    g_defer.operationInside = ifp_in_operation();
    g_defer.kindInside = io_get_link(g_defer.handle)->kind;
}

TEST_F(IfpTest, CloseDuringAQueryWaitsForTheQueryToEnd)
{
    auto peer = StreamPeer::tcp(kDeferAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept().expect("SLOW?\r").send("OK\r\n").pause(100).send("42\r\nOK\r\n").start();
    show();
    open(IO_TCP, kDeferAddr);
    ASSERT_EQ(ifp_get_ifready(), 1);
    g_defer = DeferState{panel_, ifp_link_handle()};
    io_hook_debug_printf(deferHook);

    char reply[32];
    EXPECT_EQ(ifp_send_query("SLOW?", reply, sizeof reply), 1) << "the query's result is its own";
    EXPECT_STREQ(reply, "42");
    ASSERT_TRUE(g_defer.fired);
    EXPECT_EQ(g_defer.readyInside, 0);
    EXPECT_EQ(g_defer.operationInside, 1);
    EXPECT_EQ(g_defer.kindInside, IO_TCP) << "the link stays open while the query runs";
    // Now it is closed.
    EXPECT_EQ(io_get_link(g_defer.handle)->kind, -1);
    EXPECT_EQ(ifp_in_operation(), 0);
    EXPECT_EQ(intValue(IFP_PANEL_OPEN), 0);
    io_hook_debug_printf(nullptr);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IfpTest, ClosingThePanelClosesTheLink)
{
    auto peer = StreamPeer::tcp(kCloseAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept().start();
    show();
    open(IO_TCP, kCloseAddr);
    const int handle = ifp_link_handle();
    ASSERT_GE(handle, 0);
    ASSERT_EQ(hl::closePanel(panel_), 0);
    hl::deliver();
    EXPECT_EQ(ifp_get_quit(), 1);
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(io_get_link(handle)->kind, -1);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(IfpTest, OverlongCommandIsRefusedNotCut)
{
    auto peer = StreamPeer::tcp(kCutAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept().start();
    show();
    setLogLevel(3);
    open(IO_TCP, kCutAddr);
    // The box itself stops at 199 characters; a program may still put more in.
    SetCtrlVal(panel_, IFP_PANEL_CMD, std::string(250, 'A').c_str());
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_TX), 0);
    hl::deliver();
    EXPECT_EQ(log().back(), "TX: error");
    EXPECT_TRUE(hasLine("ERR:command longer than 199 characters"));
    ifp_close();
    EXPECT_EQ(peer->finish(), "") << "nothing was sent";
}

TEST_F(IfpTest, UdpReplyShowsThePeerAddress)
{
    iotest::UdpPeer peer(kUdpAddr);
    ASSERT_TRUE(peer.bound());
    peer.run([](iotest::UdpPeer& p) {
        iotest::Datagram d;
        iotest::Request r;
        // The command, confirmed and answered.
        if (!p.receive(&d) || !iotest::parseRequest(d, &r) || r.code != IO_UDP_REQUEST)
            return;
        p.sendPacket(d, IO_UDP_CONFIRM, r.id, "");
        p.sendPacket(d, IO_UDP_REPLY, r.id, "7.5V");
    });
    show();
    setLogLevel(3);
    open(IO_UDP, kUdpAddr);
    ASSERT_EQ(ifp_get_ifready(), 1);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_CMD, std::string("VOLT?")), 0);
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_TXRX), 0);
    hl::deliver();
    peer.join();
    const int rx = lineIndex("RX: 7.5V");
    ASSERT_GE(rx, 0);
    EXPECT_EQ(lineIndex(std::string("(") + kUdpAddr + ")", rx), rx + 1);
    EXPECT_GE(lineIndex("TX: VOLT?"), 0);
    ifp_close();
}

}  // namespace
