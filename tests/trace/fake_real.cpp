// A stand-in for the real client library with an ordinal 10, for the test
// that the tracer passes calls of ordinal 10 on untouched. Ordinal 10 here
// is a fastcall routine: two arguments in ECX and EDX, one on the stack that
// it removes itself.
#include <cstdint>

#include "platform/mrx3p.h"

extern "C" {
int32_t __fastcall FakeTenImpl(int32_t a, int32_t b, int32_t c) { return a * 100 + b * 10 + c; }

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

// The export of ordinal 10 under a plain name, for the module-definition file.
asm(".globl _FakeTen\n_FakeTen:\n    jmp @FakeTenImpl@12\n");
