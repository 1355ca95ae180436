#include "trace/trace_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "case/input_file.h"
#include "os/os.h"
#include "platform/mrx3p_operations.h"

namespace host {

namespace {

using nlohmann::json;

// Notes of one kind beyond this many are only counted.
constexpr int64_t kNotesShown = 5;

// A line of the trace that does not hold what its type promises.
class BadRecord : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const json* Field(const json& record, const char* name) {
    const auto found = record.find(name);
    return found == record.end() || found->is_null() ? nullptr : &*found;
}

int64_t Integer(const json& record, const char* name, int64_t fallback = 0) {
    const json* field = Field(record, name);
    if (field == nullptr) return fallback;
    if (field->is_number_integer()) return field->get<int64_t>();
    if (field->is_number_unsigned()) {
        const uint64_t value = field->get<uint64_t>();
        return value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                                  : static_cast<int64_t>(value);
    }
    throw BadRecord(std::string("\"") + name + "\" is not an integer");
}

int32_t Int32(const json& record, const char* name, int32_t fallback = 0) {
    const int64_t value = Integer(record, name, fallback);
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
        throw BadRecord(std::string("\"") + name + "\" is outside the 32-bit range");
    }
    return static_cast<int32_t>(value);
}

// A number as the tracer writes one: a JSON number, or "nan", "inf", "-inf".
std::optional<double> Real(const json& record, const char* name) {
    const json* field = Field(record, name);
    if (field == nullptr) return std::nullopt;
    if (field->is_number()) return field->get<double>();
    if (field->is_string()) {
        const std::string& text = field->get_ref<const std::string&>();
        if (text == "nan") return std::numeric_limits<double>::quiet_NaN();
        if (text == "inf") return std::numeric_limits<double>::infinity();
        if (text == "-inf") return -std::numeric_limits<double>::infinity();
    }
    throw BadRecord(std::string("\"") + name + "\" is not a number");
}

std::string Text(const json& record, const char* name) {
    const json* field = Field(record, name);
    if (field == nullptr) return {};
    if (!field->is_string()) throw BadRecord(std::string("\"") + name + "\" is not a string");
    return field->get<std::string>();
}

// A byte-text field; `null` when the field holds null (a null pointer).
std::string Bytes(const json& record, const char* name, bool* null = nullptr) {
    const auto found = record.find(name);
    if (null != nullptr) *null = found == record.end() || found->is_null();
    if (found == record.end() || found->is_null()) return {};
    if (!found->is_string()) throw BadRecord(std::string("\"") + name + "\" is not a string");
    std::string bytes;
    if (!DecodeByteText(found->get_ref<const std::string&>(), bytes)) {
        throw BadRecord(std::string("\"") + name + "\" holds a character above U+00FF, which stands for no byte");
    }
    return bytes;
}

void ReadCall(const json& j, TraceCall& c) {
    c = TraceCall{};
    c.seq = Integer(j, "seq");
    c.tUs = Integer(j, "t_us");
    c.op = Text(j, "op");
    c.ordinal = Int32(j, "ordinal", TraceOrdinal(c.op));
    if (c.op.empty()) c.op = TraceOperationName(c.ordinal) != nullptr ? TraceOperationName(c.ordinal) : "";
    if (c.op.empty() || TraceOrdinal(c.op) == 0) {
        throw BadRecord("a call of no known operation");
    }
    // Tag operations are numbered from ReadAI up (a record may pair a known
    // op with an ordinal of its own).
    c.tagOperation = c.ordinal >= MRX_OP_READ_AI;
    c.dataSet = Int32(j, "data_set");
    c.tag = Bytes(j, "tag", &c.tagNull);
    c.value = Real(j, "value");
    c.status = Int32(j, "status");
    c.result = Real(j, "result");
    c.cookieBefore = static_cast<uint32_t>(Integer(j, "cookie_before"));
    c.cookieAfter = static_cast<uint32_t>(Integer(j, "cookie_after"));
    c.durNs = Integer(j, "dur_ns", -1);
    if (c.durNs < -1) throw BadRecord("\"dur_ns\" is negative");
    c.folded = Integer(j, "folded");
    if (c.folded < 0) throw BadRecord("\"folded\" is negative");
}

void ReadSummary(const json& j, TraceSummaryRecord& s) {
    s = TraceSummaryRecord{};
    s.reason = Text(j, "reason");
    s.seq = Integer(j, "seq");
    s.tUs = Integer(j, "t_us");
    s.calls = Integer(j, "calls");
    s.failures = Integer(j, "failures");
    if (const json* ops = Field(j, "ops")) {
        if (!ops->is_object()) throw BadRecord("\"ops\" is not an object");
        for (const auto& [name, figures] : ops->items()) {
            if (!figures.is_object()) throw BadRecord("\"ops\" of " + name + " is not an object");
            OpFigures f;
            f.op = name;
            f.calls = Integer(figures, "calls");
            f.failures = Integer(figures, "failures");
            if (const json* dur = Field(figures, "dur_ns")) {
                if (!dur->is_object()) throw BadRecord("\"dur_ns\" of " + name + " is not an object");
                f.medianNs = Integer(*dur, "median");
                f.p99Ns = Integer(*dur, "p99");
                f.maxNs = Integer(*dur, "max");
                // Version 1 timed every call.
                f.timed = Integer(figures, "timed", f.calls);
            }
            s.ops.push_back(std::move(f));
        }
    }
    const json* stopped = Field(j, "stopped");
    s.stopped = stopped != nullptr && stopped->is_boolean() && stopped->get<bool>();
    if (const json* folds = Field(j, "pending_folds")) {
        if (!folds->is_array()) throw BadRecord("\"pending_folds\" is not a list");
        for (const json& f : *folds) {
            if (!f.is_object()) throw BadRecord("an entry of \"pending_folds\" is not an object");
            PendingFold fold;
            fold.op = Text(f, "op");
            fold.dataSet = Int32(f, "data_set");
            fold.tag = Bytes(f, "tag");
            fold.folded = Integer(f, "folded");
            s.pendingFolds.push_back(std::move(fold));
        }
    }
}

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", value);
    return text;
}

}  // namespace

const char* TraceOperationName(int32_t ordinal) {
    const MrxOperationInfo* op = MrxOperationOf(ordinal);
    return op != nullptr ? op->name : nullptr;
}

int32_t TraceOrdinal(const std::string& op) {
    const MrxOperationInfo* found = MrxOperationNamed(op);
    return found != nullptr ? found->ordinal : 0;
}

bool DecodeByteText(const std::string& utf8, std::string& bytes) {
    bytes.clear();
    bytes.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
            continue;
        }
        // Only two-byte sequences encode U+0080..U+00FF: lead byte C2 or C3.
        if ((c != 0xC2 && c != 0xC3) || i + 1 >= utf8.size()) return false;
        const unsigned char next = static_cast<unsigned char>(utf8[i + 1]);
        if ((next & 0xC0) != 0x80) return false;
        bytes += static_cast<char>(((c & 0x1F) << 6) | (next & 0x3F));
        ++i;
    }
    return true;
}

std::string EncodeByteText(const std::string& bytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (const char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            utf8 += ch;
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string DisplayBytes(const std::string& bytes, const CodePage& codePage) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            out += ch;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (const char32_t character = codePage.CharacterOf(c)) {
            AppendUtf8(out, character);
        } else {
            out += Hex(c);
        }
    }
    return out;
}

std::string DisplayBytes(const std::string& bytes) { return DisplayBytes(bytes, *CodePage::Find(kDefaultCodePage)); }

TraceCodePage CodePageOfTrace(const TraceHeader& header, std::optional<int> chosen) {
    const CodePage fallback = *CodePage::Find(kDefaultCodePage);
    if (chosen) {
        if (const std::optional<CodePage> page = CodePage::Find(*chosen)) return {*page, "--code-page", ""};
        return {fallback, "the default (--code-page " + std::to_string(*chosen) + " is none dcs-host has)", ""};
    }
    if (header.codePage == 0) {
        return {fallback,
                "the default: a trace of format version " + std::to_string(header.version) +
                    " names no code page (--code-page names another)",
                ""};
    }
    const std::optional<CodePage> page =
        header.codePage <= 65535 ? CodePage::Find(static_cast<int>(header.codePage)) : std::nullopt;
    if (page) return {*page, "the trace's header", ""};
    return {fallback, "the default (the trace's code page is none dcs-host has)",
            "the header names code page " + std::to_string(header.codePage) + ", which this dcs-host does not have (" +
                CodePage::Supported() + "): the names are shown in code page 1252 (--code-page names another)"};
}

namespace {

// The header's fields. Throws BadRecord.
void ReadHeader(const json& j, TraceHeader& h) {
    h.version = Integer(j, "version", -1);
    h.tracer = Text(j, "tracer");
    h.level = Text(j, "level");
    h.limitMb = Integer(j, "limit_mb");
    h.pid = Integer(j, "pid");
    h.startUtc = Text(j, "start_utc");
    h.timerResolutionNs = Integer(j, "timer_resolution_ns");
    h.codePage = Integer(j, "code_page");
    if (h.codePage < 0) throw BadRecord("\"code_page\" is negative");
    h.realLibrary = Text(j, "real_library");
    h.realFileVersion = Text(j, "real_file_version");
    h.settings = Text(j, "settings");
    h.realLibraryError = Text(j, "real_library_error");
    h.settingsWarning = Text(j, "settings_warning");
}

// The tracer starts every header line so; a reader that only counts
// headers need not parse the lines between.
constexpr char kHeaderStart[] = "{\"type\":\"header\"";

bool IsHeaderLine(const std::string& line) { return line.compare(0, sizeof kHeaderStart - 1, kHeaderStart) == 0; }

std::string LineLengthText(int64_t length) {
    return std::to_string(length) + " bytes, longer than the " + std::to_string(kMaxRecordBytes / (1024 * 1024)) +
           " MiB this dcs-host reads in a record";
}

}  // namespace

std::string ShortDisplayBytes(const std::string& bytes, const CodePage& codePage, size_t shown) {
    if (bytes.size() <= shown) return DisplayBytes(bytes, codePage);
    return DisplayBytes(bytes.substr(0, shown), codePage) + "\xE2\x80\xA6 (" + std::to_string(bytes.size()) + " bytes)";
}

std::string ShortDisplayBytes(const std::string& bytes, size_t shown) {
    return ShortDisplayBytes(bytes, *CodePage::Find(kDefaultCodePage), shown);
}

TraceReader::TraceReader(const std::string& path) : path_(path), buffer_(256 * 1024) {
    RequireRegularFile(path, "the trace");
    std::string why;
    in_.reset(os::OpenFile(path, "rb", why));
    if (!in_) {
        throw TraceError("cannot read the trace \"" + path + "\": " + why);
    }
    LineEnd end = LineEnd::Feed;
    int64_t length = 0;
    if (!ReadLine(line_text_, end, length)) {
        throw TraceError("the trace \"" + path + "\" is empty: it holds not even its header line");
    }
    if (length > kMaxRecordBytes) {
        throw TraceError("\"" + path + "\" is not a trace of the Marlix client: its first line is " +
                         LineLengthText(length) + ", no header record");
    }
    json j = json::parse(line_text_, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("type") || j["type"] != "header") {
        throw TraceError("\"" + path + "\" is not a trace of the Marlix client: its first line is no header record" +
                         (end == LineEnd::Feed ? "" : " (and it is cut off)"));
    }
    try {
        const std::string format = Text(j, "format");
        if (format != "mrx3p-trace") {
            throw TraceError("\"" + path + "\" is not a trace of the Marlix client: its header names the format \"" +
                             format + "\", not \"mrx3p-trace\"");
        }
        ReadHeader(j, header_);
        if (header_.version < kOldestTraceFormatVersion || header_.version > kTraceFormatVersion) {
            throw TraceError("the trace \"" + path + "\" is written in format version " +
                             std::to_string(header_.version) + "; this dcs-host reads versions " +
                             std::to_string(kOldestTraceFormatVersion) + " to " + std::to_string(kTraceFormatVersion) +
                             " (use the dcs-host of the tracer's kit)");
        }
    } catch (const BadRecord& e) {
        throw TraceError("the header of the trace \"" + path + "\" is not readable: " + e.what());
    }
    if (header_.level != "all" && header_.level != "changes" && header_.level != "failures") {
        Note("line 1: the header names the level \"" + header_.level +
             "\", none of all, changes, failures; read as failures");
        header_.level = "failures";
    }
}

bool TraceReader::Fill() {
    if (begin_ < end_) return true;
    const size_t got = std::fread(buffer_.data(), 1, buffer_.size(), in_.get());
    if (got < buffer_.size() && std::ferror(in_.get()) != 0) {
        throw TraceError("cannot read the trace \"" + path_ + "\" past line " + std::to_string(line_) + ": " +
                         std::strerror(errno));
    }
    begin_ = 0;
    end_ = got;
    return end_ > 0;
}

bool TraceReader::ReadLine(std::string& line, LineEnd& end, int64_t& length) {
    line.clear();
    length = 0;
    bool any = false;
    while (Fill()) {
        any = true;
        const char* from = buffer_.data() + begin_;
        const size_t available = end_ - begin_;
        const char* feed = static_cast<const char*>(std::memchr(from, '\n', available));
        const size_t take = feed != nullptr ? static_cast<size_t>(feed - from) : available;
        const size_t room = static_cast<size_t>(std::max<int64_t>(0, kMaxRecordBytes - length));
        line.append(from, std::min(take, room));
        length += static_cast<int64_t>(take);
        begin_ += take;
        if (feed != nullptr) {
            ++begin_;
            ++line_;
            end = LineEnd::Feed;
            return true;
        }
    }
    if (!any) return false;
    ++line_;
    end = LineEnd::EndOfFile;
    return true;
}

void TraceReader::Note(const std::string& text) { notes_.push_back(text); }

void TraceReader::Skipped(const std::string& why) {
    ++skipped_;
    if (skipped_ <= kNotesShown) {
        Note("line " + std::to_string(line_) + ": skipped, " + why);
    } else if (skipped_ == kNotesShown + 1) {
        Note("more lines skipped; the end of the notes counts them");
    }
}

void TraceReader::SkipOtherProcesses(const TraceHeader& second) {
    const int64_t at = line_;
    std::string starts = std::to_string(at);
    LineEnd end = LineEnd::Feed;
    int64_t length = 0;
    std::string line;
    while (ReadLine(line, end, length)) {
        if (!IsHeaderLine(line)) continue;
        if (++processes_ <= 8) starts += ", " + std::to_string(line_);
    }
    ++processes_;
    if (processes_ > 9) starts += " and " + std::to_string(processes_ - 9) + " more";
    Note("line " + std::to_string(at) + ": a second trace begins here (process " + std::to_string(second.pid) +
         ", started " + second.startUtc + "): the file holds the traces of " + std::to_string(processes_) +
         " processes one after another, as joined files do. Only the first, lines 1 to " + std::to_string(at - 1) +
         ", is read; " + (processes_ == 2 ? "the other begins at line " : "the others begin at lines ") + starts +
         " (cut the file there to read each one)");
}

void TraceReader::NoteEnd() {
    if (ended_) return;
    ended_ = true;
    if (skipped_ > kNotesShown) Note(std::to_string(skipped_) + " lines skipped in all");
    if (outOfOrder_ > 0) {
        Note(std::to_string(outOfOrder_) +
             " records out of order left out: the tracer writes its records by rising seq, so this file has been "
             "sorted, shuffled or edited; the figures are of the records in order only");
    }
    finished_ = lastSummaryReason_ == "exit" || lastSummaryReason_ == "limit";
    if (!finished_) {
        Note(
            "the trace is unfinished: it ends without the summary its process writes at exit, so the process was "
            "killed or is still running; the last record read is seq " +
            std::to_string(lastSeq_) + " (line " + std::to_string(lastSeqLine_) +
            "), and the counts are of the calls written up to there");
    }
}

bool TraceReader::Next(TraceRecord& record) {
    LineEnd end = LineEnd::Feed;
    int64_t length = 0;
    while (!ended_ && ReadLine(line_text_, end, length)) {
        const bool complete = end == LineEnd::Feed;
        if (length > kMaxRecordBytes) {
            if (!complete) {
                cutOff_ = true;
                Note("line " + std::to_string(line_) + ": the trace ends in a line cut off after " +
                     std::to_string(length) + " bytes; read up to the line before");
                break;
            }
            const bool initString = line_text_.compare(0, 22, "{\"type\":\"init_string\"") == 0;
            Skipped("a line of " + LineLengthText(length) +
                    (initString ? " (an initialization string of that fetch is not read)" : ""));
            continue;
        }
        json j = json::parse(line_text_, nullptr, false);
        if (!complete && (j.is_discarded() || !j.is_object())) {
            cutOff_ = true;
            Note("line " + std::to_string(line_) + ": the trace ends in a line cut off after " +
                 std::to_string(line_text_.size()) +
                 " bytes, as a process killed while writing leaves it; read up to the line before");
            break;
        }
        try {
            if (j.is_discarded() || !j.is_object()) throw BadRecord("not a JSON object");
            const std::string type = Text(j, "type");
            record.line = line_;
            int64_t seq = 0;
            bool callRecord = false;
            if (type == "call") {
                record.type = TraceRecordType::Call;
                ReadCall(j, record.call);
                seq = record.call.seq;
                callRecord = true;
            } else if (type == "init_string") {
                record.type = TraceRecordType::InitString;
                TraceInitString& s = record.initString;
                s.seq = seq = Integer(j, "seq");
                s.tUs = Integer(j, "t_us");
                s.length = Integer(j, "length");
                s.text = Bytes(j, "text");
                const int64_t count = Integer(j, "bytes", static_cast<int64_t>(s.text.size()));
                if (count != static_cast<int64_t>(s.text.size())) {
                    throw BadRecord("its text holds " + std::to_string(s.text.size()) + " bytes, not the " +
                                    std::to_string(count) + " it says");
                }
            } else if (type == "summary") {
                record.type = TraceRecordType::Summary;
                ReadSummary(j, record.summary);
                seq = record.summary.seq;
            } else if (type == "header") {
                TraceHeader second;
                ReadHeader(j, second);
                SkipOtherProcesses(second);
                break;
            } else {
                // A record type of a later tracer: skipped, said once per type.
                record.type = TraceRecordType::Other;
                if (otherTypes_.size() < kNotesShown && otherTypes_.insert(type).second) {
                    Note("line " + std::to_string(line_) + ": records of type \"" + type +
                         "\", which this dcs-host does not know, are skipped");
                }
                return true;
            }
            // Each call has a seq of its own, one more than the last (or
            // more, for calls not written); its init_string and a summary
            // carry the seq of the call before them.
            if (callRecord ? seq <= lastSeq_ : seq < lastSeq_) {
                if (++outOfOrder_ <= kNotesShown) {
                    Note("line " + std::to_string(line_) + ": seq " + std::to_string(seq) + " after seq " +
                         std::to_string(lastSeq_) + " (line " + std::to_string(lastSeqLine_) +
                         "): out of order, left out");
                }
                continue;
            }
            lastSeq_ = seq;
            lastSeqLine_ = line_;
            lastSummaryReason_ = record.type == TraceRecordType::Summary ? record.summary.reason : std::string();
            return true;
        } catch (const BadRecord& e) {
            Skipped(e.what());
        }
    }
    NoteEnd();
    return false;
}

}  // namespace host
