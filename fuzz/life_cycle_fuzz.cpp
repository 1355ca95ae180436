// Runs programs of host and server actions against the driver: whatever the
// order of the nine entry points and whatever the case, the server and the
// host's allocator do, the driver must not crash, must use the host's heap
// correctly, must call the tag server only as its state allows, must show at
// most one message per step, and must give back every block at the end.
//
// The input is decoded into operations, one after the other, each led by a
// byte that chooses it (see Operation). Numbers, texts and choices are taken
// from the bytes that follow; when the bytes run out the program ends.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "entry_points.h"
#include "hostapi/dcs_link_data.h"
#include "iface_control.h"
#include "link_state.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace {

constexpr int32_t kMaxRows = 6;
constexpr size_t kMaxOperations = 64;

// Tag names the case and the server draw from, so that rows, catalogue and
// value store meet often enough to bind and transfer.
const char* const kTagNames[] = {"T0", "T1", "T2", "T3", "EN", "RUN", "PV", "MODE"};
const char* const kSections[] = {"*AI*", "*AO*", "*DI*", "*DO*", "*DCD*", "*CALC*"};
const int32_t kServerKinds[] = {MRX_KIND_AI, MRX_KIND_AO, MRX_KIND_DI, MRX_KIND_DO, MRX_KIND_CALC};
const int32_t kOperations[] = {MRX_OP_READ_AI,  MRX_OP_WRITE_AI, MRX_OP_READ_AO,   MRX_OP_READ_DI,
                               MRX_OP_WRITE_DI, MRX_OP_READ_DO,  MRX_OP_READ_CALC, MRX_OP_WRITE_CALC};

[[noreturn]] void Violation(const char* what, const char* operation) {
    std::fprintf(stderr, "life_cycle_fuzz: %s (after %s)\n", what, operation);
    std::fflush(stderr);
    std::abort();
}

// The host's side of the record: rows and texts it owns, kept for the life
// of one program. Row storage is always kMaxRows long so that the counts can
// grow and shrink freely without the rows moving.
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

    // A text of the case: absent, empty, a known tag name, or a long one.
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

    // GenData is the driver's block, there only after a load; its texts
    // are the host's.
    void SetGeneral(FuzzedDataProvider& in) {
        if (d.GenData == nullptr) return;
        StoreInt(&d.GenData[0], DataSet(in));
        StoreText(&d.GenData[1], Text(in));
        StoreText(&d.GenData[2], Text(in));
    }

    void Resize(FuzzedDataProvider& in) {
        // The record is packed: its counts are assigned, never pointed at.
        const int32_t count = in.ConsumeIntegralInRange<int32_t>(0, kMaxRows);
        switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: d.CtrlCnt = count; break;
        case 1: d.PVCnt = count; break;
        default: d.PVImportCnt = count; break;
        }
    }

    // The flag tag texts, as the driver reads them when it writes a flag.
    std::string FlagText(int32_t field) const {
        if (d.GenData == nullptr) return std::string();
        const char* text = nullptr;
        std::memcpy(&text, d.GenData[field].Bytes, sizeof text);
        return text != nullptr ? text : "";
    }

private:
    static int32_t DataSet(FuzzedDataProvider& in) {
        return in.ConsumeIntegralInRange<int>(0, 3) != 0 ? 1 : in.ConsumeIntegralInRange<int32_t>(-1, 3);
    }
    // Mostly 0 or 1, sometimes any 16-bit value: only exactly 1 counts.
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
    std::deque<std::string> texts_;  // a deque keeps each text where it is
};

// Every tag name of the pool in every list, so that rows bind often.
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

// An initialization string: the full catalogue, or entries of the pool
// with their right number of fields, with a few bytes of noise; and now and
// then a length the server reports apart from the text.
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
    MrxStandin_SetInitString(text.c_str());
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        MrxStandin_SetReportedLength(in.ConsumeIntegralInRange<int32_t>(-2, static_cast<int32_t>(text.size()) + 64));
    }
}

void SetTagValue(FuzzedDataProvider& in) {
    const int32_t kind = in.PickValueInArray(kServerKinds);
    const int32_t dataSet = in.ConsumeIntegralInRange<int32_t>(0, 2);
    const char* name = in.PickValueInArray(kTagNames);
    if (kind == MRX_KIND_DI || kind == MRX_KIND_DO) {
        MrxStandin_SetInt(kind, dataSet, name, in.ConsumeIntegral<int32_t>());
    } else {
        MrxStandin_SetDouble(kind, dataSet, name, in.ConsumeFloatingPoint<double>());
    }
}

void InjectStatus(FuzzedDataProvider& in) {
    const int32_t operation = in.PickValueInArray(kOperations);
    const char* tag = in.ConsumeBool() ? nullptr : in.PickValueInArray(kTagNames);
    int32_t status = in.ConsumeIntegral<int32_t>();
    status = status == 0 ? 1 : status;
    MrxStandin_InjectStatus(operation, tag, status, in.ConsumeIntegralInRange<int32_t>(-1, 3));
}

// What the driver may ask of the tag server outside a configured link: the
// link reset, the catalogue fetch and writes of the two flag tags.
void CheckCallsOutsideALink(int32_t from, const Host& host, const char* operation) {
    const std::string enabled = host.FlagText(1);
    const std::string running = host.FlagText(2);
    for (int32_t i = from; i < MrxStandin_CallCount(); ++i) {
        const MrxCall* call = MrxStandin_Call(i);
        switch (call->operation) {
        case MRX_OP_GET_INIT_STRING_LENGTH:
        case MRX_OP_GET_INIT_STRING:
        case MRX_OP_RESET_LINK: continue;
        case MRX_OP_WRITE_DI:
            if (call->tag == enabled || call->tag == running) continue;
            Violation("a flag write to a tag that is no flag tag", operation);
        default: Violation("a tag transfer outside a configured link", operation);
        }
    }
}

enum Operation : uint8_t {
    kSetInitString,
    kSetCase,
    kSetGeneral,
    kResize,
    kSetTagValue,
    kInjectStatus,
    kClearInjections,
    kFailAllocation,
    kStopFailing,
    kCallEntryPoint,
    kOperationCount,
};

using EntryPoint = int32_t (*)(DCSLinkData*);
struct Entry {
    const char* name;
    EntryPoint call;
};
const Entry kEntryPoints[] = {
    {"DCSLoad", DCSLoad},         {"DCSConfigure", DCSConfigure}, {"DCSInitialize", DCSInitialize},
    {"DCSSimulate", DCSSimulate}, {"DCSStart", DCSStart},         {"DCSStop", DCSStop},
    {"DCSTimeZero", DCSTimeZero}, {"DCSReset", DCSReset},         {"DCSDestroy", DCSDestroy},
};

// Calls one entry point and checks what it did to the tag server and the
// user. Returns the name it called, for the messages of later checks.
const char* CallEntryPoint(FuzzedDataProvider& in, Host& host) {
    const Entry& entry = in.PickValueInArray(kEntryPoints);
    if (entry.call == DCSLoad && host.loaded) {
        return "DCSLoad skipped";  // the host never loads a loaded record
    }
    const bool configured = LinkConfigured == 1;
    const int32_t callsBefore = MrxStandin_CallCount();
    const int32_t boxesBefore = User32Standin_BoxCount();
    const int32_t result = entry.call(&host.d);

    if (entry.call == DCSLoad) {
        host.loaded = true;
        host.SetGeneral(in);
    } else if (entry.call == DCSDestroy) {
        host.loaded = false;
    }
    const bool runtime =
        entry.call != DCSLoad && entry.call != DCSConfigure && entry.call != DCSReset && entry.call != DCSDestroy;
    if (!runtime || !configured) {
        CheckCallsOutsideALink(callsBefore, host, entry.name);
    }
    if (entry.call == DCSSimulate && User32Standin_BoxCount() - boxesBefore > 1) {
        Violation("a step showed more than one message", entry.name);
    }
    if (entry.call == DCSConfigure && (result == 1) != (LinkConfigured == 1)) {
        Violation("the configuration's result and the link's state disagree", entry.name);
    }
    if (entry.call == DCSReset && LinkConfigured == 1) {
        Violation("the link is still configured after a reset", entry.name);
    }
    return entry.name;
}

bool FlagsUnbound() { return EnabledFlagBinding.Found == 0 && RunningFlagBinding.Found == 0; }

const char* Run(FuzzedDataProvider& in, Host& host, uint8_t choice) {
    switch (choice % kOperationCount) {
    case kSetInitString: SetInitString(in); return "set the initialization string";
    // Tag texts are edited only where the driver holds no cookie for them:
    // a link's rows outside a configured link, the flag texts while no flag
    // binding stands. The driver passes the row's current text with the
    // cookie bound for the text at configuration, and a flag binding keeps
    // its cookie after a reset, so an edit in between makes it hand the
    // server a cookie of another tag (left as it is: see the report).
    case kSetCase:
        if (LinkConfigured == 1) return "set the case skipped";
        host.SetCase(in, FlagsUnbound());
        return "set the case";
    case kSetGeneral:
        if (!FlagsUnbound()) return "set the general data skipped";
        host.SetGeneral(in);
        return "set the general data";
    case kResize: host.Resize(in); return "change a row count";
    case kSetTagValue: SetTagValue(in); return "set a tag value";
    case kInjectStatus: InjectStatus(in); return "inject a status";
    case kClearInjections: MrxStandin_ClearInjections(); return "clear the injections";
    case kFailAllocation:
        IFaceStandin_FailAllocation(in.ConsumeIntegralInRange<int64_t>(1, 40), in.ConsumeBool() ? 1 : 0);
        return "plan an allocation failure";
    case kStopFailing: IFaceStandin_FailAllocation(0, 0); return "stop allocation failures";
    default: return CallEntryPoint(in, host);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    User32Standin_Reset();
    IFaceStandin_Reset();
    MrxStandin_Reset();
    // The flag bindings outlive a configuration by design; a program starts
    // from a freshly loaded library.
    EnabledFlagBinding = {};
    RunningFlagBinding = {};
    MrxStandin_ForgetHandles();
    const int64_t liveMalloc = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
    const int64_t liveNew = IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW);

    Host host;
    for (size_t n = 0; n < kMaxOperations && in.remaining_bytes() > 0; ++n) {
        const char* operation = Run(in, host, in.ConsumeIntegral<uint8_t>());
        if (IFaceStandin_DamagedBlocks() != 0) Violation("a block's header or guard was overwritten", operation);
        if (MrxStandin_CookieFaults() != 0) Violation("a wrong or changed cookie cell", operation);
        // The call log and the boxes are only needed per operation.
        MrxStandin_ClearCallLog();
        User32Standin_Reset();
    }

    IFaceStandin_FailAllocation(0, 0);
    DCSReset(&host.d);
    DCSDestroy(&host.d);
    if (LinkConfigured == 1) Violation("the link is configured after the reset", "the end");
    if (IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC) != liveMalloc) Violation("malloc-family blocks held", "the end");
    if (IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW) != liveNew) Violation("new-family blocks held", "the end");
    return 0;
}
