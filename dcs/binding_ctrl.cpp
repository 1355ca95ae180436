#include "binding.h"
#include "messages.h"

namespace {

// Which controller columns a list may bind. The columns the driver writes
// (SP Init, OP Init, Mode) take only the writable kinds AI, DI and CALC.
struct BindableColumns {
    bool column[6];  // indexed by column; 0 is the data set
};

constexpr bool Y = true;
constexpr bool N = false;
const BindableColumns kBindable[kTagListCount] = {
    {{N, Y, Y, Y, Y, Y}},  // AI
    {{N, Y, N, Y, N, N}},  // AO
    {{N, Y, Y, Y, Y, Y}},  // DI
    {{N, Y, N, Y, N, N}},  // DO
    {{N, Y, N, Y, N, N}},  // DCD (OP only under another name than the SP's)
    {{N, Y, Y, Y, Y, Y}},  // CALC
};

}  // namespace

const int32_t kControllerListOrder[kTagListCount] = {TAG_KIND_AI, TAG_KIND_AO,  TAG_KIND_DI,
                                                     TAG_KIND_DO, TAG_KIND_DCD, TAG_KIND_CALC};

bool ListBindsColumn(int32_t kind, int32_t column) {
    return kind >= TAG_KIND_AI && kind <= TAG_KIND_CALC && column >= CTRL_COL_SP && column <= CTRL_COL_MODE &&
           kBindable[kind - 1].column[column];
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
    const char* texts[6] = {};
    for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
        texts[column] = kBindable[kind - 1].column[column] ? GetCtrlDataText(d, row, column) : nullptr;
    }
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
            if (DcdTakenBySP(kind, column, texts[CTRL_COL_SP], tag->Name)) {
                continue;
            }
            TagSlot* slot = SlotOfColumn(binding, column);
            slot->Kind = kind;
            slot->Found = 1;
        }
    }
}

int32_t BindController(const DCSLinkData* d, int32_t row) {
    CtrlBinding* binding = &CtrlBindings[row];
    for (int32_t column = CTRL_COL_SP; column <= CTRL_COL_MODE; ++column) {
        ResetSlot(SlotOfColumn(binding, column));
    }
    binding->SavedMode = 0;

    for (int32_t kind : kControllerListOrder) {
        MatchControllerTags(d, row, kind);
    }
    const int32_t result = binding->OPSlot.Found == 1 && binding->OPInitSlot.Found == 1 ? 1 : 0;

    // The SP, SP Init and Mode tags are optional: only a named one that did
    // not bind is worth a message. OP and OP Init are always reported.
    if (binding->SPSlot.Found == 0 && HasText(GetCtrlDataText(d, row, CTRL_COL_SP))) {
        ShowFormattedMessage(kTitleBinding, kMsgSPTagUnbound, static_cast<int>(row));
    }
    if (binding->SPInitSlot.Found == 0 && HasText(GetCtrlDataText(d, row, CTRL_COL_SP_INIT))) {
        ShowFormattedMessage(kTitleBinding, kMsgSPInitTagUnbound, static_cast<int>(row));
    }
    if (binding->OPSlot.Found == 0) {
        ShowFormattedMessage(kTitleBinding, kMsgOPTagUnbound, static_cast<int>(row));
    }
    if (binding->OPInitSlot.Found == 0) {
        ShowFormattedMessage(kTitleBinding, kMsgOPInitTagUnbound, static_cast<int>(row));
    }
    if (binding->ModeSlot.Found == 0 && HasText(GetCtrlDataText(d, row, CTRL_COL_MODE))) {
        ShowFormattedMessage(kTitleBinding, kMsgModeTagUnbound, static_cast<int>(row));
    }
    return result;
}
