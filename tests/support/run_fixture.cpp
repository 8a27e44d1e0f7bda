#include "tests/support/run_fixture.h"

#include "app/fra.h"
#include "app/ifc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace tsupport {

namespace hl = ui::headless;

void RunTest::SetUp()
{
    ui::resetForTests();
    hl::clearPopups();
    hl::clearAnswers();
    ifc_register_all();
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_set_step(i, 0.0, 0.0);
    ifc_log_reset();
}

void RunTest::TearDown()
{
    ifc_measurement_end(false);
    ifc_set_read_wait_ticks(IFC_READ_WAIT_TICKS);
    ifp_quit();
    io_hook_debug_printf(nullptr);
    for (int h = 0; h < IO_MAX_LINKS; ++h)
        io_close(h);
    sim_.reset();
}

std::string RunTest::startSim(sim::Options options)
{
    sim_ = startSimulator(options);
    return sim_ ? sim_->options().address : "127.0.0.0";
}

void RunTest::openLink(const std::string& idn, const std::string& version, sim::Options options)
{
    options.idn = idn;
    options.version = version;
    startSim(options);
    ASSERT_TRUE(sim_);
    ifp_active(1);
    ASSERT_GE(ifp_panel(), 0);
    ifp_select_link(IO_TCP, sim_->options().address.c_str());
    commit(ifp_panel(), IFP_PANEL_OPEN, 1);
    ASSERT_EQ(ifp_get_ifready(), 1);
}

void RunTest::startRun(const std::string& idn, const std::string& version, sim::Options options)
{
    ASSERT_NO_FATAL_FAILURE(openLink(idn, version, options));
    ifc_set_read_wait_ticks(0);
    ifc_measurement_start();
    hl::deliver();
    ASSERT_GE(ifcP, 0);
}

int RunTest::runSweep(int maxTurns)
{
    for (int turn = 1; turn <= maxTurns; ++turn) {
        readBack();
        hl::deliver();
        if (!ifc_sweep_on() && !ifc_get_dcsw_active())
            return turn;
    }
    return -1;
}

std::vector<double> RunTest::sentFrequencies() const
{
    static const std::string head = "IM:OUTP:SINE:FREQ ";
    std::vector<double> out;
    for (const std::string& line : log())
        if (line.rfind(head, 0) == 0)
            out.push_back(std::strtod(line.c_str() + head.size(), nullptr));
    return out;
}

void commit(int panel, int control, const ui::Value& value)
{
    ASSERT_EQ(hl::commit(panel, control, value), 0) << "control " << control;
    hl::deliver();
}

void pick(int menuBar, int item)
{
    ASSERT_EQ(hl::pickMenu(menuBar, item), 0) << "menu item " << item;
    hl::deliver();
}

int mainInt(int control)
{
    int v = 0;
    EXPECT_EQ(GetCtrlVal(ifcP, control, &v), 0);
    return v;
}

double mainDouble(int control)
{
    double v = 0;
    EXPECT_EQ(GetCtrlVal(ifcP, control, &v), 0);
    return v;
}

int attribute(int panel, int control, int attr)
{
    int v = -1;
    GetCtrlAttribute(panel, control, attr, &v);
    return v;
}

double confirmed(double requested)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", sim::ddsFrequency(requested));
    return static_cast<double>(std::strtof(text, nullptr));
}

int graphPoints(int panel, int control, int color)
{
    const ui::Panel* p = ui::panel(panel);
    const ui::Control* c = p ? p->control(control) : nullptr;
    if (!c)
        return -1;
    int n = 0;
    for (const ui::Plot& plot : c->graph.plots)
        n += !plot.isLine && (color < 0 || plot.color == color);
    return n;
}

std::vector<std::string> messages()
{
    std::vector<std::string> out;
    for (const auto& p : hl::popups())
        if (p.kind == hl::PopupRecord::Message)
            out.push_back(p.title + "|" + p.text);
    return out;
}

UiScript::UiScript(std::vector<Step> steps, int limitMs) : state_(std::make_shared<State>())
{
    state_->steps = std::move(steps);
    thread_ = std::thread([state = state_, limitMs] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!state->stop) {
            // A polling interval for the conditions, not a wait for an event.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (std::chrono::steady_clock::now() > end) {
                ui::postAction([state] {
                    state->timedOut = true;
                    if (ifp_panel() >= 0)
                        hl::closePanel(ifp_panel());
                });
                return;
            }
            ui::postAction([state] { state->check(); });
        }
    });
}

UiScript::~UiScript()
{
    state_->stop = true;
    thread_.join();
}

void UiScript::State::check()
{
    if (next < steps.size() && steps[next].first()) {
        auto action = steps[next].second;
        ++next;
        action();
    }
    if (next == steps.size())
        stop = true;
}

int runMain()
{
    static char name[] = "imbench";
    static char* argv[] = {name, nullptr};
    return ifc_main(1, argv);
}

bool runMainWith(std::vector<UiScript::Step> steps)
{
    UiScript script(std::move(steps));
    return runMain() == 0 && script.finished();
}

void openTcp(const std::string& address, int deviceMode)
{
    const int panel = ifp_panel();
    ASSERT_GE(panel, 0);
    SetCtrlVal(panel, IFP_PANEL_DEVMODE, deviceMode);
    ifp_select_link(IO_TCP, address.c_str());
    ASSERT_EQ(hl::commit(panel, IFP_PANEL_OPEN, 1), 0);
}

}  // namespace tsupport
