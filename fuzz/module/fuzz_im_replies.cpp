// Fuzzes the IM reply parsers, on their own and behind the command functions.
// The first byte picks the routine (and, for the command functions, whether
// the exchange succeeds); the rest is the reply text the instrument sent.
// Links its own ifp_send_query, which hands out that reply as the transport
// would: at most size - 1 bytes, terminated.
#include "module/im.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string g_reply;
bool g_ok = true;

void check(bool condition) {
    if (!condition)
        std::abort();
}

// No control characters and at most max characters.
void check_text(const char* text, std::size_t max) {
    check(text != nullptr);
    check(std::strlen(text) <= max);
}

bool is_decimal_text(const std::string& s) {
    std::size_t end = s.size();
    while (end > 0 && s[end - 1] == ' ')
        --end;
    for (std::size_t i = 0; i < end; ++i) {
        const char c = s[i];
        if (!((c >= '0' && c <= '9') || (i == 0 && (c == '+' || c == '-'))))
            return false;
    }
    return true;
}

int32_t read_int(const uint8_t*& data, std::size_t& size) {
    uint32_t v = 0;
    for (int i = 0; i < 4 && size > 0; ++i, ++data, --size)
        v = (v << 8) | *data;
    return static_cast<int32_t>(v);
}

} // namespace

int ifp_send_query(const char* command, char* reply, int size) {
    check(command != nullptr);
    if (!g_ok)
        return 0;
    if (reply != nullptr) {
        check(size > 0);
        const std::size_t n = std::min(g_reply.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(reply, g_reply.data(), n);
        reply[n] = '\0';
    }
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const uint8_t selector = data[0];
    ++data;
    --size;
    g_ok = (selector & 0x80) == 0;
    const int routine = selector & 0x7F;
    int32_t ints[4] = {0, 0, 0, 0};
    if (routine == 7 || routine == 11) {
        for (auto& v : ints)
            v = read_int(data, size);
    }
    // A reply is a text: it ends at the first NUL.
    g_reply.assign(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    std::string text = g_reply;

    switch (routine % 16) {
    case 0: {
        const int r = im_parse_ready(text.data());
        check(r == 0 || r == 1);
        check(r == 0 || is_decimal_text(g_reply));
        break;
    }
    case 1: {
        int mode = 12345;
        const int r = im_parse_mode(text.data(), &mode);
        check(r == 0 || r == 1);
        check(r == 1 || mode == 12345);
        check(r == 0 || is_decimal_text(g_reply));
        break;
    }
    case 2: {
        uint32_t v = 0xDEADBEEF;
        const int r = im_parse_register(text.c_str(), &v);
        check(r == 0 || r == -1);
        check(r == 0 || v == 0xDEADBEEF);
        break;
    }
    case 3:
        (void)im_parse_float(text.c_str());
        break;
    case 4:
        (void)im_parse_count(text.c_str());
        break;
    case 5: {
        const char* v = im_parse_version(text.c_str());
        check_text(v, text.size());
        break;
    }
    case 6: {
        char serno[IM_SERNO_LEN + 1];
        im_parse_serno(text.c_str(), serno);
        check_text(serno, IM_SERNO_LEN);
        break;
    }
    case 7: {
        char line[IM_CAL_LINE_SIZE];
        im_format_cal_line(ints[0], ints[1], ints[2], ints[3], text.c_str(), line);
        check(std::strncmp(line, "IM:CAL:DATA ", 12) == 0);
        for (const char* p = line; *p; ++p)
            check(static_cast<unsigned char>(*p) >= 32);
        break;
    }
    case 8: {
        const int r = im_get_data_ready();
        check(r == 0 || r == 1);
        check(g_ok || r == 0);
        break;
    }
    case 9: {
        const char* v = im_get_module_version();
        check(g_ok == (v != nullptr));
        if (v)
            check_text(v, IM_VERSION_REPLY_SIZE - 1);
        break;
    }
    case 10:
        check_text(im_get_device_serno(), IM_SERNO_LEN);
        break;
    case 11: {
        const char* line = im_get_cal_config(ints[0], ints[1], ints[2], ints[3]);
        check_text(line, IM_CAL_LINE_SIZE - 1);
        check(std::strncmp(line, "IM:CAL:DATA ", 12) == 0);
        break;
    }
    case 12: {
        const double f = im_set_dds_sine_freq(1000.0);
        check(g_ok || f == 0.0);
        break;
    }
    case 13: {
        uint8_t b = 0x5A;
        uint16_t w = 0x5A5A;
        const int rb = im_inpb(0x1A, &b);
        const int rw = im_inpw(0x1A, &w);
        check(rb == rw);
        check(rb == 0 || (b == 0x5A && w == 0x5A5A));
        check(rb != 0 || b == (w & 0xFF));
        break;
    }
    case 14: {
        int mode = -77;
        const int r = im_access_im_mode(&mode, 0);
        check(r == 1 || mode == -77);
        break;
    }
    case 15: {
        // The count is read from what fits the reply buffer.
        const std::string fits = g_reply.substr(0, IM_REPLY_SIZE - 1);
        check(im_get_marker_freq_count() == (g_ok ? im_parse_count(fits.c_str()) : 0));
        break;
    }
    }
    return 0;
}
