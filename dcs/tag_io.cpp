#include "tag_io.h"

#include <cmath>

#include "platform/mrx3p.h"

namespace {

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

bool IsReadableKind(int32_t kind) {
    return kind == TAG_KIND_AI || kind == TAG_KIND_AO || kind == TAG_KIND_DI || kind == TAG_KIND_DO ||
           kind == TAG_KIND_CALC;
}

bool IsWritableKind(int32_t kind) { return kind == TAG_KIND_AI || kind == TAG_KIND_DI || kind == TAG_KIND_CALC; }

int32_t TruncateToInt32(double value) {
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

void ReadTag(int32_t kind, int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status) {
    tag = TextOrEmpty(tag);
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

void WriteTag(int32_t kind, int32_t dataSet, const char* tag, uint32_t* cookie, double value, int32_t* status) {
    tag = TextOrEmpty(tag);
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
