// One DCSSimulate step for 2,000 controllers (SP and OP bound, OP enabled),
// 5,000 active PV exports and 5,000 active PV imports, against a tag server
// that answers at once (mrx3p_stub.cpp). The baseline, in the same run, makes
// the very calls a step makes (same operations, same arguments, same order)
// from a bare loop: the ratio is the driver's own cost per transfer.
//
// A step in which no transfer fails must not allocate: the benchmark fails
// if the host's allocator sees a single call during the timed steps.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "catalogue.h"
#include "entry_points.h"
#include "host_case.h"
#include "iface_control.h"
#include "init_string_gen.h"
#include "link_state.h"
#include "mrx3p_control.h"
#include "mrx3p_stub.h"
#include "platform/mrx3p.h"
#include "user32_control.h"

namespace {

constexpr int32_t kControllers = 2000;
constexpr int32_t kExports = 5000;
constexpr int32_t kImports = 5000;
constexpr int32_t kTagsPerKind = 5000;

const int32_t kWritableKinds[] = {TAG_KIND_AI, TAG_KIND_DI, TAG_KIND_CALC};
// Every kind with a read operation; DCD tags have none.
const int32_t kReadableKinds[] = {TAG_KIND_AI, TAG_KIND_AO, TAG_KIND_DI, TAG_KIND_DO, TAG_KIND_CALC};

using RealOperation = double(MRX_CALL*)(int32_t, const char*, uint32_t*, double*, int32_t*);
using IntOperation = int32_t(MRX_CALL*)(int32_t, const char*, uint32_t*, int32_t*, int32_t*);

// One tag-server call as a step makes it, with its operation resolved once:
// exactly one of real and integer is set.
struct Call {
    RealOperation real;
    IntOperation integer;
    int32_t dataSet;
    const char* tag;
    uint32_t* cookie;
};

Call Resolve(bool write, int32_t kind, int32_t dataSet, const char* tag, uint32_t* cookie) {
    Call call{nullptr, nullptr, dataSet, tag, cookie};
    switch (kind) {
    case TAG_KIND_AI: call.real = write ? WriteAI : ReadAI; break;
    case TAG_KIND_AO: call.real = ReadAO; break;
    case TAG_KIND_CALC: call.real = write ? WriteCALC : ReadCALC; break;
    case TAG_KIND_DI: call.integer = write ? WriteDI : ReadDI; break;
    case TAG_KIND_DO: call.integer = ReadDO; break;
    default: break;
    }
    return call;
}

// The configured link the benchmarks share: the case, and the calls a step
// makes, taken from the bindings so that the baseline sees the same kinds.
struct Link {
    std::unique_ptr<bench::HostCase> hostCase;
    std::vector<Call> calls;
    std::string error;
};

const char* TextAt(const DCSValue* cells, int32_t column) {
    const char* text;
    std::memcpy(&text, cells[column].Bytes, sizeof text);
    return text;
}

int32_t IntAt(const DCSValue* cells, int32_t column) {
    int32_t value;
    std::memcpy(&value, cells[column].Bytes, sizeof value);
    return value;
}

Link& SharedLink() {
    static Link link;
    if (link.hostCase != nullptr || !link.error.empty()) {
        return link;
    }
    MrxStandin_Reset();
    const bench::InitString text = bench::MakeInitString(kTagsPerKind);
    MrxStandin_SetInitString(text.text.c_str());

    link.hostCase = std::make_unique<bench::HostCase>();
    bench::HostCase& c = *link.hostCase;
    for (int32_t row = 0; row < kControllers; ++row) {
        const int32_t tag = (row * 7) % kTagsPerKind;
        const std::string sp = bench::CatalogueName(TAG_KIND_AI, tag);
        const std::string op = bench::CatalogueName(kWritableKinds[row % 3], tag);
        c.AddController(bench::CatalogueDataSet(tag), sp, sp, op, op, bench::CatalogueName(TAG_KIND_DI, tag), true);
    }
    for (int32_t row = 0; row < kExports; ++row) {
        const int32_t tag = (row * 11) % kTagsPerKind;
        c.AddPVExport(bench::CatalogueDataSet(tag), bench::CatalogueName(kWritableKinds[row % 3], tag), row * 0.25);
    }
    for (int32_t row = 0; row < kImports; ++row) {
        const int32_t tag = (row * 13) % kTagsPerKind;
        c.AddPVImport(bench::CatalogueDataSet(tag), bench::CatalogueName(kReadableKinds[row % 5], tag), row % 2);
    }
    DCSLinkData* d = c.Data();
    if (DCSConfigure(d) != 1) {
        link.error = "DCSConfigure failed: the case does not bind";
        return link;
    }

    for (int32_t row = 0; row < d->CtrlCnt; ++row) {
        CtrlBinding& b = CtrlBindings[row];
        const DCSValue* cells = d->CtrlData[row].Values;
        if (b.SPSlot.Found != 1 || b.OPSlot.Found != 1 || d->CtrlData[row].OPEnabled != 1) {
            link.error = "a controller is not bound as the benchmark needs";
            return link;
        }
        link.calls.push_back(Resolve(false, b.SPSlot.Kind, IntAt(cells, 0), TextAt(cells, 1), CookieCell(&b.SPSlot)));
        link.calls.push_back(Resolve(false, b.OPSlot.Kind, IntAt(cells, 0), TextAt(cells, 3), CookieCell(&b.OPSlot)));
    }
    for (int32_t row = 0; row < d->PVCnt; ++row) {
        const DCSValue* cells = d->PVData[row].Values;
        TagSlot& slot = PVExportBindings[row];
        link.calls.push_back(Resolve(true, slot.Kind, IntAt(cells, 0), TextAt(cells, 1), CookieCell(&slot)));
    }
    for (int32_t row = 0; row < d->PVImportCnt; ++row) {
        const DCSValue* cells = d->PVImportData[row].Values;
        TagSlot& slot = PVImportBindings[row];
        link.calls.push_back(Resolve(false, slot.Kind, IntAt(cells, 0), TextAt(cells, 1), CookieCell(&slot)));
    }
    for (const Call& call : link.calls) {
        if ((call.real == nullptr) == (call.integer == nullptr)) {
            link.error = "a bound kind has no operation of its own";
            break;
        }
    }
    return link;
}

void Step(benchmark::State& state) {
    Link& link = SharedLink();
    if (!link.error.empty()) {
        state.SkipWithError(link.error.c_str());
        return;
    }
    DCSLinkData* d = link.hostCase->Data();
    const int64_t stubBefore = MrxStub_Calls();
    const int64_t allocationsBefore = IFaceStandin_AllocationCalls();
    if (DCSSimulate(d) != 1) {
        state.SkipWithError("a transfer failed in the step");
        return;
    }
    const int64_t callsPerStep = MrxStub_Calls() - stubBefore;
    if (callsPerStep != static_cast<int64_t>(link.calls.size())) {
        state.SkipWithError("the step did not make the calls the baseline makes (or the stub is not linked in)");
        return;
    }
    if (IFaceStandin_AllocationCalls() != allocationsBefore) {
        state.SkipWithError("a step without failures allocated");
        return;
    }

    int32_t failed = 0;
    for (auto _ : state) {
        failed += DCSSimulate(d) != 1;
    }
    const int64_t allocations = IFaceStandin_AllocationCalls() - allocationsBefore;
    if (failed != 0) {
        state.SkipWithError("a transfer failed in a timed step");
    } else if (allocations != 0) {
        state.SkipWithError("timed steps without failures allocated");
    }
    state.counters["calls_per_step"] = static_cast<double>(callsPerStep);
    state.counters["allocations_per_step"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}

// The step's calls from the tightest loop that makes them: every operation
// resolved beforehand, one branch on its value type, the value and status
// cells shared by all calls. Whatever a step costs beyond this is the
// driver's own work per transfer.
void BareCalls(benchmark::State& state) {
    Link& link = SharedLink();
    if (!link.error.empty()) {
        state.SkipWithError(link.error.c_str());
        return;
    }
    double real = 0.25;
    int32_t integer = 1;
    int32_t status = 0;
    for (auto _ : state) {
        for (const Call& call : link.calls) {
            if (call.real != nullptr) {
                call.real(call.dataSet, call.tag, call.cookie, &real, &status);
            } else {
                call.integer(call.dataSet, call.tag, call.cookie, &integer, &status);
            }
        }
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
    }
    state.counters["calls_per_step"] = static_cast<double>(link.calls.size());
}

bool Summary(const bench::RatioReporter& reporter) {
    const double step = reporter.MedianNs("simulate/step");
    const double bare = reporter.MedianNs("simulate/bare_calls");
    const size_t calls = SharedLink().calls.size();
    std::printf("DCSSimulate step against the same tag-server calls from a bare loop (median CPU time)\n");
    std::printf("  step %s, bare calls %s, ratio %.2f (goal < 1.5); %zu calls, %.1f ns per call in the step\n",
                bench::FormatNs(step).c_str(), bench::FormatNs(bare).c_str(), step / bare, calls,
                step / static_cast<double>(calls));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(0);
    benchmark::RegisterBenchmark("simulate/step", Step)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("simulate/bare_calls", BareCalls)->Unit(benchmark::kMicrosecond);
    const int status = bench::RunBenchmarks(argc, argv, Summary);
    Link& link = SharedLink();
    if (link.hostCase != nullptr) {
        DCSReset(link.hostCase->Data());
        link.hostCase.reset();
    }
    return status;
}
