// The Windows loader's entry of the tracing client library, and the target
// of its ordinal 10.
//
// Attach does nothing: the real library is loaded on the first call, never
// here, where the loader lock is held. Detach writes the closing summary:
// after FreeLibrary in full; when the process is ending (reserved not null)
// other threads are already gone, perhaps in the middle of a call, so it
// then gives up if the recorder is held and never waits or allocates.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "client_loader.h"
#include "trace_platform.h"

extern "C" {
void* volatile mrxtrace_ordinal10_target = nullptr;
void mrxtrace_ordinal10_missing(void);

// Called by the ordinal 10 thunk on its first use.
void mrxtrace_resolve_ordinal10(void) {
    void* target = nullptr;
    try {
        target = mrxtrace::RealOrdinal10();
    } catch (...) {  // nothing may be thrown through the thunk into the caller
    }
    if (target == nullptr) {
        mrxtrace::platform::DebugOutput("the real client library has no ordinal 10; calls of it return 0");
        target = reinterpret_cast<void*>(&mrxtrace_ordinal10_missing);
    }
    mrxtrace_ordinal10_target = target;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        mrxtrace::EndClientSession(reserved != nullptr);
    }
    return TRUE;
}
}
