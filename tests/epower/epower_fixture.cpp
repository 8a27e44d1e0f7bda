#include "tests/epower/epower_fixture.h"

#include "link/ifp.h"
#include "link/io.h"
#include "ui/toolkit.h"
#include "util/timer.h"

#include <chrono>

namespace tepower {

namespace {

// The tick stands still between exchanges and runs with real time inside
// them (whose waits need it), so the test alone decides when a cycle is due.
double g_seconds = 100.0;
double g_real = 0.0;

double fakeClock() {
    const double real = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    if (ifp_in_operation() != 0 && g_real > 0.0) g_seconds += real - g_real;
    g_real = real;
    return g_seconds;
}

} // namespace

void EpowerTest::SetUp() {
    RunTest::SetUp();
    epower_register_all();
    timer_set_source(fakeClock);
}

void EpowerTest::TearDown() {
    epower_close();
    epower_quit();
    timer_set_source(nullptr);
    RunTest::TearDown();
}

void EpowerTest::start(const sim::Faults& f, bool show) {
    sim::Options o = tsupport::tcpOnlyOptions();
    o.kind = sim::Kind::Supply;
    o.faults = f;
    ASSERT_NO_FATAL_FAILURE(openLink(sim::kSupplyIdn, sim::kDefaultVersion, o));
    io_timeout(ifp_link_handle(), 100); // an instrument that stops answering is given up soon
    ASSERT_EQ(epower_open(), 1);
    if (show) epower_active(1);
    clearLog();
}

void EpowerTest::cycleAfter(int ms) {
    g_seconds += ms / 1000.0;
    epower_measure();
}

void EpowerTest::measureAt(int tick) {
    g_seconds = (tick + 0.5) / 1000.0;
    epower_measure();
}

std::vector<std::string> EpowerTest::logOf(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : log())
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

int ival(int panel, int control) {
    int v = -1;
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
    return v;
}

double dval(int panel, int control) {
    double v = -1;
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
    return v;
}

std::string text(int panel, int control) {
    std::string v;
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
    return v;
}

double attr(int panel, int control, int attribute) {
    double v = -1;
    GetCtrlAttribute(panel, control, attribute, &v);
    return v;
}

} // namespace tepower
