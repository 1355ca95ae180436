#include "report/step_columns.h"

#include <algorithm>
#include <cmath>

#include "markup.h"
#include "text/glob.h"

namespace host {

namespace {

bool SameCell(const StepCell& a, const StepCell& b) {
    if (a.held != b.held) return false;
    if (!a.held) return true;
    return a.value == b.value || (std::isnan(a.value) && std::isnan(b.value));
}

}  // namespace

StepColumns::StepColumns(const Layout& layout) {
    for (size_t i = 0; i < layout.controllers.size(); ++i) {
        names_.push_back(layout.controllers[i] + " SP");
        where_.push_back({Source::SP, i});
        names_.push_back(layout.controllers[i] + " OP");
        where_.push_back({Source::OP, i});
    }
    for (size_t i = 0; i < layout.pvExports.size(); ++i) {
        names_.push_back(layout.pvExports[i]);
        where_.push_back({Source::Export, i});
    }
    for (size_t i = 0; i < layout.pvImports.size(); ++i) {
        names_.push_back(layout.pvImports[i]);
        where_.push_back({Source::Import, i});
    }
    names_.emplace_back("Enabled");
    where_.push_back({Source::Enabled, 0});
    names_.emplace_back("Running");
    where_.push_back({Source::Running, 0});
}

StepCell StepColumns::Cell(const StepRecord& record, size_t column) const {
    StepCell cell;
    const Where& at = where_[column];
    auto number = [&](const std::vector<double>& values) {
        cell.held = at.index < values.size();
        if (cell.held) cell.value = values[at.index];
    };
    auto flag = [&](const std::optional<int32_t>& value) {
        cell.flag = true;
        cell.held = value.has_value();
        if (value) cell.value = *value;
    };
    switch (at.source) {
    case Source::SP:
    case Source::OP:
        cell.held = at.index < record.controllers.size();
        if (cell.held) {
            const ControllerSample& c = record.controllers[at.index];
            const bool sp = at.source == Source::SP;
            cell.value = sp ? c.sp : c.op;
            cell.stored = sp ? c.spChanged : c.opChanged;
        }
        break;
    case Source::Export: number(record.pvExports); break;
    case Source::Import: number(record.pvImports); break;
    case Source::Enabled: flag(record.enabled); break;
    case Source::Running: flag(record.running); break;
    }
    return cell;
}

std::vector<std::string> TableColumnNames(const Layout& layout) { return StepColumns(layout).Names(); }

void ColumnChanges::Add(const StepRecord& record) {
    const bool first = first_.empty();
    for (size_t c = 0; c < columns_.Count(); ++c) {
        const StepCell cell = columns_.Cell(record, c);
        if (first) {
            first_.push_back(cell);
        } else if (!changing_[c] && !SameCell(cell, first_[c])) {
            changing_[c] = true;
        }
    }
}

PickedColumns PickedBy(const std::vector<std::string>& names, const std::vector<std::string>& patterns) {
    PickedColumns result;
    result.picked.assign(names.size(), patterns.empty());
    for (const std::string& pattern : patterns) {
        bool any = false;
        for (size_t i = 0; i < names.size(); ++i) {
            if (GlobMatch(pattern, names[i])) {
                result.picked[i] = true;
                any = true;
            }
        }
        if (!any && !result.unmatched) result.unmatched = pattern;
    }
    return result;
}

ColumnPick PickColumns(const std::vector<bool>& picked, const std::vector<bool>& changing, size_t limit) {
    ColumnPick pick;
    pick.columns = picked.size();
    std::vector<size_t> constant;
    for (size_t c = 0; c < picked.size(); ++c) {
        if (!picked[c]) continue;
        ++pick.picked;
        const bool changes = c < changing.size() && changing[c];
        if (changes) ++pick.changing;
        (changes ? pick.shown : constant).push_back(c);
    }
    if (pick.picked <= limit) {
        pick.shown.clear();
        for (size_t c = 0; c < picked.size(); ++c) {
            if (picked[c]) pick.shown.push_back(c);
        }
        pick.changingShown = pick.changing;
        return pick;
    }
    pick.changingShown = std::min(pick.changing, limit);
    pick.shown.insert(pick.shown.end(), constant.begin(), constant.end());
    pick.shown.resize(limit);
    return pick;
}

std::string LeftOutNote(const ColumnPick& pick) {
    if (pick.shown.size() == pick.columns) return "";
    const size_t unpicked = pick.columns - pick.picked;
    const size_t constantShown = pick.shown.size() - pick.changingShown;
    std::string note = "Showing " + std::to_string(pick.shown.size()) + " of " + Thousands(pick.columns) + " columns";
    if (unpicked > 0) note += " (" + Thousands(pick.picked) + " picked by --columns)";
    note += ": " + std::to_string(pick.changingShown) + " that change";
    if (constantShown > 0) note += " and " + std::to_string(constantShown) + " that never change";
    note += ". Left out: " + Thousands(pick.changing - pick.changingShown) + " changing and " +
            Thousands(pick.picked - pick.changing - constantShown) + " never-changing column(s)";
    if (unpicked > 0) note += ", " + Thousands(unpicked) + " not picked";
    return note + "; --columns GLOB (repeatable) picks the columns.";
}

}  // namespace host
