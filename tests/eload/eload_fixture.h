// The load panel against the in-process simulated load, on a tick the test
// moves; shared by the load panel's tests.
#pragma once

#include "eload/eload.h"
#include "eload/eloadPanel.h"
#include "link/ifp.h"
#include "link/io.h"
#include "tests/support/run_fixture.h"
#include "ui/headless.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"
#include "util/timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace eload_test {

namespace hl = ui::headless;
using Log = std::vector<std::string>;

// The tick the panel sees: the real clock moved on by `seconds`, or frozen at
// `seconds` when `real` is cleared.  A frozen tick suits only exchanges that
// succeed: the transport waits on it after a failure.
inline double g_seconds = 0.0;
inline bool g_real = false;
inline double test_clock() { return g_real ? Timer() + g_seconds : g_seconds; }

inline const Log kLevelLimits = {"MLEV? MAX", "MLEV? MIN", "MLEV?", "TLEV? MAX", "TLEV? MIN", "TLEV?"};

inline Log operator+(Log a, const Log& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Eload : public tsupport::RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        g_seconds = 100.0;
        g_real = true;
        timer_set_source(test_clock);
        sim::Options o = tsupport::tcpOnlyOptions();
        o.kind = sim::Kind::Load;
        // 2 A from this source leaves 12.2956 V on the input (24.5912 W,
        // 6.1478 ohm); the load's own clock stands still, so the heat sink
        // stays at 25 degrees.
        o.sourceVolts = 12.3956;
        o.sourceOhms = 0.05;
        o.clock = [] { return std::chrono::microseconds(0); };
        ASSERT_NO_FATAL_FAILURE(openLink(sim::kLoadIdn, sim::kDefaultVersion, o));
        ASSERT_EQ(eload_open(), 1);
        mainP = eload_panel(ELOAD_MAIN);
        clearLog();
    }
    void TearDown() override {
        eload_quit();
        eload_set_close_hook(nullptr);
        timer_set_source(nullptr);
        RunTest::TearDown();
    }

    void faults(void (*set)(sim::Faults&)) {
        sim::Faults f;
        set(f);
        sim_->setFaults(f);
    }
    void show() {
        eload_active(1);
        clearLog();
    }
    // Opens the gate and calls the cycle as a busy main loop would.
    void cycle(int calls = 4) {
        g_seconds += 1.0;
        for (int i = 0; i < calls; ++i)
            eload_measure();
    }
    std::string text(int control, int panel = -1) {
        std::string s;
        GetCtrlVal(panel < 0 ? mainP : panel, control, &s);
        return s;
    }
    int value(int control, int panel = -1) {
        int v = -1;
        GetCtrlVal(panel < 0 ? mainP : panel, control, &v);
        return v;
    }
    int mainP = -1;
};

} // namespace eload_test
