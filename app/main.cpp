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
    std::fputs("usage: imbench [--headless] [--demo [--shots DIR]]\n"
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
               "               (QT_QPA_PLATFORM=offscreen).\n",
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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else if (std::strcmp(argv[i], "--shots") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            shots = argv[++i];
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
    if (!shots.empty() && !demo) {
        std::fputs("imbench: --shots needs --demo\n", stderr);
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
        demoRun = Demo::start(headless, shots, &error);
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
