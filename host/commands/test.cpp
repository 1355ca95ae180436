// dcs-host test CASE|FOLDER...: every case's link held to its [[expect]]
// tables. Exit statuses: 0 every expectation passed, 1 one failed, 2 a case
// (or the driver, or an output) could not be used; the other cases are
// still tested.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "case/load_case.h"
#include "commands/command.h"
#include "commands/commands.h"
#include "diagnose/case_test.h"
#include "link/session.h"
#include "os/os.h"
#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/test_report.h"
#include "report/trend_compare.h"
#include "run_session.h"

namespace host {

namespace {

namespace fs = std::filesystem;

// The case files a path stands for: itself, or every .toml file under a
// folder, in name order so that the report reads alike on every system.
std::vector<std::string> CaseFilesOf(const std::string& path) {
    std::error_code error;
    const fs::path p = os::FsPath(path);
    if (!fs::is_directory(p, error)) return {path};
    std::vector<std::string> files;
    for (fs::recursive_directory_iterator it(p, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && it->path().extension() == ".toml") {
            files.push_back(os::GenericUtf8(it->path()));
        }
    }
    if (error) throw std::runtime_error("cannot read the folder \"" + path + "\": " + error.message());
    std::sort(files.begin(), files.end());
    if (files.empty()) throw std::runtime_error("the folder \"" + path + "\" holds no case file (*.toml)");
    return files;
}

struct LoadedCase {
    CaseOutcome outcome;
    std::unique_ptr<Case> c;  // none when it could not be read
};

LoadedCase Load(const std::string& file) {
    LoadedCase loaded;
    loaded.outcome.file = file;
    try {
        auto c = std::make_unique<Case>(LoadCase(file));
        for (const CaseWarning& warning : c->warnings) os::Write(stderr, warning.text + "\n");
        loaded.c = std::move(c);
    } catch (const std::exception& e) {
        loaded.outcome.error = e.what();
    }
    return loaded;
}

// The case's reference runs, each read before the link runs, so that one
// that cannot be used stops the case before it starts.
std::vector<std::unique_ptr<TrendCompare>> ReferencesOf(const Case& c) {
    std::vector<std::unique_ptr<TrendCompare>> compares;
    for (const Expectation& e : c.expectations) {
        if (e.subject != ExpectSubject::Reference) continue;
        try {
            compares.push_back(std::make_unique<TrendCompare>(
                CompareOptions{e.reference, e.tolerance, e.relTolerance, e.timeTolerance}, RowNamesOf(c)));
        } catch (const CaseError&) {
            throw;  // placed in the reference file itself
        } catch (const std::exception& error) {
            throw CaseError(Located(e.whatAt, error.what()));
        }
    }
    return compares;
}

// Runs the case and holds it to its expectations, the reference runs
// among them compared row by row as the steps are taken.
CaseTestRun TestCase(Driver& driver, const Case& c) {
    std::vector<std::unique_ptr<TrendCompare>> compares = ReferencesOf(c);
    StepRecord record;
    const RowsTaken rowsTaken = [&](const Link& link, int32_t step, bool ok) {
        SampleRows(link, step, record);
        record.ok = ok;
        for (const auto& compare : compares) compare->Step(record);
    };
    PrepareServer(c);
    StopCallLog();
    CaseTestRun run =
        RunCaseTest(driver, c, c.steps.value_or(kDefaultSteps), compares.empty() ? RowsTaken{} : rowsTaken);
    size_t next = 0;
    for (ExpectationResult& r : run.results) {
        if (r.expectation->subject != ExpectSubject::Reference) continue;
        const TrendCompare::Verdict verdict = compares[next++]->OneLine();
        r.passed = !verdict.outside;
        r.looks = static_cast<int32_t>(verdict.rows);
        r.failedLooks = static_cast<int32_t>(verdict.rowsOutside);
        // Where it failed first, else the last step it was looked at.
        const int64_t step = verdict.step >= 0 ? verdict.step : verdict.outside ? -1 : verdict.lastStep;
        r.moment = step >= 0 ? "step " + std::to_string(step) : "the end of the run";
        if (r.failedLooks > 1) r.moment += " (and " + std::to_string(r.failedLooks - 1) + " more)";
        r.actual = verdict.text;
        r.seconds = run.seconds;
    }
    return run;
}

std::function<int()> DeclareTest(CLI::App& command) {
    auto options = std::make_shared<TestOptions>();
    command.add_option("CASE", options->paths, "case files (TOML), or folders holding them (searched for *.toml)")
        ->required();
    command.add_option("--junit", options->junitPath, "write the results as JUnit XML to this file, for CI systems");
    command.add_option("--json", options->jsonPath, "write the results to this JSON file");
    command.add_option("--html", options->htmlPath, "write the results as a self-contained HTML page to this file");
    AddDriverOption(command, options->driverPath);
    return [options] { return TestCommand(*options); };
}

}  // namespace

const Command kTestCommand = {
    "test",
    "run every case and hold its link to the case's [[expect]] tables: one line per expectation",
    "exit status: 0 every expectation passed, 1 one failed, 2 a case, the driver or an output could not be used",
    DeclareTest,
};

int TestCommand(const TestOptions& options) {
    std::vector<LoadedCase> cases;
    std::vector<PathUse> inputs = {{"the driver", options.driverPath}};
    try {
        for (const std::string& path : options.paths) {
            for (const std::string& file : CaseFilesOf(path)) {
                cases.push_back(Load(file));
                inputs.push_back({"the case file", file});
                if (cases.back().c) {
                    for (const NamedFile& named : cases.back().c->namedFiles) inputs.push_back({named.use, named.path});
                    for (const Expectation& e : cases.back().c->expectations) {
                        if (e.subject == ExpectSubject::Reference) inputs.push_back({"the reference run", e.reference});
                    }
                }
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dcs-host test: %s\n", e.what());
        return 2;
    }
    std::unique_ptr<OutputFile> junit, json, html;
    std::unique_ptr<Driver> driver;
    try {
        std::vector<PathUse> outputs;
        if (!options.junitPath.empty()) outputs.push_back({"--junit", options.junitPath});
        if (!options.jsonPath.empty()) outputs.push_back({"--json", options.jsonPath});
        if (!options.htmlPath.empty()) outputs.push_back({"--html", options.htmlPath});
        RefuseOverlappingPaths(inputs, outputs);
        if (!options.junitPath.empty()) junit = std::make_unique<OutputFile>(options.junitPath);
        if (!options.jsonPath.empty()) json = std::make_unique<OutputFile>(options.jsonPath);
        if (!options.htmlPath.empty()) html = std::make_unique<OutputFile>(options.htmlPath);
        driver = std::make_unique<Driver>(options.driverPath);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dcs-host test: %s\n", e.what());
        return 2;
    }

    std::vector<CaseOutcome> outcomes;
    for (LoadedCase& loaded : cases) {
        if (loaded.c) {
            const Case& c = *loaded.c;
            try {
                loaded.outcome.run = TestCase(*driver, c);
            } catch (const std::exception& e) {
                loaded.outcome.error = e.what();
            }
        }
        os::Write(stdout, TestCaseReport(loaded.outcome));
        std::fflush(stdout);
        outcomes.push_back(loaded.outcome);
    }
    os::Write(stdout, TestTotalsLine(outcomes));
    std::fflush(stdout);
    try {
        if (junit) {
            junit->Stream() << TestJunitReport(outcomes);
            junit->Commit();
        }
        if (json) {
            json->Stream() << TestJsonReport(outcomes);
            json->Commit();
        }
        if (html) {
            html->Stream() << TestHtmlReport(outcomes);
            html->Commit();
        }
    } catch (const OutputError& e) {
        std::fprintf(stderr, "dcs-host test: %s\n", e.what());
        return 2;
    }
    bool failed = false;
    for (const CaseOutcome& o : outcomes) {
        if (!o.error.empty()) return 2;
        for (const ExpectationResult& r : o.run.results) failed = failed || !r.passed;
    }
    return failed ? 1 : 0;
}

}  // namespace host
