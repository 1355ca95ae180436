// Settings, the real library and the process's one session.
#include "client_loader.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "osbase.h"
#include "platform/mrx3p.h"
#include "platform/mrx3p_operations.h"
#include "trace_platform.h"

namespace mrxtrace {

namespace {

const char kSettingsName[] = "MRX3P-trace.ini";
// A settings file is a few lines; a bigger one is not read at all (a file
// without end, such as a link to /dev/zero, would otherwise fill memory).
constexpr size_t kMaxSettingsBytes = 64 * 1024;

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
    return text.substr(begin, end - begin);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

// What was wrong with the settings. The warning names the first few
// faults and counts the rest, and each quotes at most kQuoted bytes of what
// it found, so that no settings file makes a long line. A fault of the level
// or the limit names the value used, known only once every source is read.
constexpr size_t kShownFaults = 4;
constexpr size_t kQuoted = 40;

enum class Uses { Nothing, Level, Limit, CodePage };
struct Fault {
    std::string text;
    Uses uses;
};
struct Faults {
    std::vector<Fault> shown;
    size_t more = 0;
};

void Note(Faults* faults, std::string text, Uses uses = Uses::Nothing) {
    if (faults->shown.size() < kShownFaults) {
        faults->shown.push_back(Fault{std::move(text), uses});
    } else {
        ++faults->more;
    }
}

// The text in quotes, cut (at a character's start) after kQuoted bytes,
// its control bytes shown as \xNN: the warning is one line on a terminal.
std::string Quoted(const std::string& text) {
    size_t cut = text.size();
    if (cut > kQuoted) {
        cut = kQuoted;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80) --cut;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (size_t i = 0; i < cut; ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7f) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += static_cast<char>(b);
        }
    }
    out += "\"";
    if (cut < text.size()) {
        out.insert(out.size() - 1, "...");
        out += " (" + std::to_string(text.size()) + " bytes)";
    }
    return out;
}

std::string Warning(const Faults& faults, const ClientSettings& s) {
    std::string text;
    for (const Fault& f : faults.shown) {
        text += text.empty() ? "" : "; ";
        text += f.text;
        if (f.uses == Uses::Level) {
            text += std::string("; \"") + TraceLevelName(s.level) + "\" is used";
        } else if (f.uses == Uses::Limit) {
            text += "; " + std::to_string(s.limitMb) + " is used";
        } else if (f.uses == Uses::CodePage) {
            text += "; " + std::to_string(s.codePage) + " is used";
        }
    }
    if (faults.more > 0) {
        text += "; and " + std::to_string(faults.more) + " more such faults";
    }
    return text;
}

void SetLevel(ClientSettings* s, Faults* faults, const std::string& text, const std::string& from) {
    TraceLevel level = TraceLevel::Changes;
    if (ParseTraceLevel(text, &level)) {
        s->level = level;
    } else {
        Note(faults, "unknown level " + Quoted(text) + " in " + from, Uses::Level);
    }
}

void SetLimit(ClientSettings* s, Faults* faults, const std::string& text, const std::string& from) {
    const std::string t = Trim(text);
    char* end = nullptr;
    const unsigned long long value = std::strtoull(t.c_str(), &end, 10);
    if (t.empty() || t[0] == '-' || *end != '\0' || value == 0 || value > 1024ull * 1024) {
        Note(faults, "limit_mb " + Quoted(t) + " in " + from + " is no whole number of MiB from 1 to 1048576",
             Uses::Limit);
        return;
    }
    s->limitMb = static_cast<uint32_t>(value);
}

// Any Windows code page number: the tracer only says which one the bytes
// are in; whether a reader has it is the reader's matter.
void SetCodePage(ClientSettings* s, Faults* faults, const std::string& text, const std::string& from) {
    const std::string t = Trim(text);
    char* end = nullptr;
    const unsigned long long value = std::strtoull(t.c_str(), &end, 10);
    if (t.empty() || t[0] < '0' || t[0] > '9' || *end != '\0' || value == 0 || value > 65535) {
        Note(faults, "code_page " + Quoted(t) + " in " + from + " is no code page number from 1 to 65535",
             Uses::CodePage);
        return;
    }
    s->codePage = static_cast<uint32_t>(value);
}

std::string Beside(const std::string& dir, const std::string& path) {
    return path.empty() || osbase::IsAbsolute(path) ? path : dir + path;
}

}  // namespace

ClientSettings ResolveSettings(const std::string& ownPath, const std::string* iniText, const std::string& iniProblem) {
    ClientSettings s;
    Faults faults;
    const std::string dir = platform::DirectoryOf(ownPath);
    if (!iniProblem.empty()) {
        s.settingsProblem = iniProblem;
        Note(&faults, "the settings file " + dir + kSettingsName + " is not read (" + iniProblem +
                          "): the defaults and the environment are used");
    }
    if (iniText != nullptr) {
        s.settingsFile = dir + kSettingsName;
        std::string text = *iniText;
        if (text.compare(0, 3, "\xef\xbb\xbf") == 0) {
            text.erase(0, 3);  // a byte-order mark that Notepad may leave
        }
        size_t pos = 0;
        int lineNumber = 0;
        while (pos <= text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            const std::string line = Trim(text.substr(pos, end - pos));
            pos = end + 1;
            ++lineNumber;
            if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[') {
                continue;
            }
            const size_t eq = line.find('=');
            const std::string where = std::string(kSettingsName) + " line " + std::to_string(lineNumber);
            if (eq == std::string::npos) {
                Note(&faults, where + " is no \"key = value\"");
                continue;
            }
            const std::string key = Lower(Trim(line.substr(0, eq)));
            const std::string value = Trim(line.substr(eq + 1));
            if (key == "real") {
                s.real = Beside(dir, value);
            } else if (key == "file") {
                s.file = Beside(dir, value);
            } else if (key == "level") {
                SetLevel(&s, &faults, value, where);
            } else if (key == "limit_mb") {
                SetLimit(&s, &faults, value, where);
            } else if (key == "code_page") {
                SetCodePage(&s, &faults, value, where);
            } else {
                Note(&faults, where + ": unknown key " + Quoted(key));
            }
        }
    }
    std::string value;
    if (platform::GetEnv("MRX3P_TRACE_REAL", &value) && !value.empty()) s.real = value;
    if (platform::GetEnv("MRX3P_TRACE_FILE", &value) && !value.empty()) s.file = value;
    if (platform::GetEnv("MRX3P_TRACE_LEVEL", &value) && !value.empty()) {
        SetLevel(&s, &faults, value, "MRX3P_TRACE_LEVEL");
    }
    if (platform::GetEnv("MRX3P_TRACE_LIMIT_MB", &value) && !value.empty()) {
        SetLimit(&s, &faults, value, "MRX3P_TRACE_LIMIT_MB");
    }
    if (platform::GetEnv("MRX3P_TRACE_CODE_PAGE", &value) && !value.empty()) {
        SetCodePage(&s, &faults, value, "MRX3P_TRACE_CODE_PAGE");
    }
    s.warning = Warning(faults, s);
    if (s.file.empty()) {
        s.file = platform::TempDirectory() + "MRX3P-trace-%p.jsonl";
    }
    return s;
}

namespace {

struct RealLibrary {
    // The library's operations, in the order of kMrxOperations; all null
    // unless every one was found.
    void* functions[kMrxOperationCount] = {};
    void* ordinal10 = nullptr;
    std::string error;
    std::string fileVersion;
};

RealLibrary LoadReal(const std::string& path, const std::string& ownPath, const ClientSettings& s) {
    RealLibrary real;
    if (path.empty()) {
        real.error = "no real client library is set: give \"real = PATH\" in " +
                     (s.settingsFile.empty() ? platform::DirectoryOf(ownPath) + kSettingsName
                                             : s.settingsFile + " (found, but without it)") +
                     " or set MRX3P_TRACE_REAL";
        if (s.settingsFile.empty()) {
            real.error = (s.settingsProblem.empty() ? "no settings file " : "the settings file ") +
                         platform::DirectoryOf(ownPath) + kSettingsName +
                         (s.settingsProblem.empty() ? "" : " is not read and there is") +
                         " no MRX3P_TRACE_REAL: the real client library is not known";
        }
        return real;
    }
    // Loading reads the file: a named pipe would hold the process up for
    // ever, a device has no end.
    const std::string kind = platform::NotARegularFile(path);
    if (!kind.empty()) {
        real.error = "the real client library " + path + " is " + kind + ", not a file";
        return real;
    }
    std::string error;
    if (!ownPath.empty() && osbase::SameFile(path, ownPath, error).value_or(false)) {
        real.error = "the real client library " + path +
                     " is this tracing library itself; point it at the real one (rename or move the real one first)";
        return real;
    }
    // Its own imports are looked for beside it: it comes with them.
    void* library = osbase::OpenLibrary(path, osbase::ImportSearch::Library, error);
    if (library == nullptr) {
        real.error = "cannot load the real client library " + path + ": " + error;
        return real;
    }
    // Each operation by its export name, or by its ordinal where names are
    // not exported.
    void* functions[kMrxOperationCount] = {};
    std::string missing;
    for (int i = 0; i < kMrxOperationCount; ++i) {
        const MrxOperationInfo& op = kMrxOperations[i];
        functions[i] = platform::FindOperation(library, op.name, op.ordinal);
        if (functions[i] == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(op.name);
    }
    if (!missing.empty()) {
        real.error = "the real client library " + path + " lacks " + missing;
        return real;
    }
    // A copy of this very library (or the loader handing back this one)
    // would call itself for ever.
    if (functions[MrxOperationIndex(MRX_OP_READ_AI)] == reinterpret_cast<void*>(&::ReadAI)) {
        real.error = "the real client library " + path + " is this tracing library";
        return real;
    }
    std::copy(std::begin(functions), std::end(functions), std::begin(real.functions));
    real.ordinal10 = platform::FindOperation(library, nullptr, 10);
    if (const std::optional<osbase::VersionBlock> block = osbase::ReadVersionBlock(path)) {
        real.fileVersion = block->fileNumber;
    }
    return real;
}

struct ClientState {
    // The real library's functions, which the session's table points to.
    void* functions[kMrxOperationCount] = {};
    TraceSession* session = nullptr;
    void* ordinal10 = nullptr;
};

std::atomic<TraceSession*> g_session{nullptr};

ClientState* Build() {
    ClientState* state = new ClientState;
    const std::string own = platform::OwnLibraryPath();
    std::string ini;
    std::string iniProblem;
    const platform::ReadResult read = own.empty() ? platform::ReadResult::Absent
                                                  : platform::ReadSmallFile(platform::DirectoryOf(own) + kSettingsName,
                                                                            kMaxSettingsBytes, &ini, &iniProblem);
    const ClientSettings s = ResolveSettings(own, read == platform::ReadResult::Read ? &ini : nullptr, iniProblem);
    const RealLibrary real = LoadReal(s.real, own, s);
    if (!real.error.empty()) {
        platform::DebugOutput(real.error + "; every operation fails until the process is restarted");
    }
    if (!s.warning.empty()) {
        platform::DebugOutput(s.warning);
    }
    TraceSettings settings;
    settings.file = s.file;
    settings.level = s.level;
    settings.limitMb = s.limitMb;
    settings.codePage = s.codePage;
    settings.realLibrary = s.real;
    settings.realFileVersion = real.fileVersion;
    settings.settingsFile = s.settingsFile;
    settings.realLibraryError = real.error;
    settings.settingsWarning = s.warning;
    // Without the real library, an empty table: every operation fails safely.
    MrxOps ops{};
    if (real.error.empty()) {
        std::copy(std::begin(real.functions), std::end(real.functions), std::begin(state->functions));
        ops = MrxOpsOverFunctions(state->functions);
    }
    state->session = new TraceSession(ops, settings);  // lives as long as the process
    state->ordinal10 = real.ordinal10;
    g_session.store(state->session, std::memory_order_release);
    return state;
}

ClientState& State() {
    static ClientState* state = Build();
    return *state;
}

}  // namespace

TraceSession& ClientSession() { return *State().session; }

void* RealOrdinal10() { return State().ordinal10; }

void EndClientSession(bool processEnding) {
    TraceSession* session = g_session.load(std::memory_order_acquire);
    if (session == nullptr) {
        return;  // never called: no trace to close
    }
    if (processEnding) {
        session->EndIfFree();
    } else {
        session->End();
    }
}

}  // namespace mrxtrace
