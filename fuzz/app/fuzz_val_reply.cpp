// The "IM:MEAS:VAL?" reply decoder and the data-file line of the point it
// gives.  Any bytes (cut at the first NUL, as the reply buffer is) must decode
// without a fault; the result is checked against a plain reading of the same
// rules, and the data line against the C library's " %+.6e".
#include "app/fra.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && blank(text[i]))
            ++i;
        const std::size_t begin = i;
        while (i < text.size() && !blank(text[i]))
            ++i;
        if (i > begin)
            out.push_back(text.substr(begin, i - begin));
    }
    return out;
}

[[noreturn]] void fail(const char* what, const std::string& reply) {
    std::fprintf(stderr, "%s for reply \"%s\"\n", what, reply.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The transport delivers at most the reply buffer, NUL-terminated.
    const std::size_t cap = static_cast<std::size_t>(IFC_VAL_REPLY_SIZE - 1);
    const std::size_t n = size < cap ? size : cap;
    std::string reply(reinterpret_cast<const char*>(data), n);
    reply.resize(std::strlen(reply.c_str()));

    IfcPoint p{};
    p.freq = 1234.5;
    const int ok = ifc_decode_reply(reply.c_str(), &p);

    const std::vector<std::string> w = words(reply);
    bool expected = w.size() >= 6;
    for (std::size_t i = 0; i < 6 && i < w.size(); ++i)
        expected = expected && w[i].size() <= static_cast<std::size_t>(IFC_VAL_WORD_MAX);
    if (ok != (expected ? 1 : 0))
        fail("accepted or refused against the rules", reply);
    if (!ok)
        return 0;

    const double fields[6] = {p.voltAmp, p.voltPhase, p.currAmp, p.currPhase, p.zAmp, p.zPhase};
    for (int i = 0; i < 6; ++i) {
        if (!std::isfinite(fields[i]))
            fail("a value no graph can draw", reply);
        // Plain decimal digits read as that number.
        const std::string& word = w[static_cast<std::size_t>(i)];
        if (word.find_first_not_of("0123456789") == std::string::npos && word.size() <= 15 &&
            fields[i] != std::strtod(word.c_str(), nullptr))
            fail("a plain number read wrong", reply);
    }
    if (p.freq != 1234.5)
        fail("the frequency was touched", reply);

    ifc_point_rectangular(&p);
    if (!std::isfinite(p.zReal) || !std::isfinite(p.zImag) ||
        std::fabs(p.zReal) > std::fabs(p.zAmp) * (1 + 1e-12) ||
        std::fabs(p.zImag) > std::fabs(p.zAmp) * (1 + 1e-12))
        fail("rectangular parts beyond |Z|", reply);

    const std::string line = ifc_format_log_line(p);
    char expect[512];
    std::snprintf(expect, sizeof expect, " %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e\n",
        p.freq, p.zReal, p.zImag, p.zAmp, p.zPhase, p.voltAmp, p.voltPhase, p.currAmp,
        p.currPhase);
    if (line != expect)
        fail("data line differs from the C library's", reply);
    return 0;
}
