#include "report/test_report.h"

#include <nlohmann/json.hpp>

#include "case/expectations.h"
#include "junit_xml.h"
#include "page.h"

namespace host {

const char* const kTestResultsFormat = "dcs-host-test-results";

namespace {

// An every_step or event expectation may be looked at many times: the
// moment tells which one failed.
bool ManyMoments(const Expectation& e) {
    return e.when == ExpectWhen::EveryStep || e.when == ExpectWhen::Start || e.when == ExpectWhen::Stop ||
           e.when == ExpectWhen::TimeZero;
}

std::string Title(const Expectation& e) {
    const std::string what = SubjectText(e) + " " + MomentText(e);
    return e.name.empty() ? what : "\"" + e.name + "\" (" + what + ")";
}

// "expected X, actual Y, at step 4": the failure in one line.
std::string FailureText(const ExpectationResult& r) {
    std::string text = "expected " + r.expected + ", actual " + r.actual;
    if (r.looks > 0 && ManyMoments(*r.expectation)) text += ", at " + r.moment;
    return text;
}

struct Totals {
    size_t cases = 0, expectations = 0, passed = 0, failed = 0, errors = 0;
};

Totals Count(const std::vector<CaseOutcome>& outcomes) {
    Totals t;
    for (const CaseOutcome& o : outcomes) {
        ++t.cases;
        if (!o.error.empty()) ++t.errors;
        for (const ExpectationResult& r : o.run.results) {
            ++t.expectations;
            ++(r.passed ? t.passed : t.failed);
        }
    }
    return t;
}

const char* StatusOf(const CaseOutcome& o) {
    if (!o.error.empty()) return "error";
    for (const ExpectationResult& r : o.run.results) {
        if (!r.passed) return "failed";
    }
    return "passed";
}

}  // namespace

std::string ExpectationLine(const std::string& file, const ExpectationResult& r) {
    const Expectation& e = *r.expectation;
    const std::string where = Located(e.at.file.empty() ? file : e.at.file, e.at.line, "");
    // Names and messages may hold any character; a terminal takes none raw
    // that would drive it.
    if (r.passed) return Visible(where + "passed: " + Title(e) + ": " + r.actual);
    return Visible(where + "FAILED: " + Title(e) + ": " + FailureText(r));
}

std::string TestCaseReport(const CaseOutcome& o) {
    if (!o.error.empty()) return Visible(o.file + ": cannot be tested: " + o.error) + "\n";
    std::string out;
    size_t failed = 0;
    for (const ExpectationResult& r : o.run.results) {
        out += ExpectationLine(o.file, r) + "\n";
        failed += r.passed ? 0 : 1;
    }
    const size_t n = o.run.results.size();
    return out + Visible(o.file) + ": " +
           (n == 0 ? "no expectations ([[expect]] tables) to hold the link to"
                   : std::to_string(n) + " expectation(s), " + std::to_string(n - failed) + " passed, " +
                         std::to_string(failed) + " failed") +
           "\n";
}

std::string TestTotalsLine(const std::vector<CaseOutcome>& outcomes) {
    const Totals t = Count(outcomes);
    std::string out = std::to_string(t.cases) + " case(s), " + std::to_string(t.expectations) +
                      " expectation(s): " + std::to_string(t.passed) + " passed, " + std::to_string(t.failed) +
                      " failed";
    if (t.errors > 0) out += "; " + std::to_string(t.errors) + " case(s) could not be tested";
    return out + "\n";
}

std::string TestJsonReport(const std::vector<CaseOutcome>& outcomes) {
    using nlohmann::json;
    json cases = json::array();
    for (const CaseOutcome& o : outcomes) {
        json expectations = json::array();
        for (const ExpectationResult& r : o.run.results) {
            const Expectation& e = *r.expectation;
            expectations.push_back({{"name", ExpectationName(e)},
                                    {"line", e.at.line},
                                    {"when", ExpectWhenName(e.when)},
                                    {"step", e.when == ExpectWhen::Step ? json(e.step) : json(nullptr)},
                                    {"subject", SubjectText(e)},
                                    {"passed", r.passed},
                                    {"expected", r.expected},
                                    {"actual", r.actual},
                                    {"moment", r.looks > 0 ? json(r.moment) : json(nullptr)},
                                    {"looks", r.looks},
                                    {"failed_looks", r.failedLooks},
                                    {"seconds", r.seconds}});
        }
        cases.push_back({{"file", o.file},
                         {"status", StatusOf(o)},
                         {"error", o.error.empty() ? json(nullptr) : json(o.error)},
                         {"configured", o.error.empty() ? json(o.run.configured) : json(nullptr)},
                         {"steps", o.run.steps},
                         {"seconds", o.run.seconds},
                         {"expectations", expectations}});
    }
    const Totals t = Count(outcomes);
    const json out = {{"format", kTestResultsFormat},
                      {"version", kTestResultsVersion},
                      {"cases", cases},
                      {"totals",
                       {{"cases", t.cases},
                        {"expectations", t.expectations},
                        {"passed", t.passed},
                        {"failed", t.failed},
                        {"errors", t.errors}}}};
    // Texts that are not UTF-8 come out as U+FFFD rather than ending the dump.
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string TestJunitReport(const std::vector<CaseOutcome>& outcomes) {
    std::vector<junit::TestSuite> suites;
    for (const CaseOutcome& o : outcomes) {
        junit::TestSuite suite;
        suite.name = o.file;
        suite.file = o.file;
        suite.seconds = o.run.seconds;
        suite.properties = {{"format", std::string(kTestResultsFormat) + "-junit"},
                            {"version", std::to_string(kTestResultsVersion)}};
        if (!o.error.empty()) {
            junit::TestCase c;
            c.name = "the case is read and run";
            c.error = junit::Fault{o.error, "case-error", o.error};
            suite.cases.push_back(c);
        }
        for (const ExpectationResult& r : o.run.results) {
            const Expectation& e = *r.expectation;
            junit::TestCase c;
            c.name = ExpectationName(e);
            c.seconds = r.seconds;
            if (!r.passed) {
                const std::string text = FailureText(r);
                c.failure = junit::Fault{text, "expectation", ExpectationLine(o.file, r)};
            }
            suite.cases.push_back(c);
        }
        suites.push_back(std::move(suite));
    }
    return junit::Document("dcs-host test", suites);
}

std::string TestHtmlReport(const std::vector<CaseOutcome>& outcomes) {
    std::string out = PageStart("dcs-host test") + "<h1>dcs-host test</h1>\n";
    std::string totals = TestTotalsLine(outcomes);
    totals.pop_back();  // its line end
    out += "<p id=\"totals\">" + Escape(totals) + "</p>\n";
    for (const CaseOutcome& o : outcomes) {
        out += "<h2 class=\"" + std::string(StatusOf(o)) + "\">" + Escape(o.file) + "</h2>\n";
        if (!o.error.empty()) {
            out += "<p class=\"error\">cannot be tested: " + Escape(o.error) + "</p>\n";
            continue;
        }
        out += "<p>" + std::string(o.run.configured ? "configured" : "NOT configured") + "; " +
               std::to_string(o.run.steps) + " step(s)</p>\n";
        out +=
            "<table class=\"expectations\"><tr><th>line</th><th>expectation</th><th>when</th><th>result</th>"
            "<th>expected</th><th>actual</th></tr>\n";
        for (const ExpectationResult& r : o.run.results) {
            const Expectation& e = *r.expectation;
            out += "<tr class=\"" + std::string(r.passed ? "passed" : "failed") + "\"><td>" +
                   std::to_string(e.at.line) + "</td><td>" + Escape(Title(e)) + "</td><td>" +
                   Escape(r.looks > 0 ? r.moment : MomentText(e)) + "</td><td>" + (r.passed ? "passed" : "FAILED") +
                   "</td><td>" + Escape(r.expected) + "</td><td>" + Escape(r.actual) + "</td></tr>\n";
        }
        out += "</table>\n";
    }
    return out + PageEnd();
}

}  // namespace host
