// The per-step table on the terminal. A real plant has hundreds of columns,
// so the table is cut into blocks of columns that each fit the terminal and
// each repeat the step column. The first block is printed as the steps come;
// the lines of the others go to a temporary spool file and are printed
// after the run, so memory stays flat however many steps run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "report/report.h"

namespace host {

// The width to fit: $COLUMNS when it holds a usable number, else the
// terminal's width when standard output is one, else 100.
size_t TableWidth();

// A --columns pattern that picks no column.
class ColumnError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

class TerminalTable {
public:
    // `patterns` are globs on the column names ("FIC-*", "* OP"); none
    // picks every column. Throws ColumnError for a pattern that matches no
    // column, naming the columns there are.
    TerminalTable(const Layout& layout, size_t width, const std::vector<std::string>& patterns);
    ~TerminalTable();
    TerminalTable(const TerminalTable&) = delete;
    TerminalTable& operator=(const TerminalTable&) = delete;

    size_t Blocks() const { return blocks_.size(); }

    // The first block's header, then its line of each step, written to
    // `out` at once; the other blocks' lines are spooled.
    void Add(const StepRecord& record, std::ostream& out);
    // The other blocks, each with its header, in the order of the steps.
    // Throws std::runtime_error when the spool cannot be written or read.
    void Finish(std::ostream& out);

private:
    struct Column {
        std::string header;
        size_t source;  // index into the cells of a record
        size_t width;
    };
    std::string HeaderOf(size_t block) const;
    std::string LineOf(size_t block, const StepRecord& record, const std::vector<std::string>& cells) const;

    std::vector<std::vector<Column>> blocks_;
    std::vector<size_t> widths_;       // of every column, picked or not
    std::vector<size_t> lineLengths_;  // of each block's step lines, the events left out
    std::FILE* spool_ = nullptr;
    size_t spooled_ = 0;  // records in the spool
    bool headerShown_ = false;
};

// The names of the table's columns, in order: each controller's SP and OP,
// the PV exports, the PV imports, Enabled and Running.
std::vector<std::string> TableColumnNames(const Layout& layout);

// A number in `width` characters at most: six significant digits, fewer when
// the exponent needs the room.
std::string FitNumber(double value, size_t width);

}  // namespace host
