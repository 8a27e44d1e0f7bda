// The supply panel against the in-process simulated supply, on a tick the
// test moves by hand.
#pragma once

#include "epower/epower.h"
#include "epower/epowerPanel.h"
#include "tests/support/run_fixture.h"

#include <string>
#include <vector>

namespace tepower {

class EpowerTest : public tsupport::RunTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Opens the link to a supply with these faults, then the panels, and
    // shows the main panel (read from the supply) unless show is false.
    void start(const sim::Faults& faults = {}, bool show = true);
    // Moves the tick by ms, then runs the cycle once.
    void cycleAfter(int ms = EPOWER_CYCLE_MS);
    // Sets the tick, then runs the cycle once.
    void measureAt(int tick);
    // The log since the last clearLog(), with what a matching prefix of it.
    std::vector<std::string> logOf(const std::string& prefix) const;
    void faults(const sim::Faults& f) { sim_->setFaults(f); }
    int main() const { return epower_panel_main(); }
};

int ival(int panel, int control);
double dval(int panel, int control);
std::string text(int panel, int control);
double attr(int panel, int control, int attribute);

} // namespace tepower
