#include "configure.h"

#include <cstdint>

#include "binding.h"
#include "binding_rules.h"
#include "catalogue.h"
#include "catalogue_index.h"
#include "messages.h"
#include "platform/iface.h"
#include "platform/mrx3p.h"
#include "runtime.h"

namespace {

// Whether the rows of a PV table have a text in every text field. Without
// a definition table (its allocation failed at load) no field is known to
// be text.
int32_t CheckTextFields(const DCSLinkData* d, int32_t table, int32_t rowCnt) {
    const RequiredTextCheck check = {table, -1, nullptr};
    int32_t result = 1;
    for (int32_t row = 0; row < rowCnt; ++row) {
        if (RowLacksRequiredText(d, check, row)) {
            result = 0;
        }
    }
    return result;
}

// Runs one required-text check over its whole table.
int32_t RunRequiredTextCheck(const DCSLinkData* d, const RequiredTextCheck& check) {
    switch (check.Table) {
    case TAG_TABLE_CTRL: return CheckCtrlTagColumn(d, check.Column);
    case TAG_TABLE_PV_EXPORT: return CheckPVTagFields(d);
    case TAG_TABLE_PV_IMPORT: return CheckPVImportTagFields(d);
    default: return 1;
    }
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

// Binds one table of kBindingOrder. The flags end the configuration at once
// when they do not bind (and are cleared when they do); a row table is
// allocated and, while everything before it bound, bound row by row.
// False when the configuration must fail now.
bool BindTable(DCSLinkData* d, int32_t table, bool& bound) {
    switch (table) {
    case TAG_TABLE_GENERAL:
        if (BindGeneralFlags(d) != 1) {
            return false;
        }
        ClearLinkFlags(d);
        return true;
    case TAG_TABLE_CTRL:
        if (!AllocateBindings(CtrlBindings, CtrlBindingCnt, GetCtrlCnt(d), kOwnerController)) {
            return false;
        }
        bound = bound && BindRows(d, GetCtrlCnt(d), BindController);
        return true;
    case TAG_TABLE_PV_EXPORT:
        if (!AllocateBindings(PVExportBindings, PVExportBindingCnt, GetPVCnt(d), kOwnerPVExport)) {
            return false;
        }
        bound = bound && BindRows(d, GetPVCnt(d), BindPVExport);
        return true;
    case TAG_TABLE_PV_IMPORT:
        if (!AllocateBindings(PVImportBindings, PVImportBindingCnt, GetPVImportCnt(d), kOwnerPVImport)) {
            return false;
        }
        bound = bound && BindRows(d, GetPVImportCnt(d), BindPVImport);
        return true;
    default: return true;
    }
}

}  // namespace

int32_t CheckCtrlTagColumn(const DCSLinkData* d, int32_t column) {
    const int32_t rows = GetCtrlCnt(d);
    if (rows <= 0) {
        return 1;
    }
    const RequiredTextCheck check = {TAG_TABLE_CTRL, column, nullptr};
    for (int32_t row = 0; row < rows; ++row) {
        if (RowLacksRequiredText(d, check, row)) {
            return 0;
        }
    }
    return 1;
}

int32_t CheckPVTagFields(const DCSLinkData* d) { return CheckTextFields(d, TAG_TABLE_PV_EXPORT, GetPVCnt(d)); }

int32_t CheckPVImportTagFields(const DCSLinkData* d) {
    return CheckTextFields(d, TAG_TABLE_PV_IMPORT, GetPVImportCnt(d));
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

    if (LoadTagCatalogue(nullptr) != 1) {
        return Fail(d);
    }
    for (const RequiredTextCheck& check : kRequiredTextChecks) {
        if (RunRequiredTextCheck(d, check) == 0) {
            ErrorMsg(check.Message);
            return Fail(d);
        }
    }
    if (GetInitStringLength() <= kEmptyInitStringLength) {
        ShowMessage(kMsgCannotEnableLink, kTitleConfigError);
        return Fail(d);
    }
    if (!AnyTagListExists()) {
        ShowMessage(kMsgCaseMustBeReloaded, kTitleConfigError);
        return Fail(d);
    }
    // Binding looks each tag text up in an index of the lists rather than
    // comparing every row with every record, which grows with rows times
    // tags. It binds alike without one: when the index's block cannot be
    // had, every record is compared, and the user is told nothing. The index
    // is taken after every block the catalogue took and gone once binding is
    // done (the reset of a failure releases it with the catalogue).
    BuildCatalogueIndex();
    // The tables are bound in the rules' order. Every row table is allocated
    // even after an earlier binding stopped, so that the reset finds the same
    // tables whatever failed.
    bool bound = true;
    for (int32_t table : kBindingOrder) {
        if (!BindTable(d, table, bound)) {
            return Fail(d);
        }
    }
    FreeCatalogueIndex();
    if (!bound) {
        return Fail(d);
    }
    LinkConfigured = 1;
    return 1;
}
