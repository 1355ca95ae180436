// Put in front of a program with LD_PRELOAD, this library takes the place of
// the stand-in server's control routines and forwards each to the stand-in
// loaded from MRX3P_SHIM_STANDIN. It lets a program that links the stand-in
// for control run with the tracing client in the stand-in's place, and it
// writes the stand-in's whole call log to MRX3P_SHIM_LOG: before every reset
// or clearing of the log, and at the end. Logging stays on when the program
// asks for it off, so that the log is complete.
//
// Cookie addresses differ from run to run, so each is written as the number
// of distinct cells seen before it: the log then shows which calls shared a
// cell, which is what a driver must keep.
#include <dlfcn.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "mrx3p_control.h"

#define SHIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void* Standin() {
    static void* handle = [] {
        const char* path = std::getenv("MRX3P_SHIM_STANDIN");
        void* h = path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
        if (h == nullptr) {
            std::fprintf(stderr, "standin_log_shim: cannot load MRX3P_SHIM_STANDIN: %s\n", dlerror());
            std::abort();
        }
        return h;
    }();
    return handle;
}

template <typename Fn>
Fn Get(const char* name) {
    void* found = dlsym(Standin(), name);
    if (found == nullptr) {
        std::fprintf(stderr, "standin_log_shim: the stand-in lacks %s\n", name);
        std::abort();
    }
    return reinterpret_cast<Fn>(found);
}

#define FN(name) static const auto real = Get<decltype(&name)>(#name)

std::map<const void*, size_t>& Cells() {
    static auto* cells = new std::map<const void*, size_t>;
    return *cells;
}

void Dump() {
    static const auto count = Get<decltype(&MrxStandin_CallCount)>("MrxStandin_CallCount");
    static const auto call = Get<decltype(&MrxStandin_Call)>("MrxStandin_Call");
    const char* path = std::getenv("MRX3P_SHIM_LOG");
    if (path == nullptr) return;
    std::FILE* out = std::fopen(path, "a");
    if (out == nullptr) return;
    for (int32_t i = 0; i < count(); ++i) {
        const MrxCall* c = call(i);
        size_t cell = 0;
        if (c->cookieAddress != nullptr) {
            cell = Cells().emplace(c->cookieAddress, Cells().size() + 1).first->second;
        }
        std::fprintf(out, "%d %d %zu %u %u %a %d %d %d ", static_cast<int>(c->operation), static_cast<int>(c->dataSet),
                     cell, static_cast<unsigned>(c->cookieBefore), static_cast<unsigned>(c->cookieAfter),
                     c->doubleValue, static_cast<int>(c->intValue), static_cast<int>(c->status),
                     static_cast<int>(c->tagWasNull));
        for (const char* p = c->tag; *p != '\0'; ++p) std::fprintf(out, "%02x", static_cast<unsigned char>(*p));
        std::fputc('\n', out);
    }
    std::fclose(out);
}

struct AtEnd {
    ~AtEnd() { Dump(); }
} g_atEnd;

}  // namespace

SHIM_EXPORT void MrxStandin_Reset(void) {
    FN(MrxStandin_Reset);
    Dump();
    real();
}
SHIM_EXPORT void MrxStandin_ClearCallLog(void) {
    FN(MrxStandin_ClearCallLog);
    Dump();
    real();
}
SHIM_EXPORT void MrxStandin_SetLogging(int32_t) {
    FN(MrxStandin_SetLogging);
    real(1);
}
SHIM_EXPORT void MrxStandin_ForgetHandles(void) {
    FN(MrxStandin_ForgetHandles);
    real();
}
SHIM_EXPORT void MrxStandin_SetInitString(const char* text) {
    FN(MrxStandin_SetInitString);
    real(text);
}
SHIM_EXPORT int32_t MrxStandin_SetInitStringFromFile(const char* path) {
    FN(MrxStandin_SetInitStringFromFile);
    return real(path);
}
SHIM_EXPORT void MrxStandin_SetInitStringBytes(const char* bytes, int32_t length) {
    FN(MrxStandin_SetInitStringBytes);
    real(bytes, length);
}
SHIM_EXPORT void MrxStandin_SetReportedLength(int32_t length) {
    FN(MrxStandin_SetReportedLength);
    real(length);
}
SHIM_EXPORT void MrxStandin_ChangeReportedLengthAfter(int32_t queries, int32_t length) {
    FN(MrxStandin_ChangeReportedLengthAfter);
    real(queries, length);
}
SHIM_EXPORT void MrxStandin_ClearReportedLength(void) {
    FN(MrxStandin_ClearReportedLength);
    real();
}
SHIM_EXPORT void MrxStandin_SetDouble(int32_t kind, int32_t dataSet, const char* tag, double value) {
    FN(MrxStandin_SetDouble);
    real(kind, dataSet, tag, value);
}
SHIM_EXPORT void MrxStandin_SetInt(int32_t kind, int32_t dataSet, const char* tag, int32_t value) {
    FN(MrxStandin_SetInt);
    real(kind, dataSet, tag, value);
}
SHIM_EXPORT int32_t MrxStandin_GetDouble(int32_t kind, int32_t dataSet, const char* tag, double* value) {
    FN(MrxStandin_GetDouble);
    return real(kind, dataSet, tag, value);
}
SHIM_EXPORT int32_t MrxStandin_GetInt(int32_t kind, int32_t dataSet, const char* tag, int32_t* value) {
    FN(MrxStandin_GetInt);
    return real(kind, dataSet, tag, value);
}
SHIM_EXPORT void MrxStandin_SetStrictWrites(int32_t on) {
    FN(MrxStandin_SetStrictWrites);
    real(on);
}
SHIM_EXPORT void MrxStandin_InjectStatus(int32_t operation, const char* tag, int32_t status, int32_t times) {
    FN(MrxStandin_InjectStatus);
    real(operation, tag, status, times);
}
SHIM_EXPORT void MrxStandin_ClearInjections(void) {
    FN(MrxStandin_ClearInjections);
    real();
}
SHIM_EXPORT int32_t MrxStandin_CallCount(void) {
    FN(MrxStandin_CallCount);
    return real();
}
SHIM_EXPORT const MrxCall* MrxStandin_Call(int32_t index) {
    FN(MrxStandin_Call);
    return real(index);
}
SHIM_EXPORT int32_t MrxStandin_ResetLinkCount(void) {
    FN(MrxStandin_ResetLinkCount);
    return real();
}
SHIM_EXPORT int32_t MrxStandin_CookieFaults(void) {
    FN(MrxStandin_CookieFaults);
    return real();
}
// The replay's and the in-process front's routines, forwarded as they are.
SHIM_EXPORT void MrxStandin_ScriptAnswer(int32_t operation, int32_t dataSet, const char* tag, double value,
                                         int32_t status, int32_t hasResult, double result) {
    FN(MrxStandin_ScriptAnswer);
    real(operation, dataSet, tag, value, status, hasResult, result);
}
SHIM_EXPORT void MrxStandin_ScriptInitString(const char* text, int32_t size) {
    FN(MrxStandin_ScriptInitString);
    real(text, size);
}
SHIM_EXPORT int32_t MrxStandin_ScriptRemaining(int32_t operation, int32_t dataSet, const char* tag) {
    FN(MrxStandin_ScriptRemaining);
    return real(operation, dataSet, tag);
}
SHIM_EXPORT void MrxStandin_ClearScripts(void) {
    FN(MrxStandin_ClearScripts);
    real();
}
SHIM_EXPORT void MrxStandin_DirectOps(MrxOps* ops) {
    FN(MrxStandin_DirectOps);
    real(ops);
}
SHIM_EXPORT void MrxStandin_SetFront(const MrxOps* front) {
    FN(MrxStandin_SetFront);
    real(front);
}
