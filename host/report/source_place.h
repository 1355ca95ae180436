// Where in the user's files a value of a check's row came from, for the
// outputs that point an editor or a review tool at it.
#pragma once

#include <cstdint>
#include <string>

#include "case/case_file.h"

namespace host {

struct SourcePlace {
    std::string file;
    int line = 0;    // 0: the file as a whole
    int column = 0;  // 0: the line as a whole
};

// The place of a row's field: the cell or key that gave its value (a row of
// an IO list names its CSV file), else the row's own line in the case.
SourcePlace PlaceOfField(const Case& c, const std::string& table, int32_t index, int32_t rowLine,
                         const std::string& field);

// "FILE", "FILE:LINE" or "FILE:LINE:COLUMN".
std::string PlaceText(const SourcePlace& place);

}  // namespace host
