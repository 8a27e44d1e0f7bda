// imbench: the desktop tool for programmable power instruments.
//
//   imbench              the tool in its windows
//   imbench --headless   without windows (automation; pop-ups are recorded, not shown)
//   imbench --demo       with a simulated instrument on a free loopback address,
//                        selected on the interface panel: press Open
//   imbench run ...      one measurement run without windows (imbench run --help)
//   imbench --demo --shots DIR
//                        the demo runs itself (a REPEAT sweep over three DC
//                        levels) and leaves the data file and screenshots in DIR
//   imbench --demo --device 1|2 [--shots DIR]
//                        the same with the load panel and a simulated load (1)
//                        or the supply panel and a simulated DC supply (2)
#include "app/demo.h"
#include "app/ifc.h"
#include "app/run_command.h"
#include "ui/qt/qt_renderer.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

void usage(std::FILE* to)
{
    std::fputs("usage: imbench [--headless] [--demo [--device N] [--shots DIR]]\n"
               "       imbench run ...  (a measurement run without windows; imbench run --help)\n"
               "  --headless   run without windows (pop-ups are recorded, not shown)\n"
               "  --demo       start a simulated instrument on a free loopback address and\n"
               "               select it on the interface panel; press Open to connect.\n"
               "               With --headless the demo opens the link itself, sweeps\n"
               "               10 to 100 Hz, prints the message log, the instrument and\n"
               "               the points, and ends.\n"
               "  --shots DIR  with --demo: the demo runs itself, a REPEAT sweep from 1 Hz\n"
               "               to 10 kHz over three DC levels, then writes the data file\n"
               "               demo-sweep.dat and screenshots of every window (demo-*.png)\n"
               "               into DIR and ends. Works without a display\n"
               "               (QT_QPA_PLATFORM=offscreen).\n"
               "  --device N   with --demo: the device mode, 0 the measurement tool (the\n"
               "               default), 1 the electronic-load panel against a simulated\n"
               "               load, 2 the DC supply panel against a simulated supply; with\n"
               "               --shots their windows are written as load-*.png, epower-*.png.\n",
        to);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "run") == 0)
        return run_command(argc, argv);
    bool headless = false;
    bool demo = false;
    std::string shots;
    int device = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else if (std::strcmp(argv[i], "--shots") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            shots = argv[++i];
        } else if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) {
            const std::string n = argv[++i];
            if (n != "0" && n != "1" && n != "2") {
                std::fprintf(stderr, "imbench: --device takes 0, 1 or 2, not %s\n", n.c_str());
                return 2;
            }
            device = n[0] - '0';
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
    if ((!shots.empty() || device != 0) && !demo) {
        std::fputs("imbench: --shots and --device need --demo\n", stderr);
        return 2;
    }

    if (!headless && !ui_qt_install(argc, argv)) {
        std::fputs("imbench: no window system to show the panels on (try --headless)\n", stderr);
        return 1;
    }
    ifc_register_all();

    std::unique_ptr<Demo> demoRun;
    if (demo) {
        std::string error;
        demoRun = Demo::start(headless, shots, device, &error);
        if (!demoRun) {
            std::fprintf(stderr, "imbench: the simulated instrument could not start: %s\n",
                error.c_str());
            return 1;
        }
    }

    int result = ifc_main(argc, argv);
    const bool demoFailed = demoRun && !demoRun->finish();
    if (!headless)
        ui_qt_uninstall();
    demoRun.reset();
    if (result == 0 && demoFailed)
        return 1;
    return result < 0 ? 1 : 0;
}
