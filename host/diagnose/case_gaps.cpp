#include "diagnose/case_gaps.h"

#include <cstdio>
#include <memory>
#include <set>

#include "binding_rules.h"
#include "messages.h"

namespace host {

namespace {

int32_t TableNumber(const std::string& table) {
    if (table == "controller") return TAG_TABLE_CTRL;
    if (table == "pv_export") return TAG_TABLE_PV_EXPORT;
    if (table == "pv_import") return TAG_TABLE_PV_IMPORT;
    return TAG_TABLE_GENERAL;
}

// The rule of a column whose tag a step reads; null for any other.
const TagColumnRule* ReadAtStep(const RowDiagnosis& row, const TagDiagnosis& tag) {
    const TagColumnRule* rule = TagColumnRuleOf(TableNumber(row.table), tag.column);
    return rule != nullptr && rule->Use == TAG_USE_READ && (rule->Moments & TAG_MOMENT_STEP) != 0 ? rule : nullptr;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"' || ch == '\\') out += '\\';
        out += ch;
    }
    return out + "\"";
}

// The driver's read error, as it formats it.
std::string ReadError(const std::string& kind, const std::string& role, const std::string& text,
                      const std::string& owner, int32_t index) {
    const int size = std::snprintf(nullptr, 0, kMsgReadError, kind.c_str(), role.c_str(), text.c_str(), owner.c_str(),
                                   static_cast<int>(index));
    std::string message(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) {
        std::snprintf(&message[0], message.size() + 1, kMsgReadError, kind.c_str(), role.c_str(), text.c_str(),
                      owner.c_str(), static_cast<int>(index));
    }
    return message;
}

}  // namespace

HoldsValue HoldsOrWrittenByRows(HoldsValue holds, const std::vector<RowDiagnosis>& rows) {
    auto written = std::make_shared<std::set<std::string>>();
    for (const RowDiagnosis& row : rows) {
        for (const TagDiagnosis& tag : row.tags) {
            const TagColumnRule* rule = TagColumnRuleOf(TableNumber(row.table), tag.column);
            if (tag.status == Verdict::Bound && rule != nullptr && rule->Use == TAG_USE_WRITE) {
                written->insert(tag.kind + '\n' + std::to_string(tag.dataSet) + '\n' + tag.text);
            }
        }
    }
    return [holds = std::move(holds), written](const std::string& kind, int32_t dataSet, const std::string& name) {
        return holds(kind, dataSet, name) || written->count(kind + '\n' + std::to_string(dataSet) + '\n' + name) > 0;
    };
}

std::string TagTableFor(const std::string& kind, int32_t dataSet, const std::string& name) {
    const bool whole = kind == "DI" || kind == "DO";
    return "a [[tag]] table with kind = \"" + kind + "\"" +
           (dataSet != 1 ? ", data_set = " + std::to_string(dataSet) : "") + ", name = " + Quoted(name) +
           ", value = " + (whole ? "0" : "0.0");
}

void MarkCaseGaps(const HoldsValue& holds, std::vector<RowDiagnosis>& rows) {
    for (RowDiagnosis& row : rows) {
        for (TagDiagnosis& tag : row.tags) {
            const TagColumnRule* rule = ReadAtStep(row, tag);
            if (tag.status != Verdict::Bound || rule == nullptr || tag.operation.empty()) continue;
            if (holds(tag.kind, tag.dataSet, tag.text)) continue;
            tag.gapTable = TagTableFor(tag.kind, tag.dataSet, tag.text);
            tag.gap = "the case gives the simulated tag server no value for it, so every " + tag.operation +
                      " fails in a run: a gap in the case, not a fault of the link. Add " + tag.gapTable +
                      " to the case";
            tag.message = DriverMessage{"box", kTitleRuntimeError,
                                        ReadError(tag.kind, rule->Role, tag.text, rule->Owner, row.index), "step 1"};
        }
    }
}

}  // namespace host
