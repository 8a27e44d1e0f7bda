#include "ui/resources/ifcPanel.h"

#include "ui/resources/layout.h"

#include <utility>

namespace {

using namespace resources;

// Panel 3, the interface panel.  The compact view ends just below the link
// row (the interface selector); the monitor view adds the message log, the
// command terminal and, lowest of all, the log-level ring.
UiPanelDef interface_panel() {
    constexpr int rowTop = 26; // link row; labels sit above the controls
    constexpr int width = 740;
    // The controls of each link kind share the space right of the selector;
    // only those of the chosen kind are visible.  The resource starts with TCP.
    constexpr int kindLeft = kMargin + 86 + 14;
    constexpr int openWidth = 84;
    constexpr int openLeft = width - kMargin - openWidth;
    constexpr int modeWidth = 156;
    // Monitor view.
    constexpr int logTop = rowTop + kRow + 30;
    constexpr int logHeight = 300;
    constexpr int cmdTop = logTop + logHeight + 28;
    constexpr int buttonWidth = 64;
    constexpr int buttonsLeft = width - kMargin - 3 * buttonWidth - 2 * 6;
    constexpr int levelTop = cmdTop + kRow + 28;

    // clang-format off
    UiPanelDef p{.id = IFP_PANEL, .title = "imbench - Interface ", .top = 60, .left = 60,
        .height = rowTop + kRow + 5, .width = width, .callback = "ifpCB",
        .controls = {
            {.id = IFP_PANEL_IFCSEL, .kind = K::Ring, .label = "Interface", .top = rowTop, .left = kMargin, .height = kRow, .width = 86,
                .callback = "ifcSelCb", .value = 2,
                .items = ui_items({{"GPIB", 0}, {"COM", 1}, {"TCP", 2}, {"UDP", 3}})},
            {.id = IFP_PANEL_GPIBADDR, .label = "GPIB address", .top = rowTop, .left = kindLeft, .height = kRow, .width = 90,
                .callback = "ifp_address_cb", .value = 1, .min = 0, .max = 30, .precision = 0, .visible = false},
            {.id = IFP_PANEL_COMPORT, .label = "COM port", .top = rowTop, .left = kindLeft, .height = kRow, .width = 64,
                .callback = "ifp_comport_cb", .value = 1, .min = 0, .max = 255, .precision = 0, .visible = false},
            {.id = IFP_PANEL_BAUD, .kind = K::Ring, .label = "Baud", .top = rowTop, .left = kindLeft + 72, .height = kRow, .width = 84,
                .callback = "ifp_address_cb", .value = 115200, .visible = false,
                .items = ui_items({{"9600", 9600}, {"19200", 19200}, {"38400", 38400}, {"57600", 57600}, {"115200", 115200}, {"230400", 230400}})},
            {.id = IFP_PANEL_COMPATH, .kind = K::String, .label = "Device (port map)", .top = rowTop, .left = kindLeft + 164, .height = kRow, .width = 140,
                .mode = VAL_NORMAL, .visible = false, .maxEntryLength = 255},
            {.id = IFP_PANEL_COMPATH_SET, .kind = K::Button, .label = "Set", .top = rowTop, .left = kindLeft + 308, .height = kRow, .width = 40,
                .callback = "ifp_compath_cb", .visible = false},
            {.id = IFP_PANEL_IPADDR, .kind = K::String, .label = "IP address", .top = rowTop, .left = kindLeft, .height = kRow, .width = 160,
                .callback = "ifp_address_cb", .text = "127.0.0.1", .mode = VAL_NORMAL, .maxEntryLength = IFP_IPADDR_MAX},
            {.id = IFP_PANEL_DEVMODE, .kind = K::Ring, .label = "Device mode", .top = rowTop, .left = openLeft - 12 - modeWidth, .height = kRow, .width = modeWidth,
                .callback = "ifp_devmode_cb", .value = 0, .visible = false,
                .items = ui_items({{"0  IM measurement", 0}, {"1  Electronic load", 1}, {"2  Power supply", 2}, {"3  (reserved)", 3}, {"4  (reserved)", 4},
                    {"5  (reserved)", 5}, {"6  (reserved)", 6}, {"7  (reserved)", 7}, {"8  (reserved)", 8}, {"9  (reserved)", 9}})},
            {.id = IFP_PANEL_OPEN, .kind = K::Toggle, .top = rowTop, .left = openLeft, .height = kRow, .width = openWidth,
                .callback = "ifpopenCB", .value = 0, .onText = "Close", .offText = "Open"},
            {.id = IFP_PANEL_MSG, .kind = K::TextBox, .label = "Messages", .top = logTop, .left = kMargin, .height = logHeight, .width = width - 2 * kMargin,
                .mode = VAL_INDICATOR},
            // Enter in the box sends the command (and reads the reply of a query).
            {.id = IFP_PANEL_CMD, .kind = K::String, .label = "Command", .top = cmdTop, .left = kMargin, .height = kRow, .width = buttonsLeft - 12 - kMargin,
                .callback = "txCB", .mode = VAL_HOT, .dimmed = true, .maxEntryLength = IFP_CMD_MAX},
        }};

    const std::pair<int, const char*> buttons[] = {{IFP_PANEL_TX, "TX"}, {IFP_PANEL_RX, "RX"}, {IFP_PANEL_TXRX, "TX/RX"}};
    int left = buttonsLeft;
    for (const auto& [id, label] : buttons) {
        p.controls.push_back({.id = id, .kind = K::Button, .label = label, .top = cmdTop, .left = left, .height = kRow, .width = buttonWidth,
            .callback = "txCB", .dimmed = true});
        left += buttonWidth + 6;
    }

    p.controls.push_back({.id = IFP_PANEL_LOGLEVEL, .kind = K::Ring, .label = "Log level", .top = levelTop, .left = kMargin, .height = kRow, .width = 170,
        .value = 3, .items = ui_items({{"0  Nothing", 0}, {"1  Errors", 1}, {"2  Traffic", 2}, {"3  Errors and traffic", 3}})});
    p.controls.push_back({.id = IFP_PANEL_CLEAR, .kind = K::Button, .label = "Clear log", .top = levelTop, .left = width - kMargin - 90, .height = kRow, .width = 90,
        .callback = "ifc_msg_clear"});
    // clang-format on
    return p;
}

} // namespace

void ifcPanel_register_resource() {
    ui_register_resource({.file = IFC_PANEL_FILE,
        .panels = {interface_panel(), ifcPanel_vc_panel(), ifcPanel_meter_panel(), ifcPanel_nyqust_panel(),
            ifcPanel_bode_panel(), ifcPanel_main_panel(), ifcPanel_dcsw_panel(), ifcPanel_progress_panel()},
        .menuBars = {ifcPanel_main_menubar(), ifcPanel_display_menubar()}});
}
