#include "binding.h"
#include "binding_rules.h"
#include "catalogue_index.h"
#include "messages.h"

const int32_t kControllerListOrder[kTagListCount] = {TAG_KIND_AI, TAG_KIND_AO,  TAG_KIND_DI,
                                                     TAG_KIND_DO, TAG_KIND_DCD, TAG_KIND_CALC};

bool ListBindsColumn(int32_t kind, int32_t column) {
    const TagColumnRule* rule = TagColumnRuleOf(TAG_TABLE_CTRL, column);
    if (rule == nullptr) {
        return false;
    }
    for (int32_t i = 0; i < rule->ListCnt; ++i) {
        if (rule->Lists[i] == kind) {
            return true;
        }
    }
    return false;
}

TagSlot* SlotOfColumn(CtrlBinding* binding, int32_t column) {
    return reinterpret_cast<TagSlot*>(reinterpret_cast<unsigned char*>(binding) +
                                      static_cast<size_t>(column - CTRL_COL_SP) * sizeof(TagSlot));
}

void MatchControllerTags(const DCSLinkData* d, int32_t row, int32_t kind) {
    const TagList& list = TagListOf(kind);
    if (list.Count <= 0 || list.Items == nullptr) {
        return;
    }
    const int32_t dataSet = GetCtrlDataInt(d, row, CTRL_COL_DATA_SET);
    // Only the columns this list may bind are compared; a column whose rule
    // keeps a DCD record that is also the SP text for the SP skips it.
    const char* texts[6] = {};
    const TagColumnRule* rules[6] = {};
    for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
        rules[column] = TagColumnRuleOf(TAG_TABLE_CTRL, column);
        texts[column] = ListBindsColumn(kind, column) ? GetCtrlDataText(d, row, column) : nullptr;
    }
    const char* spText = GetCtrlDataText(d, row, CTRL_COL_SP);
    CtrlBinding* binding = &CtrlBindings[row];
    for (int32_t i = 0; i < list.Count; ++i) {
        const TagHead* tag = TagAt(list, kind, i);
        if (tag->DataSet != dataSet) {
            continue;
        }
        for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
            if (!SameName(texts[column], tag->Name)) {
                continue;
            }
            if (kind == TAG_KIND_DCD && rules[column]->DcdServesSPOnly == 1 && SameName(spText, tag->Name)) {
                continue;
            }
            TagSlot* slot = SlotOfColumn(binding, column);
            if (slot->Found == 1 && rules[column]->LastWins == 0) {
                continue;
            }
            slot->Kind = kind;
            slot->Found = 1;
        }
    }
}

namespace {

// Each column's text is looked up once, for the lists that hold it in the
// row's data set; its rule then picks the kind, as the comparison of every
// record of every list would.
void MatchControllerTagsIndexed(const DCSLinkData* d, int32_t row) {
    const int32_t dataSet = GetCtrlDataInt(d, row, CTRL_COL_DATA_SET);
    const char* spText = GetCtrlDataText(d, row, CTRL_COL_SP);
    CtrlBinding* binding = &CtrlBindings[row];
    for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
        TagColumnAnswer answer;
        QueryTagColumn(TAG_TABLE_CTRL, column, dataSet, GetCtrlDataText(d, row, column), spText, &answer);
        if (answer.Winner != TAG_KIND_NONE) {
            TagSlot* slot = SlotOfColumn(binding, column);
            slot->Kind = answer.Winner;
            slot->Found = 1;
        }
    }
}

}  // namespace

int32_t BindController(const DCSLinkData* d, int32_t row) {
    CtrlBinding* binding = &CtrlBindings[row];
    for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
        ResetSlot(SlotOfColumn(binding, column));
    }
    binding->SavedMode = 0;

    if (CatalogueIndexed()) {
        MatchControllerTagsIndexed(d, row);
    } else {
        for (int32_t kind : kControllerListOrder) {
            MatchControllerTags(d, row, kind);
        }
    }
    // A column that must bind ends the link when it does not; the others
    // only tell the user. Each unbound column that names a tag (or that is
    // reported even without one) gets its message, in column order.
    int32_t result = 1;
    for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
        const TagColumnRule* rule = TagColumnRuleOf(TAG_TABLE_CTRL, column);
        if (SlotOfColumn(binding, column)->Found == 1) {
            continue;
        }
        if (rule->UnboundStops == 1) {
            result = 0;
        }
        if (rule->ReportsEmpty == 1 || HasText(GetCtrlDataText(d, row, column))) {
            ShowRowMessage(kTitleBinding, rule->UnboundMessage, row);
        }
    }
    return result;
}
