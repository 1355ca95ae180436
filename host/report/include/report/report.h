// What a run records of each step, and its CSV form; and the quoting of
// CSV fields, which every CSV output of dcs-host (the run's, the problems,
// the tags, the trace's calls) shares. The terminal table, the chart and
// the page render the same step records.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "case/row_names.h"

namespace host {

// The names of the rows, in table order.
using Layout = RowNames;

struct ControllerSample {
    double sp = 0.0;
    double op = 0.0;
    bool spChanged = false;  // the driver stored the SP during this step
    bool opChanged = false;
};

// The state after one step; step 0 is the state after DCSInitialize.
struct StepRecord {
    int32_t step = 0;
    bool ok = true;
    std::string events;  // the events applied before the step, space-separated
    std::vector<ControllerSample> controllers;
    std::vector<double> pvExports;
    std::vector<double> pvImports;
    std::optional<int32_t> enabled;  // the flag tags as the server holds them
    std::optional<int32_t> running;
};

// The CSV form: one header row, one row per step. Change marks get columns
// of their own (0 or 1); a flag the server does not hold is left empty.
std::string CsvHeader(const Layout& layout);
std::string CsvRow(const Layout& layout, const StepRecord& record);
// A row appended to `line`.
void AppendCsvRow(std::string& line, const StepRecord& record);

// A field of a CSV row, quoted when it needs to be.
std::string CsvField(const std::string& text);
// One CSV line of these fields, each quoted where it must be, ended by a line feed.
std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace host
