#include "case/case_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <sstream>

#include <toml++/toml.h>

#include "case/input_file.h"
#include "case/io_list_csv.h"
#include "os/os.h"

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

int LineOf(const toml::node& node) { return static_cast<int>(node.source().begin.line); }
int LineOf(const toml::key& key) { return static_cast<int>(key.source().begin.line); }

std::string Lower(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

// Edits (insert, delete, replace) between two texts, ignoring case.
size_t EditDistance(const std::string& a, const std::string& b) {
    const std::string x = Lower(a), y = Lower(b);
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

// The key of `keys` ("a, b, c") that `key` is a near miss of, or "".
std::string NearKey(const std::string& key, const std::string& keys) {
    std::istringstream list(keys);
    std::string candidate;
    while (std::getline(list, candidate, ',')) {
        candidate.erase(0, candidate.find_first_not_of(' '));
        const size_t allowed = candidate.size() <= 4 ? 1 : 2;
        if (candidate != key && EditDistance(candidate, key) <= allowed) {
            return candidate;
        }
    }
    return "";
}

// Reads the values of one table of the file, with the file name and the
// table's description at hand for every message.
class Reader {
public:
    Reader(const std::string& file, std::string what, std::vector<CaseWarning>* warnings = nullptr)
        : file_(file), what_(std::move(what)), warnings_(warnings) {}

    [[noreturn]] void Fail(int line, const std::string& message) const {
        throw CaseError(Located(file_, line, what_.empty() ? message : what_ + ": " + message));
    }

    void Warn(int line, const std::string& message) const {
        if (warnings_ != nullptr) {
            warnings_->push_back(
                {line, Located(file_, line, "warning: " + (what_.empty() ? message : what_ + ": " + message))});
        }
    }

    int64_t Integer(const toml::node& node, const std::string& key, int64_t low, int64_t high) const {
        const auto* value = node.as_integer();
        if (value == nullptr) {
            Fail(LineOf(node), "expected an integer for " + key);
        }
        const int64_t v = value->get();
        if (v < low || v > high) {
            Fail(LineOf(node), key + " must be between " + std::to_string(low) + " and " + std::to_string(high) +
                                   ", not " + std::to_string(v));
        }
        return v;
    }

    double Number(const toml::node& node, const std::string& key) const {
        double v = 0.0;
        if (const auto* i = node.as_integer()) {
            v = static_cast<double>(i->get());
        } else if (const auto* f = node.as_floating_point()) {
            v = f->get();
        } else {
            Fail(LineOf(node), "expected a number for " + key);
        }
        if (!std::isfinite(v)) {
            Fail(LineOf(node), "expected a finite number for " + key);
        }
        return v;
    }

    std::string Text(const toml::node& node, const std::string& key) const {
        const auto* value = node.as_string();
        if (value == nullptr) {
            Fail(LineOf(node), "expected a text for " + key);
        }
        const std::string& text = value->get();
        if (text.size() > kMaxTextLength) {
            Fail(LineOf(node), key + " is " + std::to_string(text.size()) +
                                   " bytes long; the driver's text cells hold " + std::to_string(kMaxTextLength) +
                                   " bytes at most (a character outside ASCII takes 2 to 4 bytes)");
        }
        if (text.find('\0') != std::string::npos) {
            Fail(LineOf(node), key + " holds a NUL character");
        }
        return text;
    }

    // 0 or 1, as an integer or a boolean.
    int32_t Switch(const toml::node& node, const std::string& key) const {
        if (const auto* b = node.as_boolean()) {
            return b->get() ? 1 : 0;
        }
        if (node.as_integer() == nullptr) {
            Fail(LineOf(node), "expected 0, 1, true or false for " + key);
        }
        const int64_t value =
            Integer(node, key, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max());
        // A host may store any 16-bit value here, so it is taken; but the
        // driver counts only exactly 1 as set, which the user may not expect.
        if (value != 0 && value != 1) {
            Warn(LineOf(node), key + " = " + std::to_string(value) +
                                   " is taken, but the driver counts only exactly 1 as set: it treats this as 0 "
                                   "(off)");
        }
        return static_cast<int32_t>(value);
    }

    const toml::table& Table(const toml::node& node, const std::string& key) const {
        const auto* table = node.as_table();
        if (table == nullptr) {
            Fail(LineOf(node), "expected a table for " + key);
        }
        return *table;
    }

    // The tables of an array of tables ([[key]] sections).
    std::vector<const toml::table*> Tables(const toml::node& node, const std::string& key) const {
        const auto* array = node.as_array();
        if (array == nullptr) {
            Fail(LineOf(node), "expected [[" + key + "]] sections");
        }
        std::vector<const toml::table*> tables;
        for (const toml::node& element : *array) {
            const auto* table = element.as_table();
            if (table == nullptr) {
                Fail(LineOf(element), "expected [[" + key + "]] sections");
            }
            tables.push_back(table);
        }
        return tables;
    }

    // A field of the driver's tables: an integer (integer and option
    // fields) or a text (text fields, and option fields by label).
    FieldValue Field(const std::string& label, const toml::node& node) const {
        FieldValue field;
        field.label = label;
        field.line = LineOf(node);
        if (node.is_string()) {
            field.isText = true;
            field.text = Text(node, "\"" + label + "\"");
        } else if (node.is_integer()) {
            field.integer = Integer(node, "\"" + label + "\"", std::numeric_limits<int32_t>::min(),
                                    std::numeric_limits<int32_t>::max());
        } else {
            field.otherType = TypeName(node);
        }
        return field;
    }

    // A key that is none of `hostKeys` ("a, b, c") but so close to one
    // that it is surely a typo of it, rather than a label of the driver's
    // (which the host cannot know before the driver is loaded).
    void RefuseNearMiss(const toml::key& key, const char* hostKeys, const std::string& rowKind) const {
        const std::string near = NearKey(std::string(key.str()), hostKeys);
        if (!near.empty()) {
            Fail(LineOf(key), "unknown key \"" + std::string(key.str()) + "\"; did you mean " + near + "? A " +
                                  rowKind + " takes the host keys " + hostKeys +
                                  ", and the fields the driver declares by their quoted labels");
        }
    }

private:
    static std::string TypeName(const toml::node& node) {
        switch (node.type()) {
        case toml::node_type::floating_point: return "a floating-point number";
        case toml::node_type::boolean: return "a boolean";
        case toml::node_type::array: return "an array";
        case toml::node_type::table: return "a table";
        default: return "a date or time";
        }
    }

    const std::string& file_;
    std::string what_;
    std::vector<CaseWarning>* warnings_;
};

int32_t DataSet(const Reader& r, const toml::node& node) {
    return static_cast<int32_t>(
        r.Integer(node, "data_set", std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

TagKind KindOf(const Reader& r, const toml::node& node) {
    const std::string text = r.Text(node, "kind");
    for (TagKind kind : {TagKind::AI, TagKind::AO, TagKind::DI, TagKind::DO, TagKind::CALC}) {
        if (text == TagKindName(kind)) {
            return kind;
        }
    }
    r.Fail(LineOf(node), "kind must be one of AI, AO, DI, DO, CALC, not \"" + text + "\"");
}

// The keys of a tag value ([[tag]] and set_tag events) other than the
// table's own; returns whether the key was one of them.
bool ReadTagKey(const Reader& r, const std::string& key, const toml::node& node, TagValue& tag, bool& hasKind,
                bool& hasName, bool& hasValue, const toml::node*& valueNode) {
    if (key == "kind") {
        tag.kind = KindOf(r, node);
        hasKind = true;
    } else if (key == "data_set") {
        tag.dataSet = DataSet(r, node);
    } else if (key == "name") {
        tag.name = r.Text(node, "name");
        if (tag.name.empty()) {
            r.Fail(LineOf(node), "expected a tag name, not an empty text");
        }
        hasName = true;
    } else if (key == "value") {
        tag.value = r.Number(node, "value");
        hasValue = true;
        valueNode = &node;
    } else {
        return false;
    }
    return true;
}

// "99999999999" for a whole number, "1.5" otherwise.
std::string NumberText(double value) {
    std::ostringstream text;
    text.precision(17);
    if (std::fabs(value) < 1e18 && value == std::floor(value)) {
        text << static_cast<int64_t>(value);
    } else {
        text << value;
    }
    return text.str();
}

// `what` is "a tag" or "a set_tag event", for the message of a missing key.
void CheckTagComplete(const Reader& r, int line, const std::string& what, TagValue& tag, bool hasKind, bool hasName,
                      bool hasValue, const toml::node* valueNode) {
    const std::string needs = what + " needs kind, name and value; ";
    if (!hasKind) r.Fail(line, needs + "kind (AI, AO, DI, DO or CALC) is missing");
    if (!hasName) r.Fail(line, needs + "name (the tag's name) is missing");
    if (!hasValue) r.Fail(line, needs + "value is missing");
    if (IsIntegerKind(tag.kind)) {
        const double v = tag.value;
        const std::string kind = TagKindName(tag.kind);
        if (v != std::floor(v)) {
            r.Fail(LineOf(*valueNode),
                   "a " + kind + " tag holds a whole number; expected one for value, not " + NumberText(v));
        }
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
            r.Fail(LineOf(*valueNode), "a " + kind + " tag holds a 32-bit integer, from -2147483648 to 2147483647; " +
                                           NumberText(v) + " is out of that range");
        }
    }
}

TagValue ReadTag(const std::string& file, const toml::table& table, size_t index) {
    const Reader r(file, "tag " + std::to_string(index));
    TagValue tag;
    tag.line = LineOf(table);
    bool hasKind = false, hasName = false, hasValue = false;
    const toml::node* valueNode = nullptr;
    for (auto&& [key, node] : table) {
        if (!ReadTagKey(r, std::string(key.str()), node, tag, hasKind, hasName, hasValue, valueNode)) {
            r.Fail(LineOf(key), "unknown key \"" + std::string(key.str()) + "\"; expected kind, data_set, name, value");
        }
    }
    CheckTagComplete(r, tag.line, "a tag", tag, hasKind, hasName, hasValue, valueNode);
    return tag;
}

Event ReadEvent(const std::string& file, const toml::table& table, size_t index) {
    const Reader r(file, "event " + std::to_string(index));
    Event event;
    event.line = LineOf(table);
    event.tag.line = event.line;
    bool hasStep = false, hasAction = false;
    bool hasKind = false, hasName = false, hasValue = false, anyTagKey = false;
    const toml::node* valueNode = nullptr;
    int firstTagKeyLine = 0;
    for (auto&& [key, node] : table) {
        const std::string k(key.str());
        if (k == "step") {
            event.step = static_cast<int32_t>(r.Integer(node, "step", 1, std::numeric_limits<int32_t>::max()));
            hasStep = true;
        } else if (k == "action") {
            const std::string action = r.Text(node, "action");
            if (action == "start") {
                event.action = Action::Start;
            } else if (action == "stop") {
                event.action = Action::Stop;
            } else if (action == "time_zero") {
                event.action = Action::TimeZero;
            } else if (action == "set_tag") {
                event.action = Action::SetTag;
            } else {
                r.Fail(LineOf(node), "action must be start, stop, time_zero or set_tag, not \"" + action + "\"");
            }
            hasAction = true;
        } else if (ReadTagKey(r, k, node, event.tag, hasKind, hasName, hasValue, valueNode)) {
            if (!anyTagKey) {
                firstTagKeyLine = LineOf(key);
            }
            anyTagKey = true;
        } else {
            r.Fail(LineOf(key), "unknown key \"" + k +
                                    "\"; expected step, action, and for set_tag kind, data_set, "
                                    "name, value");
        }
    }
    if (!hasStep) r.Fail(event.line, "expected a key step (1 or later)");
    if (!hasAction) r.Fail(event.line, "expected a key action (start, stop, time_zero or set_tag)");
    if (event.action == Action::SetTag) {
        CheckTagComplete(r, event.line, "a set_tag event", event.tag, hasKind, hasName, hasValue, valueNode);
    } else if (anyTagKey) {
        r.Fail(firstTagKeyLine, std::string("a tag is set only by set_tag events, not by ") + ActionName(event.action));
    }
    return event;
}

// The driver captures a mode as a 32-bit integer, truncated toward zero.
void WarnOfMode(const Reader& r, int line, double mode) {
    if (mode < std::numeric_limits<int32_t>::min() || mode > std::numeric_limits<int32_t>::max()) {
        r.Warn(line, "Mode = " + NumberText(mode) +
                         " is taken, but it lies outside the 32-bit range the driver converts a mode into: what it "
                         "captures and writes to the Mode tag is not defined");
    } else if (mode != std::trunc(mode)) {
        r.Warn(line, "Mode = " + NumberText(mode) +
                         " is taken, but the driver truncates a mode toward zero: it captures " +
                         NumberText(std::trunc(mode)) + " and writes that to the Mode tag");
    }
}

ControllerCase ReadController(const std::string& file, const toml::table& table, size_t index,
                              std::vector<CaseWarning>& warnings) {
    const Reader r(file, "controller " + std::to_string(index), &warnings);
    ControllerCase row;
    row.line = LineOf(table);
    row.name = "ctrl" + std::to_string(index);
    for (auto&& [key, node] : table) {
        const std::string k(key.str());
        if (k == "name") {
            row.name = r.Text(node, "name");
        } else if (k == "OPEnabled") {
            row.opEnabled = r.Switch(node, "OPEnabled");
        } else if (k == "Mode") {
            row.mode = r.Number(node, "Mode");
            WarnOfMode(r, LineOf(node), *row.mode);
        } else if (k == "SP") {
            row.sp = r.Number(node, "SP");
        } else if (k == "OP") {
            row.op = r.Number(node, "OP");
        } else {
            r.RefuseNearMiss(key, kControllerHostKeys, "controller");
            row.fields.push_back(r.Field(k, node));
        }
    }
    return row;
}

PVExportCase ReadPVExport(const std::string& file, const toml::table& table, size_t index,
                          std::vector<CaseWarning>& warnings) {
    const Reader r(file, "pv_export " + std::to_string(index), &warnings);
    PVExportCase row;
    row.line = LineOf(table);
    row.name = "pvx" + std::to_string(index);
    int valueLine = 0, modelLine = 0;
    bool hasFollows = false;
    for (auto&& [key, node] : table) {
        const std::string k(key.str());
        if (k == "name") {
            row.name = r.Text(node, "name");
        } else if (k == "Active") {
            row.active = r.Switch(node, "Active");
        } else if (k == "value") {
            row.response.constant = r.Number(node, "value");
            valueLine = LineOf(key);
        } else if (k == "follows") {
            row.response.controller =
                static_cast<int32_t>(r.Integer(node, "follows", 0, std::numeric_limits<int32_t>::max()));
            hasFollows = true;
        } else if (k == "gain") {
            row.response.gain = r.Number(node, "gain");
            modelLine = modelLine == 0 ? LineOf(key) : modelLine;
        } else if (k == "time_constant") {
            row.response.timeConstant = r.Number(node, "time_constant");
            if (row.response.timeConstant < 1.0) {
                r.Fail(LineOf(node), "time_constant is counted in steps and must be at least 1");
            }
            modelLine = modelLine == 0 ? LineOf(key) : modelLine;
        } else if (k == "initial") {
            row.response.initial = r.Number(node, "initial");
            modelLine = modelLine == 0 ? LineOf(key) : modelLine;
        } else {
            r.RefuseNearMiss(key, kPVExportHostKeys, "pv_export");
            row.fields.push_back(r.Field(k, node));
        }
    }
    if (hasFollows && valueLine != 0) {
        r.Fail(valueLine, "expected either value (a constant) or follows (a response to a controller's OP), not both");
    }
    if (!hasFollows && modelLine != 0) {
        r.Fail(modelLine,
               "gain, time_constant and initial describe a response to a controller's OP and need "
               "follows = INDEX (the controller's index), which this pv_export does not give");
    }
    row.response.follows = hasFollows;
    return row;
}

PVImportCase ReadPVImport(const std::string& file, const toml::table& table, size_t index,
                          std::vector<CaseWarning>& warnings) {
    const Reader r(file, "pv_import " + std::to_string(index), &warnings);
    PVImportCase row;
    row.line = LineOf(table);
    row.name = "pvi" + std::to_string(index);
    for (auto&& [key, node] : table) {
        const std::string k(key.str());
        if (k == "name") {
            row.name = r.Text(node, "name");
        } else if (k == "Active") {
            row.active = r.Switch(node, "Active");
        } else {
            r.RefuseNearMiss(key, kPVImportHostKeys, "pv_import");
            row.fields.push_back(r.Field(k, node));
        }
    }
    return row;
}

// Proves the initialization string file readable and bounded, or says at
// the init_string line why it is not. The server reads it again when it is
// prepared for a run.
void CheckInitString(Case& c) {
    try {
        ReadInputFile(c.initStringPath, "the initialization string file");
    } catch (const std::runtime_error& e) {
        throw CaseError(Located(c.file, c.initStringLine, e.what()));
    }
    c.namedFiles.push_back({"the initialization string file", c.initStringPath});
}

// toml++ 3.3 tests a non-ASCII character met outside a text for white space
// with a table that misses some ranges (U+00A1 to U+0499, U+2CAE to U+30A7,
// U+FB36 to U+FEFE) and then reaches a branch marked unreachable: undefined
// behaviour on a one-character typo. No such character is valid TOML there,
// so the case file is refused before the parser sees it.
bool TomlWhitespaceGap(uint32_t c) {
    return (c > 0xA0 && c <= 0x499) || (c >= 0x2CAE && c <= 0x30A7 && c != 0x3000) || (c >= 0xFB36 && c < 0xFEFF);
}

// The code point of the UTF-8 sequence at text[i], and its length; 0 for a
// byte that starts no valid sequence (the parser reports those itself).
uint32_t CodePointAt(const std::string& text, size_t i, size_t& length) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > text.size()) {
        length = 1;
        return 0;
    }
    uint32_t c = lead & (0x3F >> (length - 1));
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            length = 1;
            return 0;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    return c;
}

void RefuseTomlWhitespaceGaps(const std::string& text, const std::string& file) {
    enum class State { Plain, Comment, Basic, Literal, MultiBasic, MultiLiteral } state = State::Plain;
    int line = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\n') {
            ++line;
            if (state == State::Comment || state == State::Basic || state == State::Literal) state = State::Plain;
            continue;
        }
        switch (state) {
        case State::Plain:
            if (ch == '#') {
                state = State::Comment;
            } else if (ch == '"' || ch == '\'') {
                const bool multi = text.compare(i, 3, std::string(3, ch)) == 0;
                state = ch == '"' ? (multi ? State::MultiBasic : State::Basic)
                                  : (multi ? State::MultiLiteral : State::Literal);
                if (multi) i += 2;
            } else if (static_cast<unsigned char>(ch) >= 0x80) {
                size_t length = 1;
                const uint32_t c = CodePointAt(text, i, length);
                if (TomlWhitespaceGap(c)) {
                    char code[16];
                    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
                    throw CaseError(Located(file, line,
                                            std::string("unexpected character ") + code +
                                                " outside a quoted text; expected a key, a value, "
                                                "white space or a comment"));
                }
                i += length - 1;
            }
            break;
        case State::Comment: break;
        case State::Basic:
        case State::MultiBasic:
            if (ch == '\\') {
                if (i + 1 < text.size() && text[i + 1] == '\n') ++line;
                ++i;
            } else if (ch == '"') {
                if (state == State::Basic) {
                    state = State::Plain;
                } else if (text.compare(i, 3, "\"\"\"") == 0) {
                    state = State::Plain;
                    i += 2;
                }
            }
            break;
        case State::Literal:
            if (ch == '\'') state = State::Plain;
            break;
        case State::MultiLiteral:
            if (text.compare(i, 3, "\'\'\'") == 0) {
                state = State::Plain;
                i += 2;
            }
            break;
        }
    }
}

}  // namespace

const char* const kControllerHostKeys = "name, OPEnabled, Mode, SP, OP";
const char* const kPVExportHostKeys = "name, Active, value, follows, gain, time_constant, initial";
const char* const kPVImportHostKeys = "name, Active";

std::string Located(const std::string& file, int line, const std::string& message) {
    return line > 0 ? file + ":" + std::to_string(line) + ": " + message : file + ": " + message;
}

std::string Located(const std::string& file, int line, int column, const std::string& message) {
    return column > 0 && line > 0 ? Located(file + ":" + std::to_string(line), column, message)
                                  : Located(file, line, message);
}

const char* TagKindName(TagKind kind) {
    switch (kind) {
    case TagKind::AI: return "AI";
    case TagKind::AO: return "AO";
    case TagKind::DI: return "DI";
    case TagKind::DO: return "DO";
    case TagKind::CALC: return "CALC";
    }
    return "?";
}

bool IsIntegerKind(TagKind kind) { return kind == TagKind::DI || kind == TagKind::DO; }

const char* ActionName(Action action) {
    switch (action) {
    case Action::Start: return "start";
    case Action::Stop: return "stop";
    case Action::TimeZero: return "time_zero";
    case Action::SetTag: return "set_tag";
    }
    return "?";
}

Case ParseCaseText(const std::string& text, const std::string& file, const std::string& baseDir) {
    RefuseTomlWhitespaceGaps(text, file);
    toml::table root;
    try {
        root = toml::parse(text, file);
    } catch (const toml::parse_error& e) {
        throw CaseError(Located(file, static_cast<int>(e.source().begin.line), std::string(e.description())));
    }

    Case c;
    c.file = file;
    const Reader top(file, "");
    bool hasInit = false;
    std::vector<std::pair<std::string, const toml::node*>> ioLists;
    for (auto&& [key, node] : root) {
        const std::string k(key.str());
        if (k == "init_string") {
            const std::string path = top.Text(node, "init_string");
            if (path.empty()) {
                top.Fail(LineOf(node), "expected the path of the initialization string file for init_string");
            }
            c.initStringPath = Resolved(path, baseDir);
            c.initStringLine = LineOf(node);
            hasInit = true;
        } else if (k == "steps") {
            c.steps = static_cast<int32_t>(top.Integer(node, "steps", 0, kMaxSteps));
        } else if (k == "code_page") {
            c.codePage = static_cast<int>(top.Integer(node, "code_page", 1, 65535));
            c.codePageLine = LineOf(node);
        } else if (k == "tag") {
            for (const toml::table* t : top.Tables(node, k)) c.tags.push_back(ReadTag(file, *t, c.tags.size()));
        } else if (k == "general") {
            const toml::table& table = top.Table(node, "general");
            c.generalLine = LineOf(table);
            const Reader r(file, "general");
            for (auto&& [fieldKey, fieldNode] : table) {
                c.general.push_back(r.Field(std::string(fieldKey.str()), fieldNode));
            }
        } else if (k == "controller") {
            for (const toml::table* t : top.Tables(node, k))
                c.controllers.push_back(ReadController(file, *t, c.controllers.size(), c.warnings));
        } else if (k == "pv_export") {
            for (const toml::table* t : top.Tables(node, k))
                c.pvExports.push_back(ReadPVExport(file, *t, c.pvExports.size(), c.warnings));
        } else if (k == "pv_import") {
            for (const toml::table* t : top.Tables(node, k))
                c.pvImports.push_back(ReadPVImport(file, *t, c.pvImports.size(), c.warnings));
        } else if (IsIoListKey(k)) {
            ioLists.emplace_back(k, &node);
        } else if (k == "event") {
            for (const toml::table* t : top.Tables(node, k)) c.events.push_back(ReadEvent(file, *t, c.events.size()));
        } else {
            top.Fail(LineOf(key), "unknown key \"" + k +
                                      "\"; expected init_string, steps, code_page, [[tag]], [general], [[controller]], "
                                      "[[pv_export]], [[pv_import]], [[event]], controllers, pv_exports or pv_imports");
        }
    }
    if (!hasInit) {
        top.Fail(1, "expected init_string = \"FILE\" naming the initialization string of the tag server");
    }
    // The IO lists' rows follow the file's own, controllers first so that a
    // PV export of a list may follow any controller.
    for (const char* list : {"controllers", "pv_exports", "pv_imports"}) {
        for (const auto& [k, node] : ioLists) {
            if (k != list) continue;
            const std::string path = top.Text(*node, k);
            if (path.empty()) top.Fail(LineOf(*node), "expected the path of a CSV file for " + k);
            AppendIoList(c, k, Resolved(path, baseDir), LineOf(*node));
            c.namedFiles.push_back({"the IO list " + k, Resolved(path, baseDir)});
        }
    }
    for (size_t i = 0; i < c.pvExports.size(); ++i) {
        const PVExportCase& row = c.pvExports[i];
        if (row.response.follows && static_cast<size_t>(row.response.controller) >= c.controllers.size()) {
            throw CaseError(
                Located(file, row.line,
                        "pv_export " + std::to_string(i) + ": follows " + std::to_string(row.response.controller) +
                            " names no controller (the case has " + std::to_string(c.controllers.size()) + ")"));
        }
    }
    CheckInitString(c);
    // The TOML reader hands a table's keys over sorted by name.
    std::stable_sort(c.warnings.begin(), c.warnings.end(),
                     [](const CaseWarning& a, const CaseWarning& b) { return a.line < b.line; });
    std::stable_sort(c.events.begin(), c.events.end(), [](const Event& a, const Event& b) { return a.step < b.step; });
    return c;
}

Case ParseCaseFile(const std::string& file) {
    std::string text;
    try {
        text = ReadTextFile(file, "the case file");
    } catch (const std::runtime_error& e) {
        throw CaseError(Located(file, 0, e.what()));
    }
    const std::filesystem::path base = os::FsPath(file).parent_path();
    return ParseCaseText(text, file, base.empty() ? "." : os::Utf8(base));
}

}  // namespace host
