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
// The programs are decoded as the fuzzer decodes them, but only from what a
// host can see: the driver's internal state is not at hand here, so the
// host tracks the link's state from the results, and keeps off the tag
// texts once a configuration may have bound them.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "entry_points.h"
#include "hostapi/dcs_link_data.h"
#include "iface_control.h"
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

const char* const kEntryNames[] = {"DCSLoad", "DCSConfigure", "DCSInitialize", "DCSSimulate", "DCSStart",
                                   "DCSStop", "DCSTimeZero",  "DCSReset",      "DCSDestroy"};

struct Driver {
    void* library = nullptr;
    DCSEntryPoint entry[9] = {};

    explicit Driver(const char* path) {
        library = Open(path);
        if (library == nullptr) Die(std::string("cannot load the driver ") + path);
#if defined(_WIN32)
        CaptureMessageBoxes(static_cast<HMODULE>(library));
#endif
        for (int i = 0; i < 9; ++i) entry[i] = Need<DCSEntryPoint>(library, kEntryNames[i]);
    }
    ~Driver() { Close(library); }
};

constexpr int32_t kMaxRows = 6;
constexpr size_t kMaxOperations = 64;
const char* const kTagNames[] = {"T0", "T1", "T2", "T3", "EN", "RUN", "PV", "MODE"};
const char* const kSections[] = {"*AI*", "*AO*", "*DI*", "*DO*", "*DCD*", "*CALC*"};
const int32_t kServerKinds[] = {MRX_KIND_AI, MRX_KIND_AO, MRX_KIND_DI, MRX_KIND_DO, MRX_KIND_CALC};
const int32_t kOperations[] = {MRX_OP_READ_AI,  MRX_OP_WRITE_AI, MRX_OP_READ_AO,   MRX_OP_READ_DI,
                               MRX_OP_WRITE_DI, MRX_OP_READ_DO,  MRX_OP_READ_CALC, MRX_OP_WRITE_CALC};

// The host's record and the texts it owns (as in the fuzzer).
class Host {
public:
    DCSLinkData d{};
    bool loaded = false;

    Host() {
        for (int32_t i = 0; i < kMaxRows; ++i) {
            ctrlCells_[i].resize(6);
            pvCells_[i].resize(2);
            importCells_[i].resize(3);
            ctrl_[i].Values = ctrlCells_[i].data();
            pv_[i].Values = pvCells_[i].data();
            imports_[i].Values = importCells_[i].data();
        }
        d.CtrlData = ctrl_;
        d.PVData = pv_;
        d.PVImportData = imports_;
    }
    const char* Text(FuzzedDataProvider& in) {
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: return nullptr;
        case 1: return Keep("");
        case 2: return Keep(std::string(200 + in.ConsumeIntegralInRange<size_t>(0, 100), 'L'));
        case 3: return Keep(in.ConsumeRandomLengthString(80));
        default: return Keep(in.PickValueInArray(kTagNames));
        }
    }
    void SetCase(FuzzedDataProvider& in, bool withGeneral) {
        d.CtrlCnt = in.ConsumeIntegralInRange<int32_t>(0, kMaxRows);
        d.PVCnt = in.ConsumeIntegralInRange<int32_t>(0, kMaxRows);
        d.PVImportCnt = in.ConsumeIntegralInRange<int32_t>(0, kMaxRows);
        for (int32_t i = 0; i < kMaxRows; ++i) {
            StoreInt(&ctrlCells_[i][0], DataSet(in));
            for (size_t column = 1; column < 6; ++column) StoreText(&ctrlCells_[i][column], Text(in));
            ctrl_[i].OPEnabled = Flag(in);
            ctrl_[i].Mode = in.ConsumeFloatingPoint<double>();
            ctrl_[i].SP = in.ConsumeFloatingPoint<double>();
            ctrl_[i].OP = in.ConsumeFloatingPoint<double>();
            StoreInt(&pvCells_[i][0], DataSet(in));
            StoreText(&pvCells_[i][1], Text(in));
            pv_[i].Active = Flag(in);
            pv_[i].Value = in.ConsumeFloatingPoint<double>();
            StoreInt(&importCells_[i][0], DataSet(in));
            StoreText(&importCells_[i][1], Text(in));
            StoreInt(&importCells_[i][2], in.ConsumeBool() ? in.ConsumeIntegral<int32_t>() : in.ConsumeBool());
            imports_[i].Active = Flag(in);
        }
        if (withGeneral) SetGeneral(in);
    }
    void SetGeneral(FuzzedDataProvider& in) {
        if (d.GenData == nullptr) return;
        StoreInt(&d.GenData[0], DataSet(in));
        StoreText(&d.GenData[1], Text(in));
        StoreText(&d.GenData[2], Text(in));
    }
    void Resize(FuzzedDataProvider& in) {
        const int32_t count = in.ConsumeIntegralInRange<int32_t>(0, kMaxRows);
        switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: d.CtrlCnt = count; break;
        case 1: d.PVCnt = count; break;
        default: d.PVImportCnt = count; break;
        }
    }

private:
    static int32_t DataSet(FuzzedDataProvider& in) {
        return in.ConsumeIntegralInRange<int>(0, 3) != 0 ? 1 : in.ConsumeIntegralInRange<int32_t>(-1, 3);
    }
    static int16_t Flag(FuzzedDataProvider& in) {
        return in.ConsumeBool() ? static_cast<int16_t>(in.ConsumeBool()) : in.ConsumeIntegral<int16_t>();
    }
    const char* Keep(std::string text) {
        texts_.push_back(std::move(text));
        return texts_.back().c_str();
    }
    static void StoreInt(DCSValue* cell, int32_t value) { std::memcpy(cell->Bytes, &value, sizeof value); }
    static void StoreText(DCSValue* cell, const char* text) { std::memcpy(cell->Bytes, &text, sizeof text); }

    DCSCtrlRow ctrl_[kMaxRows]{};
    DCSPVRow pv_[kMaxRows]{};
    DCSPVRow imports_[kMaxRows]{};
    std::vector<DCSValue> ctrlCells_[kMaxRows];
    std::vector<DCSValue> pvCells_[kMaxRows];
    std::vector<DCSValue> importCells_[kMaxRows];
    std::deque<std::string> texts_;
};

std::string FullCatalogue() {
    std::string text;
    for (const char* section : kSections) {
        const bool analog = std::strcmp(section, "*AI*") == 0 || std::strcmp(section, "*AO*") == 0;
        const bool dcd = std::strcmp(section, "*DCD*") == 0;
        text += std::string(section) + "\n";
        for (const char* name : kTagNames) {
            text += std::string(name) + ",-,1";
            for (int32_t i = 0; i < (analog ? 2 : dcd ? 17 : 0); ++i) text += ",0";
            text += "\n";
        }
    }
    return text;
}

class Replay {
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
        FuzzedDataProvider in(bytes.data(), bytes.size());
        Host host;
        configured_ = false;
        mayHoldFlags_ = false;
        for (size_t n = 0; n < kMaxOperations && in.remaining_bytes() > 0; ++n) {
            Run(in, host, driver, in.ConsumeIntegral<uint8_t>());
            Observe();
        }
        IFaceStandin_FailAllocation(0, 0);
        Call(driver, host, 7);
        Call(driver, host, 8);
        Observe();
        std::fprintf(out_, "cookie faults %d\n", static_cast<int>(server_.CookieFaults()));
    }

private:
    void Call(Driver& driver, Host& host, int index) {
        const int32_t result = driver.entry[index](&host.d);
        // DCSInitialize and the others return nothing the host may rely on.
        const bool meaningful = index == 0 || index == 1 || index == 3 || index == 8;
        std::fprintf(out_, "%s -> %d\n", kEntryNames[index], meaningful ? static_cast<int>(result) : 0);
        if (index == 1) {
            // Cells are numbered within one configuration: the binding
            // tables, and so the cells' addresses, are made anew by each.
            cells_.clear();
            configured_ = result == 1;
            mayHoldFlags_ = true;
        } else if (index == 7) {
            configured_ = false;
        }
    }

    void Run(FuzzedDataProvider& in, Host& host, Driver& driver, uint8_t choice) {
        switch (choice % 10) {
        case 0: SetInitString(in); break;
        case 1:
            if (!configured_) host.SetCase(in, !mayHoldFlags_);
            break;
        case 2:
            if (!mayHoldFlags_) host.SetGeneral(in);
            break;
        case 3: host.Resize(in); break;
        case 4: {
            const int32_t kind = in.PickValueInArray(kServerKinds);
            const int32_t dataSet = in.ConsumeIntegralInRange<int32_t>(0, 2);
            const char* tag = in.PickValueInArray(kTagNames);
            if (kind == MRX_KIND_DI || kind == MRX_KIND_DO) {
                server_.SetInt(kind, dataSet, tag, in.ConsumeIntegral<int32_t>());
            } else {
                server_.SetDouble(kind, dataSet, tag, in.ConsumeFloatingPoint<double>());
            }
            break;
        }
        case 5: {
            const int32_t operation = in.PickValueInArray(kOperations);
            const char* tag = in.ConsumeBool() ? nullptr : in.PickValueInArray(kTagNames);
            int32_t status = in.ConsumeIntegral<int32_t>();
            status = status == 0 ? 1 : status;
            server_.InjectStatus(operation, tag, status, in.ConsumeIntegralInRange<int32_t>(-1, 3));
            break;
        }
        case 6: server_.ClearInjections(); break;
        case 7: IFaceStandin_FailAllocation(in.ConsumeIntegralInRange<int64_t>(1, 40), in.ConsumeBool() ? 1 : 0); break;
        case 8: IFaceStandin_FailAllocation(0, 0); break;
        default: {
            const int index = in.ConsumeIntegralInRange<int>(0, 8);
            if (index == 0 && host.loaded) break;
            Call(driver, host, index);
            if (index == 0) {
                host.loaded = true;
                host.SetGeneral(in);
            } else if (index == 8) {
                host.loaded = false;
            }
            break;
        }
        }
    }

    void SetInitString(FuzzedDataProvider& in) {
        std::string text;
        if (in.ConsumeBool()) {
            text = FullCatalogue();
        } else {
            const size_t entries = in.ConsumeIntegralInRange<size_t>(0, 24);
            for (size_t i = 0; i < entries; ++i) {
                switch (in.ConsumeIntegralInRange<int>(0, 5)) {
                case 0: text += in.PickValueInArray(kSections); break;
                case 1: text += in.ConsumeRandomLengthString(16); break;
                case 2: text += std::string(in.PickValueInArray(kTagNames)) + ",-,1,0,100"; break;
                default:
                    text += std::string(in.PickValueInArray(kTagNames)) + ",-," +
                            std::to_string(in.ConsumeIntegralInRange<int32_t>(0, 2));
                    break;
                }
                text += in.ConsumeBool() ? "\n" : ",";
            }
        }
        server_.SetInitString(text.c_str());
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
            server_.SetReportedLength(in.ConsumeIntegralInRange<int32_t>(-2, static_cast<int32_t>(text.size()) + 64));
        }
    }

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
