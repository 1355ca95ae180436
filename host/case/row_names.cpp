#include "case/row_names.h"

#include "case/case_file.h"

namespace host {

RowNames RowNamesOf(const Case& c) {
    RowNames names;
    for (const ControllerCase& row : c.controllers) names.controllers.push_back(row.name);
    for (const PVExportCase& row : c.pvExports) names.pvExports.push_back(row.name);
    for (const PVImportCase& row : c.pvImports) names.pvImports.push_back(row.name);
    return names;
}

}  // namespace host
