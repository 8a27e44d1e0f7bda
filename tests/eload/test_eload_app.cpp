// The load panel inside the application: device mode 1 runs it alone on the
// link, and a family instrument's measurement run shows it from ELOAD.
#include "app/fra.h"
#include "app/ifc.h"
#include "eload/eload.h"
#include "eload/eloadPanel.h"
#include "link/ifp.h"
#include "tests/support/run_fixture.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

namespace hl = ui::headless;
using Log = std::vector<std::string>;

using tsupport::shown;

class EloadApp : public tsupport::RunTest {
protected:
    bool sent(const std::string& command) const {
        const Log l = log();
        return std::find(l.begin(), l.end(), command) != l.end();
    }
};

// Mode 1: the panel comes up read from the load, measures, and closing its
// window gives the link back and discards the panels.
TEST_F(EloadApp, DeviceModeOneRunsTheLoadPanelUntilItsWindowCloses) {
    sim::Options o = tsupport::tcpOnlyOptions();
    o.kind = sim::Kind::Load;
    const std::string address = startSim(o);
    int mainP = -1;
    EXPECT_TRUE(tsupport::runMainWith({
        {tsupport::always, [&] { tsupport::openTcp(address, 1); }},
        {[&] { return shown(eload_panel(ELOAD_MAIN)) && sent("MEAS:SUMM?"); },
            [&] {
                mainP = eload_panel(ELOAD_MAIN);
                hl::closePanel(mainP);
            }},
        {[] { return !ifp_get_ifready(); }, [] { hl::closePanel(ifp_panel()); }},
    }));
    const Log l = log();
    ASSERT_GE(l.size(), 2u);
    EXPECT_EQ((Log{l[0], l[1]}), (Log{"*IDN?", "INPUT?"})) << "the panel is read first";
    EXPECT_EQ(eload_panel(ELOAD_MAIN), -1);
    EXPECT_EQ(ui::panel(mainP), nullptr) << "discarded";
    EXPECT_TRUE(hl::popups().empty());
}

// A family instrument: ELOAD shows the load panel, the read-back runs its
// cycle, and closing the load window turns ELOAD off.
TEST_F(EloadApp, TheEloadToggleOfAFamilyInstrumentShowsTheLoadBesideTheTool) {
    sim::Options o = tsupport::tcpOnlyOptions();
    o.kind = sim::Kind::Load;
    o.family = true;
    startRun(sim::kFamilyIdn, sim::kDefaultVersion, o);
    EXPECT_EQ(tsupport::attribute(ifcP, MAIN_PANEL_ELOAD, ATTR_DIMMED), 0);
    const int mainP = eload_panel(ELOAD_MAIN);
    ASSERT_GE(mainP, 0);
    EXPECT_FALSE(shown(mainP));
    clearLog();
    tsupport::commit(ifcP, MAIN_PANEL_ELOAD, 1);
    EXPECT_TRUE(shown(mainP));
    EXPECT_TRUE(sent("MODE?")) << "read when first shown";
    clearLog();
    readBack();
    EXPECT_TRUE(sent("MEAS:SUMM?")) << "the read-back runs the load's cycle, MEASURE or not";
    ASSERT_EQ(hl::closePanel(mainP), 0);
    hl::deliver();
    EXPECT_EQ(tsupport::mainInt(MAIN_PANEL_ELOAD), 0);
    EXPECT_FALSE(shown(mainP));
    EXPECT_EQ(ifp_get_ifready(), 1) << "the tool goes on";
}

} // namespace
