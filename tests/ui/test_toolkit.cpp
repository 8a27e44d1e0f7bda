// The toolkit on the headless driver: loading, typed values, rings and lists, list columns, text boxes,
// graphs, event dispatch (nesting, other threads, discarded panels), user actions, pop-ups, project folder.
#include "tests/support/files.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resource.h"

#include <atomic>
#include <cfloat>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace {

namespace hl = ui::headless;
// The test panel's controls, and its menu items.
constexpr int NUM_INT = 1, NUM_DBL = 2, NUM_FLT = 3, STR = 4, TBOX = 5, TOGGLE = 6, BUTTON = 7, RING = 8, LIST = 9, GRAPH = 10, IND = 11, NORMAL = 12;
constexpr int MENU_OPEN = 2, MENU_SEP = 3, MENU_EXIT = 4, MENU_NOCB = 5;

// What reached a callback; a panel's own events have control 0, menu picks the event -(menu bar).
struct Call {
    int panel, control, event;
    bool operator==(const Call&) const = default;
};
std::vector<Call> calls;
std::function<void(int panel, int control)> onCall; // runs inside the callback

int ctrlCb(int panel, int control, int event, void*, int, int) {
    calls.push_back({panel, control, event});
    if (onCall) onCall(panel, control);
    return 0;
}

// A panel with one control of each kind and a menu bar, on a fresh run time.
class Toolkit : public ::testing::Test {
protected:
    void SetUp() override {
        ui::resetForTests(), calls.clear(), onCall = nullptr;
        ui_register_ctrl_callback("cb", ctrlCb);
        ui_register_panel_callback("panelCb", [](int p, int e, void*, int, int) { return ctrlCb(p, 0, e, {}, 0, 0); });
        ui_register_menu_callback("menuCb", [](int bar, int item, void*, int p) { calls.push_back({p, item, -bar}); });
        using K = UiCtrlKind; // every control has the recording callback
        const std::string cb = "cb";
        // clang-format off
        UiPanelDef p{.id = 1, .callback = "panelCb", .controls = {
            {.id = NUM_INT, .callback = cb, .value = 5, .min = 0, .max = 100},
            {.id = NUM_DBL, .dataType = VAL_DOUBLE, .callback = cb, .min = -10, .max = 10},
            {.id = NUM_FLT, .dataType = VAL_FLOAT, .callback = cb, .min = 0, .max = 1},
            {.id = STR, .kind = K::String, .callback = cb, .text = "init", .maxEntryLength = 5},
            {.id = TBOX, .kind = K::TextBox, .callback = cb}, {.id = TOGGLE, .kind = K::Toggle, .callback = cb},
            {.id = BUTTON, .kind = K::Button, .callback = cb}, {.id = GRAPH, .kind = K::Graph, .callback = cb},
            {.id = RING, .kind = K::Ring, .callback = cb, .value = 1, .items = ui_items({{"Zero", 0}, {"One", 1}, {"Two", 2}})},
            {.id = LIST, .kind = K::ListBox, .dataType = VAL_STRING, .callback = cb, .text = "b",
             .items = {{"A", 0, "a"}, {"B", 0, "b"}}},
            {.id = IND, .callback = cb, .mode = VAL_INDICATOR}, {.id = NORMAL, .callback = cb, .mode = VAL_NORMAL}}};
        // clang-format on
        // clang-format off
        UiMenuBarDef mb{1, {{1, "File", {{MENU_OPEN, "Open", "menuCb"}, {MENU_SEP, "", "", true},
                                         {MENU_EXIT, "Exit", "menuCb"}, {MENU_NOCB, "Nothing", ""}}}}};
        // clang-format on
        ui_register_resource(UiResourceDef{"test.uir", {p}, {mb}});
    }
    void TearDown() override { onCall = nullptr, ui::resetForTests(); }
    static int load() {
        const int h = LoadPanel(0, "test.uir", 1);
        return DisplayPanel(h) == 0 ? h : -1;
    } // shown
};

// A control's value, or a marker when it cannot be read so.
double num(int panel, int control) {
    double d;
    return GetCtrlVal(panel, control, &d) == 0 ? d : -12345;
}
std::string text(int panel, int control) {
    std::string s;
    return GetCtrlVal(panel, control, &s) == 0 ? s : "?";
}

TEST_F(Toolkit, LoadFailsOnAnythingUnknownAndHandlesAreNeverReused) {
    auto bad = [](std::string panelCb, std::string ctrlCb, int secondId) { // secondId 1: a duplicate id
        UiPanelDef p{.id = 1, .callback = panelCb, .controls = {{.id = 1, .callback = ctrlCb}, {.id = secondId}}};
        return ui_register_resource(UiResourceDef{"bad.uir", {p}}), "bad.uir";
    };
    EXPECT_EQ((std::vector{LoadPanel(0, "nothere.uir", 1), LoadPanel(0, "test.uir", 99),
                  LoadPanel(0, bad("", "noSuchCb", 2), 1), LoadPanel(0, bad("noSuchPanelCb", "", 2), 1),
                  LoadPanel(0, bad("", "", 1), 1), LoadMenuBar(0, "test.uir", 7), int(ui::panelHandles().size())}),
        (std::vector<int>{UIE_RESOURCE_NOT_FOUND, UIE_PANEL_NOT_FOUND, UIE_CALLBACK_NOT_FOUND,
            UIE_CALLBACK_NOT_FOUND, UIE_BAD_CONTROL, UIE_BAD_MENU, 0}));
    const int a = LoadPanel(0, "test.uir", 1), b = LoadPanel(0, "/opt/anywhere/test.uir", 1);
    EXPECT_TRUE(a > 0 && b > a && DiscardPanel(a) == 0 && DiscardPanel(a) == UIE_BAD_PANEL);
    EXPECT_GT(LoadPanel(0, "test.uir", 1), b);
    EXPECT_EQ(LoadPanel(a, "test.uir", 1), UIE_BAD_PANEL); // parent gone
}

TEST_F(Toolkit, ValuesAreCoercedIntoRangeAndType) {
    const int h = load();
    struct Case {
        int ctrl;
        double in, want;
    };
    const Case cases[] = {
        {NUM_INT, 150, 100},
        {NUM_INT, -3, 0},
        {NUM_INT, 2.5, 3},
        {NUM_INT, 2.4999, 2},
        {NUM_INT, 1e300, 100},
        {NUM_DBL, 3.25, 3.25},
        {NUM_DBL, 11, 10},
        {NUM_DBL, -INFINITY, -10},
        {NUM_FLT, 0.1, double(0.1f)},
        {NUM_FLT, 2, 1},
        {NUM_FLT, -0.5, 0},
        {TOGGLE, 5, 1},
        {TOGGLE, -1, 1},
        {TOGGLE, 0.2, 1},
        {TOGGLE, 0, 0},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(SetCtrlVal(h, c.ctrl, c.in), 0);
        EXPECT_EQ(num(h, c.ctrl), c.want) << "control " << c.ctrl << " <- " << c.in;
    }
    int i = 0;
    EXPECT_EQ(SetCtrlVal(h, NUM_DBL, -2.5) + GetCtrlVal(h, NUM_DBL, &i), 0); // as an integer: halves away from 0
    EXPECT_EQ(i, -3);
    SetCtrlVal(h, NUM_INT, 50), SetCtrlAttribute(h, NUM_INT, ATTR_MAX_VALUE, 20); // range changes coerce the value
    const double capped = num(h, NUM_INT);
    SetCtrlAttribute(h, NUM_INT, ATTR_MIN_VALUE, 30), SetCtrlAttribute(h, NUM_INT, ATTR_MAX_VALUE, 35.5);
    const double raised = num(h, NUM_INT);
    SetCtrlVal(h, NUM_INT, 35.7); // a fractional bound keeps an integer inside it
    EXPECT_EQ((std::vector{capped, raised, num(h, NUM_INT)}), (std::vector{20.0, 30.0, 35.0}));
    SetCtrlAttribute(h, NUM_FLT, ATTR_MAX_VALUE, 0.1), SetCtrlVal(h, NUM_FLT, 0.5); // 0.1f is above 0.1
    const double d = num(h, NUM_FLT);
    EXPECT_TRUE(d <= 0.1 && d > 0.0999 && d == double(float(d))) << d; // a float stays in range, and below FLT_MAX
    SetCtrlAttribute(h, NUM_FLT, ATTR_MAX_VALUE, 1e300), SetCtrlVal(h, NUM_FLT, 1e200);
    EXPECT_EQ(num(h, NUM_FLT), double(FLT_MAX));
    EXPECT_EQ((std::vector{SetCtrlVal(h, NUM_INT, "5"), SetCtrlVal(h, NUM_INT, NAN), SetCtrlVal(h, STR, 5),
                  GetCtrlVal(h, STR, &i), GetCtrlVal(h, BUTTON, &i), SetCtrlVal(h, GRAPH, 1),
                  SetCtrlVal(h, STR, "longer than the entry")}),
        (std::vector<int>{UIE_TYPE_MISMATCH, UIE_BAD_ARGUMENT, UIE_TYPE_MISMATCH, UIE_TYPE_MISMATCH,
            UIE_WRONG_CTRL_KIND, UIE_WRONG_CTRL_KIND, 0})); // only the user's entry is cut
    char buf[3] = {'x', 'x', 'x'};
    EXPECT_EQ(GetCtrlValStr(h, STR, buf, sizeof buf), 0);
    EXPECT_EQ(std::string(buf) + std::to_string(num(h, NUM_INT)), "lo35.000000");
}

// One rule for both ways a precision arrives: outside 0..15 it is refused, not clamped.
TEST_F(Toolkit, PrecisionOutsideItsRangeIsRefusedFromATableAndFromACall) {
    const int h = load();
    const int before = 3; // the test panel's default
    for (const int precision : {-1, 0, 15, 16}) {
        const bool valid = precision >= 0 && precision <= 15;
        ui_register_resource(UiResourceDef{"prec.uir", {UiPanelDef{.id = 1, .controls = {{.id = 1, .dataType = VAL_DOUBLE, .precision = precision}}}}});
        const int loaded = LoadPanel(0, "prec.uir", 1);
        int shown = -1;
        if (loaded > 0) GetCtrlAttribute(loaded, 1, ATTR_PRECISION, &shown);
        EXPECT_EQ(valid ? shown : loaded, valid ? precision : UIE_BAD_ARGUMENT) << "table precision " << precision;
        int now = -1;
        EXPECT_EQ(SetCtrlAttribute(h, NUM_DBL, ATTR_PRECISION, precision), valid ? 0 : UIE_BAD_ARGUMENT) << precision;
        EXPECT_EQ(GetCtrlAttribute(h, NUM_DBL, ATTR_PRECISION, &now) == 0 ? now : -2, valid ? precision : before) << precision;
        SetCtrlAttribute(h, NUM_DBL, ATTR_PRECISION, before);
    }
}

TEST_F(Toolkit, RingAndListSelectionFollowsItsItem) {
    const int h = load(); // RING: Zero One Two, One selected
    struct Step {
        const char* what;
        std::function<int()> op;
        int result, count, index, value;
    };
    const Step steps[] = {
        {"by value", [&] { return SetCtrlVal(h, RING, 2); }, 0, 3, 2, 2},
        {"no such value", [&] { return SetCtrlVal(h, RING, 1.5); }, UIE_VALUE_NOT_FOUND, 3, 2, 2},
        {"by index", [&] { return SetCtrlIndex(h, RING, 1); }, 0, 3, 1, 1},
        {"insert before", [&] { return InsertListItem(h, RING, 0, "Minus", -1); }, 0, 4, 2, 1},
        {"insert at the selection", [&] { return InsertListItem(h, RING, 2, "Five", 5.0); }, 0, 5, 3, 1},
        {"insert past end", [&] { return InsertListItem(h, RING, 6, "x", 1); }, UIE_INDEX_OUT_OF_RANGE, 5, 3, 1},
        {"fractional value", [&] { return InsertListItem(h, RING, 0, "x", 1.5); }, UIE_TYPE_MISMATCH, 5, 3, 1},
        {"replace selected", [&] { return ReplaceListItem(h, RING, 3, "Uno", 11); }, 0, 5, 3, 11},
        {"delete two before", [&] { return DeleteListItem(h, RING, 0, 2); }, 0, 3, 1, 11},
        {"delete selected to end", [&] { return DeleteListItem(h, RING, 1, -1); }, 0, 1, 0, 5}, // the new last
        {"delete too many", [&] { return DeleteListItem(h, RING, 0, 2); }, UIE_INDEX_OUT_OF_RANGE, 1, 0, 5},
        {"index past end", [&] { return SetCtrlIndex(h, RING, 1); }, UIE_INDEX_OUT_OF_RANGE, 1, 0, 5},
        {"clear", [&] { return ClearListCtrl(h, RING); }, 0, 0, -1, -1},
        {"first into empty", [&] { return InsertListItem(h, RING, -1, "first", 42); }, 0, 1, 0, 42},
    };
    for (const auto& st : steps) {
        int n = -2, idx = -2, v = -1;
        EXPECT_EQ(st.op(), st.result) << st.what;
        GetNumListItems(h, RING, &n), GetCtrlIndex(h, RING, &idx);
        EXPECT_EQ(GetCtrlVal(h, RING, &v), idx < 0 ? UIE_INDEX_OUT_OF_RANGE : 0);
        EXPECT_EQ((std::vector{n, idx, v}), (std::vector{st.count, st.index, st.value})) << st.what;
    }
    std::string label, value, before = text(h, LIST);
    EXPECT_EQ(SetCtrlVal(h, LIST, "a") + InsertListItem(h, LIST, -1, "1 kHz\x1bp80l10 mV", "c"), 0);
    EXPECT_EQ(GetLabelFromIndex(h, LIST, 2, &label) + GetValueFromIndex(h, LIST, 2, &value), 0);
    EXPECT_EQ(before + text(h, LIST) + label + value, "ba1 kHz\x1bp80l10 mVc");
}

TEST(SplitColumns, EscapesPlaceTextAndMalformedOnesStayText) {
    using Pieces = std::vector<std::pair<int, std::string>>;
    const std::pair<std::string, Pieces> cases[] = {
        {"a\x1bp100lb", {{0, "a"}, {100, "b"}}}, {"\x1bp10lx\x1bp20ly", {{0, ""}, {10, "x"}, {20, "y"}}},
        {"a\x1b\x1bp5lb", {{0, "a\x1b"}, {5, "b"}}}, {"a\x1bplb", {{0, "a\x1bplb"}}}, {"a\x1bp12", {{0, "a\x1bp12"}}},
        {"a\x1bp1234567lb", {{0, "a\x1bp1234567lb"}}}, // no digits, cut short, too long for a pixel offset
    };
    for (const auto& [label, want] : cases) {
        Pieces got;
        for (const auto& p : ui::splitColumns(label)) got.emplace_back(p.x, p.text);
        EXPECT_EQ(got, want) << label;
    }
}

TEST_F(Toolkit, TextBoxesAndGraphs) {
    const int h = load();
    const ui::Control* c = ui::panel(h)->control(TBOX);
    for (const char* t : {"a", "b\nc", "\n", "d"}) SetCtrlVal(h, TBOX, t); // appends continue the last line
    const std::string appended = text(h, TBOX);
    ResetTextBox(h, TBOX, "p\nq");
    const auto rewrites = c->linesRewritten;
    EXPECT_EQ(InsertTextBoxLine(h, TBOX, -1, "x") + InsertTextBoxLine(h, TBOX, 3, "end"), 0);
    EXPECT_EQ(c->linesRewritten, rewrites); // appends keep what was shown
    EXPECT_EQ((std::vector{InsertTextBoxLine(h, TBOX, 0, "first\nsecond"), InsertTextBoxLine(h, TBOX, 7, "x")}),
        (std::vector<int>{0, UIE_INDEX_OUT_OF_RANGE}));
    EXPECT_GT(c->linesRewritten, rewrites);
    EXPECT_EQ(appended + "|" + text(h, TBOX), "ab\nc\nd|first\nsecond\np\nq\nx\nend");

    const int a = PlotPoint(h, GRAPH, 1, 2, VAL_SOLID_CIRCLE, VAL_RED), b = PlotLine(h, GRAPH, 0, 0, 1, 1, VAL_BLUE);
    const int p = PlotPoint(h, GRAPH, 3, 4, VAL_ASTERISK, VAL_GREEN);
    EXPECT_TRUE(a > 0 && b > a && p > b && DeleteGraphPlot(h, GRAPH, b, 0) == 0 &&
        DeleteGraphPlot(h, GRAPH, b, 0) == UIE_BAD_PLOT);
    const auto& plots = ui::panel(h)->control(GRAPH)->graph.plots;
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ((std::vector{plots[0].handle, plots[0].color, plots[1].handle, plots[1].style}),
        (std::vector{a, int(VAL_RED), p, int(VAL_ASTERISK)}));
    EXPECT_EQ((std::vector{plots[0].x1, plots[0].y1, plots[1].y1}), (std::vector{1.0, 2.0, 4.0}));
    EXPECT_EQ(DeleteGraphPlot(h, GRAPH, VAL_ALL_PLOTS, VAL_DELAYED_DRAW), 0);
    EXPECT_TRUE(plots.empty());
    EXPECT_GT(PlotPoint(h, GRAPH, 0, 0, 0, 0), p); // a stale handle never names a new plot
}

TEST_F(Toolkit, DispatchIsInOrderNestsAndDropsWhatHasGone) {
    const int h = load(), other = load();
    const int mb = LoadMenuBar(h, "test.uir", 1), mb2 = LoadMenuBar(other, "test.uir", 1);
    std::vector<int> order; // control ids as callbacks start, negated as they end
    onCall = [&](int panel, int control) {
        order.push_back(control);
        if (control == NUM_INT) ProcessSystemEvents(), ui::postEvent(h, NUM_FLT, EVENT_COMMIT); // a wait inside
        if (control == NUM_DBL && panel == h) DiscardPanel(h); // its later events and menu picks go
        order.push_back(-control);
    };
    for (int c : std::initializer_list<int>{NUM_INT, 0, NUM_DBL, NUM_FLT}) ui::postEvent(h, c, c ? 1 : EVENT_CLOSE);
    ui::postMenuEvent(mb, MENU_OPEN), ui::postMenuEvent(mb2, MENU_NOCB), ui::postMenuEvent(mb2, MENU_EXIT);
    EXPECT_TRUE(calls.empty()); // nothing runs before ProcessSystemEvents
    ProcessSystemEvents();
    EXPECT_EQ(order, (std::vector<int>{NUM_INT, 0, -0, NUM_DBL, -NUM_DBL, -NUM_INT}));
    EXPECT_EQ(calls, (std::vector<Call>{{h, NUM_INT, 1}, {h, 0, EVENT_CLOSE}, {h, NUM_DBL, 1}, {other, MENU_EXIT, -mb2}}));
    ASSERT_TRUE(ui::eventsPending()); // queued during the call: for the next one (else the next part never ends)
    onCall = [](int panel, int control) { ui::postEvent(panel, control, EVENT_COMMIT); };
    ui::postEvent(other, BUTTON, EVENT_COMMIT);
    hl::deliver(); // returns although every callback queues another event
    EXPECT_GT(calls.size(), 1000u);
}

TEST_F(Toolkit, AnotherThreadsPostsWakeAWaitAndItsActionsRunHere) {
    using namespace std::chrono;
    const int h = load();
    std::thread::id ranOn;
    std::atomic<bool> ran{false}, dispatched{false};
    onCall = [&](int, int control) { dispatched = control == BUTTON; };
    std::thread t([&] {
        std::this_thread::sleep_for(milliseconds(20)); // let the main thread wait first
        ui::postAction([&] { ranOn = std::this_thread::get_id(), ran = true; });
        for (int i = 0; !ran && i < 10000; ++i) std::this_thread::sleep_for(milliseconds(1)); // bounded: a failing test ends
        ui::postEvent(h, TOGGLE, EVENT_RIGHT_DOUBLE_CLICK);
        for (int i = 0; !dispatched && i < 10000; ++i) std::this_thread::sleep_for(milliseconds(1));
        ui::postKey(VAL_ESC_VKEY);
    });
    const auto start = steady_clock::now();
    ui::renderer()->pump(60000); // only a wake-up ends this in time
    EXPECT_LT(steady_clock::now() - start, seconds(30));
    int panel = 0, control = 0;
    EXPECT_EQ(GetUserEvent(VAL_WAIT, &panel, &control), EVENT_RIGHT_DOUBLE_CLICK); // runs the action, waits
    EXPECT_EQ((std::vector{panel, control, GetUserEvent(VAL_NO_WAIT, &panel, &control)}),
        (std::vector{h, int(TOGGLE), int(EVENT_NONE)}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    ui::postEvent(h, BUTTON, EVENT_COMMIT), hl::pressKey('a');
    EXPECT_EQ((std::vector{KeyHit(), GetKey(), GetKey()}), (std::vector{1, int('a'), int(VAL_ESC_VKEY)}));
    t.join(); // GetKey dispatched the event while it waited
    EXPECT_EQ(calls, (std::vector<Call>{{h, BUTTON, EVENT_COMMIT}}));
}

TEST_F(Toolkit, UserActionsPostWhatKindAndModeGiveAndNothingAUserCouldNotDo) {
    const int h = load(), mb = LoadMenuBar(h, "test.uir", 1);
    ResetTextBox(h, TBOX, "old\nlines");
    EXPECT_EQ((std::vector{hl::commit(h, NUM_INT, 100), hl::commit(h, NUM_INT, 100), hl::commit(h, NORMAL, 3),
                  hl::commit(h, NUM_DBL, std::string(" 2.5 ")), hl::commit(h, STR, std::string("abcdefgh")),
                  hl::commit(h, TBOX, std::string("typed")), hl::commitIndex(h, RING, 2),
                  hl::click(h, BUTTON), hl::click(h, TOGGLE), hl::click(h, IND), hl::rightDoubleClick(h, IND),
                  hl::clickGraph(h, GRAPH, 250.0, -12.5), hl::pickMenu(mb, MENU_OPEN), hl::closePanel(h)}),
        std::vector<int>(14, 0));
    const int V = EVENT_VAL_CHANGED, C = EVENT_COMMIT, L = EVENT_LEFT_CLICK;
    const std::vector<Call> expected{
        {h, NUM_INT, V}, {h, NUM_INT, C}, {h, NUM_INT, C}, {h, NORMAL, V}, {h, NUM_DBL, V}, {h, NUM_DBL, C},
        {h, STR, V}, {h, STR, C}, {h, TBOX, V}, {h, TBOX, C}, {h, RING, V}, {h, RING, C}, {h, BUTTON, L},
        {h, BUTTON, C}, {h, TOGGLE, L}, {h, TOGGLE, V}, {h, TOGGLE, C}, {h, IND, L}, {h, IND, EVENT_RIGHT_DOUBLE_CLICK},
        {h, GRAPH, L}, {h, GRAPH, C}, {h, MENU_OPEN, -mb}, {h, 0, EVENT_CLOSE}};
    double x = 0, y = 0;
    GetGraphCursor(h, GRAPH, 1, &x, &y);
    EXPECT_EQ((std::vector{num(h, NUM_INT), num(h, NUM_DBL), num(h, TOGGLE), num(h, RING), x, y}),
        (std::vector{100.0, 2.5, 1.0, 2.0, 250.0, -12.5}));
    EXPECT_EQ(text(h, STR) + "|" + text(h, TBOX), "abcde|typed");
    SetCtrlAttribute(h, NUM_DBL, ATTR_DIMMED, 1), SetCtrlAttribute(h, BUTTON, ATTR_VISIBLE, 0);
    SetMenuBarAttribute(mb, MENU_EXIT, ATTR_DIMMED, 1);
    const int NO = UIE_NOT_OPERABLE;
    EXPECT_EQ((std::vector{hl::commit(h, IND, 1), hl::commit(h, NUM_DBL, 1.0), hl::rightDoubleClick(h, NUM_DBL),
                  hl::click(h, BUTTON), hl::commit(h, NUM_INT, std::string("abc")), hl::commit(h, GRAPH, 1),
                  hl::commit(h, RING, 9), hl::commitIndex(h, RING, 3), hl::pickMenu(mb, MENU_SEP),
                  hl::pickMenu(mb, MENU_EXIT), HidePanel(h), hl::click(h, TOGGLE), hl::closePanel(h),
                  hl::pickMenu(mb, MENU_OPEN)}),
        (std::vector<int>{NO, NO, NO, NO, UIE_TYPE_MISMATCH, UIE_WRONG_CTRL_KIND, UIE_VALUE_NOT_FOUND,
            UIE_INDEX_OUT_OF_RANGE, NO, NO, 0, NO, NO, NO}));
    EXPECT_TRUE(calls.empty()); // nothing runs before the events are delivered
    hl::deliver();
    EXPECT_EQ(calls, expected);
}

// A number outside the range is refused with a message at the control and no event; the bounds
// themselves are taken.  The tooltip gives the range and the unit (the label's, or one set).
TEST_F(Toolkit, UserNumbersOutsideTheRangeAreRefusedAndSaySoAndTooltipsGiveTheRange) {
    const int h = load();
    SetCtrlAttribute(h, NUM_DBL, ATTR_LABEL_TEXT, "OFFSET, DC level (V)");
    struct Row {
        int control;
        ui::Value typed;
        int result;
        double after;
        const char* said; // the refusal, empty when taken
    };
    const Row rows[] = {
        {NUM_INT, std::string("-5"), UIE_OUT_OF_RANGE, 5, "-5 is outside 0 to 100; the value stays 5."},
        {NUM_INT, std::string("99999999"), UIE_OUT_OF_RANGE, 5, "99999999 is outside 0 to 100; the value stays 5."},
        {NUM_INT, 100, 0, 100, ""},
        {NUM_INT, 0, 0, 0, ""},
        {NUM_INT, -0.6, UIE_OUT_OF_RANGE, 0, "-0.6 is outside 0 to 100; the value stays 0."},
        {NUM_DBL, std::string(" -10 "), 0, -10, ""},
        {NUM_DBL, 10.25, UIE_OUT_OF_RANGE, -10, "OFFSET, DC level (V): 10.25 is outside -10 to 10 V; the value stays -10."},
        {NUM_FLT, 1.0, 0, 1, ""},
        {NUM_FLT, std::string("1e3"), UIE_OUT_OF_RANGE, 1, "1000 is outside 0 to 1; the value stays 1."},
        {NUM_FLT, std::nan(""), UIE_OUT_OF_RANGE, 1, "nan is outside 0 to 1; the value stays 1."},
    };
    for (const Row& r : rows) {
        hl::clearPopups(), calls.clear();
        EXPECT_EQ(hl::commit(h, r.control, r.typed), r.result) << r.said;
        hl::deliver();
        EXPECT_EQ(num(h, r.control), r.after) << r.said;
        EXPECT_EQ(hl::popups().empty() ? std::string() : hl::popups().front().text, r.said);
        EXPECT_EQ(!hl::popups().empty() && hl::popups().front().kind == hl::PopupRecord::Refused, r.result != 0);
        EXPECT_EQ(calls.empty(), r.result != 0) << r.said; // a refused entry posts nothing
    }
    EXPECT_EQ(SetCtrlVal(h, NUM_INT, -5), 0); // the program's values are still coerced
    EXPECT_EQ(num(h, NUM_INT), 0);
    SetCtrlAttribute(h, NUM_FLT, ATTR_MIN_VALUE, -1e300); // no lower bound to speak of
    std::string tips[4];
    GetCtrlAttribute(h, NUM_INT, ATTR_TOOLTIP_TEXT, &tips[0]), GetCtrlAttribute(h, NUM_DBL, ATTR_TOOLTIP_TEXT, &tips[1]);
    GetCtrlAttribute(h, NUM_FLT, ATTR_TOOLTIP_TEXT, &tips[2]), GetCtrlAttribute(h, IND, ATTR_TOOLTIP_TEXT, &tips[3]);
    EXPECT_EQ((std::vector<std::string>(tips, tips + 4)),
        (std::vector<std::string>{"Range: 0 to 100", "Range: -10 to 10 V", "Range: at most 1", ""}));
    SetCtrlAttribute(h, NUM_INT, ATTR_TOOLTIP_TEXT, "Steps of the list");
    GetCtrlAttribute(h, NUM_INT, ATTR_TOOLTIP_TEXT, &tips[0]);
    EXPECT_EQ(tips[0], "Steps of the list");
}

TEST_F(Toolkit, PopupsAreRecordedAndAnsweredFromTheScriptInOrderPerKind) {
    tsupport::TempDir dir;
    const std::string existing = dir.file("a.ini"), fresh = dir.file("new.ini");
    ASSERT_TRUE(tsupport::writeFile(existing, "x"));
    hl::answerConfirm(true), hl::answerPrompt("0123456789"), hl::answerPromptCancel();
    for (const auto& f : {existing, fresh, std::string(), existing}) f.empty() ? hl::answerFileCancel() : hl::answerFile(f);
    char buf[8] = "#######", path[MAX_PATHNAME_LEN], small[8] = "#######";
    MessagePopup("Title", "Text");
    EXPECT_EQ((std::vector{ConfirmPopup("a", "b"), ConfirmPopup("a", "b")}), (std::vector{1, 0})); // then no
    EXPECT_EQ((std::vector{PromptPopup("t", "Enter", buf, 4), PromptPopup("t", "p", buf + 6, 1)}),
        (std::vector<int>{0, UIE_USER_CANCEL}));
    EXPECT_EQ(std::string(buf, 8), std::string("0123\0#\0", 8)); // never past the field; emptied when cancelled
    std::vector<std::string> got;
    for (int button : {VAL_LOAD_BUTTON, VAL_SAVE_BUTTON, VAL_LOAD_BUTTON})
        got.push_back(std::to_string(FileSelectPopup("/d", "*.ini", "*.ini", "Load", button, 0, 0, 1, 1, path)) + path);
    EXPECT_EQ(got, (std::vector{std::to_string(VAL_EXISTING_FILE_SELECTED) + existing, std::to_string(VAL_NEW_FILE_SELECTED) + fresh, std::string("0")}));
    EXPECT_LT(FileSelectPopup("", "", "", "", VAL_LOAD_BUTTON, 0, 0, 1, 1, small, 7), 0); // would be cut
    EXPECT_STREQ(small, "");
    const auto& p = hl::popups();
    ASSERT_EQ(p.size(), 9u);
    using R = hl::PopupRecord;
    EXPECT_EQ((std::vector{p[0].kind, p[1].kind, p[3].kind, p[5].kind}), (std::vector{R::Message, R::Confirm, R::Prompt, R::FileSelect}));
    EXPECT_EQ(p[0].title + p[0].text + p[3].text + p[5].title + p[5].text + p[5].defaultFile + p[5].directory +
            std::to_string(p[6].buttonLabel),
        "TitleTextEnterLoad*.ini*.ini/d" + std::to_string(VAL_SAVE_BUTTON));
}

TEST(ProjectDir, OverrideThenExecutableFolderThenConfigFolder) {
    tsupport::TempDir base;
    tsupport::ScopedEnv project("IMBENCH_PROJECT_DIR", std::nullopt), home("HOME", base.path() + "/home"),
        xdg("XDG_CONFIG_HOME", "relative/dir"); // not absolute: ignored
    const std::string unwritable = "/nonexistent-imbench-dir/bin", first = ui::projectDirFor(unwritable);
    ::setenv("XDG_CONFIG_HOME", (base.path() + "/xdg/").c_str(), 1);
    std::filesystem::create_directories(base.path() + "/usr/bin");
    EXPECT_EQ((std::vector{ui::projectDirFor(base.path()), first, ui::projectDirFor(unwritable), ui::projectDirFor(base.path() + "/usr/bin")}),
        (std::vector{base.path(), base.path() + "/home/.config/imbench", base.path() + "/xdg/imbench", base.path() + "/xdg/imbench"}))
        << "a writable bin folder is an installed copy's";
    ::setenv("IMBENCH_PROJECT_DIR", "/tmp/imbench-project", 1);
    char dir[MAX_PATHNAME_LEN], small[10] = "#########";
    EXPECT_EQ((std::vector{GetProjectDir(dir), GetProjectDir(small, sizeof small)}), (std::vector<int>{0, UIE_BUFFER_TOO_SMALL}));
    EXPECT_EQ(std::string(dir) + "|" + small, "/tmp/imbench-project|");
}

} // namespace
