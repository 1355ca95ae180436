// A case's rows written as the IO lists dcs-host reads (the keys of the
// case's rows as column names, one row per line), and the case file that
// names them, so a case can move to a spreadsheet and back unchanged.
#pragma once

#include <stdexcept>
#include <string>

#include "case/case_file.h"
#include "output/file_set.h"
#include "text/code_page.h"

namespace host {

// The spreadsheet's conventions. The reader takes a decimal comma only
// between semicolons, so a comma as the decimal mark needs ';'.
struct ListFormat {
    char separator = ',';  // ',' or ';'
    char decimalMark = '.';
    bool bom = true;  // a UTF-8 byte-order mark, as spreadsheets write and expect
};

// A value an IO list cannot carry as it stands: the message names the row
// and the key.
class ListError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Throws ListError for a separator or decimal mark the reader would not
// take back.
void CheckListFormat(const ListFormat& format);

// Header line and rows, of rows whose field texts are in the simulator's
// code page (as the case holds them once converted): written as UTF-8, the
// form the reader takes. Throws ListError for a text holding a carriage
// return (the reader takes any line end inside a quoted cell as a line
// feed) or a value of a type no field takes.
std::string ControllerList(const std::vector<ControllerCase>& rows, const CodePage& codePage, const ListFormat& format);
std::string PVExportList(const std::vector<PVExportCase>& rows, const CodePage& codePage, const ListFormat& format);
std::string PVImportList(const std::vector<PVImportCase>& rows, const CodePage& codePage, const ListFormat& format);

// The case without its rows (the string, steps, the server's tags, the
// general data, the events, the failures and expectations), naming the
// lists; a list name left empty is not named. `initString` as the new file
// should name it. The case's texts are taken in its code page, as
// EncodeForSimulator leaves them, and written as UTF-8; the code page is
// named whenever the case named it or it is not the default, so the names
// are read back into the same bytes. Throws ListError for a code page
// dcs-host does not have.
struct ListNames {
    std::string controllers;
    std::string pvExports;
    std::string pvImports;
};
std::string CaseFileWithLists(const Case& c, const std::string& initString, const ListNames& lists);

// The IO lists of the case's rows, as files in `dir`: one a table that has
// rows, its name set in `names`. The rows' texts are taken in the case's
// code page and written as UTF-8; export and map write them with the case
// file. Throws ListError.
std::vector<OutputText> IoListFiles(const Case& c, const std::string& dir, const ListFormat& format, ListNames& names);

// A TOML basic string holding `text`.
std::string TomlString(const std::string& text);

}  // namespace host
