// The millisecond tick and its deadlines, driven by a clock the test moves.
#include "util/timer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double g_seconds = 0.0;
// Half a millisecond past ms, so the product with 1000 is never a hair below a whole millisecond.
void set_ms(double ms) { g_seconds = (ms + 0.5) / 1000.0; }

TEST(Timer, TickAndDeadlinesAcrossBothWraps) {
    constexpr double kTwo31 = 2147483648.0, kTwo32 = 4294967296.0;
    timer_set_source([] { return g_seconds; });
    for (auto [ms, tick] : {std::pair<double, int32_t>{0, 0}, {1999, 1999}, {kTwo31 - 1, INT32_MAX}, {kTwo31, INT32_MIN},
             {kTwo31 + 100, INT32_MIN + 100}, {kTwo32 - 1, -1}, {kTwo32 + 5, 5}, {std::nan(""), 0},
             {kTwo31 + 0.499, INT32_MIN}}) { // truncated, not rounded
        set_ms(ms);
        EXPECT_EQ(timer_get_tick(), tick) << ms;
    }
    for (const double start : {kTwo31 - 100, kTwo32 - 50, 5000.0}) {
        set_ms(start);
        const int32_t deadline = timer_deadline(200);
        EXPECT_EQ(uint32_t(deadline), uint32_t(std::fmod(start + 200, kTwo32))) << start;
        for (int ms = 0; ms <= 1000; ++ms) {
            set_ms(start + ms);
            ASSERT_EQ(timer_timeout(deadline), ms >= 200 ? 1 : 0) << ms << " ms after " << start;
        }
    }
    set_ms(0); // the furthest future a deadline can name is not due; the last tick is
    EXPECT_EQ((std::vector{timer_timeout(timer_add(0, INT32_MAX)), timer_timeout(timer_add(0, -1))}), (std::vector{0, 1}));
    timer_set_source(nullptr);
}

} // namespace
