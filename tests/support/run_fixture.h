// The application on the headless driver: a fresh run time with every
// resource and callback registered, device.cfg and profiles in a folder of
// the test's own, a measurement run started against the in-process simulator,
// and a script of user actions that runs while ifc_main holds the thread.
#pragma once

#include "tests/support/files.h"
#include "tests/support/sim_start.h"
#include "ui/model.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tsupport {

class RunTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator on an address of its own; that address.
    std::string startSim(sim::Options options = tcpOnlyOptions());
    // Starts the simulator (idn and version given) and opens the link on the interface panel.
    void openLink(const std::string& idn = sim::kDefaultIdn, const std::string& version = sim::kDefaultVersion,
        sim::Options options = tcpOnlyOptions());
    // ... then starts the measurement run as the application does; no read-back pause.
    void startRun(const std::string& idn = sim::kDefaultIdn, const std::string& version = sim::kDefaultVersion,
        sim::Options options = tcpOnlyOptions());

    std::vector<std::string> log() const { return sim_->commandLog(); }
    void clearLog() { sim_->clearLog(); }
    void setReadings(const std::array<double, 6>& v) { sim_->instrument().setReadings(v); }
    // readBack turns until the sweep and any DC-list run are over, or -1 past maxTurns.
    int runSweep(int maxTurns = 5000);
    // The frequencies sent ("IM:OUTP:SINE:FREQ x" of the log), as numbers.
    std::vector<double> sentFrequencies() const;

    TempDir dir_;
    ScopedEnv projectDir_{"IMBENCH_PROJECT_DIR", dir_.path()};
    ScopedEnv links_{"IMBENCH_LINKS", dir_.file("links.cfg")};
    std::unique_ptr<sim::Simulator> sim_;
};

// A user action through the driver (must be accepted), then its events delivered.
void commit(int panel, int control, const ui::Value& value);
void pick(int menuBar, int item);
// Control values (of the main panel) and any control attribute.
int mainInt(int control);
double mainDouble(int control);
double ctrlDouble(int panel, int control);
int attribute(int panel, int control, int attr);
// The frequency the module confirms for a requested one, as the host reads it.
double confirmed(double requested);
// Points drawn on a graph (plots that are not lines), optionally of one colour.
int graphPoints(int panel, int control, int color = -1);
// Texts ("title|text") of the message pop-ups so far.
std::vector<std::string> messages();

// Steps of (condition, action) run in order on the user-interface thread, each
// action at the first event turn its condition holds.  A script not finished
// within its limit closes the interface panel: a failing test ends, not hangs.
class UiScript {
public:
    using Step = std::pair<std::function<bool()>, std::function<void()>>;
    explicit UiScript(std::vector<Step> steps, int limitMs = 20000);
    ~UiScript();
    // After ifc_main returned: every step ran before the limit.
    bool finished() const;

private:
    struct State; // shared with the actions still queued when the script goes
    std::shared_ptr<State> state_;
    std::thread thread_;
};

// ifc_main as the executable calls it.
int runMain();
// ifc_main with a script of user actions: true when it returned 0 after every step ran.
bool runMainWith(std::vector<UiScript::Step> steps);
// Chooses TCP with address and the device mode, and switches Open on.
void openTcp(const std::string& address, int deviceMode);
inline bool always() { return true; }
inline bool shown(int panel) { return ui::panel(panel) && ui::panel(panel)->visible; }

} // namespace tsupport
