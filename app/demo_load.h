// The demo's drivers: each watches the application from another thread and,
// when the demo runs itself (headless or taking pictures), drives it to the
// end.  The measurement tool's driver is in demo.cpp; the load panel's here.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace sim {
class Simulator;
}

class DemoWatcher {
public:
    virtual ~DemoWatcher() = default;
    // A self-running demo got its work (and pictures) done.
    bool succeeded() const { return succeeded_; }

protected:
    // shotsDir: where a self-running demo leaves its pictures (empty: none).
    // The demo runs itself when headless or taking pictures: it opens the
    // link at the first event turn.
    DemoWatcher(bool headless, std::string shotsDir);
    // Runs check() on the user-interface thread every 100 ms until stop();
    // the derived class calls it last in its constructor and stop() first in
    // its destructor.
    void watch();
    void stop();
    virtual void check() = 0;

    // Prints the interface panel's message log.
    static void print_log();
    // The shots folder made; false with a message when it cannot be.
    bool make_shots_dir() const;
    // A panel's picture in the shots folder; false with a message.
    bool grab(int panel, const char* name) const;
    // Ends the demo: the interface panel closes, which ends the application.
    void end(bool succeeded);

    const bool headless_;
    const std::string shots_;
    const bool auto_;
    const std::chrono::steady_clock::time_point start_;
    std::atomic<bool> done_{false};

private:
    bool succeeded_ = false;
    std::thread watcher_;
};

// Device mode 1: the simulated load's panel is given an operating point;
// self-running, it lets a few cycles pass and, with shotsDir, leaves pictures
// of the load's windows there (load-*.png), a tripped protection included.
std::unique_ptr<DemoWatcher> demo_load_watcher(sim::Simulator& instrument, bool headless, const std::string& shotsDir);

// Device mode 2: the simulated supply with set points and lists of this many
// entries; self-running, it switches the output on, opens the sub-panels and,
// with shotsDir, leaves pictures of the supply's windows there (epower-*.png).
constexpr int DEMO_SUPPLY_LIST_ENTRIES = 12;
void demo_supply_preset(sim::Simulator& instrument);
std::unique_ptr<DemoWatcher> demo_supply_watcher(bool headless, const std::string& shotsDir);
