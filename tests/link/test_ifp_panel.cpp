// The interface panel on the headless driver: views, the message log and its
// filter, device.cfg, the device-mode selector, the port map display.
#include "tests/link/ifp_fixture.h"

#include "platform/portmap.h"

#include <string>

namespace {

using ifptest::IfpTest;
namespace hl = ui::headless;

TEST_F(IfpTest, TitleCarriesTheVersion)
{
    show();
    std::string title;
    ASSERT_EQ(GetPanelAttribute(panel_, ATTR_TITLE, &title), 0);
    EXPECT_EQ(title, "imbench - Interface (V3.10)");
    // Showing it again does not append the version twice.
    ifp_active(0);
    ifp_active(1);
    ASSERT_EQ(GetPanelAttribute(panel_, ATTR_TITLE, &title), 0);
    EXPECT_EQ(title, "imbench - Interface (V3.10)");
}

TEST_F(IfpTest, ViewSizesFollowTheSelectorAndTheLogLevelRing)
{
    show();
    const ui::Panel* p = ui::panel(panel_);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->visible);
    const int compact = heightBelow(IFP_PANEL_IFCSEL);
    const int monitor = heightBelow(IFP_PANEL_LOGLEVEL);
    ASSERT_GT(monitor, compact);
    EXPECT_EQ(panelHeight(), compact);
    EXPECT_EQ(ifp_get_monitor_view(), 0);

    ASSERT_EQ(hl::rightDoubleClick(panel_, IFP_PANEL_IFCSEL), 0);
    hl::deliver();
    EXPECT_EQ(panelHeight(), monitor);
    EXPECT_EQ(ifp_get_monitor_view(), 1);

    ASSERT_EQ(hl::rightDoubleClick(panel_, IFP_PANEL_IFCSEL), 0);
    hl::deliver();
    EXPECT_EQ(panelHeight(), compact);
    EXPECT_EQ(ifp_get_monitor_view(), 0);

    // Hidden and shown again, the panel keeps its view.
    ifp_set_monitor_view(1);
    ifp_active(0);
    EXPECT_FALSE(ui::panel(panel_)->visible);
    ifp_active(1);
    EXPECT_TRUE(ui::panel(panel_)->visible);
    EXPECT_EQ(panelHeight(), monitor);
}

TEST_F(IfpTest, MonitorViewRoutesTransportMessagesToTheLog)
{
    show();
    setLogLevel(3);
    // A COM port of 0 makes the transport complain before it opens anything.
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IFCSEL, IO_COM), 0);
    hl::deliver();
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_COMPORT, 0), 0);
    const std::string prompt = "Input the COM port number which connect to VTX (1..255):";

    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
    EXPECT_FALSE(hasLine("ERR:") || hasLine(prompt)) << "compact view: no transport messages";
    EXPECT_TRUE(hasLine(" failed!"));

    ifp_set_monitor_view(1);
    ResetTextBox(panel_, IFP_PANEL_MSG, "");
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
    // "\n\nInput ..." with the prefix: "ERR:", "", "Input ...".
    const int err = lineIndex("ERR:");
    ASSERT_GE(err, 0);
    EXPECT_EQ(lineIndex(prompt, err), err + 2);
    EXPECT_GT(lineIndex(" failed!"), err);

    ifp_set_monitor_view(0);
    ResetTextBox(panel_, IFP_PANEL_MSG, "");
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
    EXPECT_FALSE(hasLine(prompt));
}

struct FilterCase {
    int ring;
    bool errorShown;
    bool trafficShown;
};

TEST_F(IfpTest, LogLevelRingFiltersErrorsAndTraffic)
{
    show();
    const FilterCase cases[] = {
        {0, false, false}, {1, true, false}, {2, false, true}, {3, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("ring " + std::to_string(c.ring));
        setLogLevel(c.ring);
        ResetTextBox(panel_, IFP_PANEL_MSG, "");
        wprintf(1, "bad %d", 7);
        wprintf(0, "\nTX: %s", "VOLT 1");
        wprintf(2, "other %s", "traffic");
        EXPECT_EQ(hasLine("ERR:bad 7"), c.errorShown);
        EXPECT_EQ(hasLine("TX: VOLT 1"), c.trafficShown);
        EXPECT_EQ(hasLine("other traffic"), c.trafficShown);
        // The unfiltered printf reaches the log at every level.
        ifp_printf("always %d", c.ring);
        ASSERT_FALSE(log().empty());
        EXPECT_NE(log().back().find("always " + std::to_string(c.ring)), std::string::npos);
    }
}

TEST_F(IfpTest, LongTextsAreCutToTheirBuffersAndMarked)
{
    show();
    setLogLevel(3);
    const std::string longText(400, 'x');
    wprintf(0, "%s", longText.c_str());
    std::string line = log().back();
    EXPECT_EQ(line.size(), static_cast<std::size_t>(IFP_WPRINTF_SIZE - 1));
    EXPECT_EQ(line.substr(line.size() - 3), "...");

    wprintf(1, "%s", longText.c_str());
    line = log().back();
    EXPECT_EQ(line.size(), static_cast<std::size_t>(IFP_WPRINTF_SIZE - 1));
    EXPECT_EQ(line.substr(0, 5), "ERR:x");
    EXPECT_EQ(line.substr(line.size() - 3), "...");

    const std::string veryLong(1000, 'y');
    ResetTextBox(panel_, IFP_PANEL_MSG, "");
    ifp_printf("%s", veryLong.c_str());
    line = log().back();
    EXPECT_EQ(line.size(), static_cast<std::size_t>(IFP_PRINTF_SIZE - 1));
    EXPECT_EQ(line.substr(line.size() - 3), "...");

    // A text that fits is left alone.
    const std::string fits(IFP_WPRINTF_SIZE - 1, 'z');
    wprintf(0, "%s", fits.c_str());
    EXPECT_EQ(log().back(), fits);
}

TEST_F(IfpTest, ClearButtonEmptiesTheLog)
{
    show();
    setLogLevel(3);
    wprintf(0, "something");
    ASSERT_TRUE(hasLine("something"));
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_CLEAR), 0);
    hl::deliver();
    EXPECT_FALSE(hasLine("something"));
}

struct CfgCase {
    const char* content;   // nullptr: no file
    bool shown;
    int mode;
};

TEST_F(IfpTest, DeviceCfgSetsTheSelectorWhenTheFileHoldsANumber)
{
    // The resource file hides the selector with mode 0.
    const CfgCase cases[] = {
        {"12\n", true, 2}, {"1\n", false, 1}, {"10", true, 0}, {"2\r\n", false, 2},
        {"  7 apples\n", false, 7}, {"+11\n", true, 1}, {"19\n", true, 9},
        {"a\n", false, 0}, {"", false, 0}, {"\n12\n", false, 0}, {"-1\n", false, 0},
        {"99999999999\n", false, 0}, {nullptr, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content ? std::string("\"") + c.content + "\"" : "no file");
        if (c.content)
            writeFile("device.cfg", c.content);
        show();
        EXPECT_EQ(visible(IFP_PANEL_DEVMODE), c.shown);
        EXPECT_EQ(ifp_get_device_mode(), c.mode);
        ifp_quit();
        std::remove((dir_ + "/device.cfg").c_str());
    }
}

TEST_F(IfpTest, DeviceCfgReadGivesMinusOneForNoNumber)
{
    const std::pair<const char*, int> cases[] = {
        {"12\n", 12}, {"0\n", 0}, {"-3\n", -3}, {"x1\n", -1}, {"", -1}, {"2147483648\n", -1},
        {" \t+7 and more\n", 7}, {"+-5\n", -1}, {"--5\n", -1}, {"-\n", -1},
    };
    for (const auto& [content, want] : cases) {
        SCOPED_TRACE(content);
        writeFile("device.cfg", content);
        int value = 555;
        ifp_device_cfg(&value, 0);
        EXPECT_EQ(value, want);
    }
    std::remove((dir_ + "/device.cfg").c_str());
    int value = 555;
    ifp_device_cfg(&value, 0);
    EXPECT_EQ(value, -1);

    value = 11;
    ifp_device_cfg(&value, 1);
    EXPECT_EQ(readFile("device.cfg"), "11\n");
}

TEST_F(IfpTest, DeviceModeSelectorChangesAreStoredAtQuit)
{
    writeFile("device.cfg", "1\n");
    show();
    ASSERT_FALSE(visible(IFP_PANEL_DEVMODE));
    // Right double-click on Open shows the selector and marks the change.
    ASSERT_EQ(hl::rightDoubleClick(panel_, IFP_PANEL_OPEN), 0);
    hl::deliver();
    EXPECT_TRUE(visible(IFP_PANEL_DEVMODE));
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_DEVMODE, 2), 0);
    hl::deliver();
    ifp_quit();
    EXPECT_EQ(ifp_panel(), -1);
    EXPECT_EQ(readFile("device.cfg"), "12\n");

    // Shown and hidden again: stored hidden with the mode.
    show();
    EXPECT_TRUE(visible(IFP_PANEL_DEVMODE));
    EXPECT_EQ(ifp_get_device_mode(), 2);
    ASSERT_EQ(hl::rightDoubleClick(panel_, IFP_PANEL_OPEN), 0);
    hl::deliver();
    EXPECT_FALSE(visible(IFP_PANEL_DEVMODE));
    ifp_quit();
    EXPECT_EQ(readFile("device.cfg"), "2\n");
}

TEST_F(IfpTest, DeviceCfgIsLeftAloneWithoutAChange)
{
    writeFile("device.cfg", "12 kept as written\n");
    show();
    ifp_set_monitor_view(1);
    ifp_quit();
    EXPECT_EQ(readFile("device.cfg"), "12 kept as written\n");

    // No file and no change: none is made.
    std::remove((dir_ + "/device.cfg").c_str());
    show();
    ifp_quit();
    EXPECT_FALSE(fileExists("device.cfg"));
}

TEST_F(IfpTest, SelectorShowsTheControlsOfTheChosenKind)
{
    show();
    struct Shown {
        int kind;
        bool gpib, com, ip;
    };
    const Shown cases[] = {
        {IO_GPIB, true, false, false},
        {IO_COM, false, true, false},
        {IO_TCP, false, false, true},
        {IO_UDP, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IFCSEL, c.kind), 0);
        hl::deliver();
        EXPECT_EQ(visible(IFP_PANEL_GPIBADDR), c.gpib);
        for (int control : {IFP_PANEL_COMPORT, IFP_PANEL_BAUD, IFP_PANEL_COMPATH,
                            IFP_PANEL_COMPATH_SET})
            EXPECT_EQ(visible(control), c.com) << control;
        EXPECT_EQ(visible(IFP_PANEL_IPADDR), c.ip);
    }
}

TEST_F(IfpTest, IpAddressBoxTakesAtMostNineteenCharacters)
{
    show();
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IPADDR, std::string(30, '1')), 0);
    std::string text;
    ASSERT_EQ(GetCtrlVal(panel_, IFP_PANEL_IPADDR, &text), 0);
    EXPECT_EQ(text.size(), 19u);
}

TEST_F(IfpTest, ComPortShowsAndEditsItsPortMapEntry)
{
    portmap::overrideCom(7, "/dev/ttyUSB3");
    show();
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IFCSEL, IO_COM), 0);
    hl::deliver();
    std::string path;
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_COMPORT, 7), 0);
    hl::deliver();
    ASSERT_EQ(GetCtrlVal(panel_, IFP_PANEL_COMPATH, &path), 0);
    EXPECT_EQ(path, "/dev/ttyUSB3");

    // An unmapped port shows the default device.
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_COMPORT, 4), 0);
    hl::deliver();
    ASSERT_EQ(GetCtrlVal(panel_, IFP_PANEL_COMPATH, &path), 0);
    EXPECT_EQ(path, "/dev/ttyS3");

    // Edited and set, the entry lands in the map file.
    ResetTextBox(panel_, IFP_PANEL_MSG, "");
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_COMPATH, std::string("/dev/ttyACM0")), 0);
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_COMPATH_SET), 0);
    hl::deliver();
    EXPECT_EQ(portmap::comPath(4), "/dev/ttyACM0");
    EXPECT_NE(readFile("ports.cfg").find("/dev/ttyACM0"), std::string::npos);
    EXPECT_TRUE(hl::popups().empty());

    // Port 0 has no entry to edit.
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_COMPORT, 0), 0);
    hl::deliver();
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_COMPATH_SET), 0);
    hl::deliver();
    ASSERT_EQ(hl::popups().size(), 1u);
    EXPECT_EQ(hl::popups()[0].title, "Port map");
}

TEST_F(IfpTest, ClosingThePanelAsksToQuit)
{
    show();
    EXPECT_EQ(ifp_get_quit(), 0);
    ASSERT_EQ(hl::closePanel(panel_), 0);
    hl::deliver();
    EXPECT_EQ(ifp_get_quit(), 1);
    ifp_quit();
    EXPECT_EQ(ifp_panel(), -1);
    // A new panel starts without the quit request.
    show();
    EXPECT_EQ(ifp_get_quit(), 0);
}

TEST_F(IfpTest, TerminalIsDimmedWhileNoLinkIsOpen)
{
    show();
    for (int control : {IFP_PANEL_CMD, IFP_PANEL_TX, IFP_PANEL_RX, IFP_PANEL_TXRX})
        EXPECT_TRUE(dimmed(control)) << control;
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(ifp_link_handle(), -1);
}

}  // namespace
