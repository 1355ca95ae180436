#include "root_cause.h"

#include <algorithm>
#include <unordered_set>

#include "catalogue.h"
#include "diagnose/catalogue_parse.h"

namespace host {

namespace {

// A stretch of the text the driver does not read as written, and the
// tokens that stand in it.
struct Region {
    const char* code = "";
    size_t begin = 0;
    size_t end = 0;  // one past
    LintFinding* finding = nullptr;
    std::unordered_set<std::string> names;
    std::string summary;
};

std::string Trimmed(const std::string& token) {
    size_t begin = 0, end = token.size();
    while (begin < end && (token[begin] == ' ' || token[begin] == '\t' || token[begin] == '\r')) ++begin;
    while (end > begin && (token[end - 1] == ' ' || token[end - 1] == '\t' || token[end - 1] == '\r')) --end;
    std::string t = token.substr(begin, end - begin);
    if (t.size() >= 2 && (t[0] == '"' || t[0] == '\'') && t.back() == t[0]) t = t.substr(1, t.size() - 2);
    return t;
}

// The tokens of text[begin, end), split roughly as the driver splits them:
// enough to tell whether a row's name stands there.
void AddTokens(const std::string& text, size_t begin, size_t end, std::unordered_set<std::string>& names) {
    size_t start = begin;
    for (size_t i = begin; i <= end && i <= text.size(); ++i) {
        if (i == end || i == text.size() || text[i] == ',' || text[i] == ';' || text[i] == '\n') {
            const std::string token = Trimmed(text.substr(start, i - start));
            if (!token.empty()) names.insert(token);
            start = i + 1;
        }
    }
}

size_t NextHeader(const CatalogueParse& parse, size_t offset) {
    for (const HeaderToken& h : parse.headers) {
        if (h.offset > offset) return h.offset;
    }
    return parse.text.size();
}

LintFinding* FindingAt(std::vector<LintFinding>& lint, const char* code, int32_t line) {
    for (LintFinding& f : lint) {
        if (f.code == code && (line == 0 || f.line == line)) return &f;
    }
    return nullptr;
}

std::string LineText(int32_t line) { return "line " + std::to_string(line); }

// Lines whose only token is a header but for the carriage return before
// the line feed.
std::vector<size_t> HeadersLostToCarriageReturns(const std::string& text) {
    std::vector<size_t> lost;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line.find('\r') != std::string::npos && HeaderSection(Trimmed(line).c_str()) != 0) lost.push_back(start);
        start = end + 1;
    }
    return lost;
}

std::vector<Region> Regions(const CatalogueParse& parse, std::vector<LintFinding>& lint) {
    std::vector<Region> regions;
    const std::string& text = parse.text;
    if (LintFinding* empty = FindingAt(lint, "empty-init-string", 0)) {
        Region r{"empty-init-string", 0, text.size(), empty, {}, {}};
        r.summary = "the initialization string is empty to the driver, so no tag can bind";
        regions.push_back(std::move(r));
        return regions;
    }
    if (LintFinding* cr = FindingAt(lint, "carriage-return", 0); cr != nullptr && cr->severity == Severity::Error) {
        const std::vector<size_t> lost = HeadersLostToCarriageReturns(text);
        if (!lost.empty()) {
            Region r{"carriage-return", lost.front(), text.size(), cr, {}, {}};
            for (size_t at : lost) {
                const size_t end = NextHeader(parse, at);
                AddTokens(text, at, end, r.names);
                r.end = end;
            }
            r.summary = std::string("the catalogue lost ") + (parse.headers.empty() ? "every header" : "headers") +
                        " to carriage returns (Windows line ends): see the root cause at " +
                        LineText(parse.Position(lost.front()).first);
            regions.push_back(std::move(r));
        }
    }
    if (!parse.strayTokens.empty()) {
        if (LintFinding* f = FindingAt(lint, "token-before-header", parse.Position(parse.strayTokens.front()).first)) {
            Region r{"token-before-header", parse.strayTokens.front(), NextHeader(parse, 0), f, {}, {}};
            if (!parse.headers.empty()) r.end = parse.headers.front().offset;
            for (const std::string& token : parse.strayTexts) r.names.insert(Trimmed(token));
            r.summary =
                "the tokens before the first section header are dropped: see the root cause at " + LineText(f->line);
            regions.push_back(std::move(r));
        }
    }
    for (const SwallowedHeader& s : parse.swallowed) {
        const int32_t line = parse.Position(s.offset).first;
        LintFinding* f = FindingAt(lint, "header-swallowed", line);
        if (f == nullptr) continue;
        Region r{"header-swallowed", s.offset, NextHeader(parse, s.offset), f, {}, {}};
        AddTokens(text, r.begin, r.end, r.names);
        r.summary = std::string("a short entry swallowed the header *") + KindName(s.header) + "* at " +
                    LineText(line) + ", so the tags after it went into the " + KindName(parse.entries[s.entry].kind) +
                    " list";
        regions.push_back(std::move(r));
    }
    if (parse.endOffset < text.size()) {
        if (LintFinding* f = FindingAt(lint, "parse-ends-early", 0)) {
            Region r{"parse-ends-early", parse.endOffset, text.size(), f, {}, {}};
            AddTokens(text, r.begin, r.end, r.names);
            r.summary = "the parse ended early at " + LineText(f->line) + ", so the driver never reads this tag";
            regions.push_back(std::move(r));
        }
    }
    for (int32_t kind = 1; kind <= 6; ++kind) {
        Region r{"list-full", text.size(), 0, nullptr, {}, {}};
        for (const CatalogueEntry& e : parse.entries) {
            if (e.stored || e.kind != kind) continue;
            r.begin = std::min(r.begin, e.offset);
            r.end = std::max(r.end, e.offset + e.name.size());
            r.names.insert(e.name);
        }
        if (r.names.empty()) continue;
        r.finding = FindingAt(lint, "list-full", parse.Position(r.begin).first);
        if (r.finding == nullptr) continue;
        r.summary = std::string("the ") + KindName(kind) + " list was full (" + std::to_string(kTagListCapacity) +
                    " tags), so the driver skipped this tag: see the root cause at " + LineText(r.finding->line);
        regions.push_back(std::move(r));
    }
    return regions;
}

bool Explainable(const TagDiagnosis& tag) {
    return tag.status == Verdict::Problem && tag.cause.empty() &&
           (tag.code == "not-in-catalogue" || tag.code == "kind-not-allowed" || tag.code == "other-data-set" ||
            tag.code == "near-miss");
}

}  // namespace

std::vector<RootCause> FindRootCauses(const CatalogueParse& parse, std::vector<LintFinding>& lint,
                                      std::vector<RowDiagnosis>& rows) {
    std::vector<Region> regions = Regions(parse, lint);
    // A fault that stands inside the lines of an earlier one follows from
    // it (nothing after an early end of the parse is read at all).
    std::stable_sort(regions.begin(), regions.end(),
                     [](const Region& a, const Region& b) { return a.begin < b.begin; });
    std::vector<RootCause> causes;
    std::vector<const LintFinding*> used;  // findings that are causes or folded into one
    for (Region& r : regions) {
        if (std::find(used.begin(), used.end(), r.finding) != used.end()) continue;
        RootCause cause;
        cause.finding = *r.finding;
        cause.summary = r.summary;
        const bool all = std::string(r.code) == "empty-init-string";
        for (RowDiagnosis& row : rows) {
            for (TagDiagnosis& tag : row.tags) {
                if (!Explainable(tag) || (!all && r.names.count(tag.text) == 0)) continue;
                tag.cause = r.code;
                tag.reason = r.summary;
                tag.suggestions.clear();
                ++cause.explains;
            }
        }
        const int32_t firstLine = parse.Position(std::min(r.begin, parse.text.size())).first;
        const int32_t lastLine = parse.Position(r.end == 0 ? 0 : std::min(r.end, parse.text.size()) - 1).first;
        cause.lastLine = std::max(lastLine, cause.finding.line);
        // A region that runs to the end holds the empty token there too.
        const int32_t foldLast = r.end >= parse.text.size() ? parse.Position(parse.text.size()).first : cause.lastLine;
        std::vector<const LintFinding*> folded;
        for (const LintFinding& f : lint) {
            if (&f == r.finding || std::find(used.begin(), used.end(), &f) != used.end()) continue;
            if (f.line >= std::min(firstLine, cause.finding.line) && f.line <= foldLast) folded.push_back(&f);
        }
        if (cause.explains == 0 && folded.empty()) continue;
        cause.folded = static_cast<int32_t>(folded.size());
        // Named, the first few: fixing the cause may bring them back.
        for (size_t k = 0; k < folded.size() && k < 5; ++k) {
            cause.foldedCodes += (k == 0 ? "[" : ", [") + folded[k]->code + "] line " + std::to_string(folded[k]->line);
        }
        if (folded.size() > 5) cause.foldedCodes += ", ...";
        used.push_back(r.finding);
        used.insert(used.end(), folded.begin(), folded.end());
        causes.push_back(std::move(cause));
    }
    std::vector<LintFinding> kept;
    for (const LintFinding& f : lint) {
        if (std::find(used.begin(), used.end(), &f) == used.end()) kept.push_back(f);
    }
    lint.swap(kept);
    std::stable_sort(causes.begin(), causes.end(),
                     [](const RootCause& a, const RootCause& b) { return a.explains > b.explains; });
    return causes;
}

}  // namespace host
