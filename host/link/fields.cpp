#include "link/fields.h"

#include <algorithm>

#include <cstring>

#include "case/near_words.h"

namespace host {

int32_t FindField(const DefTable& table, const std::string& label) {
    if (table.defs == nullptr) {
        return -1;
    }
    for (int32_t i = 0; i < table.count; ++i) {
        const char* declared = table.defs[i].Label;
        if (declared != nullptr && label == declared) {
            return i;
        }
    }
    return -1;
}

std::string DeclaredLabels(const DefTable& table) {
    std::string labels;
    for (int32_t i = 0; table.defs != nullptr && i < table.count; ++i) {
        if (table.defs[i].Label == nullptr) {
            continue;
        }
        if (!labels.empty()) {
            labels += ", ";
        }
        labels += "\"" + std::string(table.defs[i].Label) + "\"";
    }
    return labels.empty() ? "none" : labels;
}

std::vector<std::string> OptionLabels(const DCSDataDef& def) {
    std::vector<std::string> labels;
    const char* const* options = def.Options;
    for (size_t i = 0; options != nullptr && options[i] != nullptr; ++i) {
        labels.emplace_back(options[i]);
    }
    return labels;
}

namespace {

void StoreInt(DCSValue* cell, int32_t value) { std::memcpy(cell->Bytes, &value, sizeof value); }
void StoreText(DCSValue* cell, char* text) { std::memcpy(cell->Bytes, &text, sizeof text); }

std::string Quoted(const std::vector<std::string>& labels) {
    std::string out;
    for (const std::string& label : labels) {
        out += (out.empty() ? "\"" : ", \"") + label + "\"";
    }
    return out;
}

}  // namespace

void FillCells(const DefTable& table, const std::vector<FieldValue>& values, DCSValue* cells,
               caseblock::TextStore& texts, const std::string& file, const std::string& owner,
               const std::string& hostKeys, std::vector<std::string>* unknown) {
    for (const FieldValue& value : values) {
        auto fail = [&](const std::string& message) {
            throw CaseError(
                Located(value.file.empty() ? file : value.file, value.line, value.column, owner + ": " + message));
        };
        const int32_t index = FindField(table, value.label);
        if (index < 0) {
            std::string message = "no field \"" + value.label + "\" is declared for " + table.what +
                                  "; the driver declares " + DeclaredLabels(table);
            if (!hostKeys.empty()) {
                message += ", and the host takes " + hostKeys;
            }
            std::vector<std::string> labels;
            for (int32_t i = 0; table.defs != nullptr && i < table.count; ++i) {
                const char* label = table.defs[i].Label;  // the record is packed: copied, not bound
                if (label != nullptr) labels.emplace_back(label);
            }
            const std::string near = DidYouMean(NearestWords(value.label, labels));
            if (!near.empty()) message += "; " + near;
            // A header's label is told once, at the header, for all its rows.
            const std::string located =
                value.labelInHeader
                    ? Located(value.labelAt, "column \"" + value.label + "\": " + message)
                    : Located(value.file.empty() ? file : value.file, value.line, value.column, owner + ": " + message);
            if (unknown == nullptr) throw CaseError(located);
            if (!value.labelInHeader || std::find(unknown->begin(), unknown->end(), located) == unknown->end()) {
                unknown->push_back(located);
            }
            continue;
        }
        const DCSDataDef& def = table.defs[index];
        if (!value.otherType.empty()) {
            fail("expected an integer or a text for field \"" + value.label + "\", not " + value.otherType);
        }
        const int32_t kind = def.Kind;
        DCSValue* cell = &cells[index];
        if (kind == FIELD_KIND_INTEGER) {
            if (value.isText && !value.alsoInteger) {
                fail("field \"" + value.label + "\" holds an integer; expected an integer, not a text");
            }
            StoreInt(cell, static_cast<int32_t>(value.integer));
        } else if (kind == FIELD_KIND_TEXT) {
            if (!value.isText) {
                fail("field \"" + value.label + "\" holds a text; expected a text, not an integer");
            }
            StoreText(cell, texts.Add(value.text));
        } else if (kind == FIELD_KIND_OPTION) {
            const std::vector<std::string> options = OptionLabels(def);
            int32_t chosen = -1;
            if (value.isText) {
                for (size_t i = 0; i < options.size(); ++i) {
                    if (options[i] == value.text) {
                        chosen = static_cast<int32_t>(i);
                    }
                }
            }
            if (chosen < 0 && (!value.isText || value.alsoInteger) && value.integer >= 0 &&
                value.integer < static_cast<int64_t>(options.size())) {
                chosen = static_cast<int32_t>(value.integer);
            }
            if (chosen < 0) {
                const std::string given = value.isText ? "\"" + value.text + "\"" : std::to_string(value.integer);
                fail("field \"" + value.label + "\" takes one of " +
                     (options.empty() ? std::string("no option") : Quoted(options)) + ", not " + given);
            }
            StoreInt(cell, chosen);
        } else {
            fail("field \"" + value.label + "\" is of kind " + std::to_string(kind) + ", which the host cannot fill");
        }
    }
}

int32_t CellInteger(const DCSValue& cell) {
    int32_t value;
    std::memcpy(&value, cell.Bytes, sizeof value);
    return value;
}

const char* CellTextPointer(const DCSValue& cell) {
    const char* value;
    std::memcpy(&value, cell.Bytes, sizeof value);
    return value;
}

}  // namespace host
