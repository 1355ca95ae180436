#include "case/expectations.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "case/near_words.h"
#include "case/row_names.h"

namespace host {

namespace {

const std::vector<std::string>& ExpectKeys() {
    static const std::vector<std::string> keys = {
        "name",     "when",       "step",      "every_step",    "tag",        "kind",
        "data_set", "controller", "field",     "pv_import",     "configured", "flag",
        "boxes",    "box_title",  "box_text",  "value",         "tolerance",  "rel_tolerance",
        "min",      "max",        "reference", "time_tolerance"};
    return keys;
}

const ExpectWhen kNamedMoments[] = {ExpectWhen::Configure, ExpectWhen::Initialize, ExpectWhen::Start,
                                    ExpectWhen::Stop,      ExpectWhen::TimeZero,   ExpectWhen::Reset};

// The keys of one table by name, each with its value and place.
class Keys {
public:
    Keys(const RawRow& row, const ValueReader& r, std::vector<std::string>& unknown) : r_(r) {
        for (const RawEntry& entry : row.entries) {
            const std::vector<std::string>& known = ExpectKeys();
            if (std::find(known.begin(), known.end(), entry.key) != known.end()) {
                given_[entry.key] = &entry;
                continue;
            }
            const std::string near = DidYouMean(NearestWords(entry.key, known));
            unknown.push_back(r.Message(entry.keyAt, "unknown key \"" + entry.key + "\"; " +
                                                         (near.empty() ? "" : near + " ") + "expected one of " +
                                                         Joined(known)));
        }
    }

    const RawEntry* operator[](const std::string& key) const {
        const auto found = given_.find(key);
        return found == given_.end() ? nullptr : found->second;
    }

    // The first of `keys` given, or null; refuses a second one.
    const RawEntry* OneOf(const std::vector<std::string>& keys, const std::string& what) const {
        const RawEntry* first = nullptr;
        for (const RawEntry* entry : InFileOrder(keys)) {
            if (first != nullptr) {
                r_.Fail(entry->keyAt, "expected one " + what + ", not both " + first->key + " and " + entry->key);
            }
            first = entry;
        }
        return first;
    }

    // Refuses any of `keys` given, for the reason `why`.
    void Refuse(const std::vector<std::string>& keys, const std::string& why) const {
        const std::vector<const RawEntry*> given = InFileOrder(keys);
        if (!given.empty()) r_.Fail(given.front()->keyAt, given.front()->key + " " + why);
    }

    static std::string Joined(const std::vector<std::string>& words) {
        std::string text;
        for (const std::string& w : words) text += (text.empty() ? "" : ", ") + w;
        return text;
    }

private:
    std::vector<const RawEntry*> InFileOrder(const std::vector<std::string>& keys) const {
        std::vector<const RawEntry*> given;
        for (const std::string& key : keys) {
            if (const RawEntry* entry = (*this)[key]) given.push_back(entry);
        }
        std::sort(given.begin(), given.end(), [](const RawEntry* a, const RawEntry* b) {
            return a->keyAt.line != b->keyAt.line ? a->keyAt.line < b->keyAt.line : a->keyAt.column < b->keyAt.column;
        });
        return given;
    }

    const ValueReader& r_;
    std::map<std::string, const RawEntry*> given_;
};

bool Boolean(const ValueReader& r, const RawEntry& entry) {
    if (entry.value.type != RawValue::Type::Boolean) {
        r.Fail(entry.value.at,
               "expected true or false for " + entry.key + ", not " + ValueReader::Described(entry.value));
    }
    return entry.value.boolean;
}

std::string OneWordOf(const ValueReader& r, const RawEntry& entry, const std::vector<std::string>& words) {
    const std::string text = r.Text(entry.value, entry.key);
    if (std::find(words.begin(), words.end(), text) == words.end()) {
        r.Fail(entry.value.at, entry.key + " must be one of " + Keys::Joined(words) + ", not \"" + text + "\"");
    }
    return text;
}

void ReadWhen(const ValueReader& r, const Keys& keys, const RawRow& row, Expectation& e) {
    const RawEntry* when = keys.OneOf({"when", "step", "every_step"}, "moment");
    if (when == nullptr) {
        r.Fail(row.at,
               "expected when the value is looked at: when = \"configure\", \"initialize\", \"start\", "
               "\"stop\", \"time_zero\" or \"reset\"; step = N; or every_step = true");
    }
    if (when->key == "step") {
        e.when = ExpectWhen::Step;
        e.step = static_cast<int32_t>(r.Integer(when->value, "step", 1, kMaxSteps));
    } else if (when->key == "every_step") {
        if (!Boolean(r, *when)) r.Fail(when->value.at, "every_step = false looks at no step; leave it out");
        e.when = ExpectWhen::EveryStep;
    } else {
        std::vector<std::string> names;
        for (ExpectWhen w : kNamedMoments) names.push_back(ExpectWhenName(w));
        const std::string name = OneWordOf(r, *when, names);
        for (ExpectWhen w : kNamedMoments) {
            if (name == ExpectWhenName(w)) e.when = w;
        }
    }
}

// The row a controller or pv_import key names: by its name, or its index.
void ReadRowRef(const ValueReader& r, const RawEntry& entry, Expectation& e) {
    e.whatAt = entry.value.at;
    if (entry.value.type == RawValue::Type::Integer) {
        e.index = r.Integer(entry.value, entry.key, 0, std::numeric_limits<int32_t>::max());
        return;
    }
    e.row = r.Text(entry.value, entry.key);
    if (e.row.empty()) r.Fail(entry.value.at, "expected a row's name or index for " + entry.key);
}

// The subject and, for those that carry it, the expected value.
void ReadSubject(const ValueReader& r, const Keys& keys, const RawRow& row, Expectation& e) {
    const RawEntry* what =
        keys.OneOf({"tag", "controller", "pv_import", "configured", "flag", "boxes", "reference"}, "subject");
    const RawEntry* boxPattern = keys["box_title"] != nullptr ? keys["box_title"] : keys["box_text"];
    if (what == nullptr && boxPattern != nullptr) what = boxPattern;
    if (what == nullptr) {
        r.Fail(row.at,
               "expected what is looked at: tag = NAME (with kind and data_set), controller = NAME or "
               "INDEX (with field), pv_import = NAME or INDEX, configured, flag, boxes (with box_title "
               "and box_text), or reference = \"RUN.csv\"");
    }
    const std::string& k = what->key;
    if (k != "reference") keys.Refuse({"time_tolerance"}, "belongs to a reference = \"RUN.csv\" expectation");
    if (k != "tag") keys.Refuse({"kind", "data_set"}, "belongs to a tag = NAME expectation");
    if (k != "controller" && k != "flag") keys.Refuse({"field"}, "belongs to a controller = NAME expectation");
    if (what != boxPattern && k != "boxes") keys.Refuse({"box_title", "box_text"}, "belongs to a boxes expectation");
    if (k == "tag") {
        e.subject = ExpectSubject::Tag;
        e.whatAt = what->value.at;
        e.tag.name = r.Text(what->value, "tag");
        if (e.tag.name.empty()) r.Fail(what->value.at, "expected a tag name, not an empty text");
        e.tagText = e.tag.name;
        const RawEntry* kind = keys["kind"];
        if (kind == nullptr) r.Fail(what->keyAt, "a tag's value needs its kind (AI, AO, DI, DO or CALC)");
        const std::string name = OneWordOf(r, *kind, {"AI", "AO", "DI", "DO", "CALC"});
        for (TagKind t : {TagKind::AI, TagKind::AO, TagKind::DI, TagKind::DO, TagKind::CALC}) {
            if (name == TagKindName(t)) e.tag.kind = t;
        }
        if (const RawEntry* dataSet = keys["data_set"]) {
            e.tag.dataSet = static_cast<int32_t>(r.Integer(
                dataSet->value, "data_set", std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
        }
    } else if (k == "controller") {
        e.subject = ExpectSubject::Controller;
        ReadRowRef(r, *what, e);
        const RawEntry* field = keys["field"];
        if (field == nullptr) r.Fail(what->keyAt, "a controller's value needs field = \"SP\", \"OP\" or \"Mode\"");
        e.field = OneWordOf(r, *field, {"SP", "OP", "Mode"});
    } else if (k == "pv_import") {
        e.subject = ExpectSubject::PVImport;
        ReadRowRef(r, *what, e);
    } else if (k == "flag") {
        e.subject = ExpectSubject::Flag;
        e.field = OneWordOf(r, *what, {"Enabled", "Running"});
    } else if (k == "reference") {
        e.subject = ExpectSubject::Reference;
        e.whatAt = what->value.at;
        e.referenceText = r.PathText(what->value, "reference");
        if (e.referenceText.empty()) r.Fail(what->value.at, "expected the path of a CSV written by run --csv");
    } else if (k == "configured") {
        e.subject = ExpectSubject::Configured;
        e.value = Boolean(r, *what) ? 1.0 : 0.0;
    } else {
        e.subject = ExpectSubject::Boxes;
        if (const RawEntry* title = keys["box_title"]) e.boxTitle = r.PathText(title->value, "box_title");
        if (const RawEntry* text = keys["box_text"]) e.boxText = r.PathText(text->value, "box_text");
        if (k == "boxes") {
            e.value = static_cast<double>(r.Integer(what->value, "boxes", 0, std::numeric_limits<int32_t>::max()));
        } else {
            e.min = 1.0;  // a title or text alone: at least one box shows it
        }
    }
}

double NonNegative(const ValueReader& r, const RawEntry& entry) {
    const double v = r.Number(entry.value, entry.key);
    if (v < 0.0) r.Fail(entry.value.at, entry.key + " must be 0 or more, not " + ValueText(v));
    return v;
}

void ReadExpected(const ValueReader& r, const Keys& keys, const RawRow& row, Expectation& e) {
    if (e.subject == ExpectSubject::Reference) {
        keys.Refuse({"value", "min", "max"},
                    "does not go with reference, whose curves are what is expected; give the tube's "
                    "tolerance, rel_tolerance or time_tolerance");
        if (const RawEntry* t = keys["tolerance"]) e.tolerance = NonNegative(r, *t);
        if (const RawEntry* t = keys["rel_tolerance"]) e.relTolerance = NonNegative(r, *t);
        if (const RawEntry* t = keys["time_tolerance"]) {
            e.timeTolerance = static_cast<int32_t>(r.Integer(t->value, "time_tolerance", 0, kMaxSteps));
        }
        return;
    }
    const bool carried = e.subject == ExpectSubject::Configured || e.subject == ExpectSubject::Boxes;
    if (carried) {
        keys.Refuse({"value", "tolerance", "rel_tolerance", "min", "max"},
                    e.subject == ExpectSubject::Configured
                        ? "does not go with configured, whose true or false is what is expected"
                        : "does not go with boxes, whose count (or, without one, at least one box) is what is "
                          "expected");
        return;
    }
    const RawEntry* value = keys["value"];
    if (value != nullptr) {
        keys.Refuse({"min", "max"}, "does not go with value: expect a value (with a tolerance) or a range");
        e.value = r.Number(value->value, "value");
        if (const RawEntry* t = keys["tolerance"]) e.tolerance = NonNegative(r, *t);
        if (const RawEntry* t = keys["rel_tolerance"]) e.relTolerance = NonNegative(r, *t);
        return;
    }
    keys.Refuse({"tolerance", "rel_tolerance"}, "needs a value to be a tolerance of");
    if (const RawEntry* min = keys["min"]) e.min = r.Number(min->value, "min");
    if (const RawEntry* max = keys["max"]) e.max = r.Number(max->value, "max");
    if (!e.min && !e.max) r.Fail(row.at, "expected value = X (with tolerance or rel_tolerance), or min and/or max");
    if (e.min && e.max && *e.min > *e.max) {
        r.Fail(keys["max"]->value.at, "max " + ValueText(*e.max) + " is below min " + ValueText(*e.min));
    }
}

// The names of the tags the case speaks of: the server's values, the texts
// of the rows and the general data, and the tags its events set.
std::vector<std::string> TagNamesOf(const Case& c) {
    std::vector<std::string> names;
    for (const TagValue& tag : c.tags) names.push_back(tag.name);
    for (const Event& event : c.events) {
        if (event.action == Action::SetTag) names.push_back(event.tag.name);
    }
    const auto texts = [&](const std::vector<FieldValue>& fields) {
        for (const FieldValue& f : fields) {
            if (f.isText && !f.text.empty()) names.push_back(f.text);
        }
    };
    texts(c.general);
    for (const ControllerCase& row : c.controllers) texts(row.fields);
    for (const PVExportCase& row : c.pvExports) texts(row.fields);
    for (const PVImportCase& row : c.pvImports) texts(row.fields);
    return names;
}

std::string Suggested(const std::string& word, const std::vector<std::string>& candidates) {
    const std::string near = DidYouMean(NearestWords(word, candidates));
    return near.empty() ? "" : "; " + near;
}

void CheckRow(const ValueReader& r, Expectation& e, const std::vector<std::string>& names, const std::string& table) {
    if (e.row.empty()) {
        if (static_cast<size_t>(e.index) >= names.size()) {
            r.Fail(e.whatAt, table + " " + std::to_string(e.index) + " is no row of the case (it has " +
                                 std::to_string(names.size()) + " " + table + " row(s))");
        }
        return;
    }
    const auto found = std::find(names.begin(), names.end(), e.row);
    if (found == names.end()) {
        r.Fail(e.whatAt, "the case has no " + table + " named \"" + e.row + "\"" + Suggested(e.row, names));
    }
    e.index = found - names.begin();
}

}  // namespace

const char* ExpectWhenName(ExpectWhen when) {
    switch (when) {
    case ExpectWhen::Configure: return "configure";
    case ExpectWhen::Initialize: return "initialize";
    case ExpectWhen::Start: return "start";
    case ExpectWhen::Stop: return "stop";
    case ExpectWhen::TimeZero: return "time_zero";
    case ExpectWhen::Reset: return "reset";
    case ExpectWhen::Step: return "step";
    case ExpectWhen::EveryStep: return "every_step";
    }
    return "?";
}

Expectation ReadExpectation(const RawRow& row, size_t index, std::vector<std::string>& unknown) {
    const ValueReader r("expect " + std::to_string(index));
    Expectation e;
    e.at = row.at;
    const size_t unknownBefore = unknown.size();
    const Keys keys(row, r, unknown);
    // A misspelt key is the fault the others follow from ("vaule").
    if (unknown.size() != unknownBefore) return e;
    if (const RawEntry* name = keys["name"]) e.name = r.PathText(name->value, "name");
    if (keys["reference"] != nullptr) {
        // The curves are held at every step the run takes.
        keys.Refuse({"when", "step", "every_step"},
                    "does not go with reference, whose curves are compared at every step of the run");
        e.when = ExpectWhen::EveryStep;
    } else {
        ReadWhen(r, keys, row, e);
    }
    ReadSubject(r, keys, row, e);
    ReadExpected(r, keys, row, e);
    return e;
}

void CheckExpectations(Case& c) {
    const RowNames rows = RowNamesOf(c);
    const std::vector<std::string> tags = TagNamesOf(c);
    for (size_t i = 0; i < c.expectations.size(); ++i) {
        Expectation& e = c.expectations[i];
        const ValueReader r("expect " + std::to_string(i));
        if (e.subject == ExpectSubject::Controller) CheckRow(r, e, rows.controllers, "controller");
        if (e.subject == ExpectSubject::PVImport) CheckRow(r, e, rows.pvImports, "pv_import");
        if (e.subject == ExpectSubject::Tag && std::find(tags.begin(), tags.end(), e.tag.name) == tags.end()) {
            r.Fail(e.whatAt, "the case names no tag \"" + e.tag.name +
                                 "\": no [[tag]], row or set_tag event gives or uses it" + Suggested(e.tag.name, tags));
        }
    }
}

std::string MomentText(const Expectation& e) {
    switch (e.when) {
    case ExpectWhen::Configure: return "after DCSConfigure";
    case ExpectWhen::Initialize: return "after DCSInitialize";
    case ExpectWhen::Start: return "after DCSStart";
    case ExpectWhen::Stop: return "after DCSStop";
    case ExpectWhen::TimeZero: return "after DCSTimeZero";
    case ExpectWhen::Reset: return "after DCSReset";
    case ExpectWhen::Step: return "at step " + std::to_string(e.step);
    case ExpectWhen::EveryStep: return "at every step";
    }
    return "?";
}

std::string SubjectText(const Expectation& e) {
    switch (e.subject) {
    case ExpectSubject::Tag:
        return std::string(TagKindName(e.tag.kind)) + " tag \"" + e.tagText + "\"" +
               (e.tag.dataSet == 1 ? "" : " of data set " + std::to_string(e.tag.dataSet));
    case ExpectSubject::Controller:
        return "controller " + (e.row.empty() ? std::to_string(e.index) : e.row) + " " + e.field;
    case ExpectSubject::PVImport: return "pv_import " + (e.row.empty() ? std::to_string(e.index) : e.row);
    case ExpectSubject::Configured: return "configured";
    case ExpectSubject::Flag: return "the " + e.field + " flag";
    case ExpectSubject::Reference: return "the curves of \"" + e.referenceText + "\"";
    case ExpectSubject::Boxes: {
        std::string text = "boxes";
        if (!e.boxTitle.empty()) text += " titled \"" + e.boxTitle + "\"";
        if (!e.boxText.empty()) text += " saying \"" + e.boxText + "\"";
        return text;
    }
    }
    return "?";
}

std::string ExpectedText(const Expectation& e) {
    if (e.subject == ExpectSubject::Reference) {
        std::string text = "inside the tube: ± " + ValueText(e.tolerance);
        if (e.relTolerance > 0.0) text += " or " + ValueText(e.relTolerance * 100) + "%";
        return text + ", " + std::to_string(e.timeTolerance) + " step(s) either side";
    }
    if (e.subject == ExpectSubject::Configured) return e.value.value_or(1.0) != 0.0 ? "yes" : "no";
    if (e.value) {
        std::string text = ValueText(*e.value);
        if (e.tolerance > 0.0) text += " ± " + ValueText(e.tolerance);
        if (e.relTolerance > 0.0) text += (e.tolerance > 0.0 ? " or " : " ± ") + ValueText(e.relTolerance * 100) + "%";
        return text;
    }
    if (e.min && e.max) return "from " + ValueText(*e.min) + " to " + ValueText(*e.max);
    if (e.min) return "at least " + ValueText(*e.min);
    return e.max ? "at most " + ValueText(*e.max) : "anything";  // a table refused for an unknown key
}

std::string ExpectationName(const Expectation& e) {
    return e.name.empty() ? SubjectText(e) + " " + MomentText(e) : e.name;
}

}  // namespace host
