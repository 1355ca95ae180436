#include "conflicts.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "binding.h"
#include "binding_rules.h"

namespace host {

namespace {

// The moments at which the driver moves a tag, in the order the host calls
// them; which moments a column's tag is moved at comes from the column's
// rule.
enum Moment { kConfigure, kInitialize, kStart, kStep, kStop, kTimeZero, kReset, kMoments };
const char* const kMomentNames[] = {"DCSConfigure", "DCSInitialize", "DCSStart", "every step",
                                    "DCSStop",      "DCSTimeZero",   "DCSReset"};
const uint32_t kMomentBits[] = {TAG_MOMENT_CONFIGURE, TAG_MOMENT_INITIALIZE, TAG_MOMENT_START, TAG_MOMENT_STEP,
                                TAG_MOMENT_STOP,      TAG_MOMENT_TIME_ZERO,  TAG_MOMENT_RESET};

enum class Use { None, Read, Write };

// One column of one row that names a tag, with when it is moved.
struct TagUse {
    const RowDiagnosis* row = nullptr;
    const TagDiagnosis* tag = nullptr;
    int32_t position = 0;  // the tag's place in its row
    Use use = Use::None;
    int32_t pass[kMoments] = {};  // 0: not moved at that moment; else the pass within it
    bool flag = false;            // the general data's Enabled or Running Flag
    bool mode = false;            // a controller's Mode tag
    bool enabledFlag = false;
};

int32_t TableNumber(const std::string& table) {
    if (table == "controller") return TAG_TABLE_CTRL;
    if (table == "pv_export") return TAG_TABLE_PV_EXPORT;
    if (table == "pv_import") return TAG_TABLE_PV_IMPORT;
    return TAG_TABLE_GENERAL;
}

// What the driver does with the tag at `position` of a row, by the rule of
// its column.
TagUse UseOf(const RowDiagnosis& row, int32_t position) {
    TagUse u;
    u.row = &row;
    u.tag = &row.tags[static_cast<size_t>(position)];
    u.position = position;
    const TagColumnRule* rule = TagColumnRuleOf(TableNumber(row.table), u.tag->column);
    if (rule == nullptr) return u;
    u.use = rule->Use == TAG_USE_READ ? Use::Read : Use::Write;
    u.flag = rule->Table == TAG_TABLE_GENERAL;
    u.enabledFlag = u.flag && rule->Column == GEN_ENABLED_FLAG;
    u.mode = rule->Table == TAG_TABLE_CTRL && rule->Column == CTRL_COL_MODE;
    for (int32_t m = 0; m < kMoments; ++m) u.pass[m] = TagMovePass(*rule, kMomentBits[m]);
    return u;
}

std::string WhenText(const TagUse& u) {
    if (u.flag) {
        return u.enabledFlag ? "0 at DCSConfigure and DCSReset, 1 at DCSInitialize"
                             : "0 at DCSConfigure and DCSStop, 1 at DCSStart";
    }
    if (u.mode) {
        return "0 at DCSInitialize, DCSStop and DCSTimeZero; the captured mode at DCSStart";
    }
    std::string when;
    for (int32_t m = 0; m < kMoments; ++m) {
        if (u.pass[m] == 0) continue;
        when += (when.empty() ? "" : ", ") + std::string(kMomentNames[m]);
    }
    return (u.use == Use::Read ? "read " : "written ") + when;
}

std::string Who(const TagUse& u) {
    std::string who =
        u.row->table == "general" ? std::string("general") : u.row->table + " " + std::to_string(u.row->index);
    if (!u.row->name.empty() && u.row->table != "general") who += " (" + u.row->name + ")";
    return who + " " + u.tag->field;
}

ConflictSide Side(const TagUse& u) {
    return {u.row->table, u.row->index, u.row->name, u.tag->field, u.tag->text, u.row->line, WhenText(u)};
}

// Which of two writers the server keeps at each moment both write at: the
// later one in the driver's order.
std::string Winner(const TagUse& a, const TagUse& b) {
    std::string text;
    for (int32_t m = 0; m < kMoments; ++m) {
        if (a.pass[m] == 0 || b.pass[m] == 0) continue;
        const bool bLater =
            b.pass[m] != a.pass[m] ? b.pass[m] > a.pass[m] : (b.row != a.row ? b.row > a.row : b.position > a.position);
        const TagUse& last = bLater ? b : a;
        text += (text.empty() ? "" : "; ") +
                std::string(m == kStep ? "every step" : std::string("at ") + kMomentNames[m]) + " " + Who(last) +
                " writes last";
    }
    if (text.empty()) return "they write at different moments, so the tag holds whichever wrote last";
    return text + ", so the tag server keeps that value";
}

bool Bound(const TagDiagnosis& tag) { return tag.status == Verdict::Bound && !tag.text.empty(); }

std::string Key(int32_t dataSet, const std::string& text) { return std::to_string(dataSet) + '\n' + text; }

}  // namespace

std::vector<RowConflict> FindConflicts(const std::vector<RowDiagnosis>& rows, const CodePage& codePage) {
    std::vector<RowConflict> out;
    // One controller listed twice: the same data set and the same tags.
    std::map<std::vector<std::string>, const RowDiagnosis*> controllers;
    std::set<std::pair<const RowDiagnosis*, const RowDiagnosis*>> twins;
    for (const RowDiagnosis& row : rows) {
        if (row.table != "controller" || row.tags.size() < 4 || row.tags[2].text.empty()) continue;
        std::vector<std::string> key = {std::to_string(row.tags[0].dataSet)};
        for (const TagDiagnosis& tag : row.tags) key.push_back(tag.text);
        const auto found = controllers.emplace(key, &row);
        if (found.second) continue;
        const RowDiagnosis& first = *found.first->second;
        twins.insert({&first, &row});
        TagUse a = UseOf(first, 2), b = UseOf(row, 2);
        RowConflict c;
        c.severity = Severity::Error;
        c.code = code::kDuplicateController;
        c.text = "controller " + std::to_string(row.index) + " names the same tags as controller " +
                 std::to_string(first.index) + " in data set " + std::to_string(row.tags[0].dataSet) +
                 ": one controller linked twice; both read its SP and OP, and the later row's SP Init, OP Init and "
                 "Mode writes (at DCSInitialize and DCSStart) overwrite the earlier row's";
        c.first = Side(a);
        c.second = Side(b);
        c.first.when = c.second.when =
            "SP and OP read every step; SP Init and OP Init written at DCSInitialize and "
            "DCSStart; Mode at DCSInitialize, DCSStart, DCSStop and DCSTimeZero";
        out.push_back(std::move(c));
    }

    std::unordered_map<std::string, std::vector<TagUse>> uses;
    for (const RowDiagnosis& row : rows) {
        for (size_t p = 0; p < row.tags.size(); ++p) {
            if (!Bound(row.tags[p])) continue;
            TagUse u = UseOf(row, static_cast<int32_t>(p));
            if (u.use != Use::None) uses[Key(row.tags[p].dataSet, row.tags[p].text)].push_back(u);
        }
    }
    std::vector<const std::vector<TagUse>*> groups;
    for (const auto& entry : uses) {
        if (entry.second.size() > 1) groups.push_back(&entry.second);
    }
    // In the case's order, so the report reads top down.
    std::sort(groups.begin(), groups.end(), [](const std::vector<TagUse>* a, const std::vector<TagUse>* b) {
        return a->front().row != b->front().row ? a->front().row < b->front().row
                                                : a->front().position < b->front().position;
    });
    for (const std::vector<TagUse>* group : groups) {
        const TagUse* flag = nullptr;
        const TagUse* firstWriter = nullptr;
        const TagUse* firstExport = nullptr;
        for (const TagUse& u : *group) {
            if (u.flag && flag == nullptr) flag = &u;
        }
        for (const TagUse& u : *group) {
            if (u.use != Use::Write || u.flag) continue;
            if (flag != nullptr) {
                RowConflict c;
                c.code = code::kFlagWrittenByRow;
                c.text = Who(u) + " writes \"" + codePage.Decode(u.tag->text) + "\", the " + flag->tag->field +
                         " tag: the driver sets the flag " + WhenText(*flag) + ", and the row's writes (" +
                         WhenText(u) + ") overwrite it, so the tag server no longer tells whether the link " +
                         (flag->enabledFlag ? "is enabled" : "is running");
                c.first = Side(*flag);
                c.second = Side(u);
                out.push_back(std::move(c));
                continue;
            }
            if (u.row->table == "pv_export" && firstExport == nullptr) firstExport = &u;
            if (firstWriter == nullptr) {
                firstWriter = &u;
                continue;
            }
            if (twins.count({firstWriter->row, u.row}) != 0) continue;
            const bool everyStep = firstWriter->pass[kStep] != 0 && u.pass[kStep] != 0;
            RowConflict c;
            c.severity = everyStep || firstWriter->row->table == "pv_export" || u.row->table == "pv_export"
                             ? Severity::Error
                             : Severity::Warning;
            c.code = code::kTwoWriters;
            c.text = "\"" + codePage.Decode(u.tag->text) + "\" in data set " + std::to_string(u.tag->dataSet) +
                     " is written by " + Who(*firstWriter) + " (" + WhenText(*firstWriter) + ") and by " + Who(u) +
                     " (" + WhenText(u) + "); " + Winner(*firstWriter, u);
            c.first = Side(*firstWriter);
            c.second = Side(u);
            out.push_back(std::move(c));
        }
        if (firstExport == nullptr) continue;
        for (const TagUse& u : *group) {
            if (u.use != Use::Read) continue;
            RowConflict c;
            c.severity = Severity::Warning;
            c.code = code::kExportReadBack;
            const bool import = u.row->table == "pv_import";
            c.text = Who(*firstExport) + " writes \"" + codePage.Decode(u.tag->text) + "\" every step, and " + Who(u) +
                     " reads it: " +
                     (import ? std::string("the PV imports are read after the PV exports are written, so it gets "
                                           "this step's exported value back")
                             : std::string("the controllers are read before the PV exports are written, so it sees "
                                           "the value exported in the step before (at step 1, DCSInitialize's)")) +
                     "; the simulator's own value, not the tag server's, is then linked back";
            c.first = Side(*firstExport);
            c.second = Side(u);
            out.push_back(std::move(c));
        }
    }
    return out;
}

}  // namespace host
