// DCSConfigure (followed by the DCSReset that undoes it) for a case of 500
// controllers, 2,000 PV exports and 2,000 PV imports against a catalogue of
// 6 x 5,000 tags, and for the same case doubled in rows and in tags. The
// baseline, in the same run, is the catalogue load alone on the same string:
// what is left over is the checking and binding of the rows. Both run on
// the stand-in's plain heap, as on a host's allocator; the configuration on
// the checking stand-in is measured beside them.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "catalogue.h"
#include "entry_points.h"
#include "host_case.h"
#include "iface_control.h"
#include "init_string_gen.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace {

struct CaseSize {
    const char* label;
    int32_t controllers;
    int32_t exports;
    int32_t imports;
    int32_t tagsPerKind;
};

const CaseSize kCases[] = {
    {"500c_2000e_2000i_6x5000", 500, 2000, 2000, 5000},
    {"1000c_4000e_4000i_6x10000", 1000, 4000, 4000, 10000},
};

std::string ConfigureName(const CaseSize& size) { return std::string("configure/") + size.label; }
std::string BaselineName(const CaseSize& size) { return std::string("catalogue_only/") + size.label; }
std::string CheckedName(const CaseSize& size) { return std::string("configure_checked_heap/") + size.label; }

void Configure(benchmark::State& state, const CaseSize* size, bool plainHeap) {
    const bench::InitString text = bench::MakeInitString(size->tagsPerKind);
    const bench::HeapMode heap(plainHeap);
    if (!heap.ok()) {
        state.SkipWithError("host blocks are live: the heap mode cannot change");
        return;
    }
    MrxStandin_Reset();
    MrxStandin_SetInitString(text.text.c_str());
    User32Standin_Reset();
    IFaceStandin_Reset();
    auto hostCase = bench::BuildBoundCase(size->controllers, size->exports, size->imports, size->tagsPerKind);
    DCSLinkData* d = hostCase->Data();
    for (auto _ : state) {
        if (DCSConfigure(d) != 1) {
            DCSReset(d);
            state.SkipWithError("DCSConfigure failed: the case does not bind");
            break;
        }
        DCSReset(d);
    }
    if (User32Standin_BoxCount() != 0 || IFaceStandin_ErrorMessageCount() != 0) {
        state.SkipWithError("the configuration showed messages: some row did not bind");
    }
    state.counters["rows"] = size->controllers + size->exports + size->imports;
}

void CatalogueOnly(benchmark::State& state, const CaseSize* size) {
    const bench::InitString text = bench::MakeInitString(size->tagsPerKind);
    const bench::HeapMode heap(true);
    if (!heap.ok()) {
        state.SkipWithError("host blocks are live: the heap mode cannot change");
        return;
    }
    MrxStandin_Reset();
    MrxStandin_SetInitString(text.text.c_str());
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadTagCatalogue());
        FreeTagCatalogue();
    }
}

bool Summary(const bench::RatioReporter& reporter) {
    std::printf("DCSConfigure + DCSReset against the catalogue load alone (median CPU time per pass)\n");
    double previous = 0.0;
    for (const CaseSize& size : kCases) {
        const double configure = reporter.MedianNs(ConfigureName(size));
        const double baseline = reporter.MedianNs(BaselineName(size));
        const double checked = reporter.MedianNs(CheckedName(size));
        std::printf("  %-28s configure %12s  catalogue only %12s  ratio %6.2f  on the checking stand-in %12s\n",
                    size.label, bench::FormatNs(configure).c_str(), bench::FormatNs(baseline).c_str(),
                    configure / baseline, bench::FormatNs(checked).c_str());
        if (previous > 0.0) {
            std::printf("  doubling rows and tags: configure x%.2f\n", configure / previous);
        }
        previous = configure;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(0);
    for (const CaseSize& size : kCases) {
        benchmark::RegisterBenchmark(ConfigureName(size).c_str(), Configure, &size, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(CheckedName(size).c_str(), Configure, &size, false)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(BaselineName(size).c_str(), CatalogueOnly, &size)->Unit(benchmark::kMillisecond);
    }
    return bench::RunBenchmarks(argc, argv, Summary);
}
