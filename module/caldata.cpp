#include "module/caldata.h"

#include "link/ifp.h"
#include "module/im.h"
#include "platform/safe_file.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

namespace {

int progressP = -1;
// A dialog or a transfer runs ProcessSystemEvents while it waits; a second
// press of a button meanwhile must not start another transfer.
bool busy = false;

std::string quoted(const char* path) { return std::string("\"") + path + "\""; }

std::string file_reason(const char* verb, const char* path, const char* why)
{
    return std::string("Cannot ") + verb + " " + quoted(path) + ": " + why + ".";
}

// Whether a save may replace path, asked before the module is: a file that is
// not regular or is read-only is refused at once.  Empty reason when it may.
std::string check_save_target(const char* path)
{
    struct stat st { };
    if (::stat(path, &st) != 0) {
        if (errno != ENOENT)
            return file_reason("create", path, std::strerror(errno));
        // A new file: its folder must take it.
        std::string folder(path);
        const std::size_t slash = folder.rfind('/');
        folder = slash == std::string::npos ? "." : slash == 0 ? "/"
                                                               : folder.substr(0, slash);
        return ::access(folder.c_str(), W_OK) == 0 ? std::string() : file_reason("create", path, std::strerror(errno));
    }
    if (!S_ISREG(st.st_mode))
        return file_reason("create", path, "it is not a regular file");
    // Root may write anything; a file without any write bit is still meant to stay.
    if ((st.st_mode & 0222) == 0 || ::access(path, W_OK) != 0)
        return file_reason("replace", path, "the file is read-only");
    return {};
}

void progress(int64_t done, int64_t total)
{
    ifc_progress_panel(0, 0, total > 0 ? static_cast<int>(done * 100 / total) : 100);
}

// One value line; false when the module did not answer.
bool cal_line(int table, int item, int gain, int freq, std::string* line, std::string* query)
{
    char command[80];
    std::snprintf(command, sizeof command, "IM:CAL:DATA? %d %d %d %d", table, item, gain, freq);
    char reply[IM_REPLY_SIZE];
    if (!ifp_send_query(command, reply, IM_REPLY_SIZE)) {
        *query = command;
        return false;
    }
    char text[IM_CAL_LINE_SIZE];
    im_format_cal_line(table, item, gain, freq, reply, text);
    *line = text;
    return true;
}

// Builds the file text in out, asking each value as its line is written.
// False with *query set at the first value the module does not answer.
bool write_cal_text(std::string& out, const char* path, int F, int G, std::string* query)
{
    const int64_t total = 3 * static_cast<int64_t>(F) + 4 + 6 * static_cast<int64_t>(F) * G;
    int64_t done = 0;
    std::string line;
    auto put = [&out](const char* format, auto... args) {
        char text[IM_CAL_LINE_SIZE + 64];
        std::snprintf(text, sizeof text, format, args...);
        out += text;
    };
    auto value = [&](int t, int i, int g, int fr, const char* prefix) {
        if (!cal_line(t, i, g, fr, &line, query))
            return false;
        out += prefix;
        out += line;
        out += '\n';
        return true;
    };
    auto head = [&](const char* title) { put(";\n%s\n;\n", title); };

    out += ";\n;   IM Calibration Data File: ";
    out += path;
    out += "\n;\n";
    put(";   Frequency Marker Count = %d\n", F);
    put(";        Gain Marker Count = %d\n", G);
    out += ";\n;\n; Marker Frequency\n;\n";
    // Marker frequencies are recorded for the reader, never written back.
    for (int fr = 0; fr < F; ++fr)
        if (!value(5, 0, 0, fr, ";"))
            return false;
    done += F;
    progress(done, total);

    head("; Output DC level");
    if (!value(0, 0, 0, 0, "") || !value(0, 1, 0, 0, ""))
        return false;
    done += 2;
    progress(done, total);

    head("; Output AC level");
    if (!value(1, 0, 0, 0, "") || !value(1, 1, 0, 0, ""))
        return false;
    done += 2;
    progress(done, total);

    head("; Output AC Amplitude");
    for (int fr = 0; fr < F; ++fr) {
        if (!value(2, 0, 0, fr, "") || !value(2, 1, 0, fr, ""))
            return false;
        done += 2;
        progress(done, total);
    }

    for (int table : {3, 4}) {
        head(table == 3 ? "; Input AC Current" : "; Input AC Voltage");
        for (int g = 0; g < G; ++g)
            for (int fr = 0; fr < F; ++fr) {
                for (int item = 0; item < 3; ++item)
                    if (!value(table, item, g, fr, ""))
                        return false;
                done += 3;
                progress(done, total);
            }
    }
    out += ";\n; Save to NVRAM\nIM:CAL:SAVE\n;\n";
    return true;
}

// A calibration file is text: tabs and line ends are its only control bytes,
// and a carriage return only ends a line.  A line is read with up to
// CALDATA_LINE_MAX characters, and a line that is sent (one without ";")
// must fit every link with its line end.  Empty when text is usable.
std::string check_load_text(std::string_view text, const char* path)
{
    std::size_t lineNo = 1;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        char why[128] = "";
        for (const char ch : line) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c < 0x20 && c != '\t') || c == 0x7F) {
                std::snprintf(why, sizeof why, "line %zu holds the control byte 0x%02x; it is not a text file",
                    lineNo, c);
                break;
            }
        }
        const std::size_t sent = line.size() + (last ? 0 : 1); // with its line feed
        if (*why == '\0' && line.size() > CALDATA_LINE_MAX)
            std::snprintf(why, sizeof why, "line %zu is longer than %zu characters", lineNo, CALDATA_LINE_MAX);
        else if (*why == '\0' && line.find(';') == std::string_view::npos && sent > CALDATA_COMMAND_MAX)
            std::snprintf(why, sizeof why, "line %zu is a command longer than the %zu characters a link carries",
                lineNo, CALDATA_COMMAND_MAX);
        if (*why != '\0')
            return file_reason("load", path, why);
        ++lineNo;
        start = end + 1;
    }
    return {};
}

// The whole file, or a reason why it cannot be read.
std::string read_load_file(const char* path, std::string* text)
{
    const safe_file::Result r = safe_file::read(path, CALDATA_FILE_MAX, *text);
    if (r.status == safe_file::Status::TooLarge)
        return file_reason("load", path, "the file is too large for a calibration file");
    return r.ok() ? std::string() : file_reason("open", path, safe_file::describe(r).c_str());
}

void save_action(const std::string& defaultFile)
{
    const int F = im_get_marker_freq_count();
    const int G = im_get_marker_gain_count();
    char path[MAX_PATHNAME_LEN];
    if (FileSelectPopup("", defaultFile.c_str(), "*.cal", "Save Calibration Data", VAL_SAVE_BUTTON, 0, 0,
            1, 1, path) <= 0)
        return;
    const CaldataResult r = caldata_save_file(path, F, G);
    if (r.status == CALDATA_DONE)
        MessagePopup("", "Calibration Data Save Done!");
    else
        MessagePopup("", ("Calibration Data Save Fail!\n" + r.reason).c_str());
}

void load_action(const std::string& defaultFile)
{
    char path[MAX_PATHNAME_LEN];
    if (FileSelectPopup("", defaultFile.c_str(), "*.cal", "Load Calibration Dara", VAL_LOAD_BUTTON, 0, 0,
            1, 0, path) <= 0)
        return;
    const CaldataResult r = caldata_load_file(path);
    if (r.status == CALDATA_DONE)
        MessagePopup("", "Calibration Data Load Done!");
    else
        MessagePopup("", ("Calibration Data Load Fail!\n" + r.reason).c_str());
}

} // namespace

void ifc_progress_panel(int open, int close, int percent)
{
    if (open == 1) {
        if (progressP > 0)
            DiscardPanel(progressP);
        progressP = LoadPanel(0, IFC_PANEL_FILE, PROGRESS_PANEL);
        if (progressP > 0) {
            SetCtrlVal(progressP, PROGRESS_PANEL_PERCENT, 0);
            DisplayPanel(progressP);
        }
        return;
    }
    if (progressP <= 0)
        return;
    if (close == 0) {
        SetCtrlVal(progressP, PROGRESS_PANEL_PERCENT, percent);
        return;
    }
    HidePanel(progressP);
    DiscardPanel(progressP);
    progressP = -1;
}

std::string caldata_default_file()
{
    std::string serial = im_get_device_serno();
    for (char& c : serial)
        if (static_cast<unsigned char>(c) < 0x20 || c == '/' || c == '\\' || c == 0x7F)
            c = '_';
    return "IM" + serial + ".cal";
}

CaldataResult caldata_save_file(const char* path, int F, int G)
{
    CaldataResult result;
    result.reason = check_save_target(path);
    if (!result.reason.empty()) {
        result.status = CALDATA_FILE_ERROR;
        return result;
    }
    ifc_progress_panel(1, 0, 0);
    std::string text;
    std::string query;
    const bool complete = write_cal_text(text, path, F, G, &query);
    ifc_progress_panel(0, 1, 0);
    if (!complete) {
        result.status = CALDATA_QUERY_FAILED;
        result.reason = "The module did not answer \"" + query + "\"; " + quoted(path) + " was not written.";
        return result;
    }
    if (const safe_file::Result r = safe_file::save(path, text); !r.ok()) {
        result.status = CALDATA_FILE_ERROR;
        result.reason = file_reason("write", path, safe_file::describe(r).c_str());
    }
    return result;
}

CaldataResult caldata_load_file(const char* path)
{
    CaldataResult result;
    std::string text;
    result.reason = read_load_file(path, &text);
    if (result.reason.empty())
        result.reason = check_load_text(text, path);
    if (!result.reason.empty()) {
        result.status = CALDATA_FILE_ERROR;
        result.reason += " Nothing was sent to the module.";
        return result;
    }
    ifc_progress_panel(1, 0, 0);
    const int64_t size = static_cast<int64_t>(text.size());
    int64_t read = 0;
    int64_t lineNo = 0;
    std::size_t pos = 0;
    std::string line;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string_view raw(text.data() + pos, end - pos);
        pos = end;
        ++lineNo;
        read += static_cast<int64_t>(raw.size());
        progress(read, size);
        if (raw.find(';') != std::string_view::npos)
            continue;
        // A line end written elsewhere as CR LF goes out as this system's LF:
        // a CR inside the command would end it early at the instrument.
        line.assign(raw);
        if (line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n')
            line.erase(line.size() - 2, 1);
        else if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!ifp_send_query(line.c_str(), nullptr, 0)) {
            result.status = CALDATA_SEND_FAILED;
            char where[64];
            std::snprintf(where, sizeof where, "Line %lld", static_cast<long long>(lineNo));
            std::string shown(raw.substr(0, raw.find_first_of("\r\n")));
            result.reason = std::string(where) + " (\"" + shown +
                "\") was not acknowledged: the module refused it or the link failed. The lines "
                "before it are in the module's working tables, not stored.";
            break;
        }
    }
    ifc_progress_panel(0, 1, 0);
    return result;
}

int caldata_CB(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_RIGHT_DOUBLE_CLICK && control == MAIN_PANEL_CAL_LOAD) {
        int visible = 0;
        GetCtrlAttribute(panel, MAIN_PANEL_CAL_SAVE, ATTR_VISIBLE, &visible);
        SetCtrlAttribute(panel, MAIN_PANEL_CAL_SAVE, ATTR_VISIBLE, visible ? 0 : 1);
        return 0;
    }
    if (event != EVENT_COMMIT || (control != MAIN_PANEL_CAL_LOAD && control != MAIN_PANEL_CAL_SAVE) || busy)
        return 0;
    busy = true;
    const std::string defaultFile = caldata_default_file();
    if (control == MAIN_PANEL_CAL_SAVE)
        save_action(defaultFile);
    else
        load_action(defaultFile);
    busy = false;
    return 0;
}

void caldata_register_callbacks() { ui_register_ctrl_callback("caldata_CB", caldata_CB); }
