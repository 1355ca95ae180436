#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "case/case_file.h"
#include "case/io_list_writer.h"
#include "case/load_case.h"
#include "commands/catalogue_commands.h"
#include "commands/command.h"
#include "output/file_set.h"
#include "output/path_guard.h"
#include "text/code_page.h"

namespace host {

namespace fs = std::filesystem;

namespace {

// What export's command line fills: the marks as given, turned into the
// list format when it runs.
struct ExportLine {
    ExportOptions options;
    std::string separator = ",";
    std::string decimalMark = ".";
    bool noBom = false;
};

std::function<int()> DeclareExport(CLI::App& command) {
    auto line = std::make_shared<ExportLine>();
    AddCaseArgument(command, line->options.casePath);
    command.add_option("--out", line->options.outDir, "the folder to write into (made when missing)")->required();
    command.add_option("--separator", line->separator, "the field separator: , or ;")->capture_default_str();
    command.add_option("--decimal-mark", line->decimalMark, "the decimal mark: . or , (with --separator ';')")
        ->capture_default_str();
    command.add_flag("--no-bom", line->noBom, "write no UTF-8 byte-order mark");
    return [line] {
        // A mark of more than one character is refused as '?' would be.
        line->options.separator = line->separator.size() == 1 ? line->separator[0] : '?';
        line->options.decimalMark = line->decimalMark.size() == 1 ? line->decimalMark[0] : '?';
        line->options.bom = !line->noBom;
        return ExportCommand(line->options);
    };
}

}  // namespace

const Command kExportCommand = {
    "export",
    "write the case's rows as CSV IO lists, with a case file that names them",
    "exit status: 0 written, 2 the case or the folder cannot be used",
    DeclareExport,
};

int ExportCommand(const ExportOptions& options) {
    try {
        const ListFormat format{options.separator, options.decimalMark, options.bom};
        CheckListFormat(format);
        // Read as every command reads a case: its names in the code page the
        // driver sees them in, which the lists and the case file are written
        // back from.
        Case c = LoadCase(options.casePath);
        // A misspelt key would be left out of what is written, silently.
        RefuseUnknownKeys(c);
        // A reference run stays where it is; the case written elsewhere names it from there.
        for (Expectation& e : c.expectations) {
            if (e.subject == ExpectSubject::Reference) e.reference = PathFrom(options.outDir, e.reference);
        }
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
