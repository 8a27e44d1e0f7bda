// The read-back: the reply decoder, the worked examples through the meter,
// the log and the three graphs, replies of the wrong shape from a scripted
// instrument, the 1000-point log, readiness and the pause before each poll.
#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "module/impedance.h"
#include "tests/app/fra_fixture.h"
#include "tests/module/fake_instrument.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"
#include "util/timer.h"

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

namespace {

using fratest::FraTest;
using fratest::graphPoints;
using Log = std::vector<std::string>;
namespace hl = ui::headless;

// pi as this tool has always taken it.
constexpr double kShortPi = 3.14159265;

double ctrlDouble(int panel, int control)
{
    double v = 0;
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0) << control;
    return v;
}

// ---- the decoder -------------------------------------------------------------------

TEST(FraDecode, RepliesOfSixWords)
{
    struct Case {
        const char* reply;
        int ok;
        double v[6];
    };
    const Case cases[] = {
        {"1.0 0.0 0.5 -30.0 2.0 30.0", 1, {1.0, 0.0, 0.5, -30.0, 2.0, 30.0}},
        {"\t1\r\n2  3\t4 5\n6\r\n", 1, {1, 2, 3, 4, 5, 6}},
        {"  +1e3 -2E-3 3 4 5 6 seven 8 9", 1, {1000, -0.002, 3, 4, 5, 6}},
        {"OVER 0 0.5 -30 2 30", 1, {0, 0, 0.5, -30, 2, 30}},
        {"1 2 3 4 5 OVER", 1, {1, 2, 3, 4, 5, 0}},
        {"1,5 2 3V 4 5 6", 1, {1, 2, 3, 4, 5, 6}},
        {"nan inf -inf 1e999 -1e999 7", 1, {0, 0, 0, 0, 0, 7}},
        {"1234567890123456789 2 3 4 5 6", 1, {1234567890123456789.0, 2, 3, 4, 5, 6}},
        {"1 2 3 4 5 6 12345678901234567890123", 1, {1, 2, 3, 4, 5, 6}},
        {"12345678901234567890 2 3 4 5 6", 0, {}},
        {"1 2 3 4 5 0.0000000000000000001", 0, {}},
        {"1 2 3 4 5", 0, {}},
        {"1.0 0.0 0.5 -30.0 2.0\r\n", 0, {}},
        {"", 0, {}},
        {" \t\r\n", 0, {}},
        {"ERR", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        IfcPoint p{};
        p.freq = 123.0;
        p.zReal = 7.0;
        ASSERT_EQ(ifc_decode_reply(c.reply, &p), c.ok);
        EXPECT_EQ(p.freq, 123.0) << "the frequency is not part of the reply";
        EXPECT_EQ(p.zReal, 7.0);
        if (!c.ok)
            continue;
        const double got[6] = {p.voltAmp, p.voltPhase, p.currAmp, p.currPhase, p.zAmp, p.zPhase};
        for (int i = 0; i < 6; ++i)
            EXPECT_DOUBLE_EQ(got[i], c.v[i]) << "word " << i + 1;
    }
    IfcPoint p{};
    EXPECT_EQ(ifc_decode_reply(nullptr, &p), 0);
}

TEST(FraDecode, RectangularPartsUseTheToolsPi)
{
    const double phases[] = {30.0, -30.0, 90.0, -90.0, 0.0, 180.0, 45.0, -123.4};
    for (double phase : phases) {
        IfcPoint p{};
        p.zAmp = 2.0;
        p.zPhase = phase;
        ifc_point_rectangular(&p);
        const double rad = phase * kShortPi / 180.0;
        EXPECT_NEAR(p.zReal, 2.0 * std::cos(rad), 1e-14) << phase;
        EXPECT_NEAR(p.zImag, 2.0 * std::sin(rad), 1e-14) << phase;
    }
    // The short pi is visible: 2 cos 90 deg is 3.59e-9, not 1.2e-16.
    IfcPoint q{};
    q.zAmp = 2.0;
    q.zPhase = 90.0;
    ifc_point_rectangular(&q);
    EXPECT_NEAR(q.zReal, 2.0 * std::cos(kShortPi / 2.0), 1e-15);
    EXPECT_GT(q.zReal, 3.5e-9);
}

// ---- worked examples through the whole read-back ---------------------------------------

struct Example {
    std::array<double, 6> reply;   // V, V phase, I, I phase, |Z|, Z phase
};

TEST_F(FraTest, WorkedExamplesReachTheMeterTheLogAndTheGraphs)
{
    startRun();
    SetCtrlVal(ifcP, MAIN_PANEL_OFFSET, 2.0);
    SetCtrlVal(ifcP, MAIN_PANEL_CURRENT_UNIT, 1.5);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 1000.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 1000.0);
    const Example examples[] = {
        {{1.0, 0.0, 0.5, -30.0, 2.0, 30.0}},
        {{0.1, 0.0, 0.001, 90.0, 100.0, -90.0}},
        {{2.5, 10.0, 0.05, 10.0, 50.0, 0.0}},
        {{0.02, -5.0, 4.0, 40.0, 0.005, -45.0}},
    };
    const double freq = fratest::confirmed(1000.0);
    for (const Example& e : examples) {
        SCOPED_TRACE(e.reply[4]);
        setReadings(e.reply);
        userSweep(1);
        ASSERT_EQ(runSweep(10), 1) << "one reading at START = STOP";
        ASSERT_EQ(ifc_log_count(), 1u);
        const IfcPoint& p = ifc_log_data()[0];
        const double rad = e.reply[5] * kShortPi / 180.0;
        const double expected[] = {freq,        e.reply[0], e.reply[1],
                                   e.reply[2],  e.reply[3], e.reply[4],
                                   e.reply[5],  e.reply[4] * std::cos(rad),
                                   e.reply[4] * std::sin(rad)};
        const double got[] = {p.freq,  p.voltAmp, p.voltPhase, p.currAmp, p.currPhase,
                              p.zAmp,  p.zPhase,  p.zReal,     p.zImag};
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(got[i], expected[i], 1e-9 * std::fmax(1.0, std::fabs(expected[i])))
                << "field " << i;

        // The meter: the reply unchanged, the confirmed frequency and OFFSET x CURRENT UNIT.
        EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_VOLT), e.reply[0], 1e-6);
        EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_VOLT_PHASE), e.reply[1], 1e-6);
        EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_CURR), e.reply[2], 1e-6);
        EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_CURR_PHASE), e.reply[3], 1e-6);
        EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_Z), e.reply[4], 1e-6);
        EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_Z_PHASE), e.reply[5], 1e-6);
        EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_FREQ), freq, 1e-6);
        EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_DC), 3.0, 1e-6);

        // Bode: frequency against |Z| and phase; Nyquist: R and X of the
        // parallel circuit (its default); V&C: voltage values in its read-outs.
        EXPECT_NEAR(ctrlDouble(zP, BODE_PANEL_X1), freq, 1e-6);
        EXPECT_NEAR(ctrlDouble(zP, BODE_PANEL_Y1), e.reply[4], 1e-6);
        EXPECT_NEAR(ctrlDouble(zP, BODE_PANEL_Y2), e.reply[5], 1e-6);
        double r = 0, x = 0;
        im_get_rectangular_resistance(e.reply[4], e.reply[5], &r, &x, kImCircuitParallel);
        EXPECT_NEAR(ctrlDouble(nyP, NYQUST_PANEL_R), r, 1e-6 * std::fmax(1.0, std::fabs(r)));
        EXPECT_NEAR(ctrlDouble(nyP, NYQUST_PANEL_X), x, 1e-6 * std::fmax(1.0, std::fabs(x)));
        EXPECT_NEAR(ctrlDouble(vcP, VC_PANEL_Y1), e.reply[0], 1e-6);
        EXPECT_NEAR(ctrlDouble(vcP, VC_PANEL_Y2), e.reply[1], 1e-6);
        EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), 1);
        EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH), 1);
        EXPECT_EQ(graphPoints(vcP, VC_PANEL_GRAPH1), 2) << "a voltage and a current point";
    }
}

TEST_F(FraTest, OutsideASweepOnlyTheMeterIsRefreshed)
{
    startRun();
    setReadings({1.0, 0.0, 0.5, -30.0, 2.0, 30.0});
    SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 1);
    clearLog();
    readBack();
    EXPECT_EQ(log(), (Log{"IM:MEAS:READY?", "IM:MEAS:VAL?"}));
    EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_Z), 2.0, 1e-9);
    EXPECT_EQ(ifc_log_count(), 0u) << "points outside a sweep are neither stored nor counted";
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), 0);
    EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH), 0);
}

TEST_F(FraTest, MeasureOffSendsNothingAndNotReadyStoresNothing)
{
    startRun();
    setReadings({1.0, 0.0, 0.5, -30.0, 2.0, 30.0});
    clearLog();
    for (int i = 0; i < 20; ++i)
        readBack();
    EXPECT_EQ(log(), Log{}) << "no traffic with MEASURE off";

    sim_->instrument().clearReadings();
    userSweep(1);
    clearLog();
    for (int i = 0; i < 5; ++i)
        readBack();
    EXPECT_EQ(log(), Log(5, "IM:MEAS:READY?")) << "the sweep waits at its frequency";
    EXPECT_EQ(ifc_log_count(), 0u);
    EXPECT_EQ(ifc_sweep_on(), 1);
}

TEST_F(FraTest, TheThousandAndFirstPointIsDrawnButNotStored)
{
    startRun();
    setReadings({1.0, 0.0, 0.5, -30.0, 2.0, 30.0});
    SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 1.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 1001.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STEP, 1.0);
    userSweep(1);
    ASSERT_EQ(runSweep(), 1001);
    EXPECT_EQ(ifc_log_count(), 1001u);
    EXPECT_DOUBLE_EQ(ifc_log_data()[999].freq, fratest::confirmed(1000.0));
    EXPECT_DOUBLE_EQ(ifc_log_data()[0].freq, fratest::confirmed(1.0));
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH1), 1001);
    EXPECT_EQ(graphPoints(zP, BODE_PANEL_GRAPH2), 1001);
    EXPECT_EQ(graphPoints(nyP, NYQUST_PANEL_GRAPH), 1001);
    EXPECT_EQ(graphPoints(vcP, VC_PANEL_GRAPH1), 2002);
    EXPECT_EQ(bode_point_count(), BODE_MAX_POINTS);
    EXPECT_EQ(nyqust_point_count(), NYQUST_MAX_POINTS);
}

TEST_F(FraTest, ThePauseBeforeEachPollAndItsEndOnQuit)
{
    startRun();
    sim_->instrument().clearReadings();
    SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 1);
    ifc_set_read_wait_ticks(IFC_READ_WAIT_TICKS);
    const auto t0 = std::chrono::steady_clock::now();
    readBack();
    readBack();
    const auto elapsed = std::chrono::steady_clock::now() - t0;
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

// A clock whose millisecond tick passes 2^31 (where it reads negative) 20 ms
// after the test starts.
double g_wrapBase = 0.0;
double clockNearTheWrap()
{
    return 2147483.648 - 0.020 + (Timer() - g_wrapBase);
}

TEST_F(FraTest, ThePauseLastsItsTicksAcrossTheTicksWrap)
{
    registerEverything();
    ifp_active(1);   // a fresh interface panel: no quit asked
    ASSERT_EQ(ifp_get_quit(), 0);
    g_wrapBase = Timer();
    timer_set_source(clockNearTheWrap);
    const int32_t before = timer_get_tick();
    const auto t0 = std::chrono::steady_clock::now();
    ifc_wait_ticks(50);
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    const int32_t after = timer_get_tick();
    timer_set_source(nullptr);
    EXPECT_GT(before, 0);
    EXPECT_LT(after, 0) << "the tick wrapped during the wait";
    EXPECT_GE(elapsed, std::chrono::milliseconds(49));
    EXPECT_LT(elapsed, std::chrono::seconds(30));
}

// ---- replies of the wrong shape, from a scripted instrument -----------------------------

class FraScriptedTest : public apptest::AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        fake_ = std::make_unique<FakeInstrument>("127.34.0.", 3000);
        registerEverything();
        ifp_active(1);
        ifp_select_link(IO_TCP, fake_->address().c_str());
        ASSERT_EQ(hl::commit(ifp_panel(), IFP_PANEL_OPEN, 1), 0);
        hl::deliver();
        ASSERT_EQ(ifp_get_ifready(), 1);
        ASSERT_EQ(fra_open(), 1);   // loads the panels, sends nothing
        DisplayPanel(ifcP);
        ifc_set_read_wait_ticks(0);
        ifc_log_reset();
    }
    void TearDown() override
    {
        EXPECT_EQ(fake_->unexpected(), std::vector<std::string>{});
        EXPECT_EQ(fake_->pending(), 0u);
        fra_close();
        fra_quit();
        ifc_set_read_wait_ticks(IFC_READ_WAIT_TICKS);
        AppTest::TearDown();
        fake_.reset();
    }
    void expectReading(const std::string& reply)
    {
        fake_->expectQuery("IM:MEAS:READY?", "1");
        fake_->expectQuery("IM:MEAS:VAL?", reply);
    }
    void expectFrequency(const char* set, const char* confirmed)
    {
        fake_->expect(std::string("IM:OUTP:SINE:FREQ ") + set);
        fake_->expectQuery("IM:OUTP:SINE:FREQ?", confirmed);
    }
    std::unique_ptr<FakeInstrument> fake_;
};

TEST_F(FraScriptedTest, WordsThatAreNoNumbersReadAsZeroAndShortRepliesAreIgnored)
{
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 10.0);
    expectFrequency("10.000000", "10.000000");
    ASSERT_EQ(hl::commit(ifcP, MAIN_PANEL_SWEEP, 1), 0);
    hl::deliver();

    // OVER in the first position: stored and drawn like any other point.
    expectReading("OVER 0.0 0.5 -30.0 2.0 30.0");
    expectFrequency("20.000000", "20.000000");
    readBack();
    ASSERT_EQ(ifc_log_count(), 1u);
    const IfcPoint& p = ifc_log_data()[0];
    EXPECT_EQ(p.voltAmp, 0.0);
    EXPECT_EQ(p.freq, 10.0);
    EXPECT_EQ(p.zAmp, 2.0);
    EXPECT_EQ(bode_point_count(), 1);
    EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_Z), 2.0, 1e-9);

    // Replies of the wrong shape: nothing shown, stored, counted or stepped.
    const std::string wrong[] = {
        "1.0 0.0 0.5 -30.0 4.0",
        "   ",
        "ERR",
        "1 2 3 4 12345678901234567890 6",
        std::string(400, 'X'),
    };
    for (const std::string& reply : wrong) {
        SCOPED_TRACE(reply);
        expectReading(reply);
        readBack();
        EXPECT_EQ(fake_->pending(), 0u);
        EXPECT_EQ(ifc_log_count(), 1u);
        EXPECT_NEAR(ctrlDouble(meterP, METER_PANEL_Z), 2.0, 1e-9) << "the meter keeps its point";
    }
    EXPECT_EQ(bode_point_count(), 1);

    // A reading that is not ready is not asked for.
    fake_->expectQuery("IM:MEAS:READY?", "0");
    readBack();
    fake_->expectQuery("IM:MEAS:READY?", "1.0");
    readBack();
    EXPECT_EQ(ifc_log_count(), 1u);

    // The sweep goes on with the next good reading.
    expectReading("1 0 1 0 1 0");
    expectFrequency("30.000000", "29.990000");
    readBack();
    EXPECT_EQ(ifc_log_count(), 2u);
    EXPECT_EQ(ifc_log_data()[1].freq, 20.0);

    // The user stops: the saved frequency (1000) is sent back.
    expectFrequency("1000.000000", "1000.000000");
    ASSERT_EQ(hl::commit(ifcP, MAIN_PANEL_SWEEP, 0), 0);
    hl::deliver();
}

}  // namespace
