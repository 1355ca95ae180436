// One run of the link on a case, in the order the step loop takes it: the
// simulated server prepared for the case, the driver's rows filled, its
// messages gathered phase by phase, and every step handed to the report as
// it is taken, so that memory stays flat however many steps. `run` drives
// it; the run benchmark times its step against the driver's own.
#pragma once

#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "commands/commands.h"
#include "link/link.h"
#include "link/run_traffic.h"
#include "link/session.h"
#include "link/step_loop.h"
#include "report/message_tally.h"
#include "report/run_report.h"
#include "text/code_page.h"

namespace host {

// The rows as they stand, for the report (their change marks included).
void SampleRows(const Link& link, int32_t step, StepRecord& record);

class RunSession : private StepObserver {
public:
    // Prepares the server, loads the driver's definitions and fills its
    // rows. `c`, `driver` and `report` outlive the session. Throws
    // CaseError, TraceError or std::runtime_error.
    RunSession(const Case& c, Driver& driver, RunReport& report, const RunOptions& options);
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

    // The whole run, DCSReset included; whether the link configured.
    bool Run(int32_t steps);
    // Its first part: DCSConfigure and DCSInitialize; false when the link
    // did not configure.
    bool Begin();
    // One step: its events, the PV exports moved, DCSSimulate, the rows
    // recorded; false when the step failed.
    bool Step(int32_t step);
    // DCSReset (unless the run took it) and DCSDestroy, what they raised
    // reported, the repeated messages counted, the trace put in place.
    // Returns the flags' line shown below the table.
    std::string End();

    bool Configured() const { return configured_; }
    // Every step so far succeeded, DCSInitialize's included.
    bool AllOk() const { return allOk_; }
    DCSLinkData& Data() { return link_.Data(); }
    // After End: what a replay found.
    void ReportTraffic(std::ostream& out) const { traffic_.Report(out); }

private:
    void ArmFailures(int32_t step) override;
    void StepBegins(int32_t step) override;
    void Calling(LinkCall call, int32_t step) override;
    void Returned(LinkCall call, int32_t step, int32_t result) override;
    void EventApplied(const Event& event, int32_t step) override;

    void Phase(const std::string& next);
    bool Quiet();
    void NameCaseGap(const DriverMessage& m);
    void Record(int32_t step, bool ok);

    const Case& c_;
    Driver& driver_;
    RunReport& report_;
    bool prepared_;  // the server, before anything stands in front of it
    RunTraffic traffic_;
    BlockCounts before_;
    // A box raised over and over (one per line of a broken string, one per
    // failing step) is shown in full only its first few times.
    MessageTally tally_;
    BoxCapture boxes_;
    Link link_;
    StepLoop loop_;
    MessageWatch watch_;
    std::vector<Message> errors_;  // the ErrorMsg texts of the current phase
    std::string phase_ = "DCSLoad";
    size_t shownBefore_ = 0;
    int64_t boxesBefore_ = 0;
    CodePage codePage_;
    bool configured_ = false;
    bool reset_ = false;
    bool allOk_ = true;
    bool stepOk_ = true;
    int32_t lastStep_ = 0;
    std::string applied_;  // the events of the step, as the table shows them
    std::set<std::string> gapsNamed_;
    StepRecord record_;  // kept from step to step, so a plant's rows are not allocated anew
};

}  // namespace host
