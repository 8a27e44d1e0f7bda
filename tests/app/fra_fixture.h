// The measurement run on the headless driver against the in-process
// simulator over loopback TCP: the run is started as the application starts
// it (panels, identification, version, every setting sent), and tests then
// drive its callbacks and call readBack as the main loop would.
#pragma once

#include "app/fra.h"
#include "sim/sim.h"
#include "tests/app/app_fixture.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace fratest {

// A free loopback address under prefix for port 3000 (test processes run in parallel).
// timeScale 0 makes every reading ready at once, 1 takes the module's own time.
std::unique_ptr<sim::Simulator> startSimulator(const std::string& prefix, const std::string& idn,
                                               const std::string& version, double timeScale = 1.0);

class FraTest : public apptest::AppTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator and the measurement run; the read-back pause is 0.
    void startRun(const std::string& idn = sim::kDefaultIdn,
                  const std::string& version = sim::kDefaultVersion, double timeScale = 1.0);
    // The commands the instrument received since the last clear.
    std::vector<std::string> log() const { return sim_->commandLog(); }
    void clearLog() { sim_->clearLog(); }
    // Readings the module reports as ready.
    void setReadings(const std::array<double, 6>& values) { sim_->instrument().setReadings(values); }

    // Calls readBack until the sweep (and any DC-list run) is over; the
    // number of calls, or -1 when it did not end within maxTurns.
    int runSweep(int maxTurns = 5000);
    // The user switches SWEEP (through the driver, then the events are delivered).
    void userSweep(int on);
    // The frequencies the sweep sent ("IM:OUTP:SINE:FREQ x" of the log), as numbers.
    std::vector<double> sentFrequencies() const;

    int mainInt(int control) const;
    double mainDouble(int control) const;
    int ctrlMode(int panel, int control) const;
    int ctrlVisible(int panel, int control) const;
    int ctrlDimmed(int panel, int control) const;

    std::unique_ptr<sim::Simulator> sim_;
};

// The frequency the module confirms for a requested one, as the host reads it
// (the reply's "%f" text read in single precision).
double confirmed(double requested);

// Points drawn on a graph (plots that are not lines), optionally of one colour.
int graphPoints(int panel, int control, int color = -1);

}  // namespace fratest
