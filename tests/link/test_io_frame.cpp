// The framing rules on their own: the line reader over scripted byte sources,
// the removal of a line end, and the UDP packet decisions.
#include "link/io_private.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace io_detail;

namespace {

// Gives its bytes one by one, then the end (a closed peer).
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string bytes, int errorAt = -1, int error = 0)
        : bytes_(std::move(bytes)), errorAt_(errorAt), error_(error) {}
    int next(uint8_t* byte, int32_t) override
    {
        if (static_cast<int>(pos_) == errorAt_)
            return error_;
        if (pos_ >= bytes_.size())
            return SRC_END;
        *byte = static_cast<uint8_t>(bytes_[pos_++]);
        return SRC_BYTE;
    }
    std::size_t consumed() const { return pos_; }

private:
    std::string bytes_;
    std::size_t pos_ = 0;
    int errorAt_;
    int error_;
};

// Gives its bytes, then nothing, forever (a silent peer).
class SilentAfter final : public ByteSource {
public:
    explicit SilentAfter(std::string bytes) : bytes_(std::move(bytes)) {}
    int next(uint8_t* byte, int32_t) override
    {
        if (pos_ < bytes_.size()) {
            *byte = static_cast<uint8_t>(bytes_[pos_++]);
            return SRC_BYTE;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return SRC_NONE;
    }

private:
    std::string bytes_;
    std::size_t pos_ = 0;
};

// A peer that never stops sending 'x' and never ends a line, slowly.
class Trickle final : public ByteSource {
public:
    int next(uint8_t* byte, int32_t) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        *byte = 'x';
        ++count;
        return SRC_BYTE;
    }
    int count = 0;
};

constexpr LinePolicy kEndOnly{0, false, nullptr};

struct LineCase {
    const char* name;
    std::string input;
    int size;
    int result;           // characters or a negative code
    std::string text;
};

class ReadLineTable : public ::testing::TestWithParam<LineCase> {};

TEST_P(ReadLineTable, ReadsAsTheLineRulesSay)
{
    const LineCase& c = GetParam();
    // The buffer sits inside a larger one: bytes past size must stay untouched.
    std::vector<char> arena(static_cast<std::size_t>(c.size) + 32, '#');
    MemorySource src(c.input);
    const int r = read_line(src, arena.data(), c.size, kEndOnly);
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(std::string(arena.data()), c.text);
    for (std::size_t i = static_cast<std::size_t>(c.size); i < arena.size(); ++i)
        ASSERT_EQ(arena[i], '#') << "written past the buffer at " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadLineTable,
    ::testing::Values(
        LineCase{"plain_cr", "abc\r", 16, 3, "abc"},
        LineCase{"crlf", "abc\r\n", 16, 3, "abc"},
        LineCase{"lf", "abc\n", 16, 3, "abc"},
        LineCase{"nul_ends", std::string("ab\0cd", 5), 16, 2, "ab"},
        LineCase{"leading_ends_skipped", std::string("\r\n\0\n\rabc\r", 9), 16, 3, "abc"},
        LineCase{"end_without_line_end", "abc", 16, 3, "abc"},
        LineCase{"nothing", "", 16, 0, ""},
        LineCase{"only_line_ends", "\r\n\r\n", 16, 0, ""},
        LineCase{"size_minus_two_fits", "12345678901234\r", 16, 14, "12345678901234"},
        LineCase{"size_minus_one_too_long", "123456789012345\r", 16, IO_ERR_LINE_TOO_LONG, ""},
        LineCase{"longer_too_long", std::string(40, 'z') + "\r", 16, IO_ERR_LINE_TOO_LONG, ""},
        LineCase{"size_one_empty_line", "\r", 1, 0, ""},
        LineCase{"size_one_any_char_too_long", "a\r", 1, IO_ERR_LINE_TOO_LONG, ""},
        LineCase{"size_two_one_char_too_long", "a\r", 2, IO_ERR_LINE_TOO_LONG, ""},
        LineCase{"high_bytes_stored", "\xff\x80\r", 8, 2, "\xff\x80"}),
    [](const ::testing::TestParamInfo<LineCase>& i) { return std::string(i.param.name); });

TEST(ReadLine, StopsAtTheLineEndAndLeavesTheRest)
{
    MemorySource src("one\r\ntwo\r\n");
    char buf[16];
    ASSERT_EQ(read_line(src, buf, sizeof buf, kEndOnly), 3);
    EXPECT_STREQ(buf, "one");
    ASSERT_EQ(read_line(src, buf, sizeof buf, kEndOnly), 3);
    EXPECT_STREQ(buf, "two");
}

TEST(ReadLine, SourceErrorIsTheResultAndEmptiesTheBuffer)
{
    MemorySource src("abcdef\r", 3, -42);
    char buf[16];
    EXPECT_EQ(read_line(src, buf, sizeof buf, kEndOnly), -42);
    EXPECT_STREQ(buf, "");
}

TEST(ReadLine, NoBufferIsAnError)
{
    MemorySource src("abc\r");
    char buf[4];
    EXPECT_EQ(read_line(src, nullptr, 4, kEndOnly), IO_ERR);
    EXPECT_EQ(read_line(src, buf, 0, kEndOnly), IO_ERR);
    EXPECT_EQ(src.consumed(), 0u);
}

int g_idleCalls = 0;

TEST(ReadLine, SilenceEndsTheLineAtTheDeadlineWithWhatCame)
{
    g_idleCalls = 0;
    SilentAfter src("ab");
    char buf[16];
    const LinePolicy policy{30, false, [] { ++g_idleCalls; }};
    EXPECT_EQ(read_line(src, buf, sizeof buf, policy), 2);
    EXPECT_STREQ(buf, "ab");
    // The serial policy lets events run while it waits.
    EXPECT_GT(g_idleCalls, 0);
}

TEST(ReadLine, SocketPolicyEndsAStreamThatNeverEndsItsLine)
{
    Trickle src;
    std::vector<char> buf(1 << 20);
    const LinePolicy socketPolicy{30, true, nullptr};
    const int r = read_line(src, buf.data(), static_cast<int>(buf.size()), socketPolicy);
    ASSERT_GT(r, 0);
    EXPECT_EQ(r, src.count);
    EXPECT_LT(r, 1 << 19);
}

TEST(ReadLine, SerialPolicyKeepsReadingWhileBytesFlow)
{
    // A slow serial line is not cut at the 100 ms rule while bytes keep coming;
    // only the buffer limit stops this one.
    Trickle src;
    char buf[64];
    const LinePolicy serialPolicy{1, false, nullptr};
    EXPECT_EQ(read_line(src, buf, sizeof buf, serialPolicy), IO_ERR_LINE_TOO_LONG);
    EXPECT_EQ(src.count, 63);
}

// ---- line end removal ---------------------------------------------------------------

struct StripCase {
    std::string in, out;
};

class StripTable : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripTable, RemovesOneLineEnd)
{
    std::string s = GetParam().in;
    std::vector<char> buf(s.begin(), s.end());
    buf.push_back('\0');
    strip_line_end(buf.data());
    EXPECT_EQ(std::string(buf.data()), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Ends, StripTable,
                         ::testing::Values(StripCase{"abc\r\n", "abc"}, StripCase{"abc\n", "abc"},
                                           StripCase{"abc\r", "abc"}, StripCase{"\n", ""},
                                           StripCase{"\r", ""}, StripCase{"a\nb", "a"},
                                           StripCase{"abc", "abc"}, StripCase{"", ""},
                                           StripCase{"\r\n", ""}, StripCase{"x\n\n", "x"},
                                           StripCase{"ab\n\r\n", "ab\n"}, StripCase{"a", "a"}));

// ---- UDP packets ---------------------------------------------------------------------

std::vector<uint8_t> raw(uint8_t marker, uint8_t code, uint16_t id, uint16_t length, const std::string& text)
{
    std::vector<uint8_t> d{marker, code, static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id),
                           static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    // element by element: GCC 12 at -O2 takes a range insert here for an overrun
    for (char c : text) d.push_back(static_cast<uint8_t>(c));
    return d;
}

TEST(UdpPacket, BuildWritesTheHeaderInNetworkOrder)
{
    uint8_t out[16];
    ASSERT_EQ(io_udp_build(IO_UDP_REQUEST, 0x1234, "AB", 2, out, sizeof out), 8);
    const uint8_t want[] = {1, 1, 0x12, 0x34, 0, 2, 'A', 'B'};
    EXPECT_EQ(std::memcmp(out, want, sizeof want), 0);
    EXPECT_EQ(io_udp_build(IO_UDP_CLOSE, 7, nullptr, 0, out, 6), 6);
    EXPECT_EQ(io_udp_build(IO_UDP_REQUEST, 7, "ABC", 3, out, 8), -1);
    EXPECT_EQ(io_udp_build(IO_UDP_REQUEST, 7, "A", -1, out, 8), -1);
}

TEST(UdpPacket, ParseCutsTheLengthToTheDatagram)
{
    const auto d = raw(1, 3, 9, 50, "short");
    io_udp_packet p{};
    ASSERT_TRUE(io_udp_parse(d.data(), static_cast<int>(d.size()), &p));
    EXPECT_EQ(p.length, 50);
    EXPECT_EQ(p.text_len, 5);
    EXPECT_EQ(std::string(p.text, 5), "short");
    EXPECT_FALSE(io_udp_parse(d.data(), 5, &p));
    EXPECT_FALSE(io_udp_parse(nullptr, 10, &p));
}

constexpr int kWhole = 1 << 20;   // the whole datagram

struct ConfirmCase {
    std::vector<uint8_t> datagram;
    int length;   // what the wait returned: a length, or a negative code
    uint16_t reqId;
    ConfirmResult result;
};

class ConfirmTable : public ::testing::TestWithParam<ConfirmCase> {};

TEST_P(ConfirmTable, ChecksInOrder)
{
    const ConfirmCase& c = GetParam();
    io_udp_packet p{};
    const int len = c.length == kWhole ? static_cast<int>(c.datagram.size()) : c.length;
    EXPECT_EQ(udp_check_confirm(c.datagram.data(), len, c.reqId, &p), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Confirms, ConfirmTable,
    ::testing::Values(ConfirmCase{raw(1, 2, 77, 0, ""), kWhole, 77, CONFIRM_OK},
                      ConfirmCase{raw(1, 2, 77, 0, ""), 5, 77, CONFIRM_SHORT},
                      ConfirmCase{raw(1, 2, 77, 0, ""), -2, 77, CONFIRM_SHORT},
                      ConfirmCase{raw(2, 2, 77, 0, ""), kWhole, 77, CONFIRM_BAD_MARKER},
                      ConfirmCase{raw(2, 3, 78, 0, ""), kWhole, 77, CONFIRM_BAD_MARKER},
                      ConfirmCase{raw(1, 3, 77, 0, ""), kWhole, 77, CONFIRM_NOT_CONFIRM},
                      ConfirmCase{raw(1, 3, 78, 0, ""), kWhole, 77, CONFIRM_NOT_CONFIRM},
                      ConfirmCase{raw(1, 2, 76, 0, ""), kWhole, 77, CONFIRM_BAD_ID},
                      ConfirmCase{raw(1, 2, 0, 4, "junk"), kWhole, 0, CONFIRM_OK}));

struct ReplyCase {
    const char* name;
    int kind;
    std::vector<uint8_t> datagram;
    int length;   // what the wait returned
    uint16_t reqId;
    int size;
    int result;
    std::string text;
};

class ReplyTable : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyTable, TakesOrRefusesTheReply)
{
    const ReplyCase& c = GetParam();
    std::vector<char> arena(static_cast<std::size_t>(c.size) + 16, '#');
    const int len = c.length == kWhole ? static_cast<int>(c.datagram.size()) : c.length;
    EXPECT_EQ(udp_take_reply(c.kind, c.datagram.data(), len, c.reqId, arena.data(), c.size), c.result);
    EXPECT_EQ(std::string(arena.data()), c.text);
    for (std::size_t i = static_cast<std::size_t>(c.size); i < arena.size(); ++i)
        ASSERT_EQ(arena[i], '#');
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTable,
    ::testing::Values(
        ReplyCase{"same_id", IO_UDP, raw(1, 3, 10, 5, "hello"), kWhole, 10, 32, 0, "hello"},
        ReplyCase{"lower_id_is_an_earlier_answer", IO_UDP, raw(1, 3, 9, 5, "hello"), kWhole, 10, 32, REPLY_OLDER, ""},
        ReplyCase{"same_id_at_the_top", IO_UDP, raw(1, 3, 65535, 1, "x"), kWhole, 65535, 32, 0, "x"},
        ReplyCase{"greater_id", IO_UDP, raw(1, 3, 11, 5, "hello"), kWhole, 10, 32, -1, ""},
        ReplyCase{"wrapped_id_refuses_65535", IO_UDP, raw(1, 3, 65535, 2, "hi"), kWhole, 0, 32, -1, ""},
        ReplyCase{"not_reply_on_udp", IO_UDP, raw(1, 2, 10, 2, "hi"), kWhole, 10, 32, -1, ""},
        ReplyCase{"any_code_on_broadcast", IO_UDP_BROADCAST, raw(1, 2, 10, 2, "hi"), kWhole, 10, 32, 0, "hi"},
        ReplyCase{"bad_marker", IO_UDP, raw(0, 3, 10, 2, "hi"), kWhole, 10, 32, -1, ""},
        ReplyCase{"five_bytes", IO_UDP, raw(1, 3, 10, 0, ""), 5, 10, 32, -1, ""},
        ReplyCase{"length_beyond_datagram", IO_UDP, raw(1, 3, 10, 200, "abc"), kWhole, 10, 32, 0, "abc"},
        ReplyCase{"length_shorter_than_datagram", IO_UDP, raw(1, 3, 10, 2, "abcdef"), kWhole, 10, 32, 0, "ab"},
        ReplyCase{"cut_to_size_minus_one", IO_UDP, raw(1, 3, 10, 10, "0123456789"), kWhole, 10, 8, 0, "0123456"},
        ReplyCase{"text_with_line_end_kept_here", IO_UDP, raw(1, 3, 10, 4, "ab\r\n"), kWhole, 10, 8, 0, "ab\r\n"},
        ReplyCase{"empty_reply", IO_UDP, raw(1, 3, 10, 0, ""), kWhole, 10, 8, 0, ""}),
    [](const ::testing::TestParamInfo<ReplyCase>& i) { return std::string(i.param.name); });

}  // namespace
