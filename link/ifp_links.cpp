// The addresses the interface panel remembers across runs, one per link kind,
// in a small file of the per-user configuration folder (device.cfg keeps its
// one-number format).
#include "link/ifp_links.h"

#include "platform/safe_file.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

// The keys of the file, indexed by link kind (0 GPIB, 1 COM, 2 TCP, 3 UDP).
constexpr const char* kKindKeys[] = {"GPIB", "COM", "TCP", "UDP"};
constexpr std::size_t kMaxFileSize = 4096;

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool to_int(std::string_view text, int* out)
{
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size())
        return false;
    *out = v;
    return true;
}

} // namespace

std::string ifp_links_path()
{
    if (const char* env = std::getenv("IMBENCH_LINKS"); env && *env)
        return env;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/imbench/links.cfg";
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return std::string(home) + "/.config/imbench/links.cfg";
    return {};
}

IfpLinks ifp_links_parse(std::string_view text)
{
    IfpLinks links;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const auto eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        int number = 0;
        if (key == "KIND") {
            for (int kind = 0; kind < IFP_LINK_KINDS; ++kind)
                if (value == kKindKeys[kind])
                    links.kind = kind;
        } else if (key == "GPIB" && to_int(value, &number)) {
            links.gpib = number;
        } else if (key == "COM") {
            const auto blank = value.find(' ');
            int baud = 0;
            if (to_int(value.substr(0, blank), &number))
                links.com = number;
            if (blank != std::string_view::npos && to_int(trim(value.substr(blank)), &baud))
                links.baud = baud;
        } else if ((key == "TCP" || key == "UDP") && value.size() <= IFP_LINKS_ADDRESS_MAX) {
            (key == "TCP" ? links.tcp : links.udp) = value;
        }
    }
    return links;
}

std::string ifp_links_format(const IfpLinks& links)
{
    std::string text = "# The last address of each link kind, kept by imbench.\n";
    if (links.kind >= 0 && links.kind < IFP_LINK_KINDS)
        text += std::string("KIND = ") + kKindKeys[links.kind] + "\n";
    if (links.gpib >= 0)
        text += "GPIB = " + std::to_string(links.gpib) + "\n";
    if (links.com >= 0)
        text += "COM = " + std::to_string(links.com) +
            (links.baud > 0 ? " " + std::to_string(links.baud) : std::string()) + "\n";
    if (!links.tcp.empty())
        text += "TCP = " + links.tcp + "\n";
    if (!links.udp.empty())
        text += "UDP = " + links.udp + "\n";
    return text;
}

IfpLinks ifp_links_load()
{
    const std::string path = ifp_links_path();
    std::string text;
    if (path.empty() || !safe_file::read(path, kMaxFileSize, text).ok())
        return {};
    return ifp_links_parse(text);
}

std::string ifp_links_save(const IfpLinks& links)
{
    const std::string path = ifp_links_path();
    if (path.empty())
        return "no configuration folder (HOME is not set)";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const safe_file::Result r = safe_file::save(path, ifp_links_format(links));
    return r.ok() ? std::string() : path + ": " + safe_file::describe(r);
}
