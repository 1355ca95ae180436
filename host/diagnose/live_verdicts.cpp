#include "diagnose/live_verdicts.h"

#include <map>
#include <set>

#include "diagnose/trace_digest.h"
#include "text/code_page.h"

namespace host {

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

}  // namespace host
