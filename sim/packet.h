// The UDP packet of the instrument's datagram link: marker 1, code, request id
// and text length (both big-endian), then the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim::packet {

constexpr std::size_t kHeaderSize = 6;
constexpr uint8_t kMarker = 1;
enum : uint8_t { kRequest = 1,
    kConfirm = 2,
    kReply = 3,
    kClose = 5 };

struct Packet {
    uint8_t marker = 0;
    uint8_t code = 0;
    uint16_t id = 0;
    uint16_t length = 0; // as sent in the header
    std::string_view text; // the text actually present: length cut to the datagram
};

// nullopt for a datagram shorter than the header.
std::optional<Packet> parse(const void* datagram, std::size_t size);
// A packet with marker 1; text longer than 65535 bytes is cut.
std::string build(uint8_t code, uint16_t id, std::string_view text);

} // namespace sim::packet
