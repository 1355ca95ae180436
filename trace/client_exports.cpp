// The operations of the tracing client library, under the names and (on
// Windows, through client.def) the ordinals of the real one. Each hands the
// call to the process's session, which loads the real library on the first
// call and forwards to it.
#include <cstring>

#include "client_loader.h"
#include "platform/mrx3p.h"

#if defined(_WIN32)
#define MRXTRACE_EXPORT
#else
// Protected: calls and addresses inside this library always mean its own
// operations, whatever else in the process carries the same names.
#define MRXTRACE_EXPORT __attribute__((visibility("protected")))
#endif

using mrxtrace::ClientSession;

// Nothing may be thrown into the host, which is C: a fault of the tracer
// (out of memory) before the real call makes the call fail as without a
// real library; once the real call is made, the session keeps its result.
namespace {
template <typename T>
T NoLibrary(int32_t* status) {
    if (status != nullptr) {
        std::memcpy(status, &mrxtrace::kNoLibraryStatus, sizeof mrxtrace::kNoLibraryStatus);
    }
    return T{};
}
}  // namespace

extern "C" {

MRXTRACE_EXPORT int32_t MRX_CALL GetInitStringLength(void) {
    try {
        return ClientSession().GetInitStringLength();
    } catch (...) {
        return 0;
    }
}

MRXTRACE_EXPORT int32_t MRX_CALL GetInitString(char* buffer) {
    try {
        return ClientSession().GetInitString(buffer);
    } catch (...) {
        return 0;
    }
}

MRXTRACE_EXPORT int32_t MRX_CALL ResetLink(void) {
    try {
        return ClientSession().ResetLink();
    } catch (...) {
        return 0;
    }
}

#define MRXTRACE_EXPORT_OP(T, Op)                                                                                  \
    MRXTRACE_EXPORT T MRX_CALL Op(int32_t dataSet, const char* tag, uint32_t* cookie, T* value, int32_t* status) { \
        try {                                                                                                      \
            return ClientSession().Op(dataSet, tag, cookie, value, status);                                        \
        } catch (...) {                                                                                            \
            return NoLibrary<T>(status);                                                                           \
        }                                                                                                          \
    }
MRXTRACE_EXPORT_OP(double, ReadAI)
MRXTRACE_EXPORT_OP(double, WriteAI)
MRXTRACE_EXPORT_OP(double, ReadAO)
MRXTRACE_EXPORT_OP(int32_t, ReadDI)
MRXTRACE_EXPORT_OP(int32_t, WriteDI)
MRXTRACE_EXPORT_OP(int32_t, ReadDO)
MRXTRACE_EXPORT_OP(double, ReadCALC)
MRXTRACE_EXPORT_OP(double, WriteCALC)
#undef MRXTRACE_EXPORT_OP

}  // extern "C"

#if !defined(_WIN32)
namespace {
// At dlclose or process exit: the closing summary.
__attribute__((destructor)) void CloseTrace() { mrxtrace::EndClientSession(false); }
}  // namespace
#endif
