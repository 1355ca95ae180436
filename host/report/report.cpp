#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace host {

namespace {

// Numbers only, but a value of 1e300 in %.3f is 300 digits long: the text
// is sized to the result.
__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string Exact(double value) { return Format("%.10g", value); }

}  // namespace

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
        line +=
            "," + Exact(c.sp) + "," + (c.spChanged ? "1" : "0") + "," + Exact(c.op) + "," + (c.opChanged ? "1" : "0");
    }
    for (double v : record.pvExports) line += "," + Exact(v);
    for (double v : record.pvImports) line += "," + Exact(v);
    line += "," + (record.enabled ? std::to_string(*record.enabled) : std::string());
    line += "," + (record.running ? std::to_string(*record.running) : std::string());
    return line + "," + CsvField(record.events) + "\n";
}

}  // namespace host
