// Reads arbitrary bytes as an INI text, reads every item with every getter,
// writes the object and reads it back: nothing may crash, and what the writer
// wrote must read back to the same sections and values.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini.h"

namespace {

bool piece_like(std::string_view tag) { return tag.find(" Line") != std::string_view::npos; }

// Values whose text the format cannot carry unchanged, all bare text joined
// from odd pieces: text that starts and ends with a quote (it reads back as a
// string), with blanks at either end (they are trimmed), and long text with
// blanks or quotes where it is cut into numbered lines.
bool representable(std::string_view value, bool quoted) {
    if (quoted) return true;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return false;
    constexpr std::string_view blanks = " \t\r\v\f";
    if (!value.empty() && (blanks.find(value.front()) != blanks.npos || blanks.find(value.back()) != blanks.npos))
        return false;
    return value.size() <= kIniMaxPiece || value.find_first_of(" \t\r\v\f\"") == std::string_view::npos;
}

[[noreturn]] void fail(const char* what, std::string_view section = {}, std::string_view tag = {}) {
    std::fprintf(stderr, "fuzz_ini_read: %s [%.*s] %.*s\n", what, static_cast<int>(section.size()), section.data(),
        static_cast<int>(tag.size()), tag.data());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    IniText ini = ini_new(false);
    if (!ini) return 0;
    int rc = ini_read_from_text(ini.get(), input);
    if (rc != kIniOk) {
        if (rc != kIniErrBinary || input.find('\0') == std::string_view::npos) fail("read failed without a NUL");
        return 0;
    }

    for (const std::string& section : ini_section_names(ini.get())) {
        if (ini_section_exists(ini.get(), section) != 1) fail("listed section missing", section);
        for (const std::string& tag : ini_item_tags(ini.get(), section)) {
            long l = 0;
            unsigned long u = 0;
            double d = 0;
            std::string s;
            char small[5];
            if (ini_get_int(ini.get(), section, tag, &l) == 0 || ini_get_uint(ini.get(), section, tag, &u) == 0 ||
                ini_get_double(ini.get(), section, tag, &d) == 0 || ini_get_string(ini.get(), section, tag, &s) != 1 ||
                ini_get_string_into_buffer(ini.get(), section, tag, small, sizeof small) != 1)
                fail("listed item not found by a getter", section, tag);
        }
    }

    const std::string text = ini_to_text(ini.get());
    IniText again = ini_new(false);
    if (!again || ini_read_from_text(again.get(), text) != kIniOk) fail("written text does not read");
    if (ini_section_names(again.get()) != ini_section_names(ini.get())) fail("sections differ after writing");
    for (const std::string& section : ini_section_names(ini.get())) {
        const std::vector<std::string> tags = ini_item_tags(ini.get(), section);
        for (std::size_t i = 0; i < tags.size(); ++i) {
            // A piece-like tag, or an item followed by one, may legitimately be joined differently.
            if (piece_like(tags[i]) || (i + 1 < tags.size() && piece_like(tags[i + 1]))) continue;
            std::string before, after;
            if (ini_get_string(ini.get(), section, tags[i], &before) != 1) fail("item vanished", section, tags[i]);
            if (ini_get_string(again.get(), section, tags[i], &after) != 1) fail("item lost in writing", section, tags[i]);
            const int quoted = ini_item_is_quoted(ini.get(), section, tags[i]);
            if (ini_item_is_quoted(again.get(), section, tags[i]) != quoted && representable(before, quoted != 0))
                fail("quoting changed in writing", section, tags[i]);
            if (representable(before, quoted != 0) && before != after) fail("value changed in writing", section, tags[i]);
        }
    }
    return 0;
}
