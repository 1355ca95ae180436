#include "binding.h"
#include "messages.h"
#include "runtime.h"
#include "tag_io.h"

namespace {

constexpr double kOPInitWriteScale = 100.0;

// Writes one controller value to the tag of a slot; a kind without a write
// operation, or a failed write, is reported and the caller goes on.
void WriteControllerTag(const DCSLinkData* d, int32_t row, TagSlot* slot, int32_t column, const char* role,
                        double value) {
    const char* tag = GetCtrlDataText(d, row, column);
    const int32_t kind = slot != nullptr ? slot->Kind : TAG_KIND_NONE;
    if (!IsWritableKind(kind)) {
        ReportBadTagType(kind, role, tag, kOwnerController, row);
        return;
    }
    int32_t status = -1;
    WriteTag(kind, GetCtrlDataInt(d, row, CTRL_COL_DATA_SET), tag, CookieCell(slot), value, &status);
    if (status != 0) {
        ReportWriteError(KindText(kind), role, tag, kOwnerController, row, WriteDetailText(kind));
    }
}

// Writes one link flag. Without GenData (its allocation failed at load, or
// the definitions were released since the flag was bound) no flag tag is
// named, and nothing is written: the binding's cookie belongs to a tag whose
// name is gone.
void SetFlag(const DCSLinkData* d, FlagBinding* binding, int32_t field, int32_t value, const char* failure) {
    if (binding->Found != 1 || d->GenData == nullptr) {
        return;
    }
    const int32_t dataSet = GetGenDataInt(d, GEN_DATA_SET);
    const char* tag = GetGenDataText(d, field);
    int32_t status = -1;
    WriteTag(TAG_KIND_DI, dataSet, tag, CookieCell(binding), static_cast<double>(value), &status);
    if (status != 0) {
        ShowMessage(failure, kTitleRuntimeError);
    }
}

}  // namespace

void WriteModeTag(DCSLinkData* d, int32_t row, int32_t mode) {
    CtrlBinding* binding = ControllerBindingOf(row);
    if (binding == nullptr || binding->ModeSlot.Found != 1) {
        return;
    }
    // An int32 goes to a DI tag unchanged, through a double exactly.
    WriteControllerTag(d, row, &binding->ModeSlot, CTRL_COL_MODE, kRoleMode, static_cast<double>(mode));
}

void CaptureModes(DCSLinkData* d) {
    for (int32_t row = 0; row < GetCtrlCnt(d); ++row) {
        CtrlBinding* binding = ControllerBindingOf(row);
        if (binding != nullptr) {
            binding->SavedMode = TruncateToInt32(GetCtrlMode(d, row));
        }
        WriteModeTag(d, row, 0);
    }
}

void RestoreModes(DCSLinkData* d) {
    for (int32_t row = 0; row < GetCtrlCnt(d); ++row) {
        CtrlBinding* binding = ControllerBindingOf(row);
        if (binding != nullptr) {
            WriteModeTag(d, row, binding->SavedMode);
        }
    }
}

void PushInitValues(DCSLinkData* d) {
    for (int32_t row = 0; row < GetCtrlCnt(d); ++row) {
        CtrlBinding* binding = ControllerBindingOf(row);
        if (binding != nullptr && binding->SPInitSlot.Found == 1) {
            WriteControllerTag(d, row, &binding->SPInitSlot, CTRL_COL_SP_INIT, kRoleSPInit, GetCtrlSP(d, row));
        }
        if (GetCtrlOPEnabled(d, row) == 1) {
            // The OP travels as a percentage to analog tags, unscaled to DI.
            TagSlot* slot = binding != nullptr ? &binding->OPInitSlot : nullptr;
            const bool analog = slot != nullptr && (slot->Kind == TAG_KIND_AI || slot->Kind == TAG_KIND_CALC);
            const double op = GetCtrlOP(d, row);
            WriteControllerTag(d, row, slot, CTRL_COL_OP_INIT, kRoleOPInit, analog ? op * kOPInitWriteScale : op);
        }
    }
}

void SetEnabledFlag(const DCSLinkData* d, int32_t value) {
    SetFlag(d, &EnabledFlagBinding, GEN_ENABLED_FLAG, value, kMsgEnabledFlagWrite);
}

void SetRunningFlag(const DCSLinkData* d, int32_t value) {
    SetFlag(d, &RunningFlagBinding, GEN_RUNNING_FLAG, value, kMsgRunningFlagWrite);
}

void ClearLinkFlags(const DCSLinkData* d) {
    SetEnabledFlag(d, 0);
    SetRunningFlag(d, 0);
}
