// Trace export: every number reads back equal, every trace and point is kept,
// header lines cannot break into data rows, and a file that cannot be written
// says which.
#include "app/trace_export.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

namespace {

std::vector<Trace> threeTraces() {
    std::vector<Trace> t;
    for (int k = 0; k < 3; ++k) {
        Trace trace{1.0 + 1.5 * k, 2.0, "V", {}};
        for (int i = 0; i < 700; ++i) { // three sweeps beyond the data file's 1000 points
            const double f = 0.1 * std::pow(1.0123, i), z = 0.02 + 0.01 / (1.0 + f * 1e-3) + 1e-17 * k;
            trace.points.push_back({f, z, -z / 3.0, std::hypot(z, z / 3.0), -18.434948822922, 0.05 / 3.0, -1.0 / 7.0,
                2.0, 1e-300 * i});
        }
        t.push_back(trace);
    }
    t[1].points[5].zAmp = NAN; // an overload
    t[2].points[9].zReal = -INFINITY;
    return t;
}

TEST(TraceExport, EveryPointOfEveryTraceReadsBackEqual) {
    const std::vector<Trace> traces = threeTraces();
    TraceExportHeader h{"IMBENCH,IM3590-SIM,000123,1.20", "000123", "1.20\nx,1,2", "2026-12-06T17:00:00", {{"START", "1 Hz"}}};
    std::istringstream in(trace_export_csv_text(h, traces));
    std::string line;
    int comments = 0;
    while (std::getline(in, line) && line[0] == '#') ++comments;
    EXPECT_EQ(comments, 9) << "title, identity, serial, version (one line), date, one setting, three traces";
    EXPECT_EQ(line, "trace,dc_level,frequency_hz,z_real_ohm,z_imag_ohm,z_abs_ohm,z_phase_deg,v_abs,v_phase_deg,i_abs,i_phase_deg");
    std::vector<int> rows(3);
    while (std::getline(in, line)) {
        std::vector<double> v;
        for (std::size_t at = 0; at <= line.size();) {
            const std::size_t comma = std::min(line.find(',', at), line.size());
            double x = 0;
            const auto r = std::from_chars(line.data() + at, line.data() + comma, x);
            EXPECT_TRUE(r.ec == std::errc{} && r.ptr == line.data() + comma) << line;
            v.push_back(x);
            at = comma + 1;
        }
        ASSERT_EQ(v.size(), 11u) << line;
        const int k = static_cast<int>(v[0]) - 1;
        ASSERT_TRUE(k >= 0 && k < 3) << line;
        const TracePoint& p = traces[static_cast<std::size_t>(k)].points[static_cast<std::size_t>(rows[static_cast<std::size_t>(k)]++)];
        const std::vector<double> want = {traces[static_cast<std::size_t>(k)].dcLevel, p.freq, p.zReal, p.zImag, p.zAmp, p.zPhase, p.voltAmp, p.voltPhase, p.currAmp, p.currPhase};
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_TRUE(v[i + 1] == want[i] || (std::isnan(v[i + 1]) && std::isnan(want[i]))) << line << " column " << i + 2;
    }
    EXPECT_EQ(rows, (std::vector<int>{700, 700, 700}));
}

TEST(TraceExport, ThreeColumnFilesBesideTheCsvAndAFailureNamesItsFile) {
    tsupport::TempDir dir;
    const std::vector<Trace> traces = threeTraces();
    EXPECT_EQ(trace_export_write(dir.file("run.csv"), {}, traces), "");
    std::ifstream second(dir.file("run-trace2.csv"));
    int n = 0;
    for (std::string line; std::getline(second, line); ++n) {
        const TracePoint& p = traces[1].points[static_cast<std::size_t>(n)];
        double f = 0, re = 0, im = 0;
        char comma1 = 0, comma2 = 0;
        std::istringstream(line) >> f >> comma1 >> re >> comma2 >> im;
        EXPECT_TRUE(f == p.freq && re == p.zReal && im == p.zImag && comma1 == ',' && comma2 == ',') << line;
    }
    EXPECT_EQ(n, 700);
    EXPECT_EQ(trace_export_columns_path("/a.b/c", 3), "/a.b/c-trace3.csv");
    EXPECT_EQ(trace_export_columns_path("d/.hidden", 1), "d/.hidden-trace1.csv");
    const std::string missing = dir.file("no/such/run.csv");
    EXPECT_EQ(trace_export_write(missing, {}, traces).rfind(missing + ": ", 0), 0u);
}

} // namespace
