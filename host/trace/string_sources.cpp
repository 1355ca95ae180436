#include "trace/string_sources.h"

#include <filesystem>
#include <fstream>

#include "case/input_file.h"
#include "case/load_case.h"
#include "os/os.h"
#include "trace/trace_file.h"

namespace host {

namespace {

// The captured strings handed to tools that read a string from a file; the
// files go when dcs-host ends (or is interrupted).
class CapturedFiles {
public:
    ~CapturedFiles() {
        std::error_code ignored;
        for (const std::string& path : paths_) {
            std::filesystem::remove(std::filesystem::u8path(path), ignored);
            os::UntrackTemporary(path);
            // The folder goes with its last file.
            std::filesystem::remove(std::filesystem::u8path(path).parent_path(), ignored);
        }
    }
    void Add(const std::string& path) {
        paths_.push_back(path);
        os::TrackTemporary(path);
    }

private:
    std::vector<std::string> paths_;
};

CapturedFiles& Captured() {
    static CapturedFiles files;
    return files;
}

// The bytes of a trace's fetch `fetch` of the string (the last when none),
// its number (0: the trace holds no such fetch) and how many it holds.
struct KeptFetch {
    std::string text;
    int64_t number = 0;
    int64_t fetches = 0;
};

KeptFetch FetchOfTrace(const std::string& path, std::optional<int64_t> fetch) {
    KeptFetch kept;
    TraceReader reader(path);
    TraceRecord record;
    while (reader.Next(record)) {
        if (record.type != TraceRecordType::InitString) continue;
        ++kept.fetches;
        if (!fetch || *fetch == kept.fetches) {
            kept.text = record.initString.text;
            kept.number = kept.fetches;
        }
    }
    return kept;
}

bool EndsWithToml(const std::string& path) {
    const std::string suffix = ".toml";
    if (path.size() <= suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        const char c = path[path.size() - suffix.size() + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i]) return false;
    }
    return true;
}

}  // namespace

std::optional<int> CodePageNamedByTrace(const std::string& path) {
    if (!IsTraceFile(path)) return std::nullopt;
    const TraceReader reader(path);
    const TraceCodePage codePage = CodePageOfTrace(reader.Header(), std::nullopt);
    if (reader.Header().codePage == 0 || !codePage.note.empty()) return std::nullopt;
    return codePage.page.Number();
}

std::string InitStringFileOf(const std::string& path, std::optional<int64_t> fetch, std::string* name) {
    if (name != nullptr) *name = path;
    RequireRegularFile(path, "the initialization string file");
    if (!IsTraceFile(path)) return path;
    const KeptFetch kept = FetchOfTrace(path, fetch);
    if (kept.number == 0) {
        throw std::runtime_error("the trace \"" + path + "\" holds " +
                                 (fetch ? "no fetch " + std::to_string(*fetch) +
                                              " of the initialization string (it holds " +
                                              std::to_string(kept.fetches) + ")"
                                        : std::string("no fetch of the initialization string")));
    }
    const std::string where = path + ", fetch " + std::to_string(kept.number);
    if (name != nullptr) *name = where;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("dcs-host-" + std::to_string(os::ProcessId()));
    std::filesystem::create_directories(dir);
    const std::string file =
        (dir / (std::filesystem::u8path(path).filename().u8string() + ".fetch-" + std::to_string(kept.number) + ".mrx"))
            .u8string();
    Captured().Add(file);
    std::ofstream out(std::filesystem::u8path(file), std::ios::binary | std::ios::trunc);
    out.write(kept.text.data(), static_cast<std::streamsize>(kept.text.size()));
    if (!out.flush()) throw std::runtime_error("cannot keep the string of " + where + " in " + file);
    return file;
}

void UseInitString(Case& c, const std::string& path, std::optional<int64_t> fetch) {
    RequireRegularFile(path, "the initialization string (--init-string)");
    c.initStringPath = InitStringFileOf(path, fetch);
    c.initStringLine = 0;
    c.namedFiles.push_back({"the initialization string (--init-string)", path});
}

std::string InitStringOfSource(const std::string& source, std::optional<int64_t> fetch, std::string* name,
                               std::optional<int>* codePage) {
    if (codePage != nullptr) *codePage = CodePageOfSource(source);
    if (!EndsWithToml(source)) return InitStringFileOf(source, fetch, name);
    const Case c = LoadCase(source);
    if (name != nullptr) *name = c.initStringPath;
    return c.initStringPath;
}

std::optional<int> CodePageOfSource(const std::string& source) {
    if (!EndsWithToml(source)) return CodePageNamedByTrace(source);
    const Case c = ParseCaseFile(source);
    if (c.codePageLine == 0) return std::nullopt;
    return c.codePage;
}

CodePage NamesCodePage(std::optional<int> given, const std::vector<std::string>& sources) {
    std::optional<CodePage> codePage = given ? CodePage::Find(*given) : std::nullopt;
    for (const std::string& source : sources) {
        if (codePage || source.empty()) continue;
        const std::optional<int> number = CodePageOfSource(source);
        if (!number) continue;
        codePage = CodePage::Find(*number);
        if (!codePage) {
            throw CaseError(source + ": code page " + std::to_string(*number) +
                            " is not one dcs-host converts to; it has " + CodePage::Supported());
        }
    }
    return codePage.value_or(*CodePage::Find(kDefaultCodePage));
}

}  // namespace host
