// Fuzzes the UDP packet checks on received datagrams.  The first two bytes are
// the link's last request id, the third picks the link kind and the reply
// buffer size; the rest is the datagram (cut to the 256 bytes a receive takes).
#include "link/io_private.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace io_detail;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const uint16_t reqId = static_cast<uint16_t>((data[0] << 8) | data[1]);
    const int kind = (data[2] & 1) != 0 ? IO_UDP_BROADCAST : IO_UDP;
    const int bufSize = 1 + (data[2] >> 1);
    // The datagram in its own heap block, so a read past it is caught.
    const std::vector<uint8_t> datagram(data + 3, data + 3 + std::min<std::size_t>(size - 3, UDP_BUF_SIZE));
    const int n = static_cast<int>(datagram.size());

    io_udp_packet p{};
    const bool parsed = io_udp_parse(datagram.data(), n, &p);
    check(parsed == (n >= UDP_HEADER));
    if (parsed) {
        check(p.text_len >= 0 && p.text_len <= n - UDP_HEADER && p.text_len <= p.length);
        check(p.text == reinterpret_cast<const char*>(datagram.data()) + UDP_HEADER);
        // What is built from the fields parses back to them.
        uint8_t again[UDP_BUF_SIZE];
        const int built = io_udp_build(p.code, p.id, p.text, p.text_len, again, sizeof again);
        check(built == UDP_HEADER + p.text_len);
        io_udp_packet q{};
        check(io_udp_parse(again, built, &q));
        check(q.marker == 1 && q.code == p.code && q.id == p.id && q.text_len == p.text_len);
        check(std::memcmp(q.text, p.text, static_cast<std::size_t>(p.text_len)) == 0);
    }

    io_udp_packet c{};
    const ConfirmResult confirm = udp_check_confirm(datagram.data(), n, reqId, &c);
    check((confirm == CONFIRM_OK) == (parsed && p.marker == 1 && p.code == IO_UDP_CONFIRM && p.id == reqId));
    check((confirm == CONFIRM_SHORT) == !parsed);

    std::vector<char> buf(static_cast<std::size_t>(bufSize));
    const int r = udp_take_reply(kind, datagram.data(), n, reqId, buf.data(), bufSize);
    check(r == REPLY_TAKEN || r == REPLY_BAD || r == REPLY_OLDER);
    if (r == REPLY_TAKEN) {
        check(parsed && p.marker == 1 && p.id == reqId && (kind == IO_UDP_BROADCAST || p.code == IO_UDP_REPLY));
        // Only a whole text is taken: every byte its header counts, and room for them all.
        check(p.text_len == p.length && p.text_len <= bufSize - 1);
        const std::size_t len = std::strlen(buf.data());
        check(len <= static_cast<std::size_t>(p.text_len));
        check(std::memcmp(buf.data(), p.text, len) == 0);
        // Shorter than the text only where the text has a NUL.
        if (len < static_cast<std::size_t>(p.text_len))
            check(p.text[len] == '\0');
    } else {
        if (r == REPLY_BAD && parsed && p.marker == 1 && p.id == reqId &&
            (kind == IO_UDP_BROADCAST || p.code == IO_UDP_REPLY))
            check(p.text_len < p.length || p.text_len > bufSize - 1);
        check(buf[0] == '\0');
        if (r == REPLY_OLDER)
            check(parsed && p.marker == 1 && p.id < reqId);
    }
    return 0;
}
