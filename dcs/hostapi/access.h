// The access library of the case data block: one small routine per table
// and item. Indexes are 0-based; callers keep every index below its count.
//
// Label and text routines copy into a 64-byte buffer from IFace_malloc and
// return 0, or 1 when the buffer could not be had (the field then holds
// null). A text longer than 63 characters is cut to its first 63: the buffer
// is never written past its end.
#pragma once

#include <cstdint>

#include "hostapi/dcs_link_data.h"
#include "value_cell.h"

// Counts.
int32_t GetGenDefCnt(const DCSLinkData* d);
int32_t GetCtrlDefCnt(const DCSLinkData* d);
int32_t GetPVDefCnt(const DCSLinkData* d);
int32_t GetPVImportDefCnt(const DCSLinkData* d);
// The row counts, the cells of the rows and the row fields are defined at
// the end of this header: the simulation step reads them for every
// transfer, and inline they cost it next to nothing.
inline int32_t GetCtrlCnt(const DCSLinkData* d);
inline int32_t GetPVCnt(const DCSLinkData* d);
inline int32_t GetPVImportCnt(const DCSLinkData* d);

// Field definitions. The Alloc routines (with the limits and their messages)
// live beside DCSLoad.
int32_t AllocGenDef(DCSLinkData* d, int32_t count);
int32_t AllocCtrlDef(DCSLinkData* d, int32_t count);
int32_t AllocPVDef(DCSLinkData* d, int32_t count);
int32_t AllocPVImportDef(DCSLinkData* d, int32_t count);

int32_t SetGenDefKind(DCSLinkData* d, int32_t index, int32_t kind);
int32_t SetCtrlDefKind(DCSLinkData* d, int32_t index, int32_t kind);
int32_t SetPVDefKind(DCSLinkData* d, int32_t index, int32_t kind);
int32_t SetPVImportDefKind(DCSLinkData* d, int32_t index, int32_t kind);

int32_t SetGenDefLabel(DCSLinkData* d, int32_t index, const char* text);
int32_t SetCtrlDefLabel(DCSLinkData* d, int32_t index, const char* text);
int32_t SetPVDefLabel(DCSLinkData* d, int32_t index, const char* text);
int32_t SetPVImportDefLabel(DCSLinkData* d, int32_t index, const char* text);

int32_t SetGenDefOptions(DCSLinkData* d, int32_t index, const char* const* options);
int32_t SetCtrlDefOptions(DCSLinkData* d, int32_t index, const char* const* options);
int32_t SetPVDefOptions(DCSLinkData* d, int32_t index, const char* const* options);
int32_t SetPVImportDefOptions(DCSLinkData* d, int32_t index, const char* const* options);

int32_t GetGenDefKind(const DCSLinkData* d, int32_t index);
int32_t GetCtrlDefKind(const DCSLinkData* d, int32_t index);
int32_t GetPVDefKind(const DCSLinkData* d, int32_t index);
int32_t GetPVImportDefKind(const DCSLinkData* d, int32_t index);

char* GetGenDefLabel(const DCSLinkData* d, int32_t index);
char* GetCtrlDefLabel(const DCSLinkData* d, int32_t index);
char* GetPVDefLabel(const DCSLinkData* d, int32_t index);
char* GetPVImportDefLabel(const DCSLinkData* d, int32_t index);

const char* GetGenDefKey(const DCSLinkData* d, int32_t index);
const char* GetCtrlDefKey(const DCSLinkData* d, int32_t index);
const char* GetPVDefKey(const DCSLinkData* d, int32_t index);
const char* GetPVImportDefKey(const DCSLinkData* d, int32_t index);

// GenData and the value arrays of the three default rows. The Alloc
// routines live beside DCSLoad.
int32_t AllocGenData(DCSLinkData* d, int32_t count);
int32_t AllocCtrlDataDefault(DCSLinkData* d, int32_t count);
int32_t AllocPVDataDefault(DCSLinkData* d, int32_t count);
int32_t AllocPVImportDataDefault(DCSLinkData* d, int32_t count);

int32_t SetGenDataInt(DCSLinkData* d, int32_t index, int32_t value);
int32_t SetCtrlDataDefaultInt(DCSLinkData* d, int32_t index, int32_t value);
int32_t SetPVDataDefaultInt(DCSLinkData* d, int32_t index, int32_t value);
int32_t SetPVImportDataDefaultInt(DCSLinkData* d, int32_t index, int32_t value);

int32_t SetGenDataDouble(DCSLinkData* d, int32_t index, double value);
int32_t SetCtrlDataDefaultDouble(DCSLinkData* d, int32_t index, double value);
int32_t SetPVDataDefaultDouble(DCSLinkData* d, int32_t index, double value);
int32_t SetPVImportDataDefaultDouble(DCSLinkData* d, int32_t index, double value);

int32_t SetGenDataText(DCSLinkData* d, int32_t index, const char* text);
int32_t SetCtrlDataDefaultText(DCSLinkData* d, int32_t index, const char* text);
int32_t SetPVDataDefaultText(DCSLinkData* d, int32_t index, const char* text);
int32_t SetPVImportDataDefaultText(DCSLinkData* d, int32_t index, const char* text);

int32_t GetGenDataInt(const DCSLinkData* d, int32_t index);
double GetGenDataDouble(const DCSLinkData* d, int32_t index);
char* GetGenDataText(const DCSLinkData* d, int32_t index);

// Value cells of the host's rows.
inline int32_t GetCtrlDataInt(const DCSLinkData* d, int32_t row, int32_t column);
inline double GetCtrlDataDouble(const DCSLinkData* d, int32_t row, int32_t column);
inline char* GetCtrlDataText(const DCSLinkData* d, int32_t row, int32_t column);
inline int32_t GetPVDataInt(const DCSLinkData* d, int32_t row, int32_t column);
inline double GetPVDataDouble(const DCSLinkData* d, int32_t row, int32_t column);
inline char* GetPVDataText(const DCSLinkData* d, int32_t row, int32_t column);
inline int32_t GetPVImportDataInt(const DCSLinkData* d, int32_t row, int32_t column);
inline double GetPVImportDataDouble(const DCSLinkData* d, int32_t row, int32_t column);
inline char* GetPVImportDataText(const DCSLinkData* d, int32_t row, int32_t column);

// The integer and text readers of the PV tables share one shape, so that
// the PV binding can be handed either table's pair.
using PVRowIntReader = int32_t (*)(const DCSLinkData*, int32_t, int32_t);
using PVRowTextReader = char* (*)(const DCSLinkData*, int32_t, int32_t);

// Row fields. The int16 flags come back sign-extended.
inline int32_t GetCtrlOPEnabled(const DCSLinkData* d, int32_t row);
inline double GetCtrlMode(const DCSLinkData* d, int32_t row);
inline int32_t SetCtrlMode(DCSLinkData* d, int32_t row, double value);
inline double GetCtrlAuxValue(const DCSLinkData* d, int32_t row);
inline int32_t SetCtrlAuxValue(DCSLinkData* d, int32_t row, double value);
inline double GetCtrlSP(const DCSLinkData* d, int32_t row);
inline int32_t SetCtrlSP(DCSLinkData* d, int32_t row, double value);  // also sets SPChanged to 1
inline double GetCtrlOP(const DCSLinkData* d, int32_t row);
inline int32_t SetCtrlOP(DCSLinkData* d, int32_t row, double value);  // also sets OPChanged to 1
inline int32_t GetPVAuxFlag(const DCSLinkData* d, int32_t row);
inline int32_t GetPVActive(const DCSLinkData* d, int32_t row);
inline double GetPVValue(const DCSLinkData* d, int32_t row);
inline int32_t GetPVImportActive(const DCSLinkData* d, int32_t row);
inline double GetPVImportValue(const DCSLinkData* d, int32_t row);
inline int32_t SetPVImportValue(DCSLinkData* d, int32_t row, double value);

// Inline definitions of the routines declared inline above.
inline int32_t GetCtrlCnt(const DCSLinkData* d) { return d->CtrlCnt; }
inline int32_t GetPVCnt(const DCSLinkData* d) { return d->PVCnt; }
inline int32_t GetPVImportCnt(const DCSLinkData* d) { return d->PVImportCnt; }

inline int32_t GetCtrlDataInt(const DCSLinkData* d, int32_t row, int32_t column) {
    return CellInt(&d->CtrlData[row].Values[column]);
}
inline double GetCtrlDataDouble(const DCSLinkData* d, int32_t row, int32_t column) {
    return CellDouble(&d->CtrlData[row].Values[column]);
}
inline char* GetCtrlDataText(const DCSLinkData* d, int32_t row, int32_t column) {
    return CellText(&d->CtrlData[row].Values[column]);
}
inline int32_t GetPVDataInt(const DCSLinkData* d, int32_t row, int32_t column) {
    return CellInt(&d->PVData[row].Values[column]);
}
inline double GetPVDataDouble(const DCSLinkData* d, int32_t row, int32_t column) {
    return CellDouble(&d->PVData[row].Values[column]);
}
inline char* GetPVDataText(const DCSLinkData* d, int32_t row, int32_t column) {
    return CellText(&d->PVData[row].Values[column]);
}
inline int32_t GetPVImportDataInt(const DCSLinkData* d, int32_t row, int32_t column) {
    return CellInt(&d->PVImportData[row].Values[column]);
}
inline double GetPVImportDataDouble(const DCSLinkData* d, int32_t row, int32_t column) {
    return CellDouble(&d->PVImportData[row].Values[column]);
}
inline char* GetPVImportDataText(const DCSLinkData* d, int32_t row, int32_t column) {
    return CellText(&d->PVImportData[row].Values[column]);
}

inline int32_t GetCtrlOPEnabled(const DCSLinkData* d, int32_t row) { return d->CtrlData[row].OPEnabled; }
inline double GetCtrlMode(const DCSLinkData* d, int32_t row) { return d->CtrlData[row].Mode; }
inline int32_t SetCtrlMode(DCSLinkData* d, int32_t row, double value) {
    d->CtrlData[row].Mode = value;
    return 0;
}
inline double GetCtrlAuxValue(const DCSLinkData* d, int32_t row) { return d->CtrlData[row].AuxValue; }
inline int32_t SetCtrlAuxValue(DCSLinkData* d, int32_t row, double value) {
    d->CtrlData[row].AuxValue = value;
    return 0;
}
inline double GetCtrlSP(const DCSLinkData* d, int32_t row) { return d->CtrlData[row].SP; }
inline int32_t SetCtrlSP(DCSLinkData* d, int32_t row, double value) {
    d->CtrlData[row].SP = value;
    d->CtrlData[row].SPChanged = 1;
    return 0;
}
inline double GetCtrlOP(const DCSLinkData* d, int32_t row) { return d->CtrlData[row].OP; }
inline int32_t SetCtrlOP(DCSLinkData* d, int32_t row, double value) {
    d->CtrlData[row].OP = value;
    d->CtrlData[row].OPChanged = 1;
    return 0;
}
inline int32_t GetPVAuxFlag(const DCSLinkData* d, int32_t row) { return d->PVData[row].AuxFlag; }
inline int32_t GetPVActive(const DCSLinkData* d, int32_t row) { return d->PVData[row].Active; }
inline double GetPVValue(const DCSLinkData* d, int32_t row) { return d->PVData[row].Value; }
inline int32_t GetPVImportActive(const DCSLinkData* d, int32_t row) { return d->PVImportData[row].Active; }
inline double GetPVImportValue(const DCSLinkData* d, int32_t row) { return d->PVImportData[row].Value; }
inline int32_t SetPVImportValue(DCSLinkData* d, int32_t row, double value) {
    d->PVImportData[row].Value = value;
    return 0;
}
