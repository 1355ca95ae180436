#include "diagnose/lint.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "binding.h"
#include "binding_rules.h"
#include "catalogue.h"

namespace host {

namespace {

LintFinding At(const CatalogueParse& parse, size_t offset, Severity severity, const char* code, std::string text,
               std::string hint) {
    const auto position = parse.Position(offset);
    return {position.first, position.second, severity, code, std::move(text), std::move(hint), parse.LineAt(offset)};
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string LineOf(const CatalogueParse& parse, size_t offset) { return std::to_string(parse.Position(offset).first); }

// A line that would be a section header but for the carriage return (and
// any blanks) before its line feed: 0 when it is no such line.
int32_t HeaderBehindCarriageReturn(const std::string& line) {
    size_t begin = 0;
    while (begin < line.size() && (line[begin] == ' ' || line[begin] == '\t')) ++begin;
    size_t end = line.size();
    while (end > begin && (line[end - 1] == '\r' || line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
    if (end == line.size()) return 0;
    return HeaderSection(line.substr(begin, end - begin).c_str());
}

void CarriageReturns(const CatalogueParse& parse, std::vector<LintFinding>& out) {
    const std::string& text = parse.text;
    const size_t first = text.find('\r');
    if (first == std::string::npos) return;
    size_t count = 0;
    std::string lost;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        for (char c : line) count += c == '\r' ? 1 : 0;
        if (HeaderBehindCarriageReturn(line) != 0) {
            lost += (lost.empty() ? "" : ", ") + Quoted(line) + " on line " + LineOf(parse, start);
        }
        start = end + 1;
    }
    std::string message = std::to_string(count) +
                          " carriage return(s): the file has Windows line ends, and a carriage return stays part of "
                          "the token before it";
    if (!lost.empty()) {
        message += "; these header tokens are therefore not recognised as headers: " + lost;
    }
    out.push_back(At(parse, first, lost.empty() ? Severity::Warning : Severity::Error, code::kCarriageReturn, message,
                     "save the file with Unix line ends (line feed only)"));
}

// Each stray token is named up to a few; the rest (a file whose headers
// all went unrecognised has hundreds) are told in one finding.
void TokensBeforeHeader(const CatalogueParse& parse, std::vector<LintFinding>& out) {
    constexpr size_t kNamed = 5;
    const size_t count = parse.strayTokens.size();
    for (size_t i = 0; i < count && i < kNamed; ++i) {
        out.push_back(At(parse, parse.strayTokens[i], Severity::Warning, code::kTokenBeforeHeader,
                         "token " + Quoted(parse.strayTexts[i]) +
                             " stands before the first section header: the driver shows an \"Unknown tag type 0\" "
                             "box for it and drops it",
                         "remove it, or put a section header such as *AI* before it"));
    }
    if (count > kNamed) {
        out.push_back(At(parse, parse.strayTokens[kNamed], Severity::Warning, code::kTokenBeforeHeader,
                         std::to_string(count - kNamed) +
                             " more tokens from here on stand before the first section "
                             "header: one \"Unknown tag type 0\" box each, and all are dropped",
                         "remove them, or put a section header such as *AI* before them"));
    }
}

void SwallowedHeaders(const CatalogueParse& parse, std::vector<LintFinding>& out) {
    for (const SwallowedHeader& s : parse.swallowed) {
        const CatalogueEntry& entry = parse.entries[s.entry];
        // The entries after the header, up to the next header the parse
        // recognises, land in the entry's list instead of the header's.
        std::string moved;
        size_t count = 0;
        size_t nextHeader = parse.text.size() + 1;
        for (const HeaderToken& h : parse.headers) {
            if (h.offset > s.offset) {
                nextHeader = h.offset;
                break;
            }
        }
        for (size_t i = s.entry + 1; i < parse.entries.size() && parse.entries[i].offset < nextHeader; ++i) {
            if (count < 5) moved += (count == 0 ? "" : ", ") + parse.entries[i].name;
            ++count;
        }
        if (count > 5) moved += " and " + std::to_string(count - 5) + " more";
        const char* fieldName = s.field == 0   ? "its second field"
                                : s.field == 1 ? "its data set"
                                               : "one of its numbers";
        std::string text = "entry " + Quoted(entry.name) + " (" + KindName(entry.kind) + ", line " +
                           LineOf(parse, entry.offset) + ") is cut short and takes the header *" + KindName(s.header) +
                           "* as " + fieldName;
        text += count == 0 ? std::string("; the section does not change")
                           : "; " + std::to_string(count) + " tag(s) after it land in the " + KindName(entry.kind) +
                                 " list instead of " + KindName(s.header) + ": " + moved;
        out.push_back(At(parse, s.offset, Severity::Error, code::kHeaderSwallowed, text,
                         "give the entry all its fields (name, a second field, the data set, and two numbers for "
                         "AI/AO, seventeen for DCD)"));
    }
}

bool IsBlankLine(const std::string& text, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        const char c = text[i];
        if (c != ' ' && c != '\t' && c != '\r' && c != ',' && c != ';') return false;
    }
    return true;
}

void EarlyEnd(const CatalogueParse& parse, std::vector<LintFinding>& out) {
    const std::string& text = parse.text;
    if (parse.endOffset >= text.size()) return;
    // Lines with anything on them from the empty token on are never read.
    size_t lines = 0;
    size_t start = parse.endOffset + 1;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (!IsBlankLine(text, start, end)) ++lines;
        start = end + 1;
    }
    if (lines == 0) return;
    out.push_back(At(parse, parse.endOffset, Severity::Error, code::kParseEndsEarly,
                     "an empty field where a header or a tag name was expected ends the parse: " +
                         std::to_string(lines) + " non-blank line(s) after it are never read",
                     "remove the doubled separator (\",,\" or \";;\" or a separator at the start of a line)"));
}

// Whether a data set is written as a plain decimal number that the driver
// reads as written: an optional sign, no leading zero, no prefix, nothing
// after the digits but blanks, and within the 32-bit range.
bool IsPlainDecimal(const std::string& token, int32_t value) {
    size_t begin = 0;
    size_t end = token.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(token[begin]))) ++begin;
    while (end > begin && (token[end - 1] == ' ' || token[end - 1] == '\t' || token[end - 1] == '\r')) --end;
    std::string core = token.substr(begin, end - begin);
    if (!core.empty() && core[0] == '+') core.erase(0, 1);
    return core == std::to_string(value);
}

void DataSets(const CatalogueParse& parse, std::vector<LintFinding>& out) {
    for (const CatalogueEntry& entry : parse.entries) {
        if (!entry.hasDataSet || IsPlainDecimal(entry.dataSetToken, entry.dataSet)) continue;
        out.push_back(At(parse, entry.hasDataSet ? entry.dataSetOffset : entry.offset, Severity::Warning,
                         code::kDataSetNotDecimal,
                         "data set " + Quoted(entry.dataSetToken) + " of " + Quoted(entry.name) +
                             " is not a plain decimal number: the driver reads it as " + std::to_string(entry.dataSet),
                         "write the data set in decimal digits without a leading zero, for example " +
                             std::to_string(entry.dataSet)));
    }
}

// The kind a name held by `kinds` takes in a column, by the driver's rule.
int32_t Winner(const std::vector<int32_t>& kinds, int32_t table, int32_t column) {
    TagKindSet held = 0;
    for (int32_t kind : kinds) held |= KindBit(kind);
    return BoundKind(TagColumnRuleOf(table, column), held, false);
}

std::string Wins(int32_t table, int32_t column) {
    return TagColumnRuleOf(table, column)->LastWins == 1 ? "the last list wins" : "the first list wins";
}

void Duplicates(const CatalogueParse& parse, std::vector<LintFinding>& out) {
    std::map<std::pair<int32_t, std::string>, std::vector<size_t>> groups;
    for (size_t i = 0; i < parse.entries.size(); ++i) {
        if (parse.entries[i].stored) groups[{parse.entries[i].dataSet, parse.entries[i].name}].push_back(i);
    }
    for (const auto& group : groups) {
        if (group.second.size() < 2) continue;
        std::vector<int32_t> kinds;
        std::string where;
        for (size_t entry : group.second) {
            const CatalogueEntry& e = parse.entries[entry];
            where += (where.empty() ? "" : ", ") + std::string(KindName(e.kind)) + " line " + LineOf(parse, e.offset);
            bool known = false;
            for (int32_t k : kinds) known = known || k == e.kind;
            if (!known) kinds.push_back(e.kind);
        }
        std::string text = Quoted(group.first.second) + " in data set " + std::to_string(group.first.first) +
                           " is listed " + std::to_string(group.second.size()) + " times (" + where + ")";
        if (kinds.size() > 1) {
            auto name = [](int32_t kind) { return kind != 0 ? std::string(KindName(kind)) : std::string("nothing"); };
            text += "; a controller's SP or OP column takes " + name(Winner(kinds, TAG_TABLE_CTRL, CTRL_COL_SP)) +
                    ", its SP Init, OP Init or Mode column " + name(Winner(kinds, TAG_TABLE_CTRL, CTRL_COL_SP_INIT)) +
                    " (" + Wins(TAG_TABLE_CTRL, CTRL_COL_SP) + "); a PV export takes " +
                    name(Winner(kinds, TAG_TABLE_PV_EXPORT, PV_COL_TAG)) + " and a PV import " +
                    name(Winner(kinds, TAG_TABLE_PV_IMPORT, PV_COL_TAG)) + " (" +
                    Wins(TAG_TABLE_PV_EXPORT, PV_COL_TAG) + ")";
        }
        out.push_back(At(
            parse, parse.entries[group.second[1]].offset, Severity::Warning, code::kDuplicateName, text,
            kinds.size() > 1 ? "keep the tag in the one list of the kind it really is" : "remove the repeated entry"));
    }
}

void FullLists(const CatalogueParse& parse, std::vector<LintFinding>& out) {
    size_t skipped[kTagListCount + 1] = {};
    size_t first[kTagListCount + 1] = {};
    for (const CatalogueEntry& entry : parse.entries) {
        if (entry.stored) continue;
        if (skipped[entry.kind]++ == 0) first[entry.kind] = entry.offset;
    }
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        if (skipped[kind] == 0) continue;
        out.push_back(At(parse, first[kind], Severity::Error, code::kListFull,
                         "more than " + std::to_string(kTagListCapacity) + " " + KindName(kind) + " tags: the " +
                             std::to_string(skipped[kind]) + " from this one on are skipped and cannot bind",
                         "split the tags over more data sets or servers; a list holds at most " +
                             std::to_string(kTagListCapacity) + " tags"));
    }
}

}  // namespace

std::vector<LintFinding> LintInitString(const CatalogueParse& parse) {
    std::vector<LintFinding> findings;
    if (!parse.loaded) {
        findings.push_back({1, 1, Severity::Error, code::kEmptyInitString,
                            "the initialization string holds no more than the bare section headers (" +
                                std::to_string(kEmptyInitStringLength) +
                                " characters or fewer): the driver shows \"Empty initialization string\" and does not "
                                "configure, so no row can bind",
                            "check that the tag server has the tag list loaded", ""});
        return findings;
    }
    CarriageReturns(parse, findings);
    TokensBeforeHeader(parse, findings);
    SwallowedHeaders(parse, findings);
    EarlyEnd(parse, findings);
    DataSets(parse, findings);
    Duplicates(parse, findings);
    FullLists(parse, findings);
    std::stable_sort(findings.begin(), findings.end(), [](const LintFinding& a, const LintFinding& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return findings;
}

}  // namespace host
