// The running link: the per-step exchange, and the pushes of modes,
// initial values and link flags when the simulation changes state.
#pragma once

#include <cstdint>

#include "hostapi/dcs_link_data.h"
#include "link_state.h"

// The binding of controller row `row`, or null for a row the host added
// after configuration (the table was sized by the count at that time).
inline CtrlBinding* ControllerBindingOf(int32_t row) {
    return row >= 0 && row < CtrlBindingCnt ? &CtrlBindings[row] : nullptr;
}

// One simulation step: SP and OP reads, the PV export pass, the PV import
// pass. The first failure ends the step with one message; returns 1 when
// every transfer succeeded.
int32_t ExchangeStep(DCSLinkData* d);

// Writes every active PV export to its tag; 1 when all succeeded, 0 after
// the first failure.
int32_t PVExportPass(DCSLinkData* d);

// Modes and initial values. None stops at a failure: each value is tried
// and each failure has its own message.
void WriteModeTag(DCSLinkData* d, int32_t row, int32_t mode);
void CaptureModes(DCSLinkData* d);
void RestoreModes(DCSLinkData* d);
void PushInitValues(DCSLinkData* d);

// The two link flags, written only while their tags are bound.
void SetEnabledFlag(const DCSLinkData* d, int32_t value);
void SetRunningFlag(const DCSLinkData* d, int32_t value);
void ClearLinkFlags(const DCSLinkData* d);
