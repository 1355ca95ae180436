// The Marlix client library (MRX3P.dll on Windows, imported by ordinal;
// libmrx3p.so on Linux). The driver uses these eleven operations and nothing
// else of it.
//
// Tag operations take the data set, the tag name, the address of the tag's
// cookie cell (the library's own; the driver zeroes it at binding and never
// touches it again), the address of the value and the address of the status.
// A status of 0 is success. The floating-point result of the double
// operations carries nothing the driver needs.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define MRX_CALL __cdecl
#else
#define MRX_CALL
#endif

extern "C" {
int32_t MRX_CALL GetInitStringLength(void);    // ordinal 1
int32_t MRX_CALL GetInitString(char* buffer);  // ordinal 2
int32_t MRX_CALL ResetLink(void);              // ordinal 3
double MRX_CALL ReadAI(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);     // 4
double MRX_CALL WriteAI(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);    // 5
double MRX_CALL ReadAO(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);     // 6
int32_t MRX_CALL ReadDI(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value, int32_t* status);   // 7
int32_t MRX_CALL WriteDI(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value, int32_t* status);  // 8
int32_t MRX_CALL ReadDO(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value, int32_t* status);   // 9
double MRX_CALL ReadCALC(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);   // 11
double MRX_CALL WriteCALC(int32_t dataSet, const char* tag, uint32_t* cookie, double* value, int32_t* status);  // 12
}
