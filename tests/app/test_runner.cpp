// imbench run against the simulator: a REPEAT run over TCP and UDP leaves
// every trace in the CSV, each number equal to the reading the read-back
// took; every exit code; the executable's options and its demo; and
// File > Export Traces... on the main panel.
#include "app/fra.h"
#include "app/runner.h"
#include "displays/traces.h"
#include "link/io.h"
#include "sim/model.h"
#include "tests/support/run_fixture.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

using tsupport::readFile;
using tsupport::writeFile;

constexpr char kRepeatProfile[] = "[SWEEP]\nFREQUENCY START = 10\nFREQUENCY STOP = 1000\n"
                                  "X-AXIS DB = 1\nREPEAT = 1\n\n[BACKDOOR]\nDCSW_LIST = "
                                  "\"1.0 20.0 2.0 20.0 3.0 20.0 \"\n";

// The data rows of a trace CSV (after its "#" lines and column titles) or of
// a three-column file, each number parsed exactly; {} on a malformed row.
std::vector<std::vector<double>> csvRows(const std::string& text, bool titled = true) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    std::string line;
    while (titled && std::getline(in, line) && line[0] == '#') {
    }
    while (std::getline(in, line)) {
        std::vector<double> row;
        for (const char *at = line.data(), *end = at + line.size(); at <= end; ++at) {
            double v = 0.0;
            const auto r = std::from_chars(at, end, v);
            if (r.ec != std::errc{} || (r.ptr != end && *r.ptr != ','))
                return {};
            row.push_back(v);
            at = r.ptr;
        }
        rows.push_back(row);
    }
    return rows;
}

class Runner : public tsupport::RunTest {
protected:
    RunnerOptions linkTo(int kind) {
        RunnerOptions o;
        o.linkKind = kind;
        o.address = sim_ ? sim_->options().address : "";
        o.out = dir_.file("out");
        return o;
    }
    int run(const RunnerOptions& o, std::string* messages = nullptr,
        const std::function<void(const RunnerProgress&)>& onPoint = {}) {
        std::FILE* f = std::tmpfile();
        const int code = runner_run(o, f, onPoint);
        std::rewind(f);
        std::string text;
        for (int c; (c = std::fgetc(f)) != EOF;)
            text += static_cast<char>(c);
        std::fclose(f);
        if (messages)
            *messages = text;
        return code;
    }
};

class RunnerLinks : public Runner, public ::testing::WithParamInterface<int> { };

TEST_P(RunnerLinks, RepeatRunKeepsEveryTraceEqualToTheReadings) {
    sim::Options options = tsupport::tcpOnlyOptions();
    options.udp = GetParam() == IO_UDP;
    ASSERT_NE(startSim(options), "");
    ASSERT_TRUE(writeFile(dir_.file("repeat.ini"), kRepeatProfile));
    RunnerOptions o = linkTo(GetParam());
    o.profile = dir_.file("repeat.ini");
    o.saveProfile = dir_.file("saved.ini");
    std::vector<RunnerProgress> progress;
    std::string messages;
    ASSERT_EQ(run(o, &messages, [&](const RunnerProgress& p) { progress.push_back(p); }), RUNNER_OK)
        << messages;

    std::vector<double> want; // the frequencies the module confirms, decade stepping
    for (double f : {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000})
        want.push_back(tsupport::confirmed(f));
    const std::vector<std::vector<double>> rows = csvRows(readFile(dir_.file("out/traces.csv")).value_or(""));
    const std::vector<Trace>& traces = traces_all();
    ASSERT_EQ(traces.size(), 3u);
    ASSERT_EQ(rows.size(), 3 * want.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t k = i / want.size(), n = i % want.size();
        const TracePoint& p = traces[k].points[n];
        const std::vector<double> expect = {double(k + 1), double(k + 1), want[n], p.zReal, p.zImag, p.zAmp,
            p.zPhase, p.voltAmp, p.voltPhase, p.currAmp, p.currPhase};
        EXPECT_EQ(rows[i], expect) << "row " << i;
        // Z' and Z'' belong to |Z| and its phase: no column is swapped.
        EXPECT_NEAR(rows[i][3], rows[i][5] * std::cos(rows[i][6] * M_PI / 180.0), 1e-6 * rows[i][5]);
    }
    // The last sweep is also what the read-back logged for the data file.
    ASSERT_EQ(ifc_log_count(), want.size());
    for (std::size_t n = 0; n < want.size(); ++n) {
        const IfcPoint& p = ifc_log_data()[n];
        const std::vector<double>& r = rows[2 * want.size() + n];
        EXPECT_TRUE(r[2] == p.freq && r[5] == p.zAmp && r[6] == p.zPhase && r[9] == p.currAmp) << n;
    }
    const std::string dat = readFile(dir_.file("out/sweep.dat")).value_or("");
    EXPECT_EQ(std::count(dat.begin(), dat.end(), '\n'), 2 + static_cast<long>(want.size()));
    EXPECT_EQ(csvRows(readFile(dir_.file("out/traces-trace2.csv")).value_or(""), false).size(), want.size());
    const std::string saved = readFile(dir_.file("saved.ini")).value_or("");
    EXPECT_NE(saved.find("REPEAT = 1"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"1.000000 20.000000 2.000000 20.000000 3.000000"), std::string::npos) << saved;
    EXPECT_NE(readFile(dir_.file("out/messages.log")).value_or("").find("*IDN?"), std::string::npos);

    ASSERT_EQ(progress.size(), rows.size());
    EXPECT_EQ(progress.back().step, 3);
    EXPECT_EQ(progress.back().point, 19);
    EXPECT_EQ(progress.front().points, 19);
    EXPECT_EQ(progress.back().secondsLeft, 0.0);
    EXPECT_NE(messages.find("step 2/3  point 7/19  time left"), std::string::npos) << messages;
}

INSTANTIATE_TEST_SUITE_P(TcpAndUdp, RunnerLinks, ::testing::Values(IO_TCP, IO_UDP),
    [](const ::testing::TestParamInfo<int>& p) { return p.param == IO_TCP ? std::string("Tcp") : std::string("Udp"); });

TEST_F(Runner, EachFailureHasItsExitCode) {
    sim::Options options = tsupport::tcpOnlyOptions();
    options.udp = true;
    ASSERT_NE(startSim(options), "");
    ASSERT_TRUE(writeFile(dir_.file("repeat.ini"), kRepeatProfile));
    ASSERT_TRUE(writeFile(dir_.file("nolist.ini"), "[SWEEP]\nREPEAT = 1\n"));
    ASSERT_TRUE(writeFile(dir_.file("a-file"), "x"));
    struct Row {
        const char* name;
        std::function<void(RunnerOptions&)> setup;
        int code;
        const char* says;
    };
    const Row rows[] = {
        {"profile missing", [&](RunnerOptions& o) { o.profile = dir_.file("none.ini"); }, RUNNER_USAGE,
            "cannot read the profile"},
        {"out is a file", [&](RunnerOptions& o) { o.out = dir_.file("a-file"); }, RUNNER_FILE, "is not a folder"},
        {"profile not writable", [&](RunnerOptions& o) { o.saveProfile = dir_.file("no/such.ini"); },
            RUNNER_FILE, "cannot write the profile"},
        {"REPEAT without a DC step", [&](RunnerOptions& o) { o.profile = dir_.file("nolist.ini"); },
            RUNNER_NOT_RUN, "did not start"},
        {"instrument stops answering",
            [&](RunnerOptions& o) {
                o.linkKind = IO_UDP;
                o.profile = dir_.file("repeat.ini");
                o.stallSeconds = 0.5;
            },
            RUNNER_SILENT, "stopped answering"},
        {"nothing listens",
            [&](RunnerOptions&) { sim_.reset(); }, // its address stays the link's
            RUNNER_LINK, "cannot open the link tcp:127."},
    };
    for (const Row& row : rows) {
        RunnerOptions o = linkTo(IO_TCP);
        row.setup(o);
        std::string messages;
        const int code = run(o, &messages, [this](const RunnerProgress& p) {
            // Three readings in, every request is lost from then on.
            if (p.point == 3) {
                sim::Faults f;
                f.udpLoseRequest = 1 << 30;
                sim_->setFaults(f);
            }
        });
        EXPECT_EQ(code, row.code) << row.name << "\n"
                                  << messages;
        EXPECT_NE(messages.find(row.says), std::string::npos) << row.name << "\n"
                                                              << messages;
    }
}

TEST(RunnerCommand, OptionsAndTheDemo) {
    tsupport::TempDir dir;
    tsupport::ScopedEnv project("IMBENCH_PROJECT_DIR", dir.path());
    tsupport::ScopedEnv ports("IMBENCH_PORTS", dir.file("ports.cfg"));
    const struct {
        std::string args;
        int code;
        const char* says;
    } rows[] = {
        {"run --help", 0, "Exit codes: 0 done"},
        {"run --out " + dir.path(), 2, "--link or --demo is needed"},
        {"run --link tcp:localhost --out " + dir.path(), 2, "expected tcp:ADDR, udp:ADDR"},
        {"run --link gpib:0:31 --out " + dir.path(), 2, "address 0 to 30"},
        {"run --demo --link com:1 --out " + dir.path(), 2, "exclude each other"},
        {"run --demo --pictures --out " + dir.file("demo"), 0, "3 traces, 111 points"},
    };
    for (const auto& row : rows) {
        std::string out;
        EXPECT_EQ(tsupport::runCommand(std::string(IMBENCH_EXE) + " " + row.args, &out), row.code)
            << row.args << "\n"
            << out;
        EXPECT_NE(out.find(row.says), std::string::npos) << row.args << "\n"
                                                         << out;
    }
    EXPECT_EQ(csvRows(readFile(dir.file("demo/traces.csv")).value_or("")).size(), 111u);
    for (const char* name : {"bode", "nyquist", "vc"}) {
        EXPECT_EQ(readFile(dir.file("demo/" + std::string(name) + ".png")).value_or("").substr(1, 3), "PNG") << name;
        EXPECT_NE(readFile(dir.file("demo/" + std::string(name) + ".svg")).value_or("").find("</svg>"), std::string::npos)
            << name;
    }
}

TEST_F(Runner, ExportTracesFromTheMainPanel) {
    ASSERT_NO_FATAL_FAILURE(startRun());
    traces_reset();
    tsupport::pick(ifcMenu, MAIN_MENU_FILE_EXPORT_TRACES);
    EXPECT_NE(ui::headless::lastPopupText().find("There are no traces yet"), std::string::npos);

    SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 10.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 30.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STEP, 10.0);
    tsupport::commit(ifcP, MAIN_PANEL_SWEEP, 1);
    ASSERT_GT(runSweep(), 0);
    ui::headless::answerFile(dir_.file("no/such/x.csv"));
    ui::headless::answerConfirm(true); // another file, then
    ui::headless::answerFile(dir_.file("panel.csv"));
    tsupport::pick(ifcMenu, MAIN_MENU_FILE_EXPORT_TRACES);
    const std::string csv = readFile(dir_.file("panel.csv")).value_or("");
    EXPECT_EQ(csvRows(csv).size(), 3u) << csv;
    for (const char* line : {"# instrument: IMBENCH,IM3590-SIM,000123,1.20\n", "# serial: ABCDEF\n",
             "# setting: SWEEP/FREQUENCY STEP = 10\n", "# trace 1: DC level 0 V, AC 10 %, 3 points\n"})
        EXPECT_NE(csv.find(line), std::string::npos) << line << csv;
    EXPECT_EQ(csvRows(readFile(dir_.file("panel-trace1.csv")).value_or(""), false).size(), 3u);
    EXPECT_NE(ui::headless::lastPopupText().find("panel-trace1.csv"), std::string::npos);
}

} // namespace
