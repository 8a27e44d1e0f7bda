// The interface panel on the headless driver against the simulated
// instrument: the open report of each link, ifp_send_query's tries and its
// deferred close, the terminal, the message log, device.cfg; and discovery by
// broadcast, in a network namespace of its own.
#include "link/ifp.h"
#include "link/ifp_links.h"
#include "platform/portmap.h"
#include "tests/support/peers.h"
#include "tests/support/sim_start.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <cstring>
#include <sstream>
#include <sched.h>
#include <sys/wait.h>
#include <thread>

namespace {

namespace hl = ui::headless;
using tsupport::udpPacket;

class Ifp : public ::testing::Test {
protected:
    void SetUp() override {
        ui::resetForTests();
        ifcPanel_register_resource();
        ifp_register_callbacks();
        show();
        sim::Options o;
        o.timeScale = 0;
        sim_ = tsupport::startSimulator(o);
        ASSERT_TRUE(sim_);
        portmap::overrideCom(3, sim_->ptyPath());
        portmap::overrideGpib(0, "prologix-tcp " + address() + ":" + std::to_string(sim_->gpibPort()));
    }
    void TearDown() override {
        ifp_quit();
        tsupport::closeAllLinks();
    }
    void show() {
        ifp_active(1);
        panel_ = ifp_panel();
        commit(IFP_PANEL_LOGLEVEL, 3);
    }
    const std::string& address() const { return sim_->options().address; }
    void fault(const char* flag) {
        sim::Faults f;
        EXPECT_TRUE(sim::parseFault(f, flag, nullptr));
        sim_->setFaults(f);
    }
    std::string log() const { // each line followed by '\n'
        std::string all;
        for (const std::string& line : ui::panel(panel_)->control(IFP_PANEL_MSG)->lines) all += line + "\n";
        return all;
    }
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }
    int get(int control, int attribute = 0) const { // the value, or an attribute
        int v = -1;
        EXPECT_EQ(attribute ? GetCtrlAttribute(panel_, control, attribute, &v) : GetCtrlVal(panel_, control, &v), 0);
        return v;
    }
    void commit(int control, const ui::Value& v) {
        EXPECT_EQ(hl::commit(panel_, control, v), 0) << control;
        hl::deliver();
    }
    void click(int control, int (*how)(int, int) = hl::click) {
        EXPECT_EQ(how(panel_, control), 0) << control;
        hl::deliver();
    }
    // Chooses the link as a user would, with the GPIB address, COM port or IP
    // address, and switches the Open toggle on.
    void open(int kind, const ui::Value& where) {
        commit(IFP_PANEL_IFCSEL, kind);
        if (kind <= IO_UDP)
            commit(kind == IO_GPIB ? IFP_PANEL_GPIBADDR : kind == IO_COM ? IFP_PANEL_COMPORT
                                                                         : IFP_PANEL_IPADDR,
                where);
        commit(IFP_PANEL_OPEN, 1);
    }

    tsupport::TempDir dir_;
    tsupport::ScopedEnv project_{"IMBENCH_PROJECT_DIR", dir_.path()};
    tsupport::ScopedEnv links_{"IMBENCH_LINKS", dir_.file("config/imbench/links.cfg")};
    tsupport::IsolatedPortMap map_;
    std::unique_ptr<sim::Simulator> sim_;
    int panel_ = -1;
};

// A failed open also says why in one line of an error pop-up, the log being
// hidden unless the monitor view is on.
TEST_F(Ifp, OpenReportsEachLinkAndDimsTheTerminalWhileClosed) {
    const std::string refused = tsupport::StreamPeer::tcp()->address();
    const std::string prompt = "ERR:\n\nInput the COM port number which connect to VTX (1..255):\n";
    ifp_set_monitor_view(1); // transport messages in the log
    ASSERT_EQ(InsertListItem(panel_, IFP_PANEL_IFCSEL, -1, "other", 4), 0);
    portmap::overrideCom(7, dir_.file("no-tty"));
    for (int control : {IFP_PANEL_CMD, IFP_PANEL_TX, IFP_PANEL_RX, IFP_PANEL_TXRX})
        EXPECT_EQ(get(control, ATTR_DIMMED), 1) << "no link yet";
    const struct {
        int kind;
        ui::Value where;
        std::string report;
        std::string why; // what the pop-up begins with
    } rows[] = {
        {IO_GPIB, 5, "GPIB address 5\n successful!", ""},
        {IO_COM, 3, "COM3 with 115200bps\n successful!", ""},
        {IO_TCP, address(), "TCP,IP address " + address() + "\n successful!", ""},
        {IO_UDP, address(), "UDP,IP address " + address() + "\n successful!", ""},
        {IO_TCP, refused, "TCP,IP address " + refused + "\n failed!",
            "TCP " + refused + ": nothing accepted a connection on port 3000."},
        {IO_UDP, std::string("999.0.0.1"), "UDP,IP address 999.0.0.1\nERR:\nInput The IP address error \n failed!",
            "UDP 999.0.0.1: this is not an IP address"},
        {IO_COM, 0, "COM0 with 115200bps\n" + prompt + " failed!", "COM0: choose a COM port from 1 to 255."},
        {IO_COM, 7, "COM7 with 115200bps\nERR:COM7 open error err=", "COM7: " + dir_.file("no-tty") + " does not exist"},
        {4, 0, "Unknown I/O\n", ""},
    };
    for (const auto& r : rows) {
        ResetTextBox(panel_, IFP_PANEL_MSG, "");
        hl::clearPopups();
        open(r.kind, r.where);
        EXPECT_TRUE(logHas("\nOpen \n" + r.report)) << log();
        ASSERT_EQ(hl::popups().size(), r.why.empty() ? 0u : 1u) << r.report;
        for (const hl::PopupRecord& p : hl::popups()) {
            EXPECT_EQ(p.title + (p.error ? " (error)" : ""), "Open failed (error)");
            EXPECT_EQ(p.text.rfind(r.why, 0), 0u) << p.text;
            EXPECT_EQ(p.text.find('\n'), std::string::npos) << p.text;
        }
        const bool up = r.report.ends_with("successful!");
        EXPECT_EQ(ifp_get_ifready(), up);
        EXPECT_EQ(get(IFP_PANEL_OPEN), up);
        for (int control : {IFP_PANEL_CMD, IFP_PANEL_TX, IFP_PANEL_RX, IFP_PANEL_TXRX})
            EXPECT_EQ(get(control, ATTR_DIMMED), !up) << r.report;
        char reply[IFP_TERMINAL_SIZE];
        EXPECT_EQ(ifp_send_query("*IDN?", reply, sizeof reply), up);
        EXPECT_STREQ(reply, up ? sim::kDefaultIdn : "");
        commit(IFP_PANEL_OPEN, 0);
        EXPECT_EQ(get(IFP_PANEL_TX, ATTR_DIMMED), 1);
        for (int h = 0; h < IO_MAX_LINKS; ++h) ASSERT_EQ(io_get_link(h)->kind, -1) << r.report;
    }
    // Without the monitor view the transport's messages stay out of the log.
    ifp_set_monitor_view(0);
    open(IO_COM, 0);
    EXPECT_FALSE(logHas(prompt));
}

// A failed write or read is tried again, three times in all; closing the
// panel closes the link, after which nothing is tried.
TEST_F(Ifp, QueriesAreTriedThreeTimes) {
    open(IO_TCP, address());
    io_timeout(ifp_link_handle(), 400);
    fault("garble-ok=3");
    EXPECT_EQ(ifp_send_query("IM:MODE 2", nullptr, 0), 0);
    fault("garble-reply-ok=2");
    char reply[64];
    EXPECT_EQ(ifp_send_query("*IDN?", reply, sizeof reply), 1);
    EXPECT_STREQ(reply, sim::kDefaultIdn);
    const int handle = ifp_link_handle();
    ASSERT_EQ(hl::closePanel(panel_), 0);
    hl::deliver();
    EXPECT_EQ(ifp_get_quit(), 1);
    EXPECT_EQ(io_get_link(handle)->kind, -1);
    EXPECT_EQ(ifp_send_query("*IDN?", reply, sizeof reply), 0);
    EXPECT_EQ(sim_->commandLog(),
        (std::vector<std::string>{"IM:MODE 2", "IM:MODE 2", "IM:MODE 2", "*IDN?", "*IDN?", "*IDN?"}));
}

// Answers that come after the host gave up on them, or twice, are never
// taken for a later query's: every query that succeeds has its own answer,
// and the link recovers.  Over the stream links, where no id tells answers apart.
TEST_F(Ifp, LateOrRepeatedAnswersAreNeverTakenForAnotherQuerys) {
    const std::vector<std::pair<const char*, std::string>> queries = {
        {"*IDN?", sim::kDefaultIdn}, {"SYST:VERS?", sim::kDefaultVersion}, {"SYST:SER?", sim::kDefaultSerial}};
    for (auto [kind, where] : {std::pair<int, ui::Value>{IO_TCP, address()}, {IO_COM, 3}}) {
        open(kind, where);
        io_timeout(ifp_link_handle(), 250);
        // A whole answer after the three tries of its query gave up; a
        // duplicate that comes after its query was answered, split off.
        for (const char* faults : {"late=1 late-ms=1400", "duplicate=1 split=1 split-at=40 split-gap-ms=60"}) {
            sim::Faults f;
            std::istringstream words(faults);
            for (std::string w; words >> w;) ASSERT_TRUE(sim::parseFault(f, w, nullptr)) << w;
            sim_->setFaults(f);
            int answered = 0;
            for (int i = 0; i < 9; ++i) {
                const auto& [query, answer] = queries[static_cast<std::size_t>(i) % queries.size()];
                char reply[128];
                if (ifp_send_query(query, reply, sizeof reply)) {
                    EXPECT_EQ(reply, answer) << query << " with " << faults << " over kind " << kind;
                    answered += i >= 6;
                }
            }
            EXPECT_EQ(answered, 3) << faults << " over kind " << kind;
        }
        commit(IFP_PANEL_OPEN, 0);
    }
}

int g_panel = -1, g_handle = -1;

// As a user's click while the transport waits: once the command is out, the Open toggle goes off.
void deferHook(int, const char*, ...) {
    if (g_panel < 0) return;
    hl::commit(std::exchange(g_panel, -1), IFP_PANEL_OPEN, 0);
    hl::deliver();
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(ifp_in_operation(), 1);
    EXPECT_EQ(io_get_link(g_handle)->kind, IO_TCP) << "the link stays open while the query runs";
}

TEST_F(Ifp, CloseDuringAQueryWaitsForTheQueryToEnd) {
    open(IO_TCP, address());
    g_panel = panel_;
    g_handle = ifp_link_handle();
    io_hook_debug_printf(deferHook);
    char reply[64];
    EXPECT_EQ(ifp_send_query("*IDN?", reply, sizeof reply), 1) << "the query's result is its own";
    io_hook_debug_printf(nullptr);
    EXPECT_STREQ(reply, sim::kDefaultIdn);
    EXPECT_EQ(g_panel, -1) << "the toggle was switched off during the query";
    EXPECT_EQ(io_get_link(g_handle)->kind, -1);
    EXPECT_EQ(ifp_in_operation(), 0);
    EXPECT_EQ(get(IFP_PANEL_OPEN), 0);
}

// TX sends, RX reads one reply, TX/RX both; over UDP the reply names its
// sender; a command longer than the terminal's buffer is refused, not cut.
// The buttons, and Enter in the command box: a query is sent and answered,
// a command only sent.
TEST_F(Ifp, TerminalSendsReadsAndLogsTheExchange) {
    for (int kind : {IO_TCP, IO_UDP}) {
        open(kind, address());
        SetCtrlVal(panel_, IFP_PANEL_CMD, "*IDN?");
        click(IFP_PANEL_TX);
        click(IFP_PANEL_RX);
        SetCtrlVal(panel_, IFP_PANEL_CMD, "SYST:SER?");
        click(IFP_PANEL_TXRX);
        commit(IFP_PANEL_CMD, std::string("IM:OUTP:STAT 1"));
        commit(IFP_PANEL_CMD, std::string("IM:OUTP:STAT?"));
        const std::string from = kind == IO_UDP ? "(" + address() + ")\n" : "";
        EXPECT_TRUE(logHas(std::string("\nTX: *IDN?\n\nRX: ") + sim::kDefaultIdn + "\n" + from + "\nTX: SYST:SER?\n\nRX: " +
            sim::kDefaultSerial + "\n" + from + "\nTX: IM:OUTP:STAT 1\n\nTX: IM:OUTP:STAT?\n\nRX: 1\n" + from))
            << log();
        commit(IFP_PANEL_OPEN, 0);
    }
    open(IO_TCP, address());
    SetCtrlVal(panel_, IFP_PANEL_CMD, std::string(250, 'A').c_str()); // the box itself stops at 199
    click(IFP_PANEL_TX);
    EXPECT_TRUE(log().ends_with("ERR:command longer than 199 characters\n\nTX: error\n"));
    EXPECT_EQ(sim_->commandLog().size(), 8u) << "the long command was not sent";
}

TEST_F(Ifp, DeviceCfgSetsTheSelectorAndAChangeIsStoredAtQuit) {
    const std::string cfg = dir_.file("device.cfg");
    for (auto [text, shown, mode] : {std::tuple{"12\n", 1, 2}, {"1\n", 0, 1}, {" +19 and more\n", 1, 9}, {"a\n", 0, 0},
             {"", 0, 0}, {"-1\n", 0, 0}, {"99999999999\n", 0, 0}}) {
        ifp_quit();
        tsupport::writeFile(cfg, text);
        show();
        EXPECT_EQ(get(IFP_PANEL_DEVMODE, ATTR_VISIBLE), shown) << text;
        EXPECT_EQ(ifp_get_device_mode(), mode) << text;
    }
    ifp_quit();
    EXPECT_EQ(tsupport::readFile(cfg), "99999999999\n") << "no change, nothing written";
    // A right double-click on Open shows or hides the selector and marks the change.
    for (const char* stored : {"12\n", "2\n"}) {
        show();
        click(IFP_PANEL_OPEN, hl::rightDoubleClick);
        if (get(IFP_PANEL_DEVMODE, ATTR_VISIBLE)) commit(IFP_PANEL_DEVMODE, 2);
        ifp_quit();
        EXPECT_EQ(tsupport::readFile(cfg), stored);
    }
    // Modes the application cannot run are neither taken from the file nor
    // stored: the file's own mode (or 0) is kept in their place.
    ifp_set_device_mode_check([](int mode) { return mode == 0 || mode == 2 ? 1 : 0; });
    for (auto [text, shownMode, chosen, stored] : {std::tuple{"13\n", 0, 4, "10\n"}, {"12\n", 2, 5, "12\n"},
             {"12\n", 2, 0, "10\n"}, {"11\n", 0, 1, "10\n"}}) {
        tsupport::writeFile(cfg, text);
        show();
        EXPECT_EQ(ifp_get_device_mode(), shownMode) << text;
        commit(IFP_PANEL_DEVMODE, chosen);
        ifp_quit();
        EXPECT_EQ(tsupport::readFile(cfg), stored) << text << " then " << chosen;
    }
    ifp_set_device_mode_check(nullptr);
    // A pipe in place of device.cfg or the port map is refused at once, with a
    // message, instead of hanging the start; the panel comes up all the same.
    for (const std::string& fifo : {cfg, map_.file()}) {
        std::filesystem::remove(fifo);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        portmap::reload();
        hl::clearPopups();
        show();
        EXPECT_GE(panel_, 0);
        ASSERT_EQ(hl::popups().size(), 1u) << fifo;
        EXPECT_NE(hl::popups()[0].text.find(fifo + " is not used: it is not a regular file."), std::string::npos)
            << hl::popups()[0].text;
        ifp_quit();
        std::filesystem::remove(fifo);
    }
}

// The last address of each kind the user opened comes back in the next run,
// TCP and UDP each with its own; a choice made for the user is not kept.
TEST_F(Ifp, TheLastAddressOfEachLinkKindIsRememberedAcrossRuns) {
    const std::string udpAddress = "127.0.0.1";
    auto text = [this](int control) {
        std::string v;
        GetCtrlVal(panel_, control, &v);
        return v;
    };
    open(IO_GPIB, 7);
    commit(IFP_PANEL_OPEN, 0);
    open(IO_UDP, udpAddress);
    commit(IFP_PANEL_OPEN, 0);
    open(IO_TCP, address());
    commit(IFP_PANEL_OPEN, 0);
    ifp_quit();
    show();
    EXPECT_EQ(std::tuple(get(IFP_PANEL_IFCSEL), text(IFP_PANEL_IPADDR), get(IFP_PANEL_GPIBADDR)),
        std::tuple(IO_TCP, address(), 7));
    commit(IFP_PANEL_IFCSEL, IO_UDP);
    EXPECT_EQ(text(IFP_PANEL_IPADDR), udpAddress);
    commit(IFP_PANEL_IFCSEL, IO_TCP);
    EXPECT_EQ(text(IFP_PANEL_IPADDR), address());
    ifp_select_link(IO_UDP, "127.0.0.9");
    commit(IFP_PANEL_OPEN, 1);
    ifp_quit();
    show();
    EXPECT_EQ(std::tuple(get(IFP_PANEL_IFCSEL), text(IFP_PANEL_IPADDR)), std::tuple(IO_TCP, address()));
    // What a hand-edited file holds that cannot be used is left out.
    const IfpLinks l = ifp_links_parse("KIND = SCSI\nGPIB = x\nCOM = 4 9600\nTCP = 127.0.0.1234567890123456\nUDP=10.0.0.2\r\n");
    EXPECT_EQ(std::tuple(l.kind, l.gpib, l.com, l.baud, l.tcp, l.udp), std::tuple(-1, -1, 4, 9600, "", "10.0.0.2"));
}

// An address without a dot means everybody: the first answer's sender becomes
// the peer, and later requests go to it alone.  Whatever broadcasts runs in a
// child inside a private network namespace with `lo` up and a broadcast route
// on it; the child reports its failures through a pipe.
TEST_F(Ifp, BroadcastFindsTheInstrumentAndThenAsksItAlone) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    if (fork() == 0) {
        const char* setup = "ip link set lo up && ip route add broadcast 255.255.255.255 dev lo table local";
        std::string report;
        if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            report = std::string("cannot make a network namespace: ") + std::strerror(errno);
        else if (std::system(setup) != 0)
            report = std::string("in the namespace, this failed: ") + setup;
        if (!report.empty()) _exit(::write(fds[1], report.data(), report.size()) > 0 ? 2 : 1);
        tsupport::UdpPeer hears{"0.0.0.0"}, own{"127.0.0.2"}; // broadcasts, and its own address alone
        std::jthread instrument([&] {
            for (tsupport::UdpPeer* from : {&hears, &own}) {
                tsupport::Datagram d;
                const tsupport::Packet p = from->receive(&d);
                for (int code : {IO_UDP_CONFIRM, IO_UDP_REPLY})
                    own.reply(d, udpPacket(code, p.id, p.text + " from " + (from == &own ? "own" : "all")));
            }
        });
        for (auto [kind, text] : {std::pair{IO_TCP, "localhost"}, {IO_UDP, ""}}) open(kind, std::string(text));
        for (const char* command : {"*IDN?", "B?"}) commit(IFP_PANEL_CMD, std::string(command)); // Enter
        if (!logHas("TCP,IP address 255.255.255.255\n failed!") || !logHas("UDP,IP address 255.255.255.255\n successful!") ||
            !logHas("RX: *IDN? from all\n(127.0.0.2)\n\nTX: B?\n\nRX: B? from own\n"))
            report = log();
        _exit(::write(fds[1], report.data(), report.size()) == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string report;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ASSERT_GT(wait(&status), 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << report;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && report.empty()) << report;
}

} // namespace
