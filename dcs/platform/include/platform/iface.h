// The host's services library (iface.dll on Windows, libiface.so on Linux).
// Every block the driver allocates lives in the host's heap and comes from
// here; ErrorMsg is the host's own error service.
#pragma once

#include <cstddef>

#if defined(_WIN32)
#define IFACE_CALL __cdecl
#else
#define IFACE_CALL
#endif

extern "C" {
void* IFACE_CALL IFace_malloc(size_t size);
void* IFACE_CALL IFace_calloc(size_t count, size_t size);
void* IFACE_CALL IFace_realloc(void* block, size_t size);
void IFACE_CALL IFace_free(void* block);
void* IFACE_CALL IFace_new(size_t size);
void IFACE_CALL IFace_delete(void* block);
void IFACE_CALL ErrorMsg(const char* format, ...);
}
