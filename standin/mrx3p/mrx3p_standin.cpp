// The simulated Marlix tag server behind the eleven client operations.
//
// Tag operations all run the same course: check the cookie cell, apply an
// injected status if one matches, then read or write the value store. A call
// that fails at any step leaves the store, the value cell and the cookie cell
// as they were and reports only through its status.
//
// The driver keeps its cookie cells inside packed records and its values in
// byte cells, so none of the caller's cells is assumed aligned: every one is
// read and written with memcpy.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "../common/standin_export.h"
#include "mrx3p_control.h"
#include "platform/mrx3p.h"

namespace {

struct TagKey {
    int32_t kind;
    int32_t dataSet;
    std::string name;
};

// Looked up by a view of the caller's text, so that finding a tag that is
// already held costs no allocation.
struct TagKeyView {
    int32_t kind;
    int32_t dataSet;
    std::string_view name;
};

struct TagKeyLess {
    using is_transparent = void;
    static std::tuple<int32_t, int32_t, std::string_view> Tie(const TagKey& k) { return {k.kind, k.dataSet, k.name}; }
    static std::tuple<int32_t, int32_t, std::string_view> Tie(const TagKeyView& k) {
        return {k.kind, k.dataSet, k.name};
    }
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
        return Tie(a) < Tie(b);
    }
};

struct TagValue {
    double real = 0.0;
    int32_t integer = 0;
};

struct Injection {
    int32_t operation;
    bool anyTag;
    std::string tag;
    int32_t status;
    int32_t remaining;  // < 0: until cleared
};

// A recorded answer of the server, for a replay.
struct Answer {
    double value;
    int32_t status;
    bool hasResult;
    double result;
};

// Scripts are keyed by operation, data set and tag text.
using ScriptKey = std::tuple<int32_t, int32_t, std::string>;

struct ScriptKeyLess {
    using is_transparent = void;
    using View = std::tuple<int32_t, int32_t, std::string_view>;
    static View Tie(const ScriptKey& k) { return {std::get<0>(k), std::get<1>(k), std::get<2>(k)}; }
    static View Tie(const View& k) { return k; }
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
        return Tie(a) < Tie(b);
    }
};

struct LogEntry {
    MrxCall call;
    std::string tag;  // owns the text call.tag points at
};

// Handles are numbered from a value no small integer left in a cell by
// accident would match.
constexpr uint32_t kFirstHandle = 0x4D580001u;

struct ServerState {
    std::string initString;
    bool lengthSetApart = false;
    int32_t reportedLength = 0;
    // A length change planned for after this many more length queries
    // (0: none planned), for a server whose string changes mid-configuration.
    int32_t lengthChangeAfter = 0;
    int32_t lengthChangeTo = 0;

    std::map<TagKey, TagValue, TagKeyLess> store;
    bool strictWrites = false;

    // Handle kFirstHandle + forgottenHandles + i belongs to the tag identity
    // handles[i]. A tag may own several handles, one per cell that was
    // brought to it. Forgotten handles keep their numbers: no later tag gets
    // one of them, and a cell that still holds one is a fault.
    std::vector<TagKey> handles;
    uint32_t forgottenHandles = 0;

    std::vector<Injection> injections;

    std::map<ScriptKey, std::deque<Answer>, ScriptKeyLess> scripts;
    std::deque<std::string> scriptedStrings;
    // The length the last GetInitStringLength answered (-1: none yet): a
    // scripted string is copied into a buffer the driver sized from it.
    int32_t lastLength = -1;

    MrxOps front{};
    bool hasFront = false;

    std::deque<LogEntry> log;  // a deque keeps each entry where it is
    bool logging = true;

    int32_t resetLinks = 0;
    int32_t cookieFaults = 0;
};

// Never destroyed, so that a driver unloading late still finds it.
ServerState& State() {
    static ServerState* state = new ServerState;
    return *state;
}

bool IsDoubleKind(int32_t kind) { return kind == MRX_KIND_AI || kind == MRX_KIND_AO || kind == MRX_KIND_CALC; }
bool IsIntKind(int32_t kind) { return kind == MRX_KIND_DI || kind == MRX_KIND_DO; }

const char* KindName(int32_t kind) {
    switch (kind) {
    case MRX_KIND_AI: return "AI";
    case MRX_KIND_AO: return "AO";
    case MRX_KIND_DI: return "DI";
    case MRX_KIND_DO: return "DO";
    case MRX_KIND_CALC: return "CALC";
    default: return "?";
    }
}

int32_t EffectiveLength(const ServerState& s) {
    if (s.lengthSetApart) {
        return s.reportedLength;
    }
    return s.initString.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(s.initString.size());
}

MrxCall* Log(int32_t operation, std::string_view tag) {
    ServerState& s = State();
    if (!s.logging) {
        return nullptr;
    }
    s.log.emplace_back();
    LogEntry& entry = s.log.back();
    entry.tag.assign(tag.data(), tag.size());
    entry.call = MrxCall{};
    entry.call.operation = operation;
    entry.call.tag = entry.tag.c_str();
    return &entry.call;
}

// Takes the next scripted answer of the call, if its queue holds one.
bool TakeScripted(int32_t operation, int32_t dataSet, std::string_view tag, Answer* answer) {
    ServerState& s = State();
    if (s.scripts.empty()) {
        return false;
    }
    const auto found = s.scripts.find(ScriptKeyLess::View{operation, dataSet, tag});
    if (found == s.scripts.end() || found->second.empty()) {
        return false;
    }
    *answer = found->second.front();
    found->second.pop_front();
    return true;
}

// Finds the injection that applies to the call and uses up one of its turns.
bool TakeInjection(int32_t operation, const char* tag, int32_t* status) {
    ServerState& s = State();
    for (auto it = s.injections.begin(); it != s.injections.end(); ++it) {
        if (it->operation != operation || !(it->anyTag || (tag != nullptr && it->tag == tag))) {
            continue;
        }
        *status = it->status;
        if (it->remaining > 0 && --it->remaining == 0) {
            s.injections.erase(it);
        }
        return true;
    }
    return false;
}

using Operation = MrxOperationInfo;

// The row of a tag operation, found while compiling.
constexpr const Operation& Row(MrxOperation ordinal) { return kMrxOperations[MrxOperationIndex(ordinal)]; }

double& Slot(TagValue& v, double*) { return v.real; }
int32_t& Slot(TagValue& v, int32_t*) { return v.integer; }
void LogValue(MrxCall& call, double value) { call.doubleValue = value; }
void LogValue(MrxCall& call, int32_t value) { call.intValue = value; }

// Whether the cell's handle was given out for exactly this tag. On a fault,
// prints what the cell held and whose handle that was.
bool CookieMatches(const Operation& op, const TagKeyView& key, const void* cell, uint32_t held) {
    ServerState& s = State();
    const char* problem = nullptr;
    const TagKey* owner = nullptr;
    if (cell == nullptr) {
        problem = "no cookie cell was passed";
    } else if (held != 0) {
        const uint32_t first = kFirstHandle + s.forgottenHandles;
        if (held < first || held - first >= s.handles.size()) {
            problem = "the cell holds no handle this server gave out, or one forgotten";
        } else {
            owner = &s.handles[held - first];
            if (owner->kind == key.kind && owner->dataSet == key.dataSet && owner->name == key.name) {
                return true;
            }
            problem = "the cell holds the handle of another tag";
        }
    } else {
        return true;
    }
    ++s.cookieFaults;
    std::fprintf(stderr, "[mrx3p] cookie fault in %s: data set %d, %s tag \"%.*s\", cell %p holding 0x%08lx: %s",
                 op.name, static_cast<int>(key.dataSet), KindName(key.kind), static_cast<int>(key.name.size()),
                 key.name.data(), cell, static_cast<unsigned long>(held), problem);
    if (owner != nullptr) {
        std::fprintf(stderr, " (%s tag \"%s\" of data set %d)", KindName(owner->kind), owner->name.c_str(),
                     static_cast<int>(owner->dataSet));
    }
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return false;
}

// A recorded number as the operation's type: integers are clamped to the
// 32-bit range (a recorded value is one already, a NaN becomes 0).
template <typename T>
T FromRecorded(double recorded) {
    if constexpr (std::is_same_v<T, double>) {
        return recorded;
    } else {
        if (!(recorded == recorded)) return 0;
        if (recorded <= static_cast<double>(INT32_MIN)) return INT32_MIN;
        if (recorded >= static_cast<double>(INT32_MAX)) return INT32_MAX;
        return static_cast<T>(recorded);
    }
}

template <typename T>
T TagOperation(const Operation& op, int32_t dataSet, const char* tag, uint32_t* cookie, T* value, int32_t* status) {
    ServerState& s = State();
    const TagKeyView key{op.tagKind, dataSet, tag != nullptr ? std::string_view(tag) : std::string_view("")};

    uint32_t held = 0;
    if (cookie != nullptr) {
        std::memcpy(&held, cookie, sizeof held);
    }
    uint32_t after = held;
    T passed{};
    if (op.write && value != nullptr) {
        std::memcpy(&passed, value, sizeof passed);
    }
    T result{};
    T stored{};  // what a read put into the value cell
    bool succeeded = false;
    int32_t outcome = MRX_STATUS_OK;
    Answer answer{};

    // The store's slot for the call: a write creates the tag unless writes
    // are strict.
    auto slotOf = [&]() -> T* {
        auto found = s.store.find(key);
        if (found == s.store.end() && op.write && !s.strictWrites) {
            found = s.store.emplace(TagKey{key.kind, key.dataSet, std::string(key.name)}, TagValue{}).first;
        }
        return found == s.store.end() ? nullptr : &Slot(found->second, static_cast<T*>(nullptr));
    };

    if (!CookieMatches(op, key, cookie, held)) {
        outcome = MRX_STATUS_COOKIE_FAULT;
    } else if (TakeScripted(op.ordinal, dataSet, key.name, &answer)) {
        outcome = answer.status;
        if (outcome == MRX_STATUS_OK && value == nullptr) {
            outcome = MRX_STATUS_BAD_ARGUMENT;
        } else if (outcome == MRX_STATUS_OK) {
            succeeded = true;
            if (op.write) {
                if (T* slot = slotOf()) *slot = passed;
                result = passed;
            } else {
                stored = FromRecorded<T>(answer.value);
                std::memcpy(value, &stored, sizeof stored);
                result = stored;
            }
        }
        if (answer.hasResult) {
            result = FromRecorded<T>(answer.result);
        }
    } else if (TakeInjection(op.ordinal, tag, &outcome)) {
        // The injected status stands in for the server's answer.
    } else if (value == nullptr) {
        outcome = MRX_STATUS_BAD_ARGUMENT;
    } else if (T* slot = slotOf()) {
        if (op.write) {
            *slot = passed;
        } else {
            stored = *slot;
            std::memcpy(value, &stored, sizeof stored);
        }
        result = *slot;
        succeeded = true;
    } else {
        outcome = MRX_STATUS_UNKNOWN_TAG;
    }
    if (succeeded && held == 0) {
        s.handles.push_back(TagKey{key.kind, key.dataSet, std::string(key.name)});
        after = kFirstHandle + s.forgottenHandles + static_cast<uint32_t>(s.handles.size() - 1);
        std::memcpy(cookie, &after, sizeof after);
    }

    if (status != nullptr) {
        std::memcpy(status, &outcome, sizeof outcome);
    }
    if (MrxCall* call = Log(op.ordinal, key.name)) {
        call->dataSet = dataSet;
        call->tagWasNull = tag == nullptr ? 1 : 0;
        call->cookieAddress = cookie;
        call->cookieBefore = held;
        call->cookieAfter = after;
        if (op.write) {
            LogValue(*call, passed);
        } else if (succeeded) {
            LogValue(*call, stored);
        }
        call->status = outcome;
    }
    return result;
}

TagValue* Held(int32_t kind, int32_t dataSet, const char* tag) {
    ServerState& s = State();
    const auto found = s.store.find(TagKeyView{kind, dataSet, tag != nullptr ? tag : ""});
    return found == s.store.end() ? nullptr : &found->second;
}

TagValue& HeldOrNew(int32_t kind, int32_t dataSet, const char* tag) {
    return State().store[TagKey{kind, dataSet, tag != nullptr ? tag : ""}];
}

// The server's own operations. The exported ones below hand a call to the
// front when one is set, and otherwise come here.

int32_t MRX_CALL DirectGetInitStringLength(void*) {
    ServerState& s = State();
    int32_t length = EffectiveLength(s);
    Answer answer{};
    if (TakeScripted(MRX_OP_GET_INIT_STRING_LENGTH, 0, "", &answer)) {
        length = FromRecorded<int32_t>(answer.hasResult ? answer.result : answer.value);
    } else if (s.lengthChangeAfter > 0 && --s.lengthChangeAfter == 0) {
        s.lengthSetApart = true;
        s.reportedLength = s.lengthChangeTo;
    }
    s.lastLength = length;
    if (MrxCall* call = Log(MRX_OP_GET_INIT_STRING_LENGTH, "")) {
        call->intValue = length;
    }
    return length;
}

// The caller sizes its buffer from GetInitStringLength (that length plus a
// terminator), so nothing past the reported length is ever written, and for
// a negative length, whose buffer may have no room at all, nothing is.
int32_t MRX_CALL DirectGetInitString(void*, char* buffer) {
    ServerState& s = State();
    int32_t copied = 0;
    if (!s.scriptedStrings.empty()) {
        const std::string text = std::move(s.scriptedStrings.front());
        s.scriptedStrings.pop_front();
        // A scripted string goes into a buffer sized from the length last
        // answered, whatever the string's own length.
        const int32_t room = s.lastLength >= 0 ? s.lastLength : EffectiveLength(s);
        if (buffer != nullptr && room >= 0) {
            const size_t n = std::min(static_cast<size_t>(room), text.size());
            std::memcpy(buffer, text.data(), n);
            buffer[n] = '\0';
            copied = static_cast<int32_t>(n);
        }
    } else {
        const int32_t reported = EffectiveLength(s);
        if (buffer != nullptr && reported >= 0) {
            const size_t n = std::min(static_cast<size_t>(reported), s.initString.size());
            std::memcpy(buffer, s.initString.data(), n);
            buffer[n] = '\0';
            copied = static_cast<int32_t>(n);
        }
    }
    if (MrxCall* call = Log(MRX_OP_GET_INIT_STRING, "")) {
        call->intValue = copied;
    }
    return copied;
}

int32_t MRX_CALL DirectResetLink(void*) {
    ServerState& s = State();
    ++s.resetLinks;
    int32_t result = MRX_STATUS_OK;
    Answer answer{};
    if (TakeScripted(MRX_OP_RESET_LINK, 0, "", &answer)) {
        result = FromRecorded<int32_t>(answer.hasResult ? answer.result : answer.value);
    } else {
        TakeInjection(MRX_OP_RESET_LINK, nullptr, &result);
    }
    if (MrxCall* call = Log(MRX_OP_RESET_LINK, "")) {
        call->intValue = result;
        call->status = result;
    }
    return result;
}

double MRX_CALL DirectReadAI(void*, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                             int32_t* status) {
    return TagOperation(Row(MRX_OP_READ_AI), dataSet, tag, cookie, value, status);
}
double MRX_CALL DirectWriteAI(void*, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                              int32_t* status) {
    return TagOperation(Row(MRX_OP_WRITE_AI), dataSet, tag, cookie, value, status);
}
double MRX_CALL DirectReadAO(void*, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                             int32_t* status) {
    return TagOperation(Row(MRX_OP_READ_AO), dataSet, tag, cookie, value, status);
}
int32_t MRX_CALL DirectReadDI(void*, int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                              int32_t* status) {
    return TagOperation(Row(MRX_OP_READ_DI), dataSet, tag, cookie, value, status);
}
int32_t MRX_CALL DirectWriteDI(void*, int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                               int32_t* status) {
    return TagOperation(Row(MRX_OP_WRITE_DI), dataSet, tag, cookie, value, status);
}
int32_t MRX_CALL DirectReadDO(void*, int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                              int32_t* status) {
    return TagOperation(Row(MRX_OP_READ_DO), dataSet, tag, cookie, value, status);
}
double MRX_CALL DirectReadCALC(void*, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                               int32_t* status) {
    return TagOperation(Row(MRX_OP_READ_CALC), dataSet, tag, cookie, value, status);
}
double MRX_CALL DirectWriteCALC(void*, int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                int32_t* status) {
    return TagOperation(Row(MRX_OP_WRITE_CALC), dataSet, tag, cookie, value, status);
}

constexpr MrxOps kDirectOps{nullptr,
                            DirectGetInitStringLength,
                            DirectGetInitString,
                            DirectResetLink,
                            DirectReadAI,
                            DirectWriteAI,
                            DirectReadAO,
                            DirectReadDI,
                            DirectWriteDI,
                            DirectReadDO,
                            DirectReadCALC,
                            DirectWriteCALC};

// Set while a front's call runs: what reaches the exported operations then
// came from the front itself and goes to the server.
thread_local bool insideFront = false;

// The table a call goes to: the front's, unless none is set or the call
// comes from inside it.
const MrxOps& Route() {
    const ServerState& s = State();
    return s.hasFront && !insideFront ? s.front : kDirectOps;
}

// Calls the operation of the table the call is routed to, marking a call
// into the front for the time it runs.
template <typename Member, typename... Args>
auto Dispatch(Member member, Args... args) {
    const MrxOps& ops = Route();
    if (&ops == &kDirectOps) {
        return (kDirectOps.*member)(nullptr, args...);
    }
    insideFront = true;
    struct Leave {
        ~Leave() { insideFront = false; }
    } leave;
    return (ops.*member)(ops.context, args...);
}

}  // namespace

extern "C" {

STANDIN_EXPORT int32_t MRX_CALL GetInitStringLength(void) { return Dispatch(&MrxOps::GetInitStringLength); }

STANDIN_EXPORT int32_t MRX_CALL GetInitString(char* buffer) { return Dispatch(&MrxOps::GetInitString, buffer); }

STANDIN_EXPORT int32_t MRX_CALL ResetLink(void) { return Dispatch(&MrxOps::ResetLink); }

STANDIN_EXPORT double MRX_CALL ReadAI(int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                      int32_t* status) {
    return Dispatch(&MrxOps::ReadAI, dataSet, tag, cookie, value, status);
}

STANDIN_EXPORT double MRX_CALL WriteAI(int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                       int32_t* status) {
    return Dispatch(&MrxOps::WriteAI, dataSet, tag, cookie, value, status);
}

STANDIN_EXPORT double MRX_CALL ReadAO(int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                      int32_t* status) {
    return Dispatch(&MrxOps::ReadAO, dataSet, tag, cookie, value, status);
}

STANDIN_EXPORT int32_t MRX_CALL ReadDI(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                                       int32_t* status) {
    return Dispatch(&MrxOps::ReadDI, dataSet, tag, cookie, value, status);
}

STANDIN_EXPORT int32_t MRX_CALL WriteDI(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                                        int32_t* status) {
    return Dispatch(&MrxOps::WriteDI, dataSet, tag, cookie, value, status);
}

STANDIN_EXPORT int32_t MRX_CALL ReadDO(int32_t dataSet, const char* tag, uint32_t* cookie, int32_t* value,
                                       int32_t* status) {
    return Dispatch(&MrxOps::ReadDO, dataSet, tag, cookie, value, status);
}

STANDIN_EXPORT double MRX_CALL ReadCALC(int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                        int32_t* status) {
    return Dispatch(&MrxOps::ReadCALC, dataSet, tag, cookie, value, status);
}

STANDIN_EXPORT double MRX_CALL WriteCALC(int32_t dataSet, const char* tag, uint32_t* cookie, double* value,
                                         int32_t* status) {
    return Dispatch(&MrxOps::WriteCALC, dataSet, tag, cookie, value, status);
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_DirectOps(MrxOps* ops) {
    if (ops != nullptr) {
        *ops = kDirectOps;
    }
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_SetFront(const MrxOps* front) {
    ServerState& s = State();
    s.hasFront = front != nullptr;
    s.front = front != nullptr ? *front : MrxOps{};
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_ScriptAnswer(int32_t operation, int32_t dataSet, const char* tag,
                                                             double value, int32_t status, int32_t has_result,
                                                             double result) {
    State().scripts[ScriptKey{operation, dataSet, tag != nullptr ? tag : ""}].push_back(
        Answer{value, status, has_result != 0, result});
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_ScriptInitString(const char* text, int32_t size) {
    State().scriptedStrings.emplace_back(text != nullptr && size > 0 ? std::string(text, static_cast<size_t>(size))
                                                                     : std::string());
}

STANDIN_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_ScriptRemaining(int32_t operation, int32_t dataSet,
                                                                   const char* tag) {
    const ServerState& s = State();
    const auto found = s.scripts.find(ScriptKeyLess::View{operation, dataSet, tag != nullptr ? tag : ""});
    return found == s.scripts.end() ? 0 : static_cast<int32_t>(found->second.size());
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_ClearScripts(void) {
    ServerState& s = State();
    s.scripts.clear();
    s.scriptedStrings.clear();
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_Reset(void) {
    ServerState& s = State();
    s.initString.clear();
    s.lengthSetApart = false;
    s.reportedLength = 0;
    s.lengthChangeAfter = 0;
    s.store.clear();
    s.strictWrites = false;
    s.injections.clear();
    s.scripts.clear();
    s.scriptedStrings.clear();
    s.lastLength = -1;
    s.log.clear();
    s.resetLinks = 0;
    s.cookieFaults = 0;
    // The handles stay: a cell given one before the reset still names its
    // tag, and numbering on keeps a stale cell from matching a new tag.
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_ForgetHandles(void) {
    ServerState& s = State();
    s.forgottenHandles += static_cast<uint32_t>(s.handles.size());
    s.handles.clear();
    s.handles.shrink_to_fit();
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_SetInitString(const char* text) {
    State().initString = text != nullptr ? text : "";
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_SetInitStringBytes(const char* bytes, int32_t length) {
    State().initString = bytes != nullptr && length > 0 ? std::string(bytes, static_cast<size_t>(length)) : "";
}

STANDIN_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_SetInitStringFromFile(const char* path) {
    if (path == nullptr) {
        return -1;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return -1;
    }
    std::string text;
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return -1;  // the previous text stays
    }
    State().initString = std::move(text);
    return 0;
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_SetReportedLength(int32_t length) {
    ServerState& s = State();
    s.lengthSetApart = true;
    s.reportedLength = length;
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_ChangeReportedLengthAfter(int32_t queries, int32_t length) {
    ServerState& s = State();
    s.lengthChangeAfter = queries > 0 ? queries : 0;
    s.lengthChangeTo = length;
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_ClearReportedLength(void) {
    ServerState& s = State();
    s.lengthSetApart = false;
    s.reportedLength = 0;
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_SetDouble(int32_t kind, int32_t dataSet, const char* tag,
                                                          double value) {
    if (!IsDoubleKind(kind)) {
        std::fprintf(stderr, "[mrx3p] MrxStandin_SetDouble: kind %d does not hold doubles; nothing stored\n",
                     static_cast<int>(kind));
        return;
    }
    HeldOrNew(kind, dataSet, tag).real = value;
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_SetInt(int32_t kind, int32_t dataSet, const char* tag, int32_t value) {
    if (!IsIntKind(kind)) {
        std::fprintf(stderr, "[mrx3p] MrxStandin_SetInt: kind %d does not hold integers; nothing stored\n",
                     static_cast<int>(kind));
        return;
    }
    HeldOrNew(kind, dataSet, tag).integer = value;
}

STANDIN_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_GetDouble(int32_t kind, int32_t dataSet, const char* tag,
                                                             double* value) {
    const TagValue* held = IsDoubleKind(kind) ? Held(kind, dataSet, tag) : nullptr;
    if (held == nullptr) {
        return 0;
    }
    if (value != nullptr) {
        *value = held->real;
    }
    return 1;
}

STANDIN_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_GetInt(int32_t kind, int32_t dataSet, const char* tag,
                                                          int32_t* value) {
    const TagValue* held = IsIntKind(kind) ? Held(kind, dataSet, tag) : nullptr;
    if (held == nullptr) {
        return 0;
    }
    if (value != nullptr) {
        *value = held->integer;
    }
    return 1;
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_SetStrictWrites(int32_t on) { State().strictWrites = on != 0; }

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_InjectStatus(int32_t operation, const char* tag, int32_t status,
                                                             int32_t times) {
    if (times == 0) {
        return;
    }
    State().injections.push_back(
        Injection{operation, tag == nullptr, tag != nullptr ? tag : "", status, times < 0 ? -1 : times});
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_ClearInjections(void) { State().injections.clear(); }

STANDIN_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_CallCount(void) { return static_cast<int32_t>(State().log.size()); }

STANDIN_EXPORT const MrxCall* MRX_CONTROL_CALL MrxStandin_Call(int32_t index) {
    const ServerState& s = State();
    if (index < 0 || static_cast<size_t>(index) >= s.log.size()) {
        return nullptr;
    }
    return &s.log[static_cast<size_t>(index)].call;
}

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_ClearCallLog(void) { State().log.clear(); }

STANDIN_EXPORT void MRX_CONTROL_CALL MrxStandin_SetLogging(int32_t on) { State().logging = on != 0; }

STANDIN_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_ResetLinkCount(void) { return State().resetLinks; }

STANDIN_EXPORT int32_t MRX_CONTROL_CALL MrxStandin_CookieFaults(void) { return State().cookieFaults; }

}  // extern "C"
