#include "link/session.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "case/input_file.h"
#include "os/os.h"

#include "iface_control.h"
#include "mrx3p_control.h"
#include "user32_control.h"

namespace host {

const char* const kDataSetLabel = "Data Set";
const char* const kEnabledFlagLabel = "Enabled Flag";
const char* const kRunningFlagLabel = "Running Flag";

void PrepareServer(const Case& c) {
    MrxStandin_Reset();
    MrxStandin_SetLogging(1);
    IFaceStandin_Reset();
    User32Standin_Reset();
    // Read here rather than by the stand-in, so that a path in any language
    // works on Windows too.
    std::string text;
    try {
        text = ReadInputFile(c.initStringPath, "the initialization string file");
    } catch (const std::runtime_error& e) {
        throw CaseError(Located(c.file, c.initStringLine, e.what()));
    }
    MrxStandin_SetInitStringBytes(text.data(), static_cast<int32_t>(text.size()));
    for (const TagValue& tag : c.tags) {
        SetTag(tag);
    }
}

void ServeInitStringFile(const std::string& path) {
    MrxStandin_Reset();
    IFaceStandin_Reset();
    User32Standin_Reset();
    MrxStandin_SetLogging(0);
    if (MrxStandin_SetInitStringFromFile(path.c_str()) != 0) {
        throw std::runtime_error("cannot read the initialization string file \"" + path + "\"");
    }
}

void ServeInitString(const std::string& text, int64_t length) {
    MrxStandin_Reset();
    IFaceStandin_Reset();
    User32Standin_Reset();
    MrxStandin_SetInitString(text.c_str());
    MrxStandin_SetReportedLength(static_cast<int32_t>(std::clamp<int64_t>(length, INT32_MIN, INT32_MAX)));
}

void ResetServer() { MrxStandin_Reset(); }

std::optional<FailedRead> FailedReadOf(const std::string& text) {
    // The driver's text: "Error reading %s tag for %s tag %s of %s at index %d".
    const std::string lead = "Error reading ";
    if (text.compare(0, lead.size(), lead) != 0) return std::nullopt;
    FailedRead read;
    const size_t kindEnd = text.find(" tag for ", lead.size());
    if (kindEnd == std::string::npos) return std::nullopt;
    read.kind = text.substr(lead.size(), kindEnd - lead.size());
    const size_t roleStart = kindEnd + 9;
    const size_t roleEnd = text.find(" tag ", roleStart);
    if (roleEnd == std::string::npos) return std::nullopt;
    read.role = text.substr(roleStart, roleEnd - roleStart);
    for (const char* owner : {"controller", "PV Import"}) {
        const std::string tail = std::string(" of ") + owner + " at index ";
        const size_t at = text.rfind(tail);
        if (at == std::string::npos || at < roleEnd + 5) continue;
        read.tag = text.substr(roleEnd + 5, at - roleEnd - 5);
        read.owner = owner;
        read.index = static_cast<int32_t>(std::strtol(text.c_str() + at + tail.size(), nullptr, 10));
        return read;
    }
    return std::nullopt;
}

std::optional<double> ServerValue(TagKind kind, int32_t dataSet, const std::string& name) {
    const auto code = static_cast<int32_t>(kind);
    if (IsIntegerKind(kind)) {
        int32_t value = 0;
        if (MrxStandin_GetInt(code, dataSet, name.c_str(), &value) != 1) return std::nullopt;
        return static_cast<double>(value);
    }
    double value = 0.0;
    if (MrxStandin_GetDouble(code, dataSet, name.c_str(), &value) != 1) return std::nullopt;
    return value;
}

bool ServerHolds(const std::string& kind, int32_t dataSet, const std::string& name) {
    for (TagKind k : {TagKind::AI, TagKind::AO, TagKind::DI, TagKind::DO, TagKind::CALC}) {
        if (kind == TagKindName(k)) return ServerValue(k, dataSet, name).has_value();
    }
    return false;
}

FailureSchedule::FailureSchedule(const Case& c) {
    for (const ServerFailure& f : c.failures) byStep_[f.step].push_back(&f);
}

void FailureSchedule::Arm(int32_t step) const {
    const auto found = byStep_.find(step);
    if (found == byStep_.end()) return;
    for (const ServerFailure* f : found->second) {
        MrxStandin_InjectStatus(f->operation, f->name.empty() ? nullptr : f->name.c_str(), f->status, f->times);
    }
}

void StopCallLog() {
    MrxStandin_SetLogging(0);
    MrxStandin_ClearCallLog();
}

void SetTag(const TagValue& tag) {
    if (IsIntegerKind(tag.kind)) {
        MrxStandin_SetInt(static_cast<int32_t>(tag.kind), tag.dataSet, tag.name.c_str(),
                          static_cast<int32_t>(tag.value));
    } else {
        MrxStandin_SetDouble(static_cast<int32_t>(tag.kind), tag.dataSet, tag.name.c_str(), tag.value);
    }
}

std::vector<Message> MessageWatch::Take() {
    std::vector<Message> messages;
    const int32_t boxes = User32Standin_BoxCount();
    for (; boxes_ < boxes; ++boxes_) {
        messages.push_back({true, User32Standin_BoxCaption(boxes_), User32Standin_BoxText(boxes_)});
    }
    const int32_t errors = IFaceStandin_ErrorMessageCount();
    for (; errors_ < errors; ++errors_) {
        messages.push_back({false, "", IFaceStandin_ErrorMessage(errors_)});
    }
    return messages;
}

namespace {

// A box as the stand-in frames it, in UTF-8.
void Echo(const std::string& title, const std::string& text) {
    constexpr size_t kFrameWidth = 60;
    std::string top = "=== " + title + " ";
    if (top.size() < kFrameWidth) top.append(kFrameWidth - top.size(), '=');
    std::string out = top + "\n";
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out += "| " + line + "\n";
        if (end == std::string::npos) break;
        start = end + 1;
    }
    out.append(kFrameWidth, '=');
    os::Write(stderr, out + "\n");
    std::fflush(stderr);
}

}  // namespace

int32_t OnBox(BoxCapture& capture, const char* caption, const char* text) {
    // The driver's texts are in the simulator's code page; a box is shown
    // here, decoded, rather than echoed by the stand-in as bytes.
    const std::string title = capture.codePage_.Decode(caption != nullptr ? caption : "");
    const std::string body = capture.codePage_.Decode(text != nullptr ? text : "");
    ++capture.raised_;
    if (!capture.keep_(title, body)) {
        return 0;
    }
    Echo(title, body);
    capture.kept_.push_back({"box", title, body, capture.phase_});
    return 0;
}

namespace {

// The stand-in echoes the box when this returns 1.
extern "C" int32_t USER32_CONTROL_CALL ShowBox(const char* caption, const char* text, void* context) {
    return OnBox(*static_cast<BoxCapture*>(context), caption, text);
}

}  // namespace

BoxCapture::BoxCapture(Filter keep, int codePage)
    : keep_(std::move(keep)), codePage_(CodePage::Find(codePage).value_or(*CodePage::Find(kDefaultCodePage))) {
    User32Standin_SetListener(ShowBox, this);
}

BoxCapture::~BoxCapture() { User32Standin_SetListener(nullptr, nullptr); }

std::vector<DriverMessage> Raised(const std::vector<Message>& messages, const std::string& raisedBy) {
    std::vector<DriverMessage> raised;
    for (const Message& m : messages) raised.push_back({m.box ? "box" : "ErrorMsg", m.caption, m.text, raisedBy});
    return raised;
}

std::optional<int32_t> FlagTag(const Link& link, const char* label) {
    const std::string name = link.GeneralText(label);
    int32_t value = 0;
    if (name.empty() ||
        MrxStandin_GetInt(MRX_KIND_DI, link.GeneralInteger(kDataSetLabel, 0), name.c_str(), &value) != 1) {
        return std::nullopt;
    }
    return value;
}

BlockCounts LiveBlocks() {
    return {IFaceStandin_LiveBlocks(IFACE_FAMILY_MALLOC), IFaceStandin_LiveBlocks(IFACE_FAMILY_NEW)};
}

void CheckReleased(const BlockCounts& before) {
    const BlockCounts now = LiveBlocks();
    const int64_t mallocLeft = now.malloc - before.malloc;
    const int64_t newLeft = now.objects - before.objects;
    if (mallocLeft != 0 || newLeft != 0) {
        std::fprintf(stderr,
                     "dcs-host: warning: after DCSDestroy the driver still holds %lld malloc and %lld new blocks\n",
                     static_cast<long long>(mallocLeft), static_cast<long long>(newLeft));
    }
    if (MrxStandin_CookieFaults() != 0) {
        std::fprintf(stderr, "dcs-host: warning: the tag server counted %d cookie faults\n",
                     static_cast<int>(MrxStandin_CookieFaults()));
    }
}

QuietStandins::QuietStandins(ErrorMsg errorMsg) : errorMsgQuiet_(errorMsg == ErrorMsg::Quiet) {
    User32Standin_SetEcho(0);
    if (errorMsgQuiet_) IFaceStandin_SetEcho(0);
}

QuietStandins::~QuietStandins() {
    User32Standin_SetEcho(1);
    if (errorMsgQuiet_) IFaceStandin_SetEcho(1);
}

std::vector<LoggedCall> CallLog() {
    std::vector<LoggedCall> calls;
    for (int32_t i = 0; i < MrxStandin_CallCount(); ++i) {
        const MrxCall* call = MrxStandin_Call(i);
        if (call != nullptr) {
            calls.push_back({call->operation, call->dataSet, call->tag != nullptr ? call->tag : "", call->status});
        }
    }
    return calls;
}

const char* OperationName(int32_t operation) {
    const MrxOperationInfo* op = MrxOperationOf(operation);
    return op != nullptr && MrxIsTagOperation(*op) ? op->name : nullptr;
}

}  // namespace host
