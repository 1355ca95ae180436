#include "case/io_list_csv.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "case/input_file.h"

namespace host {

namespace {

[[noreturn]] void Fail(const std::string& file, int line, int column, const std::string& message) {
    throw CaseError(Located(file, line, column, message));
}

// Walks the text byte by byte, keeping the line and the column (counted in
// characters, so a column matches what an editor shows).
class Cursor {
public:
    explicit Cursor(const std::string& text) : text_(text) {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) at_ = 3;
    }
    bool Done() const { return at_ >= text_.size(); }
    char Peek(size_t ahead = 0) const { return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0'; }
    bool AtLineEnd() const { return Peek() == '\n' || Peek() == '\r'; }
    int Line() const { return line_; }
    int Column() const { return column_; }

    char Take() {
        const char c = text_[at_++];
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++column_;
        return c;
    }
    // A line end of any of the three kinds, taken whole.
    void TakeLineEnd() {
        if (Peek() == '\r' && Peek(1) == '\n') ++at_;
        ++at_;
        ++line_;
        column_ = 1;
    }

    // Counts unquoted separators in the rest of the current line (quoted
    // fields may span lines).
    char SeparatorOfLine() const {
        size_t commas = 0, semicolons = 0;
        bool quoted = false;
        for (size_t i = at_; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '"') quoted = !quoted;
            if (quoted) continue;
            if (c == '\n' || c == '\r') break;
            commas += c == ',' ? 1 : 0;
            semicolons += c == ';' ? 1 : 0;
        }
        return semicolons > commas ? ';' : ',';
    }

private:
    const std::string& text_;
    size_t at_ = 0;
    int line_ = 1;
    int column_ = 1;
};

// One field, quoted or not, up to the separator or the line end.
CsvCell ReadField(Cursor& in, char separator, const std::string& file) {
    CsvCell cell{"", in.Line(), in.Column()};
    if (in.Peek() != '"') {
        while (!in.Done() && !in.AtLineEnd() && in.Peek() != separator) {
            if (in.Peek() == '"') {
                Fail(file, in.Line(), in.Column(),
                     "expected no quote inside an unquoted field; quote the whole field and double the quote");
            }
            cell.text += in.Take();
        }
        return cell;
    }
    in.Take();
    for (;;) {
        if (in.Done()) Fail(file, cell.line, cell.column, "expected a closing quote for the field opened here");
        if (in.Peek() == '"' && in.Peek(1) == '"') {
            in.Take();
            in.Take();
            cell.text += '"';
        } else if (in.Peek() == '"') {
            in.Take();
            break;
        } else if (in.AtLineEnd()) {
            in.TakeLineEnd();  // a line feed inside the field, kept as one
            cell.text += '\n';
        } else {
            cell.text += in.Take();
        }
    }
    if (!in.Done() && !in.AtLineEnd() && in.Peek() != separator) {
        Fail(file, in.Line(), in.Column(),
             std::string("expected '") + separator + "' or the end of the line after the closing quote");
    }
    return cell;
}

std::vector<CsvCell> ReadLine(Cursor& in, char separator, const std::string& file) {
    std::vector<CsvCell> cells;
    for (;;) {
        cells.push_back(ReadField(in, separator, file));
        if (in.Done()) break;
        if (in.AtLineEnd()) {
            in.TakeLineEnd();
            break;
        }
        in.Take();  // the separator
    }
    return cells;
}

bool AllEmpty(const std::vector<CsvCell>& cells) {
    return std::all_of(cells.begin(), cells.end(), [](const CsvCell& cell) { return cell.text.empty(); });
}

}  // namespace

CsvTable ParseCsv(const std::string& text, const std::string& file) {
    Cursor in(text);
    CsvTable table;
    table.separator = in.SeparatorOfLine();
    table.header = ReadLine(in, table.separator, file);
    // Spreadsheets pad every line to the widest: empty columns at the end
    // are no columns.
    while (!table.header.empty() && table.header.back().text.empty()) table.header.pop_back();
    if (table.header.empty()) Fail(file, 1, 1, "expected a header line naming the columns");
    for (size_t i = 0; i < table.header.size(); ++i) {
        const CsvCell& name = table.header[i];
        if (name.text.empty()) Fail(file, name.line, name.column, "expected a column name");
        for (size_t j = 0; j < i; ++j) {
            if (table.header[j].text == name.text) {
                Fail(file, name.line, name.column,
                     "expected each column once; \"" + name.text + "\" is also column " + std::to_string(j + 1));
            }
        }
    }
    while (!in.Done()) {
        CsvRecord record;
        record.line = in.Line();
        record.cells = ReadLine(in, table.separator, file);
        if (AllEmpty(record.cells)) continue;
        for (size_t i = table.header.size(); i < record.cells.size(); ++i) {
            if (!record.cells[i].text.empty()) {
                Fail(file, record.cells[i].line, record.cells[i].column,
                     "expected at most " + std::to_string(table.header.size()) +
                         " fields, as the header names; this one has no column");
            }
        }
        record.cells.resize(table.header.size(), CsvCell{"", record.line, 0});
        table.records.push_back(std::move(record));
    }
    return table;
}

bool IsIoListKey(const std::string& key) { return key == "controllers" || key == "pv_exports" || key == "pv_imports"; }

namespace {

// The value of one cell, read as the case's TOML reader reads its keys.
class CellReader {
public:
    // With semicolons between fields, a spreadsheet writes 0,45 for 0.45.
    CellReader(const std::string& file, std::string what, bool decimalComma)
        : file_(file), what_(std::move(what)), decimalComma_(decimalComma) {}

    [[noreturn]] void Fail(const CsvCell& cell, const std::string& message) const {
        host::Fail(file_, cell.line, cell.column, what_ + ": " + message);
    }

    double Number(const CsvCell& cell, const std::string& key) const {
        std::string text = cell.text;
        if (decimalComma_ && text.find('.') == std::string::npos && text.find(',') == text.rfind(',')) {
            const size_t comma = text.find(',');
            if (comma != std::string::npos) text[comma] = '.';
        }
        const char* begin = text.c_str();
        char* end = nullptr;
        errno = 0;
        const double v = std::strtod(begin, &end);
        if (text.empty() || end != begin + text.size() || errno == ERANGE || !std::isfinite(v)) {
            Fail(cell, "expected a finite number for " + key + ", not \"" + cell.text + "\"");
        }
        return v;
    }

    bool WholeNumber(const CsvCell& cell, int64_t& value) const {
        const char* begin = cell.text.c_str();
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(begin, &end, 10);
        if (cell.text.empty() || end != begin + cell.text.size() || errno == ERANGE) return false;
        value = v;
        return true;
    }

    int64_t Integer(const CsvCell& cell, const std::string& key, int64_t low, int64_t high) const {
        int64_t v = 0;
        if (!WholeNumber(cell, v)) Fail(cell, "expected an integer for " + key + ", not \"" + cell.text + "\"");
        if (v < low || v > high) {
            Fail(cell, key + " must be between " + std::to_string(low) + " and " + std::to_string(high));
        }
        return v;
    }

    // 0 or 1, or the TRUE and FALSE a spreadsheet writes.
    int32_t Switch(const CsvCell& cell, const std::string& key) const {
        std::string lower;
        for (char c : cell.text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (lower == "true") return 1;
        if (lower == "false") return 0;
        int64_t v = 0;
        if (!WholeNumber(cell, v) || v < std::numeric_limits<int16_t>::min() ||
            v > std::numeric_limits<int16_t>::max()) {
            Fail(cell, "expected 0, 1, TRUE or FALSE for " + key + ", not \"" + cell.text + "\"");
        }
        return static_cast<int32_t>(v);
    }

    std::string Text(const CsvCell& cell, const std::string& key) const {
        if (cell.text.size() > kMaxTextLength) {
            Fail(cell, key + " is longer than " + std::to_string(kMaxTextLength) + " characters");
        }
        if (cell.text.find('\0') != std::string::npos) Fail(cell, key + " holds a NUL character");
        return cell.text;
    }

    // A field of the driver's tables: a cell has no type of its own, so a
    // whole number also suits an integer or option field.
    FieldValue Field(const std::string& label, const CsvCell& cell) const {
        FieldValue field;
        field.label = label;
        field.file = file_;
        field.line = cell.line;
        field.column = cell.column;
        field.isText = true;
        field.text = Text(cell, "\"" + label + "\"");
        int64_t v = 0;
        if (WholeNumber(cell, v) && v >= std::numeric_limits<int32_t>::min() &&
            v <= std::numeric_limits<int32_t>::max()) {
            field.integer = v;
            field.alsoInteger = true;
        }
        return field;
    }

private:
    const std::string& file_;
    std::string what_;
    bool decimalComma_;
};

// A row from the cells of a record that hold something (an empty cell gives
// nothing, as a missing key does): its name and the driver's fields here,
// the row's own host keys by `own`, which returns whether it took the key.
template <typename Row, typename Own>
Row ReadRow(const CellReader& r, const CsvTable& table, const CsvRecord& record, const std::string& name, Own own) {
    Row row;
    row.line = record.line;
    row.name = name;
    for (size_t i = 0; i < table.header.size(); ++i) {
        const std::string& k = table.header[i].text;
        const CsvCell& cell = record.cells[i];
        if (cell.text.empty()) continue;
        if (k == "name") {
            row.name = r.Text(cell, "name");
        } else if (!own(row, k, cell)) {
            row.fields.push_back(r.Field(k, cell));
        }
    }
    return row;
}

ControllerCase ControllerRow(const CellReader& r, const CsvTable& table, const CsvRecord& record, size_t index) {
    return ReadRow<ControllerCase>(r, table, record, "ctrl" + std::to_string(index),
                                   [&](ControllerCase& row, const std::string& k, const CsvCell& cell) {
                                       if (k == "OPEnabled") {
                                           row.opEnabled = r.Switch(cell, "OPEnabled");
                                       } else if (k == "Mode" || k == "SP" || k == "OP") {
                                           (k == "Mode" ? row.mode : k == "SP" ? row.sp : row.op) = r.Number(cell, k);
                                       } else {
                                           return false;
                                       }
                                       return true;
                                   });
}

PVExportCase PVExportRow(const CellReader& r, const CsvTable& table, const CsvRecord& record, size_t index) {
    const CsvCell* value = nullptr;
    const CsvCell* model = nullptr;
    PVExportCase row = ReadRow<PVExportCase>(
        r, table, record, "pvx" + std::to_string(index),
        [&](PVExportCase& x, const std::string& k, const CsvCell& cell) {
            if (k == "Active") {
                x.active = r.Switch(cell, "Active");
            } else if (k == "value") {
                x.response.constant = r.Number(cell, "value");
                value = &cell;
            } else if (k == "follows") {
                x.response.controller =
                    static_cast<int32_t>(r.Integer(cell, "follows", 0, std::numeric_limits<int32_t>::max()));
                x.response.follows = true;
            } else if (k == "gain" || k == "time_constant" || k == "initial") {
                const double v = r.Number(cell, k);
                if (k == "time_constant" && v < 1.0) {
                    r.Fail(cell, "time_constant is counted in steps and must be at least 1");
                }
                (k == "gain" ? x.response.gain : k == "initial" ? x.response.initial : x.response.timeConstant) = v;
                model = model == nullptr ? &cell : model;
            } else {
                return false;
            }
            return true;
        });
    if (row.response.follows && value != nullptr) {
        r.Fail(*value, "expected either value (a constant) or follows (a response to a controller's OP), not both");
    }
    if (!row.response.follows && model != nullptr) {
        r.Fail(*model, "gain, time_constant and initial describe a response and need follows");
    }
    return row;
}

PVImportCase PVImportRow(const CellReader& r, const CsvTable& table, const CsvRecord& record, size_t index) {
    return ReadRow<PVImportCase>(r, table, record, "pvi" + std::to_string(index),
                                 [&](PVImportCase& row, const std::string& k, const CsvCell& cell) {
                                     if (k != "Active") return false;
                                     row.active = r.Switch(cell, "Active");
                                     return true;
                                 });
}

}  // namespace

void AppendIoList(Case& c, const std::string& key, const std::string& path, int line) {
    std::string text;
    try {
        text = ReadTextFile(path, "the IO list");
    } catch (const std::runtime_error& e) {
        throw CaseError(Located(c.file, line, key + ": " + e.what()));
    }
    const CsvTable table = ParseCsv(text, path);
    const bool decimalComma = table.separator == ';';
    for (const CsvRecord& record : table.records) {
        if (key == "controllers") {
            const size_t index = c.controllers.size();
            c.controllers.push_back(ControllerRow(CellReader(path, "controller " + std::to_string(index), decimalComma),
                                                  table, record, index));
        } else if (key == "pv_exports") {
            const size_t index = c.pvExports.size();
            const CellReader reader(path, "pv_export " + std::to_string(index), decimalComma);
            c.pvExports.push_back(PVExportRow(reader, table, record, index));
            const Response& response = c.pvExports.back().response;
            if (response.follows && static_cast<size_t>(response.controller) >= c.controllers.size()) {
                reader.Fail(record.cells.front(), "follows " + std::to_string(response.controller) +
                                                      " names no controller (the case has " +
                                                      std::to_string(c.controllers.size()) + ")");
            }
        } else {
            const size_t index = c.pvImports.size();
            c.pvImports.push_back(PVImportRow(CellReader(path, "pv_import " + std::to_string(index), decimalComma),
                                              table, record, index));
        }
    }
}

}  // namespace host
