// Turns the configured faults into the bytes, pauses and datagrams of one
// response.  One seeded generator serves every link, so a run is repeatable
// for a given seed, fault set and sequence of commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace sim {

// A run of bytes written after a pause (measured from the piece before it).
struct Piece {
    int pauseMs = 0;
    std::string bytes;
};

// One response on a byte stream: its pieces, and whether the connection closes after them.
struct StreamPlan {
    std::vector<Piece> pieces;
    bool close = false;
};

struct Datagram {
    int pauseMs = 0; // after the datagram before it
    bool foreign = false; // sent from the foreign address
    std::string bytes;
};

struct UdpPlan {
    std::vector<Datagram> datagrams;
    std::string last; // this answer's last datagram without faults, the next stale one
};

// A GPIB reply: the text the instrument puts out, how long until it can be
// read, and how the adapter writes it.
struct GpibPlan {
    std::string text;
    int delayMs = 0;
    std::size_t splitAt = 0; // 0: not split
    int splitGapMs = 0;
    bool close = false;
    std::size_t closeAt = 0;
};

class FaultPlan {
public:
    FaultPlan(uint32_t seed, const Faults& faults);
    void set(const Faults& faults);
    Faults get() const;
    bool silent() const;

    // TCP and pty: "OK" ("ERR" when refused), then for a query the reply line and "OK".
    StreamPlan stream(bool query, const std::string& reply, bool refused = false);
    // GPIB: the reply of a query followed by "\n" (eot appended by the caller).
    GpibPlan gpib(const std::string& reply, const std::string& terminator);
    // UDP: true when the request is to be lost.
    bool loseRequest();
    UdpPlan udp(uint16_t id, bool query, const std::string& reply, const std::string& stale);

private:
    enum class Hit { No,
        Counter,
        Chance };
    Hit roll(int Faults::*counter, double Faults::*chance);
    std::size_t below(std::size_t n); // uniform in 0..n-1, n > 0

    mutable std::mutex mutex_;
    Faults faults_;
    std::mt19937 rng_;
};

// Cuts bytes into pieces at the breakpoints (position, pause before what follows).
std::vector<Piece> cutPieces(const std::string& bytes, std::vector<std::pair<std::size_t, int>> breaks);

} // namespace sim
