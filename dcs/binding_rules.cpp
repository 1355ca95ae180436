#include "binding_rules.h"

#include "binding.h"
#include "catalogue_index.h"
#include "messages.h"

namespace {

constexpr int32_t AI = TAG_KIND_AI;
constexpr int32_t AO = TAG_KIND_AO;
constexpr int32_t DI = TAG_KIND_DI;
constexpr int32_t DO = TAG_KIND_DO;
constexpr int32_t DCD = TAG_KIND_DCD;
constexpr int32_t CALC = TAG_KIND_CALC;

// The moments of the controller tags: the SP and OP are read at every step;
// the initial values are written at DCSInitialize and DCSStart; the mode is
// set to 0 whenever it is captured (initialize, stop, time zero) and written
// back at start.
constexpr uint32_t kInitialValueMoments = TAG_MOMENT_INITIALIZE | TAG_MOMENT_START;
constexpr uint32_t kModeMoments = TAG_MOMENT_INITIALIZE | TAG_MOMENT_START | TAG_MOMENT_STOP | TAG_MOMENT_TIME_ZERO;

}  // namespace

// The columns the driver writes take only the writable kinds AI, DI and
// CALC; the columns it reads take every kind. Controller columns list the
// kinds in the controller scan order, where a later list overwrites; PV
// rows stop at the first list that holds the tag.
// clang-format off
const TagColumnRule kTagColumnRules[] = {
    // Table, column, use, lists searched and their count,
    //   last wins, DCD serves the SP only, reported when empty, unbound stops,
    //   unbound message, required-text message,
    //   gate, moments, role, owner.
    {TAG_TABLE_GENERAL, GEN_ENABLED_FLAG, TAG_USE_WRITE, {DI}, 1,
     0, 0, 0, 1,
     kMsgEnabledFlagUnbound, nullptr,
     TAG_GATE_BOUND, TAG_MOMENT_CONFIGURE | TAG_MOMENT_INITIALIZE | TAG_MOMENT_RESET, nullptr, nullptr},
    {TAG_TABLE_GENERAL, GEN_RUNNING_FLAG, TAG_USE_WRITE, {DI}, 1,
     0, 0, 0, 1,
     kMsgRunningFlagUnbound, nullptr,
     TAG_GATE_BOUND, TAG_MOMENT_CONFIGURE | TAG_MOMENT_START | TAG_MOMENT_STOP, nullptr, nullptr},
    {TAG_TABLE_CTRL, CTRL_COL_SP, TAG_USE_READ, {AI, AO, DI, DO, DCD, CALC}, 6,
     1, 0, 0, 0,
     kMsgSPTagUnbound, nullptr,
     TAG_GATE_BOUND, TAG_MOMENT_STEP, kRoleSP, kOwnerController},
    {TAG_TABLE_CTRL, CTRL_COL_SP_INIT, TAG_USE_WRITE, {AI, DI, CALC}, 3,
     1, 0, 0, 0,
     kMsgSPInitTagUnbound, nullptr,
     TAG_GATE_BOUND, kInitialValueMoments, kRoleSPInit, kOwnerController},
    {TAG_TABLE_CTRL, CTRL_COL_OP, TAG_USE_READ, {AI, AO, DI, DO, DCD, CALC}, 6,
     1, 1, 1, 1,
     kMsgOPTagUnbound, kMsgOPTagsMissing,
     TAG_GATE_OP_ENABLED, TAG_MOMENT_STEP, kRoleOP, kOwnerController},
    {TAG_TABLE_CTRL, CTRL_COL_OP_INIT, TAG_USE_WRITE, {AI, DI, CALC}, 3,
     1, 0, 1, 1,
     kMsgOPInitTagUnbound, kMsgOPInitTagsMissing,
     TAG_GATE_OP_ENABLED, kInitialValueMoments, kRoleOPInit, kOwnerController},
    {TAG_TABLE_CTRL, CTRL_COL_MODE, TAG_USE_WRITE, {AI, DI, CALC}, 3,
     1, 0, 0, 0,
     kMsgModeTagUnbound, nullptr,
     TAG_GATE_BOUND, kModeMoments, kRoleMode, kOwnerController},
    {TAG_TABLE_PV_EXPORT, PV_COL_TAG, TAG_USE_WRITE, {AI, DI, CALC}, 3,
     0, 0, 1, 1,
     kMsgPVExportUnbound, kMsgPVTagFieldError,
     TAG_GATE_ACTIVE, TAG_MOMENT_INITIALIZE | TAG_MOMENT_STEP, kRolePV, kOwnerPVExport},
    {TAG_TABLE_PV_IMPORT, PV_COL_TAG, TAG_USE_READ, {AI, AO, DI, DO, DCD, CALC}, 6,
     0, 0, 1, 1,
     kMsgPVImportUnbound, kMsgPVImportTagFieldError,
     TAG_GATE_ACTIVE, TAG_MOMENT_STEP, kRolePV, kOwnerPVImport},
};
// clang-format on
const int32_t kTagColumnRuleCount = static_cast<int32_t>(sizeof kTagColumnRules / sizeof kTagColumnRules[0]);

const RequiredTextCheck kRequiredTextChecks[kRequiredTextCheckCount] = {
    {TAG_TABLE_CTRL, CTRL_COL_OP, kMsgOPTagsMissing},
    {TAG_TABLE_CTRL, CTRL_COL_OP_INIT, kMsgOPInitTagsMissing},
    {TAG_TABLE_PV_EXPORT, -1, kMsgPVTagFieldError},
    {TAG_TABLE_PV_IMPORT, -1, kMsgPVImportTagFieldError},
};

const int32_t kBindingOrder[kTagTableCount] = {TAG_TABLE_GENERAL, TAG_TABLE_CTRL, TAG_TABLE_PV_EXPORT,
                                               TAG_TABLE_PV_IMPORT};

int32_t TagMovePass(const TagColumnRule& rule, uint32_t moment) {
    if ((rule.Moments & moment) == 0) {
        return 0;
    }
    switch (rule.Table) {
    case TAG_TABLE_CTRL: return moment == TAG_MOMENT_STEP || rule.Column == CTRL_COL_MODE ? 1 : 2;
    case TAG_TABLE_PV_EXPORT: return moment == TAG_MOMENT_INITIALIZE ? 3 : 2;
    case TAG_TABLE_PV_IMPORT: return 3;
    default:  // the flags
        if (moment == TAG_MOMENT_CONFIGURE) {
            return rule.Column == GEN_ENABLED_FLAG ? 1 : 2;
        }
        if (moment == TAG_MOMENT_INITIALIZE) {
            return 4;
        }
        if (moment == TAG_MOMENT_START) {
            return 3;
        }
        return moment == TAG_MOMENT_STOP ? 2 : 1;
    }
}

const TagColumnRule* TagColumnRuleOf(int32_t table, int32_t column) {
    for (const TagColumnRule& rule : kTagColumnRules) {
        if (rule.Table == table && rule.Column == column) {
            return &rule;
        }
    }
    return nullptr;
}

bool FieldIsText(const DCSLinkData* d, int32_t table, int32_t column) {
    const DCSDataDef* defs = nullptr;
    int32_t defCnt = 0;
    switch (table) {
    case TAG_TABLE_GENERAL:
        defs = d->GenDef;
        defCnt = d->GenDefCnt;
        break;
    case TAG_TABLE_CTRL:
        defs = d->CtrlDef;
        defCnt = d->CtrlDefCnt;
        break;
    case TAG_TABLE_PV_EXPORT:
        defs = d->PVDef;
        defCnt = d->PVDefCnt;
        break;
    case TAG_TABLE_PV_IMPORT:
        defs = d->PVImportDef;
        defCnt = d->PVImportDefCnt;
        break;
    default: return false;
    }
    return defs != nullptr && column >= 0 && column < defCnt && defs[column].Kind == FIELD_KIND_TEXT;
}

bool TextRequired(const DCSLinkData* d, int32_t table, int32_t column) {
    for (const RequiredTextCheck& check : kRequiredTextChecks) {
        if (check.Table == table && (check.Column == column || check.Column < 0)) {
            return FieldIsText(d, table, column);
        }
    }
    return false;
}

bool RowLacksRequiredText(const DCSLinkData* d, const RequiredTextCheck& check, int32_t row) {
    switch (check.Table) {
    case TAG_TABLE_CTRL:
        return FieldIsText(d, check.Table, check.Column) && !HasText(GetCtrlDataText(d, row, check.Column));
    case TAG_TABLE_PV_EXPORT:
    case TAG_TABLE_PV_IMPORT: {
        const bool isExport = check.Table == TAG_TABLE_PV_EXPORT;
        const int32_t defCnt = isExport ? GetPVDefCnt(d) : GetPVImportDefCnt(d);
        for (int32_t field = 0; field < defCnt; ++field) {
            if (!FieldIsText(d, check.Table, field)) {
                continue;
            }
            const char* text = isExport ? GetPVDataText(d, row, field) : GetPVImportDataText(d, row, field);
            if (!HasText(text)) {
                return true;
            }
        }
        return false;
    }
    default: return false;
    }
}

TagKindSet CatalogueHolds(int32_t dataSet, const char* name) {
    TagKindSet held = 0;
    if (!HasText(name)) {
        return held;
    }
    if (CatalogueIndexed()) {
        return IndexedHolds(dataSet, name);
    }
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        const TagList& list = TagListOf(kind);
        for (int32_t i = 0; list.Items != nullptr && i < list.Count; ++i) {
            const TagHead* tag = TagAt(list, kind, i);
            if (tag->DataSet == dataSet && SameName(name, tag->Name)) {
                held |= KindBit(kind);
                break;
            }
        }
    }
    return held;
}

TagKindSet BindableKinds(const TagColumnRule* rule, TagKindSet held, bool takenBySP) {
    TagKindSet bindable = 0;
    if (rule == nullptr) {
        return bindable;
    }
    for (int32_t i = 0; i < rule->ListCnt; ++i) {
        const int32_t kind = rule->Lists[i];
        if (kind == TAG_KIND_DCD && rule->DcdServesSPOnly == 1 && takenBySP) {
            continue;
        }
        bindable |= held & KindBit(kind);
    }
    return bindable;
}

int32_t BoundKind(const TagColumnRule* rule, TagKindSet held, bool takenBySP) {
    const TagKindSet bindable = BindableKinds(rule, held, takenBySP);
    int32_t winner = TAG_KIND_NONE;
    for (int32_t i = 0; bindable != 0 && i < rule->ListCnt; ++i) {
        if (!HasKind(bindable, rule->Lists[i])) {
            continue;
        }
        winner = rule->Lists[i];
        if (rule->LastWins == 0) {
            break;
        }
    }
    return winner;
}

int32_t QueryTagColumn(int32_t table, int32_t column, int32_t dataSet, const char* name, const char* spText,
                       TagColumnAnswer* answer) {
    answer->Held = 0;
    answer->Candidates = 0;
    answer->Winner = TAG_KIND_NONE;
    const TagColumnRule* rule = TagColumnRuleOf(table, column);
    if (rule == nullptr) {
        return 0;
    }
    const bool takenBySP = SameName(spText, name);
    answer->Held = CatalogueHolds(dataSet, name);
    answer->Candidates = BindableKinds(rule, answer->Held, takenBySP);
    answer->Winner = BoundKind(rule, answer->Held, takenBySP);
    return 1;
}

bool GateOpen(const TagColumnRule* rule, int16_t opEnabledOrActive) {
    return rule != nullptr && (rule->Gate == TAG_GATE_BOUND || opEnabledOrActive == 1);
}
