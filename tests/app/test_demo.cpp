// The imbench executable: its headless demo starts the simulated instrument,
// opens the link, identifies the instrument and sweeps it.
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

TEST(Executable, HeadlessDemoIdentifiesAndSweepsTheSimulatedInstrument) {
    tsupport::TempDir dir;
    tsupport::ScopedEnv project("IMBENCH_PROJECT_DIR", dir.path());
    tsupport::ScopedEnv ports("IMBENCH_PORTS", dir.file("ports.cfg"));
    tsupport::ScopedEnv links("IMBENCH_LINKS", dir.file("links.cfg"));
    std::FILE* p = popen((std::string(IMBENCH_EXE) + " --demo --headless 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
        out.append(buffer, n);
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    for (const char* text : {"TCP,IP address 127.0.0.", " successful!", "iowrite:*IDN?",
             "Instrument model IM3590-SIM, module version 1.20", "Sweep of 10 points:",
             "     100.001 Hz  |Z| 0.0"})
        EXPECT_NE(out.find(text), std::string::npos) << text << " missing in\n"
                                                     << out;
    EXPECT_FALSE(tsupport::readFile(dir.file("device.cfg"))) << "the device mode did not change";
    EXPECT_FALSE(tsupport::readFile(dir.file("links.cfg"))) << "the simulator's address is not the user's";
}

} // namespace
