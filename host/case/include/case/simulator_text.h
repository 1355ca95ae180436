// The case's texts as the simulator hands them over: bytes of its code page.
#pragma once

#include "case/case_file.h"

namespace host {

// Converts every text of the case that the driver or the tag server sees
// (the texts of the driver's fields, the tags' names, the names set_tag
// sets, the tags [[fail]] and [[expect]] tables name) from UTF-8 into the
// case's code page, in place. Row names, paths and the initialization
// string stay as they are. Throws CaseError at the value that holds a
// character the code page cannot, or that is longer than the driver's text
// cells once converted; a text in decomposed form (a letter and a combining
// mark) is refused as such.
void EncodeForSimulator(Case& c);

}  // namespace host
