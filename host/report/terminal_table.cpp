#include "report/terminal_table.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "markup.h"
#include "os/os.h"
#include "text/code_page.h"

namespace host {

namespace {

constexpr size_t kMinColumnWidth = 10;  // fits -1.235e+08 and 0.00012346
const char kStepHeader[] = " step  status";
constexpr size_t kStepWidth = sizeof kStepHeader - 1;

// Widths are counted in characters, not bytes: a column named "Kühl SP"
// is as wide as "Kuhl SP" on the terminal.
std::string PadLeft(const std::string& text, size_t width) {
    const size_t shown = DisplayWidth(text);
    return shown >= width ? text : std::string(width - shown, ' ') + text;
}

// A plant's first steps are held until it is clear which columns change:
// at most this many cells (some 20 MB), and at most this many steps.
constexpr size_t kHeldCells = size_t{1} << 21;
constexpr size_t kMostHeld = 101;  // init and a hundred steps

// The events of a step on lines of at most `width` (but a word longer than
// that, whole), each under the row it belongs to, without a last line end.
std::string EventLines(const std::string& events, size_t width) {
    const std::string indent = "        > ";
    std::string out;
    std::string line = indent;
    size_t at = 0;
    while (at < events.size()) {
        size_t end = events.find(' ', at);
        if (end == std::string::npos) end = events.size();
        const std::string word = events.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        if (line.size() > indent.size() && DisplayWidth(line) + 1 + DisplayWidth(word) > width) {
            out += line + "\n";
            line = indent;
        }
        line += (line.size() > indent.size() ? " " : "") + word;
    }
    return out + line;
}

}  // namespace

std::string FitNumber(double value, size_t width) {
    for (int digits = 6; digits > 1; --digits) {
        std::string text = ShortNumber(value, digits);
        if (text.size() <= width) return text;
    }
    return ShortNumber(value, 1);
}

size_t TableWidth() {
    if (const char* columns = std::getenv("COLUMNS")) {
        char* end = nullptr;
        const long width = std::strtol(columns, &end, 10);
        if (end != columns && *end == '\0' && width >= 20 && width <= 100000) return static_cast<size_t>(width);
    }
    if (const std::optional<size_t> width = os::TerminalWidth()) {
        if (*width >= 20) return *width;
    }
    return 100;
}

TerminalTable::TerminalTable(const Layout& layout, size_t width, const std::vector<std::string>& patterns)
    : columns_(layout), width_(width), changes_(columns_) {
    const std::vector<std::string>& names = columns_.Names();
    PickedColumns picked = PickedBy(names, patterns);
    if (picked.unmatched) {
        // A real plant has hundreds: the first few show how names read.
        constexpr size_t kShown = 12;
        std::string known;
        for (size_t i = 0; i < names.size() && i < kShown; ++i) known += (i == 0 ? "" : ", ") + names[i];
        if (names.size() > kShown) known += ", ... (" + std::to_string(names.size()) + " in all)";
        throw ColumnError("--columns \"" + *picked.unmatched + "\" matches no column; the columns are " + known);
    }
    picked_ = std::move(picked.picked);
    for (const std::string& name : names) widths_.push_back(std::max(DisplayWidth(name), kMinColumnWidth));
    const ColumnPick all = PickColumns(picked_, {}, SIZE_MAX);
    if (all.picked > kShownColumns) {
        holdLimit_ = std::min(kMostHeld, std::max<size_t>(2, kHeldCells / names.size()));
        return;
    }
    LayOut(all.shown);
}

void TerminalTable::LayOut(const std::vector<size_t>& shown) {
    std::vector<Column> block;
    size_t used = kStepWidth;
    for (const size_t i : shown) {
        const Column column{columns_.Names()[i], i, widths_[i]};
        const size_t room = column.width + 2;  // the space before and the change mark
        if (!block.empty() && used + room > width_) {
            blocks_.push_back(block);
            block.clear();
            used = kStepWidth;
        }
        block.push_back(column);
        used += room;
    }
    blocks_.push_back(block);
    // A row holds only ASCII, as wide as its header shows: the length of
    // the header's rule.
    for (size_t b = 0; b < blocks_.size(); ++b) {
        const std::string header = HeaderOf(b);
        lineLengths_.push_back(DisplayWidth(header.substr(0, header.find('\n'))));
    }
}

TerminalTable::~TerminalTable() {
    if (spool_ != nullptr) std::fclose(spool_);
}

std::string TerminalTable::HeaderOf(size_t block) const {
    std::string line = kStepHeader;
    for (const Column& column : blocks_[block]) line += " " + PadLeft(column.header, column.width) + " ";
    return line + "\n" + std::string(DisplayWidth(line), '-') + "\n";
}

std::string TerminalTable::CellOf(const StepRecord& record, const Column& column) const {
    const StepCell cell = columns_.Cell(record, column.source);
    if (!cell.held) return "- ";
    if (cell.flag) return std::to_string(static_cast<int32_t>(cell.value)) + " ";
    return FitNumber(cell.value, column.width) + (cell.stored ? "*" : " ");
}

std::string TerminalTable::LineOf(size_t block, const StepRecord& record) const {
    std::string line = PadLeft(record.step == 0 ? "init" : std::to_string(record.step), 5) + "  " +
                       PadLeft(record.ok ? "ok" : "FAIL", 6);
    for (const Column& column : blocks_[block]) line += " " + PadLeft(CellOf(record, column), column.width + 1);
    // Every spooled line of a block is exactly as long as its header, so a
    // block is read back by position.
    line.resize(lineLengths_[block], ' ');
    return line;
}

void TerminalTable::Add(const StepRecord& record, std::ostream& out) {
    if (holdLimit_ > 0 && blocks_.empty()) {
        if (held_.size() < holdLimit_) {
            changes_.Add(record);
            held_.push_back(record);
            return;
        }
        Choose(out, true);
    }
    Write(record, out);
}

void TerminalTable::Choose(std::ostream& out, bool more) {
    const ColumnPick pick = PickColumns(picked_, changes_.Changing(), kShownColumns);
    LayOut(pick.shown);
    out << LeftOutNote(pick);
    if (more && !held_.empty()) {
        const int32_t last = held_.back().step;
        out << " Columns count as changing by what they did up to step " << (last == 0 ? "init" : std::to_string(last))
            << ".";
    }
    out << " --csv FILE writes every column.\n";
    for (const StepRecord& record : held_) Write(record, out);
    held_.clear();
    held_.shrink_to_fit();
}

void TerminalTable::Write(const StepRecord& record, std::ostream& out) {
    if (!headerShown_) {
        out << HeaderOf(0);
        headerShown_ = true;
    }
    const std::string row = LineOf(0, record);
    out << row;
    if (!record.events.empty()) {
        if (DisplayWidth(row) + 2 + DisplayWidth(record.events) <= width_) {
            out << "  " << record.events;
        } else {
            // Beside a full row the events would run past the width: they
            // get lines of their own under the row, broken between words.
            out << "\n" << EventLines(record.events, width_);
        }
    }
    out << "\n";
    if (blocks_.size() < 2) return;
    if (spool_ == nullptr) {
        spool_ = std::tmpfile();
        if (spool_ == nullptr) throw std::runtime_error("cannot create a temporary file for the table");
    }
    for (size_t b = 1; b < blocks_.size(); ++b) {
        const std::string line = LineOf(b, record);
        if (std::fwrite(line.data(), 1, line.size(), spool_) != line.size()) {
            throw std::runtime_error("cannot write the table's temporary file");
        }
    }
    ++spooled_;
}

void TerminalTable::Finish(std::ostream& out) {
    if (holdLimit_ > 0 && blocks_.empty() && !held_.empty()) Choose(out, false);
    if (spool_ == nullptr) return;
    size_t recordLength = 0;
    for (size_t b = 1; b < blocks_.size(); ++b) recordLength += lineLengths_[b];
    std::string chunk(recordLength, '\0');
    size_t offset = 0;
    for (size_t b = 1; b < blocks_.size(); ++b) {
        out << "\n" << HeaderOf(b);
        if (std::fseek(spool_, 0, SEEK_SET) != 0) throw std::runtime_error("cannot read the table's temporary file");
        for (size_t r = 0; r < spooled_; ++r) {
            if (std::fread(&chunk[0], 1, recordLength, spool_) != recordLength) {
                throw std::runtime_error("cannot read the table's temporary file");
            }
            out.write(chunk.data() + offset, static_cast<std::streamsize>(lineLengths_[b]));
            out << "\n";
        }
        offset += lineLengths_[b];
    }
    std::fclose(spool_);
    spool_ = nullptr;
    spooled_ = 0;
}

}  // namespace host
