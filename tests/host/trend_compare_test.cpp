// run --compare: a run held in a tube around a reference run, in value and
// in time, with each edge of the tube and what the report names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "report/trend_compare.h"

namespace {

namespace fs = std::filesystem;

host::StepRecord Record(int32_t step, double value) {
    host::StepRecord r;
    r.step = step;
    r.pvExports = {value};
    return r;
}

TEST(TrendCompare, ATubeInValueAndInTime) {
    host::Layout layout;
    layout.pvExports = {"FI-101"};
    const fs::path reference = fs::temp_directory_path() / ("dcs-compare-" + std::to_string(::getpid()) + ".csv");
    {
        std::ofstream out(reference);
        out << host::CsvHeader(layout);
        for (int32_t step = 0; step <= 4; ++step) out << host::CsvRow(layout, Record(step, step));
    }
    const struct {
        std::vector<double> run;
        double tolerance, relTolerance;
        int32_t timeTolerance;
        const char* report;  // a part of it; "" for every column inside
        const char* line;    // a part of a test's one-line verdict, and the step it names
        int32_t lineStep;
    } cases[] = {
        {{0, 1, 2, 3, 4}, 0, 0, 0, "", "all 4 column(s) inside over 5 step(s)", -1},
        // A step late: outside unless the tube reaches a step either side.
        {{0, 0, 1, 2, 3},
         0,
         0,
         0,
         "FI-101: outside the tube from step 1 (0, the reference 1), at 4 step(s); largest "
         "deviation 1 at step 1",
         "FI-101 was 0, the reference 1; its largest deviation 1 at step 1",
         1},
        {{0, 0, 1, 2, 3}, 0, 0, 1, "", "all 4 column(s) inside", -1},
        {{0.5, 1.5, 2.5, 3.5, 4.5}, 0.5, 0, 0, "", "all 4 column(s) inside over 5 step(s)", -1},
        {{0.5, 1.5, 2.5, 3.5, 4.5},
         0.4999,
         0,
         0,
         "outside the tube from step 0 (0.5, the reference 0)",
         "FI-101 was 0.5, the reference 0",
         0},
        {{0, 1, 2, 3, 4.5}, 0, 0.125, 0, "", "all 4", -1},
        {{0, 1, 2, 3, 4.5}, 0, 0.12, 0, "outside the tube from step 4 (4.5, the reference 4)", "FI-101 was 4.5", 4},
        {{0, 1, 2},
         0,
         0,
         0,
         "the reference runs to step 4, this run to step 2",
         "the reference runs to step 4, this run to step 2",
         -1},
    };
    for (const auto& c : cases) {
        host::CompareOptions options;
        options.referencePath = reference.string();
        options.tolerance = c.tolerance;
        options.relTolerance = c.relTolerance;
        options.timeTolerance = c.timeTolerance;
        host::TrendCompare compare(options, layout);
        for (size_t step = 0; step < c.run.size(); ++step)
            compare.Step(Record(static_cast<int32_t>(step), c.run[step]));
        const std::string report = compare.Report();
        const bool inside = std::string(c.report).empty();
        EXPECT_EQ(compare.Outside(), !inside) << report;
        if (inside) {
            EXPECT_NE(report.find("4 of 4 column(s) inside the tube"), std::string::npos) << report;
        } else {
            EXPECT_NE(report.find(c.report), std::string::npos) << report;
        }
        const host::TrendCompare::Verdict verdict = compare.OneLine();
        EXPECT_EQ(verdict.outside, !inside);
        EXPECT_EQ(verdict.step, c.lineStep) << verdict.text;
        EXPECT_NE(verdict.text.find(c.line), std::string::npos) << verdict.text;
    }
    fs::remove(reference);
}

}  // namespace
