// A case's expectations held against its link: the link run as `run` runs
// it, every expectation looked at as its moment comes, and a verdict for
// each. The looking is apart from the driving, so that it can be shown
// moments made by hand.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "case/case_model.h"
#include "link/driver_message.h"
#include "link/link.h"

namespace host {

// What the link shows at one moment of a test run.
struct LinkMoment {
    ExpectWhen when = ExpectWhen::Step;  // Step: the end of a step
    int32_t step = 0;                    // the step it came in; 0 before the first
    bool configured = false;
    struct Controller {
        double sp = 0.0, op = 0.0, mode = 0.0;
    };
    std::vector<Controller> controllers;
    std::vector<double> pvImports;
    std::optional<int32_t> enabled, running;  // the flag tags as the server holds them
    std::vector<DriverMessage> boxes;         // the boxes this moment raised, decoded
    // A tag's value as the server holds it; none when it holds none.
    std::function<std::optional<double>(const TagValue&)> tagValue;
    double seconds = 0.0;  // how long the entry point (or step) took
};

struct ExpectationResult {
    const Expectation* expectation = nullptr;
    bool passed = false;
    int32_t looks = 0;  // the moments it was looked at
    int32_t failedLooks = 0;
    std::string moment;  // the first moment it failed at, else the last it was looked at ("step 8")
    std::string expected;
    std::string actual;    // at that moment; for one never looked at, why
    double seconds = 0.0;  // the time of the moments it was looked at
};

// Looks at each expectation at every moment that is its own and keeps the
// first failure (an every_step one reports its first failing step and how
// many failed).
class ExpectationTally {
public:
    explicit ExpectationTally(const std::vector<Expectation>& expectations);
    void Look(const LinkMoment& m);
    // Every expectation in file order; one whose moment never came fails,
    // saying why (`steps`: the steps the run was to take).
    std::vector<ExpectationResult> Results(int32_t steps, bool configured) const;

private:
    std::vector<ExpectationResult> results_;
};

struct CaseTestRun {
    bool configured = false;
    int32_t steps = 0;
    double seconds = 0.0;
    std::vector<ExpectationResult> results;
};

// Called with the rows as the simulator takes them, after DCSInitialize
// (step 0) and after each step, and whether it succeeded as `run` tells it
// (the entry point did, and no message was raised), for a comparison with a
// reference run.
using RowsTaken = std::function<void(const Link& link, int32_t step, bool ok)>;

// Runs the case's link for `steps` steps in the order `run` takes it and
// holds it to the case's expectations. An expectation of a reference run is
// left to the caller, which sees the rows through `rowsTaken`. The server
// must be prepared for the case. Throws CaseError for rows the driver cannot
// take.
CaseTestRun RunCaseTest(Driver& driver, const Case& c, int32_t steps, const RowsTaken& rowsTaken = {});

}  // namespace host
