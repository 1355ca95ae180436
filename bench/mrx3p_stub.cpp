#include "mrx3p_stub.h"

#include <cstring>

#include "platform/mrx3p.h"

namespace {

int64_t calls = 0;

constexpr double kReadDouble = 42.5;
constexpr int32_t kReadInt = 1;

// The caller's cells may sit unaligned inside packed records.
template <typename T>
void Store(T* cell, T value) {
    std::memcpy(cell, &value, sizeof value);
}

double AnswerDouble(double* value, int32_t* status, bool read) {
    ++calls;
    if (read) {
        Store(value, kReadDouble);
    }
    Store(status, int32_t{0});
    return kReadDouble;
}

int32_t AnswerInt(int32_t* value, int32_t* status, bool read) {
    ++calls;
    if (read) {
        Store(value, kReadInt);
    }
    Store(status, int32_t{0});
    return kReadInt;
}

}  // namespace

int64_t MrxStub_Calls() { return calls; }

extern "C" {

double MRX_CALL ReadAI(int32_t, const char*, uint32_t*, double* value, int32_t* status) {
    return AnswerDouble(value, status, true);
}
double MRX_CALL WriteAI(int32_t, const char*, uint32_t*, double* value, int32_t* status) {
    return AnswerDouble(value, status, false);
}
double MRX_CALL ReadAO(int32_t, const char*, uint32_t*, double* value, int32_t* status) {
    return AnswerDouble(value, status, true);
}
int32_t MRX_CALL ReadDI(int32_t, const char*, uint32_t*, int32_t* value, int32_t* status) {
    return AnswerInt(value, status, true);
}
int32_t MRX_CALL WriteDI(int32_t, const char*, uint32_t*, int32_t* value, int32_t* status) {
    return AnswerInt(value, status, false);
}
int32_t MRX_CALL ReadDO(int32_t, const char*, uint32_t*, int32_t* value, int32_t* status) {
    return AnswerInt(value, status, true);
}
double MRX_CALL ReadCALC(int32_t, const char*, uint32_t*, double* value, int32_t* status) {
    return AnswerDouble(value, status, true);
}
double MRX_CALL WriteCALC(int32_t, const char*, uint32_t*, double* value, int32_t* status) {
    return AnswerDouble(value, status, false);
}

}  // extern "C"
