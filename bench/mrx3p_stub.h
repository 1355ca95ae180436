// A Marlix tag server that answers at once: every tag operation stores
// status 0 (and, for a read, a fixed value) and returns. Linked into a
// benchmark ahead of the stand-in, its eight tag operations take the place
// of the stand-in's; the string operations and ResetLink stay the stand-in's.
#pragma once

#include <cstdint>

// Tag operations answered since the program started; a benchmark that sees
// it stand still is not calling the stub.
int64_t MrxStub_Calls();
