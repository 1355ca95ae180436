#include "access.h"

#include <cstring>

#include "platform/iface.h"
#include "value_cell.h"

char* CopyIntoTextBuffer(const char* text) {
    char* buffer = static_cast<char*>(IFace_malloc(DCS_TEXT_BUFFER_SIZE));
    if (buffer == nullptr) {
        return nullptr;
    }
    size_t length = 0;
    if (text != nullptr) {
        while (length < DCS_TEXT_BUFFER_SIZE - 1 && text[length] != '\0') {
            ++length;
        }
        std::memcpy(buffer, text, length);
    }
    buffer[length] = '\0';
    return buffer;
}

namespace {

// The label routines' result: 0 when the copy was made, 1 when the host
// had no buffer. An earlier pointer in the field is the caller's: each label
// or cell is set once.
int32_t TextCopyResult(const char* copy) { return copy != nullptr ? 0 : 1; }

int32_t SetTextCell(DCSValue* cell, const char* text) {
    char* copy = CopyIntoTextBuffer(text);
    StoreCellText(cell, copy);
    return TextCopyResult(copy);
}

}  // namespace

// Counts.
int32_t GetGenDefCnt(const DCSLinkData* d) { return d->GenDefCnt; }
int32_t GetCtrlDefCnt(const DCSLinkData* d) { return d->CtrlDefCnt; }
int32_t GetPVDefCnt(const DCSLinkData* d) { return d->PVDefCnt; }
int32_t GetPVImportDefCnt(const DCSLinkData* d) { return d->PVImportDefCnt; }

// Field definitions.
int32_t SetGenDefKind(DCSLinkData* d, int32_t index, int32_t kind) {
    d->GenDef[index].Kind = kind;
    return 0;
}
int32_t SetCtrlDefKind(DCSLinkData* d, int32_t index, int32_t kind) {
    d->CtrlDef[index].Kind = kind;
    return 0;
}
int32_t SetPVDefKind(DCSLinkData* d, int32_t index, int32_t kind) {
    d->PVDef[index].Kind = kind;
    return 0;
}
int32_t SetPVImportDefKind(DCSLinkData* d, int32_t index, int32_t kind) {
    d->PVImportDef[index].Kind = kind;
    return 0;
}

int32_t SetGenDefLabel(DCSLinkData* d, int32_t index, const char* text) {
    return TextCopyResult(d->GenDef[index].Label = CopyIntoTextBuffer(text));
}
int32_t SetCtrlDefLabel(DCSLinkData* d, int32_t index, const char* text) {
    return TextCopyResult(d->CtrlDef[index].Label = CopyIntoTextBuffer(text));
}
int32_t SetPVDefLabel(DCSLinkData* d, int32_t index, const char* text) {
    return TextCopyResult(d->PVDef[index].Label = CopyIntoTextBuffer(text));
}
int32_t SetPVImportDefLabel(DCSLinkData* d, int32_t index, const char* text) {
    return TextCopyResult(d->PVImportDef[index].Label = CopyIntoTextBuffer(text));
}

int32_t SetGenDefOptions(DCSLinkData* d, int32_t index, const char* const* options) {
    d->GenDef[index].Options = options;
    return 0;
}
int32_t SetCtrlDefOptions(DCSLinkData* d, int32_t index, const char* const* options) {
    d->CtrlDef[index].Options = options;
    return 0;
}
int32_t SetPVDefOptions(DCSLinkData* d, int32_t index, const char* const* options) {
    d->PVDef[index].Options = options;
    return 0;
}
int32_t SetPVImportDefOptions(DCSLinkData* d, int32_t index, const char* const* options) {
    d->PVImportDef[index].Options = options;
    return 0;
}

int32_t GetGenDefKind(const DCSLinkData* d, int32_t index) { return d->GenDef[index].Kind; }
int32_t GetCtrlDefKind(const DCSLinkData* d, int32_t index) { return d->CtrlDef[index].Kind; }
int32_t GetPVDefKind(const DCSLinkData* d, int32_t index) { return d->PVDef[index].Kind; }
int32_t GetPVImportDefKind(const DCSLinkData* d, int32_t index) { return d->PVImportDef[index].Kind; }

char* GetGenDefLabel(const DCSLinkData* d, int32_t index) { return d->GenDef[index].Label; }
char* GetCtrlDefLabel(const DCSLinkData* d, int32_t index) { return d->CtrlDef[index].Label; }
char* GetPVDefLabel(const DCSLinkData* d, int32_t index) { return d->PVDef[index].Label; }
char* GetPVImportDefLabel(const DCSLinkData* d, int32_t index) { return d->PVImportDef[index].Label; }

const char* GetGenDefKey(const DCSLinkData* d, int32_t index) { return d->GenDef[index].Key; }
const char* GetCtrlDefKey(const DCSLinkData* d, int32_t index) { return d->CtrlDef[index].Key; }
const char* GetPVDefKey(const DCSLinkData* d, int32_t index) { return d->PVDef[index].Key; }
const char* GetPVImportDefKey(const DCSLinkData* d, int32_t index) { return d->PVImportDef[index].Key; }

// GenData and the default value arrays.
int32_t SetGenDataInt(DCSLinkData* d, int32_t index, int32_t value) {
    StoreCellInt(&d->GenData[index], value);
    return 0;
}
int32_t SetCtrlDataDefaultInt(DCSLinkData* d, int32_t index, int32_t value) {
    StoreCellInt(&d->CtrlRowDefault.Values[index], value);
    return 0;
}
int32_t SetPVDataDefaultInt(DCSLinkData* d, int32_t index, int32_t value) {
    StoreCellInt(&d->PVRowDefault.Values[index], value);
    return 0;
}
int32_t SetPVImportDataDefaultInt(DCSLinkData* d, int32_t index, int32_t value) {
    StoreCellInt(&d->PVImportRowDefault.Values[index], value);
    return 0;
}

int32_t SetGenDataDouble(DCSLinkData* d, int32_t index, double value) {
    StoreCellDouble(&d->GenData[index], value);
    return 0;
}
int32_t SetCtrlDataDefaultDouble(DCSLinkData* d, int32_t index, double value) {
    StoreCellDouble(&d->CtrlRowDefault.Values[index], value);
    return 0;
}
int32_t SetPVDataDefaultDouble(DCSLinkData* d, int32_t index, double value) {
    StoreCellDouble(&d->PVRowDefault.Values[index], value);
    return 0;
}
int32_t SetPVImportDataDefaultDouble(DCSLinkData* d, int32_t index, double value) {
    StoreCellDouble(&d->PVImportRowDefault.Values[index], value);
    return 0;
}

int32_t SetGenDataText(DCSLinkData* d, int32_t index, const char* text) {
    return SetTextCell(&d->GenData[index], text);
}
int32_t SetCtrlDataDefaultText(DCSLinkData* d, int32_t index, const char* text) {
    return SetTextCell(&d->CtrlRowDefault.Values[index], text);
}
int32_t SetPVDataDefaultText(DCSLinkData* d, int32_t index, const char* text) {
    return SetTextCell(&d->PVRowDefault.Values[index], text);
}
int32_t SetPVImportDataDefaultText(DCSLinkData* d, int32_t index, const char* text) {
    return SetTextCell(&d->PVImportRowDefault.Values[index], text);
}

int32_t GetGenDataInt(const DCSLinkData* d, int32_t index) { return CellInt(&d->GenData[index]); }
double GetGenDataDouble(const DCSLinkData* d, int32_t index) { return CellDouble(&d->GenData[index]); }
char* GetGenDataText(const DCSLinkData* d, int32_t index) { return CellText(&d->GenData[index]); }
