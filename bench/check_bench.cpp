// The whole-case check against DCSConfigure of the same case, in the same
// run: 2,000 controllers, 5,000 PV exports and 5,000 PV imports that all
// bind, against a catalogue of 6 x 30,000 tags. The check parses the
// string once through the driver's own parse (with its observer), builds
// its name index once and judges every row and lints the string; it must
// cost at most three configurations.
//
// And a plant of 5,000 controllers, 5,000 PV exports and 5,000 PV imports
// checked twice: every row bound, and every row misspelt (a dash dropped,
// letter case changed, a letter added), where each text gets its
// suggestions from the index built once. The misspelt plant must cost at
// most twice the bound one.

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "diagnose/catalogue_parse.h"
#include "diagnose/conflicts.h"
#include "diagnose/lint.h"
#include "diagnose/root_cause.h"
#include "diagnose/row_check.h"
#include "diagnose/suggest.h"
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
const char kPlantBound[] = "check/plant_5000c_5000e_5000i_bound";
const char kPlantUnknown[] = "check/plant_5000c_5000e_5000i_misspelt";
constexpr int32_t kPlantRows = 5000;
constexpr double kMisspeltBudget = 2.0;  // misspelt / bound

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
        const host::CatalogueIndex index(parse, *host::CodePage::Find(1252));
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

// The check of a whole case short of the dry run: parse, indexes, verdicts
// with suggestions, lint, root causes and conflicts. Returns the problems.
int32_t CheckOnce(const DCSLinkData& d) {
    const host::RowNames names;
    const host::CatalogueParse parse = host::ParseCatalogue();
    const host::CatalogueIndex index(parse, *host::CodePage::Find(1252));
    const host::SuggestionIndex suggestions(parse, *host::CodePage::Find(1252));
    host::Diagnosis diagnosis;
    diagnosis.rows = host::CheckRows(d, index, names, &suggestions);
    diagnosis.lint = host::LintInitString(parse);
    diagnosis.causes = host::FindRootCauses(parse, diagnosis.lint, diagnosis.rows);
    diagnosis.conflicts = host::FindConflicts(diagnosis.rows, *host::CodePage::Find(1252));
    int32_t problems = 0;
    for (const host::RowDiagnosis& row : diagnosis.rows) {
        for (const host::TagDiagnosis& tag : row.tags) {
            problems += tag.status == host::Verdict::Problem && tag.code != "dcd-not-readable" ? 1 : 0;
        }
    }
    return problems;
}

// A slip of the kind integrators make, different row by row.
std::string Misspelt(const std::string& name, int32_t row) {
    std::string text = name;
    switch (row % 3) {
    case 0: {
        const size_t dash = text.find('-');
        if (dash != std::string::npos) text.erase(dash, 1);
        break;
    }
    case 1:
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        break;
    default: text += "X"; break;
    }
    return text;
}

std::unique_ptr<bench::HostCase> PlantCase(bool misspelt) {
    static const int32_t kWritableKinds[] = {TAG_KIND_AI, TAG_KIND_DI, TAG_KIND_CALC};
    auto c = std::make_unique<bench::HostCase>();
    auto name = [&](int32_t kind, int32_t tag, int32_t row) {
        const std::string text = bench::CatalogueName(kind, tag);
        return misspelt ? Misspelt(text, row) : text;
    };
    for (int32_t row = 0; row < kPlantRows; ++row) {
        const int32_t tag = bench::Spread(row, 9973, kTagsPerKind);
        const std::string sp = name(TAG_KIND_AI, tag, row);
        const std::string op = name(kWritableKinds[row % 3], tag, row);
        c->AddController(bench::CatalogueDataSet(tag), sp, sp, op, op, name(TAG_KIND_DI, tag, row), true);
    }
    for (int32_t row = 0; row < kPlantRows; ++row) {
        const int32_t tag = bench::Spread(row, 7919, kTagsPerKind);
        c->AddPVExport(bench::CatalogueDataSet(tag), name(kWritableKinds[row % 3], tag, row), row * 0.5);
    }
    for (int32_t row = 0; row < kPlantRows; ++row) {
        const int32_t tag = bench::Spread(row, 7877, kTagsPerKind);
        c->AddPVImport(bench::CatalogueDataSet(tag), name(bench::kKinds[row % 6], tag, row), row % 2);
    }
    return c;
}

void CheckPlant(benchmark::State& state, bool misspelt) {
    Prepare();
    auto hostCase = PlantCase(misspelt);
    int32_t problems = 0;
    for (auto _ : state) {
        problems = CheckOnce(*hostCase->Data());
        benchmark::DoNotOptimize(problems);
    }
    if (misspelt && problems < 3 * kPlantRows) state.SkipWithError("the misspelt plant binds");
    if (!misspelt && problems != 0) state.SkipWithError("the bound plant has problems");
}

void PlantBound(benchmark::State& state) { CheckPlant(state, false); }
void PlantUnknown(benchmark::State& state) { CheckPlant(state, true); }

bool Summary(const bench::RatioReporter& reporter) {
    const double configure = reporter.MedianNs(kConfigure);
    const double check = reporter.MedianNs(kCheck);
    const double ratio = check / configure;
    std::printf("check against DCSConfigure + DCSReset of the same case (median CPU time per pass)\n");
    std::printf("  configure %12s  check %12s  ratio %6.3f  (budget %.1f)\n", bench::FormatNs(configure).c_str(),
                bench::FormatNs(check).c_str(), ratio, kBudget);
    const double bound = reporter.MedianNs(kPlantBound);
    const double misspelt = reporter.MedianNs(kPlantUnknown);
    const double plantRatio = misspelt / bound;
    std::printf("check of the misspelt plant against the bound plant (median CPU time per pass)\n");
    std::printf("  bound %12s  misspelt %12s  ratio %6.3f  (budget %.1f)\n", bench::FormatNs(bound).c_str(),
                bench::FormatNs(misspelt).c_str(), plantRatio, kMisspeltBudget);
    return ratio <= kBudget && plantRatio <= kMisspeltBudget;
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
    benchmark::RegisterBenchmark(kPlantBound, PlantBound)->Unit(benchmark::kMillisecond)->Iterations(1);
    benchmark::RegisterBenchmark(kPlantUnknown, PlantUnknown)->Unit(benchmark::kMillisecond)->Iterations(1);
    static char oneRepetition[] = "--benchmark_repetitions=1";
    std::vector<char*> args = {argv[0], oneRepetition};
    args.insert(args.end(), argv + 1, argv + argc);
    return bench::RunBenchmarks(static_cast<int>(args.size()), args.data(), Summary);
}
