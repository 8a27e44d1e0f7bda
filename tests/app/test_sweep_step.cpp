// The sweep's stepping on its own: the frequencies from START to STOP, linear
// or by decades, up or down, and the first frequency beyond STOP.
#include "app/fra.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SweepStep, FrequenciesFromStartToStopAndTheFirstBeyond) {
    const struct {
        const char* name;
        IfcSweepRange range;
        std::vector<double> expected;
        double beyond;
    } cases[] = {
        {"linear up, STOP measured", {10, 50, 10, 0}, {10, 20, 30, 40, 50}, 60},
        {"linear down", {50, 10, 15, 0}, {50, 35, 20}, 5},
        {"sums that miss STOP by a rounding error", {0.1, 0.7, 0.3, 0}, {0.1, 0.4, 0.7}, 1.0},
        {"START equals STOP", {7, 7, 100, 1}, {7}, 8},
        {"decades up from 1", {1, 100, 0, 1},
            {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 200},
        {"decades up from 0.5, tenths to 1 Hz", {0.5, 3, 0, 1}, {0.5, 0.6, 0.7, 0.8, 0.9, 1, 2, 3}, 4},
        {"decades up from 15", {15, 250, 0, 1}, {15, 25, 35, 45, 55, 65, 75, 85, 95, 105, 205}, 305},
        {"decades down from 1000, the next decade at each power of ten", {1000, 0.1, 0, 1},
            {1000, 900, 800, 700, 600, 500, 400, 300, 200, 100, 90, 80, 70, 60, 50, 40, 30, 20, 10,
                9, 8, 7, 6, 5, 4, 3, 2, 1, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1},
            0.0},
        {"decades down, STOP inside a decade", {300, 25, 0, 1}, {300, 200, 100, 90, 80, 70, 60, 50, 40, 30}, 20},
        {"tenths down, never below 0 Hz", {0.25, 0.05, 0, 1}, {0.25, 0.15, 0.05}, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> got = {c.range.start};
        IfcSweepNext next = ifc_sweep_next(c.range, c.range.start);
        for (; !next.done && got.size() < 100; next = ifc_sweep_next(c.range, next.freq))
            got.push_back(next.freq);
        ASSERT_EQ(got.size(), c.expected.size());
        // Tenths are snapped, so only linear sums may differ from the decimal value.
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_DOUBLE_EQ(got[i], c.expected[i]) << "point " << i;
        EXPECT_DOUBLE_EQ(next.freq, c.beyond);
        EXPECT_EQ(ifc_sweep_point_count(c.range), c.expected.size());
    }
    EXPECT_EQ(ifc_sweep_point_count({0.1, 100000, 0.01, 0}), 0u) << "too many to count";
}

// The estimate goes by the run's pace: the points left in this sweep and in
// the REPEAT run's later sweeps, each taking the time a point took so far.
TEST(SweepProgress, StepPointsAndTheTimeLeft) {
    const struct {
        IfcProgress p;
        const char* text;
    } cases[] = {
        {{0, 0, 0, 19, 0, 0.0}, "point 0 of 19, estimating the time left"},
        {{0, 0, 4, 19, 4, 8.0}, "point 4 of 19, about 30 s left"},
        {{1, 3, 19, 19, 19, 38.0}, "DC step 1 of 3, point 19 of 19, about 1 min 16 s left"},
        {{3, 3, 10, 19, 48, 96.0}, "DC step 3 of 3, point 10 of 19, about 18 s left"},
        {{2, 2, 19, 19, 38, 50.0}, "DC step 2 of 2, point 19 of 19, finishing"},
        {{0, 0, 7, 0, 7, 3.0}, "point 7"},
        {{1, 2, 1, 11, 1, 90.0}, "DC step 1 of 2, point 1 of 11, about 31 min 30 s left"},
        {{0, 0, 1, 101, 1, 100.0}, "point 1 of 101, about 2 h 46 min left"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ifc_progress_text(c.p), c.text);
}

} // namespace
