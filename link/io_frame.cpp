// Framing rules of the transport that need no link: the line reader over any
// byte source, the removal of a line end, and the UDP packet format.
#include "link/io_private.h"

#include "util/timer.h"

#include <algorithm>
#include <cstring>

namespace io_detail {

int read_line(ByteSource& src, char* buf, int size, const LinePolicy& policy)
{
    if (buf == nullptr || size < 1)
        return IO_ERR;
    buf[0] = '\0';
    const int limit = size - 1;
    int count = 0;
    const int32_t deadline = timer_deadline(policy.limit_ms);
    for (;;) {
        uint8_t byte = 0;
        const int got = src.next(&byte, deadline);
        if (got < 0) {
            buf[0] = '\0';
            return got;
        }
        if (got == SRC_END)
            break;
        if (got == SRC_BYTE) {
            if (byte == '\0' || byte == '\n' || byte == '\r') {
                if (count > 0)
                    break;
            } else {
                buf[count++] = static_cast<char>(byte);
                if (count >= limit) {
                    buf[0] = '\0';
                    return IO_ERR_LINE_TOO_LONG;
                }
            }
            if (!policy.deadline_after_bytes)
                continue;
        }
        if (timer_timeout(deadline))
            break;
        if (got == SRC_NONE && policy.idle != nullptr)
            policy.idle();
    }
    buf[count] = '\0';
    return count;
}

void strip_line_end(char* text)
{
    if (text == nullptr)
        return;
    const std::size_t len = std::strlen(text);
    auto is_end = [](char c) { return c == '\r' || c == '\n'; };
    if (len == 1) {
        if (is_end(text[0]))
            text[0] = '\0';
    } else if (len > 1) {
        if (is_end(text[len - 2]))
            text[len - 2] = '\0';
        else if (is_end(text[len - 1]))
            text[len - 1] = '\0';
    }
}

ConfirmResult udp_check_confirm(const void* datagram, int length, uint16_t req_id, io_udp_packet* packet)
{
    if (!io_udp_parse(datagram, length, packet))
        return CONFIRM_SHORT;
    if (packet->marker != 1)
        return CONFIRM_BAD_MARKER;
    if (packet->code != IO_UDP_CONFIRM)
        return CONFIRM_NOT_CONFIRM;
    if (packet->id != req_id)
        return CONFIRM_BAD_ID;
    return CONFIRM_OK;
}

int udp_take_reply(int kind, const void* datagram, int length, uint16_t req_id, char* buf, int size)
{
    if (buf == nullptr || size < 1)
        return IO_ERR;
    buf[0] = '\0';
    io_udp_packet packet{};
    if (!io_udp_parse(datagram, length, &packet))
        return IO_ERR;
    if (packet.marker != 1)
        return IO_ERR;
    if (kind == IO_UDP && packet.code != IO_UDP_REPLY)
        return IO_ERR;
    // A reply to a request not sent yet is someone else's.
    if (packet.id > req_id)
        return REPLY_BAD;
    if (packet.id < req_id)
        return REPLY_OLDER;
    const int n = std::min(packet.text_len, size - 1);
    std::memcpy(buf, packet.text, static_cast<std::size_t>(n));
    buf[n] = '\0';
    return REPLY_TAKEN;
}

}  // namespace io_detail

bool io_udp_parse(const void* datagram, int size, io_udp_packet* out)
{
    if (datagram == nullptr || out == nullptr || size < io_detail::UDP_HEADER)
        return false;
    const auto* p = static_cast<const uint8_t*>(datagram);
    out->marker = p[0];
    out->code = p[1];
    out->id = static_cast<uint16_t>((p[2] << 8) | p[3]);
    out->length = static_cast<uint16_t>((p[4] << 8) | p[5]);
    out->text = reinterpret_cast<const char*>(p + io_detail::UDP_HEADER);
    out->text_len = std::min(static_cast<int>(out->length), size - io_detail::UDP_HEADER);
    return true;
}

int io_udp_build(uint8_t code, uint16_t id, const char* text, int text_len, void* out, int size)
{
    if (out == nullptr || text_len < 0 || text_len > 0xFFFF || (text_len > 0 && text == nullptr))
        return -1;
    const int total = io_detail::UDP_HEADER + text_len;
    if (total > size)
        return -1;
    auto* p = static_cast<uint8_t*>(out);
    p[0] = 1;
    p[1] = code;
    p[2] = static_cast<uint8_t>(id >> 8);
    p[3] = static_cast<uint8_t>(id & 0xFF);
    p[4] = static_cast<uint8_t>(text_len >> 8);
    p[5] = static_cast<uint8_t>(text_len & 0xFF);
    if (text_len > 0)
        std::memcpy(p + io_detail::UDP_HEADER, text, static_cast<std::size_t>(text_len));
    return total;
}
