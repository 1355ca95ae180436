// Put in front of a program, this library takes the place of the stand-in
// server's control routines and forwards each to the stand-in loaded from
// MRX3P_SHIM_STANDIN. It lets a program that links the stand-in for control
// run with the tracing client in the stand-in's place, and it writes the
// stand-in's whole call log to MRX3P_SHIM_LOG: before every reset or
// clearing of the log, and at the end. Logging stays on when the program
// asks for it off, so that the log is complete.
//
// On Linux it is preloaded (LD_PRELOAD) beside the tracer, which satisfies
// the driver's need of libmrx3p.so. On Windows a program and the driver
// import one MRX3P.dll by name, so the shim is built as that DLL and put
// beside the program: it also takes the driver's tag operations (bound by
// ordinal) and hands each, unchanged, to the library loaded from
// MRX3P_SHIM_NEXT, the stand-in itself or the tracer in front of it. Both
// variables should name the stand-in by the same full path, so that the
// process holds one stand-in and one server.
//
// Cookie addresses differ from run to run, so each is written as the number
// of distinct cells seen before it: the log then shows which calls shared a
// cell, which is what a driver must keep.
#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "mrx3p_control.h"
#if defined(_WIN32)
#include "platform/mrx3p.h"
#endif

#if defined(_WIN32)
#define SHIM_EXPORT extern "C"  // exported by name and ordinal through the .def file
#else
#define SHIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

#if defined(_WIN32)
// Paths are read as UTF-16, as the host reads its own, so any folder name
// works. False when the variable is not set.
bool EnvPath(const char* variable, std::wstring* path) {
    const std::wstring name(variable, variable + std::char_traits<char>::length(variable));
    const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0) return false;
    path->assign(size, L'\0');
    path->resize(GetEnvironmentVariableW(name.c_str(), &(*path)[0], size));
    return true;
}
void* Open(const char* variable) {
    std::wstring path;
    if (!EnvPath(variable, &path)) {
        std::fprintf(stderr, "standin_log_shim: %s is not set\n", variable);
        return nullptr;
    }
    void* h = reinterpret_cast<void*>(LoadLibraryW(path.c_str()));
    if (h == nullptr) {
        std::fprintf(stderr, "standin_log_shim: cannot load %s: error %lu\n", variable,
                     static_cast<unsigned long>(GetLastError()));
    }
    return h;
}
void* Find(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
std::FILE* AppendTo(const char* variable) {
    std::wstring path;
    return EnvPath(variable, &path) ? _wfopen(path.c_str(), L"ab") : nullptr;
}
#else
void* Open(const char* variable) {
    const char* path = std::getenv(variable);
    void* h = path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (h == nullptr) {
        std::fprintf(stderr, "standin_log_shim: cannot load %s: %s\n", variable,
                     path != nullptr ? dlerror() : "not set");
    }
    return h;
}
void* Find(void* library, const char* name) { return dlsym(library, name); }
std::FILE* AppendTo(const char* variable) {
    const char* path = std::getenv(variable);
    return path != nullptr ? std::fopen(path, "ab") : nullptr;
}
#endif

bool g_standinLoaded = false;

void* Standin() {
    static void* handle = [] {
        void* h = Open("MRX3P_SHIM_STANDIN");
        if (h == nullptr) std::abort();
        g_standinLoaded = true;
        return h;
    }();
    return handle;
}

template <typename Fn>
Fn Get(const char* name) {
    void* found = Find(Standin(), name);
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
    std::FILE* out = AppendTo("MRX3P_SHIM_LOG");  // binary: the same bytes on every system
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

// At the end of the process (on Windows, when the shim is detached from it).
// The stand-in's state is never freed, so its log is still there even when
// the stand-in was detached first; a stand-in never loaded has no log, and
// is not loaded now.
struct AtEnd {
    ~AtEnd() {
        if (g_standinLoaded) Dump();
    }
} g_atEnd;

}  // namespace

SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_Reset(void) {
    FN(MrxStandin_Reset);
    Dump();
    real();
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_ClearCallLog(void) {
    FN(MrxStandin_ClearCallLog);
    Dump();
    real();
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_SetLogging(int32_t) {
    FN(MrxStandin_SetLogging);
    real(1);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_ForgetHandles(void) {
    FN(MrxStandin_ForgetHandles);
    real();
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_SetInitString(const char* text) {
    FN(MrxStandin_SetInitString);
    real(text);
}
SHIM_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_SetInitStringFromFile(const char* path) {
    FN(MrxStandin_SetInitStringFromFile);
    return real(path);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_SetInitStringBytes(const char* bytes, int32_t length) {
    FN(MrxStandin_SetInitStringBytes);
    real(bytes, length);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_SetReportedLength(int32_t length) {
    FN(MrxStandin_SetReportedLength);
    real(length);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_ChangeReportedLengthAfter(int32_t queries, int32_t length) {
    FN(MrxStandin_ChangeReportedLengthAfter);
    real(queries, length);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_ClearReportedLength(void) {
    FN(MrxStandin_ClearReportedLength);
    real();
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_SetDouble(int32_t kind, int32_t dataSet, const char* tag, double value) {
    FN(MrxStandin_SetDouble);
    real(kind, dataSet, tag, value);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_SetInt(int32_t kind, int32_t dataSet, const char* tag, int32_t value) {
    FN(MrxStandin_SetInt);
    real(kind, dataSet, tag, value);
}
SHIM_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_GetDouble(int32_t kind, int32_t dataSet, const char* tag,
                                                          double* value) {
    FN(MrxStandin_GetDouble);
    return real(kind, dataSet, tag, value);
}
SHIM_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_GetInt(int32_t kind, int32_t dataSet, const char* tag, int32_t* value) {
    FN(MrxStandin_GetInt);
    return real(kind, dataSet, tag, value);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_SetStrictWrites(int32_t on) {
    FN(MrxStandin_SetStrictWrites);
    real(on);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_InjectStatus(int32_t operation, const char* tag, int32_t status,
                                                          int32_t times) {
    FN(MrxStandin_InjectStatus);
    real(operation, tag, status, times);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_ClearInjections(void) {
    FN(MrxStandin_ClearInjections);
    real();
}
SHIM_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_CallCount(void) {
    FN(MrxStandin_CallCount);
    return real();
}
SHIM_EXPORT const MrxCall* MRX_CONTROL_CALL MrxStandin_Call(int32_t index) {
    FN(MrxStandin_Call);
    return real(index);
}
SHIM_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_ResetLinkCount(void) {
    FN(MrxStandin_ResetLinkCount);
    return real();
}
SHIM_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_CookieFaults(void) {
    FN(MrxStandin_CookieFaults);
    return real();
}
// The replay's and the in-process front's routines, forwarded as they are.
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_ScriptAnswer(int32_t operation, int32_t dataSet, const char* tag,
                                                          double value, int32_t status, int32_t hasResult,
                                                          double result) {
    FN(MrxStandin_ScriptAnswer);
    real(operation, dataSet, tag, value, status, hasResult, result);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_ScriptInitString(const char* text, int32_t size) {
    FN(MrxStandin_ScriptInitString);
    real(text, size);
}
SHIM_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_ScriptRemaining(int32_t operation, int32_t dataSet, const char* tag) {
    FN(MrxStandin_ScriptRemaining);
    return real(operation, dataSet, tag);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_ClearScripts(void) {
    FN(MrxStandin_ClearScripts);
    real();
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_DirectOps(MrxOps* ops) {
    FN(MrxStandin_DirectOps);
    real(ops);
}
SHIM_EXPORT void MRX_CONTROL_CALL MrxStandin_SetFront(const MrxOps* front) {
    FN(MrxStandin_SetFront);
    real(front);
}

#if defined(_WIN32)
// The driver's tag operations, each handed to the same ordinal of the next
// library with the caller's own arguments and pointers, and its result
// handed back: the shim adds nothing a trace or the server could see.
namespace {

void* Next() {
    static void* handle = [] {
        void* h = Open("MRX3P_SHIM_NEXT");
        if (h == nullptr) std::abort();
        return h;
    }();
    return handle;
}

template <typename Fn>
Fn NextOrdinal(int ordinal) {
    void* found = Find(Next(), MAKEINTRESOURCEA(ordinal));
    if (found == nullptr) {
        std::fprintf(stderr, "standin_log_shim: MRX3P_SHIM_NEXT lacks ordinal %d\n", ordinal);
        std::abort();
    }
    return reinterpret_cast<Fn>(found);
}

}  // namespace

#define NEXT(name, ordinal) static const auto next = NextOrdinal<decltype(&name)>(ordinal)

SHIM_EXPORT int32_t MRX_CALL GetInitStringLength(void) {
    NEXT(GetInitStringLength, 1);
    return next();
}
SHIM_EXPORT int32_t MRX_CALL GetInitString(char* buffer) {
    NEXT(GetInitString, 2);
    return next(buffer);
}
SHIM_EXPORT int32_t MRX_CALL ResetLink(void) {
    NEXT(ResetLink, 3);
    return next();
}
SHIM_EXPORT double MRX_CALL ReadAI(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status) {
    NEXT(ReadAI, 4);
    return next(dataSet, tag, cookie, value, status);
}
SHIM_EXPORT double MRX_CALL WriteAI(int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                    int32_t* status) {
    NEXT(WriteAI, 5);
    return next(dataSet, tag, cookie, value, status);
}
SHIM_EXPORT double MRX_CALL ReadAO(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status) {
    NEXT(ReadAO, 6);
    return next(dataSet, tag, cookie, value, status);
}
SHIM_EXPORT int32_t MRX_CALL ReadDI(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                                    int32_t* status) {
    NEXT(ReadDI, 7);
    return next(dataSet, tag, cookie, value, status);
}
SHIM_EXPORT int32_t MRX_CALL WriteDI(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                                     int32_t* status) {
    NEXT(WriteDI, 8);
    return next(dataSet, tag, cookie, value, status);
}
SHIM_EXPORT int32_t MRX_CALL ReadDO(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                                    int32_t* status) {
    NEXT(ReadDO, 9);
    return next(dataSet, tag, cookie, value, status);
}
SHIM_EXPORT double MRX_CALL ReadCALC(int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                     int32_t* status) {
    NEXT(ReadCALC, 11);
    return next(dataSet, tag, cookie, value, status);
}
SHIM_EXPORT double MRX_CALL WriteCALC(int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                      int32_t* status) {
    NEXT(WriteCALC, 12);
    return next(dataSet, tag, cookie, value, status);
}
#endif
