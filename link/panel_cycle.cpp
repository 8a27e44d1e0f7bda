#include "link/panel_cycle.h"

#include "link/ifp.h"
#include "ui/toolkit.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

int panel_cycle_outcome(PanelCycleWatch* watch, int answered, const char* message)
{
    if (watch == nullptr)
        return 0;
    if (answered != 0) {
        watch->failures = 0;
        return 0;
    }
    if (++watch->failures < PANEL_CYCLE_FAILURE_LIMIT)
        return 0;
    watch->failures = 0;
    MessagePopup("Error!", message);
    ifp_close();
    return 1;
}

namespace {

// The overflow mark, right-aligned; "-OL" for a negative reading.
int overflow(bool negative, int width, char* out, std::size_t size)
{
    std::snprintf(out, size, "%*s", width, negative ? "-OL" : "OL");
    return 0;
}

bool plain_decimal(const char* text)
{
    if (*text == '+' || *text == '-')
        ++text;
    bool digit = false, point = false;
    for (; *text != '\0'; ++text) {
        if (*text >= '0' && *text <= '9')
            digit = true;
        else if (*text == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

} // namespace

int panel_readout_fit(const char* number, int width, char* out, std::size_t size)
{
    if (out == nullptr || width < 3 || size <= static_cast<std::size_t>(width)) {
        if (out != nullptr && size > 0)
            out[0] = '\0';
        return 0;
    }
    if (number == nullptr)
        return overflow(false, width, out, size);
    const std::size_t length = std::strlen(number);
    const char* point = std::strchr(number, '.');
    const std::size_t whole = point != nullptr ? static_cast<std::size_t>(point - number) : length;
    if (plain_decimal(number) && whole <= static_cast<std::size_t>(width)) {
        const std::size_t keep = length < static_cast<std::size_t>(width) ? length : static_cast<std::size_t>(width);
        std::memcpy(out, number, keep);
        out[keep] = '\0';
        return 1;
    }
    const char* begin = *number == '+' ? number + 1 : number;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(begin, number + length, value);
    if (ec != std::errc{} || end != number + length || begin == end || !std::isfinite(value))
        return overflow(*number == '-', width, out, size);
    // The whole part's digits (and sign) decide how many decimals are left.
    char text[64];
    for (int decimals = width - 2; decimals >= 0; --decimals) {
        const int n = std::snprintf(text, sizeof text, "%.*f", decimals, value);
        if (n > 0 && n <= width) {
            std::memcpy(out, text, static_cast<std::size_t>(n) + 1);
            return 1;
        }
    }
    return overflow(value < 0, width, out, size);
}

int panel_alarm_blink(int alarm, int phase)
{
    if (alarm == 0 || phase != 1)
        return 0;
    CVI_Beep();
    return 1;
}
