#include "orvsys/orvclock.h"
#include "orvsys/orvprofiler.h"
#include "orvsys/orvprofiler_histogram.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

struct ProfilerDeleter {
    void operator()(orvprofiler_struct *p) const { orvprofiler_destroy(p); }
};
using Profiler = std::unique_ptr<orvprofiler_struct, ProfilerDeleter>;

Profiler makeProfiler(const char *name) {
    return Profiler(orvprofiler_new(name));
}

TEST(Profiler, NewIsResetAndNamed) {
    auto p = makeProfiler("a-rather-long-profiler-name-beyond-31");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p->name), "a-rather-long-profiler-name-bey");
    EXPECT_EQ(p->frameCnt, 0);
    EXPECT_EQ(p->minimum, s64{1} << 62);
    EXPECT_EQ(orvprofiler_getMinimum(p.get()), 0u);
    EXPECT_EQ(orvprofiler_getMaximum(p.get()), 0u);
    EXPECT_EQ(orvprofiler_getAverage(p.get()), 0u);
    EXPECT_EQ(orvprofiler_destroy(nullptr), nullptr);
}

TEST(Profiler, PortableClockCountsMicroseconds) {
    EXPECT_EQ(clock_getFreq(), 1e6);
    EXPECT_GE(clock_getCount(nullptr), 0);
}

TEST(Profiler, StopWithoutStartMeasuresFromZero) {
    auto p = makeProfiler("nostart");
    volatile double sink = 0;
    for (int i = 0; i < 2000000; ++i) sink = sink + i; // make the processor clock move
    const s64 now = clock_getCount(p.get());
    const u32 us = orvprofiler_stop(p.get());
    EXPECT_GE(static_cast<s64>(us), now);
    EXPECT_EQ(p->frameCnt, 1);
    EXPECT_EQ(p->start, 0);
    EXPECT_EQ(p->end, 0);
}

TEST(Profiler, StatisticsAndHistogramRows) {
    auto p = makeProfiler("stats");
    // Drive the bookkeeping with known durations: start is read from the clock, so set it by
    // hand relative to the clock's own count for a deterministic d.
    const s64 durations[] = {0, 1, 2, 3, 5, 6, 1000};
    for (s64 d : durations) {
        orvprofiler_start(p.get());
        p->start = clock_getCount(p.get()) - d;
        orvprofiler_stop(p.get());
    }
    EXPECT_EQ(p->frameCnt, 7);
    // The processor clock may tick during a call, so bounds rather than exact values.
    EXPECT_GE(p->maximum, 1000);
    EXPECT_GE(p->total, 1017);
    EXPECT_GE(p->minimum, 1);
    const u32 counted = [&] {
        u32 n = 0;
        for (auto &row : p->log_histogram) n += row[0] + row[1];
        return n;
    }();
    EXPECT_EQ(counted, 7u);
    EXPECT_GE(orvprofiler_getAverage(p.get()), 1017u / 7);

    orvprofiler_reset(p.get());
    EXPECT_EQ(p->frameCnt, 0);
    EXPECT_EQ(p->total, 0);
    EXPECT_EQ(counted, [&] { // the histogram survives a reset
        u32 n = 0;
        for (auto &row : p->log_histogram) n += row[0] + row[1];
        return n;
    }());
}

TEST(Profiler, HistogramRowAndColumn) {
    struct Case {
        s64 d;
        int row, column;
    };
    constexpr Case cases[] = {{0, 0, 0},
                              {-5, 0, 0},
                              {1, 1, 0},
                              {2, 2, 0},
                              {3, 2, 1},
                              {4, 3, 0},
                              {6, 3, 1},
                              {(s64{1} << 31) - 1, 31, 1},
                              {s64{1} << 30, 31, 0},
                              {s64{1} << 31, 31, 1},
                              {s64{1} << 40, 31, 1}};
    for (const auto &c : cases) {
        const auto cell = orv::profilerHistogramCell(c.d);
        EXPECT_EQ(cell.row, c.row) << "d = " << c.d;
        EXPECT_EQ(cell.column, c.column) << "d = " << c.d;
    }
}

TEST(Profiler, PrintsNothingBeforeTheFirstMeasurement) {
    auto p = makeProfiler("quiet");
    testing::internal::CaptureStdout();
    orvprofiler_print(p.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    orvprofiler_printHistogramData(p.get(), stdout);
    orvprofiler_printHistogramData(p.get(), nullptr);
}

TEST(Profiler, SummaryLineAndHistogramScript) {
    auto p = makeProfiler("sec");
    p->start = clock_getCount(p.get()) - 12;
    orvprofiler_stop(p.get());

    testing::internal::CaptureStdout();
    orvprofiler_print(p.get());
    const std::string line = testing::internal::GetCapturedStdout();
    EXPECT_EQ(line.rfind("\nprofiler: name=sec nframes=1 mean=", 0), 0u) << line;

    orvtest::TempDir dir;
    const std::string path = dir.file("hist.m");
    FILE *f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    orvprofiler_printHistogramData(p.get(), f);
    std::fclose(f);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string script = text.str();
    EXPECT_EQ(script.rfind("prof_sec.mat = [\n0 0\n1.00 0\n1.50 0\n", 0), 0u) << script;
    EXPECT_NE(script.find("];\nprof_sec.x = prof_sec.mat(:,1);\nprof_sec.y = prof_sec.mat(:,2);\n"
                          "prof_sec = rmfield(prof_sec, 'mat');\nprof_sec.min = "),
              std::string::npos)
        << script;
    EXPECT_EQ(script.substr(script.size() - 3), ";\n\n");
}

} // namespace
