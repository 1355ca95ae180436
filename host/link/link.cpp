#include "link/link.h"

#if defined(_WIN32)
#include "box_capture.h"  // windows.h, and the message-box recorder
#else
#include <dlfcn.h>
#endif

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#ifndef DCS_HOST_DRIVER_FILE
#define DCS_HOST_DRIVER_FILE "libmrxnt.so"
#endif

#include "case/case_schema.h"
#include "case/input_file.h"

namespace host {

namespace {

#if defined(_WIN32)

std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

// LoadLibrary takes a path only with backslashes; a case or a command line
// written with forward slashes must work as well.
std::string NativeSeparators(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

void* OpenLibrary(const std::string& path, std::string& why) {
    HMODULE module = LoadLibraryA(NativeSeparators(path).c_str());
    if (module == nullptr) {
        why = SystemMessage(GetLastError());
        return nullptr;
    }
    // The driver's message boxes are recorded and printed, as on Linux,
    // instead of waiting for a click nobody can give.
    CaptureMessageBoxes(module);
    return reinterpret_cast<void*>(module);
}

void* FindSymbol(void* library, const char* name) {
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(library), name);
    void* symbol = nullptr;
    static_assert(sizeof proc == sizeof symbol, "code and data pointers differ in size");
    std::memcpy(&symbol, &proc, sizeof symbol);
    return symbol;
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::filesystem::path ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::filesystem::path(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

#else

void* OpenLibrary(const std::string& path, std::string& why) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = dlerror();
        why = error != nullptr ? error : "unknown error";
    }
    return library;
}

void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }

void CloseLibrary(void* library) { dlclose(library); }

std::filesystem::path ExecutablePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

#endif

}  // namespace

std::string DefaultDriverPath() {
    const std::filesystem::path executable = ExecutablePath();
    if (executable.empty()) {
        return DCS_HOST_DRIVER_FILE;
    }
    const std::filesystem::path above = executable.parent_path().parent_path();
    const std::filesystem::path kit = above / DCS_HOST_DRIVER_FILE;
    const std::filesystem::path buildTree = above / "dcs" / DCS_HOST_DRIVER_FILE;
    std::error_code error;
    if (!std::filesystem::exists(kit, error) && std::filesystem::exists(buildTree, error)) {
        return buildTree.lexically_normal().string();
    }
    return kit.lexically_normal().string();
}

#if defined(_WIN32)

std::optional<DriverVersion> ReadDriverVersion(const std::string& path) {
    const std::string file = NativeSeparators(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::string block(size, '\0');
    if (GetFileVersionInfoA(file.c_str(), 0, size, &block[0]) == 0) {
        return std::nullopt;
    }
    // The strings sit under the block's first language and code page; the
    // driver's is US English, 1252.
    std::string table = "040904E4";
    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* found = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &found, &length) != 0 &&
        length >= sizeof(Translation)) {
        Translation first{};
        std::memcpy(&first, found, sizeof first);
        const char* const digits = "0123456789ABCDEF";
        table.clear();
        for (const unsigned value : {unsigned{first.language}, unsigned{first.codePage}}) {
            for (int shift = 12; shift >= 0; shift -= 4) table += digits[(value >> shift) & 0xF];
        }
    }
    auto text = [&](const char* key) {
        const std::string query = "\\StringFileInfo\\" + table + "\\" + key;
        void* value = nullptr;
        UINT characters = 0;
        if (VerQueryValueA(block.data(), query.c_str(), &value, &characters) == 0 || value == nullptr) {
            return std::string();
        }
        const char* chars = static_cast<const char*>(value);
        return std::string(chars, strnlen(chars, characters));
    };
    return DriverVersion{text("DCSDisplayName"), text("FileVersion")};
}

#else

std::optional<DriverVersion> ReadDriverVersion(const std::string&) { return std::nullopt; }

#endif

Driver::Driver(const std::string& path) {
    // A path (rather than a name the loader searches for) must be a regular
    // file: the loader would block on a FIFO.
    if (path.find('/') != std::string::npos || path.find('\\') != std::string::npos) {
        RequireRegularFile(path, "the driver");
    }
    std::string why;
    handle_ = OpenLibrary(path, why);
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
        void* symbol = FindSymbol(handle_, entry.name);
        if (symbol == nullptr) {
            missing += missing.empty() ? entry.name : std::string(", ") + entry.name;
            continue;
        }
        // Both loaders hand out a function's address as a data pointer of
        // the same size.
        std::memcpy(entry.slot, &symbol, sizeof symbol);
    }
    if (!missing.empty()) {
        CloseLibrary(handle_);
        handle_ = nullptr;
        throw std::runtime_error("the driver " + path + " does not export " + missing);
    }
}

Driver::~Driver() {
    if (handle_ != nullptr) {
        CloseLibrary(handle_);
    }
}

Link::~Link() { Destroy(); }

void Link::Destroy() {
    if (loaded_) {
        loaded_ = false;
        driver_.Destroy(&d_);
    }
}

void Link::Load() {
    d_ = DCSLinkData{};
    driver_.Load(&d_);
    loaded_ = true;
}

namespace {

std::vector<DCSValue> RowCells(const DefTable& defs, const DCSValue* defaults) {
    std::vector<DCSValue> cells(static_cast<size_t>(defs.count > 0 ? defs.count : 0));
    for (size_t i = 0; i < cells.size(); ++i) {
        std::memset(cells[i].Bytes, 0, sizeof cells[i].Bytes);
        // The default row's texts are the driver's; only its numbers carry
        // over into the host's rows.
        if (defaults != nullptr && defs.defs[i].Kind != FIELD_KIND_TEXT) {
            cells[i] = defaults[i];
        }
    }
    return cells;
}

void RequireDefs(const DefTable& defs, size_t rows) {
    if (rows > 0 && defs.defs == nullptr) {
        throw std::runtime_error(std::string("the driver declared no fields for ") + defs.what);
    }
}

}  // namespace

void Link::Fill(const Case& c) {
    // Every label the driver did not declare is named, not just the first.
    std::vector<std::string> unknown;
    const DefTable general = General();
    if (!c.general.empty() && (d_.GenData == nullptr || general.defs == nullptr)) {
        throw std::runtime_error("the driver declared no general data");
    }
    if (d_.GenData != nullptr && general.defs != nullptr) {
        FillCells(general, c.general, d_.GenData, texts_, c.file, "general", "", &unknown);
    }

    const DefTable ctrl = ControllerDefs();
    const DefTable pv = PVExportDefs();
    const DefTable imp = PVImportDefs();
    RequireDefs(ctrl, c.controllers.size());
    RequireDefs(pv, c.pvExports.size());
    RequireDefs(imp, c.pvImports.size());
    cells_.reserve(c.controllers.size() + c.pvExports.size() + c.pvImports.size());

    ctrlRows_.assign(c.controllers.size(), d_.CtrlRowDefault);
    for (size_t i = 0; i < c.controllers.size(); ++i) {
        const ControllerCase& source = c.controllers[i];
        cells_.push_back(RowCells(ctrl, d_.CtrlRowDefault.Values));
        FillCells(ctrl, source.fields, cells_.back().data(), texts_, c.file, "controller " + std::to_string(i),
                  HostKeyList(RowTable::Controller), &unknown);
        DCSCtrlRow& row = ctrlRows_[i];
        row.Values = cells_.back().data();
        row.OPEnabled = static_cast<int16_t>(source.opEnabled.value_or(1));
        if (source.mode) row.Mode = *source.mode;
        if (source.sp) row.SP = *source.sp;
        if (source.op) row.OP = *source.op;
        row.SPChanged = 0;
        row.OPChanged = 0;
    }

    pvRows_.assign(c.pvExports.size(), d_.PVRowDefault);
    for (size_t i = 0; i < c.pvExports.size(); ++i) {
        const PVExportCase& source = c.pvExports[i];
        cells_.push_back(RowCells(pv, d_.PVRowDefault.Values));
        FillCells(pv, source.fields, cells_.back().data(), texts_, c.file, "pv_export " + std::to_string(i),
                  HostKeyList(RowTable::PVExport), &unknown);
        DCSPVRow& row = pvRows_[i];
        row.Values = cells_.back().data();
        row.Active = static_cast<int16_t>(source.active);
        row.Value = source.response.follows ? source.response.initial : source.response.constant;
    }

    pvImportRows_.assign(c.pvImports.size(), d_.PVImportRowDefault);
    for (size_t i = 0; i < c.pvImports.size(); ++i) {
        const PVImportCase& source = c.pvImports[i];
        cells_.push_back(RowCells(imp, d_.PVImportRowDefault.Values));
        FillCells(imp, source.fields, cells_.back().data(), texts_, c.file, "pv_import " + std::to_string(i),
                  HostKeyList(RowTable::PVImport), &unknown);
        DCSPVRow& row = pvImportRows_[i];
        row.Values = cells_.back().data();
        row.Active = static_cast<int16_t>(source.active);
        row.Value = 0.0;
    }

    d_.CtrlCnt = static_cast<int32_t>(ctrlRows_.size());
    d_.CtrlData = ctrlRows_.empty() ? nullptr : ctrlRows_.data();
    d_.PVCnt = static_cast<int32_t>(pvRows_.size());
    d_.PVData = pvRows_.empty() ? nullptr : pvRows_.data();
    d_.PVImportCnt = static_cast<int32_t>(pvImportRows_.size());
    d_.PVImportData = pvImportRows_.empty() ? nullptr : pvImportRows_.data();
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
    return RowInteger(General(), d_.GenData, label, fallback);
}

std::string Link::GeneralText(const std::string& label) const { return RowText(General(), d_.GenData, label); }

}  // namespace host
