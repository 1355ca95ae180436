#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <thread>

#include "commands/trace_command.h"
#include "diagnose/trace_digest.h"
#include "os/os.h"
#include "output/output_file.h"
#include "report/trace_report.h"

namespace host {

namespace {

namespace fs = std::filesystem;

// The trace to read now: the path itself, or a folder's newest *.jsonl.
std::string Newest(const std::string& path) {
    std::error_code error;
    const fs::path p = fs::u8path(path);
    if (!fs::is_directory(p, error)) return path;
    std::string newest;
    fs::file_time_type newestTime{};
    for (const fs::directory_entry& e : fs::directory_iterator(p, error)) {
        if (!e.is_regular_file(error) || e.path().extension() != ".jsonl") continue;
        const fs::file_time_type t = e.last_write_time(error);
        if (newest.empty() || t > newestTime) newest = e.path().u8string(), newestTime = t;
    }
    return newest;
}

struct FileState {
    std::string path;
    uintmax_t size = 0;
    fs::file_time_type time{};
    bool operator==(const FileState& o) const { return path == o.path && size == o.size && time == o.time; }
};

FileState StateOf(const std::string& path) {
    std::error_code error;
    FileState s;
    s.path = path;
    s.size = fs::file_size(fs::u8path(path), error);
    s.time = fs::last_write_time(fs::u8path(path), error);
    return s;
}

std::string Clock() {
    const std::time_t now = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&now));
    return text;
}

// One screen: calls and failures per operation, the tags failing now and
// since when (new ones marked), the latest fetch, the last link events.
std::string Screen(const TraceDigest& d, const std::set<TagKeyT>& before, std::set<TagKeyT>& failingNow) {
    std::string out = "following " + d.path + " (Ctrl-C ends), read at " + Clock() + "\n";
    out += "  process " + std::to_string(d.header.pid) + ", level " + d.header.level + ", " + std::to_string(d.calls) +
           " calls, " + std::to_string(d.failures) + " failed" + (d.finished ? ", ended" : ", running") + "\n";
    out += "  tag names in " + d.codePage.Name() + "\n";
    for (const std::string& note : d.notes) out += "note: " + note + "\n";
    out += "\n";
    for (const auto& [name, op] : d.ops) {
        char line[96];
        std::snprintf(line, sizeof line, "  %-20s %10lld calls %8lld failed\n", name.c_str(),
                      static_cast<long long>(op.calls), static_cast<long long>(op.failures));
        out += line;
    }
    out += "\nfailing now:\n";
    for (const auto& [key, k] : d.keys) {
        if (k.lastStatus == 0) continue;
        failingNow.insert(key);
        const auto group =
            d.failureGroups.find(FailureKey{std::get<0>(key), std::get<1>(key), std::get<2>(key), k.lastStatus});
        out += std::string(before.count(key) == 0 ? "  NEW " : "      ") +
               ShortDisplayBytes(std::get<0>(key), d.codePage) + " (data set " + std::to_string(std::get<1>(key)) +
               ", " + std::get<2>(key) + ") status " + std::to_string(k.lastStatus) +
               (group != d.failureGroups.end() ? ", failing since " + SecondsText(group->second.firstUs) : "") + "\n";
    }
    if (failingNow.empty()) out += "  none\n";
    if (!d.fetches.empty()) {
        const FetchDigest& f = d.fetches.back();
        out += "\nlatest fetch of the string: #" + std::to_string(f.number) + " at " + SecondsText(f.tUs) + ", " +
               std::to_string(f.bytes) + " bytes\n";
    }
    out += "\nlink events:\n";
    for (size_t i = d.events.size() > 5 ? d.events.size() - 5 : 0; i < d.events.size(); ++i) {
        out += "  " + SecondsText(d.events[i].tUs) + "  " + d.events[i].what + "  " + d.events[i].text + "\n";
    }
    return out;
}

}  // namespace

int FollowTrace(const TraceOptions& options) {
    std::error_code error;
    if (!fs::exists(fs::u8path(options.tracePath), error)) {
        os::Write(stderr, "dcs-host: there is no trace or folder \"" + options.tracePath + "\" to follow\n");
        return 2;
    }
    FileState shown;
    std::set<TagKeyT> failing;
    std::string waitingFor;
    DigestOptions digestOptions;
    digestOptions.tagGlobs = options.tags;
    digestOptions.codePage = options.codePage;
    for (;;) {
        const std::string path = Newest(options.tracePath);
        const FileState now = path.empty() ? FileState{} : StateOf(path);
        if (path.empty() || now.size == 0) {
            if (waitingFor != path) os::Write(stdout, "waiting for a trace in " + options.tracePath + "\n");
            waitingFor = path;
        } else if (!(now == shown)) {
            // A changed, cut or replaced file is read again whole: the view
            // is always of what the file holds now.
            try {
                const TraceDigest d = DigestTrace(path, digestOptions);
                std::set<TagKeyT> failingNow;
                const std::string screen = Screen(d, path == shown.path ? failing : std::set<TagKeyT>{}, failingNow);
                os::Write(stdout, "\x1b[H\x1b[2J" + screen);
                failing = failingNow;
                if (!options.htmlPath.empty()) {
                    OutputFile page(options.htmlPath);
                    WriteTracePage(page, d, 3);
                }
                shown = now;
            } catch (const TraceError& e) {
                // Being created, or not a trace yet: said once, tried again.
                if (waitingFor != e.what()) os::Write(stdout, std::string("waiting: ") + e.what() + "\n");
                waitingFor = e.what();
            }
        }
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

}  // namespace host
