// The Qt renderer driven through Qt itself (offscreen): user input made with QTest reaches the model and the
// callbacks as toolkit events, model changes reach the widgets, and the graph control draws where its axes say.
#include "ui/model.h"
#include "ui/qt/graph_view.h"
#include "ui/qt/qt_renderer.h"
#include "ui/qt/qt_widgets.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolTip>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <cmath>

// Fontconfig keeps a cache it never frees; that is not ours to report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

enum { NUM_INT = 1,
    NUM_DBL,
    TEXT_IN,
    TOGGLE,
    BUTTON,
    RING,
    LIST,
    GRAPH,
    LOG };
using Call = std::pair<int, int>; // control (0: the panel, -1: a menu item), event (or the item)
std::vector<Call> calls;

// One panel with a control of each kind that takes input, and a menu bar; the QApplication lives for all tests.
class QtPanel : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_ui_qt", *argv[] = {name, nullptr};
        ASSERT_TRUE(ui_qt_install(argc, argv));
    }
    static void TearDownTestSuite() { ui_qt_uninstall(); }
    void SetUp() override {
        ui::resetForTests(), calls.clear();
        ui_register_ctrl_callback("rec", [](int, int c, int e, void*, int, int) { return calls.emplace_back(c, e), 0; });
        ui_register_panel_callback("rec_panel", [](int, int e, void*, int, int) { return calls.emplace_back(0, e), 0; });
        ui_register_menu_callback("rec_menu", [](int, int item, void*, int) { calls.emplace_back(-1, item); });
        using K = UiCtrlKind;
        UiPanelDef p{.id = 1, .title = "Every control", .top = 60, .left = 60, .height = 430, .width = 560, .callback = "rec_panel"};
        p.controls = {
            {.id = NUM_INT, .top = 30, .left = 20, .width = 100, .value = 7, .min = 0, .max = 100},
            {.id = NUM_DBL, .dataType = VAL_DOUBLE, .top = 30, .left = 140, .width = 110, .value = 1.5, .min = 0.1, .max = 1e5, .precision = 2, .increment = 0.5},
            {.id = TEXT_IN, .kind = K::String, .top = 80, .left = 20, .width = 230, .text = "127.0.0.1", .maxEntryLength = 15},
            {.id = TOGGLE, .kind = K::Toggle, .top = 175, .left = 20, .width = 110, .onText = "SWEEP ON", .offText = "SWEEP OFF"},
            {.id = BUTTON, .kind = K::Button, .label = "Sync", .top = 175, .left = 140, .width = 110},
            {.id = RING, .kind = K::Ring, .top = 225, .left = 20, .width = 110, .items = ui_items({{"Low", 0}, {"Mid", 1}, {"High", 2}})},
            // clang-format off
            {.id = LIST, .kind = K::ListBox, .label = "No\x1bp40lVoltage", .top = 270, .left = 20, .height = 140, .width = 230,
             .items = ui_items({{"1\x1bp40l1.000 V", 0}, {"2\x1bp40l2.000 V", 1}, {"3\x1bp40l3.000 V", 2}})},
            // clang-format on
            {.id = GRAPH, .kind = K::Graph, .top = 30, .left = 280, .height = 220, .width = 265, .xMapMode = VAL_LOG},
            {.id = LOG, .kind = K::TextBox, .top = 270, .left = 280, .height = 140, .width = 265, .mode = VAL_INDICATOR}};
        for (auto& c : p.controls) c.callback = "rec";
        UiMenuBarDef mb{1, {{1, "File", {{2, "Load profile", "rec_menu"}, {0, "", "", true}, {3, "Exit", "rec_menu"}}}}};
        ui_register_resource(UiResourceDef{"qt.uir", {p}, {mb}});
        panel = LoadPanel(0, "qt.uir", 1), bar = LoadMenuBar(panel, "qt.uir", 1);
        ASSERT_EQ(DisplayPanel(panel), 0);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win = ui::qt::panelWindow(panel)));
        settle(), calls.clear();
    }
    void TearDown() override { ui::resetForTests(); }
    // Runs the toolkit's loop until the queue is empty (bounded).
    static void settle() {
        for (int i = 0; i < 20 && (i == 0 || ui::eventsPending()); ++i) ProcessSystemEvents();
    }
    template <class W>
    W* widget(int control) { return dynamic_cast<W*>(ui::qt::controlWidget(panel, control)); }
    // Replaces a line edit's text as a user would and presses Enter.
    void typeInto(int control, const QString& text) {
        QWidget* w = ui::qt::controlWidget(panel, control);
        auto* e = qobject_cast<QLineEdit*>(w) ? qobject_cast<QLineEdit*>(w) : w->findChild<QLineEdit*>();
        e->setFocus(), e->selectAll(), QTest::keyClicks(e, text), QTest::keyClick(e, Qt::Key_Return);
    }
    int panel = 0, bar = 0;
    QWidget* win = nullptr;
};

double num(int panel, int control) {
    double d = -1;
    return GetCtrlVal(panel, control, &d), d;
}

TEST_F(QtPanel, UserInputReachesTheModelAndTheCallbacks) {
    QTest::mouseClick(widget<QPushButton>(BUTTON), Qt::LeftButton);
    typeInto(NUM_INT, "42"), typeInto(NUM_DBL, "250.25"), typeInto(TEXT_IN, "1234567890123456789"); // 15 fit
    QTest::mouseClick(widget<QPushButton>(TOGGLE), Qt::LeftButton);
    widget<QComboBox>(RING)->setFocus(), QTest::keyClick(widget<QComboBox>(RING), Qt::Key_Down);
    auto* list = widget<QListWidget>(LIST);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
    QTest::mouseDClick(widget<QSpinBox>(NUM_INT), Qt::RightButton), settle();
    std::string text;
    GetCtrlVal(panel, TEXT_IN, &text);
    EXPECT_EQ((std::vector{num(panel, NUM_INT), num(panel, NUM_DBL), num(panel, TOGGLE), num(panel, RING), num(panel, LIST)}),
        (std::vector{42.0, 250.25, 1.0, 1.0, 2.0}));
    EXPECT_EQ(text, "123456789012345");
    const int V = EVENT_VAL_CHANGED, C = EVENT_COMMIT, L = EVENT_LEFT_CLICK;
    for (Call want : std::initializer_list<Call>{{BUTTON, L}, {BUTTON, C}, {NUM_INT, V}, {NUM_INT, C}, {NUM_DBL, C}, {TEXT_IN, C},
             {TOGGLE, L}, {TOGGLE, V}, {TOGGLE, C}, {RING, C}, {LIST, V}, {LIST, C}})
        EXPECT_NE(std::find(calls.begin(), calls.end(), want), calls.end()) << want.first << " " << want.second;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), Call{NUM_INT, EVENT_RIGHT_DOUBLE_CLICK}), 1); // one, not one per widget
    // Leaving a text field keeps the text without a commit; Enter commits, also an unchanged text.
    calls.clear();
    auto* edit = widget<QLineEdit>(TEXT_IN);
    edit->setFocus(), QTest::keyClick(edit, Qt::Key_Backspace), widget<QSpinBox>(NUM_INT)->setFocus(), settle();
    edit->setFocus(), settle(), calls.push_back({}), QTest::keyClick(edit, Qt::Key_Return), settle();
    EXPECT_EQ(calls, (std::vector<Call>{{TEXT_IN, EVENT_VAL_CHANGED}, {}, {TEXT_IN, EVENT_COMMIT}}));
    calls.clear(); // the arrow key steps by the increment; a dimmed button or an indicator takes nothing
    widget<QDoubleSpinBox>(NUM_DBL)->setFocus(), QTest::keyClick(widget<QDoubleSpinBox>(NUM_DBL), Qt::Key_Up);
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 1), SetCtrlAttribute(panel, NUM_INT, ATTR_CTRL_MODE, VAL_INDICATOR);
    QTest::mouseClick(widget<QPushButton>(BUTTON), Qt::LeftButton), QTest::keyClick(widget<QSpinBox>(NUM_INT), Qt::Key_Up);
    settle();
    EXPECT_EQ((std::vector{num(panel, NUM_DBL), num(panel, NUM_INT)}), (std::vector{250.75, 42.0}));
    EXPECT_EQ(calls, (std::vector<Call>{{NUM_DBL, V}, {NUM_DBL, C}}));
    calls.clear(), win->close(); // the close box asks the application
    ui::qt::panelMenuBar(panel)->actions().front()->menu()->actions()[2]->trigger(), settle();
    EXPECT_EQ(calls, (std::vector<Call>{{0, EVENT_CLOSE}, {-1, 3}}));
    EXPECT_TRUE(win->isVisible());
}

// Typed numbers outside the range reach the model whole and are refused there: the box goes back to the
// model's value and a tip at it says why; the arrows stop at the bounds.  Each box's tooltip gives its range.
TEST_F(QtPanel, NumbersTypedOutsideTheRangeAreRefusedWhereTheUserLooks) {
    SetCtrlAttribute(panel, NUM_DBL, ATTR_LABEL_TEXT, "FREQUENCY (Hz)"), settle();
    EXPECT_EQ((widget<QSpinBox>(NUM_INT)->toolTip() + "|" + widget<QDoubleSpinBox>(NUM_DBL)->toolTip()).toStdString(),
        "Range: 0 to 100|Range: 0.1 to 100000 Hz");
    struct Row {
        int control;
        const char* typed;
        double after;
        const char* tip;
    };
    for (const Row& r : {Row{NUM_INT, "-5", 7, "-5 is outside 0 to 100; the value stays 7."},
             Row{NUM_INT, "99999999", 7, "99999999 is outside 0 to 100; the value stays 7."},
             Row{NUM_DBL, "0.05", 1.5, "FREQUENCY (Hz): 0.05 is outside 0.1 to 100000 Hz; the value stays 1.5."},
             Row{NUM_INT, "100", 100, ""}}) {
        QToolTip::hideText(), typeInto(r.control, r.typed), settle();
        EXPECT_EQ(num(panel, r.control), r.after) << r.typed;
        auto* box = widget<QAbstractSpinBox>(r.control);
        EXPECT_EQ(box->text().toDouble(), r.after) << r.typed;
        EXPECT_EQ((QToolTip::isVisible() ? QToolTip::text() : QString()).toStdString(), r.tip);
    }
    EXPECT_EQ(calls, (std::vector<Call>{{NUM_INT, EVENT_VAL_CHANGED}, {NUM_INT, EVENT_COMMIT}})); // the taken one only
    widget<QSpinBox>(NUM_INT)->setFocus(), QTest::keyClick(widget<QSpinBox>(NUM_INT), Qt::Key_Up), settle();
    EXPECT_EQ(num(panel, NUM_INT), 100); // at the top already
    EXPECT_TRUE(QToolTip::text().isEmpty() || !QToolTip::isVisible());
}

// A sizable window gives its extra room to its graphs: stacked graphs share the height, what is right of a
// graph moves right, what is beside the lower graph moves down with it; it never gets smaller than its table.
TEST_F(QtPanel, ASizableWindowGrowsItsGraphs) {
    using K = UiCtrlKind;
    ui_register_resource(UiResourceDef{"big.uir", {UiPanelDef{.id = 1, .height = 300, .width = 400, .sizable = true, .controls = {{.id = 1, .kind = K::Graph, .top = 10, .left = 10, .height = 130, .width = 300}, {.id = 2, .kind = K::Graph, .top = 150, .left = 10, .height = 130, .width = 300}, {.id = 3, .label = "beside the lower", .top = 170, .left = 320, .width = 70, .min = 0, .max = 1}, {.id = 4, .kind = K::Button, .label = "top right", .top = 10, .left = 320, .width = 70}}}}});
    const int big = LoadPanel(0, "big.uir", 1);
    DisplayPanel(big), settle();
    QWidget* w = ui::qt::panelWindow(big);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_EQ(w->minimumSize(), QSize(400, 300));
    w->resize(600, 500);
    auto at = [&](int id) { return ui::qt::controlWidget(big, id)->geometry(); };
    EXPECT_EQ((std::vector{at(1), at(2), at(3), at(4)}),
        (std::vector{QRect(10, 10, 500, 230), QRect(10, 250, 500, 230), QRect(520, 270, 70, 20), QRect(520, 10, 70, 20)}));
    SetCtrlAttribute(big, 3, ATTR_TOP, 180), settle(); // a moved control is placed in the grown window too
    EXPECT_EQ(at(3), QRect(520, 280, 70, 20));
}

// A log shows its newest line as lines come, one event turn at a time, until
// the user scrolls away from the end, and again once the user is back there;
// also when a long line brings the sideways scroll bar, which takes a line's room.
TEST_F(QtPanel, ALogFollowsItsNewestLineUntilTheUserScrollsAway) {
    QScrollBar* scroll = widget<QPlainTextEdit>(LOG)->verticalScrollBar();
    auto add = [this](int n) {
        for (int i = 0; i < n; ++i) InsertTextBoxLine(panel, LOG, -1, ("line " + std::to_string(i)).c_str()), settle();
    };
    add(60);
    InsertTextBoxLine(panel, LOG, -1, std::string(400, 'w').c_str()), settle(), add(3);
    EXPECT_GT(scroll->maximum(), 10);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    scroll->triggerAction(QAbstractSlider::SliderToMinimum), add(20);
    EXPECT_EQ(scroll->value(), 0);
    scroll->triggerAction(QAbstractSlider::SliderToMaximum), add(20);
    EXPECT_EQ(scroll->value(), scroll->maximum());
}

TEST_F(QtPanel, ModelChangesShowInTheWidgetsWithoutCallbacks) {
    SetCtrlVal(panel, NUM_INT, 64), SetCtrlVal(panel, NUM_DBL, 12.345), SetCtrlVal(panel, TEXT_IN, "10.0.0.1");
    SetCtrlVal(panel, TOGGLE, 1), SetCtrlIndex(panel, RING, 2), SetCtrlIndex(panel, LIST, 1);
    SetCtrlAttribute(panel, NUM_INT, ATTR_MAX_VALUE, 10), SetCtrlAttribute(panel, TEXT_IN, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, RING, ATTR_DIMMED, 1), SetMenuBarAttribute(bar, 2, ATTR_DIMMED, 1);
    InsertListItem(panel, RING, -1, "Auto", 3), DeleteListItem(panel, LIST, 0, 1), SetPanelAttribute(panel, ATTR_TITLE, "Renamed");
    for (int i = 0; i < 2000; ++i) InsertTextBoxLine(panel, LOG, -1, ("line " + std::to_string(i)).c_str());
    settle();
    EXPECT_EQ(widget<QSpinBox>(NUM_INT)->toolTip().toStdString(), "Range: 0 to 10"); // follows the range
    EXPECT_EQ((std::vector{widget<QSpinBox>(NUM_INT)->value(), widget<QSpinBox>(NUM_INT)->maximum() > 10 ? 10 : -1,
                  widget<QComboBox>(RING)->currentIndex(), widget<QComboBox>(RING)->count(),
                  widget<QListWidget>(LIST)->currentRow(), widget<QPlainTextEdit>(LOG)->document()->blockCount()}),
        (std::vector{10, 10, 2, 4, 0, 2000})); // the selected list item moved up with the deletion
    EXPECT_EQ((widget<QDoubleSpinBox>(NUM_DBL)->text() + "|" + widget<QLineEdit>(TEXT_IN)->text() + "|" +
                  widget<QPushButton>(TOGGLE)->text() + "|" + widget<QListWidget>(LIST)->item(0)->text() + "|" +
                  widget<QPlainTextEdit>(LOG)->document()->lastBlock().text() + "|" + win->windowTitle())
                  .toStdString(),
        "12.35|10.0.0.1|SWEEP ON|2 2.000 V|line 1999|Renamed"); // precision 2, C locale; columns joined
    EXPECT_TRUE(widget<QPushButton>(TOGGLE)->isChecked() && !widget<QLineEdit>(TEXT_IN)->isVisible() &&
        !widget<QComboBox>(RING)->isEnabled() &&
        !ui::qt::panelMenuBar(panel)->actions().front()->menu()->actions()[0]->isEnabled());
    const QPalette& dimmed = widget<QComboBox>(RING)->palette();
    EXPECT_NE(dimmed.color(QPalette::Disabled, QPalette::ButtonText), dimmed.color(QPalette::Active, QPalette::ButtonText))
        << "a dimmed control looks greyed";
    ResetTextBox(panel, LOG, "fresh"), InsertTextBoxLine(panel, LOG, 0, "first");
    EXPECT_EQ(widget<QPlainTextEdit>(LOG)->toPlainText().toStdString(), "first\nfresh");
    settle();
    EXPECT_TRUE(calls.empty());
    // A text (an instrument's model name among them) shows as written: its markup takes its own room.
    ui_register_resource(UiResourceDef{"msg.uir", {UiPanelDef{.id = 1, .controls = {{.id = 1, .kind = UiCtrlKind::TextMsg, .dataType = VAL_STRING}}}}});
    const int msg = LoadPanel(0, "msg.uir", 1);
    DisplayPanel(msg), SetCtrlVal(msg, 1, "<b>KZR</b>"), settle();
    auto* label = dynamic_cast<QLabel*>(ui::qt::controlWidget(msg, 1));
    ASSERT_TRUE(label);
    EXPECT_GE(label->sizeHint().width(), label->fontMetrics().horizontalAdvance("<b>KZR</b>"));
}

// A red point lands where the graph's axes put it (log x from 1 to 1000: 100 two thirds across; y from 0 to 10
// reversed: 8 near the bottom), a real click there reads it back, and after many appended points, each painted
// around itself only, the window shows what a full paint of the graph gives.
TEST_F(QtPanel, GraphDrawsWhereItsAxesSayAndItsPartialRepaintsAddUpToAFullPaint) {
    SetAxisScalingMode(panel, GRAPH, VAL_XAXIS, VAL_MANUAL, 1.0, 1000.0), SetAxisScalingMode(panel, GRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 10);
    SetCtrlAttribute(panel, GRAPH, ATTR_YREVERSE, 1), PlotPoint(panel, GRAPH, 100.0, 8.0, VAL_SOLID_SQUARE, VAL_RED), settle();
    auto* g = widget<ui::qt::GraphWidget>(GRAPH);
    const QRect r = g->painter().plotRect();
    const QPoint at(r.left() + r.width() * 2 / 3, r.top() + r.height() * 8 / 10);
    EXPECT_EQ(g->grab().toImage().pixel(at) & 0xFFFFFF, 0xFF0000u) << at.x() << "," << at.y();
    QTest::mouseClick(g, Qt::LeftButton, {}, at), settle();
    double x = 0, y = 0;
    GetGraphCursor(panel, GRAPH, 1, &x, &y);
    EXPECT_TRUE(std::abs(std::log10(x) - 2) < 0.02 && std::abs(y - 8) < 0.1) << x << " " << y;
    EXPECT_EQ(calls, (std::vector<Call>{{GRAPH, EVENT_LEFT_CLICK}, {GRAPH, EVENT_COMMIT}}));
    const int full = g->painter().fullRedraws();
    for (int i = 0; i < 30; ++i) PlotPoint(panel, GRAPH, std::pow(10.0, 0.5 + i / 15.0), 1 + i % 7, VAL_EMPTY_DIAMOND, VAL_BLUE), settle();
    ASSERT_EQ(g->painter().fullRedraws(), full) << "the points were meant to stay inside the scale";
    const QPoint o = g->mapTo(win, QPoint(0, 0));
    const QImage shown = win->screen()->grabWindow(win->winId(), o.x(), o.y(), g->width(), g->height()).toImage();
    const QImage painted = g->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (shown.size() != painted.size()) GTEST_SKIP() << "this platform plugin cannot grab a window's contents";
    EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32), painted);
}

// Values a log axis cannot show are left out, and the automatic scale covers what is left, odd values and all.
TEST_F(QtPanel, GraphAutoscaleCoversTheDrawableDataAndLeavesOutTheRest) {
    ui::Graph g;
    g.axes[VAL_XAXIS].mapMode = g.axes[VAL_LEFT_YAXIS].mapMode = VAL_LOG;
    for (auto [x, y] : {std::pair{0.0, 1.0}, {-3.0, 5.0}, {10.0, -1.0}, {NAN, 2.0}, {INFINITY, 2.0}, {10.0, 3.0}, {5e4, 3e3}})
        g.plots.push_back({.handle = int(g.plots.size()) + 1, .x1 = x, .y1 = y, .style = VAL_SOLID_SQUARE, .color = VAL_RED});
    ui::qt::GraphPainter p;
    const QImage img = p.render(g, QSize(300, 200)).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(p.xMap().lo > 0 && p.xMap().lo <= 10 && p.xMap().hi >= 5e4 && p.yMap().lo <= 3 && p.yMap().hi >= 3e3);
    int red = 0;
    for (int i = 0; i < img.width() * img.height(); ++i) red += (img.pixel(i % img.width(), i / img.width()) & 0xFFFFFF) == 0xFF0000;
    EXPECT_TRUE(red > 20 && red < 200) << red; // two squares
}

} // namespace
