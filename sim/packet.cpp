#include "sim/packet.h"

#include <algorithm>

namespace sim::packet {

std::optional<Packet> parse(const void* datagram, std::size_t size) {
    if (size < kHeaderSize) return std::nullopt;
    const auto* b = static_cast<const uint8_t*>(datagram);
    Packet p;
    p.marker = b[0];
    p.code = b[1];
    p.id = static_cast<uint16_t>(b[2] << 8 | b[3]);
    p.length = static_cast<uint16_t>(b[4] << 8 | b[5]);
    const std::size_t present = std::min<std::size_t>(p.length, size - kHeaderSize);
    p.text = std::string_view(reinterpret_cast<const char*>(b + kHeaderSize), present);
    return p;
}

std::string build(uint8_t code, uint16_t id, std::string_view text) {
    const std::size_t n = std::min<std::size_t>(text.size(), 0xFFFF);
    std::string out;
    out.reserve(kHeaderSize + n);
    out.push_back(static_cast<char>(kMarker));
    out.push_back(static_cast<char>(code));
    out.push_back(static_cast<char>(id >> 8));
    out.push_back(static_cast<char>(id & 0xFF));
    out.push_back(static_cast<char>(n >> 8));
    out.push_back(static_cast<char>(n & 0xFF));
    out.append(text.substr(0, n));
    return out;
}

} // namespace sim::packet
