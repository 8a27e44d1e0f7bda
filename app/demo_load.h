// The demo's drivers: each watches the application from another thread and,
// when the demo runs itself (headless or taking pictures), drives it to the
// end.  The measurement tool's driver is in demo.cpp; the load panel's here.
#pragma once

#include <memory>
#include <string>

namespace sim {
class Simulator;
}

class DemoWatcher {
public:
    virtual ~DemoWatcher() = default;
    // A self-running demo got its work (and pictures) done.
    virtual bool succeeded() const = 0;
};

// Device mode 1: the simulated load's panel is given an operating point;
// self-running, it lets a few cycles pass and, with shotsDir, leaves pictures
// of the load's windows there (load-*.png), a tripped protection included.
std::unique_ptr<DemoWatcher> demo_load_watcher(sim::Simulator& instrument, bool headless, const std::string& shotsDir);
