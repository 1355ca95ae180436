// DCSConfigure (with the DCSReset that undoes it) against the catalogue load
// alone, on configure_bench's cases and heap, for builds that have no Google
// Benchmark: this system has no 32-bit build of it, and the host simulator
// loads the driver as a 32-bit library. Each figure is the median CPU time
// per pass over five repetitions, each of as many passes as fill about a
// quarter of a second. Exits 1 when a case does not configure silently.

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench_heap.h"
#include "catalogue.h"
#include "configure_cases.h"
#include "entry_points.h"

namespace {

constexpr int kRepetitions = 5;
constexpr double kRepetitionNs = 0.25e9;

double CpuNs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

template <typename Pass>
double MedianNsPerPass(Pass pass) {
    double start = CpuNs();
    pass();  // also warms the caches and the heap
    const double first = CpuNs() - start;
    const int passes = std::max(1, static_cast<int>(kRepetitionNs / std::max(first, 1.0)));
    std::vector<double> perPass;
    for (int repetition = 0; repetition < kRepetitions; ++repetition) {
        start = CpuNs();
        for (int i = 0; i < passes; ++i) {
            pass();
        }
        perPass.push_back((CpuNs() - start) / passes);
    }
    std::sort(perPass.begin(), perPass.end());
    return perPass[kRepetitions / 2];
}

}  // namespace

int main() {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(0);
    std::printf("DCSConfigure + DCSReset against the catalogue load alone (median CPU time per pass, %d-bit)\n",
                static_cast<int>(sizeof(void*) * 8));
    int status = 0;
    for (const bench::CaseSize& size : bench::kConfigureCases) {
        const bench::InitString text = bench::MakeInitString(size.tagsPerKind);
        const bench::HeapMode heap(true);
        if (!heap.ok()) {
            std::fprintf(stderr, "host blocks are live: the heap mode cannot change\n");
            return 1;
        }
        auto hostCase = bench::PrepareConfigure(size, text);
        DCSLinkData* d = hostCase->Data();
        bool configured = true;
        const double configure = MedianNsPerPass([&] {
            configured = DCSConfigure(d) == 1 && configured;
            DCSReset(d);
        });
        const double catalogue = MedianNsPerPass([] {
            LoadTagCatalogue(nullptr);
            FreeTagCatalogue();
        });
        if (!configured || !bench::ConfigureWasSilent()) {
            std::fprintf(stderr, "%s: the case did not configure silently\n", size.label);
            status = 1;
        }
        const double indexKiB = static_cast<double>(bench::IndexBytesFor(text)) / 1024;
        std::printf("  %-28s configure %12s  catalogue only %12s  ratio %6.2f  index %.0f KiB\n", size.label,
                    bench::FormatNs(configure).c_str(), bench::FormatNs(catalogue).c_str(), configure / catalogue,
                    indexKiB);
    }
    return status;
}
