// "ifcPanel.uir": the panels and the menu bar of the measurement tool and of
// the interface panel.  Panel ids are the resource ids given to LoadPanel;
// control ids are unique within their panel.
#pragma once

#include "ui/resources/ifcPanel_displays.h"
#include "ui/resources/ifcPanel_main.h"
#include "ui/resources/ifcPanel_progress.h"

inline constexpr char IFC_PANEL_FILE[] = "ifcPanel.uir";

// ---- panel 3: the interface panel --------------------------------------------
enum { IFP_PANEL = 3 };

enum {
    IFP_PANEL_IFCSEL = 2, // ring: link kind 0 GPIB, 1 COM, 2 TCP, 3 UDP
    IFP_PANEL_GPIBADDR = 3, // numeric: GPIB primary address
    IFP_PANEL_COMPORT = 4, // numeric: COM port number
    IFP_PANEL_BAUD = 5, // ring: COM bits per second
    IFP_PANEL_COMPATH = 6, // string: the port map's device path of the COM port
    IFP_PANEL_COMPATH_SET = 7, // button: stores COMPATH in the port map
    IFP_PANEL_IPADDR = 8, // string: peer IPv4 address, at most 19 characters
    IFP_PANEL_DEVMODE = 9, // ring: device mode 0..9
    IFP_PANEL_OPEN = 10, // toggle: open / close the link
    IFP_PANEL_MSG = 11, // text box: the message log
    IFP_PANEL_CMD = 12, // string: command text of the terminal
    IFP_PANEL_TX = 13, // button: send
    IFP_PANEL_RX = 14, // button: read one reply
    IFP_PANEL_TXRX = 15, // button: send, then read one reply
    IFP_PANEL_LOGLEVEL = 16, // ring: 0 nothing, 1 errors, 2 traffic, 3 both
    IFP_PANEL_CLEAR = 17, // button: empties the message log
};

// The IP address box holds at most this many characters.
inline constexpr int IFP_IPADDR_MAX = 19;
// The command box holds at most this many characters (a 200-byte buffer).
inline constexpr int IFP_CMD_MAX = 199;

// Registers the table of "ifcPanel.uir" with the toolkit.
void ifcPanel_register_resource();
