// kv_util's text checks and conversions, against the C library where it gives
// the same answer, and the tables of the routines it has no twin for.
#include "util/kv_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

TEST(KvUtil, TextChecksConversionsCrcTimesAndAddresses) {
    struct Case {
        const char* text;
        int dec, flt;
        const char* after;
    }; // the checks cut trailing spaces
    for (const Case& c : {Case{"12  ", 1, 1, "12"}, {"-", 1, 1, "-"}, {"+45", 1, 1, "+45"}, {"   ", 1, 1, ""}, {"", 0, 0, ""},
             {" 12", 0, 0, " 12"}, {"1-2", 0, 1, "1-2"}, {"12a", 0, 0, "12a"}, {"12\t", 0, 0, "12\t"}, {"1e5", 0, 1, "1e5"},
             {"-.5 ", 0, 1, "-.5"}, {"1.2.3", 0, 0, "1.2.3"}, {"1,5", 0, 0, "1,5"}, {"0x1p3", 0, 0, "0x1p3"}}) {
        char dec[16], flt[16];
        std::strcpy(dec, c.text), std::strcpy(flt, c.text);
        EXPECT_EQ((std::vector{kv_util_isstr_dec(dec), kv_util_isstr_float(flt)}), (std::vector{c.dec, c.flt})) << c.text;
        EXPECT_EQ(std::string(dec) + "|" + flt, std::string(c.after) + "|" + c.after);
    }
    EXPECT_EQ((std::vector{kv_util_isstr_dec(nullptr), kv_util_isstr_float(nullptr), kv_util_isstr_hex(nullptr),
                  kv_util_isstr_hex(""), kv_util_isstr_hex("0x1F"), kv_util_isstr_hex("09afAF")}),
        (std::vector{0, 0, 0, 0, 0, 1}));
    const std::string alphabet = "019+-.eE"; // every text of up to four: what the C library reads whole passes
    for (int n = 1; n < 8 + 64 + 512 + 4096; ++n) {
        std::string t;
        for (int k = n; k > 0; k = (k - 1) / 8) t += alphabet[(k - 1) % 8];
        char *endD = nullptr, *endL = nullptr, a[8], b[8];
        std::strcpy(a, t.c_str()), std::strcpy(b, t.c_str()), std::strtod(a, &endD), std::strtol(a, &endL, 10);
        EXPECT_TRUE((*endD != '\0' || kv_util_isstr_float(a)) && (*endL != '\0' || kv_util_isstr_dec(b))) << t;
    }
    for (const char* t : {"999.9876", "  1.5\r", "+2", "-.5", "1e3xyz", "12,5", "1.", "", "   ", "abc", "+-1", "--1",
             ".", "-", "1e60", "-17x", "2147483647", "-2147483648", "2147483648", "99999999999", "\n7"}) {
        char *endL = nullptr, *endF = nullptr, *endD = nullptr;
        errno = 0;
        const long l = std::strtol(t, &endL, 10);
        const bool intOk = endL != t && errno == 0 && l >= INT_MIN && l <= INT_MAX;
        errno = 0;
        const double f = std::strtof(t, &endF), d = std::strtod(t, &endD); // no double here overflows
        const bool floatOk = endF != t && errno == 0;
        struct {
            int i = -42;
            float f = -42;
            double d = -42;
        } got; // untouched when nothing is read
        EXPECT_EQ((std::vector{kv_util_scan_int(t, &got.i), kv_util_scan_float(t, &got.f), kv_util_scan_double(t, &got.d)}),
            (std::vector{int(intOk), int(floatOk), int(endD != t)}))
            << t;
        EXPECT_EQ((std::vector{double(got.i), double(got.f), got.d}),
            (std::vector{intOk ? double(l) : -42, floatOk ? f : -42, endD != t ? d : -42}))
            << t;
    }
    auto printed = [](double v, int places) { char s[512]; std::snprintf(s, sizeof s, "%.*f", places, v); return std::string(s); };
    for (double v : {1000.0, 999.9876, -0.5, 5e-7, 2.5, 3.5, 1e20, -1e308})
        for (int places : {0, 2, 6, 60}) EXPECT_EQ(kv_util_ftoa(v, places), printed(v, places)) << v << " " << places;
    EXPECT_EQ(kv_util_ftoa(12.5) + kv_util_ftoa(1.25, -3) + "|" + kv_util_ftoa(1, 70).substr(61), "12.5000001|0");

    for (auto [v, q] : {std::pair{-1.5f, -98304}, {1.5f / 65536, 1}, {-1.5f / 65536, -1}, {-32768.0f, INT32_MIN},
             {32768.0f, INT32_MAX}, {-1e10f, INT32_MIN}, {std::nanf(""), 0}})
        EXPECT_EQ(kv_util_float2q16(v), q) << v; // truncated toward zero, saturated
    for (int32_t q = INT32_MIN; q < INT32_MAX - 40000000; q += 40000009) EXPECT_EQ(kv_util_q162float(q), std::ldexp(q, -16));
    for (int32_t q = -(1 << 23); q < (1 << 23); q += 4099) ASSERT_EQ(kv_util_float2q16(float(kv_util_q162float(q))), q);
    for (const char* t : {"1A", "ff", "FFFF", "12345678", "FFFFFFFF", "7fffffff"})
        EXPECT_EQ(uint32_t(kv_util_asctohex(t, int(std::strlen(t)))), std::strtoul(t, nullptr, 16)) << t;
    EXPECT_EQ((std::vector{kv_util_asctohex("1A2B", 2), kv_util_asctohex("1A", 5), kv_util_asctohex("z", 1),
                  kv_util_asctohex("123456789", 9), kv_util_asctohex("12", 0)}),
        (std::vector{0x1A, 0x1A, 35, 0x23456789, 0}));
    for (unsigned v = 0; v < 65536; v += 7) ASSERT_EQ(kv_util_hex2binstr(uint16_t(v)), std::bitset<16>(v).to_string());
    struct Prec {
        double value;
        int digits, trim;
        const char* text;
    };
    for (const Prec& c : {Prec{123.456, 4, 0, "123.4"}, {1.5, 4, 1, "1.5"}, {2.0, 3, 1, "2"}, {-1.25, 3, 0, "-1.2"},
             {12345.6, 3, 0, "123"}, {100.0, 3, 1, "100"}, {9.96, 2, 0, "9.9"}, {0.999999, 3, 0, "1.00"},
             {1.5, 4, 2, "1.500"}, {1.5, 0, 0, ""}, {1.5, 51, 0, ""}})
        EXPECT_STREQ(kv_util_form_float_prec(c.value, c.digits, c.trim), c.text) << c.value << " " << c.digits;
    uint16_t crc = 0xFFFF;
    for (char c : std::string("123456789")) crc = kv_util_crcsum(crc, uint8_t(c));
    EXPECT_EQ(uint16_t(~crc), 0x906E);
    for (unsigned start : {0x0000u, 0x1234u, 0xFFFFu})
        for (unsigned byte = 0, ref = 0; byte < 256; ++byte) {
            ref = (start ^ byte) & 0xFFFF; // bit by bit, the reflected 0x1021
            for (int bit = 0; bit < 8; ++bit) ref = (ref & 1) ? (ref >> 1) ^ 0x8408 : ref >> 1;
            ASSERT_EQ(kv_util_crcsum(uint16_t(start), uint8_t(byte)), ref) << start << " " << byte;
        }
    for (const auto& [text, seconds] : {std::pair<std::string, int32_t>{"12:34:56", 45296}, {"::5", 5}, {"1:60:00", -1},
             {"9999:59:59", 35999999}, {"0000000000012:34:56", 45296}, {"1:2", -1}, {"1: 2:3", -1},
             {"10000:0:0", -1}, {"1:2:3:4", -1}, {"00000000000012:34:56", -1}, {"0:0:99999999999999", -1}}) {
        int32_t s = -1;
        EXPECT_EQ(kv_util_isstr_time_seconds(text.c_str(), &s), seconds >= 0) << text;
        EXPECT_EQ((std::vector{s, kv_util_str2time(text.c_str())}), (std::vector{seconds, std::max(seconds, 0)})) << text;
    }
    EXPECT_STREQ(kv_util_time2str(45296), "0012:34:56");
    for (auto [text, want] : {std::pair<const char*, const char*>{"192.168.1.1", "192.168.1.1"}, {"1 0.0.0.1", "10.0.0.1"},
             {"10.0.0.1 junk", "10.0.0.1"}, {"0255.001.1.1", "255.1.1.1"}, {"1.2.3", nullptr}, {"1.2.3.4.5", nullptr},
             {"1.2.3.256", nullptr}, {"1..2.3", nullptr}, {"1.2.3.", nullptr}, {"10 .0.0.1", nullptr}}) {
        uint8_t ip[5] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
        EXPECT_EQ(kv_util_str2ip(text, ip), want ? 1 : 0) << text;
        EXPECT_EQ(kv_util_ip2str(ip) + std::to_string(ip[4]), std::string(want ? want : "170.170.170.170") + "170");
    }
    for (int len = -1; len <= 33; ++len) {
        uint8_t m[4];
        const bool ok = len >= 0 && len <= 32;
        EXPECT_EQ((std::vector{kv_util_ip_len2mask(len, m), m[0] << 24 | m[1] << 16 | m[2] << 8 | m[3], kv_util_ip_mask2len(m)}),
            (std::vector{int(ok), int(len <= 0 || !ok ? 0u : 0xFFFFFFFFu << (32 - len)), ok ? len : 0}))
            << len;
    }
    const uint8_t odd[4] = {255, 0x0F, 0, 0}, a[4] = {10, 1, 0, 1}, b[4] = {10, 2, 0, 14}, mask[4] = {255, 0, 255, 240};
    EXPECT_EQ((std::vector{kv_util_ip_mask2len(odd), kv_util_ip_netid_same(a, b, mask), kv_util_ip_netid_same(a, b, odd)}),
        (std::vector{16, 1, 0}));
    for (auto [first, last, len, valid] : {std::tuple{10, 1, 8, 1}, {127, 1, 8, 0}, {128, 1, 16, 1}, {191, 1, 16, 1},
             {192, 1, 24, 1}, {223, 1, 24, 1}, {224, 1, 32, 1}, {255, 255, 32, 0}, {0, 0, 8, 0}}) {
        const uint8_t ip[4] = {uint8_t(first), uint8_t(last), uint8_t(last), uint8_t(last)};
        EXPECT_EQ((std::vector{kv_util_ip_default_masklen(ip), kv_util_ip_valid(ip)}), (std::vector{len, valid})) << first;
    }
}

} // namespace
