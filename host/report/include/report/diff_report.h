// What `dcs-host diff` shows: on the terminal, as JSON and as a
// self-contained HTML page.
#pragma once

#include <string>

#include "diagnose/catalogue_diff.h"

namespace host {

std::string DiffText(const CatalogueDiff& diff);
// {"old", "new", "case", "code_page", "tags": [{change, name, data_set, old_data_set,
// old_kinds, new_kinds, old_line, new_line, text}], "old_configured",
// "new_configured", "rows": [{table, index, name, line, field, text,
// before: {status, kind, operation, code, reason}, after: {...}}]}
std::string DiffJson(const CatalogueDiff& diff);
std::string DiffHtml(const CatalogueDiff& diff);

}  // namespace host
