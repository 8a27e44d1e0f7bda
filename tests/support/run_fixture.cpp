#include "tests/support/run_fixture.h"

#include "app/fra.h"
#include "app/ifc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "sim/model.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>

namespace tsupport {

namespace hl = ui::headless;

void RunTest::SetUp() {
    ui::resetForTests();
    hl::clearPopups();
    hl::clearAnswers();
    ifc_register_all();
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_set_step(i, 0.0, 0.0);
    ifc_log_reset();
}

void RunTest::TearDown() {
    ifc_measurement_end(false);
    ifc_set_read_wait_ticks(IFC_READ_WAIT_TICKS);
    ifp_quit();
    io_hook_debug_printf(nullptr);
    sim_.reset();
}

std::string RunTest::startSim(sim::Options options) {
    sim_ = startSimulator(options);
    return sim_ ? sim_->options().address : "";
}

void RunTest::openLink(const std::string& idn, const std::string& version, sim::Options options) {
    options.idn = idn;
    options.version = version;
    startSim(options);
    ASSERT_TRUE(sim_);
    ifp_active(1);
    ifp_select_link(IO_TCP, sim_->options().address.c_str());
    commit(ifp_panel(), IFP_PANEL_OPEN, 1);
    ASSERT_EQ(ifp_get_ifready(), 1);
}

void RunTest::startRun(const std::string& idn, const std::string& version, sim::Options options) {
    ASSERT_NO_FATAL_FAILURE(openLink(idn, version, options));
    ifc_set_read_wait_ticks(0);
    ifc_measurement_start();
    ASSERT_GE(ifcP, 0);
}

int RunTest::runSweep(int maxTurns) {
    for (int turn = 1; turn <= maxTurns; ++turn) {
        readBack();
        hl::deliver();
        if (!ifc_sweep_on() && !ifc_get_dcsw_active())
            return turn;
    }
    return -1;
}

std::vector<double> RunTest::sentFrequencies() const {
    static const std::string head = "IM:OUTP:SINE:FREQ ";
    std::vector<double> out;
    for (const std::string& line : log())
        if (line.rfind(head, 0) == 0)
            out.push_back(std::strtod(line.c_str() + head.size(), nullptr));
    return out;
}

void commit(int panel, int control, const ui::Value& value) {
    EXPECT_EQ(hl::commit(panel, control, value), 0) << "control " << control;
    hl::deliver();
}

void pick(int menuBar, int item) {
    EXPECT_EQ(hl::pickMenu(menuBar, item), 0) << "menu item " << item;
    hl::deliver();
}

template <class T>
T value(int panel, int control) {
    T v{};
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0) << "control " << control;
    return v;
}
int mainInt(int control) { return value<int>(ifcP, control); }
double mainDouble(int control) { return value<double>(ifcP, control); }
double ctrlDouble(int panel, int control) { return value<double>(panel, control); }

int attribute(int panel, int control, int attr) {
    int v = -1;
    GetCtrlAttribute(panel, control, attr, &v);
    return v;
}

double confirmed(double requested) {
    return static_cast<double>(std::strtof(sim::formatFixed(sim::ddsFrequency(requested), 6).c_str(), nullptr));
}

int graphPoints(int panel, int control, int color) {
    const auto& plots = ui::panel(panel)->control(control)->graph.plots;
    return static_cast<int>(std::count_if(plots.begin(), plots.end(), [color](const ui::Plot& p) {
        return !p.isLine && (color < 0 || p.color == color);
    }));
}

std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const auto& p : hl::popups())
        if (p.kind == hl::PopupRecord::Message)
            out.push_back(p.title + "|" + p.text);
    return out;
}

struct UiScript::State {
    std::vector<Step> steps;
    std::size_t next = 0;
    bool timedOut = false;
    std::atomic<bool> stop{false};
    void check() {
        if (next < steps.size() && steps[next].first())
            steps[next++].second();
        stop = next == steps.size();
    }
};

UiScript::UiScript(std::vector<Step> steps, int limitMs) : state_(std::make_shared<State>()) {
    state_->steps = std::move(steps);
    thread_ = std::thread([state = state_, limitMs] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!state->stop) {
            // A polling interval for the conditions, not a wait for an event.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const bool late = std::chrono::steady_clock::now() > end;
            ui::postAction([state, late] {
                if (!late)
                    return state->check();
                state->timedOut = state->stop = true;
                hl::closePanel(ifp_panel());
            });
            if (late)
                return;
        }
    });
}

UiScript::~UiScript() {
    state_->stop = true;
    thread_.join();
}

bool UiScript::finished() const { return state_->next == state_->steps.size() && !state_->timedOut; }

int runMain() {
    static char name[] = "imbench";
    static char* argv[] = {name, nullptr};
    return ifc_main(1, argv);
}

bool runMainWith(std::vector<UiScript::Step> steps) {
    UiScript script(std::move(steps));
    return runMain() == 0 && script.finished();
}

void openTcp(const std::string& address, int deviceMode) {
    const int panel = ifp_panel();
    ASSERT_GE(panel, 0);
    SetCtrlVal(panel, IFP_PANEL_DEVMODE, deviceMode);
    ifp_select_link(IO_TCP, address.c_str());
    ASSERT_EQ(hl::commit(panel, IFP_PANEL_OPEN, 1), 0);
}

} // namespace tsupport
