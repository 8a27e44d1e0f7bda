#include "tests/support/sim_start.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace tsupport {

std::unique_ptr<sim::Simulator> startSimulator(sim::Options options) {
    // 127.0.0.x is left to the demo and to people trying things by hand.
    const unsigned pid = static_cast<unsigned>(::getpid());
    std::string error;
    for (unsigned attempt = 0; attempt < 64; ++attempt) {
        const unsigned n = pid + attempt * 7919u;
        options.address = "127." + std::to_string(40 + n % 200) + "." + std::to_string((n / 200) % 250) +
            "." + std::to_string(1 + attempt % 250);
        auto s = std::make_unique<sim::Simulator>(options);
        if (s->start())
            return s;
        error = s->error();
    }
    ADD_FAILURE() << "no free loopback address for the simulator: " << error;
    return nullptr;
}

sim::Options tcpOnlyOptions(double timeScale) {
    sim::Options o;
    o.udp = false;
    o.pty = false;
    o.gpib = false;
    o.timeScale = timeScale;
    return o;
}

} // namespace tsupport
