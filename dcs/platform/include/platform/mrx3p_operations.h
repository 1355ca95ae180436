// The Marlix client library's operations (mrx3p.h) as data: one row each,
// for the programs that stand in for the library, trace it or read what was
// traced, so that a name, an ordinal or a direction is written once. The
// driver itself calls the functions by name and needs none of this.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/mrx3p.h"

// The operations by ordinal (10 exists in the library, but its signature is
// not known, so nothing here calls or serves it).
enum MrxOperation : int32_t {
    MRX_OP_GET_INIT_STRING_LENGTH = 1,
    MRX_OP_GET_INIT_STRING = 2,
    MRX_OP_RESET_LINK = 3,
    MRX_OP_READ_AI = 4,
    MRX_OP_WRITE_AI = 5,
    MRX_OP_READ_AO = 6,
    MRX_OP_READ_DI = 7,
    MRX_OP_WRITE_DI = 8,
    MRX_OP_READ_DO = 9,
    MRX_OP_READ_CALC = 11,
    MRX_OP_WRITE_CALC = 12,
};

// Tag kinds, numbered as the driver numbers them.
enum MrxTagKind : int32_t {
    MRX_KIND_AI = 1,
    MRX_KIND_AO = 2,
    MRX_KIND_DI = 3,
    MRX_KIND_DO = 4,
    MRX_KIND_CALC = 6,
};

// What a tag operation's value cell and result hold; the link operations
// (initialization string, reset) have none.
enum class MrxValueType : int32_t { None, Real, Integer };

struct MrxOperationInfo {
    const char* name;  // the library's export name
    int32_t ordinal;   // MrxOperation
    int32_t tagKind;   // MrxTagKind; 0 for the link operations
    bool write;        // the value cell is written to the server, not read into
    MrxValueType value;
};

// In the order of their ordinals: the index of an operation here is its
// place in an operation table.
inline constexpr MrxOperationInfo kMrxOperations[] = {
    {"GetInitStringLength", MRX_OP_GET_INIT_STRING_LENGTH, 0, false, MrxValueType::None},
    {"GetInitString", MRX_OP_GET_INIT_STRING, 0, false, MrxValueType::None},
    {"ResetLink", MRX_OP_RESET_LINK, 0, false, MrxValueType::None},
    {"ReadAI", MRX_OP_READ_AI, MRX_KIND_AI, false, MrxValueType::Real},
    {"WriteAI", MRX_OP_WRITE_AI, MRX_KIND_AI, true, MrxValueType::Real},
    {"ReadAO", MRX_OP_READ_AO, MRX_KIND_AO, false, MrxValueType::Real},
    {"ReadDI", MRX_OP_READ_DI, MRX_KIND_DI, false, MrxValueType::Integer},
    {"WriteDI", MRX_OP_WRITE_DI, MRX_KIND_DI, true, MrxValueType::Integer},
    {"ReadDO", MRX_OP_READ_DO, MRX_KIND_DO, false, MrxValueType::Integer},
    {"ReadCALC", MRX_OP_READ_CALC, MRX_KIND_CALC, false, MrxValueType::Real},
    {"WriteCALC", MRX_OP_WRITE_CALC, MRX_KIND_CALC, true, MrxValueType::Real},
};
inline constexpr int kMrxOperationCount = static_cast<int>(sizeof kMrxOperations / sizeof kMrxOperations[0]);

// The index in kMrxOperations of an ordinal; -1 for one the table lacks.
constexpr int MrxOperationIndex(int32_t ordinal) {
    for (int i = 0; i < kMrxOperationCount; ++i) {
        if (kMrxOperations[i].ordinal == ordinal) return i;
    }
    return -1;
}

// The row of an ordinal, or of an export name; null for neither.
constexpr const MrxOperationInfo* MrxOperationOf(int32_t ordinal) {
    const int index = MrxOperationIndex(ordinal);
    return index < 0 ? nullptr : &kMrxOperations[index];
}
constexpr const MrxOperationInfo* MrxOperationNamed(std::string_view name) {
    for (const MrxOperationInfo& op : kMrxOperations) {
        if (name == op.name) return &op;
    }
    return nullptr;
}

// The operations on tags (those that serve one kind), in the table's order.
constexpr bool MrxIsTagOperation(const MrxOperationInfo& op) { return op.tagKind != 0; }

// The eleven operations as one table, for a program that puts code of its
// own between a client and the library (a recorder, a replay) or stands in
// for the library. Every entry is handed the table's context first, so
// that what stands between keeps its state in an object of its own, not in
// a global, and two of them can live in one process.
struct MrxOps {
    void* context;
    int32_t(MRX_CALL* GetInitStringLength)(void* context);
    int32_t(MRX_CALL* GetInitString)(void* context, char* buffer);
    int32_t(MRX_CALL* ResetLink)(void* context);
    double(MRX_CALL* ReadAI)(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                             int32_t* status);
    double(MRX_CALL* WriteAI)(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                              int32_t* status);
    double(MRX_CALL* ReadAO)(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                             int32_t* status);
    int32_t(MRX_CALL* ReadDI)(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                              int32_t* status);
    int32_t(MRX_CALL* WriteDI)(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                               int32_t* status);
    int32_t(MRX_CALL* ReadDO)(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                              int32_t* status);
    double(MRX_CALL* ReadCALC)(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                               int32_t* status);
    double(MRX_CALL* WriteCALC)(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                int32_t* status);
};

namespace mrx_ops_detail {

// Calls the library function kept at the operation's place in the array the
// context points to.
template <MrxOperation Op, typename R, typename... Args>
R MRX_CALL Forward(void* context, Args... args) {
    void* const function = static_cast<void* const*>(context)[MrxOperationIndex(Op)];
    return reinterpret_cast<R(MRX_CALL*)(Args...)>(function)(args...);
}

template <MrxOperation Op, typename T>
T MRX_CALL ForwardTag(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, T* value, int32_t* status) {
    return Forward<Op, T, int32_t, const char*, uint32_t*, T*, int32_t*>(context, dataSet, tag, cookie, value, status);
}

}  // namespace mrx_ops_detail

// A table over the library's own functions (which take no context), given
// as their addresses in the order of kMrxOperations; the array must outlive
// the table, and hold every function.
inline MrxOps MrxOpsOverFunctions(void* const* functions) {
    using namespace mrx_ops_detail;
    return MrxOps{const_cast<void**>(functions),
                  Forward<MRX_OP_GET_INIT_STRING_LENGTH, int32_t>,
                  Forward<MRX_OP_GET_INIT_STRING, int32_t, char*>,
                  Forward<MRX_OP_RESET_LINK, int32_t>,
                  ForwardTag<MRX_OP_READ_AI, double>,
                  ForwardTag<MRX_OP_WRITE_AI, double>,
                  ForwardTag<MRX_OP_READ_AO, double>,
                  ForwardTag<MRX_OP_READ_DI, int32_t>,
                  ForwardTag<MRX_OP_WRITE_DI, int32_t>,
                  ForwardTag<MRX_OP_READ_DO, int32_t>,
                  ForwardTag<MRX_OP_READ_CALC, double>,
                  ForwardTag<MRX_OP_WRITE_CALC, double>};
}
