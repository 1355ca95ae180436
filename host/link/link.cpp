#include "link/link.h"

#include <cstring>
#include <filesystem>
#include <stdexcept>

#ifndef DCS_HOST_DRIVER_FILE
#define DCS_HOST_DRIVER_FILE "libmrxnt.so"
#endif

#include "case/case_schema.h"
#include "case/input_file.h"
#include "os/os.h"

namespace host {

std::string DefaultDriverPath() {
    const std::string executable = os::ExecutablePath();
    if (executable.empty()) {
        return DCS_HOST_DRIVER_FILE;
    }
    const std::filesystem::path above = os::FsPath(executable).parent_path().parent_path();
    const std::string kit = os::Utf8((above / DCS_HOST_DRIVER_FILE).lexically_normal());
    const std::string buildTree = os::Utf8((above / "dcs" / DCS_HOST_DRIVER_FILE).lexically_normal());
    os::FileStatus inKit;
    os::FileStatus inBuildTree;
    std::string why;
    if (os::Status(kit, inKit, why) && inKit.type == os::FileType::Missing && os::Status(buildTree, inBuildTree, why) &&
        inBuildTree.type != os::FileType::Missing) {
        return buildTree;
    }
    return kit;
}

std::optional<DriverVersion> ReadDriverVersion(const std::string& path) {
    if (const std::optional<os::VersionBlock> block = os::ReadVersionBlock(path)) {
        return DriverVersion{block->displayName, block->fileVersion};
    }
    return std::nullopt;
}

Driver::Driver(const std::string& path) {
    // A path (rather than a name the loader searches for) must be a regular
    // file: the loader would block on a FIFO.
    if (path.find('/') != std::string::npos || path.find('\\') != std::string::npos) {
        RequireRegularFile(path, "the driver");
    }
    std::string why;
    handle_ = os::OpenLibrary(path, why);
    if (handle_ == nullptr) {
        throw std::runtime_error("cannot load the driver " + path + ": " + why);
    }
    struct Entry {
        const char* name;
        DCSEntryPoint* slot;
    };
    const Entry entries[] = {{"DCSLoad", &Load},         {"DCSConfigure", &Configure}, {"DCSInitialize", &Initialize},
                             {"DCSSimulate", &Simulate}, {"DCSStart", &Start},         {"DCSStop", &Stop},
                             {"DCSTimeZero", &TimeZero}, {"DCSReset", &Reset},         {"DCSDestroy", &Destroy}};
    std::string missing;
    for (const Entry& entry : entries) {
        void* symbol = os::FindSymbol(handle_, entry.name);
        if (symbol == nullptr) {
            missing += missing.empty() ? entry.name : std::string(", ") + entry.name;
            continue;
        }
        // Both loaders hand out a function's address as a data pointer of
        // the same size.
        std::memcpy(entry.slot, &symbol, sizeof symbol);
    }
    if (!missing.empty()) {
        os::CloseLibrary(handle_);
        handle_ = nullptr;
        throw std::runtime_error("the driver " + path + " does not export " + missing);
    }
}

Driver::~Driver() {
    if (handle_ != nullptr) {
        os::CloseLibrary(handle_);
    }
}

Link::~Link() { Destroy(); }

void Link::Destroy() {
    if (loaded_) {
        loaded_ = false;
        driver_.Destroy(&block_.Data());
    }
}

void Link::Load() {
    driver_.Load(&block_.Data());
    loaded_ = true;
}

namespace {

// The default row's texts are the driver's; only its numbers carry over into
// the host's rows.
void CopyDefaultNumbers(const DefTable& defs, const DCSValue* defaults, DCSValue* cells) {
    if (defaults == nullptr) return;
    for (int32_t i = 0; i < defs.count; ++i) {
        if (defs.defs[i].Kind != FIELD_KIND_TEXT) cells[i] = defaults[i];
    }
}

void RequireDefs(const DefTable& defs, size_t rows) {
    if (rows > 0 && defs.defs == nullptr) {
        throw std::runtime_error(std::string("the driver declared no fields for ") + defs.what);
    }
}

}  // namespace

void Link::Fill(const Case& c) {
    DCSLinkData& d = block_.Data();
    // Every label the driver did not declare is named, not just the first.
    std::vector<std::string> unknown;
    const DefTable general = General();
    if (!c.general.empty() && (d.GenData == nullptr || general.defs == nullptr)) {
        throw std::runtime_error("the driver declared no general data");
    }
    if (d.GenData != nullptr && general.defs != nullptr) {
        FillCells(general, c.general, d.GenData, block_.Texts(), c.file, "general", "", &unknown);
    }

    const DefTable ctrl = ControllerDefs();
    const DefTable pv = PVExportDefs();
    const DefTable imp = PVImportDefs();
    RequireDefs(ctrl, c.controllers.size());
    RequireDefs(pv, c.pvExports.size());
    RequireDefs(imp, c.pvImports.size());

    for (size_t i = 0; i < c.controllers.size(); ++i) {
        const ControllerCase& source = c.controllers[i];
        DCSCtrlRow& row = block_.Controller(block_.AddController(ctrl.count, d.CtrlRowDefault));
        CopyDefaultNumbers(ctrl, d.CtrlRowDefault.Values, row.Values);
        FillCells(ctrl, source.fields, row.Values, block_.Texts(), c.file, "controller " + std::to_string(i),
                  HostKeyList(RowTable::Controller), &unknown);
        row.OPEnabled = static_cast<int16_t>(source.opEnabled.value_or(1));
        if (source.mode) row.Mode = *source.mode;
        if (source.sp) row.SP = *source.sp;
        if (source.op) row.OP = *source.op;
        row.SPChanged = 0;
        row.OPChanged = 0;
    }

    for (size_t i = 0; i < c.pvExports.size(); ++i) {
        const PVExportCase& source = c.pvExports[i];
        DCSPVRow& row = block_.PVExport(block_.AddPVExport(pv.count, d.PVRowDefault));
        CopyDefaultNumbers(pv, d.PVRowDefault.Values, row.Values);
        FillCells(pv, source.fields, row.Values, block_.Texts(), c.file, "pv_export " + std::to_string(i),
                  HostKeyList(RowTable::PVExport), &unknown);
        row.Active = static_cast<int16_t>(source.active);
        row.Value = source.response.follows ? source.response.initial : source.response.constant;
    }

    for (size_t i = 0; i < c.pvImports.size(); ++i) {
        const PVImportCase& source = c.pvImports[i];
        DCSPVRow& row = block_.PVImport(block_.AddPVImport(imp.count, d.PVImportRowDefault));
        CopyDefaultNumbers(imp, d.PVImportRowDefault.Values, row.Values);
        FillCells(imp, source.fields, row.Values, block_.Texts(), c.file, "pv_import " + std::to_string(i),
                  HostKeyList(RowTable::PVImport), &unknown);
        row.Active = static_cast<int16_t>(source.active);
        row.Value = 0.0;
    }
    RefuseUnknownKeys(c, unknown);
}

int32_t Link::RowInteger(const DefTable& defs, const DCSValue* cells, const std::string& label, int32_t fallback) {
    const int32_t index = FindField(defs, label);
    return index >= 0 && cells != nullptr ? CellInteger(cells[index]) : fallback;
}

std::string Link::RowText(const DefTable& defs, const DCSValue* cells, const std::string& label) {
    const int32_t index = FindField(defs, label);
    if (index < 0 || cells == nullptr || defs.defs[index].Kind != FIELD_KIND_TEXT) {
        return {};
    }
    const char* text = CellTextPointer(cells[index]);
    return text != nullptr ? text : "";
}

int32_t Link::GeneralInteger(const std::string& label, int32_t fallback) const {
    return RowInteger(General(), Data().GenData, label, fallback);
}

std::string Link::GeneralText(const std::string& label) const { return RowText(General(), Data().GenData, label); }

}  // namespace host
