#include "case/io_list_writer.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "case/case_schema.h"
#include "case/expectations.h"
#include "platform/mrx3p_operations.h"
#include "text/code_page.h"
#include "text/number_text.h"
#include "text/tag_name.h"

namespace host {

namespace {

// The driver's labels in the order its tables declare them; a label the
// rows give that is not here comes after these, in the order first met.
const char* const kLabelOrder[] = {"Data Set",    "SP Tag",   "SP Init Tag", "OP Tag",
                                   "OP Init Tag", "Mode Tag", "PV Tag",      "Mapping"};

// One line of cells by column name.
using Cells = std::map<std::string, std::string>;

class ListBuilder {
public:
    ListBuilder(const CodePage& codePage, const ListFormat& format, const char* table)
        : codePage_(codePage), format_(format), table_(table) {}

    // The cells of row `index`, from its name and the driver's fields.
    Cells Row(size_t index, const std::string& name, const std::vector<FieldValue>& fields) {
        Cells cells;
        cells["name"] = Text(index, "name", name);
        for (const FieldValue& f : fields) {
            if (!f.otherType.empty()) {
                throw ListError(std::string(table_) + " " + std::to_string(index) + ": \"" + f.label + "\" holds " +
                                f.otherType + ", which no field of the driver takes");
            }
            if (std::find(labels_.begin(), labels_.end(), f.label) == labels_.end()) labels_.push_back(f.label);
            cells[f.label] = f.isText ? Text(index, f.label, codePage_.Decode(f.text)) : std::to_string(f.integer);
        }
        return cells;
    }

    std::string Number(double value) const {
        std::string text = NumberText(value);
        if (format_.decimalMark != '.') std::replace(text.begin(), text.end(), '.', format_.decimalMark);
        return text;
    }

    // Header and lines: name, the driver's labels, then the host's keys of
    // the table in the order the case's schema gives them.
    std::string Render(const std::vector<Cells>& rows, RowTable table) const {
        std::vector<std::string> columns = {"name"};
        for (const char* label : kLabelOrder) {
            if (std::find(labels_.begin(), labels_.end(), label) != labels_.end()) columns.push_back(label);
        }
        for (const std::string& label : labels_) {
            if (std::find(columns.begin(), columns.end(), label) == columns.end()) columns.push_back(label);
        }
        for (const HostKeySpec& keyDef : HostKeys(table)) {
            const std::string key = keyDef.key;
            if (key == "name") continue;
            const bool used = std::any_of(rows.begin(), rows.end(), [&](const Cells& c) { return c.count(key) != 0; });
            if (used) columns.push_back(key);
        }
        // A value under a key the reader does not take would be lost.
        for (const Cells& row : rows) {
            for (const auto& cell : row) {
                if (std::find(columns.begin(), columns.end(), cell.first) == columns.end()) {
                    throw ListError(std::string(table_) + ": the IO-list reader takes no key \"" + cell.first + "\"");
                }
            }
        }
        std::string out = format_.bom ? "\xEF\xBB\xBF" : "";
        for (size_t i = 0; i < columns.size(); ++i)
            out += (i == 0 ? "" : std::string(1, format_.separator)) + Cell(columns[i]);
        out += "\r\n";
        for (const Cells& row : rows) {
            for (size_t i = 0; i < columns.size(); ++i) {
                const auto found = row.find(columns[i]);
                out +=
                    (i == 0 ? "" : std::string(1, format_.separator)) + (found != row.end() ? Cell(found->second) : "");
            }
            out += "\r\n";
        }
        return out;
    }

private:
    std::string Text(size_t index, const std::string& key, const std::string& text) const {
        if (text.find('\r') != std::string::npos) {
            throw ListError(std::string(table_) + " " + std::to_string(index) + ": " + key +
                            " holds a carriage return, which an IO list cannot keep (the reader takes it as a line "
                            "end)");
        }
        return text;
    }

    // Quoted when the reader would otherwise split it, drop its quotes or
    // take a number's decimal comma for a separator.
    std::string Cell(const std::string& text) const {
        if (text.find_first_of(std::string("\"\n") + format_.separator) == std::string::npos) return text;
        std::string quoted = "\"";
        for (char c : text) quoted += c == '"' ? "\"\"" : std::string(1, c);
        return quoted + "\"";
    }

    CodePage codePage_;
    ListFormat format_;
    const char* table_;
    std::vector<std::string> labels_;
};

}  // namespace

void CheckListFormat(const ListFormat& format) {
    if (format.separator != ',' && format.separator != ';') {
        throw ListError(std::string("--separator: the IO list reader takes ',' or ';', not '") + format.separator +
                        "'");
    }
    if (format.decimalMark != '.' && format.decimalMark != ',') {
        throw ListError(std::string("--decimal-mark: expected '.' or ',', not '") + format.decimalMark + "'");
    }
    if (format.decimalMark == ',' && format.separator != ';') {
        throw ListError(
            "--decimal-mark ',': the reader takes a decimal comma only in lists separated by ';' "
            "(add --separator ';')");
    }
}

std::string ControllerList(const std::vector<ControllerCase>& rows, const CodePage& codePage,
                           const ListFormat& format) {
    ListBuilder list(codePage, format, "controller");
    std::vector<Cells> lines;
    for (size_t i = 0; i < rows.size(); ++i) {
        const ControllerCase& row = rows[i];
        Cells cells = list.Row(i, row.name, row.fields);
        if (row.opEnabled) cells["OPEnabled"] = std::to_string(*row.opEnabled);
        if (row.mode) cells["Mode"] = list.Number(*row.mode);
        if (row.sp) cells["SP"] = list.Number(*row.sp);
        if (row.op) cells["OP"] = list.Number(*row.op);
        lines.push_back(std::move(cells));
    }
    return list.Render(lines, RowTable::Controller);
}

std::string PVExportList(const std::vector<PVExportCase>& rows, const CodePage& codePage, const ListFormat& format) {
    ListBuilder list(codePage, format, "pv_export");
    std::vector<Cells> lines;
    for (size_t i = 0; i < rows.size(); ++i) {
        const PVExportCase& row = rows[i];
        Cells cells = list.Row(i, row.name, row.fields);
        cells["Active"] = std::to_string(row.active);
        const Response& r = row.response;
        if (r.follows) {
            cells["follows"] = std::to_string(r.controller);
            cells["gain"] = list.Number(r.gain);
            cells["time_constant"] = list.Number(r.timeConstant);
            cells["initial"] = list.Number(r.initial);
        } else {
            cells["value"] = list.Number(r.constant);
        }
        lines.push_back(std::move(cells));
    }
    return list.Render(lines, RowTable::PVExport);
}

std::string PVImportList(const std::vector<PVImportCase>& rows, const CodePage& codePage, const ListFormat& format) {
    ListBuilder list(codePage, format, "pv_import");
    std::vector<Cells> lines;
    for (size_t i = 0; i < rows.size(); ++i) {
        Cells cells = list.Row(i, rows[i].name, rows[i].fields);
        cells["Active"] = std::to_string(rows[i].active);
        lines.push_back(std::move(cells));
    }
    return list.Render(lines, RowTable::PVImport);
}

std::string TomlString(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

namespace {

std::string TomlField(const FieldValue& f, const CodePage& codePage) {
    return TomlString(f.label) + " = " + (f.isText ? TomlString(codePage.Decode(f.text)) : std::to_string(f.integer)) +
           "\n";
}

// A tag's name, held as the code page's bytes, as the case file spells it.
std::string TomlName(const std::string& bytes, const CodePage& codePage) {
    return TomlString(TagName::OfBytes(bytes).Text(codePage));
}

std::string TagLines(const TagValue& tag, const CodePage& codePage) {
    return "kind = \"" + std::string(TagKindName(tag.kind)) + "\"\ndata_set = " + std::to_string(tag.dataSet) +
           "\nname = " + TomlName(tag.name, codePage) + "\nvalue = " + NumberText(tag.value) + "\n";
}

// An [[expect]] table as the case file gave it, so that an exported case
// keeps the expectations it is tested by.
std::string ExpectLines(const Expectation& e) {
    std::string out = "\n[[expect]]\n";
    if (!e.name.empty()) out += "name = " + TomlString(e.name) + "\n";
    if (e.subject == ExpectSubject::Reference) {
        // Its path is the caller's to make relative to where the case is written.
        out += "reference = " + TomlString(e.reference) + "\n";
        if (e.tolerance > 0.0) out += "tolerance = " + NumberText(e.tolerance) + "\n";
        if (e.relTolerance > 0.0) out += "rel_tolerance = " + NumberText(e.relTolerance) + "\n";
        if (e.timeTolerance > 0) out += "time_tolerance = " + std::to_string(e.timeTolerance) + "\n";
        return out;
    }
    if (e.when == ExpectWhen::Step) {
        out += "step = " + std::to_string(e.step) + "\n";
    } else if (e.when == ExpectWhen::EveryStep) {
        out += "every_step = true\n";
    } else {
        out += "when = \"" + std::string(ExpectWhenName(e.when)) + "\"\n";
    }
    const std::string row = e.row.empty() ? std::to_string(e.index) : TomlString(e.row);
    switch (e.subject) {
    case ExpectSubject::Tag:
        out += "tag = " + TomlString(e.tagText) + "\nkind = \"" + TagKindName(e.tag.kind) +
               "\"\ndata_set = " + std::to_string(e.tag.dataSet) + "\n";
        break;
    case ExpectSubject::Controller: out += "controller = " + row + "\nfield = " + TomlString(e.field) + "\n"; break;
    case ExpectSubject::PVImport: out += "pv_import = " + row + "\n"; break;
    case ExpectSubject::Flag: out += "flag = " + TomlString(e.field) + "\n"; break;
    case ExpectSubject::Reference: break;  // written above
    case ExpectSubject::Configured:
        return out + "configured = " + (e.value.value_or(1.0) != 0.0 ? "true" : "false") + "\n";
    case ExpectSubject::Boxes:
        if (!e.boxTitle.empty()) out += "box_title = " + TomlString(e.boxTitle) + "\n";
        if (!e.boxText.empty()) out += "box_text = " + TomlString(e.boxText) + "\n";
        // Without a count, a title or text expects at least one box.
        return e.value ? out + "boxes = " + NumberText(*e.value) + "\n" : out;
    }
    if (e.value) {
        out += "value = " + NumberText(*e.value) + "\n";
        if (e.tolerance > 0.0) out += "tolerance = " + NumberText(e.tolerance) + "\n";
        if (e.relTolerance > 0.0) out += "rel_tolerance = " + NumberText(e.relTolerance) + "\n";
    }
    if (e.min) out += "min = " + NumberText(*e.min) + "\n";
    if (e.max) out += "max = " + NumberText(*e.max) + "\n";
    return out;
}

}  // namespace

std::string CaseFileWithLists(const Case& c, const std::string& initString, const ListNames& lists) {
    const std::optional<CodePage> codePage = CodePage::Find(c.codePage);
    if (!codePage) throw ListError("code page " + std::to_string(c.codePage) + " is not one dcs-host has");
    std::string out = "# Written by dcs-host: the rows are in the IO lists this file names.\n\n";
    out += "init_string = " + TomlString(initString) + "\n";
    if (c.steps) out += "steps = " + std::to_string(*c.steps) + "\n";
    // Without it the case's names would be read back in another code page.
    if (c.codePageLine > 0 || c.codePage != kDefaultCodePage) out += "code_page = " + std::to_string(c.codePage) + "\n";
    if (!lists.controllers.empty()) out += "controllers = " + TomlString(lists.controllers) + "\n";
    if (!lists.pvExports.empty()) out += "pv_exports = " + TomlString(lists.pvExports) + "\n";
    if (!lists.pvImports.empty()) out += "pv_imports = " + TomlString(lists.pvImports) + "\n";
    for (const TagValue& tag : c.tags) out += "\n[[tag]]\n" + TagLines(tag, *codePage);
    if (!c.general.empty()) {
        out += "\n[general]\n";
        for (const FieldValue& f : c.general) out += TomlField(f, *codePage);
    }
    for (const Event& e : c.events) {
        out += "\n[[event]]\nstep = " + std::to_string(e.step) + "\naction = \"" + ActionName(e.action) + "\"\n";
        if (e.action == Action::SetTag) out += TagLines(e.tag, *codePage);
    }
    for (const ServerFailure& f : c.failures) {
        const MrxOperationInfo* op = MrxOperationOf(f.operation);
        out += "\n[[fail]]\nstep = " + std::to_string(f.step) + "\nop = \"" + (op != nullptr ? op->name : "") + "\"\n";
        if (!f.name.empty()) out += "name = " + TomlName(f.name, *codePage) + "\n";
        out += "status = " + std::to_string(f.status) + "\ntimes = " + std::to_string(f.times) + "\n";
    }
    for (const Expectation& e : c.expectations) out += ExpectLines(e);
    return out;
}

std::vector<OutputText> IoListFiles(const Case& c, const std::string& dir, const ListFormat& format, ListNames& names) {
    const std::optional<CodePage> codePage = CodePage::Find(c.codePage);
    if (!codePage) throw ListError("code page " + std::to_string(c.codePage) + " is not one dcs-host has");
    const std::filesystem::path folder(dir);
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

}  // namespace host
