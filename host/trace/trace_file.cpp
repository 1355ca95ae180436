#include "trace/trace_file.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "case/input_file.h"
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

// Code page 1252 above 0x7F; 0 where it defines no character.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
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

std::string DisplayBytes(const std::string& bytes) {
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
        } else if (c >= 0xA0) {
            AppendUtf8(out, c);
        } else if (c >= 0x80 && kCp1252High[c - 0x80] != 0) {
            AppendUtf8(out, kCp1252High[c - 0x80]);
        } else {
            out += Hex(c);
        }
    }
    return out;
}

TraceReader::TraceReader(const std::string& path) : path_(path) {
    RequireRegularFile(path, "the trace");
    in_.open(std::filesystem::u8path(path), std::ios::binary);
    if (!in_) {
        throw TraceError("cannot read the trace \"" + path + "\": " + std::strerror(errno));
    }
    bool complete = false;
    if (!ReadLine(line_text_, complete)) {
        throw TraceError("the trace \"" + path + "\" is empty: it holds not even its header line");
    }
    json j = json::parse(line_text_, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("type") || j["type"] != "header") {
        throw TraceError("\"" + path + "\" is not a trace of the Marlix client: its first line is no header record" +
                         (complete ? "" : " (and it is cut off)"));
    }
    try {
        const std::string format = Text(j, "format");
        if (format != "mrx3p-trace") {
            throw TraceError("\"" + path + "\" is not a trace of the Marlix client: its header names the format \"" +
                             format + "\", not \"mrx3p-trace\"");
        }
        header_.version = Integer(j, "version", -1);
        if (header_.version < kOldestTraceFormatVersion || header_.version > kTraceFormatVersion) {
            throw TraceError("the trace \"" + path + "\" is written in format version " +
                             std::to_string(header_.version) + "; this dcs-host reads versions " +
                             std::to_string(kOldestTraceFormatVersion) + " to " + std::to_string(kTraceFormatVersion) +
                             " (use the dcs-host of the tracer's kit)");
        }
        header_.tracer = Text(j, "tracer");
        header_.level = Text(j, "level");
        header_.limitMb = Integer(j, "limit_mb");
        header_.pid = Integer(j, "pid");
        header_.startUtc = Text(j, "start_utc");
        header_.timerResolutionNs = Integer(j, "timer_resolution_ns");
        header_.realLibrary = Text(j, "real_library");
        header_.realFileVersion = Text(j, "real_file_version");
        header_.settings = Text(j, "settings");
        header_.realLibraryError = Text(j, "real_library_error");
        header_.settingsWarning = Text(j, "settings_warning");
    } catch (const BadRecord& e) {
        throw TraceError("the header of the trace \"" + path + "\" is not readable: " + e.what());
    }
    if (header_.level != "all" && header_.level != "changes" && header_.level != "failures") {
        Note("line 1: the header names the level \"" + header_.level +
             "\", none of all, changes, failures; read as failures");
        header_.level = "failures";
    }
}

bool TraceReader::ReadLine(std::string& line, bool& complete) {
    if (!std::getline(in_, line)) {
        if (in_.bad()) {
            throw TraceError("cannot read the trace \"" + path_ + "\" past line " + std::to_string(line_) + ": " +
                             std::strerror(errno));
        }
        return false;
    }
    ++line_;
    complete = !in_.eof();  // getline met the line end rather than the file's end
    return true;
}

void TraceReader::Note(const std::string& text) { notes_.push_back(text); }

bool TraceReader::Next(TraceRecord& record) {
    bool complete = false;
    while (ReadLine(line_text_, complete)) {
        if (line_text_.empty() && !complete) return false;  // the file ends with its last line end
        json j = json::parse(line_text_, nullptr, false);
        if (!complete && (j.is_discarded() || !j.is_object())) {
            cutOff_ = true;
            Note("line " + std::to_string(line_) + ": the trace ends in a line cut off after " +
                 std::to_string(line_text_.size()) +
                 " bytes, as a process killed while writing leaves it; read up to the line before");
            return false;
        }
        try {
            if (j.is_discarded() || !j.is_object()) throw BadRecord("not a JSON object");
            const std::string type = Text(j, "type");
            record.line = line_;
            if (type == "call") {
                record.type = TraceRecordType::Call;
                ReadCall(j, record.call);
            } else if (type == "init_string") {
                record.type = TraceRecordType::InitString;
                TraceInitString& s = record.initString;
                s.seq = Integer(j, "seq");
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
            } else {
                // A record type of a later tracer: skipped, said once per type.
                record.type = TraceRecordType::Other;
                if (otherTypes_.size() < kNotesShown && otherTypes_.insert(type).second) {
                    Note("line " + std::to_string(line_) + ": records of type \"" + type +
                         "\", which this dcs-host does not know, are skipped");
                }
            }
            return true;
        } catch (const BadRecord& e) {
            ++skipped_;
            if (skipped_ <= kNotesShown) {
                Note("line " + std::to_string(line_) + ": skipped, " + e.what());
            } else if (skipped_ == kNotesShown + 1) {
                Note("more lines skipped; the summary counts them");
            }
        }
    }
    if (skipped_ > kNotesShown) {
        Note(std::to_string(skipped_) + " lines skipped in all");
        skipped_ = 0;
    }
    return false;
}

}  // namespace host
