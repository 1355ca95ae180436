// The case data block as the simulator holds it: the record handed to every
// entry point, the rows of the three tables with their value cells, and the
// texts the text cells point at. The driver declares the definitions, the
// general data's cells and the default rows at load; everything else in the
// record is the simulator's, and this is the one place the tools around the
// driver (dcs-host, the tests, the benchmarks, the fuzzers) build it.
//
// The block never calls the driver: loading, destroying and the order of
// the two are the owner's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "hostapi/case_columns.h"
#include "hostapi/dcs_link_data.h"

namespace caseblock {

// The number of columns of each kind of row, for the tools that fill rows by
// position (CTRL_COL_..., PV_COL_..., GEN_...: the driver's own column
// numbers); dcs-host goes by the declared labels instead.
enum : int32_t {
    kControllerColumns = CTRL_COL_MODE + 1,
    kPVExportColumns = PV_COL_TAG + 1,
    kPVImportColumns = PV_IMPORT_COL_MAPPING + 1,
};

// The texts handed to the driver in value cells. Each lives in a buffer of
// its own, exactly as long as the text and its terminator, that stays where
// it is until the store goes: the store must outlive every use the driver
// makes of the cells (up to DCSDestroy).
class TextStore {
public:
    // A copy of every byte of the text, NULs included, and a terminator.
    char* Add(const std::string& text);
    size_t Count() const { return texts_.size(); }

private:
    std::vector<std::unique_ptr<char[]>> texts_;
};

// A controller row by position. A null text names no tag.
struct ControllerRow {
    int32_t dataSet = 1;
    const char* sp = nullptr;
    const char* spInit = nullptr;
    const char* op = nullptr;
    const char* opInit = nullptr;
    const char* mode = nullptr;
    int16_t opEnabled = 1;
    double modeValue = 1.0;
    double spValue = 0.0;
    double opValue = 0.0;
};

class CaseBlock {
public:
    CaseBlock() = default;
    // The driver keeps the record's and the cells' addresses.
    CaseBlock(const CaseBlock&) = delete;
    CaseBlock& operator=(const CaseBlock&) = delete;

    DCSLinkData& Data() { return d_; }
    const DCSLinkData& Data() const { return d_; }

    // Appends a row of `columns` zeroed cells, copied from `prototype` but
    // for its cells, and points the record at all the rows; returns the
    // row's index. The cells stay where they are for the block's life; the
    // rows themselves may move with the next row added.
    size_t AddController(int32_t columns, const DCSCtrlRow& prototype);
    size_t AddPVExport(int32_t columns, const DCSPVRow& prototype);
    size_t AddPVImport(int32_t columns, const DCSPVRow& prototype);

    // The same by position: every cell filled, the texts copied.
    size_t AddController(const ControllerRow& row);
    size_t AddPVExport(int32_t dataSet, const char* tag, double value = 0.0, int16_t active = 1);
    size_t AddPVImport(int32_t dataSet, const char* tag, int32_t mapping = 0, int16_t active = 1);

    DCSCtrlRow& Controller(size_t i) { return controllers_[i]; }
    DCSPVRow& PVExport(size_t i) { return pvExports_[i]; }
    DCSPVRow& PVImport(size_t i) { return pvImports_[i]; }

    // The general data: the driver's cells, there between DCSLoad and
    // DCSDestroy (null otherwise); the texts in them are the block's.
    DCSValue* General() { return d_.GenData; }
    void SetGeneral(int32_t dataSet, const char* enabledTag, const char* runningTag);
    // A general text cell's text; empty when there is none.
    std::string GeneralText(int32_t column) const;

    static void SetInt(DCSValue& cell, int32_t value);
    // Points the cell at a copy of the text; null names nothing.
    void SetText(DCSValue& cell, const char* text);
    void SetText(DCSValue& cell, const std::string& text);
    TextStore& Texts() { return texts_; }

private:
    std::vector<DCSValue>& NewCells(int32_t columns);
    void Publish();

    DCSLinkData d_{};
    std::vector<DCSCtrlRow> controllers_;
    std::vector<DCSPVRow> pvExports_;
    std::vector<DCSPVRow> pvImports_;
    std::deque<std::vector<DCSValue>> cells_;  // a deque keeps each row's cells where they are
    TextStore texts_;
};

}  // namespace caseblock
