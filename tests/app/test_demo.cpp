// The imbench executable: its headless demo starts the simulated instrument,
// opens the link, identifies the instrument and sweeps it; with --device 1 it
// runs the load panel against the simulated load.
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

TEST(Executable, HeadlessDemoIdentifiesAndSweepsTheSimulatedInstrument) {
    struct Case {
        const char* options;
        std::vector<const char*> texts;
    } cases[] = {
        {"", {"Instrument model IM3590-SIM, module version 1.20", "Sweep of 10 points:", "     100.001 Hz  |Z| 0.0"}},
        // 2 A from 12 V behind 50 mohm: 11.9 V and 23.8 W.
        {" --device 1", {"iowrite:MEAS:SUMM?", "Load readouts: 11.900V  23.800W"}},
    };
    for (const Case& c : cases) {
        tsupport::TempDir dir;
        tsupport::ScopedEnv project("IMBENCH_PROJECT_DIR", dir.path());
        tsupport::ScopedEnv ports("IMBENCH_PORTS", dir.file("ports.cfg"));
        tsupport::ScopedEnv links("IMBENCH_LINKS", dir.file("links.cfg"));
        std::string out;
        EXPECT_EQ(tsupport::runCommand(std::string(IMBENCH_EXE) + " --demo --headless" + c.options, &out), 0) << out;
        std::vector<const char*> texts = {"TCP,IP address 127.0.0.", " successful!", "iowrite:*IDN?"};
        texts.insert(texts.end(), c.texts.begin(), c.texts.end());
        for (const char* text : texts)
            EXPECT_NE(out.find(text), std::string::npos) << text << " missing in\n"
                                                         << out;
        EXPECT_FALSE(tsupport::readFile(dir.file("device.cfg"))) << "the device mode did not change";
        EXPECT_FALSE(tsupport::readFile(dir.file("links.cfg"))) << "the simulator's address is not the user's";
    }
}

} // namespace
