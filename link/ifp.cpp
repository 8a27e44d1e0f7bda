#include "link/ifp.h"

#include "link/ifp_links.h"
#include "link/io.h"
#include "platform/gpib.h"
#include "platform/portmap.h"
#include "platform/rs232.h"
#include "platform/safe_file.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::size_t IFP_CFG_PATH_SIZE = MAX_PATHNAME_LEN;
constexpr char IFP_CFG_NAME[] = "device.cfg";
constexpr int IFP_DEFAULT_BAUD = 115200;
constexpr char IFP_BROADCAST_ADDRESS[] = "255.255.255.255";
// Marks a text cut to its buffer, so a long line in the log shows it is not whole.
constexpr char IFP_CUT_MARK[] = "...";

struct IfpState {
    int panel = -1;
    int quit = 0;
    int monitor = 0;
    int ready = 0;
    // ifp_send_query can nest (transport waits run callbacks that query
    // again), so this counts the calls under way instead of being a flag.
    int operations = 0;
    int changed = 0;
    int kind = 0;
    int link = -1;
    // A link the user closed while a query was using it: closed when the
    // outermost query ends.
    int pendingClose = -1;
    // An open is under way (a TCP connect runs callbacks while it waits).
    bool opening = false;
    unsigned failedQueries = 0;
    int (*runnable)(int mode) = nullptr;
    // The mode device.cfg held, stored in place of one that cannot run.
    int storedMode = 0;
    // The last address of each link kind, and whether the user changed a
    // link field since it was stored: then a successful open stores it.
    IfpLinks links;
    bool linkEdited = false;
    int shownKind = -1; // the kind whose fields the panel shows
    std::string openFailure; // why the last open failed, for the user
};

IfpState s;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// printf into a fixed buffer; a text that does not fit ends in IFP_CUT_MARK.
void format_cut(char* buffer, std::size_t size, const char* format, std::va_list args)
{
    int n = std::vsnprintf(buffer, size, format, args);
    if (n < 0) {
        buffer[0] = '\0';
        return;
    }
    if (static_cast<std::size_t>(n) >= size && size > sizeof IFP_CUT_MARK)
        std::memcpy(buffer + size - sizeof IFP_CUT_MARK, IFP_CUT_MARK, sizeof IFP_CUT_MARK);
}

void ifp_resize()
{
    if (s.panel < 0)
        return;
    int control = s.monitor ? IFP_PANEL_LOGLEVEL : IFP_PANEL_IFCSEL;
    int top = 0, left = 0, height = 0, width = 0;
    if (GetCtrlBoundingRect(s.panel, control, &top, &left, &height, &width) < 0)
        return;
    SetPanelAttribute(s.panel, ATTR_HEIGHT, top + height + 5);
}

void set_terminal_dimmed(int dimmed)
{
    for (int control : {IFP_PANEL_CMD, IFP_PANEL_TX, IFP_PANEL_TXRX, IFP_PANEL_RX})
        SetCtrlAttribute(s.panel, control, ATTR_DIMMED, dimmed);
}

// Shows the controls of one link kind and hides those of the others.
void show_kind_controls(int kind)
{
    if (kind < IO_GPIB || kind > IO_UDP)
        return;
    SetCtrlAttribute(s.panel, IFP_PANEL_GPIBADDR, ATTR_VISIBLE, kind == IO_GPIB);
    for (int control : {IFP_PANEL_COMPORT, IFP_PANEL_BAUD, IFP_PANEL_COMPATH, IFP_PANEL_COMPATH_SET})
        SetCtrlAttribute(s.panel, control, ATTR_VISIBLE, kind == IO_COM);
    SetCtrlAttribute(s.panel, IFP_PANEL_IPADDR, ATTR_VISIBLE, kind == IO_TCP || kind == IO_UDP);
}

// On Linux a COM number means nothing by itself: show the device it maps to.
void show_com_path()
{
    int port = 0;
    GetCtrlVal(s.panel, IFP_PANEL_COMPORT, &port);
    SetCtrlVal(s.panel, IFP_PANEL_COMPATH, portmap::comPath(port));
}

// The IP address box serves TCP and UDP: each keeps its own address.
std::string* remembered_address(int kind)
{
    return kind == IO_TCP ? &s.links.tcp : kind == IO_UDP ? &s.links.udp
                                                          : nullptr;
}

void apply_links()
{
    const IfpLinks& l = s.links;
    if (l.kind >= 0)
        SetCtrlVal(s.panel, IFP_PANEL_IFCSEL, l.kind);
    if (l.gpib >= 0)
        SetCtrlVal(s.panel, IFP_PANEL_GPIBADDR, l.gpib);
    if (l.com >= 0)
        SetCtrlVal(s.panel, IFP_PANEL_COMPORT, l.com);
    if (l.baud > 0)
        SetCtrlVal(s.panel, IFP_PANEL_BAUD, l.baud); // refused unless it is one of the offered speeds
    int kind = 0;
    GetCtrlVal(s.panel, IFP_PANEL_IFCSEL, &kind);
    const std::string* address = remembered_address(kind);
    if (!address || address->empty())
        address = l.tcp.empty() ? &l.udp : &l.tcp;
    if (!address->empty())
        SetCtrlVal(s.panel, IFP_PANEL_IPADDR, address->c_str());
    show_kind_controls(kind);
    s.shownKind = kind;
}

// After a successful open: the link's fields, if the user changed them.
void store_links()
{
    if (!s.linkEdited)
        return;
    s.linkEdited = false;
    IfpLinks& l = s.links;
    l.kind = s.kind;
    if (s.kind == IO_GPIB) {
        GetCtrlVal(s.panel, IFP_PANEL_GPIBADDR, &l.gpib);
    } else if (s.kind == IO_COM) {
        GetCtrlVal(s.panel, IFP_PANEL_COMPORT, &l.com);
        GetCtrlVal(s.panel, IFP_PANEL_BAUD, &l.baud);
    } else if (std::string* address = remembered_address(s.kind)) {
        GetCtrlVal(s.panel, IFP_PANEL_IPADDR, address);
    }
    if (const std::string problem = ifp_links_save(l); !problem.empty())
        wprintf(1, "The link's address is not remembered: %s", problem.c_str());
}

bool mode_runnable(int mode) { return !s.runnable || s.runnable(mode); }

void apply_device_cfg(int value)
{
    s.storedMode = 0;
    if (value < 0)
        return;
    SetCtrlAttribute(s.panel, IFP_PANEL_DEVMODE, ATTR_VISIBLE, value > 9 ? 1 : 0);
    // An earlier version may have stored a mode that would only be refused.
    if (mode_runnable(value % 10)) {
        s.storedMode = value % 10;
        SetCtrlVal(s.panel, IFP_PANEL_DEVMODE, s.storedMode);
    }
}

// Closes the link, or leaves it to the query that is using it, and shows the
// panel closed.
void link_down()
{
    if (s.ready && s.link >= 0) {
        if (s.operations == 0)
            io_close(s.link);
        else
            s.pendingClose = s.link;
    }
    s.link = -1;
    s.ready = 0;
    if (s.panel >= 0) {
        set_terminal_dimmed(1);
        SetCtrlVal(s.panel, IFP_PANEL_OPEN, 0);
    }
}

// Why an open failed, as one line for the user: the platform layers' own
// sentence where they have one.
std::string open_failure_reason(int kind, int address, const std::string& ip)
{
    std::string text;
    switch (kind) {
    case IO_GPIB:
        text = "GPIB address " + std::to_string(address) + ": ";
        text += address < 0 ? std::string("choose an address from 0 to 30.") : gpib_last_error_text();
        break;
    case IO_COM:
        // The serial layer's sentence names the port and its device already.
        text = address >= 1 ? rs232_last_error_text() : "";
        if (text.empty())
            text = "COM" + std::to_string(address) + ": " +
                (address < 1 ? "choose a COM port from 1 to 255." : "");
        break;
    default: {
        in_addr parsed{};
        text = (kind == IO_TCP ? "TCP " : "UDP ") + ip + ": ";
        if (inet_aton(ip.c_str(), &parsed) == 0)
            text += "this is not an IP address such as 192.168.0.10.";
        else if (kind == IO_TCP)
            text += "nothing accepted a connection on port " + std::to_string(IO_PORT) +
                ". Is the instrument on, and is this its address?";
        else
            text += "no UDP socket could be opened.";
    }
    }
    if (text.back() == ' ')
        text += "the link could not be opened.";
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return text;
}

} // namespace

// ---- message log --------------------------------------------------------------

void wprintf(int level, const char* format, ...)
{
    if (s.panel < 0)
        return;
    int ring = 0;
    GetCtrlVal(s.panel, IFP_PANEL_LOGLEVEL, &ring);
    bool shown = level == 1 ? (ring == 1 || ring == 3) : (ring == 2 || ring == 3);
    if (!shown)
        return;

    char line[IFP_WPRINTF_SIZE];
    constexpr char prefix[] = "ERR:";
    std::size_t start = 0;
    if (level == 1) {
        std::memcpy(line, prefix, sizeof prefix);
        start = sizeof prefix - 1;
    }
    std::va_list args;
    va_start(args, format);
    format_cut(line + start, sizeof line - start, format, args);
    va_end(args);
    InsertTextBoxLine(s.panel, IFP_PANEL_MSG, -1, line);
}

void ifp_printf(const char* format, ...)
{
    if (s.panel < 0)
        return;
    char text[IFP_PRINTF_SIZE];
    std::va_list args;
    va_start(args, format);
    format_cut(text, sizeof text, format, args);
    va_end(args);
    SetCtrlVal(s.panel, IFP_PANEL_MSG, text);
}

// ---- the panel --------------------------------------------------------------------

void ifp_active(int show)
{
    if (show != 1) {
        if (s.panel >= 0)
            HidePanel(s.panel);
        return;
    }
    if (s.panel < 0) {
        int panel = LoadPanel(0, IFC_PANEL_FILE, IFP_PANEL);
        if (panel < 0)
            return;
        // A freshly loaded panel starts a new life: compact view, no quit asked.
        s.panel = panel;
        s.quit = 0;
        s.monitor = 0;
        s.changed = 0;

        std::string title;
        GetPanelAttribute(panel, ATTR_TITLE, &title);
        title += "(V";
        title += IFP_VERSION_MAJOR;
        title += ".";
        title += IFP_VERSION_MINOR;
        title += ")";
        SetPanelAttribute(panel, ATTR_TITLE, title.c_str());

        int cfg = -1;
        ifp_device_cfg(&cfg, 0);
        apply_device_cfg(cfg);
        s.links = ifp_links_load();
        s.linkEdited = false;
        apply_links();
        show_com_path();
        if (const std::string problem = portmap::loadProblem(); !problem.empty())
            MessagePopup("Port map", problem.c_str());
    }
    ifp_resize();
    DisplayPanel(s.panel);
    GetCtrlVal(s.panel, IFP_PANEL_IFCSEL, &s.kind);
}

void ifp_quit()
{
    // Let the instrument go before the panel that owns the link does.
    if (s.ready)
        ifp_close();
    if (s.panel < 0)
        return;
    if (s.changed) {
        int visible = 0, mode = 0;
        GetCtrlAttribute(s.panel, IFP_PANEL_DEVMODE, ATTR_VISIBLE, &visible);
        GetCtrlVal(s.panel, IFP_PANEL_DEVMODE, &mode);
        int value = 10 * (visible ? 1 : 0) + (mode_runnable(mode) ? mode : s.storedMode);
        ifp_device_cfg(&value, 1);
    }
    if (s.monitor)
        io_hook_debug_printf(nullptr);
    s.monitor = 0;
    DiscardPanel(s.panel);
    s.panel = -1;
}

void ifp_close()
{
    if (!s.ready)
        return;
    if (s.panel < 0) {
        link_down();
        return;
    }
    SetCtrlVal(s.panel, IFP_PANEL_OPEN, 0);
    ifpopenCB(s.panel, IFP_PANEL_OPEN, EVENT_COMMIT, nullptr, 0, 0);
}

void ifp_set_device_mode_check(int (*runnable)(int mode)) { s.runnable = runnable; }

int ifp_get_quit() { return s.quit; }
unsigned ifp_failed_queries() { return s.failedQueries; }
int ifp_get_ifready() { return s.ready; }
int ifp_in_operation() { return s.operations > 0 ? 1 : 0; }
int ifp_panel() { return s.panel; }
int ifp_link_handle() { return s.link; }
int ifp_get_monitor_view() { return s.monitor; }

int ifp_get_device_mode()
{
    int mode = 0;
    if (s.panel >= 0)
        GetCtrlVal(s.panel, IFP_PANEL_DEVMODE, &mode);
    return mode;
}

void ifp_select_link(int kind, const char* address)
{
    if (s.panel < 0)
        return;
    if (SetCtrlVal(s.panel, IFP_PANEL_IFCSEL, kind) < 0)
        return;
    ifcSelCb(s.panel, IFP_PANEL_IFCSEL, EVENT_COMMIT, nullptr, 0, 0);
    if (address && (kind == IO_TCP || kind == IO_UDP))
        SetCtrlVal(s.panel, IFP_PANEL_IPADDR, address);
    GetCtrlVal(s.panel, IFP_PANEL_IFCSEL, &s.kind);
    // A choice made for the user (the demo's simulator) is not remembered.
    s.linkEdited = false;
}

void ifp_set_monitor_view(int on)
{
    if (s.panel >= 0 && (on ? 1 : 0) != s.monitor)
        ifcSelCb(s.panel, IFP_PANEL_IFCSEL, EVENT_RIGHT_DOUBLE_CLICK, nullptr, 0, 0);
}

// ---- the one way to the instrument -------------------------------------------------

int ifp_send_query(const char* command, char* reply, int size)
{
    ++s.operations;
    int result = 0;
    if (reply && size > 0)
        reply[0] = '\0';
    // The handle is taken once: a close asked for meanwhile is deferred and a
    // re-open gets another handle, so this call keeps talking to its own link.
    int link = s.link;
    if (s.ready && link >= 0 && (reply == nullptr || size > 0)) {
        for (int attempt = 0; attempt < IFP_QUERY_ATTEMPTS && result == 0; ++attempt) {
            bool failed = false, done = false;
            if (command) {
                failed = io_write(link, command) < 0;
                done = !failed;
            }
            if (!failed && reply) {
                failed = io_read(link, reply, size) < 0;
                done = !failed;
            }
            if (!failed && done)
                result = 1;
        }
    }
    --s.operations;
    if (!result)
        ++s.failedQueries;
    if (s.operations == 0 && s.pendingClose >= 0) {
        io_close(s.pendingClose);
        s.pendingClose = -1;
    }
    return result;
}

// ---- connection set-up ----------------------------------------------------------------

bool ifp_open_link()
{
    if (s.panel < 0)
        return false;
    GetCtrlVal(s.panel, IFP_PANEL_IFCSEL, &s.kind);
    s.openFailure.clear();
    wprintf(0, "\nOpen ");

    int address = 0;
    int baud = IFP_DEFAULT_BAUD;
    std::string ip;
    switch (s.kind) {
    case IO_GPIB:
        GetCtrlVal(s.panel, IFP_PANEL_GPIBADDR, &address);
        wprintf(0, "GPIB address %u", static_cast<unsigned>(address));
        break;
    case IO_COM:
        GetCtrlVal(s.panel, IFP_PANEL_COMPORT, &address);
        GetCtrlVal(s.panel, IFP_PANEL_BAUD, &baud);
        wprintf(0, "COM%u with %dbps", static_cast<unsigned>(address), baud);
        break;
    case IO_TCP:
    case IO_UDP:
        GetCtrlVal(s.panel, IFP_PANEL_IPADDR, &ip);
        // A longer text is no dotted address; cutting it could name another host.
        if (ip.size() > static_cast<std::size_t>(IFP_IPADDR_MAX)) {
            wprintf(1, "IP address longer than %d characters", IFP_IPADDR_MAX);
            wprintf(0, " failed!\n");
            s.openFailure = "The IP address is longer than a dotted address can be.";
            return false;
        }
        // Without a dot there is no address: ask everybody (UDP learns the peer
        // from the first answer).
        if (ip.find('.') == std::string::npos)
            ip = IFP_BROADCAST_ADDRESS;
        wprintf(0, s.kind == IO_TCP ? "TCP,IP address %s" : "UDP,IP address %s", ip.c_str());
        break;
    default:
        wprintf(0, "Unknown I/O\n");
        return false;
    }

    int handle = (s.kind == IO_GPIB || s.kind == IO_COM) ? io_open(s.kind, &address, baud)
                                                         : io_open(s.kind, ip.c_str(), baud);
    s.link = handle >= 0 ? handle : -1;
    if (handle >= 0) {
        wprintf(0, " successful!\n");
        return true;
    }
    wprintf(0, " failed!\n");
    s.openFailure = open_failure_reason(s.kind, address, ip);
    return false;
}

void ifp_device_cfg(int* value, int direction)
{
    char dir[IFP_CFG_PATH_SIZE];
    char path[IFP_CFG_PATH_SIZE];
    if (GetProjectDir(dir, sizeof dir) < 0) {
        std::snprintf(path, sizeof path, "%s", IFP_CFG_NAME);
    } else {
        int n = std::snprintf(path, sizeof path, "%s/%s", dir, IFP_CFG_NAME);
        // A cut path would name some other file: then there is no device.cfg.
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof path) {
            if (direction != 1)
                *value = -1;
            return;
        }
    }

    if (direction == 1) {
        // A new file replaces the old one whole: a crash leaves one or the other.
        char text[32];
        std::snprintf(text, sizeof text, "%d\n", *value);
        const safe_file::Result r = safe_file::save(path, text);
        if (!r.ok())
            wprintf(1, "device.cfg not written: %s", safe_file::describe(r).c_str());
        return;
    }
    *value = -1;
    std::string text;
    const safe_file::Result r = safe_file::read(path, IFP_CFG_MAX_SIZE, text);
    if (r.status == safe_file::Status::NotFound)
        return;
    if (!r.ok()) {
        const std::string why = std::string(path) + " is not used: " + safe_file::describe(r) + ".";
        MessagePopup("device.cfg", why.c_str());
        return;
    }
    *value = ifp_parse_device_cfg_text(text);
}

// ---- callbacks ---------------------------------------------------------------------------

int ifcSelCb(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_RIGHT_DOUBLE_CLICK) {
        s.monitor = !s.monitor;
        if (s.monitor)
            io_hook_debug_printf(wprintf);
        else
            io_hook_debug_printf(nullptr);
        ifp_resize();
    } else if (event == EVENT_COMMIT) {
        int kind = 0;
        GetCtrlVal(panel, control, &kind);
        // Leaving TCP for UDP or back keeps the typed address for its kind
        // and brings back the other kind's.
        if (std::string* typed = remembered_address(s.shownKind))
            GetCtrlVal(panel, IFP_PANEL_IPADDR, typed);
        if (const std::string* address = remembered_address(kind); address && !address->empty())
            SetCtrlVal(panel, IFP_PANEL_IPADDR, address->c_str());
        s.shownKind = kind;
        s.linkEdited = true;
        show_kind_controls(kind);
        if (kind == IO_COM)
            show_com_path();
    }
    return 0;
}

int ifp_address_cb(int, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT || event == EVENT_VAL_CHANGED)
        s.linkEdited = true;
    return 0;
}

int ifpopenCB(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_RIGHT_DOUBLE_CLICK) {
        int visible = 0;
        GetCtrlAttribute(panel, IFP_PANEL_DEVMODE, ATTR_VISIBLE, &visible);
        SetCtrlAttribute(panel, IFP_PANEL_DEVMODE, ATTR_VISIBLE, visible ? 0 : 1);
        s.changed = 1;
        return 0;
    }
    if (event != EVENT_COMMIT)
        return 0;
    // The open under way looks at the toggle again when it ends.
    if (s.opening)
        return 0;
    int on = 0;
    GetCtrlVal(panel, control, &on);
    if (on && s.ready)
        return 0;
    if (on) {
        s.opening = true;
        bool opened = ifp_open_link();
        s.opening = false;
        if (opened) {
            s.ready = 1;
            // The user may have switched the toggle off while a connect waited.
            GetCtrlVal(panel, control, &on);
            if (on) {
                set_terminal_dimmed(0);
                store_links();
                return 0;
            }
        }
    }
    link_down();
    // The log may be hidden: the reason goes where the user pressed Open,
    // once the toggle shows the link closed.
    if (!s.openFailure.empty()) {
        const std::string why = std::move(s.openFailure);
        s.openFailure.clear();
        ErrorPopup("Open failed", why.c_str());
    }
    return 0;
}

int ifpCB(int, int event, void*, int, int)
{
    if (event == EVENT_CLOSE) {
        ifp_close();
        s.quit = 1;
    }
    return 0;
}

int ifp_devmode_cb(int, int, int, void*, int, int)
{
    s.changed = 1;
    return 0;
}

int ifc_msg_clear(int panel, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        ResetTextBox(panel, IFP_PANEL_MSG, "");
    return 0;
}

int txCB(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || !s.ready)
        return 0;
    std::string text;
    GetCtrlVal(panel, IFP_PANEL_CMD, &text);
    // Enter in the command box: a query is sent and its reply read, anything
    // else only sent.
    if (control == IFP_PANEL_CMD)
        control = text.find('?') != std::string::npos ? IFP_PANEL_TXRX : IFP_PANEL_TX;
    if (control == IFP_PANEL_TX || control == IFP_PANEL_TXRX) {
        char command[IFP_TERMINAL_SIZE];
        // A cut command would be a different command: refuse it.
        if (text.size() >= sizeof command) {
            wprintf(1, "command longer than %d characters", IFP_TERMINAL_SIZE - 1);
            wprintf(0, "\nTX: error");
        } else {
            std::memcpy(command, text.c_str(), text.size() + 1);
            if (ifp_send_query(command, nullptr, 0))
                wprintf(0, "\nTX: %s", command);
            else
                wprintf(0, "\nTX: error");
        }
    }
    if (control == IFP_PANEL_RX || control == IFP_PANEL_TXRX) {
        char reply[IFP_TERMINAL_SIZE];
        if (ifp_send_query(nullptr, reply, sizeof reply))
            wprintf(0, "\nRX: %s", reply);
        else
            wprintf(0, "\nRX: error");
        if (s.kind == IO_UDP) {
            const char* peer = io_get_remote_address(s.link);
            wprintf(0, "(%s)", peer ? peer : "");
        }
    }
    return 0;
}

int ifp_comport_cb(int, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT || event == EVENT_VAL_CHANGED)
        s.linkEdited = true;
    show_com_path();
    return 0;
}

int ifp_compath_cb(int panel, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    int port = 0;
    GetCtrlVal(panel, IFP_PANEL_COMPORT, &port);
    std::string path;
    GetCtrlVal(panel, IFP_PANEL_COMPATH, &path);
    if (port < 1 || port > 255) {
        MessagePopup("Port map", "Choose a COM port number from 1 to 255 first.");
    } else if (!portmap::setComPath(port, path)) {
        std::string text = "The port map could not be written to " + portmap::filePath() + ".";
        MessagePopup("Port map", text.c_str());
    }
    show_com_path();
    return 0;
}

void ifp_register_callbacks()
{
    // The transport's waits keep the windows alive.
    io_hook_idle([] { ProcessSystemEvents(); });
    ui_register_ctrl_callback("ifcSelCb", ifcSelCb);
    ui_register_ctrl_callback("ifpopenCB", ifpopenCB);
    ui_register_ctrl_callback("txCB", txCB);
    ui_register_ctrl_callback("ifc_msg_clear", ifc_msg_clear);
    ui_register_ctrl_callback("ifp_devmode_cb", ifp_devmode_cb);
    ui_register_ctrl_callback("ifp_comport_cb", ifp_comport_cb);
    ui_register_ctrl_callback("ifp_address_cb", ifp_address_cb);
    ui_register_ctrl_callback("ifp_compath_cb", ifp_compath_cb);
    ui_register_panel_callback("ifpCB", ifpCB);
}
