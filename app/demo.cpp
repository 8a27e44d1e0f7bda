#include "app/demo.h"
#include "app/demo_load.h"

#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "platform/portmap.h"
#include "sim/sim.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/qt/qt_renderer.h"
#include "ui/resources/ifcPanel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// The demo instrument's serial port and GPIB address on the interface panel.
constexpr int DEMO_COM_PORT = 9;
// The headless demo gives up when the instrument is not identified and swept by then.
constexpr auto DEMO_HEADLESS_LIMIT = std::chrono::seconds(60);

} // namespace

// Starts the in-process simulator on the first loopback address where its
// ports are free.
std::unique_ptr<sim::Simulator> demo_instrument(double timeScale, std::string* error, int device)
{
    for (int host = 1; host < 40; ++host) {
        sim::Options o;
        o.timeScale = timeScale;
        o.kind = device == 1 ? sim::Kind::Load : device == 2 ? sim::Kind::Supply
                                                             : sim::Kind::Im;
        if (device == 2) {
            o.loadOhms = 8.0;
            o.faults.listCapacity = DEMO_SUPPLY_LIST_ENTRIES;
        }
        o.address = "127.0.0." + std::to_string(host);
        o.foreignAddress = "127.0.0.254";
        auto s = std::make_unique<sim::Simulator>(o);
        if (s->start())
            return s;
        *error = s->error();
    }
    return nullptr;
}

namespace {

// Points the interface panel at the demo instrument: TCP chosen, the monitor
// view open, and the COM and GPIB choices leading to the same instrument.
void preset_demo_panel(const sim::Simulator& s, int device)
{
    const sim::Options& o = s.options();
    const int panel = ifp_panel();
    if (panel < 0)
        return;
    SetCtrlVal(panel, IFP_PANEL_DEVMODE, device);
    SetCtrlVal(panel, IFP_PANEL_GPIBADDR, o.gpibAddress);
    SetCtrlVal(panel, IFP_PANEL_COMPORT, DEMO_COM_PORT);
    ifp_comport_cb(panel, IFP_PANEL_COMPORT, EVENT_COMMIT, nullptr, 0, 0);
    // Last: the choice made here is the demo's, not one the user would keep.
    ifp_select_link(IO_TCP, o.address.c_str());
    ifp_set_monitor_view(1);
    std::string note = "Demo: simulated instrument on " + o.address + " (TCP and UDP port " +
        std::to_string(s.tcpPort()) + ")";
    if (!s.ptyPath().empty())
        note += ", COM" + std::to_string(DEMO_COM_PORT) + " = " + s.ptyPath();
    note += ", GPIB address " + std::to_string(o.gpibAddress) + ".\nPress Open to connect.\n";
    ifp_printf("%s", note.c_str());
}

} // namespace

// Set once per measurement run; the Bode and Nyquist windows are shown too.
void demo_prepare_run(bool repeat)
{
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 1.0);
    SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, 50.0);
    ifc_send_output_level();
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 1.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 10000.0);
    const double levels[] = {1.0, 2.5, 4.0};
    for (int i = 0; i < 3; ++i)
        dcsw_set_step(i, levels[i], 50.0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1); // one SWEEP draws a curve per level
    if (nyP >= 0)
        SetCtrlVal(nyP, NYQUST_PANEL_CIRCUIT_MODE, 1); // the cell's semicircle
    for (int toggle : {MAIN_PANEL_BODE_GRAPH, MAIN_PANEL_NYQUST_GRAPH})
        fra_set_toggle(toggle, 1);
    if (repeat)
        SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    ifp_printf("Demo: the simulated battery at 1 V DC with 50 %% AC. Press SWEEP on the main "
               "panel; with REPEAT on, the sweep runs once per DC level of Sweep > DC sweep "
               "list (1, 2.5 and 4 V).\n");
}

namespace {

bool main_panel_up() { return ifcP >= 0 && ui::panel(ifcP) && ui::panel(ifcP)->visible; }

// Watches the application from another thread: each new measurement run
// gets the demo's operating point.  Without windows nobody presses Open or
// SWEEP: the demo does, prints what happened and closes the interface panel,
// which ends the application.
class DemoDriver final : public DemoWatcher {
public:
    // shotsDir: where a self-running demo leaves its data file and screenshots
    // (empty: none).  The demo runs itself when headless or taking shots.
    DemoDriver(bool headless, std::string shotsDir) : DemoWatcher(headless, std::move(shotsDir)) { watch(); }
    ~DemoDriver() override { stop(); }

private:
    void check() override
    {
        if (done_ || ifp_panel() < 0)
            return;
        if (main_panel_up() && ifcP != preparedPanel_) {
            preparedPanel_ = ifcP;
            demo_prepare_run(!shots_.empty());
            if (auto_)
                startSweep();
        }
        if (!auto_)
            return;
        const bool swept = sweeping_ && !ifc_sweep_on() && ifc_log_count() > 0;
        const bool late = std::chrono::steady_clock::now() - start_ > DEMO_HEADLESS_LIMIT;
        if (!swept && !late)
            return;
        report(swept);
        end(swept && (shots_.empty() || saveShots()));
    }

    // Headless: one short sweep, 10 to 100 Hz.  Shots: the whole demo, a REPEAT
    // run over the three DC levels with the meter shown.
    void startSweep()
    {
        if (shots_.empty()) {
            SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 10.0);
            SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 100.0);
            SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 0); // one short sweep is enough here
        } else {
            for (int toggle : {MAIN_PANEL_METER, MAIN_PANEL_VC_GRAPH})
                fra_set_toggle(toggle, 1);
        }
        sweeping_ = ui::headless::commit(ifcP, MAIN_PANEL_SWEEP, 1) == 0;
    }

    // The last sweep's points as a data file and every window as a picture.
    bool saveShots()
    {
        if (!make_shots_dir())
            return false;
        bool ok = true;
        const std::string dat = shots_ + "/demo-sweep.dat";
        const int n = static_cast<int>(std::min<uint32_t>(ifc_log_count(), IFC_LOG_SIZE));
        if (const std::string why = ifc_write_log_file(dat.c_str(), ifc_log_data(), n); !why.empty()) {
            std::fprintf(stderr, "imbench: cannot write %s: %s\n", dat.c_str(), why.c_str());
            ok = false;
        } else {
            std::printf("wrote %s\n", dat.c_str());
        }
        if (headless_)
            return ok;
        const std::pair<int, const char*> shots[] = {
            {ifp_panel(), "demo-interface.png"}, {ifcP, "demo-main.png"}, {zP, "demo-bode.png"},
            {nyP, "demo-nyquist.png"}, {meterP, "demo-meter.png"}, {vcP, "demo-vc.png"}};
        ProcessSystemEvents(); // let the windows paint the last points
        for (const auto& [panel, name] : shots)
            ok = grab(panel, name) && ok;
        return ok;
    }

    void report(bool swept)
    {
        print_log();
        if (ifc_get_im_version() > 0.0f)
            std::printf("Instrument model %s, module version %.2f\n", ifc_get_model(),
                static_cast<double>(ifc_get_im_version()));
        if (swept) {
            std::printf("Sweep of %u points:\n", static_cast<unsigned>(ifc_log_count()));
            const uint32_t n = std::min<uint32_t>(ifc_log_count(), IFC_LOG_SIZE);
            for (uint32_t i = 0; i < n; ++i) {
                const IfcPoint& pt = ifc_log_data()[i];
                std::printf("  %10.3f Hz  |Z| %.6f ohm  phase %7.2f deg\n", pt.freq, pt.zAmp,
                    pt.zPhase);
            }
        } else {
            std::printf("The simulated instrument was not identified and swept in time.\n");
        }
        std::fflush(stdout);
    }

    bool sweeping_ = false;
    int preparedPanel_ = -1;
};

} // namespace

struct Demo::Impl {
    std::unique_ptr<sim::Simulator> instrument;
    std::unique_ptr<DemoWatcher> driver;
    bool selfRunning = false;
};

std::unique_ptr<Demo> Demo::start(bool headless, const std::string& shotsDir, int device, std::string* error)
{
    // A self-running demo need not wait for the module's real measurement time.
    std::unique_ptr<sim::Simulator> instrument =
        demo_instrument(shotsDir.empty() ? 1.0 : 0.0, error, device);
    if (!instrument)
        return nullptr;
    portmap::overrideCom(DEMO_COM_PORT, instrument->ptyPath());
    portmap::overrideGpib(0, "prologix-tcp " + instrument->options().address + ":" + std::to_string(instrument->gpibPort()));
    // Runs at the first event turn, once the interface panel is up.
    const sim::Simulator* s = instrument.get();
    ui::postAction([s, device] { preset_demo_panel(*s, device); });

    std::unique_ptr<Demo> demo(new Demo);
    demo->impl_ = std::make_unique<Impl>();
    demo->impl_->instrument = std::move(instrument);
    if (device == 1) {
        demo->impl_->driver = demo_load_watcher(*demo->impl_->instrument, headless, shotsDir);
    } else if (device == 2) {
        demo_supply_preset(*demo->impl_->instrument);
        demo->impl_->driver = demo_supply_watcher(headless, shotsDir);
    } else {
        demo->impl_->driver = std::make_unique<DemoDriver>(headless, shotsDir);
    }
    demo->impl_->selfRunning = headless || !shotsDir.empty();
    return demo;
}

Demo::~Demo() = default;

bool Demo::finish()
{
    const bool ok = !impl_->selfRunning || (impl_->driver && impl_->driver->succeeded());
    impl_->driver.reset();
    return ok;
}
