// The whole-case check against DCSConfigure of the same case, in the same
// run: 2,000 controllers, 5,000 PV exports and 5,000 PV imports that all
// bind, against a catalogue of 6 x 30,000 tags. The check parses the
// string once through the driver's own parse (with its observer), builds
// its name index once and judges every row and lints the string; it must
// cost at most three configurations.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "diagnose/catalogue_parse.h"
#include "diagnose/lint.h"
#include "diagnose/row_check.h"
#include "entry_points.h"
#include "host_case.h"
#include "iface_control.h"
#include "init_string_gen.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace {

constexpr int32_t kControllers = 2000;
constexpr int32_t kExports = 5000;
constexpr int32_t kImports = 5000;
constexpr int32_t kTagsPerKind = 30000;
constexpr double kBudget = 3.0;  // check / configure

const char kConfigure[] = "configure/2000c_5000e_5000i_6x30000";
const char kCheck[] = "check/2000c_5000e_5000i_6x30000";

void Prepare() {
    static const bench::InitString text = bench::MakeInitString(kTagsPerKind);
    MrxStandin_Reset();
    MrxStandin_SetInitString(text.text.c_str());
    User32Standin_Reset();
    IFaceStandin_Reset();
}

void Configure(benchmark::State& state) {
    Prepare();
    auto hostCase = bench::BuildBoundCase(kControllers, kExports, kImports, kTagsPerKind);
    DCSLinkData* d = hostCase->Data();
    for (auto _ : state) {
        if (DCSConfigure(d) != 1) {
            state.SkipWithError("DCSConfigure failed: the case does not bind");
            break;
        }
        DCSReset(d);
    }
}

void Check(benchmark::State& state) {
    Prepare();
    auto hostCase = bench::BuildBoundCase(kControllers, kExports, kImports, kTagsPerKind);
    const DCSLinkData* d = hostCase->Data();
    const host::RowNames names;
    int32_t problems = 0;
    for (auto _ : state) {
        const host::CatalogueParse parse = host::ParseCatalogue();
        const host::CatalogueIndex index(parse);
        host::Diagnosis diagnosis;
        diagnosis.rows = host::CheckRows(*d, index, names);
        diagnosis.lint = host::LintInitString(parse);
        problems = 0;
        for (const host::RowDiagnosis& row : diagnosis.rows) {
            for (const host::TagDiagnosis& tag : row.tags) {
                problems += tag.status == host::Verdict::Problem && tag.code != "dcd-not-readable" ? 1 : 0;
            }
        }
        benchmark::DoNotOptimize(problems);
    }
    // Every row binds; only the PV imports on DCD tags are found, which
    // configure but could not be read in a step.
    if (problems != 0) state.SkipWithError("the check found binding problems in a case that binds");
}

bool Summary(const bench::RatioReporter& reporter) {
    const double configure = reporter.MedianNs(kConfigure);
    const double check = reporter.MedianNs(kCheck);
    const double ratio = check / configure;
    std::printf("check against DCSConfigure + DCSReset of the same case (median CPU time per pass)\n");
    std::printf("  configure %12s  check %12s  ratio %6.3f  (budget %.1f)\n", bench::FormatNs(configure).c_str(),
                bench::FormatNs(check).c_str(), ratio, kBudget);
    return ratio <= kBudget;
}

}  // namespace

int main(int argc, char** argv) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    MrxStandin_SetLogging(0);
    // One configuration takes seconds: single passes, and one repetition
    // unless the command line asks for more (--benchmark_repetitions=5 for
    // a median), so that the test command's smoke run stays short.
    benchmark::RegisterBenchmark(kConfigure, Configure)->Unit(benchmark::kMillisecond)->Iterations(1);
    benchmark::RegisterBenchmark(kCheck, Check)->Unit(benchmark::kMillisecond)->Iterations(1);
    static char oneRepetition[] = "--benchmark_repetitions=1";
    std::vector<char*> args = {argv[0], oneRepetition};
    args.insert(args.end(), argv + 1, argv + argc);
    return bench::RunBenchmarks(static_cast<int>(args.size()), args.data(), Summary);
}
