// First cut: the operations forward, nothing is recorded yet.
#include "trace_core.h"

#include <atomic>

namespace mrxtrace {

class Recorder {
public:
    Recorder(const MrxClientOps& real, const TraceSettings& settings) : real_(real), settings_(settings) {}
    MrxClientOps real_;
    TraceSettings settings_;
};

bool ParseTraceLevel(const std::string& text, TraceLevel* level) {
    if (text == "all") {
        *level = TraceLevel::All;
    } else if (text == "changes") {
        *level = TraceLevel::Changes;
    } else if (text == "failures") {
        *level = TraceLevel::Failures;
    } else {
        return false;
    }
    return true;
}

const char* TraceLevelName(TraceLevel level) {
    switch (level) {
    case TraceLevel::All: return "all";
    case TraceLevel::Changes: return "changes";
    case TraceLevel::Failures: return "failures";
    }
    return "changes";
}

TraceSession::TraceSession(const MrxClientOps& real, const TraceSettings& settings)
    : recorder_(new Recorder(real, settings)) {}
TraceSession::~TraceSession() = default;
bool TraceSession::Recording() const { return false; }
std::string TraceSession::Problem() const { return "not yet recording"; }
std::string TraceSession::FilePath() const { return ""; }
int32_t TraceSession::GetInitStringLength() { return recorder_->real_.GetInitStringLength(); }
int32_t TraceSession::GetInitString(char* b) { return recorder_->real_.GetInitString(b); }
int32_t TraceSession::ResetLink() { return recorder_->real_.ResetLink(); }
#define FORWARD(T, Op, V)                                                                               \
    T TraceSession::Op(int32_t dataSet, const char* tag, uint32_t* cookie, V* value, int32_t* status) { \
        return recorder_->real_.Op(dataSet, tag, cookie, value, status);                                \
    }
FORWARD(double, ReadAI, double)
FORWARD(double, WriteAI, double)
FORWARD(double, ReadAO, double)
FORWARD(int32_t, ReadDI, int32_t)
FORWARD(int32_t, WriteDI, int32_t)
FORWARD(int32_t, ReadDO, int32_t)
FORWARD(double, ReadCALC, double)
FORWARD(double, WriteCALC, double)
#undef FORWARD
void TraceSession::Flush() {}
void TraceSession::End() {}
void TraceSession::EndIfFree() {}

namespace {
std::atomic<TraceSession*> g_installed{nullptr};
}
void Install(TraceSession* session) { g_installed.store(session); }
TraceSession* Installed() { return g_installed.load(); }
const MrxClientOps& TracedOps() {
    static const MrxClientOps ops{};
    return ops;
}

}  // namespace mrxtrace
