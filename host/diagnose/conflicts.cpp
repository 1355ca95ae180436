#include "diagnose/conflicts.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

namespace host {

namespace {

// The moments at which the driver moves a tag, in the order the host calls
// them, and within each the order of the driver's passes: at DCSInitialize
// the modes are captured (Mode tags set to 0), then each controller's SP
// Init and OP Init are pushed, then the PV exports, then the Enabled Flag;
// at DCSStart the modes are restored, the initial values pushed again and
// the Running Flag set; at DCSStop the modes are captured and the Running
// Flag cleared; in a step the controllers' SP and OP are read, then the PV
// exports written, then the PV imports read.
enum Moment { kConfigure, kInitialize, kStart, kStep, kStop, kTimeZero, kReset, kMoments };
const char* const kMomentNames[] = {"DCSConfigure", "DCSInitialize", "DCSStart", "every step",
                                    "DCSStop",      "DCSTimeZero",   "DCSReset"};

enum class Use { None, Read, Write };

// One column of one row that names a tag, with when it is moved.
struct TagUse {
    const RowDiagnosis* row = nullptr;
    const TagDiagnosis* tag = nullptr;
    int32_t position = 0;  // the tag's place in its row
    Use use = Use::None;
    int32_t pass[kMoments] = {};  // 0: not moved at that moment; else the pass within it
    bool flag = false;            // the general data's Enabled or Running Flag
};

// What the driver does with the tag at `position` of a row of `table`.
TagUse UseOf(const RowDiagnosis& row, int32_t position) {
    TagUse u;
    u.row = &row;
    u.tag = &row.tags[static_cast<size_t>(position)];
    u.position = position;
    if (row.table == "controller") {
        if (position == 0 || position == 2) {  // SP, OP
            u.use = Use::Read;
            u.pass[kStep] = 1;
        } else if (position == 1 || position == 3) {  // SP Init, OP Init
            u.use = Use::Write;
            u.pass[kInitialize] = u.pass[kStart] = 2;
        } else if (position == 4) {  // Mode
            u.use = Use::Write;
            u.pass[kInitialize] = u.pass[kStart] = u.pass[kStop] = u.pass[kTimeZero] = 1;
        }
    } else if (row.table == "pv_export") {
        u.use = Use::Write;
        u.pass[kInitialize] = 3;
        u.pass[kStep] = 2;
    } else if (row.table == "pv_import") {
        u.use = Use::Read;
        u.pass[kStep] = 3;
    } else if (row.table == "general") {
        u.use = Use::Write;
        u.flag = true;
        u.pass[kConfigure] = position + 1;
        if (position == 0) {
            u.pass[kInitialize] = 4;
            u.pass[kReset] = 1;
        } else {
            u.pass[kStart] = 3;
            u.pass[kStop] = 2;
        }
    }
    return u;
}

std::string WhenText(const TagUse& u) {
    if (u.flag) {
        return u.position == 0 ? "0 at DCSConfigure and DCSReset, 1 at DCSInitialize"
                               : "0 at DCSConfigure and DCSStop, 1 at DCSStart";
    }
    if (u.row->table == "controller" && u.position == 4) {
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
    std::string who = u.row->table == "general" ? std::string("general") : u.row->table + " " +
                                                                                std::to_string(u.row->index);
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
        const bool bLater = b.pass[m] != a.pass[m] ? b.pass[m] > a.pass[m]
                                                   : (b.row != a.row ? b.row > a.row : b.position > a.position);
        const TagUse& last = bLater ? b : a;
        text += (text.empty() ? "" : "; ") + std::string(m == kStep ? "every step" : std::string("at ") +
                                                                                          kMomentNames[m]) +
                " " + Who(last) + " writes last";
    }
    if (text.empty()) return "they write at different moments, so the tag holds whichever wrote last";
    return text + ", so the tag server keeps that value";
}

bool Bound(const TagDiagnosis& tag) { return tag.status == Verdict::Bound && !tag.text.empty(); }

std::string Key(int32_t dataSet, const std::string& text) { return std::to_string(dataSet) + '\n' + text; }

}  // namespace

std::vector<RowConflict> FindConflicts(const std::vector<RowDiagnosis>& rows) {
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
        c.code = "duplicate-controller";
        c.text = "controller " + std::to_string(row.index) + " names the same tags as controller " +
                 std::to_string(first.index) + " in data set " + std::to_string(row.tags[0].dataSet) +
                 ": one controller linked twice; both read its SP and OP, and the later row's SP Init, OP Init and "
                 "Mode writes (at DCSInitialize and DCSStart) overwrite the earlier row's";
        c.first = Side(a);
        c.second = Side(b);
        c.first.when = c.second.when = "SP and OP read every step; SP Init and OP Init written at DCSInitialize and "
                                       "DCSStart; Mode at DCSInitialize, DCSStart, DCSStop and DCSTimeZero";
        out.push_back(std::move(c));
    }

    std::unordered_map<std::string, std::vector<TagUse>> uses;
    for (const RowDiagnosis& row : rows) {
        for (size_t p = 0; p < row.tags.size(); ++p) {
            if (!Bound(row.tags[p]) && row.tags[p].code != "no-tag-value") continue;
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
                c.code = "flag-written-by-row";
                c.text = Who(u) + " writes \"" + u.tag->text + "\", the " + flag->tag->field +
                         " tag: the driver sets the flag " + WhenText(*flag) + ", and the row's writes (" +
                         WhenText(u) + ") overwrite it, so the tag server no longer tells whether the link " +
                         (flag->position == 0 ? "is enabled" : "is running");
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
            c.code = "two-writers";
            c.text = "\"" + u.tag->text + "\" in data set " + std::to_string(u.tag->dataSet) + " is written by " +
                     Who(*firstWriter) + " (" + WhenText(*firstWriter) + ") and by " + Who(u) + " (" + WhenText(u) +
                     "); " + Winner(*firstWriter, u);
            c.first = Side(*firstWriter);
            c.second = Side(u);
            out.push_back(std::move(c));
        }
        if (firstExport == nullptr) continue;
        for (const TagUse& u : *group) {
            if (u.use != Use::Read) continue;
            RowConflict c;
            c.severity = Severity::Warning;
            c.code = "export-read-back";
            const bool import = u.row->table == "pv_import";
            c.text = Who(*firstExport) + " writes \"" + u.tag->text + "\" every step, and " + Who(u) +
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
