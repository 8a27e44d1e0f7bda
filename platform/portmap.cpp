#include "platform/portmap.h"

#include "platform/posix_io.h"
#include "platform/safe_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portmap {
namespace {

constexpr int kMaxComPort = 255;
constexpr int kMaxGpibBoard = 15;
// A port map is a handful of lines; anything larger is not ours to parse or rewrite.
constexpr size_t kMaxFileBytes = 1 << 20;
constexpr size_t kMaxLineLength = 4096;
constexpr size_t kMaxGpibSpecLength = 255;

enum class Kind { None,
    Com,
    Gpib };

struct Key {
    Kind kind = Kind::None;
    int number = 0;
};

struct Entries {
    std::map<int, std::string> com;
    std::map<int, std::string> gpib;
};

bool loaded = false;
Entries fromFile;
Entries overrides;

std::string_view trim(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    size_t e = s.size();
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (upper(s[i]) != prefix[i]) return false;
    }
    return true;
}

// A decimal number of 1 to 3 digits within lo..hi, or -1.
int smallNumber(std::string_view digits, int lo, int hi) {
    if (digits.empty() || digits.size() > 3) return -1;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n >= lo && n <= hi ? n : -1;
}

Key parseKey(std::string_view key) {
    Key k;
    if (startsWithNoCase(key, "COM")) {
        int n = smallNumber(key.substr(3), 1, kMaxComPort);
        if (n > 0) k = {Kind::Com, n};
    } else if (startsWithNoCase(key, "GPIB")) {
        int n = smallNumber(key.substr(4), 0, kMaxGpibBoard);
        if (n >= 0) k = {Kind::Gpib, n};
    }
    return k;
}

bool printable(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    }
    return true;
}

bool validValue(Kind kind, std::string_view value) {
    if (value.empty() || !printable(value)) return false;
    if (kind == Kind::Com) return value[0] == '/' && value.size() < PATH_MAX;
    return value.size() <= kMaxGpibSpecLength;
}

// The key of an entry line ("COM3 = /dev/ttyUSB0"), with its value; Kind::None
// for comments, blank lines and anything not understood.
Key parseLine(std::string_view line, std::string_view* value) {
    if (line.size() > kMaxLineLength) return {};
    std::string_view t = trim(line);
    if (t.empty() || t[0] == '#') return {};
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return {};
    Key k = parseKey(trim(t.substr(0, eq)));
    if (value) *value = trim(t.substr(eq + 1));
    return k;
}

std::string homeDir() {
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return home;
    if (const passwd* pw = ::getpwuid(::getuid())) {
        if (pw->pw_dir && *pw->pw_dir == '/') return pw->pw_dir;
    }
    return {};
}

std::string problem;

// The file's text; false when it exists but cannot be read (not a regular
// file, too large, ...), with problem saying why.
bool readFile(const std::string& path, std::string& text) {
    text.clear();
    if (path.empty()) return true;
    const safe_file::Result r = safe_file::read(path, kMaxFileBytes, text);
    if (r.ok() || r.status == safe_file::Status::NotFound) return true;
    problem = "The port map " + path + " is not used: " + safe_file::describe(r) + ".";
    return false;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

Entries parse(std::string_view text) {
    Entries e;
    for (std::string_view line : splitLines(text)) {
        std::string_view value;
        Key k = parseLine(line, &value);
        if (k.kind == Kind::None || !validValue(k.kind, value)) continue;
        // A later line for the same key wins.
        (k.kind == Kind::Com ? e.com : e.gpib)[k.number] = std::string(value);
    }
    return e;
}

void ensureLoaded() {
    if (!loaded) reload();
}

bool makeDirs(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st { };
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirs(dir.substr(0, slash))) return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// Replaces path by a file holding text; readers see the old or the new file, never half.
bool writeAtomically(const std::string& path, const std::string& text) {
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && !makeDirs(path.substr(0, slash))) return false;
    return safe_file::save(path, text).ok();
}

std::string keyText(Kind kind, int number) {
    return (kind == Kind::Com ? "COM" : "GPIB") + std::to_string(number);
}

// Sets or removes one entry in the file, keeping its other lines as they are.
bool writeEntry(Kind kind, int number, const std::string& value) {
    const std::string path = filePath();
    std::string text;
    if (path.empty() || !readFile(path, text)) return false;

    std::vector<std::string_view> lines = splitLines(text);
    size_t last = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        Key k = parseLine(lines[i], nullptr);
        if (k.kind == kind && k.number == number) last = i;
    }
    const std::string entry = keyText(kind, number) + " = " + value;
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        Key k = parseLine(lines[i], nullptr);
        if (k.kind == kind && k.number == number) {
            // Earlier duplicates were dead already; the last one takes the new value.
            if (i == last && !value.empty()) out += entry + "\n";
            continue;
        }
        out.append(lines[i]);
        out += '\n';
    }
    if (last == lines.size() && !value.empty()) out += entry + "\n";
    if (!writeAtomically(path, out)) return false;
    fromFile = parse(out);
    return true;
}

bool setEntry(Kind kind, int number, const std::string& value) {
    ensureLoaded();
    std::string v(trim(value));
    if (!v.empty() && !validValue(kind, v)) return false;
    auto& map = kind == Kind::Com ? fromFile.com : fromFile.gpib;
    if (writeEntry(kind, number, v)) return true;
    // Keep the choice for this run even when the file cannot be written.
    if (v.empty()) {
        map.erase(number);
    } else {
        map[number] = v;
    }
    return false;
}

} // namespace

void reload() {
    std::string text;
    problem.clear();
    fromFile = readFile(filePath(), text) ? parse(text) : Entries{};
    loaded = true;
}

std::string loadProblem() {
    ensureLoaded();
    return problem;
}

std::string filePath() {
    const char* env = std::getenv("IMBENCH_PORTS");
    if (env && *env) return env;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/imbench/ports.cfg";
    std::string home = homeDir();
    if (home.empty()) return {};
    return home + "/.config/imbench/ports.cfg";
}

std::string comPath(int port) {
    if (port < 1 || port > kMaxComPort) return {};
    ensureLoaded();
    if (auto it = overrides.com.find(port); it != overrides.com.end()) return it->second;
    if (auto it = fromFile.com.find(port); it != fromFile.com.end()) return it->second;
    return "/dev/ttyS" + std::to_string(port - 1);
}

bool setComPath(int port, const std::string& path) {
    if (port < 1 || port > kMaxComPort) return false;
    return setEntry(Kind::Com, port, path);
}

std::string gpibBoard(int board) {
    if (board < 0 || board > kMaxGpibBoard) return {};
    ensureLoaded();
    if (auto it = overrides.gpib.find(board); it != overrides.gpib.end()) return it->second;
    if (auto it = fromFile.gpib.find(board); it != fromFile.gpib.end()) return it->second;
    return {};
}

bool setGpibBoard(int board, const std::string& spec) {
    if (board < 0 || board > kMaxGpibBoard) return false;
    return setEntry(Kind::Gpib, board, spec);
}

void overrideCom(int port, const std::string& path) {
    if (port < 1 || port > kMaxComPort) return;
    if (path.empty()) {
        overrides.com.erase(port);
    } else {
        overrides.com[port] = path;
    }
}

void overrideGpib(int board, const std::string& spec) {
    if (board < 0 || board > kMaxGpibBoard) return;
    if (spec.empty()) {
        overrides.gpib.erase(board);
    } else {
        overrides.gpib[board] = spec;
    }
}

void clearOverrides() { overrides = Entries{}; }

} // namespace portmap
