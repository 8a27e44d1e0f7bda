#include "fixture.h"

namespace uitest {

std::vector<Call> calls;
std::vector<MenuCall> menuCalls;
std::function<void(int, int, int)> onCall;

namespace {

int ctrlCb(int panel, int control, int event, void*, int d1, int d2) {
    calls.push_back({panel, control, event, d1, d2});
    if (onCall) onCall(panel, control, event);
    return 0;
}
int panelCb(int panel, int event, void*, int d1, int d2) {
    calls.push_back({panel, 0, event, d1, d2});
    if (onCall) onCall(panel, 0, event);
    return 0;
}
void menuCb(int menuBar, int item, void*, int panel) { menuCalls.push_back({menuBar, item, panel}); }

UiCtrlDef ctrl(int id, UiCtrlKind kind, int type = VAL_INTEGER) {
    UiCtrlDef d;
    d.id = id;
    d.kind = kind;
    d.dataType = type;
    d.callback = "ctrlCb";
    d.label = "label " + std::to_string(id);
    d.top = 10 * id;
    d.left = 5;
    return d;
}

}  // namespace

void registerTestResource() {
    ui_register_ctrl_callback("ctrlCb", ctrlCb);
    ui_register_panel_callback("panelCb", panelCb);
    ui_register_menu_callback("menuCb", menuCb);

    UiPanelDef p;
    p.id = kPanel;
    p.title = "Test";
    p.callback = "panelCb";
    auto num = ctrl(NUM_INT, UiCtrlKind::Numeric);
    num.min = 0;
    num.max = 100;
    num.value = 5;
    p.controls.push_back(num);
    auto dbl = ctrl(NUM_DBL, UiCtrlKind::Numeric, VAL_DOUBLE);
    dbl.min = -10;
    dbl.max = 10;
    p.controls.push_back(dbl);
    auto flt = ctrl(NUM_FLT, UiCtrlKind::Numeric, VAL_FLOAT);
    flt.min = 0;
    flt.max = 1;
    p.controls.push_back(flt);
    auto str = ctrl(STR, UiCtrlKind::String);
    str.maxEntryLength = 5;
    str.text = "init";
    p.controls.push_back(str);
    p.controls.push_back(ctrl(MSG, UiCtrlKind::TextMsg));
    p.controls.push_back(ctrl(TBOX, UiCtrlKind::TextBox));
    auto tog = ctrl(TOGGLE, UiCtrlKind::Toggle);
    tog.onText = "ON";
    tog.offText = "OFF";
    p.controls.push_back(tog);
    p.controls.push_back(ctrl(BUTTON, UiCtrlKind::Button, VAL_NO_TYPE));
    auto ring = ctrl(RING_INT, UiCtrlKind::Ring);
    ring.items = {{"Zero", 0}, {"One", 1}, {"Two", 2}};
    ring.value = 1;
    p.controls.push_back(ring);
    auto ringd = ctrl(RING_DBL, UiCtrlKind::Ring, VAL_DOUBLE);
    ringd.items = {{"half", 0.5}, {"one and a half", 1.5}};
    p.controls.push_back(ringd);
    auto list = ctrl(LIST_STR, UiCtrlKind::ListBox, VAL_STRING);
    list.items = {{"A", 0, "a"}, {"B", 0, "b"}};
    list.text = "b";
    p.controls.push_back(list);
    auto graph = ctrl(GRAPH, UiCtrlKind::Graph, VAL_NO_TYPE);
    graph.xName = "Frequency";
    graph.yName = "Phase";
    graph.xMapMode = VAL_LOG;
    p.controls.push_back(graph);
    p.controls.push_back(ctrl(LED, UiCtrlKind::Led));
    auto deco = ctrl(DECO, UiCtrlKind::Decoration, VAL_NO_TYPE);
    deco.callback.clear();
    p.controls.push_back(deco);
    auto ind = ctrl(IND, UiCtrlKind::Numeric);
    ind.mode = VAL_INDICATOR;
    p.controls.push_back(ind);
    auto normal = ctrl(NORMAL, UiCtrlKind::Numeric);
    normal.mode = VAL_NORMAL;
    p.controls.push_back(normal);
    p.controls.push_back(ctrl(RING_EMPTY, UiCtrlKind::Ring));

    UiMenuBarDef mb;
    mb.id = kMenuBar;
    UiMenuDef file;
    file.id = MENU_FILE;
    file.label = "File";
    file.items = {{MENU_OPEN, "Open", "menuCb"}, {MENU_SEP, "", "", true}, {MENU_EXIT, "Exit", "menuCb"},
                  {MENU_NOCB, "Nothing", ""}};
    mb.menus.push_back(file);

    UiResourceDef res;
    res.file = "test.uir";
    res.panels.push_back(p);
    res.menuBars.push_back(mb);
    ui_register_resource(std::move(res));
}

void UiTest::SetUp() {
    ui::resetForTests();
    calls.clear();
    menuCalls.clear();
    onCall = nullptr;
    registerTestResource();
}

void UiTest::TearDown() {
    onCall = nullptr;
    ui::resetForTests();
}

int UiTest::load() {
    const int h = LoadPanel(0, "test.uir", kPanel);
    EXPECT_GT(h, 0);
    EXPECT_EQ(DisplayPanel(h), 0);
    return h;
}

}  // namespace uitest
