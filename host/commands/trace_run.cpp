#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "case/input_file.h"
#include "commands/trace_command.h"
#include "diagnose/trace_digest.h"
#include "link/session.h"
#include "link/traced_server.h"
#include "mrx3p_control.h"
#include "os/os.h"

namespace host {

namespace {

// The captured strings handed to tools that read a string from a file; the
// files go when dcs-host ends (or is interrupted).
class CapturedFiles {
public:
    ~CapturedFiles() {
        std::error_code ignored;
        for (const std::string& path : paths_) {
            std::filesystem::remove(std::filesystem::u8path(path), ignored);
            os::UntrackTemporary(path);
            // The folder goes with its last file.
            std::filesystem::remove(std::filesystem::u8path(path).parent_path(), ignored);
        }
    }
    void Add(const std::string& path) {
        paths_.push_back(path);
        os::TrackTemporary(path);
    }

private:
    std::vector<std::string> paths_;
};

CapturedFiles& Captured() {
    static CapturedFiles files;
    return files;
}

}  // namespace

bool IsTraceFile(const std::string& path) {
    static const std::string kStart = "{\"type\":\"header\"";
    return FileStart(path, kStart.size()) == kStart;
}

std::optional<int> CodePageNamedByTrace(const std::string& path) {
    if (!IsTraceFile(path)) return std::nullopt;
    const TraceReader reader(path);
    const TraceCodePage codePage = CodePageOfTrace(reader.Header(), std::nullopt);
    if (reader.Header().codePage == 0 || !codePage.note.empty()) return std::nullopt;
    return codePage.page.Number();
}

std::string InitStringFileOf(const std::string& path, std::optional<int64_t> fetch, std::string* name) {
    if (name != nullptr) *name = path;
    RequireRegularFile(path, "the initialization string file");
    if (!IsTraceFile(path)) return path;
    DigestOptions options;
    std::string text;
    int64_t number = 0;
    options.keepFetch = fetch;
    options.keptText = &text;
    options.keptNumber = &number;
    const TraceDigest digest = DigestTrace(path, options);
    if (number == 0) {
        throw std::runtime_error("the trace \"" + path + "\" holds " +
                                 (fetch ? "no fetch " + std::to_string(*fetch) +
                                              " of the initialization string (it holds " +
                                              std::to_string(digest.fetches.size()) + ")"
                                        : std::string("no fetch of the initialization string")));
    }
    const std::string where = path + ", fetch " + std::to_string(number);
    if (name != nullptr) *name = where;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("dcs-host-" + std::to_string(os::ProcessId()));
    std::filesystem::create_directories(dir);
    const std::string file =
        (dir / (std::filesystem::u8path(path).filename().u8string() + ".fetch-" + std::to_string(number) + ".mrx"))
            .u8string();
    Captured().Add(file);
    std::ofstream out(std::filesystem::u8path(file), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out.flush()) throw std::runtime_error("cannot keep the string of " + where + " in " + file);
    return file;
}

void UseInitString(Case& c, const std::string& path, std::optional<int64_t> fetch) {
    RequireRegularFile(path, "the initialization string (--init-string)");
    c.initStringPath = InitStringFileOf(path, fetch);
    c.initStringLine = 0;
    c.namedFiles.push_back({"the initialization string (--init-string)", path});
}

LiveFindings AddLiveVerdicts(Diagnosis& d, const std::string& tracePath) {
    LiveFindings findings;
    DigestOptions options;
    const TraceDigest digest = DigestTrace(tracePath, options);
    findings.notes = digest.notes;
    // By tag text: every (data set, operation) the live link called it with.
    std::map<std::string, std::vector<std::pair<const TagKeyT*, const KeyDigest*>>> byTag;
    for (const auto& [key, k] : digest.keys) byTag[std::get<0>(key)].push_back({&key, &k});
    // At level failures a tag's calls are its failures: its successes, and
    // so whether it ever succeeded, are not in the trace.
    const bool successes = digest.SuccessesRecorded();
    // The diagnosis still holds the rows' texts in the code page's bytes,
    // the form the trace records them in.
    const CodePage codePage = CodePage::Find(d.codePage).value_or(*CodePage::Find(kDefaultCodePage));
    for (RowDiagnosis& row : d.rows) {
        for (TagDiagnosis& tag : row.tags) {
            if (tag.text.empty()) continue;
            const auto found = byTag.find(tag.text);
            if (found == byTag.end()) {
                tag.live = successes ? "live: no call in the trace" : "live: no failure in the trace";
                continue;
            }
            std::string text;
            std::set<std::string> ops;
            bool everOk = false;
            for (const auto& [key, k] : found->second) {
                ops.insert(std::get<2>(*key));
                everOk = everOk || k->everOk;
                tag.liveFailures += k->failures;
                const std::string where = std::get<2>(*key) + " (data set " + std::to_string(std::get<1>(*key)) + ")";
                text += (text.empty() ? "live: " : "; ") +
                        (successes ? std::to_string(k->calls) + " calls of " + where + ", " +
                                         std::to_string(k->failures) + " failed"
                                   : std::to_string(k->failures) +
                                         (k->failures == 1 ? " failed call of " : " failed calls of ") + where) +
                        ", last status " + std::to_string(k->lastStatus);
            }
            if (!successes) text += " (the trace, at level failures, records no successes)";
            if (successes && !everOk && tag.status == Verdict::Bound) {
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
            if (tag.liveDisagrees || tag.liveFailures > 0) {
                findings.lines.push_back(row.table + " " + std::to_string(row.index) +
                                         (row.name.empty() ? "" : " (" + row.name + ")") + " " + tag.field + " \"" +
                                         codePage.Decode(tag.text) + "\": " + text);
            }
        }
    }
    return findings;
}

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
