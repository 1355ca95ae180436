// Runs programs of host and server actions against the driver: whatever the
// order of the nine entry points and whatever the case, the server and the
// host's allocator do, the driver must not crash, must use the host's heap
// correctly, must call the tag server only as its state allows, must show at
// most one message per step, and must give back every block at the end.
//
// The input is decoded into a program of operations by life_cycle_program.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "entry_points.h"
#include "hostapi/dcs_link_data.h"
#include "iface_control.h"
#include "life_cycle_program.h"
#include "link_state.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace {

[[noreturn]] void Violation(const char* what, const char* operation) {
    std::fprintf(stderr, "life_cycle_fuzz: %s (after %s)\n", what, operation);
    std::fflush(stderr);
    std::abort();
}

using EntryPointFunction = int32_t (*)(DCSLinkData*);
const EntryPointFunction kEntryPoints[life_cycle::kEntryPointCount] = {
    DCSLoad, DCSConfigure, DCSInitialize, DCSSimulate, DCSStart, DCSStop, DCSTimeZero, DCSReset, DCSDestroy,
};

// Runs a program against the driver linked in and the stand-ins, and checks
// after each call what the driver did to the tag server and the user.
class Checker : public life_cycle::Runner {
public:
    void SetInitString(const char* text) override { MrxStandin_SetInitString(text); }
    void SetReportedLength(int32_t length) override { MrxStandin_SetReportedLength(length); }
    void SetInt(int32_t kind, int32_t dataSet, const char* name, int32_t value) override {
        MrxStandin_SetInt(kind, dataSet, name, value);
    }
    void SetDouble(int32_t kind, int32_t dataSet, const char* name, double value) override {
        MrxStandin_SetDouble(kind, dataSet, name, value);
    }
    void InjectStatus(int32_t operation, const char* tag, int32_t status, int32_t times) override {
        MrxStandin_InjectStatus(operation, tag, status, times);
    }
    void ClearInjections() override { MrxStandin_ClearInjections(); }

    bool MayEditRows() override { return LinkConfigured != 1; }
    bool MayEditFlags() override { return EnabledFlagBinding.Found == 0 && RunningFlagBinding.Found == 0; }

    int32_t Call(life_cycle::EntryPoint entry, DCSLinkData* d) override {
        configured_ = LinkConfigured == 1;
        callsBefore_ = MrxStandin_CallCount();
        boxesBefore_ = User32Standin_BoxCount();
        return kEntryPoints[entry](d);
    }

    void Called(life_cycle::EntryPoint entry, int32_t result, const caseblock::CaseBlock& block) override {
        const char* name = life_cycle::kEntryPointNames[entry];
        const bool runtime = entry != life_cycle::kLoad && entry != life_cycle::kConfigure &&
                             entry != life_cycle::kReset && entry != life_cycle::kDestroy;
        if (!runtime || !configured_) {
            CheckCallsOutsideALink(block, name);
        }
        if (entry == life_cycle::kSimulate && User32Standin_BoxCount() - boxesBefore_ > 1) {
            Violation("a step showed more than one message", name);
        }
        if (entry == life_cycle::kConfigure && (result == 1) != (LinkConfigured == 1)) {
            Violation("the configuration's result and the link's state disagree", name);
        }
        if (entry == life_cycle::kReset && LinkConfigured == 1) {
            Violation("the link is still configured after a reset", name);
        }
    }

private:
    // What the driver may ask of the tag server outside a configured link:
    // the link reset, the catalogue fetch and writes of the two flag tags.
    void CheckCallsOutsideALink(const caseblock::CaseBlock& block, const char* operation) const {
        const std::string enabled = block.GeneralText(GEN_ENABLED_FLAG);
        const std::string running = block.GeneralText(GEN_RUNNING_FLAG);
        for (int32_t i = callsBefore_; i < MrxStandin_CallCount(); ++i) {
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

    bool configured_ = false;
    int32_t callsBefore_ = 0;
    int32_t boxesBefore_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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

    Checker checker;
    life_cycle::Program program(data, size, checker);
    while (const char* operation = program.Next()) {
        if (IFaceStandin_DamagedBlocks() != 0) Violation("a block's header or guard was overwritten", operation);
        if (MrxStandin_CookieFaults() != 0) Violation("a wrong or changed cookie cell", operation);
        // The call log and the boxes are only needed per operation.
        MrxStandin_ClearCallLog();
        User32Standin_Reset();
    }

    IFaceStandin_FailAllocation(0, 0);
    DCSLinkData* d = &program.Case().Data();
    DCSReset(d);
    DCSDestroy(d);
    if (LinkConfigured == 1) Violation("the link is configured after the reset", "the end");
    if (IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC) != liveMalloc) Violation("malloc-family blocks held", "the end");
    if (IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW) != liveNew) Violation("new-family blocks held", "the end");
    return 0;
}
