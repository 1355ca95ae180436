#include "report/trend_compare.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "case/case_schema.h"
#include "case/input_file.h"

namespace host {

namespace {

// Columns that are no curve: the step itself, and the events, which the
// case says rather than the link.
bool Compared(const std::string& name) { return name != "step" && name != "events"; }

std::optional<double> NumberOf(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE) return std::nullopt;
    return v;
}

std::optional<int64_t> StepOf(const CsvRecord& row) {
    if (row.cells.empty()) return std::nullopt;
    const std::optional<double> step = NumberOf(row.cells[0].text);
    if (!step || *step != std::floor(*step)) return std::nullopt;
    return static_cast<int64_t>(*step);
}

std::string Shown(const std::string& text) { return text.empty() ? "empty" : "\"" + text + "\""; }

}  // namespace

TrendCompare::TrendCompare(const CompareOptions& options, const Layout& layout)
    : options_(options),
      layout_(layout),
      referenceText_(ReadInputFile(options.referencePath, "the reference run")),
      reference_(referenceText_, options.referencePath) {
    const std::string& path = options.referencePath;
    if (reference_.Header()[0].text != "step") {
        throw CaseError(Located(path, 1, 1, "expected a CSV written by run --csv, whose first column is \"step\""));
    }
    // Every row read once now, so that a fault anywhere in the file is told
    // before the run, and where each step's row begins kept.
    CsvRecord row;
    for (CsvLines::Place place = reference_.Here(); reference_.Next(row); place = reference_.Here()) {
        const std::optional<int64_t> step = StepOf(row);
        if (!step)
            throw CaseError(Located(path, row.line, 1, "expected a step number, not " + Shown(row.cells[0].text)));
        referenceSteps_[*step] = place;
    }
    // A plant's run has tens of thousands of columns: they are matched by
    // name through an index, not each against every other.
    const CsvTable run = ParseCsv(CsvHeader(layout), "the run");
    std::unordered_map<std::string, size_t> referenceColumns;  // the first of a name, as a search would find
    const std::vector<CsvCell>& referenceHeader = reference_.Header();
    for (size_t i = 0; i < referenceHeader.size(); ++i) referenceColumns.emplace(referenceHeader[i].text, i);
    std::unordered_set<std::string> runColumns;
    for (size_t i = 0; i < run.header.size(); ++i) {
        const std::string& name = run.header[i].text;
        runColumns.insert(name);
        if (!Compared(name)) continue;
        const auto found = referenceColumns.find(name);
        if (found == referenceColumns.end()) {
            added_.push_back(name);
            continue;
        }
        Column column;
        column.name = name;
        column.run = i;
        column.reference = found->second;
        columns_.push_back(column);
    }
    for (const CsvCell& cell : referenceHeader) {
        if (Compared(cell.text) && runColumns.count(cell.text) == 0) missing_.push_back(cell.text);
    }
}

const CsvRecord* TrendCompare::ReferenceRow(int64_t step) {
    const auto read = window_.find(step);
    if (read != window_.end()) return &read->second;
    const auto found = referenceSteps_.find(step);
    if (found == referenceSteps_.end()) return nullptr;
    reference_.Seek(found->second);
    CsvRecord& row = window_[step];
    reference_.Next(row);
    return &row;
}

void TrendCompare::Step(const StepRecord& record) {
    // A run takes its steps in order: the rows behind its reach are done with.
    window_.erase(window_.begin(), window_.lower_bound(record.step - options_.timeTolerance));
    ++steps_;
    lastStep_ = std::max<int64_t>(lastStep_, record.step);
    // The row as the CSV has it, so that it reads as the reference was read.
    const std::vector<CsvCell> now = ParseCsvLine(CsvRow(layout_, record), ',', "the run");
    bool rowOutside = false;
    for (Column& column : columns_) {
        static const std::string kNone;
        const std::string& text = column.run < now.size() ? now[column.run].text : kNone;
        const std::optional<double> value = NumberOf(text);
        bool inside = false;
        bool anyReference = false;
        double nearest = std::numeric_limits<double>::infinity();
        for (int64_t s = record.step - options_.timeTolerance; s <= record.step + options_.timeTolerance; ++s) {
            const CsvRecord* ref = ReferenceRow(s);
            if (ref == nullptr || column.reference >= ref->cells.size()) continue;
            anyReference = true;
            const std::string& refText = ref->cells[column.reference].text;
            const std::optional<double> refValue = NumberOf(refText);
            if (value && refValue) {
                const double deviation = std::fabs(*value - *refValue);
                nearest = std::min(nearest, deviation);
                inside =
                    inside || deviation <= std::max(options_.tolerance, options_.relTolerance * std::fabs(*refValue));
            } else {
                inside = inside || text == refText;  // the status, a flag the server does not hold
            }
        }
        if (std::isfinite(nearest) && nearest > column.largest) {
            column.largest = nearest;
            column.largestStep = record.step;
        }
        if (inside) continue;
        rowOutside = true;
        if (column.outsideSteps++ == 0) {
            column.firstOutside = record.step;
            const CsvRecord* ref = ReferenceRow(record.step);
            column.firstText = !anyReference    ? Shown(text) + ", and the reference has no step within reach"
                               : ref == nullptr ? Shown(text)
                                                : (value ? text : Shown(text)) + ", the reference " +
                                                      (NumberOf(ref->cells[column.reference].text)
                                                           ? ref->cells[column.reference].text
                                                           : Shown(ref->cells[column.reference].text));
        }
    }
    if (rowOutside) ++rowsOutside_;
}

bool TrendCompare::Outside() const {
    const bool shorter = !referenceSteps_.empty() && referenceSteps_.rbegin()->first > lastStep_;
    return shorter || !missing_.empty() ||
           std::any_of(columns_.begin(), columns_.end(), [](const Column& c) { return c.outsideSteps > 0; });
}

std::string TrendCompare::Report() const {
    std::string tube = "tolerance " + ValueText(options_.tolerance);
    if (options_.relTolerance > 0.0) tube += " or " + ValueText(options_.relTolerance * 100) + "%";
    tube += ", " + std::to_string(options_.timeTolerance) + " step(s) either side";
    std::string out = "compared with " + options_.referencePath + " (" + tube + "):\n";
    size_t outside = 0;
    for (const Column& c : columns_) {
        if (c.outsideSteps == 0) continue;
        ++outside;
        out += "  " + c.name + ": outside the tube from step " + std::to_string(c.firstOutside) + " (" + c.firstText +
               "), at " + std::to_string(c.outsideSteps) + " step(s)";
        if (c.largestStep >= 0) {
            out += "; largest deviation " + ValueText(c.largest) + " at step " + std::to_string(c.largestStep);
        }
        out += "\n";
    }
    if (!referenceSteps_.empty() && referenceSteps_.rbegin()->first > lastStep_) {
        out += "  the reference runs to step " + std::to_string(referenceSteps_.rbegin()->first) +
               (lastStep_ < 0 ? ", this run took no step\n" : ", this run to step " + std::to_string(lastStep_) + "\n");
    }
    for (const std::string& name : missing_) out += "  " + name + ": in the reference, not in this run\n";
    for (const std::string& name : added_) out += "  " + name + ": not in the reference (not compared)\n";
    out += "  " + std::to_string(columns_.size() - outside) + " of " + std::to_string(columns_.size()) +
           " column(s) inside the tube over " + std::to_string(steps_) + " step(s)\n";
    return out;
}

TrendCompare::Verdict TrendCompare::OneLine() const {
    Verdict v;
    v.outside = Outside();
    v.rows = steps_;
    v.rowsOutside = rowsOutside_;
    v.lastStep = lastStep_;
    const Column* first = nullptr;
    size_t outside = 0;
    for (const Column& c : columns_) {
        if (c.outsideSteps == 0) continue;
        ++outside;
        if (first == nullptr || c.firstOutside < first->firstOutside) first = &c;
    }
    const std::string steps = std::to_string(steps_) + " step(s)";
    if (!v.outside) {
        // Not the largest deviation: a last bit of rounding apart, it would
        // make one passing run read differently from another.
        v.text = "all " + std::to_string(columns_.size()) + " column(s) inside over " + steps;
        return v;
    }
    std::vector<std::string> faults;
    if (first != nullptr) {
        v.step = first->firstOutside;
        std::string text = first->name + " was " + first->firstText;
        if (first->largestStep >= 0) {
            text += "; its largest deviation " + ValueText(first->largest) + " at step " +
                    std::to_string(first->largestStep);
        }
        faults.push_back(text);
        if (outside > 1) faults.push_back(std::to_string(outside - 1) + " more column(s) outside");
    }
    if (!missing_.empty()) {
        faults.push_back(std::to_string(missing_.size()) + " column(s) of the reference not in this run (" +
                         missing_.front() + (missing_.size() > 1 ? ", ..." : "") + ")");
    }
    if (!referenceSteps_.empty() && referenceSteps_.rbegin()->first > lastStep_) {
        faults.push_back(
            "the reference runs to step " + std::to_string(referenceSteps_.rbegin()->first) +
            (lastStep_ < 0 ? ", this run took no step" : ", this run to step " + std::to_string(lastStep_)));
    }
    for (const std::string& f : faults) v.text += (v.text.empty() ? "" : "; ") + f;
    return v;
}

}  // namespace host
