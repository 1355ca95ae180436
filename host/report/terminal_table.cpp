#include "report/terminal_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "os/os.h"
#include "report/markup.h"
#include "text/glob.h"

namespace host {

namespace {

constexpr size_t kMinColumnWidth = 10;  // fits -1.235e+08 and 0.00012346
const char kStepHeader[] = " step  status";
constexpr size_t kStepWidth = sizeof kStepHeader - 1;

std::string PadLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::vector<std::string> ColumnNames(const Layout& layout) {
    std::vector<std::string> names;
    for (const std::string& name : layout.controllers) {
        names.push_back(name + " SP");
        names.push_back(name + " OP");
    }
    for (const std::string& name : layout.pvExports) names.push_back(name);
    for (const std::string& name : layout.pvImports) names.push_back(name);
    names.emplace_back("Enabled");
    names.emplace_back("Running");
    return names;
}

std::string FlagCell(const std::optional<int32_t>& flag) { return (flag ? std::to_string(*flag) : "-") + " "; }

// Every cell of a record in the order of ColumnNames, each with its change
// mark ("*" when the driver stored the value during the step).
std::vector<std::string> Cells(const StepRecord& record, const std::vector<size_t>& widths) {
    std::vector<std::string> cells;
    auto number = [&](double v, bool changed) {
        const size_t width = cells.size() < widths.size() ? widths[cells.size()] : kMinColumnWidth;
        cells.push_back(FitNumber(v, width) + (changed ? "*" : " "));
    };
    for (const ControllerSample& c : record.controllers) {
        number(c.sp, c.spChanged);
        number(c.op, c.opChanged);
    }
    for (double v : record.pvExports) number(v, false);
    for (double v : record.pvImports) number(v, false);
    cells.push_back(FlagCell(record.enabled));
    cells.push_back(FlagCell(record.running));
    return cells;
}

}  // namespace

std::string FitNumber(double value, size_t width) {
    for (int digits = 6; digits > 1; --digits) {
        std::string text = ShortNumber(value, digits);
        if (text.size() <= width) return text;
    }
    return ShortNumber(value, 1);
}

std::vector<std::string> TableColumnNames(const Layout& layout) { return ColumnNames(layout); }

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

TerminalTable::TerminalTable(const Layout& layout, size_t width, const std::vector<std::string>& patterns) {
    const std::vector<std::string> names = ColumnNames(layout);
    std::vector<bool> picked(names.size(), patterns.empty());
    for (const std::string& pattern : patterns) {
        bool any = false;
        for (size_t i = 0; i < names.size(); ++i) {
            if (GlobMatch(pattern, names[i])) {
                picked[i] = true;
                any = true;
            }
        }
        if (!any) {
            // A real plant has hundreds: the first few show how names read.
            constexpr size_t kShown = 12;
            std::string known;
            for (size_t i = 0; i < names.size() && i < kShown; ++i) known += (i == 0 ? "" : ", ") + names[i];
            if (names.size() > kShown) known += ", ... (" + std::to_string(names.size()) + " in all)";
            throw ColumnError("--columns \"" + pattern + "\" matches no column; the columns are " + known);
        }
    }
    for (const std::string& name : names) widths_.push_back(std::max(name.size(), kMinColumnWidth));
    std::vector<Column> block;
    size_t used = kStepWidth;
    for (size_t i = 0; i < names.size(); ++i) {
        if (!picked[i]) continue;
        const Column column{names[i], i, widths_[i]};
        const size_t room = column.width + 2;  // the space before and the change mark
        if (!block.empty() && used + room > width) {
            blocks_.push_back(block);
            block.clear();
            used = kStepWidth;
        }
        block.push_back(column);
        used += room;
    }
    blocks_.push_back(block);
    for (size_t b = 0; b < blocks_.size(); ++b) lineLengths_.push_back(HeaderOf(b).find('\n'));
}

TerminalTable::~TerminalTable() {
    if (spool_ != nullptr) std::fclose(spool_);
}

std::string TerminalTable::HeaderOf(size_t block) const {
    std::string line = kStepHeader;
    for (const Column& column : blocks_[block]) line += " " + PadLeft(column.header, column.width) + " ";
    return line + "\n" + std::string(line.size(), '-') + "\n";
}

std::string TerminalTable::LineOf(size_t block, const StepRecord& record, const std::vector<std::string>& cells) const {
    std::string line = PadLeft(record.step == 0 ? "init" : std::to_string(record.step), 5) + "  " +
                       PadLeft(record.ok ? "ok" : "FAIL", 6);
    for (const Column& column : blocks_[block]) {
        line += " " + PadLeft(column.source < cells.size() ? cells[column.source] : "- ", column.width + 1);
    }
    // Every spooled line of a block is exactly as long as its header, so a
    // block is read back by position.
    line.resize(lineLengths_[block], ' ');
    return line;
}

void TerminalTable::Add(const StepRecord& record, std::ostream& out) {
    const std::vector<std::string> cells = Cells(record, widths_);
    if (!headerShown_) {
        out << HeaderOf(0);
        headerShown_ = true;
    }
    out << LineOf(0, record, cells) << (record.events.empty() ? "" : "  " + record.events) << "\n";
    if (blocks_.size() < 2) return;
    if (spool_ == nullptr) {
        spool_ = std::tmpfile();
        if (spool_ == nullptr) throw std::runtime_error("cannot create a temporary file for the table");
    }
    for (size_t b = 1; b < blocks_.size(); ++b) {
        const std::string line = LineOf(b, record, cells);
        if (std::fwrite(line.data(), 1, line.size(), spool_) != line.size()) {
            throw std::runtime_error("cannot write the table's temporary file");
        }
    }
    ++spooled_;
}

void TerminalTable::Finish(std::ostream& out) {
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
