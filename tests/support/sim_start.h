// The in-process simulator on a loopback address of its own: test processes
// run in parallel and every instrument listens on the fixed port 3000.
#pragma once

#include "sim/sim.h"

#include <memory>

namespace tsupport {

// Starts a simulator with these options on the first free 127.x.y.z address
// of a range chosen from the process id (options.address is replaced).  Fails
// the test and returns nullptr when no address could be bound.
std::unique_ptr<sim::Simulator> startSimulator(sim::Options options = {});

// The options most tests want: TCP only, ready readings at once (time scale 0).
sim::Options tcpOnlyOptions(double timeScale = 0.0);

} // namespace tsupport
