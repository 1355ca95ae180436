#include "case/case_file.h"

#include "case/near_words.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "case/case_schema.h"
#include "case/expectations.h"
#include "os/os.h"
#include "platform/mrx3p_operations.h"
#include "toml_document.h"

namespace host {

namespace {

// A path named in the case, taken from the case file's folder. It is kept
// with forward slashes, which Windows takes as well, so that the reports of
// a case read the same on both systems.
std::string Resolved(const std::string& path, const std::string& baseDir) {
    std::filesystem::path resolved = os::FsPath(path);
    if (resolved.is_relative()) resolved = os::FsPath(baseDir) / resolved;
    return os::GenericUtf8(resolved.lexically_normal());
}

int32_t DataSet(const ValueReader& r, const RawValue& value) {
    return static_cast<int32_t>(
        r.Integer(value, "data_set", std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

TagKind KindOf(const ValueReader& r, const RawValue& value) {
    const std::string text = r.Text(value, "kind");
    for (TagKind kind : {TagKind::AI, TagKind::AO, TagKind::DI, TagKind::DO, TagKind::CALC}) {
        if (text == TagKindName(kind)) return kind;
    }
    r.Fail(value.at, "kind must be one of AI, AO, DI, DO, CALC, not \"" + text + "\"");
}

// The keys of a tag value, in a [[tag]] section or a set_tag event.
class TagReader {
public:
    explicit TagReader(const ValueReader& r) : r_(r) {}

    // Whether `entry` was one of the tag's keys.
    bool Take(const RawEntry& entry, TagValue& tag) {
        if (entry.key == "kind") {
            tag.kind = KindOf(r_, entry.value);
            hasKind_ = true;
        } else if (entry.key == "data_set") {
            tag.dataSet = DataSet(r_, entry.value);
        } else if (entry.key == "name") {
            tag.name = r_.Text(entry.value, "name");
            if (tag.name.empty()) r_.Fail(entry.value.at, "expected a tag name, not an empty text");
            hasName_ = true;
        } else if (entry.key == "value") {
            tag.value = r_.Number(entry.value, "value");
            value_ = entry.value.at;
        } else {
            return false;
        }
        return true;
    }

    // `what` is "a tag" or "a set_tag event", for the message of a missing key.
    void CheckComplete(const SourcePos& at, const std::string& what, const TagValue& tag) const {
        const std::string needs = what + " needs kind, name and value; ";
        if (!hasKind_) r_.Fail(at, needs + "kind (AI, AO, DI, DO or CALC) is missing");
        if (!hasName_) r_.Fail(at, needs + "name (the tag's name) is missing");
        if (value_.line == 0) r_.Fail(at, needs + "value is missing");
        if (!IsIntegerKind(tag.kind)) return;
        const double v = tag.value;
        const std::string kind = TagKindName(tag.kind);
        if (v != std::floor(v)) {
            r_.Fail(value_, "a " + kind + " tag holds a whole number; expected one for value, not " + ValueText(v));
        }
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
            r_.Fail(value_, "a " + kind + " tag holds a 32-bit integer, from -2147483648 to 2147483647; " +
                                ValueText(v) + " is out of that range");
        }
    }

private:
    const ValueReader& r_;
    bool hasKind_ = false, hasName_ = false;
    SourcePos value_;
};

// An unknown key of a section, with the nearest of its keys: kept, so that
// every one is named in one run. A section with one is not checked for
// missing keys: the misspelt key is the fault ("valeu" for value), and the
// case is refused for it anyway.
void UnknownKey(const ValueReader& r, const RawEntry& entry, const std::vector<std::string>& keys,
                const std::string& expected, std::vector<std::string>& unknown) {
    const std::string near = DidYouMean(NearestWords(entry.key, keys));
    unknown.push_back(r.Message(entry.keyAt, "unknown key \"" + entry.key + "\"; " + (near.empty() ? "" : near + " ") +
                                                 "expected " + expected));
}

TagValue ReadTag(const RawRow& row, size_t index, std::vector<std::string>& unknown) {
    const ValueReader r("tag " + std::to_string(index));
    TagValue tag;
    tag.line = row.at.line;
    TagReader keys(r);
    const size_t unknownBefore = unknown.size();
    for (const RawEntry& entry : row.entries) {
        if (!keys.Take(entry, tag)) {
            UnknownKey(r, entry, {"kind", "data_set", "name", "value"}, "kind, data_set, name, value", unknown);
        }
    }
    if (unknown.size() == unknownBefore) keys.CheckComplete(row.at, "a tag", tag);
    return tag;
}

Action ActionOf(const ValueReader& r, const RawValue& value) {
    const std::string action = r.Text(value, "action");
    for (Action a : {Action::Start, Action::Stop, Action::TimeZero, Action::SetTag}) {
        if (action == ActionName(a)) return a;
    }
    r.Fail(value.at, "action must be start, stop, time_zero or set_tag, not \"" + action + "\"");
}

Event ReadEvent(const RawRow& row, size_t index, std::vector<std::string>& unknown) {
    const ValueReader r("event " + std::to_string(index));
    Event event;
    event.line = row.at.line;
    event.tag.line = event.line;
    bool hasStep = false, hasAction = false;
    const RawEntry* firstTagKey = nullptr;
    TagReader keys(r);
    const size_t unknownBefore = unknown.size();
    for (const RawEntry& entry : row.entries) {
        if (entry.key == "step") {
            event.step = static_cast<int32_t>(r.Integer(entry.value, "step", 1, std::numeric_limits<int32_t>::max()));
            hasStep = true;
        } else if (entry.key == "action") {
            event.action = ActionOf(r, entry.value);
            hasAction = true;
        } else if (keys.Take(entry, event.tag)) {
            if (firstTagKey == nullptr) firstTagKey = &entry;
        } else {
            UnknownKey(r, entry, {"step", "action", "kind", "data_set", "name", "value"},
                       "step, action, and for set_tag kind, data_set, name, value", unknown);
        }
    }
    if (unknown.size() != unknownBefore) return event;
    if (!hasStep) r.Fail(row.at, "expected a key step (1 or later)");
    if (!hasAction) r.Fail(row.at, "expected a key action (start, stop, time_zero or set_tag)");
    if (event.action == Action::SetTag) {
        keys.CheckComplete(row.at, "a set_tag event", event.tag);
    } else if (firstTagKey != nullptr) {
        r.Fail(firstTagKey->keyAt,
               std::string("a tag is set only by set_tag events, not by ") + ActionName(event.action));
    }
    return event;
}

// "ReadAI, WriteAI, ...": the operations a [[fail]] can name.
std::string TagOperationNames() {
    std::string names;
    for (const MrxOperationInfo& op : kMrxOperations) {
        if (!MrxIsTagOperation(op)) continue;
        names += names.empty() ? "" : ", ";
        names += op.name;
    }
    return names;
}

ServerFailure ReadFailure(const RawRow& row, size_t index, std::vector<std::string>& unknown) {
    const ValueReader r("fail " + std::to_string(index));
    ServerFailure f;
    f.line = row.at.line;
    const size_t unknownBefore = unknown.size();
    for (const RawEntry& entry : row.entries) {
        const std::string& k = entry.key;
        if (k == "op") {
            const std::string op = r.Text(entry.value, "op");
            const MrxOperationInfo* named = MrxOperationNamed(op);
            if (named != nullptr && MrxIsTagOperation(*named)) f.operation = named->ordinal;
            if (f.operation == 0)
                r.Fail(entry.value.at, "op must be one of " + TagOperationNames() + ", not \"" + op + "\"");
        } else if (k == "name") {
            f.name = r.Text(entry.value, "name");
        } else if (k == "status") {
            f.status = static_cast<int32_t>(r.Integer(entry.value, "status", std::numeric_limits<int32_t>::min(),
                                                      std::numeric_limits<int32_t>::max()));
            if (f.status == 0) r.Fail(entry.value.at, "status 0 is success; a failure needs another status");
        } else if (k == "times") {
            f.times = static_cast<int32_t>(r.Integer(entry.value, "times", -1, std::numeric_limits<int32_t>::max()));
            if (f.times == 0) r.Fail(entry.value.at, "times 0 fails nothing; expected 1 or more, or -1 for every call");
        } else if (k == "step") {
            f.step = static_cast<int32_t>(r.Integer(entry.value, "step", 0, std::numeric_limits<int32_t>::max()));
        } else {
            UnknownKey(r, entry, {"op", "name", "status", "times", "step"}, "op, name, status, times, step", unknown);
        }
    }
    if (f.operation == 0 && unknown.size() == unknownBefore) {
        r.Fail(row.at, "expected a key op naming the operation that fails (ReadAI, ...)");
    }
    return f;
}

// The sections of an array of tables ([[key]]).
const std::vector<RawRow>& Sections(const ValueReader& r, const TomlItem& item) {
    if (item.shape != TomlItem::Shape::Tables) r.Fail(item.at, "expected [[" + item.key + "]] sections");
    return item.rows;
}

// The keys the case file takes at its top level, besides the IO lists.
class TopReader {
public:
    TopReader(Case& c, const std::string& baseDir) : c_(c), baseDir_(baseDir) {}

    void Take(const TomlItem& item) {
        const std::string& k = item.key;
        if (k == "init_string") {
            const std::string path = r_.PathText(item.value, "init_string");
            if (path.empty()) r_.Fail(item.at, "expected the path of the initialization string file for init_string");
            c_.initStringPath = Resolved(path, baseDir_);
            c_.initStringLine = item.at.line;
        } else if (k == "steps") {
            c_.steps = static_cast<int32_t>(r_.Integer(item.value, "steps", 0, kMaxSteps));
        } else if (k == "code_page") {
            c_.codePage = static_cast<int>(r_.Integer(item.value, "code_page", 1, 65535));
            c_.codePageLine = item.at.line;
        } else if (k == "general") {
            if (item.shape != TomlItem::Shape::Table) r_.Fail(item.at, "expected a table for general");
            c_.generalLine = item.at.line;
            const ValueReader general("general");
            for (const RawEntry& entry : item.rows.front().entries) {
                c_.general.push_back(general.Field(entry.key, entry.value));
            }
        } else if (k == "controllers" || k == "pv_exports" || k == "pv_imports") {
            const std::string path = r_.PathText(item.value, k);
            if (path.empty()) r_.Fail(item.at, "expected the path of a CSV file for " + k);
            lists_.push_back({k, Resolved(path, baseDir_), item.at});
        } else {
            TakeSections(item);
        }
    }

    void Finish() {
        if (c_.initStringPath.empty()) {
            r_.Fail({c_.file, 1, 0},
                    "expected init_string = \"FILE\" naming the initialization string of the tag server");
        }
        // The IO lists' rows follow the file's own, controllers first so
        // that a PV export of a list may follow any controller.
        for (const char* key : {"controllers", "pv_exports", "pv_imports"}) {
            for (const Case::IoList& list : lists_) {
                if (list.key == key) c_.ioLists.push_back(list);
            }
        }
    }

private:
    void TakeSections(const TomlItem& item) {
        const std::string& k = item.key;
        if (k == "tag") {
            for (const RawRow& row : Sections(r_, item))
                c_.tags.push_back(ReadTag(row, c_.tags.size(), c_.unknownKeys));
        } else if (k == "controller") {
            for (const RawRow& row : Sections(r_, item)) AppendRow(c_, RowTable::Controller, row);
        } else if (k == "pv_export") {
            for (const RawRow& row : Sections(r_, item)) AppendRow(c_, RowTable::PVExport, row);
        } else if (k == "pv_import") {
            for (const RawRow& row : Sections(r_, item)) AppendRow(c_, RowTable::PVImport, row);
        } else if (k == "event") {
            for (const RawRow& row : Sections(r_, item)) {
                c_.events.push_back(ReadEvent(row, c_.events.size(), c_.unknownKeys));
            }
        } else if (k == "fail") {
            for (const RawRow& row : Sections(r_, item)) {
                c_.failures.push_back(ReadFailure(row, c_.failures.size(), c_.unknownKeys));
            }
        } else if (k == "expect") {
            for (const RawRow& row : Sections(r_, item)) {
                Expectation e = ReadExpectation(row, c_.expectations.size(), c_.unknownKeys);
                if (!e.referenceText.empty()) e.reference = Resolved(e.referenceText, baseDir_);
                c_.expectations.push_back(std::move(e));
            }
        } else {
            const std::string near = DidYouMean(
                NearestWords(k, {"init_string", "steps", "code_page", "tag", "general", "controller", "pv_export",
                                 "pv_import", "event", "fail", "expect", "controllers", "pv_exports", "pv_imports"}));
            c_.unknownKeys.push_back(
                r_.Message(item.at, "unknown key \"" + k + "\"; " + (near.empty() ? "" : near + " ") +
                                        "expected init_string, steps, code_page, [[tag]], [general], "
                                        "[[controller]], [[pv_export]], [[pv_import]], [[event]], [[fail]], "
                                        "[[expect]], controllers, pv_exports or pv_imports"));
        }
    }

    Case& c_;
    const std::string& baseDir_;
    const ValueReader r_{""};
    std::vector<Case::IoList> lists_;
};

}  // namespace

Case ReadTomlCase(const std::string& text, const std::string& file, const std::string& baseDir) {
    Case c;
    c.file = file;
    TopReader top(c, baseDir);
    try {
        for (const TomlItem& item : ReadTomlDocument(text, file)) top.Take(item);
        top.Finish();
    } catch (const CaseError& e) {
        ThrowAfterUnknownKeys(c, e);
    }
    return c;
}

void ThrowAfterUnknownKeys(const Case& c, const CaseError& e) {
    // A typo ("folows") is what the faults after it follow from (gain
    // without follows), so the unknown keys come first.
    if (c.unknownKeys.empty()) throw e;
    std::string message;
    for (const std::string& line : c.unknownKeys) message += line + "\n";
    throw CaseError(message + e.what());
}

void RefuseUnknownKeys(const Case& c, const std::vector<std::string>& more) {
    if (c.unknownKeys.empty() && more.empty()) return;
    std::string text;
    for (const std::string& line : c.unknownKeys) text += (text.empty() ? "" : "\n") + line;
    for (const std::string& line : more) text += (text.empty() ? "" : "\n") + line;
    throw CaseError(text);
}

}  // namespace host
