// A case as the host would hand it to the driver: the definitions and
// GenData from DCSLoad, and host-owned rows of controllers, PV exports and
// PV imports whose text cells point at texts this object keeps.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "entry_points.h"
#include "hostapi/dcs_link_data.h"
#include "init_string_gen.h"

namespace bench {

class HostCase {
public:
    static constexpr int32_t kCtrlColumns = 6;
    static constexpr int32_t kPVColumns = 2;
    static constexpr int32_t kPVImportColumns = 3;

    HostCase() {
        std::memset(&d_, 0, sizeof d_);
        DCSLoad(&d_);
    }
    ~HostCase() {
        d_.CtrlCnt = d_.PVCnt = d_.PVImportCnt = 0;
        d_.CtrlData = nullptr;
        d_.PVData = nullptr;
        d_.PVImportData = nullptr;
        DCSDestroy(&d_);
    }
    HostCase(const HostCase&) = delete;
    HostCase& operator=(const HostCase&) = delete;

    // Texts left empty are stored as null cells: the tag is not named.
    void AddController(int32_t dataSet, const std::string& sp, const std::string& spInit, const std::string& op,
                       const std::string& opInit, const std::string& mode, bool opEnabled) {
        DCSCtrlRow row;
        std::memset(&row, 0, sizeof row);
        row.OPEnabled = opEnabled ? 1 : 0;
        row.Mode = 1.0;
        ctrlRows_.push_back(row);
        PushInt(ctrlCells_, dataSet);
        for (const std::string* text : {&sp, &spInit, &op, &opInit, &mode}) {
            PushText(ctrlCells_, *text);
        }
    }

    void AddPVExport(int32_t dataSet, const std::string& tag, double value) {
        pvRows_.push_back(PVRow(value));
        PushInt(pvCells_, dataSet);
        PushText(pvCells_, tag);
    }

    void AddPVImport(int32_t dataSet, const std::string& tag, int32_t mapping) {
        pvImportRows_.push_back(PVRow(0.0));
        PushInt(pvImportCells_, dataSet);
        PushText(pvImportCells_, tag);
        PushInt(pvImportCells_, mapping);
    }

    // Points the rows at their cells and the case at its rows; call after
    // the last Add.
    DCSLinkData* Finish() {
        for (size_t i = 0; i < ctrlRows_.size(); ++i) {
            ctrlRows_[i].Values = &ctrlCells_[i * kCtrlColumns];
        }
        for (size_t i = 0; i < pvRows_.size(); ++i) {
            pvRows_[i].Values = &pvCells_[i * kPVColumns];
        }
        for (size_t i = 0; i < pvImportRows_.size(); ++i) {
            pvImportRows_[i].Values = &pvImportCells_[i * kPVImportColumns];
        }
        d_.CtrlCnt = static_cast<int32_t>(ctrlRows_.size());
        d_.CtrlData = ctrlRows_.empty() ? nullptr : ctrlRows_.data();
        d_.PVCnt = static_cast<int32_t>(pvRows_.size());
        d_.PVData = pvRows_.empty() ? nullptr : pvRows_.data();
        d_.PVImportCnt = static_cast<int32_t>(pvImportRows_.size());
        d_.PVImportData = pvImportRows_.empty() ? nullptr : pvImportRows_.data();
        return &d_;
    }

    DCSLinkData* Data() { return &d_; }

private:
    static DCSPVRow PVRow(double value) {
        DCSPVRow row;
        std::memset(&row, 0, sizeof row);
        row.Active = 1;
        row.Value = value;
        return row;
    }

    static void PushInt(std::vector<DCSValue>& cells, int32_t value) {
        DCSValue cell{};
        std::memcpy(cell.Bytes, &value, sizeof value);
        cells.push_back(cell);
    }

    void PushText(std::vector<DCSValue>& cells, const std::string& text) {
        char* pointer = nullptr;
        if (!text.empty()) {
            texts_.push_back(text);
            pointer = &texts_.back()[0];
        }
        DCSValue cell{};
        std::memcpy(cell.Bytes, &pointer, sizeof pointer);
        cells.push_back(cell);
    }

    DCSLinkData d_;
    std::vector<DCSCtrlRow> ctrlRows_;
    std::vector<DCSPVRow> pvRows_;
    std::vector<DCSPVRow> pvImportRows_;
    std::vector<DCSValue> ctrlCells_;
    std::vector<DCSValue> pvCells_;
    std::vector<DCSValue> pvImportCells_;
    std::deque<std::string> texts_;  // a deque keeps each text where it is
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
    c->Finish();
    return c;
}

}  // namespace bench
