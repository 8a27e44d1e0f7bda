// Fuzzes the line reader and the removal of a line end.  The first byte picks
// the buffer size, the second how often the byte source has nothing to give;
// the rest is the byte stream a peer sent.  Every line the reader returns is
// checked against a plain reference reading of the same stream.
#include "link/io_private.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace io_detail;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The stream's bytes, with an empty wait every `every`-th call (0: never),
// then the end.
class FuzzSource final : public ByteSource {
public:
    FuzzSource(const uint8_t* data, std::size_t size, unsigned every) : data_(data), size_(size), every_(every) {}
    int next(uint8_t* byte, int32_t) override
    {
        ++calls_;
        if (every_ != 0 && calls_ % every_ == 0)
            return SRC_NONE;
        if (pos_ >= size_)
            return SRC_END;
        *byte = data_[pos_++];
        return SRC_BYTE;
    }
    std::size_t pos() const { return pos_; }

private:
    const uint8_t* data_;
    std::size_t size_;
    unsigned every_;
    unsigned calls_ = 0;
    std::size_t pos_ = 0;
};

bool isEnd(uint8_t c)
{
    return c == 0 || c == '\r' || c == '\n';
}

// What one read_line should give from pos: the line (or -1000) and where the
// next read starts.
int reference(const uint8_t* data, std::size_t size, std::size_t* pos, int limit, std::string* line)
{
    line->clear();
    while (*pos < size) {
        const uint8_t c = data[(*pos)++];
        if (isEnd(c)) {
            if (!line->empty())
                return static_cast<int>(line->size());
            continue;
        }
        line->push_back(static_cast<char>(c));
        if (static_cast<int>(line->size()) >= limit) {
            line->clear();
            return IO_ERR_LINE_TOO_LONG;
        }
    }
    return static_cast<int>(line->size());
}

int g_idle = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int bufSize = 1 + data[0] % 64 + (data[0] >= 192 ? 448 : 0);
    // 0 (never) or every 2nd to 8th call: the source still makes progress.
    const unsigned every = data[1] % 8 == 0 ? 0u : data[1] % 8u + 1u;
    data += 2;
    size -= 2;

    // The buffer sits at the end of a heap block, so a write past it is caught.
    std::vector<char> store(static_cast<std::size_t>(bufSize));
    char* buf = store.data();
    FuzzSource src(data, size, every);
    // Long enough that no empty wait reaches the deadline.
    const LinePolicy policy{60000, false, [] { ++g_idle; }};
    std::size_t refPos = 0;
    std::string want;
    for (int lines = 0; lines < 100000; ++lines) {
        const int got = read_line(src, buf, bufSize, policy);
        const int expected = reference(data, size, &refPos, bufSize - 1, &want);
        check(got == expected);
        check(src.pos() == refPos);
        if (got < 0) {
            check(buf[0] == '\0');
        } else {
            check(got <= bufSize - 2 || (bufSize == 1 && got == 0));
            check(std::strlen(buf) == static_cast<std::size_t>(got));
            check(std::string(buf) == want);
        }
        if (got >= 0 && refPos >= size)
            break;
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
