#include "field_defs.h"

#include <cstdint>

#include "access.h"
#include "messages.h"
#include "platform/iface.h"
#include "value_cell.h"

namespace {

// Persistent keys under which the host keeps each field's values with the
// case. Definition i of a table always gets entry i of its table, so stored
// cases keep finding their values whatever the field is called.
const char* const kGenKeys[] = {
    ":ExtraData.310", ":ExtraData.311", ":ExtraData.312", ":ExtraData.313", ":ExtraData.314",
    ":ExtraData.315", ":ExtraData.316", ":ExtraData.317", ":ExtraData.318", ":ExtraData.319",
    ":ExtraData.320", ":ExtraData.321", ":ExtraData.322", ":ExtraData.323", ":ExtraData.324",
    ":ExtraData.325", ":ExtraData.326", ":ExtraData.327", ":ExtraData.328", ":ExtraData.329",
};
const char* const kCtrlKeys[] = {
    ":ExtraData.340.[]", ":ExtraData.341.[]", ":ExtraData.342.[]", ":ExtraData.343.[]", ":ExtraData.344.[]",
    ":ExtraData.345.[]", ":ExtraData.346.[]", ":ExtraData.347.[]", ":ExtraData.348.[]", ":ExtraData.349.[]",
    ":ExtraData.350.[]", ":ExtraData.351.[]", ":ExtraData.352.[]", ":ExtraData.353.[]", ":ExtraData.354.[]",
    ":ExtraData.355.[]", ":ExtraData.356.[]", ":ExtraData.357.[]", ":ExtraData.358.[]", ":ExtraData.359.[]",
};
const char* const kPVKeys[] = {
    ":ExtraData.375.[]", ":ExtraData.376.[]", ":ExtraData.377.[]", ":ExtraData.378.[]", ":ExtraData.379.[]",
    ":ExtraData.380.[]", ":ExtraData.381.[]", ":ExtraData.382.[]", ":ExtraData.383.[]", ":ExtraData.384.[]",
    ":ExtraData.385.[]", ":ExtraData.386.[]", ":ExtraData.387.[]", ":ExtraData.388.[]", ":ExtraData.389.[]",
    ":ExtraData.390.[]", ":ExtraData.391.[]", ":ExtraData.392.[]", ":ExtraData.393.[]", ":ExtraData.394.[]",
    ":ExtraData.395.[]", ":ExtraData.396.[]", ":ExtraData.397.[]", ":ExtraData.398.[]", ":ExtraData.399.[]",
};
const char* const kPVImportKeys[] = {
    ":ExtraData.3075.[]", ":ExtraData.3076.[]", ":ExtraData.3077.[]", ":ExtraData.3078.[]", ":ExtraData.3079.[]",
    ":ExtraData.3080.[]", ":ExtraData.3081.[]", ":ExtraData.3082.[]", ":ExtraData.3083.[]", ":ExtraData.3084.[]",
    ":ExtraData.3085.[]", ":ExtraData.3086.[]", ":ExtraData.3087.[]", ":ExtraData.3088.[]", ":ExtraData.3089.[]",
    ":ExtraData.3090.[]", ":ExtraData.3091.[]", ":ExtraData.3092.[]", ":ExtraData.3093.[]", ":ExtraData.3094.[]",
    ":ExtraData.3095.[]", ":ExtraData.3096.[]", ":ExtraData.3097.[]", ":ExtraData.3098.[]", ":ExtraData.3099.[]",
};

static_assert(sizeof kGenKeys / sizeof kGenKeys[0] == MAXGENFIELDS, "one general key per field");
static_assert(sizeof kCtrlKeys / sizeof kCtrlKeys[0] == MAXCTRLFIELDS, "one controller key per field");
static_assert(sizeof kPVKeys / sizeof kPVKeys[0] == MAXPVFIELDS, "one PV-export key per field");
static_assert(sizeof kPVImportKeys / sizeof kPVImportKeys[0] == MAXPVIMPORTFIELDS, "one PV-import key per field");

const char* const kMappingOptions[] = {"1:1", "Controller Mode", nullptr};

bool DefCountInRange(int32_t count, int32_t limit, const char* message) {
    if (count < 0 || count > limit) {
        ShowMessage(message, kTitleApi);
        return false;
    }
    return true;
}

// A definition table with its keys filled in; Kind is left to the caller.
DCSDataDef* NewDefTable(int32_t count, const char* const* keys, const char* allocMessage) {
    auto* defs = static_cast<DCSDataDef*>(IFace_new(static_cast<size_t>(count) * sizeof(DCSDataDef)));
    if (defs == nullptr) {
        ShowMessage(allocMessage, kTitleApi);
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i) {
        defs[i].Kind = FIELD_KIND_INTEGER;
        defs[i].Label = nullptr;
        defs[i].Key = keys[i];
        defs[i].Options = nullptr;
        defs[i].Aux1 = nullptr;
        defs[i].Aux2 = nullptr;
    }
    return defs;
}

// An all-zero value array, or null (with its message) when the host has no
// room or the count makes no sense.
DCSValue* NewValueArray(int32_t count, const char* allocMessage) {
    // The byte count is checked before it is computed: on a 32-bit host a
    // count near the top of its range would wrap to a small block.
    DCSValue* cells = nullptr;
    if (count >= 0 && static_cast<size_t>(count) <= SIZE_MAX / sizeof(DCSValue)) {
        cells = static_cast<DCSValue*>(IFace_new(static_cast<size_t>(count) * sizeof(DCSValue)));
    }
    if (cells == nullptr) {
        ShowMessage(allocMessage, kTitleApiError);
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i) {
        StoreCellDouble(&cells[i], 0.0);
    }
    return cells;
}

struct FieldDecl {
    int32_t kind;
    const char* label;
};

const FieldDecl kGenFields[] = {
    {FIELD_KIND_INTEGER, "Data Set"}, {FIELD_KIND_TEXT, "Enabled Flag"}, {FIELD_KIND_TEXT, "Running Flag"}};
const FieldDecl kCtrlFields[] = {{FIELD_KIND_INTEGER, "Data Set"}, {FIELD_KIND_TEXT, "SP Tag"},
                                 {FIELD_KIND_TEXT, "SP Init Tag"}, {FIELD_KIND_TEXT, "OP Tag"},
                                 {FIELD_KIND_TEXT, "OP Init Tag"}, {FIELD_KIND_TEXT, "Mode Tag"}};
const FieldDecl kPVFields[] = {{FIELD_KIND_INTEGER, "Data Set"}, {FIELD_KIND_TEXT, "PV Tag"}};
const FieldDecl kPVImportFields[] = {
    {FIELD_KIND_INTEGER, "Data Set"}, {FIELD_KIND_TEXT, "PV Tag"}, {FIELD_KIND_OPTION, "Mapping"}};

template <size_t N>
constexpr int32_t CountOf(const FieldDecl (&)[N]) {
    return static_cast<int32_t>(N);
}

using KindSetter = int32_t (*)(DCSLinkData*, int32_t, int32_t);
using LabelSetter = int32_t (*)(DCSLinkData*, int32_t, const char*);

void DeclareTable(DCSLinkData* d, const FieldDecl* fields, int32_t count, KindSetter setKind, LabelSetter setLabel) {
    for (int32_t i = 0; i < count; ++i) {
        setKind(d, i, fields[i].kind);
        setLabel(d, i, fields[i].label);
    }
}

// Releases a default row's value array, first the texts of its text cells.
// The kinds come from the definitions; without a definition table there is
// no telling which cells hold texts, so none is released.
void ReleaseDefaultValues(DCSValue* cells, const DCSDataDef* defs, int32_t defCnt) {
    if (defs != nullptr) {
        for (int32_t i = 0; i < defCnt; ++i) {
            if (defs[i].Kind == FIELD_KIND_TEXT) {
                char* text = CellText(&cells[i]);
                if (text != nullptr) {
                    IFace_free(text);
                }
            }
        }
    }
    IFace_delete(cells);
}

void ReleaseDefTable(DCSDataDef* defs, int32_t defCnt) {
    for (int32_t i = 0; i < defCnt; ++i) {
        if (defs[i].Label != nullptr) {
            IFace_free(defs[i].Label);
        }
        if (defs[i].Aux1 != nullptr) {
            IFace_delete(defs[i].Aux1);
        }
        if (defs[i].Aux2 != nullptr) {
            IFace_delete(defs[i].Aux2);
        }
    }
    IFace_delete(defs);
}

}  // namespace

int32_t AllocGenDef(DCSLinkData* d, int32_t count) {
    if (!DefCountInRange(count, MAXGENFIELDS, kMsgGenDefCount)) {
        return 0;
    }
    d->GenDefCnt = count;
    d->GenDef = NewDefTable(count, kGenKeys, kMsgGenDefAlloc);
    return d->GenDef != nullptr ? 1 : 0;
}

int32_t AllocCtrlDef(DCSLinkData* d, int32_t count) {
    if (!DefCountInRange(count, MAXCTRLFIELDS, kMsgCtrlDefCount)) {
        return 0;
    }
    d->CtrlDefCnt = count;
    d->CtrlDef = NewDefTable(count, kCtrlKeys, kMsgCtrlDefAlloc);
    return d->CtrlDef != nullptr ? 1 : 0;
}

int32_t AllocPVDef(DCSLinkData* d, int32_t count) {
    if (!DefCountInRange(count, MAXPVFIELDS, kMsgPVDefCount)) {
        return 0;
    }
    d->PVDefCnt = count;
    d->PVDef = NewDefTable(count, kPVKeys, kMsgPVDefAlloc);
    return d->PVDef != nullptr ? 1 : 0;
}

int32_t AllocPVImportDef(DCSLinkData* d, int32_t count) {
    if (!DefCountInRange(count, MAXPVIMPORTFIELDS, kMsgPVImportDefCount)) {
        return 0;
    }
    d->PVImportDefCnt = count;
    d->PVImportDef = NewDefTable(count, kPVImportKeys, kMsgPVImportDefAlloc);
    return d->PVImportDef != nullptr ? 1 : 0;
}

int32_t AllocGenData(DCSLinkData* d, int32_t count) {
    d->GenData = NewValueArray(count, kMsgGenDataAlloc);
    return d->GenData != nullptr ? 1 : 0;
}

int32_t AllocCtrlDataDefault(DCSLinkData* d, int32_t count) {
    d->CtrlRowDefault.Values = NewValueArray(count, kMsgCtrlDataDefaultAlloc);
    if (d->CtrlRowDefault.Values == nullptr) {
        return 0;
    }
    d->CtrlRowDefault.Mode = 1.0;
    d->CtrlRowDefault.AuxValue = 0.0;
    d->CtrlRowDefault.SP = 0.0;
    d->CtrlRowDefault.OP = 0.0;
    d->CtrlRowDefault.SPChanged = 0;
    d->CtrlRowDefault.OPChanged = 0;
    return 1;
}

int32_t AllocPVDataDefault(DCSLinkData* d, int32_t count) {
    d->PVRowDefault.Values = NewValueArray(count, kMsgPVDataDefaultAlloc);
    if (d->PVRowDefault.Values == nullptr) {
        return 0;
    }
    d->PVRowDefault.Value = 0.0;
    return 1;
}

int32_t AllocPVImportDataDefault(DCSLinkData* d, int32_t count) {
    d->PVImportRowDefault.Values = NewValueArray(count, kMsgPVImportDataDefaultAlloc);
    if (d->PVImportRowDefault.Values == nullptr) {
        return 0;
    }
    d->PVImportRowDefault.Value = 0.0;
    return 1;
}

// Each step goes on whatever the earlier ones gave, but nothing is written
// into a table or array that its allocation failed to supply: the failed
// routine has shown its message and that table simply stays empty.
void DeclareFields(DCSLinkData* d) {
    if (AllocGenDef(d, CountOf(kGenFields)) == 1) {
        DeclareTable(d, kGenFields, CountOf(kGenFields), SetGenDefKind, SetGenDefLabel);
    }
    if (AllocCtrlDef(d, CountOf(kCtrlFields)) == 1) {
        DeclareTable(d, kCtrlFields, CountOf(kCtrlFields), SetCtrlDefKind, SetCtrlDefLabel);
    }
    if (AllocPVDef(d, CountOf(kPVFields)) == 1) {
        DeclareTable(d, kPVFields, CountOf(kPVFields), SetPVDefKind, SetPVDefLabel);
    }
    if (AllocPVImportDef(d, CountOf(kPVImportFields)) == 1) {
        DeclareTable(d, kPVImportFields, CountOf(kPVImportFields), SetPVImportDefKind, SetPVImportDefLabel);
        SetPVImportDefOptions(d, 2, kMappingOptions);
    }
    if (AllocGenData(d, CountOf(kGenFields)) == 1) {
        SetGenDataInt(d, 0, 1);
    }
    if (AllocCtrlDataDefault(d, CountOf(kCtrlFields)) == 1) {
        SetCtrlDataDefaultInt(d, 0, 1);
    }
    if (AllocPVDataDefault(d, CountOf(kPVFields)) == 1) {
        SetPVDataDefaultInt(d, 0, 1);
    }
    if (AllocPVImportDataDefault(d, CountOf(kPVImportFields)) == 1) {
        SetPVImportDataDefaultInt(d, 0, 1);
    }
}

// Within each table the default values go first: the definitions tell which
// of their cells hold texts. The caller then clears the fields it passed.
namespace {
void ReleaseTable(DCSValue* defaults, DCSDataDef* defs, int32_t defCnt) {
    if (defaults != nullptr) {
        ReleaseDefaultValues(defaults, defs, defCnt);
    }
    if (defs != nullptr) {
        ReleaseDefTable(defs, defCnt);
    }
}
}  // namespace

void ReleaseFields(DCSLinkData* d) {
    ReleaseTable(d->CtrlRowDefault.Values, d->CtrlDef, d->CtrlDefCnt);
    d->CtrlRowDefault.Values = nullptr;
    d->CtrlDef = nullptr;
    d->CtrlDefCnt = 0;

    ReleaseTable(d->PVRowDefault.Values, d->PVDef, d->PVDefCnt);
    d->PVRowDefault.Values = nullptr;
    d->PVDef = nullptr;
    d->PVDefCnt = 0;

    ReleaseTable(d->PVImportRowDefault.Values, d->PVImportDef, d->PVImportDefCnt);
    d->PVImportRowDefault.Values = nullptr;
    d->PVImportDef = nullptr;
    d->PVImportDefCnt = 0;

    // The texts in GenData's cells are the host's to release, so GenData
    // goes back as a bare array.
    if (d->GenData != nullptr) {
        IFace_delete(d->GenData);
        d->GenData = nullptr;
    }
    ReleaseTable(nullptr, d->GenDef, d->GenDefCnt);
    d->GenDef = nullptr;
    d->GenDefCnt = 0;
}
