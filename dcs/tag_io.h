// One read or write of a Marlix tag through the operation of its kind.
#pragma once

#include <cstdint>

#include "link_state.h"

// Kinds with a read operation: AI, AO, DI, DO, CALC.
bool IsReadableKind(int32_t kind);
// Kinds with a write operation: AI, DI, CALC.
bool IsWritableKind(int32_t kind);

// Truncates toward zero to a signed 32-bit integer. NaN gives 0 and values
// beyond the range the nearest limit, so no conversion is ever undefined.
int32_t TruncateToInt32(double value);

// Reads a tag of a readable kind. On status 0 *value holds what was read,
// DI and DO integers converted exactly; otherwise *value is left alone.
// A null tag text is passed as an empty one.
void ReadTag(int32_t kind, int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);

// Writes a tag of a writable kind: a double to AI and CALC tags, the value
// truncated toward zero to DI tags.
void WriteTag(int32_t kind, int32_t dataSet, const char* tag, uint32_t* cookie, double value, int32_t* status);
