// The few dlfcn routines the black-box tests use, over the Windows loader,
// so the same tests load mrxnt.dll as they load libmrxnt.so. A loaded
// library gets its message boxes routed to the recorder, as the test
// program's own are.
#pragma once

#include <cstdio>

#include "box_capture.h"

#define RTLD_LAZY 0x1
#define RTLD_NOW 0x2
#define RTLD_LOCAL 0x0
#define RTLD_GLOBAL 0x100

inline const char*& DlLastError() {
    static const char* last = nullptr;
    return last;
}

inline void DlSetError(const char* what) {
    static char text[128];
    std::snprintf(text, sizeof text, "%s failed, error %lu", what, static_cast<unsigned long>(GetLastError()));
    DlLastError() = text;
}

inline void* dlopen(const char* path, int /*flags*/) {
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        DlSetError("LoadLibraryA");
        return nullptr;
    }
    CaptureMessageBoxes(module);
    return static_cast<void*>(module);
}

inline void* dlsym(void* handle, const char* name) {
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(handle), name);
    if (proc == nullptr) {
        DlSetError("GetProcAddress");
        return nullptr;
    }
    return reinterpret_cast<void*>(proc);
}

inline int dlclose(void* handle) { return FreeLibrary(static_cast<HMODULE>(handle)) != 0 ? 0 : -1; }

// Like dlerror: the last failure once, then null.
inline const char* dlerror() {
    const char* last = DlLastError();
    DlLastError() = nullptr;
    return last;
}
