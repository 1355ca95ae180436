#include "link_state.h"

#include <cstddef>

TagList TagCatalogue[kTagListCount] = {};

CtrlBinding* CtrlBindings = nullptr;
int32_t CtrlBindingCnt = 0;
TagSlot* PVExportBindings = nullptr;
int32_t PVExportBindingCnt = 0;
TagSlot* PVImportBindings = nullptr;
int32_t PVImportBindingCnt = 0;

FlagBinding EnabledFlagBinding = {};
FlagBinding RunningFlagBinding = {};

int32_t LinkConfigured = 0;

uint32_t* CookieCell(TagSlot* slot) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(slot) + offsetof(TagSlot, Cookie));
}

uint32_t* CookieCell(FlagBinding* binding) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(binding) + offsetof(FlagBinding, Cookie));
}

int32_t TagRecordSize(int32_t kind) {
    switch (kind) {
    case TAG_KIND_AI:
    case TAG_KIND_AO: return static_cast<int32_t>(sizeof(AnalogTag));
    case TAG_KIND_DCD: return static_cast<int32_t>(sizeof(DcdTag));
    default: return static_cast<int32_t>(sizeof(PlainTag));
    }
}

TagHead* TagAt(const TagList& list, int32_t kind, int32_t index) {
    return reinterpret_cast<TagHead*>(static_cast<unsigned char*>(list.Items) +
                                      static_cast<ptrdiff_t>(index) * TagRecordSize(kind));
}
