// The driver's state is built by DCSLoad and DCSConfigure and taken down by
// DCSReset and DCSDestroy, all called by the host, so the loader's
// notifications leave nothing to do: every one is accepted. (The host's
// services and the client library are not to be called from here anyway,
// with the loader lock held.)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
