// Reads and stores of one 8-byte value cell. Each copies exactly the bytes it
// concerns: an integer store leaves bytes 4 to 7 alone, so a cell that held a
// double keeps its upper half.
#pragma once

#include <cstdint>
#include <cstring>

#include "hostapi/dcs_link_data.h"

inline int32_t CellInt(const DCSValue* cell) {
    int32_t value;
    std::memcpy(&value, cell->Bytes, sizeof value);
    return value;
}

inline char* CellText(const DCSValue* cell) {
    char* value;
    std::memcpy(&value, cell->Bytes, sizeof value);
    return value;
}

inline double CellDouble(const DCSValue* cell) {
    double value;
    std::memcpy(&value, cell->Bytes, sizeof value);
    return value;
}

inline void StoreCellInt(DCSValue* cell, int32_t value) { std::memcpy(cell->Bytes, &value, sizeof value); }
inline void StoreCellText(DCSValue* cell, char* value) { std::memcpy(cell->Bytes, &value, sizeof value); }
inline void StoreCellDouble(DCSValue* cell, double value) { std::memcpy(cell->Bytes, &value, sizeof value); }

// Copies text (null counts as empty) into a fresh 64-byte buffer from the
// host services, cut to 63 characters. Returns the buffer, or null when the
// host had none to give.
char* CopyIntoTextBuffer(const char* text);
