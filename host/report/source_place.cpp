#include "source_place.h"

#include <vector>

namespace host {

namespace {

const std::vector<FieldValue>* FieldsOf(const Case& c, const std::string& table, int32_t index) {
    const auto at = static_cast<size_t>(index);
    if (table == "general") return &c.general;
    if (table == "controller" && at < c.controllers.size()) return &c.controllers[at].fields;
    if (table == "pv_export" && at < c.pvExports.size()) return &c.pvExports[at].fields;
    if (table == "pv_import" && at < c.pvImports.size()) return &c.pvImports[at].fields;
    return nullptr;
}

}  // namespace

SourcePlace PlaceOfField(const Case& c, const std::string& table, int32_t index, int32_t rowLine,
                         const std::string& field) {
    if (const std::vector<FieldValue>* fields = FieldsOf(c, table, index)) {
        for (const FieldValue& value : *fields) {
            if (value.label == field) return {value.file.empty() ? c.file : value.file, value.line, value.column};
        }
    }
    return {c.file, rowLine, 0};
}

std::string PlaceText(const SourcePlace& place) {
    if (place.line <= 0) return place.file;
    return place.file + ":" + std::to_string(place.line) + (place.column > 0 ? ":" + std::to_string(place.column) : "");
}

}  // namespace host
