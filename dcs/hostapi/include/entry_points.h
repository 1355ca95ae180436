// The nine entry points the host simulator calls, each with its case data
// block. They are the library's only exports.
#pragma once

#include <cstdint>

#include "hostapi/dcs_link_data.h"

#if defined(_WIN32)
#define DCS_CALL __cdecl
#else
#define DCS_CALL
#endif

#if defined(DCS_BUILDING_DRIVER) && !defined(_WIN32)
#define DCS_EXPORT __attribute__((visibility("default")))
#else
// Windows names its exports in a module-definition file.
#define DCS_EXPORT
#endif

extern "C" {
DCS_EXPORT int32_t DCS_CALL DCSLoad(DCSLinkData* d);
DCS_EXPORT int32_t DCS_CALL DCSConfigure(DCSLinkData* d);
DCS_EXPORT int32_t DCS_CALL DCSInitialize(DCSLinkData* d);
DCS_EXPORT int32_t DCS_CALL DCSSimulate(DCSLinkData* d);
DCS_EXPORT int32_t DCS_CALL DCSStart(DCSLinkData* d);
DCS_EXPORT int32_t DCS_CALL DCSStop(DCSLinkData* d);
DCS_EXPORT int32_t DCS_CALL DCSTimeZero(DCSLinkData* d);
DCS_EXPORT int32_t DCS_CALL DCSReset(DCSLinkData* d);
DCS_EXPORT int32_t DCS_CALL DCSDestroy(DCSLinkData* d);
}

// The entry points' signature, for hosts that resolve them by name.
using DCSEntryPoint = int32_t(DCS_CALL*)(DCSLinkData*);
