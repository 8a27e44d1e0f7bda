#include "util/kv_util.h"

#include "ui/resources/debug.h"
#include "ui/toolkit.h"
#include "ui/resource.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_hex_digit(char c)
{
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void cut_trailing_spaces(char* text)
{
    std::size_t n = std::strlen(text);
    while (n > 0 && text[n - 1] == ' ')
        text[--n] = '\0';
}

// FCS-16 table of PPP: the reflected polynomial 0x8408.
constexpr std::array<uint16_t, 256> make_crc_table()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned v = i;
        for (int bit = 0; bit < 8; ++bit)
            v = (v & 1u) ? (v >> 1) ^ 0x8408u : v >> 1;
        table[i] = static_cast<uint16_t>(v);
    }
    return table;
}
constexpr std::array<uint16_t, 256> kCrcTable = make_crc_table();
static_assert(kCrcTable[1] == 0x1189 && kCrcTable[128] == 0x8408 && kCrcTable[255] == 0x0F78);

// Digits of a time field; saturates so a long run of digits cannot overflow.
int32_t read_field(const char* begin, const char* end)
{
    int32_t v = 0;
    for (const char* p = begin; p < end; ++p) {
        v = v * 10 + (*p - '0');
        if (v > 1000000)
            v = 1000000;
    }
    return v;
}

char g_time_text[KV_UTIL_TIME_TEXT_SIZE];
char g_ip_text[KV_UTIL_IP_TEXT_SIZE];
char g_bin_text[KV_UTIL_BIN_TEXT_SIZE];
char g_float_text[KV_UTIL_FLOAT_TEXT_SIZE];
char g_path[KV_UTIL_PATH_SIZE];
char g_dbg_line[KV_UTIL_DBG_LINE_SIZE];

int g_dbg_panel = -1;

// Loads and shows the debug panel when it is not loaded; the handle to use
// for this call, -1 when the panel will not load.
int dbg_open()
{
    int visible = 0;
    if (g_dbg_panel != -1 && GetPanelAttribute(g_dbg_panel, ATTR_VISIBLE, &visible) >= 0)
        return g_dbg_panel;
    // Discarded behind our back (or never loaded): load it again.
    g_dbg_panel = -1;
    const int panel = LoadPanel(0, "debug.uir", DEBUG_PANEL);
    if (panel < 0) {
        MessagePopup("Open Debug Panel", "       FAIL!");
        return -1;
    }
    DisplayPanel(panel);
    g_dbg_panel = panel;
    return panel;
}

} // namespace

// ---- numeric text checks ------------------------------------------------------

int kv_util_isstr_dec(char* text)
{
    if (text == nullptr || text[0] == '\0')
        return 0;
    cut_trailing_spaces(text);
    for (std::size_t i = 0; text[i] != '\0'; ++i) {
        const char c = text[i];
        if (is_digit(c) || (i == 0 && (c == '-' || c == '+')))
            continue;
        return 0;
    }
    return 1;
}

int kv_util_isstr_float(char* text)
{
    if (text == nullptr || text[0] == '\0')
        return 0;
    cut_trailing_spaces(text);
    int points = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        if (c == '.') {
            if (++points > 1)
                return 0;
        } else if (!is_digit(c) && c != '+' && c != '-' && c != 'e' && c != 'E') {
            return 0;
        }
    }
    return 1;
}

int kv_util_isstr_hex(const char* text)
{
    if (text == nullptr || text[0] == '\0')
        return 0;
    for (const char* p = text; *p != '\0'; ++p)
        if (!is_hex_digit(*p))
            return 0;
    return 1;
}

// ---- CRC --------------------------------------------------------------------

uint16_t kv_util_crcsum(uint16_t crc, uint8_t byte)
{
    return static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFFu]);
}

// ---- times ------------------------------------------------------------------

int kv_util_isstr_time_seconds(const char* text, int32_t* seconds)
{
    if (text == nullptr)
        return 0;
    const std::size_t len = strnlen(text, KV_UTIL_TIME_TEXT_MAX + 1);
    if (len == 0 || len > KV_UTIL_TIME_TEXT_MAX)
        return 0;
    const char* colons[2] = {nullptr, nullptr};
    int ncolons = 0;
    for (std::size_t i = 0; i < len; ++i) {
        if (text[i] == ':') {
            if (ncolons == 2)
                return 0;
            colons[ncolons++] = text + i;
        } else if (!is_digit(text[i])) {
            return 0;
        }
    }
    if (ncolons != 2 || !is_digit(text[len - 1]))
        return 0;
    const int32_t h = read_field(text, colons[0]);
    const int32_t m = read_field(colons[0] + 1, colons[1]);
    const int32_t s = read_field(colons[1] + 1, text + len);
    if (h > 9999 || m > 59 || s > 59)
        return 0;
    if (seconds != nullptr)
        *seconds = h * 3600 + m * 60 + s;
    return 1;
}

int kv_util_isstr_time(const char* text)
{
    return kv_util_isstr_time_seconds(text, nullptr);
}

int32_t kv_util_str2time(const char* text)
{
    int32_t seconds = 0;
    return kv_util_isstr_time_seconds(text, &seconds) ? seconds : 0;
}

const char* kv_util_time2str(int32_t seconds)
{
    std::snprintf(g_time_text, sizeof g_time_text, "%04d:%02d:%02d", seconds / 3600,
        (seconds / 60) % 60, seconds % 60);
    return g_time_text;
}

// ---- IPv4 --------------------------------------------------------------------

int kv_util_str2ip(const char* text, uint8_t ip[4])
{
    if (text == nullptr)
        return 0;
    uint8_t octets[4] = {0, 0, 0, 0};
    unsigned value = 0;
    int index = 0;
    char last = '\0'; // last character taken
    for (std::size_t i = 0; text[i] != '\0'; ++i) {
        const char c = text[i];
        if (c == ' ') {
            if (index == 0)
                continue;
            break;
        }
        if (is_digit(c)) {
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 255)
                return 0;
        } else if (c == '.') {
            if (i == 0 || !is_digit(text[i - 1]) || index == 3)
                return 0;
            octets[index++] = static_cast<uint8_t>(value);
            value = 0;
        } else {
            return 0;
        }
        last = c;
    }
    if (!is_digit(last) || index != 3)
        return 0;
    octets[3] = static_cast<uint8_t>(value);
    std::memcpy(ip, octets, 4);
    return 1;
}

const char* kv_util_ip2str(const uint8_t ip[4])
{
    std::snprintf(g_ip_text, sizeof g_ip_text, "%d.%d.%d.%d", ip[0], ip[1], ip[2], ip[3]);
    return g_ip_text;
}

int kv_util_ip_len2mask(int len, uint8_t mask[4])
{
    std::memset(mask, 0, 4);
    if (len < 0 || len > 32)
        return 0;
    int i = 0;
    for (; i < len / 8; ++i)
        mask[i] = 0xFF;
    if (len % 8 != 0)
        mask[i] = static_cast<uint8_t>(0xFF00u >> (len % 8));
    return 1;
}

int kv_util_ip_mask2len(const uint8_t mask[4])
{
    int len = 0;
    for (int i = 0; i < 4; ++i) {
        if (mask[i] == 0xFF) {
            len += 8;
            continue;
        }
        for (unsigned b = mask[i]; b != 0; b = (b << 1) & 0xFFu)
            ++len;
        break;
    }
    return len;
}

int kv_util_ip_default_masklen(const uint8_t ip[4])
{
    if ((ip[0] & 0x80u) == 0)
        return 8;
    if ((ip[0] & 0xC0u) == 0x80u)
        return 16;
    if ((ip[0] & 0xE0u) == 0xC0u)
        return 24;
    return 32;
}

int kv_util_ip_valid(const uint8_t ip[4])
{
    if (ip[0] == 127)
        return 0;
    if (ip[0] == 255 && ip[1] == 255 && ip[2] == 255 && ip[3] == 255)
        return 0;
    if (ip[0] == 0 && ip[1] == 0 && ip[2] == 0 && ip[3] == 0)
        return 0;
    return 1;
}

int kv_util_ip_netid_same(const uint8_t a[4], const uint8_t b[4], const uint8_t mask[4])
{
    for (int i = 0; i < 4; ++i)
        if ((a[i] & mask[i]) != (b[i] & mask[i]))
            return 0;
    return 1;
}

// ---- conversions ---------------------------------------------------------------

int32_t kv_util_asctohex(const char* text, int count)
{
    if (text == nullptr)
        return 0;
    uint32_t v = 0;
    for (int i = 0; i < count && text[i] != '\0'; ++i) {
        const char c = text[i];
        const int digit = is_digit(c) ? c - '0' : static_cast<unsigned char>(to_upper(c)) - 55;
        v = v * 16u + static_cast<uint32_t>(digit);
    }
    return static_cast<int32_t>(v);
}

const char* kv_util_hex2binstr(uint16_t value)
{
    for (int bit = 0; bit < 16; ++bit)
        g_bin_text[bit] = (value & (0x8000u >> bit)) ? '1' : '0';
    g_bin_text[16] = '\0';
    return g_bin_text;
}

const char* kv_util_form_float_prec(double value, int digits, int trim)
{
    g_float_text[0] = '\0';
    if (digits < 1 || digits > KV_UTIL_FLOAT_DIGITS_MAX)
        return g_float_text;
    // The full text can be far longer than the result (1e300 has 301 integer
    // digits); it is made in a scratch buffer and only the cut text is kept.
    char full[400];
    const auto res = std::to_chars(full, full + sizeof full, value, std::chars_format::fixed, digits);
    if (res.ec != std::errc())
        return g_float_text;
    std::size_t len = static_cast<std::size_t>(res.ptr - full);
    int counted = 0;
    for (std::size_t i = 0; i < len; ++i) {
        if (full[i] != '.' && ++counted == digits) {
            len = i + 1;
            break;
        }
    }
    if (trim == 1 && std::memchr(full, '.', len) != nullptr) {
        while (len > 0 && full[len - 1] == '0')
            --len;
        if (len > 0 && full[len - 1] == '.')
            --len;
    }
    std::memcpy(g_float_text, full, len);
    g_float_text[len] = '\0';
    return g_float_text;
}

double kv_util_q162float(int32_t q)
{
    return q / 65536.0;
}

int32_t kv_util_float2q16(float value)
{
    const double q = std::trunc(static_cast<double>(value) * 65536.0);
    if (std::isnan(q))
        return 0;
    if (q >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (q <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(q);
}

// ---- numbers in the C locale ---------------------------------------------------------

namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The start of the number after white space and a "+" (from_chars takes only
// "-"); nullptr when a second sign follows the "+".
const char* number_start(const char* text)
{
    while (is_space(*text))
        ++text;
    if (*text == '+') {
        ++text;
        if (*text == '-' || *text == '+')
            return nullptr;
    }
    return text;
}

template <typename T>
int scan_number(const char* text, T* value)
{
    if (text == nullptr || value == nullptr)
        return 0;
    const char* p = number_start(text);
    if (p == nullptr)
        return 0;
    T v{};
    const auto res = std::from_chars(p, p + std::strlen(p), v);
    if (res.ec != std::errc())
        return 0;
    *value = v;
    return 1;
}

} // namespace

std::string kv_util_ftoa(double value, int decimals)
{
    if (decimals < 0)
        decimals = 0;
    if (decimals > 60)
        decimals = 60;
    char text[400];
    const auto res = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, res.ptr);
}

int kv_util_scan_double(const char* text, double* value) { return scan_number(text, value); }
int kv_util_scan_float(const char* text, float* value) { return scan_number(text, value); }
int kv_util_scan_int(const char* text, int* value) { return scan_number(text, value); }

// ---- keyboard and pop-ups ----------------------------------------------------------

int kv_util_kbhit()
{
    int panel = 0;
    int control = 0;
    GetUserEvent(VAL_NO_WAIT, &panel, &control);
    return KeyHit();
}

int kv_util_getchar()
{
    const int key = GetKey();
    switch (key) {
    case VAL_BACKSPACE_VKEY:
    case VAL_DELETE_VKEY:
        return 8;
    case VAL_ESC_VKEY:
        return 27;
    case VAL_TAB_VKEY:
        return 9;
    case VAL_ENTER_VKEY:
        return 13;
    default:
        return key;
    }
}

void kv_util_popup_message(const char* title, const char* text)
{
    MessagePopup(title, text);
}

int kv_util_popup_ask4yesno(const char* title, const char* text)
{
    return ConfirmPopup(title, text) == 1 ? 1 : 0;
}

int kv_util_popup_gets(const char* title, const char* prompt, char* buffer, int size)
{
    if (buffer == nullptr || size < 1)
        return 0;
    if (PromptPopup(title, prompt, buffer, size - 1) < 0) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[size - 1] = '\0';
    return static_cast<int>(std::strlen(buffer));
}

const char* kv_util_popup_getfile(const char* title, const char* default_file, const char* filter)
{
    const int chosen = FileSelectPopup("", default_file, filter, title, VAL_SELECT_BUTTON, 0, 0, 1, 1,
        g_path, sizeof g_path);
    if (chosen <= 0) {
        g_path[0] = '\0';
        return nullptr;
    }
    return g_path;
}

// ---- debug panel ----------------------------------------------------------------------

void kv_util_dbg_printf(const char* format, ...)
{
    const int panel = dbg_open();
    if (panel < 0)
        return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(g_dbg_line, sizeof g_dbg_line, format, args);
    va_end(args);
    SetCtrlVal(panel, DEBUG_PANEL_TEXT, g_dbg_line);
}

int debugtext_service(int /*panel*/, int control, int event, void* /*callbackData*/, int /*eventData1*/,
    int /*eventData2*/)
{
    const int panel = dbg_open();
    if (panel < 0 || event != EVENT_COMMIT)
        return 0;
    if (control == DEBUG_PANEL_CLEAR) {
        ResetTextBox(panel, DEBUG_PANEL_TEXT, "");
    } else if (control == DEBUG_PANEL_CLOSE) {
        DiscardPanel(panel);
        g_dbg_panel = -1;
    }
    return 0;
}

int kv_util_dbg_panel()
{
    return g_dbg_panel;
}

void kv_util_register_callbacks()
{
    ui_register_ctrl_callback("debugtext_service", debugtext_service);
}
