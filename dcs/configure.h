// The configuration of the link, and its undoing.
#pragma once

#include <cstdint>

#include "hostapi/dcs_link_data.h"

// 1 when every controller row has a text in controller column `column`
// (tested only when that column is a text field), else 0.
int32_t CheckCtrlTagColumn(const DCSLinkData* d, int32_t column);

// 1 when every PV-export (PV-import) row has a text in every text field.
int32_t CheckPVTagFields(const DCSLinkData* d);
int32_t CheckPVImportTagFields(const DCSLinkData* d);

// DCSConfigure's work: catalogue, checks, flags, bindings. Returns 1 when
// the link is configured; any failure has been reported, the link reset,
// and the result is 0.
int32_t ConfigureLink(DCSLinkData* d);

// DCSReset's work: the Enabled Flag tag cleared, the Marlix link reset,
// the catalogue and the binding tables released. The flag bindings keep
// their marks.
void ResetLinkState(const DCSLinkData* d);
