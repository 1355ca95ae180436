#include "case/case_schema.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "case/expectations.h"
#include "text/code_page.h"

namespace host {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kInt32Max = std::numeric_limits<int32_t>::max();

// A typed value, as the schema stores it into a row.
struct Typed {
    double number = 0.0;
    int64_t integer = 0;
    std::string text;
};

// A host key with how it is stored into and read back from a row of type
// Row (the latter for the warnings of the validation pass).
template <typename Row>
struct KeyRule {
    HostKeySpec keyDef;
    void (*store)(Row&, const Typed&);
    double (*value)(const Row&);
};

double None(const ControllerCase&) { return 0.0; }

// The rules of each table. Defaults here are the ones the row types hold.
const std::vector<KeyRule<ControllerCase>>& ControllerRules() {
    static const std::vector<KeyRule<ControllerCase>> rules = {
        {{"name", ValueKind::Text, 0, 0, "ctrlINDEX", KeyWarning::None, nullptr},
         [](ControllerCase& r, const Typed& v) { r.name = v.text; },
         None},
        {{"OPEnabled", ValueKind::Switch, 0, 0, "1", KeyWarning::NotExactlyOne, nullptr},
         [](ControllerCase& r, const Typed& v) { r.opEnabled = static_cast<int32_t>(v.integer); },
         [](const ControllerCase& r) { return static_cast<double>(r.opEnabled.value_or(1)); }},
        {{"Mode", ValueKind::Number, -kInf, kInf, "the driver's default row (1.0)", KeyWarning::ModeNotWhole, nullptr},
         [](ControllerCase& r, const Typed& v) { r.mode = v.number; },
         [](const ControllerCase& r) { return r.mode.value_or(1.0); }},
        {{"SP", ValueKind::Number, -kInf, kInf, "the driver's default row (0.0)", KeyWarning::None, nullptr},
         [](ControllerCase& r, const Typed& v) { r.sp = v.number; },
         None},
        {{"OP", ValueKind::Number, -kInf, kInf, "the driver's default row (0.0)", KeyWarning::None, nullptr},
         [](ControllerCase& r, const Typed& v) { r.op = v.number; },
         None},
    };
    return rules;
}

template <typename Row>
double ActiveOf(const Row& r) {
    return static_cast<double>(r.active);
}
double NoPV(const PVExportCase&) { return 0.0; }

const std::vector<KeyRule<PVExportCase>>& PVExportRules() {
    static const std::vector<KeyRule<PVExportCase>> rules = {
        {{"name", ValueKind::Text, 0, 0, "pvxINDEX", KeyWarning::None, nullptr},
         [](PVExportCase& r, const Typed& v) { r.name = v.text; },
         NoPV},
        {{"Active", ValueKind::Switch, 0, 0, "1", KeyWarning::NotExactlyOne, nullptr},
         [](PVExportCase& r, const Typed& v) { r.active = static_cast<int32_t>(v.integer); },
         ActiveOf<PVExportCase>},
        {{"value", ValueKind::Number, -kInf, kInf, "0.0", KeyWarning::None, nullptr},
         [](PVExportCase& r, const Typed& v) { r.response.constant = v.number; },
         NoPV},
        {{"follows", ValueKind::Index, 0, kInt32Max, "none (the value stays constant)", KeyWarning::None, nullptr},
         [](PVExportCase& r, const Typed& v) {
             r.response.follows = true;
             r.response.controller = static_cast<int32_t>(v.integer);
         },
         NoPV},
        {{"gain", ValueKind::Number, -kInf, kInf, "1.0", KeyWarning::None, nullptr},
         [](PVExportCase& r, const Typed& v) { r.response.gain = v.number; },
         NoPV},
        {{"time_constant", ValueKind::Number, 1.0, kInf, "1.0", KeyWarning::None,
          "time_constant is counted in steps and must be at least 1"},
         [](PVExportCase& r, const Typed& v) { r.response.timeConstant = v.number; },
         NoPV},
        {{"initial", ValueKind::Number, -kInf, kInf, "0.0", KeyWarning::None, nullptr},
         [](PVExportCase& r, const Typed& v) { r.response.initial = v.number; },
         NoPV},
    };
    return rules;
}

double NoPVI(const PVImportCase&) { return 0.0; }

const std::vector<KeyRule<PVImportCase>>& PVImportRules() {
    static const std::vector<KeyRule<PVImportCase>> rules = {
        {{"name", ValueKind::Text, 0, 0, "pviINDEX", KeyWarning::None, nullptr},
         [](PVImportCase& r, const Typed& v) { r.name = v.text; },
         NoPVI},
        {{"Active", ValueKind::Switch, 0, 0, "1", KeyWarning::NotExactlyOne, nullptr},
         [](PVImportCase& r, const Typed& v) { r.active = static_cast<int32_t>(v.integer); },
         ActiveOf<PVImportCase>},
    };
    return rules;
}

template <typename Row>
std::vector<HostKeySpec> SpecsOf(const std::vector<KeyRule<Row>>& rules) {
    std::vector<HostKeySpec> keyDefs;
    for (const KeyRule<Row>& rule : rules) keyDefs.push_back(rule.keyDef);
    return keyDefs;
}

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

// The host key that `key` is a near miss of, or "": surely a typo of it,
// rather than a label of the driver's (which the host cannot know before
// the driver is loaded).
std::string NearKey(const std::string& key, const std::vector<HostKeySpec>& keys) {
    if (key.size() > 64) return "";  // no host key is near, and the distance costs the product of the lengths
    for (const HostKeySpec& keyDef : keys) {
        const std::string candidate = keyDef.key;
        const size_t allowed = candidate.size() <= 4 ? 1 : 2;
        if (candidate != key && EditDistance(candidate, key) <= allowed) return candidate;
    }
    return "";
}

}  // namespace

std::string ValueText(double value) {
    if (std::fabs(value) < 1e18 && value == std::floor(value)) return std::to_string(static_cast<int64_t>(value));
    std::string shortest;
    for (int precision = 1; precision <= 17; ++precision) {
        std::ostringstream text;
        text.precision(precision);
        text << value;
        shortest = text.str();
        if (std::strtod(shortest.c_str(), nullptr) == value) break;
    }
    return shortest;
}

namespace {

bool WholeNumberCell(const std::string& text, int64_t& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    if (text.empty() || end != begin + text.size() || errno == ERANGE) return false;
    value = v;
    return true;
}

// " (not \"x\")" for a cell, whose text shows what it held; ", not a boolean"
// for a TOML value, whose type does.
std::string NotThis(const RawValue& value) {
    return value.type == RawValue::Type::Cell ? ", not \"" + value.text + "\""
                                              : ", not " + ValueReader::Described(value);
}

Typed Convert(const ValueReader& r, const HostKeySpec& keyDef, const RawValue& value) {
    Typed typed;
    switch (keyDef.kind) {
    case ValueKind::Text: typed.text = r.Text(value, keyDef.key); break;
    case ValueKind::Switch: typed.integer = r.Switch(value, keyDef.key); break;
    case ValueKind::Index:
        typed.integer =
            r.Integer(value, keyDef.key, static_cast<int64_t>(keyDef.low), static_cast<int64_t>(keyDef.high));
        break;
    case ValueKind::Number:
        typed.number = r.Number(value, keyDef.key);
        if (typed.number < keyDef.low || typed.number > keyDef.high) {
            r.Fail(value.at, keyDef.belowLow != nullptr ? keyDef.belowLow
                                                        : std::string(keyDef.key) + " must be between " +
                                                              ValueText(keyDef.low) + " and " + ValueText(keyDef.high));
        }
        break;
    }
    return typed;
}

template <typename Row>
Row ReadRow(const std::vector<KeyRule<Row>>& rules, RowTable table, const RawRow& raw, size_t index,
            std::vector<std::string>& unknownKeys) {
    const std::string what = std::string(RowTableName(table)) + " " + std::to_string(index);
    const ValueReader r(what);
    Row row;
    row.at = raw.at;
    row.line = raw.at.line;
    row.name = std::string(table == RowTable::Controller ? "ctrl"
                           : table == RowTable::PVExport ? "pvx"
                                                         : "pvi") +
               std::to_string(index);
    for (const RawEntry& entry : raw.entries) {
        const auto rule =
            std::find_if(rules.begin(), rules.end(), [&](const KeyRule<Row>& k) { return entry.key == k.keyDef.key; });
        if (rule != rules.end()) {
            rule->store(row, Convert(r, rule->keyDef, entry.value));
            row.given.push_back({entry.key, entry.value.at});
            continue;
        }
        const std::string near = NearKey(entry.key, HostKeys(table));
        if (!near.empty()) {
            unknownKeys.push_back(r.Message(entry.keyAt, "unknown key \"" + entry.key + "\"; did you mean " + near +
                                                             "? A " + RowTableName(table) + " takes the host keys " +
                                                             HostKeyList(table) +
                                                             ", and the fields the driver declares by their quoted "
                                                             "labels"));
            continue;
        }
        row.fields.push_back(r.Field(entry.key, entry.value));
        row.fields.back().labelAt = entry.keyAt;
        row.fields.back().labelInHeader = entry.value.type == RawValue::Type::Cell;
    }
    return row;
}

void Warn(Case& c, const SourcePos& at, const std::string& what, const std::string& message) {
    c.warnings.push_back({at.line, Located(at, "warning: " + what + ": " + message), at});
}

std::string SwitchWarning(const std::string& key, double value) {
    return key + " = " + ValueText(value) +
           " is taken, but the driver counts only exactly 1 as set: it treats this as 0 (off)";
}

// The driver captures a mode as a 32-bit integer, truncated toward zero.
std::string ModeWarning(double mode) {
    if (mode < std::numeric_limits<int32_t>::min() || mode > std::numeric_limits<int32_t>::max()) {
        return "Mode = " + ValueText(mode) +
               " is taken, but it lies outside the 32-bit range the driver converts a mode into: what it captures "
               "and writes to the Mode tag is not defined";
    }
    if (mode != std::trunc(mode)) {
        return "Mode = " + ValueText(mode) + " is taken, but the driver truncates a mode toward zero: it captures " +
               ValueText(std::trunc(mode)) + " and writes that to the Mode tag";
    }
    return "";
}

template <typename Row>
void WarnOfRow(Case& c, const std::vector<KeyRule<Row>>& rules, const Row& row, const std::string& what) {
    for (const KeyRule<Row>& rule : rules) {
        const SourcePos* at = WhereGiven(row.given, rule.keyDef.key);
        if (at == nullptr || rule.keyDef.warning == KeyWarning::None) continue;
        const double v = rule.value(row);
        if (rule.keyDef.warning == KeyWarning::NotExactlyOne && v != 0.0 && v != 1.0) {
            Warn(c, *at, what, SwitchWarning(rule.keyDef.key, v));
        } else if (rule.keyDef.warning == KeyWarning::ModeNotWhole && !ModeWarning(v).empty()) {
            Warn(c, *at, what, ModeWarning(v));
        }
    }
}

// A PV export is either constant (value) or a response to a controller's OP
// (follows, with gain, time_constant and initial).
void CheckResponse(const Case& c, const PVExportCase& row, const ValueReader& r) {
    const SourcePos* follows = WhereGiven(row.given, "follows");
    const SourcePos* value = WhereGiven(row.given, "value");
    if (follows != nullptr && value != nullptr) {
        r.Fail(*value, "expected either value (a constant) or follows (a response to a controller's OP), not both");
    }
    for (const KeySource& given : row.given) {
        if (follows == nullptr && (given.key == "gain" || given.key == "time_constant" || given.key == "initial")) {
            r.Fail(given.at,
                   "gain, time_constant and initial describe a response to a controller's OP and need "
                   "follows = INDEX (the controller's index), which this pv_export does not give");
        }
    }
    if (follows != nullptr && static_cast<size_t>(row.response.controller) >= c.controllers.size()) {
        r.Fail(*follows, "follows " + std::to_string(row.response.controller) + " names no controller (the case has " +
                             std::to_string(c.controllers.size()) + ")");
    }
}

// The case file first, then the IO lists in the order the case names them.
size_t FileRank(const Case& c, const std::string& file) {
    for (size_t i = 0; i < c.ioLists.size(); ++i) {
        if (c.ioLists[i].path == file) return i + 1;
    }
    return 0;
}

}  // namespace

const char* RowTableName(RowTable table) {
    switch (table) {
    case RowTable::Controller: return "controller";
    case RowTable::PVExport: return "pv_export";
    case RowTable::PVImport: return "pv_import";
    }
    return "?";
}

const std::vector<HostKeySpec>& HostKeys(RowTable table) {
    static const std::vector<HostKeySpec> controller = SpecsOf(ControllerRules());
    static const std::vector<HostKeySpec> pvExport = SpecsOf(PVExportRules());
    static const std::vector<HostKeySpec> pvImport = SpecsOf(PVImportRules());
    return table == RowTable::Controller ? controller : table == RowTable::PVExport ? pvExport : pvImport;
}

std::string HostKeyList(RowTable table) {
    std::string list;
    for (const HostKeySpec& keyDef : HostKeys(table)) list += (list.empty() ? "" : ", ") + std::string(keyDef.key);
    return list;
}

void ValueReader::Fail(const SourcePos& at, const std::string& message) const { throw CaseError(Message(at, message)); }

std::string ValueReader::Message(const SourcePos& at, const std::string& message) const {
    return Located(at, what_.empty() ? message : what_ + ": " + message);
}

std::string ValueReader::Described(const RawValue& value) {
    switch (value.type) {
    case RawValue::Type::Integer: return "an integer";
    case RawValue::Type::Float: return "a floating-point number";
    case RawValue::Type::Boolean: return "a boolean";
    case RawValue::Type::Text: return "a text";
    case RawValue::Type::Cell: return "\"" + value.text + "\"";
    case RawValue::Type::Other: return value.otherType;
    }
    return "?";
}

std::string ValueReader::Text(const RawValue& value, const std::string& key) const {
    const std::string text = PathText(value, key);
    // The driver's cells hold 63 bytes, one per character in the simulator's
    // single-byte code page; the converted bytes are measured again once the
    // code page is known (case/simulator_text.h).
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++characters) {
        size_t length = 1;
        NextCharacter(text, i, &length);
        i += length;
    }
    if (characters > kMaxTextLength) {
        Fail(value.at, key + " is " + std::to_string(characters) + " characters long; the driver's text cells hold " +
                           std::to_string(kMaxTextLength) +
                           " bytes at most, one per character in the simulator's code page");
    }
    return text;
}

std::string ValueReader::PathText(const RawValue& value, const std::string& key) const {
    if (value.type != RawValue::Type::Text && value.type != RawValue::Type::Cell) {
        Fail(value.at, "expected a text for " + key + NotThis(value));
    }
    if (value.text.find('\0') != std::string::npos) Fail(value.at, key + " holds a NUL character");
    return value.text;
}

double ValueReader::Number(const RawValue& value, const std::string& key) const {
    double v = 0.0;
    if (value.type == RawValue::Type::Integer) {
        v = static_cast<double>(value.integer);
    } else if (value.type == RawValue::Type::Float) {
        v = value.number;
    } else if (value.type == RawValue::Type::Cell) {
        std::string text = value.text;
        const size_t comma = text.find(',');
        if (value.decimalComma != DecimalComma::No && comma != std::string::npos &&
            text.find('.') == std::string::npos && comma == text.rfind(',')) {
            const bool mayGroup = text.size() - comma == 4 &&
                                  std::isdigit(static_cast<unsigned char>(text[comma + 1])) &&
                                  std::isdigit(static_cast<unsigned char>(text[comma + 2])) &&
                                  std::isdigit(static_cast<unsigned char>(text[comma + 3]));
            if (value.decimalComma == DecimalComma::Yes || !mayGroup) text[comma] = '.';
        }
        const char* begin = text.c_str();
        char* end = nullptr;
        errno = 0;
        v = std::strtod(begin, &end);
        if (text.empty() || end != begin + text.size() || errno == ERANGE) {
            Fail(value.at, "expected a number for " + key + NotThis(value));
        }
    } else {
        Fail(value.at, "expected a number for " + key + NotThis(value));
    }
    if (!std::isfinite(v)) Fail(value.at, "expected a finite number for " + key);
    return v;
}

int64_t ValueReader::Integer(const RawValue& value, const std::string& key, int64_t low, int64_t high) const {
    int64_t v = 0;
    const bool whole = value.type == RawValue::Type::Integer
                           ? (v = value.integer, true)
                           : value.type == RawValue::Type::Cell && WholeNumberCell(value.text, v);
    if (!whole) Fail(value.at, "expected an integer for " + key + NotThis(value));
    if (v < low || v > high) {
        Fail(value.at, key + " must be between " + std::to_string(low) + " and " + std::to_string(high) + ", not " +
                           std::to_string(v));
    }
    return v;
}

int32_t ValueReader::Switch(const RawValue& value, const std::string& key) const {
    if (value.type == RawValue::Type::Boolean) return value.boolean ? 1 : 0;
    if (value.type == RawValue::Type::Cell) {
        // The TRUE and FALSE a spreadsheet writes.
        if (Lower(value.text) == "true") return 1;
        if (Lower(value.text) == "false") return 0;
    }
    int64_t v = 0;
    if (value.type != RawValue::Type::Integer &&
        !(value.type == RawValue::Type::Cell && WholeNumberCell(value.text, v))) {
        Fail(value.at, "expected 0, 1, true or false for " + key + NotThis(value));
    }
    return static_cast<int32_t>(
        Integer(value, key, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

FieldValue ValueReader::Field(const std::string& label, const RawValue& value) const {
    FieldValue field;
    field.label = label;
    field.file = value.at.file;
    field.line = value.at.line;
    field.column = value.at.column;
    const std::string key = "\"" + label + "\"";
    switch (value.type) {
    case RawValue::Type::Text:
        field.isText = true;
        field.text = Text(value, key);
        break;
    case RawValue::Type::Integer:
        field.integer = Integer(value, key, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        break;
    case RawValue::Type::Cell: {
        // A cell has no type of its own, so a whole number also suits an
        // integer or option field.
        field.isText = true;
        field.text = Text(value, key);
        int64_t v = 0;
        if (WholeNumberCell(value.text, v) && v >= std::numeric_limits<int32_t>::min() &&
            v <= std::numeric_limits<int32_t>::max()) {
            field.integer = v;
            field.alsoInteger = true;
        }
        break;
    }
    default: field.otherType = Described(value); break;
    }
    return field;
}

void AppendRow(Case& c, RowTable table, const RawRow& raw) {
    switch (table) {
    case RowTable::Controller:
        c.controllers.push_back(ReadRow(ControllerRules(), table, raw, c.controllers.size(), c.unknownKeys));
        break;
    case RowTable::PVExport:
        c.pvExports.push_back(ReadRow(PVExportRules(), table, raw, c.pvExports.size(), c.unknownKeys));
        break;
    case RowTable::PVImport:
        c.pvImports.push_back(ReadRow(PVImportRules(), table, raw, c.pvImports.size(), c.unknownKeys));
        break;
    }
}

void ValidateCase(Case& c) {
    for (size_t i = 0; i < c.controllers.size(); ++i) {
        WarnOfRow(c, ControllerRules(), c.controllers[i], "controller " + std::to_string(i));
    }
    for (size_t i = 0; i < c.pvExports.size(); ++i) {
        const std::string what = "pv_export " + std::to_string(i);
        CheckResponse(c, c.pvExports[i], ValueReader(what));
        WarnOfRow(c, PVExportRules(), c.pvExports[i], what);
    }
    for (size_t i = 0; i < c.pvImports.size(); ++i) {
        WarnOfRow(c, PVImportRules(), c.pvImports[i], "pv_import " + std::to_string(i));
    }
    CheckExpectations(c);
    std::stable_sort(c.warnings.begin(), c.warnings.end(), [&](const CaseWarning& a, const CaseWarning& b) {
        const size_t ra = FileRank(c, a.at.file), rb = FileRank(c, b.at.file);
        if (ra != rb) return ra < rb;
        return a.at.line != b.at.line ? a.at.line < b.at.line : a.at.column < b.at.column;
    });
}

}  // namespace host
