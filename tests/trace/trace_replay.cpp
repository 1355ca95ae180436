// Replays the life-cycle fuzzer's kept programs against the driver library,
// loaded as the simulator loads it, with a chosen Marlix client in front:
//   trace_replay DRIVER CLIENT STANDIN OUT CALLS INPUT...
// CLIENT is loaded first, so that the driver's import of the client library
// is bound to it: the stand-in server itself, or the tracing client with the
// stand-in as its real library. STANDIN is the stand-in's file, opened for
// its control routines (the same library the tracer loads). OUT gets what
// the host sees of every step (results, message boxes, ErrorMsg texts) and
// the server's call log; CALLS the call log alone, for the trace's rebuild.
// Two runs with different clients must write the same OUT.
//
// The programs are decoded by the fuzzer's own decoder, but run only on what
// a host can see: the driver's internal state is not at hand here, so the
// host tracks the link's state from the results, and keeps off the tag
// texts once a configuration may have bound them.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "entry_points.h"
#include "hostapi/dcs_link_data.h"
#include "iface_control.h"
#include "life_cycle_program.h"
#include "mrx3p_control.h"
#include "user32_control.h"

#if defined(_WIN32)
#include "box_capture.h"
void* Open(const char* path) { return reinterpret_cast<void*>(LoadLibraryA(path)); }
void* Find(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void Close(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
#include <dlfcn.h>
void* Open(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
void* Find(void* library, const char* name) { return dlsym(library, name); }
void Close(void* library) { dlclose(library); }
#endif

namespace {

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "trace_replay: %s\n", what.c_str());
    std::exit(3);
}

template <typename Fn>
Fn Need(void* library, const char* name) {
    void* found = Find(library, name);
    if (found == nullptr) Die(std::string("missing ") + name);
    return reinterpret_cast<Fn>(found);
}

// The stand-in server's control routines, from the stand-in's own file.
struct Server {
    decltype(&MrxStandin_Reset) Reset;
    decltype(&MrxStandin_ForgetHandles) ForgetHandles;
    decltype(&MrxStandin_SetInitString) SetInitString;
    decltype(&MrxStandin_SetReportedLength) SetReportedLength;
    decltype(&MrxStandin_SetDouble) SetDouble;
    decltype(&MrxStandin_SetInt) SetInt;
    decltype(&MrxStandin_InjectStatus) InjectStatus;
    decltype(&MrxStandin_ClearInjections) ClearInjections;
    decltype(&MrxStandin_CallCount) CallCount;
    decltype(&MrxStandin_Call) Call;
    decltype(&MrxStandin_ClearCallLog) ClearCallLog;
    decltype(&MrxStandin_SetLogging) SetLogging;
    decltype(&MrxStandin_CookieFaults) CookieFaults;

    explicit Server(void* s)
        : Reset(Need<decltype(Reset)>(s, "MrxStandin_Reset")),
          ForgetHandles(Need<decltype(ForgetHandles)>(s, "MrxStandin_ForgetHandles")),
          SetInitString(Need<decltype(SetInitString)>(s, "MrxStandin_SetInitString")),
          SetReportedLength(Need<decltype(SetReportedLength)>(s, "MrxStandin_SetReportedLength")),
          SetDouble(Need<decltype(SetDouble)>(s, "MrxStandin_SetDouble")),
          SetInt(Need<decltype(SetInt)>(s, "MrxStandin_SetInt")),
          InjectStatus(Need<decltype(InjectStatus)>(s, "MrxStandin_InjectStatus")),
          ClearInjections(Need<decltype(ClearInjections)>(s, "MrxStandin_ClearInjections")),
          CallCount(Need<decltype(CallCount)>(s, "MrxStandin_CallCount")),
          Call(Need<decltype(Call)>(s, "MrxStandin_Call")),
          ClearCallLog(Need<decltype(ClearCallLog)>(s, "MrxStandin_ClearCallLog")),
          SetLogging(Need<decltype(SetLogging)>(s, "MrxStandin_SetLogging")),
          CookieFaults(Need<decltype(CookieFaults)>(s, "MrxStandin_CookieFaults")) {}
};

struct Driver {
    void* library = nullptr;
    DCSEntryPoint entry[life_cycle::kEntryPointCount] = {};

    explicit Driver(const char* path) {
        library = Open(path);
        if (library == nullptr) Die(std::string("cannot load the driver ") + path);
#if defined(_WIN32)
        CaptureMessageBoxes(static_cast<HMODULE>(library));
#endif
        for (int i = 0; i < life_cycle::kEntryPointCount; ++i)
            entry[i] = Need<DCSEntryPoint>(library, life_cycle::kEntryPointNames[i]);
    }
    ~Driver() { Close(library); }
};

// Runs each program against a freshly loaded driver and writes what the
// host saw of it.
class Replay : public life_cycle::Runner {
public:
    Replay(const char* driverPath, Server& server, std::FILE* out, std::FILE* calls)
        : driverPath_(driverPath), server_(server), out_(out), calls_(calls) {}

    void Program(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::fprintf(out_, "== %s\n", name.c_str());
        User32Standin_Reset();
        IFaceStandin_Reset();
        server_.Reset();
        server_.ForgetHandles();
        Driver driver(driverPath_);  // a freshly loaded library per program
        driver_ = &driver;
        life_cycle::Program program(bytes.data(), bytes.size(), *this);
        configured_ = false;
        mayHoldFlags_ = false;
        while (program.Next() != nullptr) Observe();
        IFaceStandin_FailAllocation(0, 0);
        Call(life_cycle::kReset, &program.Case().Data());
        Call(life_cycle::kDestroy, &program.Case().Data());
        Observe();
        driver_ = nullptr;
        std::fprintf(out_, "cookie faults %d\n", static_cast<int>(server_.CookieFaults()));
    }

    void SetInitString(const char* text) override { server_.SetInitString(text); }
    void SetReportedLength(int32_t length) override { server_.SetReportedLength(length); }
    void SetInt(int32_t kind, int32_t dataSet, const char* name, int32_t value) override {
        server_.SetInt(kind, dataSet, name, value);
    }
    void SetDouble(int32_t kind, int32_t dataSet, const char* name, double value) override {
        server_.SetDouble(kind, dataSet, name, value);
    }
    void InjectStatus(int32_t operation, const char* tag, int32_t status, int32_t times) override {
        server_.InjectStatus(operation, tag, status, times);
    }
    void ClearInjections() override { server_.ClearInjections(); }

    // The driver's state is not at hand here: the link's state is tracked
    // from the results, and the flag texts are left alone once any
    // configuration may have bound them.
    bool MayEditRows() override { return !configured_; }
    bool MayEditFlags() override { return !mayHoldFlags_; }

    int32_t Call(life_cycle::EntryPoint entry, DCSLinkData* d) override {
        const int32_t result = driver_->entry[entry](d);
        // DCSInitialize and the others return nothing the host may rely on.
        const bool meaningful = entry == life_cycle::kLoad || entry == life_cycle::kConfigure ||
                                entry == life_cycle::kSimulate || entry == life_cycle::kDestroy;
        std::fprintf(out_, "%s -> %d\n", life_cycle::kEntryPointNames[entry],
                     meaningful ? static_cast<int>(result) : 0);
        if (entry == life_cycle::kConfigure) {
            // Cells are numbered within one configuration: the binding
            // tables, and so the cells' addresses, are made anew by each.
            cells_.clear();
            configured_ = result == 1;
            mayHoldFlags_ = true;
        } else if (entry == life_cycle::kReset) {
            configured_ = false;
        }
        return result;
    }
    void Called(life_cycle::EntryPoint, int32_t, const caseblock::CaseBlock&) override {}

private:
    // What the host and the server saw since the last look.
    void Observe() {
        for (int32_t i = 0; i < User32Standin_BoxCount(); ++i) {
            std::fprintf(out_, "box [%s] %s\n", User32Standin_BoxCaption(i), User32Standin_BoxText(i));
        }
        for (int32_t i = errorsSeen_; i < IFaceStandin_ErrorMessageCount(); ++i) {
            std::fprintf(out_, "ErrorMsg %s\n", IFaceStandin_ErrorMessage(i));
        }
        errorsSeen_ = IFaceStandin_ErrorMessageCount();
        for (int32_t i = 0; i < server_.CallCount(); ++i) {
            const MrxCall* c = server_.Call(i);
            size_t cell = 0;
            if (c->cookieAddress != nullptr) cell = cells_.emplace(c->cookieAddress, cells_.size() + 1).first->second;
            std::string tag;
            char hex[3];
            for (const char* p = c->tag; *p != '\0'; ++p) {
                std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(*p));
                tag += hex;
            }
            char line[256];
            std::snprintf(line, sizeof line, "%d %d %zu %u %u %a %d %d %d ", static_cast<int>(c->operation),
                          static_cast<int>(c->dataSet), cell, static_cast<unsigned>(c->cookieBefore),
                          static_cast<unsigned>(c->cookieAfter), c->doubleValue, static_cast<int>(c->intValue),
                          static_cast<int>(c->status), static_cast<int>(c->tagWasNull));
            std::fprintf(out_, "call %s%s\n", line, tag.c_str());
            std::fprintf(calls_, "%s%s\n", line, tag.c_str());
        }
        server_.ClearCallLog();
        User32Standin_Reset();
    }

    const char* driverPath_;
    Driver* driver_ = nullptr;
    Server& server_;
    std::FILE* out_;
    std::FILE* calls_;
    bool configured_ = false;
    bool mayHoldFlags_ = false;
    int32_t errorsSeen_ = 0;
    std::map<const void*, size_t> cells_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: trace_replay DRIVER CLIENT STANDIN OUT CALLS INPUT...\n");
        return 2;
    }
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    void* client = Open(argv[2]);
    if (client == nullptr) Die(std::string("cannot load the client library ") + argv[2]);
    void* standin = Open(argv[3]);
    if (standin == nullptr) Die(std::string("cannot load the stand-in ") + argv[3]);
    Server server(standin);
    server.SetLogging(1);
    std::FILE* out = std::fopen(argv[4], "wb");
    std::FILE* calls = std::fopen(argv[5], "wb");
    if (out == nullptr || calls == nullptr) Die("cannot write the results");
    Replay replay(argv[1], server, out, calls);
    std::vector<std::filesystem::path> inputs;
    for (int i = 6; i < argc; ++i) {
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& entry : std::filesystem::directory_iterator(argv[i])) inputs.push_back(entry.path());
        } else {
            inputs.push_back(argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        replay.Program(path.filename().string(), bytes);
    }
    std::fclose(out);
    std::fclose(calls);
    return 0;
}
