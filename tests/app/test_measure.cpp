// The read-back and the data file: the reply decoder, readings through the
// meter, the log and the graphs, replies of the wrong shape, the 1000-point
// log and its overrun, the file's text and its write failures, and the pause
// before each poll.
#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "tests/support/run_fixture.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"
#include "util/timer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>

namespace {

namespace hl = ui::headless;
using namespace tsupport;
using Log = std::vector<std::string>;

constexpr double kShortPi = 3.14159265;   // pi as this tool has always taken it
const std::array<double, 6> kReading = {1.0, 0.0, 0.5, -30.0, 2.0, 30.0};

double value(int panel, int control)
{
    double v = 0;
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0) << control;
    return v;
}

TEST(ReadBackDecoder, SixWordsOfAtMostNineteenCharacters)
{
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

TEST_F(RunTest, ReadingsReachTheMeterTheLogAndTheGraphs)
{
    startRun();
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 2.0);
    SetCtrlVal(ifcP, MAIN_PANEL_CURRENT_UNIT, 1.5);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 1000.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 1000.0);
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
            EXPECT_NEAR(value(panel, control), v, 1e-6) << "panel " << panel << ", control " << control;
        EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH), 1);
        EXPECT_EQ(graphPoints(vcP, VC_PANEL_GRAPH1), 2) << "a voltage and a current point";
    }
    // The parallel circuit of the Nyquist window: R = |Z| / cos, X = |Z| sin^3.
    EXPECT_NEAR(value(nyP, NYQUST_PANEL_R), 2.0 / std::cos(kShortPi / 6), 1e-6);
    EXPECT_NEAR(value(nyP, NYQUST_PANEL_X), 2.0 * std::pow(std::sin(kShortPi / 6), 3), 1e-6);
}

// Only MEASURE makes traffic; outside a sweep only the meter is refreshed; a
// sweep waits at its frequency for a reading that is ready and of six words.
TEST_F(RunTest, ReadingsAreAskedWhileMeasuringAndStoredOnlyDuringASweep)
{
    startRun(sim::kDefaultIdn, sim::kDefaultVersion, tcpOnlyOptions(1.0));
    commit(ifcP, MAIN_PANEL_SAMPLE_CYCLE, 100.0);   // a reading of its own takes 100 s
    setReadings(kReading);
    clearLog();
    readBack();
    EXPECT_EQ(log(), Log{}) << "no traffic with MEASURE off";
    SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 1);
    readBack();
    EXPECT_EQ(log(), (Log{"IM:MEAS:READY?", "IM:MEAS:VAL?"}));
    EXPECT_NEAR(value(meterP, METER_PANEL_Z), 2.0, 1e-9);
    EXPECT_EQ(ifc_log_count(), 0u) << "points outside a sweep are neither stored nor counted";
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), 0);

    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 10.0);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    sim_->instrument().clearReadings();
    clearLog();
    for (int i = 0; i < 3; ++i)
        readBack();
    EXPECT_EQ(log(), Log(3, "IM:MEAS:READY?")) << "not ready: not asked";
    // Every reading is answered by one word too long for a number.
    sim::Simulator* s = sim_.get();
    s->instrument().setLogObserver([s](const sim::LogEntry& e) {
        sim::Faults f;
        f.overlong = e.text == "IM:MEAS:VAL?" ? 1 : 0;
        s->setFaults(f);
    });
    setReadings({1, 0, 1, 0, 7, 0});
    for (int i = 0; i < 3; ++i)
        readBack();
    EXPECT_EQ(ifc_log_count(), 0u);
    EXPECT_EQ(bode_point_count(), 0);
    EXPECT_NEAR(value(meterP, METER_PANEL_Z), 2.0, 1e-9) << "the meter keeps its point";
    EXPECT_TRUE(sentFrequencies().empty()) << "the sweep stays at its frequency";
    s->instrument().setLogObserver(nullptr);
    readBack();
    EXPECT_EQ(ifc_log_count(), 1u);
    EXPECT_EQ(sentFrequencies(), std::vector<double>{20.0});
}

TEST(DataFile, LinesAsTheCLibraryWritesThem)
{
    IfcPoint p{1000.0, 1.0, 0.0, 0.5, -30.0, 2.0, 30.0, 0, 0};
    ifc_point_rectangular(&p);
    EXPECT_EQ(ifc_format_log_line(p), " +1.000000e+03 +1.732051e+00 +1.000000e+00 +2.000000e+00 +3.000000e+01"
                                      " +1.000000e+00 +0.000000e+00 +5.000000e-01 -3.000000e+01\n");
    for (double v : {-0.0, 1e-300, -1e300, 9.9999995e-5, 5e-324, 999999.5}) {
        char expected[512];
        std::snprintf(expected, sizeof expected, " %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e\n", v, v, v,
                      v, v, v, v, v, v);
        EXPECT_EQ(ifc_format_log_line(IfcPoint{v, v, v, v, v, v, v, v, v}), expected) << v;
    }
}

// 1200 points: each is drawn and counted, the first 1000 are kept and saved.
// A file that cannot be written is named with the reason and the user may try
// another or give up; the points wait for the menu or the next sweep.
TEST_F(RunTest, PointsBeyondAThousandAndTheDataFileWithWritesThatFail)
{
    const std::string missing = dir_.file("no such folder/x.dat"), good = dir_.file("second try.dat");
    for (const std::string& file : {missing, std::string("/dev/full")}) {
        hl::answerFile(file);
        hl::answerConfirm(true);
    }
    hl::answerFile(good);
    startRun();
    setReadings(kReading);
    SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 1.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 1200.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STEP, 1.0);
    SetCtrlVal(ifcP, MAIN_PANEL_DATA_LOG, 1);
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    ASSERT_EQ(runSweep(), 1200);
    EXPECT_EQ(ifc_log_count(), 1200u);
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH2), 1200);
    EXPECT_EQ(graphPoints(vcP, VC_PANEL_GRAPH1), 2400);
    EXPECT_EQ(messages(), (Log{"Data Overrun!|There are 1200 items to save, only 1000 avalibale",
                               "|File '" + good + "' Save to Disk!"}));
    const auto& popups = hl::popups();
    ASSERT_EQ(popups.size(), 7u);
    EXPECT_EQ(popups[1].title + "|" + popups[1].defaultFile + "|" + popups[1].text, "Save Logged Data|untitle.dat|*.dat");
    EXPECT_NE(popups[2].text.find("'" + missing + "'"), std::string::npos) << popups[2].text;
    EXPECT_NE(popups[2].text.find(std::strerror(ENOENT)), std::string::npos) << popups[2].text;
    EXPECT_NE(popups[4].text.find(std::strerror(ENOSPC)), std::string::npos) << popups[4].text;
    IfcPoint p{confirmed(1000.0), 1.0, 0.0, 0.5, -30.0, 2.0, 30.0, 0, 0};
    ifc_point_rectangular(&p);
    EXPECT_EQ(ifc_log_data()[999].freq, p.freq);
    const std::string text = readFile(good).value_or("");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1002);
    EXPECT_EQ(text.substr(0, 256), ";Frequency     Imped. Real   Imped. Imag.  Imped. Amp.   Imped. Phase  Voltage Amp.  "
                                   "Voltage Phase Current Amp.  Current Phase \n;------------- ------------- "
                                   "------------- ------------- ------------- ------------- ------------- "
                                   "------------- ------------- \n");
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), ifc_format_log_line(p)) << "the 1000th point";

    hl::clearPopups();
    hl::answerFile(dir_.path());   // a folder, not a file
    hl::answerConfirm(false);
    pick(ifcMenu, MAIN_MENU_FILE_SAVE_LOG);
    EXPECT_EQ(messages(), Log{"Data Overrun!|There are 1200 items to save, only 1000 avalibale"}) << "no success";
    pick(ifcMenu, MAIN_MENU_FILE_SAVE_LOG);   // cancelled
    hl::answerFile(dir_.file("later.dat"));
    pick(ifcMenu, MAIN_MENU_FILE_SAVE_LOG);
    EXPECT_EQ(readFile(dir_.file("later.dat")), readFile(good));
    commit(ifcP, MAIN_PANEL_SWEEP, 1);
    EXPECT_EQ(ifc_log_count(), 0u) << "the next sweep start discards them";
}

// A clock whose millisecond tick passes 2^31 (where it reads negative) 20 ms after the test starts.
double g_wrapBase = 0.0;
double clockNearTheWrap() { return 2147483.648 - 0.020 + (Timer() - g_wrapBase); }

TEST_F(RunTest, ThePauseBeforeEachPollLastsAcrossTheTicksWrapAndEndsOnQuit)
{
    startRun();
    SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 1);
    ifc_set_read_wait_ticks(IFC_READ_WAIT_TICKS);
    g_wrapBase = Timer();
    timer_set_source(clockNearTheWrap);
    const int32_t before = timer_get_tick();
    const auto t0 = std::chrono::steady_clock::now();
    readBack();
    readBack();
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    const int32_t after = timer_get_tick();
    timer_set_source(nullptr);
    EXPECT_GT(before, 0);
    EXPECT_LT(after, 0) << "the tick wrapped during the waits";
    // The tick counts whole milliseconds: each wait is at least 49 ms long.
    EXPECT_GE(elapsed, std::chrono::milliseconds(2 * (IFC_READ_WAIT_TICKS - 1)));
    // Closing the interface panel sets the quit flag: a wait ends at once.
    ASSERT_EQ(hl::closePanel(ifp_panel()), 0);
    hl::deliver();
    ASSERT_EQ(ifp_get_quit(), 1);
    const auto t1 = std::chrono::steady_clock::now();
    ifc_wait_ticks(600000);
    EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::seconds(30));
}

}  // namespace
