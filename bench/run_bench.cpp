// What `dcs-host run` costs a step of the generated plant (plant_case.sh:
// 5,000 controllers, 5,000 PV exports, 5,000 PV imports, or PLANT_SIZE of
// each), against the driver's own step in the same run (median CPU time):
//  - the driver's step: DCSSimulate on the plant's rows against the stand-in
//    tag server, the driver loaded as dcs-host loads it;
//  - run's step: the step's events and failures, the PV exports moved, the
//    same DCSSimulate, the rows recorded, the terminal table (to /dev/null)
//    and every column of the CSV (to a file on local disk: the current
//    folder, or DCS_BENCH_DIR).
// run's step must cost at most three of the driver's. The first hundred
// steps, while the terminal table holds them to choose its columns, are
// taken before the clock starts.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench_support.h"
#include "case/case_file.h"
#include "case/row_names.h"
#include "commands/run_session.h"
#include "iface_control.h"
#include "user32_control.h"

namespace {

constexpr double kBudget = 3.0;  // run's step / the driver's step
constexpr int32_t kWarmSteps = 101;

const char kDriverStep[] = "run/plant_driver_step_standin";
const char kRunStep[] = "run/plant_run_step_with_csv";

struct Plant {
    std::filesystem::path dir;
    host::Case c;
    std::unique_ptr<host::Driver> driver;
    std::ofstream terminal{"/dev/null"};
    std::unique_ptr<host::RunReport> report;
    std::unique_ptr<host::RunSession> session;
    int32_t step = 0;
    std::string problem;
};

std::unique_ptr<Plant> MakePlant() {
    auto p = std::make_unique<Plant>();
    const char* base = std::getenv("DCS_BENCH_DIR");
    p->dir = std::filesystem::absolute(base != nullptr ? base : ".") / "run_bench.plant";
    const std::string command = "sh '" DCS_PLANT_SCRIPT "' '" + p->dir.string() + "' >/dev/null";
    if (std::system(command.c_str()) != 0) {
        p->problem = "cannot generate the plant in " + p->dir.string();
        return p;
    }
    try {
        p->c = host::ParseCaseFile((p->dir / "plant.toml").string());
        host::RunOptions options;
        options.driverPath = DCS_DRIVER_PATH;
        options.report.casePath = p->c.file;
        options.report.csvPath = (p->dir / "run.csv").string();
        p->driver = std::make_unique<host::Driver>(options.driverPath);
        p->report = std::make_unique<host::RunReport>(options.report, host::RowNamesOf(p->c), p->terminal);
        p->session = std::make_unique<host::RunSession>(p->c, *p->driver, *p->report, options);
        if (!p->session->Begin()) p->problem = "the plant does not configure";
        while (p->problem.empty() && p->step < kWarmSteps) {
            if (!p->session->Step(++p->step)) p->problem = "a step failed";
        }
    } catch (const std::exception& e) {
        p->problem = e.what();
    }
    return p;
}

Plant& SharedPlant() {
    static std::unique_ptr<Plant> plant = MakePlant();
    return *plant;
}

// Times `oneStep` (true: the step succeeded) on the shared plant.
template <typename OneStep>
void Steps(benchmark::State& state, OneStep oneStep) {
    Plant& p = SharedPlant();
    if (!p.problem.empty()) {
        state.SkipWithError(p.problem.c_str());
        return;
    }
    int32_t failed = 0;
    for (auto _ : state) failed += oneStep(p) ? 0 : 1;
    if (failed != 0) state.SkipWithError("a step failed");
}

void DriverStep(benchmark::State& state) {
    Steps(state, [](Plant& p) { return p.driver->Simulate(&p.session->Data()) == 1; });
}

void RunStep(benchmark::State& state) {
    Steps(state, [](Plant& p) { return p.session->Step(++p.step); });
}

bool Summary(const bench::RatioReporter& r) {
    const double driver = r.MedianNs(kDriverStep);
    const double run = r.MedianNs(kRunStep);
    const host::Case& c = SharedPlant().c;
    std::printf("A step of the generated plant (%zu controllers, %zu PV exports, %zu PV imports), median CPU time\n",
                c.controllers.size(), c.pvExports.size(), c.pvImports.size());
    std::printf("  the driver's step against the stand-in %s; run's step with the CSV %s; ratio %.2f (goal <= %.0f)\n",
                bench::FormatNs(driver).c_str(), bench::FormatNs(run).c_str(), run / driver, kBudget);
    return run / driver <= kBudget;
}

}  // namespace

int main(int argc, char** argv) {
    User32Standin_SetEcho(0);
    IFaceStandin_SetEcho(0);
    benchmark::RegisterBenchmark(kDriverStep, DriverStep)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(kRunStep, RunStep)->Unit(benchmark::kMillisecond);
    const int status = bench::RunBenchmarks(argc, argv, Summary);
    Plant& p = SharedPlant();
    if (p.session) p.session->End();
    p.session.reset();
    p.report.reset();  // the CSV was never committed: its temporary file goes
    std::error_code ignored;
    std::filesystem::remove_all(p.dir, ignored);
    return status;
}
