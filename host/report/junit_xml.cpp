#include "junit_xml.h"

#include <cstdio>

#include "markup.h"

namespace host {

namespace junit {

namespace {

// An attribute value: what Escape makes of it, with the line breaks and
// tabs as character references, which a parser would otherwise turn into
// blanks.
std::string Attribute(const std::string& text) {
    std::string out;
    for (char c : Escape(text)) {
        if (c == '\n') {
            out += "&#10;";
        } else if (c == '\t') {
            out += "&#9;";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds >= 0.0 && seconds < 1e9 ? seconds : 0.0);
    return text;
}

struct Totals {
    size_t tests = 0, failures = 0, errors = 0;
    double seconds = 0.0;
};

Totals Count(const TestSuite& suite) {
    Totals t;
    t.seconds = suite.seconds;
    for (const TestCase& c : suite.cases) {
        ++t.tests;
        if (c.error) {
            ++t.errors;
        } else if (c.failure) {
            ++t.failures;
        }
    }
    return t;
}

std::string Counts(const Totals& t) {
    return " tests=\"" + std::to_string(t.tests) + "\" failures=\"" + std::to_string(t.failures) + "\" errors=\"" +
           std::to_string(t.errors) + "\" time=\"" + Seconds(t.seconds) + "\"";
}

std::string FaultXml(const char* element, const Fault& f) {
    return std::string("      <") + element + " message=\"" + Attribute(f.message) + "\" type=\"" + Attribute(f.type) +
           "\">" + Escape(f.text) + "</" + element + ">\n";
}

std::string CaseXml(const TestSuite& suite, const TestCase& c) {
    std::string out = "    <testcase name=\"" + Attribute(c.name) + "\" classname=\"" +
                      Attribute(c.classname.empty() ? suite.name : c.classname) + "\" time=\"" + Seconds(c.seconds) +
                      "\"";
    if (!c.failure && !c.error && c.systemOut.empty()) return out + "/>\n";
    out += ">\n";
    if (c.error) out += FaultXml("error", *c.error);
    if (!c.error && c.failure) out += FaultXml("failure", *c.failure);
    if (!c.systemOut.empty()) out += "      <system-out>" + Escape(c.systemOut) + "</system-out>\n";
    return out + "    </testcase>\n";
}

}  // namespace

std::string Document(const std::string& name, const std::vector<TestSuite>& suites) {
    Totals all;
    std::string body;
    for (const TestSuite& suite : suites) {
        const Totals t = Count(suite);
        all.tests += t.tests;
        all.failures += t.failures;
        all.errors += t.errors;
        all.seconds += t.seconds;
        body += "  <testsuite name=\"" + Attribute(suite.name) + "\"" + Counts(t);
        if (!suite.file.empty()) body += " file=\"" + Attribute(suite.file) + "\"";
        body += ">\n";
        if (!suite.properties.empty()) {
            body += "    <properties>\n";
            for (const auto& p : suite.properties) {
                body += "      <property name=\"" + Attribute(p.first) + "\" value=\"" + Attribute(p.second) + "\"/>\n";
            }
            body += "    </properties>\n";
        }
        for (const TestCase& c : suite.cases) body += CaseXml(suite, c);
        body += "  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"" + Attribute(name) + "\"" + Counts(all) +
           ">\n" + body + "</testsuites>\n";
}

}  // namespace junit

}  // namespace host
