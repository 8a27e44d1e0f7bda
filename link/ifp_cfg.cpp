// Reading the device.cfg text, kept apart from the panel so that it can be
// fed bytes directly.
#include "link/ifp.h"

#include <algorithm>
#include <charconv>
#include <cstring>

int ifp_parse_device_cfg(const char* line)
{
    while (*line == ' ' || (*line >= '\t' && *line <= '\r'))
        ++line;
    bool negative = false;
    if (*line == '+' || *line == '-')
        negative = *line++ == '-';
    if (*line < '0' || *line > '9') // one sign only, then digits
        return -1;
    const char* end = line + std::strlen(line);
    int value = 0;
    auto [ptr, ec] = std::from_chars(line, end, value);
    if (ec != std::errc{} || ptr == line)
        return -1;
    return negative ? -value : value;
}

int ifp_parse_device_cfg_text(std::string_view text)
{
    // The first line, as fgets would read it into the line buffer.
    std::string_view first = text.substr(0, text.find('\n'));
    char line[IFP_CFG_LINE_SIZE];
    const std::size_t n = std::min(first.size(), sizeof line - 1);
    std::memcpy(line, first.data(), n);
    line[n] = '\0';
    return ifp_parse_device_cfg(line);
}
