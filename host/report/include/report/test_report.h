// What `test` shows of the cases it ran: a line per expectation for the
// terminal, and the same results as JSON and as JUnit XML for CI systems.
#pragma once

#include <string>
#include <vector>

#include "diagnose/case_test.h"

namespace host {

// The name and version of the JSON format (docs/test-results-format.md).
extern const char* const kTestResultsFormat;
constexpr int kTestResultsVersion = 1;

// One case given to `test`: run, or refused with why.
struct CaseOutcome {
    std::string file;   // as named
    std::string error;  // empty: it ran; else the case could not be read or run, and why
    CaseTestRun run;    // its expectations point into the case, which outlives the outcome
};

// "FILE:LINE: passed: ..." or "FILE:LINE: FAILED: ..." for one expectation.
std::string ExpectationLine(const std::string& file, const ExpectationResult& r);
// A case's lines and its summary, for the terminal.
std::string TestCaseReport(const CaseOutcome& outcome);
// "5 case(s), 40 expectation(s): 39 passed, 1 failed".
std::string TestTotalsLine(const std::vector<CaseOutcome>& outcomes);
std::string TestJsonReport(const std::vector<CaseOutcome>& outcomes);
std::string TestJunitReport(const std::vector<CaseOutcome>& outcomes);
// A self-contained page: the totals, then each case's expectations in a
// table, the failed ones marked, with what was expected and what came.
std::string TestHtmlReport(const std::vector<CaseOutcome>& outcomes);

}  // namespace host
