#include "diagnose/case_gaps.h"

#include <cstdio>

#include "messages.h"

namespace host {

namespace {

// The tags a row reads, by its place in the row: a controller's SP and OP,
// a PV import's PV.
bool IsRead(const RowDiagnosis& row, size_t position) {
    if (row.table == "controller") return position == 0 || position == 2;
    return row.table == "pv_import";
}

std::string Role(const RowDiagnosis& row, size_t position) {
    if (row.table == "controller") return position == 0 ? kRoleSP : kRoleOP;
    return kRolePV;
}

std::string Owner(const RowDiagnosis& row) { return row.table == "controller" ? kOwnerController : kOwnerPVImport; }

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
    const int size = std::snprintf(nullptr, 0, kMsgReadError, kind.c_str(), role.c_str(), text.c_str(),
                                   owner.c_str(), static_cast<int>(index));
    std::string message(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) {
        std::snprintf(&message[0], message.size() + 1, kMsgReadError, kind.c_str(), role.c_str(), text.c_str(),
                      owner.c_str(), static_cast<int>(index));
    }
    return message;
}

}  // namespace

std::string TagTableFor(const std::string& kind, int32_t dataSet, const std::string& name) {
    const bool whole = kind == "DI" || kind == "DO";
    return "a [[tag]] table with kind = \"" + kind + "\"" + (dataSet != 1 ? ", data_set = " + std::to_string(dataSet) : "") +
           ", name = " + Quoted(name) + ", value = " + (whole ? "0" : "0.0");
}

void MarkCaseGaps(const HoldsValue& holds, std::vector<RowDiagnosis>& rows) {
    for (RowDiagnosis& row : rows) {
        for (size_t p = 0; p < row.tags.size(); ++p) {
            TagDiagnosis& tag = row.tags[p];
            if (tag.status != Verdict::Bound || !IsRead(row, p) || tag.operation.empty()) continue;
            if (holds(tag.kind, tag.dataSet, tag.text)) continue;
            tag.status = Verdict::Problem;
            tag.code = "no-tag-value";
            tag.reason = "binds to the " + tag.kind + " tag of data set " + std::to_string(tag.dataSet) +
                         ", but the case gives the simulated tag server no value for it, so every " + tag.operation +
                         " fails: a gap in the case, not a fault of the driver. Add " +
                         TagTableFor(tag.kind, tag.dataSet, tag.text) + " to the case";
            tag.message = DriverMessage{"box", kTitleRuntimeError,
                                        ReadError(tag.kind, Role(row, p), tag.text, Owner(row), row.index), "step 1"};
        }
    }
}

}  // namespace host
