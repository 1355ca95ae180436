#include "diagnose/case_test.h"

#include <chrono>
#include <cmath>

#include "case/expectations.h"
#include "case/schedule.h"
#include "link/session.h"
#include "link/step_loop.h"
#include "text/code_page.h"
#include "text/glob.h"

namespace host {

namespace {

bool IsOwnMoment(const Expectation& e, const LinkMoment& m) {
    if (e.subject == ExpectSubject::Reference) return false;  // the caller's, from the rows it is given
    if (e.when == ExpectWhen::EveryStep) return m.when == ExpectWhen::Step;
    if (e.when == ExpectWhen::Step) return m.when == ExpectWhen::Step && m.step == e.step;
    return e.when == m.when;
}

std::string MomentName(const LinkMoment& m) {
    std::string name;
    switch (m.when) {
    case ExpectWhen::Configure: return "DCSConfigure";
    case ExpectWhen::Initialize: return "DCSInitialize";
    case ExpectWhen::Reset: return "DCSReset";
    case ExpectWhen::Start: name = "DCSStart"; break;
    case ExpectWhen::Stop: name = "DCSStop"; break;
    case ExpectWhen::TimeZero: name = "DCSTimeZero"; break;
    case ExpectWhen::Step:
    case ExpectWhen::EveryStep: return "step " + std::to_string(m.step);
    }
    return name + " at step " + std::to_string(m.step);
}

// The value the expectation looks at in this moment, or none with why.
std::optional<double> Actual(const Expectation& e, const LinkMoment& m, std::string& none) {
    const auto index = static_cast<size_t>(e.index);
    switch (e.subject) {
    case ExpectSubject::Tag: {
        std::optional<double> v = m.tagValue ? m.tagValue(e.tag) : std::nullopt;
        if (!v) none = "none: the server holds no value for the tag";
        return v;
    }
    case ExpectSubject::Controller: {
        if (index >= m.controllers.size()) break;
        const LinkMoment::Controller& row = m.controllers[index];
        return e.field == "SP" ? row.sp : e.field == "OP" ? row.op : row.mode;
    }
    case ExpectSubject::PVImport:
        if (index >= m.pvImports.size()) break;
        return m.pvImports[index];
    case ExpectSubject::Configured: return m.configured ? 1.0 : 0.0;
    case ExpectSubject::Flag: {
        const std::optional<int32_t> flag = e.field == "Enabled" ? m.enabled : m.running;
        if (!flag) {
            none = "none: the general data names no " + e.field + " Flag tag, or the server holds no value for it";
            return std::nullopt;
        }
        return static_cast<double>(*flag);
    }
    case ExpectSubject::Boxes: {
        double count = 0;
        for (const DriverMessage& box : m.boxes) {
            if ((e.boxTitle.empty() || GlobMatch(e.boxTitle, box.title)) &&
                (e.boxText.empty() || GlobMatch(e.boxText, box.text))) {
                ++count;
            }
        }
        return count;
    }
    case ExpectSubject::Reference: break;
    }
    none = "none: the row is not in the link";
    return std::nullopt;
}

bool Meets(const Expectation& e, double v) {
    if (std::isnan(v)) return false;
    if (e.value) return std::fabs(v - *e.value) <= std::max(e.tolerance, e.relTolerance * std::fabs(*e.value));
    return (!e.min || v >= *e.min) && (!e.max || v <= *e.max);
}

// The value as the report tells it; a failed one with how far off it is.
std::string ActualText(const Expectation& e, double v, bool passed) {
    if (e.subject == ExpectSubject::Configured) return v != 0.0 ? "yes" : "no";
    if (e.subject == ExpectSubject::Boxes) return ValueText(v) + (v == 1.0 ? " box" : " boxes");
    std::string text = ValueText(v);
    if (!passed && e.value) text += " (off by " + ValueText(std::fabs(v - *e.value)) + ")";
    return text;
}

// Why an expectation was never looked at.
std::string NeverLooked(const Expectation& e, int32_t steps, bool configured) {
    if (!configured && e.when != ExpectWhen::Configure && e.when != ExpectWhen::Reset) {
        return "not looked at: the link did not configure, so nothing ran after DCSConfigure";
    }
    switch (e.when) {
    case ExpectWhen::Step:
    case ExpectWhen::EveryStep: return "not looked at: the run takes " + std::to_string(steps) + " step(s)";
    default:
        return std::string("not looked at: no ") + ExpectWhenName(e.when) + " event within the run's " +
               std::to_string(steps) + " step(s)";
    }
}

}  // namespace

ExpectationTally::ExpectationTally(const std::vector<Expectation>& expectations) {
    for (const Expectation& e : expectations) {
        ExpectationResult r;
        r.expectation = &e;
        r.expected = ExpectedText(e);
        results_.push_back(r);
    }
}

void ExpectationTally::Look(const LinkMoment& m) {
    for (ExpectationResult& r : results_) {
        const Expectation& e = *r.expectation;
        if (!IsOwnMoment(e, m)) continue;
        ++r.looks;
        r.seconds += m.seconds;
        std::string none;
        const std::optional<double> v = Actual(e, m, none);
        const bool passed = v && Meets(e, *v);
        if (!passed && ++r.failedLooks > 1) continue;  // the first failure is the one told
        if (r.failedLooks == 0 || !passed) {
            r.moment = MomentName(m);
            r.actual = v ? ActualText(e, *v, passed) : none;
        }
    }
}

std::vector<ExpectationResult> ExpectationTally::Results(int32_t steps, bool configured) const {
    std::vector<ExpectationResult> results = results_;
    for (ExpectationResult& r : results) {
        r.passed = r.looks > 0 && r.failedLooks == 0;
        if (r.looks == 0) r.actual = NeverLooked(*r.expectation, steps, configured);
        if (r.failedLooks > 1) r.moment += " (and " + std::to_string(r.failedLooks - 1) + " more)";
    }
    return results;
}

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

ExpectWhen MomentOf(LinkCall call) {
    switch (call) {
    case LinkCall::Configure: return ExpectWhen::Configure;
    case LinkCall::Initialize: return ExpectWhen::Initialize;
    case LinkCall::Start: return ExpectWhen::Start;
    case LinkCall::Stop: return ExpectWhen::Stop;
    case LinkCall::TimeZero: return ExpectWhen::TimeZero;
    case LinkCall::Reset: return ExpectWhen::Reset;
    case LinkCall::Simulate: break;
    }
    return ExpectWhen::Step;
}

// The run of one case, looked at moment by moment: after every entry point,
// and after each step (what the step's events raised counted in it).
class TestObserver : public StepObserver {
public:
    TestObserver(const Case& c, Link& link, const RowsTaken& rowsTaken)
        : link_(link),
          rowsTaken_(rowsTaken),
          codePage_(CodePage::Find(c.codePage).value_or(*CodePage::Find(kDefaultCodePage))),
          tally_(c.expectations),
          failures_(c) {
        watch_.Take();  // what DCSLoad raised belongs to no moment
    }

    CaseTestRun Results(int32_t steps, bool configured, Clock::time_point start) const {
        CaseTestRun run;
        run.steps = steps;
        run.configured = configured;
        run.results = tally_.Results(steps, configured);
        run.seconds = SecondsSince(start);
        return run;
    }

private:
    void ArmFailures(int32_t step) override { failures_.Arm(step); }

    void StepBegins(int32_t /*step*/) override {
        stepStart_ = Clock::now();
        stepBoxes_.clear();
        quiet_ = true;
    }

    void Calling(LinkCall call, int32_t /*step*/) override {
        callStart_ = Clock::now();
        if (call == LinkCall::Initialize) quiet_ = true;
    }

    void Returned(LinkCall call, int32_t step, int32_t result) override {
        if (call == LinkCall::Configure) configured_ = result == 1;
        if (call == LinkCall::Simulate) {
            Look(ExpectWhen::Step, step, SecondsSince(stepStart_), std::move(stepBoxes_));
        } else {
            Look(MomentOf(call), step, SecondsSince(callStart_));
            stepBoxes_.insert(stepBoxes_.end(), lastBoxes_.begin(), lastBoxes_.end());
        }
        // As `run` tells a step: it succeeded, and raised no message.
        const bool ok = quiet_ && (call == LinkCall::Initialize || result == 1);
        if ((call == LinkCall::Initialize || call == LinkCall::Simulate) && rowsTaken_) rowsTaken_(link_, step, ok);
    }

    void Look(ExpectWhen when, int32_t step, double seconds, std::vector<DriverMessage> earlier = {}) {
        LinkMoment m;
        m.when = when;
        m.step = step;
        m.configured = configured_;
        m.seconds = seconds;
        const DCSLinkData& d = link_.Data();
        for (int32_t i = 0; i < d.CtrlCnt; ++i) {
            const DCSCtrlRow& row = d.CtrlData[i];
            m.controllers.push_back({row.SP, row.OP, row.Mode});
        }
        for (int32_t i = 0; i < d.PVImportCnt; ++i) m.pvImports.push_back(d.PVImportData[i].Value);
        m.enabled = FlagTag(link_, kEnabledFlagLabel);
        m.running = FlagTag(link_, kRunningFlagLabel);
        m.tagValue = [](const TagValue& tag) { return ServerValue(tag.kind, tag.dataSet, tag.name); };
        lastBoxes_.clear();
        for (const Message& message : watch_.Take()) {
            quiet_ = false;
            if (message.box) {
                lastBoxes_.push_back(
                    {"box", codePage_.Decode(message.caption), codePage_.Decode(message.text), MomentName(m)});
            }
        }
        m.boxes = std::move(earlier);
        m.boxes.insert(m.boxes.end(), lastBoxes_.begin(), lastBoxes_.end());
        tally_.Look(m);
    }

    Link& link_;
    const RowsTaken& rowsTaken_;
    CodePage codePage_;
    ExpectationTally tally_;
    FailureSchedule failures_;
    MessageWatch watch_;
    std::vector<DriverMessage> lastBoxes_;  // what the last moment raised
    std::vector<DriverMessage> stepBoxes_;  // what the step's events raised
    Clock::time_point stepStart_, callStart_;
    bool configured_ = false;
    bool quiet_ = true;  // no message since the step (or DCSInitialize) began
};

}  // namespace

CaseTestRun RunCaseTest(Driver& driver, const Case& c, int32_t steps, const RowsTaken& rowsTaken) {
    // The messages are the expectations' to judge, not the terminal's.
    const QuietStandins quiet(QuietStandins::ErrorMsg::Quiet);
    const Clock::time_point start = Clock::now();
    Link link(driver);
    link.Load();
    link.Fill(c);
    TestObserver observer(c, link, rowsTaken);
    const bool configured = StepLoop(driver, c, link, observer).Run(steps);
    link.Destroy();
    return observer.Results(steps, configured, start);
}

}  // namespace host
