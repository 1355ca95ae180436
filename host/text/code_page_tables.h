// The tables behind code_page.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

struct CodePageTable {
    int number;
    uint16_t high[128];  // bytes 0x80 to 0xFF; 0 where the code page has no character
};

extern const CodePageTable kCodePageTables[];
extern const size_t kCodePageTableCount;

}  // namespace host
