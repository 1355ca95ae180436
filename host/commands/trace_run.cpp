#include <map>
#include <set>

#include "case/input_file.h"
#include "commands/trace_command.h"
#include "diagnose/trace_digest.h"
#include "link/session.h"
#include "link/traced_server.h"
#include "mrx3p_control.h"

namespace host {

void UseInitString(Case& c, const std::string& path) {
    RequireRegularFile(path, "the initialization string (--init-string)");
    c.initStringPath = path;
    c.initStringLine = 0;
    c.namedFiles.push_back({"the initialization string (--init-string)", path});
}

std::vector<std::string> AddLiveVerdicts(Diagnosis& d, const std::string& tracePath) {
    std::vector<std::string> disagreements;
    DigestOptions options;
    const TraceDigest digest = DigestTrace(tracePath, options);
    // By tag text: every (data set, operation) the live link called it with.
    std::map<std::string, std::vector<std::pair<const TagKeyT*, const KeyDigest*>>> byTag;
    for (const auto& [key, k] : digest.keys) byTag[std::get<0>(key)].push_back({&key, &k});
    const bool failuresOnly = digest.header.level == "failures";
    for (RowDiagnosis& row : d.rows) {
        for (TagDiagnosis& tag : row.tags) {
            if (tag.text.empty()) continue;
            const auto found = byTag.find(tag.text);
            if (found == byTag.end()) {
                tag.live = failuresOnly ? "live: no failure in the trace" : "live: no call in the trace";
                continue;
            }
            std::string text;
            std::set<std::string> ops;
            bool everOk = false;
            for (const auto& [key, k] : found->second) {
                ops.insert(std::get<2>(*key));
                everOk = everOk || k->everOk;
                text += (text.empty() ? "live: " : "; ") + std::to_string(k->calls) + " calls of " + std::get<2>(*key) +
                        " (data set " + std::to_string(std::get<1>(*key)) + "), " + std::to_string(k->failures) +
                        " failed, last status " + std::to_string(k->lastStatus);
            }
            if (!failuresOnly && !everOk && tag.status == Verdict::Bound) {
                tag.liveDisagrees = true;
                text += "; binds here but never once succeeded live";
            }
            if (!tag.operation.empty() && ops.count(tag.operation) == 0) {
                tag.liveDisagrees = true;
                text +=
                    "; served live as " + *ops.begin() + ", not " + tag.operation + " as this case's catalogue has it";
            }
            if (tag.status == Verdict::Problem && everOk) {
                tag.liveDisagrees = true;
                text += "; a problem here, but the live server answers it";
            }
            tag.live = text;
            if (tag.liveDisagrees) {
                disagreements.push_back(row.table + " " + std::to_string(row.index) +
                                        (row.name.empty() ? "" : " (" + row.name + ")") + " " + tag.field + " \"" +
                                        tag.text + "\": " + text);
            }
        }
    }
    return disagreements;
}

RunTraffic::RunTraffic(const Case& c, const std::string& tracePath, const std::string& traceLevel,
                       const std::string& replayPath)
    : failures_(c) {
    // A plain run touches none of the front's routines.
    if (tracePath.empty() && replayPath.empty()) return;
    const MrxOps direct = DirectOps();
    if (!replayPath.empty()) {
        replay_ = std::make_unique<ReplayServer>(replayPath, direct);
        MrxStandin_SetFront(&replay_->Ops());
    }
    if (!tracePath.empty())
        traced_ = std::make_unique<TracedServer>(tracePath, traceLevel, replay_ ? replay_->Ops() : direct);
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
