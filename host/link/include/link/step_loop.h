// The order in which the host takes the link through a run, written once for
// every command that runs one (`run`, `test`): the case's failures due
// before the configuration armed; DCSConfigure; when it configured,
// DCSInitialize and the steps, each its events at its start, then the
// plant's PV exports moved, then DCSSimulate; DCSReset at the end whatever
// happened. After DCSInitialize and after each DCSSimulate the rows are
// taken as the simulator takes them, and their change marks put back to 0.
// What each moment means is the observer's: the run reports rows and
// messages, the test holds the link to the case's expectations.
#pragma once

#include <cstdint>
#include <vector>

#include "case/case_file.h"
#include "link/link.h"

namespace host {

enum class LinkCall { Configure, Initialize, Start, Stop, TimeZero, Simulate, Reset };

// "DCSConfigure", ...
const char* LinkCallName(LinkCall call);

class StepObserver {
public:
    virtual ~StepObserver() = default;
    // The case's scripted failures of `step` are due (0: before DCSConfigure).
    virtual void ArmFailures(int32_t step) = 0;
    // A step begins: before its events.
    virtual void StepBegins(int32_t /*step*/) {}
    // An entry point is about to be called, in `step` (0 before the first).
    virtual void Calling(LinkCall /*call*/, int32_t /*step*/) {}
    // It returned. After DCSInitialize and DCSSimulate the rows still carry
    // their change marks.
    virtual void Returned(LinkCall /*call*/, int32_t /*step*/, int32_t /*result*/) {}
    // An event of the step took effect: its entry point returned, or its
    // value is in the server.
    virtual void EventApplied(const Event& /*event*/, int32_t /*step*/) {}
};

class StepLoop {
public:
    // The link's rows must be filled for `c`; all four outlive the loop.
    StepLoop(Driver& driver, const Case& c, Link& link, StepObserver& observer);

    // The whole run: DCSConfigure; when it configured, DCSInitialize and
    // `steps` steps; then DCSReset. Whether the link configured.
    bool Run(int32_t steps);

    // Its parts, for a caller that times a step on its own; Run is the order.
    bool Configure();
    void Initialize();
    int32_t Step(int32_t step);
    void Reset(int32_t step);

private:
    int32_t Call(LinkCall call, int32_t step);
    void MovePVs();
    void TakeChangeMarks();

    Driver& driver_;
    const Case& c_;
    Link& link_;
    StepObserver& observer_;
    std::vector<double> pv_;         // the PV exports' values as the plant moves them
    std::vector<size_t> followers_;  // the exports whose value follows a controller
    bool constantsSet_ = false;
};

}  // namespace host
