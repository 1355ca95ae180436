// Settings, the real library and the process's one session.
#include "client_loader.h"

#include <atomic>
#include <cstdlib>

#include "platform/mrx3p.h"
#include "trace_platform.h"

namespace mrxtrace {

namespace {

const char kSettingsName[] = "MRX3P-trace.ini";

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

void Warn(ClientSettings* s, const std::string& text) {
    if (!s->warning.empty()) {
        s->warning += "; ";
    }
    s->warning += text;
}

void SetLevel(ClientSettings* s, const std::string& text, const char* from) {
    TraceLevel level = TraceLevel::Changes;
    if (ParseTraceLevel(text, &level)) {
        s->level = level;
    } else {
        Warn(s, std::string("unknown level \"") + text + "\" in " + from + "; \"" + TraceLevelName(s->level) +
                    "\" is used");
    }
}

void SetLimit(ClientSettings* s, const std::string& text, const char* from) {
    const std::string t = Trim(text);
    char* end = nullptr;
    const unsigned long long value = std::strtoull(t.c_str(), &end, 10);
    if (t.empty() || t[0] == '-' || *end != '\0' || value == 0 || value > 1024ull * 1024) {
        Warn(s, "limit_mb \"" + t + "\" in " + from + " is no whole number of MiB from 1 to 1048576; " +
                    std::to_string(s->limitMb) + " is used");
        return;
    }
    s->limitMb = static_cast<uint32_t>(value);
}

std::string Beside(const std::string& dir, const std::string& path) {
    return path.empty() || platform::IsAbsolute(path) ? path : dir + path;
}

}  // namespace

ClientSettings ResolveSettings(const std::string& ownPath, const std::string* iniText) {
    ClientSettings s;
    const std::string dir = platform::DirectoryOf(ownPath);
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
                Warn(&s, where + " is no \"key = value\"");
                continue;
            }
            const std::string key = Lower(Trim(line.substr(0, eq)));
            const std::string value = Trim(line.substr(eq + 1));
            if (key == "real") {
                s.real = Beside(dir, value);
            } else if (key == "file") {
                s.file = Beside(dir, value);
            } else if (key == "level") {
                SetLevel(&s, value, where.c_str());
            } else if (key == "limit_mb") {
                SetLimit(&s, value, where.c_str());
            } else {
                Warn(&s, where + ": unknown key \"" + key + "\"");
            }
        }
    }
    std::string value;
    if (platform::GetEnv("MRX3P_TRACE_REAL", &value) && !value.empty()) s.real = value;
    if (platform::GetEnv("MRX3P_TRACE_FILE", &value) && !value.empty()) s.file = value;
    if (platform::GetEnv("MRX3P_TRACE_LEVEL", &value) && !value.empty()) SetLevel(&s, value, "MRX3P_TRACE_LEVEL");
    if (platform::GetEnv("MRX3P_TRACE_LIMIT_MB", &value) && !value.empty()) {
        SetLimit(&s, value, "MRX3P_TRACE_LIMIT_MB");
    }
    if (s.file.empty()) {
        s.file = platform::TempDirectory() + "MRX3P-trace-%p.jsonl";
    }
    return s;
}

namespace {

struct RealLibrary {
    MrxClientOps ops{};
    void* ordinal10 = nullptr;
    std::string error;
    std::string fileVersion;
};

template <typename Fn>
bool Bind(void* library, const char* name, int ordinal, Fn* slot, std::string* missing) {
    void* found = platform::FindOperation(library, name, ordinal);
    if (found == nullptr) {
        *missing += missing->empty() ? "" : ", ";
        *missing += name;
        return false;
    }
    *slot = reinterpret_cast<Fn>(found);
    return true;
}

RealLibrary LoadReal(const std::string& path, const std::string& ownPath, const ClientSettings& s) {
    RealLibrary real;
    if (path.empty()) {
        real.error = "no real client library is set: give \"real = PATH\" in " +
                     (s.settingsFile.empty() ? platform::DirectoryOf(ownPath) + kSettingsName
                                             : s.settingsFile + " (found, but without it)") +
                     " or set MRX3P_TRACE_REAL";
        if (s.settingsFile.empty()) {
            real.error = "no settings file " + platform::DirectoryOf(ownPath) + kSettingsName +
                         " and no MRX3P_TRACE_REAL: the real client library is not known";
        }
        return real;
    }
    bool same = false;
    std::string error;
    if (!ownPath.empty() && platform::SameFile(path, ownPath, &same, &error) && same) {
        real.error = "the real client library " + path +
                     " is this tracing library itself; point it at the real one (rename or move the real one first)";
        return real;
    }
    void* library = platform::LoadLibraryFile(path, &error);
    if (library == nullptr) {
        real.error = "cannot load the real client library " + path + ": " + error;
        return real;
    }
    MrxClientOps ops{};
    std::string missing;
    bool all = true;
    all &= Bind(library, "GetInitStringLength", 1, &ops.GetInitStringLength, &missing);
    all &= Bind(library, "GetInitString", 2, &ops.GetInitString, &missing);
    all &= Bind(library, "ResetLink", 3, &ops.ResetLink, &missing);
    all &= Bind(library, "ReadAI", 4, &ops.ReadAI, &missing);
    all &= Bind(library, "WriteAI", 5, &ops.WriteAI, &missing);
    all &= Bind(library, "ReadAO", 6, &ops.ReadAO, &missing);
    all &= Bind(library, "ReadDI", 7, &ops.ReadDI, &missing);
    all &= Bind(library, "WriteDI", 8, &ops.WriteDI, &missing);
    all &= Bind(library, "ReadDO", 9, &ops.ReadDO, &missing);
    all &= Bind(library, "ReadCALC", 11, &ops.ReadCALC, &missing);
    all &= Bind(library, "WriteCALC", 12, &ops.WriteCALC, &missing);
    if (!all) {
        real.error = "the real client library " + path + " lacks " + missing;
        return real;
    }
    // A copy of this very library (or the loader handing back this one)
    // would call itself for ever.
    if (reinterpret_cast<void*>(ops.ReadAI) == reinterpret_cast<void*>(&::ReadAI)) {
        real.error = "the real client library " + path + " is this tracing library";
        return real;
    }
    real.ops = ops;
    real.ordinal10 = platform::FindOperation(library, nullptr, 10);
    real.fileVersion = platform::LibraryFileVersion(path);
    return real;
}

struct ClientState {
    TraceSession* session = nullptr;
    void* ordinal10 = nullptr;
};

std::atomic<TraceSession*> g_session{nullptr};

ClientState* Build() {
    ClientState* state = new ClientState;
    const std::string own = platform::OwnLibraryPath();
    std::string ini;
    const bool haveIni = !own.empty() && platform::ReadWholeFile(platform::DirectoryOf(own) + kSettingsName, &ini);
    const ClientSettings s = ResolveSettings(own, haveIni ? &ini : nullptr);
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
    settings.realLibrary = s.real;
    settings.realFileVersion = real.fileVersion;
    settings.settingsFile = s.settingsFile;
    settings.realLibraryError = real.error;
    settings.settingsWarning = s.warning;
    state->session = new TraceSession(real.ops, settings);  // lives as long as the process
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
