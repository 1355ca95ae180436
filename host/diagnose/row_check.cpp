#include "row_check.h"

#include <cstdarg>
#include <cstdio>
#include <optional>

#include "binding.h"
#include "binding_rules.h"
#include "messages.h"
#include "suggest.h"
#include "tag_io.h"

namespace host {

namespace {

// One tag text of one row; what the driver does with it is the column's
// rule, the driver's own.
struct Column {
    std::string table;
    int32_t row = 0;
    const TagColumnRule* rule = nullptr;
    std::string field;  // the label the driver declares
    const char* text = nullptr;
    const char* spText = nullptr;  // the row's SP text, for the DCD rule
    int32_t dataSet = 0;
    bool required = false;
    bool used = true;       // false: the row's gate is closed for this column
    std::string unusedWhy;  // "OPEnabled is 0", ...
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

// The kinds of a set, in the order given.
std::vector<int32_t> KindsIn(TagKindSet kinds, const int32_t* order, int32_t count) {
    std::vector<int32_t> out;
    for (int32_t i = 0; i < count; ++i) {
        if (HasKind(kinds, order[i])) out.push_back(order[i]);
    }
    return out;
}
std::vector<int32_t> KindsIn(TagKindSet kinds) { return KindsIn(kinds, kControllerListOrder, kTagListCount); }

std::string KindList(const std::vector<int32_t>& kinds) {
    std::string text;
    for (size_t i = 0; i < kinds.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + std::string(KindName(kinds[i]));
    }
    return text;
}

// The lists that hold entries, as a set.
TagKindSet HeldBy(const CatalogueIndex& index, const std::vector<size_t>& entries) {
    TagKindSet held = 0;
    for (size_t entry : entries) held |= KindBit(index.Entry(entry).kind);
    return held;
}

std::string Operation(int32_t use, int32_t kind) {
    if (use == TAG_USE_READ) return IsReadableKind(kind) ? std::string("Read") + KindName(kind) : std::string();
    return IsWritableKind(kind) ? std::string("Write") + KindName(kind) : std::string();
}

// Why a text that names something did not bind, most telling first.
void ExplainUnbound(const Column& c, const CatalogueIndex& index, TagKindSet held, TagDiagnosis& tag) {
    const std::string text = c.text;
    if (held != 0) {
        tag.code = code::kKindNotAllowed;
        tag.reason = "data set " + std::to_string(c.dataSet) + " holds \"" + text + "\" as " + KindList(KindsIn(held)) +
                     ", but the " + c.field + " can only take " +
                     KindList(KindsIn(~0u, c.rule->Lists, c.rule->ListCnt));
        if (c.rule->DcdServesSPOnly == 1 && HasKind(held, TAG_KIND_DCD)) {
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

// The message of the column's rule for this row, when it has one.
std::optional<DriverMessage> UnboundMessage(const Column& c) {
    if (c.rule->UnboundMessage == nullptr) return std::nullopt;
    return Box(kTitleBinding, WithIndex(c.rule->UnboundMessage, c.row));
}

TagDiagnosis Judge(const Column& c, const CatalogueIndex& index) {
    TagDiagnosis tag;
    tag.field = c.field;
    tag.column = c.rule->Column;
    tag.dataSet = c.dataSet;
    tag.text = c.text != nullptr ? c.text : "";
    tag.required = c.required;
    if (!HasText(c.text)) {
        if (c.required) {
            tag.status = Verdict::Problem;
            tag.code = code::kMissingText;
            tag.reason =
                "the " + c.field + " is required: the driver refuses the whole configuration before it binds anything";
            tag.message = ErrorMessage(c.rule->RequiredMessage);
        } else {
            tag.status = Verdict::Empty;
            tag.reason = "no tag named; the " + c.field + " is optional";
        }
        return tag;
    }
    const TagKindSet held = HeldBy(index, index.Exact(c.dataSet, tag.text));
    const bool takenBySP = SameName(c.spText, c.text);
    const int32_t kind = BoundKind(c.rule, held, takenBySP);
    if (kind == TAG_KIND_NONE) {
        tag.status = Verdict::Problem;
        ExplainUnbound(c, index, held, tag);
        tag.message = UnboundMessage(c);
        return tag;
    }
    const std::vector<int32_t> binding =
        KindsIn(BindableKinds(c.rule, held, takenBySP), c.rule->Lists, c.rule->ListCnt);
    tag.kind = KindName(kind);
    tag.operation = Operation(c.rule->Use, kind);
    std::string why = tag.kind + " tag of data set " + std::to_string(c.dataSet);
    if (binding.size() > 1) {
        why += "; held by " + KindList(binding) + ", the " + (c.rule->LastWins == 1 ? "last" : "first") + " list wins";
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
                                    Format(kMsgBadTagType, static_cast<int>(kind), c.rule->Role, c.text, c.rule->Owner,
                                           static_cast<int>(c.row)),
                                    "step 1"};
        return tag;
    }
    tag.status = Verdict::Bound;
    tag.reason = why;
    return tag;
}

std::string Label(char* label, const char* fallback) { return label != nullptr ? label : fallback; }

RowDiagnosis GeneralRow(const DCSLinkData& d, const CatalogueIndex& index) {
    RowDiagnosis row{"general", 0, "general data", 0, {}};
    if (d.GenData == nullptr) return row;
    const char* enabled = GetGenDataText(&d, GEN_ENABLED_FLAG);
    const char* running = GetGenDataText(&d, GEN_RUNNING_FLAG);
    const int32_t flags[] = {GEN_ENABLED_FLAG, GEN_RUNNING_FLAG};
    for (int32_t i = 0; i < 2; ++i) {
        Column c;
        c.table = "general";
        c.rule = TagColumnRuleOf(TAG_TABLE_GENERAL, flags[i]);
        const char* fallback = i == 0 ? "Enabled Flag" : "Running Flag";
        c.field =
            d.GenDef != nullptr && flags[i] < d.GenDefCnt ? Label(GetGenDefLabel(&d, flags[i]), fallback) : fallback;
        c.text = i == 0 ? enabled : running;
        c.dataSet = GetGenDataInt(&d, GEN_DATA_SET);
        c.required = TextRequired(&d, TAG_TABLE_GENERAL, flags[i]);
        TagDiagnosis tag = Judge(c, index);
        // A tag that serves as the Enabled Flag is not also the Running Flag.
        if (tag.status == Verdict::Bound && FlagOfName(enabled, running, c.text) != flags[i]) {
            tag.status = Verdict::Problem;
            tag.kind.clear();
            tag.operation.clear();
            tag.code = code::kSameAsEnabledFlag;
            tag.reason = "the same DI tag is the Enabled Flag; the driver binds it to that flag only";
            tag.message = UnboundMessage(c);
        }
        row.tags.push_back(std::move(tag));
    }
    return row;
}

RowDiagnosis ControllerRow(const DCSLinkData& d, const CatalogueIndex& index, int32_t i, const std::string& name) {
    RowDiagnosis row{"controller", i, name, 0, {}};
    const int32_t opEnabled = GetCtrlOPEnabled(&d, i);
    const char* spText = GetCtrlDataText(&d, i, CTRL_COL_SP);
    const char* const labels[] = {"Data Set", "SP Tag", "SP Init Tag", "OP Tag", "OP Init Tag", "Mode Tag"};
    for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
        Column c;
        c.table = "controller";
        c.row = i;
        c.rule = TagColumnRuleOf(TAG_TABLE_CTRL, column);
        c.field = d.CtrlDef != nullptr && column < d.CtrlDefCnt ? Label(GetCtrlDefLabel(&d, column), labels[column])
                                                                : labels[column];
        c.text = GetCtrlDataText(&d, i, column);
        c.spText = spText;
        c.dataSet = GetCtrlDataInt(&d, i, CTRL_COL_DATA_SET);
        c.required = TextRequired(&d, TAG_TABLE_CTRL, column);
        c.used = GateOpen(c.rule, opEnabled);
        c.unusedWhy = "the row's OPEnabled is " + std::to_string(opEnabled);
        row.tags.push_back(Judge(c, index));
    }
    return row;
}

RowDiagnosis PVRow(const DCSLinkData& d, const CatalogueIndex& index, int32_t i, const std::string& name,
                   bool isExport) {
    RowDiagnosis row{isExport ? "pv_export" : "pv_import", i, name, 0, {}};
    Column c;
    c.table = row.table;
    c.row = i;
    const int32_t table = isExport ? TAG_TABLE_PV_EXPORT : TAG_TABLE_PV_IMPORT;
    c.rule = TagColumnRuleOf(table, PV_COL_TAG);
    const DCSDataDef* defs = isExport ? d.PVDef : d.PVImportDef;
    const int32_t defCnt = isExport ? d.PVDefCnt : d.PVImportDefCnt;
    c.field = defs != nullptr && PV_COL_TAG < defCnt
                  ? Label(isExport ? GetPVDefLabel(&d, PV_COL_TAG) : GetPVImportDefLabel(&d, PV_COL_TAG), "PV Tag")
                  : "PV Tag";
    c.text = isExport ? GetPVDataText(&d, i, PV_COL_TAG) : GetPVImportDataText(&d, i, PV_COL_TAG);
    c.dataSet = isExport ? GetPVDataInt(&d, i, PV_COL_DATA_SET) : GetPVImportDataInt(&d, i, PV_COL_DATA_SET);
    c.required = TextRequired(&d, table, PV_COL_TAG);
    const int16_t active = isExport ? GetPVActive(&d, i) : GetPVImportActive(&d, i);
    c.used = GateOpen(c.rule, active);
    c.unusedWhy = "the row's Active is " + std::to_string(active);
    row.tags.push_back(Judge(c, index));
    return row;
}

std::string NameAt(const std::vector<std::string>& names, int32_t i) {
    return static_cast<size_t>(i) < names.size() ? names[static_cast<size_t>(i)] : std::string();
}

int32_t TableOf(const std::string& table) {
    if (table == "controller") return TAG_TABLE_CTRL;
    if (table == "pv_export") return TAG_TABLE_PV_EXPORT;
    if (table == "pv_import") return TAG_TABLE_PV_IMPORT;
    return TAG_TABLE_GENERAL;
}

// A row whose failed binding ends the configuration: a column that does
// not bind where its rule makes that the end (a DCD tag that binds but
// cannot be read fails only at the step).
bool BindingFails(const RowDiagnosis& row) {
    for (const TagDiagnosis& tag : row.tags) {
        if (tag.status != Verdict::Problem || tag.code == code::kDcdNotReadable) continue;
        const TagColumnRule* rule = TagColumnRuleOf(TableOf(row.table), tag.column);
        if (rule != nullptr && rule->UnboundStops == 1) return true;
    }
    return false;
}

int32_t TableNumber(const std::string& table) {
    if (table == "controller") return TAG_TABLE_CTRL;
    if (table == "pv_export") return TAG_TABLE_PV_EXPORT;
    if (table == "pv_import") return TAG_TABLE_PV_IMPORT;
    return TAG_TABLE_GENERAL;
}

// The nearest names, of the lists the column's rule searches, for every
// text that names nothing.
void Suggest(std::vector<RowDiagnosis>& rows, const SuggestionIndex& suggest) {
    for (RowDiagnosis& row : rows) {
        for (TagDiagnosis& tag : row.tags) {
            if (tag.code != "not-in-catalogue" && tag.code != "near-miss") continue;
            const TagColumnRule* rule = TagColumnRuleOf(TableNumber(row.table), tag.column);
            if (rule == nullptr) continue;
            const std::vector<int32_t> kinds(rule->Lists, rule->Lists + rule->ListCnt);
            tag.suggestions = suggest.Nearest(tag.text, kinds, tag.dataSet);
        }
    }
}

}  // namespace

std::vector<RowDiagnosis> CheckRows(const DCSLinkData& d, const CatalogueIndex& index, const RowNames& names,
                                    const SuggestionIndex* suggest) {
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
    if (suggest != nullptr) Suggest(rows, *suggest);
    return rows;
}

StopPoint ConfigurationStop(const std::vector<RowDiagnosis>& rows) {
    // The driver checks the required texts, each check over its whole
    // table, before it binds anything; then it binds table by table.
    for (const RequiredTextCheck& check : kRequiredTextChecks) {
        for (const RowDiagnosis& row : rows) {
            if (TableOf(row.table) != check.Table || row.table == "general") continue;
            for (const TagDiagnosis& tag : row.tags) {
                if (tag.code == code::kMissingText && (check.Column < 0 || tag.column == check.Column)) {
                    return {true, row.table, row.index};
                }
            }
        }
    }
    for (int32_t table : kBindingOrder) {
        for (const RowDiagnosis& row : rows) {
            if (TableOf(row.table) == table && BindingFails(row)) return {true, row.table, row.index};
        }
    }
    return {};
}

}  // namespace host
