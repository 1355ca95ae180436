#include "link/step_loop.h"

#include "case/schedule.h"
#include "link/session.h"

namespace host {

const char* LinkCallName(LinkCall call) {
    switch (call) {
    case LinkCall::Configure: return "DCSConfigure";
    case LinkCall::Initialize: return "DCSInitialize";
    case LinkCall::Start: return "DCSStart";
    case LinkCall::Stop: return "DCSStop";
    case LinkCall::TimeZero: return "DCSTimeZero";
    case LinkCall::Simulate: return "DCSSimulate";
    case LinkCall::Reset: return "DCSReset";
    }
    return "?";
}

StepLoop::StepLoop(Driver& driver, const Case& c, Link& link, StepObserver& observer)
    : driver_(driver), c_(c), link_(link), observer_(observer) {
    for (size_t i = 0; i < c.pvExports.size(); ++i) {
        if (c.pvExports[i].response.follows) followers_.push_back(i);
    }
}

bool StepLoop::Run(int32_t steps) {
    const bool configured = Configure();
    if (configured) {
        Initialize();
        for (int32_t step = 1; step <= steps; ++step) Step(step);
    }
    Reset(configured ? steps : 0);
    return configured;
}

bool StepLoop::Configure() {
    observer_.ArmFailures(0);
    return Call(LinkCall::Configure, 0) == 1;
}

void StepLoop::Initialize() {
    Call(LinkCall::Initialize, 0);
    TakeChangeMarks();
    const DCSLinkData& d = link_.Data();
    pv_.clear();
    for (int32_t i = 0; i < d.PVCnt; ++i) pv_.push_back(d.PVData[i].Value);
    constantsSet_ = false;
}

int32_t StepLoop::Step(int32_t step) {
    observer_.StepBegins(step);
    observer_.ArmFailures(step);
    for (const Event* event : EventsAt(c_, step)) {
        switch (event->action) {
        case Action::Start: Call(LinkCall::Start, step); break;
        case Action::Stop: Call(LinkCall::Stop, step); break;
        case Action::TimeZero: Call(LinkCall::TimeZero, step); break;
        case Action::SetTag: SetTag(event->tag); break;
        }
        observer_.EventApplied(*event, step);
    }
    MovePVs();
    const int32_t result = Call(LinkCall::Simulate, step);
    TakeChangeMarks();
    return result;
}

void StepLoop::Reset(int32_t step) { Call(LinkCall::Reset, step); }

int32_t StepLoop::Call(LinkCall call, int32_t step) {
    observer_.Calling(call, step);
    DCSLinkData* d = &link_.Data();
    int32_t result = 0;
    switch (call) {
    case LinkCall::Configure: result = driver_.Configure(d); break;
    case LinkCall::Initialize: result = driver_.Initialize(d); break;
    case LinkCall::Start: result = driver_.Start(d); break;
    case LinkCall::Stop: result = driver_.Stop(d); break;
    case LinkCall::TimeZero: result = driver_.TimeZero(d); break;
    case LinkCall::Simulate: result = driver_.Simulate(d); break;
    case LinkCall::Reset: result = driver_.Reset(d); break;
    }
    observer_.Returned(call, step, result);
    return result;
}

// The first step puts every export at its value; after that only the ones
// that follow a controller move, and the constant ones are left as they are.
void StepLoop::MovePVs() {
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

// The simulator reads the marks with the rows and clears them, so that the
// next step's marks say what that step changed.
void StepLoop::TakeChangeMarks() {
    DCSLinkData& d = link_.Data();
    for (int32_t i = 0; i < d.CtrlCnt; ++i) {
        d.CtrlData[i].SPChanged = 0;
        d.CtrlData[i].OPChanged = 0;
    }
}

}  // namespace host
