// The host's keys of the three row tables, described once: their types,
// ranges, defaults and the warnings they can raise. Both readers of rows,
// the case file's TOML and the CSV IO lists, hand what they found to it as
// raw values with their places, so a row reads alike whichever file it
// stands in; one validation pass over the merged case follows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "case/case_model.h"

namespace host {

// Whether a cell's comma is a decimal mark: always, never, or only where it
// cannot be a thousands separator (not three digits after it: 0,45 but not
// 1,250, which is then no number at all rather than a wrong one).
enum class DecimalComma { No, Yes, Unambiguous };

// A value as a reader found it, before the schema gives it a meaning. A
// TOML value has a type of its own; a CSV cell is text that the schema
// reads as the key's type.
struct RawValue {
    enum class Type { Integer, Float, Boolean, Text, Cell, Other };
    Type type = Type::Other;
    int64_t integer = 0;
    double number = 0.0;
    bool boolean = false;
    std::string text;                              // Text and Cell
    std::string otherType;                         // Other: "an array", "a table", "a date or time"
    DecimalComma decimalComma = DecimalComma::No;  // Cell: a spreadsheet with semicolons writes 0,45 for 0.45
    SourcePos at;
};

struct RawEntry {
    std::string key;
    SourcePos keyAt;  // a CSV column's header cell; a TOML key, where its value stands
    RawValue value;
};

// One row of a table, its entries in file order.
struct RawRow {
    SourcePos at;
    std::vector<RawEntry> entries;
};

enum class RowTable { Controller, PVExport, PVImport };

// "controller", "pv_export", "pv_import": the row's name in messages.
const char* RowTableName(RowTable table);

enum class ValueKind {
    Text,    // a text the driver's cells can hold
    Number,  // a finite number, from `low` to `high`
    Switch,  // a 16-bit flag: 0, 1, true, false or another 16-bit integer
    Index,   // a whole number from `low` to `high`
};

enum class KeyWarning {
    None,
    NotExactlyOne,  // the driver counts only exactly 1 as set
    ModeNotWhole,   // the driver truncates a mode toward zero
};

struct HostKeySpec {
    const char* key;
    ValueKind kind;
    double low;
    double high;
    const char* byDefault;  // what the row holds when the key is not given
    KeyWarning warning;
    const char* belowLow;  // the message for a value below `low`, or null for the generic one
};

// A number as messages about the case show it: "99999999999" for a whole
// number, otherwise the shortest text that reads back as the same double
// ("2.9", not "2.8999999999999999").
std::string ValueText(double value);

// The host keys of a table, in the order the user is told them.
const std::vector<HostKeySpec>& HostKeys(RowTable table);
// "name, OPEnabled, Mode, SP, OP".
std::string HostKeyList(RowTable table);

// The typed reading of raw values, with "WHAT: " before every message and
// the value's place before that. Throws CaseError.
class ValueReader {
public:
    explicit ValueReader(std::string what) : what_(std::move(what)) {}

    [[noreturn]] void Fail(const SourcePos& at, const std::string& message) const;
    // The message Fail would throw.
    std::string Message(const SourcePos& at, const std::string& message) const;
    std::string Text(const RawValue& value, const std::string& key) const;
    // A path: a text of any length.
    std::string PathText(const RawValue& value, const std::string& key) const;
    double Number(const RawValue& value, const std::string& key) const;
    int64_t Integer(const RawValue& value, const std::string& key, int64_t low, int64_t high) const;
    int32_t Switch(const RawValue& value, const std::string& key) const;
    // A field of the driver's tables under its label.
    FieldValue Field(const std::string& label, const RawValue& value) const;
    // The type of a value, for "expected ..., not A_TYPE".
    static std::string Described(const RawValue& value);

private:
    std::string what_;
};

// Converts a row through the schema and appends it to its table of the
// case: a host key by its type and range, a key within a few letters of a
// host key refused as a typo, every other key a field of the driver's.
void AppendRow(Case& c, RowTable table, const RawRow& raw);

// The pass over the merged case: the warnings of the host keys, the keys
// that exclude or need each other, and follows naming a controller of the
// case. Warnings end up in file order (the case file's, then each IO
// list's). Throws CaseError.
void ValidateCase(Case& c);

}  // namespace host
