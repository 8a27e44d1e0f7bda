// Fuzzes the line reader, the removal of a line end, and the framing of the
// stream links over several exchanges (the acknowledgement of a command, and a
// query's reply line with its acknowledgement and nothing behind it).  The
// first byte picks the buffer size; the second how often the byte source has
// nothing to give and, in its top bit, exchanges instead of single lines; the
// rest is what the peer sent, where a byte 0xFF marks a pause: what follows it
// has not arrived until the reader waits.  Every result is checked against a
// plain reference reading of the same bytes.
#include "link/io_private.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace io_detail;

namespace {

constexpr uint8_t kPause = 0xFF;

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool isEnd(uint8_t c) {
    return c == 0 || c == '\r' || c == '\n';
}

class FuzzSource final : public ByteSource {
public:
    FuzzSource(const uint8_t* data, std::size_t size, unsigned every, bool pauses)
        : data_(data), size_(size), every_(every), pauses_(pauses) {
    }
    int next(uint8_t* byte, int32_t) override {
        ++calls_;
        if (every_ != 0 && calls_ % every_ == 0)
            return SRC_NONE;
        if (pos_ >= size_)
            return SRC_END;
        if (pauses_ && data_[pos_] == kPause) {
            ++pos_;
            return SRC_NONE;
        }
        *byte = data_[pos_++];
        return SRC_BYTE;
    }
    bool pending() override {
        while (pos_ < size_ && !(pauses_ && data_[pos_] == kPause)) {
            if (!isEnd(data_[pos_]))
                return true;
            ++pos_;
        }
        return false;
    }
    std::size_t pos() const { return pos_; }

private:
    const uint8_t* data_;
    std::size_t size_;
    unsigned every_;
    bool pauses_;
    unsigned calls_ = 0;
    std::size_t pos_ = 0;
};

// The reference reading of the same bytes.
struct Reference {
    const uint8_t* data;
    std::size_t size;
    bool pauses;
    std::size_t pos = 0;

    // One line (or a failure) from pos.
    int line(int limit, std::string* out) {
        out->clear();
        while (pos < size) {
            const uint8_t c = data[pos++];
            if (pauses && c == kPause)
                continue;
            if (isEnd(c)) {
                if (!out->empty())
                    return static_cast<int>(out->size());
                continue;
            }
            out->push_back(static_cast<char>(c));
            if (static_cast<int>(out->size()) >= limit) {
                out->clear();
                return IO_ERR_LINE_TOO_LONG;
            }
        }
        out->clear();
        return LINE_CLOSED;
    }
    int ack() {
        std::string l;
        const int got = line(LINE_BUF_SIZE - 1, &l);
        if (got > 0 && l.find("OK") != std::string::npos)
            return 0;
        return got == IO_ERR_LINE_TOO_LONG ? got : IO_ERR_NO_OK;
    }
    int reply(int limit, std::string* out) {
        const int got = line(limit, out);
        if (got < 0)
            return got;
        int result = got;
        if (*out == "OK")
            result = REPLY_IS_ACK;
        else if (const int a = ack(); a < 0)
            result = a;
        else {
            while (pos < size && !(pauses && data[pos] == kPause) && isEnd(data[pos]))
                ++pos;
            if (pos < size && !(pauses && data[pos] == kPause))
                result = REPLY_TRAILING;
        }
        if (result < 0)
            out->clear();
        return result;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int bufSize = 1 + data[0] % 64 + (data[0] >= 192 ? 448 : 0);
    // 0 (never) or every 2nd to 8th call: the source still makes progress.
    const unsigned every = data[1] % 8 == 0 ? 0u : data[1] % 8u + 1u;
    const bool exchanges = (data[1] & 0x80) != 0;
    data += 2;
    size -= 2;

    // The buffer sits at the end of a heap block, so a write past it is caught.
    std::vector<char> store(static_cast<std::size_t>(bufSize));
    char* buf = store.data();
    FuzzSource src(data, size, every, exchanges);
    Reference ref{data, size, exchanges};
    // Long enough that no empty wait reaches the deadline.
    const LinePolicy policy{60000, false, nullptr};
    std::string want;
    for (int n = 0; n < 100000 && ref.pos < size; ++n) {
        int got = 0, expected = 0;
        if (!exchanges) {
            got = read_line(src, buf, bufSize, policy);
            expected = ref.line(bufSize - 1, &want);
        } else if (n % 3 == 0) {
            // A command's acknowledgement, then (below) two queries.
            got = read_ack(src, policy);
            expected = ref.ack();
            want.clear();
            buf[0] = '\0';
        } else {
            got = read_reply(src, buf, bufSize, policy);
            expected = ref.reply(bufSize - 1, &want);
        }
        check(got == expected);
        check(src.pos() == ref.pos);
        check(got != 0 || exchanges);
        if (got < 0 || (exchanges && n % 3 == 0)) {
            check(buf[0] == '\0' || (exchanges && n % 3 == 0));
        } else {
            check(got <= bufSize - 2);
            check(std::strlen(buf) == static_cast<std::size_t>(got));
            check(std::string(buf) == want);
            // A reply taken is never an acknowledgement out of place.
            if (exchanges)
                check(want != "OK");
        }
    }

    // Line-end removal on the raw bytes as a text (GPIB and UDP replies keep theirs).
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    std::vector<char> t(text.begin(), text.end());
    t.push_back('\0');
    strip_line_end(t.data());
    const std::size_t n = std::strlen(t.data());
    check(n <= text.size() && text.size() - n <= 2);
    check(text.compare(0, n, t.data()) == 0);
    if (n < text.size())
        check(text[n] == '\r' || text[n] == '\n');
    return 0;
}
