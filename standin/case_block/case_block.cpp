#include "case_block.h"

#include <cstring>

namespace caseblock {

char* TextStore::Add(const std::string& text) {
    auto buffer = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
    texts_.push_back(std::move(buffer));
    return texts_.back().get();
}

std::vector<DCSValue>& CaseBlock::NewCells(int32_t columns) {
    cells_.emplace_back(static_cast<size_t>(columns > 0 ? columns : 0));
    return cells_.back();
}

// Every add re-points the record, so that it never holds a row that moved.
void CaseBlock::Publish() {
    d_.CtrlCnt = static_cast<int32_t>(controllers_.size());
    d_.CtrlData = controllers_.empty() ? nullptr : controllers_.data();
    d_.PVCnt = static_cast<int32_t>(pvExports_.size());
    d_.PVData = pvExports_.empty() ? nullptr : pvExports_.data();
    d_.PVImportCnt = static_cast<int32_t>(pvImports_.size());
    d_.PVImportData = pvImports_.empty() ? nullptr : pvImports_.data();
}

size_t CaseBlock::AddController(int32_t columns, const DCSCtrlRow& prototype) {
    controllers_.push_back(prototype);
    controllers_.back().Values = NewCells(columns).data();
    Publish();
    return controllers_.size() - 1;
}

size_t CaseBlock::AddPVExport(int32_t columns, const DCSPVRow& prototype) {
    pvExports_.push_back(prototype);
    pvExports_.back().Values = NewCells(columns).data();
    Publish();
    return pvExports_.size() - 1;
}

size_t CaseBlock::AddPVImport(int32_t columns, const DCSPVRow& prototype) {
    pvImports_.push_back(prototype);
    pvImports_.back().Values = NewCells(columns).data();
    Publish();
    return pvImports_.size() - 1;
}

size_t CaseBlock::AddController(const ControllerRow& want) {
    DCSCtrlRow row{};
    row.OPEnabled = want.opEnabled;
    row.Mode = want.modeValue;
    row.SP = want.spValue;
    row.OP = want.opValue;
    const size_t index = AddController(kControllerColumns, row);
    DCSValue* cells = controllers_[index].Values;
    SetInt(cells[CTRL_COL_DATA_SET], want.dataSet);
    SetText(cells[CTRL_COL_SP], want.sp);
    SetText(cells[CTRL_COL_SP_INIT], want.spInit);
    SetText(cells[CTRL_COL_OP], want.op);
    SetText(cells[CTRL_COL_OP_INIT], want.opInit);
    SetText(cells[CTRL_COL_MODE], want.mode);
    return index;
}

size_t CaseBlock::AddPVExport(int32_t dataSet, const char* tag, double value, int16_t active) {
    DCSPVRow row{};
    row.Active = active;
    row.Value = value;
    const size_t index = AddPVExport(kPVExportColumns, row);
    SetInt(pvExports_[index].Values[PV_COL_DATA_SET], dataSet);
    SetText(pvExports_[index].Values[PV_COL_TAG], tag);
    return index;
}

size_t CaseBlock::AddPVImport(int32_t dataSet, const char* tag, int32_t mapping, int16_t active) {
    DCSPVRow row{};
    row.Active = active;
    const size_t index = AddPVImport(kPVImportColumns, row);
    SetInt(pvImports_[index].Values[PV_COL_DATA_SET], dataSet);
    SetText(pvImports_[index].Values[PV_COL_TAG], tag);
    SetInt(pvImports_[index].Values[PV_IMPORT_COL_MAPPING], mapping);
    return index;
}

void CaseBlock::SetGeneral(int32_t dataSet, const char* enabledTag, const char* runningTag) {
    SetInt(d_.GenData[GEN_DATA_SET], dataSet);
    SetText(d_.GenData[GEN_ENABLED_FLAG], enabledTag);
    SetText(d_.GenData[GEN_RUNNING_FLAG], runningTag);
}

std::string CaseBlock::GeneralText(int32_t column) const {
    if (d_.GenData == nullptr) return std::string();
    const char* text = nullptr;
    std::memcpy(&text, d_.GenData[column].Bytes, sizeof text);
    return text != nullptr ? text : "";
}

// Only the integer's four bytes: the rest of the cell stays as it was.
void CaseBlock::SetInt(DCSValue& cell, int32_t value) { std::memcpy(cell.Bytes, &value, sizeof value); }

void CaseBlock::SetText(DCSValue& cell, const char* text) {
    char* pointer = text != nullptr ? texts_.Add(text) : nullptr;
    std::memcpy(cell.Bytes, &pointer, sizeof pointer);
}

void CaseBlock::SetText(DCSValue& cell, const std::string& text) {
    char* pointer = texts_.Add(text);
    std::memcpy(cell.Bytes, &pointer, sizeof pointer);
}

}  // namespace caseblock
