#include "link/scpi.h"

#include "link/ifp.h"
#include "ui/toolkit.h"
#include "util/kv_util.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>
#include <type_traits>

namespace {

// Exchanges that ifp_send_query could not complete, for callers that tell a
// silent instrument from one that answers badly.
unsigned g_unanswered = 0;

int exchange(const char* command, char* reply, int size)
{
    if (ifp_send_query(command, reply, size) != 0)
        return 1;
    ++g_unanswered;
    return 0;
}

// The command line is built in a buffer of the line size; a header so long
// that the line would not fit is a failure, never a cut command.
template <typename... A>
bool format_line(char (&line)[SCPI_LINE_SIZE], const char* format, A... args)
{
    const int n = std::snprintf(line, sizeof line, format, args...);
    return n > 0 && n < SCPI_LINE_SIZE;
}

int send_set(const char (&line)[SCPI_LINE_SIZE]) { return exchange(line, nullptr, 0); }

// The reply of a query, without its line end; false when the exchange failed.
bool ask(const char (&line)[SCPI_LINE_SIZE], char (&reply)[SCPI_LINE_SIZE])
{
    reply[0] = '\0';
    return exchange(line, reply, sizeof reply) != 0;
}

// The whole text as a number: a leading "+" is allowed where a digit or a
// point follows it; anything left over, or a value out of range, refuses it.
template <typename T>
bool parse_whole(const char* text, T* out)
{
    const char* begin = text;
    const char* end = text + std::strlen(text);
    if (*begin == '+' && begin + 1 < end && begin[1] != '-' && begin[1] != '+')
        ++begin;
    T value{};
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc{} || ptr != end || begin == end)
        return false;
    *out = value;
    return true;
}

} // namespace

unsigned scpi_unanswered() { return g_unanswered; }

int scpi_query_text(const char* command, char (&reply)[SCPI_LINE_SIZE])
{
    reply[0] = '\0';
    return exchange(command, reply, SCPI_LINE_SIZE);
}

int scpi_reply_int(char* reply, int* value)
{
    int v = 0;
    if (reply == nullptr || value == nullptr || !kv_util_isstr_dec(reply) || !parse_whole(reply, &v))
        return 0;
    *value = v;
    return 1;
}

int scpi_reply_float(char* reply, float* value)
{
    double d = 0.0;
    if (reply == nullptr || value == nullptr || !kv_util_isstr_float(reply) || !parse_whole(reply, &d) ||
        !std::isfinite(d) || std::fabs(d) > FLT_MAX)
        return 0;
    *value = static_cast<float>(d);
    return 1;
}

const char* scpi_suffix(int max, int min) { return max != 0 ? " MAX" : min != 0 ? " MIN"
                                                                                : ""; }

int scpi_access_int(const char* header, int* value, int max, int min, int set)
{
    char line[SCPI_LINE_SIZE];
    const char* suffix = scpi_suffix(max, min);
    if (set != 0) {
        const bool ok = value == nullptr ? format_line(line, "%s%s", header, suffix)
                                         : format_line(line, "%s%s %d", header, suffix, *value);
        return ok ? send_set(line) : 0;
    }
    char reply[SCPI_LINE_SIZE];
    if (value == nullptr || !format_line(line, "%s?%s", header, suffix) || !ask(line, reply))
        return 0;
    return scpi_reply_int(reply, value);
}

int scpi_access_float(const char* header, float* value, int max, int min, int set)
{
    if (value == nullptr)
        return 0;
    char line[SCPI_LINE_SIZE];
    const char* suffix = scpi_suffix(max, min);
    if (set != 0)
        return format_line(line, "%s%s %f", header, suffix, static_cast<double>(*value)) ? send_set(line) : 0;
    char reply[SCPI_LINE_SIZE];
    if (!format_line(line, "%s?%s", header, suffix) || !ask(line, reply))
        return 0;
    return scpi_reply_float(reply, value);
}

int scpi_access_list(const char* header, int entry, float* value, int* time, int time_flag, int max, int min, int set)
{
    char h[SCPI_LIST_HEADER_SIZE];
    const int n = std::snprintf(h, sizeof h, time_flag != 0 ? "%s:TIME" : "%s", header);
    if (n <= 0 || n >= SCPI_LIST_HEADER_SIZE || (time_flag != 0 ? time == nullptr : value == nullptr))
        return 0;
    char line[SCPI_LINE_SIZE];
    const char* suffix = scpi_suffix(max, min);
    if (set != 0) {
        const bool ok = time_flag != 0 ? format_line(line, "%s %d%s %d", h, entry, suffix, *time)
                                       : format_line(line, "%s %d%s %f", h, entry, suffix, static_cast<double>(*value));
        return ok ? send_set(line) : 0;
    }
    char reply[SCPI_LINE_SIZE];
    if (!format_line(line, "%s? %d%s", h, entry, suffix) || !ask(line, reply))
        return 0;
    return time_flag != 0 ? scpi_reply_int(reply, time) : scpi_reply_float(reply, value);
}

int scpi_access_name(const char* header, std::span<const char* const> names, int* value, int set)
{
    if (value == nullptr)
        return 0;
    char line[SCPI_LINE_SIZE];
    if (set != 0) {
        if (*value < 0 || static_cast<std::size_t>(*value) >= names.size())
            return 0;
        return format_line(line, "%s %s", header, names[static_cast<std::size_t>(*value)]) ? send_set(line) : 0;
    }
    char reply[SCPI_LINE_SIZE];
    if (!format_line(line, "%s?", header) || !ask(line, reply))
        return 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (std::strcmp(reply, names[i]) == 0) {
            *value = static_cast<int>(i);
            return 1;
        }
    }
    return 0;
}

namespace {

// Sets a control's limits so that at no moment its maximum lies below its
// minimum: whichever bound moves away from the other goes first.
void set_limits(int panel, int control, double lo, double hi)
{
    double old_max = 0.0;
    GetCtrlAttribute(panel, control, ATTR_MAX_VALUE, &old_max);
    if (lo > old_max) {
        SetCtrlAttribute(panel, control, ATTR_MAX_VALUE, hi);
        SetCtrlAttribute(panel, control, ATTR_MIN_VALUE, lo);
    } else {
        SetCtrlAttribute(panel, control, ATTR_MIN_VALUE, lo);
        SetCtrlAttribute(panel, control, ATTR_MAX_VALUE, hi);
    }
}

} // namespace

int scpi_set_limits(int panel, int control, const double* lo, const double* hi)
{
    double min = 0.0, max = 0.0;
    GetCtrlAttribute(panel, control, ATTR_MIN_VALUE, &min);
    GetCtrlAttribute(panel, control, ATTR_MAX_VALUE, &max);
    if (lo)
        min = *lo;
    if (hi)
        max = *hi;
    if (!(min <= max)) // inverted, or not a number
        return 0;
    set_limits(panel, control, min, max);
    return 1;
}

namespace {

template <typename T, typename Access>
int refresh(int panel, int control, const char* header, int with_limits, Access access)
{
    if (with_limits != 0) {
        T hi{}, lo{};
        if (!access(header, &hi, 1, 0, 0))
            return 0;
        const double max = static_cast<double>(hi);
        if (!access(header, &lo, 0, 1, 0)) {
            scpi_set_limits(panel, control, nullptr, &max); // when it keeps the range whole
            return 0;
        }
        // An instrument whose minimum lies above its maximum is not believed.
        const double min = static_cast<double>(lo);
        if (!scpi_set_limits(panel, control, &min, &max))
            return 0;
    }
    T value{};
    if (!access(header, &value, 0, 0, 0))
        return 0;
    if constexpr (std::is_same_v<T, int>)
        SetCtrlVal(panel, control, value);
    else
        SetCtrlVal(panel, control, static_cast<double>(value));
    return 1;
}

} // namespace

int scpi_refresh_float(int panel, int control, const char* header, int with_limits)
{
    return refresh<float>(panel, control, header, with_limits, scpi_access_float);
}

int scpi_refresh_int(int panel, int control, const char* header, int with_limits)
{
    return refresh<int>(panel, control, header, with_limits, scpi_access_int);
}

void scpi_list_show_row(int panel, int control, int row, float value, int time, int insert, int header)
{
    if (header != 0) {
        SetCtrlAttribute(panel, control, ATTR_LABEL_TEXT, "NO.          VALUE            TIME");
        return;
    }
    char number[32];
    std::snprintf(number, sizeof number, "%.4f", static_cast<double>(value));
    char text[96];
    std::snprintf(text, sizeof text, "%03d\033p50l%6s \033p125l%05d", row + 1, number, time);
    if (insert != 0)
        InsertListItem(panel, control, row, text, row);
    else
        ReplaceListItem(panel, control, row, text, row);
}
