// How the stand-in libraries mark the routines they export. The libraries
// are built with hidden visibility, so only what carries this mark is seen
// by the driver and the tests; everything internal stays private.
#pragma once

#if defined(_WIN32)
#define STANDIN_EXPORT __declspec(dllexport)
#else
#define STANDIN_EXPORT __attribute__((visibility("default")))
#endif
