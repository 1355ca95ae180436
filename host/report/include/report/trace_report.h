// What the trace command shows of a trace: one screen of text, the same as
// JSON, and a self-contained page with a timeline of the failures and a
// chart of chosen tags' values over time.
#pragma once

#include <string>

#include "diagnose/trace_digest.h"
#include "output/output_file.h"

namespace host {

// The version of the JSON summary (format "dcs-host-trace-summary",
// docs/trace-summary-format.md).
constexpr int kTraceSummaryVersion = 2;

std::string TraceText(const TraceDigest& d);
// Tag names as text, decoded through the digest's code page as every other
// output shows them.
std::string TraceJson(const TraceDigest& d);
// The failures by tag, data set, operation and status as a CSV table for a
// spreadsheet: tag, data set, operation, status, count, first and last (s).
std::string TraceProblemsCsv(const TraceDigest& d);
// Writes and commits the page; one that reloads itself every
// `reloadSeconds` when above 0 (a page of a trace followed live).
void WriteTracePage(OutputFile& file, const TraceDigest& d, int reloadSeconds = 0);

// "1.234567 s" from microseconds.
std::string SecondsText(int64_t us);
// "850 ns", "1.2 us", "3.40 ms".
std::string DurationText(int64_t ns);

}  // namespace host
