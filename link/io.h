// The transport: one way to reach the instrument over GPIB, COM, TCP or UDP.
// A fixed table of 64 links whose index is the handle; every command and reply
// is one line of text and the transport hides each link kind's framing.
#pragma once

#include <cstdint>

enum { IO_GPIB = 0,
    IO_COM = 1,
    IO_TCP = 2,
    IO_UDP = 3,
    IO_UDP_BROADCAST = 4 };

constexpr int IO_MAX_LINKS = 64;
constexpr int IO_RX_BUF_SIZE = 256;
constexpr int IO_PORT = 3000; // TCP and UDP port of the instrument
// The longest command text every link kind carries (a UDP request holds 250
// characters, a COM or TCP line 510): what a caller may send whatever the link.
constexpr int IO_MAX_COMMAND = 250;

// failure codes
enum { IO_ERR = -1,
    IO_ERR_NO_CONFIRM = -2,
    IO_ERR_NO_OK = -999,
    IO_ERR_LINE_TOO_LONG = -1000 };

// UDP packet codes
enum { IO_UDP_REQUEST = 1,
    IO_UDP_CONFIRM = 2,
    IO_UDP_REPLY = 3,
    IO_UDP_CLOSE = 5 };

struct io_link {
    int32_t kind; // link kind, -1 when free
    int32_t dev; // GPIB descriptor, COM port number or socket
    int32_t timeout; // ms
    uint32_t peer; // IPv4, network byte order; all ones = unset
    uint16_t req_id; // last UDP request id
    int32_t rx_pos, rx_len;
    char rx_buf[IO_RX_BUF_SIZE];
};

// address: GPIB primary address / COM port number for the integer form, dotted
// IPv4 text for the network kinds.  A handle 0..63 or -1.
int io_open(int kind, const int* address, int baud);
int io_open(int kind, const char* address, int baud);
void io_close(int handle);
int io_write(int handle, const char* text);
int io_read(int handle, char* buffer, int size);
void io_timeout(int handle, int milliseconds);
void io_flush_data(int handle);
const char* io_get_remote_address(int handle);

using io_hook_fn = void (*)(int level, const char* format, ...);
void io_hook_debug_printf(io_hook_fn hook);
// What the transport runs while it waits where the user must not notice the
// wait (a COM line, a TCP connect): set by the owner of the event loop.
// Without one, every wait blocks in poll() on the time it has left.
using io_idle_fn = void (*)();
void io_hook_idle(io_idle_fn hook);

// Read access to a slot for diagnostics and tests; nullptr outside 0..63.
const io_link* io_get_link(int handle);
// Users of the socket layer, for tests of the counted start and release.
int io_socket_users();

// Wire format of one UDP packet, shared with the simulator and the fuzzers.
struct io_udp_packet {
    uint8_t marker;
    uint8_t code;
    uint16_t id;
    uint16_t length; // as sent in the header
    const char* text; // points into the datagram
    int text_len; // bytes of text actually present (length cut to the datagram)
};
// Parses a datagram; false when it is shorter than the 6-byte header.
bool io_udp_parse(const void* datagram, int size, io_udp_packet* out);
// Builds a packet into out (size bytes); the packet's length or -1 when it does not fit.
int io_udp_build(uint8_t code, uint16_t id, const char* text, int text_len, void* out, int size);
