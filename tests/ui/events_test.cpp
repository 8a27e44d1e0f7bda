// Events: dispatch to control, panel and menu callbacks, nesting, discarded
// panels, GetUserEvent, keys, waking from other threads, and the headless
// driver's user actions.

#include "fixture.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace uitest;
using namespace std::chrono_literals;

namespace {

class Events : public UiTest {};

// Deadlines only guard against hangs on a loaded machine.
constexpr auto kGenerous = 10s;

TEST_F(Events, ControlPanelAndMenuEventsReachTheirCallbacks) {
    const int h = load();
    const int mb = LoadMenuBar(h, "test.uir", kMenuBar);
    ui::postEvent(h, NUM_INT, EVENT_COMMIT, 3, 4);
    ui::postEvent(h, 0, EVENT_CLOSE);
    ui::postMenuEvent(mb, MENU_EXIT);
    ui::postMenuEvent(mb, MENU_NOCB);  // no callback: nothing happens
    ui::postEvent(h, DECO, EVENT_LEFT_CLICK);  // likewise
    EXPECT_TRUE(calls.empty());  // nothing runs before ProcessSystemEvents
    ProcessSystemEvents();
    EXPECT_EQ(calls, (std::vector<Call>{{h, NUM_INT, EVENT_COMMIT, 3, 4}, {h, 0, EVENT_CLOSE, 0, 0}}));
    EXPECT_EQ(menuCalls, (std::vector<MenuCall>{{mb, MENU_EXIT, h}}));
    EXPECT_FALSE(ui::eventsPending());
}

TEST_F(Events, NestedProcessingTakesTheNextEvents) {
    const int h = load();
    std::vector<std::string> order;
    onCall = [&](int, int control, int) {
        order.push_back("start " + std::to_string(control));
        if (control == NUM_INT) {
            ProcessSystemEvents();                    // a transport wait inside a callback
            ui::postEvent(h, NUM_FLT, EVENT_COMMIT);  // queued after the outer call began: not yet
        }
        order.push_back("end " + std::to_string(control));
    };
    ui::postEvent(h, NUM_INT, EVENT_COMMIT);
    ui::postEvent(h, NUM_DBL, EVENT_COMMIT);
    ProcessSystemEvents();
    EXPECT_EQ(order, (std::vector<std::string>{"start 1", "start 2", "end 2", "end 1"}));
    EXPECT_TRUE(ui::eventsPending());  // NUM_FLT waits for the next call
    order.clear();
    ProcessSystemEvents();
    EXPECT_EQ(order, (std::vector<std::string>{"start 3", "end 3"}));
}

TEST_F(Events, EventsForADiscardedPanelAreDropped) {
    const int h = load();
    const int other = load();
    ui::postEvent(h, NUM_INT, EVENT_COMMIT);
    DiscardPanel(h);
    ProcessSystemEvents();
    EXPECT_TRUE(calls.empty());

    // A callback that discards its own panel: the panel's later events go.
    onCall = [&](int panel, int, int) { DiscardPanel(panel); };
    ui::postEvent(other, NUM_INT, EVENT_COMMIT);
    ui::postEvent(other, NUM_DBL, EVENT_COMMIT);
    ui::postEvent(other, 0, EVENT_CLOSE);
    ProcessSystemEvents();
    EXPECT_EQ(calls, (std::vector<Call>{{other, NUM_INT, EVENT_COMMIT, 0, 0}}));
    // A menu bar gone with its panel drops its events too.
    const int third = load();
    const int mb = LoadMenuBar(third, "test.uir", kMenuBar);
    ui::postMenuEvent(mb, MENU_OPEN);
    DiscardPanel(third);
    ProcessSystemEvents();
    EXPECT_TRUE(menuCalls.empty());
}

TEST_F(Events, GetUserEventTakesWithoutDispatching) {
    const int h = load();
    const int mb = LoadMenuBar(h, "test.uir", kMenuBar);
    int panel = -1, control = -1;
    EXPECT_EQ(GetUserEvent(VAL_NO_WAIT, &panel, &control), EVENT_NONE);
    bool ran = false;
    ui::postAction([&] { ran = true; });
    ui::postEvent(h, BUTTON, EVENT_COMMIT);
    ui::postMenuEvent(mb, MENU_OPEN);
    EXPECT_EQ(GetUserEvent(VAL_NO_WAIT, &panel, &control), EVENT_COMMIT);
    EXPECT_EQ(panel, h);
    EXPECT_EQ(control, BUTTON);
    EXPECT_TRUE(ran);  // the action ahead of it ran
    EXPECT_EQ(GetUserEvent(VAL_NO_WAIT, &panel, &control), EVENT_COMMIT);
    EXPECT_EQ(panel, mb);
    EXPECT_EQ(control, MENU_OPEN);
    EXPECT_EQ(GetUserEvent(VAL_NO_WAIT, &panel, &control), EVENT_NONE);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(menuCalls.empty());
    EXPECT_EQ(GetUserEvent(7, &panel, &control), UIE_BAD_ARGUMENT);
}

TEST_F(Events, GetUserEventWaitsForAnotherThread) {
    const int h = load();
    std::thread t([h] {
        std::this_thread::sleep_for(20ms);
        ui::postEvent(h, TOGGLE, EVENT_RIGHT_DOUBLE_CLICK);
    });
    int panel = 0, control = 0;
    EXPECT_EQ(GetUserEvent(VAL_WAIT, &panel, &control), EVENT_RIGHT_DOUBLE_CLICK);
    EXPECT_EQ(control, TOGGLE);
    t.join();
}

TEST_F(Events, KeysQueueForKeyHitAndGetKey) {
    EXPECT_EQ(KeyHit(), 0);
    ui::headless::pressKey('a');
    ui::headless::pressKey(VAL_ENTER_VKEY);
    EXPECT_EQ(KeyHit(), 1);
    EXPECT_EQ(GetKey(), 'a');
    EXPECT_EQ(GetKey(), VAL_ENTER_VKEY);
    EXPECT_EQ(KeyHit(), 0);
    // GetKey keeps processing events while it waits.
    const int h = load();
    ui::postEvent(h, BUTTON, EVENT_COMMIT);
    std::thread t([] {
        std::this_thread::sleep_for(20ms);
        ui::postKey(VAL_ESC_VKEY);
    });
    EXPECT_EQ(GetKey(), VAL_ESC_VKEY);
    t.join();
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(Events, PumpWakesWhenAnotherThreadPosts) {
    const int h = load();
    std::atomic<bool> posted{false};
    std::thread t([&] {
        std::this_thread::sleep_for(50ms);
        posted = true;
        ui::postEvent(h, BUTTON, EVENT_COMMIT);
    });
    // Far longer than the test allows: only a wake-up ends this wait in time.
    const auto start = std::chrono::steady_clock::now();
    ui::renderer()->pump(60000);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(posted);
    EXPECT_LT(waited, kGenerous);
    t.join();
    ProcessSystemEvents();
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(Events, KeyPostWakesThePumpButQueuedKeysDoNotKeepItAwake) {
    ui::postKey('x');  // nobody reads it: the next waits must still wait
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) ui::renderer()->pump(5);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
    std::thread t([] {
        std::this_thread::sleep_for(30ms);
        ui::postKey('y');
    });
    const auto s2 = std::chrono::steady_clock::now();
    ui::renderer()->pump(60000);
    EXPECT_LT(std::chrono::steady_clock::now() - s2, kGenerous);
    t.join();
}

TEST_F(Events, ActionsRunOnTheProcessingThread) {
    const auto self = std::this_thread::get_id();
    std::thread::id ranOn;
    std::thread t([&] { ui::postAction([&] { ranOn = std::this_thread::get_id(); }); });
    t.join();
    ProcessSystemEvents();
    EXPECT_EQ(ranOn, self);
}

TEST_F(Events, DeliverStopsOnEndlessEvents) {
    const int h = load();
    onCall = [&](int panel, int control, int event) { ui::postEvent(panel, control, event); };
    ui::postEvent(h, BUTTON, EVENT_COMMIT);
    ui::headless::deliver();  // returns although every callback queues another event
    EXPECT_GT(calls.size(), 1000u);
}

// ---- the headless driver's user actions ----------------------------------------------

std::vector<int> eventsOf(int control) {
    std::vector<int> out;
    for (const auto& c : calls)
        if (c.control == control) out.push_back(c.event);
    return out;
}

TEST_F(Events, CommitPostsEventsByControlMode) {
    const int h = load();
    namespace hl = ui::headless;
    EXPECT_EQ(hl::commit(h, NUM_INT, 42), 0);
    EXPECT_EQ(hl::commit(h, NUM_INT, 42), 0);    // unchanged: commit only
    EXPECT_EQ(hl::commit(h, NORMAL, 3), 0);      // normal: value changes, no commit
    EXPECT_TRUE(calls.empty());
    hl::deliver();
    EXPECT_EQ(eventsOf(NUM_INT), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT, EVENT_COMMIT}));
    EXPECT_EQ(eventsOf(NORMAL), (std::vector<int>{EVENT_VAL_CHANGED}));
    int v = 0;
    GetCtrlVal(h, NORMAL, &v);
    EXPECT_EQ(v, 3);
}

TEST_F(Events, UserInputIsRefusedWhereAUserCouldNotGiveIt) {
    const int h = load();
    namespace hl = ui::headless;
    SetCtrlAttribute(h, NUM_DBL, ATTR_DIMMED, 1);
    SetCtrlAttribute(h, BUTTON, ATTR_VISIBLE, 0);
    struct Case { const char* what; std::function<int()> op; int expect; };
    const Case cases[] = {
        {"indicator", [&] { return hl::commit(h, IND, 1); }, UIE_NOT_OPERABLE},
        {"dimmed", [&] { return hl::commit(h, NUM_DBL, 1.0); }, UIE_NOT_OPERABLE},
        {"hidden", [&] { return hl::click(h, BUTTON); }, UIE_NOT_OPERABLE},
        {"right click on dimmed", [&] { return hl::rightDoubleClick(h, NUM_DBL); }, UIE_NOT_OPERABLE},
        {"no control", [&] { return hl::click(h, 999); }, UIE_BAD_CONTROL},
        {"no panel", [&] { return hl::click(h + 5, BUTTON); }, UIE_BAD_PANEL},
        {"text into numeric", [&] { return hl::commit(h, NUM_INT, std::string("abc")); }, UIE_TYPE_MISMATCH},
        {"value into a message", [&] { return hl::commit(h, MSG, std::string("x")); }, UIE_WRONG_CTRL_KIND},
        {"graph click on numeric", [&] { return hl::clickGraph(h, NUM_INT, 1, 1); }, UIE_WRONG_CTRL_KIND},
        {"ring value not there", [&] { return hl::commit(h, RING_INT, 9); }, UIE_VALUE_NOT_FOUND},
        {"ring index not there", [&] { return hl::commitIndex(h, RING_INT, 3); }, UIE_INDEX_OUT_OF_RANGE},
    };
    for (const auto& c : cases) EXPECT_EQ(c.op(), c.expect) << c.what;
    HidePanel(h);
    EXPECT_EQ(hl::click(h, TOGGLE), UIE_NOT_OPERABLE);
    EXPECT_EQ(hl::closePanel(h), UIE_NOT_OPERABLE);
    EXPECT_FALSE(ui::eventsPending());
    hl::deliver();
    EXPECT_TRUE(calls.empty());
}

TEST_F(Events, IndicatorsGetClicksButNoValueChange) {
    const int h = load();
    namespace hl = ui::headless;
    int before = 0;
    GetCtrlVal(h, IND, &before);
    EXPECT_EQ(hl::click(h, IND), 0);
    EXPECT_EQ(hl::rightDoubleClick(h, IND), 0);
    hl::deliver();
    EXPECT_EQ(eventsOf(IND), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_RIGHT_DOUBLE_CLICK}));
    int after = 0;
    GetCtrlVal(h, IND, &after);
    EXPECT_EQ(after, before);
    SetCtrlAttribute(h, IND, ATTR_DIMMED, 1);
    EXPECT_EQ(hl::click(h, IND), UIE_NOT_OPERABLE);
    EXPECT_EQ(hl::rightDoubleClick(h, IND), UIE_NOT_OPERABLE);
}

TEST_F(Events, CommitCoercesLikeAUser) {
    const int h = load();
    namespace hl = ui::headless;
    EXPECT_EQ(hl::commit(h, NUM_INT, 1000), 0);
    EXPECT_EQ(hl::commit(h, NUM_DBL, std::string(" 2.5 ")), 0);  // typed text is parsed
    EXPECT_EQ(hl::commit(h, STR, std::string("abcdefgh")), 0);   // entry length 5
    ResetTextBox(h, TBOX, "old\nlines");
    EXPECT_EQ(hl::commit(h, TBOX, std::string("typed")), 0);     // the user's text replaces
    EXPECT_EQ(hl::commit(h, LIST_STR, std::string("a")), 0);
    EXPECT_EQ(hl::commitIndex(h, RING_INT, 2), 0);
    int i = 0;
    double d = 0;
    std::string s;
    GetCtrlVal(h, NUM_INT, &i);
    EXPECT_EQ(i, 100);
    GetCtrlVal(h, NUM_DBL, &d);
    EXPECT_EQ(d, 2.5);
    GetCtrlVal(h, STR, &s);
    EXPECT_EQ(s, "abcde");
    GetCtrlVal(h, TBOX, &s);
    EXPECT_EQ(s, "typed");
    GetCtrlVal(h, LIST_STR, &s);
    EXPECT_EQ(s, "a");
    GetCtrlVal(h, RING_INT, &i);
    EXPECT_EQ(i, 2);
    hl::deliver();
    EXPECT_EQ(eventsOf(RING_INT), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
}

TEST_F(Events, ClicksOnButtonsTogglesGraphsAndOthers) {
    const int h = load();
    namespace hl = ui::headless;
    EXPECT_EQ(hl::click(h, BUTTON), 0);
    EXPECT_EQ(hl::click(h, TOGGLE), 0);
    EXPECT_EQ(hl::click(h, NUM_INT), 0);
    EXPECT_EQ(hl::rightDoubleClick(h, RING_INT), 0);
    EXPECT_EQ(hl::clickGraph(h, GRAPH, 250.0, -12.5), 0);
    hl::deliver();
    EXPECT_EQ(eventsOf(BUTTON), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));
    EXPECT_EQ(eventsOf(TOGGLE), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(eventsOf(NUM_INT), (std::vector<int>{EVENT_LEFT_CLICK}));
    EXPECT_EQ(eventsOf(RING_INT), (std::vector<int>{EVENT_RIGHT_DOUBLE_CLICK}));
    EXPECT_EQ(eventsOf(GRAPH), (std::vector<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));
    int on = 0;
    GetCtrlVal(h, TOGGLE, &on);
    EXPECT_EQ(on, 1);
    double x = 0, y = 0;
    GetGraphCursor(h, GRAPH, 1, &x, &y);
    EXPECT_EQ(x, 250.0);
    EXPECT_EQ(y, -12.5);
    hl::click(h, TOGGLE);
    GetCtrlVal(h, TOGGLE, &on);
    EXPECT_EQ(on, 0);
}

TEST_F(Events, CloseAndMenuPicks) {
    const int h = load();
    const int mb = LoadMenuBar(h, "test.uir", kMenuBar);
    namespace hl = ui::headless;
    EXPECT_EQ(hl::closePanel(h), 0);
    EXPECT_EQ(hl::pickMenu(mb, MENU_OPEN), 0);
    EXPECT_EQ(hl::pickMenu(mb, MENU_SEP), UIE_NOT_OPERABLE);
    EXPECT_EQ(hl::pickMenu(mb, 99), UIE_BAD_MENU);
    EXPECT_EQ(hl::pickMenu(mb + 1, MENU_OPEN), UIE_BAD_MENU);
    SetMenuBarAttribute(mb, MENU_EXIT, ATTR_DIMMED, 1);
    EXPECT_EQ(hl::pickMenu(mb, MENU_EXIT), UIE_NOT_OPERABLE);
    SetMenuBarAttribute(mb, MENU_FILE, ATTR_DIMMED, 1);
    EXPECT_EQ(hl::pickMenu(mb, MENU_OPEN), UIE_NOT_OPERABLE);
    hl::deliver();
    EXPECT_EQ(calls, (std::vector<Call>{{h, 0, EVENT_CLOSE, 0, 0}}));
    EXPECT_EQ(menuCalls, (std::vector<MenuCall>{{mb, MENU_OPEN, h}}));
}

}  // namespace
