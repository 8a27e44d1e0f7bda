// The model: loading, typed values and coercion, rings and lists, text boxes,
// attributes, graphs, menu bars and what renderers are told.

#include "fixture.h"

#include <cfloat>
#include <cmath>
#include <string>

using namespace uitest;

namespace {

class Model : public UiTest {};

// ---- loading -----------------------------------------------------------------

UiResourceDef badResource(const std::string& panelCb, const std::string& ctrlCb, int secondId = 2) {
    UiPanelDef p;
    p.id = 1;
    p.callback = panelCb;
    UiCtrlDef a;
    a.id = 1;
    a.callback = ctrlCb;
    UiCtrlDef b;
    b.id = secondId;
    p.controls = {a, b};
    UiResourceDef r;
    r.file = "bad.uir";
    r.panels.push_back(p);
    return r;
}

TEST_F(Model, LoadFailuresLeaveNothingLoaded) {
    struct Case { const char* what; const char* file; int id; UiResourceDef extra; int expect; };
    const Case cases[] = {
        {"missing resource", "nothere.uir", 1, {}, UIE_RESOURCE_NOT_FOUND},
        {"missing panel", "test.uir", 99, {}, UIE_PANEL_NOT_FOUND},
        {"unregistered control callback", "bad.uir", 1, badResource("", "noSuchCb"), UIE_CALLBACK_NOT_FOUND},
        {"unregistered panel callback", "bad.uir", 1, badResource("noSuchPanelCb", ""), UIE_CALLBACK_NOT_FOUND},
        {"duplicate control id", "bad.uir", 1, badResource("", "", 1), UIE_BAD_CONTROL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.extra.file.empty()) ui_register_resource(c.extra);
        EXPECT_EQ(LoadPanel(0, c.file, c.id), c.expect);
        EXPECT_TRUE(ui::panelHandles().empty());
    }
}

TEST_F(Model, HandlesArePositiveAndNeverReused) {
    const int a = LoadPanel(0, "test.uir", kPanel);
    const int b = LoadPanel(0, "/opt/anywhere/test.uir", kPanel);  // the folder does not matter
    ASSERT_GT(a, 0);
    ASSERT_GT(b, a);
    EXPECT_EQ(DiscardPanel(a), 0);
    EXPECT_EQ(ui::panel(a), nullptr);
    EXPECT_EQ(DiscardPanel(a), UIE_BAD_PANEL);
    const int c = LoadPanel(0, "test.uir", kPanel);
    EXPECT_GT(c, b);
    EXPECT_EQ((std::vector<int>{b, c}), ui::panelHandles());
    EXPECT_EQ(LoadPanel(12345, "test.uir", kPanel), UIE_BAD_PANEL);  // parent not loaded
}

TEST_F(Model, LoadedPanelIsHiddenWithResourceValues) {
    const int h = LoadPanel(0, "test.uir", kPanel);
    const ui::Panel* p = ui::panel(h);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->visible);
    EXPECT_EQ(p->title, "Test");
    int v = 0;
    EXPECT_EQ(GetCtrlVal(h, NUM_INT, &v), 0);
    EXPECT_EQ(v, 5);
    std::string s;
    EXPECT_EQ(GetCtrlVal(h, STR, &s), 0);
    EXPECT_EQ(s, "init");
    EXPECT_EQ(GetCtrlVal(h, 999, &v), UIE_BAD_CONTROL);
    EXPECT_EQ(GetCtrlVal(h + 1, NUM_INT, &v), UIE_BAD_PANEL);
}

// ---- values ------------------------------------------------------------------

TEST_F(Model, NumericValuesAreCoercedAndTyped) {
    const int h = load();
    struct Case { int ctrl; double in; double expect; };
    const Case cases[] = {
        {NUM_INT, 50, 50},   {NUM_INT, 150, 100},  {NUM_INT, -3, 0},       {NUM_INT, 2.5, 3},
        {NUM_INT, 2.4999, 2}, {NUM_INT, 99.7, 100}, {NUM_INT, 1e300, 100},
        {NUM_DBL, 3.25, 3.25}, {NUM_DBL, 11, 10},  {NUM_DBL, -1e9, -10},
        {NUM_DBL, INFINITY, 10},
        {NUM_FLT, 0.1, static_cast<double>(0.1f)}, {NUM_FLT, 2, 1}, {NUM_FLT, -0.5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "control " << c.ctrl << " <- " << c.in);
        ASSERT_EQ(SetCtrlVal(h, c.ctrl, c.in), 0);
        double d = -1;
        ASSERT_EQ(GetCtrlVal(h, c.ctrl, &d), 0);
        EXPECT_EQ(d, c.expect);
    }
}

TEST_F(Model, NumbersConvertBetweenTypesWithRounding) {
    const int h = load();
    ASSERT_EQ(SetCtrlVal(h, NUM_DBL, 7), 0);  // int into a double control
    double d = 0;
    EXPECT_EQ(GetCtrlVal(h, NUM_DBL, &d), 0);
    EXPECT_EQ(d, 7.0);
    struct Case { double in; int asInt; };
    for (const Case c : {Case{-2.5, -3}, Case{2.4, 2}, Case{-0.4, 0}, Case{9.5, 10}}) {
        ASSERT_EQ(SetCtrlVal(h, NUM_DBL, c.in), 0);
        int i = 1234;
        EXPECT_EQ(GetCtrlVal(h, NUM_DBL, &i), 0);
        EXPECT_EQ(i, c.asInt) << c.in;
    }
    ASSERT_EQ(SetCtrlVal(h, NUM_DBL, 1.0 / 3.0), 0);
    float f = 0;
    EXPECT_EQ(GetCtrlVal(h, NUM_DBL, &f), 0);
    EXPECT_EQ(f, 1.0f / 3.0f);
    EXPECT_EQ(GetCtrlVal(h, NUM_INT, &f), 0);
    EXPECT_EQ(f, 5.0f);
}

TEST_F(Model, TextAndNumberDoNotMix) {
    const int h = load();
    std::string s;
    int i = 0;
    EXPECT_EQ(SetCtrlVal(h, NUM_INT, "5"), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(h, NUM_INT, &s), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(h, STR, 5), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(h, STR, &i), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(h, MSG, 1.5), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(h, NUM_INT, static_cast<const char*>(nullptr)), UIE_BAD_ARGUMENT);
    EXPECT_EQ(GetCtrlVal(h, NUM_INT, &i), 0);
    EXPECT_EQ(i, 5);  // untouched by the failures
    for (int ctrl : {BUTTON, GRAPH, DECO}) {
        EXPECT_EQ(GetCtrlVal(h, ctrl, &i), UIE_WRONG_CTRL_KIND) << ctrl;
        EXPECT_EQ(SetCtrlVal(h, ctrl, 1), UIE_WRONG_CTRL_KIND) << ctrl;
    }
}

TEST_F(Model, NanIsRefusedByIntegerControlsOnly) {
    const int h = load();
    EXPECT_EQ(SetCtrlVal(h, NUM_INT, NAN), UIE_BAD_ARGUMENT);
    int i = 0;
    EXPECT_EQ(GetCtrlVal(h, NUM_INT, &i), 0);
    EXPECT_EQ(i, 5);
    EXPECT_EQ(SetCtrlVal(h, NUM_DBL, NAN), 0);
    double d = 0;
    EXPECT_EQ(GetCtrlVal(h, NUM_DBL, &d), 0);
    EXPECT_TRUE(std::isnan(d));
    EXPECT_EQ(GetCtrlVal(h, NUM_DBL, &i), UIE_BAD_ARGUMENT);
}

TEST_F(Model, ToggleAndLedHoldZeroOrOne) {
    const int h = load();
    struct Case { double in; int expect; };
    for (int ctrl : {TOGGLE, LED}) {
        for (const Case c : {Case{5, 1}, Case{0, 0}, Case{-1, 1}, Case{0.2, 1}}) {
            ASSERT_EQ(SetCtrlVal(h, ctrl, c.in), 0);
            int v = -1;
            ASSERT_EQ(GetCtrlVal(h, ctrl, &v), 0);
            EXPECT_EQ(v, c.expect) << ctrl << " <- " << c.in;
        }
    }
}

TEST_F(Model, RangeChangesCoerceTheValue) {
    const int h = load();
    ASSERT_EQ(SetCtrlVal(h, NUM_INT, 50), 0);
    int v = 0;
    ASSERT_EQ(SetCtrlAttribute(h, NUM_INT, ATTR_MAX_VALUE, 20), 0);
    GetCtrlVal(h, NUM_INT, &v);
    EXPECT_EQ(v, 20);
    // Moving the range above the value one bound at a time ends in range.
    ASSERT_EQ(SetCtrlAttribute(h, NUM_INT, ATTR_MIN_VALUE, 30), 0);
    ASSERT_EQ(SetCtrlAttribute(h, NUM_INT, ATTR_MAX_VALUE, 40.0), 0);
    GetCtrlVal(h, NUM_INT, &v);
    EXPECT_EQ(v, 30);
    double lo = 0, hi = 0;
    EXPECT_EQ(GetCtrlAttribute(h, NUM_INT, ATTR_MIN_VALUE, &lo), 0);
    EXPECT_EQ(GetCtrlAttribute(h, NUM_INT, ATTR_MAX_VALUE, &hi), 0);
    EXPECT_EQ(lo, 30);
    EXPECT_EQ(hi, 40);
    // A fractional range on an integer control keeps the value inside it.
    ASSERT_EQ(SetCtrlAttribute(h, NUM_INT, ATTR_MAX_VALUE, 35.5), 0);
    ASSERT_EQ(SetCtrlVal(h, NUM_INT, 35.7), 0);
    GetCtrlVal(h, NUM_INT, &v);
    EXPECT_EQ(v, 35);
}

TEST_F(Model, FloatValuesStayInsideTheirRange) {
    const int h = load();
    ASSERT_EQ(SetCtrlAttribute(h, NUM_FLT, ATTR_MAX_VALUE, 0.1), 0);  // 0.1f is above 0.1
    ASSERT_EQ(SetCtrlVal(h, NUM_FLT, 0.5), 0);
    double d = 0;
    GetCtrlVal(h, NUM_FLT, &d);
    EXPECT_LE(d, 0.1);
    EXPECT_EQ(d, static_cast<double>(static_cast<float>(d)));
    EXPECT_GT(d, 0.0999);
    ASSERT_EQ(SetCtrlAttribute(h, NUM_FLT, ATTR_MAX_VALUE, 1e300), 0);
    ASSERT_EQ(SetCtrlVal(h, NUM_FLT, 1e200), 0);
    GetCtrlVal(h, NUM_FLT, &d);
    EXPECT_EQ(d, static_cast<double>(FLT_MAX));
}

TEST_F(Model, TextIntoCallerBufferIsCutAndTerminated) {
    const int h = load();
    char buf[3] = {'x', 'x', 'x'};
    EXPECT_EQ(GetCtrlValStr(h, STR, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "in");
    EXPECT_EQ(GetCtrlValStr(h, STR, buf, 0), UIE_BAD_ARGUMENT);
    // Programmatic text is not limited by the user's entry length.
    EXPECT_EQ(SetCtrlVal(h, STR, std::string("a longer text")), 0);
    std::string s;
    GetCtrlVal(h, STR, &s);
    EXPECT_EQ(s, "a longer text");
}

// ---- rings and lists ----------------------------------------------------------------

TEST_F(Model, RingValueSelectsTheItemCarryingIt) {
    const int h = load();
    int idx = -5, v = -5;
    EXPECT_EQ(GetCtrlIndex(h, RING_INT, &idx), 0);
    EXPECT_EQ(idx, 1);  // the resource's value 1
    EXPECT_EQ(SetCtrlVal(h, RING_INT, 2), 0);
    GetCtrlIndex(h, RING_INT, &idx);
    EXPECT_EQ(idx, 2);
    EXPECT_EQ(SetCtrlVal(h, RING_INT, 7), UIE_VALUE_NOT_FOUND);
    EXPECT_EQ(SetCtrlVal(h, RING_INT, 1.5), UIE_VALUE_NOT_FOUND);
    EXPECT_EQ(SetCtrlVal(h, RING_INT, "1"), UIE_TYPE_MISMATCH);
    GetCtrlIndex(h, RING_INT, &idx);
    EXPECT_EQ(idx, 2);
    EXPECT_EQ(SetCtrlVal(h, RING_INT, 0.0), 0);
    EXPECT_EQ(GetCtrlVal(h, RING_INT, &v), 0);
    EXPECT_EQ(v, 0);

    double d = 0;
    EXPECT_EQ(GetCtrlVal(h, RING_DBL, &d), 0);
    EXPECT_EQ(d, 0.5);  // resource value 0 is no item: the first is selected
    EXPECT_EQ(SetCtrlVal(h, RING_DBL, 1.5), 0);
    EXPECT_EQ(GetCtrlVal(h, RING_DBL, &d), 0);
    EXPECT_EQ(d, 1.5);

    std::string s;
    EXPECT_EQ(GetCtrlVal(h, LIST_STR, &s), 0);
    EXPECT_EQ(s, "b");
    EXPECT_EQ(SetCtrlVal(h, LIST_STR, "a"), 0);
    GetCtrlIndex(h, LIST_STR, &idx);
    EXPECT_EQ(idx, 0);
    EXPECT_EQ(SetCtrlVal(h, LIST_STR, 1), UIE_TYPE_MISMATCH);
}

TEST_F(Model, ListEditsKeepTheSelectionOnItsItem) {
    const int h = load();  // RING_INT: Zero One Two, One selected
    int idx = 0, v = 0, n = 0;
    struct Step { const char* what; std::function<int()> op; int result; int count; int index; int value; };
    const Step steps[] = {
        {"insert before", [&] { return InsertListItem(h, RING_INT, 0, "Minus", -1); }, 0, 4, 2, 1},
        {"append", [&] { return InsertListItem(h, RING_INT, -1, "Ten", 10); }, 0, 5, 2, 1},
        {"insert after", [&] { return InsertListItem(h, RING_INT, 3, "Five", 5.0); }, 0, 6, 2, 1},
        {"insert past end", [&] { return InsertListItem(h, RING_INT, 7, "x", 1); }, UIE_INDEX_OUT_OF_RANGE, 6, 2, 1},
        {"fractional value", [&] { return InsertListItem(h, RING_INT, 0, "x", 1.5); }, UIE_TYPE_MISMATCH, 6, 2, 1},
        {"text value", [&] { return InsertListItem(h, RING_INT, 0, "x", "1"); }, UIE_TYPE_MISMATCH, 6, 2, 1},
        {"replace selected", [&] { return ReplaceListItem(h, RING_INT, 2, "Uno", 11); }, 0, 6, 2, 11},
        {"replace bad index", [&] { return ReplaceListItem(h, RING_INT, 6, "x", 1); }, UIE_INDEX_OUT_OF_RANGE, 6, 2, 11},
        {"delete before", [&] { return DeleteListItem(h, RING_INT, 0, 1); }, 0, 5, 1, 11},
        {"delete selected", [&] { return DeleteListItem(h, RING_INT, 1, 1); }, 0, 4, 1, 5},  // Five moves in
        {"delete too many", [&] { return DeleteListItem(h, RING_INT, 2, 3); }, UIE_INDEX_OUT_OF_RANGE, 4, 1, 5},
        {"delete bad index", [&] { return DeleteListItem(h, RING_INT, 4, 1); }, UIE_INDEX_OUT_OF_RANGE, 4, 1, 5},
        {"delete to end", [&] { return DeleteListItem(h, RING_INT, 1, -1); }, 0, 1, 0, 0},  // Zero is left
        {"set index", [&] { return SetCtrlIndex(h, RING_INT, 0); }, 0, 1, 0, 0},
        {"set index past end", [&] { return SetCtrlIndex(h, RING_INT, 1); }, UIE_INDEX_OUT_OF_RANGE, 1, 0, 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.op(), s.result);
        ASSERT_EQ(GetNumListItems(h, RING_INT, &n), 0);
        EXPECT_EQ(n, s.count);
        ASSERT_EQ(GetCtrlIndex(h, RING_INT, &idx), 0);
        EXPECT_EQ(idx, s.index);
        ASSERT_EQ(GetCtrlVal(h, RING_INT, &v), 0);
        EXPECT_EQ(v, s.value);
    }
    EXPECT_EQ(ClearListCtrl(h, RING_INT), 0);
    GetNumListItems(h, RING_INT, &n);
    GetCtrlIndex(h, RING_INT, &idx);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(idx, -1);
    EXPECT_EQ(GetCtrlVal(h, RING_INT, &v), UIE_INDEX_OUT_OF_RANGE);
    EXPECT_EQ(DeleteListItem(h, RING_INT, 0, 1), UIE_INDEX_OUT_OF_RANGE);
}

TEST_F(Model, EmptyListSelectsItsFirstItem) {
    const int h = load();
    int idx = 5;
    EXPECT_EQ(GetCtrlIndex(h, RING_EMPTY, &idx), 0);
    EXPECT_EQ(idx, -1);
    EXPECT_EQ(InsertListItem(h, RING_EMPTY, -1, "first", 42), 0);
    EXPECT_EQ(GetCtrlIndex(h, RING_EMPTY, &idx), 0);
    EXPECT_EQ(idx, 0);
    int v = 0;
    EXPECT_EQ(GetCtrlVal(h, RING_EMPTY, &v), 0);
    EXPECT_EQ(v, 42);
}

TEST_F(Model, LabelsAndValuesByIndex) {
    const int h = load();
    const std::string label = "1 kHz\x1bp80l10 mV";
    ASSERT_EQ(InsertListItem(h, LIST_STR, -1, label.c_str(), "c"), 0);
    std::string s;
    EXPECT_EQ(GetLabelFromIndex(h, LIST_STR, 2, &s), 0);
    EXPECT_EQ(s, label);  // kept raw
    char buf[4];
    EXPECT_EQ(GetLabelFromIndex(h, LIST_STR, 2, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "1 k");
    EXPECT_EQ(GetLabelFromIndex(h, LIST_STR, 3, &s), UIE_INDEX_OUT_OF_RANGE);
    EXPECT_EQ(GetLabelFromIndex(h, LIST_STR, -1, &s), UIE_INDEX_OUT_OF_RANGE);
    EXPECT_EQ(GetValueFromIndex(h, LIST_STR, 2, &s), 0);
    EXPECT_EQ(s, "c");
    int i = 0;
    EXPECT_EQ(GetValueFromIndex(h, LIST_STR, 2, &i), UIE_TYPE_MISMATCH);
    double d = 0;
    EXPECT_EQ(GetValueFromIndex(h, RING_DBL, 1, &d), 0);
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(GetValueFromIndex(h, RING_INT, 2, &d), 0);
    EXPECT_EQ(d, 2.0);
    for (int ctrl : {NUM_INT, TBOX, GRAPH}) {
        EXPECT_EQ(GetNumListItems(h, ctrl, &i), UIE_WRONG_CTRL_KIND);
        EXPECT_EQ(InsertListItem(h, ctrl, -1, "x", 1), UIE_WRONG_CTRL_KIND);
    }
}

TEST(SplitColumns, EscapesAndMalformedText) {
    struct Case { std::string label; std::vector<std::pair<int, std::string>> pieces; };
    const Case cases[] = {
        {"plain", {{0, "plain"}}},
        {"", {{0, ""}}},
        {"a\x1bp100lb", {{0, "a"}, {100, "b"}}},
        {"\x1bp10lx\x1bp20ly", {{0, ""}, {10, "x"}, {20, "y"}}},
        {"a\x1bplb", {{0, "a\x1bplb"}}},                 // no digits
        {"a\x1bp12", {{0, "a\x1bp12"}}},                 // cut short
        {"a\x1bp1234567lb", {{0, "a\x1bp1234567lb"}}},   // not a pixel offset
        {"a\x1b", {{0, "a\x1b"}}},
        {"a\x1bq5lb", {{0, "a\x1bq5lb"}}},
        {"a\x1b\x1bp5lb", {{0, "a\x1b"}, {5, "b"}}},
    };
    for (const auto& c : cases) {
        const auto got = ui::splitColumns(c.label);
        std::vector<std::pair<int, std::string>> pieces;
        for (const auto& p : got) pieces.emplace_back(p.x, p.text);
        EXPECT_EQ(pieces, c.pieces) << c.label;
    }
}

// ---- text boxes ----------------------------------------------------------------------

std::vector<std::string> linesOf(int h, int ctrl) { return ui::panel(h)->control(ctrl)->lines; }

TEST_F(Model, TextBoxAppendContinuesTheLastLine) {
    const int h = load();
    int n = -1;
    EXPECT_EQ(GetNumTextBoxLines(h, TBOX, &n), 0);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(SetCtrlVal(h, TBOX, "a"), 0);
    ASSERT_EQ(SetCtrlVal(h, TBOX, "b\nc"), 0);
    ASSERT_EQ(SetCtrlVal(h, TBOX, "\n"), 0);
    EXPECT_EQ(linesOf(h, TBOX), (std::vector<std::string>{"ab", "c", ""}));
    std::string s;
    EXPECT_EQ(GetCtrlVal(h, TBOX, &s), 0);
    EXPECT_EQ(s, "ab\nc\n");
    ASSERT_EQ(SetCtrlVal(h, TBOX, "d"), 0);
    EXPECT_EQ(linesOf(h, TBOX), (std::vector<std::string>{"ab", "c", "d"}));
}

TEST_F(Model, TextBoxLinesInsertAndReset) {
    const int h = load();
    const ui::Control* c = ui::panel(h)->control(TBOX);
    ASSERT_EQ(ResetTextBox(h, TBOX, "p\nq"), 0);
    const auto rewrites = c->linesRewritten;
    EXPECT_EQ(InsertTextBoxLine(h, TBOX, -1, "x"), 0);
    EXPECT_EQ(c->linesRewritten, rewrites);  // an append keeps what was shown
    EXPECT_EQ(InsertTextBoxLine(h, TBOX, 3, "end"), 0);
    EXPECT_EQ(InsertTextBoxLine(h, TBOX, 0, "first\nsecond"), 0);
    EXPECT_GT(c->linesRewritten, rewrites);
    EXPECT_EQ(linesOf(h, TBOX), (std::vector<std::string>{"first", "second", "p", "q", "x", "end"}));
    EXPECT_EQ(InsertTextBoxLine(h, TBOX, 7, "x"), UIE_INDEX_OUT_OF_RANGE);
    EXPECT_EQ(InsertTextBoxLine(h, TBOX, -2, "x"), UIE_INDEX_OUT_OF_RANGE);
    int n = 0;
    GetNumTextBoxLines(h, TBOX, &n);
    EXPECT_EQ(n, 6);
    EXPECT_EQ(ResetTextBox(h, TBOX, ""), 0);
    GetNumTextBoxLines(h, TBOX, &n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(InsertTextBoxLine(h, STR, -1, "x"), UIE_WRONG_CTRL_KIND);
    EXPECT_EQ(ResetTextBox(h, NUM_INT, "x"), UIE_WRONG_CTRL_KIND);
}

TEST_F(Model, TextBoxTakesALongLog) {
    const int h = load();
    constexpr int kLines = 100000;
    for (int i = 0; i < kLines; ++i) ASSERT_EQ(SetCtrlVal(h, TBOX, "line " + std::to_string(i) + "\n"), 0);
    for (int i = 0; i < kLines; ++i) ASSERT_EQ(InsertTextBoxLine(h, TBOX, -1, "extra"), 0);
    int n = 0;
    GetNumTextBoxLines(h, TBOX, &n);
    EXPECT_EQ(n, 2 * kLines + 1);
    const auto& lines = ui::panel(h)->control(TBOX)->lines;
    EXPECT_EQ(lines[kLines - 1], "line 99999");
    EXPECT_EQ(lines[kLines], "");
    EXPECT_EQ(lines.back(), "extra");
}

// ---- attributes -----------------------------------------------------------------------

TEST_F(Model, IntegerAttributesRoundTrip) {
    const int h = load();
    struct Case { int ctrl; int attr; int value; };
    const Case cases[] = {
        {NUM_INT, ATTR_DIMMED, 1},      {NUM_INT, ATTR_VISIBLE, 0},    {NUM_INT, ATTR_CTRL_MODE, VAL_NORMAL},
        {NUM_INT, ATTR_TOP, 77},        {NUM_INT, ATTR_LEFT, 12},      {NUM_INT, ATTR_HEIGHT, 30},
        {NUM_INT, ATTR_WIDTH, 120},     {NUM_INT, ATTR_TEXT_COLOR, VAL_RED},
        {NUM_INT, ATTR_TEXT_BGCOLOR, VAL_CYAN}, {NUM_DBL, ATTR_PRECISION, 6},
        {STR, ATTR_MAX_ENTRY_LENGTH, 19}, {TBOX, ATTR_MAX_ENTRY_LENGTH, 200},
        {GRAPH, ATTR_XMAP_MODE, VAL_LINEAR}, {GRAPH, ATTR_YMAP_MODE, VAL_LOG},
        {GRAPH, ATTR_XREVERSE, 1},      {GRAPH, ATTR_YREVERSE, 1},     {GRAPH, ATTR_XGRID_VISIBLE, 0},
        {GRAPH, ATTR_YGRID_VISIBLE, 0}, {GRAPH, ATTR_PLOT_BGCOLOR, VAL_BLACK},
        {RING_INT, ATTR_DIMMED, 1},     {LED, ATTR_TEXT_COLOR, VAL_GREEN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "control " << c.ctrl << " attribute " << c.attr);
        ASSERT_EQ(SetCtrlAttribute(h, c.ctrl, c.attr, c.value), 0);
        int v = -12345;
        ASSERT_EQ(GetCtrlAttribute(h, c.ctrl, c.attr, &v), 0);
        EXPECT_EQ(v, c.value);
    }
    int v = 0;
    EXPECT_EQ(SetCtrlAttribute(h, NUM_INT, ATTR_VISIBLE, 7), 0);
    GetCtrlAttribute(h, NUM_INT, ATTR_VISIBLE, &v);
    EXPECT_EQ(v, 1);
}

TEST_F(Model, TextAttributesRoundTrip) {
    const int h = load();
    struct Case { int ctrl; int attr; const char* value; };
    const Case cases[] = {
        {NUM_INT, ATTR_LABEL_TEXT, "Frequency"}, {LIST_STR, ATTR_LABEL_TEXT, "Freq\x1bp60lAmp"},
        {TOGGLE, ATTR_ON_TEXT, "Open"},          {TOGGLE, ATTR_OFF_TEXT, "Closed"},
        {GRAPH, ATTR_XNAME, "f / Hz"},           {GRAPH, ATTR_YNAME, "|Z| / Ohm"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(SetCtrlAttribute(h, c.ctrl, c.attr, c.value), 0);
        std::string s;
        ASSERT_EQ(GetCtrlAttribute(h, c.ctrl, c.attr, &s), 0);
        EXPECT_EQ(s, c.value);
    }
    EXPECT_EQ(ui::panel(h)->control(GRAPH)->graph.axes[VAL_XAXIS].name, "f / Hz");
}

TEST_F(Model, AttributeErrors) {
    const int h = load();
    struct Case { const char* what; std::function<int()> op; int expect; };
    std::string s;
    int i = 0;
    const Case cases[] = {
        {"range on text", [&] { return SetCtrlAttribute(h, STR, ATTR_MIN_VALUE, 1); }, UIE_BAD_ATTRIBUTE},
        {"on text on numeric", [&] { return SetCtrlAttribute(h, NUM_INT, ATTR_ON_TEXT, "x"); }, UIE_BAD_ATTRIBUTE},
        {"title on control", [&] { return SetCtrlAttribute(h, NUM_INT, ATTR_TITLE, "x"); }, UIE_BAD_ATTRIBUTE},
        {"axis name on numeric", [&] { return GetCtrlAttribute(h, NUM_INT, ATTR_XNAME, &s); }, UIE_BAD_ATTRIBUTE},
        {"scale contents on control", [&] { return SetCtrlAttribute(h, NUM_INT, ATTR_SCALE_CONTENTS_ON_RESIZE, 1); }, UIE_BAD_ATTRIBUTE},
        {"entry length on numeric", [&] { return SetCtrlAttribute(h, NUM_INT, ATTR_MAX_ENTRY_LENGTH, 3); }, UIE_BAD_ATTRIBUTE},
        {"read-only data type", [&] { return SetCtrlAttribute(h, NUM_INT, ATTR_DATA_TYPE, VAL_DOUBLE); }, UIE_BAD_ATTRIBUTE},
        {"read-only plot count", [&] { return SetCtrlAttribute(h, GRAPH, ATTR_NUM_PLOTS, 3); }, UIE_BAD_ATTRIBUTE},
        {"unknown attribute", [&] { return SetCtrlAttribute(h, NUM_INT, 9999, 1); }, UIE_BAD_ATTRIBUTE},
        {"number for text", [&] { return SetCtrlAttribute(h, NUM_INT, ATTR_LABEL_TEXT, 5); }, UIE_TYPE_MISMATCH},
        {"text for number", [&] { return SetCtrlAttribute(h, NUM_INT, ATTR_DIMMED, "1"); }, UIE_TYPE_MISMATCH},
        {"read text as int", [&] { return GetCtrlAttribute(h, NUM_INT, ATTR_LABEL_TEXT, &i); }, UIE_TYPE_MISMATCH},
        {"bad mode", [&] { return SetCtrlAttribute(h, NUM_INT, ATTR_CTRL_MODE, 3); }, UIE_BAD_ARGUMENT},
        {"bad precision", [&] { return SetCtrlAttribute(h, NUM_DBL, ATTR_PRECISION, 16); }, UIE_BAD_ARGUMENT},
        {"negative height", [&] { return SetCtrlAttribute(h, NUM_INT, ATTR_HEIGHT, -1); }, UIE_BAD_ARGUMENT},
        {"bad map mode", [&] { return SetCtrlAttribute(h, GRAPH, ATTR_XMAP_MODE, 2); }, UIE_BAD_ARGUMENT},
        {"nan range", [&] { return SetCtrlAttribute(h, NUM_DBL, ATTR_MAX_VALUE, NAN); }, UIE_BAD_ARGUMENT},
        {"bad control", [&] { return SetCtrlAttribute(h, 999, ATTR_DIMMED, 1); }, UIE_BAD_CONTROL},
        {"bad panel", [&] { return SetCtrlAttribute(h + 7, NUM_INT, ATTR_DIMMED, 1); }, UIE_BAD_PANEL},
    };
    for (const auto& c : cases) EXPECT_EQ(c.op(), c.expect) << c.what;
}

TEST_F(Model, ReadOnlyAttributesAndIncrement) {
    const int h = load();
    int v = 0;
    EXPECT_EQ(GetCtrlAttribute(h, NUM_DBL, ATTR_DATA_TYPE, &v), 0);
    EXPECT_EQ(v, VAL_DOUBLE);
    EXPECT_EQ(GetCtrlAttribute(h, TBOX, ATTR_DATA_TYPE, &v), 0);
    EXPECT_EQ(v, VAL_STRING);
    EXPECT_EQ(GetCtrlAttribute(h, GRAPH, ATTR_CTRL_KIND, &v), 0);
    EXPECT_EQ(v, static_cast<int>(UiCtrlKind::Graph));
    EXPECT_EQ(SetCtrlAttribute(h, NUM_DBL, ATTR_INCR_VALUE, 0.25), 0);
    double d = 0;
    EXPECT_EQ(GetCtrlAttribute(h, NUM_DBL, ATTR_INCR_VALUE, &d), 0);
    EXPECT_EQ(d, 0.25);
    EXPECT_EQ(ui::panel(h)->control(GRAPH)->graph.axes[VAL_XAXIS].mapMode, VAL_LOG);  // from the resource
}

TEST_F(Model, BoundingRectIsTheControlWithoutItsLabel) {
    const int h = load();
    ASSERT_EQ(SetCtrlAttribute(h, RING_INT, ATTR_TOP, 40), 0);
    ASSERT_EQ(SetCtrlAttribute(h, RING_INT, ATTR_LEFT, 8), 0);
    ASSERT_EQ(SetCtrlAttribute(h, RING_INT, ATTR_HEIGHT, 22), 0);
    ASSERT_EQ(SetCtrlAttribute(h, RING_INT, ATTR_WIDTH, 90), 0);
    int top = 0, left = 0, height = 0, width = 0;
    EXPECT_EQ(GetCtrlBoundingRect(h, RING_INT, &top, &left, &height, &width), 0);
    EXPECT_EQ((std::vector<int>{top, left, height, width}), (std::vector<int>{40, 8, 22, 90}));
    EXPECT_EQ(GetCtrlBoundingRect(h, RING_INT, &top, nullptr, &height, nullptr), 0);
    EXPECT_EQ(GetCtrlBoundingRect(h, 999, &top, &left, &height, &width), UIE_BAD_CONTROL);
}

TEST_F(Model, PanelAttributes) {
    const int h = LoadPanel(0, "test.uir", kPanel);
    int v = -1;
    EXPECT_EQ(GetPanelAttribute(h, ATTR_VISIBLE, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(DisplayPanel(h), 0);
    EXPECT_EQ(GetPanelAttribute(h, ATTR_VISIBLE, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(HidePanel(h), 0);
    EXPECT_FALSE(ui::panel(h)->visible);
    EXPECT_EQ(SetPanelAttribute(h, ATTR_TITLE, "Impedance(V3.10)"), 0);
    std::string title;
    EXPECT_EQ(GetPanelAttribute(h, ATTR_TITLE, &title), 0);
    EXPECT_EQ(title, "Impedance(V3.10)");
    char buf[6];
    EXPECT_EQ(GetPanelAttribute(h, ATTR_TITLE, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "Imped");
    for (int attr : {ATTR_TOP, ATTR_LEFT, ATTR_HEIGHT, ATTR_WIDTH, ATTR_SCALE_CONTENTS_ON_RESIZE}) {
        EXPECT_EQ(SetPanelAttribute(h, attr, 1), 0);
        EXPECT_EQ(GetPanelAttribute(h, attr, &v), 0);
        EXPECT_EQ(v, 1) << attr;
    }
    EXPECT_EQ(SetPanelAttribute(h, ATTR_HEIGHT, -5), UIE_BAD_ARGUMENT);
    EXPECT_EQ(SetPanelAttribute(h, ATTR_DIMMED, 1), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(SetPanelAttribute(h, ATTR_TITLE, 5), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetPanelAttribute(h, ATTR_TITLE, &v), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetPanelAttribute(h + 3, ATTR_HEIGHT, 5), UIE_BAD_PANEL);
}

// ---- graphs ---------------------------------------------------------------------------

TEST_F(Model, PlotsHaveIncreasingHandles) {
    const int h = load();
    const int a = PlotPoint(h, GRAPH, 1, 2, VAL_SOLID_CIRCLE, VAL_RED);
    const int b = PlotLine(h, GRAPH, 0, 0, 1, 1, VAL_BLUE);
    const int c = PlotPoint(h, GRAPH, 3, 4, VAL_ASTERISK, VAL_GREEN);
    EXPECT_GT(a, 0);
    EXPECT_GT(b, a);
    EXPECT_GT(c, b);
    int n = 0;
    EXPECT_EQ(GetCtrlAttribute(h, GRAPH, ATTR_NUM_PLOTS, &n), 0);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(DeleteGraphPlot(h, GRAPH, b, VAL_IMMEDIATE_DRAW), 0);
    EXPECT_EQ(DeleteGraphPlot(h, GRAPH, b, VAL_IMMEDIATE_DRAW), UIE_BAD_PLOT);
    const auto& plots = ui::panel(h)->control(GRAPH)->graph.plots;
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ(plots[0].handle, a);
    EXPECT_EQ(plots[0].color, VAL_RED);
    EXPECT_EQ(plots[0].style, VAL_SOLID_CIRCLE);
    EXPECT_FALSE(plots[0].isLine);
    EXPECT_EQ(plots[1].handle, c);
    EXPECT_EQ(plots[1].y1, 4);
    EXPECT_EQ(DeleteGraphPlot(h, GRAPH, VAL_ALL_PLOTS, VAL_DELAYED_DRAW), 0);
    EXPECT_TRUE(plots.empty());
    EXPECT_GT(PlotPoint(h, GRAPH, 0, 0, 0, 0), c);  // a stale handle never names a new plot
    EXPECT_EQ(PlotPoint(h, NUM_INT, 0, 0, 0, 0), UIE_WRONG_CTRL_KIND);
}

TEST_F(Model, GraphTakesManyPlots) {
    const int h = load();
    constexpr int kPlots = 20000;
    int last = 0;
    for (int i = 0; i < kPlots; ++i) {
        const int p = PlotPoint(h, GRAPH, i, i * 0.5, VAL_SIMPLE_DOT, VAL_BLACK);
        ASSERT_GT(p, last);
        last = p;
    }
    for (int hdl = 2; hdl <= 200; hdl += 2) ASSERT_EQ(DeleteGraphPlot(h, GRAPH, hdl, VAL_DELAYED_DRAW), 0);
    int n = 0;
    GetCtrlAttribute(h, GRAPH, ATTR_NUM_PLOTS, &n);
    EXPECT_EQ(n, kPlots - 100);
}

TEST_F(Model, AxesAndCursor) {
    const int h = load();
    for (int axis = 0; axis < 4; ++axis) {
        ASSERT_EQ(SetAxisScalingMode(h, GRAPH, axis, VAL_MANUAL, -axis, 10.0 + axis), 0);
        int mode = -1;
        double lo = 0, hi = 0;
        ASSERT_EQ(GetAxisScalingMode(h, GRAPH, axis, &mode, &lo, &hi), 0);
        EXPECT_EQ(mode, VAL_MANUAL);
        EXPECT_EQ(lo, -axis);
        EXPECT_EQ(hi, 10.0 + axis);
    }
    EXPECT_EQ(SetAxisScalingMode(h, GRAPH, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0), 0);
    int mode = -1;
    double lo = 0, hi = 0;
    GetAxisScalingMode(h, GRAPH, VAL_LEFT_YAXIS, &mode, &lo, &hi);
    EXPECT_EQ(mode, VAL_AUTOSCALE);
    EXPECT_EQ(hi, 11.0);  // the manual range is kept for later
    EXPECT_EQ(SetAxisScalingMode(h, GRAPH, 4, VAL_MANUAL, 0, 1), UIE_INDEX_OUT_OF_RANGE);
    EXPECT_EQ(GetAxisScalingMode(h, GRAPH, -1, &mode, &lo, &hi), UIE_INDEX_OUT_OF_RANGE);
    EXPECT_EQ(SetAxisScalingMode(h, GRAPH, 0, VAL_MANUAL, 5, 5), UIE_BAD_ARGUMENT);
    EXPECT_EQ(SetAxisScalingMode(h, GRAPH, 0, 7, 0, 1), UIE_BAD_ARGUMENT);

    EXPECT_EQ(SetGraphCursor(h, GRAPH, 1, 1000.0, -45.0), 0);
    double x = 0, y = 0;
    EXPECT_EQ(GetGraphCursor(h, GRAPH, 1, &x, &y), 0);
    EXPECT_EQ(x, 1000.0);
    EXPECT_EQ(y, -45.0);
    EXPECT_EQ(GetGraphCursor(h, GRAPH, 2, &x, &y), UIE_INDEX_OUT_OF_RANGE);
    EXPECT_EQ(SetGraphCursor(h, GRAPH, 0, 1, 1), UIE_INDEX_OUT_OF_RANGE);
    EXPECT_EQ(GetGraphCursor(h, NUM_INT, 1, &x, &y), UIE_WRONG_CTRL_KIND);
}

// ---- menu bars --------------------------------------------------------------------------

TEST_F(Model, MenuBarsAttachAndDiscard) {
    const int h = load();
    const int mb = LoadMenuBar(h, "test.uir", kMenuBar);
    ASSERT_GE(mb, 1);
    EXPECT_EQ(ui::panel(h)->menuBar, mb);
    EXPECT_EQ(ui::menuBar(mb)->panel, h);
    EXPECT_LT(LoadMenuBar(h, "test.uir", 42), 1);
    EXPECT_LT(LoadMenuBar(h, "nothere.uir", kMenuBar), 1);
    EXPECT_LT(LoadMenuBar(h + 9, "test.uir", kMenuBar), 1);

    int v = -1;
    EXPECT_EQ(SetMenuBarAttribute(mb, MENU_EXIT, ATTR_DIMMED, 1), 0);
    EXPECT_EQ(GetMenuBarAttribute(mb, MENU_EXIT, ATTR_DIMMED, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(SetMenuBarAttribute(mb, MENU_FILE, ATTR_VISIBLE, 0), 0);
    EXPECT_FALSE(ui::menuBar(mb)->menus[0].visible);
    EXPECT_EQ(SetMenuBarAttribute(mb, 77, ATTR_DIMMED, 1), UIE_BAD_MENU);
    EXPECT_EQ(SetMenuBarAttribute(mb, MENU_EXIT, ATTR_TITLE, 1), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(SetMenuBarAttribute(mb + 5, MENU_EXIT, ATTR_DIMMED, 1), UIE_BAD_MENU);

    EXPECT_EQ(DiscardMenuBar(mb), 0);
    EXPECT_EQ(ui::panel(h)->menuBar, 0);
    EXPECT_EQ(ui::menuBar(mb), nullptr);
    EXPECT_EQ(DiscardMenuBar(mb), UIE_BAD_MENU);

    const int mb2 = LoadMenuBar(h, "test.uir", kMenuBar);
    ASSERT_GE(mb2, 1);
    EXPECT_EQ(DiscardPanel(h), 0);
    EXPECT_EQ(ui::menuBar(mb2), nullptr);  // goes with its panel
}

TEST_F(Model, MenuBarWithUnregisteredCallbackFails) {
    UiMenuBarDef mb;
    mb.id = 1;
    UiMenuDef m;
    m.id = 1;
    m.items = {{2, "Go", "notRegistered"}};
    mb.menus.push_back(m);
    UiResourceDef r;
    r.file = "menu.uir";
    r.menuBars.push_back(mb);
    ui_register_resource(r);
    const int h = load();
    EXPECT_LT(LoadMenuBar(h, "menu.uir", 1), 1);
    EXPECT_EQ(ui::panel(h)->menuBar, 0);
}

// ---- what renderers are told ------------------------------------------------------------------

struct Recorder : ui::Renderer {
    std::vector<std::string> log;
    void panelLoaded(int p) override { log.push_back("loaded " + std::to_string(p)); }
    void panelChanged(int p) override { log.push_back("panel " + std::to_string(p)); }
    void panelDiscarded(int p) override { log.push_back("discarded " + std::to_string(p)); }
    void controlChanged(int p, int c, ui::Change what) override {
        log.push_back("control " + std::to_string(p) + "/" + std::to_string(c) + " " +
                      std::to_string(static_cast<int>(what)));
    }
    void menuBarChanged(int m) override { log.push_back("menu " + std::to_string(m)); }
    void pump(int ms) override { ui::waitForInput(ms); }
    void messagePopup(const std::string&, const std::string&) override {}
    bool confirmPopup(const std::string&, const std::string&) override { return false; }
    ui::PromptResult promptPopup(const std::string&, const std::string&, int) override { return {false, {}}; }
    std::optional<std::string> fileSelectPopup(const std::string&, const std::string&, const std::string&,
                                               const std::string&, int, bool, bool) override {
        return std::nullopt;
    }
};

TEST_F(Model, RendererHearsOfEveryChange) {
    Recorder rec;
    ui::setRenderer(&rec);
    const int h = LoadPanel(0, "test.uir", kPanel);
    DisplayPanel(h);
    SetCtrlVal(h, NUM_INT, 7);
    SetCtrlVal(h, NUM_INT, "bad");  // refused: nothing to tell
    SetCtrlAttribute(h, NUM_INT, ATTR_DIMMED, 1);
    InsertListItem(h, RING_INT, -1, "x", 9);
    PlotPoint(h, GRAPH, 1, 1, 0, 0);
    const int mb = LoadMenuBar(h, "test.uir", kMenuBar);
    SetMenuBarAttribute(mb, MENU_OPEN, ATTR_DIMMED, 1);
    DiscardPanel(h);
    ui::setRenderer(nullptr);
    const std::string p = std::to_string(h);
    const std::vector<std::string> expect = {
        "loaded " + p, "panel " + p, "control " + p + "/1 0", "control " + p + "/1 1",
        "control " + p + "/9 2", "control " + p + "/12 3", "panel " + p, "menu " + std::to_string(mb),
        "menu " + std::to_string(mb), "discarded " + p,
    };
    EXPECT_EQ(rec.log, expect);
    EXPECT_EQ(ui::renderer(), ui::renderer());  // headless again
    EXPECT_NE(ui::renderer(), &rec);
}

}  // namespace
