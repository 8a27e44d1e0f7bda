// The Qt renderer, driven through Qt itself (offscreen): user input made with
// QTest reaches the callbacks as toolkit events, model changes reach the
// widgets, and the graph control draws what it is given.

#include "ui/model.h"
#include "ui/qt/graph_view.h"
#include "ui/qt/qt_renderer.h"
#include "ui/qt/qt_widgets.h"
#include "ui/resource.h"
#include "ui/toolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#ifndef UI_QT_SHOT_DIR
#define UI_QT_SHOT_DIR "."
#endif

// Fontconfig keeps a cache it never frees; that is not ours to report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

enum {
    NUM_INT = 1, NUM_DBL, TEXT_IN, MSG, LOG, TOGGLE, BUTTON, RING, LIST, GRAPH, LAMP, FRAME,
};
enum { MENU_FILE = 1, MENU_LOAD, MENU_EXIT };

struct Call {
    int panel, control, event;
    bool operator==(const Call&) const = default;
};
std::vector<Call> calls;
std::vector<std::pair<int, int>> menuCalls;   // (menu bar, item)

int recordCtrl(int panel, int control, int event, void*, int, int)
{
    calls.push_back({panel, control, event});
    return 0;
}
int recordPanel(int panel, int event, void*, int, int)
{
    calls.push_back({panel, 0, event});
    return 0;
}
void recordMenu(int bar, int item, void*, int) { menuCalls.emplace_back(bar, item); }

void registerResource()
{
    UiPanelDef p;
    p.id = 1;
    p.title = "Every control";
    p.top = 60;
    p.left = 60;
    p.width = 560;
    p.height = 430;
    p.callback = "rec_panel";
    auto add = [&](UiCtrlDef c) {
        if (c.callback.empty()) c.callback = "rec";
        p.controls.push_back(std::move(c));
    };
    add({.id = FRAME, .kind = UiCtrlKind::Decoration, .dataType = VAL_NO_TYPE, .top = 8, .left = 8, .height = 150, .width = 260});
    add({.id = NUM_INT, .kind = UiCtrlKind::Numeric, .dataType = VAL_INTEGER, .label = "Count", .top = 30, .left = 20,
         .height = 22, .width = 100, .value = 7, .min = 0, .max = 100});
    add({.id = NUM_DBL, .kind = UiCtrlKind::Numeric, .dataType = VAL_DOUBLE, .label = "Frequency (Hz)", .top = 30,
         .left = 140, .height = 22, .width = 110, .value = 1.5, .min = 0.1, .max = 1e5, .precision = 2, .increment = 0.5});
    add({.id = TEXT_IN, .kind = UiCtrlKind::String, .dataType = VAL_STRING, .label = "Address", .top = 80, .left = 20,
         .height = 22, .width = 230, .text = "127.0.0.1", .maxEntryLength = 15});
    add({.id = MSG, .kind = UiCtrlKind::TextMsg, .dataType = VAL_STRING, .top = 115, .left = 20, .height = 20,
         .width = 230, .text = "Ready", .mode = VAL_INDICATOR});
    add({.id = TOGGLE, .kind = UiCtrlKind::Toggle, .dataType = VAL_INTEGER, .label = "Sweep", .top = 175, .left = 20,
         .height = 26, .width = 110, .onText = "SWEEP ON", .offText = "SWEEP OFF"});
    add({.id = BUTTON, .kind = UiCtrlKind::Button, .dataType = VAL_NO_TYPE, .label = "Sync", .top = 175, .left = 140,
         .height = 26, .width = 110});
    add({.id = RING, .kind = UiCtrlKind::Ring, .dataType = VAL_INTEGER, .label = "Range", .top = 225, .left = 20,
         .height = 22, .width = 110,
         .items = {{"Low", 0}, {"Mid", 1}, {"High", 2}}});
    add({.id = LAMP, .kind = UiCtrlKind::Led, .dataType = VAL_INTEGER, .label = "Alarm", .top = 225, .left = 150,
         .height = 18, .width = 18, .mode = VAL_INDICATOR});
    add({.id = LIST, .kind = UiCtrlKind::ListBox, .dataType = VAL_INTEGER, .label = "No\x1bp40lVoltage\x1bp120lCurrent",
         .top = 270, .left = 20, .height = 140, .width = 230,
         .items = {{"1\x1bp40l1.000 V\x1bp120l0.10 A", 0},
                   {"2\x1bp40l2.000 V\x1bp120l0.20 A", 1},
                   {"3\x1bp40l3.000 V\x1bp120l0.30 A", 2}}});
    add({.id = GRAPH, .kind = UiCtrlKind::Graph, .dataType = VAL_NO_TYPE, .label = "Impedance", .top = 30, .left = 280,
         .height = 220, .width = 265, .xName = "Frequency (Hz)", .yName = "|Z| (Ohm)", .xMapMode = VAL_LOG});
    add({.id = LOG, .kind = UiCtrlKind::TextBox, .dataType = VAL_STRING, .label = "Messages", .top = 270, .left = 280,
         .height = 140, .width = 265, .mode = VAL_INDICATOR});

    UiMenuBarDef mb;
    mb.id = 1;
    mb.menus.push_back(UiMenuDef{MENU_FILE, "File",
                                 {{MENU_LOAD, "Load profile", "rec_menu"}, {0, "", "", true}, {MENU_EXIT, "Exit", "rec_menu"}}});
    ui_register_resource(UiResourceDef{"uiqtTest.uir", {p}, {mb}});
    ui_register_ctrl_callback("rec", recordCtrl);
    ui_register_panel_callback("rec_panel", recordPanel);
    ui_register_menu_callback("rec_menu", recordMenu);
}

// Runs the toolkit's loop until the queue is empty (bounded).
void settle()
{
    for (int i = 0; i < 20; ++i) {
        ProcessSystemEvents();
        if (!ui::eventsPending()) break;
    }
    ProcessSystemEvents();
}

template <class W>
W* widget(int panel, int control)
{
    return dynamic_cast<W*>(ui::qt::controlWidget(panel, control));
}

bool has(int panel, int control, int event)
{
    for (const Call& c : calls)
        if (c == Call{panel, control, event}) return true;
    return false;
}

// One QApplication and the Qt renderer for every test (CTest runs them one by one).
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "ui_qt_test";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(ui_qt_install(argc, argv));
    }
    void TearDown() override { ui_qt_uninstall(); }
};
[[maybe_unused]] ::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class QtPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::resetForTests();
        registerResource();
        SetBreakOnLibraryErrors(0);
        panel = LoadPanel(0, "uiqtTest.uir", 1);
        ASSERT_GT(panel, 0);
        bar = LoadMenuBar(panel, "uiqtTest.uir", 1);
        ASSERT_GE(bar, 1);
        ASSERT_EQ(DisplayPanel(panel), 0);
        win = ui::qt::panelWindow(panel);
        ASSERT_NE(win, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win));
        settle();
        calls.clear();
        menuCalls.clear();
    }
    void TearDown() override { ui::resetForTests(); }

    // Replaces a line edit's text as a user would and presses Enter.
    static void typeInto(QWidget* w, const QString& text)
    {
        QLineEdit* e = qobject_cast<QLineEdit*>(w);
        if (!e) e = w->findChild<QLineEdit*>();
        ASSERT_NE(e, nullptr);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }

    int panel = 0, bar = 0;
    QWidget* win = nullptr;
};

// ---- user input -> callbacks -------------------------------------------------

TEST_F(QtPanel, ButtonClickGivesLeftClickThenCommit)
{
    QTest::mouseClick(widget<QPushButton>(panel, BUTTON), Qt::LeftButton);
    settle();
    EXPECT_EQ(calls, (std::vector<Call>{{panel, BUTTON, EVENT_LEFT_CLICK}, {panel, BUTTON, EVENT_COMMIT}}));
}

TEST_F(QtPanel, TypedNumbersAndTextAreCommittedWithTheirValues)
{
    typeInto(widget<QSpinBox>(panel, NUM_INT), "42");
    typeInto(widget<QDoubleSpinBox>(panel, NUM_DBL), "250.25");
    typeInto(widget<QLineEdit>(panel, TEXT_IN), "127.0.0.9");
    settle();
    int i = 0;
    double d = 0;
    std::string s;
    GetCtrlVal(panel, NUM_INT, &i);
    GetCtrlVal(panel, NUM_DBL, &d);
    GetCtrlVal(panel, TEXT_IN, &s);
    EXPECT_EQ(i, 42);
    EXPECT_DOUBLE_EQ(d, 250.25);
    EXPECT_EQ(s, "127.0.0.9");
    for (int c : {NUM_INT, NUM_DBL, TEXT_IN}) {
        EXPECT_TRUE(has(panel, c, EVENT_VAL_CHANGED)) << c;
        EXPECT_TRUE(has(panel, c, EVENT_COMMIT)) << c;
    }
}

TEST_F(QtPanel, ArrowStepCommitsAndTheEntryLengthIsLimited)
{
    auto* d = widget<QDoubleSpinBox>(panel, NUM_DBL);
    d->setFocus();
    QTest::keyClick(d, Qt::Key_Up);
    settle();
    double v = 0;
    GetCtrlVal(panel, NUM_DBL, &v);
    EXPECT_DOUBLE_EQ(v, 2.0);  // 1.5 + increment 0.5
    EXPECT_TRUE(has(panel, NUM_DBL, EVENT_COMMIT));

    typeInto(widget<QLineEdit>(panel, TEXT_IN), "1234567890123456789");
    settle();
    std::string s;
    GetCtrlVal(panel, TEXT_IN, &s);
    EXPECT_EQ(s, "123456789012345");  // 15 characters
}

TEST_F(QtPanel, ToggleRingAndListPicksReachTheModel)
{
    QTest::mouseClick(widget<QPushButton>(panel, TOGGLE), Qt::LeftButton);
    auto* ring = widget<QComboBox>(panel, RING);
    ring->setFocus();
    QTest::keyClick(ring, Qt::Key_Down);
    auto* list = widget<QListWidget>(panel, LIST);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
    settle();

    int on = 0, ringValue = -1, listIndex = -1;
    GetCtrlVal(panel, TOGGLE, &on);
    GetCtrlVal(panel, RING, &ringValue);
    GetCtrlIndex(panel, LIST, &listIndex);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(widget<QPushButton>(panel, TOGGLE)->text(), "SWEEP ON");
    EXPECT_EQ(ringValue, 1);
    EXPECT_EQ(listIndex, 2);
    EXPECT_TRUE(has(panel, TOGGLE, EVENT_LEFT_CLICK));
    for (int c : {TOGGLE, RING, LIST}) {
        EXPECT_TRUE(has(panel, c, EVENT_VAL_CHANGED)) << c;
        EXPECT_TRUE(has(panel, c, EVENT_COMMIT)) << c;
    }
}

TEST_F(QtPanel, RightDoubleClickReachesControlsAndIndicators)
{
    QTest::mouseDClick(widget<QSpinBox>(panel, NUM_INT), Qt::RightButton);
    QTest::mouseDClick(widget<QLabel>(panel, MSG), Qt::RightButton);
    QTest::mouseClick(ui::qt::controlWidget(panel, LAMP), Qt::LeftButton);
    settle();
    EXPECT_TRUE(has(panel, NUM_INT, EVENT_RIGHT_DOUBLE_CLICK));
    EXPECT_TRUE(has(panel, MSG, EVENT_RIGHT_DOUBLE_CLICK));
    EXPECT_TRUE(has(panel, LAMP, EVENT_LEFT_CLICK));
    EXPECT_FALSE(has(panel, LAMP, EVENT_COMMIT));
    int n = 0;
    for (const Call& c : calls) n += c.event == EVENT_RIGHT_DOUBLE_CLICK;
    EXPECT_EQ(n, 2);  // one each, not one per widget the event passes through
}

TEST_F(QtPanel, GraphClickPlacesTheCursorAndCommits)
{
    SetAxisScalingMode(panel, GRAPH, VAL_XAXIS, VAL_MANUAL, 1.0, 1000.0);
    SetAxisScalingMode(panel, GRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, 50.0);
    settle();
    auto* g = widget<ui::qt::GraphWidget>(panel, GRAPH);
    ASSERT_NE(g, nullptr);
    const QPoint at(static_cast<int>(std::lround(g->painter().xMap().toPixel(100.0))),
                    static_cast<int>(std::lround(g->painter().yMap().toPixel(20.0))));
    QTest::mouseClick(g, Qt::LeftButton, {}, at);
    settle();
    double x = 0, y = 0;
    GetGraphCursor(panel, GRAPH, 1, &x, &y);
    EXPECT_NEAR(std::log10(x), 2.0, 0.02);  // within a pixel of a decade on this width
    EXPECT_NEAR(y, 20.0, 0.5);
    EXPECT_EQ(calls, (std::vector<Call>{{panel, GRAPH, EVENT_LEFT_CLICK}, {panel, GRAPH, EVENT_COMMIT}}));
}

TEST_F(QtPanel, CloseButtonAsksThePanelAndMenuItemsReachTheirCallback)
{
    win->close();
    settle();
    EXPECT_EQ(calls, (std::vector<Call>{{panel, 0, EVENT_CLOSE}}));
    EXPECT_TRUE(win->isVisible());  // the application decides

    QMenuBar* mb = ui::qt::panelMenuBar(panel);
    ASSERT_NE(mb, nullptr);
    ASSERT_EQ(mb->actions().size(), 1);
    QMenu* file = mb->actions().front()->menu();
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->actions().size(), 3);
    EXPECT_TRUE(file->actions()[1]->isSeparator());
    file->actions()[2]->trigger();
    settle();
    EXPECT_EQ(menuCalls, (std::vector<std::pair<int, int>>{{bar, MENU_EXIT}}));

    SetMenuBarAttribute(bar, MENU_LOAD, ATTR_DIMMED, 1);
    file = ui::qt::panelMenuBar(panel)->actions().front()->menu();
    EXPECT_FALSE(file->actions()[0]->isEnabled());
}

TEST_F(QtPanel, DimmedAndIndicatorControlsTakeNoInput)
{
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, NUM_INT, ATTR_CTRL_MODE, VAL_INDICATOR);
    settle();
    EXPECT_FALSE(ui::qt::controlWidget(panel, BUTTON)->isEnabled());
    QTest::mouseClick(widget<QPushButton>(panel, BUTTON), Qt::LeftButton);
    auto* s = widget<QSpinBox>(panel, NUM_INT);
    EXPECT_TRUE(s->isReadOnly());
    QTest::keyClick(s, Qt::Key_Up);
    settle();
    int v = 0;
    GetCtrlVal(panel, NUM_INT, &v);
    EXPECT_EQ(v, 7);
    for (const Call& c : calls) ADD_FAILURE() << "unexpected event " << c.event << " on control " << c.control;
}

// ---- model -> widgets ------------------------------------------------------------

TEST_F(QtPanel, ValuesSetByTheProgramShowWithoutCallbacks)
{
    SetCtrlVal(panel, NUM_INT, 64);
    SetCtrlVal(panel, NUM_DBL, 12.345);
    SetCtrlVal(panel, TEXT_IN, "10.0.0.1");
    SetCtrlVal(panel, MSG, "Measuring");
    SetCtrlVal(panel, TOGGLE, 1);
    SetCtrlVal(panel, LAMP, 1);
    SetCtrlIndex(panel, RING, 2);
    SetCtrlIndex(panel, LIST, 1);
    settle();
    EXPECT_EQ(widget<QSpinBox>(panel, NUM_INT)->value(), 64);
    EXPECT_EQ(widget<QDoubleSpinBox>(panel, NUM_DBL)->text(), "12.35");  // precision 2, C locale
    EXPECT_EQ(widget<QLineEdit>(panel, TEXT_IN)->text(), "10.0.0.1");
    EXPECT_EQ(widget<QLabel>(panel, MSG)->text(), "Measuring");
    EXPECT_TRUE(widget<QPushButton>(panel, TOGGLE)->isChecked());
    EXPECT_EQ(widget<QPushButton>(panel, TOGGLE)->text(), "SWEEP ON");
    EXPECT_EQ(widget<QComboBox>(panel, RING)->currentIndex(), 2);
    EXPECT_EQ(widget<QListWidget>(panel, LIST)->currentRow(), 1);
    EXPECT_TRUE(calls.empty());
}

TEST_F(QtPanel, AttributesFollowTheModel)
{
    SetCtrlAttribute(panel, NUM_INT, ATTR_MAX_VALUE, 10);
    SetCtrlAttribute(panel, NUM_INT, ATTR_MIN_VALUE, 2);
    SetCtrlAttribute(panel, TEXT_IN, ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, RING, ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, TEXT_IN, ATTR_CTRL_MODE, VAL_INDICATOR);
    SetCtrlAttribute(panel, NUM_DBL, ATTR_LABEL_TEXT, "Level (V)");
    SetPanelAttribute(panel, ATTR_TITLE, "Renamed");
    SetPanelAttribute(panel, ATTR_HEIGHT, 300);
    settle();
    auto* s = widget<QSpinBox>(panel, NUM_INT);
    EXPECT_EQ(s->minimum(), 2);
    EXPECT_EQ(s->maximum(), 10);
    EXPECT_EQ(s->value(), 7);
    EXPECT_FALSE(ui::qt::controlWidget(panel, TEXT_IN)->isVisible());
    EXPECT_FALSE(ui::qt::labelWidget(panel, TEXT_IN)->isVisible());
    EXPECT_TRUE(widget<QLineEdit>(panel, TEXT_IN)->isReadOnly());
    EXPECT_FALSE(ui::qt::controlWidget(panel, RING)->isEnabled());
    EXPECT_EQ(win->windowTitle(), "Renamed");
    const int menuHeight = ui::qt::panelMenuBar(panel)->height();
    EXPECT_EQ(win->height(), 300 + menuHeight);

    SetCtrlAttribute(panel, TEXT_IN, ATTR_VISIBLE, 1);
    HidePanel(panel);
    settle();
    EXPECT_TRUE(ui::qt::controlWidget(panel, TEXT_IN)->isVisibleTo(win));
    EXPECT_FALSE(win->isVisible());
}

TEST_F(QtPanel, ListsAndTextBoxesFollowTheirItemsAndLines)
{
    InsertListItem(panel, RING, -1, "Auto", 3);
    DeleteListItem(panel, LIST, 0, 1);
    auto* ring = widget<QComboBox>(panel, RING);
    EXPECT_EQ(ring->count(), 4);
    EXPECT_EQ(ring->itemText(3), "Auto");
    auto* list = widget<QListWidget>(panel, LIST);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "2 2.000 V 0.20 A");

    auto* log = widget<QPlainTextEdit>(panel, LOG);
    for (int i = 0; i < 2000; ++i) InsertTextBoxLine(panel, LOG, -1, ("line " + std::to_string(i)).c_str());
    EXPECT_EQ(log->document()->blockCount(), 2000);
    EXPECT_EQ(log->document()->lastBlock().text(), "line 1999");
    ResetTextBox(panel, LOG, "fresh");
    EXPECT_EQ(log->toPlainText(), "fresh");
    InsertTextBoxLine(panel, LOG, 0, "first");
    EXPECT_EQ(log->toPlainText(), "first\nfresh");
    settle();
    EXPECT_TRUE(calls.empty());
}

TEST_F(QtPanel, PlottedPointsAreDrawnIncrementally)
{
    auto* g = widget<ui::qt::GraphWidget>(panel, GRAPH);
    for (int i = 0; i < 40; ++i) PlotPoint(panel, GRAPH, std::pow(10.0, i / 10.0), 10 + i, VAL_SOLID_CIRCLE, VAL_BLUE);
    g->repaint();
    const int full = g->painter().fullRedraws();
    const ui::Graph& graph = ui::panel(panel)->control(GRAPH)->graph;
    const QRect all(QPoint(0, 0), g->size());
    PlotPoint(panel, GRAPH, 50.0, 20.0, VAL_SOLID_SQUARE, VAL_RED);  // inside the scale
    // Only the new point's neighbourhood is to be painted again.
    const QRect dirty = g->painter().dirtyRect(graph, g->size());
    const QPoint at(static_cast<int>(g->painter().xMap().toPixel(50.0)),
                    static_cast<int>(g->painter().yMap().toPixel(20.0)));
    EXPECT_TRUE(dirty.contains(at)) << dirty.x() << "," << dirty.y() << " " << dirty.width() << "x" << dirty.height();
    EXPECT_LT(dirty.width() * dirty.height(), all.width() * all.height() / 20);
    g->repaint();
    EXPECT_EQ(g->painter().fullRedraws(), full);
    PlotPoint(panel, GRAPH, 1e6, 20.0, VAL_SOLID_SQUARE, VAL_RED);   // widens the scale
    EXPECT_EQ(g->painter().dirtyRect(graph, g->size()), all);
    g->repaint();
    EXPECT_EQ(g->painter().fullRedraws(), full + 1);
    EXPECT_GE(g->painter().xMap().hi, 1e6);
}

// What the window shows after many small repaints is what a full paint of the
// graph gives: no appended point leaves stale or missing pixels behind.
TEST_F(QtPanel, WindowAfterPartialRepaintsMatchesAFullPaint)
{
    auto* g = widget<ui::qt::GraphWidget>(panel, GRAPH);
    for (int i = 0; i < 40; ++i) PlotPoint(panel, GRAPH, std::pow(10.0, i / 10.0), 10 + i, VAL_SOLID_CIRCLE, VAL_BLUE);
    settle();
    const int full = g->painter().fullRedraws();
    for (int i = 0; i < 30; ++i) {
        const double x = std::pow(10.0, 0.5 + i / 10.0), y = 15 + (i % 7) * 3;
        PlotPoint(panel, GRAPH, x, y, VAL_EMPTY_DIAMOND, VAL_RED);
        PlotLine(panel, GRAPH, x, y, x * 1.1, y + 2, VAL_RED);
        settle();
    }
    ASSERT_EQ(g->painter().fullRedraws(), full) << "the points were meant to stay inside the scale";
    QScreen* screen = g->window()->screen();
    ASSERT_NE(screen, nullptr);
    const QPoint at = g->mapTo(g->window(), QPoint(0, 0));
    const QImage shown = screen->grabWindow(g->window()->winId(), at.x(), at.y(), g->width(), g->height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const QImage painted = g->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (shown.isNull() || shown.size() != painted.size())
        GTEST_SKIP() << "this platform plugin cannot grab a window's contents";
    EXPECT_EQ(shown, painted);
}

TEST_F(QtPanel, WaitCursorIsShownAndRemovedOnce)
{
    SetWaitCursor(1);
    SetWaitCursor(1);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    SetWaitCursor(0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtPanel, IndicatorGraphKeepsItsCursor)
{
    SetAxisScalingMode(panel, GRAPH, VAL_XAXIS, VAL_MANUAL, 1.0, 1000.0);
    SetGraphCursor(panel, GRAPH, 1, 10.0, 5.0);
    SetCtrlAttribute(panel, GRAPH, ATTR_CTRL_MODE, VAL_INDICATOR);
    settle();
    auto* g = widget<ui::qt::GraphWidget>(panel, GRAPH);
    QTest::mouseClick(g, Qt::LeftButton, {}, g->painter().plotRect().center());
    settle();
    double x = 0, y = 0;
    GetGraphCursor(panel, GRAPH, 1, &x, &y);
    EXPECT_EQ(x, 10.0);
    EXPECT_EQ(y, 5.0);
    EXPECT_EQ(calls, (std::vector<Call>{{panel, GRAPH, EVENT_LEFT_CLICK}}));
}

TEST_F(QtPanel, PopupsAnswerThroughTheirDialogs)
{
    auto answer = [](std::function<void(QWidget*)> act) {
        QTimer::singleShot(0, [act] {
            QWidget* w = QApplication::activeModalWidget();
            if (w) act(w);
        });
    };
    answer([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box) box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(ConfirmPopup("Calibration", "Write the table?"), 1);

    answer([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box) box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(ConfirmPopup("Calibration", "Write the table?"), 0);

    QString shown;
    answer([&shown](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return;
        shown = box->windowTitle() + ": " + box->text();
        box->accept();
    });
    MessagePopup("Profile", "Saved.");
    EXPECT_EQ(shown, "Profile: Saved.");

    answer([](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        if (!dlg) return;
        QLineEdit* e = dlg->findChild<QLineEdit*>();
        QTest::keyClicks(e, "serial-0123456789");
        dlg->accept();
    });
    char buf[11] = {};
    EXPECT_EQ(PromptPopup("Serial", "Enter the serial number", buf, 10), 0);
    EXPECT_STREQ(buf, "serial-012");

    const QString path = QStringLiteral(UI_QT_SHOT_DIR "/chosen.ini");
    answer([path](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        if (!dlg) return;
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(dlg->nameFilters().front().contains("*.ini"));
        EXPECT_EQ(dlg->defaultSuffix(), "ini");
        dlg->selectFile(path);
        static_cast<QDialog*>(dlg)->accept();  // QFileDialog's own accept checks the name
    });
    char chosen[MAX_PATHNAME_LEN] = {};
    const int r = FileSelectPopup(UI_QT_SHOT_DIR, "*.ini", "*.ini", "Save profile", VAL_SAVE_BUTTON, 0, 1, 1, 1, chosen);
    EXPECT_GT(r, 0);
    EXPECT_EQ(QString::fromLocal8Bit(chosen), path);
}

TEST_F(QtPanel, ScreenshotOfEveryControl)
{
    for (int i = 0; i <= 50; ++i) {
        const double f = 0.1 * std::pow(10.0, i / 10.0);
        const double z = 0.05 + 1.0 / (1.0 + f / 50.0) + f / 20000.0;
        PlotPoint(panel, GRAPH, f, z, VAL_SOLID_CIRCLE, VAL_BLUE);
        if (i) {
            const double f0 = 0.1 * std::pow(10.0, (i - 1) / 10.0);
            PlotLine(panel, GRAPH, f0, 0.05 + 1.0 / (1.0 + f0 / 50.0) + f0 / 20000.0, f, z, VAL_BLUE);
        }
    }
    SetGraphCursor(panel, GRAPH, 1, 100.0, 0.5);
    SetCtrlVal(panel, LAMP, 1);
    SetCtrlIndex(panel, LIST, 1);
    for (const char* line : {"TCP 127.0.0.1:3000 open", "*IDN? -> SIM,IM-LOAD,0001,3.10", "SYST:VERS? -> 3.10"})
        InsertTextBoxLine(panel, LOG, -1, line);
    settle();
    const std::string file = UI_QT_SHOT_DIR "/ui_qt_controls.png";
    ASSERT_TRUE(ui_qt_grab_panel(panel, file.c_str()));
    QImage shot(QString::fromStdString(file));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.width(), 560);
    EXPECT_FALSE(ui_qt_grab_panel(panel + 100, file.c_str()));
}

// ---- the graph painter on its own --------------------------------------------------

ui::Plot point(int handle, double x, double y, int style = VAL_SOLID_SQUARE, int color = VAL_RED)
{
    ui::Plot p;
    p.handle = handle;
    p.x1 = x;
    p.y1 = y;
    p.style = style;
    p.color = color;
    return p;
}

ui::Plot line(int handle, double x1, double y1, double x2, double y2, int color = VAL_RED)
{
    ui::Plot p = point(handle, x1, y1, 0, color);
    p.isLine = true;
    p.x2 = x2;
    p.y2 = y2;
    return p;
}

int countColor(const QImage& img, QRgb c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF);
    return n;
}

TEST(GraphPainter, LogAxesSkipNonPositiveValues)
{
    ui::Graph g;
    g.axes[VAL_XAXIS].mapMode = VAL_LOG;
    g.axes[VAL_LEFT_YAXIS].mapMode = VAL_LOG;
    g.plots = {point(1, 0.0, 1.0), point(2, -3.0, 5.0), point(3, 10.0, -1.0), line(4, -1.0, 1.0, 100.0, 10.0),
               line(5, 1.0, 0.0, 100.0, 10.0)};
    ui::qt::GraphPainter p;
    const QImage& img = p.render(g, QSize(300, 200));
    EXPECT_EQ(countColor(img, 0xFF0000), 0);  // nothing drawable, nothing drawn
    g.plots.push_back(point(6, 10.0, 3.0));
    p.render(g, QSize(300, 200));
    EXPECT_GT(countColor(p.image(), 0xFF0000), 20);
    EXPECT_GT(p.xMap().lo, 0.0);
    EXPECT_LE(p.xMap().lo, 10.0);
    EXPECT_GE(p.xMap().hi, 10.0);
}

TEST(GraphPainter, MappingHonoursLogReverseAndManualRanges)
{
    ui::Graph g;
    g.axes[VAL_XAXIS] = {VAL_MANUAL, 0.1, 1e5, VAL_LOG, false, true, "Hz"};
    g.axes[VAL_LEFT_YAXIS] = {VAL_MANUAL, -90.0, 90.0, VAL_LINEAR, true, true, "deg"};
    g.plots = {point(1, 1e6, 0.0)};  // outside a manual scale: the scale stays
    ui::qt::GraphPainter p;
    p.render(g, QSize(400, 300));
    const auto& x = p.xMap();
    const auto& y = p.yMap();
    EXPECT_DOUBLE_EQ(x.lo, 0.1);
    EXPECT_DOUBLE_EQ(x.hi, 1e5);
    EXPECT_NEAR(x.toPixel(10) - x.toPixel(1), x.toPixel(1000) - x.toPixel(100), 1e-9);  // equal decades
    EXPECT_LT(x.toPixel(0.1), x.toPixel(1e5));
    EXPECT_LT(y.toPixel(-90.0), y.toPixel(90.0));  // reversed: minimum at the top
    EXPECT_NEAR(x.toData(x.toPixel(123.0)), 123.0, 1e-9);
    EXPECT_EQ(p.plotRect().left(), static_cast<int>(std::lround(x.toPixel(0.1))));
    EXPECT_EQ(p.plotRect().top(), static_cast<int>(std::lround(y.toPixel(-90.0))));
}

TEST(GraphPainter, AutoscaleCoversTheDataAndSurvivesDegenerateInput)
{
    struct Case {
        std::vector<ui::Plot> plots;
        int mapMode;
    };
    const double nan = std::nan("");
    const std::vector<Case> cases = {
        {{point(1, 3.0, 3.0)}, VAL_LINEAR},                          // one point
        {{point(1, -2.0, 1e-9), point(2, 7.0, 2e-9)}, VAL_LINEAR},  // tiny span
        {{point(1, -1e308, 1e308), point(2, 1e308, -1e308)}, VAL_LINEAR},
        {{point(1, nan, 1.0), point(2, INFINITY, 2.0), point(3, 4.0, nan)}, VAL_LINEAR},
        {{point(1, 0.5, 1e-12), point(2, 5e4, 3e3)}, VAL_LOG},
        {{}, VAL_LOG},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        ui::Graph g;
        g.axes[VAL_XAXIS].mapMode = cases[i].mapMode;
        g.axes[VAL_LEFT_YAXIS].mapMode = cases[i].mapMode;
        g.plots = cases[i].plots;
        ui::qt::GraphPainter p;
        p.render(g, QSize(320, 240));
        EXPECT_LT(p.xMap().lo, p.xMap().hi) << i;
        EXPECT_LT(p.yMap().lo, p.yMap().hi) << i;
        for (const ui::Plot& pl : g.plots) {
            if (p.xMap().accepts(pl.x1) && std::fabs(pl.x1) < 1e300) {
                EXPECT_LE(p.xMap().lo, pl.x1) << i;
                EXPECT_GE(p.xMap().hi, pl.x1) << i;
            }
        }
    }
}

TEST(GraphPainter, ChangingTheMappingOrTheDataRescales)
{
    ui::Graph g;
    g.plots = {point(1, -50.0, 1.0), point(2, 0.5, 2.0), point(3, 200.0, 3.0)};
    ui::qt::GraphPainter p;
    p.render(g, QSize(300, 200));
    EXPECT_LE(p.xMap().lo, -50.0);
    g.axes[VAL_XAXIS].mapMode = VAL_LOG;  // -50 is skipped now
    p.render(g, QSize(320, 200));
    EXPECT_DOUBLE_EQ(p.xMap().lo, 0.1);
    EXPECT_DOUBLE_EQ(p.xMap().hi, 1000.0);
    g.plots.erase(g.plots.begin() + 2);   // the largest value goes
    p.render(g, QSize(320, 200));
    EXPECT_DOUBLE_EQ(p.xMap().hi, 1.0);
    g.axes[VAL_XAXIS].mapMode = VAL_LINEAR;
    p.invalidate();
    p.render(g, QSize(320, 200));
    EXPECT_LE(p.xMap().lo, -50.0);
    EXPECT_LE(p.xMap().hi, 10.0);  // 200 is gone
}

TEST(GraphPainter, EveryPointStyleDrawsItsShape)
{
    struct Case {
        int style;
        bool centre;   // the centre pixel is coloured
        bool corner;   // the sprite's corner pixel is coloured
    };
    const Case cases[] = {
        {VAL_EMPTY_SQUARE, false, true}, {VAL_SOLID_SQUARE, true, true},  {VAL_ASTERISK, true, false},
        {VAL_SOLID_DIAMOND, true, false}, {VAL_SIMPLE_DOT, true, false},  {VAL_EMPTY_CIRCLE, false, false},
        {VAL_SOLID_CIRCLE, true, false}, {VAL_SMALL_CROSS, true, false},  {VAL_EMPTY_DIAMOND, false, false},
        {99, false, true},  // unknown: empty square
    };
    for (const Case& c : cases) {
        ui::Graph g;
        g.axes[VAL_XAXIS] = {VAL_MANUAL, 0.0, 10.0, VAL_LINEAR, false, false, ""};
        g.axes[VAL_LEFT_YAXIS] = {VAL_MANUAL, 0.0, 10.0, VAL_LINEAR, false, false, ""};
        g.plots = {point(1, 5.0, 5.0, c.style, 0x00C000)};
        ui::qt::GraphPainter p;
        const QImage& img = p.render(g, QSize(200, 200));
        const int cx = static_cast<int>(p.xMap().toPixel(5.0) + 0.5), cy = static_cast<int>(p.yMap().toPixel(5.0) + 0.5);
        auto ink = [&](int x, int y) { return (img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF; };
        EXPECT_EQ(ink(cx, cy), c.centre) << c.style;
        EXPECT_EQ(ink(cx - 3, cy - 3), c.corner) << c.style;
        int n = 0;
        for (int y = cy - 3; y <= cy + 3; ++y)
            for (int x = cx - 3; x <= cx + 3; ++x) n += ink(x, y);
        EXPECT_GE(n, 5) << c.style;
        EXPECT_EQ(countColor(img, 0x00C000), n) << c.style;  // crisp: every inked pixel has the colour
    }
}

TEST(GraphPainter, IncrementalDrawingMatchesAFullRedraw)
{
    ui::Graph g;
    for (int i = 0; i < 100; ++i) g.plots.push_back(point(i + 1, i, std::sin(i * 0.1) * 10, i % 3 ? VAL_EMPTY_CIRCLE : VAL_ASTERISK, 0x2050A0));
    ui::qt::GraphPainter inc;
    inc.render(g, QSize(400, 300));
    g.plots.push_back(point(101, 50.0, 2.0, VAL_SOLID_DIAMOND, VAL_RED));
    g.plots.push_back(point(102, 51.0, 2.0, VAL_SMALL_CROSS, VAL_DK_GREEN));
    const QImage incremental = inc.render(g, QSize(400, 300));
    EXPECT_EQ(inc.fullRedraws(), 1);
    ui::qt::GraphPainter full;
    EXPECT_EQ(full.render(g, QSize(400, 300)), incremental);

    g.plots.erase(g.plots.begin() + 5);  // a deleted plot forces a redraw
    inc.render(g, QSize(400, 300));
    EXPECT_EQ(inc.fullRedraws(), 2);
}

}  // namespace
