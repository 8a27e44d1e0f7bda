// A simulated instrument whose models see only the time the test gives them,
// with short ways to set it up and read it.
#pragma once

#include "sim/sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace tsim {

struct Clocked {
    std::chrono::microseconds now{0};
    sim::Instrument in;
    explicit Clocked(sim::Options o) : in(clocked(std::move(o))) { }
    sim::Options clocked(sim::Options o) {
        o.clock = [this] { return now; };
        return o;
    }
    void at(double ms) { now = std::chrono::microseconds(std::llround(ms * 1000.0)); }
    bool ok(const std::string& line) { return !in.respond(line).refused; }
    void setup(const std::vector<std::string>& lines) {
        for (const std::string& l : lines) ASSERT_TRUE(ok(l)) << l;
    }
    std::string ask(const std::string& query) { return in.execute(query).value_or("(no reply)"); }
    double num(const std::string& query) { return std::strtod(ask(query).c_str(), nullptr); }
    unsigned bits(const std::string& query) { return static_cast<unsigned>(num(query)); }
};

} // namespace tsim
