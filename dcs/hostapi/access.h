// The access library of the case data block: one small routine per table
// and item. Indexes are 0-based; callers keep every index below its count.
//
// Label and text routines copy into a 64-byte buffer from IFace_malloc and
// return 0, or 1 when the buffer could not be had (the field then holds
// null). A text longer than 63 characters is cut to its first 63: the buffer
// is never written past its end.
#pragma once

#include <cstdint>

#include "dcs_link_data.h"

// Counts.
int32_t GetGenDefCnt(const DCSLinkData* d);
int32_t GetCtrlDefCnt(const DCSLinkData* d);
int32_t GetPVDefCnt(const DCSLinkData* d);
int32_t GetPVImportDefCnt(const DCSLinkData* d);
int32_t GetCtrlCnt(const DCSLinkData* d);
int32_t GetPVCnt(const DCSLinkData* d);
int32_t GetPVImportCnt(const DCSLinkData* d);

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
int32_t GetCtrlDataInt(const DCSLinkData* d, int32_t row, int32_t column);
double GetCtrlDataDouble(const DCSLinkData* d, int32_t row, int32_t column);
char* GetCtrlDataText(const DCSLinkData* d, int32_t row, int32_t column);
int32_t GetPVDataInt(const DCSLinkData* d, int32_t row, int32_t column);
double GetPVDataDouble(const DCSLinkData* d, int32_t row, int32_t column);
char* GetPVDataText(const DCSLinkData* d, int32_t row, int32_t column);
int32_t GetPVImportDataInt(const DCSLinkData* d, int32_t row, int32_t column);
double GetPVImportDataDouble(const DCSLinkData* d, int32_t row, int32_t column);
char* GetPVImportDataText(const DCSLinkData* d, int32_t row, int32_t column);

// The integer and text readers of the PV tables share one shape, so that
// the PV binding can be handed either table's pair.
using PVRowIntReader = int32_t (*)(const DCSLinkData*, int32_t, int32_t);
using PVRowTextReader = char* (*)(const DCSLinkData*, int32_t, int32_t);

// Row fields. The int16 flags come back sign-extended.
int32_t GetCtrlOPEnabled(const DCSLinkData* d, int32_t row);
double GetCtrlMode(const DCSLinkData* d, int32_t row);
int32_t SetCtrlMode(DCSLinkData* d, int32_t row, double value);
double GetCtrlAuxValue(const DCSLinkData* d, int32_t row);
int32_t SetCtrlAuxValue(DCSLinkData* d, int32_t row, double value);
double GetCtrlSP(const DCSLinkData* d, int32_t row);
int32_t SetCtrlSP(DCSLinkData* d, int32_t row, double value);  // also sets SPChanged to 1
double GetCtrlOP(const DCSLinkData* d, int32_t row);
int32_t SetCtrlOP(DCSLinkData* d, int32_t row, double value);  // also sets OPChanged to 1
int32_t GetPVAuxFlag(const DCSLinkData* d, int32_t row);
int32_t GetPVActive(const DCSLinkData* d, int32_t row);
double GetPVValue(const DCSLinkData* d, int32_t row);
int32_t GetPVImportActive(const DCSLinkData* d, int32_t row);
double GetPVImportValue(const DCSLinkData* d, int32_t row);
int32_t SetPVImportValue(DCSLinkData* d, int32_t row, double value);
