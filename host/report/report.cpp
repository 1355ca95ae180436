#include "report/report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "report/number_text.h"

namespace host {

namespace {}  // namespace

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

std::string CsvRow(const Layout&, const StepRecord& record) {
    std::string line = std::to_string(record.step) + "," + (record.ok ? "ok" : "FAIL");
    for (const ControllerSample& c : record.controllers) {
        line += "," + NumberText(c.sp) + "," + (c.spChanged ? "1" : "0") + "," + NumberText(c.op) + "," +
                (c.opChanged ? "1" : "0");
    }
    for (double v : record.pvExports) line += "," + NumberText(v);
    for (double v : record.pvImports) line += "," + NumberText(v);
    line += "," + (record.enabled ? std::to_string(*record.enabled) : std::string());
    line += "," + (record.running ? std::to_string(*record.running) : std::string());
    return line + "," + CsvField(record.events) + "\n";
}

}  // namespace host
