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
        if (got == SRC_END) {
            buf[0] = '\0';
            return LINE_CLOSED;
        }
        if (got == SRC_BYTE) {
            if (byte == '\0' || byte == '\n' || byte == '\r') {
                if (count > 0) {
                    buf[count] = '\0';
                    return count;
                }
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
        if (timer_timeout(deadline)) {
            buf[0] = '\0';
            return LINE_TIMEOUT;
        }
        if (got == SRC_NONE && policy.idle != nullptr)
            policy.idle();
    }
}

int read_ack(ByteSource& src, const LinePolicy& policy)
{
    char line[LINE_BUF_SIZE];
    const int got = read_line(src, line, sizeof line, policy);
    if (got > 0 && std::strstr(line, "OK") != nullptr)
        return 0;
    // A line without "OK", or none in time: the acknowledgement is missing.
    return got > 0 || got == LINE_TIMEOUT || got == LINE_CLOSED ? IO_ERR_NO_OK : got;
}

int read_reply(ByteSource& src, char* buf, int size, const LinePolicy& policy)
{
    const int got = read_line(src, buf, size, policy);
    if (got < 0)
        return got;
    int result = got;
    // "OK" where the reply belongs is an acknowledgement a line out of step.
    if (std::strcmp(buf, "OK") == 0)
        result = REPLY_IS_ACK;
    else if (const int ack = read_ack(src, policy); ack < 0)
        result = ack;
    else if (src.pending())
        result = REPLY_TRAILING;
    if (result < 0)
        buf[0] = '\0';
    return result;
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
    // A datagram cut short, or a text with no room for its terminator, would
    // read as a different answer ("54376.000000" as "543").
    if (packet.text_len < packet.length || packet.text_len > size - 1)
        return REPLY_BAD;
    std::memcpy(buf, packet.text, static_cast<std::size_t>(packet.text_len));
    buf[packet.text_len] = '\0';
    return REPLY_TAKEN;
}

} // namespace io_detail

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
