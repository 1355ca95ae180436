// The driver as the host runs it: the shared library loaded at run time, the
// case data block the host owns, and the host's rows filled from a case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "case_block.h"
#include "entry_points.h"
#include "link/fields.h"

namespace host {

// The driver dcs-host loads unless told otherwise. In a kit, dcs-host sits
// in tools/ and the driver one folder up, where an integrator finds the file
// to install; in a build tree, host/ and dcs/ are siblings. The kit's file
// wins; when neither exists, the kit's path is given so the error names it.
std::string DefaultDriverPath();

// What a Windows driver's version block tells the simulator about it.
struct DriverVersion {
    std::string displayName;  // "DCSDisplayName", as stored (with its blank)
    std::string fileVersion;  // "FileVersion"
};

// The version block of the driver file; none when the file has none (and
// always on Linux, where a shared library carries no such block).
std::optional<DriverVersion> ReadDriverVersion(const std::string& path);

// The driver library and its nine entry points, found by name, as the
// simulator finds them (LoadLibrary and GetProcAddress on Windows).
class Driver {
public:
    // Throws std::runtime_error when the library cannot be loaded or an
    // entry point is missing.
    explicit Driver(const std::string& path);
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    DCSEntryPoint Load = nullptr;
    DCSEntryPoint Configure = nullptr;
    DCSEntryPoint Initialize = nullptr;
    DCSEntryPoint Simulate = nullptr;
    DCSEntryPoint Start = nullptr;
    DCSEntryPoint Stop = nullptr;
    DCSEntryPoint TimeZero = nullptr;
    DCSEntryPoint Reset = nullptr;
    DCSEntryPoint Destroy = nullptr;

private:
    void* handle_ = nullptr;
};

// The case data block with the host's rows. Load() calls DCSLoad; Fill()
// builds the rows through the definitions it declared; the destructor calls
// DCSDestroy if the driver was loaded, and only then releases the texts the
// cells point at.
class Link {
public:
    explicit Link(Driver& driver) : driver_(driver) {}
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    void Load();
    // Throws CaseError for a field the driver did not declare, or a value
    // that does not suit the field, and for the case's unknown keys: every
    // one of them is named at once.
    void Fill(const Case& c);

    DCSLinkData& Data() { return block_.Data(); }
    const DCSLinkData& Data() const { return block_.Data(); }

    DefTable General() const { return {Data().GenDef, Data().GenDefCnt, "the general data"}; }
    DefTable ControllerDefs() const { return {Data().CtrlDef, Data().CtrlDefCnt, "controller rows"}; }
    DefTable PVExportDefs() const { return {Data().PVDef, Data().PVDefCnt, "PV export rows"}; }
    DefTable PVImportDefs() const { return {Data().PVImportDef, Data().PVImportDefCnt, "PV import rows"}; }

    // A cell of the general data or of a row, by label: the integer, or
    // the text (empty when the cell holds none). Defaults when the label
    // is not declared.
    int32_t GeneralInteger(const std::string& label, int32_t fallback) const;
    std::string GeneralText(const std::string& label) const;
    static int32_t RowInteger(const DefTable& defs, const DCSValue* cells, const std::string& label, int32_t fallback);
    static std::string RowText(const DefTable& defs, const DCSValue* cells, const std::string& label);

    void Destroy();

private:
    Driver& driver_;
    caseblock::CaseBlock block_;
    bool loaded_ = false;
};

}  // namespace host
