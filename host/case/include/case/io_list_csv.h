// IO lists kept in a spreadsheet: controller, PV-export and PV-import rows
// read from CSV files the case names. The first line holds the same keys as
// the case's TOML rows (the driver's field labels and the host's own keys),
// each further line is a row. What spreadsheets write is read as it stands:
// a UTF-8 byte-order mark, CRLF line ends, quoted fields holding
// separators, quotes and line feeds, a semicolon or a tab as the separator
// (or the one a first line "sep=X" declares), and empty trailing columns.
#pragma once

#include <string>
#include <vector>

#include "case/case_model.h"
#include "case/case_schema.h"

namespace host {

struct CsvCell {
    std::string text;
    int line = 0;
    int column = 0;  // 1-based, in characters
};

struct CsvRecord {
    std::vector<CsvCell> cells;  // as many as the header has columns
    int line = 0;
};

struct CsvTable {
    char separator = ',';
    std::vector<CsvCell> header;
    std::vector<CsvRecord> records;  // lines holding nothing but separators are left out
};

// Splits the text of a CSV file. The separator is the one a first line
// "sep=X" declares; otherwise the most frequent of comma, semicolon and tab
// outside quotes in the header line, a comma on a tie. Throws
// CaseError worded "FILE:LINE:COLUMN: what was expected".
CsvTable ParseCsv(const std::string& text, const std::string& file);

// The same reading a line at a time, for a file too big to hold as cells (a
// plant's long run): its separator and header first, then each row when
// asked, from anywhere a row begins.
class CsvLines {
public:
    // `text` outlives the reader. Throws CaseError for the header.
    CsvLines(const std::string& text, const std::string& file);

    char Separator() const { return separator_; }
    const std::vector<CsvCell>& Header() const { return header_; }

    // Where the next row begins, and going back there.
    struct Place {
        size_t at = 0;
        int line = 1;
    };
    Place Here() const { return here_; }
    void Seek(const Place& place) { here_ = place; }

    // The next row holding anything, padded to the header's width; false at
    // the end. Throws CaseError.
    bool Next(CsvRecord& record);

private:
    const std::string& text_;
    std::string file_;
    char separator_ = ',';
    std::vector<CsvCell> header_;
    Place here_;
};

// The fields of the first line of `text`, split at `separator`: a row whose
// header is known already. Throws CaseError as ParseCsv does.
std::vector<CsvCell> ParseCsvLine(const std::string& text, char separator, const std::string& file);

// The case keys that name IO lists, and the rows they hold.
bool IsIoListKey(const std::string& key);  // "controllers", "pv_exports", "pv_imports"

// The rows of an IO list's text, for the schema: a cell under a column is
// the column's key with the cell's text, an empty cell no key at all.
// Throws CaseError for a fault in the CSV itself.
std::vector<RawRow> IoListRows(const std::string& text, const std::string& file);

}  // namespace host
