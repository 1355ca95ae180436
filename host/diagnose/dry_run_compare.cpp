#include "dry_run_compare.h"

#include <optional>

#include "binding_rules.h"
#include "messages.h"

namespace host {

const char* const kVerdictSource =
    "the driver's binding rules built into this dcs-host; the loaded driver only makes the dry run, which is compared "
    "with them";

namespace {

int32_t TableOf(const std::string& table) {
    if (table == "controller") return TAG_TABLE_CTRL;
    if (table == "pv_export") return TAG_TABLE_PV_EXPORT;
    if (table == "pv_import") return TAG_TABLE_PV_IMPORT;
    return TAG_TABLE_GENERAL;
}

const char* OwnerOf(const std::string& table) {
    if (table == "controller") return kOwnerController;
    if (table == "pv_export") return kOwnerPVExport;
    if (table == "pv_import") return kOwnerPVImport;
    return nullptr;
}

bool Same(const DriverMessage& a, const DriverMessage& b) {
    return a.source == b.source && a.title == b.title && a.text == b.text && a.raisedBy == b.raisedBy;
}

bool IsRequiredTextMessage(const std::string& text) {
    for (const RequiredTextCheck& check : kRequiredTextChecks) {
        if (text == check.Message) return true;
    }
    return false;
}

// The messages the comparison is about: what binding and the required
// texts raise at configuration, and whatever initialization and the step
// raise. The catalogue's own messages belong to the lint.
bool Compared(const DriverMessage& m) {
    if (m.raisedBy == "DCSConfigure") {
        return (m.source == "box" && m.title == kTitleBinding) ||
               (m.source == "ErrorMsg" && IsRequiredTextMessage(m.text));
    }
    return m.raisedBy == "DCSInitialize" || m.raisedBy == "step 1";
}

// Whether a message the verdicts did not predict is about a row: one of
// the row's binding or required-text messages, or a runtime message that
// names the row ("... of controller at index 2").
bool About(const RowDiagnosis& row, const DriverMessage& m) {
    for (const TagDiagnosis& tag : row.tags) {
        const TagColumnRule* rule = TagColumnRuleOf(TableOf(row.table), tag.column);
        if (rule == nullptr) continue;
        if (m.source == "ErrorMsg") {
            if (rule->RequiredMessage != nullptr && m.text == rule->RequiredMessage && tag.text.empty()) return true;
            continue;
        }
        if (m.title == kTitleBinding && rule->UnboundMessage != nullptr) {
            std::string text = rule->UnboundMessage;
            const size_t at = text.find("%d");
            if (at != std::string::npos) text.replace(at, 2, std::to_string(row.index));
            if (m.text == text) return true;
        }
    }
    const char* owner = OwnerOf(row.table);
    if (owner == nullptr || m.title == kTitleBinding) return false;
    const std::string phrase = std::string(" of ") + owner + " at index " + std::to_string(row.index);
    const size_t at = m.text.find(phrase);
    return at != std::string::npos && (at + phrase.size() == m.text.size() || m.text[at + phrase.size()] == '\n');
}

std::string Line(const DriverMessage& m) {
    return (m.source == "box" ? "box \"" + m.title + "\"" : std::string("ErrorMsg")) + " at " + m.raisedBy + ": " +
           m.text;
}

}  // namespace

std::vector<PredictedMessage> PredictDryRun(const Diagnosis& d) {
    std::vector<PredictedMessage> out;
    if (d.stop.table == "init_string") return out;
    // A missing required text ends the configuration before any binding.
    for (size_t r = 0; r < d.rows.size(); ++r) {
        const RowDiagnosis& row = d.rows[r];
        if (row.table != d.stop.table || row.index != d.stop.index) continue;
        for (const TagDiagnosis& tag : row.tags) {
            if (tag.code == code::kMissingText && tag.message) return {{r, *tag.message}};
        }
    }
    // Otherwise every row up to the one that stops it shows its binding
    // messages; the rows are in the order the driver binds them.
    for (size_t r = 0; r < d.rows.size(); ++r) {
        const RowDiagnosis& row = d.rows[r];
        for (const TagDiagnosis& tag : row.tags) {
            // A read the case gives no value fails in the step, not at configuration.
            if (tag.status == Verdict::Problem && tag.code != code::kDcdNotReadable && tag.message) {
                out.push_back({r, *tag.message});
            }
        }
        if (row.table == d.stop.table && row.index == d.stop.index) return out;
    }
    // Configured: the first tag the step reads and cannot ends the step.
    for (size_t r = 0; r < d.rows.size(); ++r) {
        for (const TagDiagnosis& tag : d.rows[r].tags) {
            const TagColumnRule* rule = TagColumnRuleOf(TableOf(d.rows[r].table), tag.column);
            const bool readAtStep =
                rule != nullptr && rule->Use == TAG_USE_READ && (rule->Moments & TAG_MOMENT_STEP) != 0;
            const bool gap = !tag.gap.empty();
            if (readAtStep && (tag.code == code::kDcdNotReadable || gap) && tag.message) {
                out.push_back({r, *tag.message, gap});
                return out;
            }
        }
    }
    return out;
}

void CompareWithDryRun(Diagnosis& d) {
    d.unexplained.clear();
    d.messagesOfGaps = 0;
    for (RowDiagnosis& row : d.rows) row.driverDiffers.clear();
    std::vector<DriverMessage> raised;
    for (const DriverMessage& m : d.messages) {
        if (Compared(m) && (m.raisedBy == "DCSConfigure" || d.stepRun)) raised.push_back(m);
    }
    std::vector<bool> matched(raised.size(), false);
    for (const PredictedMessage& p : PredictDryRun(d)) {
        if (p.message.raisedBy != "DCSConfigure" && !d.stepRun) continue;
        bool found = false;
        for (size_t i = 0; i < raised.size() && !found; ++i) {
            if (!matched[i] && Same(raised[i], p.message)) matched[i] = found = true;
        }
        if (found && p.gap) ++d.messagesOfGaps;
        if (!found)
            d.rows[p.row].driverDiffers.push_back("the rules predict " + Line(p.message) +
                                                  "; the driver did not show it");
    }
    for (size_t i = 0; i < raised.size(); ++i) {
        if (matched[i]) continue;
        bool placed = false;
        for (RowDiagnosis& row : d.rows) {
            if (!placed && About(row, raised[i])) {
                row.driverDiffers.push_back("the driver showed " + Line(raised[i]) +
                                            "; the rules predict no such message");
                placed = true;
            }
        }
        if (!placed) d.unexplained.push_back(raised[i]);
    }
}

}  // namespace host
