#include "report/report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "text/number_text.h"

namespace host {

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i == 0 ? "" : ",") + CsvField(fields[i]);
    return line + "\n";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string CsvHeader(const Layout& layout) {
    std::string line = "step,status";
    for (const std::string& name : layout.controllers) {
        line += "," + CsvField(name + " SP") + "," + CsvField(name + " SP changed") + "," + CsvField(name + " OP") +
                "," + CsvField(name + " OP changed");
    }
    for (const std::string& name : layout.pvExports) line += "," + CsvField(name);
    for (const std::string& name : layout.pvImports) line += "," + CsvField(name);
    return line + ",Enabled,Running,events\n";
}

void AppendCsvRow(std::string& line, const StepRecord& record) {
    // A plant's row has tens of thousands of fields a step: appended in
    // place, with no string made per field.
    line += std::to_string(record.step);
    line += record.ok ? ",ok" : ",FAIL";
    for (const ControllerSample& c : record.controllers) {
        line += ',';
        AppendNumberText(line, c.sp);
        line += c.spChanged ? ",1," : ",0,";
        AppendNumberText(line, c.op);
        line += c.opChanged ? ",1" : ",0";
    }
    for (const std::vector<double>* values : {&record.pvExports, &record.pvImports}) {
        for (double v : *values) {
            line += ',';
            AppendNumberText(line, v);
        }
    }
    for (const std::optional<int32_t>* flag : {&record.enabled, &record.running}) {
        line += ',';
        if (*flag) line += std::to_string(**flag);
    }
    line += ',';
    line += CsvField(record.events);
    line += '\n';
}

std::string CsvRow(const Layout&, const StepRecord& record) {
    std::string line;
    AppendCsvRow(line, record);
    return line;
}

}  // namespace host
