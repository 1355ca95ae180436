#include "case_loader.h"

#include <algorithm>
#include <filesystem>

#include "case/case_file.h"
#include "case/case_schema.h"
#include "case/input_file.h"
#include "case/io_list_csv.h"
#include "os/os.h"

namespace host {

namespace {

// Proves the initialization string file readable and bounded, or says at
// the init_string line why it is not. The server reads it again when it is
// prepared for a run.
void CheckInitString(Case& c) {
    try {
        ReadInputFile(c.initStringPath, "the initialization string file");
    } catch (const std::runtime_error& e) {
        throw CaseError(Located(c.file, c.initStringLine, e.what()));
    }
    c.namedFiles.push_back({"the initialization string file", c.initStringPath});
}

RowTable TableOfList(const std::string& key) {
    return key == "controllers" ? RowTable::Controller : key == "pv_exports" ? RowTable::PVExport : RowTable::PVImport;
}

}  // namespace

void AppendIoList(Case& c, const std::string& key, const std::string& path, const SourcePos& at) {
    std::string text;
    try {
        text = ReadSpreadsheetText(path, "the IO list");
    } catch (const std::runtime_error& e) {
        throw CaseError(Located(at.file, at.line, key + ": " + e.what()));
    }
    for (const RawRow& row : IoListRows(text, path)) AppendRow(c, TableOfList(key), row);
}

Case ParseCaseText(const std::string& text, const std::string& file, const std::string& baseDir) {
    Case c = ReadTomlCase(text, file, baseDir);
    try {
        for (const Case::IoList& list : c.ioLists) {
            AppendIoList(c, list.key, list.path, list.at);
            c.namedFiles.push_back({"the IO list " + list.key, list.path});
        }
        ValidateCase(c);
        CheckInitString(c);
    } catch (const CaseError& e) {
        ThrowAfterUnknownKeys(c, e);
    }
    std::stable_sort(c.events.begin(), c.events.end(), [](const Event& a, const Event& b) { return a.step < b.step; });
    return c;
}

Case ParseCaseFile(const std::string& file) {
    std::string text;
    try {
        text = ReadTextFile(file, "the case file");
    } catch (const TextEncodingError& e) {
        throw CaseError(Located(file, 1, 1, e.what()));
    } catch (const std::runtime_error& e) {
        throw CaseError(Located(file, 0, e.what()));
    }
    const std::filesystem::path base = os::FsPath(file).parent_path();
    return ParseCaseText(text, file, base.empty() ? "." : os::Utf8(base));
}

}  // namespace host
