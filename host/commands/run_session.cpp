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
      link_(driver) {
    traffic_.ArmFailures(0);
    before_ = LiveBlocks();
    link_.Load();
    link_.Fill(c);
    for (size_t i = 0; i < c.pvExports.size(); ++i) {
        if (c.pvExports[i].response.follows) followers_.push_back(i);
    }
}

bool RunSession::Begin() {
    Phase("DCSConfigure");  // what the load raised was shown as it happened
    DCSLinkData& d = link_.Data();
    configured_ = driver_.Configure(&d) == 1;
    std::cout << c_.file << ": DCSConfigure "
              << (configured_ ? "configured the link" : "did not configure the link; no steps run") << "\n";
    if (!configured_) return false;
    Phase("DCSInitialize");
    driver_.Initialize(&d);
    StepRecord& init = Sample(0);
    // DCSInitialize returns nothing to go by: a message it raised is what
    // tells a failed write.
    init.ok = Quiet();
    init.events = "initialize";
    report_.Step(init);
    allOk_ = init.ok;
    for (int32_t i = 0; i < d.PVCnt; ++i) pv_.push_back(d.PVData[i].Value);
    return true;
}

bool RunSession::Step(int32_t step) {
    Phase("step " + std::to_string(step));
    std::string applied = ApplyEvents(step);
    MovePVs();
    const int32_t result = driver_.Simulate(&link_.Data());
    StepRecord& record = Sample(step);
    record.events = std::move(applied);
    record.ok = result == 1 && Quiet();
    report_.Step(record);
    allOk_ = record.ok && allOk_;
    return record.ok;
}

std::string RunSession::End() {
    Phase("DCSReset");
    driver_.Reset(&link_.Data());
    Phase("done");
    const std::string afterReset = "after DCSReset: Enabled " + FlagText(FlagTag(link_, kEnabledFlagLabel)) +
                                   ", Running " + FlagText(FlagTag(link_, kRunningFlagLabel)) + "\n";
    link_.Destroy();
    for (const std::string& line : tally_.NotShownLines()) std::fprintf(stderr, "dcs-host: %s\n", line.c_str());
    traffic_.Finish();
    CheckReleased(before_);
    return afterReset;
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
    const CodePage codePage = CodePage::Find(c_.codePage).value_or(*CodePage::Find(kDefaultCodePage));
    const std::optional<TagName> name = TagName::OfText(read->tag, codePage);
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

std::string RunSession::ApplyEvents(int32_t step) {
    std::string applied;
    traffic_.ArmFailures(step);
    DCSLinkData& d = link_.Data();
    for (const Event* event : EventsAt(c_, step)) {
        switch (event->action) {
        case Action::Start: driver_.Start(&d); break;
        case Action::Stop: driver_.Stop(&d); break;
        case Action::TimeZero: driver_.TimeZero(&d); break;
        case Action::SetTag: SetTag(event->tag); break;
        }
        applied += (applied.empty() ? "" : " ") +
                   EventText(*event, CodePage::Find(c_.codePage).value_or(*CodePage::Find(kDefaultCodePage)));
    }
    return applied;
}

// The first step puts every export at its value; after that only the ones
// that follow a controller move, and the constant ones are left as they are.
void RunSession::MovePVs() {
    DCSLinkData& d = link_.Data();
    auto move = [&](size_t i) {
        const Response& response = c_.pvExports[i].response;
        const double op = response.follows ? d.CtrlData[response.controller].OP : 0.0;
        pv_[i] = NextValue(response, pv_[i], op);
        d.PVData[i].Value = pv_[i];
    };
    if (!constantsSet_) {
        for (size_t i = 0; i < pv_.size(); ++i) move(i);
        constantsSet_ = true;
        return;
    }
    for (const size_t i : followers_) move(i);
}

// The rows as they stand, and the change marks put back to 0.
StepRecord& RunSession::Sample(int32_t step) {
    StepRecord& record = record_;
    record.step = step;
    record.events.clear();
    DCSLinkData& d = link_.Data();
    record.controllers.resize(static_cast<size_t>(d.CtrlCnt));
    for (int32_t i = 0; i < d.CtrlCnt; ++i) {
        DCSCtrlRow& row = d.CtrlData[i];
        const double sp = row.SP;
        const double op = row.OP;
        const uint8_t spChanged = row.SPChanged;
        const uint8_t opChanged = row.OPChanged;
        record.controllers[static_cast<size_t>(i)] = {sp, op, spChanged != 0, opChanged != 0};
        row.SPChanged = 0;
        row.OPChanged = 0;
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
    record.enabled = FlagTag(link_, kEnabledFlagLabel);
    record.running = FlagTag(link_, kRunningFlagLabel);
    return record;
}

}  // namespace host
