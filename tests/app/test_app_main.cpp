// ifc_main on the headless driver: the dispatch by device mode, the
// measurement run up to its main loop, and the ways the application ends.
#include "app/ifc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "sim/sim.h"
#include "tests/app/app_fixture.h"
#include "tests/link/io_test_support.h"
#include "ui/resources/ifcPanel.h"

#include <algorithm>
#include <memory>
#include <string>

namespace {

using apptest::always;
using apptest::AppTest;
using apptest::openTcp;
using apptest::UiScript;
using iotest::StreamPeer;
namespace hl = ui::headless;

constexpr const char* kUnknownAddr = "127.32.10.1";
constexpr const char* kUnavailableAddr = "127.32.11.1";
constexpr const char* kRunAddr = "127.32.12.1";
constexpr const char* kAgainAddr = "127.32.13.1";
constexpr const char* kNoVersionAddr = "127.32.14.1";

char* g_argv[] = {const_cast<char*>("imbench"), nullptr};

int runMain() { return ifc_main(1, g_argv); }

std::unique_ptr<sim::Simulator> startSim(const char* address, const char* idn, const char* version)
{
    sim::Options o;
    o.address = address;
    o.udp = false;
    o.pty = false;
    o.gpib = false;
    o.idn = idn;
    o.version = version;
    auto s = std::make_unique<sim::Simulator>(o);
    if (!s->start())
        ADD_FAILURE() << s->error();
    return s;
}

bool logHas(const sim::Simulator& s, const std::string& command)
{
    const auto log = s.commandLog();
    return std::find(log.begin(), log.end(), command) != log.end();
}

TEST_F(AppTest, ClosingTheInterfacePanelEndsTheApplication)
{
    registerEverything();
    UiScript script({{always, [] { hl::closePanel(ifp_panel()); }}});
    EXPECT_EQ(runMain(), 0);
    EXPECT_TRUE(script.finished());
    EXPECT_FALSE(script.timedOut());
    EXPECT_EQ(ifp_panel(), -1);
    EXPECT_TRUE(hl::popups().empty());
}

TEST_F(AppTest, UnknownDeviceModeEndsTheApplication)
{
    auto peer = StreamPeer::tcp(kUnknownAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept().start();
    registerEverything();
    UiScript script({{always, [] { openTcp(kUnknownAddr, 3); }}});
    EXPECT_EQ(runMain(), 0);
    EXPECT_TRUE(script.finished());
    EXPECT_FALSE(script.timedOut());
    ASSERT_EQ(hl::popups().size(), 1u);
    EXPECT_EQ(hl::popups()[0].title, "Error!");
    EXPECT_EQ(hl::popups()[0].text, "Unknown Device! System Exit!");
    EXPECT_EQ(ifp_panel(), -1);
    // The instrument is let go as the application ends.
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(AppTest, LoadAndSupplyModesGiveTheLinkBackUntilTheirPanelsExist)
{
    auto peer = StreamPeer::tcp(kUnavailableAddr);
    ASSERT_TRUE(peer->listening());
    peer->accept().accept().start();
    registerEverything();
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        hl::clearPopups();
        UiScript script({
            {always, [mode] { openTcp(kUnavailableAddr, mode); }},
            {[] { return !hl::popups().empty() && !ifp_get_ifready(); },
             [] { hl::closePanel(ifp_panel()); }},
        });
        EXPECT_EQ(runMain(), 0);
        EXPECT_TRUE(script.finished());
        EXPECT_FALSE(script.timedOut());
        ASSERT_EQ(hl::popups().size(), 1u);
        EXPECT_EQ(hl::popups()[0].title, "Not available");
        EXPECT_NE(hl::popups()[0].text.find(mode == 1 ? "electronic-load" : "power-supply"),
                  std::string::npos);
    }
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(AppTest, MeasurementRunIdentifiesAndReadsTheVersion)
{
    auto s = startSim(kRunAddr, "ACME,PLZ-KZR 1000,SN42,2.1", "VER1.12");
    registerEverything();
    bool readyInLoop = false;
    UiScript script({
        {always, [] { openTcp(kRunAddr, 0); }},
        {[&] { return logHas(*s, "SYST:VERS?"); },
         [&] {
             readyInLoop = ifp_get_ifready() == 1;
             hl::closePanel(ifp_panel());
         }},
    });
    EXPECT_EQ(runMain(), 0);
    EXPECT_TRUE(script.finished());
    EXPECT_FALSE(script.timedOut());
    EXPECT_TRUE(readyInLoop) << "the run's main loop keeps the link";
    const auto log = s->commandLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "*IDN?");
    EXPECT_EQ(log[1], "IM:MODE 0") << "a family instrument is sent its LOAD MODE";
    EXPECT_EQ(log[2], "SYST:VERS?");
    EXPECT_EQ(ifc_get_kzr_device(), 1);
    EXPECT_STREQ(ifc_get_model(), "PLZ-KZR 1000");
    EXPECT_EQ(ifc_get_im_version(), 1.12f);
    EXPECT_EQ(ifc_get_module_auto_cycle(), 1);
    EXPECT_EQ(ifp_panel(), -1);
    EXPECT_TRUE(hl::popups().empty());
}

TEST_F(AppTest, DroppedLinkEndsTheRunAndANewLinkStartsAnother)
{
    auto s = startSim(kAgainAddr, "ACME,IM3590,1,1", "VER1.07");
    registerEverything();
    auto versionQueries = [&] {
        const auto log = s->commandLog();
        return std::count(log.begin(), log.end(), "SYST:VERS?");
    };
    UiScript script({
        {always, [] { openTcp(kAgainAddr, 0); }},
        {[&] { return versionQueries() == 1; },
         [] { hl::commit(ifp_panel(), IFP_PANEL_OPEN, 0); }},
        {[] { return ifp_get_ifready() == 0; },
         [] { hl::commit(ifp_panel(), IFP_PANEL_OPEN, 1); }},
        {[&] { return versionQueries() == 2; }, [] { hl::closePanel(ifp_panel()); }},
    });
    EXPECT_EQ(runMain(), 0);
    EXPECT_TRUE(script.finished());
    EXPECT_FALSE(script.timedOut());
    const auto log = s->commandLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "*IDN?"), 2);
    EXPECT_EQ(ifc_get_im_version(), 1.07f);
    EXPECT_EQ(ifc_get_old_firmware(), 0);
    EXPECT_EQ(ifc_get_module_auto_cycle(), 0);
}

TEST_F(AppTest, MissingModuleVersionClosesTheLinkWithoutAMessage)
{
    auto peer = StreamPeer::tcp(kNoVersionAddr);
    ASSERT_TRUE(peer->listening());
    iotest::Gate asked;
    peer->accept().expect("*IDN?\r").send(iotest::tcpQueryAnswer("ACME,M,1,1"));
    for (int i = 0; i < IFP_QUERY_ATTEMPTS; ++i)
        peer->expect("SYST:VERS?\r").send("BUSY\r\n");
    peer->signal(asked).start();
    registerEverything();
    UiScript script({
        {always, [] { openTcp(kNoVersionAddr, 0); }},
        {[&] { return asked.wait(0) && !ifp_get_ifready(); },
         [] { hl::closePanel(ifp_panel()); }},
    });
    EXPECT_EQ(runMain(), 0);
    EXPECT_TRUE(script.finished());
    EXPECT_FALSE(script.timedOut());
    EXPECT_TRUE(hl::popups().empty());
    EXPECT_STREQ(ifc_get_model(), "M");
    // The link was closed by the run: nothing more came, and the peer saw the end.
    EXPECT_EQ(peer->finish(), "");
}

TEST_F(AppTest, MissingInterfacePanelEndsAtOnce)
{
    // Nothing registered: the panel cannot be loaded.
    EXPECT_EQ(runMain(), -1);
    ASSERT_EQ(hl::popups().size(), 1u);
    EXPECT_EQ(hl::popups()[0].title, "Error!");
}

}  // namespace
