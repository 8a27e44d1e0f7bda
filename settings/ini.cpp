#include "settings/ini.h"

#include "platform/safe_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <unordered_map>
#include <utility>

#include <locale.h>

struct IniItem {
    std::string tag;
    std::string value; // escaped form for strings, as written between the quotes
    bool quoted = false;
};

struct IniSection {
    std::string name;
    std::vector<IniItem> items;
    std::unordered_map<std::string, std::size_t> index; // lower-case tag -> position
};

struct IniObject {
    bool auto_sort = false;
    std::vector<IniSection> sections;
    std::unordered_map<std::string, std::size_t> index; // lower-case name -> position
};

void IniObjectDeleter::operator()(IniObject* ini) const noexcept { delete ini; }

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSeparator = " = ";
constexpr std::string_view kPieceMark = " Line";
constexpr std::string_view kBlanks = " \t\r\n\v\f";

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool less_nocase(std::string_view a, std::string_view b) { return lower(a) < lower(b); }

std::string_view trim_left(std::string_view s) {
    std::size_t i = s.find_first_not_of(kBlanks);
    return i == std::string_view::npos ? std::string_view{} : s.substr(i);
}

std::string_view trim_right(std::string_view s) {
    std::size_t i = s.find_last_not_of(kBlanks);
    return i == std::string_view::npos ? std::string_view{} : s.substr(0, i + 1);
}

std::string_view trim(std::string_view s) { return trim_right(trim_left(s)); }

bool has_line_break(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool valid_name(std::string_view s) {
    return !s.empty() && s.size() <= kIniMaxName && s.find('\0') == std::string_view::npos &&
        !has_line_break(s) && trim(s).size() == s.size();
}

bool valid_section(std::string_view s) { return valid_name(s); }

bool valid_tag(std::string_view s) {
    return valid_name(s) && s.find('=') == std::string_view::npos && s.front() != '[' && s.front() != ';';
}

IniSection* find_section(IniObject* ini, std::string_view name) {
    auto it = ini->index.find(lower(name));
    return it == ini->index.end() ? nullptr : &ini->sections[it->second];
}

const IniSection* find_section(const IniObject* ini, std::string_view name) {
    auto it = ini->index.find(lower(name));
    return it == ini->index.end() ? nullptr : &ini->sections[it->second];
}

const IniItem* find_item(const IniObject* ini, std::string_view section, std::string_view tag) {
    const IniSection* s = find_section(ini, section);
    if (s == nullptr) return nullptr;
    auto it = s->index.find(lower(tag));
    return it == s->index.end() ? nullptr : &s->items[it->second];
}

void reindex(IniSection& s) {
    s.index.clear();
    for (std::size_t i = 0; i < s.items.size(); ++i) s.index[lower(s.items[i].tag)] = i;
}

void reindex(IniObject& ini) {
    ini.index.clear();
    for (std::size_t i = 0; i < ini.sections.size(); ++i) ini.index[lower(ini.sections[i].name)] = i;
}

IniSection& get_or_add_section(IniObject& ini, std::string_view name) {
    if (IniSection* s = find_section(&ini, name)) return *s;
    IniSection fresh;
    fresh.name = std::string(name);
    if (!ini.auto_sort) {
        ini.index[lower(name)] = ini.sections.size();
        ini.sections.push_back(std::move(fresh));
        return ini.sections.back();
    }
    auto pos = std::upper_bound(ini.sections.begin(), ini.sections.end(), name,
        [](std::string_view n, const IniSection& s) { return less_nocase(n, s.name); });
    auto at = static_cast<std::size_t>(pos - ini.sections.begin());
    ini.sections.insert(pos, std::move(fresh));
    reindex(ini);
    return ini.sections[at];
}

// An existing item keeps its place; a new one goes to the end (or its sorted place).
void set_item(IniObject& ini, IniSection& s, std::string_view tag, std::string value, bool quoted) {
    std::string key = lower(tag);
    if (auto it = s.index.find(key); it != s.index.end()) {
        IniItem& item = s.items[it->second];
        item.value = std::move(value);
        item.quoted = quoted;
        return;
    }
    IniItem item{std::string(tag), std::move(value), quoted};
    if (!ini.auto_sort) {
        s.index.emplace(std::move(key), s.items.size());
        s.items.push_back(std::move(item));
        return;
    }
    auto pos = std::upper_bound(s.items.begin(), s.items.end(), tag,
        [](std::string_view t, const IniItem& i) { return less_nocase(t, i.tag); });
    s.items.insert(pos, std::move(item));
    reindex(s);
}

int put_text(IniObject* ini, std::string_view section, std::string_view tag, std::string value, bool quoted) {
    if (ini == nullptr || !valid_section(section) || !valid_tag(tag)) return kIniErrArgument;
    try {
        IniSection& s = get_or_add_section(*ini, section);
        set_item(*ini, s, tag, std::move(value), quoted);
    } catch (const std::bad_alloc&) {
        return kIniErrNoMemory;
    }
    return kIniOk;
}

template <typename T>
std::string format_number(T value) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// "%.16g" in the C locale, whatever the process locale.
std::string format_real(double value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 16);
    return std::string(buf, res.ptr);
}

std::string escape(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size() + 8);
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (u < 0x20 || u == 0x7f) {
                out += "\\x";
                out += kHex[u >> 4];
                out += kHex[u & 0x0f];
            } else {
                out += c;
            }
        }
    }
    return out;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Unknown or incomplete escapes are kept as written, so hand-edited text is not lost.
std::string unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        char n = s[i + 1];
        switch (n) {
        case '"':
            out += '"';
            ++i;
            break;
        case '\\':
            out += '\\';
            ++i;
            break;
        case 't':
            out += '\t';
            ++i;
            break;
        case 'n':
            out += '\n';
            ++i;
            break;
        case 'r':
            out += '\r';
            ++i;
            break;
        case 'x':
            if (i + 3 < s.size() && hex_digit(s[i + 2]) >= 0 && hex_digit(s[i + 3]) >= 0) {
                out += static_cast<char>(hex_digit(s[i + 2]) * 16 + hex_digit(s[i + 3]));
                i += 3;
            } else {
                out += '\\';
            }
            break;
        default:
            out += '\\';
            break;
        }
    }
    return out;
}

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool equal_nocase(std::string_view a, std::string_view b) { return a.size() == b.size() && lower(a) == lower(b); }

int parse_long(std::string_view s, long* out) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::string_view digits = (!s.empty() && s.front() == '-') ? s.substr(1) : s;
    if (!all_digits(digits)) return kIniErrConvert;
    long v = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return kIniErrConvert;
    *out = v;
    return 1;
}

int parse_ulong(std::string_view s, unsigned long* out) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (!all_digits(s)) return kIniErrConvert;
    unsigned long v = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return kIniErrConvert;
    *out = v;
    return 1;
}

// Decimal or exponent form only: no hexadecimal, no "nan", no "infinity".
bool real_syntax(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t int_digits = 0, frac_digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++int_digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++frac_digits;
    }
    if (int_digits + frac_digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    }
    return i == s.size();
}

int parse_real(std::string_view s, double* out) {
    bool negative = !s.empty() && s.front() == '-';
    std::string_view body = (!s.empty() && (s.front() == '+' || s.front() == '-')) ? s.substr(1) : s;
    if (equal_nocase(body, "inf")) {
        *out = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return 1;
    }
    if (!real_syntax(s)) return kIniErrConvert;
    double v = 0.0;
    auto res = std::from_chars(body.data(), body.data() + body.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        // Too small to hold is zero (or the nearest denormal); too large is not a usable value.
        static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (c_locale == static_cast<locale_t>(nullptr)) return kIniErrConvert;
        std::string copy(body);
        errno = 0;
        v = ::strtod_l(copy.c_str(), nullptr, c_locale);
        if (v == std::numeric_limits<double>::infinity()) return kIniErrConvert;
    } else if (res.ec != std::errc() || res.ptr != body.data() + body.size()) {
        return kIniErrConvert;
    }
    *out = negative ? -v : v;
    return 1;
}

// Piece number of "tag Line0003" is "0003"; empty when the tag is not a piece.
std::string_view piece_digits(std::string_view tag, std::string_view* base) {
    std::size_t at = tag.find(kPieceMark);
    if (at == std::string_view::npos) return {};
    std::string_view digits = tag.substr(at + kPieceMark.size());
    if (!all_digits(digits)) return {};
    // Blanks before " Line" are not part of the tag, as blanks before "=" are not.
    *base = trim_right(tag.substr(0, at));
    return digits;
}

bool is_piece_one(std::string_view digits) {
    std::size_t nz = digits.find_first_not_of('0');
    return nz != std::string_view::npos && digits.substr(nz) == "1";
}

struct RawSection {
    std::string name;
    std::vector<IniItem> items;
};

struct ParseState {
    std::vector<RawSection> sections;
    std::unordered_map<std::string, std::size_t> index; // lower-case name -> position
    std::size_t current = kNoSection;
    static constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);
};

// Joins runs of pieces: a piece numbered 1 starts a run, further pieces of the
// same tag continue it, anything else ends it.
std::vector<IniItem> join_pieces(std::vector<IniItem>& items) {
    std::vector<IniItem> out;
    out.reserve(items.size());
    bool in_run = false;
    std::string run_base;
    for (IniItem& item : items) {
        std::string_view base;
        std::string_view digits = piece_digits(item.tag, &base);
        if (!digits.empty() && is_piece_one(digits)) {
            run_base = std::string(base);
            out.push_back(IniItem{run_base, std::move(item.value), item.quoted});
            in_run = true;
            continue;
        }
        if (in_run && !digits.empty() && equal_nocase(base, run_base)) {
            out.back().value += item.value;
            continue;
        }
        in_run = false;
        out.push_back(std::move(item));
    }
    return out;
}

void parse_line(std::string_view line, ParseState& st) {
    line = trim_left(line);
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') {
        std::size_t close = line.rfind(']');
        if (close == std::string_view::npos || !trim(line.substr(close + 1)).empty()) return;
        std::string_view name = trim(line.substr(1, close - 1));
        if (name.empty() || name.size() > kIniMaxName) return;
        auto [it, added] = st.index.try_emplace(lower(name), st.sections.size());
        if (added) st.sections.push_back(RawSection{std::string(name), {}});
        st.current = it->second;
        return;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || st.current == ParseState::kNoSection) return;
    std::string_view tag = trim_right(line.substr(0, eq));
    std::string_view value = trim(line.substr(eq + 1));
    if (tag.empty() || value.empty()) return;
    // Only names the writer could have written, so that writing back stays readable.
    std::string_view base = tag;
    piece_digits(tag, &base);
    if (base.size() > kIniMaxName) return;
    bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    if (quoted) value = value.substr(1, value.size() - 2);
    st.sections[st.current].items.push_back(IniItem{std::string(tag), std::string(value), quoted});
}

} // namespace

IniText ini_new(bool auto_sort) {
    IniText ini(new (std::nothrow) IniObject);
    if (ini) ini->auto_sort = auto_sort;
    return ini;
}

void ini_dispose(IniText& ini) { ini.reset(); }

int ini_section_exists(const IniObject* ini, std::string_view section) {
    return ini != nullptr && find_section(ini, section) != nullptr ? 1 : 0;
}

int ini_item_exists(const IniObject* ini, std::string_view section, std::string_view tag) {
    return ini != nullptr && find_item(ini, section, tag) != nullptr ? 1 : 0;
}

int ini_remove_item(IniObject* ini, std::string_view section, std::string_view tag) {
    if (ini == nullptr) return kIniErrArgument;
    IniSection* s = find_section(ini, section);
    if (s == nullptr) return 0;
    auto it = s->index.find(lower(tag));
    if (it == s->index.end()) return 0;
    s->items.erase(s->items.begin() + static_cast<std::ptrdiff_t>(it->second));
    reindex(*s);
    return 1;
}

int ini_put_int(IniObject* ini, std::string_view section, std::string_view tag, long value) {
    return put_text(ini, section, tag, format_number(value), false);
}

int ini_put_uint(IniObject* ini, std::string_view section, std::string_view tag, unsigned long value) {
    return put_text(ini, section, tag, format_number(value), false);
}

int ini_put_double(IniObject* ini, std::string_view section, std::string_view tag, double value) {
    return put_text(ini, section, tag, format_real(value), false);
}

int ini_put_string(IniObject* ini, std::string_view section, std::string_view tag, std::string_view value) {
    return put_text(ini, section, tag, escape(value), true);
}

int ini_get_int(const IniObject* ini, std::string_view section, std::string_view tag, long* value) {
    if (ini == nullptr || value == nullptr) return kIniErrArgument;
    const IniItem* item = find_item(ini, section, tag);
    if (item == nullptr) return 0;
    if (item->quoted) return kIniErrConvert;
    return parse_long(item->value, value);
}

int ini_get_uint(const IniObject* ini, std::string_view section, std::string_view tag, unsigned long* value) {
    if (ini == nullptr || value == nullptr) return kIniErrArgument;
    const IniItem* item = find_item(ini, section, tag);
    if (item == nullptr) return 0;
    if (item->quoted) return kIniErrConvert;
    return parse_ulong(item->value, value);
}

int ini_get_double(const IniObject* ini, std::string_view section, std::string_view tag, double* value) {
    if (ini == nullptr || value == nullptr) return kIniErrArgument;
    const IniItem* item = find_item(ini, section, tag);
    if (item == nullptr) return 0;
    if (item->quoted) return kIniErrConvert;
    return parse_real(item->value, value);
}

int ini_get_string(const IniObject* ini, std::string_view section, std::string_view tag, std::string* value) {
    if (ini == nullptr || value == nullptr) return kIniErrArgument;
    const IniItem* item = find_item(ini, section, tag);
    if (item == nullptr) return 0;
    try {
        *value = item->quoted ? unescape(item->value) : item->value;
    } catch (const std::bad_alloc&) {
        return kIniErrNoMemory;
    }
    return 1;
}

int ini_get_string_into_buffer(const IniObject* ini, std::string_view section, std::string_view tag,
    char* buffer, std::size_t size, bool* truncated) {
    if (buffer == nullptr || size == 0) return kIniErrArgument;
    std::string text;
    int rc = ini_get_string(ini, section, tag, &text);
    if (rc != 1) return rc;
    std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    if (truncated != nullptr) *truncated = n < text.size();
    return 1;
}

std::vector<std::string> ini_section_names(const IniObject* ini) {
    std::vector<std::string> out;
    if (ini != nullptr)
        for (const IniSection& s : ini->sections) out.push_back(s.name);
    return out;
}

std::vector<std::string> ini_item_tags(const IniObject* ini, std::string_view section) {
    std::vector<std::string> out;
    if (ini == nullptr) return out;
    if (const IniSection* s = find_section(ini, section))
        for (const IniItem& i : s->items) out.push_back(i.tag);
    return out;
}

int ini_item_is_quoted(const IniObject* ini, std::string_view section, std::string_view tag) {
    const IniItem* item = ini == nullptr ? nullptr : find_item(ini, section, tag);
    return item != nullptr && item->quoted ? 1 : 0;
}

std::string ini_to_text(const IniObject* ini) {
    std::string out;
    if (ini == nullptr) return out;
    for (const IniSection& s : ini->sections) {
        out += '[';
        out += s.name;
        out += ']';
        out += kLineEnd;
        for (const IniItem& item : s.items) {
            const std::string_view quote = item.quoted ? "\"" : "";
            std::string_view value = item.value;
            if (value.size() <= kIniMaxPiece) {
                out += item.tag;
                out += kSeparator;
                out += quote;
                out += value;
                out += quote;
                out += kLineEnd;
                continue;
            }
            for (int n = 1; !value.empty(); ++n) {
                char number[16];
                auto res = std::to_chars(number, number + sizeof number, n);
                std::string_view digits(number, static_cast<std::size_t>(res.ptr - number));
                out += item.tag;
                out += kPieceMark;
                out.append(digits.size() < 4 ? 4 - digits.size() : 0, '0');
                out += digits;
                out += kSeparator;
                out += quote;
                out += value.substr(0, kIniMaxPiece);
                out += quote;
                out += kLineEnd;
                value.remove_prefix(std::min(value.size(), kIniMaxPiece));
            }
        }
        out += kLineEnd;
    }
    return out;
}

int ini_read_from_text(IniObject* ini, std::string_view text) {
    if (ini == nullptr) return kIniErrArgument;
    if (text.find('\0') != std::string_view::npos) return kIniErrBinary;
    try {
        ParseState st;
        // Editors may put a byte order mark before the first section.
        if (text.substr(0, 3) == "\xef\xbb\xbf") text.remove_prefix(3);
        while (!text.empty()) {
            std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.size() > kIniMaxLine) continue;
            parse_line(line, st);
        }
        for (RawSection& r : st.sections) {
            IniSection& s = get_or_add_section(*ini, r.name);
            for (IniItem& item : join_pieces(r.items)) set_item(*ini, s, item.tag, std::move(item.value), item.quoted);
        }
    } catch (const std::bad_alloc&) {
        return kIniErrNoMemory;
    }
    return kIniOk;
}

namespace {

int ini_status(const safe_file::Result& r) {
    switch (r.status) {
    case safe_file::Status::Ok:
        return kIniOk;
    case safe_file::Status::Argument:
        return kIniErrArgument;
    case safe_file::Status::NotFound:
        return kIniErrNotFound;
    case safe_file::Status::Open:
        return kIniErrOpen;
    case safe_file::Status::NotFile:
        return kIniErrNotFile;
    case safe_file::Status::Read:
        return kIniErrRead;
    case safe_file::Status::TooLarge:
        return kIniErrTooLarge;
    case safe_file::Status::NoMemory:
        return kIniErrNoMemory;
    case safe_file::Status::ReadOnly:
        return kIniErrReadOnly;
    case safe_file::Status::Write:
        return kIniErrWrite;
    case safe_file::Status::Rename:
        return kIniErrRename;
    }
    return kIniErrWrite;
}

constexpr safe_file::TempName kIniTemp{kIniTempPrefix, kIniTempSuffix};

} // namespace

int ini_read_from_file(IniObject* ini, const char* path, std::size_t max_bytes) {
    if (ini == nullptr || path == nullptr || *path == '\0') return kIniErrArgument;
    std::string text;
    if (int rc = ini_status(safe_file::read(path, max_bytes, text)); rc != kIniOk) return rc;
    return ini_read_from_text(ini, text);
}

int ini_write_to_file(const IniObject* ini, const char* path) {
    if (ini == nullptr || path == nullptr || *path == '\0') return kIniErrArgument;
    std::string text;
    try {
        text = ini_to_text(ini);
    } catch (const std::bad_alloc&) {
        return kIniErrNoMemory;
    }
    return ini_status(safe_file::save(path, text, kIniTemp));
}

int ini_cleanup_temp_files(const char* folder) {
    if (folder == nullptr || *folder == '\0') return kIniErrArgument;
    const int removed = safe_file::cleanup(folder, kIniTemp);
    return removed < 0 ? kIniErrOpen : removed;
}
