// Text checks, CRC, time, IPv4 and number conversions of kv_util.
#include "util/kv_util.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

using Ip = std::array<uint8_t, 4>;

// ---- numeric text checks ------------------------------------------------------

struct TextCheckCase {
    const char* text;
    int expected;
    const char* after;  // the caller's text after the call
};

class DecCheck : public ::testing::TestWithParam<TextCheckCase> {};

TEST_P(DecCheck, ResultAndTextAfter)
{
    const auto& c = GetParam();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s", c.text);
    EXPECT_EQ(kv_util_isstr_dec(buffer), c.expected) << "[" << c.text << "]";
    EXPECT_STREQ(buffer, c.after) << "[" << c.text << "]";
}

INSTANTIATE_TEST_SUITE_P(Table, DecCheck, ::testing::Values(
    TextCheckCase{"12  ", 1, "12"},
    TextCheckCase{"123", 1, "123"},
    TextCheckCase{"-", 1, "-"},
    TextCheckCase{"+", 1, "+"},
    TextCheckCase{"+45", 1, "+45"},
    TextCheckCase{"-5 ", 1, "-5"},
    TextCheckCase{"   ", 1, ""},
    TextCheckCase{"", 0, ""},
    TextCheckCase{" 12", 0, " 12"},
    TextCheckCase{"1-2", 0, "1-2"},
    TextCheckCase{"--5", 0, "--5"},
    TextCheckCase{"12a", 0, "12a"},
    TextCheckCase{"1.0", 0, "1.0"},
    TextCheckCase{"1 2 ", 0, "1 2"},
    TextCheckCase{"12\t", 0, "12\t"},
    TextCheckCase{"12\r", 0, "12\r"}));

class FloatCheck : public ::testing::TestWithParam<TextCheckCase> {};

TEST_P(FloatCheck, ResultAndTextAfter)
{
    const auto& c = GetParam();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s", c.text);
    EXPECT_EQ(kv_util_isstr_float(buffer), c.expected) << "[" << c.text << "]";
    EXPECT_STREQ(buffer, c.after) << "[" << c.text << "]";
}

INSTANTIATE_TEST_SUITE_P(Table, FloatCheck, ::testing::Values(
    TextCheckCase{"1e5", 1, "1e5"},
    TextCheckCase{"-.5", 1, "-.5"},
    TextCheckCase{"5-3", 1, "5-3"},
    TextCheckCase{"1E-3", 1, "1E-3"},
    TextCheckCase{"3.14  ", 1, "3.14"},
    TextCheckCase{".", 1, "."},
    TextCheckCase{"  ", 1, ""},
    TextCheckCase{"1.2.3", 0, "1.2.3"},
    TextCheckCase{"1..", 0, "1.."},
    TextCheckCase{"", 0, ""},
    TextCheckCase{"abc", 0, "abc"},
    TextCheckCase{"1,5", 0, "1,5"},
    TextCheckCase{"inf", 0, "inf"},
    TextCheckCase{" 1", 0, " 1"},
    TextCheckCase{"0x1p3", 0, "0x1p3"}));

TEST(HexCheck, Table)
{
    struct Case { const char* text; int expected; };
    const Case cases[] = {
        {"", 0}, {"0123456789abcdefABCDEF", 1}, {"1", 1}, {"12G", 0}, {"0x1F", 0},
        {" 1", 0}, {"1 ", 0}, {"-1", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv_util_isstr_hex(c.text), c.expected) << "[" << c.text << "]";
    EXPECT_EQ(kv_util_isstr_hex(nullptr), 0);
}

TEST(TextChecks, NullTextIsRefused)
{
    EXPECT_EQ(kv_util_isstr_dec(nullptr), 0);
    EXPECT_EQ(kv_util_isstr_float(nullptr), 0);
}

// ---- CRC --------------------------------------------------------------------

uint16_t crc_over(const void* data, std::size_t n, uint16_t crc)
{
    const auto* p = static_cast<const uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i)
        crc = kv_util_crcsum(crc, p[i]);
    return crc;
}

TEST(Crc, CheckValueOfDigits)
{
    const uint16_t crc = crc_over("123456789", 9, 0xFFFF);
    EXPECT_EQ(static_cast<uint16_t>(~crc), 0x906E);
}

TEST(Crc, FrameWithItsFcsGivesTheGoodValue)
{
    // A frame followed by its inverted FCS, low byte first, leaves 0xF0B8.
    uint8_t frame[16] = {0x7E, 0x01, 0x02, 0xFF, 0x00, 0x55, 0xAA, 0x10, 0x20, 0x30};
    const uint16_t fcs = static_cast<uint16_t>(~crc_over(frame, 10, 0xFFFF));
    frame[10] = static_cast<uint8_t>(fcs & 0xFF);
    frame[11] = static_cast<uint8_t>(fcs >> 8);
    EXPECT_EQ(crc_over(frame, 12, 0xFFFF), 0xF0B8);
}

TEST(Crc, TableStepMatchesBitwiseDivision)
{
    for (unsigned crc = 0; crc < 0x10000; crc += 0x0101) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            unsigned ref = (crc ^ byte) & 0xFFFF;
            for (int bit = 0; bit < 8; ++bit)
                ref = (ref & 1) ? (ref >> 1) ^ 0x8408 : ref >> 1;
            ASSERT_EQ(kv_util_crcsum(static_cast<uint16_t>(crc), static_cast<uint8_t>(byte)), ref)
                << "crc " << crc << " byte " << byte;
        }
    }
}

// ---- times ------------------------------------------------------------------

struct TimeCase {
    std::string text;
    int ok;
    int32_t seconds;
};

TEST(TimeText, Table)
{
    const TimeCase cases[] = {
        {"12:34:56", 1, 12 * 3600 + 34 * 60 + 56},
        {"::5", 1, 5},
        {"0:0:0", 1, 0},
        {":1:0", 1, 60},
        {"9999:59:59", 1, 9999 * 3600 + 59 * 60 + 59},
        {"0000000000012:34:56", 1, 45296},   // 19 characters
        {"1:60:00", 0, 0},
        {"1:2", 0, 0},
        {"1:2:60", 0, 0},
        {"10000:0:0", 0, 0},
        {"1:2:3:4", 0, 0},
        {"1:2:", 0, 0},
        {"::", 0, 0},
        {":", 0, 0},
        {"", 0, 0},
        {"a:1:2", 0, 0},
        {"1: 2:3", 0, 0},
        {"1:2:3 ", 0, 0},
        {"-1:0:0", 0, 0},
        {"+1:0:0", 0, 0},
        {"00000000000012:34:56", 0, 0},      // 20 characters
        {"999999999999999:0:0", 0, 0},       // 19 characters, hours far too big
        {"0:0:99999999999999", 0, 0},
        {std::string(300, '1'), 0, 0},
    };
    for (const auto& c : cases) {
        int32_t seconds = -7;
        EXPECT_EQ(kv_util_isstr_time_seconds(c.text.c_str(), &seconds), c.ok) << "[" << c.text << "]";
        EXPECT_EQ(seconds, c.ok ? c.seconds : -7) << "[" << c.text << "]";
        EXPECT_EQ(kv_util_isstr_time(c.text.c_str()), c.ok) << "[" << c.text << "]";
        EXPECT_EQ(kv_util_str2time(c.text.c_str()), c.ok ? c.seconds : 0) << "[" << c.text << "]";
    }
    EXPECT_EQ(kv_util_isstr_time_seconds(nullptr, nullptr), 0);
    EXPECT_EQ(kv_util_str2time(nullptr), 0);
}

TEST(TimeText, UnterminatedLongInputIsNotReadPastTheLimit)
{
    // 20 digits and no terminator: refused after looking at 20 characters.
    char text[20];
    std::memset(text, '1', sizeof text);
    EXPECT_EQ(kv_util_isstr_time(text), 0);
}

TEST(TimeToText, Table)
{
    struct Case { int32_t seconds; const char* text; };
    const Case cases[] = {
        {45296, "0012:34:56"},
        {0, "0000:00:00"},
        {59, "0000:00:59"},
        {3600, "0001:00:00"},
        {9999 * 3600 + 59 * 60 + 59, "9999:59:59"},
        {10000 * 3600, "10000:00:00"},
        {INT32_MAX, "596523:14:07"},
        {INT32_MIN, "-596523:-14:-8"},
        {-61, "0000:-1:-1"},
    };
    for (const auto& c : cases) {
        const char* text = kv_util_time2str(c.seconds);
        EXPECT_STREQ(text, c.text) << c.seconds;
        EXPECT_LT(std::strlen(text), KV_UTIL_TIME_TEXT_SIZE);
    }
}

TEST(TimeToText, RoundTripsThroughTheCheck)
{
    for (int32_t s = 0; s <= 9999 * 3600 + 3599; s += 7919)
        ASSERT_EQ(kv_util_str2time(kv_util_time2str(s)), s);
}

TEST(TimeToText, StaticBufferIsOverwrittenByTheNextCall)
{
    const char* first = kv_util_time2str(1);
    const char* second = kv_util_time2str(2);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "0000:00:02");
}

// ---- IPv4 --------------------------------------------------------------------

struct IpCase {
    const char* text;
    int ok;
    Ip ip;
};

TEST(StrToIp, Table)
{
    const IpCase cases[] = {
        {"192.168.1.1", 1, {192, 168, 1, 1}},
        {"0.0.0.0", 1, {0, 0, 0, 0}},
        {"255.255.255.255", 1, {255, 255, 255, 255}},
        {" 10.0.0.1", 1, {10, 0, 0, 1}},
        {"1 0.0.0.1", 1, {10, 0, 0, 1}},      // spaces before the first point are skipped
        {"10.0.0.1 ", 1, {10, 0, 0, 1}},
        {"10.0.0.1 junk", 1, {10, 0, 0, 1}},  // a space after a point ends the text
        {"1.2.3.4 5", 1, {1, 2, 3, 4}},
        {"0255.001.1.1", 1, {255, 1, 1, 1}},
        {"00000000001.2.3.4", 1, {1, 2, 3, 4}},
        {"1.2.3", 0, {}},
        {"1.2.3.4.5", 0, {}},
        {"1.2.3.256", 0, {}},
        {"256.1.1.1", 0, {}},
        {"1..2.3", 0, {}},
        {"1.2.3.", 0, {}},
        {".1.2.3", 0, {}},
        {"", 0, {}},
        {"   ", 0, {}},
        {"10 .0.0.1", 0, {}},
        {"10.0. 0.1", 0, {}},
        {"10.0.0 .1", 0, {}},
        {"1.2.3.4a", 0, {}},
        {"1.2.3.4\n", 0, {}},
        {"-1.2.3.4", 0, {}},
        {"1,2,3,4", 0, {}},
        {"99999999999.1.1.1", 0, {}},
        {"localhost", 0, {}},
    };
    for (const auto& c : cases) {
        uint8_t out[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
        EXPECT_EQ(kv_util_str2ip(c.text, out), c.ok) << "[" << c.text << "]";
        const Ip expected = c.ok ? c.ip : Ip{0xAA, 0xAA, 0xAA, 0xAA};
        EXPECT_EQ((Ip{out[0], out[1], out[2], out[3]}), expected) << "[" << c.text << "]";
        EXPECT_EQ(out[4], 0xAA);
    }
    uint8_t out[4] = {};
    EXPECT_EQ(kv_util_str2ip(nullptr, out), 0);
}

TEST(IpToStr, TextAndRoundTrip)
{
    const Ip ips[] = {{1, 2, 3, 4}, {255, 255, 255, 255}, {0, 0, 0, 0}, {192, 168, 100, 7}};
    const char* texts[] = {"1.2.3.4", "255.255.255.255", "0.0.0.0", "192.168.100.7"};
    for (std::size_t i = 0; i < 4; ++i) {
        const char* text = kv_util_ip2str(ips[i].data());
        EXPECT_STREQ(text, texts[i]);
        uint8_t back[4];
        ASSERT_EQ(kv_util_str2ip(text, back), 1);
        EXPECT_EQ((Ip{back[0], back[1], back[2], back[3]}), ips[i]);
    }
}

TEST(IpMask, LengthToMaskAndBackForEveryLength)
{
    for (int len = 0; len <= 32; ++len) {
        const uint32_t expected = len == 0 ? 0u : 0xFFFFFFFFu << (32 - len);
        uint8_t mask[6] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
        EXPECT_EQ(kv_util_ip_len2mask(len, mask), 1);
        const uint32_t got = (uint32_t{mask[0]} << 24) | (uint32_t{mask[1]} << 16) |
                             (uint32_t{mask[2]} << 8) | mask[3];
        EXPECT_EQ(got, expected) << len;
        EXPECT_EQ(mask[4], 0x55) << len;
        EXPECT_EQ(kv_util_ip_mask2len(mask), len);
    }
    uint8_t mask[4];
    kv_util_ip_len2mask(20, mask);
    EXPECT_STREQ(kv_util_ip2str(mask), "255.255.240.0");
}

TEST(IpMask, LengthOutsideRangeIsRefused)
{
    for (int len : {-1, 33, 40, INT_MIN, INT_MAX}) {
        uint8_t mask[6] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
        EXPECT_EQ(kv_util_ip_len2mask(len, mask), 0) << len;
        EXPECT_EQ((Ip{mask[0], mask[1], mask[2], mask[3]}), (Ip{0, 0, 0, 0})) << len;
        EXPECT_EQ(mask[4], 0x55) << len;
    }
}

TEST(IpMask, MaskToLengthOfImproperMasks)
{
    struct Case { Ip mask; int len; };
    const Case cases[] = {
        {{255, 0x0F, 0, 0}, 16},     // shifts until the byte is zero: 8
        {{0xF0, 0xFF, 0xFF, 0xFF}, 4},  // bytes after the first non-0xFF are ignored
        {{255, 255, 255, 0x01}, 32},
        {{255, 255, 0x80, 0xFF}, 17},
        {{0, 0, 0, 0}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv_util_ip_mask2len(c.mask.data()), c.len) << kv_util_ip2str(c.mask.data());
}

TEST(IpMask, DefaultLengthByClass)
{
    struct Case { Ip ip; int len; };
    const Case cases[] = {
        {{0, 1, 2, 3}, 8},      {{10, 0, 0, 1}, 8},     {{127, 0, 0, 1}, 8},
        {{128, 0, 0, 1}, 16},   {{172, 16, 0, 1}, 16},  {{191, 255, 0, 1}, 16},
        {{192, 168, 0, 1}, 24}, {{208, 1, 2, 3}, 24},   {{223, 0, 0, 1}, 24},
        {{224, 0, 0, 1}, 32},   {{240, 0, 0, 1}, 32},   {{255, 255, 255, 255}, 32},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv_util_ip_default_masklen(c.ip.data()), c.len) << kv_util_ip2str(c.ip.data());
}

TEST(IpValid, Table)
{
    struct Case { Ip ip; int ok; };
    const Case cases[] = {
        {{127, 0, 0, 1}, 0},       {{127, 255, 0, 9}, 0},     {{255, 255, 255, 255}, 0},
        {{0, 0, 0, 0}, 0},         {{0, 0, 0, 1}, 1},         {{255, 255, 255, 254}, 1},
        {{192, 168, 1, 1}, 1},     {{10, 0, 0, 0}, 1},        {{126, 255, 255, 255}, 1},
        {{128, 0, 0, 1}, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv_util_ip_valid(c.ip.data()), c.ok) << kv_util_ip2str(c.ip.data());
}

TEST(IpNetId, Table)
{
    struct Case { Ip a, b, mask; int same; };
    const Case cases[] = {
        {{192, 168, 1, 10}, {192, 168, 1, 200}, {255, 255, 255, 0}, 1},
        {{192, 168, 1, 10}, {192, 168, 2, 10}, {255, 255, 255, 0}, 0},
        {{192, 168, 1, 10}, {192, 168, 2, 10}, {255, 255, 0, 0}, 1},
        {{192, 168, 1, 10}, {10, 0, 0, 1}, {0, 0, 0, 0}, 1},
        {{10, 0, 0, 1}, {10, 0, 0, 1}, {255, 255, 255, 255}, 1},
        {{10, 0, 0, 1}, {10, 0, 0, 2}, {255, 255, 255, 255}, 0},
        {{10, 0, 0, 1}, {10, 0, 0, 14}, {255, 255, 255, 240}, 1},
        {{10, 0, 0, 1}, {10, 0, 0, 17}, {255, 255, 255, 240}, 0},
        {{10, 1, 0, 1}, {10, 2, 0, 1}, {255, 0, 255, 255}, 1},  // holes in the mask are honoured
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv_util_ip_netid_same(c.a.data(), c.b.data(), c.mask.data()), c.same)
            << kv_util_ip2str(c.a.data()) << " vs " << c.b[2] << "." << c.b[3];
}

// ---- conversions ---------------------------------------------------------------

TEST(AscToHex, Table)
{
    struct Case { const char* text; int count; int32_t value; };
    const Case cases[] = {
        {"1A", 2, 0x1A},
        {"1a", 2, 0x1A},
        {"ff", 2, 0xFF},
        {"FFFF", 4, 0xFFFF},
        {"12345678", 8, 0x12345678},
        {"FFFFFFFF", 8, -1},
        {"1A2B", 2, 0x1A},          // only count characters
        {"1A", 5, 0x1A},            // stops at the end of the text
        {"G", 1, 16},               // unchecked: 'G' - 55
        {"z", 1, 35},
        {"", 3, 0},
        {"12", 0, 0},
        {"12", -1, 0},
        {"123456789", 9, 0x23456789},  // low 32 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv_util_asctohex(c.text, c.count), c.value) << "[" << c.text << "] " << c.count;
    EXPECT_EQ(kv_util_asctohex(nullptr, 4), 0);
}

TEST(HexToBin, Table)
{
    struct Case { uint16_t value; const char* text; };
    const Case cases[] = {
        {0xA5, "0000000010100101"},
        {0x0000, "0000000000000000"},
        {0xFFFF, "1111111111111111"},
        {0x8001, "1000000000000001"},
        {0x1234, "0001001000110100"},
    };
    for (const auto& c : cases) {
        const char* text = kv_util_hex2binstr(c.value);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(std::strlen(text), KV_UTIL_BIN_TEXT_SIZE - 1);
    }
}

TEST(Q16, ToFloat)
{
    struct Case { int32_t q; double value; };
    const Case cases[] = {
        {98304, 1.5}, {-98304, -1.5}, {0, 0.0}, {1, 1.0 / 65536}, {-1, -1.0 / 65536},
        {INT32_MIN, -32768.0}, {INT32_MAX, 32768.0 - 1.0 / 65536},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv_util_q162float(c.q), c.value) << c.q;
}

TEST(Q16, FromFloat)
{
    struct Case { float value; int32_t q; };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {-1.5f, -98304},
        {1.5f, 98304},
        {0.0f, 0},
        {1.0f / 65536, 1},
        {-1.5f / 65536, -1},        // toward zero, not down
        {1.5f / 65536, 1},
        {-0.00001f, 0},
        {-32768.0f, INT32_MIN},
        {32767.5f, 32767 * 65536 + 32768},
        {32768.0f, INT32_MAX},      // out of range saturates
        {1e10f, INT32_MAX},
        {-1e10f, INT32_MIN},
        {inf, INT32_MAX},
        {-inf, INT32_MIN},
        {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv_util_float2q16(c.value), c.q) << c.value;
}

TEST(Q16, RoundTrip)
{
    for (int32_t q = -(1 << 23); q < (1 << 23); q += 4099)
        ASSERT_EQ(kv_util_float2q16(static_cast<float>(kv_util_q162float(q))), q);
}

struct FloatPrecCase {
    double value;
    int digits;
    int trim;
    std::string text;
};

TEST(FormFloatPrec, Table)
{
    const FloatPrecCase cases[] = {
        {123.456, 4, 0, "123.4"},
        {1.5, 4, 1, "1.5"},
        {2.0, 3, 1, "2"},
        {-1.25, 3, 0, "-1.2"},
        {12345.6, 3, 0, "123"},
        {1.5, 4, 0, "1.500"},
        {0.0, 1, 0, "0"},
        {0.0, 3, 1, "0"},
        {100.0, 3, 1, "100"},       // no point left: the zeros of the integer stay
        {100.5, 5, 1, "100.5"},
        {-0.5, 2, 0, "-0"},
        {9.96, 2, 0, "9.9"},        // cut, not rounded, at the count
        {0.999999, 3, 0, "1.00"},   // rounded by the formatting to digits places
        {1e300, 3, 0, "100"},
        {-1e300, 5, 0, "-1000"},
        {1.0, 50, 0, "1." + std::string(49, '0')},
        {1.0, 50, 1, "1"},
        {std::numeric_limits<double>::infinity(), 3, 0, "inf"},
        {1.5, 0, 0, ""},
        {1.5, -1, 0, ""},
        {1.5, 51, 0, ""},
        {1.5, INT_MAX, 0, ""},
        {1.5, 4, 2, "1.500"},       // only trim 1 trims
    };
    for (const auto& c : cases) {
        const char* text = kv_util_form_float_prec(c.value, c.digits, c.trim);
        EXPECT_EQ(text, c.text) << c.value << " digits " << c.digits << " trim " << c.trim;
        EXPECT_LT(std::strlen(text), KV_UTIL_FLOAT_TEXT_SIZE);
    }
}

// ---- numbers in the C locale ---------------------------------------------------------

TEST(Numbers, FixedText)
{
    struct Case { double value; int decimals; const char* text; };
    const Case cases[] = {
        {1000.0, 6, "1000.000000"},
        {999.9876, 6, "999.987600"},
        {-0.5, 6, "-0.500000"},
        {0.0000004, 6, "0.000000"},
        {0.0000005, 6, "0.000000"},   // 5e-7 is a hair below in binary
        {2.5, 0, "2"},                // ties to even, as printf
        {3.5, 0, "4"},
        {1.25, -3, "1"},
        {1e20, 2, "100000000000000000000.00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv_util_ftoa(c.value, c.decimals), c.text) << c.value;
    EXPECT_EQ(kv_util_ftoa(12.5), "12.500000");
    EXPECT_EQ(kv_util_ftoa(-1e308, 60).size(), 309u + 1 + 60 + 1);
}

TEST(Numbers, ScanFloatLikeScanf)
{
    struct Case { const char* text; int ok; float value; };
    const Case cases[] = {
        {"999.9876", 1, 999.9876f},
        {"  1.5\r", 1, 1.5f},
        {"+2", 1, 2.0f},
        {"-.5", 1, -0.5f},
        {"1e3xyz", 1, 1000.0f},
        {"12,5", 1, 12.0f},           // a comma is never a decimal point
        {"1.", 1, 1.0f},
        {"", 0, 0},
        {"   ", 0, 0},
        {"abc", 0, 0},
        {"+-1", 0, 0},
        {"--1", 0, 0},
        {".", 0, 0},
        {"-", 0, 0},
        {"1e60", 0, 0},               // does not fit a float
    };
    for (const auto& c : cases) {
        float v = -42.0f;
        EXPECT_EQ(kv_util_scan_float(c.text, &v), c.ok) << "[" << c.text << "]";
        EXPECT_EQ(v, c.ok ? c.value : -42.0f) << "[" << c.text << "]";
    }
    double d = 0;
    EXPECT_EQ(kv_util_scan_double("1e60", &d), 1);
    EXPECT_EQ(d, 1e60);
    EXPECT_EQ(kv_util_scan_double(nullptr, &d), 0);
}

TEST(Numbers, ScanIntLikeScanf)
{
    struct Case { const char* text; int ok; int value; };
    const Case cases[] = {
        {"2", 1, 2}, {" +3", 1, 3}, {"-17x", 1, -17}, {"2A", 1, 2}, {"1.0", 1, 1},
        {"2147483647", 1, INT_MAX}, {"-2147483648", 1, INT_MIN},
        {"2147483648", 0, 0}, {"99999999999", 0, 0}, {"", 0, 0}, {"x1", 0, 0}, {"+", 0, 0},
        {"+-2", 0, 0},
    };
    for (const auto& c : cases) {
        int v = -42;
        EXPECT_EQ(kv_util_scan_int(c.text, &v), c.ok) << "[" << c.text << "]";
        EXPECT_EQ(v, c.ok ? c.value : -42) << "[" << c.text << "]";
    }
}

}  // namespace
