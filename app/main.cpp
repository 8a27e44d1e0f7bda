// imbench: the desktop tool for programmable power instruments.
//
//   imbench              the tool in its windows
//   imbench --headless   without windows (automation; pop-ups are recorded, not shown)
//   imbench --demo       with a simulated instrument on a free loopback address,
//                        selected on the interface panel: press Open
#include "app/fra.h"
#include "app/ifc.h"
#include "displays/displays.h"
#include "link/ifp.h"
#include "link/io.h"
#include "platform/portmap.h"
#include "sim/sim.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/qt/qt_renderer.h"
#include "ui/resources/debug.h"
#include "ui/resources/ifcPanel.h"
#include "util/kv_util.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

// The demo instrument's serial port and GPIB address on the interface panel.
constexpr int DEMO_COM_PORT = 9;
// The headless demo gives up when the instrument is not identified by then.
constexpr auto DEMO_HEADLESS_LIMIT = std::chrono::seconds(20);

void usage(std::FILE* to)
{
    std::fputs("usage: imbench [--headless] [--demo]\n"
               "  --headless  run without windows (pop-ups are recorded, not shown)\n"
               "  --demo      start a simulated instrument on a free loopback address and\n"
               "              select it on the interface panel; press Open to connect.\n"
               "              With --headless the demo opens the link itself, prints the\n"
               "              message log and the instrument it found, and ends.\n",
               to);
}

void register_everything()
{
    ifcPanel_register_resource();
    debug_register_resource();
    ifp_register_callbacks();
    kv_util_register_callbacks();
    displays_register_callbacks();
    fra_register_callbacks();
}

// Starts the in-process simulator on the first loopback address where its
// ports are free.
std::unique_ptr<sim::Simulator> start_demo_instrument(std::string* error)
{
    for (int host = 1; host < 40; ++host) {
        sim::Options o;
        o.address = "127.0.0." + std::to_string(host);
        o.foreignAddress = host == 254 ? "127.0.0.253" : "127.0.0.254";
        auto s = std::make_unique<sim::Simulator>(o);
        if (s->start())
            return s;
        *error = s->error();
    }
    return nullptr;
}

// Points the interface panel at the demo instrument: TCP chosen, the monitor
// view open, and the COM and GPIB choices leading to the same instrument.
void preset_demo_panel(const sim::Simulator& s)
{
    const sim::Options& o = s.options();
    ifp_select_link(IO_TCP, o.address.c_str());
    ifp_set_monitor_view(1);
    const int panel = ifp_panel();
    if (panel < 0)
        return;
    SetCtrlVal(panel, IFP_PANEL_GPIBADDR, o.gpibAddress);
    SetCtrlVal(panel, IFP_PANEL_COMPORT, DEMO_COM_PORT);
    ifp_comport_cb(panel, IFP_PANEL_COMPORT, EVENT_COMMIT, nullptr, 0, 0);
    std::string note = "Demo: simulated instrument on " + o.address + " (TCP and UDP port " +
                       std::to_string(s.tcpPort()) + ")";
    if (!s.ptyPath().empty())
        note += ", COM" + std::to_string(DEMO_COM_PORT) + " = " + s.ptyPath();
    note += ", GPIB address " + std::to_string(o.gpibAddress) + ".\nPress Open to connect.\n";
    ifp_printf("%s", note.c_str());
}

// Without windows nobody presses Open: the demo does, waits for the
// measurement run to identify the instrument, prints what happened and
// closes the interface panel, which ends the application.
class HeadlessDemo {
public:
    HeadlessDemo() : start_(std::chrono::steady_clock::now())
    {
        ui::postAction([] {
            ui::headless::commit(ifp_panel(), IFP_PANEL_OPEN, 1);
        });
        watcher_ = std::thread([this] {
            while (!done_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                ui::postAction([this] { check(); });
            }
        });
    }
    ~HeadlessDemo()
    {
        done_ = true;
        watcher_.join();
    }
    bool succeeded() const { return succeeded_; }

private:
    void check()
    {
        if (done_ || ifp_panel() < 0)
            return;
        const bool identified = ifp_get_ifready() && ifc_get_im_version() > 0.0f;
        const bool late = std::chrono::steady_clock::now() - start_ > DEMO_HEADLESS_LIMIT;
        if (!identified && !late)
            return;
        if (const ui::Panel* p = ui::panel(ifp_panel()))
            for (const auto& line : p->control(IFP_PANEL_MSG)->lines)
                std::printf("%s\n", line.c_str());
        if (identified)
            std::printf("Instrument model %s, module version %.2f\n", ifc_get_model(),
                        static_cast<double>(ifc_get_im_version()));
        else
            std::printf("The simulated instrument was not identified in time.\n");
        std::fflush(stdout);
        succeeded_ = identified;
        done_ = true;
        ui::headless::closePanel(ifp_panel());
    }

    std::chrono::steady_clock::time_point start_;
    std::atomic<bool> done_{false};
    bool succeeded_ = false;
    std::thread watcher_;
};

}  // namespace

int main(int argc, char** argv)
{
    bool headless = false;
    bool demo = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        } else if (std::strncmp(argv[i], "--", 2) == 0) {
            std::fprintf(stderr, "imbench: unknown option %s\n", argv[i]);
            usage(stderr);
            return 2;
        }
        // Anything else (-platform offscreen, -style ...) is Qt's.
    }

    if (!headless && !ui_qt_install(argc, argv)) {
        std::fputs("imbench: no window system to show the panels on (try --headless)\n", stderr);
        return 1;
    }
    register_everything();

    std::unique_ptr<sim::Simulator> instrument;
    if (demo) {
        std::string error;
        instrument = start_demo_instrument(&error);
        if (!instrument) {
            std::fprintf(stderr, "imbench: the simulated instrument could not start: %s\n",
                         error.c_str());
            return 1;
        }
        portmap::overrideCom(DEMO_COM_PORT, instrument->ptyPath());
        portmap::overrideGpib(0, "prologix-tcp " + instrument->options().address + ":" +
                                     std::to_string(instrument->gpibPort()));
        // Runs at the first event turn, once the interface panel is up.
        const sim::Simulator* s = instrument.get();
        ui::postAction([s] { preset_demo_panel(*s); });
    }

    std::unique_ptr<HeadlessDemo> headlessDemo;
    if (demo && headless)
        headlessDemo = std::make_unique<HeadlessDemo>();

    int result = ifc_main(argc, argv);
    bool demoFailed = headlessDemo && !headlessDemo->succeeded();
    headlessDemo.reset();
    if (!headless)
        ui_qt_uninstall();
    instrument.reset();
    if (result == 0 && demoFailed)
        return 1;
    return result < 0 ? 1 : 0;
}
