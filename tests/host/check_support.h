// Runs the whole check on a case built in memory, against the driver
// library loaded as dcs-host loads it, with the server holding the given
// initialization string.
#pragma once

#include <string>
#include <vector>

#include "diagnose/check_case.h"
#include "iface_control.h"
#include "link/session.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace checktest {

inline host::Driver& TheDriver() {
    static host::Driver driver(DCS_DRIVER_PATH);
    return driver;
}

inline host::FieldValue Text(const std::string& label, const std::string& text) {
    host::FieldValue field;
    field.label = label;
    field.isText = true;
    field.text = text;
    return field;
}

inline host::FieldValue Integer(const std::string& label, int64_t value) {
    host::FieldValue field;
    field.label = label;
    field.integer = value;
    return field;
}

// A controller row; empty texts are left out (the cell holds no text).
inline host::ControllerCase Controller(int32_t dataSet, const std::vector<std::string>& tags, int32_t opEnabled = 1) {
    static const char* const kLabels[] = {"SP Tag", "SP Init Tag", "OP Tag", "OP Init Tag", "Mode Tag"};
    host::ControllerCase row;
    row.name = "C";
    row.fields.push_back(Integer("Data Set", dataSet));
    for (size_t i = 0; i < tags.size() && i < 5; ++i) {
        if (!tags[i].empty()) row.fields.push_back(Text(kLabels[i], tags[i]));
    }
    row.opEnabled = opEnabled;
    return row;
}

template <typename Row>
Row PVRow(int32_t dataSet, const std::string& tag, int32_t active = 1) {
    Row row;
    row.name = "P";
    row.fields.push_back(Integer("Data Set", dataSet));
    if (!tag.empty()) row.fields.push_back(Text("PV Tag", tag));
    row.active = active;
    return row;
}

// The driver keeps its flag bindings from one configuration to the next,
// and takes down a bound Enabled Flag when a later configuration fails.
// Every case starts from a library that has bound no flag, as a fresh
// dcs-host process does: one configuration of an empty case clears them.
inline void ClearFlagBindings() {
    MrxStandin_Reset();
    MrxStandin_SetInitString("*DO*\nPADDING_SO_THE_STRING_IS_NOT_EMPTY,-,99\n");
    host::Link link(TheDriver());
    link.Load();
    link.Fill(host::Case{});
    TheDriver().Configure(&link.Data());
    TheDriver().Reset(&link.Data());
    link.Destroy();
}

// Prepares the server and host services and checks the case. With
// `seed`, every tag of the catalogue's readable kinds gets a value, so that
// a read fails only where the binding is wrong.
inline host::Diagnosis Check(const host::Case& c, const std::string& initString,
                             const std::vector<std::pair<int32_t, std::pair<int32_t, std::string>>>& seed = {}) {
    User32Standin_SetEcho(0);
    ClearFlagBindings();
    MrxStandin_Reset();
    IFaceStandin_Reset();
    User32Standin_Reset();
    IFaceStandin_SetEcho(0);
    MrxStandin_SetInitString(initString.c_str());
    for (const auto& tag : seed) {
        if (tag.first == MRX_KIND_DI || tag.first == MRX_KIND_DO) {
            MrxStandin_SetInt(tag.first, tag.second.first, tag.second.second.c_str(), 1);
        } else {
            MrxStandin_SetDouble(tag.first, tag.second.first, tag.second.second.c_str(), 1.0);
        }
    }
    return host::CheckCase(TheDriver(), c);
}

inline const host::TagDiagnosis& TagOf(const host::Diagnosis& d, const std::string& table, int32_t index,
                                       const std::string& field) {
    for (const host::RowDiagnosis& row : d.rows) {
        if (row.table != table || row.index != index) continue;
        for (const host::TagDiagnosis& tag : row.tags) {
            if (tag.field == field) return tag;
        }
    }
    static const host::TagDiagnosis none;
    return none;
}

}  // namespace checktest
