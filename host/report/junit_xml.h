// JUnit XML, as CI systems read test results: <testsuites> around one
// <testsuite> per group, one <testcase> per test, a <failure> or <error>
// where one did not pass. Every text is written as valid UTF-8 XML whatever
// bytes it holds (see Escape in report/markup.h), so a tag name in any code
// page, decoded or not, never makes the file unreadable.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace host {

namespace junit {

// Why a test did not pass: `message` is the one-line summary a CI system
// shows, `type` a short code, `text` the whole story (may span lines).
struct Fault {
    std::string message;
    std::string type;
    std::string text;
};

struct TestCase {
    std::string name;
    std::string classname;  // CI systems group by it; the suite's name when empty
    double seconds = 0.0;
    std::optional<Fault> failure;  // the test ran and its expectation was not met
    std::optional<Fault> error;    // the test could not run
    std::string systemOut;         // empty: no <system-out>
};

struct TestSuite {
    std::string name;
    double seconds = 0.0;
    std::string file;  // the file the suite comes from; empty: no attribute
    // <properties>: the format's name and version, or anything else.
    std::vector<std::pair<std::string, std::string>> properties;
    std::vector<TestCase> cases;
};

// The whole document: the XML declaration, then <testsuites name=NAME> with
// the totals of tests, failures, errors and time (seconds, three decimals).
std::string Document(const std::string& name, const std::vector<TestSuite>& suites);

}  // namespace junit

}  // namespace host
