// The per-step table on the terminal. A real plant has hundreds of columns,
// so the table is cut into blocks of columns that each fit the terminal and
// each repeat the step column. The first block is printed as the steps come;
// the lines of the others go to a temporary spool file and are printed
// after the run, so memory stays flat however many steps run. A plant of
// thousands shows at most kShownColumns, the changing ones first, as its
// page does; the first steps are held until it is clear which change, and
// a line above the table says what was left out. The CSV keeps them all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "report/report.h"
#include "report/step_columns.h"

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

    // The blocks of columns; none while a plant's first steps are held.
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
        size_t source;  // the column's number in the table
        size_t width;
    };
    void LayOut(const std::vector<size_t>& shown);
    // Picks the columns from the held steps and writes them; `more`: the
    // run goes on past them.
    void Choose(std::ostream& out, bool more);
    void Write(const StepRecord& record, std::ostream& out);
    std::string HeaderOf(size_t block) const;
    std::string CellOf(const StepRecord& record, const Column& column) const;
    std::string LineOf(size_t block, const StepRecord& record) const;

    StepColumns columns_;
    std::vector<bool> picked_;
    size_t width_;
    std::vector<std::vector<Column>> blocks_;
    std::vector<size_t> widths_;       // of every column, picked or not
    std::vector<size_t> lineLengths_;  // of each block's step lines, the events left out
    // A plant's first steps, held until the columns are chosen.
    std::vector<StepRecord> held_;
    size_t holdLimit_ = 0;  // 0: nothing to choose
    ColumnChanges changes_;
    std::FILE* spool_ = nullptr;
    size_t spooled_ = 0;  // records in the spool
    bool headerShown_ = false;
};

// A number in `width` characters at most: six significant digits, fewer when
// the exponent needs the room.
std::string FitNumber(double value, size_t width);

}  // namespace host
