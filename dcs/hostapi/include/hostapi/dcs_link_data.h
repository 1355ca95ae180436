// The case data block shared byte for byte with the host simulator.
//
// Every record is packed: fields follow each other with no alignment gaps,
// exactly as the host lays them out. On the 32-bit target (the simulator is a
// 32-bit process) pointers are 4 bytes and the sizes and offsets below are the
// host's; on a 64-bit build the same records simply carry 8-byte pointers.
#pragma once

#include <cstddef>
#include <cstdint>

// FieldKind: what a field's value cells hold.
enum : int32_t {
    FIELD_KIND_INTEGER = 0,
    FIELD_KIND_TEXT = 2,
    FIELD_KIND_OPTION = 3,
};

// Limits on the number of field definitions per table.
enum : int32_t {
    MAXGENFIELDS = 20,
    MAXCTRLFIELDS = 20,
    MAXPVFIELDS = 25,
    MAXPVIMPORTFIELDS = 25,
};

// Size of every label and text buffer the driver hands out: 63 characters
// and the terminator.
enum : int32_t { DCS_TEXT_BUFFER_SIZE = 64 };

#pragma pack(push, 1)

// One value cell. Bytes 0 to 3 hold an int32 (integer and option fields) or
// the start of a text pointer (text fields); all eight bytes may hold a
// double. The cell is kept as raw bytes so that every read and store is an
// explicit copy of the bytes it concerns.
struct DCSValue {
    uint8_t Bytes[8];
};

struct DCSDataDef {
    int32_t Kind;
    char* Label;                 // 64-byte buffer from IFace_malloc, or null
    const char* Key;             // static text of the driver
    const char* const* Options;  // option labels ended by null, or null
    void* Aux1;                  // the host's; released with IFace_delete
    void* Aux2;
};

struct DCSCtrlRow {
    uint8_t HostBytes0[4];
    int16_t OPEnabled;
    uint8_t HostBytes6[2];
    double Mode;
    double AuxValue;
    double SP;
    double OP;
    DCSValue* Values;
    uint8_t SPChanged;
    uint8_t OPChanged;
};

struct DCSPVRow {
    uint8_t HostBytes0[2];
    int16_t AuxFlag;
    int16_t Active;
    uint8_t HostBytes6[2];
    double Value;
    DCSValue* Values;
};

struct DCSLinkData {
    int32_t GenDefCnt;
    DCSDataDef* GenDef;
    int32_t CtrlDefCnt;
    DCSDataDef* CtrlDef;
    int32_t PVDefCnt;
    DCSDataDef* PVDef;
    int32_t PVImportDefCnt;
    DCSDataDef* PVImportDef;
    DCSValue* GenData;
    int32_t CtrlCnt;
    DCSCtrlRow* CtrlData;
    DCSCtrlRow CtrlRowDefault;
    int32_t PVCnt;
    DCSPVRow* PVData;
    DCSPVRow PVRowDefault;
    int32_t PVImportCnt;
    DCSPVRow* PVImportData;
    DCSPVRow PVImportRowDefault;
};

#pragma pack(pop)

// The layout follows from the pointer width; the 32-bit figures are the
// host's own and are checked wherever pointers are 4 bytes.
static_assert(sizeof(DCSValue) == 8, "value cell is 8 bytes");
static_assert(sizeof(DCSDataDef) == 4 + 5 * sizeof(void*), "DCSDataDef layout");
static_assert(sizeof(DCSCtrlRow) == 42 + sizeof(void*), "DCSCtrlRow layout");
static_assert(sizeof(DCSPVRow) == 16 + sizeof(void*), "DCSPVRow layout");
static_assert(offsetof(DCSCtrlRow, SPChanged) == 40 + sizeof(void*), "SPChanged offset");
static_assert(sizeof(DCSLinkData) == 4 * sizeof(int32_t) + 4 * sizeof(void*) + sizeof(void*) +
                                         3 * (sizeof(int32_t) + sizeof(void*)) + sizeof(DCSCtrlRow) +
                                         2 * sizeof(DCSPVRow),
              "DCSLinkData layout");

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(DCSDataDef) == 24, "DCSDataDef is 24 bytes on the host");
static_assert(sizeof(DCSCtrlRow) == 46, "DCSCtrlRow is 46 bytes on the host");
static_assert(sizeof(DCSPVRow) == 20, "DCSPVRow is 20 bytes on the host");
static_assert(sizeof(DCSLinkData) == 146, "DCSLinkData is 146 bytes on the host");
static_assert(offsetof(DCSLinkData, PVCnt) == 90, "PVCnt at 90");
static_assert(offsetof(DCSLinkData, CtrlRowDefault) + offsetof(DCSCtrlRow, Mode) == 52, "default Mode at 52");
static_assert(offsetof(DCSLinkData, PVImportRowDefault) + offsetof(DCSPVRow, Values) == 142,
              "PVImportDataDefault at 142");
#endif
