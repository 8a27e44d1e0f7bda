#include "tests/displays/displays_fixture.h"

namespace displaytest {

std::vector<CloseCall> closeCalls;
int sweepRunning = 0;

namespace {

int probe() { return sweepRunning; }

template <const char* Name>
int recordClose(int panel, int event, void*, int, int)
{
    closeCalls.push_back({Name, panel, event});
    return 0;
}

constexpr char kBodeStop[] = "bode_stop";
constexpr char kNyqustStop[] = "nyqust_stop";
constexpr char kVcStop[] = "vc_stop";
constexpr char kMeterStop[] = "meter_stop";

}  // namespace

void registerWindowCallbacks()
{
    ui_register_panel_callback(kBodeStop, recordClose<kBodeStop>);
    ui_register_panel_callback(kNyqustStop, recordClose<kNyqustStop>);
    ui_register_panel_callback(kVcStop, recordClose<kVcStop>);
    ui_register_panel_callback(kMeterStop, recordClose<kMeterStop>);
}

void DisplaysTest::SetUp()
{
    ui::resetForTests();
    closeCalls.clear();
    sweepRunning = 0;
    ifcPanel_register_resource();
    displays_register_callbacks();
    registerWindowCallbacks();
    displays_set_sweep_probe(probe);
}

void DisplaysTest::TearDown()
{
    bode_quit();
    nyqust_quit();
    vc_quit();
    meter_quit();
    displays_set_sweep_probe(nullptr);
    ui::resetForTests();
}

void DisplaysTest::registerOnly(const UiPanelDef& panel)
{
    UiResourceDef def;
    def.file = IFC_PANEL_FILE;
    def.panels.push_back(panel);
    ui_register_resource(def);
}

const ui::Graph& graphOf(int panel, int control)
{
    return ui::panel(panel)->control(control)->graph;
}

namespace {
std::vector<ui::Plot> plotsOf(int panel, int control, bool lines)
{
    std::vector<ui::Plot> out;
    for (const ui::Plot& p : graphOf(panel, control).plots)
        if (p.isLine == lines)
            out.push_back(p);
    return out;
}
}  // namespace

std::vector<ui::Plot> pointsOf(int panel, int control) { return plotsOf(panel, control, false); }
std::vector<ui::Plot> linesOf(int panel, int control) { return plotsOf(panel, control, true); }

double numberOf(int panel, int control)
{
    double v = -12345.0;
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
    return v;
}

std::string textOf(int panel, int control)
{
    std::string s;
    EXPECT_EQ(GetCtrlVal(panel, control, &s), 0);
    return s;
}

void userPick(int panel, int control, int value)
{
    const ui::Control* c = ui::panel(panel)->control(control);
    int index = -1;
    for (std::size_t i = 0; i < c->items.size(); ++i)
        if (std::get<int>(c->items[i].value) == value)
            index = static_cast<int>(i);
    ASSERT_GE(index, 0) << "no item with value " << value;
    ASSERT_EQ(ui::headless::commitIndex(panel, control, index), 0);
    ui::headless::deliver();
}

}  // namespace displaytest
