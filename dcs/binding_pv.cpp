#include "binding.h"
#include "binding_rules.h"
#include "catalogue_index.h"
#include "messages.h"

namespace {

// Searches the lists of the row's rule in order; a PV row stops at the
// first list that holds the tag.
bool FindInLists(const DCSLinkData* d, int32_t row, TagSlot* table, const TagColumnRule* rule, PVRowIntReader dataSetOf,
                 PVRowTextReader tagOf) {
    ResetSlot(&table[row]);
    bool found = false;
    for (int32_t i = 0; i < rule->ListCnt; ++i) {
        if (FindPVTag(d, row, table, rule->Lists[i], dataSetOf, tagOf) == 1) {
            found = true;
            if (rule->LastWins == 0) {
                break;
            }
        }
    }
    return found;
}

// The same through the catalogue's index: the lists that hold the tag,
// and of them the one the row's rule picks.
bool FindIndexed(const DCSLinkData* d, int32_t row, TagSlot* table, int32_t tableId, PVRowIntReader dataSetOf,
                 PVRowTextReader tagOf) {
    ResetSlot(&table[row]);
    TagColumnAnswer answer;
    QueryTagColumn(tableId, PV_COL_TAG, dataSetOf(d, row, PV_COL_DATA_SET), tagOf(d, row, PV_COL_TAG), nullptr,
                   &answer);
    if (answer.Winner == TAG_KIND_NONE) {
        return false;
    }
    table[row].Kind = answer.Winner;
    table[row].Found = 1;
    return true;
}

// Binds one PV row by its rule; shows the rule's message when it does not.
int32_t BindPVRow(const DCSLinkData* d, int32_t row, int32_t table, TagSlot* bindings, PVRowIntReader dataSetOf,
                  PVRowTextReader tagOf) {
    const TagColumnRule* rule = TagColumnRuleOf(table, PV_COL_TAG);
    const bool found = CatalogueIndexed() ? FindIndexed(d, row, bindings, table, dataSetOf, tagOf)
                                          : FindInLists(d, row, bindings, rule, dataSetOf, tagOf);
    if (found) {
        return 1;
    }
    ShowRowMessage(kTitleBinding, rule->UnboundMessage, row);
    return 0;
}

}  // namespace

uint8_t FindPVTag(const DCSLinkData* d, int32_t row, TagSlot* table, int32_t kind, PVRowIntReader dataSetOf,
                  PVRowTextReader tagOf) {
    const TagList& list = TagListOf(kind);
    TagSlot* entry = &table[row];
    if (list.Items == nullptr) {
        return entry->Found;
    }
    const int32_t dataSet = dataSetOf(d, row, PV_COL_DATA_SET);
    const char* text = tagOf(d, row, PV_COL_TAG);
    for (int32_t i = 0; i < list.Count; ++i) {
        const TagHead* tag = TagAt(list, kind, i);
        if (tag->DataSet == dataSet && SameName(text, tag->Name)) {
            entry->Kind = kind;
            entry->Found = 1;
            break;
        }
    }
    return entry->Found;
}

int32_t BindPVExport(const DCSLinkData* d, int32_t row) {
    return BindPVRow(d, row, TAG_TABLE_PV_EXPORT, PVExportBindings, GetPVDataInt, GetPVDataText);
}

int32_t BindPVImport(const DCSLinkData* d, int32_t row) {
    return BindPVRow(d, row, TAG_TABLE_PV_IMPORT, PVImportBindings, GetPVImportDataInt, GetPVImportDataText);
}

uint8_t BindGeneralFlags(const DCSLinkData* d) {
    EnabledFlagBinding.Cookie = 0;
    EnabledFlagBinding.Found = 0;
    RunningFlagBinding.Cookie = 0;
    RunningFlagBinding.Found = 0;

    // Without GenData (its allocation failed at load) no flag is named.
    const char* enabled = d->GenData != nullptr ? GetGenDataText(d, GEN_ENABLED_FLAG) : nullptr;
    const char* running = d->GenData != nullptr ? GetGenDataText(d, GEN_RUNNING_FLAG) : nullptr;
    const int32_t dataSet = d->GenData != nullptr ? GetGenDataInt(d, GEN_DATA_SET) : 0;

    // Both flags are written, so they share one list: the one their rules name.
    const TagColumnRule* enabledRule = TagColumnRuleOf(TAG_TABLE_GENERAL, GEN_ENABLED_FLAG);
    const TagColumnRule* runningRule = TagColumnRuleOf(TAG_TABLE_GENERAL, GEN_RUNNING_FLAG);
    const int32_t flagKind = enabledRule->Lists[0];
    if (CatalogueIndexed()) {
        // A name that is also the Enabled Flag serves that flag only.
        const bool runningHeld = HasKind(CatalogueHolds(dataSet, running), flagKind);
        EnabledFlagBinding.Found = HasKind(CatalogueHolds(dataSet, enabled), flagKind) ? 1 : 0;
        RunningFlagBinding.Found = runningHeld && FlagOfName(enabled, running, running) == GEN_RUNNING_FLAG ? 1 : 0;
    } else {
        const TagList& list = TagListOf(flagKind);
        for (int32_t i = 0; list.Items != nullptr && i < list.Count; ++i) {
            const TagHead* tag = TagAt(list, flagKind, i);
            if (tag->DataSet != dataSet) {
                continue;
            }
            const int32_t flag = FlagOfName(enabled, running, tag->Name);
            if (flag == GEN_ENABLED_FLAG) {
                EnabledFlagBinding.Found = 1;
            } else if (flag == GEN_RUNNING_FLAG) {
                RunningFlagBinding.Found = 1;
            }
        }
    }

    uint8_t result = 1;
    if (HasText(enabled) && EnabledFlagBinding.Found == 0) {
        ShowMessage(enabledRule->UnboundMessage, kTitleBinding);
        result = 0;
    }
    if (HasText(running) && RunningFlagBinding.Found == 0) {
        ShowMessage(runningRule->UnboundMessage, kTitleBinding);
        return 0;
    }
    return result;
}
