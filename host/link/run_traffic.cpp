#include "link/run_traffic.h"

#include "link/traced_server.h"
#include "mrx3p_control.h"
#include "text/code_page.h"

namespace host {

RunTraffic::RunTraffic(const Case& c, const std::string& tracePath, const std::string& traceLevel,
                       const std::string& replayPath)
    : failures_(c) {
    // A plain run touches none of the front's routines.
    if (tracePath.empty() && replayPath.empty()) return;
    const MrxOps direct = DirectOps();
    // The case's texts went to the driver in its code page.
    const CodePage codePage = CodePage::Find(c.codePage).value_or(*CodePage::Find(kDefaultCodePage));
    if (!replayPath.empty()) {
        replay_ = std::make_unique<ReplayServer>(replayPath, direct, codePage);
        MrxStandin_SetFront(&replay_->Ops());
    }
    if (!tracePath.empty())
        traced_ = std::make_unique<TracedServer>(tracePath, traceLevel, replay_ ? replay_->Ops() : direct, codePage);
}

RunTraffic::~RunTraffic() {
    traced_.reset();
    if (replay_) MrxStandin_SetFront(nullptr);
}

void RunTraffic::SetPhase(const std::string& phase) {
    if (replay_) replay_->SetPhase(phase);
}

void RunTraffic::ArmFailures(int32_t step) {
    if (replay_) return;  // the trace answers, failures included
    failures_.Arm(step);
}

void RunTraffic::Finish() {
    if (traced_) traced_->Finish();
    if (replay_) MrxStandin_SetFront(nullptr);
}

void RunTraffic::Report(std::ostream& out) const {
    if (replay_) replay_->Report(out);
}

}  // namespace host
