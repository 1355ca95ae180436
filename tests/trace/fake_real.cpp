// A stand-in for the real client library that keeps no state, so that
// several threads may call it at once (the stand-in server may not be
// called so), and on Windows has an ordinal 10, for the test that the
// tracer passes calls of ordinal 10 on untouched. Ordinal 10 here is a
// fastcall routine: two arguments in ECX and EDX, one on the stack that it
// removes itself. Every tag operation succeeds and stores nothing else.
#include <cstdint>

#include "platform/mrx3p.h"

extern "C" {
#if defined(_WIN32)
int32_t __fastcall FakeTenImpl(int32_t a, int32_t b, int32_t c) { return a * 100 + b * 10 + c; }
#endif

int32_t MRX_CALL GetInitStringLength(void) { return 0; }
int32_t MRX_CALL GetInitString(char*) { return 0; }
int32_t MRX_CALL ResetLink(void) { return 0; }
double MRX_CALL ReadAI(int32_t, const char*, uint32_t*, double*, int32_t* s) { return *s = 0, 0.0; }
double MRX_CALL WriteAI(int32_t, const char*, uint32_t*, double*, int32_t* s) { return *s = 0, 0.0; }
double MRX_CALL ReadAO(int32_t, const char*, uint32_t*, double*, int32_t* s) { return *s = 0, 0.0; }
int32_t MRX_CALL ReadDI(int32_t, const char*, uint32_t*, int32_t*, int32_t* s) { return *s = 0, 0; }
int32_t MRX_CALL WriteDI(int32_t, const char*, uint32_t*, int32_t*, int32_t* s) { return *s = 0, 0; }
int32_t MRX_CALL ReadDO(int32_t, const char*, uint32_t*, int32_t*, int32_t* s) { return *s = 0, 0; }
double MRX_CALL ReadCALC(int32_t, const char*, uint32_t*, double*, int32_t* s) { return *s = 0, 0.0; }
double MRX_CALL WriteCALC(int32_t, const char*, uint32_t*, double*, int32_t* s) { return *s = 0, 0.0; }
}

#if defined(_WIN32)
// The export of ordinal 10 under a plain name, for the module-definition file.
asm(".globl _FakeTen\n_FakeTen:\n    jmp @FakeTenImpl@12\n");
#endif
