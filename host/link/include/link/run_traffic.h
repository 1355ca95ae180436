// What stands between the driver and the simulated server in a run: the
// tracing core (--trace), a replay (--replay), both (the replay behind the
// tracer) or nothing; and the case's scripted failures, armed by step
// unless a replay answers instead.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "case/case_file.h"
#include "link/session.h"

namespace host {

class ReplayServer;
class TracedServer;

class RunTraffic {
public:
    // Throws TraceError or std::runtime_error; the server must be prepared.
    // `c` gives the failures, and outlives this.
    RunTraffic(const Case& c, const std::string& tracePath, const std::string& traceLevel,
               const std::string& replayPath);
    ~RunTraffic();
    RunTraffic(const RunTraffic&) = delete;
    RunTraffic& operator=(const RunTraffic&) = delete;

    void SetPhase(const std::string& phase);
    // Arms the case's failures of `step` (0: before the configuration).
    void ArmFailures(int32_t step);
    // After the run: the trace put in place. Throws OutputError.
    void Finish();
    // The replay's findings, when there is one.
    void Report(std::ostream& out) const;

private:
    std::unique_ptr<ReplayServer> replay_;
    std::unique_ptr<TracedServer> traced_;
    FailureSchedule failures_;
};

}  // namespace host
