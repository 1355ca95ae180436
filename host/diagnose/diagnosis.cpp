#include "diagnose/diagnosis.h"

namespace host {

int32_t Diagnosis::RowsWithProblems() const {
    int32_t count = 0;
    for (const RowDiagnosis& row : rows) {
        if (row.HasProblem()) ++count;
    }
    return count;
}

int32_t Diagnosis::Gaps() const {
    int32_t count = 0;
    for (const RowDiagnosis& row : rows) {
        for (const TagDiagnosis& tag : row.tags) count += tag.gap.empty() ? 0 : 1;
    }
    return count;
}

int32_t Diagnosis::RowsDiffering() const {
    int32_t count = 0;
    for (const RowDiagnosis& row : rows) {
        if (!row.driverDiffers.empty()) ++count;
    }
    return count;
}

int32_t Diagnosis::LintCount(Severity severity) const {
    int32_t count = 0;
    for (const LintFinding& finding : lint) {
        if (finding.severity == severity) ++count;
    }
    return count;
}

int32_t Diagnosis::Problems() const {
    int32_t count = LintCount(Severity::Error) + static_cast<int32_t>(causes.size());
    for (const RowConflict& conflict : conflicts) count += conflict.severity == Severity::Error ? 1 : 0;
    for (const RowDiagnosis& row : rows) {
        for (const TagDiagnosis& tag : row.tags) {
            if (tag.status == Verdict::Problem) ++count;
        }
    }
    return count;
}

const char* const kProblemCodes[] = {code::kNotInCatalogue, code::kOtherDataSet,     code::kKindNotAllowed,
                                     code::kDcdNotReadable, code::kNearMiss,         code::kOtherEncoding,
                                     code::kMissingText,    code::kSameAsEnabledFlag};
const size_t kProblemCodeCount = sizeof kProblemCodes / sizeof kProblemCodes[0];
const char* const kLintCodes[] = {code::kCarriageReturn, code::kTokenBeforeHeader, code::kHeaderSwallowed,
                                  code::kParseEndsEarly, code::kDataSetNotDecimal, code::kDuplicateName,
                                  code::kListFull,       code::kEmptyInitString};
const size_t kLintCodeCount = sizeof kLintCodes / sizeof kLintCodes[0];
const char* const kConflictCodes[] = {code::kDuplicateController, code::kTwoWriters, code::kExportReadBack,
                                      code::kFlagWrittenByRow};
const size_t kConflictCodeCount = sizeof kConflictCodes / sizeof kConflictCodes[0];
const char* const kGapCodes[] = {code::kNoTagValue};
const size_t kGapCodeCount = sizeof kGapCodes / sizeof kGapCodes[0];

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Bound: return "bound";
    case Verdict::Empty: return "empty";
    case Verdict::Unused: return "unused";
    case Verdict::Problem: return "problem";
    }
    return "problem";
}

const char* SeverityName(Severity severity) { return severity == Severity::Error ? "error" : "warning"; }

}  // namespace host
