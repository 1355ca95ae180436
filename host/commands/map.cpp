#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>

#include "case/case_file.h"
#include "case/input_file.h"
#include "case/io_list_writer.h"
#include "case/load_case.h"
#include "commands/catalogue_commands.h"
#include "commands/command.h"
#include "diagnose/catalogue_parse.h"
#include "diagnose/check_case.h"
#include "diagnose/row_proposals.h"
#include "diagnose/text_encoding.h"
#include "text/code_page.h"
#include "text/tag_name.h"
#include "trace/string_sources.h"

namespace host {

namespace {

FieldValue Integer(const std::string& label, int64_t value) {
    FieldValue field;
    field.label = label;
    field.integer = value;
    return field;
}

FieldValue Text(const std::string& label, const std::string& text) {
    FieldValue field;
    field.label = label;
    field.isText = true;
    field.text = text;
    return field;
}

// The proposals as a case: its rows, and a value for every tag the rows
// read, so the check's dry run finds the server holding them. Remembers
// which proposal each row came from.
struct ProposalCase {
    Case c;
    std::vector<ControllerProposal*> controllers;
    std::vector<PVProposal*> pvExports;
    std::vector<PVProposal*> pvImports;
};

void ServerHolds(Case& c, std::set<std::pair<int32_t, std::string>>& held, int32_t kind, int32_t dataSet,
                 const std::string& name) {
    if (!ServerKeepsValue(kind) || !held.insert({dataSet, name}).second) return;
    TagValue tag;
    tag.kind = static_cast<TagKind>(kind);
    tag.dataSet = dataSet;
    tag.name = name;
    c.tags.push_back(tag);
}

ProposalCase CaseOf(Proposals& proposals, const std::string& initString, const std::string& file, int codePage) {
    ProposalCase out;
    Case& c = out.c;
    c.file = file;
    // The tags' names stay the catalogue's bytes, as a case holds them once
    // converted; a row's name is text, as a case file gives it.
    c.codePage = codePage;
    const CodePage page = *CodePage::Find(codePage);
    c.initStringPath = initString;
    std::set<std::pair<int32_t, std::string>> held;
    for (ControllerProposal& p : proposals.controllers) {
        if (!p.proposed) continue;
        ControllerCase row;
        row.name = TagName::OfBytes(p.base).Text(page);
        row.fields.push_back(Integer("Data Set", p.dataSet));
        for (int32_t col = 1; col <= 5; ++col) {
            const ProposedTag& tag = p.tags[col - 1];
            if (tag.name.empty()) continue;
            row.fields.push_back(Text(ColumnLabel(static_cast<MapColumn>(col)), tag.name));
            if (IsReadControllerColumn(static_cast<MapColumn>(col)))
                ServerHolds(c, held, tag.kind, p.dataSet, tag.name);
        }
        c.controllers.push_back(std::move(row));
        out.controllers.push_back(&p);
    }
    for (PVProposal& p : proposals.pvRows) {
        if (!p.proposed) continue;
        std::vector<FieldValue> fields = {Integer("Data Set", p.dataSet), Text("PV Tag", p.tag.name)};
        if (p.isExport) {
            PVExportCase row;
            row.name = TagName::OfBytes(p.base).Text(page);
            row.fields = std::move(fields);
            c.pvExports.push_back(std::move(row));
            out.pvExports.push_back(&p);
        } else {
            PVImportCase row;
            row.name = TagName::OfBytes(p.base).Text(page);
            row.fields = std::move(fields);
            c.pvImports.push_back(std::move(row));
            out.pvImports.push_back(&p);
            ServerHolds(c, held, p.tag.kind, p.dataSet, p.tag.name);
        }
    }
    return out;
}

// Takes out what the check finds a problem with: an optional column is left
// empty, a row whose required tag has a problem is not proposed. Returns
// how many were taken out.
int32_t DropProblems(const ProposalCase& pc, const Diagnosis& d) {
    const CodePage page = *CodePage::Find(pc.c.codePage);
    int32_t dropped = 0;
    for (const RowDiagnosis& row : d.rows) {
        const auto at = static_cast<size_t>(row.index);
        for (const TagDiagnosis& tag : row.tags) {
            if (tag.status != Verdict::Problem) continue;
            ++dropped;
            // The diagnosis still holds the rows' texts as the catalogue's
            // bytes; the reason is shown, so decoded.
            const TagName name = TagName::OfBytes(tag.text);
            const std::string why = "the check: " + page.Decode(tag.reason);
            if (row.table == "controller" && at < pc.controllers.size()) {
                ControllerProposal& p = *pc.controllers[at];
                if (tag.required) {
                    p.proposed = false;
                    p.why = tag.field + ": " + why;
                }
                for (ProposedTag& t : p.tags) {
                    if (!tag.required && TagName::OfBytes(t.name) == name) t = {"", 0, 0, t.pattern, why};
                }
            } else if (row.table == "pv_export" && at < pc.pvExports.size()) {
                pc.pvExports[at]->proposed = false;
                pc.pvExports[at]->why = why;
            } else if (row.table == "pv_import" && at < pc.pvImports.size()) {
                pc.pvImports[at]->proposed = false;
                pc.pvImports[at]->why = why;
            }
        }
    }
    return dropped;
}

std::string Report(const TagInventory& inventory, const Proposals& p, const ProposalCase& pc, const Diagnosis& d) {
    std::ostringstream out;
    out << "map " << inventory.path << ": " << pc.c.controllers.size() << " controller(s), " << pc.c.pvExports.size()
        << " PV export(s), " << pc.c.pvImports.size() << " PV import(s) proposed";
    if (p.skippedByCase > 0) out << "; " << p.skippedByCase << " left out that the case has already";
    out << "\n";
    if (!p.controllers.empty()) out << "controllers, by base name (found / not found):\n";
    for (const ControllerProposal& c : p.controllers) {
        out << "  " << VisibleName(c.base, inventory.codePage) << " data set " << c.dataSet << ": "
            << (c.proposed ? "proposed" : "not proposed: " + c.why) << "\n";
        for (int32_t col = 1; col <= 5; ++col) {
            const ProposedTag& t = c.tags[col - 1];
            out << "      " << ColumnLabel(static_cast<MapColumn>(col)) << ": ";
            if (!t.name.empty()) {
                out << VisibleName(t.name, inventory.codePage) << " (" << KindName(t.kind) << ", " << t.pattern
                    << ")\n";
            } else {
                out << "none" << (t.why.empty() ? "" : " - " + t.why) << "\n";
            }
        }
    }
    if (!p.pvRows.empty()) out << "PV rows:\n";
    for (const PVProposal& v : p.pvRows) {
        out << "  " << (v.isExport ? "pv_export " : "pv_import ") << VisibleName(v.tag.name, inventory.codePage)
            << " data set " << v.dataSet;
        if (v.tag.kind != 0) out << " (" << KindName(v.tag.kind) << ")";
        out << ": " << (v.proposed ? "proposed" : "not proposed: " + v.why) << "\n";
    }
    out << p.unmatched.size() << " catalogue tag(s) match no convention";
    out << (p.unmatched.empty() ? "\n" : ":\n");
    for (uint32_t i : p.unmatched) {
        const InventoryEntry& e = inventory.entries[i];
        out << "  " << KindName(e.kind) << " data set " << e.dataSet << " line " << e.line << " "
            << VisibleName(e.name, inventory.codePage) << "\n";
    }
    out << "check of the proposed rows: " << (d.configured ? "configured" : "NOT configured") << ", "
        << d.RowsWithProblems() << " row(s) with problems\n";
    return out.str();
}

std::function<int()> DeclareMap(CLI::App& command) {
    auto options = std::make_shared<MapOptions>();
    AddSourceArgument(command, options->source);
    AddFetchOption(command, "--fetch", options->fetch,
                   "of a trace: which fetch of the string, from 1 (default: the last)");
    command.add_option("--out", options->outDir, "the folder to write the IO lists into (made when missing)")
        ->required();
    command.add_option("--conventions", options->conventionsPath,
                       "the naming conventions (default: those of examples/map/conventions.txt)");
    command.add_option("--case", options->casePath, "propose only what this case does not have yet");
    AddDriverOption(command, options->driverPath, "the driver library to load for the check");
    AddCodePageOption(command, options->codePage,
                      "the code page the string's names are in, which the IO lists are written from and map.toml "
                      "names (the case's code_page with --case or a case as SOURCE, else 1252); one of " +
                          CodePage::Supported());
    return [options] { return MapCommand(*options); };
}

}  // namespace

const Command kMapCommand = {
    "map",
    "propose controller rows, PV exports and PV imports from naming conventions, as IO lists check takes",
    "exit status: 0 every proposed row checks clean, 1 some do not, 2 an input or output cannot be used",
    DeclareMap,
};

int MapCommand(const MapOptions& options) {
    try {
        namespace fs = std::filesystem;
        std::string sourceName;
        // The page the string's names are in: --code-page, else that of the
        // case given (with --case, or as SOURCE), else the default.
        std::optional<int> sourceCodePage;
        const std::string initString = InitStringOfSource(options.source, options.fetch, &sourceName, &sourceCodePage);
        int codePage = sourceCodePage.value_or(kDefaultCodePage);
        std::optional<Case> known;
        if (!options.casePath.empty()) {
            known = LoadCase(options.casePath, options.codePage, sourceCodePage);
            codePage = known->codePage;
        }
        if (options.codePage) codePage = *options.codePage;
        // A string captured in a trace is written beside the lists, for the
        // case to name; the trace is no string the case could read.
        const bool captured = sourceName != initString;
        const std::string conventionsFile =
            options.conventionsPath.empty() ? std::string("(the default conventions)") : options.conventionsPath;
        const std::vector<Convention> conventions = ParseConventions(
            options.conventionsPath.empty() ? std::string(DefaultConventions())
                                            : ReadInputFile(options.conventionsPath, "the conventions file"),
            conventionsFile);
        const TagInventory inventory = InventoryOfFile(initString);
        std::vector<bool> named;
        if (known) named = EntriesNamedByCase(inventory, *known, options.driverPath);
        Proposals proposals = Propose(inventory, conventions, named);

        fs::create_directories(options.outDir);
        const fs::path dir(options.outDir);
        const std::string caseFile = (dir / "map.toml").string();
        Driver driver(options.driverPath);
        ProposalCase pc = CaseOf(proposals, initString, caseFile, codePage);
        Diagnosis diagnosis = DiagnoseQuietly(driver, pc.c);
        if (DropProblems(pc, diagnosis) > 0) {
            pc = CaseOf(proposals, initString, caseFile, codePage);
            diagnosis = DiagnoseQuietly(driver, pc.c);
        }
        DecodeForReports(diagnosis);
        std::fputs(Report(inventory, proposals, pc, diagnosis).c_str(), stdout);

        ListNames names;
        std::vector<OutputText> files = IoListFiles(pc.c, options.outDir, ListFormat(), names);
        const std::string caseString =
            captured ? (dir / (fs::u8path(options.source).filename().u8string() + ".mrx")).u8string() : initString;
        if (captured) {
            files.push_back({caseString, ReadInputFile(initString, "the captured initialization string"),
                             "the initialization string of " + sourceName});
        }
        files.push_back({caseFile, CaseFileWithLists(pc.c, PathFrom(options.outDir, caseString), names),
                         "a case naming the lists"});
        std::vector<PathUse> inputs = {{"the initialization string file", options.source}};
        if (!options.conventionsPath.empty()) inputs.push_back({"the conventions file", options.conventionsPath});
        if (!options.casePath.empty()) inputs.push_back({"the case file", options.casePath});
        WriteAllOrNone(files, inputs);
        for (const OutputText& f : files) std::printf("wrote %s (%s)\n", f.path.c_str(), f.what.c_str());
        return diagnosis.RowsWithProblems() == 0 ? 0 : 1;
    } catch (const CaseError& e) {
        return CaseRefused(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dcs-host map: %s\n", e.what());
        return 2;
    }
}

}  // namespace host
