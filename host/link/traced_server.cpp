#include "link/traced_server.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "os/os.h"
#include "output/output_file.h"
#include "trace/trace_file.h"
#include "trace_core.h"

namespace host {

namespace {

// The tracer never replaces a trace: a taken name gives the first free one
// of NAME.1.EXT, NAME.2.EXT, ... (trace.jsonl -> trace.1.jsonl). A traced
// run keeps to the same rule, so an earlier trace is never lost to a later run.
std::string FreeTraceName(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists(fs::u8path(path), error)) return path;
    const fs::path p = fs::u8path(path);
    const std::string stem = (p.parent_path() / p.stem()).u8string();
    const std::string ext = p.extension().u8string();
    for (int n = 1;; ++n) {
        const std::string candidate = stem + "." + std::to_string(n) + ext;
        if (!fs::exists(fs::u8path(candidate), error)) return candidate;
    }
}

// Differences listed one by one up to this many; the rest are counted.
constexpr size_t kMaxDifferences = 200;

std::string Display(const std::optional<double>& value) {
    if (!value) return "nothing";
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", *value);
    return text;
}

bool SameValue(const std::optional<double>& a, const std::optional<double>& b) {
    if (!a || !b) return !a && !b;
    return *a == *b || (std::isnan(*a) && std::isnan(*b));
}

std::string KeyText(const ReplayKey& key, const CodePage& codePage) {
    const char* op = TraceOperationName(std::get<0>(key));
    std::string text = op != nullptr ? op : "?";
    if (std::get<0>(key) >= MRX_OP_READ_AI) {
        text += " " + DisplayBytes(std::get<2>(key), codePage) + " (data set " + std::to_string(std::get<1>(key)) + ")";
    }
    return text;
}

// The replay's operations: bookkeeping first, then the server behind. The
// context is the replay.
struct ReplayOps {
    static int32_t MRX_CALL GetInitStringLength(void* context) {
        const MrxOps& behind = Before(context, MRX_OP_GET_INIT_STRING_LENGTH, 0, "", std::nullopt);
        return behind.GetInitStringLength(behind.context);
    }
    static int32_t MRX_CALL GetInitString(void* context, char* buffer) {
        const MrxOps& behind = Before(context, MRX_OP_GET_INIT_STRING, 0, "", std::nullopt);
        return behind.GetInitString(behind.context, buffer);
    }
    static int32_t MRX_CALL ResetLink(void* context) {
        const MrxOps& behind = Before(context, MRX_OP_RESET_LINK, 0, "", std::nullopt);
        return behind.ResetLink(behind.context);
    }
    template <MrxOperation Ordinal, typename T, auto Member>
    static auto MRX_CALL Tag(void* context, int32_t dataSet, const char* tag, uint32_t* cookie, T* value,
                             int32_t* status) {
        constexpr bool write = MrxOperationOf(Ordinal)->write;
        std::optional<double> written;
        if (write && value != nullptr) {
            T passed{};
            std::memcpy(&passed, value, sizeof passed);
            written = static_cast<double>(passed);
        }
        const MrxOps& behind = Before(context, Ordinal, dataSet, tag, written);
        return (behind.*Member)(behind.context, dataSet, tag, cookie, value, status);
    }
    // The bookkeeping; returns the table to forward to.
    static const MrxOps& Before(void* context, int32_t ordinal, int32_t dataSet, const char* tag,
                                const std::optional<double>& written) {
        ReplayServer& replay = *static_cast<ReplayServer*>(context);
        replay.Before(ordinal, dataSet, tag, written);
        return replay.Behind();
    }
};

void Script(const ReplayKey& key, const RecordedAnswer& a) {
    MrxStandin_ScriptAnswer(std::get<0>(key), std::get<1>(key), std::get<2>(key).c_str(), a.value.value_or(0.0),
                            a.status, a.result ? 1 : 0, a.result.value_or(0.0));
}

}  // namespace

MrxOps DirectOps() {
    MrxOps ops{};
    MrxStandin_DirectOps(&ops);
    return ops;
}

// Texts of a trace in the run's code page. A trace of format 1 or 2 names
// none: its bytes are taken as they are, as they were before traces said.
class Recoding {
public:
    Recoding(const TraceHeader& header, const CodePage& run) : run_(run) {
        const TraceCodePage trace = CodePageOfTrace(header, std::nullopt);
        if (header.codePage != 0 && trace.note.empty() && trace.page.Number() != run.Number()) from_ = trace.page;
    }
    std::string operator()(const std::string& bytes) {
        if (!from_) return bytes;
        if (std::optional<std::string> recoded = run_.Encode(from_->Decode(bytes))) return *recoded;
        ++unmatched_;
        return bytes;
    }
    void Notes(std::vector<std::string>& notes) const {
        if (!from_) return;
        notes.push_back("the trace's names are in " + from_->Name() + ", the run's in " + run_.Name() +
                        ": its names and strings are answered as the run's code page writes them" +
                        (unmatched_ == 0 ? std::string()
                                         : "; " + std::to_string(unmatched_) + " texts hold characters " + run_.Name() +
                                               " lacks and are answered as recorded"));
    }

private:
    CodePage run_;
    std::optional<CodePage> from_;
    int64_t unmatched_ = 0;
};

ReplayServer::ReplayServer(const std::string& tracePath, const MrxOps& behind, const CodePage& codePage)
    : path_(tracePath), codePage_(codePage), behind_(behind) {
    TraceReader reader(tracePath);
    level_ = reader.Header().level;
    Recoding recode(reader.Header(), codePage);
    const bool failuresOnly = level_ == "failures";
    std::map<ReplayKey, RecordedAnswer> previous;
    auto repeat = [&](const ReplayKey& key, int64_t times) {
        const auto found = previous.find(key);
        if (found == previous.end() || times <= 0) return;
        std::vector<RecordedAnswer>& answers = recorded_[key];
        answers.insert(answers.end(), static_cast<size_t>(times), found->second);
    };
    TraceRecord record;
    int64_t fetches = 0;
    while (reader.Next(record)) {
        if (record.type == TraceRecordType::InitString) {
            const std::string text = recode(record.initString.text);
            MrxStandin_ScriptInitString(text.c_str(), static_cast<int32_t>(text.size()));
            ++fetches;
            continue;
        }
        if (record.type == TraceRecordType::Summary) {
            for (const PendingFold& fold : record.summary.pendingFolds) {
                repeat(ReplayKey{TraceOrdinal(fold.op), fold.dataSet, recode(fold.tag)}, fold.folded);
            }
            continue;
        }
        if (record.type != TraceRecordType::Call) continue;
        const TraceCall& c = record.call;
        if (c.ordinal == MRX_OP_GET_INIT_STRING) continue;  // its string comes in the init_string record
        const ReplayKey key{c.ordinal, c.tagOperation ? c.dataSet : 0, c.tagOperation ? recode(c.tag) : std::string()};
        RecordedAnswer answer{c.value, c.status, c.result, c.seq};
        if (!c.tagOperation) {
            // Lengths and resets: in order, at every level.
            if (c.ordinal == MRX_OP_GET_INIT_STRING_LENGTH && !answer.result) answer.result = answer.value;
            recorded_[key].push_back(answer);
            continue;
        }
        if (failuresOnly) {
            failuresBySeq_[c.seq] = {key, answer};
            continue;
        }
        repeat(key, c.folded);
        recorded_[key].push_back(answer);
        previous[key] = answer;
    }
    for (const std::string& note : reader.Notes()) notes_.push_back(note);
    recode.Notes(notes_);
    if (failuresOnly) {
        notes_.push_back(
            "the trace holds failures only (level failures): the successful calls between them are not recorded, "
            "so they are answered from the case's own tag values, and each recorded failure is replayed only "
            "where the replay's call of the same number (seq) is the same operation on the same tag");
    }
    if (fetches == 0) notes_.push_back("the trace holds no initialization string: the case's own is served");
    for (const auto& [key, answers] : recorded_) {
        for (const RecordedAnswer& a : answers) Script(key, a);
    }
    ops_ = MrxOps{this,
                  ReplayOps::GetInitStringLength,
                  ReplayOps::GetInitString,
                  ReplayOps::ResetLink,
                  ReplayOps::Tag<MRX_OP_READ_AI, double, &MrxOps::ReadAI>,
                  ReplayOps::Tag<MRX_OP_WRITE_AI, double, &MrxOps::WriteAI>,
                  ReplayOps::Tag<MRX_OP_READ_AO, double, &MrxOps::ReadAO>,
                  ReplayOps::Tag<MRX_OP_READ_DI, int32_t, &MrxOps::ReadDI>,
                  ReplayOps::Tag<MRX_OP_WRITE_DI, int32_t, &MrxOps::WriteDI>,
                  ReplayOps::Tag<MRX_OP_READ_DO, int32_t, &MrxOps::ReadDO>,
                  ReplayOps::Tag<MRX_OP_READ_CALC, double, &MrxOps::ReadCALC>,
                  ReplayOps::Tag<MRX_OP_WRITE_CALC, double, &MrxOps::WriteCALC>};
}

ReplayServer::~ReplayServer() = default;

const MrxOps& ReplayServer::Ops() const { return ops_; }

void ReplayServer::Differ(std::string text) {
    if (differences_.size() >= kMaxDifferences) {
        ++differencesLeftOut_;
        return;
    }
    differences_.push_back({phase_, std::move(text)});
}

void ReplayServer::Before(int32_t ordinal, int32_t dataSet, const char* tag, const std::optional<double>& written) {
    ++calls_;
    const MrxOperationInfo* row = MrxOperationOf(ordinal);
    const bool tagOperation = row != nullptr && MrxIsTagOperation(*row);
    const ReplayKey key{ordinal, tagOperation ? dataSet : 0, tagOperation && tag != nullptr ? tag : ""};
    if (ordinal == MRX_OP_GET_INIT_STRING) return;  // answered with the captured strings in order
    if (level_ == "failures" && tagOperation) {
        const auto found = failuresBySeq_.find(calls_);
        if (found != failuresBySeq_.end()) {
            if (found->second.first == key) {
                Script(key, found->second.second);
            } else {
                ++failuresMisplaced_;
                Differ("call " + std::to_string(calls_) + " is " + KeyText(key, codePage_) +
                       ", but the trace records a failure of " + KeyText(found->second.first, codePage_) + " (status " +
                       std::to_string(found->second.second.status) + ") there; not replayed");
            }
            failuresBySeq_.erase(found);
        }
        return;
    }
    const size_t k = made_[key]++;
    const auto found = recorded_.find(key);
    if (found == recorded_.end() || k >= found->second.size()) {
        Missing& m = missing_[key];
        if (m.count++ == 0) m.firstPhase = phase_;
        return;
    }
    const RecordedAnswer& recorded = found->second[k];
    if (written && !SameValue(written, recorded.value)) {
        Differ(KeyText(key, codePage_) + ", call " + std::to_string(k + 1) + " of that tag: the driver wrote " +
               Display(written) + ", the trace records " + Display(recorded.value) + " (seq " +
               std::to_string(recorded.seq) + ")");
    }
}

int64_t ReplayServer::Report(std::ostream& out) const {
    out << "replay of " << path_ << " (level " << level_ << "): " << calls_ << " calls made\n";
    for (const std::string& note : notes_) out << "  note: " << note << "\n";
    int64_t total = 0;
    for (const Difference& d : differences_) {
        out << "  " << d.phase << ": " << d.text << "\n";
        ++total;
    }
    if (differencesLeftOut_ > 0) out << "  ... and " << differencesLeftOut_ << " more differences\n";
    total += differencesLeftOut_;
    for (const auto& [key, m] : missing_) {
        out << "  not in the trace: " << m.count << " calls of " << KeyText(key, codePage_) << ", the first in "
            << m.firstPhase << "; answered from the case's tag values\n";
        total += m.count;
    }
    for (const auto& [key, answers] : recorded_) {
        const auto madeIt = made_.find(key);
        const size_t made = madeIt == made_.end() ? 0 : madeIt->second;
        if (made < answers.size()) {
            out << "  never made: " << answers.size() - made << " recorded calls of " << KeyText(key, codePage_)
                << " (from seq " << answers[made].seq << ")\n";
            total += static_cast<int64_t>(answers.size() - made);
        }
    }
    for (const auto& [seq, failure] : failuresBySeq_) {
        if (seq > calls_) {
            out << "  never made: the recorded failure of " << KeyText(failure.first, codePage_) << " at seq " << seq
                << "\n";
            ++total;
        }
    }
    if (total > 0) {
        out << "  " << total << " differences from the trace\n";
    } else if (level_ == "failures") {
        out << "  every recorded failure was replayed at its place in the call sequence\n";
    } else {
        out << "  the replay made exactly the recorded calls, and wrote what the trace records\n";
    }
    return total;
}

struct TracedServer::State {
    std::string target;
    std::string temporary;
    std::unique_ptr<mrxtrace::TraceSession> session;
    bool finished = false;
};

TracedServer::TracedServer(const std::string& path, const std::string& level, const MrxOps& behind,
                           const CodePage& codePage)
    : state_(std::make_unique<State>()) {
    mrxtrace::TraceSettings settings;
    settings.codePage = static_cast<uint32_t>(codePage.Number());
    if (!mrxtrace::ParseTraceLevel(level, &settings.level)) {
        throw std::runtime_error("--trace-level takes all, changes or failures, not \"" + level + "\"");
    }
    // Proves the folder writable before the run, and names the file the
    // trace is moved into at the end.
    const std::string free = FreeTraceName(path);
    if (free != path) {
        std::fprintf(stderr, "dcs-host: %s exists; the trace goes to %s (a trace is never replaced)\n", path.c_str(),
                     free.c_str());
    }
    OutputFile probe(free);
    state_->target = free;
    state_->temporary = free + "." + std::to_string(os::ProcessId()) + ".tracing";
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::u8path(state_->temporary), ignored);
    settings.file = state_->temporary;
    settings.suffixOnCollision = false;
    settings.realLibrary = "the simulated Marlix server of dcs-host";
    state_->session = std::make_unique<mrxtrace::TraceSession>(behind, settings);
    const MrxOps front = state_->session->Ops();
    MrxStandin_SetFront(&front);
}

TracedServer::~TracedServer() {
    MrxStandin_SetFront(nullptr);
    if (state_->session) state_->session->End();
    if (!state_->finished) {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::u8path(state_->temporary), ignored);
    }
}

void TracedServer::Finish() {
    MrxStandin_SetFront(nullptr);
    state_->session->End();
    const std::string problem = state_->session->Problem();
    std::ifstream in(std::filesystem::u8path(state_->temporary), std::ios::binary);
    if (!in) {
        throw OutputError("cannot write the trace \"" + state_->target + "\": the tracing core wrote none" +
                          (problem.empty() ? "" : " (" + problem + ")"));
    }
    OutputFile out(state_->target);
    if (in.peek() != std::ifstream::traits_type::eof()) out.Stream() << in.rdbuf();
    in.close();
    out.Commit();
    state_->finished = true;
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::u8path(state_->temporary), ignored);
}

}  // namespace host
