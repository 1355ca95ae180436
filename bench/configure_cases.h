// The cases on which DCSConfigure is measured, by configure_bench (Google
// Benchmark) and by configure_timing (any build, the i686 one included):
// a case of 500 controllers, 2,000 PV exports and 2,000 PV imports against
// a catalogue of 6 x 5,000 tags, the same case doubled and doubled again in
// rows and in tags, and 3,000 controllers, 6,000 PV exports and 6,000 PV
// imports against lists of 32,000 tags each, nearly at their capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "catalogue.h"
#include "catalogue_index.h"
#include "host_case.h"
#include "iface_control.h"
#include "init_string_gen.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace bench {

struct CaseSize {
    const char* label;
    int32_t controllers;
    int32_t exports;
    int32_t imports;
    int32_t tagsPerKind;
};

inline const CaseSize kConfigureCases[] = {
    {"500c_2000e_2000i_6x5000", 500, 2000, 2000, 5000},
    {"1000c_4000e_4000i_6x10000", 1000, 4000, 4000, 10000},
    {"2000c_8000e_8000i_6x20000", 2000, 8000, 8000, 20000},
    {"3000c_6000e_6000i_6x32000", 3000, 6000, 6000, 32000},
};

inline int32_t RowsOf(const CaseSize& size) { return size.controllers + size.exports + size.imports; }

// The server set to serve `text`, the stand-ins' records cleared, and a
// host case whose every row binds against that catalogue.
inline std::unique_ptr<HostCase> PrepareConfigure(const CaseSize& size, const InitString& text) {
    MrxStandin_Reset();
    MrxStandin_SetInitString(text.text.c_str());
    User32Standin_Reset();
    IFaceStandin_Reset();
    return BuildBoundCase(size.controllers, size.exports, size.imports, size.tagsPerKind);
}

// Whether the configurations since PrepareConfigure told the user nothing,
// as they do when every row binds.
inline bool ConfigureWasSilent() { return User32Standin_BoxCount() == 0 && IFaceStandin_ErrorMessageCount() == 0; }

// The bytes of the index the driver builds of this catalogue while it binds:
// the most it adds to the host heap during a configuration.
inline size_t IndexBytesFor(const InitString& text) {
    MrxStandin_SetInitString(text.text.c_str());
    size_t bytes = 0;
    if (LoadTagCatalogue(nullptr) == 1 && BuildCatalogueIndex() == 1) {
        bytes = CatalogueIndexBytes();
    }
    FreeTagCatalogue();
    return bytes;
}

}  // namespace bench
