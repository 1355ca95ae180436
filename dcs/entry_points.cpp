#include "entry_points.h"

#include "configure.h"
#include "hostapi/field_defs.h"
#include "link_state.h"
#include "runtime.h"

// The runtime entry points act only on a configured link: outside it there
// are no binding tables to read (after a load only, after a failed
// configuration, after a reset), so they do nothing and return 0.

extern "C" {

int32_t DCS_CALL DCSLoad(DCSLinkData* d) {
    DeclareFields(d);
    return 0;
}

int32_t DCS_CALL DCSConfigure(DCSLinkData* d) { return ConfigureLink(d); }

int32_t DCS_CALL DCSInitialize(DCSLinkData* d) {
    if (LinkConfigured != 1) {
        return 0;
    }
    CaptureModes(d);
    PushInitValues(d);
    PVExportPass(d);
    SetEnabledFlag(d, 1);
    return 0;
}

int32_t DCS_CALL DCSSimulate(DCSLinkData* d) {
    if (LinkConfigured != 1) {
        return 0;
    }
    return ExchangeStep(d);
}

int32_t DCS_CALL DCSStart(DCSLinkData* d) {
    if (LinkConfigured != 1) {
        return 0;
    }
    RestoreModes(d);
    PushInitValues(d);
    SetRunningFlag(d, 1);
    return 0;
}

int32_t DCS_CALL DCSStop(DCSLinkData* d) {
    if (LinkConfigured != 1) {
        return 0;
    }
    CaptureModes(d);
    SetRunningFlag(d, 0);
    return 0;
}

int32_t DCS_CALL DCSTimeZero(DCSLinkData* d) {
    if (LinkConfigured != 1) {
        return 0;
    }
    CaptureModes(d);
    return 0;
}

int32_t DCS_CALL DCSReset(DCSLinkData* d) {
    ResetLinkState(d);
    return 0;
}

int32_t DCS_CALL DCSDestroy(DCSLinkData* d) {
    ReleaseFields(d);
    // The flag bindings outlive a configuration, not the case they were
    // bound for: a later reset must not write a flag by an old cookie.
    EnabledFlagBinding = {};
    RunningFlagBinding = {};
    return 0;
}

}  // extern "C"
