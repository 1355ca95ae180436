// Feeds arbitrary bytes to dcs-host's reader of TOML case files. Whatever
// the file holds, the reader must return a case or refuse it with a
// CaseError worded "FILE:LINE: ..." (or "FILE:LINE:COLUMN: ..."), the way dcs-host reports it before it
// exits with status 2; it must never crash, hang or run out of memory, and
// nothing else may escape it.

#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "case/case_file.h"

namespace {

std::string ScratchPath() { return "/tmp/dcs_case_fuzz_" + std::to_string(static_cast<long>(getpid())) + ".toml"; }

[[noreturn]] void Violation(const char* what, const std::string& detail) {
    std::fprintf(stderr, "case_file_fuzz: %s: %s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// A positive number at `at`; moves past it.
bool PositiveNumber(const std::string& message, size_t& at) {
    const size_t digits = at;
    while (at < message.size() && std::isdigit(static_cast<unsigned char>(message[at])) != 0) ++at;
    return at > digits && message[digits] != '0';
}

// "FILE:LINE: ..." or "FILE:LINE:COLUMN: ..." with LINE and COLUMN positive.
bool LocatedAtALine(const std::string& message, const std::string& file) {
    if (message.compare(0, file.size() + 1, file + ":") != 0) return false;
    size_t at = file.size() + 1;
    if (!PositiveNumber(message, at)) return false;
    if (message.compare(at, 1, ":") == 0 && message.compare(at, 2, ": ") != 0) {
        ++at;
        if (!PositiveNumber(message, at)) return false;
    }
    return message.compare(at, 2, ": ") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = ScratchPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        host::ParseCaseFile(path);
    } catch (const host::CaseError& refusal) {
        if (!LocatedAtALine(refusal.what(), path)) Violation("a refusal without FILE:LINE", refusal.what());
    } catch (const std::exception& other) {
        Violation("an exception other than CaseError escaped", other.what());
    }
    return 0;
}
