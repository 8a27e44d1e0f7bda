// A resource table with one control of every kind, and callbacks that record
// what they receive.
#pragma once

#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resource.h"
#include "ui/toolkit.h"

#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace uitest {

enum {
    NUM_INT = 1, NUM_DBL, NUM_FLT, STR, MSG, TBOX, TOGGLE, BUTTON, RING_INT, RING_DBL,
    LIST_STR, GRAPH, LED, DECO, IND, NORMAL, RING_EMPTY,
};
constexpr int kPanel = 1;
constexpr int kMenuBar = 1;
enum { MENU_FILE = 1, MENU_OPEN = 2, MENU_SEP = 3, MENU_EXIT = 4, MENU_NOCB = 5 };

struct Call {
    int panel, control, event, data1, data2;
    bool operator==(const Call&) const = default;
};
struct MenuCall {
    int menuBar, item, panel;
    bool operator==(const MenuCall&) const = default;
};

extern std::vector<Call> calls;       // control and panel callbacks (panel: control 0)
extern std::vector<MenuCall> menuCalls;
// Runs inside the control callback, before it returns.
extern std::function<void(int panel, int control, int event)> onCall;

void registerTestResource();

// Fresh run time with the test resource and callbacks registered.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    int load();  // loads and displays the test panel
};

}  // namespace uitest
