// The demo of the supply panel (device mode 2): the simulated DC supply on
// the interface panel with set points and two lists to look at.
// Self-running, the driver switches the output on, opens the protection,
// list and alarm panels, lets a few cycles pass, takes the pictures and ends
// the application.
#include "app/demo_load.h"

#include "epower/epower.h"
#include "epower/epowerPanel.h"
#include "link/ifp.h"
#include "sim/sim.h"
#include "ui/headless.h"
#include "ui/model.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

constexpr auto DEMO_SUPPLY_RUN = std::chrono::milliseconds(2500);
constexpr auto DEMO_SUPPLY_LIMIT = std::chrono::seconds(60);

void preset_demo_supply(sim::Simulator& s)
{
    sim::Instrument& in = s.instrument();
    for (int n = 1; n <= DEMO_SUPPLY_LIST_ENTRIES; ++n) {
        const std::string entry = std::to_string(n) + " ";
        in.execute("LIST:VOLT " + entry + std::to_string(2.0 * n));
        in.execute("LIST:VOLT:TIME " + entry + std::to_string(250 * (1 + n % 4)));
        in.execute("LIST:CURR " + entry + std::to_string(0.5 + 0.25 * n));
        in.execute("LIST:CURR:TIME " + entry + "500");
    }
    in.execute("VSET 12");
    in.execute("ISET 2");
    in.clearLog();
}

bool panel_up(int handle) { return handle >= 0 && ui::panel(handle) && ui::panel(handle)->visible; }

class SupplyDemoDriver final : public DemoWatcher {
public:
    SupplyDemoDriver(bool headless, std::string shotsDir) : DemoWatcher(headless, std::move(shotsDir)) { watch(); }
    ~SupplyDemoDriver() override { stop(); }

private:
    void check() override
    {
        const int main = epower_panel_main();
        if (done_ || !auto_ || !panel_up(main))
            return;
        const auto now = std::chrono::steady_clock::now();
        if (!started_) {
            started_ = true;
            startedAt_ = now;
            for (int toggle : {EPOWER_MAIN_OUTPUT, EPOWER_MAIN_PROT, EPOWER_MAIN_LIST})
                ui::headless::commit(main, toggle, 1);
            ui::headless::click(main, EPOWER_MAIN_ALARM);
        }
        const bool late = now - start_ > DEMO_SUPPLY_LIMIT;
        if (now - startedAt_ < DEMO_SUPPLY_RUN && !late)
            return;
        std::string readout;
        GetCtrlVal(main, EPOWER_MAIN_READOUT, &readout);
        std::printf("Supply %s: readout %s\n", ifp_get_ifready() ? "running" : "not answering", readout.c_str());
        std::fflush(stdout);
        const bool measured = readout.find("12.00V") != std::string::npos;
        bool pictures = true;
        if (measured && !shots_.empty() && !headless_) {
            ProcessSystemEvents(); // let the windows paint what they show now
            pictures = make_shots_dir();
            const std::pair<int, const char*> shots[] = {{ifp_panel(), "demo-interface-supply.png"},
                {main, "epower-main.png"}, {epower_panel_prot(), "epower-protection.png"},
                {epower_panel_list(), "epower-list.png"}, {epower_panel_alarm(), "epower-alarm.png"}};
            for (const auto& [panel, name] : shots)
                pictures = pictures && grab(panel, name);
        }
        end(measured && pictures);
    }

    bool started_ = false;
    std::chrono::steady_clock::time_point startedAt_;
};

} // namespace

void demo_supply_preset(sim::Simulator& instrument) { preset_demo_supply(instrument); }

std::unique_ptr<DemoWatcher> demo_supply_watcher(bool headless, const std::string& shotsDir)
{
    return std::make_unique<SupplyDemoDriver>(headless, shotsDir);
}
