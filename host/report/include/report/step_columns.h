// The step table's columns, as the terminal and the page show them: each
// controller's SP and OP, the PV exports, the PV imports, Enabled and
// Running. A plant has tens of thousands, more than a person reads: a view
// keeps a few, the changing ones first, and says what it left out and how
// to choose. Both views choose here, so they choose alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/report.h"

namespace host {

// The most columns a view of the steps shows.
constexpr size_t kShownColumns = 40;

// One cell of a record.
struct StepCell {
    bool held = false;    // the record holds it (a flag: the server holds the tag)
    bool flag = false;    // Enabled or Running, a whole number
    double value = 0.0;   // when held
    bool stored = false;  // the driver stored the value during the step
};

class StepColumns {
public:
    explicit StepColumns(const Layout& layout);

    size_t Count() const { return names_.size(); }
    const std::vector<std::string>& Names() const { return names_; }
    StepCell Cell(const StepRecord& record, size_t column) const;

private:
    enum class Source : uint8_t { SP, OP, Export, Import, Enabled, Running };
    struct Where {
        Source source;
        size_t index;
    };
    std::vector<std::string> names_;
    std::vector<Where> where_;
};

// The names of the table's columns, in order.
std::vector<std::string> TableColumnNames(const Layout& layout);

// Which columns ever hold another value than in the first record (the
// driver's store marks aside), learned a record at a time.
class ColumnChanges {
public:
    explicit ColumnChanges(const StepColumns& columns) : columns_(columns), changing_(columns.Count(), false) {}

    void Add(const StepRecord& record);
    const std::vector<bool>& Changing() const { return changing_; }

private:
    const StepColumns& columns_;
    std::vector<StepCell> first_;
    std::vector<bool> changing_;
};

// Which columns the --columns globs pick (every column when there are
// none), and the first glob that picks none.
struct PickedColumns {
    std::vector<bool> picked;
    std::optional<std::string> unmatched;
};
PickedColumns PickedBy(const std::vector<std::string>& names, const std::vector<std::string>& patterns);

// The columns a view shows: every picked one, in table order, when they
// are at most `limit`; else the first `limit` of the changing ones then
// the never-changing ones, each in table order.
struct ColumnPick {
    std::vector<size_t> shown;
    size_t columns = 0;   // in the table
    size_t picked = 0;    // by --columns
    size_t changing = 0;  // picked and changing
    size_t changingShown = 0;
};
ColumnPick PickColumns(const std::vector<bool>& picked, const std::vector<bool>& changing, size_t limit);

// What the pick left out and how to choose ("Showing 40 of 20,002
// columns: ..."); empty when it shows every column.
std::string LeftOutNote(const ColumnPick& pick);

}  // namespace host
