#include "toml_document.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <map>
#include <sstream>
#include <toml.hpp>

namespace host {

namespace {

using Value = toml::basic_value<toml::discard_comments, std::map, std::vector>;

// toml11 parses nested arrays and inline tables by recursion and sets no
// limit of its own, so a file of many '[' would run the stack out. Every
// level of that recursion takes one '[' or '{' of the text, so their count
// bounds its depth whatever the text means; the parse runs on a thread of
// its own with a stack sized for that count. The stack is reserved address
// space, used only as deep as the text nests.
#if defined(__SANITIZE_ADDRESS__)
#define DCS_CASE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DCS_CASE_ASAN 1
#endif
#endif
#ifdef DCS_CASE_ASAN
constexpr size_t kStackPerLevel = 32 * 1024;  // AddressSanitizer's frames are several times larger
#else
constexpr size_t kStackPerLevel = 16 * 1024;  // four times the deepest frame measured (gcc -O0)
#endif
constexpr size_t kStackBase = 1024 * 1024;
constexpr size_t kStackLimit = sizeof(void*) == 4 ? size_t{256} << 20 : size_t{1} << 30;
constexpr size_t kMaxBrackets = (kStackLimit - kStackBase) / kStackPerLevel;

// toml11's time grows faster than the square of the nesting (a 4,000-deep
// array of 8 KiB takes 12 s), and no case nests more than a few levels.
// The depth is read here with TOML's rules for texts and comments; should
// this reading ever differ from the library's, the stack above still holds
// and the parse is only slower.
constexpr size_t kMaxNesting = 100;

size_t NestingDepth(const std::string& text) {
    enum class State { Plain, Comment, Basic, Literal, MultiBasic, MultiLiteral } state = State::Plain;
    size_t depth = 0, deepest = 0;
    const auto delimiter = [&](size_t i, char quote) { return text.compare(i, 3, std::string(3, quote)) == 0; };
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        switch (state) {
        case State::Plain:
            if (ch == '#') {
                state = State::Comment;
            } else if (ch == '"' || ch == '\'') {
                const bool multi = delimiter(i, ch);
                state = ch == '"' ? (multi ? State::MultiBasic : State::Basic)
                                  : (multi ? State::MultiLiteral : State::Literal);
                if (multi) i += 2;
            } else if (ch == '[' || ch == '{') {
                deepest = std::max(deepest, ++depth);
            } else if ((ch == ']' || ch == '}') && depth > 0) {
                --depth;
            }
            break;
        case State::Comment:
            if (ch == '\n') state = State::Plain;
            break;
        case State::Basic:
        case State::MultiBasic:
            if (ch == '\\') {
                ++i;  // the escaped character, a quote or a line end included
            } else if (ch == '\n' && state == State::Basic) {
                state = State::Plain;  // a text left open: the parser stops here
            } else if (ch == '"' && state == State::Basic) {
                state = State::Plain;
            } else if (ch == '"' && delimiter(i, '"')) {
                i += 2;
                while (i + 1 < text.size() && text[i + 1] == '"') ++i;  // up to two quotes of the text itself
                state = State::Plain;
            }
            break;
        case State::Literal:
            if (ch == '\'' || ch == '\n') state = State::Plain;
            break;
        case State::MultiLiteral:
            if (ch == '\'' && delimiter(i, '\'')) {
                i += 2;
                while (i + 1 < text.size() && text[i + 1] == '\'') ++i;
                state = State::Plain;
            }
            break;
        }
    }
    return deepest;
}

// Line and column of a byte offset, from the starts of the lines.
class LineIndex {
public:
    explicit LineIndex(const std::string& text) {
        starts_.push_back(text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') starts_.push_back(i + 1);
        }
    }
    SourcePos At(const std::string& file, size_t offset) const {
        const auto next = std::upper_bound(starts_.begin(), starts_.end(), offset);
        const size_t line = static_cast<size_t>(next - starts_.begin());
        const size_t start = line == 0 ? 0 : starts_[line - 1];
        return {file, static_cast<int>(std::max<size_t>(line, 1)),
                static_cast<int>(offset >= start ? offset - start + 1 : 1)};
    }

    // Where `key` stands before `value` on the value's line: a key and its
    // value share a line in TOML. The value's place when the key is not
    // found as written (escapes in a quoted key, a dotted key's table).
    SourcePos KeyAt(const std::string& text, const std::string& key, const SourcePos& value) const {
        if (key.empty() || value.line < 1 || static_cast<size_t>(value.line) > starts_.size()) return value;
        const size_t start = starts_[static_cast<size_t>(value.line) - 1];
        const std::string before = text.substr(start, static_cast<size_t>(value.column - 1));
        size_t at = before.rfind(key);
        if (at == std::string::npos) return value;
        if (at > 0 && (before[at - 1] == '"' || before[at - 1] == '\'')) --at;
        return {value.file, value.line, static_cast<int>(at) + 1};
    }

private:
    std::vector<size_t> starts_;
};

// TOML is UTF-8, and toml11 3.7 handles a text that is not wrongly: on
// finding one it moves a position of the text's copy to a position of the
// file (parser.hpp, parse_literal_string and its three siblings) and reads
// outside its buffer. A text is a part of the file that begins and ends
// with a quote, so when the whole file is UTF-8 by the table toml11 tests
// with (Unicode's well-formed sequences, NUL included), every text is, and
// that path is never taken. Returns the offset of the first byte that is
// not part of a well-formed sequence, or npos.
size_t FirstNonUtf8(const std::string& text) {
    const auto at = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const auto within = [](unsigned c, unsigned low, unsigned high) { return c >= low && c <= high; };
    for (size_t i = 0; i < text.size();) {
        const unsigned lead = at(i);
        size_t length = 0;
        unsigned low = 0x80, high = 0xBF;  // the second byte's range
        if (lead <= 0x7F) {
            length = 1;
        } else if (within(lead, 0xC2, 0xDF)) {
            length = 2;
        } else if (within(lead, 0xE0, 0xEF)) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (within(lead, 0xF0, 0xF4)) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return i;
        }
        for (size_t k = 1; k < length; ++k) {
            if (!within(at(i + k), k == 1 ? low : 0x80, k == 1 ? high : 0xBF)) return i;
        }
        i += length;
    }
    return std::string::npos;
}

class Converter {
public:
    Converter(const std::string& text, const std::string& file) : text_(text), index_(text), file_(file) {}

    // Where a value stands. Its region gives the offset in the text, from
    // which the line is found here: toml11 counts the lines from the start
    // for every value it is asked about.
    SourcePos At(const Value& v, const SourcePos& fallback) const {
        const auto* region = dynamic_cast<const toml::detail::region*>(toml::detail::get_region(v));
        if (region == nullptr) return fallback;
        return index_.At(file_, static_cast<size_t>(region->first() - region->begin()));
    }

    RawValue Scalar(const Value& v, const SourcePos& fallback) const {
        RawValue raw;
        raw.at = At(v, fallback);
        switch (v.type()) {
        case toml::value_t::boolean:
            raw.type = RawValue::Type::Boolean;
            raw.boolean = v.as_boolean();
            break;
        case toml::value_t::integer:
            raw.type = RawValue::Type::Integer;
            raw.integer = v.as_integer();
            break;
        case toml::value_t::floating:
            raw.type = RawValue::Type::Float;
            raw.number = v.as_floating();
            // toml11 reads a number too large for a double (1e999) as the
            // largest double; it is refused as the infinity it stands for.
            if (std::fabs(raw.number) == std::numeric_limits<double>::max()) {
                raw.number = std::copysign(std::numeric_limits<double>::infinity(), raw.number);
            }
            break;
        case toml::value_t::string:
            raw.type = RawValue::Type::Text;
            raw.text = v.as_string().str;
            break;
        case toml::value_t::array: raw.otherType = "an array"; break;
        case toml::value_t::table: raw.otherType = "a table"; break;
        default: raw.otherType = "a date or time"; break;
        }
        return raw;
    }

    RawRow Row(const Value& table, const SourcePos& fallback) const {
        RawRow row;
        row.at = At(table, fallback);
        for (const auto& [key, v] : table.as_table()) {
            // Built whole from its parts: GCC's -O3 sees a member-wise fill
            // of a braced entry as a possibly uninitialised string.
            RawValue value = Scalar(v, row.at);
            SourcePos keyAt = index_.KeyAt(text_, key, value.at);
            row.entries.push_back(RawEntry{key, std::move(keyAt), std::move(value)});
        }
        SortByPlace(row.entries, [](const RawEntry& e) { return e.value.at; });
        return row;
    }

    TomlItem Item(const std::string& key, const Value& v) const {
        TomlItem item;
        item.key = key;
        item.at = At(v, {file_, 1, 0});
        const bool tables = v.is_array() && !v.as_array().empty() &&
                            std::all_of(v.as_array().begin(), v.as_array().end(),
                                        [](const Value& element) { return element.is_table(); });
        if (v.is_table()) {
            item.shape = TomlItem::Shape::Table;
            item.rows.push_back(Row(v, item.at));
        } else if (tables) {
            item.shape = TomlItem::Shape::Tables;
            for (const Value& element : v.as_array()) item.rows.push_back(Row(element, item.at));
        } else {
            item.value = Scalar(v, item.at);
        }
        item.at = index_.KeyAt(text_, key, item.at);
        return item;
    }

    // toml11 keeps a table's keys sorted by name; the case reads them in
    // the order they stand in the file.
    template <typename T, typename Place>
    static void SortByPlace(std::vector<T>& items, Place place) {
        std::stable_sort(items.begin(), items.end(), [&](const T& a, const T& b) {
            const SourcePos pa = place(a), pb = place(b);
            return pa.line != pb.line ? pa.line < pb.line : pa.column < pb.column;
        });
    }

private:
    const std::string& text_;
    LineIndex index_;
    const std::string& file_;
};

// The places toml11's message shows, each a line with a caret or a
// underline under the column and a comment beside it:
//   [error] toml::insert_value: value ("SP") already exists.
//    --> FILE
//      |
//    3 | SP = 1
//      |      ^--- value already exists here
//    ...
//    4 | SP = 2
//      |      ^--- value defined twice
struct Mark {
    int line = 0;
    int column = 0;
    std::string comment;
};

std::vector<Mark> MarksOf(std::istream& in) {
    std::vector<Mark> marks;
    std::string line, under;
    while (std::getline(in, line)) {
        const size_t bar = line.find(" | ");
        if (bar == std::string::npos || line.find_first_not_of(' ') >= bar) continue;
        const std::string number = line.substr(0, bar);
        const size_t digits = number.find_first_not_of(' ');
        if (number.find_first_not_of("0123456789", digits) != std::string::npos) continue;
        Mark mark;
        mark.line = std::atoi(number.c_str() + digits);
        if (std::getline(in, under) && under.size() > bar + 3) {
            const size_t caret = under.find_first_not_of(' ', bar + 3);
            if (caret != std::string::npos) {
                mark.column = static_cast<int>(caret - (bar + 3)) + 1;
                const size_t text = under.find(' ', caret);
                if (text != std::string::npos) mark.comment = under.substr(text + 1);
            }
        }
        marks.push_back(mark);
    }
    return marks;
}

// "FILE:LINE:COLUMN: what was expected", at the last place the message
// shows (the second definition of a key defined twice, say), naming the
// first when there are more.
std::string SyntaxMessage(const std::string& what, const std::string& file, const toml::source_location& at) {
    std::istringstream in(what);
    std::string heading;
    std::getline(in, heading);
    if (heading.compare(0, 8, "[error] ") == 0) heading.erase(0, 8);
    if (heading.compare(0, 6, "toml::") == 0 && heading.find(": ") != std::string::npos) {
        heading.erase(0, heading.find(": ") + 2);
    }
    while (!heading.empty() && heading.back() == '.') heading.pop_back();
    const std::vector<Mark> marks = MarksOf(in);
    Mark last{static_cast<int>(at.line()), static_cast<int>(at.column()), ""};
    if (!marks.empty()) last = marks.back();
    std::string message = heading;
    if (!last.comment.empty() && last.comment != "here") message += ": " + last.comment;
    if (marks.size() > 1) {
        message += " (line " + std::to_string(marks.front().line) +
                   (marks.front().comment.empty() ? "" : ": " + marks.front().comment) + ")";
    }
    return Located(file, std::max(last.line, 1), last.column, message);
}

struct Job {
    const std::string* text;
    const std::string* file;
    std::vector<TomlItem> items;
    std::exception_ptr error;
};

void Parse(Job& job) {
    std::istringstream in(*job.text);
    Value root;
    try {
        root = toml::parse<toml::discard_comments, std::map, std::vector>(in, *job.file);
    } catch (const toml::exception& e) {
        throw CaseError(SyntaxMessage(e.what(), *job.file, e.location()));
    } catch (const std::exception& e) {
        // A number the reader could not convert, for one.
        throw CaseError(Located(*job.file, 1, std::string("the TOML reader refused the file: ") + e.what()));
    }
    const Converter convert(*job.text, *job.file);
    for (const auto& [key, v] : root.as_table()) job.items.push_back(convert.Item(key, v));
    Converter::SortByPlace(job.items, [](const TomlItem& item) { return item.at; });
}  // the parsed tree is freed here too, on the deep stack

void* RunJob(void* arg) {
    Job& job = *static_cast<Job*>(arg);
    try {
        Parse(job);
    } catch (...) {
        job.error = std::current_exception();
    }
    return nullptr;
}

}  // namespace

std::vector<TomlItem> ReadTomlDocument(const std::string& text, const std::string& file) {
    const size_t brackets =
        static_cast<size_t>(std::count(text.begin(), text.end(), '[') + std::count(text.begin(), text.end(), '{'));
    if (brackets > kMaxBrackets) {
        throw CaseError(Located(file, 1,
                                "the case file holds " + std::to_string(brackets) + " '[' and '{'; dcs-host reads " +
                                    std::to_string(kMaxBrackets) +
                                    " at most in one TOML file (keep long tables of rows in IO lists)"));
    }
    const size_t bad = FirstNonUtf8(text);
    if (bad != std::string::npos) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(text[bad])));
        throw CaseError(
            Located(LineIndex(text).At(file, bad), std::string("expected UTF-8 text; the byte ") + byte +
                                                       " here begins no character or breaks the one before"));
    }
    const size_t depth = NestingDepth(text);
    if (depth > kMaxNesting) {
        throw CaseError(Located(file, 1,
                                "the case file nests arrays and inline tables " + std::to_string(depth) +
                                    " deep; dcs-host reads " + std::to_string(kMaxNesting) + " levels at most"));
    }
    Job job{&text, &file, {}, nullptr};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kStackBase + brackets * kStackPerLevel);
    pthread_t thread;
    const int started = pthread_create(&thread, &attr, RunJob, &job);
    pthread_attr_destroy(&attr);
    if (started != 0) {
        throw CaseError(Located(file, 1,
                                "cannot start the TOML reader: " + std::to_string(brackets) +
                                    " '[' and '{' need more stack than the system gives"));
    }
    pthread_join(thread, nullptr);
    if (job.error) std::rethrow_exception(job.error);
    return std::move(job.items);
}

}  // namespace host
