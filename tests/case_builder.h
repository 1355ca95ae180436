// A host-side case for driver tests: owns the rows and the texts the way a
// host would, and fills the cells through the column numbers the driver
// declares at load.
#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "entry_points.h"
#include "hostapi/dcs_link_data.h"
#include "link_state.h"
#include "platform/iface.h"
#include "test_support.h"

struct ControllerSpec {
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

class TestCase {
public:
    TestCase() { DCSLoad(&d); }
    ~TestCase() {
        DCSReset(&d);
        DCSDestroy(&d);
    }
    TestCase(const TestCase&) = delete;
    TestCase& operator=(const TestCase&) = delete;

    DCSLinkData d{};

    void SetGeneral(int32_t dataSet, const char* enabled, const char* running) {
        StoreInt(&d.GenData[0], dataSet);
        StoreText(&d.GenData[1], enabled);
        StoreText(&d.GenData[2], running);
    }

    int32_t AddController(const ControllerSpec& want) {
        ctrlValues_.emplace_back(6);
        std::vector<DCSValue>& v = ctrlValues_.back();
        StoreInt(&v[0], want.dataSet);
        StoreText(&v[1], want.sp);
        StoreText(&v[2], want.spInit);
        StoreText(&v[3], want.op);
        StoreText(&v[4], want.opInit);
        StoreText(&v[5], want.mode);
        DCSCtrlRow row{};
        row.OPEnabled = want.opEnabled;
        row.Mode = want.modeValue;
        row.SP = want.spValue;
        row.OP = want.opValue;
        ctrl_.push_back(row);
        Sync();
        return static_cast<int32_t>(ctrl_.size()) - 1;
    }

    int32_t AddPVExport(int32_t dataSet, const char* tag, double value = 0.0, int16_t active = 1) {
        pvValues_.emplace_back(2);
        StoreInt(&pvValues_.back()[0], dataSet);
        StoreText(&pvValues_.back()[1], tag);
        DCSPVRow row{};
        row.Active = active;
        row.Value = value;
        pv_.push_back(row);
        Sync();
        return static_cast<int32_t>(pv_.size()) - 1;
    }

    int32_t AddPVImport(int32_t dataSet, const char* tag, int32_t mapping = 0, int16_t active = 1) {
        importValues_.emplace_back(3);
        StoreInt(&importValues_.back()[0], dataSet);
        StoreText(&importValues_.back()[1], tag);
        StoreInt(&importValues_.back()[2], mapping);
        DCSPVRow row{};
        row.Active = active;
        imports_.push_back(row);
        Sync();
        return static_cast<int32_t>(imports_.size()) - 1;
    }

    DCSCtrlRow& Controller(size_t i) { return ctrl_[i]; }
    DCSPVRow& PVExport(size_t i) { return pv_[i]; }
    DCSPVRow& PVImport(size_t i) { return imports_[i]; }

    // Sets a controller's tag column to a new text (or null) after the fact.
    void SetControllerText(size_t row, int32_t column, const char* text) {
        StoreText(&ctrlValues_[row][static_cast<size_t>(column)], text);
    }
    void SetPVExportText(size_t row, const char* text) { StoreText(&pvValues_[row][1], text); }

    // Re-points the record at the rows, after they may have moved.
    void Sync() {
        for (size_t i = 0; i < ctrl_.size(); ++i) ctrl_[i].Values = ctrlValues_[i].data();
        for (size_t i = 0; i < pv_.size(); ++i) pv_[i].Values = pvValues_[i].data();
        for (size_t i = 0; i < imports_.size(); ++i) imports_[i].Values = importValues_[i].data();
        d.CtrlCnt = static_cast<int32_t>(ctrl_.size());
        d.CtrlData = ctrl_.empty() ? nullptr : ctrl_.data();
        d.PVCnt = static_cast<int32_t>(pv_.size());
        d.PVData = pv_.empty() ? nullptr : pv_.data();
        d.PVImportCnt = static_cast<int32_t>(imports_.size());
        d.PVImportData = imports_.empty() ? nullptr : imports_.data();
    }

private:
    static void StoreInt(DCSValue* cell, int32_t value) { std::memcpy(cell->Bytes, &value, sizeof value); }
    void StoreText(DCSValue* cell, const char* text) {
        char* pointer = nullptr;
        if (text != nullptr) {
            texts_.emplace_back(text);
            pointer = &texts_.back()[0];
        }
        std::memcpy(cell->Bytes, &pointer, sizeof pointer);
    }

    std::vector<DCSCtrlRow> ctrl_;
    std::deque<std::vector<DCSValue>> ctrlValues_;
    std::vector<DCSPVRow> pv_;
    std::deque<std::vector<DCSValue>> pvValues_;
    std::vector<DCSPVRow> imports_;
    std::deque<std::vector<DCSValue>> importValues_;
    std::deque<std::string> texts_;
};

// White-box tests start from a freshly loaded library: the flag bindings,
// which outlive a configuration on purpose, are cleared too.
class DriverTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        EnabledFlagBinding = {};
        RunningFlagBinding = {};
    }
};

// A binding table from the host's heap holding stale bytes, as an uncleared
// block may, for tests that bind rows without a configuration.
template <typename T>
T* StaleTable(int32_t count) {
    const size_t bytes = static_cast<size_t>(count > 1 ? count : 1) * sizeof(T);
    auto* table = static_cast<T*>(IFace_new(bytes));
    std::memset(table, 0xEE, bytes);
    return table;
}

// Releases the binding tables such a test made.
inline void ReleaseBindingTables() {
    IFace_delete(CtrlBindings);
    IFace_delete(PVExportBindings);
    IFace_delete(PVImportBindings);
    CtrlBindings = nullptr;
    PVExportBindings = nullptr;
    PVImportBindings = nullptr;
}
