// Verdicts for every tag text of every row: what the driver's binding will
// make of it, decided with the driver's own binding rules against an index
// of the catalogue built once.
#pragma once

#include <string>
#include <vector>

#include "case/row_names.h"
#include "diagnose/catalogue_parse.h"
#include "diagnose/diagnosis.h"
#include "hostapi/dcs_link_data.h"

namespace host {

// The general data, then every controller, PV-export and PV-import row.
std::vector<RowDiagnosis> CheckRows(const DCSLinkData& d, const CatalogueIndex& index, const RowNames& names);

// Where the driver's configuration will stop, judged from the verdicts:
// the first missing required text (the driver checks those before it binds
// anything), else the first row whose failed binding ends it.
struct StopPoint {
    bool stops = false;
    std::string table;
    int32_t index = 0;
};
StopPoint ConfigurationStop(const std::vector<RowDiagnosis>& rows);

}  // namespace host
