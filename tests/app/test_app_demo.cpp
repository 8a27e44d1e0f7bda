// The imbench executable itself: its options, and the headless demo that
// starts the simulated instrument, opens the link, identifies it and sweeps.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

struct ExeRun {
    int exitCode = -1;
    std::string output;
};

ExeRun run(const std::string& args)
{
    ExeRun r;
    const std::string command = std::string(IMBENCH_EXE) + " " + args + " 2>&1";
    std::FILE* p = popen(command.c_str(), "r");
    if (!p)
        return r;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        r.output.append(buffer, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class ImbenchExe : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "imbench-exe-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("IMBENCH_PROJECT_DIR", dir_.c_str(), 1);
        setenv("IMBENCH_PORTS", (dir_ + "/ports.cfg").c_str(), 1);
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string dir_;
};

TEST_F(ImbenchExe, HeadlessDemoIdentifiesTheSimulatedInstrument)
{
    const ExeRun r = run("--demo --headless");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("TCP,IP address 127.0.0."), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(" successful!"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("iowrite:*IDN?"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Instrument model IM3590-SIM, module version 1.20"),
              std::string::npos)
        << r.output;
    // Then it sweeps the simulated battery from 10 to 100 Hz.
    EXPECT_NE(r.output.find("Sweep of 10 points:"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("     100.001 Hz  |Z| 0.0"), std::string::npos) << r.output;
    // Nothing about the device mode changed, so no device.cfg was written.
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/device.cfg"));
}

// Without a display the demo still leaves what a user would have seen: the
// data file of the last sweep of its REPEAT run and a picture of every window.
TEST_F(ImbenchExe, ShotsDemoWritesTheDataFileAndEveryWindow)
{
    const std::string out = dir_ + "/shots";
    const ExeRun r = run("--demo --shots " + out + " -platform offscreen");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    for (const char* name : {"demo-interface.png", "demo-main.png", "demo-bode.png", "demo-nyquist.png",
                             "demo-meter.png", "demo-vc.png"}) {
        const std::string path = out + "/" + name;
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        EXPECT_GT(std::filesystem::file_size(path), 1000u) << path;
    }
    std::FILE* f = std::fopen((out + "/demo-sweep.dat").c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[512];
    int lines = 0;
    std::string first;
    while (std::fgets(line, sizeof line, f)) {
        if (lines++ == 0) first = line;
    }
    std::fclose(f);
    EXPECT_EQ(first.rfind(";Frequency     Imped. Real   ", 0), 0u) << first;
    // 1 Hz to 10 kHz by decades is 37 points, after the title and rule lines.
    EXPECT_EQ(lines, 2 + 37);
}

TEST_F(ImbenchExe, OptionsAreChecked)
{
    ExeRun r = run("--help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("usage: imbench"), std::string::npos);
    r = run("--headless --no-such-option");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("unknown option --no-such-option"), std::string::npos);
    r = run("--headless --shots " + dir_);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("--shots needs --demo"), std::string::npos);
}

}  // namespace
