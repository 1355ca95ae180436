#include "binding.h"
#include "messages.h"

// A PV export is written by the driver, so only the writable kinds serve;
// a PV import is only read, so every kind does. The first list that holds
// the tag wins.
const int32_t kPVExportKinds[kPVExportKindCount] = {TAG_KIND_AI, TAG_KIND_DI, TAG_KIND_CALC};
const int32_t kPVImportKinds[kPVImportKindCount] = {TAG_KIND_AI, TAG_KIND_AO,  TAG_KIND_DI,
                                                    TAG_KIND_DO, TAG_KIND_DCD, TAG_KIND_CALC};

namespace {

template <size_t N>
bool FindInLists(const DCSLinkData* d, int32_t row, TagSlot* table, const int32_t (&kinds)[N], PVRowIntReader dataSetOf,
                 PVRowTextReader tagOf) {
    ResetSlot(&table[row]);
    for (int32_t kind : kinds) {
        if (FindPVTag(d, row, table, kind, dataSetOf, tagOf) == 1) {
            return true;
        }
    }
    return false;
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
    if (FindInLists(d, row, PVExportBindings, kPVExportKinds, GetPVDataInt, GetPVDataText)) {
        return 1;
    }
    ShowFormattedMessage(kTitleBinding, kMsgPVExportUnbound, static_cast<int>(row));
    return 0;
}

int32_t BindPVImport(const DCSLinkData* d, int32_t row) {
    if (FindInLists(d, row, PVImportBindings, kPVImportKinds, GetPVImportDataInt, GetPVImportDataText)) {
        return 1;
    }
    ShowFormattedMessage(kTitleBinding, kMsgPVImportUnbound, static_cast<int>(row));
    return 0;
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

    const TagList& list = TagListOf(kFlagTagKind);
    for (int32_t i = 0; list.Items != nullptr && i < list.Count; ++i) {
        const TagHead* tag = TagAt(list, kFlagTagKind, i);
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

    uint8_t result = 1;
    if (HasText(enabled) && EnabledFlagBinding.Found == 0) {
        ShowMessage(kMsgEnabledFlagUnbound, kTitleBinding);
        result = 0;
    }
    if (HasText(running) && RunningFlagBinding.Found == 0) {
        ShowMessage(kMsgRunningFlagUnbound, kTitleBinding);
        return 0;
    }
    return result;
}
