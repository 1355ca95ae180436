// A run held against a reference run: every column of a CSV written by an
// earlier `run --csv`, with a tube around each curve, in value (an absolute
// and a relative tolerance) and in time (a number of steps either side).
// Each column is told by the first step at which the run leaves its tube
// and by its largest deviation from the reference.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "case/io_list_csv.h"
#include "report/report.h"

namespace host {

struct CompareOptions {
    std::string referencePath;  // empty: no comparison
    double tolerance = 0.0;     // a value within this of the reference is inside
    double relTolerance = 0.0;  // or within this share of the reference's size
    int32_t timeTolerance = 0;  // the reference's steps this many either side count too
};

class TrendCompare {
public:
    // Reads the reference. Throws CaseError at FILE:LINE:COLUMN for a file
    // that is no CSV of a run, std::runtime_error for one that cannot be read.
    TrendCompare(const CompareOptions& options, const Layout& layout);
    TrendCompare(const TrendCompare&) = delete;  // its reader points into its own text
    TrendCompare& operator=(const TrendCompare&) = delete;

    // Compares the run's row of this step with the reference's.
    void Step(const StepRecord& record);

    // Whether any column left its tube (or the reference lacks it).
    bool Outside() const;
    // What the comparison found, a line per column outside and a summary.
    std::string Report() const;

    // The same in one line, for a test's verdict: the first fault (the
    // earliest step a column left its tube, a column or steps the run
    // lacks) and how many more, or that every column stayed inside.
    struct Verdict {
        bool outside = false;
        int32_t step = -1;  // where the first column left its tube; -1 when not at a step
        std::string text;
        int64_t rows = 0;         // the run's rows compared
        int64_t rowsOutside = 0;  // those with a column outside
        int64_t lastStep = -1;    // the last step the run took
    };
    Verdict OneLine() const;

private:
    struct Column {
        std::string name;
        size_t run = 0;        // its index in this run's rows
        size_t reference = 0;  // and in the reference's
        int64_t outsideSteps = 0;
        int32_t firstOutside = -1;
        std::string firstText;  // what was outside there
        double largest = 0.0;   // the largest deviation from the reference
        int32_t largestStep = -1;
    };
    const CsvRecord* ReferenceRow(int64_t step);

    CompareOptions options_;
    Layout layout_;
    // The reference is kept as its text and read a row at a time: as cells
    // a plant's long run would take many times its size.
    std::string referenceText_;
    CsvLines reference_;
    std::map<int64_t, CsvLines::Place> referenceSteps_;  // step → where its row begins
    std::map<int64_t, CsvRecord> window_;                // the rows within reach of the current step, read
    std::vector<Column> columns_;
    std::vector<std::string> missing_;  // the reference's columns this run lacks
    std::vector<std::string> added_;    // this run's columns the reference lacks
    int64_t steps_ = 0;
    int64_t rowsOutside_ = 0;
    int64_t lastStep_ = -1;  // the last step this run took
};

}  // namespace host
