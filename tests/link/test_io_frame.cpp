// The framing rules without a link: the line reader over scripted byte
// sources and the removal of a line end.
#include "link/io_private.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace io_detail;

namespace {

// Gives its bytes one by one (-42 at errorAt), then the end of a closed peer,
// or with `silent` nothing for ever; `endless` sends 'x' slowly without end.
struct Source final : ByteSource {
    std::string bytes;
    bool silent = false, endless = false;
    int errorAt = -1;
    std::size_t pos = 0;

    int next(uint8_t* byte, int32_t) override {
        if (static_cast<int>(pos) == errorAt) return -42;
        if (endless || (silent && pos >= bytes.size())) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!endless && pos >= bytes.size()) return silent ? SRC_NONE : SRC_END;
        *byte = static_cast<uint8_t>(endless ? 'x' : bytes[pos]);
        return ++pos, SRC_BYTE;
    }
    bool pending() override {
        while (pos < bytes.size() && (bytes[pos] == '\r' || bytes[pos] == '\n' || bytes[pos] == '\0')) ++pos;
        return pos < bytes.size();
    }
};

TEST(ReadLine, ReadsAsTheLineRulesSay) {
    const struct {
        std::string input;
        int size, result; // characters, or a negative code
        std::string text;
        int errorAt = -1;
    } rows[] = {{"abc\r", 16, 3, "abc"}, {"abc\n", 16, 3, "abc"}, {std::string("ab\0cd", 5), 16, 2, "ab"},
        {std::string("\r\n\0\n\rabc\r\ndef", 13), 16, 3, "abc"}, {"abc", 16, LINE_CLOSED, ""}, {"\r\n\r\n", 16, LINE_CLOSED, ""},
        {"12345678901234\r", 16, 14, "12345678901234"}, {"123456789012345\r", 16, IO_ERR_LINE_TOO_LONG, ""},
        {"\r", 1, LINE_CLOSED, ""}, {"a\r", 1, IO_ERR_LINE_TOO_LONG, ""}, {"\xff\x80\r", 8, 2, "\xff\x80"},
        {"abcdef\r", 16, -42, "", 3}};
    for (const auto& r : rows) {
        std::string arena(static_cast<std::size_t>(r.size) + 16, '#');
        Source src;
        src.bytes = r.input;
        src.errorAt = r.errorAt;
        EXPECT_EQ(read_line(src, arena.data(), r.size, LinePolicy{0, false, nullptr}), r.result) << &r - rows;
        EXPECT_EQ(std::string(arena.c_str()), r.text) << &r - rows;
        EXPECT_EQ(arena.substr(static_cast<std::size_t>(r.size)), std::string(16, '#')) << &r - rows;
    }
}

int g_idle = 0;

TEST(ReadLine, ADeadlineFailsSilentAndEndlessLinesButNotASlowSerialOne) {
    char buf[64];
    Source silent, endless, slow;
    silent.bytes = "ab";
    silent.silent = endless.endless = slow.endless = true;
    // A line that does not end in time is no line, not what came of it; events ran meanwhile.
    EXPECT_EQ(read_line(silent, buf, sizeof buf, LinePolicy{30, false, [] { ++g_idle; }}), LINE_TIMEOUT);
    EXPECT_STREQ(buf, "");
    EXPECT_GT(g_idle, 0);
    // A socket tests its deadline after every byte, so an endless line ends.
    std::string big(1 << 20, '\0');
    EXPECT_EQ(read_line(endless, big.data(), static_cast<int>(big.size()), LinePolicy{30, true, nullptr}), LINE_TIMEOUT);
    // A serial line is not cut while bytes flow: only the buffer stops this one.
    EXPECT_EQ(read_line(slow, buf, sizeof buf, LinePolicy{1, false, nullptr}), IO_ERR_LINE_TOO_LONG);
    EXPECT_EQ(slow.pos, sizeof buf - 1);
}

// A query's reply is taken only in step: its OK, and nothing but line ends behind it.
TEST(ReadReply, TakesOnlyAReplyInStepWithItsAcknowledgement) {
    const struct {
        std::string input;
        int result;
        std::string text;
    } rows[] = {{"12\r\nOK\r\n", 2, "12"}, {"12\r\nOK\r\n\r\n", 2, "12"}, {"OK\r\n12\r\nOK\r\n", REPLY_IS_ACK, ""},
        {"12\r\n0K\r\n", IO_ERR_NO_OK, ""}, {"12\r\n", IO_ERR_NO_OK, ""}, {"12\r\nOK\r\n7\r\nOK\r\n", REPLY_TRAILING, ""},
        {"12", LINE_CLOSED, ""}};
    for (const auto& r : rows) {
        char buf[32] = "#";
        Source src;
        src.bytes = r.input;
        EXPECT_EQ(read_reply(src, buf, sizeof buf, LinePolicy{0, false, nullptr}), r.result) << r.input;
        EXPECT_EQ(std::string(buf), r.text) << r.input;
    }
    Source ack, garbled;
    ack.bytes = "\r\nxOKx\r\n";
    garbled.bytes = "0K\r\n";
    EXPECT_EQ(read_ack(ack, LinePolicy{0, false, nullptr}), 0);
    EXPECT_EQ(read_ack(garbled, LinePolicy{0, false, nullptr}), IO_ERR_NO_OK);
}

TEST(StripLineEnd, RemovesOneLineEnd) {
    for (auto [in, out] : {std::pair{"abc\r\n", "abc"}, {"abc\n", "abc"}, {"abc\r", "abc"}, {"\n", ""}, {"\r", ""},
             {"a\nb", "a"}, {"abc", "abc"}, {"", ""}, {"\r\n", ""}, {"x\n\n", "x"},
             {"ab\n\r\n", "ab\n"}, {"a", "a"}}) {
        std::string s = in;
        strip_line_end(s.data());
        EXPECT_STREQ(s.c_str(), out) << in;
    }
}

} // namespace
