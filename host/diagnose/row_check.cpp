#include "diagnose/row_check.h"

#include <cstdarg>
#include <cstdio>

#include "binding.h"
#include "messages.h"
#include "tag_io.h"

namespace host {

namespace {

enum class Use { Read, Write };

// One tag text of one row and what the driver does with that column.
struct Column {
    std::string table;
    int32_t row = 0;
    int32_t column = 0;  // the driver's column (controllers) or field number
    std::string field;   // the label the driver declares
    const char* text = nullptr;
    int32_t dataSet = 0;
    bool required = false;
    Use use = Use::Read;
    bool used = true;            // false: the row is inactive for this column
    std::string unusedWhy;       // "OPEnabled is 0", ...
    std::vector<int32_t> kinds;  // the kinds the column may take, in the order searched
    bool lastWins = false;       // controller binding: a later list overwrites
    std::string role;            // "SP", "OP", "PV": for the driver's bad-tag-type text
    std::string owner;           // "controller", "PV Export", "PV Import"
    DriverMessage unbound;       // what the driver shows when it does not bind; empty text: nothing
    DriverMessage missing;       // what the driver shows when the required text is empty
};

std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) std::vsnprintf(&text[0], text.size() + 1, format, args);
    va_end(args);
    return text;
}

// A binding message of the driver with its row index in place of its one
// %d, as the driver formats it.
std::string WithIndex(const char* format, int32_t index) {
    std::string text = format;
    const size_t at = text.find("%d");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(index));
    return text;
}

DriverMessage Box(const char* title, std::string text) { return {"box", title, std::move(text), "DCSConfigure"}; }
DriverMessage ErrorMessage(const char* text) { return {"ErrorMsg", "", text, "DCSConfigure"}; }

std::string KindList(const std::vector<int32_t>& kinds) {
    std::string text;
    for (size_t i = 0; i < kinds.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + std::string(KindName(kinds[i]));
    }
    return text;
}

// The distinct kinds of catalogue entries, in kind order.
std::vector<int32_t> KindsOf(const CatalogueIndex& index, const std::vector<size_t>& entries) {
    bool seen[kTagListCount + 1] = {};
    for (size_t entry : entries) seen[index.Entry(entry).kind] = true;
    std::vector<int32_t> kinds;
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        if (seen[kind]) kinds.push_back(kind);
    }
    return kinds;
}

bool Contains(const std::vector<int32_t>& kinds, int32_t kind) {
    for (int32_t k : kinds) {
        if (k == kind) return true;
    }
    return false;
}

std::string Operation(Use use, int32_t kind) {
    if (use == Use::Read) return IsReadableKind(kind) ? std::string("Read") + KindName(kind) : std::string();
    return IsWritableKind(kind) ? std::string("Write") + KindName(kind) : std::string();
}

// Why a text that names something did not bind, most telling first.
void ExplainUnbound(const Column& c, const CatalogueIndex& index, const std::vector<int32_t>& held, TagDiagnosis& tag) {
    const std::string text = c.text;
    if (!held.empty()) {
        tag.code = code::kKindNotAllowed;
        tag.reason = "data set " + std::to_string(c.dataSet) + " holds \"" + text + "\" as " + KindList(held) +
                     ", but the " + c.field + " can only take " + KindList(c.kinds);
        if (c.column == CTRL_COL_OP && c.table == "controller" && Contains(held, TAG_KIND_DCD)) {
            tag.reason += " (a DCD tag that is also the row's SP Tag serves the SP only)";
        }
        return;
    }
    const std::vector<size_t>& elsewhere = index.ByName(text);
    if (!elsewhere.empty()) {
        std::string sets;
        int32_t last = 0;
        for (size_t entry : elsewhere) {
            const CatalogueEntry& e = index.Entry(entry);
            if (!sets.empty() && e.dataSet == last) continue;
            sets += (sets.empty() ? "" : ", ") + std::to_string(e.dataSet) + " (" + KindName(e.kind) + ")";
            last = e.dataSet;
        }
        tag.code = code::kOtherDataSet;
        tag.reason = "\"" + text + "\" is not in data set " + std::to_string(c.dataSet) +
                     "; the catalogue has it in data set " + sets;
        return;
    }
    const std::vector<size_t>& similar = index.Folded(text);
    if (!similar.empty()) {
        const CatalogueEntry* best = &index.Entry(similar.front());
        for (size_t entry : similar) {
            if (index.Entry(entry).dataSet == c.dataSet) {
                best = &index.Entry(entry);
                break;
            }
        }
        tag.code = code::kNearMiss;
        tag.reason =
            "no tag \"" + text + "\"; the catalogue has \"" + best->name + "\" (" + KindName(best->kind) +
            ", data set " + std::to_string(best->dataSet) +
            "), which differs only in letter case, blanks or a carriage return; names must match byte for byte";
        return;
    }
    tag.code = code::kNotInCatalogue;
    tag.reason = "no tag named \"" + text + "\" in any list or data set of the initialization string";
}

TagDiagnosis Judge(const Column& c, const CatalogueIndex& index, const char* spText) {
    TagDiagnosis tag;
    tag.field = c.field;
    tag.text = c.text != nullptr ? c.text : "";
    tag.required = c.required;
    if (!HasText(c.text)) {
        if (c.required) {
            tag.status = Verdict::Problem;
            tag.code = code::kMissingText;
            tag.reason =
                "the " + c.field + " is required: the driver refuses the whole configuration before it binds anything";
            tag.message = c.missing;
        } else {
            tag.status = Verdict::Empty;
            tag.reason = "no tag named; the " + c.field + " is optional";
        }
        return tag;
    }
    const std::vector<int32_t> held = KindsOf(index, index.Exact(c.dataSet, tag.text));
    std::vector<int32_t> binding;  // the held kinds this column may take, in the order searched
    for (int32_t kind : c.kinds) {
        if (!Contains(held, kind)) continue;
        if (c.table == "controller" && DcdTakenBySP(kind, c.column, spText, c.text)) continue;
        binding.push_back(kind);
    }
    if (binding.empty()) {
        tag.status = Verdict::Problem;
        ExplainUnbound(c, index, held, tag);
        if (!c.unbound.text.empty()) tag.message = c.unbound;
        return tag;
    }
    const int32_t kind = c.lastWins ? binding.back() : binding.front();
    tag.kind = KindName(kind);
    tag.operation = Operation(c.use, kind);
    std::string why = tag.kind + " tag of data set " + std::to_string(c.dataSet);
    if (binding.size() > 1) {
        why += "; held by " + KindList(binding) + ", the " + (c.lastWins ? "last" : "first") + " list wins";
    }
    if (!c.used) {
        tag.status = Verdict::Unused;
        tag.reason = why + "; not moved while " + c.unusedWhy;
        return tag;
    }
    if (tag.operation.empty()) {
        tag.status = Verdict::Problem;
        tag.code = code::kDcdNotReadable;
        tag.reason = why + "; the driver has no read for DCD tags, so every step stops here with \"Bad tag type\"";
        tag.message = DriverMessage{"box", kTitleRuntimeError,
                                    Format(kMsgBadTagType, static_cast<int>(kind), c.role.c_str(), c.text,
                                           c.owner.c_str(), static_cast<int>(c.row)),
                                    "step 1"};
        return tag;
    }
    tag.status = Verdict::Bound;
    tag.reason = why;
    return tag;
}

std::string Label(char* label, const char* fallback) { return label != nullptr ? label : fallback; }

std::vector<int32_t> ControllerKinds(int32_t column) {
    std::vector<int32_t> kinds;
    for (int32_t kind : kControllerListOrder) {
        if (ListBindsColumn(kind, column)) kinds.push_back(kind);
    }
    return kinds;
}

RowDiagnosis GeneralRow(const DCSLinkData& d, const CatalogueIndex& index) {
    RowDiagnosis row{"general", 0, "general data", 0, {}};
    if (d.GenData == nullptr) return row;
    const char* enabled = GetGenDataText(&d, GEN_ENABLED_FLAG);
    const char* running = GetGenDataText(&d, GEN_RUNNING_FLAG);
    const char* messages[] = {kMsgEnabledFlagUnbound, kMsgRunningFlagUnbound};
    const int32_t flags[] = {GEN_ENABLED_FLAG, GEN_RUNNING_FLAG};
    for (int32_t i = 0; i < 2; ++i) {
        Column c;
        c.table = "general";
        c.column = flags[i];
        const char* fallback = i == 0 ? "Enabled Flag" : "Running Flag";
        c.field =
            d.GenDef != nullptr && flags[i] < d.GenDefCnt ? Label(GetGenDefLabel(&d, flags[i]), fallback) : fallback;
        c.text = i == 0 ? enabled : running;
        c.dataSet = GetGenDataInt(&d, GEN_DATA_SET);
        c.use = Use::Write;
        c.kinds = {kFlagTagKind};
        c.unbound = Box(kTitleBinding, messages[i]);
        TagDiagnosis tag = Judge(c, index, nullptr);
        // A tag that serves as the Enabled Flag is not also the Running Flag.
        if (tag.status == Verdict::Bound && FlagOfName(enabled, running, c.text) != flags[i]) {
            tag.status = Verdict::Problem;
            tag.kind.clear();
            tag.operation.clear();
            tag.code = code::kSameAsEnabledFlag;
            tag.reason = "the same DI tag is the Enabled Flag; the driver binds it to that flag only";
            tag.message = c.unbound;
        }
        row.tags.push_back(std::move(tag));
    }
    return row;
}

RowDiagnosis ControllerRow(const DCSLinkData& d, const CatalogueIndex& index, int32_t i, const std::string& name) {
    RowDiagnosis row{"controller", i, name, 0, {}};
    const int32_t opEnabled = GetCtrlOPEnabled(&d, i);
    const char* spText = GetCtrlDataText(&d, i, CTRL_COL_SP);
    struct ControllerColumn {
        int32_t column;
        const char* label;
        Use use;
        bool required;
        bool needsOP;  // moved only while OPEnabled is 1
        const char* role;
        const char* unbound;
        const char* missing;
    };
    const ControllerColumn columns[] = {
        {CTRL_COL_SP, "SP Tag", Use::Read, false, false, kRoleSP, kMsgSPTagUnbound, nullptr},
        {CTRL_COL_SP_INIT, "SP Init Tag", Use::Write, false, false, kRoleSPInit, kMsgSPInitTagUnbound, nullptr},
        {CTRL_COL_OP, "OP Tag", Use::Read, true, true, kRoleOP, kMsgOPTagUnbound, kMsgOPTagsMissing},
        {CTRL_COL_OP_INIT, "OP Init Tag", Use::Write, true, true, kRoleOPInit, kMsgOPInitTagUnbound,
         kMsgOPInitTagsMissing},
        {CTRL_COL_MODE, "Mode Tag", Use::Write, false, false, kRoleMode, kMsgModeTagUnbound, nullptr},
    };
    for (const ControllerColumn& rule : columns) {
        Column c;
        c.table = "controller";
        c.row = i;
        c.column = rule.column;
        c.field = d.CtrlDef != nullptr && rule.column < d.CtrlDefCnt
                      ? Label(GetCtrlDefLabel(&d, rule.column), rule.label)
                      : rule.label;
        c.text = GetCtrlDataText(&d, i, rule.column);
        c.dataSet = GetCtrlDataInt(&d, i, CTRL_COL_DATA_SET);
        c.required = rule.required;
        c.use = rule.use;
        c.used = !rule.needsOP || opEnabled == 1;
        c.unusedWhy = "the row's OPEnabled is " + std::to_string(opEnabled);
        c.kinds = ControllerKinds(rule.column);
        c.lastWins = true;
        c.role = rule.role;
        c.owner = kOwnerController;
        c.unbound = Box(kTitleBinding, WithIndex(rule.unbound, i));
        if (rule.missing != nullptr) c.missing = ErrorMessage(rule.missing);
        row.tags.push_back(Judge(c, index, spText));
    }
    return row;
}

RowDiagnosis PVRow(const DCSLinkData& d, const CatalogueIndex& index, int32_t i, const std::string& name,
                   bool isExport) {
    RowDiagnosis row{isExport ? "pv_export" : "pv_import", i, name, 0, {}};
    Column c;
    c.table = row.table;
    c.row = i;
    c.column = PV_COL_TAG;
    const DCSDataDef* defs = isExport ? d.PVDef : d.PVImportDef;
    const int32_t defCnt = isExport ? d.PVDefCnt : d.PVImportDefCnt;
    c.field = defs != nullptr && PV_COL_TAG < defCnt
                  ? Label(isExport ? GetPVDefLabel(&d, PV_COL_TAG) : GetPVImportDefLabel(&d, PV_COL_TAG), "PV Tag")
                  : "PV Tag";
    c.text = isExport ? GetPVDataText(&d, i, PV_COL_TAG) : GetPVImportDataText(&d, i, PV_COL_TAG);
    c.dataSet = isExport ? GetPVDataInt(&d, i, PV_COL_DATA_SET) : GetPVImportDataInt(&d, i, PV_COL_DATA_SET);
    c.required = true;
    c.use = isExport ? Use::Write : Use::Read;
    const int32_t active = isExport ? GetPVActive(&d, i) : GetPVImportActive(&d, i);
    c.used = active == 1;
    c.unusedWhy = "the row's Active is " + std::to_string(active);
    if (isExport) {
        c.kinds.assign(kPVExportKinds, kPVExportKinds + kPVExportKindCount);
    } else {
        c.kinds.assign(kPVImportKinds, kPVImportKinds + kPVImportKindCount);
    }
    c.role = kRolePV;
    c.owner = isExport ? kOwnerPVExport : kOwnerPVImport;
    c.unbound = Box(kTitleBinding, WithIndex(isExport ? kMsgPVExportUnbound : kMsgPVImportUnbound, i));
    c.missing = ErrorMessage(isExport ? kMsgPVTagFieldError : kMsgPVImportTagFieldError);
    row.tags.push_back(Judge(c, index, nullptr));
    return row;
}

std::string NameAt(const std::vector<std::string>& names, int32_t i) {
    return static_cast<size_t>(i) < names.size() ? names[static_cast<size_t>(i)] : std::string();
}

bool RequiredFails(const RowDiagnosis& row) {
    for (const TagDiagnosis& tag : row.tags) {
        if (tag.status == Verdict::Problem && tag.code != code::kDcdNotReadable &&
            (tag.required || row.table == "general")) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<RowDiagnosis> CheckRows(const DCSLinkData& d, const CatalogueIndex& index, const RowNames& names) {
    std::vector<RowDiagnosis> rows;
    rows.reserve(static_cast<size_t>(1 + d.CtrlCnt + d.PVCnt + d.PVImportCnt));
    rows.push_back(GeneralRow(d, index));
    for (int32_t i = 0; i < d.CtrlCnt; ++i) {
        rows.push_back(ControllerRow(d, index, i, NameAt(names.controllers, i)));
    }
    for (int32_t i = 0; i < d.PVCnt; ++i) {
        rows.push_back(PVRow(d, index, i, NameAt(names.pvExports, i), true));
    }
    for (int32_t i = 0; i < d.PVImportCnt; ++i) {
        rows.push_back(PVRow(d, index, i, NameAt(names.pvImports, i), false));
    }
    return rows;
}

StopPoint ConfigurationStop(const std::vector<RowDiagnosis>& rows) {
    // The driver checks the OP texts of every controller, then the OP Init
    // texts, then the PV rows, before it binds anything.
    const char* const order[][2] = {
        {"controller", "OP Tag"}, {"controller", "OP Init Tag"}, {"pv_export", ""}, {"pv_import", ""}};
    for (const auto& step : order) {
        for (const RowDiagnosis& row : rows) {
            if (row.table != step[0]) continue;
            for (const TagDiagnosis& tag : row.tags) {
                if (tag.code == code::kMissingText && (step[1][0] == '\0' || tag.field == step[1])) {
                    return {true, row.table, row.index};
                }
            }
        }
    }
    for (const RowDiagnosis& row : rows) {
        if (RequiredFails(row)) return {true, row.table, row.index};
    }
    return {};
}

}  // namespace host
