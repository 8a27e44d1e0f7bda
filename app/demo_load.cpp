// The demo of the load panel (device mode 1): the simulated load on the
// interface panel, and a driver that sets an operating point once the panel
// is up.  Self-running, it also opens the sub-panels, trips a protection so
// the alarm shows, takes the pictures and ends the application.
#include "app/demo_load.h"

#include "eload/eload.h"
#include "eload/eloadPanel.h"
#include "link/ifp.h"
#include "sim/sim.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/qt/qt_renderer.h"
#include "ui/resources/ifcPanel.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <utility>

DemoWatcher::DemoWatcher(bool headless, std::string shotsDir)
    : headless_(headless), shots_(std::move(shotsDir)), auto_(headless || !shots_.empty()),
      start_(std::chrono::steady_clock::now())
{
    if (auto_)
        ui::postAction([] { ui::headless::commit(ifp_panel(), IFP_PANEL_OPEN, 1); });
}

void DemoWatcher::watch()
{
    watcher_ = std::thread([this] {
        while (!done_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ui::postAction([this] { check(); });
        }
    });
}

void DemoWatcher::stop()
{
    done_ = true;
    if (watcher_.joinable())
        watcher_.join();
}

void DemoWatcher::print_log()
{
    if (const ui::Panel* p = ui::panel(ifp_panel()))
        for (const auto& line : p->control(IFP_PANEL_MSG)->lines)
            std::printf("%s\n", line.c_str());
}

bool DemoWatcher::make_shots_dir() const
{
    if (mkdir(shots_.c_str(), 0777) == 0 || errno == EEXIST)
        return true;
    std::fprintf(stderr, "imbench: cannot create %s: %s\n", shots_.c_str(), std::strerror(errno));
    return false;
}

bool DemoWatcher::grab(int panel, const char* name) const
{
    const std::string path = shots_ + "/" + name;
    if (panel >= 0 && ui_qt_grab_panel(panel, path.c_str())) {
        std::printf("wrote %s\n", path.c_str());
        return true;
    }
    std::fprintf(stderr, "imbench: cannot write %s\n", path.c_str());
    return false;
}

void DemoWatcher::end(bool succeeded)
{
    succeeded_ = succeeded;
    done_ = true;
    ui::headless::closePanel(ifp_panel());
}

namespace {

// Measurement cycles the self-running demo lets pass before its pictures.
constexpr int DEMO_LOAD_CYCLES = 3;
constexpr auto DEMO_LOAD_LIMIT = std::chrono::seconds(60);

bool shown(int panel)
{
    const ui::Panel* p = ui::panel(panel);
    return p && p->visible;
}

std::string readout(int control)
{
    std::string text;
    GetCtrlVal(eload_panel(ELOAD_MAIN), control, &text);
    return text;
}

// Sets a toggle as a user would and delivers its callback.
void press(int panel, int control, int value)
{
    if (ui::headless::commit(panel, control, value) == 0)
        ui::headless::deliver();
}

class LoadDemoDriver final : public DemoWatcher {
public:
    LoadDemoDriver(sim::Simulator& instrument, bool headless, std::string shotsDir)
        : DemoWatcher(headless, std::move(shotsDir)), sim_(instrument)
    {
        watch();
    }
    ~LoadDemoDriver() override { stop(); }

private:
    // The operating point: 2 A constant current from the simulated 12 V
    // source, readout B on power.
    void prepare(int mainP)
    {
        SetCtrlVal(mainP, ELOAD_MAIN_SEL_B, 3);
        SetCtrlVal(mainP, ELOAD_MAIN_LEVEL, 2.0);
        range_control_cb(mainP, ELOAD_MAIN_LEVEL, EVENT_COMMIT, nullptr, 0, 0);
        press(mainP, ELOAD_MAIN_INPUT, 1);
        ifp_printf("Demo: the simulated load draws 2 A in constant current from a 12 V source "
                   "behind 50 mohm; readout A shows the voltage, readout B the power.\n");
    }

    void check() override
    {
        if (done_ || ifp_panel() < 0)
            return;
        const int mainP = eload_panel(ELOAD_MAIN);
        if (mainP >= 0 && shown(mainP) && mainP != preparedPanel_) {
            preparedPanel_ = mainP;
            prepare(mainP);
            preparedAt_ = std::chrono::steady_clock::now();
        }
        if (!auto_)
            return;
        const auto now = std::chrono::steady_clock::now();
        const bool late = now - start_ > DEMO_LOAD_LIMIT;
        const bool ready = preparedPanel_ >= 0 && now - preparedAt_ > DEMO_LOAD_CYCLES * std::chrono::seconds(1);
        if (!ready && !late)
            return;
        if (ready && !shots_.empty() && !headless_ && !pictured_) {
            if (!pictures(mainP))
                return; // waits for the alarm lamp's lit phase
        }
        report(ready);
        end(ready && (shots_.empty() || headless_ || picturesOk_));
    }

    // Step by step over several checks: the sub-panels first, then a tripped
    // over-current protection with the alarm panel; true when done.
    bool pictures(int mainP)
    {
        switch (step_++) {
        case 0:
            if (!make_shots_dir()) {
                pictured_ = true;
                return true;
            }
            picturesOk_ = grab(mainP, "load-main.png");
            press(mainP, ELOAD_MAIN_TRAN, 1);
            press(eload_panel(ELOAD_TRAN), ELOAD_TRAN_STEP, 1);
            press(mainP, ELOAD_MAIN_PROT, 1);
            press(mainP, ELOAD_MAIN_OPTI, 1);
            return false;
        case 1:
            picturesOk_ &= grab(eload_panel(ELOAD_TRAN), "load-transient.png");
            picturesOk_ &= grab(eload_panel(ELOAD_PROT), "load-protection.png");
            picturesOk_ &= grab(eload_panel(ELOAD_OPTI), "load-options.png");
            press(mainP, ELOAD_MAIN_TRAN, 0);
            press(mainP, ELOAD_MAIN_PROT, 0);
            press(mainP, ELOAD_MAIN_OPTI, 0);
            // 2 A is over a 1.5 A limit: the load trips and latches its alarm.
            for (const char* command : {"CURR:PROT:OVER 1.5", "CURR:PROT:OVER:DELAY 0", "CURR:PROT:STATE 1"})
                sim_.instrument().execute(command);
            status_event_cb(mainP, ELOAD_MAIN_ALARM, EVENT_LEFT_CLICK, nullptr, 0, 0);
            return false;
        default: {
            int lamp = 0;
            GetCtrlVal(mainP, ELOAD_MAIN_ALARM, &lamp);
            if (lamp == 0 && step_ < 60)
                return false;
            picturesOk_ &= grab(eload_panel(ELOAD_ALARM), "load-alarm.png");
            picturesOk_ &= grab(mainP, "load-main-alarm.png");
            pictured_ = true;
            return true;
        }
        }
    }

    void report(bool ready)
    {
        print_log();
        if (ready)
            std::printf("Load readouts: %s  %s\n", readout(ELOAD_MAIN_READ_A).c_str(),
                readout(ELOAD_MAIN_READ_B).c_str());
        else
            std::printf("The simulated load's panel did not come up in time.\n");
        std::fflush(stdout);
    }

    sim::Simulator& sim_;
    std::chrono::steady_clock::time_point preparedAt_;
    bool pictured_ = false;
    bool picturesOk_ = false;
    int step_ = 0;
    int preparedPanel_ = -1;
};

} // namespace

std::unique_ptr<DemoWatcher> demo_load_watcher(sim::Simulator& instrument, bool headless, const std::string& shotsDir)
{
    return std::make_unique<LoadDemoDriver>(instrument, headless, shotsDir);
}
