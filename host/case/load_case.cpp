#include "case/load_case.h"

#include <cstdio>

#include "case/input_file.h"
#include "case/simulator_text.h"
#include "os/os.h"

namespace host {

namespace {

// A trace or an initialization string where a case belongs would only
// meet the case reader's complaints about its first line; say what the file
// is and what takes it instead.
void RefuseOtherInputAsCase(const std::string& path) {
    if (IsTraceFile(path)) {
        throw CaseError(path + " is a trace of the Marlix client, not a case: read it with dcs-host trace " + path +
                        ", or check a case against it with dcs-host check CASE --trace " + path);
    }
    const std::string head = FileStart(path, 256);
    const size_t first = head.find_first_not_of(" \t\r\n");
    // No case begins with "*" (no TOML does); every section of the string does.
    if (first != std::string::npos && head[first] == '*') {
        throw CaseError(path + " is an initialization string, not a case: a case (.toml) names it with " +
                        "init_string = \"" + path + "\", and dcs-host tags " + path + " lists its tags");
    }
}

}  // namespace

Case LoadCase(const std::string& path, std::optional<int> codePage, std::optional<int> otherwise) {
    RefuseOtherInputAsCase(path);
    Case c = ParseCaseFile(path);
    if (codePage) {
        c.codePage = *codePage;
    } else if (c.codePageLine == 0 && otherwise) {
        c.codePage = *otherwise;
    }
    EncodeForSimulator(c);
    return c;
}

int CaseRefused(const CaseError& e) {
    os::Write(stderr, std::string(e.what()) + "\n");
    return 2;
}

}  // namespace host
