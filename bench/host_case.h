// A case as the host would hand it to the driver: the definitions and
// GenData from DCSLoad, and rows of controllers, PV exports and PV imports
// in the case data block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "case_block.h"
#include "entry_points.h"
#include "hostapi/dcs_link_data.h"
#include "init_string_gen.h"

namespace bench {

class HostCase {
public:
    HostCase() { DCSLoad(Data()); }
    ~HostCase() { DCSDestroy(Data()); }
    HostCase(const HostCase&) = delete;
    HostCase& operator=(const HostCase&) = delete;

    // Texts left empty are stored as null cells: the tag is not named.
    void AddController(int32_t dataSet, const std::string& sp, const std::string& spInit, const std::string& op,
                       const std::string& opInit, const std::string& mode, bool opEnabled) {
        caseblock::ControllerRow row;
        row.dataSet = dataSet;
        row.sp = Named(sp);
        row.spInit = Named(spInit);
        row.op = Named(op);
        row.opInit = Named(opInit);
        row.mode = Named(mode);
        row.opEnabled = opEnabled ? 1 : 0;
        block_.AddController(row);
    }

    void AddPVExport(int32_t dataSet, const std::string& tag, double value) {
        block_.AddPVExport(dataSet, Named(tag), value);
    }

    void AddPVImport(int32_t dataSet, const std::string& tag, int32_t mapping) {
        block_.AddPVImport(dataSet, Named(tag), mapping);
    }

    DCSLinkData* Data() { return &block_.Data(); }

private:
    static const char* Named(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

    caseblock::CaseBlock block_;
};

// Spreads a case's rows over the whole of each list, so that a lookup costs
// what it would for a tag anywhere in the catalogue.
inline int32_t Spread(int32_t row, int32_t step, int32_t tags) {
    return static_cast<int32_t>((static_cast<int64_t>(row) * step) % tags);
}

// A case whose every row names tags it binds against MakeInitString's
// catalogue: a controller's SP on an AI tag, its OP and OP Init on one tag
// of the writable kinds, its SP Init on the SP's tag and its Mode on a DI
// tag, all of the row's data set; PV exports on the writable kinds, PV
// imports on any kind.
inline std::unique_ptr<HostCase> BuildBoundCase(int32_t controllers, int32_t exports, int32_t imports,
                                                int32_t tagsPerKind) {
    static const int32_t kWritableKinds[] = {TAG_KIND_AI, TAG_KIND_DI, TAG_KIND_CALC};
    auto c = std::make_unique<HostCase>();
    for (int32_t row = 0; row < controllers; ++row) {
        const int32_t tag = Spread(row, 9973, tagsPerKind);
        const std::string sp = CatalogueName(TAG_KIND_AI, tag);
        const std::string op = CatalogueName(kWritableKinds[row % 3], tag);
        c->AddController(CatalogueDataSet(tag), sp, sp, op, op, CatalogueName(TAG_KIND_DI, tag), true);
    }
    for (int32_t row = 0; row < exports; ++row) {
        const int32_t tag = Spread(row, 7919, tagsPerKind);
        c->AddPVExport(CatalogueDataSet(tag), CatalogueName(kWritableKinds[row % 3], tag), row * 0.5);
    }
    for (int32_t row = 0; row < imports; ++row) {
        const int32_t tag = Spread(row, 7877, tagsPerKind);
        c->AddPVImport(CatalogueDataSet(tag), CatalogueName(kKinds[row % 6], tag), row % 2);
    }
    return c;
}

}  // namespace bench
