#include "run_session.h"

#include <cstdio>
#include <iostream>
#include <utility>

#include "case/schedule.h"
#include "diagnose/case_gaps.h"
#include "text/code_page.h"
#include "text/tag_name.h"

namespace host {

namespace {

// The event as the step table, the CSV and the page show it: its tag's name
// decoded from the simulator's code page.
std::string EventText(const Event& event, const CodePage& codePage) {
    if (event.action != Action::SetTag) {
        return ActionName(event.action);
    }
    char value[32];
    std::snprintf(value, sizeof value, "%g", event.tag.value);
    return std::string("set_tag ") + codePage.Decode(event.tag.name) + "=" + value;
}

std::string FlagText(const std::optional<int32_t>& flag) { return flag ? std::to_string(*flag) : "-"; }

bool Prepare(const Case& c) {
    PrepareServer(c);
    StopCallLog();
    return true;
}

}  // namespace

RunSession::RunSession(const Case& c, Driver& driver, RunReport& report, const RunOptions& options)
    : c_(c),
      driver_(driver),
      report_(report),
      prepared_(Prepare(c)),
      traffic_(c, options.tracePath, options.traceLevel, options.replayPath),
      boxes_([this](const std::string& caption, const std::string& text) { return tally_.Add(caption, text); },
             c.codePage),
      link_(driver),
      loop_(driver, c, link_, *this),
      codePage_(CodePage::Find(c.codePage).value_or(*CodePage::Find(kDefaultCodePage))) {
    before_ = LiveBlocks();
    link_.Load();
    link_.Fill(c);
}

bool RunSession::Run(int32_t steps) { return loop_.Run(steps); }

bool RunSession::Begin() {
    if (!loop_.Configure()) return false;
    loop_.Initialize();
    return true;
}

bool RunSession::Step(int32_t step) {
    loop_.Step(step);
    return stepOk_;
}

std::string RunSession::End() {
    if (!reset_) loop_.Reset(configured_ ? lastStep_ : 0);
    Phase("done");
    const std::string afterReset = "after DCSReset: Enabled " + FlagText(FlagTag(link_, kEnabledFlagLabel)) +
                                   ", Running " + FlagText(FlagTag(link_, kRunningFlagLabel)) + "\n";
    link_.Destroy();
    for (const std::string& line : tally_.NotShownLines()) std::fprintf(stderr, "dcs-host: %s\n", line.c_str());
    traffic_.Finish();
    CheckReleased(before_);
    return afterReset;
}

void RunSession::ArmFailures(int32_t step) { traffic_.ArmFailures(step); }

void RunSession::StepBegins(int32_t step) {
    Phase("step " + std::to_string(step));
    applied_.clear();
}

void RunSession::Calling(LinkCall call, int32_t /*step*/) {
    // A step's events and DCSSimulate are one phase, begun with the step;
    // what the load raised was shown as it happened.
    if (call == LinkCall::Configure || call == LinkCall::Initialize || call == LinkCall::Reset) {
        Phase(LinkCallName(call));
    }
}

void RunSession::Returned(LinkCall call, int32_t step, int32_t result) {
    switch (call) {
    case LinkCall::Configure:
        configured_ = result == 1;
        std::cout << c_.file << ": DCSConfigure "
                  << (configured_ ? "configured the link" : "did not configure the link; no steps run") << "\n";
        break;
    case LinkCall::Initialize:
        // DCSInitialize returns nothing to go by: a message it raised is
        // what tells a failed write.
        Record(0, Quiet());
        break;
    case LinkCall::Start:
    case LinkCall::Stop:
    case LinkCall::TimeZero: break;  // told as the events they are
    case LinkCall::Simulate:
        lastStep_ = step;
        Record(step, result == 1 && Quiet());
        break;
    case LinkCall::Reset: reset_ = true; break;
    }
}

void RunSession::EventApplied(const Event& event, int32_t /*step*/) {
    applied_ += (applied_.empty() ? "" : " ") + EventText(event, codePage_);
}

// The step's row handed to the report.
void RunSession::Record(int32_t step, bool ok) {
    SampleRows(link_, step, record_);
    record_.events = step == 0 ? "initialize" : applied_;
    record_.ok = ok;
    report_.Step(record_);
    stepOk_ = ok;
    allOk_ = ok && allOk_;
}

// Hands what the last phase raised to the report, in order, and starts the
// next.
void RunSession::Phase(const std::string& next) {
    Quiet();
    report_.Messages(Raised(errors_, phase_));
    const std::vector<DriverMessage>& shown = boxes_.Kept();
    report_.Messages(
        std::vector<DriverMessage>(shown.begin() + static_cast<std::ptrdiff_t>(shownBefore_), shown.end()));
    for (size_t i = shownBefore_; i < shown.size(); ++i) NameCaseGap(shown[i]);
    errors_.clear();
    shownBefore_ = shown.size();
    boxesBefore_ = boxes_.Raised();
    phase_ = next;
    boxes_.SetPhase(next);
    traffic_.SetPhase(next);
}

// No message raised since the phase began. The host's ErrorMsg texts are
// kept until the phase ends; boxes are counted as they come.
bool RunSession::Quiet() {
    for (Message& m : watch_.Take()) errors_.push_back(std::move(m));
    return errors_.empty() && boxes_.Raised() == boxesBefore_;
}

// A read that fails only because the case gives the server no value for the
// tag looks like a fault of the driver: say once what it is.
void RunSession::NameCaseGap(const DriverMessage& m) {
    const std::optional<FailedRead> read = FailedReadOf(m.text);
    if (!read) return;
    const DCSLinkData& d = link_.Data();
    const bool controller = read->owner == "controller";
    const int32_t rows = controller ? d.CtrlCnt : d.PVImportCnt;
    if (read->index < 0 || read->index >= rows) return;
    const DCSValue* cells = controller ? d.CtrlData[read->index].Values : d.PVImportData[read->index].Values;
    const int32_t dataSet =
        Link::RowInteger(controller ? link_.ControllerDefs() : link_.PVImportDefs(), cells, kDataSetLabel, 0);
    // The box's text is shown decoded; the server holds the name in the
    // simulator's code page.
    const std::optional<TagName> name = TagName::OfText(read->tag, codePage_);
    if (!name || ServerHolds(read->kind, dataSet, name->Bytes()) ||
        !gapsNamed_.insert(read->kind + '\n' + read->tag).second) {
        return;
    }
    std::fprintf(stderr,
                 "dcs-host: %s: the case gives the tag server no value for %s tag \"%s\" (data set %d), so the "
                 "driver's %s read of %s %d fails: a gap in the case, not a fault of the driver; add %s\n",
                 m.raisedBy.c_str(), read->kind.c_str(), read->tag.c_str(), static_cast<int>(dataSet),
                 read->role.c_str(), read->owner.c_str(), static_cast<int>(read->index),
                 TagTableFor(read->kind, dataSet, read->tag).c_str());
}

void SampleRows(const Link& link, int32_t step, StepRecord& record) {
    record.step = step;
    record.events.clear();
    const DCSLinkData& d = link.Data();
    record.controllers.resize(static_cast<size_t>(d.CtrlCnt));
    for (int32_t i = 0; i < d.CtrlCnt; ++i) {
        const DCSCtrlRow& row = d.CtrlData[i];
        const double sp = row.SP;
        const double op = row.OP;
        const uint8_t spChanged = row.SPChanged;
        const uint8_t opChanged = row.OPChanged;
        record.controllers[static_cast<size_t>(i)] = {sp, op, spChanged != 0, opChanged != 0};
    }
    record.pvExports.resize(static_cast<size_t>(d.PVCnt));
    for (int32_t i = 0; i < d.PVCnt; ++i) {
        const double value = d.PVData[i].Value;
        record.pvExports[static_cast<size_t>(i)] = value;
    }
    record.pvImports.resize(static_cast<size_t>(d.PVImportCnt));
    for (int32_t i = 0; i < d.PVImportCnt; ++i) {
        const double value = d.PVImportData[i].Value;
        record.pvImports[static_cast<size_t>(i)] = value;
    }
    record.enabled = FlagTag(link, kEnabledFlagLabel);
    record.running = FlagTag(link, kRunningFlagLabel);
}

}  // namespace host
