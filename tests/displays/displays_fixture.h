// A fresh toolkit with "ifcPanel.uir", the display windows' callbacks and
// stand-ins for the application's window-close callbacks; a switch that
// plays the application's "sweep running" state.
#pragma once

#include "displays/bode.h"
#include "displays/displays.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace displaytest {

// The window-close callbacks the application registers, recorded here.
struct CloseCall {
    std::string name;
    int panel, event;
    bool operator==(const CloseCall&) const = default;
};
extern std::vector<CloseCall> closeCalls;
extern int sweepRunning;

// Registers the stand-ins for bode_stop, nyqust_stop, vc_stop and meter_stop.
void registerWindowCallbacks();

class DisplaysTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces "ifcPanel.uir" by a table holding only this panel.
    static void registerOnly(const UiPanelDef& panel);
};

const ui::Graph& graphOf(int panel, int control);
// The point plots and the line plots of a graph, in drawing order.
std::vector<ui::Plot> pointsOf(int panel, int control);
std::vector<ui::Plot> linesOf(int panel, int control);
double numberOf(int panel, int control);
std::string textOf(int panel, int control);
// Picks a ring item by value as a user does (panel shown), callbacks run.
void userPick(int panel, int control, int value);

}  // namespace displaytest
