#include "binding.h"
#include "messages.h"
#include "runtime.h"
#include "tag_io.h"

namespace {

constexpr double kOPReadScale = 0.01;
constexpr double kControllerModeOffset = 1.0;
constexpr int32_t kMappingControllerMode = 1;

// Reads one controller tag. Returns 1 with *value read, or 0 after its
// message.
int32_t ReadControllerTag(const DCSLinkData* d, int32_t row, int32_t dataSet, TagSlot* slot, int32_t column,
                          const char* role, double* value) {
    const char* tag = GetCtrlDataText(d, row, column);
    const int32_t kind = slot != nullptr ? slot->Kind : TAG_KIND_NONE;
    if (!IsReadableKind(kind)) {
        ReportBadTagType(kind, role, tag, kOwnerController, row);
        return 0;
    }
    int32_t status = -1;
    ReadTag(kind, dataSet, tag, CookieCell(slot), value, &status);
    if (status != 0) {
        ReportReadError(KindText(kind), role, tag, kOwnerController, row);
        return 0;
    }
    return 1;
}

int32_t ExchangeController(DCSLinkData* d, int32_t row) {
    const int32_t dataSet = GetCtrlDataInt(d, row, CTRL_COL_DATA_SET);
    CtrlBinding* binding = ControllerBindingOf(row);
    if (binding != nullptr && binding->SPSlot.Found == 1) {
        double sp = 0.0;
        if (ReadControllerTag(d, row, dataSet, &binding->SPSlot, CTRL_COL_SP, kRoleSP, &sp) == 0) {
            return 0;
        }
        SetCtrlSP(d, row, sp);
    }
    if (GetCtrlOPEnabled(d, row) == 1) {
        // After a successful configuration every OP slot is bound; a row
        // added since has none and shows as kind 0.
        TagSlot* slot = binding != nullptr ? &binding->OPSlot : nullptr;
        double op = 0.0;
        if (ReadControllerTag(d, row, dataSet, slot, CTRL_COL_OP, kRoleOP, &op) == 0) {
            return 0;
        }
        const int32_t kind = slot != nullptr ? slot->Kind : TAG_KIND_NONE;
        const bool analog = kind == TAG_KIND_AI || kind == TAG_KIND_AO || kind == TAG_KIND_CALC;
        SetCtrlOP(d, row, analog ? op * kOPReadScale : op);
    }
    return 1;
}

int32_t ExportRow(DCSLinkData* d, int32_t row) {
    if (GetPVActive(d, row) != 1) {
        return 1;
    }
    const double value = GetPVValue(d, row);
    TagSlot* slot = row < PVExportBindingCnt ? &PVExportBindings[row] : nullptr;
    const int32_t kind = slot != nullptr ? slot->Kind : TAG_KIND_NONE;
    const char* tag = GetPVDataText(d, row, PV_COL_TAG);
    if (!IsWritableKind(kind)) {
        ReportBadTagType(kind, kRolePV, tag, kOwnerPVExport, row);
        return 0;
    }
    int32_t status = -1;
    WriteTag(kind, GetPVDataInt(d, row, PV_COL_DATA_SET), tag, CookieCell(slot), value, &status);
    if (status != 0) {
        ReportWriteError(KindText(kind), kRolePV, tag, kOwnerPVExport, row, WriteDetailText(kind));
        return 0;
    }
    return 1;
}

int32_t ImportRow(DCSLinkData* d, int32_t row) {
    if (GetPVImportActive(d, row) != 1) {
        return 1;
    }
    TagSlot* slot = row < PVImportBindingCnt ? &PVImportBindings[row] : nullptr;
    const int32_t kind = slot != nullptr ? slot->Kind : TAG_KIND_NONE;
    if (kind == TAG_KIND_NONE) {
        return 1;  // an unbound import is skipped without a word
    }
    const char* tag = GetPVImportDataText(d, row, PV_COL_TAG);
    if (!IsReadableKind(kind)) {
        ReportBadTagType(kind, kRolePV, tag, kOwnerPVImport, row);
        return 0;
    }
    double value = 0.0;
    int32_t status = -1;
    ReadTag(kind, GetPVImportDataInt(d, row, PV_COL_DATA_SET), tag, CookieCell(slot), &value, &status);
    if (status != 0) {
        ReportReadError(KindText(kind), kRolePV, tag, kOwnerPVImport, row);
        return 0;
    }
    if (GetPVImportDataInt(d, row, PV_IMPORT_COL_MAPPING) == kMappingControllerMode) {
        value += kControllerModeOffset;
    }
    SetPVImportValue(d, row, value);
    return 1;
}

}  // namespace

int32_t PVExportPass(DCSLinkData* d) {
    int32_t result = 1;
    for (int32_t row = 0; row < GetPVCnt(d) && result == 1; ++row) {
        result = ExportRow(d, row);
    }
    return result;
}

// The counts are read again after every row: the host owns them.
int32_t ExchangeStep(DCSLinkData* d) {
    int32_t result = 1;
    for (int32_t row = 0; row < GetCtrlCnt(d) && result == 1; ++row) {
        result = ExchangeController(d, row);
    }
    if (result == 1) {
        result = PVExportPass(d);
    }
    for (int32_t row = 0; row < GetPVImportCnt(d) && result == 1; ++row) {
        result = ImportRow(d, row);
    }
    return result;
}
