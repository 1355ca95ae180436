// DCSConfigure (followed by the DCSReset that undoes it) on the cases of
// configure_cases.h. The baseline, in the same run, is the catalogue load
// alone on the same string: what is left over is the checking and binding
// of the rows. Both run on the stand-in's plain heap, as on a host's
// allocator; the configuration on the checking stand-in is measured beside
// them.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "catalogue.h"
#include "configure_cases.h"
#include "entry_points.h"

namespace {

using bench::CaseSize;
using bench::kConfigureCases;

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
    auto hostCase = bench::PrepareConfigure(*size, text);
    DCSLinkData* d = hostCase->Data();
    for (auto _ : state) {
        if (DCSConfigure(d) != 1) {
            DCSReset(d);
            state.SkipWithError("DCSConfigure failed: the case does not bind");
            break;
        }
        DCSReset(d);
    }
    if (!bench::ConfigureWasSilent()) {
        state.SkipWithError("the configuration showed messages: some row did not bind");
    }
    state.counters["rows"] = bench::RowsOf(*size);
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
        benchmark::DoNotOptimize(LoadTagCatalogue(nullptr));
        FreeTagCatalogue();
    }
}

bool Summary(const bench::RatioReporter& reporter) {
    std::printf("DCSConfigure + DCSReset against the catalogue load alone (median CPU time per pass)\n");
    double previous = 0.0;
    const CaseSize* before = nullptr;
    for (const CaseSize& size : kConfigureCases) {
        const double configure = reporter.MedianNs(ConfigureName(size));
        const double baseline = reporter.MedianNs(BaselineName(size));
        const double checked = reporter.MedianNs(CheckedName(size));
        const double indexKiB =
            static_cast<double>(bench::IndexBytesFor(bench::MakeInitString(size.tagsPerKind))) / 1024;
        std::printf(
            "  %-28s configure %12s  catalogue only %12s  ratio %6.2f  on the checking stand-in %12s  index %.0f KiB\n",
            size.label, bench::FormatNs(configure).c_str(), bench::FormatNs(baseline).c_str(), configure / baseline,
            bench::FormatNs(checked).c_str(), indexKiB);
        if (before != nullptr && previous > 0.0) {
            const double rows = static_cast<double>(bench::RowsOf(size)) / bench::RowsOf(*before);
            const double tags = static_cast<double>(size.tagsPerKind) / before->tagsPerKind;
            std::printf("  rows x%.2f and tags x%.2f: configure x%.2f\n", rows, tags, configure / previous);
        }
        previous = configure;
        before = &size;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(0);
    for (const CaseSize& size : kConfigureCases) {
        benchmark::RegisterBenchmark(ConfigureName(size).c_str(), Configure, &size, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(CheckedName(size).c_str(), Configure, &size, false)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(BaselineName(size).c_str(), CatalogueOnly, &size)->Unit(benchmark::kMillisecond);
    }
    return bench::RunBenchmarks(argc, argv, Summary);
}
