// The demo of the imbench executable: a simulated instrument on a free
// loopback address, the interface panel pointed at it, and each measurement
// run given the demo's operating point.  Headless, or when taking shots, the
// demo runs itself: it opens the link, sweeps, reports and ends the
// application.
#pragma once

#include "sim/sim.h"

#include <memory>
#include <string>

class Demo {
public:
    // shotsDir: where a self-running demo leaves its data file and
    // screenshots (empty: none).  device: 0 the measurement tool with the
    // simulated IM module, 1 the load panel with the simulated load, 2 the
    // supply panel with the simulated DC supply.  nullptr with *error when
    // the simulated instrument cannot start.  Call before
    // ifc_main, once the run time and the callbacks are in place.
    static std::unique_ptr<Demo> start(bool headless, const std::string& shotsDir, int device, std::string* error);
    ~Demo(); // the simulated instrument stops
    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;

    // After ifc_main: stops watching the application; false when a
    // self-running demo did not get its sweep (and shots) done.
    bool finish();

private:
    Demo() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The simulated instrument of the demo on the first free loopback address;
// nullptr with *error when none could be bound.  timeScale 0: readings are
// ready at once.
std::unique_ptr<sim::Simulator> demo_instrument(double timeScale, std::string* error, int device = 0);
// The demo's operating point on the main panel of a measurement run: the
// battery at 1 V DC with 50 % AC, 1 Hz to 10 kHz, and three DC levels in the
// DC sweep list (and REPEAT switched on when repeat is set).
void demo_prepare_run(bool repeat);
