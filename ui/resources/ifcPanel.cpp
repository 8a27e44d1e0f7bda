#include "ui/resources/ifcPanel.h"

#include "ui/resource.h"

#include <string>
#include <utility>
#include <vector>

namespace {

// Panel 3, the interface panel.  The compact view ends just below the link
// row (the interface selector); the monitor view adds the message log, the
// command terminal and, lowest of all, the log-level ring.
UiPanelDef interface_panel() {
    constexpr int margin = 12;
    constexpr int rowTop = 26; // link row; labels sit above the controls
    constexpr int rowHeight = 26;
    constexpr int width = 740;

    UiPanelDef p;
    p.id = IFP_PANEL;
    p.title = "imbench - Interface ";
    p.top = 60;
    p.left = 60;
    p.width = width;
    p.height = rowTop + rowHeight + 5;
    p.callback = "ifpCB";

    auto& cs = p.controls;

    UiCtrlDef sel = ui_ctrl(IFP_PANEL_IFCSEL, UiCtrlKind::Ring, VAL_INTEGER, "Interface", rowTop,
        margin, rowHeight, 86);
    sel.items = ui_items({{"GPIB", 0}, {"COM", 1}, {"TCP", 2}, {"UDP", 3}});
    sel.value = 2;
    sel.callback = "ifcSelCb";
    cs.push_back(sel);

    // The controls of each link kind share the space right of the selector;
    // only those of the chosen kind are visible.  The resource starts with TCP.
    constexpr int kindLeft = margin + 86 + 14;

    UiCtrlDef gpib = ui_ctrl(IFP_PANEL_GPIBADDR, UiCtrlKind::Numeric, VAL_INTEGER, "GPIB address",
        rowTop, kindLeft, rowHeight, 90);
    gpib.min = 0;
    gpib.max = 30;
    gpib.value = 1;
    gpib.precision = 0;
    gpib.visible = false;
    gpib.callback = "ifp_address_cb";
    cs.push_back(gpib);

    UiCtrlDef port = ui_ctrl(IFP_PANEL_COMPORT, UiCtrlKind::Numeric, VAL_INTEGER, "COM port", rowTop,
        kindLeft, rowHeight, 64);
    port.min = 0;
    port.max = 255;
    port.value = 1;
    port.precision = 0;
    port.visible = false;
    port.callback = "ifp_comport_cb";
    cs.push_back(port);

    UiCtrlDef baud = ui_ctrl(IFP_PANEL_BAUD, UiCtrlKind::Ring, VAL_INTEGER, "Baud", rowTop,
        kindLeft + 72, rowHeight, 84);
    baud.items = ui_items({{"9600", 9600},
        {"19200", 19200},
        {"38400", 38400},
        {"57600", 57600},
        {"115200", 115200},
        {"230400", 230400}});
    baud.value = 115200;
    baud.visible = false;
    baud.callback = "ifp_address_cb";
    cs.push_back(baud);

    UiCtrlDef path = ui_ctrl(IFP_PANEL_COMPATH, UiCtrlKind::String, VAL_STRING, "Device (port map)",
        rowTop, kindLeft + 164, rowHeight, 140);
    path.mode = VAL_NORMAL;
    path.maxEntryLength = 255;
    path.visible = false;
    cs.push_back(path);

    UiCtrlDef pathSet = ui_ctrl(IFP_PANEL_COMPATH_SET, UiCtrlKind::Button, VAL_NO_TYPE, "Set",
        rowTop, kindLeft + 308, rowHeight, 40);
    pathSet.callback = "ifp_compath_cb";
    pathSet.visible = false;
    cs.push_back(pathSet);

    UiCtrlDef ip = ui_ctrl(IFP_PANEL_IPADDR, UiCtrlKind::String, VAL_STRING, "IP address", rowTop,
        kindLeft, rowHeight, 160);
    ip.mode = VAL_NORMAL;
    ip.maxEntryLength = IFP_IPADDR_MAX;
    ip.text = "127.0.0.1";
    ip.callback = "ifp_address_cb";
    cs.push_back(ip);

    constexpr int openWidth = 84;
    constexpr int openLeft = width - margin - openWidth;
    constexpr int modeWidth = 156;

    UiCtrlDef mode = ui_ctrl(IFP_PANEL_DEVMODE, UiCtrlKind::Ring, VAL_INTEGER, "Device mode", rowTop,
        openLeft - 12 - modeWidth, rowHeight, modeWidth);
    mode.items = ui_items({{"0  IM measurement", 0},
        {"1  Electronic load", 1},
        {"2  Power supply", 2},
        {"3  (reserved)", 3},
        {"4  (reserved)", 4},
        {"5  (reserved)", 5},
        {"6  (reserved)", 6},
        {"7  (reserved)", 7},
        {"8  (reserved)", 8},
        {"9  (reserved)", 9}});
    mode.value = 0;
    mode.visible = false;
    mode.callback = "ifp_devmode_cb";
    cs.push_back(mode);

    UiCtrlDef open = ui_ctrl(IFP_PANEL_OPEN, UiCtrlKind::Toggle, VAL_INTEGER, "", rowTop, openLeft,
        rowHeight, openWidth);
    open.offText = "Open";
    open.onText = "Close";
    open.value = 0;
    open.callback = "ifpopenCB";
    cs.push_back(open);

    // Monitor view.
    constexpr int logTop = rowTop + rowHeight + 30;
    constexpr int logHeight = 300;
    UiCtrlDef msg = ui_ctrl(IFP_PANEL_MSG, UiCtrlKind::TextBox, VAL_STRING, "Messages", logTop,
        margin, logHeight, width - 2 * margin);
    msg.mode = VAL_INDICATOR;
    cs.push_back(msg);

    constexpr int cmdTop = logTop + logHeight + 28;
    constexpr int buttonWidth = 64;
    constexpr int buttonsLeft = width - margin - 3 * buttonWidth - 2 * 6;
    UiCtrlDef cmd = ui_ctrl(IFP_PANEL_CMD, UiCtrlKind::String, VAL_STRING, "Command", cmdTop, margin,
        rowHeight, buttonsLeft - 12 - margin);
    // Enter in the box sends the command (and reads the reply of a query).
    cmd.mode = VAL_HOT;
    cmd.callback = "txCB";
    cmd.maxEntryLength = IFP_CMD_MAX;
    cmd.dimmed = true;
    cs.push_back(cmd);

    const std::pair<int, const char*> buttons[] = {
        {IFP_PANEL_TX, "TX"}, {IFP_PANEL_RX, "RX"}, {IFP_PANEL_TXRX, "TX/RX"}};
    int left = buttonsLeft;
    for (const auto& [id, label] : buttons) {
        UiCtrlDef b = ui_ctrl(id, UiCtrlKind::Button, VAL_NO_TYPE, label, cmdTop, left, rowHeight,
            buttonWidth);
        b.callback = "txCB";
        b.dimmed = true;
        cs.push_back(b);
        left += buttonWidth + 6;
    }

    constexpr int levelTop = cmdTop + rowHeight + 28;
    UiCtrlDef level = ui_ctrl(IFP_PANEL_LOGLEVEL, UiCtrlKind::Ring, VAL_INTEGER, "Log level",
        levelTop, margin, rowHeight, 170);
    level.items = ui_items({{"0  Nothing", 0},
        {"1  Errors", 1},
        {"2  Traffic", 2},
        {"3  Errors and traffic", 3}});
    level.value = 3;
    cs.push_back(level);

    UiCtrlDef clear = ui_ctrl(IFP_PANEL_CLEAR, UiCtrlKind::Button, VAL_NO_TYPE, "Clear log",
        levelTop, width - margin - 90, rowHeight, 90);
    clear.callback = "ifc_msg_clear";
    cs.push_back(clear);

    return p;
}

} // namespace

void ifcPanel_register_resource() {
    UiResourceDef def;
    def.file = IFC_PANEL_FILE;
    def.panels.push_back(interface_panel());
    def.panels.push_back(ifcPanel_vc_panel());
    def.panels.push_back(ifcPanel_meter_panel());
    def.panels.push_back(ifcPanel_nyqust_panel());
    def.panels.push_back(ifcPanel_bode_panel());
    def.panels.push_back(ifcPanel_main_panel());
    def.panels.push_back(ifcPanel_dcsw_panel());
    def.panels.push_back(ifcPanel_progress_panel());
    def.menuBars.push_back(ifcPanel_main_menubar());
    ui_register_resource(std::move(def));
}
