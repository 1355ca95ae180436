// A host-side case for driver tests: the case data block loaded by the
// driver, with rows filled by position, as the driver declares the columns.
#pragma once

#include <cstring>

#include "case_block.h"
#include "entry_points.h"
#include "hostapi/dcs_link_data.h"
#include "link_state.h"
#include "platform/iface.h"
#include "test_support.h"

using ControllerSpec = caseblock::ControllerRow;

class TestCase {
    caseblock::CaseBlock block_;  // before d, which refers to it

public:
    DCSLinkData& d = block_.Data();

    TestCase() { DCSLoad(&d); }
    ~TestCase() {
        DCSReset(&d);
        DCSDestroy(&d);
    }
    TestCase(const TestCase&) = delete;
    TestCase& operator=(const TestCase&) = delete;

    void SetGeneral(int32_t dataSet, const char* enabled, const char* running) {
        block_.SetGeneral(dataSet, enabled, running);
    }

    int32_t AddController(const ControllerSpec& want) { return static_cast<int32_t>(block_.AddController(want)); }
    int32_t AddPVExport(int32_t dataSet, const char* tag, double value = 0.0, int16_t active = 1) {
        return static_cast<int32_t>(block_.AddPVExport(dataSet, tag, value, active));
    }
    int32_t AddPVImport(int32_t dataSet, const char* tag, int32_t mapping = 0, int16_t active = 1) {
        return static_cast<int32_t>(block_.AddPVImport(dataSet, tag, mapping, active));
    }

    DCSCtrlRow& Controller(size_t i) { return block_.Controller(i); }
    DCSPVRow& PVExport(size_t i) { return block_.PVExport(i); }
    DCSPVRow& PVImport(size_t i) { return block_.PVImport(i); }

    // Sets a controller's tag column to a new text (or null) after the fact.
    void SetControllerText(size_t row, int32_t column, const char* text) {
        block_.SetText(block_.Controller(row).Values[column], text);
    }
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
