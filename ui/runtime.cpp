// Run-time calls: start-up, library-error reporting, the monotonic timer, the
// project folder, the wait cursor and beep, and the pop-ups (answered by the
// renderer in force).

#include "ui/internal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace ui {
namespace {

std::atomic<bool> breakOnLibraryErrors{false};

std::string str(const char* s) { return s ? std::string(s) : std::string(); }

bool isWritableDir(const std::string& dir) {
    struct stat st { };
    return !dir.empty() && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir.c_str(), W_OK) == 0;
}

// mkdir -p; true when dir exists as a folder afterwards.
bool makeDirs(const std::string& dir) {
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') continue;
        const std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st { };
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string executableDir() {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return ".";
    buf.resize(static_cast<std::size_t>(n));
    const std::size_t slash = buf.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : buf.substr(0, slash);
}

} // namespace

std::string projectDirFor(const std::string& exeDir) {
    if (const char* env = std::getenv("IMBENCH_PROJECT_DIR"); env && *env) return env;
    // A copy installed in a bin folder keeps the user's files in the user's
    // configuration folder, also when it may write its own folder (root).
    const bool installed = exeDir == "/bin" || exeDir.ends_with("/bin");
    if (!installed && isWritableDir(exeDir)) return exeDir;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        config = std::string(home) + "/.config";
    if (!config.empty()) {
        while (config.size() > 1 && config.back() == '/') config.pop_back();
        config += "/imbench";
        if (makeDirs(config)) return config;
    }
    // Nowhere to write: the executable's folder still serves for reading.
    return exeDir;
}

namespace detail {

bool breakOnErrors() { return breakOnLibraryErrors.load(); }

int fail(int code, const char* where) {
    if (code < 0 && breakOnLibraryErrors.load())
        std::fprintf(stderr, "imbench ui: %s: %s (%d)\n", where ? where : "?", GetUILErrorString(code), code);
    return code;
}

} // namespace detail
} // namespace ui

int InitCVIRTE(void* /*instance*/, char** /*argv*/, void* /*reserved*/) {
    Timer(); // the tick starts with the run time
    return 1;
}

int SetBreakOnLibraryErrors(int on) { return ui::breakOnLibraryErrors.exchange(on != 0) ? 1 : 0; }

double Timer() {
    using clock = std::chrono::steady_clock;
    static const clock::time_point start = clock::now();
    return std::chrono::duration<double>(clock::now() - start).count();
}

int GetProjectDir(char* dir) { return GetProjectDir(dir, MAX_PATHNAME_LEN); }

int GetProjectDir(char* dir, std::size_t size) {
    if (!dir || size == 0) return ui::detail::fail(UIE_BAD_ARGUMENT, "GetProjectDir");
    const std::string path = ui::projectDirFor(ui::executableDir());
    if (path.size() + 1 > size) {
        dir[0] = '\0';
        return ui::detail::fail(UIE_BUFFER_TOO_SMALL, "GetProjectDir");
    }
    std::memcpy(dir, path.c_str(), path.size() + 1);
    return 0;
}

int SetWaitCursor(int on) {
    ui::renderer()->setWaitCursor(on != 0);
    return 0;
}

void CVI_Beep() { ui::renderer()->beep(); }

const char* GetUILErrorString(int code) {
    switch (code) {
    case UIE_NO_ERROR:
        return "No error";
    case UIE_NOT_INITIALIZED:
        return "The user interface is not initialized";
    case UIE_BAD_PANEL:
        return "The panel handle is invalid";
    case UIE_BAD_CONTROL:
        return "The control id is invalid";
    case UIE_BAD_ATTRIBUTE:
        return "The attribute is invalid for this panel or control";
    case UIE_TYPE_MISMATCH:
        return "The value's type does not match the control or attribute";
    case UIE_INDEX_OUT_OF_RANGE:
        return "The index is out of range";
    case UIE_RESOURCE_NOT_FOUND:
        return "The resource file was not found";
    case UIE_PANEL_NOT_FOUND:
        return "The panel was not found in the resource file";
    case UIE_CALLBACK_NOT_FOUND:
        return "A callback named in the resource is not registered";
    case UIE_VALUE_NOT_FOUND:
        return "No item carries that value";
    case UIE_BAD_MENU:
        return "The menu bar or menu item is invalid";
    case UIE_BAD_PLOT:
        return "The plot handle is invalid";
    case UIE_BAD_ARGUMENT:
        return "An argument is invalid";
    case UIE_USER_CANCEL:
        return "The user cancelled";
    case UIE_NOT_OPERABLE:
        return "The control does not take user input now";
    case UIE_BUFFER_TOO_SMALL:
        return "The result does not fit the buffer";
    case UIE_WRONG_CTRL_KIND:
        return "The operation does not apply to this kind of control";
    case UIE_NOT_SUPPORTED:
        return "The renderer in use cannot do this";
    case UIE_FILE_ERROR:
        return "The file could not be written";
    case UIE_OUT_OF_RANGE:
        return "The value is outside the control's range";
    default:
        return "Unknown user interface error";
    }
}

int MessagePopup(const char* title, const char* message) {
    ui::renderer()->messagePopup(ui::str(title), ui::str(message));
    return 0;
}

int ErrorPopup(const char* title, const char* message) {
    ui::renderer()->errorPopup(ui::str(title), ui::str(message));
    return 0;
}

int ConfirmPopup(const char* title, const char* message) {
    return ui::renderer()->confirmPopup(ui::str(title), ui::str(message)) ? 1 : 0;
}

int PromptPopup(const char* title, const char* message, char* buffer, int maxLength) {
    if (!buffer || maxLength < 0) return ui::detail::fail(UIE_BAD_ARGUMENT, "PromptPopup");
    const ui::PromptResult r = ui::renderer()->promptPopup(ui::str(title), ui::str(message), maxLength);
    if (!r.ok) {
        buffer[0] = '\0';
        return UIE_USER_CANCEL;
    }
    const std::size_t n = std::min(r.text.size(), static_cast<std::size_t>(maxLength));
    std::memcpy(buffer, r.text.data(), n);
    buffer[n] = '\0';
    return 0;
}

int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec, const char* fileTypeList,
    const char* title, int buttonLabel, int /*restrictDirectory*/, int /*restrictExtension*/,
    int allowCancel, int allowMakeDirectory, char* path, std::size_t pathSize) {
    if (!path || pathSize == 0) return ui::detail::fail(UIE_BAD_ARGUMENT, "FileSelectPopup");
    path[0] = '\0';
    const auto chosen = ui::renderer()->fileSelectPopup(ui::str(defaultDirectory), ui::str(defaultFileSpec),
        ui::str(fileTypeList), ui::str(title), buttonLabel,
        allowCancel != 0, allowMakeDirectory != 0);
    if (!chosen || chosen->empty()) return VAL_NO_FILE_SELECTED;
    // A path cut short would name another file: refuse it.
    if (chosen->size() + 1 > pathSize) return ui::detail::fail(UIE_BUFFER_TOO_SMALL, "FileSelectPopup");
    std::memcpy(path, chosen->c_str(), chosen->size() + 1);
    struct stat st { };
    return ::stat(path, &st) == 0 ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}
