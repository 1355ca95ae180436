// The catalogue load: fetch, parse and release of initialization strings of
// 6 x 1,000, 6 x 10,000 and 6 x 30,000 tags, beside a baseline that only
// finds the separators in a copy of the same text. The headline load runs on
// the stand-in's plain heap, a thin forward to malloc and free as a host's
// allocator is; the same load on the checking stand-in (registry, headers,
// guards) is measured beside it, for what that bookkeeping costs. The closing report gives
// the load's cost relative to that scan at each size, and how the load grows
// from 6 x 10,000 to 6 x 30,000: three times the entries should cost about
// three times as much, and clearly more points at per-entry work that grows
// with the list (copying the list block on every append, say).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "catalogue.h"
#include "iface_control.h"
#include "init_string_gen.h"
#include "link_state.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace {

const int32_t kSizes[] = {1000, 10000, 30000};

const bench::InitString& TextFor(int32_t perKind) {
    static std::map<int32_t, bench::InitString> texts;
    auto found = texts.find(perKind);
    if (found == texts.end()) {
        found = texts.emplace(perKind, bench::MakeInitString(perKind)).first;
    }
    return found->second;
}

std::string LoadName(int32_t perKind) { return "catalogue/load/6x" + std::to_string(perKind); }
std::string CheckedLoadName(int32_t perKind) { return "catalogue/load_checked_heap/6x" + std::to_string(perKind); }
std::string ScanName(int32_t perKind) { return "catalogue/separator_scan/6x" + std::to_string(perKind); }

void SetCounters(benchmark::State& state, const bench::InitString& text) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.text.size()));
    // Entries per second, inverted: the time per entry.
    state.counters["time_per_entry"] = benchmark::Counter(
        static_cast<double>(text.entries), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

int32_t TotalCount() {
    int32_t total = 0;
    for (const TagList& list : TagCatalogue) {
        total += list.Count;
    }
    return total;
}

void Load(benchmark::State& state, int32_t perKind, bool plainHeap) {
    const bench::InitString& text = TextFor(perKind);
    const bench::HeapMode heap(plainHeap);
    if (!heap.ok()) {
        state.SkipWithError("host blocks are live: the heap mode cannot change");
        return;
    }
    MrxStandin_Reset();
    MrxStandin_SetInitString(text.text.c_str());
    // Outside the timing, a load that stores less than it was given is a
    // benchmark of the wrong thing.
    if (LoadTagCatalogue(nullptr) != 1 || TotalCount() != text.entries) {
        FreeTagCatalogue();
        state.SkipWithError("the generated string did not load completely");
        return;
    }
    FreeTagCatalogue();
    const int64_t liveBefore = IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC);
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadTagCatalogue(nullptr));
        FreeTagCatalogue();
    }
    if (IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC) != liveBefore) {
        state.SkipWithError("the load and release leaked host blocks");
    }
    SetCounters(state, text);
}

void SeparatorScan(benchmark::State& state, int32_t perKind) {
    const bench::InitString& text = TextFor(perKind);
    std::vector<char> copy(text.text.begin(), text.text.end());
    copy.push_back('\0');
    for (auto _ : state) {
        int64_t separators = 0;
        for (const char* p = copy.data(); *p != '\0'; ++p) {
            separators += *p == ',' || *p == ';' || *p == '\n';
        }
        benchmark::DoNotOptimize(separators);
    }
    SetCounters(state, text);
}

bool Summary(const bench::RatioReporter& reporter) {
    std::printf("Catalogue load against a separator scan of the same text (median CPU time per pass)\n");
    for (int32_t perKind : kSizes) {
        const double load = reporter.MedianNs(LoadName(perKind));
        const double checked = reporter.MedianNs(CheckedLoadName(perKind));
        const double scan = reporter.MedianNs(ScanName(perKind));
        std::printf(
            "  6 x %5d: load %12s  scan %12s  ratio %6.1f (goal <= 10; %.1f ns per entry)"
            "  on the checking stand-in %12s  ratio %6.1f\n",
            static_cast<int>(perKind), bench::FormatNs(load).c_str(), bench::FormatNs(scan).c_str(), load / scan,
            load / (6.0 * perKind), bench::FormatNs(checked).c_str(), checked / scan);
    }
    const double growth = reporter.MedianNs(LoadName(30000)) / reporter.MedianNs(LoadName(10000));
    const double scanGrowth = reporter.MedianNs(ScanName(30000)) / reporter.MedianNs(ScanName(10000));
    std::printf("  growth 6 x 10,000 -> 6 x 30,000: load x%.2f (limit 3.5), scan x%.2f\n", growth, scanGrowth);
    if (growth >= 3.5) {
        std::printf("  the load grows faster than its input: look for per-entry work that depends on list size\n");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(0);
    for (int32_t perKind : kSizes) {
        benchmark::RegisterBenchmark(LoadName(perKind).c_str(), Load, perKind, true)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(CheckedLoadName(perKind).c_str(), Load, perKind, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(ScanName(perKind).c_str(), SeparatorScan, perKind)->Unit(benchmark::kMillisecond);
    }
    return bench::RunBenchmarks(argc, argv, Summary);
}
