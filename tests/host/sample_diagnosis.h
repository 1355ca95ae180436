// A diagnosis built by hand, as the check would fill it for a small case
// with a problem of each kind, a tag named like a script, and lint findings.
#pragma once

#include <string>

#include "diagnose/diagnosis.h"

namespace sample {

// A tag name that would run if the page let it through.
constexpr const char* kScriptTag = "<script>document.title='ran'</script>";

inline std::string InitString() { return "AI FIC-201.SP\nAI TIC-202\r.SP\nAO FIC-201.OP\nKavro tags\nAI TIC-202.OP\n"; }

inline host::Diagnosis Diagnosis() {
    using host::Verdict;
    host::Diagnosis d;
    d.casePath = "cases/unit <2>.toml";
    d.initStringPath = "cases/unit2.mrx";
    d.initStringText = InitString();
    d.configured = false;
    const host::DriverMessage unknownSp{
        "box", "MARLIXNT", "Incorrect data set or unknown SP tag for controller at index 1", "DCSConfigure"};
    d.messages = {unknownSp, {"ErrorMsg", "", "Tag list has 2 errors", "DCSConfigure"}};
    host::RowDiagnosis general{"general", 0, "general", 12, {}};
    general.tags = {{"Enabled Flag", "UNIT2.ENABLED", Verdict::Bound, false, "DI", "WriteDI", "", "", {}},
                    {"Running Flag", "", Verdict::Empty, false, "", "", "", "", {}}};
    host::RowDiagnosis fic{"controller", 0, "FIC-201", 20, {}};
    fic.tags = {{"SP Tag", "FIC-201.SP", Verdict::Bound, false, "AI", "ReadAI", "", "", {}},
                {"OP Tag", "FIC-201.OP", Verdict::Bound, true, "AO", "ReadAO", "", "", {}}};
    host::RowDiagnosis tic{"controller", 1, "TIC-202", 30, {}};
    tic.tags = {{"SP Tag", kScriptTag, Verdict::Problem, false, "", "", "not-in-catalogue",
                 "no such tag in data set 1; the driver refuses the configuration", unknownSp},
                {"OP Tag", "TIC-202.OP", Verdict::Bound, true, "AI", "ReadAI", "", "", {}}};
    host::RowDiagnosis spare{"pv_export", 0, "FI-208", 40, {}};
    spare.tags = {
        {"PV Tag", "FI-208.PV", Verdict::Unused, true, "", "", "", "Active is 0: the driver leaves it alone", {}}};
    d.rows = {general, fic, tic, spare};
    d.lint = {{2, 11, host::Severity::Error, "carriage-return", "a carriage return ends the line",
               "save with LF line ends", ""},
              {4, 1, host::Severity::Warning, "header-swallowed", "the title line is read as a tag", "remove it", ""}};
    return d;
}

}  // namespace sample
