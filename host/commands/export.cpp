#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>

#include "case/case_file.h"
#include "case/io_list_writer.h"
#include "commands/catalogue_commands.h"
#include "commands/load_case.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "text/code_page.h"

namespace host {

namespace fs = std::filesystem;

std::string PathFrom(const std::string& dir, const std::string& path) {
    std::error_code error;
    const fs::path target = fs::weakly_canonical(fs::absolute(path), error);
    const fs::path base = fs::weakly_canonical(fs::absolute(dir), error);
    // Folders that share no more than the root: a path up to the root and
    // down again says nothing a reader can follow.
    const bool shareFolder = std::distance(target.begin(), target.end()) > 1 &&
                             std::distance(base.begin(), base.end()) > 1 &&
                             *std::next(target.begin()) == *std::next(base.begin());
    const fs::path relative = target.lexically_relative(base);
    return (relative.empty() || !shareFolder ? target : relative).generic_string();
}

void WriteAllOrNone(const std::vector<OutputText>& files, const std::vector<PathUse>& inputs) {
    std::vector<PathUse> outputs;
    for (const OutputText& f : files) outputs.push_back({f.what, f.path});
    RefuseOverlappingPaths(inputs, outputs);
    std::vector<std::unique_ptr<OutputFile>> opened;
    for (const OutputText& f : files) {
        opened.push_back(std::make_unique<OutputFile>(f.path));
        opened.back()->Stream() << f.text;
    }
    for (auto& file : opened) file->Commit();
}

std::vector<OutputText> IoListFiles(const Case& c, const std::string& dir, const ListFormat& format, ListNames& names) {
    const std::optional<CodePage> codePage = CodePage::Find(c.codePage);
    if (!codePage) throw ListError("code page " + std::to_string(c.codePage) + " is not one dcs-host has");
    const fs::path folder(dir);
    std::vector<OutputText> files;
    if (!c.controllers.empty()) {
        names.controllers = "controllers.csv";
        files.push_back(
            {(folder / names.controllers).string(), ControllerList(c.controllers, *codePage, format), "controllers"});
    }
    if (!c.pvExports.empty()) {
        names.pvExports = "pv_exports.csv";
        files.push_back(
            {(folder / names.pvExports).string(), PVExportList(c.pvExports, *codePage, format), "PV exports"});
    }
    if (!c.pvImports.empty()) {
        names.pvImports = "pv_imports.csv";
        files.push_back(
            {(folder / names.pvImports).string(), PVImportList(c.pvImports, *codePage, format), "PV imports"});
    }
    return files;
}

int ExportCommand(const ExportOptions& options) {
    try {
        const ListFormat format{options.separator, options.decimalMark, options.bom};
        CheckListFormat(format);
        // Read as every command reads a case: its names in the code page the
        // driver sees them in, which the lists and the case file are written
        // back from.
        const Case c = LoadCase(options.casePath);
        // A misspelt key would be left out of what is written, silently.
        RefuseUnknownKeys(c);
        std::filesystem::create_directories(options.outDir);
        ListNames names;
        std::vector<OutputText> files = IoListFiles(c, options.outDir, format, names);
        const std::string caseName = fs::path(options.casePath).filename().string();
        files.push_back({(fs::path(options.outDir) / caseName).string(),
                         CaseFileWithLists(c, PathFrom(options.outDir, c.initStringPath), names), "the case"});
        std::vector<PathUse> inputs = {{"the case file", c.file}};
        for (const NamedFile& f : c.namedFiles) inputs.push_back({f.use, f.path});
        WriteAllOrNone(files, inputs);
        for (const OutputText& f : files) std::printf("wrote %s (%s)\n", f.path.c_str(), f.what.c_str());
        return 0;
    } catch (const CaseError& e) {
        return CaseRefused(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dcs-host export: %s\n", e.what());
        return 2;
    }
}

}  // namespace host
