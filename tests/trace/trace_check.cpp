// Reads a trace the way another program would, and checks it:
//   trace_check structure TRACE       every line a whole record (valid
//                                     UTF-8), one header and it first, the
//                                     calls numbered upwards, nothing after
//                                     a "limit" summary; prints what it found
//   trace_check structure --killed TRACE
//                                     the same of a writer killed with
//                                     SIGKILL, which the kernel may stop in
//                                     the middle of a write: a last line cut
//                                     off (no line feed) is said and left
//                                     out, as dcs-host reads such a trace
//   trace_check rebuild TRACE CALLS   the sequence of (value, status) of every
//                                     tag, rebuilt from a `changes` trace,
//                                     equals the server's call log CALLS (as
//                                     the stand-in log shim writes it)
// Exit status 0 when the check holds, 1 when not, 2 on bad usage.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Key = std::tuple<int, int, std::string>;  // ordinal, data set, tag bytes in hex ("~" for null)

const std::map<std::string, int> kOrdinals = {{"ReadAI", 4},  {"WriteAI", 5}, {"ReadAO", 6},    {"ReadDI", 7},
                                              {"WriteDI", 8}, {"ReadDO", 9},  {"ReadCALC", 11}, {"WriteCALC", 12}};

bool IsReal(int ordinal) { return ordinal == 4 || ordinal == 5 || ordinal == 6 || ordinal == 11 || ordinal == 12; }
bool IsWrite(int ordinal) { return ordinal == 5 || ordinal == 8 || ordinal == 12; }

// Code points of a JSON string back to the bytes they stand for.
bool Bytes(const std::string& utf8, std::string* out) {
    out->clear();
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            *out += static_cast<char>(b);
        } else if ((b == 0xc2 || b == 0xc3) && i + 1 < utf8.size()) {
            *out += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3f));
        } else {
            return false;
        }
    }
    return true;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string RealText(double v) {
    if (std::isnan(v)) return "nan";
    char text[64];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}

std::string Event(int ordinal, int status, bool hasValue, double real, long long integer) {
    std::string value = "-";
    if (hasValue) value = IsReal(ordinal) ? RealText(real) : std::to_string(integer);
    return std::to_string(status) + " " + value;
}

std::vector<std::string> Lines(const std::string& path, bool* wholeEnd) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    *wholeEnd = text.empty() || text.back() == '\n';
    std::vector<std::string> lines;
    std::string line;
    std::istringstream split(text);
    while (std::getline(split, line)) lines.push_back(line);
    return lines;
}

int Structure(const std::string& path, bool killed) {
    bool wholeEnd = false;
    auto lines = Lines(path, &wholeEnd);
    if (killed && !wholeEnd && !lines.empty()) {
        std::cerr << path << ": the last line, cut off by the kill, is left out\n";
        lines.pop_back();
        wholeEnd = true;
    }
    if (lines.empty()) {
        std::cerr << path << ": empty\n";
        return 1;
    }
    size_t failures = 0;
    std::string lastType;
    std::string lastReason;
    unsigned long long lastSeq = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lastReason == "limit") {
            std::cerr << path << ": line " << i + 1 << " follows the limit summary\n";
            return 1;
        }
        nlohmann::json r;
        try {
            r = nlohmann::json::parse(lines[i]);
        } catch (const std::exception& e) {
            std::cerr << path << ": line " << i + 1 << " is no whole record: " << e.what() << "\n";
            return 1;
        }
        if (!r.is_object() || !r.contains("type")) {
            std::cerr << path << ": line " << i + 1 << " has no type\n";
            return 1;
        }
        lastType = r["type"];
        if ((i == 0) != (lastType == "header")) {
            std::cerr << path << ": line " << i + 1 << (i == 0 ? " is no header\n" : " is a second header\n");
            return 1;
        }
        // A call's number is above every one before it, an init_string's
        // that of its call, a summary's that of the last call made (which
        // may not have been written).
        if (r.contains("seq")) {
            const unsigned long long seq = r["seq"].get<unsigned long long>();
            if (lastType == "call" ? seq <= lastSeq : lastType == "summary" ? seq < lastSeq : seq != lastSeq) {
                std::cerr << path << ": line " << i + 1 << ": seq " << seq << " after " << lastSeq << "\n";
                return 1;
            }
            lastSeq = seq;
        }
        if (lastType == "call" && r.contains("status") && r["status"].is_number() && r["status"] != 0) ++failures;
        lastReason = r.contains("reason") ? r["reason"].get<std::string>() : "";
    }
    if (!wholeEnd) {
        std::cerr << path << ": the last line is cut off\n";
        return 1;
    }
    std::cout << "records " << lines.size() << " failures " << failures << " last " << lastType
              << (lastReason.empty() ? "" : " " + lastReason) << "\n";
    return 0;
}

int Rebuild(const std::string& tracePath, const std::string& callsPath) {
    std::map<Key, std::vector<std::string>> rebuilt;
    std::map<Key, std::string> previous;
    bool wholeEnd = false;
    for (const std::string& line : Lines(tracePath, &wholeEnd)) {
        const auto r = nlohmann::json::parse(line);
        auto keyOf = [](const nlohmann::json& j, int ordinal, Key* key) {
            std::string bytes = "~";
            if (!j["tag"].is_null() && !Bytes(j["tag"].get<std::string>(), &bytes)) return false;
            *key = Key{ordinal, j["data_set"].get<int>(), j["tag"].is_null() ? "~" : Hex(bytes)};
            return true;
        };
        if (r["type"] == "header" && r["level"] != "changes") {
            std::cerr << tracePath << ": level " << r["level"] << ", not changes\n";
            return 1;
        }
        if (r["type"] == "call") {
            const auto found = kOrdinals.find(r["op"].get<std::string>());
            if (found == kOrdinals.end()) continue;
            Key key;
            if (!keyOf(r, found->second, &key)) {
                std::cerr << "a tag with a code point above U+00FF\n";
                return 1;
            }
            const bool hasValue = r.contains("value");
            double real = 0;
            long long integer = 0;
            if (hasValue && r["value"].is_string()) {
                const std::string v = r["value"];
                real = v == "nan" ? NAN : v == "inf" ? INFINITY : -INFINITY;
            } else if (hasValue) {
                real = r["value"].get<double>();
                integer = IsReal(found->second) ? 0 : r["value"].get<long long>();
            }
            for (int n = 0; n < r["folded"].get<int>(); ++n) rebuilt[key].push_back(previous[key]);
            previous[key] = Event(found->second, r["status"].get<int>(), hasValue, real, integer);
            rebuilt[key].push_back(previous[key]);
        } else if (r["type"] == "summary") {
            for (const auto& f : r["pending_folds"]) {
                Key key;
                if (!keyOf(f, kOrdinals.at(f["op"].get<std::string>()), &key)) return 1;
                for (int n = 0; n < f["folded"].get<int>(); ++n) rebuilt[key].push_back(previous[key]);
            }
        }
    }
    // The server's log: ordinal data-set cell before after real integer status null tag-hex.
    std::map<Key, std::vector<std::string>> truth;
    std::ifstream calls(callsPath);
    std::string line;
    size_t tagCalls = 0;
    while (std::getline(calls, line)) {
        std::istringstream in(line);
        int ordinal = 0, dataSet = 0, status = 0, wasNull = 0;
        long long integer = 0;
        unsigned long cell = 0, before = 0, after = 0;
        std::string realText, tag;
        in >> ordinal >> dataSet >> cell >> before >> after >> realText >> integer >> status >> wasNull;
        in >> tag;
        if (ordinal < 4) continue;
        ++tagCalls;
        const double real = std::strtod(realText.c_str(), nullptr);
        const bool hasValue = IsWrite(ordinal) || status == 0;
        truth[Key{ordinal, dataSet, wasNull ? "~" : tag}].push_back(Event(ordinal, status, hasValue, real, integer));
    }
    if (rebuilt != truth) {
        for (const auto& [key, events] : truth) {
            const auto& other = rebuilt[key];
            if (other != events) {
                std::cerr << "tag " << std::get<2>(key) << " (ordinal " << std::get<0>(key) << ", data set "
                          << std::get<1>(key) << "): server " << events.size() << " calls, rebuilt " << other.size()
                          << "\n";
                for (size_t i = 0; i < events.size() || i < other.size(); ++i) {
                    const std::string a = i < events.size() ? events[i] : "(none)";
                    const std::string b = i < other.size() ? other[i] : "(none)";
                    if (a != b) {
                        std::cerr << "  call " << i << ": server " << a << ", rebuilt " << b << "\n";
                        break;
                    }
                }
            }
        }
        for (const auto& [key, events] : rebuilt) {
            if (truth.find(key) == truth.end() && !events.empty()) std::cerr << "rebuilt a tag the server never saw\n";
        }
        return 1;
    }
    std::cout << "rebuilt " << truth.size() << " tags, " << tagCalls << " tag calls: equal\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "structure" && argc == 3) return Structure(argv[2], false);
        if (mode == "structure" && argc == 4 && std::string(argv[2]) == "--killed") return Structure(argv[3], true);
        if (mode == "rebuild" && argc == 4) return Rebuild(argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::cerr << "trace_check: " << e.what() << "\n";
        return 1;
    }
    std::cerr << "usage: trace_check structure [--killed] TRACE | rebuild TRACE CALLS\n";
    return 2;
}
