#include "app/run_command.h"

#include "app/demo.h"
#include "app/ifc.h"
#include "app/runner.h"
#include "link/io.h"
#include "ui/qt/picture.h"
#include "ui/toolkit.h"

#include <csignal>
#include <cstdio>

int run_command(int argc, char** argv)
{
    RunnerOptions options;
    std::string error;
    if (!runner_parse(std::vector<std::string>(argv + 2, argv + argc), &options, &error)) {
        std::fprintf(stderr, "imbench run: %s\n%s", error.c_str(), runner_usage());
        return RUNNER_USAGE;
    }
    if (options.help) {
        std::fputs(runner_usage(), stdout);
        return RUNNER_OK;
    }
    // A write to a pipe whose reader has gone must fail, not end the run unsaved.
    std::signal(SIGPIPE, SIG_IGN);
    InitCVIRTE(nullptr, argv, nullptr);
    SetBreakOnLibraryErrors(0);
    ifc_register_all();
    // The graphs are drawn for their pictures without any window.
    if (options.pictures)
        ui_qt_enable_pictures();

    std::unique_ptr<sim::Simulator> instrument;
    if (options.demo) {
        instrument = demo_instrument(0.0, &error);
        if (!instrument) {
            std::fprintf(stderr, "imbench run: the simulated instrument could not start: %s\n",
                error.c_str());
            return RUNNER_LINK;
        }
        options.linkKind = IO_TCP;
        options.address = instrument->options().address;
        options.prepare = [] { demo_prepare_run(true); };
    }
    return runner_run(options, stderr);
}
