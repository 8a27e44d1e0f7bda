// The millisecond tick and its deadlines, driven by a clock the test moves.
#include "util/timer.h"

#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

double g_seconds = 0.0;
double fake_clock() { return g_seconds; }

// Half a millisecond past ms, so the product with 1000 is never a hair below
// a whole millisecond.
void set_ms(double ms) { g_seconds = (ms + 0.5) / 1000.0; }

class TimerTick : public ::testing::Test {
protected:
    void SetUp() override { timer_set_source(fake_clock); }
    void TearDown() override { timer_set_source(nullptr); }
};

constexpr double kTwo31 = 2147483648.0;
constexpr double kTwo32 = 4294967296.0;

TEST_F(TimerTick, TickIsTheMillisecondCountReadAsSigned)
{
    struct Case { double ms; int32_t tick; };
    const Case cases[] = {
        {0, 0},
        {1, 1},
        {1999, 1999},
        {kTwo31 - 1, INT32_MAX},
        {kTwo31, INT32_MIN},
        {kTwo31 + 100, INT32_MIN + 100},
        {kTwo32 - 1, -1},
        {kTwo32, 0},            // past 2^32 ms it keeps counting modulo 2^32
        {kTwo32 + 5, 5},
    };
    for (const auto& c : cases) {
        set_ms(c.ms);
        EXPECT_EQ(timer_get_tick(), c.tick) << c.ms;
    }
}

TEST_F(TimerTick, FractionsAreTruncatedTowardZero)
{
    g_seconds = 0.0019999;
    EXPECT_EQ(timer_get_tick(), 1);
    g_seconds = (kTwo31 + 0.999) / 1000.0;
    EXPECT_EQ(timer_get_tick(), INT32_MIN);
}

TEST_F(TimerTick, SourceThatIsNotANumberGivesZero)
{
    g_seconds = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(timer_get_tick(), 0);
    g_seconds = std::numeric_limits<double>::infinity();
    EXPECT_EQ(timer_get_tick(), 0);
}

TEST_F(TimerTick, DeadlineAcrossTheSignedWrap)
{
    const double start = kTwo31 - 100;
    set_ms(start);
    const int32_t deadline = timer_deadline(200);
    EXPECT_LT(deadline, 0);
    EXPECT_EQ(deadline, INT32_MIN + 100);
    for (int ms = 0; ms < 200; ++ms) {
        set_ms(start + ms);
        ASSERT_EQ(timer_timeout(deadline), 0) << ms << " ms after the start";
    }
    for (int ms : {200, 201, 1000, 60000}) {
        set_ms(start + ms);
        EXPECT_EQ(timer_timeout(deadline), 1) << ms << " ms after the start";
    }
}

TEST_F(TimerTick, DeadlineAcrossTheUnsignedWrap)
{
    const double start = kTwo32 - 50;
    set_ms(start);
    const int32_t deadline = timer_deadline(100);
    EXPECT_EQ(deadline, 50);
    set_ms(start + 99);
    EXPECT_EQ(timer_timeout(deadline), 0);
    set_ms(start + 100);
    EXPECT_EQ(timer_timeout(deadline), 1);
}

TEST_F(TimerTick, DeadlineRelativeToNow)
{
    struct Case { double now; int32_t offset; int due; };
    const Case cases[] = {
        {5000, 0, 1},            // equal to now is due
        {5000, 1, 0},
        {5000, -1, 1},
        {kTwo31 - 1, 0, 1},
        {kTwo31 - 1, 1, 0},      // deadline is INT32_MIN, one tick ahead
        {kTwo31, -1, 1},
        {0, INT32_MAX, 0},       // the furthest future a deadline can name
    };
    for (const auto& c : cases) {
        set_ms(c.now);
        const int32_t deadline = timer_add(timer_get_tick(), c.offset);
        EXPECT_EQ(timer_timeout(deadline), c.due) << c.now << " + " << c.offset;
    }
}

TEST(TimerAdd, WrapsLikeUnsigned)
{
    EXPECT_EQ(timer_add(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(timer_add(-1, 1), 0);
    EXPECT_EQ(timer_add(0, -5), -5);
    EXPECT_EQ(timer_add(INT32_MIN, -1), INT32_MAX);
}

TEST(TimerDefaultSource, FollowsTheToolkitTimer)
{
    timer_set_source(nullptr);
    const double before = ::Timer();
    const int32_t tick = timer_get_tick();
    const double after = ::Timer();
    EXPECT_GE(tick, static_cast<int32_t>(std::floor(before * 1000.0)));
    EXPECT_LE(tick, static_cast<int32_t>(std::ceil(after * 1000.0)));
    EXPECT_GE(after, before);
}

}  // namespace
