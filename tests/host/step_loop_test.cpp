// The order in which every command that runs the link (run, test) takes it
// through a run, as an observer sees it: the failures armed before each
// phase, the events in file order at the start of their step, DCSSimulate
// after them, DCSReset at the end, and the change marks taken after each
// step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "case/case_file.h"
#include "link/link.h"
#include "link/session.h"
#include "link/step_loop.h"

namespace {

// Writes down every call it sees, one word each.
class Recorder : public host::StepObserver {
public:
    explicit Recorder(const host::Link& link) : link_(link) {}

    std::vector<std::string> seen;
    int32_t marksBeforeSimulate = 0;  // change marks standing when a step's DCSSimulate is called

private:
    void ArmFailures(int32_t step) override { seen.push_back("arm " + std::to_string(step)); }
    void StepBegins(int32_t step) override { seen.push_back("step " + std::to_string(step)); }
    void Calling(host::LinkCall call, int32_t /*step*/) override {
        if (call != host::LinkCall::Simulate) return;
        const DCSLinkData& d = link_.Data();
        for (int32_t i = 0; i < d.CtrlCnt; ++i)
            marksBeforeSimulate += d.CtrlData[i].SPChanged + d.CtrlData[i].OPChanged;
    }
    void Returned(host::LinkCall call, int32_t /*step*/, int32_t result) override {
        const bool told = call == host::LinkCall::Configure || call == host::LinkCall::Simulate;
        seen.push_back(std::string(host::LinkCallName(call)) + (told ? "=" + std::to_string(result) : ""));
    }
    void EventApplied(const host::Event& event, int32_t /*step*/) override {
        seen.push_back(host::ActionName(event.action));
    }

    const host::Link& link_;
};

const char kUnit[] = R"(init_string = "unit.mrx"
[general]
"Data Set" = 1
[[controller]]
name = "FIC-1"
"SP Tag" = "FIC-1.SP"
"OP Tag" = "FIC-1.OP"
"OP Init Tag" = "FIC-1.OPINIT"
SP = 50.0
OP = 0.4
[[tag]]
kind = "AI"
name = "FIC-1.SP"
value = 50.0
[[tag]]
kind = "AO"
name = "FIC-1.OP"
value = 40.0
[[pv_export]]
"PV Tag" = "FI-1.PV"
follows = 0
gain = 100.0
time_constant = 3
initial = 30.0
[[event]]
step = 3
action = "stop"
[[event]]
step = 2
action = "set_tag"
kind = "AI"
name = "FIC-1.SP"
value = 60.0
[[event]]
step = 2
action = "start"
)";

TEST(StepLoop, TakesTheLinkThroughARunInOneOrder) {
    const struct {
        const char* name;
        std::string text;
        bool configures;
        std::vector<std::string> seen;
    } cases[] = {
        {"configures",
         kUnit,
         true,
         {"arm 0", "DCSConfigure=1", "DCSInitialize", "step 1", "arm 1", "DCSSimulate=1", "step 2", "arm 2", "set_tag",
          "DCSStart", "start", "DCSSimulate=1", "step 3", "arm 3", "DCSStop", "stop", "DCSSimulate=1", "DCSReset"}},
        // Nothing runs after a configuration that failed but DCSReset.
        {"does not configure",
         std::string(kUnit).replace(0, 24, "init_string = \"../broken/broken.mrx\""),
         false,
         {"arm 0", "DCSConfigure=0", "DCSReset"}},
    };
    for (const auto& c : cases) {
        const host::Case parsed = host::ParseCaseText(c.text, "case.toml", DCS_EXAMPLES_DIR "/unit");
        host::PrepareServer(parsed);
        host::Driver driver(DCS_DRIVER_PATH);
        host::Link link(driver);
        link.Load();
        link.Fill(parsed);
        Recorder recorder(link);
        {
            const host::QuietStandins quiet(host::QuietStandins::ErrorMsg::Quiet);
            EXPECT_EQ(host::StepLoop(driver, parsed, link, recorder).Run(3), c.configures) << c.name;
        }
        link.Destroy();
        EXPECT_EQ(recorder.seen, c.seen) << c.name;
        EXPECT_EQ(recorder.marksBeforeSimulate, 0) << c.name << ": the marks were not taken after a step";
    }
}

}  // namespace
