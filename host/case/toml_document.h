// A TOML file read into values of the case reader's own: the top level's
// keys in file order, each a single value, a table or an array of tables,
// every value with the line and column it stands at. Nothing deeper is kept
// (a row has no use for it): a nested array or table is a value of type
// Other, so the caller never walks or frees a deep tree.
#pragma once

#include <string>
#include <vector>

#include "case/case_schema.h"

namespace host {

struct TomlItem {
    enum class Shape { Value, Table, Tables };
    std::string key;
    Shape shape = Shape::Value;
    RawValue value;            // Value: the value itself
    std::vector<RawRow> rows;  // Table: its keys as one row; Tables: one row per [[key]] section
    SourcePos at;
};

// Parses `text`, named `file` in messages. Throws CaseError worded
// "FILE:LINE:COLUMN: what the TOML reader expected".
std::vector<TomlItem> ReadTomlDocument(const std::string& text, const std::string& file);

}  // namespace host
