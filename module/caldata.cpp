#include "module/caldata.h"

#include "link/ifp.h"
#include "module/im.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int progressP = -1;
// A dialog or a transfer runs ProcessSystemEvents while it waits; a second
// press of a button meanwhile must not start another transfer.
bool busy = false;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A temporary file that is removed unless it was renamed into place.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile()
    {
        file_.reset();
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    // 0, or the errno of the failure.
    int create(const std::string& target)
    {
        std::string name = target + ".XXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd < 0)
            return errno;
        path_ = name;
        Fd owner(fd);
        file_.reset(::fdopen(fd, "w"));
        if (!file_)
            return errno;
        owner.release();
        return 0;
    }
    std::FILE* get() const { return file_.get(); }
    // Flushes, syncs and closes the text, then puts it in place of target with
    // the given permissions.  0, or the errno of the failure.
    int commit(const std::string& target, mode_t mode)
    {
        std::FILE* f = file_.get();
        if (std::ferror(f) || std::fflush(f) != 0 || ::fchmod(::fileno(f), mode) != 0 ||
            ::fsync(::fileno(f)) != 0) {
            const int err = errno != 0 ? errno : EIO;
            return err;
        }
        if (std::fclose(file_.release()) != 0)
            return errno;
        if (std::rename(path_.c_str(), target.c_str()) != 0)
            return errno;
        path_.clear();
        return 0;
    }

private:
    FilePtr file_;
    std::string path_;
};

std::string quoted(const char* path) { return std::string("\"") + path + "\""; }

std::string file_reason(const char* verb, const char* path, const char* why)
{
    return std::string("Cannot ") + verb + " " + quoted(path) + ": " + why + ".";
}

// The permissions of a new file: what the process's umask allows of rw-rw-rw-.
mode_t new_file_mode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// Where a save really writes (through a link to its file), whether the target
// may be replaced, and with what permissions.  Empty reason when it may.
std::string check_save_target(const char* path, std::string* target, mode_t* mode)
{
    *target = path;
    *mode = new_file_mode();
    char resolved[PATH_MAX];
    if (::realpath(path, resolved) != nullptr)
        *target = resolved;
    struct stat st {};
    if (::stat(target->c_str(), &st) != 0)
        return errno == ENOENT ? std::string() : file_reason("create", path, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return file_reason("create", path, "it is not a regular file");
    // Root may write anything; a file without any write bit is still meant to stay.
    if ((st.st_mode & 0222) == 0 || ::access(target->c_str(), W_OK) != 0)
        return file_reason("replace", path, "the file is read-only");
    *mode = st.st_mode & 07777;
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

// Writes the file text into f, asking each value as its line is written.
// False with *query set at the first value the module does not answer.
bool write_cal_text(std::FILE* f, const char* path, int F, int G, std::string* query)
{
    const int64_t total = 3 * static_cast<int64_t>(F) + 4 + 6 * static_cast<int64_t>(F) * G;
    int64_t done = 0;
    std::string line;
    auto value = [&](int t, int i, int g, int fr, const char* prefix) {
        if (!cal_line(t, i, g, fr, &line, query))
            return false;
        std::fprintf(f, "%s%s\n", prefix, line.c_str());
        return true;
    };
    auto head = [&](const char* title) { std::fprintf(f, ";\n%s\n;\n", title); };

    std::fprintf(f, ";\n;   IM Calibration Data File: %s\n;\n", path);
    std::fprintf(f, ";   Frequency Marker Count = %d\n", F);
    std::fprintf(f, ";        Gain Marker Count = %d\n", G);
    std::fprintf(f, ";\n;\n; Marker Frequency\n;\n");
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
    std::fprintf(f, ";\n; Save to NVRAM\nIM:CAL:SAVE\n;\n");
    return true;
}

// A calibration file is text: tabs and line ends are its only control bytes,
// and a carriage return only ends a line.  Empty when text is usable.
std::string check_load_text(std::string_view text, const char* path)
{
    std::size_t lineNo = 1;
    std::size_t lineLen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++lineNo;
            lineLen = 0;
            continue;
        }
        const bool lineEnd = c == '\r' && (i + 1 == text.size() || text[i + 1] == '\n');
        if ((c < 0x20 && c != '\t' && !lineEnd) || c == 0x7F) {
            char why[96];
            std::snprintf(why, sizeof why, "line %zu holds the control byte 0x%02x; it is not a text file",
                          lineNo, c);
            return file_reason("load", path, why);
        }
        if (!lineEnd && ++lineLen > CALDATA_LINE_MAX) {
            char why[96];
            std::snprintf(why, sizeof why, "line %zu is longer than %zu characters", lineNo,
                          CALDATA_LINE_MAX);
            return file_reason("load", path, why);
        }
    }
    return {};
}

// The whole file, or a reason why it cannot be read.
std::string read_load_file(const char* path, std::string* text)
{
    // Non-blocking, so that a pipe chosen as the file cannot hang the reader.
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        return file_reason("open", path, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return file_reason("read", path, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return file_reason("open", path, "it is not a regular file");
    if (static_cast<uint64_t>(st.st_size) > CALDATA_FILE_MAX)
        return file_reason("load", path, "the file is too large for a calibration file");
    text->clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return file_reason("read", path, std::strerror(errno));
        }
        text->append(buf, static_cast<std::size_t>(n));
        if (text->size() > CALDATA_FILE_MAX)
            return file_reason("load", path, "the file is too large for a calibration file");
    }
    return {};
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
    else if (r.status == CALDATA_SEND_FAILED)
        MessagePopup("", "Calibration Data Load Fail!");
    else
        MessagePopup("", ("Calibration Data Load Fail!\n" + r.reason).c_str());
}

}  // namespace

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
    std::string target;
    mode_t mode = 0;
    result.reason = check_save_target(path, &target, &mode);
    if (!result.reason.empty()) {
        result.status = CALDATA_FILE_ERROR;
        return result;
    }
    TempFile temp;
    if (const int err = temp.create(target); err != 0) {
        result.status = CALDATA_FILE_ERROR;
        result.reason = file_reason("create", path, std::strerror(err));
        return result;
    }
    ifc_progress_panel(1, 0, 0);
    std::string query;
    const bool complete = write_cal_text(temp.get(), path, F, G, &query);
    ifc_progress_panel(0, 1, 0);
    if (!complete) {
        result.status = CALDATA_QUERY_FAILED;
        result.reason = "The module did not answer \"" + query + "\"; " + quoted(path) + " was not written.";
        return result;
    }
    if (const int err = temp.commit(target, mode); err != 0) {
        result.status = CALDATA_FILE_ERROR;
        result.reason = file_reason("write", path, std::strerror(err));
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
    std::size_t pos = 0;
    std::string line;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string_view raw(text.data() + pos, end - pos);
        pos = end;
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
