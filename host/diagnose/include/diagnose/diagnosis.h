// The whole-case diagnosis: a verdict for every tag text of every row, the
// findings of the initialization string's lint, and every message the driver
// raised in a dry run. The check fills it; every report renders it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/driver_message.h"

namespace host {

// What becomes of one tag text of one row.
enum class Verdict {
    Bound,    // binds to a catalogue tag: kind and operation say how it is served
    Empty,    // no text
    Unused,   // the row is inactive, so the driver leaves this column alone
    Problem,  // does not bind, or binds where the driver will fail on it
};

// A catalogue name near a text that names nothing the column can bind.
struct Suggestion {
    std::string name;
    std::string kind;  // "AI", ...
    int32_t dataSet = 0;
};

struct TagDiagnosis {
    std::string field;  // the label the driver declares: "SP Tag", "PV Tag", "Enabled Flag", ...
    std::string text;   // the tag text as the row holds it
    Verdict status = Verdict::Empty;
    bool required = false;                 // OP, OP Init and PV Tag must not be empty
    std::string kind;                      // "AI", ... ; empty when nothing binds
    std::string operation;                 // "ReadAI", "WriteDI", ... ; empty when none serves it
    std::string code;                      // for a problem: "not-in-catalogue", "near-miss", ...
    std::string reason;                    // plain words: why, and what the driver will do
    std::optional<DriverMessage> message;  // the message the driver shows for this problem
    std::vector<Suggestion> suggestions;   // nearest names of a kind the column takes, best first
    int32_t dataSet = 0;                   // the row's data set, in which the text is looked up
    std::string cause;                     // the root cause that explains this problem; empty: none
    int32_t column = -1;                   // the driver's column (general data: the field)
    // With a trace of the live link: what it did with this tag ("live: 120
    // calls of ReadAI, 3 failed, last status 0"); empty without one.
    std::string live = std::string();
    bool liveDisagrees = false;  // the live link fails it always, or serves it otherwise
    // A bound read the case gives the simulated server no value for: a gap
    // of the simulation, not of the link, so the verdict stays bound. What
    // `run` will meet, in plain words, and the [[tag]] table that closes it;
    // both empty when there is none. `message` is the box `run` will show.
    std::string gap = std::string();
    std::string gapTable = std::string();
    int64_t liveFailures = 0;  // the calls of this tag that failed live
};

struct RowDiagnosis {
    std::string table;  // "general", "controller", "pv_export", "pv_import"
    int32_t index = 0;  // the row index, 0-based, as the driver's messages give it
    std::string name;   // the host's name of the row
    int32_t line = 0;   // where the case file defines the row; 0 when unknown
    std::vector<TagDiagnosis> tags;
    // Where the loaded driver's messages in the dry run differ from what the
    // rules predict for this row, in plain words; empty when they agree.
    std::vector<std::string> driverDiffers = {};

    bool HasProblem() const {
        for (const TagDiagnosis& tag : tags) {
            if (tag.status == Verdict::Problem) return true;
        }
        return false;
    }
    bool HasGap() const {
        for (const TagDiagnosis& tag : tags) {
            if (!tag.gap.empty()) return true;
        }
        return false;
    }
};

enum class Severity { Error, Warning };

// A finding of the lint of the initialization string file.
struct LintFinding {
    int32_t line = 0;    // 1-based, in the initialization string file
    int32_t column = 0;  // 1-based byte column
    Severity severity = Severity::Warning;
    std::string code;   // "carriage-return", "header-swallowed", ...
    std::string text;   // plain words
    std::string hint;   // how to fix it
    std::string quote;  // the line of the file it is on, without its line end
};

// One side of a conflict between rows: a column of a row and when the
// driver moves its tag.
struct ConflictSide {
    std::string table;
    int32_t index = 0;
    std::string name;
    std::string field;
    std::string text;
    int32_t line = 0;
    std::string when;  // "every step, and at DCSInitialize", ...
};

// Two rows whose tags get in each other's way.
struct RowConflict {
    Severity severity = Severity::Error;
    std::string code;  // "duplicate-controller", "two-writers", ...
    std::string text;  // plain words, with who wins
    ConflictSide first;
    ConflictSide second;
};

// A finding of the lint that explains others: the rows that bind nothing
// because of it and the lint findings that follow from it.
struct RootCause {
    LintFinding finding;
    int32_t lastLine = 0;     // the lines it covers: finding.line to lastLine
    int32_t explains = 0;     // row verdicts it explains
    int32_t folded = 0;       // lint findings folded into it
    std::string foldedCodes;  // "[code] line N, ..." of the first of them
    std::string summary;      // the short form each explained verdict names
};

// Where the driver's configuration stops (at the first missing required
// text, or the first row whose binding fails); table empty when it does not.
struct ConfigurationStopPoint {
    std::string table;
    int32_t index = 0;
    std::string name;
};

struct Diagnosis {
    std::string casePath;
    std::string initStringPath;
    std::string initStringText;  // as the driver received it; the lint findings quote it
    bool configured = false;
    bool stepRun = false;                 // the dry run got as far as one step
    bool stepOk = false;                  // initialize and the step raised nothing and the step returned 1
    ConfigurationStopPoint stop;          // as the verdicts predict it
    std::vector<DriverMessage> messages;  // in the order the driver raised them
    std::vector<RowDiagnosis> rows;       // general, controllers, PV exports, PV imports
    std::vector<LintFinding> lint;        // without the findings that became root causes
    std::vector<RootCause> causes;        // the findings that explain others, most rows first
    std::vector<RowConflict> conflicts;
    std::string verdictSource;               // where the verdicts come from, in plain words
    std::string driverPath;                  // the driver that made the dry run
    std::vector<DriverMessage> unexplained;  // binding or runtime messages of the dry run no row accounts for
    // Messages of the dry run's step that a case gap explains: the step
    // fails on the first read without a value, which says nothing of the link.
    int32_t messagesOfGaps = 0;
    // The simulator's code page. Every tag text, and every text the driver
    // or the catalogue gave, is held in its bytes while the check decides
    // (so that it compares as the driver and the server do), and decoded
    // into UTF-8 once, for the reports (DecodeForReports).
    int32_t codePage = 1252;
    bool decodedForReports = false;

    int32_t RowsWithProblems() const;
    int32_t Gaps() const;  // tags with a case gap
    int32_t RowsDiffering() const;
    int32_t LintCount(Severity severity) const;
    // Row problems plus lint errors, root causes and conflicts that are errors.
    int32_t Problems() const;
};

// The codes the check gives, each named once: the verdicts' problem codes
// and the lint's codes. The lists below hold every one (dcs-host
// --list-codes prints them, and the kits' documentation is tested against
// that).
namespace code {
inline constexpr char kNotInCatalogue[] = "not-in-catalogue";
inline constexpr char kOtherDataSet[] = "other-data-set";
inline constexpr char kKindNotAllowed[] = "kind-not-allowed";
inline constexpr char kDcdNotReadable[] = "dcd-not-readable";
inline constexpr char kNearMiss[] = "near-miss";
inline constexpr char kOtherEncoding[] = "other-encoding";
inline constexpr char kMissingText[] = "missing-text";
inline constexpr char kSameAsEnabledFlag[] = "same-as-enabled-flag";
inline constexpr char kNoTagValue[] = "no-tag-value";  // a case gap, not a problem
inline constexpr char kDuplicateController[] = "duplicate-controller";
inline constexpr char kTwoWriters[] = "two-writers";
inline constexpr char kExportReadBack[] = "export-read-back";
inline constexpr char kFlagWrittenByRow[] = "flag-written-by-row";
inline constexpr char kCarriageReturn[] = "carriage-return";
inline constexpr char kTokenBeforeHeader[] = "token-before-header";
inline constexpr char kHeaderSwallowed[] = "header-swallowed";
inline constexpr char kParseEndsEarly[] = "parse-ends-early";
inline constexpr char kDataSetNotDecimal[] = "data-set-not-decimal";
inline constexpr char kDuplicateName[] = "duplicate-name";
inline constexpr char kListFull[] = "list-full";
inline constexpr char kEmptyInitString[] = "empty-init-string";
}  // namespace code

extern const char* const kProblemCodes[];
extern const size_t kProblemCodeCount;
extern const char* const kLintCodes[];
extern const size_t kLintCodeCount;
extern const char* const kConflictCodes[];
extern const size_t kConflictCodeCount;
extern const char* const kGapCodes[];
extern const size_t kGapCodeCount;

const char* VerdictName(Verdict verdict);     // "bound", "empty", "unused", "problem"
const char* SeverityName(Severity severity);  // "error", "warning"

}  // namespace host
