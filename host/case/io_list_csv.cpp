#include "case/io_list_csv.h"

#include <algorithm>
#include <string>
#include <unordered_map>

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
    // At the start of a line already found.
    Cursor(const std::string& text, size_t at, int line) : text_(text), at_(at), line_(line) {}
    size_t At() const { return at_; }
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
    // fields may span lines): the most frequent of comma, semicolon and tab
    // (what a spreadsheet's copy and paste gives), a comma on a tie.
    char SeparatorOfLine() const {
        size_t commas = 0, semicolons = 0, tabs = 0;
        bool quoted = false;
        for (size_t i = at_; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '"') quoted = !quoted;
            if (quoted) continue;
            if (c == '\n' || c == '\r') break;
            commas += c == ',' ? 1 : 0;
            semicolons += c == ';' ? 1 : 0;
            tabs += c == '\t' ? 1 : 0;
        }
        if (tabs > commas && tabs > semicolons) return '\t';
        return semicolons > commas ? ';' : ',';
    }

    // A first line "sep=X", which spreadsheets write to declare the
    // separator: taken, and X returned; otherwise nothing is taken.
    bool TakeSeparatorDeclaration(char& separator) {
        const size_t end = text_.find_first_of("\r\n", at_);
        const size_t length = (end == std::string::npos ? text_.size() : end) - at_;
        if (length != 5 || text_.compare(at_, 4, "sep=") != 0 || text_[at_ + 4] == '"') return false;
        separator = text_[at_ + 4];
        at_ += 5;
        if (!Done()) TakeLineEnd();
        return true;
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

std::vector<CsvCell> ParseCsvLine(const std::string& text, char separator, const std::string& file) {
    Cursor in(text);
    return ReadLine(in, separator, file);
}

CsvLines::CsvLines(const std::string& text, const std::string& file) : text_(text), file_(file) {
    Cursor in(text);
    if (!in.TakeSeparatorDeclaration(separator_)) separator_ = in.SeparatorOfLine();
    header_ = ReadLine(in, separator_, file);
    here_ = {in.At(), in.Line()};
    // Spreadsheets pad every line to the widest: empty columns at the end
    // are no columns.
    while (!header_.empty() && header_.back().text.empty()) header_.pop_back();
    if (header_.empty()) Fail(file, 1, 1, "expected a header line naming the columns");
    // A run's CSV names tens of thousands of columns: each is looked up
    // among the earlier ones, not compared with every one of them.
    std::unordered_map<std::string, size_t> earlier;
    for (size_t i = 0; i < header_.size(); ++i) {
        const CsvCell& name = header_[i];
        if (name.text.empty()) Fail(file, name.line, name.column, "expected a column name");
        const auto [first, added] = earlier.emplace(name.text, i);
        if (!added) {
            Fail(
                file, name.line, name.column,
                "expected each column once; \"" + name.text + "\" is also column " + std::to_string(first->second + 1));
        }
    }
}

bool CsvLines::Next(CsvRecord& record) {
    Cursor in(text_, here_.at, here_.line);
    for (;;) {
        if (in.Done()) {
            here_ = {in.At(), in.Line()};
            return false;
        }
        record.line = in.Line();
        record.cells = ReadLine(in, separator_, file_);
        if (!AllEmpty(record.cells)) break;
    }
    here_ = {in.At(), in.Line()};
    for (size_t i = header_.size(); i < record.cells.size(); ++i) {
        if (!record.cells[i].text.empty()) {
            Fail(file_, record.cells[i].line, record.cells[i].column,
                 "expected at most " + std::to_string(header_.size()) +
                     " fields, as the header names; this one has no column");
        }
    }
    record.cells.resize(header_.size(), CsvCell{"", record.line, 0});
    return true;
}

CsvTable ParseCsv(const std::string& text, const std::string& file) {
    CsvLines lines(text, file);
    CsvTable table;
    table.separator = lines.Separator();
    table.header = lines.Header();
    CsvRecord record;
    while (lines.Next(record)) table.records.push_back(std::move(record));
    return table;
}

bool IsIoListKey(const std::string& key) { return key == "controllers" || key == "pv_exports" || key == "pv_imports"; }

std::vector<RawRow> IoListRows(const std::string& text, const std::string& file) {
    const CsvTable table = ParseCsv(text, file);
    std::vector<RawRow> rows;
    for (const CsvRecord& record : table.records) {
        RawRow row;
        row.at = {file, record.line, 1};
        for (size_t i = 0; i < table.header.size(); ++i) {
            const CsvCell& cell = record.cells[i];
            if (cell.text.empty()) continue;  // an empty cell gives nothing, as a missing key does
            RawEntry entry;
            entry.key = table.header[i].text;
            entry.keyAt = {file, table.header[i].line, table.header[i].column};
            entry.value.type = RawValue::Type::Cell;
            entry.value.text = cell.text;
            // A list separated by semicolons comes from a spreadsheet whose
            // decimal mark is the comma. One separated by tabs may come from
            // either kind, so there a comma is read as the decimal mark only
            // where it cannot group thousands.
            entry.value.decimalComma = table.separator == ';'    ? DecimalComma::Yes
                                       : table.separator == '\t' ? DecimalComma::Unambiguous
                                                                 : DecimalComma::No;
            entry.value.at = {file, cell.line, cell.column};
            row.entries.push_back(std::move(entry));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace host
