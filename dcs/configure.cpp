#include "configure.h"

#include <cstdint>

#include "binding.h"
#include "catalogue.h"
#include "messages.h"
#include "platform/iface.h"
#include "platform/mrx3p.h"
#include "runtime.h"

namespace {

// Counts whether the rows of a PV table have a text in every text field.
// Without a definition table (its allocation failed at load) no field is
// known to be text.
int32_t CheckTextFields(const DCSLinkData* d, const DCSDataDef* defs, int32_t defCnt, int32_t rowCnt,
                        PVRowTextReader textOf) {
    int32_t result = 1;
    if (defs == nullptr) {
        return result;
    }
    for (int32_t row = 0; row < rowCnt; ++row) {
        for (int32_t field = 0; field < defCnt; ++field) {
            if (defs[field].Kind == FIELD_KIND_TEXT && !HasText(textOf(d, row, field))) {
                result = 0;
                break;
            }
        }
    }
    return result;
}

bool AnyTagListExists() {
    for (const TagList& list : TagCatalogue) {
        if (list.Items != nullptr) {
            return true;
        }
    }
    return false;
}

// A binding table for `count` rows. A table for no rows needs no block, so
// only a missing block for rows that exist is a failure (with its message).
template <typename T>
bool AllocateBindings(T*& table, int32_t& tableCnt, int32_t count, const char* what) {
    tableCnt = 0;
    const size_t rows = static_cast<size_t>(count > 0 ? count : 0);
    table = rows <= SIZE_MAX / sizeof(T) ? static_cast<T*>(IFace_new(rows * sizeof(T))) : nullptr;
    if (table == nullptr && count > 0) {
        ShowFormattedMessage(kTitleConfigError, kMsgBindingTableAlloc, what);
        return false;
    }
    tableCnt = count > 0 ? count : 0;
    return true;
}

template <typename T>
void ReleaseBindings(T*& table, int32_t& tableCnt) {
    if (table != nullptr) {
        IFace_delete(table);
        table = nullptr;
    }
    tableCnt = 0;
}

int32_t Fail(DCSLinkData* d) {
    ResetLinkState(d);
    return 0;
}

// Binds rows in order and stops at the first that does not bind.
bool BindRows(const DCSLinkData* d, int32_t count, int32_t (*bind)(const DCSLinkData*, int32_t)) {
    for (int32_t row = 0; row < count; ++row) {
        if (bind(d, row) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

int32_t CheckCtrlTagColumn(const DCSLinkData* d, int32_t column) {
    const int32_t rows = GetCtrlCnt(d);
    if (rows <= 0) {
        return 1;
    }
    if (d->CtrlDef == nullptr || column >= d->CtrlDefCnt || GetCtrlDefKind(d, column) != FIELD_KIND_TEXT) {
        return 1;
    }
    for (int32_t row = 0; row < rows; ++row) {
        if (!HasText(GetCtrlDataText(d, row, column))) {
            return 0;
        }
    }
    return 1;
}

int32_t CheckPVTagFields(const DCSLinkData* d) {
    return CheckTextFields(d, d->PVDef, GetPVDefCnt(d), GetPVCnt(d), GetPVDataText);
}

int32_t CheckPVImportTagFields(const DCSLinkData* d) {
    return CheckTextFields(d, d->PVImportDef, GetPVImportDefCnt(d), GetPVImportCnt(d), GetPVImportDataText);
}

void ResetLinkState(const DCSLinkData* d) {
    SetEnabledFlag(d, 0);
    ResetLink();
    FreeTagCatalogue();
    ReleaseBindings(CtrlBindings, CtrlBindingCnt);
    ReleaseBindings(PVExportBindings, PVExportBindingCnt);
    ReleaseBindings(PVImportBindings, PVImportBindingCnt);
    LinkConfigured = 0;
}

int32_t ConfigureLink(DCSLinkData* d) {
    // A configuration that still stands is taken down first, so that the
    // catalogue starts empty and no binding table is lost.
    if (LinkConfigured == 1 || AnyTagListExists() || CtrlBindings != nullptr || PVExportBindings != nullptr ||
        PVImportBindings != nullptr) {
        ResetLinkState(d);
    }

    if (LoadTagCatalogue() != 1) {
        return Fail(d);
    }
    if (CheckCtrlTagColumn(d, CTRL_COL_OP) == 0) {
        ErrorMsg(kMsgOPTagsMissing);
        return Fail(d);
    }
    if (CheckCtrlTagColumn(d, CTRL_COL_OP_INIT) == 0) {
        ErrorMsg(kMsgOPInitTagsMissing);
        return Fail(d);
    }
    if (CheckPVTagFields(d) == 0) {
        ErrorMsg(kMsgPVTagFieldError);
        return Fail(d);
    }
    if (CheckPVImportTagFields(d) == 0) {
        ErrorMsg(kMsgPVImportTagFieldError);
        return Fail(d);
    }
    if (GetInitStringLength() <= kEmptyInitStringLength) {
        ShowMessage(kMsgCannotEnableLink, kTitleConfigError);
        return Fail(d);
    }
    if (!AnyTagListExists()) {
        ShowMessage(kMsgCaseMustBeReloaded, kTitleConfigError);
        return Fail(d);
    }
    if (BindGeneralFlags(d) != 1) {
        return Fail(d);
    }
    ClearLinkFlags(d);

    // Every table is allocated even after an earlier binding stopped, so
    // that the reset finds the same tables whatever failed.
    bool bound = true;
    if (!AllocateBindings(CtrlBindings, CtrlBindingCnt, GetCtrlCnt(d), kOwnerController)) {
        return Fail(d);
    }
    bound = BindRows(d, GetCtrlCnt(d), BindController);
    if (!AllocateBindings(PVExportBindings, PVExportBindingCnt, GetPVCnt(d), kOwnerPVExport)) {
        return Fail(d);
    }
    bound = bound && BindRows(d, GetPVCnt(d), BindPVExport);
    if (!AllocateBindings(PVImportBindings, PVImportBindingCnt, GetPVImportCnt(d), kOwnerPVImport)) {
        return Fail(d);
    }
    bound = bound && BindRows(d, GetPVImportCnt(d), BindPVImport);
    if (!bound) {
        return Fail(d);
    }
    LinkConfigured = 1;
    return 1;
}
