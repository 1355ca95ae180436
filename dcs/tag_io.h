// One read or write of a Marlix tag through the operation of its kind.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "link_state.h"
#include "platform/mrx3p.h"

// The products of a transfer (an OP times 0.01, an OP Init times 100.0, an
// import plus 1.0) must be rounded once, to double. x87 arithmetic would
// round them at whatever precision the host left the unit, so 32-bit x86
// builds use SSE2 (-msse2 -mfpmath=sse).
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must be evaluated in double precision");

// Kinds with a read operation: AI, AO, DI, DO, CALC.
inline bool IsReadableKind(int32_t kind) {
    return kind == TAG_KIND_AI || kind == TAG_KIND_AO || kind == TAG_KIND_DI || kind == TAG_KIND_DO ||
           kind == TAG_KIND_CALC;
}
// Kinds with a write operation: AI, DI, CALC.
inline bool IsWritableKind(int32_t kind) { return kind == TAG_KIND_AI || kind == TAG_KIND_DI || kind == TAG_KIND_CALC; }

// Truncates toward zero to a signed 32-bit integer. NaN gives 0 and values
// beyond the range the nearest limit, so no conversion is ever undefined.
inline int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483648.0) {
        return INT32_MAX;
    }
    if (value <= -2147483649.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

// Reads a tag of a readable kind. On status 0 *value holds what was read,
// DI and DO integers converted exactly; otherwise *value is left alone.
// A null tag text is passed as an empty one. Inline, like the other
// routines of a transfer, so that a step costs little beyond its calls.
inline void ReadTag(int32_t kind, int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status) {
    tag = tag != nullptr ? tag : "";
    int32_t integer = 0;
    switch (kind) {
    case TAG_KIND_AI: ReadAI(dataSet, tag, cookie, value, status); return;
    case TAG_KIND_AO: ReadAO(dataSet, tag, cookie, value, status); return;
    case TAG_KIND_CALC: ReadCALC(dataSet, tag, cookie, value, status); return;
    case TAG_KIND_DI: ReadDI(dataSet, tag, cookie, &integer, status); break;
    case TAG_KIND_DO: ReadDO(dataSet, tag, cookie, &integer, status); break;
    default: return;
    }
    if (*status == 0) {
        *value = static_cast<double>(integer);
    }
}

// Writes a tag of a writable kind: a double to AI and CALC tags, the value
// truncated toward zero to DI tags.
inline void WriteTag(int32_t kind, int32_t dataSet, const char* tag, uint32_t* cookie, double value, int32_t* status) {
    tag = tag != nullptr ? tag : "";
    switch (kind) {
    case TAG_KIND_AI: WriteAI(dataSet, tag, cookie, &value, status); return;
    case TAG_KIND_CALC: WriteCALC(dataSet, tag, cookie, &value, status); return;
    case TAG_KIND_DI: {
        int32_t integer = TruncateToInt32(value);
        WriteDI(dataSet, tag, cookie, &integer, status);
        return;
    }
    default: return;
    }
}
