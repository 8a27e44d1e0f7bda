// Measuring against the simulated module: the reply decoder, readings on their
// way to the meter, the log and the graphs, the pause before each poll, the data
// file, the sweep's sequences and its end, REPEAT over the DC sweep list.
#include "app/fra.h"
#include "displays/traces.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "tests/support/run_fixture.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"
#include "util/timer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <tuple>

namespace {

namespace hl = ui::headless;
using namespace tsupport;
using Log = std::vector<std::string>;

constexpr double kShortPi = 3.14159265; // pi as this tool has always taken it
const std::array<double, 6> kReading = {1.0, 0.0, 0.5, -30.0, 2.0, 30.0};

void setSweep(double start, double stop, double step, int decades) {
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, start);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, stop);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STEP, step);
    SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, decades);
}

TEST(ReadBackDecoder, SixWordsOfAtMostNineteenCharacters) {
    const struct {
        const char* reply;
        int ok;
        double v[6];
    } cases[] = {
        {"\t1\r\n2  3\t4 5\n6\r\n", 1, {1, 2, 3, 4, 5, 6}},
        {"  +1e3 -2E-3 3 4 5 6 seven 8 9", 1, {1000, -0.002, 3, 4, 5, 6}},
        {"OVER 0 0.5 -30 2 30", 1, {0, 0, 0.5, -30, 2, 30}},
        {"1,5 2 3V 4 5 OVER", 1, {1, 2, 3, 4, 5, 0}},
        {"nan inf -inf 1e999 -1e999 7", 1, {0, 0, 0, 0, 0, 7}},
        {"1234567890123456789 2 3 4 5 6 12345678901234567890123", 1, {1234567890123456789.0, 2, 3, 4, 5, 6}},
        {"12345678901234567890 2 3 4 5 6", 0, {}},
        {"1 2 3 4 5", 0, {}},
        {" \t\r\n", 0, {}},
        {"ERR", 0, {}},
    };
    for (const auto& c : cases) {
        IfcPoint p{};
        p.freq = 123.0;
        ASSERT_EQ(ifc_decode_reply(c.reply, &p), c.ok) << c.reply;
        EXPECT_EQ(p.freq, 123.0) << "the frequency is not part of the reply";
        const double got[6] = {p.voltAmp, p.voltPhase, p.currAmp, p.currPhase, p.zAmp, p.zPhase};
        for (int i = 0; c.ok && i < 6; ++i)
            EXPECT_DOUBLE_EQ(got[i], c.v[i]) << c.reply << ", word " << i + 1;
    }
}

// Only MEASURE makes traffic; outside a sweep only the meter is refreshed; a
// sweep waits at its frequency for a reading that is ready.  Readings reach
// the meter, the log and the graphs.
TEST_F(RunTest, ReadingsReachTheMeterTheLogAndTheGraphs) {
    startRun(sim::kDefaultIdn, sim::kDefaultVersion, tcpOnlyOptions(1.0));
    commit(ifcP, MAIN_PANEL_SAMPLE_CYCLE, 100.0); // a reading of the module's own takes 100 s
    setReadings(kReading);
    clearLog();
    readBack();
    EXPECT_EQ(log(), Log{}) << "no traffic with MEASURE off";
    SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 1);
    readBack();
    EXPECT_EQ(log(), (Log{"IM:MEAS:READY?", "IM:MEAS:VAL?"}));
    EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_Z), 2.0, 1e-9);
    EXPECT_EQ(ifc_log_count(), 0u) << "points outside a sweep are neither stored nor counted";
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), 0);

    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 2.0);
    SetCtrlVal(ifcP, MAIN_PANEL_CURRENT_UNIT, 1.5);
    setSweep(1000, 1000, 100, 1);
    const double f = confirmed(1000.0);
    for (const std::array<double, 6>& r : {std::array<double, 6>{0.02, -5.0, 4.0, 40.0, 0.005, -90.0}, kReading}) {
        setReadings(r);
        commit(ifcP, MAIN_PANEL_SWEEP, 1);
        ASSERT_EQ(runSweep(10), 1) << "one reading at START = STOP";
        ASSERT_EQ(ifc_log_count(), 1u);
        const IfcPoint& p = ifc_log_data()[0];
        const double rad = r[5] * kShortPi / 180.0;
        const double expected[] = {f, r[0], r[1], r[2], r[3], r[4], r[5], r[4] * std::cos(rad), r[4] * std::sin(rad)};
        const double got[] = {p.freq, p.voltAmp, p.voltPhase, p.currAmp, p.currPhase, p.zAmp, p.zPhase, p.zReal, p.zImag};
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(got[i], expected[i], 1e-12 * std::fmax(1.0, std::fabs(expected[i]))) << "field " << i;
        // The meter: the reply, the confirmed frequency and OFFSET x CURRENT UNIT; Bode and V&C read-outs.
        const std::tuple<int, int, double> shown[] = {
            {meterP, METER_PANEL_VOLT, r[0]}, {meterP, METER_PANEL_VOLT_PHASE, r[1]}, {meterP, METER_PANEL_CURR, r[2]},
            {meterP, METER_PANEL_CURR_PHASE, r[3]}, {meterP, METER_PANEL_Z, r[4]}, {meterP, METER_PANEL_Z_PHASE, r[5]},
            {meterP, METER_PANEL_FREQ, f}, {meterP, METER_PANEL_DC, 3.0}, {zP, BODE_PANEL_X1, f},
            {zP, BODE_PANEL_Y1, r[4]}, {zP, BODE_PANEL_Y2, r[5]}, {vcP, VC_PANEL_Y1, r[0]}, {vcP, VC_PANEL_Y2, r[1]}};
        for (const auto& [panel, control, v] : shown)
            EXPECT_NEAR(ctrlDouble(panel, control), v, 1e-6) << "panel " << panel << ", control " << control;
        EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH), 1);
        EXPECT_EQ(graphPoints(vcP, VC_PANEL_GRAPH1), 2) << "a voltage and a current point";
    }
    // The parallel circuit of the Nyquist window: R = |Z| / cos, X = |Z| sin^3.
    EXPECT_NEAR(ctrlDouble(nyP, NYQUST_PANEL_R), 2.0 / std::cos(kShortPi / 6), 1e-6);
    EXPECT_NEAR(ctrlDouble(nyP, NYQUST_PANEL_X), 2.0 * std::pow(std::sin(kShortPi / 6), 3), 1e-6);

    setSweep(10, 50000, 100, 1);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    sim_->instrument().clearReadings();
    clearLog();
    for (int i = 0; i < 3; ++i)
        readBack();
    EXPECT_EQ(log(), Log(3, "IM:MEAS:READY?")) << "not ready: not asked";
    setReadings({1, 0, 1, 0, 7, 0});
    readBack();
    EXPECT_EQ(ifc_log_count(), 1u);
    EXPECT_EQ(sentFrequencies(), std::vector<double>{20.0});
}

// A file that cannot be written is named with the reason and the user may
// try another or give up; the points then wait for the menu or the next sweep.
// Of 1200 points each is drawn and counted, the first 1000 are kept and saved.
TEST_F(RunTest, TheDataFileItsThousandPointsAndWritesThatFail) {
    const std::string missing = dir_.file("no such folder/x.dat"), good = dir_.file("second try.dat");
    const std::string fifo = dir_.file("reader gone.dat"); // written to, it would end the program
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& file : {missing, fifo}) {
        hl::answerFile(file);
        hl::answerConfirm(true);
    }
    hl::answerFile(good);
    startRun();
    setReadings(kReading);
    setSweep(1, 1000, 1, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_DATA_LOG, 1);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    ASSERT_EQ(runSweep(), 1000);
    EXPECT_EQ(messages(), Log{"|File '" + good + "' Save to Disk!"}) << "1000 points are no overrun";
    const auto& popups = hl::popups();
    ASSERT_EQ(popups.size(), 6u);
    EXPECT_EQ(popups[0].title + "|" + popups[0].defaultFile + "|" + popups[0].text, "Save Logged Data|untitle.dat|*.dat");
    EXPECT_TRUE(popups[1].text.find("'" + missing + "'") != std::string::npos &&
        popups[1].text.find(std::strerror(ENOENT)) != std::string::npos)
        << popups[1].text;
    EXPECT_NE(popups[3].text.find("it is not a regular file"), std::string::npos) << popups[3].text;
    IfcPoint p{1000.0, 1.0, 0.0, 0.5, -30.0, 2.0, 30.0, 0, 0};
    ifc_point_rectangular(&p);
    EXPECT_EQ(ifc_format_log_line(p), " +1.000000e+03 +1.732051e+00 +1.000000e+00 +2.000000e+00 +3.000000e+01"
                                      " +1.000000e+00 +0.000000e+00 +5.000000e-01 -3.000000e+01\n");
    for (double v : {-0.0, 1e-300, -1e300, 9.9999995e-5, 5e-324, 999999.5}) { // as the C library writes them
        char line[512];
        std::snprintf(line, sizeof line, " %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e\n", v, v, v, v, v, v, v, v, v);
        EXPECT_EQ(ifc_format_log_line(IfcPoint{v, v, v, v, v, v, v, v, v}), line) << v;
    }
    p.freq = confirmed(1000.0);
    const std::string text = readFile(good).value_or("");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1002);
    EXPECT_EQ(text.substr(0, 256), ";Frequency     Imped. Real   Imped. Imag.  Imped. Amp.   Imped. Phase  Voltage Amp.  "
                                   "Voltage Phase Current Amp.  Current Phase \n;------------- ------------- "
                                   "------------- ------------- ------------- ------------- ------------- "
                                   "------------- ------------- \n");
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), ifc_format_log_line(p)) << "the 1000th point";

    hl::clearPopups();
    hl::answerFile(dir_.path()); // a folder, not a file
    hl::answerConfirm(false);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 1200.0);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    ASSERT_EQ(runSweep(), 1200);
    EXPECT_EQ(ifc_log_count(), 1200u);
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH2), 1200);
    EXPECT_EQ(graphPoints(vcP, VC_PANEL_GRAPH1), 2400);
    EXPECT_EQ(messages(), Log{"Data Overrun!|There are 1200 items to save, only 1000 avalibale"}) << "no success";
    hl::answerFile(dir_.file("later.dat"));
    pick(ifcMenu, MAIN_MENU_FILE_SAVE_LOG);
    EXPECT_EQ(readFile(dir_.file("later.dat")), readFile(good)) << "the first 1000 points";
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    EXPECT_EQ(ifc_log_count(), 0u) << "the next sweep start discards them";
}

// A write that fails halfway (here the size limit of the process, as a full
// disk would) leaves the old file whole and no temporary file beside it.
TEST(DataFile, AWriteThatFailsHalfwayLeavesTheOldFile) {
    TempDir dir;
    const std::string target = dir.file("sweep.dat");
    ASSERT_TRUE(writeFile(target, "old points\n"));
    std::vector<IfcPoint> points(1000, IfcPoint{1.0, 1.0, 0.0, 1.0, 0.0, 1.0, 0.0, 1.0, 0.0});
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit small{16384, 16384};
        ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        _exit(ifc_write_log_file(target.c_str(), points.data(), 1000) == std::strerror(EFBIG) ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the save must fail with the file size error";
    EXPECT_EQ(readFile(target), "old points\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "a temporary file was left";
    EXPECT_EQ(ifc_write_log_file(target.c_str(), points.data(), 1000), "");
    const std::string text = readFile(target).value_or("");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1002);
}

std::string progress() {
    std::string text;
    GetCtrlVal(ifcP, MAIN_PANEL_PROGRESS, &text);
    return text;
}

Log levels(const Log& log) {
    Log out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out),
        [](const std::string& l) { return l.rfind("IM:OUTP:LEV", 0) == 0; });
    return out;
}

// The stepper's frequencies are sent, each reading carries the frequency the
// module confirmed; the end of a sweep restores the stimulus and sends it.
TEST_F(RunTest, SweepSequencesAndWhatTheirEndRestores) {
    startRun();
    setReadings(kReading);
    commit(ifcP, MAIN_PANEL_BODE_GRAPH, 1);
    const struct {
        const char* name;
        double start, stop, step;
        int decades;
        std::vector<double> expected;
    } cases[] = {
        {"linear down", 50, 10, 15, 0, {50, 35, 20}},
        {"decades down, stop inside a decade", 300, 25, 0, 1, {300, 200, 100, 90, 80, 70, 60, 50, 40, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setSweep(c.start, c.stop, c.step, c.decades);
        SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, 1234.0);
        SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 2.0);
        SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, 20.0);
        clearLog();
        commit(ifcP, MAIN_PANEL_SWEEP, 1);
        EXPECT_TRUE(hl::waitCursor());
        ASSERT_EQ(runSweep(), static_cast<int>(c.expected.size()));
        std::vector<double> sent = c.expected, logged;
        sent.push_back(1234.0); // FREQUENCY restored and sent back
        EXPECT_EQ(sentFrequencies(), sent);
        for (uint32_t i = 0; i < ifc_log_count(); ++i)
            logged.push_back(ifc_log_data()[i].freq);
        for (double& f : sent)
            f = confirmed(f);
        sent.pop_back();
        EXPECT_EQ(logged, sent);
        EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), static_cast<int>(c.expected.size()));
        EXPECT_EQ((std::vector<double>{mainDouble(MAIN_PANEL_FREQUENCY), mainDouble(MAIN_PANEL_OFFSET),
                      mainDouble(MAIN_PANEL_AMPLITUDE)}),
            (std::vector<double>{1234, 2, 20}));
        const Log all = log();
        ASSERT_GE(all.size(), 3u);
        EXPECT_EQ(Log(all.end() - 3, all.end()), (Log{"IM:OUTP:STAT 1", "IM:OUTP:LEV 0.400000 2.000000", "IM:OUTP:AMPL?"}));
        EXPECT_EQ(attribute(ifcP, MAIN_PANEL_OFFSET, ATTR_CTRL_MODE), VAL_HOT);
        EXPECT_EQ(attribute(ifcP, MAIN_PANEL_SYNC, ATTR_DIMMED), 0);
        EXPECT_FALSE(hl::waitCursor());
        EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE), 0);
    }
}

// A stop by the user ends a REPEAT run and leaves the instrument at the
// stimulus the panel shows again; a user's start always begins at step 1,
// also after REPEAT was switched off in the middle of a run.
TEST_F(RunTest, AUsersStopOrStartOfARepeatRun) {
    startRun();
    setReadings(kReading);
    setSweep(1, 100000, 100, 1);
    dcsw_set_step(0, 1.0, 10.0);
    dcsw_set_step(1, 2.0, 20.0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQUENCY, 1234.0);
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 1.5);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    for (int i = 0; i < 3; ++i)
        readBack();
    // While it runs the stimulus and SYNC are out of the user's reach.
    for (int control : {MAIN_PANEL_FREQUENCY, MAIN_PANEL_OFFSET, MAIN_PANEL_AMPLITUDE, MAIN_PANEL_SAMPLE_CYCLE})
        EXPECT_EQ(attribute(ifcP, control, ATTR_CTRL_MODE), VAL_INDICATOR) << control;
    EXPECT_EQ(attribute(ifcP, MAIN_PANEL_SYNC, ATTR_DIMMED), 1);
    EXPECT_EQ((std::pair(mainDouble(MAIN_PANEL_FREQUENCY), mainDouble(MAIN_PANEL_OFFSET))), std::pair(4.0, 1.0))
        << "the stepper's frequency and the step's level are shown";
    EXPECT_EQ(progress().rfind("DC step 1 of 2, point 3 of 46, about ", 0), 0u) << progress();
    clearLog();
    commit(ifcP, MAIN_PANEL_SWEEP, 0);
    for (int i = 0; i < 3; ++i)
        readBack();
    EXPECT_EQ(log(), (Log{"IM:OUTP:SINE:FREQ 1234.000000", "IM:OUTP:SINE:FREQ?", "IM:OUTP:STAT 1", "IM:OUTP:LEV 0.150000 1.500000", "IM:OUTP:AMPL?"}));
    EXPECT_EQ((std::pair(mainDouble(MAIN_PANEL_FREQUENCY), mainDouble(MAIN_PANEL_OFFSET))), std::pair(1234.0, 1.5));
    EXPECT_EQ(mainInt(MAIN_PANEL_MEASURE) + mainInt(MAIN_PANEL_SWEEP) + ifc_get_dcsw_active(), 0);
    EXPECT_EQ(attribute(ifcP, MAIN_PANEL_FREQUENCY, ATTR_CTRL_MODE), VAL_HOT);
    EXPECT_EQ(ifc_log_count(), 3u) << "the points stay until the next sweep starts";
    EXPECT_EQ(progress().rfind("Sweep stopped after 3 points in ", 0), 0u) << progress();
    EXPECT_EQ(sim_->instrument().setting("IM:OUTP:LEV").value_or(""), "0.150000 1.500000");

    setSweep(10, 30, 10, 0);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    readBack();
    commit(ifcP, MAIN_PANEL_REPEAT, 0);
    ASSERT_EQ(runSweep(), 2) << "the step's sweep ends, no other follows";
    clearLog();
    commit(ifcP, MAIN_PANEL_REPEAT, 1);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    EXPECT_EQ(levels(log()), Log{"IM:OUTP:LEV 0.100000 1.000000"});
    EXPECT_EQ(ifc_get_dcsw_index(), 0);
}

// The simulated module reads the AC level it was last given as its voltage,
// so each point tells which DC-list step it belongs to.
TEST_F(RunTest, RepeatSweepsOncePerDcListStepAndLogsTheLastSweep) {
    startRun();
    sim::Instrument* in = &sim_->instrument();
    in->setLogObserver([in](const sim::LogEntry& e) {
        if (e.text.rfind("IM:OUTP:LEV ", 0) == 0) {
            const double ac = std::stod(e.text.substr(12));
            in->setReadings({ac, 0.0, ac / 100.0, 0.0, 100.0, 0.0});
        }
    });
    setReadings(kReading);
    dcsw_set_step(0, 1.0, 10.0);
    dcsw_set_step(1, -2.0, 20.0); // only exactly 0.0 ends the list
    setSweep(10, 30, 10, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 0.5);
    SetCtrlVal(ifcP, MAIN_PANEL_AMPLITUDE, 10.0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    SetCtrlVal(ifcP, MAIN_PANEL_DATA_LOG, 1);
    const std::string path = dir_.file("repeat.dat");
    hl::answerFile(path);
    clearLog();
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    EXPECT_EQ(ifc_get_dcsw_active(), 1);
    ASSERT_EQ(runSweep(), 6);
    // Two traces on Bode and Nyquist in the first two colours; V&C shows the last.
    for (int color : {VAL_RED, VAL_BLUE}) {
        EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH2, color), 3);
        EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH, color), 3);
    }
    EXPECT_EQ(graphPoints(vcP, VC_PANEL_GRAPH1), 6) << "3 readings, voltage and current";
    // Each step's level was sent before its sweep, the saved one after the run.
    // clang-format off
    EXPECT_EQ(levels(log()), (Log{"IM:OUTP:LEV 0.100000 1.000000", "IM:OUTP:LEV 0.050000 0.500000",
                                  "IM:OUTP:LEV -0.400000 -2.000000", "IM:OUTP:LEV 0.050000 0.500000"}));
    // clang-format on
    EXPECT_EQ((std::pair(mainDouble(MAIN_PANEL_OFFSET), mainDouble(MAIN_PANEL_AMPLITUDE))), std::pair(0.5, 10.0));
    EXPECT_EQ(mainInt(MAIN_PANEL_SWEEP), 0);
    EXPECT_EQ(progress().rfind("Sweep done: 6 points in ", 0), 0u) << progress();
    // The file was written once, with the second sweep's points only.
    const std::string text = readFile(path).value_or("");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
    EXPECT_NE(text.find(" -4.000000e-01 "), std::string::npos) << "voltage of the second step's level";
    EXPECT_EQ(text.find(" +1.000000e-01 "), std::string::npos) << "nothing of the first step";
    // The trace store keeps both sweeps whole, each at its step's levels.
    std::vector<std::tuple<double, double, std::size_t, double>> traces;
    for (const Trace& t : traces_all()) traces.emplace_back(t.dcLevel, t.acPercent, t.points.size(), t.points.back().voltAmp);
    EXPECT_EQ(traces, (std::vector<std::tuple<double, double, std::size_t, double>>{{1.0, 10.0, 3, 0.1}, {-2.0, 20.0, 3, -0.4}}));
    // A new start by the user begins the graphs afresh.
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 0);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    ASSERT_EQ(runSweep(), 3);
    EXPECT_EQ(bode_trace_index(), 0);
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), 3);
    EXPECT_EQ(traces_all().size(), 1u);
}

// Only read-backs that fail three times in a row mean a lost instrument: the
// sweep stops, the link closes and a pop-up says why.
TEST_F(RunTest, AnInstrumentLostMidSweepStopsTheSweepAndClosesTheLink) {
    startRun();
    setReadings(kReading);
    setSweep(1, 100000, 0, 1);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    sim::Faults garbled;
    garbled.garbleReplyOk = (IFC_LOST_AFTER_FAILURES - 1) * IFP_QUERY_ATTEMPTS;
    sim_->setFaults(garbled);
    io_timeout(ifp_link_handle(), 100); // each failed exchange waits out the link's timeout
    const auto turns = [](int n) {
        for (int i = 0; i < n; ++i)
            readBack();
        return std::tuple(ifp_get_ifready(), mainInt(MAIN_PANEL_SWEEP), mainInt(MAIN_PANEL_MEASURE), ifc_log_count());
    };
    EXPECT_EQ(turns(IFC_LOST_AFTER_FAILURES), std::tuple(1, 1, 1, 1u)) << "two failures, then a reading";
    EXPECT_EQ(turns(1), std::tuple(1, 1, 1, 2u));
    sim_.reset();
    EXPECT_EQ(turns(IFC_LOST_AFTER_FAILURES - 1), std::tuple(1, 1, 1, 2u));
    EXPECT_TRUE(hl::popups().empty());
    EXPECT_EQ(turns(1), std::tuple(0, 0, 0, 2u));
    ASSERT_EQ(hl::popups().size(), 1u);
    EXPECT_TRUE(hl::popups()[0].error);
    EXPECT_EQ(hl::popups()[0].title, "Instrument lost");
    EXPECT_NE(hl::popups()[0].text.find("The sweep was stopped. The link was closed."), std::string::npos);
    EXPECT_EQ(mainDouble(MAIN_PANEL_FREQUENCY), 1000.0) << "the stop restored the stimulus";
}

// The run ends during a sweep: closing the main window stops the sweep
// first; quitting the application skips that step.
TEST_F(RunTest, TheRunEndsDuringASweep) {
    const std::string address = startSim();
    setReadings(kReading);
    for (bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit" : "main window closed");
        bool waiting = false, stays = false;
        UiScript script({
            {always, [&] { openTcp(address, 0); }},
            {[] { return ifcP >= 0 && ui::panel(ifcP)->visible; },
                [] {
                    setSweep(1, 100000, 0, 1);
                    ifc_log_reset(); // the points counted next are this sweep's, not the last run's
                    hl::commit(ifcP, MAIN_PANEL_SWEEP, 1);
                }},
            {[] { return ifc_log_count() >= 2; },
                [&] { waiting = hl::waitCursor(); hl::closePanel(quit ? ifp_panel() : ifcP); }},
            {[] { return ifcP < 0; },
                [&] { stays = ifp_panel() >= 0 && ifp_get_ifready() == 0; hl::closePanel(ifp_panel()); }},
        });
        EXPECT_EQ(runMain(), 0);
        EXPECT_TRUE(waiting);
        EXPECT_LT(ifc_log_count(), 100u);
        EXPECT_EQ(hl::waitCursor(), quit) << "the sweep's stop step runs unless the application quits";
        EXPECT_TRUE(quit || (script.finished() && stays)) << "the interface panel stays";
    }
}

} // namespace
