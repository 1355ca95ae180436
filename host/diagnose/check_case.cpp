#include "diagnose/check_case.h"

#include "conflicts.h"
#include "diagnose/case_gaps.h"
#include "diagnose/lint.h"
#include "diagnose/text_encoding.h"
#include "dry_run_compare.h"
#include "link/session.h"
#include "root_cause.h"
#include "row_check.h"
#include "suggest.h"

namespace host {

namespace {

void Record(Diagnosis& diagnosis, MessageWatch& watch, const char* phase) {
    const std::vector<DriverMessage> raised = Raised(watch.Take(), phase);
    diagnosis.messages.insert(diagnosis.messages.end(), raised.begin(), raised.end());
}

int32_t LineOf(const Case& c, const RowDiagnosis& row) {
    const auto at = static_cast<size_t>(row.index);
    if (row.table == "controller" && at < c.controllers.size()) return c.controllers[at].line;
    if (row.table == "pv_export" && at < c.pvExports.size()) return c.pvExports[at].line;
    if (row.table == "pv_import" && at < c.pvImports.size()) return c.pvImports[at].line;
    return row.table == "general" ? c.generalLine : 0;
}

// Configure, initialize and one step, with every message as it was raised.
void DryRun(Driver& driver, DCSLinkData& d, Diagnosis& diagnosis) {
    MessageWatch watch;
    Record(diagnosis, watch, "DCSLoad");
    diagnosis.configured = driver.Configure(&d) == 1;
    Record(diagnosis, watch, "DCSConfigure");
    if (!diagnosis.configured) return;
    const size_t before = diagnosis.messages.size();
    driver.Initialize(&d);
    Record(diagnosis, watch, "DCSInitialize");
    const int32_t step = driver.Simulate(&d);
    Record(diagnosis, watch, "step 1");
    diagnosis.stepRun = true;
    diagnosis.stepOk = step == 1 && diagnosis.messages.size() == before;
}

}  // namespace

Diagnosis CheckCase(Driver& driver, const Case& c) {
    Diagnosis diagnosis;
    diagnosis.casePath = c.file;
    diagnosis.verdictSource = kVerdictSource;
    diagnosis.initStringPath = c.initStringPath;
    diagnosis.codePage = c.codePage;
    const CodePage codePage = CodePage::Find(c.codePage).value_or(*CodePage::Find(kDefaultCodePage));
    const BlockCounts before = LiveBlocks();
    bool loaded = false;
    CatalogueParse parse;
    {
        Link link(driver);
        link.Load();
        link.Fill(c);
        DCSLinkData& d = link.Data();
        DryRun(driver, d, diagnosis);

        // The checker's own load of the catalogue raises the driver's
        // catalogue boxes once more; they are already recorded above.
        MessageWatch ownLoad;
        parse = ParseCatalogue();
        ownLoad.Take();
        loaded = parse.loaded;
        diagnosis.initStringText = parse.text;
        const CatalogueIndex index(parse, codePage);
        // Built on the first name that binds nothing: a case that binds
        // pays nothing for it.
        const SuggestionIndex suggestions(parse, codePage);
        diagnosis.rows = CheckRows(d, index, RowNamesOf(c), &suggestions);
        diagnosis.lint = LintInitString(parse);
        ExplainEncodings(diagnosis, index, codePage);

        driver.Reset(&d);
        link.Destroy();
    }
    CheckReleased(before);
    for (RowDiagnosis& row : diagnosis.rows) row.line = LineOf(c, row);
    // Without a catalogue the driver stops before it looks at any row.
    const StopPoint stop = loaded ? ConfigurationStop(diagnosis.rows) : StopPoint{true, "init_string", 0};
    if (stop.stops) {
        diagnosis.stop.table = stop.table;
        diagnosis.stop.index = stop.index;
        for (const RowDiagnosis& row : diagnosis.rows) {
            if (row.table == stop.table && row.index == stop.index) diagnosis.stop.name = row.name;
        }
    }
    // A link that did not configure wrote nothing, so there a tag a row
    // writes counts as given: the gaps are found in the same run as what
    // stops the configuration, not only once that is fixed.
    MarkCaseGaps(diagnosis.configured ? HoldsValue(ServerHolds) : HoldsOrWrittenByRows(ServerHolds, diagnosis.rows),
                 diagnosis.rows);
    CompareWithDryRun(diagnosis);
    diagnosis.causes = FindRootCauses(parse, diagnosis.lint, diagnosis.rows);
    diagnosis.conflicts = FindConflicts(diagnosis.rows, codePage);
    return diagnosis;
}

int ExitStatusOf(const Diagnosis& diagnosis) {
    // A case gap is the simulation's, not the link's: the step the dry run
    // makes fails on it, and that alone finds nothing.
    const size_t linkMessages = diagnosis.messages.size() - static_cast<size_t>(diagnosis.messagesOfGaps);
    const bool stepOk = diagnosis.stepOk || (linkMessages == 0 && diagnosis.messagesOfGaps > 0);
    const bool found = diagnosis.Problems() > 0 || !diagnosis.lint.empty() || linkMessages > 0 ||
                       !diagnosis.causes.empty() || !diagnosis.conflicts.empty() || diagnosis.RowsDiffering() > 0 ||
                       !diagnosis.unexplained.empty();
    return diagnosis.configured && stepOk && !found ? 0 : 1;
}

Diagnosis DiagnoseQuietly(Driver& driver, const Case& c) {
    PrepareServer(c);
    // The messages are reported with the diagnosis, all together.
    const QuietStandins quiet(QuietStandins::ErrorMsg::Quiet);
    return CheckCase(driver, c);
}

}  // namespace host
