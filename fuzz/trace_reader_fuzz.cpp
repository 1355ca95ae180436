// Feeds arbitrary bytes to dcs-host's trace reader and digest, as a file a
// plant hands over. Whatever the file holds, the reading must end with a
// digest or a TraceError; the terminal view must be valid UTF-8 and the
// JSON summary valid JSON carrying its format; nothing may crash, hang,
// grow without bound or escape as another exception.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "diagnose/trace_digest.h"
#include "report/trace_report.h"

namespace {

std::string ScratchPath() { return "/tmp/dcs_trace_fuzz_" + std::to_string(static_cast<long>(getpid())) + ".jsonl"; }

[[noreturn]] void Violation(const char* what, const std::string& detail) {
    std::fprintf(stderr, "trace_reader_fuzz: %s: %s\n", what, detail.substr(0, 400).c_str());
    std::fflush(stderr);
    std::abort();
}

bool ValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = ScratchPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    host::DigestOptions options;
    options.tagGlobs = {"*"};
    std::string kept;
    int64_t keptNumber = 0;
    options.keptText = &kept;
    options.keptNumber = &keptNumber;
    try {
        const host::TraceDigest d = host::DigestTrace(path, options);
        const std::string text = host::TraceText(d);
        if (!ValidUtf8(text)) Violation("the terminal view is no UTF-8", text);
        const nlohmann::json j = nlohmann::json::parse(host::TraceJson(d), nullptr, false);
        if (j.is_discarded() || j.value("format", "") != "dcs-host-trace-summary") {
            Violation("the JSON summary is no JSON of its format", host::TraceJson(d));
        }
        if (d.series.size() > host::kMaxSeries) Violation("more series than the chart keeps", path);
        if (keptNumber != static_cast<int64_t>(d.fetches.size())) Violation("the kept fetch is not the last", path);
    } catch (const host::TraceError&) {
        // Refused as a whole, with its message: what dcs-host exits 2 with.
    } catch (const std::exception& e) {
        Violation("an exception other than TraceError escaped", e.what());
    }
    std::remove(path.c_str());
    return 0;
}
